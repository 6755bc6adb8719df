// The HUD's pictures: the tachometer dial (0 to 16000 rpm over 270 degrees,
// the needle is drawn by the program), the 3 x 3 gear digit atlas, the
// number plate of the rider panel, and the title picture of the loading
// screen (the program's name over a rider clearing a jump).
#include <algorithm>
#include <cmath>
#include <string>

#include "datagen/datagen.h"
#include "datagen/dmath.h"
#include "datagen/font_raster.h"
#include "datagen/picture.h"

namespace {

constexpr double pi = 3.14159265358979323846;

void blend_pixel(picture& p, int x, int y, rgba c, double a) {
    if (x < 0 || y < 0 || x >= p.width || y >= p.height || a <= 0) return;
    rgba& d = p.at(x, y);
    double sa = c.a / 255.0 * std::min(a, 1.0), da = d.a / 255.0, oa = sa + da * (1 - sa);
    if (oa <= 0) return;
    auto ch = [&](uint8_t s, uint8_t t) { return (uint8_t)std::clamp((s * sa + t * da * (1 - sa)) / oa + 0.5, 0.0, 255.0); };
    d = rgba{ch(c.r, d.r), ch(c.g, d.g), ch(c.b, d.b), (uint8_t)std::clamp(oa * 255 + 0.5, 0.0, 255.0)};
}

// An antialiased thick segment.
void stroke(picture& p, double x0, double y0, double x1, double y1, double width, rgba c) {
    int bx0 = (int)std::floor(std::min(x0, x1) - width), bx1 = (int)std::ceil(std::max(x0, x1) + width);
    int by0 = (int)std::floor(std::min(y0, y1) - width), by1 = (int)std::ceil(std::max(y0, y1) + width);
    double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    for (int y = by0; y <= by1; y++) {
        for (int x = bx0; x <= bx1; x++) {
            double px = x + 0.5 - x0, py = y + 0.5 - y0;
            double t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0;
            double d = dmath::hypot(px - t * dx, py - t * dy);
            blend_pixel(p, x, y, c, width / 2 + 0.5 - d);
        }
    }
}

void soft_disc(picture& p, double cx, double cy, double r, rgba c) {
    for (int y = (int)(cy - r - 1); y <= (int)(cy + r + 1); y++)
        for (int x = (int)(cx - r - 1); x <= (int)(cx + r + 1); x++)
            blend_pixel(p, x, y, c, r + 0.5 - dmath::hypot(x + 0.5 - cx, y + 0.5 - cy));
}

void centred_text(picture& p, raster_font& f, const std::string& text, double cx, double cy, rgba c) {
    int w = raster_text_width(f, text);
    draw_raster_text(p, f, text, (int)std::lround(cx - w / 2.0), (int)std::lround(cy + f.cap_height / 2.0), c);
}

bool tachometer(datagen_output& out) {
    const int n = 512;
    const double c = n / 2.0, r = n / 2.0 - 6;
    picture p(n, n, rgba{0, 0, 0, 0});
    soft_disc(p, c, c, r + 4, rgba{170, 170, 178, 255});
    soft_disc(p, c, c, r - 6, rgba{18, 18, 22, 240});
    for (int y = 0; y < n; y++)  // a faint sheen on the upper half of the face
        for (int x = 0; x < n; x++)
            if (dmath::hypot(x + 0.5 - c, y + 0.5 - c) < r - 8 && y < c)
                blend_pixel(p, x, y, rgba{255, 255, 255, 255}, 0.05 * (c - y) / c);
    raster_font label;
    if (!open_raster_font(label, "DejaVuSans-Bold.ttf", 34)) return false;
    raster_font small;
    if (!open_raster_font(small, "DejaVuSans.ttf", 20)) return false;
    // 0 rpm at -135 degrees, 16000 at +135, clockwise from the top.
    auto angle = [](double rpm) { return (rpm / 16000 * 270 - 135) * pi / 180; };
    for (double rpm = 12500; rpm < 16000; rpm += 10) {  // red zone
        double a = angle(rpm);
        stroke(p, c + dmath::sin(a) * (r - 30), c - dmath::cos(a) * (r - 30), c + dmath::sin(a) * (r - 12),
               c - dmath::cos(a) * (r - 12), 4, rgba{210, 30, 30, 255});
    }
    for (int k = 0; k <= 32; k++) {
        double a = angle(k * 500.0);
        bool major = k % 2 == 0;
        double r0 = major ? r - 44 : r - 30;
        stroke(p, c + dmath::sin(a) * r0, c - dmath::cos(a) * r0, c + dmath::sin(a) * (r - 12), c - dmath::cos(a) * (r - 12),
               major ? 6 : 3, rgba{240, 240, 240, 255});
        if (major) {
            double rl = r - 78;
            centred_text(p, label, std::to_string(k / 2), c + dmath::sin(a) * rl, c - dmath::cos(a) * rl,
                         k >= 26 ? rgba{255, 80, 70, 255} : rgba{245, 245, 245, 255});
        }
    }
    centred_text(p, small, "x1000 rpm", c, c + r * 0.32, rgba{200, 200, 200, 255});
    add_picture(out, "tach.png", p, true);
    return true;
}

bool shifter(datagen_output& out) {
    const int n = 256;
    picture p(n, n, rgba{0, 0, 0, 0});
    raster_font f;
    if (!open_raster_font(f, "DejaVuSans-Bold.ttf", 64)) return false;
    for (int k = 0; k < 9; k++) {
        int col = k % 3, row = k / 3;
        double x0 = col * n / 3.0, y0 = row * n / 3.0, s = n / 3.0;
        double cx = x0 + s / 2, cy = y0 + s / 2;
        // A rounded dark tile with the gear number (cell k shows gear k + 1).
        for (int y = (int)y0; y < (int)(y0 + s); y++) {
            for (int x = (int)x0; x < (int)(x0 + s); x++) {
                double qx = std::max(std::fabs(x + 0.5 - cx) - (s / 2 - 16), 0.0);
                double qy = std::max(std::fabs(y + 0.5 - cy) - (s / 2 - 16), 0.0);
                double d = dmath::hypot(qx, qy);
                blend_pixel(p, x, y, rgba{20, 20, 24, 220}, 12.5 - d);
            }
        }
        centred_text(p, f, std::to_string(k + 1), cx, cy, rgba{255, 200, 40, 255});
    }
    add_picture(out, "shifter.png", p, true);
    return true;
}

bool pitboard(datagen_output& out) {
    const int w = 256, h = 128;
    picture p(w, h, rgba{0, 0, 0, 0});
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            double qx = std::max(std::fabs(x + 0.5 - w / 2.0) - (w / 2.0 - 18), 0.0);
            double qy = std::max(std::fabs(y + 0.5 - h / 2.0) - (h / 2.0 - 18), 0.0);
            double d = dmath::hypot(qx, qy);
            blend_pixel(p, x, y, rgba{25, 25, 25, 255}, 16.5 - d);  // border
            rgba face = mix(rgba{255, 222, 60, 255}, rgba{240, 190, 30, 255}, (double)y / h);
            blend_pixel(p, x, y, face, 10.5 - d);
        }
    }
    p.grain(10, 10, w - 10, h - 10, 0.03, 41);
    add_picture(out, "pitboard.png", p, true);
    return true;
}

