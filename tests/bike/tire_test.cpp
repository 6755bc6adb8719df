#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/tire.h"
#include "ground_fixture.h"
#include "track/tile_info.h"

namespace {

tile_info tile_with_friction(std::vector<std::pair<float, float>> points, int slip_function) {
    tile_info t;
    for (size_t k = 0; k < points.size(); k++) {
        t.friction_coefficient[k] = points[k].first;
        t.friction_speed[k] = points[k].second;
    }
    t.slip_function = slip_function;
    return t;
}

vec3f v3(float x, float y, float z) { return {x, y, z}; }

struct tire_fixture : ::testing::Test {
    bike_setup setup;
    void SetUp() override {
        ASSERT_TRUE(bike_world_init());
        make_flat_field(4, 2, 0);
        set_tile_types({tile_info{}});
        roost_output = {nullptr};
    }
    void TearDown() override {
        bike_world_free();
        free_tile_data();
        free_height_field();
        roost_output = {nullptr};
    }
    // A bike standing in its rest pose over the middle of the field.
    bike_state* bike_at_rest(bool robot = false) {
        bike_state* b = create_bike("cr125", 0, robot, setup);
        EXPECT_NE(b, nullptr);
        translate_bike(*b, 16, 0, 16);
        return b;
    }
};

double vec_len(const dReal* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

}  // namespace

TEST(tire_friction_table, curve_and_slip_functions) {
    tile_info plain;
    for (float s : {0.0f, 0.5f, 1.0f, 3.0f, 200.0f}) EXPECT_FLOAT_EQ(tire_friction(plain, v3(s, 0, 0), v3(s, 0, 0)), 1);

    tile_info f0 = tile_with_friction({{0.9f, 0}, {1.0f, 5}, {1.2f, 10}}, 0);
    EXPECT_FLOAT_EQ(tire_friction(f0, v3(0, 0, 0), v3(0, 0, 0)), 0.9f);
    EXPECT_NEAR(tire_friction(f0, v3(0, 0, 5), v3(0, 0, 5)), 1.0f, 1e-6f);
    EXPECT_NEAR(tire_friction(f0, v3(0, 0, 7.5f), v3(0, 0, 7.5f)), 1.0f + 0.2f * (56.25f - 25) / 75, 1e-5f);
    EXPECT_FLOAT_EQ(tire_friction(f0, v3(40, 0, 0), v3(40, 0, 0)), 1.2f);  // past the last point

    tile_info f1 = f0;
    f1.slip_function = 1;
    EXPECT_NEAR(tire_friction(f1, v3(7.5f, 0, 0), v3(7.5f, 0, 0)), 1.1f, 1e-6f);
    // A stored value outside 0..2 behaves as 0.
    tile_info f3 = f0;
    f3.slip_function = 3;
    EXPECT_FLOAT_EQ(tire_friction(f3, v3(0, 0, 7.5f), v3(0, 0, 7.5f)), tire_friction(f0, v3(0, 0, 7.5f), v3(0, 0, 7.5f)));

    tile_info f2 = f0;
    f2.slip_function = 2;
    // Spinning in place at 30 ft/s: the patch does not move, grip of standstill.
    EXPECT_FLOAT_EQ(tire_friction(f2, v3(0, 0, 30), v3(0, 0, 0)), 0.9f);
    // Locked and sliding: the whole slip speed.
    EXPECT_FLOAT_EQ(tire_friction(f2, v3(0, 0, 30), v3(0, 0, 30)), 1.2f);
    EXPECT_NEAR(tire_friction(f2, v3(0, 0, 30), v3(0, 0, 7.5f)), 1.1f, 1e-6f);
    // Tiny slips read their own speed.
    EXPECT_FLOAT_EQ(tire_friction(f2, v3(0.05f, 0, 0), v3(0, 0, 0)), 0.9f + 0.1f * 0.05f / 5);

    // Two points at the same speed: no division by zero.
    tile_info twin = tile_with_friction({{0.5f, 2}, {0.7f, 2}, {0.8f, 4}}, 1);
    EXPECT_TRUE(std::isfinite(tire_friction(twin, v3(2, 0, 0), v3(2, 0, 0))));
}

TEST(tire_contact_values, softness_rolling_resistance_and_direction) {
    tire_softness light = tire_soft_contact(1e-4f, 1.0f / 3), full = tire_soft_contact(0.4f, 1.0f / 3);
    EXPECT_NEAR(light.stiffness, 1000, 1e-3f);
    EXPECT_NEAR(light.damping, 200, 1e-3f);
    EXPECT_FLOAT_EQ(full.stiffness, 25000);
    EXPECT_FLOAT_EQ(full.damping, 2500);
    EXPECT_GT(light.erp, 0);
    EXPECT_LT(full.erp, 1);
    EXPECT_GT(light.cfm, full.cfm);  // a light touch is softer

    tile_info plain;
    EXPECT_FLOAT_EQ(rolling_resistance(plain, 3, 0), 5);
    EXPECT_FLOAT_EQ(rolling_resistance(plain, 3, 1), 15);
    tile_info ramp;
    ramp.roll_resist[0] = {2, 4};
    ramp.roll_resist[1] = {6, 12};
    ramp.roll_resist_speed = {10, 20, 0, 0, 0, 0, 0, 0};
    EXPECT_FLOAT_EQ(rolling_resistance(ramp, 5, 0.5f), 3);
    EXPECT_FLOAT_EQ(rolling_resistance(ramp, 15, 0), 4);
    EXPECT_FLOAT_EQ(rolling_resistance(ramp, 15, 1), 8);
    EXPECT_FLOAT_EQ(rolling_resistance(ramp, 50, 0), 6);

    // Slip along the wheel: the first direction is across it. A tiny
    // sideways slip gives no direction of its own: the axle decides.
    vec3f up = {0, 1, 0}, axle = {1, 0, 0}, dir;
    ASSERT_TRUE(tire_friction_direction(up, {0, 0, 1}, axle, dir));
    EXPECT_NEAR(dir[0], 1, 1e-6f);
    ASSERT_TRUE(tire_friction_direction(up, {0.02f, 0, 0}, axle, dir));
    EXPECT_NEAR(dir[2], -1, 1e-6f);
    EXPECT_FALSE(tire_friction_direction(up, {0, 0, 0}, up, dir));
}

TEST_F(tire_fixture, wheel_collide_makes_one_supporting_contact) {
    bike_state* b = bike_at_rest();
    wheel_contact& w = b->front_contact;
    ASSERT_TRUE(wheel_collide(w, 1));
    const dReal* c = dBodyGetPosition(w.body);
    const bike_info& info = bike_model(*b);
    float expected_depth = info.front_wheel.tire_ring_radius + info.front_wheel.tire_section_radius - 1.09f;
    EXPECT_NEAR(w.depth, expected_depth, 1e-4f);
    EXPECT_NEAR(w.contact_point[0], c[0], 1e-4);
    EXPECT_NEAR(w.contact_point[2], c[2], 1e-4);
    EXPECT_NEAR(w.contact_point[1], -expected_depth, 1e-4f);
    EXPECT_FLOAT_EQ(w.contact_normal[1], 1);

    // The joint pushes the wheel up during the step.
    ASSERT_TRUE(bike_world_step());
    EXPECT_GT(w.contact_feedback.f1[1], 1);
    EXPECT_NEAR(w.contact_feedback.f1[0], 0, 1e-6);

    // Lifted clear: no contact, depth 0.
    translate_bike(*b, 0, 2, 0);
    EXPECT_FALSE(wheel_collide(w, 1));
    EXPECT_EQ(w.depth, 0);
}

TEST_F(tire_fixture, rolling_resistance_force_on_the_wheel) {
    bike_state* b = bike_at_rest();
    wheel_contact& w = b->rear_contact;
    auto resistance_at = [&](float speed) {
        dBodySetForce(w.body, 0, 0, 0);
        dBodySetLinearVel(w.body, 0, 0, -speed);
        EXPECT_TRUE(wheel_collide(w, 1));
        const dReal* f = dBodyGetForce(w.body);
        EXPECT_NEAR(f[1], 0, 1e-6);
        EXPECT_GE(f[2], 0);  // against the motion
        return vec_len(f);
    };
    double full = resistance_at(4), half = resistance_at(0.5f);
    EXPECT_NEAR(half, full / 2, 1e-4);
    float L = w.depth / w.tire_section_radius;
    EXPECT_NEAR(full, 5 + 10 * L, 1e-3);

    // Pressed in by the whole section: the second value, 15 lbf.
    translate_bike(*b, 0, -0.5f, 0);
    EXPECT_NEAR(resistance_at(4), 15, 1e-3);
}

TEST_F(tire_fixture, broken_positions_touch_nothing_and_mark_the_bike) {
    bike_state* b = bike_at_rest();
    const dReal* p = dBodyGetPosition(b->bodies[body_front_wheel]);
    dBodySetPosition(b->bodies[body_front_wheel], std::numeric_limits<double>::quiet_NaN(), p[1], p[2]);
    EXPECT_FALSE(wheel_collide(b->front_contact, 1));
    EXPECT_EQ(b->front_contact.depth, 0);
    EXPECT_TRUE(b->position_fault);
    reset_bike(*b);
    EXPECT_FALSE(b->position_fault);

    translate_bike(*b, 5e8, 0, 0);
    EXPECT_FALSE(wheel_collide(b->rear_contact, 1));
    EXPECT_TRUE(b->position_fault);
    reset_bike(*b);
    dBodySetPosition(b->bodies[body_rear_wheel], 1, std::numeric_limits<double>::infinity(), 1);
    wheel_contact_refresh(*b, 3);
    EXPECT_TRUE(b->position_fault);
    EXPECT_EQ(b->rear_readout.depth, 0);
}

TEST_F(tire_fixture, readout_is_a_copy_refreshed_once_per_tic) {
    bike_state* b = bike_at_rest();
    ASSERT_TRUE(wheel_collide(b->front_contact, 1));
    float physics_depth = b->front_contact.depth;

    translate_bike(*b, 0, -0.05f, 0);
    wheel_contact_refresh(*b, 7);
    EXPECT_NEAR(b->front_readout.depth, physics_depth + 0.05f, 1e-4f);
    EXPECT_GT(b->rear_readout.depth, 0);
    EXPECT_EQ(b->front_contact.depth, physics_depth);  // the physics record is untouched
    EXPECT_EQ(b->front_contact.query_tic, 7);

    // Within the same tic nothing more happens; the next tic refreshes.
    translate_bike(*b, 0, 3, 0);
    wheel_contact_refresh(*b, 7);
    EXPECT_GT(b->front_readout.depth, 0);
    wheel_contact_refresh(*b, 8);
    EXPECT_EQ(b->front_readout.depth, 0);
    EXPECT_EQ(b->rear_readout.depth, 0);
}

TEST_F(tire_fixture, local_robots_read_the_collision_values) {
    bike_state* b = bike_at_rest(true);
    ASSERT_TRUE(wheel_collide(b->front_contact, 1));
    translate_bike(*b, 0, 3, 0);  // the query would find nothing now
    wheel_contact_refresh(*b, 1);
    EXPECT_EQ(b->front_readout.depth, b->front_contact.depth);
    EXPECT_EQ(0, std::memcmp(b->front_readout.contact_point, b->front_contact.contact_point, sizeof(float[3])));
}

namespace {
std::vector<roost_particle> caught;
void catch_particle(const roost_particle& p) { caught.push_back(p); }
}  // namespace

TEST_F(tire_fixture, roost_from_a_sliding_wheel) {
    tile_info dirt;
    dirt.roost[0].mode = 1;
    dirt.roost[0].count = 3;
    dirt.roost[1].mode = 2;
    dirt.roost[1].count = 40;  // more than the budget
    set_tile_types({dirt});
    bike_state* b = bike_at_rest();
    roost_output = {catch_particle};
    random_state rng;

    // Density 0: nothing, and no query either.
    caught.clear();
    random_seed(rng, 5);
    roost_emit(*b, 10, 0, rng);
    EXPECT_TRUE(caught.empty());
    EXPECT_EQ(b->front_contact.query_tic, -1);

    // Rolling without slip: no spray, only the splash (capped by the budget).
    dBodySetLinearVel(b->bodies[body_rear_wheel], 0, 0, -10);
    dBodySetAngularVel(b->bodies[body_rear_wheel], -10 / 1.04, 0, 0);
    roost_emit(*b, 11, 250, rng);
    size_t splash_only = caught.size();
    EXPECT_GE(splash_only, 2u);
    EXPECT_LE(splash_only, 6u);  // at most 3 per wheel
    for (const roost_particle& p : caught) EXPECT_EQ(p.roost_type, 1);

    // Spinning the rear wheel: a spray thrown from its contact.
    caught.clear();
    dBodySetLinearVel(b->bodies[body_rear_wheel], 0, 0, -2);
    dBodySetAngularVel(b->bodies[body_rear_wheel], -40, 0, 0);
    random_seed(rng, 5);
    roost_emit(*b, 12, 300, rng);  // a budget of 3
    int spray = 0;
    const dReal* rc = dBodyGetPosition(b->bodies[body_rear_wheel]);
    for (const roost_particle& p : caught) {
        if (p.roost_type != 0) continue;
        spray++;
        float dz = p.position[2] - (float)rc[2], dy = p.position[1] - (float)rc[1];
        EXPECT_LT(std::hypot(dy, dz), 1.6f);
        EXPECT_GT(dz, 0);               // from behind the contact patch
        EXPECT_GT(p.velocity[2], 0);  // thrown backward by the spinning tire
    }
    EXPECT_EQ(spray, 3);

    // The same generator state gives the same particles.
    std::vector<roost_particle> first = caught;
    caught.clear();
    b->front_contact.query_tic = b->rear_contact.query_tic = -1;
    random_seed(rng, 5);
    roost_emit(*b, 12, 300, rng);
    ASSERT_EQ(first.size(), caught.size());
    for (size_t i = 0; i < first.size(); i++) EXPECT_EQ(first[i].velocity, caught[i].velocity);
}

TEST_F(tire_fixture, locked_wheel_decelerates_at_mu_g) {
    tile_info half_grip;
    half_grip.friction_coefficient.fill(0.5f);
    for (auto& p : half_grip.roll_resist) p = {0, 0};
    set_tile_types({half_grip});

    // A lone wheel that cannot turn, sliding forward at 30 ft/s.
    dWorldID world = bike_world();
    dBodyID body = dBodyCreate(world);
    dMass m;
    dMassSetSphereTotal(&m, 1, 0.5);
    dBodySetMass(body, &m);
    const float R = 0.75f, r = 1.0f / 3;
    dBodySetPosition(body, 20, R + r - 0.02, 40);
    dBodySetLinearVel(body, 0, 0, -30);
    dJointID lock = dJointCreateAMotor(world, nullptr);
    dJointAttach(lock, body, nullptr);
    dJointSetAMotorMode(lock, dAMotorUser);
    dJointSetAMotorNumAxes(lock, 3);
    dJointSetAMotorAxis(lock, 0, 0, 1, 0, 0);
    dJointSetAMotorAxis(lock, 1, 0, 0, 1, 0);
    dJointSetAMotorAxis(lock, 2, 0, 0, 0, 1);
    for (int p : {dParamFMax, dParamFMax2, dParamFMax3}) dJointSetAMotorParam(lock, p, 1e6);

    wheel_contact w;
    w.body = body;
    w.tire_ring_radius = R;
    w.tire_section_radius = r;
    int tics = 0;
    double start = 0;
    for (; tics < 600; tics++) {
        wheel_collide(w, 1);
        ASSERT_TRUE(bike_world_step());
        double speed = -dBodyGetLinearVel(body)[2];
        if (tics == 32) start = speed;  // after the landing has settled
        if (speed < 10) break;
    }
    double end = -dBodyGetLinearVel(body)[2];
    double decel = (start - end) / ((tics - 32) / 128.0);
    EXPECT_NEAR(decel, 0.5 * 32, 0.05 * 16);
    EXPECT_NEAR(dBodyGetPosition(body)[1], R + r, 0.05);  // riding on the tire, not sunk
    dJointDestroy(lock);
    dBodyDestroy(body);
}

namespace {

// Until the rider's springs and the suspension act, hold the rider on its
// mount and the suspension at full extension, so that a drop tests the
// tires alone.
void hold_rider_and_suspension(bike_state& b) {
    dJointSetHinge2Param(b.joints[joint_rider_mount], dParamVel2, 0);
    dJointSetHinge2Param(b.joints[joint_rider_mount], dParamFMax2, 1e5);
    dJointSetSliderParam(b.joints[joint_fork_slide], dParamLoStop, 0);
    dJointSetHingeParam(b.joints[joint_swingarm_pivot], dParamLoStop, 0);
}

struct drop_result {
    std::vector<double> state;
    double front_depth, rear_depth, frame_height, speed;
};

drop_result drop_bike(bike_state& b, double seconds) {
    drop_result out{};
    for (int t = 0; t < (int)(seconds * 128); t++) {
        wheel_collide(b.front_contact, 1);
        wheel_collide(b.rear_contact, 1);
        EXPECT_TRUE(bike_world_step());
    }
    for (int i = 0; i < bike_body_count; i++) {
        const dReal* p = dBodyGetPosition(b.bodies[i]);
        const dReal* q = dBodyGetQuaternion(b.bodies[i]);
        out.state.insert(out.state.end(), p, p + 3);
        out.state.insert(out.state.end(), q, q + 4);
    }
    out.front_depth = b.front_contact.depth;
    out.rear_depth = b.rear_contact.depth;
    double frame[3];
    get_body_position(b, body_frame, frame);
    out.frame_height = frame[1] - height_at((float)frame[0], (float)frame[2]);
    double v[3];
    get_body_velocity(b, body_frame, v);
    out.speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    return out;
}

}  // namespace

TEST_F(tire_fixture, dropped_bike_settles_on_its_tires) {
    bike_state* b = bike_at_rest();
    hold_rider_and_suspension(*b);
    translate_bike(*b, 0, 0.5, 0);
    drop_result a = drop_bike(*b, 2);
    for (double v : a.state) ASSERT_TRUE(std::isfinite(v));
    EXPECT_GT(a.front_depth, 0);
    EXPECT_GT(a.rear_depth, 0);
    EXPECT_LT(a.front_depth, b->front_contact.tire_section_radius);
    EXPECT_LT(a.rear_depth, b->rear_contact.tire_section_radius);
    EXPECT_LT(a.speed, 0.05);
    EXPECT_GT(a.frame_height, 1.0);  // held up by the tires, not lying on the ground
    EXPECT_FALSE(b->position_fault);

    // The same drop again is the same bit for bit.
    reset_bike(*b);
    translate_bike(*b, 16, 0.5, 16);
    hold_rider_and_suspension(*b);
    drop_result again = drop_bike(*b, 2);
    EXPECT_EQ(a.state, again.state);
}

TEST_F(tire_fixture, bike_dropped_on_a_slope_stays_on_its_tires) {
    // A 15 % grade rising along -z: the bike faces uphill and rolls back.
    make_test_field(4, 2, [](int, int j) { return 0.15f * 2 * (float)(32 - j); });
    bike_state* b = bike_at_rest();
    hold_rider_and_suspension(*b);
    double front[3];
    get_body_position(*b, body_front_wheel, front);
    translate_bike(*b, 0, height_at((float)front[0], (float)front[2]) + 0.3, 0);
    for (int t = 0; t < 128; t++) {
        ASSERT_FALSE(b->position_fault);
        wheel_collide(b->front_contact, 1);
        wheel_collide(b->rear_contact, 1);
        ASSERT_TRUE(bike_world_step());
        if (t < 64) continue;
        EXPECT_GT(b->front_contact.depth, 0) << t;
        EXPECT_GT(b->rear_contact.depth, 0) << t;
        EXPECT_LT(b->front_contact.depth, b->front_contact.tire_section_radius) << t;
        EXPECT_LT(b->rear_contact.depth, b->rear_contact.tire_section_radius) << t;
        // The ground normal is the slope's.
        EXPECT_NEAR(b->rear_contact.contact_normal[2], 0.15f / std::sqrt(1 + 0.0225f), 1e-3f) << t;
    }
    double v[3];
    get_body_velocity(*b, body_frame, v);
    EXPECT_GT(v[2], 0.5);  // rolling back down
    double frame[3];
    get_body_position(*b, body_frame, frame);
    EXPECT_GT(frame[1] - height_at((float)frame[0], (float)frame[2]), 1.0);
}

TEST_F(tire_fixture, ground_velocity_leaves_out_the_spin) {
    bike_state* b = bike_at_rest();
    wheel_contact& w = b->rear_contact;
    dBodyID body = w.body;
    const float radius = 1.04f;  // centre height over the ground at rest
    // Rolling at 10 ft/s: the tire does not slide, the patch moves with the bike.
    dBodySetLinearVel(body, 0, 0, -10);
    dBodySetAngularVel(body, -10 / radius, 0, 0);
    ASSERT_TRUE(wheel_collide(w, 1));
    vec3f g = contact_ground_velocity(w, w.contact_point);
    EXPECT_NEAR(g[2], -10, 1e-4f);
    EXPECT_LT(std::fabs(w.slip_velocity[2]), 0.5f);
    // Spinning on the spot: all slide, and the patch stays put.
    dBodySetLinearVel(body, 0, 0, 0);
    dBodySetAngularVel(body, -30, 0, 0);
    ASSERT_TRUE(wheel_collide(w, 1));
    g = contact_ground_velocity(w, w.contact_point);
    EXPECT_NEAR(g[2], 0, 1e-4f);
    EXPECT_GT(w.slip_velocity[2], 25);
    // Falling over sideways (turning about the travel direction) sweeps
    // the patch across the ground.
    dBodySetAngularVel(body, 0, 0, 2);
    g = contact_ground_velocity(w, w.contact_point);
    EXPECT_NEAR(g[0], 2 * (radius + w.depth), 1e-3f);
}

TEST(random_source, repeatable_and_in_range) {
    random_state a, b, c;
    random_seed(a, 42);
    random_seed(b, 42);
    random_seed(c, 43);
    int differ = 0;
    double sum = 0;
    for (int i = 0; i < 10000; i++) {
        float x = next_unit(a);
        ASSERT_GE(x, 0.0f);
        ASSERT_LT(x, 1.0f);
        ASSERT_EQ(x, next_unit(b));
        differ += x != next_unit(c);
        sum += x;
    }
    EXPECT_GT(differ, 9900);
    EXPECT_NEAR(sum / 10000, 0.5, 0.02);
    random_state zero;
    random_seed(zero, 0);
    EXPECT_NE(next_u32(zero), next_u32(zero));  // never stuck at a fixed point
}
