// The drawn rider: the skinned body (jersey, pants, gloves, boots), its
// first-person version, the number plate on its back, and the helmet.
// The body is modelled in the rest pose of the model table's bone centres:
// arms straight out along x, legs straight down, facing -z.
#include <algorithm>
#include <cmath>

#include "bike/bike_info.h"
#include "datagen/bike_art.h"
#include "datagen/datagen.h"
#include "vfs/saf.h"

namespace {

namespace ra = rider_atlas;
namespace ha = head_atlas;

enum bone {
    left_forearm,
    right_forearm,
    left_upper_arm,
    right_upper_arm,
    left_shin,
    right_shin,
    left_thigh,
    right_thigh,
    torso,
};

const float cloth[3] = {0.08f, 0.08f, 0.08f};
const float gloss[3] = {0.5f, 0.5f, 0.5f};

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

struct skeleton {
    v3 c[rider_bone_count];
    v3 centre(int b) const { return c[b]; }
};

skeleton rest_skeleton(const bike_info& b) {
    skeleton s;
    for (int i = 0; i < rider_bone_count; i++)
        s.c[i] = {b.rider.rider_bone_centres[i][0], b.rider.rider_bone_centres[i][1], b.rider.rider_bone_centres[i][2]};
    return s;
}

weight_set only(int b) {
    weight_set w{};
    w[(size_t)b] = 1;
    return w;
}
weight_set blend(int a, int b, double t) {
    weight_set w{};
    w[(size_t)a] = (float)(1 - t);
    w[(size_t)b] += (float)t;
    return w;
}

// The body's weights by position: torso in the middle, arms out along x
// past the shoulders, legs below the hips, with short blends at each joint.
weight_set body_weights(const skeleton& s, v3 p) {
    double ax = std::fabs(p.x);
    bool left = p.x < 0;
    double shoulder = std::fabs(s.c[left_upper_arm].x), elbow = std::fabs(s.c[left_forearm].x);
    double shoulder_y = s.c[left_upper_arm].y, hip_y = s.c[left_thigh].y, knee_y = s.c[left_shin].y;
    if (p.y > shoulder_y - 0.4 && ax > shoulder - 0.15) {
        int upper = left ? left_upper_arm : right_upper_arm, fore = left ? left_forearm : right_forearm;
        if (ax < elbow - 0.12) return blend(torso, upper, clamp01((ax - (shoulder - 0.15)) / 0.3));
        return blend(upper, fore, clamp01((ax - (elbow - 0.12)) / 0.24));
    }
    if (p.y < hip_y - 0.05) {
        int thigh = left ? left_thigh : right_thigh, shin = left ? left_shin : right_shin;
        if (p.y > knee_y + 0.12) {
            // The seat of the pants stays with the torso; the middle too.
            double t = clamp01((hip_y - 0.05 - p.y) / 0.35) * clamp01(ax / 0.12);
            return blend(torso, thigh, t);
        }
        return blend(thigh, shin, clamp01((knee_y + 0.12 - p.y) / 0.24));
    }
    return only(torso);
}

std::vector<ring> y_rings(const std::vector<std::array<double, 4>>& rows, double x, double square) {
    std::vector<ring> rings;
    for (const auto& r : rows) rings.push_back(ring{{x, r[0], r[3]}, {1, 0, 0}, {0, 0, 1}, r[1], r[2], square});
    return rings;
}

struct rider_parts {
    bool upper_torso = true;  // the first-person body leaves out chest and neck
};

std::string body_model(const bike_info& b, rider_parts parts) {
    skeleton s = rest_skeleton(b);
    mesh_build m;
    m.bones = rider_bone_count;
    m.weights = [&s](v3 p) { return body_weights(s, p); };
    // Torso from the neck down to the crotch: jersey above, pants below.
    std::vector<std::array<double, 4>> torso_rows = {
        {1.15, 0.14, 0.14, 0.02}, {1.0, 0.2, 0.17, 0.0},    {0.9, 0.42, 0.26, 0.0},   {0.72, 0.53, 0.3, 0.0},
        {0.4, 0.49, 0.32, -0.02}, {0.0, 0.41, 0.3, -0.02},  {-0.35, 0.36, 0.26, 0.0}, {-0.7, 0.38, 0.28, 0.02},
        {-1.0, 0.36, 0.26, 0.03}, {-1.12, 0.2, 0.16, 0.02},
    };
    if (!parts.upper_torso) torso_rows.erase(torso_rows.begin(), torso_rows.begin() + 5);
    loft(m, y_rings(torso_rows, 0, 0.8), 20, ra::uv(ra::torso), true, true);
    // Arms along x: sleeves to the wrists and gloves round the grips.
    for (double side : {-1.0, 1.0}) {
        std::vector<ring> arm;
        const double rows[][3] = {{0.3, 0.17, 0.17}, {0.6, 0.18, 0.17}, {1.0, 0.155, 0.15}, {1.456, 0.13, 0.125},
                                  {1.9, 0.125, 0.12}, {2.48, 0.095, 0.09}};
        double y = s.c[left_upper_arm].y, z = s.c[left_upper_arm].z;
        for (const auto& r : rows) arm.push_back(ring{{side * r[0], y, z}, {0, 1, 0}, {0, 0, 1}, r[1], r[2], 0.9});
        loft(m, arm, 12, ra::uv(ra::sleeve), true, true);
        double hand = std::fabs(s.c[left_forearm].x) + b.rider.forearm_length;
        blob(m, {side * hand, y - 0.01, z - 0.02}, {0.15, 0.11, 0.12}, 0.8, 12, ra::uv(ra::glove));
        blob(m, {side * (hand - 0.1), y + 0.02, z - 0.12}, {0.06, 0.05, 0.07}, 0.9, 8, ra::uv(ra::glove));  // thumb
    }
    // Legs: thighs to the knees, shins with knee pads into the boots.
    for (double side : {-1.0, 1.0}) {
        double x = side * std::fabs(s.c[left_thigh].x);
        double hip = s.c[left_thigh].y, knee = s.c[left_shin].y;
        double ankle = knee - b.rider.shin_length + 0.16;
        loft(m,
             y_rings({{hip + 0.15, 0.21, 0.23, 0.02}, {hip - 0.3, 0.205, 0.22, 0.0}, {hip - 0.9, 0.175, 0.185, -0.02},
                      {knee - 0.05, 0.15, 0.165, -0.04}},
                     x, 0.85),
             12, ra::uv(ra::thigh), true, true);
        loft(m,
             y_rings({{knee + 0.1, 0.15, 0.17, -0.05}, {knee - 0.1, 0.16, 0.18, -0.06}, {knee - 0.6, 0.17, 0.18, -0.02},
                      {knee - 0.85, 0.175, 0.19, 0.0}, {ankle + 0.2, 0.15, 0.17, 0.0}, {ankle, 0.14, 0.16, 0.0}},
                     x, 0.85),
             12, ra::uv(ra::shin), true, true);
        double sole = knee - b.rider.shin_length;
        blob(m, {x, sole + 0.11, -0.1}, {0.14, 0.11, 0.32}, 0.6, 14, ra::uv(ra::boot));
    }
    return jm_text({to_mesh(m, 4, cloth)}, "rider");
}

std::string plate_model(const bike_info& b) {
    skeleton s = rest_skeleton(b);
    mesh_build m;
    m.bones = rider_bone_count;
    m.weights = [](v3) { return only(torso); };
    // A plate on the back, read from behind (+x on the reader's right).
    double z = 0.335, x = 0.27, y0 = 0.05, y1 = 0.6;
    (void)s;
    v3 n{0, 0, 1};
    int a = m.vertex({-x, y1, z}, n, 0, 0), c = m.vertex({x, y1, z}, n, 1, 0);
    int d = m.vertex({x, y0, z}, n, 1, 1), e = m.vertex({-x, y0, z}, n, 0, 1);
    m.quad(a, e, d, c);
    return jm_text({to_mesh(m, 8, cloth)}, "rider");
}

std::string head_model() {
    mesh_build shell, lens;
    blob(shell, {0, 0.04, 0.03}, {0.37, 0.4, 0.45}, 0.85, 24, ha::uv(ha::shell));
    blob(shell, {0, -0.2, -0.29}, {0.29, 0.15, 0.2}, 0.7, 16, ha::uv(ha::chin));
    blob(shell, {0, -0.24, -0.46}, {0.12, 0.08, 0.06}, 0.8, 10, ha::uv(ha::vent));
    std::vector<std::array<double, 2>> peak = {{-0.22, 0.3}, {-0.72, 0.22}, {-0.74, 0.27}, {-0.3, 0.38}, {-0.1, 0.36}};
    extrude_x(shell, peak, -0.27, 0.27, ha::uv(ha::peak), ha::uv(ha::peak));
    // Goggles: the strap round the helmet and the lens in front.
    std::vector<ring> strap;
    for (double y : {0.0, 0.1}) strap.push_back(ring{{0, y, 0.03}, {1, 0, 0}, {0, 0, 1}, 0.385, 0.46, 0.85});
    loft(shell, strap, 28, ha::uv(ha::strap), false, false);
    blob(lens, {0, 0.05, -0.42}, {0.27, 0.1, 0.07}, 0.6, 14, ha::uv(ha::lens));
    return jm_text({to_mesh(shell, 40, gloss), to_mesh(lens, 80, gloss)});
}

bool generate_rider_models(datagen_output& out) {
    const bike_info& b = bike_info_table[0];
    add_model_levels(out, "rider_body", [&] { return body_model(b, rider_parts{}); });
    add_model_levels(out, "rider_body_fp", [&] { return body_model(b, rider_parts{false}); });
    std::string plate = plate_model(b);
    add_member(out, "rider_plate.jm.gz", gzip_bytes(plate.data(), plate.size()));
    add_model_levels(out, "rider_head", [&] { return head_model(); });
    return true;
}

}  // namespace

QX_DATAGEN_GENERATOR(models_rider, generate_rider_models);
