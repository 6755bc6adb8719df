// The compact state: what the encoder writes for known poses, that a state
// applied to a bike encodes back to the same bytes, the interpolation's
// wraps and hemispheres, and both ways a state drives a bike.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/compact_state.h"
#include "bike/rider_control.h"
#include "ground_fixture.h"

namespace {

constexpr double pi = 3.14159265358979323846;

struct compact_state_test : ::testing::Test {
    bike_state* bike = nullptr;
    void SetUp() override {
        ASSERT_TRUE(bike_world_init());
        make_flat_field(5, 2, 0);  // 128 ft square, height 0
        bike = create_bike("cr125", 0, false, bike_setup{});
        ASSERT_NE(bike, nullptr);
    }
    void TearDown() override {
        bike_world_free();
        free_height_field();
    }
    static uint32_t u24(const compact_state& s, int at) { return s[at] | s[at + 1] << 8 | s[at + 2] << 16; }
    static int u16(const compact_state& s, int at) { return s[at] | s[at + 1] << 8; }
};

TEST_F(compact_state_test, KnownPosesEncodeAsTheFormatSays) {
    // The rest pose: straight steering (0 encodes 128, not 127), the
    // suspension fully extended, the rider seated, first gear, engine off.
    compact_state s = encode_state(*bike);
    EXPECT_EQ(s[17], 128);
    EXPECT_EQ(s[18], 255);
    EXPECT_EQ(s[19], 255);
    EXPECT_EQ(s[36], 0);
    EXPECT_EQ(u16(s, 37), 0);

    // The frame at the field's far edge, and beyond its near one.
    double p[3];
    get_body_position(*bike, body_frame, p);
    translate_bike(*bike, terrain.extent - p[0], 0, -3 - p[2]);
    s = encode_state(*bike);
    EXPECT_EQ(u24(s, 0), 16777215u);
    EXPECT_EQ(u24(s, 6), 0u);

    // A rider knocked out for 512 tics: 15 in the high bits, 7 in the low.
    bike->crash_countdown = 512;
    EXPECT_EQ(encode_state(*bike)[36], 0xF7);
    bike->crash_countdown = 0;
    bike->gear = 3;
    bike->controls.throttle = 7 / 15.0f;
    bike->controls.dab_blend = 0.25f;
    EXPECT_EQ(encode_state(*bike)[36], 3 | 8 | 7 << 4);
}

TEST_F(compact_state_test, AppliedStatesEncodeBackToTheSameBytes) {
    deactivate_bike(*bike);
    std::mt19937 dice(1234);
    auto byte = [&] { return (uint8_t)(dice() & 255); };
    for (int round = 0; round < 300; round++) {
        compact_state r;
        for (uint8_t& b : r) b = byte();
        r[5] = (uint8_t)(r[5] | 0x80);  // well above the ground: no lift
        // A gear the model has, or the rider down (which has no dab bit).
        int low = round % 8;
        if (low == 7)
            r[36] = (uint8_t)((r[36] & 0xF0) | 7);
        else
            r[36] = (uint8_t)((r[36] & 0xF8) | valid_gear(bike_model(*bike), std::min(low, 5)));
        if (round % 7 == 0) r[34] = r[35] = 255;  // wheels at +π

        apply_state(*bike, r, r, r, 4);
        compact_state once = encode_state(*bike);
        apply_state(*bike, once, once, once, 4);
        compact_state twice = encode_state(*bike);
        ASSERT_EQ(once, twice) << "round " << round;

        // Everything comes back as it went in, but for the quaternions (made
        // unit length, then possibly a neighbouring code) and the wheel
        // angles (+π is written as -π).
        for (int at = 0; at < compact_state_bytes; at++) {
            if ((at >= 9 && at < 17) || (at >= 26 && at < 34)) continue;
            if (at == 34 || at == 35)
                EXPECT_EQ(once[at], r[at] == 255 ? 0 : r[at]) << round;
            else
                EXPECT_EQ(once[at], r[at]) << round << " at " << at;
        }
        for (int q : {9, 26}) {
            double in[4], out[4], length = 0;
            for (int k = 0; k < 4; k++) {
                in[k] = u16(r, q + 2 * k) / 65535.0 * 2 - 1;
                out[k] = u16(once, q + 2 * k) / 65535.0 * 2 - 1;
                length += in[k] * in[k];
            }
            for (int k = 0; k < 4; k++) EXPECT_NEAR(out[k], in[k] / std::sqrt(length), 4e-5) << round << " at " << q;
        }
        EXPECT_EQ(rider_on_bike(*bike), (r[36] & 7) != 7) << round;
    }
}

TEST_F(compact_state_test, InterpolationWrapsWheelsAndKeepsTheHemisphere) {
    deactivate_bike(*bike);
    translate_bike(*bike, 40, 20, 60);
    compact_state a = encode_state(*bike);
    // Identical states give the same bytes at any fraction.
    for (double t : {0.0, 0.25, 1.0, 1.5}) EXPECT_EQ(interpolate_state(a, a, t), a) << t;

    // Wheel fractions 0.95 and 0.05 meet at 0 going forward, not at 0.5.
    compact_state b = a;
    a[34] = (uint8_t)std::lround(0.95 * 255);
    b[34] = (uint8_t)std::lround(0.05 * 255);
    EXPECT_EQ(interpolate_state(a, b, 0.5)[34], 0);
    a[34] = b[34] = 100;

    // The same orientation written with the other sign: the halfway state
    // is that orientation, not a turn through the other hemisphere.
    for (int at = 9; at < 17; at += 2) {
        int v = u16(a, at), flipped = 65535 - v;
        b[at] = (uint8_t)flipped;
        b[at + 1] = (uint8_t)(flipped >> 8);
    }
    compact_state half = interpolate_state(a, b, 0.5);
    for (int at = 9; at < 17; at += 2) EXPECT_LE(std::abs(u16(half, at) - u16(a, at)), 1) << at;

    // Positions run on past the newer state; the status is the older one's.
    b = a;
    uint32_t x = u24(a, 0) + 1000;
    b[0] = (uint8_t)x, b[1] = (uint8_t)(x >> 8), b[2] = (uint8_t)(x >> 16);
    b[36] = 0x75;
    compact_state ahead = interpolate_state(a, b, 1.5);
    EXPECT_EQ(u24(ahead, 0), u24(a, 0) + 1500);
    EXPECT_EQ(ahead[36], a[36]);
    // Version 4 states are never interpolated.
    EXPECT_EQ(interpolate_state(a, b, 0.5, compact_state_v4), a);
}

TEST_F(compact_state_test, RebuiltBikeMovesBetweenItsStates) {
    deactivate_bike(*bike);
    translate_bike(*bike, 40, 20, 60);
    compact_state older = encode_state(*bike);
    translate_bike(*bike, 0, 0, -2);
    compact_state newer = encode_state(*bike);
    apply_state(*bike, newer, older, newer, 4);
    double v[3];
    get_body_velocity(*bike, body_rear_wheel, v);
    EXPECT_NEAR(v[2], -2 / (4 / 128.0), 0.01);  // 2 ft in 4 tics
    EXPECT_NEAR(v[0], 0, 1e-6);

    // A version-4 state puts the rider on its slide, turned with the frame.
    compact_state old_layout{};
    std::copy(newer.begin(), newer.begin() + 20, old_layout.begin());
    old_layout[20] = 0;
    apply_state(*bike, old_layout, old_layout, old_layout, 1, compact_state_v4);
    const bike_info& info = bike_model(*bike);
    double f[3], r[3], qf[4], qr[4];
    get_body_position(*bike, body_frame, f);
    get_body_position(*bike, body_rider, r);
    double n = std::sqrt(info.rider_slide_axis[0] * info.rider_slide_axis[0] +
                         info.rider_slide_axis[1] * info.rider_slide_axis[1] +
                         info.rider_slide_axis[2] * info.rider_slide_axis[2]);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(r[k] - f[k],
                    info.rider_position[k] - info.frame_position[k] +
                        info.rider_slide_axis[k] / n * info.rider_slide_min,
                    1e-3);
    get_body_quaternion(*bike, body_frame, qf);
    get_body_quaternion(*bike, body_rider, qr);
    for (int k = 0; k < 4; k++) EXPECT_NEAR(qf[k], qr[k], 1e-9);
}

TEST_F(compact_state_test, SimulatedBikeIsPulledTowardTheState) {
    // Without gravity the pull is all that moves the bike.
    dWorldSetGravity(bike_world(), 0, 0, 0);
    translate_bike(*bike, 40, 20, 60);
    translate_bike(*bike, 3, 0, 0);
    compact_state target = encode_state(*bike);
    translate_bike(*bike, -3, 0, 0);
    bike->activity = 0.4f;  // simulated, and pulled hard
    double before[3], after[3];
    get_body_position(*bike, body_frame, before);
    for (int i = 0; i < 256; i++) {
        apply_state(*bike, target, target, target, 4);
        ASSERT_TRUE(bike_world_step());
    }
    get_body_position(*bike, body_frame, after);
    EXPECT_NEAR(after[0], before[0] + 3, 0.3);
    EXPECT_NEAR(after[2], before[2], 0.3);

    // A state with the rider down lets the rider go; one with the rider on
    // puts it back on its mount.
    compact_state down = target;
    down[36] = 0xF7;
    apply_state(*bike, down, target, target, 4);
    EXPECT_GT(bike->crash_countdown, 0);
    EXPECT_EQ(dJointGetBody(bike->joints[joint_rider_mount], 0), nullptr);
    EXPECT_EQ(bike->controls.throttle, 0);
    compact_state up = target;
    up[36] = 2 | 15 << 4;
    apply_state(*bike, up, target, target, 4);
    EXPECT_EQ(bike->crash_countdown, 0);
    EXPECT_EQ(dJointGetBody(bike->joints[joint_rider_mount], 0), bike->bodies[body_rider]);
    EXPECT_EQ(bike->gear, valid_gear(bike_model(*bike), 2));
    EXPECT_FLOAT_EQ(bike->controls.throttle, 1);
}

}  // namespace
