// The generated tracks' scenery art: every picture is drawn from shapes and seeded
// noise, every model is built from the mesh helpers.
#include "datagen/rabbithill_scenery_art.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "datagen/dice.h"
#include "datagen/dmath.h"
#include "datagen/mesh_build.h"

namespace scenery_art {

namespace {

constexpr rgba clear{0, 0, 0, 0};

double smoothstep(double a, double b, double x) {
    double t = std::clamp((x - a) / (b - a), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Noise of several octaves in [0, 1).
double fbm(double x, double y, double cell, int octaves, uint32_t seed) {
    double sum = 0, weight = 1, total = 0;
    for (int o = 0; o < octaves; o++) {
        sum += weight * smooth_noise(x, y, cell, seed + (uint32_t)o * 977);
        total += weight;
        weight *= 0.5;
        cell *= 0.5;
    }
    return sum / total;
}

// A thick line: discs along the segment.
void limb(picture& p, double x0, double y0, double x1, double y1, double r, rgba c) {
    double len = dmath::hypot(x1 - x0, y1 - y0);
    int steps = std::max(1, (int)(len * 2));
    for (int k = 0; k <= steps; k++) {
        double t = (double)k / steps;
        p.disc(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, r, c);
    }
}

// A filled convex polygon (or any polygon, by the even-odd rule).
void polygon(picture& p, const std::vector<std::array<double, 2>>& pts, rgba c) {
    double ymin = 1e9, ymax = -1e9;
    for (auto& q : pts) ymin = std::min(ymin, q[1]), ymax = std::max(ymax, q[1]);
    for (int y = std::max(0, (int)std::floor(ymin)); y <= std::min(p.height - 1, (int)std::ceil(ymax)); y++) {
        double sy = y + 0.5;
        std::vector<double> xs;
        for (size_t i = 0; i < pts.size(); i++) {
            const auto& a = pts[i];
            const auto& b = pts[(i + 1) % pts.size()];
            if ((a[1] <= sy) != (b[1] <= sy)) xs.push_back(a[0] + (sy - a[1]) / (b[1] - a[1]) * (b[0] - a[0]));
        }
        std::sort(xs.begin(), xs.end());
        for (size_t i = 0; i + 1 < xs.size(); i += 2)
            for (int x = std::max(0, (int)std::floor(xs[i] + 0.5)); x < std::min(p.width, (int)std::floor(xs[i + 1] + 0.5));
                 x++)
                p.at(x, y) = c;
    }
}

// ---- a 5 x 7 pixel font for the few words the banners and boards carry -----------
struct glyph {
    char c;
    const char* rows[7];
};
const glyph glyphs[] = {
    {'A', {"01110", "10001", "10001", "11111", "10001", "10001", "10001"}},
    {'B', {"11110", "10001", "10001", "11110", "10001", "10001", "11110"}},
    {'D', {"11110", "10001", "10001", "10001", "10001", "10001", "11110"}},
    {'E', {"11111", "10000", "10000", "11110", "10000", "10000", "11111"}},
    {'H', {"10001", "10001", "10001", "11111", "10001", "10001", "10001"}},
    {'I', {"01110", "00100", "00100", "00100", "00100", "00100", "01110"}},
    {'L', {"10000", "10000", "10000", "10000", "10000", "10000", "11111"}},
    {'M', {"10001", "11011", "10101", "10101", "10001", "10001", "10001"}},
    {'N', {"10001", "11001", "10101", "10011", "10001", "10001", "10001"}},
    {'O', {"01110", "10001", "10001", "10001", "10001", "10001", "01110"}},
    {'P', {"11110", "10001", "10001", "11110", "10000", "10000", "10000"}},
    {'Q', {"01110", "10001", "10001", "10001", "10101", "10010", "01101"}},
    {'R', {"11110", "10001", "10001", "11110", "10100", "10010", "10001"}},
    {'S', {"01111", "10000", "10000", "01110", "00001", "00001", "11110"}},
    {'T', {"11111", "00100", "00100", "00100", "00100", "00100", "00100"}},
    {'U', {"10001", "10001", "10001", "10001", "10001", "10001", "01110"}},
    {'X', {"10001", "10001", "01010", "00100", "01010", "10001", "10001"}},
    {'1', {"00100", "01100", "00100", "00100", "00100", "00100", "01110"}},
    {'2', {"01110", "10001", "00001", "00010", "00100", "01000", "11111"}},
    {'5', {"11111", "10000", "11110", "00001", "00001", "10001", "01110"}},
    {'/', {"00001", "00010", "00010", "00100", "01000", "01000", "10000"}},
};

const glyph* glyph_of(char c) {
    for (const glyph& g : glyphs)
        if (g.c == c) return &g;
    return nullptr;
}

int text_width(const char* text, int scale) { return (int)std::strlen(text) * 6 * scale - scale; }

void text(picture& p, const char* s, int x, int y, int scale, rgba c) {
    for (; *s; s++, x += 6 * scale) {
        const glyph* g = glyph_of(*s);
        if (!g) continue;
        for (int r = 0; r < 7; r++)
            for (int k = 0; k < 5; k++)
                if (g->rows[r][k] == '1') p.rect(x + k * scale, y + r * scale, x + (k + 1) * scale, y + (r + 1) * scale, c);
    }
}

void centred_text(picture& p, const char* s, int cx, int y, int scale, rgba c) {
    text(p, s, cx - text_width(s, scale) / 2, y, scale, c);
}

}  // namespace

bool can_letter(const char* text) {
    for (; *text; text++)
        if (*text != ' ' && !glyph_of(*text)) return false;
    return true;
}

// ---- trees and bushes -----------------------------------------------------------------

picture pine_tree(uint32_t seed) {
    picture p(128, 256, clear);
    dice r(seed, 12345);
    const rgba trunk{88, 62, 40, 255};
    p.rect(60, 200, 68, 256, trunk);
    p.grain(60, 200, 68, 256, 0.2, seed);
    // Layers of boughs, widest at the bottom.
    int layers = 7;
    for (int k = 0; k < layers; k++) {
        double t = (double)k / (layers - 1);
        double top = 8 + t * 150, bottom = top + 60 + 10 * r.next();
        double half = 14 + t * 46 + r.range(-3, 3);
        double lean = r.range(-4, 4);
        polygon(p, {{64 + lean * 0.3, top}, {64 + half + lean, bottom}, {64 - half + lean, bottom}},
                rgba{34, 70, 40, 255});
    }
    // Needles: darker and lighter patches, a lit side towards the sun.
    for (int y = 0; y < 230; y++)
        for (int x = 0; x < 128; x++) {
            rgba& c = p.at(x, y);
            if (c.a == 0 || (x >= 60 && x < 68 && y >= 200 && c.r == trunk.r)) continue;
            double n = fbm(x, y, 10, 3, seed + 5);
            double side = (x - 64) / 64.0;
            c = shade(c, 0.7 + 0.6 * n + 0.25 * side);
            if (noise01(x, y, seed + 9) < 0.04) c = shade(c, 0.6);
        }
    return p;
}

picture broadleaf_tree(uint32_t seed) {
    picture p(128, 256, clear);
    dice r(seed, 12345);
    const rgba bark{96, 74, 52, 255};
    limb(p, 64, 255, 64, 120, 6, bark);
    limb(p, 64, 160, 40, 110, 3, bark);
    limb(p, 64, 150, 90, 105, 3, bark);
    // The crown: overlapping clumps of leaves.
    for (int k = 0; k < 34; k++) {
        double a = r.range(0, 2 * M_PI), d = std::sqrt(r.next());
        double cx = 64 + dmath::cos(a) * d * 44, cy = 92 + dmath::sin(a) * d * 62;
        double rad = r.range(14, 24);
        p.disc(cx, cy, rad, rgba{54, 96, 44, 255});
    }
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 128; x++) {
            rgba& c = p.at(x, y);
            if (c.a == 0 || c.r == bark.r) continue;
            double n = fbm(x, y, 12, 3, seed + 3);
            double lit = ((x - 64) / 64.0 - (y - 92) / 80.0) * 0.25;
            c = shade(c, 0.65 + 0.7 * n + lit);
        }
    return p;
}

picture bush(uint32_t seed) {
    picture p(128, 64, clear);
    dice r(seed, 12345);
    for (int k = 0; k < 16; k++) {
        double cx = r.range(22, 106), cy = r.range(26, 50), rad = r.range(12, 20);
        p.disc(cx, cy, rad, rgba{62, 102, 46, 255});
    }
    p.rect(0, 60, 128, 64, clear);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 128; x++) {
            rgba& c = p.at(x, y);
            if (c.a == 0) continue;
            double n = fbm(x, y, 8, 3, seed + 1);
            c = shade(c, 0.6 + 0.7 * n + (44 - y) * 0.006);
        }
    return p;
}

// ---- the crowd and banners -----------------------------------------------------------------

picture crowd(uint32_t seed) {
    picture p(256, 64, clear);
    dice r(seed, 12345);
    const rgba shirts[] = {{200, 40, 40, 255}, {40, 80, 180, 255}, {230, 200, 40, 255}, {30, 30, 34, 255},
                           {240, 240, 240, 255}, {60, 150, 70, 255}, {230, 120, 30, 255}, {120, 60, 150, 255}};
    const rgba skins[] = {{236, 200, 170, 255}, {200, 150, 110, 255}, {140, 95, 65, 255}, {96, 64, 44, 255}};
    // The back row stands on the bank behind, so it shows above the front.
    for (int row = 0; row < 2; row++) {
        double head_y = row == 0 ? 13 : 25;
        for (double x = r.range(2, 8); x < 254; x += r.range(10, 14)) {
            rgba shirt = shirts[(int)(r.next() * 8) % 8], skin = skins[(int)(r.next() * 4) % 4];
            double hy = head_y + r.range(-2, 2), w = r.range(5.5, 7.5);
            polygon(p, {{x - w, hy + 7}, {x + w, hy + 7}, {x + w - 1, 64}, {x - w + 1, 64}}, shade(shirt, 0.85 - 0.2 * row));
            if (r.next() < 0.18) {
                // Cheering: an arm in the air.
                double side = r.next() < 0.5 ? -1 : 1;
                limb(p, x + side * w * 0.8, hy + 8, x + side * (w + 3), hy - 6, 1.6, shirt);
                p.disc(x + side * (w + 3), hy - 7, 1.8, skin);
            }
            p.disc(x, hy, 3.6, skin);
            if (r.next() < 0.45) p.rect((int)(x - 4), (int)(hy - 4), (int)(x + 4), (int)(hy - 1), shirts[(int)(r.next() * 8) % 8]);
        }
    }
    return p;
}

picture banner(int variant, const char* title) {
    picture p(256, 32, rgba{250, 250, 250, 255});
    if (variant == 0) {
        p.gradient(0, 0, 256, 32, rgba{200, 30, 30, 255}, rgba{150, 20, 20, 255});
        p.rect(0, 0, 256, 3, rgba{250, 250, 250, 255});
        p.rect(0, 29, 256, 32, rgba{250, 250, 250, 255});
        centred_text(p, title, 128, 6, 3, rgba{255, 255, 255, 255});
    } else {
        p.rect(0, 0, 256, 32, rgba{20, 60, 150, 255});
        for (int x = 0; x < 256; x += 16) p.rect(x, 0, x + 8, 4, rgba{250, 210, 30, 255});
        for (int x = 8; x < 256; x += 16) p.rect(x, 28, x + 8, 32, rgba{250, 210, 30, 255});
        centred_text(p, "QUARNIX", 128, 6, 3, rgba{250, 210, 30, 255});
    }
    p.frame(0, 0, 256, 32, 1, rgba{40, 40, 40, 255});
    p.grain(0, 0, 256, 32, 0.05, 77 + (uint32_t)variant);
    return p;
}

// ---- the marshals -------------------------------------------------------------------------

namespace {

enum held_thing { hold_nothing, hold_flag_furled, hold_flag_up, hold_flag_waving, hold_board, hold_board_edge };

struct flag_look {
    rgba a, b;
    bool chequered;
};

void cloth(picture& p, double x, double y, int w, int h, double phase, const flag_look& f) {
    for (int cx = 0; cx < w; cx++) {
        double off = dmath::sin(cx * 0.35 + phase) * 2.5 * cx / w;
        for (int cy = 0; cy < h; cy++) {
            bool second = f.chequered && ((cx / 4 + cy / 4) % 2);
            rgba c = shade(second ? f.b : f.a, 0.85 + 0.15 * dmath::sin(cx * 0.35 + phase + 1.2));
            p.put((int)(x + cx), (int)(y + cy + off), c);
        }
    }
}

struct marshal_pose {
    double left_hand[2], right_hand[2];
    double stride;  // feet apart
    held_thing held;
    flag_look flag;
    const char* board = nullptr;
};

void draw_marshal(picture& p, const marshal_pose& m) {
    const rgba trousers{40, 44, 60, 255}, vest{250, 120, 20, 255}, stripe{230, 230, 210, 255};
    const rgba skin{222, 180, 146, 255}, sleeve{60, 66, 80, 255}, cap{30, 30, 36, 255}, boot{24, 22, 20, 255};
    const double cx = 32, hip = 80, shoulder = 51, head = 42;
    // Legs and boots.
    for (double s : {-1.0, 1.0}) {
        double foot = cx + s * (4 + m.stride);
        limb(p, cx + s * 3.5, hip, foot, 123, 3.6, trousers);
        p.rect((int)(foot - 3), 122, (int)(foot + 5), 127, boot);
    }
    // Body in the high-visibility vest with its reflective band.
    limb(p, cx, hip, cx, shoulder + 3, 8.5, vest);
    p.rect((int)cx - 9, 66, (int)cx + 10, 69, stripe);
    p.rect((int)cx - 9, 74, (int)cx + 10, 77, stripe);
    // Arms.
    const double* hands[2] = {m.left_hand, m.right_hand};
    for (int k = 0; k < 2; k++) {
        double s = k == 0 ? -1 : 1;
        limb(p, cx + s * 8, shoulder + 2, hands[k][0], hands[k][1], 2.8, sleeve);
        p.disc(hands[k][0], hands[k][1], 2.6, skin);
    }
    // Head with a cap.
    p.disc(cx, head, 6.5, skin);
    p.disc(cx, head - 3, 6.2, cap);
    p.rect((int)cx, (int)head - 4, (int)cx + 9, (int)head - 1, cap);
    p.rect((int)cx - 6, (int)head - 2, (int)cx + 7, (int)head + 5, skin);
    p.put((int)cx + 2, (int)head, rgba{40, 30, 30, 255});

    const double* hand = m.right_hand;
    const rgba pole{200, 200, 200, 255};
    switch (m.held) {
        case hold_nothing:
            break;
        case hold_flag_furled:
            limb(p, hand[0], hand[1] - 2, hand[0] + 2, hand[1] + 30, 1, pole);
            limb(p, hand[0] + 1, hand[1] + 8, hand[0] + 2, hand[1] + 30, 2.2, m.flag.a);
            break;
        case hold_flag_up:
        case hold_flag_waving: {
            double top = m.held == hold_flag_up ? hand[1] - 34 : hand[1] - 30;
            double tx = m.held == hold_flag_up ? hand[0] : hand[0] - 12;
            limb(p, hand[0], hand[1] + 4, tx, top, 1, pole);
            cloth(p, tx + (m.held == hold_flag_up ? 1 : -21), top, 21, 14, m.held == hold_flag_up ? 0.4 : 2.1, m.flag);
            break;
        }
        case hold_board: {
            double bx = (m.left_hand[0] + m.right_hand[0]) / 2, by = std::min(m.left_hand[1], m.right_hand[1]);
            p.rect((int)bx - 15, (int)by - 22, (int)bx + 16, (int)by + 2, rgba{245, 245, 245, 255});
            p.frame((int)bx - 15, (int)by - 22, (int)bx + 16, (int)by + 2, 1, rgba{30, 30, 30, 255});
            if (m.board) centred_text(p, m.board, (int)bx + 1, (int)by - 16, 2, rgba{20, 20, 20, 255});
            break;
        }
        case hold_board_edge:
            p.rect((int)hand[0] - 1, (int)hand[1] - 20, (int)hand[0] + 2, (int)hand[1] + 4, rgba{200, 200, 200, 255});
            break;
    }
}

}  // namespace

picture marshal(marshal_picture which) {
    picture p(64, 128, clear);
    const flag_look green{{30, 160, 60, 255}, {}, false}, yellow{{250, 215, 20, 255}, {}, false};
    const flag_look white{{248, 248, 248, 255}, {}, false}, chequer{{250, 250, 250, 255}, {15, 15, 15, 255}, true};
    marshal_pose m{{22, 84}, {42, 84}, 1, hold_nothing, white, nullptr};
    switch (which) {
        case start_ready:
            m = {{22, 84}, {44, 30}, 1, hold_flag_up, green, nullptr};
            break;
        case start_board_up:
            m = {{24, 50}, {40, 50}, 1, hold_board_edge, white, nullptr};
            break;
        case start_board_high:
            m = {{20, 34}, {44, 34}, 1, hold_board, white, "15"};
            break;
        case start_walking:
            m = {{20, 74}, {42, 70}, 7, hold_board_edge, white, nullptr};
            break;
        case start_aside:
            m = {{22, 84}, {42, 84}, 2, hold_nothing, white, nullptr};
            break;
        case lap_normal:
            m = {{22, 84}, {42, 80}, 1, hold_flag_furled, white, nullptr};
            break;
        case lap_halfway:
            m = {{20, 36}, {44, 36}, 1, hold_board, white, "1/2"};
            break;
        case lap_last:
            m = {{22, 84}, {46, 32}, 2, hold_flag_waving, white, nullptr};
            break;
        case lap_finished:
            m = {{22, 84}, {46, 32}, 2, hold_flag_waving, chequer, nullptr};
            break;
        case yellow_still:
            m = {{22, 84}, {42, 80}, 1, hold_flag_furled, yellow, nullptr};
            break;
        case yellow_waving:
            m = {{20, 60}, {46, 30}, 3, hold_flag_waving, yellow, nullptr};
            break;
    }
    draw_marshal(p, m);
    return p;
}

// ---- the sky --------------------------------------------------------------------------------

namespace {

// The elevation (radians) of a range of hills along the horizon; periodic in
// the azimuth so the faces meet without a seam.
double hills(double azimuth, double base, const double (*waves)[3], int count) {
    double h = base;
    for (int k = 0; k < count; k++) h += waves[k][0] * dmath::sin(waves[k][1] * azimuth + waves[k][2]);
    return h;
}

rgba sky_colour(v3 dir, const double sun[3], const sky_look& look) {
    dir = normalise(dir);
    double elevation = dmath::asin(std::clamp(dir.y, -1.0, 1.0));
    double azimuth = dmath::atan2(dir.x, -dir.z);
    const rgba zenith = look.zenith, horizon = look.horizon;
    rgba c = mix(horizon, zenith, dmath::pow(std::clamp(elevation / (M_PI / 2), 0.0, 1.0), 0.45));

    // Clouds on a plane high above, thinning towards the horizon.
    if (elevation > 0.01) {
        double u = dir.x / dir.y * 400, v = dir.z / dir.y * 400;
        double n = fbm(u + 5000, v + 5000, 900, 5, 4242);
        double cover = smoothstep(look.cloud_from, look.cloud_full, n) * smoothstep(0.02, 0.2, elevation);
        rgba cloud = mix(rgba{205, 210, 222, 255}, rgba{250, 250, 252, 255}, smoothstep(0.5, 0.8, n));
        c = mix(c, cloud, cover * 0.9);
    }
    // The sun and the glow around it.
    double s = std::max(0.0, dir.x * sun[0] + dir.y * sun[1] + dir.z * sun[2]);
    double glow = std::min(1.0, dmath::pow(s, 900) * 1.2 + dmath::pow(s, 40) * 0.3 + dmath::pow(s, 6) * 0.1);
    c = mix(c, rgba{255, 246, 226, 255}, glow);

    // Two ranges of distant hills: far and hazy, then nearer wooded ones.
    const double far_waves[][3] = {{0.03, 2, 0.3}, {0.02, 5, 1.1}, {0.008, 11, 2.0}, {0.004, 23, 0.7}};
    const double near_waves[][3] = {{0.025, 3, 2.2}, {0.012, 7, 0.4}, {0.006, 17, 1.7}, {0.003, 41, 0.2}};
    double far = hills(azimuth, 0.075, far_waves, 4);
    double near = hills(azimuth, 0.04, near_waves, 4);
    if (elevation < far) c = mix(look.far_hills, c, 0.25);
    if (elevation < near) {
        double trees = fbm(azimuth * 300 + 1000, elevation * 300, 6, 2, 99);
        c = shade(look.near_hills, 0.8 + 0.35 * trees);
        c = mix(c, horizon, 0.3);
    }
    if (elevation < 0) c = shade(look.ground, 0.9 + 0.2 * fbm(azimuth * 200, elevation * 200, 5, 2, 7));
    return c;
}

}  // namespace

picture sky_face(int face, int size, const double sun[3], const sky_look& look) {
    picture p(size, size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            double a = 2 * (x + 0.5) / size - 1, b = 2 * (y + 0.5) / size - 1;
            v3 d;
            switch (face) {
                case 0: d = {a, -b, -1}; break;
                case 1: d = {1, -b, a}; break;
                case 2: d = {-a, -b, 1}; break;
                case 3: d = {-1, -b, -a}; break;
                default: d = {a, 1, b}; break;
            }
            p.at(x, y) = sky_colour(d, sun, look);
        }
    return p;
}

picture sky_environment(int size, const double sun[3], const sky_look& look) {
    picture p(size, size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            double u = 2 * (x + 0.5) / size - 1, v = 1 - 2 * (y + 0.5) / size;
            double r2 = u * u + v * v;
            if (r2 > 1) {
                p.at(x, y) = sky_colour({u, v, 0}, sun, look);
                continue;
            }
            v3 n{u, v, std::sqrt(1 - r2)};
            // The view along -z reflected in the sphere's surface.
            v3 r{2 * n.z * n.x, 2 * n.z * n.y, 2 * n.z * n.z - 1};
            p.at(x, y) = sky_colour(r, sun, look);
        }
    return p;
}

// ---- lens flare pieces -------------------------------------------------------------------------

namespace {
picture radial(double (*profile)(double)) {
    picture p(64, 64, rgba{255, 255, 255, 0});
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) {
            double d = dmath::hypot(x + 0.5 - 32, y + 0.5 - 32) / 32;
            p.at(x, y).a = (uint8_t)std::clamp(profile(d) * 255 + 0.5, 0.0, 255.0);
        }
    return p;
}
}  // namespace

