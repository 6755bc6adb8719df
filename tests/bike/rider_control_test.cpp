// The rider's controls, settings and aids, on a cr125 ridden over the flat
// test field with the whole force step.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "bike/rider_control.h"
#include "bike/rider_parts.h"
#include "bike/stability.h"
#include "bike_sim.h"
#include "core/diag.h"
#include "testkit/testkit.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double degree = pi / 180;

// Sets the bike rolling about the line where its tires meet the ground at
// `roll` rad/s (positive leaning it to the left), as a push at the saddle
// would.
void shove(bike_state& b, double roll) {
    double r[9], c[3];
    get_body_rotation(b, body_frame, r);
    get_body_position(b, body_frame, c);
    double rx = r[2], rz = r[8], l = std::hypot(rx, rz);  // the rear axis, level
    double w[3] = {roll * rx / l, 0, roll * rz / l};
    for (dBodyID body : b.bodies) {
        const dReal* p = dBodyGetPosition(body);
        double d[3] = {p[0] - c[0], p[1] - height_at((float)c[0], (float)c[2]), p[2] - c[2]};
        const dReal* v = dBodyGetLinearVel(body);
        dBodySetLinearVel(body, v[0] + w[1] * d[2] - w[2] * d[1], v[1] + w[2] * d[0] - w[0] * d[2],
                          v[2] + w[0] * d[1] - w[1] * d[0]);
        const dReal* a = dBodyGetAngularVel(body);
        dBodySetAngularVel(body, a[0] + w[0], a[1] + w[1], a[2] + w[2]);
    }
}

std::vector<double> body_states(const bike_state& b) {
    std::vector<double> out;
    for (int i = 0; i < bike_body_count; i++) {
        double p[3], q[4], v[3], w[3];
        get_body_position(b, (bike_body)i, p);
        get_body_quaternion(b, (bike_body)i, q);
        get_body_velocity(b, (bike_body)i, v);
        get_body_angular_velocity(b, (bike_body)i, w);
        out.insert(out.end(), p, p + 3);
        out.insert(out.end(), q, q + 4);
        out.insert(out.end(), v, v + 3);
        out.insert(out.end(), w, w + 3);
    }
    return out;
}

// Height of the rider body above the frame, along the frame's up axis.
double rider_height(const bike_state& b) {
    double r[3], f[3], rot[9];
    get_body_position(b, body_rider, r);
    get_body_position(b, body_frame, f);
    get_body_rotation(b, body_frame, rot);
    return (r[0] - f[0]) * rot[1] + (r[1] - f[1]) * rot[4] + (r[2] - f[2]) * rot[7];
}

struct scripted_ride : riding_sim {
    // Throttle that holds a speed; eased off so that the rear tire grips.
    void hold_speed(double target, double most = 1) {
        input[throttle_control] = (float)std::clamp((target - frame_speed()) * 0.3, 0.0, most);
    }
    // Rides until the bike has turned a full circle steering right, then
    // brakes to a stop. Returns the largest lean seen; fills the tics taken.
    double circle_and_stop(int& circle_tics, int& stop_tics) {
        double turned = 0, last = 0, largest = 0;
        int phase = 0, phase_start = 0;
        for (int t = 0; t < 60 * 128; t++) {
            double v = frame_speed();
            if (phase == 0) {
                hold_speed(25);
                if (v > 24) phase = 1, last = heading(), phase_start = t;
            } else if (phase == 1) {
                hold_speed(25);
                steer_right(0.5f);
                double h = heading(), d = h - last;
                if (d > pi) d -= 2 * pi;
                if (d < -pi) d += 2 * pi;
                turned += d;
                last = h;
                if (turned < -2 * pi) phase = 2, circle_tics = t - phase_start, phase_start = t;
            } else {
                steer_right(0);
                input[throttle_control] = 0;
                input[front_brake_control] = input[rear_brake_control] = 0.7f;
                input[clutch_control] = 1;
                if (v < 0.2) {
                    stop_tics = t - phase_start;
                    return largest;
                }
            }
            ride();
            if (!bike_state_finite(*bike)) return 1e9;
            largest = std::max(largest, std::fabs(lean_angle(*bike)));
        }
        return 1e9;
    }
};

}  // namespace

