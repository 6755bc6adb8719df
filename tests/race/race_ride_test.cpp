// Races on the default track from the built archive: the reset, the grid,
// the starting gate, free riding, and a ride that repeats bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/rider_parts.h"
#include "bike/solid_objects.h"
#include "core/config.h"
#include "race/race.h"
#include "race/race_tic.h"
#include "render/model.h"
#include "render/shape_file.h"
#include "render/texture.h"
#include "testkit/built_data.h"
#include "testkit/testkit.h"
#include "track/height_field.h"
#include "track/objects_race.h"
#include "track/objects_statues.h"
#include "track/track.h"
#include "vfs/vfs.h"

#include "rabbit_hill_fixture.h"

namespace {

TEST_F(rabbit_hill, ResetFillsTheGridBehindTheGate) {
    ASSERT_TRUE(reset_race(lineup({slot_kind_human, slot_kind_robot, slot_kind_human, slot_kind_robot_2stroke})));
    ASSERT_TRUE(timing_active());
    EXPECT_EQ(race.tic, 0);
    EXPECT_GE(race.gate_drop_tic, 13 * 128);
    EXPECT_LT(race.gate_drop_tic, 15 * 128);
    EXPECT_EQ(race.race_laps, 3);
    EXPECT_EQ(race.halfway_lap, 2);
    EXPECT_EQ(race.viewed_slot, 0);
    // The second human's slot stays empty.
    EXPECT_NE(bike_in_slot(0), nullptr);
    EXPECT_NE(bike_in_slot(1), nullptr);
    EXPECT_EQ(bike_in_slot(2), nullptr);
    EXPECT_NE(bike_in_slot(3), nullptr);
    EXPECT_EQ(race_slots[0].type, local_slot);
    EXPECT_EQ(race_slots[1].type, robot_slot);
    EXPECT_EQ(running_order().size(), 3u);
    ASSERT_GE(track_timing().starts.size(), 16u);
    ASSERT_EQ(gate_pieces().size(), track_timing().starts.size());

    for (int s : {0, 1, 3}) {
        bike_state& b = *bike_in_slot(s);
        // Resting just clear of the ground.
        EXPECT_FALSE(bike_touches_anything(b)) << s;
        translate_bike(b, 0, -0.25, 0);
        EXPECT_TRUE(bike_touches_anything(b)) << s;
        translate_bike(b, 0, 0.25, 0);
        // Behind its own start position, facing the gate.
        grid_place g = start_grid_place(s);
        std::array<double, 3> f = frame(s);
        EXPECT_LT(std::hypot(f[0] - g.x, f[2] - g.z), 4) << s;
    }
    // The slot's piece stands ahead of it.
    const statue& piece = track_statues()[(size_t)gate_pieces()[0].statue];
    const start_gate_position& start = track_timing().starts[0];
    EXPECT_NEAR(piece.x, start.position[0] - 3 * std::sin(start.angle), 1e-3);
    EXPECT_NEAR(piece.z, start.position[2] - 3 * std::cos(start.angle), 1e-3);

    // A reset without any rider still races: a robot takes slot 0.
    ASSERT_TRUE(reset_race(lineup({})));
    EXPECT_EQ(race_slots[0].type, robot_slot);
    EXPECT_NE(bike_in_slot(0), nullptr);
}

TEST_F(rabbit_hill, GateFallsAfterTheDrop) {
    ASSERT_TRUE(reset_race(lineup({slot_kind_human})));
    gate_piece& piece = gate_pieces()[5];
    std::array<float, 9> standing = track_statues()[(size_t)piece.statue].orientation;
    while (race.tic <= race.gate_drop_tic) simulate_tic();
    EXPECT_EQ(piece.raise, 1.0f);
    for (int i = 0; i < 20; i++) simulate_tic();
    EXPECT_LT(piece.raise, 1.0f);
    EXPECT_GT(piece.raise, 0.0f);
    // A bike leaning on it stops the fall where it is.
    float held = piece.raise;
    touch_statue(piece.statue, race.tic);
    move_starting_gate();
    EXPECT_EQ(piece.raise, held);
    EXPECT_EQ(piece.speed, 0.0f);
    for (int i = 0; i < 3 * 128; i++) simulate_tic();
    EXPECT_EQ(piece.raise, 0.0f);
    EXPECT_NE(track_statues()[(size_t)piece.statue].orientation, standing);
}

TEST_F(rabbit_hill, FreeRidingStartsThreeGatesBeforeTheLine) {
    race_setup s;
    s.laps = 1000;
    ASSERT_TRUE(reset_race(s));
    EXPECT_TRUE(race.free_riding);
    EXPECT_EQ(race.tic, free_riding_start_tic);
    int F = first_lap_length();
    int p = F - 3;
    EXPECT_EQ(race_slots[0].timing.gates_passed, p);
    const timing_gate& g = track_timing().gates[(size_t)gate_of_sequence_position(p)];
    std::array<double, 3> f = frame(0);
    EXPECT_LT(std::hypot(f[0] - g.centre[0], f[2] - g.centre[2]), 4);
    // The gate it stands in is credited at once.
    simulate_tic();
    EXPECT_EQ(race_slots[0].timing.gates_passed, p + 1);
    EXPECT_EQ(laps_completed(0), 0);
}

// 30 s of scripted riding: wait for the gate, then throttle with a
// weaving steer. Returns every body's state of every bike, in order.
std::vector<double> ride_thirty_seconds(std::vector<int> kinds) {
    clear_race_state();
    race_setup s;
    slot_kind_list list{};
    for (size_t i = 0; i < kinds.size(); i++) list[i] = kinds[i];
    s.slot_kinds = list;
    s.laps = 3;
    EXPECT_TRUE(reset_race(s));
    for (int t = 0; t < 30 * 128; t++) {
        control_values c{};
        if (race.tic > race.gate_drop_tic + 64) {
            c[throttle_control] = 0.8;
            c[steer_control] = 0.1 * std::sin(t / 200.0);
        }
        set_bike_controls(0, c);
        simulate_tic();
    }
    std::vector<double> out;
    for (int slot = 0; slot < race_slot_count; slot++) {
        bike_state* b = bike_in_slot(slot);
        if (!b) continue;
        for (dBodyID body : b->bodies) {
            for (const dReal* v : {dBodyGetPosition(body), dBodyGetLinearVel(body), dBodyGetAngularVel(body)})
                out.insert(out.end(), v, v + 3);
            const dReal* q = dBodyGetQuaternion(body);
            out.insert(out.end(), q, q + 4);
        }
        out.push_back(b->engine_speed);
        out.push_back(race_slots[(size_t)slot].timing.gates_passed);
    }
    return out;
}

TEST_F(rabbit_hill, RideRepeatsBitForBit) {
    std::vector<int> kinds = {slot_kind_human, slot_kind_robot, slot_kind_robot};
    std::vector<double> first = ride_thirty_seconds(kinds);
    // The rider went somewhere under its own power.
    std::array<double, 3> end = frame(0);
    const float* start = race_slots[0].start_point;
    EXPECT_GT(std::hypot(end[0] - start[0], end[2] - start[2]), 50);

    std::vector<double> second = ride_thirty_seconds(kinds);
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(double)), 0);
}

TEST_F(rabbit_hill, DropOffTheFieldStaysBounded) {
    ASSERT_TRUE(reset_race(lineup({slot_kind_human})));
    bike_state& b = *bike_in_slot(0);
    // Beyond the corner the ground sample is the corner's.
    reset_bike(b);
    drop_bike(b, -300, 1e5f, 0.5f);
    std::array<double, 3> f = frame(0);
    EXPECT_TRUE(std::isfinite(f[1]));
    EXPECT_NEAR(f[0], -300, 1e-6);
    EXPECT_LT(std::fabs(f[1] - sample_height(0, terrain.samples_per_side - 1)), 10);
    // Nowhere to stand: the drop gives up instead of climbing for ever.
    reset_bike(b);
    drop_bike(b, NAN, 100, NAN);
    EXPECT_TRUE(std::isfinite(frame(0)[1]));
}

TEST_F(rabbit_hill, TicWithoutBikesIsHarmless) {
    ASSERT_TRUE(reset_race(lineup({slot_kind_human})));
    free_race_bikes();
    int tic = race.tic;
    simulate_tic();
    EXPECT_EQ(race.tic, tic + 1);
    EXPECT_TRUE(running_order().empty());
}

}  // namespace
