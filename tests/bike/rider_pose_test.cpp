// The drawn rider's pose: limbs, feet, bone frames and head, without GL.
#include "bike/rider_pose.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "bike/bike_world.h"
#include "track/height_field.h"

namespace {

constexpr double pi = 3.14159265358979323846;
const rider_geometry& geo() { return bike_info_table[0].rider; }
dvec3 of(const float* p) { return {p[0], p[1], p[2]}; }

void near3(dvec3 a, dvec3 b, double tol, const char* what) {
    EXPECT_NEAR(a.x, b.x, tol) << what;
    EXPECT_NEAR(a.y, b.y, tol) << what;
    EXPECT_NEAR(a.z, b.z, tol) << what;
}
void rotation_ok(dvec3 a, dvec3 b, dvec3 c, const char* what) {
    ASSERT_TRUE(finite(a) && finite(b) && finite(c)) << what;
    for (dvec3 v : {a, b, c}) EXPECT_NEAR(length(v), 1, 1e-9) << what;
    EXPECT_NEAR(dot(a, b), 0, 1e-9) << what;
    EXPECT_NEAR(dot(b, c), 0, 1e-9) << what;
    EXPECT_NEAR(dot(cross(a, b), c), 1, 1e-9) << what;  // proper, not a mirror
}
void pose_ok(const rider_pose& p, const char* what) {
    for (const bone_frame& b : p.bones) {
        ASSERT_TRUE(finite(b.t)) << what;
        rotation_ok(b.b0, b.b1, b.b2, what);
    }
}

// The three bodies the pose reads, unrotated at their table positions, over
// ground at 0.5 ft.
pose_input rest_input() {
    const bike_info& b = bike_info_table[0];
    pose_input in;
    in.geometry = &b.rider;
    in.frame.position = of(b.frame_position);
    in.fork_upper.position = of(b.fork_upper_position);
    in.rider.position = of(b.rider_position);
    in.ground = [](float, float) { return 0.5f; };
    return in;
}

// Every body turned about the world origin by the same rotation, then moved.
pose_input moved(pose_input in, dvec3 axis, double angle, dvec3 offset) {
    axis = axis * (1 / length(axis));
    auto turn = [&](dvec3 v) {
        return v * std::cos(angle) + cross(axis, v) * std::sin(angle) + axis * (dot(axis, v) * (1 - std::cos(angle)));
    };
    for (pose_body* b : {&in.frame, &in.fork_upper, &in.rider}) {
        b->position = turn(b->position) + offset;
        for (dvec3& a : b->axis) a = turn(a);
        b->velocity = turn(b->velocity);
    }
    return in;
}

// A rest vertex of bone i through the skinning arrays: R (v - c) + t.
dvec3 skin(const skin_arrays& s, int i, dvec3 v) {
    const float *c = s.centres + i * 3, *t = s.translations + i * 3, *r = s.rotations + i * 9;
    dvec3 d{v.x - c[0], v.y - c[1], v.z - c[2]};
    return {r[0] * d.x + r[1] * d.y + r[2] * d.z + t[0], r[3] * d.x + r[4] * d.y + r[5] * d.z + t[1],
            r[6] * d.x + r[7] * d.y + r[8] * d.z + t[2]};
}

TEST(two_bone_joint, KeepsTheLengthsBendsTowardTheHintAndHoldsTheReach) {
    dvec3 a{1, 2, 3}, hint{1, 5, 0}, t{2.2, 1, 4};
    dvec3 j = two_bone_joint(a, t, 1.2, 1.0, hint);
    EXPECT_NEAR(length(j - a), 1.2, 1e-9);
    EXPECT_NEAR(length(t - j), 1.0, 1e-9);
    dvec3 u = (t - a) * (1 / length(t - a));
    EXPECT_GT(dot(j - a, (hint - a) - u * dot(hint - a, u)), 0);
    // Beyond 95 % of the limb the same bent limb, never a straight one.
    dvec3 limit = two_bone_joint({}, {0.95 * 2.05, 0, 0}, 0.9, 1.15, {0, -1, 0});
    for (double reach : {0.951, 1.0, 40.0}) near3(two_bone_joint({}, {reach * 2.05, 0, 0}, 0.9, 1.15, {0, -1, 0}), limit, 1e-12, "beyond");
    EXPECT_NEAR(length(limit), 0.9, 1e-12);
    EXPECT_LT(limit.y, -0.1);
}

TEST(two_bone_joint, DegenerateLimbsStayFinite) {
    dvec3 a{1, 1, 1};
    near3(two_bone_joint(a, {2, 1, 1}, 0, 0, {1, 0, 1}), a, 1e-12, "no limb");
    near3(two_bone_joint(a, a, 1, 1, {1, 3, 1}), {1, 2, 1}, 1e-12, "target at root: folded to the hint");
    EXPECT_NEAR(length(two_bone_joint(a, a, 1, 1, a) - a), 1, 1e-12);
    EXPECT_NEAR(length(two_bone_joint(a, {1.1, 1, 1}, 0.5, 2, {1, 2, 1}) - a), 0.5, 1e-12);  // folded past the bend
    dvec3 j = two_bone_joint(a, {2.5, 1, 1}, 1, 1, {3, 1, 1});  // hint on the limb's line
    EXPECT_NEAR(length(j - a), 1, 1e-9);
    EXPECT_NEAR(length(dvec3{2.5, 1, 1} - j), 1, 1e-9);
    EXPECT_TRUE(finite(two_bone_joint(a, {2, 2, 2}, NAN, -1, {0, 0, 0})));
}

TEST(drawn_feet, PegsGroundAndParticles) {
    pose_input in = rest_input();
    dvec3 peg[2] = {in.frame.point(geo().footpeg_left), in.frame.point(geo().footpeg_right)};
    dvec3 hip[2] = {in.rider.point(geo().hip_left), in.rider.point(geo().hip_right)};
    dvec3 span = hip[1] - hip[0];
    in.lean = 0.4;  // leaning without dabbing: still on the pegs
    drawn_feet f = drawn_foot_placement(in);
    near3(f.position[0], peg[0], 1e-12, "peg");
    EXPECT_EQ(f.weight[0], 0);
    // Upright and still, fully out: half a hip span outside each hip, 1/8 ft up.
    in.lean = 0;
    in.dab_blend = 1;
    f = drawn_foot_placement(in);
    dvec3 left = hip[0] - span * 0.5, right = hip[1] + span * 0.5;
    near3(f.position[0], {left.x, 0.625, left.z}, 1e-9, "left down");
    near3(f.position[1], {right.x, 0.625, right.z}, 1e-9, "right down");
    EXPECT_EQ(f.weight[1], 1);
    in.dab_blend = 0.5;
    near3(drawn_foot_placement(in).position[0], (peg[0] + dvec3{left.x, 0.625, left.z}) * 0.5, 1e-9, "half out");
    // A small lean: behind the hip at a standstill, ahead at 15 ft/s.
    in.dab_blend = 1;
    in.lean = 0.05;
    double q = 0.05 * 4 / pi;
    dvec3 base = hip[0] + span * (0.5 * q - 0.5);
    EXPECT_NEAR(drawn_foot_placement(in).position[0].z, base.z + 0.625 * q, 1e-9);
    in.frame.velocity = {0, 0, -15};
    EXPECT_NEAR(drawn_foot_placement(in).position[0].z, base.z - 2.5 * q, 1e-9);
    // Leaning 0.3 rad: only the foot on that side comes down.
    in.lean = 0.3;
    f = drawn_foot_placement(in);
    EXPECT_NEAR(f.position[0].y, 0.625, 1e-9);
    near3(f.position[1], peg[1], 1e-12, "right stays");
    in.lean = -0.3;
    f = drawn_foot_placement(in);
    near3(f.position[0], peg[0], 1e-12, "left stays");
    EXPECT_EQ(f.weight[1], 1);
    // Down: the particles from 128 tics up, halfway (to the raised pegs) at 96.
    in.foot_particle = {dvec3{-3, 0.25, 1}, dvec3{4, 0.25, 9}};
    in.dab_blend = 0;
    for (int c : {128, 100000}) {
        in.crash_countdown = c;
        near3(drawn_foot_placement(in).position[1], in.foot_particle[1], 1e-12, "particle");
    }
    in.crash_countdown = 96;
    f = drawn_foot_placement(in);
    near3(f.position[0], (in.frame.point(of(geo().footpeg_left) + dvec3{-0.25, 1.75, 1}) + in.foot_particle[0]) * 0.5, 1e-9, "96");
    EXPECT_EQ(f.weight[0], 1);
}

TEST(rider_pose, HandsOnTheGripsAndFeetOnThePegsWhereverTheBikeIs) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int k = 0; k < 20; k++) {
        pose_input in = moved(rest_input(), {u(rng), u(rng), u(rng)}, k ? 3 * u(rng) : 0, {40 * u(rng), 10 * u(rng), 0});
        in.throttle = k % 2;
        rider_pose pose = full_rider_pose(in);
        pose_ok(pose, "moved bike");
        skin_arrays s = skin_arrays_of(pose, geo());
        for (int side = 0; side < 2; side++) {
            double dir = side ? 1 : -1;
            const float* elbow = geo().rider_bone_centres[side];
            const float* knee = geo().rider_bone_centres[bone_left_shin + side];
            dvec3 hand{elbow[0] + dir * geo().forearm_length, elbow[1], elbow[2]};
            dvec3 sole{knee[0], knee[1] - geo().shin_length, knee[2]};
            near3(skin(s, side, hand), in.fork_upper.point(side ? geo().grip_right : geo().grip_left), 1e-5, "hand");
            near3(skin(s, bone_left_shin + side, sole), in.frame.point(side ? geo().footpeg_right : geo().footpeg_left), 1e-5, "sole");
            // The bones meet at the elbows and knees.
            near3(skin(s, bone_left_upper_arm + side, of(elbow)), pose.bones[(size_t)side].t, 1e-5, "elbow");
            near3(skin(s, bone_left_thigh + side, of(knee)), pose.bones[bone_left_shin + (size_t)side].t, 1e-5, "knee");
        }
    }
    // Elbows out, knees out and forward; the throttle drops the right elbow.
    pose_input in = rest_input();
    rider_pose pose = full_rider_pose(in);
    EXPECT_LT(pose.bones[bone_left_forearm].t.x, in.rider.point(geo().shoulder_left).x);
    EXPECT_LT(pose.bones[bone_left_shin].t.z, in.rider.point(geo().hip_left).z);
    in.throttle = 1;
    EXPECT_LT(full_rider_pose(in).bones[bone_right_forearm].t.y, pose.bones[bone_right_forearm].t.y);
}

