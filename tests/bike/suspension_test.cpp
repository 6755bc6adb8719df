#include <gtest/gtest.h>

#include <cmath>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/suspension.h"
#include "bike_sim.h"

namespace {

struct suspension_fixture : ::testing::Test {
    bike_setup setup;
    bike_state* b = nullptr;
    void SetUp() override {
        ASSERT_TRUE(bike_world_init());
        b = create_bike("cr125", 0, false, setup);
        ASSERT_NE(b, nullptr);
    }
    void TearDown() override { bike_world_free(); }
};

}  // namespace

TEST(suspension_damper, proportional_with_a_bounded_bleed) {
    // At rest nothing, whatever the bleed.
    EXPECT_EQ(two_stage_damper(0, 60, 60, 30, 30), 0);
    // Fast: the bleed is small beside the proportional part.
    EXPECT_FLOAT_EQ(two_stage_damper(-2, 60, 10, 30, 10), 130);   // compression resists: pushes out
    EXPECT_FLOAT_EQ(two_stage_damper(2, 60, 10, 30, 10), -70);    // rebound resists: pulls in
    // Slow: the bleed would dominate; it is held to 8 times the proportional part.
    EXPECT_FLOAT_EQ(two_stage_damper(-0.01f, 60, 60, 30, 30), 8 * 0.6f);
    EXPECT_FLOAT_EQ(two_stage_damper(0.01f, 60, 60, 30, 30), -8 * 0.3f);
    // A negative bleed (setting below the middle) is held to an eighth.
    EXPECT_FLOAT_EQ(two_stage_damper(-1, 60, -60, 30, -30), 60.0f / 8);
    EXPECT_FLOAT_EQ(two_stage_damper(1, 60, -60, 30, -30), -30.0f / 8);
}

TEST(suspension_setup_values, menu_adjustments) {
    EXPECT_FLOAT_EQ(high_speed_factor(50), 1);
    EXPECT_FLOAT_EQ(high_speed_factor(0), 0.25f);
    EXPECT_FLOAT_EQ(high_speed_factor(100), 4);
    EXPECT_FLOAT_EQ(high_speed_factor(75), 2);
    EXPECT_FLOAT_EQ(high_speed_factor(-40), 0.25f);
    EXPECT_FLOAT_EQ(high_speed_factor(170), 4);
    EXPECT_FLOAT_EQ(low_speed_offset(50), 0);
    EXPECT_FLOAT_EQ(low_speed_offset(-10), -1);
    EXPECT_FLOAT_EQ(low_speed_offset(300), 1);
    EXPECT_FLOAT_EQ(setup_fraction(120), 1);
    EXPECT_FLOAT_EQ(setup_fraction(-1), 0);
}

TEST_F(suspension_fixture, setup_turns_into_the_model_constants) {
    apply_suspension_setup(*b, setup);  // the menu defaults
    EXPECT_NEAR(b->fork_spring, 591.33272f, 1e-3f);
    EXPECT_NEAR(b->fork_preload, 0.0416667f, 1e-6f);
    EXPECT_NEAR(b->fork_air_gap, 0.3333333f, 1e-6f);
    EXPECT_FLOAT_EQ(b->fork_hs_comp, 60);
    EXPECT_FLOAT_EQ(b->fork_ls_comp, 0);
    EXPECT_FLOAT_EQ(b->fork_hs_reb, 30);
    EXPECT_FLOAT_EQ(b->fork_ls_reb, 0);
    EXPECT_NEAR(b->shock_spring, 3158.2541f, 1e-2f);
    EXPECT_NEAR(b->shock_preload, 0.1666667f, 1e-6f);
    EXPECT_FLOAT_EQ(b->shock_hs_comp, 1600);
    EXPECT_FLOAT_EQ(b->shock_hs_reb, 1200);
    EXPECT_FLOAT_EQ(b->shock_ls_comp, 0);
    EXPECT_FLOAT_EQ(b->shock_ls_reb, 0);

    // More oil, a shorter air column.
    setup.fork_oil_level_adjustment = 100;
    apply_suspension_setup(*b, setup);
    EXPECT_FLOAT_EQ(b->fork_air_gap, 0.25f);
    setup.fork_oil_level_adjustment = 0;
    apply_suspension_setup(*b, setup);
    EXPECT_NEAR(b->fork_air_gap, 0.4166667f, 1e-6f);

    // What a new bike starts with.
    set_default_suspension(*b);
    EXPECT_FLOAT_EQ(b->shock_hs_comp, 1600);
    EXPECT_FLOAT_EQ(b->shock_ls_reb, 150);
    EXPECT_NEAR(b->fork_air_gap, 0.4166667f, 1e-6f);
}

