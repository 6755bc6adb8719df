#include "pose.h"

#include <algorithm>
#include <cmath>

namespace {

struct vec {
    double x = 0, y = 0, z = 0;
};
vec operator+(vec a, vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
vec operator-(vec a, vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
vec operator*(vec a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(vec a, vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
vec cross(vec a, vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double len(vec a) { return std::sqrt(dot(a, a)); }
vec unit(vec a) {
    double l = len(a);
    return l > 1e-12 ? a * (1 / l) : vec{0, 1, 0};
}
vec of(const float* f) { return {f[0], f[1], f[2]}; }

// The middle joint of a limb from root a toward target t, bent toward hint q.
vec two_bone_joint(vec a, vec t, double l1, double l2, vec q) {
    vec d = t - a;
    double dist = len(d);
    vec u = unit(d);
    double reach = std::min(dist, 0.95 * (l1 + l2));
    double along = (l1 * l1 + reach * reach - l2 * l2) / (2 * reach);
    double h = std::sqrt(std::max(l1 * l1 - along * along, 0.0));
    vec p = (q - a) - u * dot(q - a, u);
    return a + u * along + unit(p) * h;
}

void put(float* dst, vec v) {
    dst[0] = (float)v.x;
    dst[1] = (float)v.y;
    dst[2] = (float)v.z;
}
void put_axes(float* r, vec b0, vec b1, vec b2) {
    const vec cols[3] = {b0, b1, b2};
    for (int c = 0; c < 3; c++) {
        r[0 * 3 + c] = (float)cols[c].x;
        r[1 * 3 + c] = (float)cols[c].y;
        r[2 * 3 + c] = (float)cols[c].z;
    }
}

}  // namespace

shot_pose rest_pose(const bike_info& b) {
    const rider_geometry& g = b.rider;
    // Every body at rest: unrotated, at its table position.
    vec rider = of(b.rider_position), fork = of(b.fork_upper_position), frame = of(b.frame_position);
    auto rp = [&](vec p) { return rider + p; };
    vec sl = rp(of(g.shoulder_left)), sr = rp(of(g.shoulder_right));
    vec gl = fork + of(g.grip_left), gr = fork + of(g.grip_right);
    vec bar = gr - gl;
    double delta = sr.y - sl.y;
    vec spine{0, g.shoulder_left[1] - g.hip_left[1], g.shoulder_left[2] - g.hip_left[2]};
    vec hint_l = rp({g.shoulder_left[0] - 0.5, g.shoulder_left[1] - (1.5 * std::max(delta, 0.0) + 1), g.shoulder_left[2] + 2}) - bar;
    vec hint_r = rp({g.shoulder_right[0] + 0.5, g.shoulder_right[1] - (1.5 * std::max(-delta, 0.0) + 0.9), g.shoulder_right[2] + 2}) + bar;
    vec el = two_bone_joint(sl, gl, g.upper_arm_length, g.forearm_length, hint_l);
    vec er = two_bone_joint(sr, gr, g.upper_arm_length, g.forearm_length, hint_r);

    vec hl = rp(of(g.hip_left)), hr = rp(of(g.hip_right)), hips = hr - hl;
    vec fl = frame + of(g.footpeg_left), fr = frame + of(g.footpeg_right);
    vec kl = two_bone_joint(hl, fl, g.thigh_length, g.shin_length, rp({g.hip_left[0] - 0.5, g.hip_left[1], g.hip_left[2] - 2}));
    vec kr = two_bone_joint(hr, fr, g.thigh_length, g.shin_length, rp({g.hip_right[0] + 0.5, g.hip_right[1], g.hip_right[2] - 2}));

    shot_pose out{};
    for (int i = 0; i < rider_bone_count; i++) put(out.centres + i * 3, of(g.rider_bone_centres[i]));
    auto bone = [&](int i, vec t, vec b0, vec b1, vec b2) {
        put(out.translations + i * 3, t);
        put_axes(out.rotations + i * 9, b0, b1, b2);
    };
    {
        vec b0 = unit(el - gl), b1 = unit(cross(bar * -1, el - gl));
        bone(0, el, b0, b1, cross(b0, b1));
        b0 = unit(gr - er), b1 = unit(cross(bar, gr - er));
        bone(1, er, b0, b1, cross(b0, b1));
        b0 = unit(sl - el);
        vec b2 = unit(cross(b0, spine));
        bone(2, sl, b0, cross(b2, b0), b2);
        b0 = unit(er - sr);
        b2 = unit(cross(b0, spine));
        bone(3, sr, b0, cross(b2, b0), b2);
    }
    auto leg = [&](int thigh, int shin, vec h, vec k, vec f) {
        vec b1 = unit(h - k), b2 = unit(cross(hips, b1));
        bone(thigh, h, cross(b1, b2), b1, b2);
        b1 = unit(k - f);
        b2 = unit(cross(hips, b1));  // feet on the pegs: the hip line is the reference
        bone(shin, k, cross(b1, b2), b1, b2);
    };
    leg(6, 4, hl, kl, fl);
    leg(7, 5, hr, kr, fr);
    {
        vec p0 = rp({0, g.hip_left[1], g.hip_left[2]}), s0 = rp({0, g.shoulder_left[1], g.shoulder_left[2]});
        vec b0{1, 0, 0}, b1 = unit(s0 - p0);
        bone(8, p0, b0, b1, cross(b0, b1));
    }

    // Head: a rider at a standstill looks ahead and a little down, within a
    // cone of the torso.
    vec X{1, 0, 0}, Y{0, 1, 0}, Z{0, 0, 1};
    vec d = Z;
    double r = std::hypot(d.x, d.z);
    double u = std::max((60 - r) * r * 0.0058333334, 0.0) + 0.25 * r;
    vec look = unit({d.x, u, d.z});
    vec a = (Y * 1.5 - Z) * 0.5547002, bb = (Y * 1.5 + Z) * 0.5547002;
    vec up{0, 1, 0};
    if (len(up - a) > 0.5) up = a + (up - a) * (0.5 / len(up - a));
    vec l1 = look + a * (2 * dot(look, a));
    if (len(l1 - bb) > 0.75) l1 = bb + (l1 - bb) * (0.75 / len(l1 - bb));
    vec l2 = l1 - a * ((2.0 / 3) * dot(l1, a));
    vec hx = unit(cross(up, l2)), hy = unit(cross(l2, hx)), hz = unit(l2);
    (void)X;
    put(out.head_position, rp(of(g.head_point)));
    put_axes(out.head_axes, hx, hy, hz);
    return out;
}
