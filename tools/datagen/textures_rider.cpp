// The rider's riding gear and helmet textures, with the variants of the
// "Rider Gear" and "Helmet" choices. The layout is the one the rider models
// map to.
#include <algorithm>
#include <cmath>

#include "datagen/bike_art.h"
#include "datagen/datagen.h"
#include "datagen/picture.h"

namespace {

namespace ra = rider_atlas;
namespace ha = head_atlas;

rgba c(int r, int g, int b) { return rgba{(uint8_t)r, (uint8_t)g, (uint8_t)b, 255}; }

struct gear_look {
    rgba jersey, jersey_second, accent, pants, pants_second, boots, gloves;
};

void fill(picture& p, const int a[4], rgba col) { p.rect(a[0], a[1], a[2], a[3], col); }

// Soft folds of cloth: low-frequency shading over an area.
void folds(picture& p, const int a[4], uint32_t seed) {
    for (int y = a[1]; y < a[3]; y++)
        for (int x = a[0]; x < a[2]; x++) p.at(x, y) = shade(p.at(x, y), 0.9 + 0.18 * smooth_noise(x, y, 9, seed));
}

picture gear_texture(const gear_look& g) {
    picture p(ra::size, ra::size, g.jersey);
    // Torso: u runs right side, back, left side, front; v from the neck down.
    const int* t = ra::torso;
    int w = t[2] - t[0], h = t[3] - t[1];
    int waist = t[1] + (int)(h * ra::jersey_share);
    fill(p, t, g.jersey);
    for (int y = t[1]; y < waist; y++) {
        for (int x = t[0]; x < t[2]; x++) {
            double u = (double)(x - t[0]) / w, v = (double)(y - t[1]) / (waist - t[1]);
            double front = std::fabs(u - 0.75), back = std::fabs(u - 0.25);
            bool side_panel = std::min(u, 1 - u) < 0.07 || std::fabs(u - 0.5) < 0.07;
            if (v < 0.2) p.at(x, y) = g.jersey_second;                          // shoulders and yoke
            if (side_panel && v > 0.25) p.at(x, y) = g.jersey_second;           // side panels
            if (front < 0.22 && std::fabs(v - 0.42) < 0.05) p.at(x, y) = g.accent;  // chest band
            if (back < 0.16 && v > 0.3 && v < 0.75) p.at(x, y) = g.jersey_second;   // behind the back plate
            if (v > 0.92) p.at(x, y) = g.accent;                                // hem
        }
    }
    p.rect(t[0], t[1], t[2], t[1] + 3, c(20, 20, 22));  // collar
    p.rect(t[0], waist, t[2], t[3], g.pants);
    p.rect(t[0], waist, t[2], waist + 4, c(25, 25, 28));  // waistband
    for (int x = t[0]; x < t[2]; x++)
        if (std::fabs((double)(x - t[0]) / w - 0.5) < 0.06 || (double)(x - t[0]) / w < 0.06 || (double)(x - t[0]) / w > 0.94)
            p.rect(x, waist + 4, x + 1, t[3], g.pants_second);
    folds(p, t, 31);

    // Sleeves: u around from the top of the arm, v shoulder to wrist.
    const int* s = ra::sleeve;
    fill(p, s, g.jersey);
    for (int y = s[1]; y < s[3]; y++) {
        double v = (double)(y - s[1]) / (s[3] - s[1]);
        for (int x = s[0]; x < s[2]; x++) {
            double u = (double)(x - s[0]) / (s[2] - s[0]);
            if (v < 0.22) p.at(x, y) = g.jersey_second;
            if (std::min(u, 1 - u) < 0.08 && v > 0.22) p.at(x, y) = g.accent;
            if (v > 0.9) p.at(x, y) = g.jersey_second;
        }
    }
    folds(p, s, 32);
    fill(p, ra::glove, g.gloves);
    p.rect(ra::glove[0], ra::glove[1] + 18, ra::glove[2], ra::glove[1] + 30, shade(g.gloves, 0.6));  // knuckles
    folds(p, ra::glove, 33);

    // Thighs: pants with a side stripe; shins: knee guard, pants, then boot.
    const int* th = ra::thigh;
    fill(p, th, g.pants);
    for (int x = th[0]; x < th[2]; x++) {
        double u = (double)(x - th[0]) / (th[2] - th[0]);
        if (std::min(u, 1 - u) < 0.07 || std::fabs(u - 0.5) < 0.07) p.rect(x, th[1], x + 1, th[3], g.pants_second);
    }
    folds(p, th, 34);
    const int* sh = ra::shin;
    int boot_top = sh[1] + (int)((sh[3] - sh[1]) * ra::boot_top);
    fill(p, sh, g.pants);
    for (int y = sh[1]; y < boot_top; y++)
        for (int x = sh[0]; x < sh[2]; x++) {
            double u = (double)(x - sh[0]) / (sh[2] - sh[0]);
            if (std::fabs(u - 0.75) < 0.18) p.at(x, y) = c(40, 40, 44);  // knee guard
        }
    p.rect(sh[0], boot_top, sh[2], sh[3], g.boots);
    for (int y = boot_top + 6; y < sh[3]; y += 10) p.rect(sh[0], y, sh[2], y + 3, shade(g.boots, 0.55));  // buckles
    fill(p, ra::boot, g.boots);
    p.rect(ra::boot[0], ra::boot[1] + 46, ra::boot[2], ra::boot[3], c(28, 28, 30));  // sole
    p.rect(ra::boot[0], ra::boot[1] + 20, ra::boot[2], ra::boot[1] + 23, shade(g.boots, 0.55));
    fill(p, ra::collar, c(20, 20, 22));
    fill(p, ra::plate, c(240, 240, 240));
    return p;
}

struct helmet_look {
    rgba shell, stripe, accent, peak, strap;
};

picture helmet_texture(const helmet_look& h) {
    picture p(ha::size, ha::size, h.shell);
    // Shell seen from the side: u from the face (0) to the back (1), v from the top.
    const int* s = ha::shell;
    int w = s[2] - s[0], hh = s[3] - s[1];
    fill(p, s, h.shell);
    for (int y = s[1]; y < s[3]; y++)
        for (int x = s[0]; x < s[2]; x++) {
            double u = (double)(x - s[0]) / w, v = (double)(y - s[1]) / hh;
            double curve = 0.55 - 0.25 * u;
            if (std::fabs(v - curve) < 0.06) p.at(x, y) = h.stripe;
            if (std::fabs(v - curve - 0.1) < 0.025) p.at(x, y) = h.accent;
            if (v < 0.12) p.at(x, y) = h.stripe;
        }
    p.gradient(ha::peak[0], ha::peak[1], ha::peak[2], ha::peak[3], h.peak, shade(h.peak, 0.8));
    p.rect(ha::peak[0], ha::peak[1] + 12, ha::peak[2], ha::peak[1] + 18, h.stripe);
    p.gradient(ha::lens[0], ha::lens[1], ha::lens[2], ha::lens[3], c(120, 160, 200), c(30, 40, 60));
    fill(p, ha::strap, h.strap);
    for (int x = ha::strap[0]; x < ha::strap[2]; x += 8) p.rect(x, ha::strap[1], x + 3, ha::strap[3], shade(h.strap, 0.5));
    fill(p, ha::chin, h.shell);
    p.rect(ha::chin[0], ha::chin[1] + 10, ha::chin[2], ha::chin[1] + 16, h.stripe);
    fill(p, ha::vent, c(50, 50, 54));
    for (int x = ha::vent[0] + 4; x < ha::vent[2]; x += 8) p.rect(x, ha::vent[1] + 8, x + 4, ha::vent[3] - 8, c(15, 15, 16));
    return p;
}

bool generate_rider_textures(datagen_output& out) {
    const gear_look standard{c(30, 70, 170), c(240, 240, 240), c(220, 30, 30), c(35, 35, 40), c(30, 70, 170),
                             c(235, 235, 235), c(30, 30, 34)};
    const gear_look red{c(200, 25, 30), c(25, 25, 28), c(250, 250, 250), c(230, 230, 230), c(200, 25, 30),
                        c(25, 25, 28), c(200, 25, 30)};
    const gear_look lime{c(120, 200, 40), c(25, 25, 28), c(250, 250, 250), c(25, 25, 28), c(120, 200, 40),
                         c(25, 25, 28), c(25, 25, 28)};
    const gear_look sand{c(230, 200, 140), c(120, 80, 40), c(40, 90, 60), c(120, 80, 40), c(230, 200, 140),
                         c(110, 70, 40), c(120, 80, 40)};
    add_picture(out, "rider_body.png", gear_texture(standard));
    add_picture(out, "rider_body-red.png", gear_texture(red));
    add_picture(out, "rider_body-lime.png", gear_texture(lime));
    add_picture(out, "rider_body-desert.png", gear_texture(sand));

    const helmet_look white{c(240, 240, 240), c(30, 70, 170), c(220, 30, 30), c(30, 70, 170), c(30, 30, 34)};
    const helmet_look black{c(25, 25, 28), c(200, 25, 30), c(240, 240, 240), c(25, 25, 28), c(200, 25, 30)};
    const helmet_look yellow{c(245, 210, 20), c(25, 25, 28), c(240, 240, 240), c(25, 25, 28), c(25, 25, 28)};
    add_picture(out, "rider_head.png", helmet_texture(white));
    add_picture(out, "rider_head-black.png", helmet_texture(black));
    add_picture(out, "rider_head-yellow.png", helmet_texture(yellow));
    return true;
}

}  // namespace

QX_DATAGEN_GENERATOR(textures_rider, generate_rider_textures);