// ---- controls and settings ------------------------------------------------------------

TEST_F(riding_sim, input_becomes_the_stored_controls) {
    ride_bike(256, 256);
    // "Left" gives +1; with reversed steering (the default) that is stored
    // as -1, which steers left.
    input[steer_control] = 1;
    apply_player_input(*bike, input);
    EXPECT_EQ(bike->controls.steer, -1);
    options.reverse_steering = false;
    apply_player_input(*bike, input, options);
    EXPECT_EQ(bike->controls.steer, 1);

    // Out of range and not-a-number inputs are clamped or dropped.
    input = {};
    input[throttle_control] = 3;
    input[lean_control] = -5;
    input[front_brake_control] = std::numeric_limits<float>::quiet_NaN();
    input[steer_control] = std::numeric_limits<float>::infinity();
    apply_player_input(*bike, input, options);
    EXPECT_EQ(bike->controls.throttle, 1);
    EXPECT_EQ(bike->controls.lean, -1);
    EXPECT_EQ(bike->controls.front_brake, 0);
    EXPECT_EQ(bike->controls.steer, 0);

    // The lever 7/8 in opens the clutch at once; letting go closes it over
    // 32 tics.
    input = {};
    apply_player_input(*bike, input);
    input[clutch_control] = 0.875f;
    apply_player_input(*bike, input);
    EXPECT_EQ(bike->controls.clutch, 0);
    input[clutch_control] = 0;
    for (int t = 0; t < 31; t++) apply_player_input(*bike, input);
    EXPECT_LT(bike->controls.clutch, 1);
    EXPECT_GT(bike->controls.clutch, 0.9f);
    apply_player_input(*bike, input);
    EXPECT_EQ(bike->controls.clutch, 1);

    // A held shift changes gear once.
    input[shift_control] = 0.7f;
    for (int t = 0; t < 5; t++) apply_player_input(*bike, input);
    EXPECT_EQ(bike->gear, 1);
    input[shift_control] = 0.2f;
    apply_player_input(*bike, input);
    input[shift_control] = 0.9f;
    apply_player_input(*bike, input);
    EXPECT_EQ(bike->gear, 2);

    // Sticky sit: each press toggles, holding does nothing more.
    rider_input_options sticky;
    sticky.sticky_sit = true;
    input = {};
    auto press = [&](float v) {
        input[dab_control] = v;
        apply_player_input(*bike, input, sticky);
        return bike->controls.sit;
    };
    EXPECT_EQ(press(0.6f), 1);
    EXPECT_EQ(press(1), 1);
    EXPECT_EQ(press(0), 1);
    EXPECT_EQ(press(0.49f), 1);
    EXPECT_EQ(press(0.5f), 0);

    // A rider who is off the bike opens no throttle and does not sit, lean
    // or back up; the brakes still work.
    bike->crash_countdown = 100;
    input[throttle_control] = input[dab_control] = input[back_up_control] = input[lean_control] = 1;
    input[rear_brake_control] = 0.5f;
    apply_player_input(*bike, input);
    EXPECT_EQ(bike->controls.throttle, 0);
    EXPECT_EQ(bike->controls.sit, 0);
    EXPECT_EQ(bike->controls.back_up, 0);
    EXPECT_EQ(bike->controls.lean, 0);
    EXPECT_EQ(bike->controls.rear_brake, 0.5f);
}

