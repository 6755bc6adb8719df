// One piece of the starting gate: a steel grate, its texture and its
// collision shape. The race turns a piece about its own x axis (the hinge
// at the origin, on the ground) from the pose stored here, the fallen one,
// up to its raised pose a fixed tilt further. So that the grate stands
// upright before the drop and is out of the way after it, it is designed
// raised: a plate standing ahead of the hinge, far enough that the fallen
// turn sinks it wholly below the ground, linked to the hinge by two arms
// along the ground; then it is stored turned back by the tilt.
#include <cmath>

#include "datagen/datagen.h"
#include "datagen/dmath.h"
#include "datagen/mesh_build.h"
#include "datagen/picture.h"
#include "race/race_tic.h"
#include "render/image_io.h"
#include "render/shape_file.h"
#include "vfs/saf.h"

namespace {

constexpr int texture_size = 64;
constexpr double half_width = 1.35;  // across one start position
constexpr double height = 1.0;       // top of the raised grate above the ground
constexpr double thickness = 0.06;
constexpr double sunk = 0.12;        // how far below the ground the fallen grate's top lies

// The tilt between the stored and the raised pose, as the race applies it.
double raise_tilt() {
    gate_piece raised;
    raised.raise = 1;
    return gate_piece_tilt(raised);
}

// The plate's distance ahead of the hinge (-z) for which turning back by the
// tilt puts its top edge `sunk` below the ground.
double plate_distance() {
    double t = raise_tilt();
    return (height * dmath::cos(t) + sunk) / dmath::sin(t);
}

// The stored pose of a point of the raised design: turned back about x by
// the tilt (the race turns y toward +z by it when raising).
v3 stored(v3 p) {
    double t = raise_tilt(), c = dmath::cos(t), s = dmath::sin(t);
    return {p.x, c * p.y + s * p.z, -s * p.y + c * p.z};
}

uv_box area(int x0, int y0, int x1, int y1) { return pixel_box(x0, y0, x1, y1, texture_size, texture_size); }

picture gate_texture() {
    picture p(texture_size, texture_size, rgba{120, 124, 130, 255});
    // Top half: the grate, steel bars with dark gaps.
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 64; x++)
            p.at(x, y) = (x % 8 < 2 || y % 8 < 2) ? rgba{170, 174, 180, 255} : rgba{45, 46, 50, 255};
    // Bottom left: the painted edge bar; bottom right: the hinge steel.
    p.rect(0, 32, 32, 64, rgba{235, 190, 20, 255});
    p.stripes(0, 32, 32, 64, 16, 8, rgba{25, 25, 25, 255});
    p.gradient(32, 32, 64, 64, rgba{190, 192, 198, 255}, rgba{100, 102, 108, 255});
    return p;
}

std::string gate_model() {
    mesh_build m;
    const double d = plate_distance();
    // The grate: a thin plate standing across the start position, reaching a
    // little into the ground so no gap shows under it.
    box(m, {-half_width, -0.1, -d - thickness}, {half_width, height, -d}, area(0, 0, 64, 32));
    // The painted bar along its top, the side rails, and the arms along the
    // ground back to the hinge tube.
    tube(m, {{-half_width - 0.02, height, -d - thickness / 2}, {half_width + 0.02, height, -d - thickness / 2}}, {0.06}, 8,
         area(0, 32, 32, 64), true, {0, 0, 1});
    for (double s : {-1.0, 1.0}) {
        tube(m, {{s * half_width, -0.1, -d - thickness / 2}, {s * half_width, height, -d - thickness / 2}}, {0.05}, 8,
             area(32, 32, 64, 64), true, {0, 0, 1});
        tube(m, {{s * (half_width - 0.1), 0.04, 0}, {s * (half_width - 0.1), 0.04, -d}}, {0.045}, 8,
             area(32, 32, 64, 64), true, {0, 1, 0});
    }
    tube(m, {{-half_width - 0.05, 0.06, 0}, {half_width + 0.05, 0.06, 0}}, {0.07}, 10, area(32, 32, 64, 64), true,
         {0, 1, 0});
    for (size_t k = 0; k < m.pos.size(); k++) {
        m.pos[k] = stored(m.pos[k]);
        m.nor[k] = stored(m.nor[k]);
    }
    const float steel[3] = {0.4f, 0.4f, 0.4f};
    return jm_text({to_mesh(m, 20, steel)});
}

collision_shape gate_shape() {
    collision_shape s;
    // Spheres over the plate, two rows, which the front wheels meet; fallen,
    // every one of them lies below the ground.
    const double d = plate_distance();
    for (int i = 0; i < 7; i++) {
        double x = -half_width + 0.2 + i * (2 * (half_width - 0.2) / 6);
        for (double y : {0.3, height - 0.15}) {
            v3 c = stored({x, y, -d - thickness / 2});
            collision_sphere sphere{};
            sphere.center[0] = (float)c.x;
            sphere.center[1] = (float)c.y;
            sphere.center[2] = (float)c.z;
            sphere.radius = 0.12f;
            sphere.friction = 0.6f;
            sphere.stiffness = 20000;
            sphere.damping = 1500;
            s.spheres.push_back(sphere);
        }
    }
    s.bounding_radius = shape_bounding_radius(s);
    return s;
}

bool generate_startgate(datagen_output& out) {
    std::string jm = gate_model();
    add_member(out, "startgate.jm", std::vector<uint8_t>(jm.begin(), jm.end()));
    picture t = gate_texture();
    std::vector<uint8_t> rgb;
    for (const rgba& c : t.px) rgb.insert(rgb.end(), {c.r, c.g, c.b});
    add_member(out, "startgate.ppm", encode_ppm(rgb.data(), t.width, t.height));
    add_text_member(out, "startgate.shp", shape_text(gate_shape()));
    return true;
}

}  // namespace

QX_DATAGEN_GENERATOR(models_startgate, generate_startgate);
