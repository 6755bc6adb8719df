// The results table, rider panel and lapping warning texts from a race
// record built here.
#include <gtest/gtest.h>

#include "ui/race_view.h"

namespace {

hud_rider rider(int slot, const char* number, std::vector<int> tics, bool finished) {
    hud_rider r;
    r.slot = slot;
    r.number = number;
    r.gate_tics = tics;
    r.gates_passed = (int)tics.size();
    r.finished = finished;
    r.final_positions = r.gates_passed;
    r.final_tic = tics.empty() ? 0 : tics.back();
    return r;
}

// Gates 0..3; the first lap is 0, 1, 2 and every later lap 3, 0, 1, 2, so
// gate 2 is the finish line. The gate drops at tic 1000.
hud_race_view three_riders() {
    hud_race_view v;
    v.timing = true;
    v.first_lap = {0, 1, 2};
    v.normal_lap = {3, 100000, 1, 2};  // a flagged entry is still gate 0
    v.gate_drop_tic = 1000;
    v.tic = 2800;
    v.order.push_back(rider(4, "7", {1200, 1400, 1600, 1700, 1800, 1900, 2100, 2200, 2300, 2400, 2580}, true));
    v.order.push_back(rider(2, "12", {1210, 1420, 1650, 1750, 1850, 1950, 2200, 2300, 2400, 2500, 2701}, true));
    v.order.push_back(rider(0, "3", {1300, 1500, 1800, 1900, 2000, 2100, 2400, 2500}, false));
    return v;
}

}  // namespace

TEST(race_view, LapsAndLapTimesCountFromTheGateDrop) {
    hud_race_view v = three_riders();
    const hud_rider& a = v.order[0];
    EXPECT_EQ(view_laps_completed(v, a), 3);
    EXPECT_EQ(view_laps_completed(v, v.order[2]), 2);
    EXPECT_DOUBLE_EQ(view_lap_time(v, a, 1), 600 / 128.0);
    EXPECT_DOUBLE_EQ(view_lap_time(v, a, 2), 500 / 128.0);
    EXPECT_DOUBLE_EQ(view_lap_time(v, a, -1), 480 / 128.0);
    EXPECT_DOUBLE_EQ(view_lap_time(v, a, 4), 0);
    EXPECT_EQ(view_best_lap(v, a), 3);
    // One lap only: no best lap.
    hud_rider one = rider(9, "1", {1100, 1200, 1300}, false);
    EXPECT_EQ(view_best_lap(v, one), 0);
    // A skipped finish line leaves that lap without a time.
    hud_rider cut = rider(9, "1", {1100, 1200, -1, 1400, 1500, 1600, 1700}, false);
    EXPECT_DOUBLE_EQ(view_lap_time(v, cut, 1), 0);
    EXPECT_DOUBLE_EQ(view_lap_time(v, cut, 2), 0);
}

TEST(race_view, UnofficialResultsListFinishedRidersWithGapsAndBestLaps) {
    hud_race_view v = three_riders();
    results_table t = build_results_table(v, 2);
    ASSERT_TRUE(t.shown);
    EXPECT_EQ(t.title, "Unofficial Results");
    ASSERT_EQ(t.rows.size(), 2u);
    const results_row& a = t.rows[0];
    EXPECT_EQ(a.position, "1");
    EXPECT_EQ(a.number, "  7");
    EXPECT_EQ(a.lap, "L3");
    EXPECT_EQ(a.gap, "  0.000");
    EXPECT_EQ(a.best_time, "0:03.750");
    EXPECT_EQ(a.best_lap, "(3)");
    EXPECT_FALSE(a.viewed);
    const results_row& b = t.rows[1];
    EXPECT_EQ(b.number, " 12");
    EXPECT_EQ(b.gap, "  0.945");  // 121 tics behind at the last gate both passed
    EXPECT_EQ(b.best_time, "0:03.914");
    EXPECT_TRUE(b.viewed);
    EXPECT_TRUE(t.total_time.empty());
    EXPECT_TRUE(t.penalty_lines.empty());

    // Nothing until the leader has finished.
    v.order[0].finished = false;
    EXPECT_FALSE(build_results_table(v, 2).shown);
}

TEST(race_view, OfficialResultsAddTotalTimeAndPenaltyLines) {
    hud_race_view v = three_riders();
    v.official = true;
    v.order[1].final_tic += 640;  // charged 5 s
    v.order.push_back(rider(6, "101", {1300, 1500, 1800, 1900, 2000, 2100, 2400, 2500, 2600, 2700, 2900}, true));
    v.order.back().final_positions = 7;  // a lap taken
    v.order.back().final_tic = 2900 + 256;
    results_table t = build_results_table(v, 0);
    EXPECT_EQ(t.title, "Final Results");
    ASSERT_EQ(t.rows.size(), 4u);  // the unfinished rider too
    EXPECT_EQ(t.rows[2].number, "  3");
    EXPECT_TRUE(t.rows[2].viewed);
    EXPECT_EQ(t.total_time, "Total Race Time: 0:12.343");
    ASSERT_EQ(t.penalty_lines.size(), 2u);
    EXPECT_EQ(t.penalty_lines[0], " 12 penalized 5.00 seconds for cutting track");
    EXPECT_EQ(t.penalty_lines[1], "101 penalized 1 lap 2.00 seconds for cutting track");
}