bool title(datagen_output& out) {
    const int w = 1024, h = 512;
    picture p(w, h);
    p.gradient(0, 0, w, h, rgba{60, 120, 200, 255}, rgba{200, 222, 240, 255});
    soft_disc(p, 820, 110, 46, rgba{255, 244, 200, 255});
    // Distant hills, then the near ground.
    for (int x = 0; x < w; x++) {
        double far = h * 0.56 - 40 * dmath::sin(x * 0.006 + 1) - 18 * dmath::sin(x * 0.017);
        double near = h * 0.7 - 14 * dmath::sin(x * 0.011 + 2);
        for (int y = 0; y < h; y++) {
            if (y > far) p.at(x, y) = mix(rgba{88, 130, 80, 255}, rgba{70, 110, 64, 255}, smooth_noise(x, y, 30, 3));
            if (y > near)
                p.at(x, y) = mix(rgba{126, 92, 58, 255}, rgba{100, 72, 44, 255}, smooth_noise(x, y, 9, 5));
        }
    }
    // The jump: a take-off ramp on the left, the landing slope on the right.
    for (int x = 0; x < w; x++) {
        double top = h;
        if (x >= 150 && x < 400) top = h * 0.7 - (x - 150) * 0.5;             // up to the lip
        if (x >= 400 && x < 430) top = h * 0.7 - 125 + (x - 400) * 4.2;        // its steep back
        if (x >= 690 && x < 780) top = h * 0.7 - 70;                          // landing deck
        if (x >= 780 && x < 1000) top = h * 0.7 - 70 + (x - 780) * 0.32;       // landing slope
        if (x >= 640 && x < 690) top = h * 0.7 - (x - 640) * 1.4;
        for (int y = std::max(0, (int)top); y < h; y++)
            p.at(x, y) = mix(rgba{140, 100, 62, 255}, rgba{112, 80, 50, 255}, smooth_noise(x, y, 7, 9));
    }
    p.grain(0, (int)(h * 0.6), w, h, 0.06, 13);
    // Bike and rider in the air, nose up, as a dark silhouette.
    const rgba ink{28, 26, 30, 255}, accent{230, 60, 30, 255};
    const double bx = 560, by = 262, tilt = -0.22;
    auto pt = [&](double x, double y, double& ox, double& oy) {
        ox = bx + x * dmath::cos(tilt) - y * dmath::sin(tilt);
        oy = by + x * dmath::sin(tilt) + y * dmath::cos(tilt);
    };
    auto seg = [&](double x0, double y0, double x1, double y1, double width, rgba c) {
        double a, b, cc, d;
        pt(x0, y0, a, b);
        pt(x1, y1, cc, d);
        stroke(p, a, b, cc, d, width, c);
    };
    auto wheel = [&](double x, double y) {
        double a, b;
        pt(x, y, a, b);
        for (int k = 0; k < 360; k += 2) {
            double t = k * pi / 180;
            stroke(p, a + 36 * dmath::cos(t), b + 36 * dmath::sin(t), a + 36 * dmath::cos(t + 0.04),
                   b + 36 * dmath::sin(t + 0.04), 11, ink);
        }
        soft_disc(p, a, b, 6, ink);
    };
    wheel(-78, 40);
    wheel(88, 40);
    seg(-78, 40, -10, 18, 9, ink);     // swingarm
    seg(88, 40, 58, -40, 9, ink);      // fork
    seg(-30, -6, 62, -30, 16, accent);  // tank and seat
    seg(-60, -14, -20, -10, 12, accent);
    seg(-10, 18, 30, -14, 22, ink);    // engine
    seg(58, -40, 44, -52, 6, ink);     // bars
    // rider: legs, body, arms, helmet
    seg(-12, -20, 20, 0, 12, ink);
    seg(20, 0, 14, 22, 10, ink);
    seg(-12, -20, 4, -78, 16, ink);
    seg(4, -78, 44, -52, 9, ink);
    double hx, hy;
    pt(14, -98, hx, hy);
    soft_disc(p, hx, hy, 19, ink);
    // A little roost flung off the ramp lip.
    for (int k = 0; k < 40; k++) {
        double x = 410 + noise01(k, 1, 21) * 70, y = 225 + noise01(k, 2, 21) * 60;
        soft_disc(p, x, y, 1.5 + noise01(k, 3, 21) * 2.5, rgba{110, 80, 50, 230});
    }
    raster_font big;
    if (!open_raster_font(big, "DejaVuSans-Bold.ttf", 96)) return false;
    int tw = raster_text_width(big, "QUARNIX");
    draw_raster_text(p, big, "QUARNIX", (w - tw) / 2 + 5, 125 + 5, rgba{0, 0, 0, 150});
    draw_raster_text(p, big, "QUARNIX", (w - tw) / 2, 125, rgba{250, 250, 250, 255});
    raster_font sub;
    if (!open_raster_font(sub, "DejaVuSans-Bold.ttf", 30)) return false;
    int sw = raster_text_width(sub, "motocross");
    draw_raster_text(p, sub, "motocross", (w - sw) / 2, 168, rgba{255, 210, 60, 255});
    add_picture(out, "title.png", p);
    return true;
}

bool generate_hud_art(datagen_output& out) { return tachometer(out) && shifter(out) && pitboard(out) && title(out); }

}  // namespace

QX_DATAGEN_GENERATOR(hud_art, generate_hud_art);