TEST(rider_pose, DegenerateGeometryStaysARotation) {
    rider_geometry g = geo();
    pose_input in = rest_input();
    in.geometry = &g;
    g.upper_arm_length = g.forearm_length = g.thigh_length = g.shin_length = 0;
    pose_ok(full_rider_pose(in), "zero limbs");
    g = geo();
    in.fork_upper.position = in.rider.position - of(g.grip_left) + of(g.shoulder_left);  // grip on the shoulder
    in.frame.position = in.rider.position - of(g.footpeg_left) + of(g.hip_left);        // peg on the hip
    pose_ok(full_rider_pose(in), "targets at the joints");
    for (int k = 0; k < 3; k++) g.shoulder_left[k] = g.shoulder_right[k] = g.hip_left[k] = g.hip_right[k] = 0;
    pose_ok(full_rider_pose(in), "one point");
    head_placement h = head_pose(in);
    rotation_ok(h.x, h.y, h.z, "head");
}

TEST(head_pose, LooksAlongTheMotionWithinItsCone) {
    pose_input in = rest_input();
    head_placement h = head_pose(in);
    near3(h.position, in.rider.point(geo().head_point), 1e-12, "head point");
    // Level and still: the rear axis 30.7 degrees up from straight back.
    EXPECT_NEAR(std::atan2(h.z.y, h.z.z) * 180 / pi, 30.72, 0.01);
    EXPECT_NEAR(h.z.x, 0, 1e-12);
    in.rider.velocity = {20, 0, 0};  // drifting right: the face looks right
    EXPECT_LT(head_pose(in).z.x, -0.2);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int k = 0; k < 200; k++) {
        pose_input t = moved(rest_input(), {u(rng), u(rng), u(rng)}, 4 * u(rng), {});
        t.rider.velocity = {80 * u(rng), 80 * u(rng), 80 * u(rng)};
        h = head_pose(t);
        rotation_ok(h.x, h.y, h.z, "tumbling");
        EXPECT_GT(dot(h.z, t.rider.axis[1] * 1.5 + t.rider.axis[2]), 0);  // never facing backward
    }
}