TEST_F(suspension_fixture, fork_force_law) {
    const bike_info& info = bike_model(*b);
    float travel = info.fork_travel;
    // Fully extended: no force at all; beyond, none either.
    EXPECT_EQ(fork_force(*b, 0, 0), 0);
    EXPECT_EQ(fork_force(*b, 0, -3), 0);
    EXPECT_EQ(fork_force(*b, 0.01f, 0), 0);
    // From 1/32 of travel the whole force acts; half of it at 1/64.
    float x = -travel / 32;
    float full = (b->fork_preload - x) * b->fork_spring + fork_air_spring(travel, b->fork_air_gap, -x);
    EXPECT_NEAR(fork_force(*b, x, 0), full, 1e-3f);
    float x2 = -travel / 64;
    float full2 = (b->fork_preload - x2) * b->fork_spring + fork_air_spring(travel, b->fork_air_gap, -x2);
    EXPECT_NEAR(fork_force(*b, x2, 0), full2 / 2, 1e-3f);
    // Rising steeply toward full compression.
    EXPECT_GT(fork_force(*b, -0.95f * travel, 0) - fork_force(*b, -0.85f * travel, 0),
              fork_force(*b, -0.25f * travel, 0) - fork_force(*b, -0.15f * travel, 0));
}

TEST(suspension_air, gas_spring_values) {
    EXPECT_EQ(fork_air_spring(1, 0.25f, 0), 0);
    EXPECT_NEAR(fork_air_spring(1, 0.25f, 1), 82.46169f * (std::pow(5.0f, 1.4f) - 1), 1e-3f);
    EXPECT_NEAR(fork_air_spring(1, 0.25f, 1), 702.43f, 0.05f);
    EXPECT_EQ(fork_air_spring(1, 0.25f, 3), fork_air_spring(1, 0.25f, 1));  // clamped to the travel
    EXPECT_TRUE(std::isfinite(fork_air_spring(1, 0, 1)));
}

TEST_F(suspension_fixture, linkage_curve_is_progressive_and_continuous) {
    const bike_info& info = bike_model(*b);
    EXPECT_NEAR(linkage_curve(info, 0).stroke, 0, 1e-7f);
    EXPECT_NEAR(linkage_curve(info, 0.75f).stroke, 0.283652f, 1e-6f);
    EXPECT_NEAR(linkage_curve(info, 1).stroke, 0.413386f, 1e-6f);
    EXPECT_NEAR(linkage_curve(info, 0).slope, 0.315f, 1e-3f);
    EXPECT_NEAR(linkage_curve(info, 1).slope, 0.607f, 1e-3f);
    // Both pieces meet at the break in value and slope.
    float bk = info.linkage_break, e = 1e-4f;
    linkage_point below = linkage_curve(info, bk - e), above = linkage_curve(info, bk + e);
    EXPECT_NEAR(below.stroke, above.stroke, 1e-4f);
    EXPECT_NEAR(below.slope, above.slope, 1e-3f);
    // Rising and progressive all the way.
    float prev = -1, prev_slope = 0;
    for (int k = 0; k <= 100; k++) {
        linkage_point p = linkage_curve(info, k / 100.0f);
        EXPECT_GT(p.stroke, prev);
        EXPECT_GE(p.slope, prev_slope - 1e-3f);
        prev = p.stroke;
        prev_slope = p.slope;
    }
}