TEST_F(riding_sim, setup_sets_the_rider_aids) {
    ride_bike(256, 256);
    // The setup's defaults are the "Stability" 100 values, in the bike's units.
    EXPECT_EQ(bike->roll_damping, 80);
    EXPECT_EQ(bike->direct_steering, 0.125f);
    EXPECT_NEAR(bike->restricted_lock_angle, 1 * degree, 1e-7);
    EXPECT_NEAR(bike->max_dab_speed, 60 * 1.4666667, 1e-4);  // 60 mph in ft/s
    EXPECT_EQ(bike->rider_vertical_spring, 0.5f);
    EXPECT_TRUE(bike->arcade && (bike->flags & flag_auto_dab) && (bike->flags & flag_auto_align));

    setup.roll_damping = 500;
    setup.restricted_lock = -3;
    setup.max_dab_speed = 1;
    setup.leveling = std::numeric_limits<double>::quiet_NaN();
    setup.rider_mass_distribution = 0.9;
    setup.auto_dab = 0;
    apply_rider_setup(*bike, setup);
    EXPECT_EQ(bike->roll_damping, 100);
    EXPECT_EQ(bike->restricted_lock_angle, 0);
    EXPECT_NEAR(bike->max_dab_speed, 7.3333335, 1e-4);  // 5 mph, the menu's least
    EXPECT_EQ(bike->leveling, 20);
    EXPECT_FLOAT_EQ(bike->rider_mass_distribution, 0.5f);
    EXPECT_FALSE(bike->flags & flag_auto_dab);

    // A server that forbids arcade physics overrides the setting.
    EXPECT_TRUE(arcade_physics(*bike));
    set_arcade_forbidden(true);
    EXPECT_FALSE(arcade_physics(*bike));
    set_arcade_forbidden(false);
}

// ---- the pieces of the steering law ---------------------------------------------------------

TEST(stability_pieces, lock_limits_and_indicator) {
    bike_state b;
    b.full_lock_speed = 10;
    b.restricted_lock_speed = 50;
    b.restricted_lock_angle = (float)(7.5 * degree);
    EXPECT_NEAR(steering_lock(b, 3, 1), pi / 4, 1e-9);
    EXPECT_NEAR(steering_lock(b, 60, 1), 7.5 * degree, 1e-6);
    EXPECT_NEAR(steering_lock(b, 60, 0.5), 15 * degree, 1e-6);

    // A lock of 0 is legal: the indicator is a clean step, never NaN.
    b.restricted_lock_angle = 0;
    double L = steering_lock(b, 60, 1);
    EXPECT_EQ(L, 0);
    for (double natural : {-0.2, -1e-6, 0.0, 1e-6, 0.2})
        for (double lean : {-0.5, 0.0, 0.5}) {
            double i = steer_limit_indication(lean, natural, 0, L, 60);
            ASSERT_TRUE(std::isfinite(i));
            EXPECT_TRUE(i == 0 || i == 1) << i;
        }
    EXPECT_EQ(steer_limit_indication(0.3, -0.1, 0, 0, 60), 1);
    EXPECT_EQ(steer_limit_indication(0.3, 0.1, 0, 0, 60), 0);

    // One push of the back-up walk per second; before the first whole second
    // after the start only in the first second of every four.
    for (int t = 0; t < 4096; t++) {
        double p = back_up_pulse(t, 0);
        ASSERT_GE(p, 0);
        ASSERT_LE(p, 1);
    }
    EXPECT_EQ(back_up_pulse(0, 0), 0);
    EXPECT_NEAR(back_up_pulse(64, 0), 1, 0.001);
    EXPECT_EQ(back_up_pulse(128 + 64, 1000), 0);  // before the start's first full second
    EXPECT_NEAR(back_up_pulse(2048 + 64, 1000), 1, 0.001);
}

// ---- riding -------------------------------------------------------------------------------

TEST_F(riding_sim, shoved_at_28_ft_per_second_it_rights_itself) {
    setup.arcade = 0;  // simulation physics with the "Stability" 100 aids
    ride_bike(256, 480);
    for (int t = 0; t < 128; t++) ride();
    set_rolling(28);
    for (double roll : {5.0, -5.0}) {
        for (int t = 0; t < 128; t++) {
            input[throttle_control] = (float)std::clamp((28 - frame_speed()) * 0.3, 0.0, 1.0);
            ride();
        }
        shove(*bike, roll);
        double largest = 0;
        for (int t = 0; t < 4 * 128; t++) {
            input[throttle_control] = (float)std::clamp((28 - frame_speed()) * 0.3, 0.0, 1.0);
            ride();
            ASSERT_TRUE(bike_state_finite(*bike));
            largest = std::max(largest, std::fabs(lean_angle(*bike)));
        }
        // Thrown well over, never down, and back within the roll servo's
        // dead band (1/8 rad/s of roll rate: 0.05 rad of lean).
        EXPECT_GT(largest, 0.3) << roll;
        EXPECT_LT(largest, 0.8) << roll;
        EXPECT_LT(std::fabs(lean_angle(*bike)), 0.07) << roll;
        EXPECT_LT(std::fabs(roll_rate(*bike)), 0.05) << roll;
        EXPECT_GT(frame_speed(), 20) << roll;
        RecordProperty("largest_lean_" + std::to_string((int)roll), std::to_string(largest));
    }
}

