// The drawn rider's pose from the bike's bodies: feet, limbs by two-bone
// inverse kinematics, the nine bone frames and the head.
#include "bike/rider_pose.h"

#include <algorithm>
#include <cmath>

#include "bike/rider_control.h"
#include "track/height_field.h"

namespace {

constexpr double pi = 3.14159265358979323846;
// Vectors here are a few feet long; anything shorter than this has no
// usable direction.
constexpr double short_vector = 1e-6;

dvec3 of(const float* p) { return {p[0], p[1], p[2]}; }

// v made unit, or the fallback when v is too short or not finite.
dvec3 unit_or(dvec3 v, dvec3 fallback) {
    double l = length(v);
    if (!(l > short_vector) || !std::isfinite(l)) return fallback;
    return v * (1 / l);
}

// A unit vector square to the unit vector n, as close to `hint` as it can be;
// when the hint is along n (or unusable) the world axis least aligned with
// n stands in, so the result is always defined.
dvec3 perpendicular(dvec3 n, dvec3 hint) {
    dvec3 p = hint - n * dot(hint, n);
    double l = length(p);
    if (l > short_vector && std::isfinite(l)) return p * (1 / l);
    double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    dvec3 axis = ax <= ay && ax <= az ? dvec3{1, 0, 0} : (ay <= az ? dvec3{0, 1, 0} : dvec3{0, 0, 1});
    p = axis - n * dot(axis, n);
    return p * (1 / length(p));
}

// The second axis of a bone frame: the direction c made exactly square to
// the first axis b, or one toward `fallback` when c is degenerate.
dvec3 axis_across(dvec3 b, dvec3 c, dvec3 fallback) {
    return length(c) > short_vector ? perpendicular(b, c) : perpendicular(b, fallback);
}

double usable_length(double l) { return std::isfinite(l) && l > 0 ? l : 0.0; }

pose_body frame_of(const bike_state& bike, bike_body body) {
    pose_body f;
    if (!bike.bodies[body]) return f;
    double p[3], r[9], v[3];
    get_body_position(bike, body, p);
    get_body_rotation(bike, body, r);
    get_body_velocity(bike, body, v);
    f.position = {p[0], p[1], p[2]};
    for (int c = 0; c < 3; c++) f.axis[c] = {r[c], r[3 + c], r[6 + c]};
    f.velocity = {v[0], v[1], v[2]};
    return f;
}

float ground_height(const pose_input& in, double x, double z) {
    return in.ground ? in.ground((float)x, (float)z) : height_at((float)x, (float)z);
}

}  // namespace

pose_input pose_input_of(const bike_state& bike) {
    pose_input in;
    in.geometry = &bike_model(bike).rider;
    in.frame = frame_of(bike, body_frame);
    in.fork_upper = frame_of(bike, body_fork_upper);
    in.rider = frame_of(bike, body_rider);
    in.lean = bike.bodies[body_frame] ? lean_angle(bike) : 0.0;
    in.dab_blend = bike.controls.dab_blend;
    in.throttle = bike.controls.throttle;
    in.crash_countdown = bike.crash_countdown;
    in.foot_particle[foot_left_side] = of(bike.foot_left.position);
    in.foot_particle[foot_right_side] = of(bike.foot_right.position);
    return in;
}

dvec3 two_bone_joint(dvec3 a, dvec3 t, double l1, double l2, dvec3 q) {
    if (!finite(a)) return {};
    if (!finite(t)) return a;
    l1 = usable_length(l1);
    l2 = usable_length(l2);
    dvec3 d = t - a;
    double dist = length(d);
    // A target on the root folds the limb back on itself, toward the hint.
    if (!(dist > short_vector)) return a + unit_or(q - a, {0, -1, 0}) * l1;
    dvec3 u = d * (1 / dist);
    double reach = std::min(dist, 0.95 * (l1 + l2));
    double along = reach > short_vector ? (l1 * l1 + reach * reach - l2 * l2) / (2 * reach) : 0.0;
    // Nearer than the lengths allow: the first bone keeps its length and
    // lies along the limb's line.
    along = std::clamp(along, -l1, l1);
    double h = std::sqrt(std::max(l1 * l1 - along * along, 0.0));
    return a + u * along + perpendicular(u, q - a) * h;
}