picture flare_glow() {
    return radial([](double d) { return d >= 1 ? 0.0 : dmath::pow(1 - d, 2.5); });
}
picture flare_ring() {
    return radial([](double d) { return dmath::exp(-dmath::pow((d - 0.8) / 0.08, 2)) * (d < 1 ? 1.0 : 0.0); });
}
picture flare_disc() {
    return radial([](double d) { return 0.6 * (1 - smoothstep(0.8, 0.95, d)) + 0.3 * smoothstep(0.6, 0.9, d) * (d < 0.95); });
}

// ---- models -----------------------------------------------------------------------------------

namespace {
uv_box area(int x0, int y0, int x1, int y1) { return pixel_box(x0, y0, x1, y1, 64, 64); }
const float dull[3] = {0.1f, 0.1f, 0.1f};

collision_sphere sphere(double x, double y, double z, double r, double friction, double stiffness, double damping) {
    collision_sphere s{};
    s.center[0] = (float)x, s.center[1] = (float)y, s.center[2] = (float)z;
    s.radius = (float)r;
    s.friction = (float)friction;
    s.stiffness = (float)stiffness;
    s.damping = (float)damping;
    return s;
}
}  // namespace

// A straw bale, 4 ft long, 2 ft deep and 1.6 ft high.
std::string haybale_model() {
    mesh_build m;
    box(m, {-2, 0, -1}, {2, 1.6, 1}, area(0, 0, 64, 64));
    return jm_text({to_mesh(m, 2, dull)});
}

