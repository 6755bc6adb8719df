// One piece of the starting gate: a steel grate on a hinge, its texture and
// its collision shape. The piece is stored fallen: the hinge runs along x at
// the origin and the grate lies flat on the ground ahead of the rider (-z);
// raising it turns it about x, which lifts its far edge toward the rider.
#include <cmath>

#include "datagen/datagen.h"
#include "datagen/mesh_build.h"
#include "datagen/picture.h"
#include "render/image_io.h"
#include "render/shape_file.h"
#include "vfs/saf.h"

namespace {

constexpr int texture_size = 64;
constexpr double half_width = 1.35;  // across one start position
constexpr double length = 1.7;       // hinge to top edge
constexpr double thickness = 0.06;

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
    // The grate itself: a thin slab whose faces show the grate.
    box(m, {-half_width, 0.005, -length}, {half_width, 0.005 + thickness, -0.08}, area(0, 0, 64, 32));
    // The painted top bar along the far edge and the side rails.
    tube(m, {{-half_width - 0.02, 0.06, -length}, {half_width + 0.02, 0.06, -length}}, {0.06}, 8, area(0, 32, 32, 64), true,
         {0, 1, 0});
    for (double s : {-1.0, 1.0})
        tube(m, {{s * half_width, 0.05, -0.02}, {s * half_width, 0.05, -length}}, {0.05}, 8, area(32, 32, 64, 64), true,
             {0, 1, 0});
    // The hinge tube on the origin.
    tube(m, {{-half_width - 0.05, 0.06, 0}, {half_width + 0.05, 0.06, 0}}, {0.07}, 10, area(32, 32, 64, 64), true,
         {0, 1, 0});
    const float steel[3] = {0.4f, 0.4f, 0.4f};
    return jm_text({to_mesh(m, 20, steel)});
}

collision_shape gate_shape() {
    collision_shape s;
    // Spheres along the grate, densest along the far edge that bikes meet.
    for (int i = 0; i < 7; i++) {
        double x = -half_width + 0.2 + i * (2 * (half_width - 0.2) / 6);
        for (double z : {-length + 0.12, -length * 0.5}) {
            collision_sphere c{};
            c.center[0] = (float)x;
            c.center[1] = 0.06f;
            c.center[2] = (float)z;
            c.radius = 0.12f;
            c.friction = 0.6f;
            c.stiffness = 20000;
            c.damping = 1500;
            s.spheres.push_back(c);
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
