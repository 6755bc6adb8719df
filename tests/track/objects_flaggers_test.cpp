// Flaggers: the file, the start flagger's timeline, the lap flags one gate
// before the line, and the yellow flags for riders down.
#include "objects_fixture.h"
#include "track/objects_billboards.h"
#include "track/objects_flaggers.h"

namespace {

// A race as the flaggers read it.
struct fake_race {
    int tic = 0, drop = 0;
    std::vector<int> first_lap, normal_lap;
    int gates = 0;
    race_length_values length;
    std::vector<int> order;          // slots, leader first
    std::vector<int> passed = std::vector<int>(160, 0);
    std::vector<bool> down = std::vector<bool>(160, false);
    std::vector<bool> stale = std::vector<bool>(160, false);
};
fake_race R;

void install_fake_race() {
    object_race.tic = [] { return R.tic; };
    object_race.gate_drop_tic = [] { return R.drop; };
    object_race.lap_lists = [](const std::vector<int>*& f, const std::vector<int>*& n, int& g) {
        f = &R.first_lap, n = &R.normal_lap, g = R.gates;
        return R.gates > 0;
    };
    object_race.race_length = [](race_length_values& v) { v = R.length; };
    object_race.running_order = [](int* slots, int max) {
        int n = std::min((int)R.order.size(), max);
        for (int k = 0; k < n; k++) slots[k] = R.order[(size_t)k];
        return n;
    };
    object_race.gates_passed = [](int slot) { return R.passed[(size_t)slot]; };
    object_race.rider_is_down = [](int slot) { return (bool)R.down[(size_t)slot]; };
    object_race.stale_remote = [](int slot) { return (bool)R.stale[(size_t)slot]; };
}

// A lap race of `laps` laps over lists of f and n gates (gate k at entry k).
void lap_race(int f, int n, int gates, int laps) {
    R = fake_race();
    for (int k = 0; k < f; k++) R.first_lap.push_back(k % gates);
    for (int k = 0; k < n; k++) R.normal_lap.push_back(k % gates);
    R.gates = gates;
    R.length.extra_laps = R.length.race_laps = laps;
    R.length.halfway_lap = (laps + 1) / 2;
    install_fake_race();
}

struct flaggers : objects_test {
    unsigned tex[16] = {};
    void SetUp() override {
        objects_test::SetUp();
        for (int k = 0; k < 16; k++) {
            put_png("f" + std::to_string(k) + ".png", (uint8_t)(10 + k));
            tex[k] = texture_load(("@f" + std::to_string(k) + ".png").c_str());
        }
    }
    void load(const flagger_file& f) {
        put_track("flaggers", encode_flaggers(f));
        load_flaggers(track_file("flaggers").c_str());
    }
    flagger_file file(float walk_time) const {
        flagger_file f;
        f.start_pos0 = {100, 0, 100};
        f.start_pos1 = {120, 1, 100};
        f.walk_time = walk_time;
        for (int k = 0; k < 5; k++) f.start_textures[(size_t)k] = "@f" + std::to_string(k) + ".png";
        f.lap_pos = {50, 0, 50};
        for (int k = 0; k < 4; k++) f.lap_textures[(size_t)k] = "@f" + std::to_string(5 + k) + ".png";
        return f;
    }
    const billboard& board(int index) const { return track_billboards()[(size_t)index]; }
    unsigned start_picture_at(double seconds) {
        R.tic = (int)std::lround(seconds * 128);
        update_flaggers();
        return board(track_flaggers().start.billboard).texture;
    }
};

TEST_F(flaggers, StartFlaggerTimelineAndWalk) {
    lap_race(3, 3, 3, 1);
    load(file(2));
    const start_flagger_record& s = track_flaggers().start;
    ASSERT_EQ(s.billboard, 0);
    EXPECT_EQ(track_flaggers().lap.billboard, 1);
    EXPECT_EQ(first_track_billboard(), 2);
    EXPECT_EQ(start_picture_at(0), tex[0]);
    EXPECT_EQ(start_picture_at(5.2), tex[1]);
    EXPECT_EQ(start_picture_at(5.5), tex[2]);
    EXPECT_EQ(board(0).x, 100);
    EXPECT_EQ(start_picture_at(7), tex[3]);
    // Half-way through its two seconds' walk.
    EXPECT_NEAR(board(0).x, 110, 1e-4f);
    EXPECT_NEAR(board(0).y, 10.5f, 1e-3f);
    EXPECT_EQ(start_picture_at(7.99), tex[3]);
    EXPECT_EQ(start_picture_at(8), tex[4]);
    EXPECT_EQ(start_picture_at(30), tex[4]);
    EXPECT_NEAR(board(0).x, 120, 1e-4f);
    // A reset starts it all again.
    EXPECT_EQ(start_picture_at(0), tex[0]);
    EXPECT_EQ(board(0).x, 100);
}

TEST_F(flaggers, NoWalkingTimeMeansThereAtOnce) {
    lap_race(3, 3, 3, 1);
    for (float w : {0.0f, -3.0f}) {
        free_track_objects();
        load(file(w));
        EXPECT_EQ(start_picture_at(5.99), tex[2]);
        EXPECT_EQ(start_picture_at(6), tex[4]);
        EXPECT_EQ(board(0).x, 120);
    }
    // Not a number in the file counts as no walking time.
    free_track_objects();
    put_track("flaggers", "[100 0 100] [120 0 100] 6 0.5 nan @f0.png @f1.png @f2.png @f3.png @f4.png\n");
    load_flaggers(track_file("flaggers").c_str());
    ASSERT_EQ(track_flaggers().start.billboard, 0);
    EXPECT_EQ(start_picture_at(6), tex[4]);
    EXPECT_EQ(board(0).x, 120);
}

TEST_F(flaggers, NothingMovesWithoutTiming) {
    R = fake_race();
    install_fake_race();
    load(file(1));
    R.tic = 128 * 20;
    update_flaggers();
    EXPECT_EQ(board(0).texture, tex[0]);
    EXPECT_EQ(board(0).x, 100);
}

TEST_F(flaggers, LapFlagsChangeOneGateBeforeTheLine) {
    const int F = 4, N = 5;
    lap_race(F, N, 5, 3);
    load(file(1));
    R.order = {7};
    auto flag_at = [&](int passed) {
        R.passed[7] = passed;
        update_flaggers();
        return board(track_flaggers().lap.billboard).texture;
    };
    EXPECT_EQ(flag_at(0), tex[5]);  // normal
    EXPECT_EQ(flag_at(F - 2), tex[5]);
    // Heading for the end of lap 1 (position F - 1): the leader will have
    // completed one lap; with 3 laps (half-way lap 2) that is still normal.
    EXPECT_EQ(flag_at(F - 1), tex[5]);
    EXPECT_EQ(flag_at(F), tex[5]);
    // Heading for the end of lap 2: last lap (which wins over half-way).
    EXPECT_EQ(flag_at(F - 1 + N - 1), tex[5]);
    EXPECT_EQ(flag_at(F - 1 + N), tex[7]);
    // Heading for the end of lap 3: finished.
    EXPECT_EQ(flag_at(F - 1 + 2 * N), tex[8]);
    EXPECT_EQ(flag_at(F + 5 * N), tex[8]);

    // Half-way shows in a longer race.
    lap_race(F, N, 5, 5);
    R.order = {7};
    EXPECT_EQ(lap_flag_for(F - 1 + N), lap_flag_normal);
    EXPECT_EQ(lap_flag_for(F - 1 + 2 * N), lap_flag_halfway);
    EXPECT_EQ(lap_flag_for(F - 1 + 3 * N), lap_flag_last_lap);
    EXPECT_EQ(lap_flag_for(F - 1 + 4 * N), lap_flag_finished);
}

TEST_F(flaggers, TimedRaceDecidesItsLastLapAtTheLine) {
    const int F = 3, N = 3;
    lap_race(F, N, 3, 1);
    R.length.race_time = 128 * 60;
    R.length.race_laps = R.length.halfway_lap = 1000000;
    R.drop = 100;
    // Before the time is up the race length is open.
    R.tic = R.drop + R.length.race_time - 1;
    EXPECT_EQ(lap_flag_for(F - 1 + N), lap_flag_normal);
    // Time up, heading for the line of lap 2: one extra lap is the last.
    R.tic = R.drop + R.length.race_time;
    EXPECT_EQ(lap_flag_for(F - 1 + N), lap_flag_last_lap);
    // Away from a line the undecided length still stands.
    EXPECT_EQ(lap_flag_for(F + N), lap_flag_normal);
}

TEST_F(flaggers, YellowFlagsForRidersDownAhead) {
    lap_race(4, 4, 4, 3);
    flagger_file f = file(1);
    flagger_file::yellow y;
    y.pos = {60, 0, 60};
    y.gates = {2, -5, 99, -1};  // below -1 becomes -1, above the last gate the last
    y.normal = "@f9.png", y.yellow = "@f10.png";
    f.yellows.push_back(y);
    y.gates = {0, -1, -1, -1};
    y.normal = "@f11.png", y.yellow = "@f12.png";
    f.yellows.push_back(y);
    load(f);
    const std::vector<yellow_flagger>& list = track_flaggers().yellow;
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].gates, (std::array<int, 4>{2, -1, 3, -1}));

    R.order = {1, 2, 3};
    R.passed = std::vector<int>(160, 0);
    R.passed[1] = 9;  // heading for normal-lap entry (9 - 4) mod 4 = 1
    R.passed[2] = 3;  // heading for gate 3
    R.passed[3] = 2;
    update_flaggers();
    EXPECT_EQ(board(list[0].billboard).texture, tex[9]);
    R.down[2] = true;  // down before gate 3
    update_flaggers();
    EXPECT_TRUE(rider_down_ahead(3));
    EXPECT_FALSE(rider_down_ahead(2));
    EXPECT_EQ(board(list[0].billboard).texture, tex[10]);
    EXPECT_EQ(board(list[1].billboard).texture, tex[11]);
    // A remote rider whose news is old does not count.
    R.stale[2] = true;
    update_flaggers();
    EXPECT_FALSE(rider_down_ahead(3));
    EXPECT_EQ(board(list[0].billboard).texture, tex[9]);
    R.down[1] = true;  // heading for gate 1
    update_flaggers();
    EXPECT_TRUE(rider_down_ahead(1));
    EXPECT_EQ(board(list[0].billboard).texture, tex[9]);
    EXPECT_EQ(board(list[1].billboard).texture, tex[11]);
}

TEST_F(flaggers, FileThatEndsEarlyKeepsWhatWasMade) {
    lap_race(3, 3, 3, 1);
    put_track("flaggers", "[100 0 100] [120 0 100] 6 0.5 1\n@f0.png @f1.png\n");
    load_flaggers(track_file("flaggers").c_str());
    const start_flagger_record& s = track_flaggers().start;
    EXPECT_EQ(s.billboard, 0);
    EXPECT_EQ(s.textures[1], tex[1]);
    EXPECT_EQ(s.textures[2], 0u);
    EXPECT_EQ(track_flaggers().lap.billboard, -1);
    EXPECT_EQ(first_track_billboard(), 1);

    // A yellow flagger whose second picture is missing gets its billboard
    // but is not listed.
    free_track_objects();
    flagger_file f = file(1);
    put_track("flaggers", encode_flaggers(f) + "[1 0 1] 6 0.5 0 0 0 0 @f9.png\n");
    load_flaggers(track_file("flaggers").c_str());
    EXPECT_EQ(track_flaggers().yellow.size(), 0u);
    EXPECT_EQ(track_billboards().size(), 3u);
}

}  // namespace