TEST_F(suspension_fixture, shock_torque_top_out_and_motors) {
    const bike_info& info = bike_model(*b);
    float travel = info.swingarm_travel;
    EXPECT_EQ(shock_torque(*b, 0, 0), 0);
    float theta = -travel / 32;
    linkage_point lp = linkage_curve(info, 1.0f / 32);
    EXPECT_NEAR(shock_torque(*b, theta, 0), lp.slope * (lp.stroke + b->shock_preload) * b->shock_spring, 1e-2f);
    // Compressing fast adds damping, rebounding takes it away.
    EXPECT_GT(shock_torque(*b, -0.5f * travel, -1), shock_torque(*b, -0.5f * travel, 0));
    EXPECT_LT(shock_torque(*b, -0.5f * travel, 1), shock_torque(*b, -0.5f * travel, 0));

    // A fully extended bike (as built) gets zero-force motors; a strong
    // rebound only resists.
    suspension_step(*b);
    EXPECT_EQ(dJointGetSliderParam(b->joints[joint_fork_slide], dParamFMax), 0);
    EXPECT_EQ(dJointGetHingeParam(b->joints[joint_swingarm_pivot], dParamFMax), 0);
    float fast_rebound = fork_force(*b, -0.2f, 40);
    ASSERT_LT(fast_rebound, 0);
}

TEST_F(suspension_fixture, telemetry_reads_the_joints) {
    suspension_sample s = suspension_telemetry(*b);
    EXPECT_EQ(s.fork_compression, 0);
    EXPECT_EQ(s.shock_travel, 0);
    EXPECT_TRUE(std::isfinite(s.fork_low_speed_share));
    // At rest the damping is all bleed.
    EXPECT_FLOAT_EQ(s.fork_low_speed_share, 1);
    EXPECT_FLOAT_EQ(s.shock_low_speed_share, 1);
    // Compress the fork by moving the upper body down its axis.
    const dReal* p = dBodyGetPosition(b->bodies[body_fork_upper]);
    dBodySetPosition(b->bodies[body_fork_upper], p[0], p[1] - 0.25, p[2]);
    s = suspension_telemetry(*b);
    EXPECT_GT(s.fork_compression, 0.1f);
    EXPECT_LT(s.fork_compression, 0.3f);
}

TEST_F(bike_sim, dropped_bike_settles_with_sag_inside_the_travel) {
    make_bike(64, 64, 0.5f);
    const bike_info& info = bike_model(*bike);
    for (int t = 0; t < 128; t++) step();
    ASSERT_TRUE(all_finite());
    // Settled within the first second: the next half second barely moves it.
    double before[3], after[3];
    get_body_position(*bike, body_frame, before);
    double fork_before = fork_position(*bike), arm_before = swingarm_angle(*bike);
    for (int t = 0; t < 64; t++) step();
    get_body_position(*bike, body_frame, after);
    EXPECT_NEAR(after[1], before[1], 0.01);
    EXPECT_NEAR(fork_position(*bike), fork_before, 0.01);
    EXPECT_NEAR(swingarm_angle(*bike), arm_before, 0.01);
    EXPECT_LT(frame_speed(), 0.1);

    // Sagged, but inside the travel, not on the stops.
    double fork = fork_position(*bike), arm = swingarm_angle(*bike);
    EXPECT_LT(fork, -0.05 * info.fork_travel);
    EXPECT_GT(fork, -0.9 * info.fork_travel);
    EXPECT_LT(arm, -0.05 * info.swingarm_travel);
    EXPECT_GT(arm, -0.9 * info.swingarm_travel);
    EXPECT_GT(bike->front_contact.depth, 0);
    EXPECT_GT(bike->rear_contact.depth, 0);
    // The free engine idles where the closed-throttle torque runs out.
    EXPECT_NEAR(engine_rpm(*bike), 1500, 120);
    EXPECT_EQ(bike->gear, 0);
    RecordProperty("fork_sag", std::to_string(-fork));
    RecordProperty("swingarm_sag", std::to_string(-arm));
}
