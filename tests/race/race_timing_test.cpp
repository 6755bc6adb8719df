// Gates, laps, finishing, the running order and the cutting charge, with
// scripted test points and no physics.
#include <gtest/gtest.h>

#include "race/race.h"
#include "race/race_tic.h"
#include "testkit/testkit.h"

namespace {

// Five gates in a line along -z, 20 ft apart; both laps run 0..4 unless a
// test asks otherwise.
struct timing_fixture : ::testing::Test {
    vfs_sandbox box;  // a race that ends writes its results file here
    void SetUp() override {
        clear_race_state();
        set_track_timing(line_of_gates({0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}));
        race.gate_drop_tic = 100;
        race.race_laps = race.extra_laps = 100;
    }
    void TearDown() override {
        clear_race_state();
        set_track_timing(timing_data{});
    }

    static timing_data line_of_gates(std::vector<int> first, std::vector<int> normal) {
        timing_data d;
        for (int k = 0; k < 5; k++) {
            timing_gate g;
            g.radius = 5;
            g.centre[0] = 0;
            g.centre[2] = 100.0f - 20.0f * (float)k;
            g.direction[2] = -1;
            d.gates.push_back(g);
        }
        d.first_lap = std::move(first);
        d.normal_lap = std::move(normal);
        d.active = timing_lists_valid(5, d.first_lap, d.normal_lap);
        return d;
    }
    // Robots: never exempt, so a race stays open until they finish.
    static void rider(int slot) {
        race_slots[(size_t)slot].has_rider = true;
        race_slots[(size_t)slot].type = robot_slot;
    }
    // The test point just past gate g's centre at this tic.
    static void cross(int slot, int gate, int tic) {
        race.tic = tic;
        const timing_gate& g = track_timing().gates[(size_t)gate];
        float p[3] = {g.centre[0] + 0.5f, 0, g.centre[2] - 0.5f};
        gate_check(slot, p);
    }
    // A whole lap (gates 0..4) from tic `start`, one gate every `step` tics.
    static void lap(int slot, int start, int step) {
        for (int g = 0; g < 5; g++) cross(slot, g, start + g * step);
    }
    static const slot_timing& timing(int slot) { return race_slots[(size_t)slot].timing; }
};

TEST_F(timing_fixture, SkippedGateIsStoredAndCanBeTakenBack) {
    rider(0);
    cross(0, 0, 200);
    cross(0, 1, 210);
    cross(0, 2, 220);
    cross(0, 4, 240);  // 3 cut
    EXPECT_EQ(timing(0).gates_passed, 5);
    ASSERT_EQ(timing(0).gate_tics.size(), 5u);
    EXPECT_EQ(timing(0).gate_tics[3], -1);
    EXPECT_EQ(timing(0).gate_tics[4], 240);
    EXPECT_EQ(laps_completed(0), 1);

    // Going back through the missed gate credits it again.
    cross(0, 3, 260);
    EXPECT_EQ(timing(0).gates_passed, 4);
    EXPECT_EQ(timing(0).gate_tics[3], 260);

    // A gate behind the rider that was passed properly is ignored.
    cross(0, 2, 270);
    EXPECT_EQ(timing(0).gates_passed, 4);
    // Passing outside the radius, or the wrong way round, counts for nothing.
    race.tic = 280;
    float wide[3] = {6, 0, 20 - 1};
    gate_check(0, wide);
    float before[3] = {0, 0, 20 + 1};
    gate_check(0, before);
    EXPECT_EQ(timing(0).gates_passed, 4);
}

TEST_F(timing_fixture, FinishLineCannotBeSkipped) {
    rider(0);
    for (int g = 0; g < 4; g++) cross(0, g, 200 + 10 * g);
    ASSERT_EQ(timing(0).gates_passed, 4);
    // Positions 5 and 6 are gates 0 and 1 of lap 2: not before the line.
    cross(0, 0, 300);
    cross(0, 1, 310);
    EXPECT_EQ(timing(0).gates_passed, 4);
    EXPECT_EQ(laps_completed(0), 0);
    cross(0, 4, 320);
    EXPECT_EQ(laps_completed(0), 1);
    EXPECT_EQ(gate_in_lap(0), 1);
    cross(0, 0, 330);
    EXPECT_EQ(timing(0).gates_passed, 6);
    EXPECT_EQ(gate_in_lap(0), 2);
}

TEST_F(timing_fixture, LapTimesCountLapOneFromTheDrop) {
    rider(0);
    lap(0, 1000, 10);   // finish line at 1040
    lap(0, 1100, 20);   // lap 2 ends at 1180
    lap(0, 1200, 5);    // lap 3 ends at 1220
    EXPECT_FLOAT_EQ(lap_time(0, 1), (1040 - 100) / 128.0f);
    EXPECT_FLOAT_EQ(lap_time(0, 2), 140 / 128.0f);
    EXPECT_FLOAT_EQ(lap_time(0, 3), 40 / 128.0f);
    EXPECT_FLOAT_EQ(lap_time(0, -1), 40 / 128.0f);
    EXPECT_EQ(lap_time(0, 4), 0);
    EXPECT_EQ(lap_time(0, 0), 0);
    EXPECT_EQ(best_lap_tics(0), 40);
}

TEST_F(timing_fixture, TooShortListsMeanNoTiming) {
    set_track_timing(line_of_gates({0, 1}, {0, 1, 2}));
    EXPECT_FALSE(timing_active());
    rider(0);
    race.race_laps = 1;
    lap(0, 200, 10);
    EXPECT_EQ(timing(0).gates_passed, 0);
    EXPECT_EQ(laps_completed(0), 0);
    EXPECT_FALSE(is_finished(0));
}

TEST_F(timing_fixture, LapRaceFinishesEveryoneAfterTheLeader) {
    race.race_laps = race.extra_laps = 3;
    rider(0);
    rider(1);
    // Rider 0 laps rider 1.
    lap(0, 200, 10);
    lap(1, 210, 10);
    lap(0, 300, 10);
    lap(0, 400, 10);
    EXPECT_EQ(laps_completed(0), 3);
    EXPECT_TRUE(timing(0).finished);
    EXPECT_FALSE(is_finished(1));
    EXPECT_EQ(running_order().front().slot, 0);
    // The rider one lap down finishes at its next finish line.
    for (int g = 0; g < 4; g++) cross(1, g, 500 + g);
    EXPECT_FALSE(is_finished(1));
    cross(1, 4, 510);
    EXPECT_TRUE(is_finished(1));
    EXPECT_EQ(laps_completed(1), 2);
    // A finished rider is no longer timed.
    cross(1, 0, 520);
    EXPECT_EQ(timing(1).gates_passed, 10);
}

TEST_F(timing_fixture, TimedRaceRunsTheLapOfTheTimeOutPlusExtraLaps) {
    // Ten minutes and two extra laps; the drop is at tic 100.
    race.race_time = 10 * 60 * 128;
    race.extra_laps = 2;
    race.race_laps = race.halfway_lap = undecided_laps;
    rider(0);
    auto when = [](int m, int s) { return 100 + (m * 60 + s) * 128; };
    // Laps every 1:30 from the drop: finish lines at 1:30, 3:00 ... 9:00,
    // then 9:50 and 11:20.
    for (int t = 90; t <= 540; t += 90) lap(0, when(0, t) - 4, 1);
    EXPECT_EQ(race.halfway_lap, 4);  // decided at the first update after 5:00
    lap(0, when(9, 50) - 4, 1);
    EXPECT_EQ(race.race_laps, undecided_laps);
    EXPECT_FALSE(timing(0).finished);
    lap(0, when(11, 20) - 4, 1);
    int completed = laps_completed(0);
    EXPECT_EQ(completed, 8);
    EXPECT_EQ(race.race_laps, completed + 2);
    lap(0, when(12, 50) - 4, 1);
    EXPECT_FALSE(timing(0).finished);
    lap(0, when(14, 20) - 4, 1);
    EXPECT_TRUE(timing(0).finished);
}

TEST_F(timing_fixture, RunningOrderKeys) {
    for (int s : {3, 5, 7, 9}) rider(s);
    cross(5, 0, 200);
    cross(7, 0, 190);
    cross(7, 1, 300);
    cross(9, 0, 200);
    update_running_order();
    std::vector<int> slots;
    for (const running_entry& e : running_order()) slots.push_back(e.slot);
    // Most gates first, then the earlier last gate, then the lower slot.
    EXPECT_EQ(slots, (std::vector<int>{7, 5, 9, 3}));
    EXPECT_EQ(running_order()[0].last_tic, 300);
    EXPECT_EQ(running_order()[3].last_tic, 0);
    // Frozen once the results are written.
    race.results_written = true;
    cross(3, 0, 400);
    cross(3, 1, 401);
    cross(3, 2, 402);
    update_running_order();
    EXPECT_EQ(running_order().front().slot, 7);
}

TEST_F(timing_fixture, CuttingIsChargedAgainstTheReference) {
    rider(0);
    // Nobody rode 2..4 whole: the reference is 60 s, plus one.
    cross(0, 0, 200);
    cross(0, 1, 300);
    cross(0, 2, 400);
    cross(0, 4, 400 + 10 * 128);
    EXPECT_EQ(section_reference_time(2, 4), 7680);
    cutting_charge c = cutting_penalty(0);
    EXPECT_EQ(c.tics, 7680 + 128 - 10 * 128);
    EXPECT_EQ(c.laps_taken, 0);

    // A rider who rode the stretch whole in 20 s sets the reference.
    rider(1);
    cross(1, 0, 200);
    cross(1, 1, 300);
    cross(1, 2, 400);
    cross(1, 3, 400 + 10 * 128);
    cross(1, 4, 400 + 20 * 128);
    EXPECT_EQ(section_reference_time(2, 4), 20 * 128);
    EXPECT_EQ(cutting_penalty(0).tics, 21 * 128 - 10 * 128);
    EXPECT_EQ(cutting_penalty(1).tics, 0);

    // A stretch slower than the reference costs nothing.
    rider(2);
    cross(2, 0, 200);
    cross(2, 1, 300);
    cross(2, 3, 300 + 30 * 128);
    EXPECT_EQ(cutting_penalty(2).tics, 0);
}

TEST_F(timing_fixture, CuttingChargeTradesForLaps) {
    rider(0);
    // Three laps of 10 s each, the cut in lap 1 worth about 61 s.
    cross(0, 0, 200);
    cross(0, 2, 201);
    cross(0, 3, 202);
    cross(0, 4, 203);
    lap(0, 203 + 2 * 128, 2 * 128);   // lap 2 ends at 203 + 10 * 128
    lap(0, 203 + 12 * 128, 2 * 128);  // lap 3 ends at 203 + 20 * 128
    ASSERT_EQ(best_lap_tics(0), 10 * 128);
    cutting_charge c = cutting_penalty(0);
    // 7680 + 128 - 1 tics: six laps' worth would go, but only two laps lie
    // beyond the first.
    EXPECT_EQ(c.laps_taken, 2);
    EXPECT_EQ(c.counted_positions, 15 - 10);
    EXPECT_EQ(c.tics, 7680 + 128 - 1 - 2 * 10 * 128);

    // Laps whose time is 0 (tics set from outside) trade nothing away.
    clear_race_state();
    set_track_timing(line_of_gates({0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}));
    rider(0);
    for (int p = 0; p < 15; p++) ASSERT_TRUE(set_gate_tic(0, p, p == 1 ? -1 : 500));
    truncate_gates(0, 15);
    ASSERT_EQ(best_lap_tics(0), 0);
    c = cutting_penalty(0);
    EXPECT_GT(c.tics, 0);
    EXPECT_EQ(c.laps_taken, 0);
    EXPECT_EQ(c.counted_positions, 15);
}

TEST_F(timing_fixture, GateTicsFromOutsideAreChecked) {
    rider(0);
    EXPECT_FALSE(set_gate_tic(0, -1, 10));
    EXPECT_FALSE(set_gate_tic(0, max_sequence_positions, 10));
    EXPECT_FALSE(set_gate_tic(-1, 0, 10));
    EXPECT_FALSE(set_gate_tic(race_slot_count, 0, 10));
    EXPECT_TRUE(timing(0).gate_tics.empty());
    EXPECT_TRUE(set_gate_tic(0, 3, 77));
    EXPECT_EQ(timing(0).gate_tics, (std::vector<int>{-1, -1, -1, 77}));
    truncate_gates(0, 4);
    EXPECT_EQ(timing(0).gates_passed, 4);
    // Cutting back clears a finish.
    race_slots[0].timing.finished = true;
    truncate_gates(0, 2);
    EXPECT_FALSE(timing(0).finished);
    EXPECT_EQ(timing(0).gate_tics.size(), 2u);
}

TEST_F(timing_fixture, OffCourseRule) {
    race.online = true;
    race.gate_drop_tic = 0;
    rider(0);
    rider(1);
    // Rider 1 leads and takes 2 s from gate 0 to gate 1.
    cross(1, 0, 1000);
    cross(1, 1, 1256);
    cross(0, 0, 1000);
    // Rider 0 needs 3 s × 1.5 + 10 s at most.
    race.tic = 1000 + 12 * 128;
    EXPECT_FALSE(off_course_at(0, 1));
    race.tic = 1000 + 13 * 128;
    EXPECT_TRUE(off_course_at(0, 1));
    // Nobody has passed position 2: nobody is off course there.
    EXPECT_FALSE(off_course_at(0, 2));
    // A stale remote never collides; off course riders do not meet riders on it.
    EXPECT_FALSE(remote_collides(1, 0, false));
    EXPECT_FALSE(remote_collides(1, 0, true));
    EXPECT_TRUE(remote_collides(0, 1, true));
}

TEST(playback_fraction, SingleStateAndExtrapolationLimit) {
    EXPECT_EQ(playback_fraction(40, 40, 40), 0.0f);
    EXPECT_EQ(playback_fraction(40, 40, 100), 0.0f);
    EXPECT_FLOAT_EQ(playback_fraction(0, 4, 1), 0.25f);
    EXPECT_FLOAT_EQ(playback_fraction(0, 4, 4), 1.0f);
    // At most 64 tics past the newest state.
    EXPECT_FLOAT_EQ(playback_fraction(0, 4, 1000), 68 / 4.0f);
}

}  // namespace
