// Textures the program needs before any track: plain white (the stand-in
// texture of untextured drawing) and the roost particle, a soft clump of
// thrown dirt.
#include <algorithm>
#include <cmath>

#include "datagen/datagen.h"
#include "datagen/dmath.h"
#include "datagen/picture.h"

namespace {

picture roost_particle() {
    const int n = 64;
    picture p(n, n, rgba{0, 0, 0, 0});
    const rgba dirt{112, 82, 52, 255}, dark{70, 50, 32, 255}, light{150, 118, 80, 255};
    // A few overlapping blobs make the clump irregular.
    struct blob {
        double x, y, r;
    };
    const blob blobs[] = {{32, 33, 20}, {24, 28, 11}, {41, 26, 10}, {38, 42, 12}, {22, 40, 9}, {33, 20, 8}};
    for (int y = 0; y < n; y++) {
        for (int x = 0; x < n; x++) {
            double density = 0;
            for (const blob& b : blobs) {
                double d = dmath::hypot(x + 0.5 - b.x, y + 0.5 - b.y) / b.r;
                density = std::max(density, 1 - d * d);
            }
            double grit = smooth_noise(x, y, 5, 7) * 0.6 + noise01(x, y, 11) * 0.4;
            double a = std::clamp(density * 1.6 - 0.25 + (grit - 0.5) * 0.5, 0.0, 1.0);
            rgba c = mix(dark, light, std::clamp(grit + (33 - y) * 0.01, 0.0, 1.0));
            c = mix(c, dirt, 0.4);
            c.a = (uint8_t)(a * 235 + 0.5);
            p.at(x, y) = c;
        }
    }
    return p;
}

bool generate_basic_textures(datagen_output& out) {
    add_picture(out, "colors/white.png", picture(8, 8, rgba{255, 255, 255, 255}));
    add_picture(out, "roost.png", roost_particle(), true);
    return true;
}

}  // namespace

QX_DATAGEN_GENERATOR(textures_basic, generate_basic_textures);
