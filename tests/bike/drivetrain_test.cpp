#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "bike/drivetrain.h"
#include "bike_sim.h"
#include "core/diag.h"

namespace {

constexpr double rad_per_rpm = 1 / rpm_per_rad_per_s;

struct drivetrain_fixture : ::testing::Test {
    bike_setup setup;
    bike_state* b = nullptr;
    void SetUp() override {
        ASSERT_TRUE(bike_world_init());
        b = create_bike("cr125", 0, false, setup);
        ASSERT_NE(b, nullptr);
        clear_message_history();
    }
    void TearDown() override { bike_world_free(); }
    void set_rpm(double rpm) { b->engine_speed = (float)(rpm * rad_per_rpm); }
};

// The rev limit: the first rpm at which the full-throttle curve gives no
// more torque.
double rev_limit(const bike_info& info) {
    for (int k = 0; k < torque_points; k++)
        if (info.torque_open[k] <= 0) return k * 500.0;
    return 24500;
}

}  // namespace

TEST_F(drivetrain_fixture, engine_torque_from_the_curves) {
    b->controls.throttle = 1;
    set_rpm(10000);
    EXPECT_NEAR(engine_torque(*b), 15.9664f, 1e-3f);
    EXPECT_NEAR(engine_rpm(*b), 10000, 1e-2);
    // Between points, and between the curves by throttle.
    set_rpm(10250);
    const bike_info& info = bike_model(*b);
    EXPECT_NEAR(engine_torque(*b), (info.torque_open[20] + info.torque_open[21]) / 2, 1e-4f);
    b->controls.throttle = 0.25f;
    float closed = (info.torque_closed[20] + info.torque_closed[21]) / 2;
    float open = (info.torque_open[20] + info.torque_open[21]) / 2;
    EXPECT_NEAR(engine_torque(*b), closed + 0.25f * (open - closed), 1e-4f);
    // Idle: positive closed-throttle torque below 1500 rpm.
    b->controls.throttle = 0;
    set_rpm(0);
    EXPECT_FLOAT_EQ(engine_torque(*b), 2);
    set_rpm(1000);
    EXPECT_FLOAT_EQ(engine_torque(*b), 1);
    set_rpm(1500);
    EXPECT_NEAR(engine_torque(*b), 0, 1e-5f);
    b->engine_speed = -50;  // running backwards reads the first point
    EXPECT_FLOAT_EQ(engine_torque(*b), 2);
    set_rpm(1e9);  // past the table: its last point
    EXPECT_FLOAT_EQ(engine_torque(*b), info.torque_closed[torque_points - 1]);
}

TEST_F(drivetrain_fixture, wheelie_cut_only_with_the_front_up) {
    set_stop_wheelies(*b, 1);
    EXPECT_TRUE(b->flags & flag_stop_wheelies_cut);
    EXPECT_TRUE(b->flags & flag_front_brake_guard);
    b->controls.throttle = 1;
    set_rpm(8000);
    float full = engine_torque(*b);
    b->rear_contact.depth = 0.05f;
    b->front_contact.depth = 0;
    EXPECT_EQ(engine_torque(*b), 0);
    b->front_contact.depth = 0.02f;
    EXPECT_EQ(engine_torque(*b), full);
    // Already pitching down fast enough: no cut.
    b->front_contact.depth = 0;
    dBodySetAngularVel(b->bodies[body_frame], -0.5, 0, 0);
    EXPECT_EQ(engine_torque(*b), full);
    dBodySetAngularVel(b->bodies[body_frame], 0, 0, 0);
    set_stop_wheelies(*b, 2);
    EXPECT_FALSE(b->flags & flag_stop_wheelies_cut);
    EXPECT_TRUE(b->flags & flag_front_brake_guard);
    EXPECT_EQ(engine_torque(*b), full);
    set_stop_wheelies(*b, 0);
    EXPECT_FALSE(b->flags & (flag_stop_wheelies_cut | flag_front_brake_guard));
    EXPECT_TRUE(b->flags & flag_created);
}