TEST_F(riding_sim, arcade_full_right_leans_to_45_degrees_and_back) {
    setup.arcade = 1;
    ride_bike(256, 480);
    for (int t = 0; t < 128; t++) ride();
    set_rolling(28);
    auto throttle = [&] { input[throttle_control] = (float)std::clamp((28 - frame_speed()) * 0.3, 0.0, 1.0); };
    int held = 0, t = 0;
    double fastest_roll = 0;
    for (; t < 3 * 128 && held < 64; t++) {
        throttle();
        steer_right(1);
        ride();
        fastest_roll = std::max(fastest_roll, std::fabs(roll_rate(*bike)));
        if (std::fabs(lean_angle(*bike) + pi / 4) < 0.02) held++;
    }
    EXPECT_EQ(held, 64) << "the lean never settled at -45°";
    EXPECT_LT(t, 2 * 128);
    EXPECT_NEAR(lean_angle(*bike), -pi / 4, 0.02);
    EXPECT_LT(fastest_roll, 1.5 + 0.05);  // the lean servo's top rate
    EXPECT_EQ(bike->steer_limit_indicator, 0);

    steer_right(0);
    double worst = 0;
    for (int k = 0; k < 3 * 128; k++) {
        throttle();
        ride();
        ASSERT_TRUE(bike_state_finite(*bike));
        if (k >= 2 * 128) worst = std::max(worst, std::fabs(lean_angle(*bike)));
    }
    EXPECT_LT(worst, 0.1);
}

TEST_F(riding_sim, seated_rider_rides_lower_than_standing) {
    setup.arcade = 0;
    ride_bike(256, 500);
    for (int t = 0; t < 128; t++) ride();
    set_rolling(20);
    auto settle = [&](float sit) {
        input[dab_control] = sit;
        double sum = 0;
        for (int t = 0; t < 256; t++) {
            input[throttle_control] = (float)std::clamp((20 - frame_speed()) * 0.3, 0.0, 1.0);
            ride();
            if (t >= 128) sum += rider_height(*bike);
        }
        return sum / 128;
    };
    double standing = settle(0), seated = settle(1), standing_again = settle(0);
    const bike_info& info = bike_model(*bike);
    double neutral = info.rider_position[1] - info.frame_position[1];
    // The springs aim at 0.125 ft above the neutral point standing and
    // 0.375 ft below it seated; the upper body's weight sags both.
    EXPECT_GT(standing - seated, 0.25);
    EXPECT_LT(standing - seated, 0.75);
    EXPECT_NEAR(standing_again, standing, 0.02);
    RecordProperty("standing_above_neutral", std::to_string(standing - neutral));
    RecordProperty("seated_above_neutral", std::to_string(seated - neutral));
}

