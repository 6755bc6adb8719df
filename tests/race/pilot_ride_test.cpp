// Whole laps of the default track ridden by the test kit's pilot through
// the real race tic: through every gate, over every jump, and never down.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "bike/rider_control.h"
#include "rabbit_hill_fixture.h"
#include "testkit/pilot.h"
#include "track/height_field.h"

namespace {

struct lap_ride {
    int laps = 0;
    bool fell = false;
    int fell_at_position = -1;
    int tics = 0;
    int longest_air_tics = 0;
    int skipped_gates = 0;
    int crashes = 0;  // times the rider came off
    std::vector<float> lap_seconds;
};

// The pilot rides `laps` laps from the grid place of `slot`; the ride ends
// early when the bike goes down (its up axis more than 60° from vertical).
lap_ride ride_laps(int slot, int laps) {
    lap_ride out;
    race_setup s;
    slot_kind_list list{};
    list[(size_t)slot] = slot_kind_human;
    s.slot_kinds = list;
    s.laps = laps;
    // Each ride as from a fresh start: a reset seeds the race's dice from
    // the clock the race before it left.
    clear_race_state();
    if (!reset_race(s) || !bike_in_slot(slot)) return out;
    const bike_state& b = *bike_in_slot(slot);
    while (race.tic <= race.gate_drop_tic) {
        set_bike_controls(slot, control_values{});
        simulate_tic();
    }
    pilot_state pilot;
    int air = 0;
    for (int t = 0; t < 5 * 60 * tics_per_second && laps_completed(slot) < laps; t++) {
        pilot_view view = view_of(slot);
        pilot_command cmd = pilot_step(view, pilot);
        control_values c = pilot_controls(cmd);
        set_bike_controls(slot, c);
        simulate_tic();
        out.tics++;
        air = !wheel_touches(b.front_contact) && !wheel_touches(b.rear_contact) ? air + 1 : 0;
        out.longest_air_tics = std::max(out.longest_air_tics, air);
        double r[9];
        get_body_rotation(b, body_frame, r);
        if (r[4] < 0.5) {
            out.fell = true;
            out.fell_at_position = race_slots[(size_t)slot].timing.gates_passed;
            break;
        }
    }
    out.laps = laps_completed(slot);
    out.crashes = b.crash_count;
    for (int k = 1; k <= out.laps; k++) out.lap_seconds.push_back(lap_time(slot, k));
    for (int tic : race_slots[(size_t)slot].timing.gate_tics) out.skipped_gates += tic < 0;
    return out;
}

struct pilot_ride : rabbit_hill, ::testing::WithParamInterface<int> {
    bike_setup saved = player_setup;
    void TearDown() override {
        player_setup = saved;
        rabbit_hill::TearDown();
    }
    static void report(const char* mode, int slot, const lap_ride& ride) {
        std::printf("%s, slot %d: %d laps in %.1f s (laps", mode, slot, ride.laps, ride.tics / 128.0);
        for (float s : ride.lap_seconds) std::printf(" %.2f s", s);
        std::printf("), longest air %.2f s", ride.longest_air_tics / 128.0);
        if (ride.fell) std::printf(", down before sequence position %d", ride.fell_at_position);
        std::printf("\n");
    }
};

// Arcade physics, from the grid's first place and from one further back
// and to the side.
TEST_P(pilot_ride, TwoArcadeLapsOfRabbitHillWithoutFalling) {
    int slot = GetParam();
    player_setup.arcade = 1;
    lap_ride ride = ride_laps(slot, 2);
    report("arcade", slot, ride);
    EXPECT_FALSE(ride.fell) << "down before sequence position " << ride.fell_at_position;
    EXPECT_EQ(ride.laps, 2);
    EXPECT_EQ(ride.skipped_gates, 0);
    EXPECT_EQ(ride.crashes, 0);
    // Over the big jump, not round it.
    EXPECT_GT(ride.longest_air_tics, 96);
    for (float s : ride.lap_seconds) {
        EXPECT_GT(s, 30);
        EXPECT_LT(s, 90);
    }
}

INSTANTIATE_TEST_SUITE_P(slots, pilot_ride, ::testing::Values(0, 9),
                         [](const ::testing::TestParamInfo<int>& info) { return "Slot" + std::to_string(info.param); });

// Simulation physics has no aid against pitching: off a lip, over rollers
// and through whoops the pilot rides on the edge, and whether a ride
// survives depends on small differences in how it arrives. From every
// place of the first two grid rows it rides two laps; a fair share of them
// must come home, each over the big jump.
TEST_F(rabbit_hill, SimulationLapsFromAcrossTheGrid) {
    bike_setup saved = player_setup;
    player_setup.arcade = 0;
    int completed = 0;
    for (int slot = 0; slot < 16; slot++) {
        lap_ride ride = ride_laps(slot, 2);
        pilot_ride::report("simulation", slot, ride);
        if (ride.laps < 2 || ride.fell) continue;
        completed++;
        EXPECT_EQ(ride.skipped_gates, 0) << "slot " << slot;
        EXPECT_EQ(ride.crashes, 0) << "slot " << slot;
        EXPECT_GT(ride.longest_air_tics, 96) << "slot " << slot;
    }
    player_setup = saved;
    EXPECT_GE(completed, 4);
}


// The second generated track, Sandpit Bottoms: tight sand corners, a rhythm
// section and small jumps, two arcade laps from the front row and the
// second, through every gate and never down.
TEST_F(rabbit_hill, ArcadeLapsOfSandpitBottoms) {
    bike_setup saved = player_setup;
    player_setup.arcade = 1;
    settings.track = "sandpit";
    for (int slot : {0, 9}) {
        lap_ride ride = ride_laps(slot, 2);
        pilot_ride::report("sandpit, arcade", slot, ride);
        EXPECT_FALSE(ride.fell) << "slot " << slot << " down before sequence position " << ride.fell_at_position;
        EXPECT_EQ(ride.laps, 2) << "slot " << slot;
        EXPECT_EQ(ride.skipped_gates, 0) << "slot " << slot;
        for (float s : ride.lap_seconds) {
            EXPECT_GT(s, 20);
            EXPECT_LT(s, 80);
        }
    }
    player_setup = saved;
}

}  // namespace