TEST_F(drivetrain_fixture, shifting_is_edge_triggered) {
    shift(*b, 1);
    EXPECT_EQ(b->gear, 1);
    shift(*b, 1);  // still held
    EXPECT_EQ(b->gear, 1);
    shift(*b, 0);
    shift(*b, 1);
    EXPECT_EQ(b->gear, 2);
    shift(*b, 2);  // not a request
    EXPECT_EQ(b->gear, 2);
    for (int k = 0; k < 10; k++) {
        shift(*b, 0);
        shift(*b, 1);
    }
    EXPECT_EQ(b->gear, 4);  // the cr125 has five gears
    for (int k = 0; k < 10; k++) {
        shift(*b, 0);
        shift(*b, -1);
    }
    EXPECT_EQ(b->gear, 0);
    // Off the bike nothing changes.
    shift(*b, 0);
    b->crash_countdown = 5;
    shift(*b, 1);
    EXPECT_EQ(b->gear, 0);
}

TEST_F(drivetrain_fixture, automatic_clutch) {
    b->controls.clutch = 1;
    set_rpm(4000);
    EXPECT_EQ(clutch_engagement(*b), 0);
    set_rpm(6000);
    EXPECT_NEAR(clutch_engagement(*b), 0.5f, 1e-4f);
    set_rpm(7500);
    EXPECT_EQ(clutch_engagement(*b), 1);
    b->controls.clutch = 0.3f;
    EXPECT_FLOAT_EQ(clutch_engagement(*b), 0.3f);
    set_rpm(6000);
    EXPECT_FLOAT_EQ(clutch_engagement(*b), 0.3f);  // the lever can only open it further
    set_auto_clutch_rpm(*b, 0);
    b->controls.clutch = 1;
    set_rpm(1000);
    EXPECT_FLOAT_EQ(clutch_engagement(*b), 0.5f);
    set_auto_clutch_rpm(*b, 9000);
    EXPECT_FLOAT_EQ(b->auto_clutch_rpm, 5000);
}

TEST_F(drivetrain_fixture, setters_clamp) {
    const bike_info& info = bike_model(*b);
    set_sprockets(*b, 5, -7);
    EXPECT_FLOAT_EQ(b->final_drive, (info.rear_sprocket_teeth - 2) / (info.countershaft_teeth + 2));
    set_sprockets(*b, NAN, 0);
    EXPECT_FLOAT_EQ(b->final_drive, info.rear_sprocket_teeth / info.countershaft_teeth);
    set_brake_torques(*b, 900, -3);
    EXPECT_EQ(b->front_brake_torque, 500);
    EXPECT_EQ(b->rear_brake_torque, 0);
}

TEST_F(drivetrain_fixture, setup_applies_only_to_a_standing_bike) {
    bike_setup s;
    s.rear_sprocket_adjustment = 2;
    s.fork_oil_level_adjustment = 100;
    dBodySetLinearVel(b->bodies[body_frame], 0, 0, -3);
    const std::string refused = "Settings not applied.  Mechanic can't keep up error.";
    EXPECT_FALSE(apply_bike_setup(*b, s, 100));
    EXPECT_FALSE(b->flags & flag_auto_shift);  // nothing applied
    EXPECT_STREQ(message_line(0), "");          // a first refusal is silent
    EXPECT_FALSE(apply_bike_setup(*b, s, 105));
    EXPECT_EQ(message_line(0), refused);
    clear_message_history();
    EXPECT_FALSE(apply_bike_setup(*b, s, 120));  // 15 s after the last refusal
    EXPECT_STREQ(message_line(0), "");

    dBodySetLinearVel(b->bodies[body_frame], 0, 0.1, 0);
    ASSERT_TRUE(apply_bike_setup(*b, s, 121));
    const bike_info& info = bike_model(*b);
    EXPECT_FLOAT_EQ(b->final_drive, (info.rear_sprocket_teeth + 2) / info.countershaft_teeth);
    EXPECT_FLOAT_EQ(b->fork_air_gap, 0.25f);
    EXPECT_EQ(b->front_brake_torque, 500);
    EXPECT_EQ(b->rear_brake_torque, 250);
    EXPECT_TRUE(b->flags & flag_auto_shift);
    EXPECT_TRUE(b->flags & flag_front_antilock);
    EXPECT_FALSE(b->flags & flag_rear_antilock);
    EXPECT_TRUE(b->flags & flag_stop_wheelies_cut);
}