drawn_feet drawn_foot_placement(const pose_input& in) {
    const rider_geometry& g = *in.geometry;
    const double c = in.crash_countdown;
    dvec3 peg_point[2] = {of(g.footpeg_left), of(g.footpeg_right)};
    if (c > 0) {
        // The feet come off the pegs, up and back, as the rider goes down.
        double f = std::clamp(c, 1.0, 128.0) / 128;
        double a = std::clamp(2 * f - 1, 0.0, 1.0) / 2;
        double b = std::clamp(2 * f, 0.0, 1.0);
        double back = std::clamp(4 * f / 3, 0.0, 1.0);
        peg_point[0] = peg_point[0] + dvec3{-a, 1.75 * b, back};
        peg_point[1] = peg_point[1] + dvec3{a, 1.75 * b, back};
    }
    drawn_feet out;
    dvec3 peg[2] = {in.frame.point(peg_point[0]), in.frame.point(peg_point[1])};
    out.position = {peg[0], peg[1]};

    double dab = std::isfinite(in.dab_blend) ? std::clamp(in.dab_blend, 0.0, 1.0) : 0.0;
    if (dab > 0 && c < 128) {
        dvec3 hl = in.rider.point(g.hip_left), hr = in.rider.point(g.hip_right);
        dvec3 span = hr - hl;
        dvec3 forward = -in.frame.axis[2];
        double lean = in.lean;
        double s = std::clamp(dot(forward, in.frame.velocity) / 15, 0.0, 1.0);
        double q = std::clamp(std::fabs(lean) * 4 / pi, 0.0, 1.0);
        dvec3 offset = forward * ((1.25 * s - 0.25) * q * 2.5);
        auto put_down = [&](int side, dvec3 p, double m) {
            dvec3 ground{p.x, ground_height(in, p.x, p.z) + 0.125, p.z};
            out.position[(size_t)side] = peg[side] + (ground - peg[side]) * m;
            out.weight[(size_t)side] = m;
        };
        if (lean > -0.1)
            put_down(foot_left_side, hl + span * (0.5 * q - 0.5) + offset,
                     1 - std::clamp((lean + 0.5) * 2.5, 0.0, 1.0) * (1 - dab));
        if (lean < 0.1)
            put_down(foot_right_side, hr + span * (0.5 - 0.5 * q) + offset,
                     1 - std::clamp((0.5 - lean) * 2.5, 0.0, 1.0) * (1 - dab));
    }

    if (c > 0) {
        // The particles take over fully while c >= 128 and let go as it falls.
        double t = std::clamp(2 * c - 128, 1.0, 128.0) / 128;
        for (size_t side = 0; side < 2; side++) {
            out.position[side] = out.position[side] + (in.foot_particle[side] - out.position[side]) * t;
            out.weight[side] = 1;
        }
    }
    return out;
}

drawn_feet drawn_foot_placement(const bike_state& bike) { return drawn_foot_placement(pose_input_of(bike)); }

void arm_pose(const pose_input& in, rider_pose& pose) {
    const rider_geometry& g = *in.geometry;
    const pose_body& r = in.rider;
    dvec3 sl = r.point(g.shoulder_left), sr = r.point(g.shoulder_right);
    dvec3 gl = in.fork_upper.point(g.grip_left), gr = in.fork_upper.point(g.grip_right);
    dvec3 bar = gr - gl;
    double delta = (sr - sl).y;
    dvec3 spine = r.vector({0, g.shoulder_left[1] - g.hip_left[1], g.shoulder_left[2] - g.hip_left[2]});
    double throttle = std::isfinite(in.throttle) ? in.throttle : 0.0;

    // The elbows bend out, down and back; the throttle hand's elbow drops
    // with the throttle.
    dvec3 hint_left = r.point(dvec3{g.shoulder_left[0] - 0.5, g.shoulder_left[1] - (1.5 * std::max(delta, 0.0) + 1),
                                    g.shoulder_left[2] + 2.0}) -
                      bar;
    dvec3 hint_right = r.point(dvec3{g.shoulder_right[0] + 0.5,
                                     g.shoulder_right[1] - (0.125 * throttle + 1.5 * std::max(-delta, 0.0) + 0.9),
                                     g.shoulder_right[2] + 2.0}) +
                       bar;
    dvec3 el = two_bone_joint(sl, gl, g.upper_arm_length, g.forearm_length, hint_left);
    dvec3 er = two_bone_joint(sr, gr, g.upper_arm_length, g.forearm_length, hint_right);

    const dvec3 rx = unit_or(r.axis[0], {1, 0, 0}), ry = unit_or(r.axis[1], {0, 1, 0}),
                rz = unit_or(r.axis[2], {0, 0, 1});
    bone_frame& lf = pose.bones[bone_left_forearm];
    lf.t = el;
    lf.b0 = unit_or(el - gl, rx);
    lf.b1 = axis_across(lf.b0, cross(-bar, lf.b0), ry);
    lf.b2 = cross(lf.b0, lf.b1);

    bone_frame& rf = pose.bones[bone_right_forearm];
    rf.t = er;
    rf.b0 = unit_or(gr - er, rx);
    rf.b1 = axis_across(rf.b0, cross(bar, rf.b0), ry);
    rf.b2 = cross(rf.b0, rf.b1);

    bone_frame& lu = pose.bones[bone_left_upper_arm];
    lu.t = sl;
    lu.b0 = unit_or(sl - el, rx);
    lu.b2 = axis_across(lu.b0, cross(lu.b0, spine), rz);
    lu.b1 = cross(lu.b2, lu.b0);

    bone_frame& ru = pose.bones[bone_right_upper_arm];
    ru.t = sr;
    ru.b0 = unit_or(er - sr, rx);
    ru.b2 = axis_across(ru.b0, cross(ru.b0, spine), rz);
    ru.b1 = cross(ru.b2, ru.b0);
}