// The lean spring is a contact: it pushes the upper body back toward its
// place on the bike and never holds it there. One step from the same state
// of a bike rolling at 20 ft/s, with the upper body set moving fore or aft
// along the frame, once with the springs and once without: moving toward its
// place the spring leaves it alone, moving away it pushes it back.
TEST_F(riding_sim, the_lean_spring_only_pushes) {
    setup.arcade = 0;
    ride_bike(256, 480);
    roll_along(*bike, 20);
    for (int t = 0; t < 128; t++) {
        input[throttle_control] = (float)std::clamp((20 - frame_speed()) * 0.3, 0.0, 1.0);
        ride();
    }
    dJointGroupEmpty(tic_joint_group());
    // The sit spring off, so that only the lean spring acts on the rider.
    bike->rider_vertical_spring = bike->rider_vertical_damping = 0;
    struct body_record {
        dVector3 p, v, w, f, t;
        dQuaternion q;
    };
    std::array<body_record, bike_body_count> rest;
    auto copy = [](const dReal* from, dReal* to) { std::copy(from, from + 3, to); };
    for (int i = 0; i < bike_body_count; i++) {
        dBodyID body = bike->bodies[i];
        body_record& r = rest[(size_t)i];
        copy(dBodyGetPosition(body), r.p);
        copy(dBodyGetLinearVel(body), r.v);
        copy(dBodyGetAngularVel(body), r.w);
        copy(dBodyGetForce(body), r.f);
        copy(dBodyGetTorque(body), r.t);
        std::copy(dBodyGetQuaternion(body), dBodyGetQuaternion(body) + 4, r.q);
    }
    auto fore_aft_speed_after_a_step = [&](double push, bool springs) {
        for (int i = 0; i < bike_body_count; i++) {
            dBodyID body = bike->bodies[i];
            const body_record& r = rest[(size_t)i];
            dBodySetPosition(body, r.p[0], r.p[1], r.p[2]);
            dBodySetQuaternion(body, r.q);
            dBodySetLinearVel(body, r.v[0], r.v[1], r.v[2]);
            dBodySetAngularVel(body, r.w[0], r.w[1], r.w[2]);
            dBodySetForce(body, r.f[0], r.f[1], r.f[2]);
            dBodySetTorque(body, r.t[0], r.t[1], r.t[2]);
        }
        double rot[9];
        get_body_rotation(*bike, body_frame, rot);
        double rear[3] = {rot[2], rot[5], rot[8]};
        dBodyID rider = bike->bodies[body_rider];
        const dReal* v = dBodyGetLinearVel(rider);
        dBodySetLinearVel(rider, v[0] + push * rear[0], v[1] + push * rear[1], v[2] + push * rear[2]);
        bike_collision_pass(*bike, tic);
        if (springs) rider_springs(*bike);
        EXPECT_TRUE(bike_world_step());
        dVector3 frame_v;
        const dReal* at = dBodyGetPosition(rider);
        dBodyGetPointVel(bike->bodies[body_frame], at[0], at[1], at[2], frame_v);
        v = dBodyGetLinearVel(rider);
        return (v[0] - frame_v[0]) * rear[0] + (v[1] - frame_v[1]) * rear[1] + (v[2] - frame_v[2]) * rear[2];
    };
    std::vector<double> spring_effect;
    for (double push : {3.0, -3.0})
        spring_effect.push_back(
            std::fabs(fore_aft_speed_after_a_step(push, true) - fore_aft_speed_after_a_step(push, false)));
    EXPECT_LT(std::min(spring_effect[0], spring_effect[1]), 1e-7);
    EXPECT_GT(std::max(spring_effect[0], spring_effect[1]), 1e-2);
}

TEST_F(riding_sim, dab_holds_a_stopped_bike_up) {
    auto tip_over = [&](bool dab) {
        setup.arcade = 0;
        setup.auto_dab = dab ? 1 : 0;
        ride_bike(256, 256);
        for (int t = 0; t < 64; t++) ride();
        shove(*bike, 0.2);
        double largest = 0;
        for (int t = 0; t < 5 * 128; t++) {
            ride();
            largest = std::max(largest, std::fabs(lean_angle(*bike)));
        }
        return largest;
    };
    double with_dab = tip_over(true);
    EXPECT_LT(with_dab, 0.2);
    EXPECT_EQ(bike->controls.dab_blend, 1);  // the legs are out
    EXPECT_EQ(bike->controls.sit, 0);        // only for the tic, not stored
    double without = tip_over(false);
    EXPECT_GT(without, 1.0);
}