TEST(head_pose, TheBodyTiltsBackAboutTheHipWhenTheBarComesClose) {
    const rider_geometry& g = geo();
    auto gap = [&](const pose_input& p) {
        return length(p.fork_upper.point(dvec3{0, g.grip_left[1], g.grip_left[2]}) -
                      p.rider.point(dvec3{0, g.shoulder_left[1], g.shoulder_left[2]}));
    };
    pose_input in = rest_input();
    double before = gap(in);
    ASSERT_LT(before, 1.25);  // the seated rider is already a little close
    dvec3 hips[2] = {in.rider.point(g.hip_left), in.rider.point(g.hip_right)};
    EXPECT_NEAR(apply_head_clearance(in), std::atan(0.375 * (1.25 - before)), 1e-12);
    near3(in.rider.point(g.hip_left), hips[0], 1e-12, "left hip");
    near3(in.rider.point(g.hip_right), hips[1], 1e-12, "right hip");
    EXPECT_GT(gap(in), before);
    rotation_ok(in.rider.axis[0], in.rider.axis[1], in.rider.axis[2], "turned");
    in = rest_input();
    // The bar right on the shoulders.
    in.fork_upper.position = in.rider.point(dvec3{0, g.shoulder_left[1], g.shoulder_left[2]}) - dvec3{0, g.grip_left[1], g.grip_left[2]};
    EXPECT_NEAR(apply_head_clearance(in), std::atan(0.375), 1e-12);
    in = rest_input();
    in.rider.position.z += 1;  // sitting back: left alone
    EXPECT_EQ(apply_head_clearance(in), 0);
    EXPECT_EQ(in.rider.position.z, rest_input().rider.position.z + 1);
}

