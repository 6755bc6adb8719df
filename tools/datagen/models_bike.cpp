// The drawn bike: per family its frame (with engine, tank, seat, plastics,
// exhaust and shock), upper fork (clamps, bar, front fender), lower fork,
// swingarm and number plates, and the two wheels every model shares. Parts
// are laid out in the bike's rest pose from the model table's shared
// geometry and stored in their own body's frame.
#include <cmath>
#include <cstring>

#include "bike/bike_info.h"
#include "datagen/bike_art.h"
#include "datagen/datagen.h"
#include "datagen/dmath.h"
#include "vfs/saf.h"

namespace {

namespace ba = bike_atlas;

const float shiny[3] = {0.45f, 0.45f, 0.45f};
const float dull[3] = {0.12f, 0.12f, 0.12f};

v3 vec(const float* f) { return {f[0], f[1], f[2]}; }

// The steering axis, measured in feet down from the upper fork position.
struct steering {
    v3 top, dir;
    v3 at(double t) const { return top + dir * t; }
};
steering axis_of(const bike_info& b) {
    v3 u = vec(b.fork_upper_position), l = vec(b.fork_lower_position);
    return {u, normalise(l - u)};
}

// Mirrored pair of tubes.
void tube_pair(mesh_build& m, std::vector<v3> path, std::vector<double> radii, int around, uv_box uv) {
    int v0 = m.vertex_count(), t0 = m.triangle_count();
    tube(m, smooth_path(path, 6), radii, around, uv);
    mirror_x(m, v0, t0);
}

// Radii along a smoothed path of `spans` control spans.
std::vector<double> spread(const std::vector<double>& control, int steps) {
    steps = coarser(steps, 2);  // as smooth_path does, so that radius i stays with point i
    std::vector<double> r;
    for (size_t i = 0; i + 1 < control.size(); i++)
        for (int s = 0; s < steps; s++) r.push_back(control[i] + (control[i + 1] - control[i]) * s / steps);
    r.push_back(control.back());
    return r;
}

using outline = std::vector<std::array<double, 2>>;

void panel_pair(mesh_build& m, const outline& o, double x0, double x1, uv_box side, uv_box edge) {
    int v0 = m.vertex_count(), t0 = m.triangle_count();
    extrude_x(m, o, x0, x1, side, edge);
    mirror_x(m, v0, t0);
}

// ---- frame ---------------------------------------------------------------------

std::string frame_model(const bike_info& b, const bike_family& f) {
    steering ax = axis_of(b);
    mesh_build plastic, metal;
    // Head tube and the twin spars to the swingarm pivot.
    tube(metal, {ax.at(0.02), ax.at(0.62)}, {0.1, 0.1}, 12, ba::frame.uv());
    v3 pivot = vec(b.swingarm_pivot);
    {
        std::vector<v3> spar = {ax.at(0.15) + v3{0.09, 0.02, 0.12}, {0.27, 2.72, 2.85}, {0.31, 2.5, 3.6},
                                {0.29, 2.05, 4.05}, {0.26, pivot.y - 0.1, pivot.z + 0.06}};
        int v0 = metal.vertex_count(), t0 = metal.triangle_count();
        std::vector<v3> path = smooth_path(spar, 6);
        loft(metal, path_rings(path, spread({0.09, 0.1, 0.1, 0.09, 0.08}, 6), {1, 0, 0}, 0.6, 0.55), 10,
             ba::frame.uv(), true, true);
        mirror_x(metal, v0, t0);
    }
    // Down tube splitting into the cradle under the engine.
    tube(metal, smooth_path({ax.at(0.55) - v3{0, 0, 0.05}, {0, 1.95, 2.3}, {0, 1.45, 2.5}}, 5), {0.08}, 10,
         ba::frame.uv());
    tube_pair(metal, {{0, 1.45, 2.5}, {0.14, 1.05, 2.75}, {0.15, 0.82, 3.3}, {0.15, 0.9, 3.95}, {0.2, 1.4, 4.12}},
              {0.055}, 8, ba::frame.uv());
    // Subframe to the tail.
    tube_pair(metal, {{0.27, 2.55, 4.05}, {0.26, 3.0, 5.0}, {0.22, 3.22, 6.1}}, {0.045}, 8, ba::alloy.uv());
    tube_pair(metal, {{0.24, 1.95, 4.25}, {0.25, 2.6, 5.1}, {0.22, 3.15, 5.8}}, {0.04}, 8, ba::alloy.uv());
    // Swingarm pivot boss.
    tube(metal, {pivot - v3{0.36, 0, 0}, pivot + v3{0.36, 0, 0}}, {0.085}, 10, ba::alloy.uv(), true, {0, 1, 0});

    // Engine: cylinder and head leaning forward, crankcase, covers.
    {
        v3 base{0, 1.55, 3.2}, head{0, 2.38, 2.98};
        std::vector<ring> rings;
        v3 d = normalise(head - base);
        v3 side{1, 0, 0}, fwd = normalise(cross(side, d));
        for (double t : {0.0, 0.3, 0.6, 0.85, 1.0, 1.08}) {
            double w = t < 0.85 ? 0.2 : (t < 1.0 ? 0.23 : 0.16);
            double dep = t < 0.85 ? 0.27 : (t < 1.0 ? 0.3 : 0.2);
            rings.push_back(ring{lerp(base, head, t), side, fwd, w, dep, 0.35});
        }
        loft(metal, rings, 16, ba::engine.uv(), false, true);
    }
    blob(metal, {0, 1.3, 3.5}, {0.26, 0.36, 0.55}, 0.45, 20, ba::cases.uv());
    bool small_parts = mesh_coarseness < 2;  // covers, brackets, levers and caps vanish from afar
    if (small_parts) {
        blob(metal, {0.25, 1.32, 3.45}, {0.1, 0.27, 0.3}, 0.6, 16, ba::cases.uv());   // clutch cover
        blob(metal, {-0.24, 1.28, 3.7}, {0.08, 0.2, 0.22}, 0.6, 14, ba::cases.uv());  // ignition cover
    }
    // Radiators behind the shrouds and the airbox under the seat.
    box(metal, {0.12, 1.95, 2.38}, {0.4, 2.85, 2.58}, ba::radiator.uv());
    box(metal, {-0.4, 1.95, 2.38}, {-0.12, 2.85, 2.58}, ba::radiator.uv());
    box(metal, {-0.27, 2.45, 4.2}, {0.27, 3.3, 5.25}, ba::dark.uv());
    // Shock: spring and body from the frame to the linkage.
    tube(metal, {{0, 2.72, 4.2}, {0, 1.32, 4.52}}, {0.06}, 10, ba::alloy.uv());
    tube(metal, {{0, 2.5, 4.25}, {0, 1.62, 4.45}}, {0.12}, 14, ba::spring.uv());
    if (small_parts) tube(metal, {{0.14, 2.55, 4.38}, {0.14, 2.05, 4.5}}, {0.07}, 10, ba::alloy.uv());  // reservoir
    // Footpegs with their brackets, brake pedal and gear lever.
    v3 peg = vec(b.rider.footpeg_right) + vec(b.frame_position);
    for (double s : {1.0, -1.0}) {
        box(metal, {s > 0 ? 0.33 : -peg.x - 0.14, peg.y - 0.04, peg.z - 0.09},
            {s > 0 ? peg.x + 0.14 : -0.33, peg.y + 0.035, peg.z + 0.09}, ba::alloy.uv());
        if (small_parts)
            box(metal, {s > 0 ? 0.28 : -0.36, peg.y - 0.08, peg.z - 0.14},
                {s > 0 ? 0.36 : -0.28, peg.y + 0.2, peg.z + 0.12}, ba::frame.uv());
    }
    if (small_parts) {
        box(metal, {0.36, peg.y + 0.02, peg.z - 0.7}, {0.42, peg.y + 0.08, peg.z - 0.1}, ba::alloy.uv());
        box(metal, {-0.42, peg.y + 0.2, peg.z - 0.65}, {-0.36, peg.y + 0.26, peg.z - 0.15}, ba::alloy.uv());
    }

    // Exhaust on the right: an expansion chamber for two-strokes, a header for
    // four-strokes, and the silencer under the side panel.
    mesh_build pipe;
    if (f.two_stroke) {
        std::vector<v3> path = smooth_path({{0, 2.05, 2.86}, {0.02, 1.95, 2.45}, {0.14, 1.55, 2.25}, {0.3, 1.08, 2.55},
                                            {0.37, 1.15, 3.25}, {0.37, 1.8, 3.95}, {0.35, 2.42, 4.55}},
                                           6);
        tube(pipe, path, spread({0.08, 0.12, 0.17, 0.2, 0.19, 0.12, 0.06}, 6), 14, ba::pipe.uv());
    } else {
        std::vector<v3> path = smooth_path({{0, 2.32, 2.8}, {0.06, 2.12, 2.42}, {0.26, 1.72, 2.5}, {0.36, 1.58, 3.1},
                                            {0.37, 1.95, 4.15}, {0.35, 2.45, 4.75}},
                                           6);
        tube(pipe, path, {0.07}, 10, ba::pipe.uv());
    }
    tube(pipe, {{0.35, 2.48, 4.65}, {0.37, 2.78, 5.5}, {0.38, 2.98, 6.15}}, {0.13, 0.17, 0.16}, 14, ba::silencer.uv());

    // Plastics: tank, shrouds, side panels, rear fender; the seat on top.
    blob(plastic, {0, 3.02, 3.2}, {0.33, 0.3, 0.62}, 0.5, 20, ba::tank.uv());
    if (small_parts) blob(plastic, {0, 3.33, 2.9}, {0.08, 0.04, 0.08}, 1, 8, ba::dark.uv());  // filler cap
    double lift = (f.scheme.pattern % 3) * 0.03;  // shroud outlines differ a little between families
    outline shroud = {{2.12, 2.45}, {2.2, 3.12 + lift}, {2.55, 3.36}, {3.25, 3.32}, {3.78, 3.06},
                      {3.55, 2.62}, {2.95, 2.15}, {2.35, 2.02}};
    panel_pair(plastic, shroud, 0.4, 0.35, ba::shroud.uv(), ba::plastic.uv());
    outline side = {{4.3, 3.36}, {5.95, 3.46}, {5.95, 3.18}, {5.35, 2.72}, {4.55, 2.5}, {4.22, 2.88}};
    panel_pair(plastic, side, 0.345, 0.3, ba::side_panel.uv(), ba::plastic.uv());
    outline fender = {{5.2, 3.42}, {6.2, 3.5}, {6.75, 3.6}, {7.05, 3.7}, {7.07, 3.63}, {6.7, 3.52},
                      {6.15, 3.43}, {5.2, 3.34}};
    extrude_x(plastic, fender, -0.27, 0.27, ba::fender_rear.uv(), ba::fender_rear.uv());

    mesh_build seat;
    {
        std::vector<ring> rings;
        const double zs[] = {3.05, 3.35, 3.8, 4.4, 5.0, 5.6, 6.1, 6.3};
        const double ys[] = {3.3, 3.43, 3.5, 3.5, 3.52, 3.53, 3.54, 3.53};
        const double ws[] = {0.12, 0.2, 0.24, 0.27, 0.28, 0.26, 0.22, 0.12};
        const double hs[] = {0.04, 0.08, 0.09, 0.09, 0.09, 0.09, 0.08, 0.04};
        for (int i = 0; i < 8; i++) rings.push_back(ring{{0, ys[i], zs[i]}, {1, 0, 0}, {0, 1, 0}, ws[i], hs[i], 0.35});
        loft(seat, rings, 16, ba::seat.uv(), true, true);
    }

    std::vector<mesh> meshes;
    v3 origin = vec(b.frame_position);
    for (mesh_build* part : {&metal, &pipe, &plastic, &seat}) translate(*part, -origin);
    meshes.push_back(to_mesh(metal, 12, shiny));
    meshes.push_back(to_mesh(pipe, 40, shiny));
    meshes.push_back(to_mesh(plastic, 24, shiny));
    meshes.push_back(to_mesh(seat, 2, dull));
    return jm_text(meshes);
}

// ---- upper fork: clamps, stanchions, bar, front fender ----------------------------------

std::string fork_upper_model(const bike_info& b) {
    steering ax = axis_of(b);
    double leg = b.fork_leg_spacing / 2;
    mesh_build metal, plastic, rubber;
    // Stanchions from the top clamp down into the sliders.
    for (double s : {1.0, -1.0}) {
        v3 x{s * leg, 0, 0};
        tube(metal, {ax.at(-0.38) + x, ax.at(1.35) + x}, {0.072}, 14, ba::stanchion.uv());
    }
    // Clamps: a plate across both tubes at the top and at the bottom.
    for (double t : {-0.3, 0.7}) {
        v3 c = ax.at(t);
        std::vector<ring> rings;
        v3 up = -ax.dir, fwd = normalise(cross(v3{1, 0, 0}, up));
        for (double x : {-leg - 0.11, -leg, 0.0, leg, leg + 0.11})
            rings.push_back(ring{c + v3{x, 0, 0}, up, fwd, t < 0 ? 0.06 : 0.08,
                                 std::fabs(x) > leg ? 0.06 : (x == 0 ? 0.16 : 0.11), 0.4});
        loft(metal, rings, 12, ba::alloy.uv(), true, true);
    }
    // Bar mounts and the handlebar out to the grips, rising toward them.
    v3 grip = vec(b.rider.grip_right) + vec(b.fork_upper_position);
    v3 mount = ax.at(-0.3) + v3{0, 0.1, 0.02};
    for (double s : {1.0, -1.0}) box(metal, mount + v3{s * 0.2 - 0.05, 0, -0.05}, mount + v3{s * 0.2 + 0.05, 0.1, 0.05}, ba::dark.uv());
    {
        std::vector<v3> bar;
        v3 mid = mount + v3{0, 0.12, 0};
        for (double s : {-1.0, 1.0}) {
            std::vector<v3> half = {mid, mid + v3{0.32, 0.02, 0.02}, lerp(mid, grip, 0.62) + v3{0, 0.06, 0},
                                    grip - v3{0.3, 0, 0.01}, grip + v3{0.08, 0, 0}};
            for (v3& p : half) p.x *= s;
            if (s < 0) {
                for (auto it = half.rbegin(); it != half.rend(); ++it) bar.push_back(*it);
            } else {
                bar.insert(bar.end(), half.begin() + 1, half.end());
            }
        }
        tube(metal, smooth_path(bar, 6), {0.045}, 10, ba::alloy.uv(), true, {0, 0, 1});
        tube(metal, {mid - v3{0.2, 0.0, 0}, mid + v3{0.2, 0.0, 0}}, {0.06}, 10, ba::alloy.uv(), true, {0, 0, 1});
        for (double s : {1.0, -1.0}) {
            v3 g{s * grip.x, grip.y, grip.z};
            tube(rubber, {g - v3{s * 0.28, 0, 0}, g + v3{s * 0.05, 0, 0}}, {0.068}, 12, ba::rubber.uv());
            // Levers: clutch on the left, front brake on the right.
            box(metal, {std::min(g.x, g.x - s * 0.55), g.y - 0.02, g.z - 0.22}, {std::max(g.x, g.x - s * 0.55), g.y + 0.02, g.z - 0.16},
                ba::alloy.uv());
        }
    }
    // Front fender: a strip arched over the tire from under the bottom clamp.
    {
        v3 axle = vec(b.front_wheel.center);
        v3 anchor = ax.at(0.78);
        double radius = length(anchor - axle) + 0.04;
        double a0 = dmath::atan2(anchor.z - axle.z, anchor.y - axle.y);  // angle from up, toward the rear
        std::vector<v3> arc;
        for (int i = 0; i <= 12; i++) {
            double a = a0 - (a0 + 1.05) * i / 12.0;  // over the top and well ahead of the tire
            double r = radius + 0.05 * dmath::sin(M_PI * i / 12.0);
            arc.push_back(axle + v3{0, dmath::cos(a) * r, dmath::sin(a) * r});
        }
        std::vector<ring> rings = path_rings(arc, {0.03}, {1, 0, 0}, 0.3, 1);
        for (ring& rr : rings) {
            rr.ra = 0.02;  // through the strip
            rr.rb = 0.26;  // across the tire
        }
        loft(plastic, rings, 8, ba::secondary.uv(), true, true);
    }
    std::vector<mesh> meshes;
    v3 origin = vec(b.fork_upper_position);
    for (mesh_build* part : {&metal, &plastic, &rubber}) translate(*part, -origin);
    meshes.push_back(to_mesh(metal, 30, shiny));
    meshes.push_back(to_mesh(plastic, 24, shiny));
    meshes.push_back(to_mesh(rubber, 2, dull));
    return jm_text(meshes);
}

// ---- lower fork: sliders to the axle, guards, caliper ------------------------------------

std::string fork_lower_model(const bike_info& b) {
    steering ax = axis_of(b);
    double leg = b.fork_leg_spacing / 2;
    v3 axle = vec(b.front_wheel.center);
    double t_axle = dot(axle - ax.top, ax.dir);
    v3 offset = axle - ax.at(t_axle);  // the axle sits a little ahead of the axis
    mesh_build metal, plastic;
    for (double s : {1.0, -1.0}) {
        v3 x{s * leg, 0, 0};
        tube(metal, {ax.at(1.05) + offset * 0.3 + x, ax.at(t_axle - 0.1) + offset + x}, {0.088, 0.082}, 14,
             ba::fork_lower.uv());
        box(metal, axle + x + v3{-0.06, -0.1, -0.1}, axle + x + v3{0.06, 0.1, 0.1}, ba::alloy.uv());  // axle lug
        // Guard over the front of the slider.
        std::vector<v3> guard = {ax.at(1.25) + offset * 0.4 + x + v3{s * 0.01, 0, -0.03},
                                 ax.at(t_axle - 0.35) + offset + x + v3{s * 0.01, 0, -0.03}};
        std::vector<ring> rings = path_rings(guard, {0.1}, {0, 0, -1}, 0.5, 1.1);
        loft(plastic, rings, 10, ba::guard.uv(), true, true);
    }
    // Brake caliper behind the left slider.
    box(metal, axle + v3{-0.3, 0.15, 0.2}, axle + v3{-0.2, 0.42, 0.42}, ba::accent.uv());
    tube(metal, {axle - v3{leg, 0, 0}, axle + v3{leg, 0, 0}}, {0.035}, 8, ba::alloy.uv(), true, {0, 1, 0});
    std::vector<mesh> meshes;
    v3 origin = vec(b.fork_lower_position);
    translate(plastic, -origin);
    translate(metal, -origin);
    meshes.push_back(to_mesh(metal, 20, shiny));
    meshes.push_back(to_mesh(plastic, 24, shiny));
    return jm_text(meshes);
}

// ---- swingarm ------------------------------------------------------------------------

std::string swingarm_model(const bike_info& b) {
    v3 pivot = vec(b.swingarm_pivot), axle = vec(b.rear_wheel.center);
    double x = b.frame_size[0] / 2;
    mesh_build metal, black;
    for (double s : {1.0, -1.0}) {
        std::vector<v3> path = smooth_path({{s * 0.3, pivot.y, pivot.z + 0.02}, {s * (x - 0.01), pivot.y - 0.06, pivot.z + 0.45},
                                            {s * x, axle.y + 0.02, axle.z + 0.08}},
                                           8);
        std::vector<ring> rings;
        for (size_t i = 0; i < path.size(); i++) {
            double t = (double)i / (path.size() - 1);
            v3 d = normalise(path[std::min(i + 1, path.size() - 1)] - path[i > 0 ? i - 1 : 0]);
            v3 up = normalise(cross(d, v3{1, 0, 0}));
            if (up.y < 0) up = -up;
            rings.push_back(ring{path[i], {1, 0, 0}, up, 0.05, 0.15 - 0.06 * t, 0.3});
        }
        loft(metal, rings, 12, ba::alloy.uv(), true, true);
        box(metal, axle + v3{s * x - 0.06, -0.07, -0.12}, axle + v3{s * x + 0.06, 0.07, 0.12}, ba::dark.uv());
    }
    tube(metal, {pivot + v3{-0.33, 0, 0}, pivot + v3{0.33, 0, 0}}, {0.075}, 12, ba::alloy.uv(), true, {0, 1, 0});
    tube(metal, {{-x, pivot.y - 0.05, pivot.z + 0.5}, {x, pivot.y - 0.05, pivot.z + 0.5}}, {0.06}, 10, ba::alloy.uv(), true,
         {0, 1, 0});
    // Linkage under the pivot.
    box(metal, {-0.1, pivot.y - 0.42, pivot.z + 0.25}, {0.1, pivot.y - 0.2, pivot.z + 0.6}, ba::dark.uv());
    // Chain on the left, from the countershaft to the sprocket, and its guide.
    double cx = -0.3;
    v3 front{cx, pivot.y - 0.08, pivot.z - 0.15};
    double sr = 0.33;
    box(black, {cx - 0.025, axle.y + sr - 0.02, front.z}, {cx + 0.025, axle.y + sr + 0.02, axle.z}, ba::chain.uv());
    box(black, {cx - 0.025, front.y - 0.22, front.z + 0.05}, {cx + 0.025, front.y - 0.18, axle.z - 0.1}, ba::chain.uv());
    box(black, {cx - 0.04, axle.y - sr - 0.02, axle.z - 1.2}, {cx + 0.04, axle.y - sr + 0.06, axle.z - 0.1}, ba::dark.uv());
    // Rear brake caliper on the right.
    box(metal, axle + v3{0.2, 0.1, -0.5}, axle + v3{0.3, 0.3, -0.25}, ba::accent.uv());
    std::vector<mesh> meshes;
    v3 origin = vec(b.swingarm_position);
    translate(metal, -origin);
    translate(black, -origin);
    meshes.push_back(to_mesh(metal, 20, shiny));
    meshes.push_back(to_mesh(black, 4, dull));
    return jm_text(meshes);
}

// ---- number plates ---------------------------------------------------------------------
// A plate is a thin slab whose outer face shows the whole number texture,
// upright as read from outside.

void plate(mesh_build& m, v3 centre, v3 right, v3 up, double half_w, double half_h, double thickness) {
    v3 out = normalise(cross(right, up));
    v3 c = centre + out * (thickness / 2);
    auto corner = [&](double s, double t) { return c + right * (s * half_w) + up * (t * half_h); };
    int a = m.vertex(corner(-1, 1), out, 0, 0), b = m.vertex(corner(1, 1), out, 1, 0);
    int d = m.vertex(corner(1, -1), out, 1, 1), e = m.vertex(corner(-1, -1), out, 0, 1);
    m.quad(a, e, d, b);
    // Back and rim in the plate's edge colour (the number texture's border).
    v3 back = centre - out * (thickness / 2);
    auto bc = [&](double s, double t) { return back + right * (s * half_w) + up * (t * half_h); };
    int p = m.vertex(bc(-1, 1), -out, 0.02, 0.02), q = m.vertex(bc(1, 1), -out, 0.02, 0.02);
    int r = m.vertex(bc(1, -1), -out, 0.02, 0.02), s = m.vertex(bc(-1, -1), -out, 0.02, 0.02);
    m.quad(p, q, r, s);
    const v3 fc[4] = {corner(-1, 1), corner(1, 1), corner(1, -1), corner(-1, -1)};
    const v3 bk[4] = {bc(-1, 1), bc(1, 1), bc(1, -1), bc(-1, -1)};
    for (int k = 0; k < 4; k++) {
        int k2 = (k + 1) % 4;
        v3 n = normalise((fc[k] + fc[k2]) * 0.5 - c);
        int i0 = m.vertex(fc[k], n, 0.02, 0.02), i1 = m.vertex(fc[k2], n, 0.02, 0.02);
        int i2 = m.vertex(bk[k2], n, 0.02, 0.02), i3 = m.vertex(bk[k], n, 0.02, 0.02);
        m.quad(i0, i3, i2, i1);
    }
}

std::string side_plates_model(const bike_info& b) {
    mesh_build m;
    v3 centre{0.352, 3.05, 5.05};
    // Right side: read from the right, the front (-z) is on the reader's right.
    plate(m, centre, {0, 0, -1}, {0, 1, 0}, 0.52, 0.26, 0.012);
    plate(m, {-centre.x, centre.y, centre.z}, {0, 0, 1}, {0, 1, 0}, 0.52, 0.26, 0.012);
    translate(m, -vec(b.frame_position));
    return jm_text({to_mesh(m, 16, shiny)});
}

std::string front_plate_model(const bike_info& b) {
    steering ax = axis_of(b);
    mesh_build m;
    v3 up = -ax.dir;
    v3 out = normalise(cross(v3{-1, 0, 0}, up));  // forward and a little up
    v3 centre = ax.at(0.05) + out * 0.24;
    // Read from the front: the bike's left (-x) is on the reader's right.
    plate(m, centre, {-1, 0, 0}, up, 0.34, 0.3, 0.012);
    translate(m, -vec(b.fork_upper_position));
    return jm_text({to_mesh(m, 16, shiny)});
}

// ---- wheels ----------------------------------------------------------------------------

void oriented_box(mesh_build& m, v3 c, v3 ax, v3 ay, v3 az, v3 h, uv_box uv) {
    int v0 = m.vertex_count(), t0 = m.triangle_count();
    box(m, {-h.x, -h.y, -h.z}, {h.x, h.y, h.z}, uv);
    for (int i = v0; i < m.vertex_count(); i++) {
        v3 p = m.pos[(size_t)i], n = m.nor[(size_t)i];
        m.pos[(size_t)i] = c + ax * p.x + ay * p.y + az * p.z;
        m.nor[(size_t)i] = ax * n.x + ay * n.y + az * n.z;
    }
    (void)t0;
}

std::string wheel_model(const wheel_info& w, bool front) {
    namespace wa = wheel_atlas;
    mesh_build rubber, metal;
    double R = w.tire_ring_radius, r = w.tire_section_radius;
    double lateral = front ? 0.62 : 0.72;  // the drawn tire is narrower than the contact torus
    int around = 40;
    torus_x(rubber, {0, 0, 0}, R, [&](double, double) { return r * 0.9; }, around, 14, wa::uv(wa::rubber));
    for (v3& p : rubber.pos) p.x *= lateral;
    smooth_normals(rubber, 0, 0);
    // Knobs: staggered rows of blocks on the tread, a centre row and two
    // shoulder rows between them.
    // From 16 feet on half as many knobs still roughen the outline; from 32
    // feet on they are under a pixel high.
    int knobs = mesh_level_distance >= 32 ? 0 : (front ? 36 : 40) >> (mesh_level_distance >= 16 ? 1 : 0);
    for (int i = 0; i < knobs; i++) {
        double a = 2 * M_PI * (i + 0.5) / knobs;
        v3 d{0, dmath::cos(a), dmath::sin(a)}, t{0, -dmath::sin(a), dmath::cos(a)};
        for (int k = 0; k < 3; k++) {
            if (i % 2 == 0 && k != 1) continue;
            if (i % 2 == 1 && k == 1) continue;
            double beta = (k - 1) * 0.62;  // angle across the section
            v3 n = normalise(d * dmath::cos(beta) + v3{dmath::sin(beta) / lateral, 0, 0});
            v3 c = d * (R + r * 0.9 * dmath::cos(beta)) + v3{r * 0.9 * lateral * dmath::sin(beta), 0, 0} + n * 0.022;
            v3 across = normalise(cross(t, n));
            oriented_box(rubber, c, across, n, t, {k == 1 ? 0.07 : 0.05, 0.03, 0.045}, wa::uv(wa::knob));
        }
    }
    // Rim, hub and spokes.
    {
        std::vector<ring> rings;
        double rim = R - r * 0.92;
        for (double x : {-0.11, -0.09, 0.09, 0.11}) rings.push_back(ring{{x, 0, 0}, {0, 1, 0}, {0, 0, 1}, std::fabs(x) > 0.1 ? rim : rim + 0.04, std::fabs(x) > 0.1 ? rim : rim + 0.04, 1});
        loft(metal, rings, 40, wa::uv(wa::rim), false, false);
        std::vector<ring> inner;
        for (double x : {0.11, -0.11}) inner.push_back(ring{{x, 0, 0}, {0, 1, 0}, {0, 0, 1}, rim - 0.04, rim - 0.04, 1});
        loft(metal, inner, 40, wa::uv(wa::rim), false, false);
        tube(metal, {{-0.22, 0, 0}, {0.22, 0, 0}}, {0.1}, 14, wa::uv(wa::hub), true, {0, 1, 0});
        for (double x : {-0.13, 0.13})
            tube(metal, {{x - 0.015, 0, 0}, {x + 0.015, 0, 0}}, {0.15}, 14, wa::uv(wa::hub), true, {0, 1, 0});
        int spokes = mesh_level_distance >= 16 ? 0 : 16;  // under a pixel thick from 16 feet on
        for (int i = 0; i < 2 * spokes; i++) {
            double side = i % 2 ? 1 : -1;
            double a0 = 2 * M_PI * i / (2 * spokes);
            double a1 = a0 + side * 0.45;
            v3 hub{side * 0.13, 0.14 * dmath::cos(a0), 0.14 * dmath::sin(a0)};
            v3 rimp{side * 0.03, (rim - 0.03) * dmath::cos(a1), (rim - 0.03) * dmath::sin(a1)};
            tube(metal, {hub, rimp}, {0.011}, 4, wa::uv(wa::spoke), false, {1, 0, 0});
        }
        // Brake disc: front on the left, rear on the right; the rear sprocket on the left.
        double dx = front ? -0.18 : 0.18;
        double dr = front ? 0.42 : 0.33;
        std::vector<ring> disc = {ring{{dx - 0.01, 0, 0}, {0, 1, 0}, {0, 0, 1}, dr, dr, 1},
                                  ring{{dx + 0.01, 0, 0}, {0, 1, 0}, {0, 0, 1}, dr, dr, 1}};
        loft(metal, disc, 32, wa::uv(wa::disc), true, true);
        if (!front) {
            std::vector<ring> sprocket = {ring{{-0.2, 0, 0}, {0, 1, 0}, {0, 0, 1}, 0.34, 0.34, 1},
                                          ring{{-0.18, 0, 0}, {0, 1, 0}, {0, 0, 1}, 0.34, 0.34, 1}};
            loft(metal, sprocket, 40, wa::uv(wa::sprocket), true, true);
        }
    }
    return jm_text({to_mesh(rubber, 3, dull), to_mesh(metal, 40, shiny)});
}

void add_plain(datagen_output& out, const std::string& name, const std::string& text) {
    add_member(out, name + ".jm.gz", gzip_bytes(text.data(), text.size()));
}

bool generate_bike_models(datagen_output& out) {
    const bike_info& b = bike_info_table[0];
    for (const bike_family& f : bike_families()) {
        add_model_levels(out, f.prefix + "_frame", [&] { return frame_model(b, f); });
        add_model_levels(out, f.prefix + "_fork_upper", [&] { return fork_upper_model(b); });
        add_model_levels(out, f.prefix + "_fork_lower", [&] { return fork_lower_model(b); });
        add_model_levels(out, f.prefix + "_swingarm", [&] { return swingarm_model(b); });
        // Flat plates have nothing to simplify.
        add_plain(out, f.prefix + "_side_plates", side_plates_model(b));
        add_plain(out, f.prefix + "_front_plate", front_plate_model(b));
    }
    add_model_levels(out, "front_wheel", [&] { return wheel_model(b.front_wheel, true); });
    add_model_levels(out, "rear_wheel", [&] { return wheel_model(b.rear_wheel, false); });
    return true;
}

}  // namespace

QX_DATAGEN_GENERATOR(models_bike, generate_bike_models);