void leg_pose(const pose_input& in, const drawn_feet& feet, rider_pose& pose) {
    const rider_geometry& g = *in.geometry;
    const pose_body& r = in.rider;
    dvec3 hip[2] = {r.point(g.hip_left), r.point(g.hip_right)};
    dvec3 h = hip[1] - hip[0];
    // Knees out and forward.
    dvec3 hint[2] = {r.point(dvec3{g.hip_left[0] - 0.5, g.hip_left[1], g.hip_left[2] - 2.0}),
                     r.point(dvec3{g.hip_right[0] + 0.5, g.hip_right[1], g.hip_right[2] - 2.0})};
    const dvec3 ry = unit_or(r.axis[1], {0, 1, 0}), rz = unit_or(r.axis[2], {0, 0, 1});
    const int thigh_bone[2] = {bone_left_thigh, bone_right_thigh};
    const int shin_bone[2] = {bone_left_shin, bone_right_shin};
    for (size_t side = 0; side < 2; side++) {
        dvec3 hp = hip[side], foot = feet.position[side];
        dvec3 knee = two_bone_joint(hp, foot, g.thigh_length, g.shin_length, hint[side]);

        bone_frame& th = pose.bones[(size_t)thigh_bone[side]];
        th.t = hp;
        th.b1 = unit_or(hp - knee, ry);
        th.b2 = axis_across(th.b1, cross(h, th.b1), rz);
        th.b0 = cross(th.b1, th.b2);

        // A foot on the ground turns the shin's side axis toward the leg's
        // own plane.
        bone_frame& sh = pose.bones[(size_t)shin_bone[side]];
        sh.t = knee;
        sh.b1 = unit_or(knee - foot, ry);
        dvec3 reference = h;
        dvec3 n = cross(hp - knee, foot - knee);
        double m = std::isfinite(feet.weight[side]) ? feet.weight[side] : 0.0;
        if (length_sq(n) >= 0.001) reference = h + (n - h) * m;
        sh.b2 = axis_across(sh.b1, cross(reference, sh.b1), rz);
        sh.b0 = cross(sh.b1, sh.b2);
    }
}

void torso_pose(const pose_input& in, rider_pose& pose) {
    const rider_geometry& g = *in.geometry;
    const pose_body& r = in.rider;
    dvec3 pelvis = r.point(dvec3{0, g.hip_left[1], g.hip_left[2]});
    dvec3 chest = r.point(dvec3{0, g.shoulder_left[1], g.shoulder_left[2]});
    bone_frame& t = pose.bones[bone_torso];
    t.t = pelvis;
    t.b0 = unit_or(r.axis[0], {1, 0, 0});
    t.b1 = axis_across(t.b0, chest - pelvis, unit_or(r.axis[1], {0, 1, 0}));
    t.b2 = cross(t.b0, t.b1);
}