TEST(race_view, PanelShowsLapPositionGapAndTimes) {
    hud_race_view v = three_riders();
    rider_panel p = build_rider_panel(v, 0);
    ASSERT_TRUE(p.shown);
    EXPECT_EQ(p.number, "3");
    EXPECT_EQ(p.lap_position, "L3 P3");
    EXPECT_EQ(p.gap, "+1.6 ");  // 200 tics behind number 12 at position 7
    EXPECT_EQ(p.times, "Last - 0:04.6 Best - 0:04.6");

    // The leader's gap is to the rider behind, so it is negative.
    EXPECT_EQ(build_rider_panel(v, 4).gap, "-0.9 ");
    EXPECT_FALSE(build_rider_panel(v, 77).shown);

    // One rider alone: the gap is 0, and no lap times before the first lap.
    hud_race_view alone = v;
    alone.order.resize(1);
    alone.order[0].gate_tics = {1200};
    alone.order[0].gates_passed = 1;
    rider_panel q = build_rider_panel(alone, 4);
    EXPECT_EQ(q.gap, "+0.0 ");
    EXPECT_EQ(q.lap_position, "L1 P1");
    EXPECT_EQ(q.times, "");
}

TEST(race_view, TimeTrialPanelShowsPlaceAndAttemptTimes) {
    hud_race_view v = three_riders();
    v.time_trial = true;
    v.last_attempt = 65.43;
    v.best_attempt = 61.27;
    rider_panel p = build_rider_panel(v, 2);
    EXPECT_EQ(p.lap_position, "P2");
    EXPECT_EQ(p.times, "Last - 1:05.4 Best - 1:01.2");
}

TEST(race_view, LappingWarningNamesRidersAboutToLap) {
    hud_race_view v = three_riders();
    // Both leaders crossed the finish line shortly after number 3 did a lap
    // earlier: 180 and 301 tics.
    EXPECT_EQ(lapping_warning(v, 2), " 7 (1.4)  12 (2.4) ");
    EXPECT_EQ(build_rider_panel(v, 0).lapping, " 7 (1.4)  12 (2.4) ");
    // Riders on the same lap never warn.
    EXPECT_EQ(lapping_warning(v, 1), "");
    // More than 3 s behind at that gate: no warning.
    v.order[1].gate_tics.back() = 2400 + 3 * 128 + 1;
    EXPECT_EQ(lapping_warning(v, 2), " 7 (1.4) ");
    // The viewed rider's crossing more than 15 s before its latest one.
    v.order[2].gate_tics.back() = 2400 + 15 * 128 + 1;
    EXPECT_EQ(lapping_warning(v, 2), "");
    EXPECT_EQ(lapping_warning(v, 5), "");
}

TEST(race_view, GapsUseTheLastGateBothPassed) {
    hud_rider a = rider(1, "1", {100, 200, 300, 400}, false);
    hud_rider b = rider(2, "2", {110, -1, 330}, false);
    EXPECT_DOUBLE_EQ(crossing_gap(a, b), 30 / 128.0);
    hud_rider c = rider(3, "3", {-1}, false);
    EXPECT_DOUBLE_EQ(crossing_gap(a, c), 0);
    EXPECT_EQ(format_millis(61.2345), "1:01.234");
    EXPECT_EQ(format_tenths(125.99), "2:05.9");
    EXPECT_EQ(format_tenths(-3), "0:00.0");
}

#include "race/race.h"

TEST(race_view, ReadsTheRaceState) {
    clear_race_state();
    timing_data t;
    t.gates.resize(4);
    t.first_lap = {0, 1, 2};
    t.normal_lap = {3, 0, 1, 2};
    t.active = true;
    timing_data saved = track_timing();
    set_track_timing(t);
    race.gate_drop_tic = 1000;
    race.tic = 2000;
    race.extra_laps = 3;
    race_slots[5].has_rider = true;
    race_slots[5].timing.gate_tics = {1100, 1200, 1300, 1400};
    race_slots[5].timing.gates_passed = 4;
    race_slots[9].has_rider = true;
    race_slots[9].timing.gate_tics = {1150, 1250, 1350, 1450};
    race_slots[9].timing.gates_passed = 4;
    update_running_order();

    hud_race_view v;
    ASSERT_TRUE(race_state_view(v));
    EXPECT_TRUE(v.timing);
    EXPECT_EQ(v.first_lap.size(), 3u);
    EXPECT_EQ(v.normal_lap.size(), 4u);
    EXPECT_EQ(v.gate_drop_tic, 1000);
    ASSERT_EQ(v.order.size(), 2u);
    EXPECT_EQ(v.order[0].slot, 5);
    EXPECT_EQ(v.order[1].gates_passed, 4);
    EXPECT_EQ(v.order[1].final_tic, 1450);
    rider_panel p = build_rider_panel(v, 9);
    EXPECT_EQ(p.lap_position, "L2 P2");
    EXPECT_EQ(p.gap, "+0.4 ");  // 50 tics behind at position 3
    EXPECT_EQ(p.times, "Last - 0:02.7 ");  // lap 1 from the gate drop: 350 tics

    set_track_timing(saved);
    clear_race_state();
}
