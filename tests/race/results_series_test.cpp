// The end of a race and points series: the results file, series files and
// their standings, ranking and crediting an event, with scripted gate
// crossings and no physics.
#include <gtest/gtest.h>

#include <cstring>

#include "core/diag.h"
#include "race/race.h"
#include "race/race_tic.h"
#include "race/results.h"
#include "race/series.h"
#include "testkit/testkit.h"
#include "track/track.h"
#include "vfs/vfs.h"

namespace {

// Five gates in a line along -z; both laps run over all five.
struct results_fixture : ::testing::Test {
    vfs_sandbox box;
    void SetUp() override {
        clear_race_state();
        free_series();
        timing_data d;
        for (int k = 0; k < 5; k++) {
            timing_gate g;
            g.radius = 5;
            g.centre[2] = 100.0f - 20.0f * (float)k;
            g.direction[2] = -1;
            d.gates.push_back(g);
        }
        d.first_lap = d.normal_lap = {0, 1, 2, 3, 4};
        d.active = timing_lists_valid(5, d.first_lap, d.normal_lap);
        set_track_timing(d);
        race.gate_drop_tic = 128;
        race.race_laps = race.extra_laps = 2;
        current_track_dir = "tracks/testhill";
    }
    void TearDown() override {
        clear_race_state();
        free_series();
        set_track_timing(timing_data{});
        current_track_dir.reset();
    }
    static void rider(int slot, const char* number, const char* model, int type = robot_slot) {
        race_slot& s = race_slots[(size_t)slot];
        s.has_rider = true;
        s.type = type;
        s.number = number;
        s.model = model;
    }
    // Crosses the gates in order at the tics given; -1 skips one.
    static void ride(int slot, std::initializer_list<int> tics) {
        int p = 0;
        for (int tic : tics) {
            if (tic >= 0) {
                race.tic = tic;
                const timing_gate& g = track_timing().gates[(size_t)(p % 5)];
                float at[3] = {g.centre[0] + 0.5f, 0, g.centre[2] - 0.5f};
                gate_check(slot, at);
            }
            p++;
        }
    }
};

TEST_F(results_fixture, ResultsFileOfARaceWithACutAndALappedRider) {
    rider(0, "7", "cr125");
    rider(1, "12", "yz250f");
    rider(2, "3", "kx450f");
    ride(0, {256, 384, 512, 640, 768, 896, 1024, 1152, 1280, 1408});
    EXPECT_FALSE(race.results_written);
    // Cuts position 2 (a 128-tic charge); two laps.
    ride(1, {320, 448, -1, 704, 832, 960, 1088, 1216, 1344, 1488});
    EXPECT_FALSE(race.results_written);
    // Finishes one lap down: no best lap.
    ride(2, {336, 464, 592, 720, 1456});
    ASSERT_TRUE(race.results_written);
    ASSERT_EQ(final_standings().size(), 3u);
    EXPECT_EQ(final_standings()[1].final_tic, 1488 + 128);
    EXPECT_EQ(best_lap(2), 0);

    const char* expected =
        "Time=0.00|Laps=2|Track=tracks/testhill|Date=1234\r\n"
        " No. |         Bike | Laps | Total Time | BLap |  Best Time\r\n"
        "   7 |        cr125 |    2 |   0:10.000 |    2 |   0:05.000\r\n"
        "  12 |       yz250f |    2 |   0:11.625 |    2 |   0:05.125\r\n"
        "   3 |       kx450f |    1 |   0:10.375 |    0 |   0:00.000\r\n"
        "\r\n10\r\n"
        "   1.000    2.000    3.000    4.000    5.000\r\n"
        "   6.000    7.000    8.000    9.000   10.000\r\n"
        "\r\n10\r\n"
        "   1.500    2.500       -1    4.500    5.500\r\n"
        "   6.500    7.500    8.500    9.500   10.625\r\n"
        "\r\n5\r\n"
        "   1.625    2.625    3.625    4.625   10.375\r\n";
    EXPECT_EQ(results_text(1234), expected);
    // Written once at the settlement; later crossings change nothing.
    std::string written = read_file(box.root0() + "results.txt");
    EXPECT_EQ(written.substr(written.find("\r\n")), std::string(expected).substr(std::string(expected).find("\r\n")));
    ride(2, {-1, -1, -1, -1, -1, 1600});
    EXPECT_EQ(final_standings()[2].positions, 5);
    EXPECT_EQ(running_order()[2].gates_passed, 5);
}

TEST_F(results_fixture, SilentDemoRiderDoesNotHoldTheRaceOpen) {
    static bool recent = true;
    race_parts.recent_state = [](int, int tics) { return tics == 1280 && recent; };
    rider(0, "7", "cr125");
    rider(1, "8", "cr125", replayed_slot);
    ride(0, {256, 384, 512, 640, 768, 896, 1024, 1152, 1280, 1408});
    EXPECT_FALSE(race.results_written);  // the demo rider still rides
    recent = false;
    update_running_order();
    EXPECT_TRUE(race.results_written);
    ASSERT_EQ(final_standings().size(), 2u);
    EXPECT_FALSE(final_standings()[1].finished);
    race_parts.recent_state = nullptr;
}

// ---- series files ------------------------------------------------------------------

// 40 points values: the given ones, then zeros.
std::string points(std::initializer_list<int> first) {
    std::string out;
    int n = 0;
    for (int v : first) out += " " + std::to_string(v), n++;
    for (; n < 40; n++) out += " 0";
    return out;
}

// Two motos make round 1, the final is round 2.
const std::string two_robot_series = "\"Spring Cup\" 2 Amateur 21 34\n3\n"
                                     "\"Moto 1\" tracks/testhill 0 2" + points({25, 22, 20}) + points({}) + "\n"
                                     "\"Moto 2\" tracks/testhill 0 2" + points({25, 22, 20}) + points({10, 6, 3}) + "\n"
                                     "Final tracks/testhill 5 1" + points({25, 22, 20}) + points({10, 6, 3}) + "\n";

struct series_fixture : results_fixture {
    void SetUp() override {
        results_fixture::SetUp();
        write_file(box.root1() + "tracks/testhill/terrain.hf", "x");
        vfs_shutdown();
        file_list();
        scan_tracks();
    }
    void TearDown() override {
        free_track_lists();
        results_fixture::TearDown();
    }
    void load(const std::string& standings = "") {
        write_file(box.root1() + "cup.series", two_robot_series);
        if (!standings.empty()) write_file(box.root0() + "cup.series_standings", standings);
        vfs_shutdown();
        file_list();
        load_series_files();
    }
    points_series& cup() { return series_list().at(0); }
};

TEST_F(series_fixture, BrokenSeriesIsDroppedAndTheOthersLoad) {
    // Each a way to fail: a track not in the list, too many robots, a short
    // points table, an event count past the limit.
    write_file(box.root1() + "a_badtrack.series", "X 0 Expert 1 E tracks/nowhere 0 1 1\n");
    write_file(box.root1() + "b_robots.series", "X 160 Expert 1\n");
    write_file(box.root1() + "c_short.series", "X 0 Novice 1 E tracks/testhill 0 1 5 4 3\n");
    write_file(box.root1() + "d_events.series", "X 0 Novice 2000000000\n");
    clear_message_history();
    load();
    ASSERT_EQ(series_list().size(), 1u);
    EXPECT_EQ(cup().name, "Spring Cup");
    EXPECT_EQ(cup().robot_skill, 1);
    EXPECT_EQ(cup().robot_numbers, (std::vector<int>{21, 34}));
    EXPECT_EQ(cup().standings_path, "@cup.series_standings");
    ASSERT_EQ(cup().events.size(), 3u);
    EXPECT_EQ(cup().events[2].minutes, 5);
    EXPECT_EQ(cup().events[1].round_points[0], 10);
    EXPECT_EQ(cup().events[0].moto_points[40], 0);
    int warnings = 0;
    for (int i = 0; i < message_history_lines; i++)
        if (strstr(messages.lines[i], "series warning")) warnings++;
    EXPECT_EQ(warnings, 4);
}

TEST_F(series_fixture, PartialStandingsFileCompletesOnlyWholeEvents) {
    struct {
        const char* file;
        int completed;
    } cases[] = {
        {"1 2 3 \n3 1 2 \n2 3", 2},  // the third event is short
        {"1 2 3 \n3 1 9 \n", 1},      // a place beyond R + 1 is not a place
        {"0 1 2 \n", 0},
        {"", 0},
    };
    for (const auto& c : cases) {
        load(c.file);
        ASSERT_EQ(series_list().size(), 1u);
        EXPECT_EQ(cup().completed_events, c.completed) << c.file;
    }
    load("1 2 3 \n3 1 2 \n");
    const auto& places = cup().events[1].series_places;
    EXPECT_EQ(std::vector<int>(places.begin(), places.begin() + 3), (std::vector<int>{2, 0, 1}));
}

TEST_F(series_fixture, RoundTiesGoToTheBetterPlaceInTheRoundsLastEvent) {
    // Robots 0 and 1 both have 25 + 22 moto points; robot 1 won the second.
    load("1 2 3 \n2 1 3 \n");
    EXPECT_EQ(cup().events[1].series_order[1], 0);
    EXPECT_EQ(cup().events[1].series_order[0], 1);
    EXPECT_EQ(cup().events[1].series_order[2], 2);
    EXPECT_EQ(series_total(cup(), 1), 10);
    EXPECT_EQ(series_table_order(cup()), (std::vector<int>{1, 0, 2}));
    std::vector<series_round> rounds = completed_rounds(cup());
    ASSERT_EQ(rounds.size(), 1u);
    EXPECT_EQ(round_cell(cup(), rounds[0], 0), "6 (1-2)");
    // The final starts a new round from a common base.
    load("1 2 3 \n2 1 3 \n3 2 1 \n");
    EXPECT_EQ(cup().events[2].series_order[2], 0);
    EXPECT_EQ(series_total(cup(), 2), 3 + 10);
    load("1 2 3 \n");
    rounds = completed_rounds(cup());
    ASSERT_EQ(rounds.size(), 1u);
    EXPECT_EQ(round_cell(cup(), rounds[0], 1), "- (2-)");
}

TEST_F(series_fixture, EventLeftMidRaceIsCreditedOnceWithTheHumanLast) {
    load();
    rider(0, "34", "cr125");
    rider(1, "21", "cr125");
    rider(4, "21", "cr125", local_slot);  // shares a robot's number
    ride(0, {256, 384, 512});
    ride(4, {256, 384});
    ride(1, {300});
    entered_series = 0;
    entered_event = 0;
    credit_series_event();  // the reset after the player left the race
    EXPECT_EQ(cup().completed_events, 1);
    const auto& places = cup().events[0].series_places;
    EXPECT_EQ(std::vector<int>(places.begin(), places.begin() + 3), (std::vector<int>{1, 0, 2}));
    EXPECT_EQ(entered_series, -1);
    EXPECT_EQ(read_file(box.root0() + "cup.series_standings"), "2 1 3 \n");
    credit_series_event();  // pressing reset again
    EXPECT_EQ(cup().completed_events, 1);
    // An entry for an event already credited is forgotten.
    entered_series = 0;
    entered_event = 0;
    credit_series_event();
    EXPECT_EQ(cup().completed_events, 1);
    EXPECT_EQ(entered_event, -1);
    // The standings read back as written.
    load();
    EXPECT_EQ(cup().completed_events, 1);
    EXPECT_EQ(cup().events[0].series_places[0], 1);
}

TEST_F(series_fixture, FinishedRaceCreditsTheFinalStandings) {
    load();
    rider(0, "21", "cr125");
    rider(1, "34", "cr125");
    rider(2, "99", "cr125");  // not in the series
    rider(3, "5", "cr125", local_slot);
    entered_series = 0;
    entered_event = 0;
    ride(3, {256, 384, 512, 640, 768, 896, 1024, 1152, 1280, 1408});
    ride(2, {256, 384, 512, 640, 1450});
    ride(1, {320, 448, 576, 704, 832, 960, 1088, 1216, 1344, 1472});
    EXPECT_EQ(cup().completed_events, 0);
    ride(0, {336, 464, 592, 720, 848, 976, 1104, 1232, 1360, 1500});
    ASSERT_TRUE(race.results_written);
    EXPECT_EQ(cup().completed_events, 1);
    const auto& places = cup().events[0].series_places;
    EXPECT_EQ(std::vector<int>(places.begin(), places.begin() + 3), (std::vector<int>{2, 1, 0}));
    // The next event's grid: last place picks first.
    std::array<int, 160> kinds = series_lineup(cup());
    EXPECT_EQ(kinds[6], 1021);
    EXPECT_EQ(kinds[8], 1034);
    EXPECT_EQ(kinds[10], 1);
}

TEST(series_parse, SeriesParserToleratesAnyText) {
    const char* inputs[] = {"", "\"", "\"unterminated 3 Expert", "x -1 Expert", "x 2 Expert 1",
                            "x 0 Expert -5", "x 0 Expert 99999999999999999999"};
    for (const char* in : inputs) {
        points_series s;
        EXPECT_FALSE(parse_series("t.series", in, s)) << in;
    }
}

}  // namespace