TEST(rider_pose, ABuiltBikeIsReadFromItsBodies) {
    ASSERT_TRUE(bike_world_init());
    bike_state* bike = create_bike("cr125", 3, false, bike_setup{});
    ASSERT_NE(bike, nullptr);
    pose_input rest = rest_input();
    rider_pose a = full_rider_pose(*bike), b = full_rider_pose(rest);
    for (int i = 0; i < rider_bone_count; i++) near3(a.bones[(size_t)i].t, b.bones[(size_t)i].t, 1e-5, "joint");
    rotate_bike(*bike, 0, 1, 0, pi);  // turned round, the pose turns with it
    dvec3 t = full_rider_pose(*bike).bones[bone_left_forearm].t, r = b.bones[bone_left_forearm].t;
    near3(t, {-r.x, r.y, -r.z}, 1e-5, "turned elbow");
    dvec3 peg = rest.frame.point(geo().footpeg_left);
    near3(drawn_foot_placement(*bike).position[0], {-peg.x, peg.y, -peg.z}, 1e-5, "turned peg");
    // Leaning to its left (the top toward -x) with the legs out: the left
    // foot goes to the ground, the right stays.
    reset_bike(*bike);
    rotate_bike(*bike, 0, 0, 1, 0.3);
    bike->controls.dab_blend = 1;
    drawn_feet f = drawn_foot_placement(*bike);
    EXPECT_NEAR(f.position[0].y, height_at((float)f.position[0].x, (float)f.position[0].z) + 0.125, 1e-5);
    EXPECT_EQ(f.weight[0], 1);
    EXPECT_EQ(f.weight[1], 0);
    dVector3 right_peg;
    dBodyGetRelPointPos(bike->bodies[body_frame], geo().footpeg_right[0], geo().footpeg_right[1], geo().footpeg_right[2], right_peg);
    near3(f.position[1], {right_peg[0], right_peg[1], right_peg[2]}, 1e-6, "right on its peg");
    bike_world_free();
}

}  // namespace
