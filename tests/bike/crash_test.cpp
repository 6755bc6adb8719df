// The rider coming off and getting back on, on the flat test field.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "bike/crash.h"
#include "bike_sim.h"

namespace {

struct crash_fixture : riding_sim {
    void SetUp() override {
        riding_sim::SetUp();
        set_knockout_table(nullptr, 0);
    }
    void TearDown() override {
        set_knockout_table(nullptr, 0);
        riding_sim::TearDown();
    }
    bike_state& standing_bike(int arcade) {
        setup.arcade = arcade;
        ride_bike(256, 256);
        for (int t = 0; t < 128; t++) ride();  // settled on its wheels
        return *bike;
    }
    static dvec3 position(const bike_state& b, bike_body part) { return body_pos(b.bodies[part]); }
};

// The overload test: the rider thrown by speed relative to the frame or by
// the felt acceleration, with less tolerance just after a long flight.
TEST_F(crash_fixture, OverloadLimitsAndTheirLoweringAfterALongFlight) {
    struct limit_case {
        double air, since_landing;  // s
        double relative_speed;      // ft/s sideways against the frame
        double felt;                // ft/s², upward
        bool thrown;
    };
    const limit_case cases[] = {
        {0.0, 1.0, 46.0, 32, false},  {0.0, 1.0, 47.0, 32, true},      // 31 × 1.5
        {0.7, 0.1, 30.8, 32, false},  {0.7, 0.1, 31.2, 32, true},      // 31 after 0.7 s of air
        {0.7, 0.3, 40.0, 32, false},                                    // the window has passed
        {0.5, 0.0, 40.0, 32, false},                                    // a short hop changes nothing
        {0.0, 1.0, 0.0, 2060, false}, {0.0, 1.0, 0.0, 2070, true},     // 1376 × 1.5
        {0.7, 0.05, 0.0, 1370, false}, {0.7, 0.05, 0.0, 1382, true},   // 1376
    };
    bike_state& b = standing_bike(0);
    for (const limit_case& c : cases) {
        reset_bike(b);
        const int tic = 10000;
        b.airborne_tic = tic - (int)std::lround((c.air + c.since_landing) * 128);
        b.landed_tic = tic - (int)std::lround(c.since_landing * 128);
        dBodyID rider = b.bodies[body_rider];
        dBodySetLinearVel(rider, c.relative_speed, 0, 0);
        // The velocity four tics ago, for the felt acceleration.
        float* before = b.rider_velocity_history[tic & 3];
        before[0] = (float)c.relative_speed;
        before[1] = (float)(-(c.felt - 32) / 32);
        before[2] = 0;
        crash_check(b, tic);
        EXPECT_EQ(rider_is_down(b), c.thrown) << c.air << " s air, " << c.relative_speed << " ft/s, " << c.felt;
        // The check leaves this tic's velocity for the one four tics on.
        EXPECT_FLOAT_EQ(b.rider_velocity_history[tic & 3][0], (float)c.relative_speed);
    }

    // Never in arcade physics, and never just after a hit from another
    // bike's front end.
    b.arcade = true;
    reset_bike(b);
    dBodySetLinearVel(b.bodies[body_rider], 80, 0, 0);
    crash_check(b, 500);
    EXPECT_FALSE(rider_is_down(b));
    b.arcade = false;
    reset_bike(b);
    b.collision_timer = -10;
    dBodySetLinearVel(b.bodies[body_rider], 80, 0, 0);
    crash_check(b, 500);
    crash(b);
    EXPECT_FALSE(rider_is_down(b));
}

// A crash at rest: the rider falls off, lies still for the knocked-out
// time, is pulled back onto the seat and rides on with the frame. The feet
// stay above the ground and within a leg's reach of the hips throughout.
TEST_F(crash_fixture, KnockedOutThenPulledBackOntoTheSeat) {
    bike_state& b = standing_bike(0);
    const rider_geometry& g = bike_model(b).rider;
    crash(b);
    ASSERT_TRUE(rider_is_down(b));
    EXPECT_EQ(b.crash_count, 1);
    EXPECT_EQ(b.crash_countdown, 512);
    int tics = 0, still = 0;
    double leg = g.thigh_length + g.shin_length, farthest = 0;
    const bike_info& info = bike_model(b);
    dvec3 seat = {info.rider_position[0] - info.frame_position[0], info.rider_position[1] - info.frame_position[1],
                  info.rider_position[2] - info.frame_position[2]};
    while (rider_is_down(b) && tics < 20 * 128) {
        ride();
        tics++;
        still += length(body_vel(b.bodies[body_rider])) < 2;
        farthest = std::max(farthest, length(position(b, body_rider) - body_point(b.bodies[body_frame], seat)));
        for (const foot_state* f : {&b.foot_left, &b.foot_right}) {
            dvec3 p = {f->position[0], f->position[1], f->position[2]};
            EXPECT_GE(p.y - height_at((float)p.x, (float)p.z), 0.25 - 1e-4) << tics;
            const float* hip = f == &b.foot_left ? g.hip_left : g.hip_right;
            dvec3 h = body_point(b.bodies[body_rider], {hip[0], hip[1], hip[2]});
            EXPECT_LE(length(p - h), leg + 0.3) << tics;  // moved back at once, drawn a tic later
        }
    }
    ASSERT_FALSE(rider_is_down(b)) << "still down after " << tics << " tics";
    EXPECT_GE(still, 512);
    // It came right off the seat, and back on it rides with the frame.
    EXPECT_GT(farthest, 1.5);
    for (int t = 0; t < 256; t++) ride();
    EXPECT_LT(length(position(b, body_rider) - body_point(b.bodies[body_frame], seat)), 1.0);
    EXPECT_FALSE(rider_is_down(b));

    // A knockout table from a server lengthens the time by the crash count.
    const int table[] = {0, 300};
    set_knockout_table(table, 2);
    crash(b);
    EXPECT_EQ(b.crash_countdown, 512 + 300);
    // While it tumbles, the clock does not run.
    dBodySetLinearVel(b.bodies[body_rider], 3, 0, 0);
    crash_step(b);
    EXPECT_EQ(b.crash_countdown, 512 + 300);
    dBodySetLinearVel(b.bodies[body_rider], 0.5, 0, 0);
    crash_step(b);
    EXPECT_EQ(b.crash_countdown, 512 + 299);
    // The controls read as nothing while down.
    input[throttle_control] = 1;
    ride();
    EXPECT_EQ(b.controls.throttle, 0);
    reset_bike(b);
    EXPECT_FALSE(rider_is_down(b));
    EXPECT_EQ(b.crash_count, 0);
}

// Degenerate places stay finite: a foot exactly at its hip, a rider at the
// seat with the return ropes at zero length.
TEST_F(crash_fixture, DegeneratePlacesStayFinite) {
    bike_state& b = standing_bike(0);
    const rider_geometry& g = bike_model(b).rider;
    crash(b);
    dvec3 hip = body_point(b.bodies[body_rider], {g.hip_left[0], g.hip_left[1], g.hip_left[2]});
    for (int k = 0; k < 3; k++) b.foot_left.position[k] = (float)(k == 0 ? hip.x : k == 1 ? hip.y : hip.z);
    b.crash_countdown = 100;  // the ropes are at their shortest
    feet_step(b);
    crash_step(b);
    for (const foot_state* f : {&b.foot_left, &b.foot_right})
        for (int k = 0; k < 3; k++) EXPECT_TRUE(std::isfinite(f->position[k]) && std::isfinite(f->velocity[k]));
    ASSERT_TRUE(bike_world_step());
    EXPECT_TRUE(bike_state_finite(b));
}

// The same crash twice is the same crash, bit for bit.
TEST_F(crash_fixture, TheSameCrashTwiceIsBitIdentical) {
    auto run = [&]() {
        // Each run in a world of its own, as a replay would be.
        bike_world_free();
        EXPECT_TRUE(bike_world_init());
        setup.arcade = 0;
        bike = place_bike(0, 256, 256, 0.7);
        tic = 0;
        roll_along(*bike, 30);
        for (int t = 0; t < 64; t++) ride();
        crash(*bike);
        for (int t = 0; t < 700; t++) ride();
        std::vector<double> state;
        for (dBodyID body : bike->bodies)
            for (const dReal* v : {dBodyGetPosition(body), dBodyGetLinearVel(body), dBodyGetQuaternion(body)})
                state.insert(state.end(), v, v + 3);
        for (const foot_state* f : {&bike->foot_left, &bike->foot_right}) state.insert(state.end(), f->position, f->position + 3);
        state.push_back(bike->crash_countdown);
        return state;
    };
    std::vector<double> first = run(), second = run();
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(double)), 0);
    for (double v : first) EXPECT_TRUE(std::isfinite(v));
}

}  // namespace