picture haybale_texture() {
    picture p(64, 64, rgba{206, 176, 98, 255});
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) {
            double streak = smooth_noise(x * 0.25, y * 3.0, 1, 31) * 0.6 + noise01(x, y, 17) * 0.4;
            p.at(x, y) = shade(p.at(x, y), 0.75 + 0.45 * streak);
        }
    // The two bands of twine.
    for (int x : {18, 44}) p.rect(x, 0, x + 2, 64, rgba{120, 96, 60, 255});
    return p;
}

collision_shape haybale_shape() {
    collision_shape s;
    // Hay gives: soft springs, a lot of grip.
    for (double x : {-1.3, -0.43, 0.43, 1.3}) s.spheres.push_back(sphere(x, 0.8, 0, 0.8, 0.8, 4000, 400));
    s.bounding_radius = shape_bounding_radius(s);
    return s;
}

// A plastic barrier block: 6 ft long, a trapezoid 1.8 ft wide at the foot,
// 1 ft at the top and 2 ft high.
std::string barrier_model() {
    mesh_build m;
    extrude_x(m, {{-0.9, 0}, {0.9, 0}, {0.5, 2}, {-0.5, 2}}, -3, 3, area(0, 32, 64, 64), area(0, 0, 64, 32));
    return jm_text({to_mesh(m, 24, dull)});
}

