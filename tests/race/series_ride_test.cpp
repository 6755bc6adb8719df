// A two-event points series on the default track through the real race
// tic: the pilot rides the first event to the flag, leaves the second
// before the start, and the standings file then reads back as the menus
// show it.
#include <string>

#include "bike/rider_control.h"
#include "rabbit_hill_fixture.h"
#include "race/results.h"
#include "race/series.h"
#include "testkit/pilot.h"

namespace {

std::string event_line(const char* name) {
    std::string points = " 25 22 20";
    for (int k = 3; k < 40; k++) points += " 0";
    return std::string("\"") + name + "\" rabbithill 0 1" + points + points + "\n";
}

TEST_F(rabbit_hill, SeriesEventsAreCreditedFromTheRaceAndReadBack) {
    write_file(home.path + "/Quarnix/two.series",
               "\"Two Step\" 2 Novice 21 34\n2\n" + event_line("Opener") + event_line("Closer"));
    vfs_shutdown();
    file_list();
    load_series_files();
    int index = -1;
    for (size_t i = 0; i < series_list().size(); i++)
        if (series_list()[i].name == "Two Step") index = (int)i;
    ASSERT_GE(index, 0);
    points_series& s = series_list()[(size_t)index];
    EXPECT_EQ(s.completed_events, 0);

    // Event 1: robots in slots 0 and 1, the human in slot 2.
    race_setup setup;
    setup.slot_kinds = series_lineup(s);
    setup.laps = s.events[0].laps;
    setup.skill = s.robot_skill;
    setup.track = s.events[0].track_dir;
    ASSERT_TRUE(reset_race(setup));
    EXPECT_EQ(race_slots[0].number, "21");
    EXPECT_EQ(race_slots[1].number, "34");
    entered_series = index;
    entered_event = 0;
    while (race.tic <= race.gate_drop_tic) {
        set_bike_controls(2, control_values{});
        simulate_tic();
    }
    pilot_state pilot;
    for (int t = 0; t < 3 * 60 * tics_per_second && !is_finished(2); t++) {
        pilot_command cmd = pilot_step(view_of(2), pilot);
        control_values c = pilot_controls(cmd);
        set_bike_controls(2, c);
        simulate_tic();
    }
    ASSERT_TRUE(is_finished(2));
    ASSERT_EQ(cutting_penalty(2).tics, 0);
    // The robots stand at the gate: the race stays open, so the event is
    // credited by the next reset from the running order.
    EXPECT_FALSE(race.results_written);
    EXPECT_EQ(s.completed_events, 0);

    // The player restarts: the reset credits the event from the running
    // order, once.
    ASSERT_TRUE(reset_race(setup));
    ASSERT_EQ(s.completed_events, 1);
    ASSERT_TRUE(reset_race(setup));
    ASSERT_EQ(s.completed_events, 1);
    // Event 2: the grid from event 1's places, last place picking first.
    setup.slot_kinds = series_lineup(s);
    ASSERT_TRUE(reset_race(setup));
    EXPECT_EQ(race_slots[6].number, "34");
    EXPECT_EQ(race_slots[8].number, "21");
    EXPECT_EQ(race_slots[10].type, local_slot);
    entered_series = index;
    entered_event = 1;
    for (int t = 0; t < 64; t++) simulate_tic();
    // Left before the start: the human keeps place R.
    setup.slot_kinds = series_lineup(s);
    ASSERT_TRUE(reset_race(setup));
    ASSERT_EQ(s.completed_events, 2);
    EXPECT_EQ(read_file(home.path + "/Quarnix/two.series_standings"), "2 3 1 \n2 1 3 \n");

    load_series_files();
    points_series& again = series_list()[(size_t)index];
    ASSERT_EQ(again.completed_events, 2);
    std::vector<series_round> rounds = completed_rounds(again);
    ASSERT_EQ(rounds.size(), 2u);
    EXPECT_EQ(round_cell(again, rounds[0], 2), "25 (1)");
    EXPECT_EQ(round_cell(again, rounds[1], 2), "20 (3)");
    EXPECT_EQ(series_total(again, 0), 22 + 22);
    EXPECT_EQ(series_table_order(again), (std::vector<int>{1, 2, 0}));  // 45 each: the last round decides
    free_series();
}

}  // namespace
