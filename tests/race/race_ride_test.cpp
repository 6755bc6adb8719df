// Races on the default track from the built archive: the reset, the grid,
// the starting gate and free riding.
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
#include "race/telemetry.h"
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

// Free riding keeps the lap counts of the rider and of the lap ghost from
// before each tic.
TEST_F(rabbit_hill, FreeRidingRemembersTheLapsOfRiderAndGhost) {
    race_setup s;
    s.laps = 1000;
    ASSERT_TRUE(reset_race(s));
    int F = first_lap_length();
    // The ghost in slot 1 has finished its first lap.
    for (int p = 0; p < F; p++) ASSERT_TRUE(set_gate_tic(1, p, race.tic - F + p));
    truncate_gates(1, F);
    ASSERT_EQ(laps_completed(1), 1);
    simulate_tic();
    EXPECT_EQ(free_riding_laps_before()[0], 0);
    EXPECT_EQ(free_riding_laps_before()[1], 1);
}

// With a recording on, every tic stores the viewed bike's suspension sample;
// the full ring starts again from empty.
TEST_F(rabbit_hill, TelemetryRecordsTheViewedBikeEveryTic) {
    ASSERT_TRUE(reset_race(lineup({slot_kind_human, slot_kind_robot})));
    clear_telemetry();
    simulate_tic();
    EXPECT_EQ(race_telemetry.count, 0);  // off
    set_telemetry_recording(true);
    race.viewed_slot = 1;
    for (int t = 0; t < 10; t++) simulate_tic();
    ASSERT_EQ(race_telemetry.count, 10);
    suspension_sample now = suspension_telemetry(*bike_in_slot(1));
    EXPECT_EQ(std::memcmp(&race_telemetry.samples[9], &now, sizeof now), 0);
    for (int t = 10; t < telemetry_ring_size + 3; t++) simulate_tic();
    EXPECT_EQ(race_telemetry.count, 3);
    // No bike in the viewed slot: nothing to store.
    race.viewed_slot = 7;
    simulate_tic();
    EXPECT_EQ(race_telemetry.count, 3);
    set_telemetry_recording(false);
    clear_telemetry();
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