TEST_F(scripted_ride, accelerates_turns_a_full_circle_and_stops_the_same_every_time) {
    setup.arcade = 0;
    std::vector<double> runs[2];
    for (std::vector<double>& run : runs) {
        ride_bike(256, 480);
        input = {};
        int circle = 0, stop = 0;
        double largest = circle_and_stop(circle, stop);
        EXPECT_LT(largest, 0.8);  // leaned into the turn, never down
        EXPECT_GT(largest, 0.2);
        EXPECT_LT(circle, 20 * 128);
        EXPECT_LT(stop, 5 * 128);
        EXPECT_EQ(bike->fault_resets, 0);
        RecordProperty("largest_lean", std::to_string(largest));
        RecordProperty("circle_seconds", std::to_string(circle / 128.0));
        run = body_states(*bike);
        run.push_back(circle);
        destroy_bike(bike);
    }
    EXPECT_EQ(runs[0], runs[1]);  // bit for bit
}

// ---- faults that must not take the simulation down -----------------------------------------------

TEST_F(riding_sim, a_frame_pointing_straight_up_has_a_lean) {
    setup.arcade = 0;
    ride_bike(256, 256);
    for (double pitch : {pi / 2, -pi / 2}) {
        reset_bike(*bike);
        rotate_bike(*bike, 1, 0, 0, pitch);  // the long axis vertical
        translate_bike(*bike, 256, 20, 256);
        double lean = lean_angle(*bike);
        EXPECT_TRUE(std::isfinite(lean));
        EXPECT_NEAR(lean, 0, 1e-6);
        for (bool arcade : {false, true}) {
            bike->arcade = arcade;
            rider_step(*bike, clock);
            EXPECT_TRUE(bike_state_finite(*bike)) << pitch << " arcade " << arcade;
            dJointGroupEmpty(tic_joint_group());
        }
    }
    // Just off vertical, on either side of the switch to the frame's x axis,
    // the lean reads the same.
    for (double off : {1e-5, 1e-2}) {
        reset_bike(*bike);
        rotate_bike(*bike, 1, 0, 0, pi / 2 - off);
        EXPECT_NEAR(lean_angle(*bike), 0, 1e-6) << off;
    }
}

TEST_F(riding_sim, a_broken_bike_is_put_back_and_logged_once) {
    temp_dir dir;
    log_printf(nullptr);
    setenv("PLIX_LOGFILE", dir.file("fault.log").c_str(), 1);
    setup.arcade = 0;
    // Facing anywhere but -z, so that a reset that forgets the heading shows.
    const double facing = 2.2;
    bike = place_bike(0, 200, 300, facing);
    for (int t = 0; t < 128; t++) ride();
    roll_along(*bike, 10);
    for (int t = 0; t < 128; t++) ride();
    double before[3];
    get_body_position(*bike, body_frame, before);
    double heading_before = heading();

    dBodySetAngularVel(bike->bodies[body_front_wheel], std::numeric_limits<double>::quiet_NaN(), 0, 0);
    EXPECT_FALSE(bike_force_step(*bike, clock));
    EXPECT_EQ(bike->fault_resets, 1);
    EXPECT_TRUE(bike_state_finite(*bike));
    double after[3];
    get_body_position(*bike, body_frame, after);
    EXPECT_NEAR(after[0], before[0], 0.5);
    EXPECT_NEAR(after[2], before[2], 2);
    EXPECT_NEAR(std::remainder(heading() - heading_before, 2 * pi), 0, 0.01);
    EXPECT_NEAR(std::remainder(heading() - facing, 2 * pi), 0, 0.05);
    // It rides on from there.
    for (int t = 0; t < 256; t++) ride();
    EXPECT_TRUE(bike_state_finite(*bike));
    EXPECT_EQ(bike->fault_resets, 1);
    EXPECT_LT(std::fabs(lean_angle(*bike)), 0.2);

    // A force made non-finite during the step is caught as well, and the
    // second breakdown is not logged again.
    bike->steering_damping = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(bike_force_step(*bike, clock));
    bike->steering_damping = 60;
    EXPECT_EQ(bike->fault_resets, 2);
    ride();
    log_printf(nullptr);
    unsetenv("PLIX_LOGFILE");
    std::string log = read_file(dir.file("fault.log"));
    size_t first = log.find("broke down");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.find("broke down", first + 1), std::string::npos);
}