TEST_F(drivetrain_fixture, clutch_in_passes_nothing) {
    // On a stand: the frame held in the air.
    translate_bike(*b, 0, 3, 0);
    hold_rider(*b);
    dJointID stand = dJointCreateFixed(bike_world(), nullptr);
    dJointAttach(stand, b->bodies[body_frame], nullptr);
    dJointSetFixed(stand);
    b->controls.throttle = 1;
    b->controls.clutch = 0;
    set_rpm(9000);
    for (int t = 0; t < 128; t++) {
        drivetrain_step(*b, t);
        ASSERT_TRUE(bike_world_step());
        ASSERT_NEAR(rear_axle_rate(*b), 0, 1e-6) << t;
        // The coupling's engine side is pinned to the wheel each tic and
        // only runs ahead by the engine's own turn in that tic: no windup.
        double ahead = std::remainder(b->drive_phase - rear_axle_angle(*b), 2 * M_PI);
        ASSERT_NEAR(ahead, b->engine_speed / drive_reduction(*b) / 128, 1e-4) << t;
    }
    EXPECT_GT(engine_rpm(*b), 11000);  // revving freely
    dJointDestroy(stand);
}

TEST_F(drivetrain_fixture, automatic_shifting_every_32_tics) {
    set_flag(*b, flag_auto_shift, true);
    const bike_info& info = bike_model(*b);
    // Loaded rear suspension, wheel turning as at 13000 rpm in first.
    auto load_rear = [&]() {
        // Rotate the swingarm up about its pivot so the hinge reads compressed.
        dMatrix3 r;
        dRFromAxisAndAngle(r, 1, 0, 0, -0.1);
        dBodySetRotation(b->bodies[body_swingarm], r);
    };
    load_rear();
    ASSERT_LT(swingarm_angle(*b), -0.01);
    auto spin_rear = [&](double rpm) {
        double wheel = rpm * rad_per_rpm / total_reduction(info, b->gear, b->final_drive);
        dBodySetAngularVel(b->bodies[body_rear_wheel], -wheel, 0, 0);
    };
    spin_rear(13000);
    int changes = 0, last_gear = b->gear;
    for (int t = 1; t <= 200; t++) {
        drivetrain_step(*b, t);
        if (b->gear != last_gear) {
            EXPECT_EQ(t % 32, 0) << "shifted on tic " << t;
            changes++;
            last_gear = b->gear;
        }
        spin_rear(13000);  // keep the wheel at the same engine rpm in the new gear
    }
    EXPECT_EQ(b->gear, 4);  // up to the top gear the cr125 has and no further
    EXPECT_EQ(changes, 4);
    // A wheel spinning on the ground does not shift.
    b->gear = 0;
    b->rear_contact.depth = 0.05f;
    b->rear_contact.slip_velocity[2] = 10;
    drivetrain_step(*b, 224);
    EXPECT_EQ(b->gear, 0);
    // Slow: down it goes.
    b->rear_contact.depth = 0;
    b->gear = 3;
    spin_rear(2000);
    drivetrain_step(*b, 256);
    EXPECT_EQ(b->gear, 2);
}

TEST_F(drivetrain_fixture, brakes_antilock_and_guard) {
    b->controls.front_brake = 1;
    b->controls.rear_brake = 0.5f;
    set_flag(*b, flag_front_antilock, true);
    set_flag(*b, flag_rear_antilock, false);
    set_stop_wheelies(*b, 1);
    b->front_contact.depth = b->rear_contact.depth = 0.05f;
    auto front_fmax = [&] { return dJointGetHingeParam(b->joints[joint_front_axle], dParamFMax); };
    auto rear_fmax = [&] { return dJointGetHingeParam(b->joints[joint_rear_axle], dParamFMax); };
    drivetrain_step(*b, 1);
    EXPECT_EQ(front_fmax(), 250);
    EXPECT_EQ(rear_fmax(), 125);
    EXPECT_EQ(dJointGetHingeParam(b->joints[joint_front_axle], dParamVel), 0);
    // Front locked and sliding: released for the tic; rear keeps braking.
    b->front_contact.slip_velocity[2] = 2.5f;
    b->rear_contact.slip_velocity[2] = 2.5f;
    drivetrain_step(*b, 2);
    EXPECT_EQ(front_fmax(), 0);
    EXPECT_EQ(rear_fmax(), 125);
    b->front_contact.slip_velocity[2] = 1.5f;
    drivetrain_step(*b, 3);
    EXPECT_EQ(front_fmax(), 250);
    // Stoppie with the guard: the front brake does nothing.
    b->rear_contact.depth = 0;
    drivetrain_step(*b, 4);
    EXPECT_EQ(front_fmax(), 0);
    set_stop_wheelies(*b, 0);
    drivetrain_step(*b, 5);
    EXPECT_EQ(front_fmax(), 250);
}

// ---- the bike on the flat test field ---------------------------------------------------

