// The generated tracks' ground decals: the chalk finish line across the
// track, a chalk line in front of the starting gate, and braking ruts on
// the way into the tighter corners (dark and damp in dirt, churned and
// shadowed in sand). Written with the program's own
// decals writer; textures are small RGBA pictures with soft edges.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "datagen/datagen.h"
#include "datagen/dmath.h"
#include "datagen/picture.h"
#include "datagen/rabbithill_layout.h"
#include "track/decals.h"

namespace {

using namespace rabbithill;

// Alpha that falls off smoothly over `soft` pixels inside a rectangle's edge.
double edge_fade(int x, int y, int w, int h, double soft) {
    double d = std::min({x + 0.5, w - x - 0.5, y + 0.5, h - y - 0.5});
    return std::clamp(d / soft, 0.0, 1.0);
}

// A chalk stripe: off-white, patchy, with ragged ends and sides.
picture chalk_picture() {
    picture p(128, 16);
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++) {
            double patch = smooth_noise(x, y, 6, 71) * 0.6 + noise01(x, y, 72) * 0.4;
            double a = edge_fade(x, y, p.width, p.height, 3.0) * (0.55 + 0.45 * patch);
            uint8_t v = (uint8_t)(222 + 28 * noise01(x, y, 73));
            p.at(x, y) = rgba{v, v, (uint8_t)(v - 12), (uint8_t)std::lround(255 * std::clamp(a, 0.0, 1.0))};
        }
    return p;
}

// Braking ruts: a few dark furrows along the picture's height (the decal's
// v axis, laid along the direction of travel) in damp, darker soil, or in
// churned sand.
picture ruts_picture(bool sandy) {
    const rgba soil_light = sandy ? rgba{176, 146, 104, 255} : rgba{86, 60, 40, 255};
    const rgba soil_dark = sandy ? rgba{128, 102, 70, 255} : rgba{58, 40, 28, 255};
    picture p(64, 128);
    const double lanes[] = {10.5, 24.0, 33.5, 47.0, 55.5};
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++) {
            double furrow = 0;
            for (double lane : lanes) {
                double wobble = 2.5 * dmath::sin(y * 0.07 + lane);
                furrow = std::max(furrow, 1.0 - std::fabs(x + 0.5 - lane - wobble) / 3.5);
            }
            double damp = smooth_noise(x, y, 16, 91);
            double a = edge_fade(x, y, p.width, p.height, 14.0) * (0.35 + 0.25 * damp + 0.35 * furrow);
            rgba soil = mix(soil_light, soil_dark, furrow);
            soil = shade(soil, 0.9 + 0.2 * noise01(x, y, 92));
            soil.a = (uint8_t)std::lround(255 * std::clamp(a, 0.0, 1.0));
            p.at(x, y) = soil;
        }
    return p;
}

decal across_track(const std::string& dir, double x, double z, double dx, double dz, double width, double depth,
                   const std::string& texture) {
    decal d;
    d.x = (float)x;
    d.z = (float)z;
    // The decal's first side runs along (cos a, -sin a): across the track.
    d.angle = (float)dmath::atan2(dx, dz);
    d.size = (float)width;
    d.ratio = (float)(depth / width);
    d.texture.name = "@" + dir + texture;
    return d;
}

bool generate_terrain_decals(datagen_output& out, const track_plan& plan) {
    const track_design& d = design_of(plan);
    if (d.lap.empty()) return false;
    const std::string dir = std::string(plan.dir) + "/";
    std::vector<decal> decals;

    // The finish line lies on the last timing gate.
    if (!d.gates.empty()) {
        const gate& g = d.gates.back();
        double w = 2 * g.radius;
        decals.push_back(across_track(dir, g.x, g.z, g.dx, g.dz, w, 1.5, "decal_chalk.png"));
    }
    // A line just in front of the gate the riders start from.
    if (!d.chute.empty()) {
        const centre_sample& c = d.chute[std::min<size_t>(4, d.chute.size() - 1)];
        decals.push_back(across_track(dir, c.x, c.z, c.dx, c.dz, c.width * 1.1, 1.0, "decal_chalk.png"));
    }
    // Ruts on the last stretch before each tight corner, where riders brake.
    double last = -1e9;
    for (size_t k = 0; k < d.lap.size(); k++) {
        const centre_sample& c = d.lap[k];
        if (std::fabs(c.curvature) < 0.012 || c.s - last < 60) continue;
        last = c.s;
        const centre_sample& b = d.lap[(k + d.lap.size() - 12) % d.lap.size()];
        decal r = across_track(dir, b.x, b.z, b.dx, b.dz, b.width * 0.7, 18.0, "decal_ruts.png");
        decals.push_back(r);
    }

    add_picture(out, dir + "decal_chalk.png", chalk_picture(), true);
    add_picture(out, dir + "decal_ruts.png", ruts_picture(plan.sandy), true);
    add_text_member(out, dir + "decals", encode_decals(decals));
    return true;
}

bool generate_all_terrain_decals(datagen_output& out) {
    return generate_terrain_decals(out, rabbithill_plan()) && generate_terrain_decals(out, sandpit_plan());
}

}  // namespace

QX_DATAGEN_GENERATOR(terrain_decals, generate_all_terrain_decals);