picture barrier_texture(bool blue) {
    rgba body = blue ? rgba{30, 80, 190, 255} : rgba{240, 196, 20, 255};
    picture p(64, 64, body);
    // The long faces: chevrons pointing the way round the corner.
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 64; x++)
            if (((x + std::abs(y - 16)) / 6) % 2 == 0 && y > 4 && y < 28) p.at(x, y) = rgba{245, 245, 245, 255};
    p.grain(0, 0, 64, 64, 0.06, blue ? 5 : 6);
    return p;
}

collision_shape barrier_shape() {
    collision_shape s;
    for (double x : {-2.4, -1.2, 0.0, 1.2, 2.4}) {
        s.spheres.push_back(sphere(x, 0.75, 0, 0.8, 0.5, 10000, 800));
        s.spheres.push_back(sphere(x, 1.5, 0, 0.5, 0.5, 10000, 800));
    }
    s.bounding_radius = shape_bounding_radius(s);
    return s;
}

std::string camera_tower_model(double height) {
    mesh_build m;
    const uv_box steel = area(0, 0, 32, 32), deck = area(32, 0, 64, 32), body = area(0, 32, 32, 64),
                 lens = area(32, 32, 64, 64);
    double h = height - 1.5;  // the deck; the camera stands on it
    for (double x : {-1.5, 1.5})
        for (double z : {-1.5, 1.5}) tube(m, {{x, 0, z}, {x * 0.8, h, z * 0.8}}, {0.12}, 6, steel);
    // Cross braces on every side.
    for (int k = 0; k < 3; k++) {
        double y0 = h * k / 3, y1 = h * (k + 1) / 3;
        double w0 = 1.5 - 0.3 * k / 3, w1 = 1.5 - 0.3 * (k + 1) / 3;
        tube(m, {{-w0, y0, w0}, {w1, y1, w1}}, {0.06}, 4, steel);
        tube(m, {{w0, y0, -w0}, {-w1, y1, -w1}}, {0.06}, 4, steel);
        tube(m, {{-w0, y0, -w0}, {-w1, y1, w1}}, {0.06}, 4, steel);
        tube(m, {{w0, y0, w0}, {w1, y1, -w1}}, {0.06}, 4, steel);
    }
    box(m, {-1.6, h, -1.6}, {1.6, h + 0.2, 1.6}, deck);
    // Railing at the back and sides.
    tube(m, {{-1.6, h + 1.2, 1.6}, {1.6, h + 1.2, 1.6}}, {0.06}, 4, steel);
    for (double x : {-1.6, 1.6}) tube(m, {{x, h + 1.2, 1.6}, {x, h + 1.2, -1.6}}, {0.06}, 4, steel);
    // The camera on its tripod head, lens forward (-z).
    tube(m, {{0, h + 0.2, 0}, {0, h + 1.1, 0}}, {0.1}, 6, steel);
    box(m, {-0.35, h + 1.1, -0.7}, {0.35, h + 1.7, 0.6}, body);
    tube(m, {{0, h + 1.4, -0.7}, {0, h + 1.4, -1.2}}, {0.18}, 10, lens);
    return jm_text({to_mesh(m, 16, dull)});
}

picture camera_tower_texture() {
    picture p(64, 64, rgba{150, 152, 156, 255});
    p.gradient(0, 0, 32, 32, rgba{176, 178, 182, 255}, rgba{120, 122, 126, 255});
    p.rect(32, 0, 64, 32, rgba{132, 100, 64, 255});
    for (int y = 0; y < 32; y += 6) p.rect(32, y, 64, y + 1, rgba{96, 72, 46, 255});
    p.rect(0, 32, 32, 64, rgba{36, 36, 40, 255});
    p.rect(4, 40, 14, 46, rgba{200, 30, 30, 255});
    p.rect(32, 32, 64, 64, rgba{20, 20, 24, 255});
    p.disc(48, 48, 10, rgba{60, 70, 110, 255});
    p.grain(0, 0, 64, 64, 0.05, 8);
    return p;
}

}  // namespace scenery_art