head_placement head_pose(const pose_input& in) {
    const rider_geometry& g = *in.geometry;
    const pose_body& r = in.rider;
    head_placement out;
    out.position = r.point(g.head_point);
    const dvec3 X = unit_or(r.axis[0], {1, 0, 0}), Y = unit_or(r.axis[1], {0, 1, 0}), Z = unit_or(r.axis[2], {0, 0, 1});
    dvec3 v = finite(r.velocity) ? r.velocity : dvec3{};
    // Only motion toward the rider's front counts.
    if (dot(v, Z) >= 0) v = v - Z * dot(v, Z);
    dvec3 d = Z - v;
    double dl = length(d);
    double dx = d.x, dz = d.z;
    if (dl < 32) {
        // A slow rider looks less far along his motion.
        dx = Z.x - v.x * dl / 32;
        dz = Z.z - v.z * dl / 32;
    }
    double rr = std::sqrt(dx * dx + dz * dz);
    double up = std::max((60 - rr) * rr * 0.0058333334, 0.0) + 0.25 * rr;
    dvec3 look = unit_or({dx, up, dz}, Z);

    // The head stays within a cone of the torso: A and B span the rider's
    // up/rear plane.
    const double k = 0.5547002;  // 1 / sqrt(3.25)
    dvec3 a = (Y * 1.5 - Z) * k, b = (Y * 1.5 + Z) * k;
    dvec3 u{0, 1, 0};
    double ua = length(u - a);
    if (ua > 0.5) u = a + (u - a) * (0.5 / ua);
    dvec3 l1 = look + a * (2 * dot(look, a));
    double lb = length(l1 - b);
    if (lb > 0.75) l1 = b + (l1 - b) * (0.75 / lb);
    dvec3 l2 = l1 - a * ((2.0 / 3) * dot(l1, a));

    out.z = unit_or(l2, Z);
    out.x = axis_across(out.z, cross(u, out.z), X);
    out.y = cross(out.z, out.x);
    return out;
}

head_placement head_pose(const bike_state& bike) { return head_pose(pose_input_of(bike)); }

rider_pose full_rider_pose(const pose_input& in) {
    rider_pose pose;
    drawn_feet feet = drawn_foot_placement(in);
    arm_pose(in, pose);
    leg_pose(in, feet, pose);
    torso_pose(in, pose);
    return pose;
}

rider_pose full_rider_pose(const bike_state& bike) { return full_rider_pose(pose_input_of(bike)); }

double apply_head_clearance(pose_input& in) {
    const rider_geometry& g = *in.geometry;
    dvec3 bar = in.fork_upper.point(dvec3{0, g.grip_left[1], g.grip_left[2]});
    dvec3 shoulders = in.rider.point(dvec3{0, g.shoulder_left[1], g.shoulder_left[2]});
    double distance = length(bar - shoulders);
    if (!(distance < 1.25)) return 0;
    double k = std::min(1.25 - distance, 1.0);
    double angle = std::atan(0.375 * k);
    // Tilting back about the body's own x axis moves the shoulders to the
    // rear, away from the bar; both hips lie on that axis and stay put.
    pose_body& r = in.rider;
    dvec3 pivot = r.point(g.hip_left);
    double c = std::cos(angle), s = std::sin(angle);
    dvec3 y = r.axis[1] * c + r.axis[2] * s;
    dvec3 z = r.axis[2] * c - r.axis[1] * s;
    r.axis[1] = y;
    r.axis[2] = z;
    r.position = pivot - r.vector(of(g.hip_left));
    return angle;
}

skin_arrays skin_arrays_of(const rider_pose& pose, const rider_geometry& geometry) {
    skin_arrays out;
    for (int i = 0; i < rider_bone_count; i++) {
        const bone_frame& b = pose.bones[(size_t)i];
        const dvec3 cols[3] = {b.b0, b.b1, b.b2};
        for (int k = 0; k < 3; k++) out.centres[i * 3 + k] = geometry.rider_bone_centres[i][k];
        out.translations[i * 3 + 0] = (float)b.t.x;
        out.translations[i * 3 + 1] = (float)b.t.y;
        out.translations[i * 3 + 2] = (float)b.t.z;
        for (int c = 0; c < 3; c++) {
            out.rotations[i * 9 + 0 * 3 + c] = (float)cols[c].x;
            out.rotations[i * 9 + 1 * 3 + c] = (float)cols[c].y;
            out.rotations[i * 9 + 2 * 3 + c] = (float)cols[c].z;
        }
    }
    return out;
}