TEST_F(bike_sim, full_throttle_accelerates_and_shifts_up) {
    make_bike(64, 120, 0);
    const bike_info& info = bike_model(*bike);
    for (int t = 0; t < 128; t++) step();  // settle
    bike->controls.throttle = 1;
    bike->controls.clutch = 1;
    double limit = rev_limit(info), top_rpm = 0, speed_at_3s = 0;
    int top_gear = 0, downshifts = 0, last_gear = bike->gear;
    for (int t = 0; t < 5 * 128; t++) {
        step();
        ASSERT_TRUE(all_finite()) << t;
        top_rpm = std::max(top_rpm, (double)engine_rpm(*bike));
        if (bike->gear < last_gear) downshifts++;
        last_gear = bike->gear;
        top_gear = std::max(top_gear, bike->gear);
        if (t == 3 * 128) speed_at_3s = frame_forward_speed();
    }
    EXPECT_GT(speed_at_3s, 40);
    EXPECT_GE(top_gear, 2);
    EXPECT_EQ(downshifts, 0);
    EXPECT_LT(top_rpm, limit + 500);
    RecordProperty("speed_at_3s", std::to_string(speed_at_3s));
    RecordProperty("top_gear", std::to_string(top_gear));
    RecordProperty("top_rpm", std::to_string(top_rpm));
}

TEST_F(bike_sim, both_brakes_stop_from_90_ft_per_second) {
    make_flat_field(7, 2, 0);  // 512 ft: room to stop
    make_bike(64, 480, 0);
    for (int t = 0; t < 128; t++) step();
    double start[3];
    get_body_position(*bike, body_frame, start);
    set_rolling(90);
    bike->controls.front_brake = 1;
    bike->controls.rear_brake = 1;
    bike->controls.throttle = 0;
    bike->controls.clutch = 0;
    int releases = 0, grips = 0, t = 0;
    for (; t < 10 * 128 && frame_speed() > 0.5; t++) {
        step();
        ASSERT_TRUE(all_finite()) << t;
        double fmax = dJointGetHingeParam(bike->joints[joint_front_axle], dParamFMax);
        const wheel_contact& f = bike->front_contact;
        float slide = std::sqrt(f.slip_velocity[0] * f.slip_velocity[0] + f.slip_velocity[1] * f.slip_velocity[1] +
                                f.slip_velocity[2] * f.slip_velocity[2]);
        if (f.depth > 0 && bike->rear_contact.depth > 0) {
            if (slide > 2) {
                ASSERT_EQ(fmax, 0) << "front brake held while sliding at " << slide << " on tic " << t;
                releases++;
            } else {
                grips++;
            }
        }
    }
    double end[3];
    get_body_position(*bike, body_frame, end);
    double distance = start[2] - end[2];
    double v2 = 90.0 * 90;
    EXPECT_GT(distance, v2 / (2 * 0.9 * 32));
    EXPECT_LT(distance, v2 / (2 * 0.6 * 32));
    EXPECT_GT(releases, 0);
    EXPECT_GT(grips, 0);
    RecordProperty("stopping_distance", std::to_string(distance));
    RecordProperty("mean_deceleration_g", std::to_string(v2 / (2 * distance) / 32));
}

TEST_F(bike_sim, rear_wheel_in_the_air_holds_the_limiter) {
    make_bike(64, 64, 2.0f);
    // On a stand high above the ground.
    dJointID stand = dJointCreateFixed(bike_world(), nullptr);
    dJointAttach(stand, bike->bodies[body_frame], nullptr);
    dJointSetFixed(stand);
    const bike_info& info = bike_model(*bike);
    double limit = rev_limit(info);
    bike->controls.throttle = 1;
    bike->controls.clutch = 1;
    for (int gear = 0; gear < 5; gear++) {
        bike->gear = gear;
        double lo = 1e9, hi = 0;
        for (int t = 0; t < 4 * 128; t++) {
            step();
            ASSERT_TRUE(all_finite()) << "gear " << gear << " tic " << t;
            if (t < 3 * 128) continue;
            lo = std::min(lo, (double)engine_rpm(*bike));
            hi = std::max(hi, (double)engine_rpm(*bike));
        }
        // At the limiter, and steady there.
        EXPECT_GT(lo, limit - 1000) << "gear " << gear;
        EXPECT_LT(hi, limit + 500) << "gear " << gear;
        EXPECT_LT(hi - lo, 200) << "gear " << gear;
        RecordProperty("limiter_band_gear" + std::to_string(gear), std::to_string(hi - lo));
    }
    dJointDestroy(stand);
}
