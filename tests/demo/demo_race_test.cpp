// Demos of real races on the default track: recorded through the race tic,
// played back, rewound and skipped, raced against as the lap ghost, and the
// files they leave behind.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

#include "bike/compact_state.h"
#include "bike/crash.h"
#include "bike/drivetrain.h"
#include "bike/rider_control.h"
#include "core/bytes.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/text.h"
#include "demo/demo.h"
#include "demo/demo_file.h"
#include "demo/history.h"
#include "race/rabbit_hill_fixture.h"
#include "render/frame_draw.h"
#include "testkit/pilot.h"
#include "track/height_field.h"

namespace {

struct demo_race : rabbit_hill {
    void SetUp() override {
        rabbit_hill::SetUp();
        race_parts = {};
        frame_slots = {};
        fill_demo_parts(race_parts, frame_slots);
        settings.demo_backups = 0;
    }
    void TearDown() override {
        close_demo();
        race_parts = {};
        frame_slots = {};
        rabbit_hill::TearDown();
    }
    std::string home_file(const char* name) { return home_path(name); }
    // QX_DEMO_OUT names a folder that keeps the demos made, for a look in
    // the game.
    void keep(const char* file, const char* as) {
        if (const char* folder = getenv("QX_DEMO_OUT"))
            std::filesystem::copy_file(home_file(file), std::string(folder) + "/" + as,
                                       std::filesystem::copy_options::overwrite_existing);
    }
    static bool shown(const std::string& text) {
        for (int age = 0; age < 40; age++)
            if (text == message_line(age)) return true;
        return false;
    }

    // The test kit's pilot rides every recorded bike once the gate drops.
    std::array<pilot_state, race_slot_count> pilots{};
    void ride() {
        for (int s = 0; s < race_slot_count; s++) {
            if (!bike_in_slot(s) || race_slots[(size_t)s].type == replayed_slot) continue;
            control_values c{};
            if (race.tic > race.gate_drop_tic) c = pilot_controls(pilot_step(view_of(s), pilots[(size_t)s]));
            set_bike_controls(s, c);
        }
    }
    // A race of the kinds recorded to "@demos/default.kvdemo" for `tics`
    // tics; the states of every recorded tic as the recorder saw them.
    // One rider may be thrown off at a given tic.
    std::map<std::pair<int, int>, compact_state> record_race(std::vector<int> kinds, int tics, int thrown = -1,
                                                            int thrown_at = 0) {
        race_setup s = lineup(std::move(kinds));
        s.record = true;
        EXPECT_TRUE(reset_race(s));
        EXPECT_TRUE(recording_demo());
        // Every rider with the player's setup and aids.
        pilots = {};
        for (int slot = 0; slot < race_slot_count; slot++)
            if (bike_state* b = bike_in_slot(slot)) apply_bike_setup(*b, player_setup, 0);
        std::map<std::pair<int, int>, compact_state> seen;
        auto note = [&] {
            if (race.tic % 4 != 0) return;
            for (int slot = 0; slot < race_slot_count; slot++)
                if (bike_state* b = bike_in_slot(slot)) seen[{slot, race.tic}] = encode_state(*b);
        };
        note();
        while (race.tic < tics) {
            ride();
            if (race.tic == thrown_at && bike_in_slot(thrown)) {
                bike_in_slot(thrown)->collision_timer = 0;
                crash(*bike_in_slot(thrown));
            }
            simulate_tic();
            note();
        }
        return seen;
    }
    static race_setup playback_of(const char* file) {
        race_setup s;
        s.slot_kinds = slot_kind_list{};
        s.playback = true;
        s.demo = file;
        s.laps = 10;
        return s;
    }
    // A demo of one cr125 rider with states at the given tics, all in one
    // chunk at the first tic, written by hand.
    void write_demo(const std::string& path, const std::vector<int>& tics, const compact_state& state) {
        demo_header h;
        h.track = "rabbithill";
        h.riders.push_back(demo_rider{"cr125", "", "", "", "", "7", "Ghost"});
        std::string text = demo_header_text(h);
        std::vector<uint8_t> payload;
        for (int tic : tics) {
            uint8_t record[demo_state_record_bytes];
            byte_writer w = make_writer(record, sizeof record);
            write_u8(w, 0);
            write_i32(w, tic);
            write_bytes(w, state.data(), state.size());
            payload.insert(payload.end(), record, record + sizeof record);
        }
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        write_file(path, text);
        vfs_file* f = vfs_open(path.c_str(), "ab");
        ASSERT_NE(f, nullptr);
        uint32_t previous = 0;
        ASSERT_TRUE(write_demo_chunk(f, previous, tics.front(), chunk_states, payload.data(), payload.size()));
        ASSERT_TRUE(vfs_close(f));
    }
};

TEST_F(demo_race, PlaybackMatchesTheRecordingAtEveryRecordedTic) {
    const int tics = 60 * tics_per_second;
    std::map<std::pair<int, int>, compact_state> recorded =
        record_race({slot_kind_human, slot_kind_robot, slot_kind_robot_2stroke, slot_kind_robot}, tics, 2, 3000);
    int gate_drop = race.gate_drop_tic;
    // Nothing to seek while a rider is simulated and a demo recorded.
    seek_playback(-1);
    EXPECT_EQ(race.tic, tics);
    for (int slot = 0; slot < 4; slot++) {
        auto at = [&](int tic, int offset) {
            const compact_state& s = recorded.at({slot, tic});
            return (s[offset] | s[offset + 1] << 8 | s[offset + 2] << 16) / 16777215.0 * terrain.extent;
        };
        double travelled = std::hypot(at(tics, 0) - at(0, 0), at(tics, 6) - at(0, 6));
        EXPECT_GT(travelled, 100) << "slot " << slot << " should have ridden somewhere";
    }

    stop_recording();
    keep("@demos/default.kvdemo", "race.kvdemo");
    ASSERT_TRUE(reset_race(playback_of("@demos/default.kvdemo")));
    EXPECT_EQ(race.gate_drop_tic, gate_drop);
    EXPECT_EQ(race.tic, 0);
    for (int slot = 0; slot < 4; slot++) {
        ASSERT_NE(bike_in_slot(slot), nullptr);
        EXPECT_EQ(race_slots[(size_t)slot].type, replayed_slot);
    }
    EXPECT_EQ(bike_in_slot(4), nullptr);
    int compared = 0, downed = 0;
    while (race.tic < tics) {
        simulate_tic();
        int shown = race.tic - 1;  // the tic whose state this tic applied
        if (shown % 4 != 0) continue;
        for (int slot = 0; slot < 4; slot++) {
            compact_state now = encode_state(*bike_in_slot(slot));
            const compact_state& then = recorded.at({slot, shown});
            ASSERT_EQ(now, then) << "slot " << slot << " at tic " << shown;
            compared++;
            downed += state_rider_down(then);
        }
    }
    EXPECT_EQ(compared, 4 * tics / 4);
    EXPECT_GT(downed, 100);  // the thrown rider lay on the ground a while
}

TEST_F(demo_race, RewindGivesBackGatesAndSkipRunsOn) {
    record_race({slot_kind_human, slot_kind_robot}, 4 * tics_per_second);
    ASSERT_TRUE(reset_race(playback_of("@demos/default.kvdemo")));
    std::map<int, compact_state> shown;
    while (race.tic < 200) {
        simulate_tic();
        shown[race.tic] = encode_state(*bike_in_slot(1));
    }
    // Two passages, one before the tic rewound to and one after it.
    truncate_gates(0, 0);
    set_gate_tic(0, 0, 50);
    set_gate_tic(0, 1, 150);
    truncate_gates(0, 2);
    seek_playback(-1);
    EXPECT_EQ(race.tic, 72);  // 200 - 128 - 1, and one tic simulated
    EXPECT_EQ(race_slots[0].timing.gates_passed, 1);
    EXPECT_EQ(encode_state(*bike_in_slot(1)), shown[72]);
    seek_playback(1);
    EXPECT_EQ(race.tic, 200);
    EXPECT_EQ(encode_state(*bike_in_slot(1)), shown[200]);
}

TEST_F(demo_race, RaceDemoStartsAtItsFirstChunkAndTheGhostNow) {
    ASSERT_TRUE(reset_race(lineup({slot_kind_human})));
    compact_state state = encode_state(*bike_in_slot(0));
    std::string demo = home_file("@demos/late.kvdemo");
    write_demo(demo, {2000, 2004, 2008}, state);
    ASSERT_TRUE(reset_race(playback_of("@demos/late.kvdemo")));
    EXPECT_EQ(race.tic, 2000);
    ASSERT_NE(bike_in_slot(0), nullptr);
    EXPECT_EQ(race_slots[0].name, "Ghost");
    EXPECT_EQ(newest_history_tic(0), 2008);

    // The same file as the lap ghost: it starts at the current tic, in
    // slot 1, beside a rider who records the attempt.
    write_demo(home_file("@rabbithill/fastlap.kvdemo"), {2000, 2004, 2008}, state);
    race_setup free;
    ASSERT_TRUE(reset_race(free));
    ASSERT_TRUE(race.free_riding);
    int now = race.tic;
    ASSERT_NE(bike_in_slot(1), nullptr);
    EXPECT_EQ(race_slots[1].type, replayed_slot);
    EXPECT_TRUE(history_has_state_between(1, now, now));
    EXPECT_EQ(newest_history_tic(1), now + 8);
    EXPECT_TRUE(recording_demo());
    // A restarted attempt records afresh and brings the ghost back. Its
    // recording starts with the bike where the restart put it, at the tic
    // the last one ended.
    for (int i = 0; i < 40; i++) simulate_tic();
    restart_attempt();
    EXPECT_TRUE(recording_demo());
    {
        std::string path = "@rabbithill/lastlap.kvdemo";
        vfs_file* f = vfs_open(path.c_str(), "rb");
        demo_header h;
        std::string error;
        ASSERT_TRUE(read_demo_header(f, h, error)) << error;
        demo_stream stream;
        ASSERT_TRUE(open_demo_stream(stream, f, path, h.body_start));
        demo_chunk c;
        std::vector<uint8_t> payload;
        ASSERT_EQ(peek_chunk(stream, c), chunk_read::chunk);
        ASSERT_TRUE(read_chunk_payload(stream, c, payload));
        close_demo_stream(stream);
        EXPECT_EQ(c.tic, race.tic);
        ASSERT_EQ(payload.size(), (size_t)demo_state_record_bytes);
        byte_reader r = make_reader(payload.data(), payload.size());
        EXPECT_EQ(read_u8(r), 0);
        EXPECT_EQ(read_i32(r), race.tic);
        compact_state first;
        read_bytes(r, first.data(), first.size());
        EXPECT_EQ(first, encode_state(*bike_in_slot(0)));
    }
    ASSERT_NE(bike_in_slot(1), nullptr);
    EXPECT_TRUE(history_has_state_between(1, race.tic, race.tic));
    close_demo();
    EXPECT_TRUE(std::filesystem::exists(home_file("@rabbithill/lastlap.kvdemo")));
}

TEST_F(demo_race, TimeTrialLapsRaceTheGhostOfTheBestLap) {
    bike_setup saved = player_setup;
    player_setup.arcade = 1;
    ASSERT_TRUE(reset_race(race_setup{}));
    ASSERT_TRUE(race.free_riding && timing_active());
    const int f = first_lap_length();
    const std::string fast = home_file("@rabbithill/fastlap.kvdemo");
    EXPECT_FALSE(std::filesystem::exists(fast));
    EXPECT_EQ(bike_in_slot(1), nullptr);

    std::vector<int> laps;            // each timed lap, as the time trial kept it
    std::vector<bool> ghost_replaced;  // whether the lap became the ghost
    int crossings = 0;
    std::string ghost_before;
    compact_state lap_start{};    // the rider at the crossing that began the lap
    compact_state ghost_start{};  // the same for the lap that is the ghost
    for (int t = 0; t < 4 * 60 * tics_per_second && laps.size() < 2; t++) {
        int gates = race_slots[0].timing.gates_passed;
        int laps_before = laps_completed(0);
        ride();
        simulate_tic();
        // A lap ends at the finish line: the rider then goes on as from the
        // end of a first lap, and the ghost starts there too.
        bool ended = (laps_before == 0 && laps_completed(0) == 1) || race_slots[0].timing.gates_passed < gates;
        if (!ended) continue;
        crossings++;
        ASSERT_EQ(race_slots[0].timing.gates_passed, f) << crossings;
        ASSERT_TRUE(std::filesystem::exists(fast));
        ASSERT_NE(bike_in_slot(1), nullptr) << crossings;
        EXPECT_TRUE(recording_demo());
        std::string ghost_now = read_file(fast);
        if (crossings == 1) {
            // The first crossing ends the run-up, not a lap: it becomes the
            // ghost only because there was none.
            EXPECT_EQ(free_riding_laps().last_lap, 0);
        } else {
            laps.push_back(free_riding_laps().last_lap);
            ghost_replaced.push_back(ghost_now != ghost_before);
            if (ghost_replaced.back()) ghost_start = lap_start;
            // The ghost starts now from the rider's own state at the
            // crossing that began its lap: that exact record, not one some
            // tics into the lap.
            history_sample start;
            ASSERT_TRUE(history_state_at(1, race.tic, start)) << crossings;
            EXPECT_TRUE(start.target == ghost_start) << crossings;
            // So it stands where the rider stood then: both are the first
            // tic past the line (at about 42 ft/s a tic is a third of a
            // foot), on lines that differ by some inches from lap to lap.
            std::array<double, 3> rider = frame(0), ghost = frame(1);
            EXPECT_LT(std::hypot(rider[0] - ghost[0], rider[2] - ghost[2]), 1) << crossings;
        }
        lap_start = encode_state(*bike_in_slot(0));
        ghost_before = ghost_now;
        for (pilot_state& p : pilots) p = pilot_state{};
    }
    player_setup = saved;
    ASSERT_EQ(laps.size(), 2u);
    std::printf("time trial laps %.2f s and %.2f s, ghost replaced %d, %d\n", laps[0] / 128.0, laps[1] / 128.0,
                (int)ghost_replaced[0], (int)ghost_replaced[1]);
    for (int lap : laps) {
        EXPECT_GT(lap, 30 * tics_per_second);
        EXPECT_LT(lap, 90 * tics_per_second);
    }
    EXPECT_EQ(free_riding_laps().best_lap, std::min(laps[0], laps[1]));
    // The first timed lap beats the run-up ghost; the second becomes the
    // ghost only by reaching the line before it.
    EXPECT_TRUE(ghost_replaced[0]);
    EXPECT_EQ(ghost_replaced[1], laps[1] < laps[0]);
    keep("@rabbithill/fastlap.kvdemo", "fastlap.kvdemo");
}

TEST_F(demo_race, OldDemosPlayRecordByRecord) {
    ASSERT_TRUE(reset_race(lineup({slot_kind_human})));
    bike_state& b = *bike_in_slot(0);
    deactivate_bike(b);
    std::vector<compact_state> states;
    for (int k = 0; k < 400; k++) {
        states.push_back(encode_state(b));
        translate_bike(b, 0.05, 0, 0);
    }
    for (int version : {5, 4}) {
        int size = version == 4 ? compact_state_v4_bytes : compact_state_bytes;
        std::string body = format_string("KV0%d 1 0 0 1792\nrabbithill\ncr125||||\n12\n", version);
        for (const compact_state& st : states) body.append((const char*)st.data(), (size_t)size);
        write_file(home_file("@demos/old.kvdemo"), body);
        ASSERT_TRUE(reset_race(playback_of("@demos/old.kvdemo"))) << version;
        EXPECT_EQ(race.tic, 0);
        EXPECT_EQ(newest_history_tic(0), 8);  // one record per tic, 8 ahead
        auto x_code = [](const compact_state& st) { return st[0] | st[1] << 8 | st[2] << 16; };
        for (int i = 0; i < 10; i++) simulate_tic();
        EXPECT_EQ(x_code(encode_state(*bike_in_slot(0))), x_code(states[9])) << version;
        // A skip seeks straight to the record of the tic.
        seek_playback(1);
        EXPECT_EQ(race.tic, 10 + 128);
        EXPECT_EQ(x_code(encode_state(*bike_in_slot(0))), x_code(states[10 + 127])) << version;
        seek_playback(-1);
        EXPECT_EQ(race.tic, 10);
        EXPECT_EQ(x_code(encode_state(*bike_in_slot(0))), x_code(states[9])) << version;
        // "--accurate-skip" runs the race on instead, to the same place.
        cmdline.accurate_skip = true;
        seek_playback(1);
        cmdline.accurate_skip = false;
        EXPECT_EQ(race.tic, 10 + 128);
        EXPECT_EQ(x_code(encode_state(*bike_in_slot(0))), x_code(states[10 + 127])) << version;
    }
}

TEST_F(demo_race, RecordingsRotateAndAreReadableWhileWritten) {
    settings.demo_backups = 3;
    std::vector<std::string> made;
    for (int n = 0; n < 5; n++) {
        record_race({slot_kind_human, slot_kind_robot, slot_kind_robot}, 40 + 16 * n);
        if (n == 0) {
            // Still being written: every 16 tics is on disk and plays.
            vfs_file* f = vfs_open("@demos/default.kvdemo", "rb");
            demo_header h;
            std::string error;
            ASSERT_TRUE(read_demo_header(f, h, error)) << error;
            EXPECT_EQ(h.riders.size(), 3u);
            demo_stream stream;
            ASSERT_TRUE(open_demo_stream(stream, f, "@demos/default.kvdemo", h.body_start));
            int chunks = 0;
            demo_chunk c;
            std::vector<uint8_t> payload;
            while (peek_chunk(stream, c) == chunk_read::chunk && read_chunk_payload(stream, c, payload)) chunks++;
            EXPECT_EQ(chunks, 3);  // tics 0, 16 and 32
            close_demo_stream(stream);
        }
        stop_recording();
        made.push_back(read_file(home_file("@demos/default.kvdemo")));
    }
    EXPECT_EQ(read_file(home_file("@demos/default.kvdemo")), made[4]);
    EXPECT_EQ(read_file(home_file("@demos/default00.kvdemo")), made[3]);
    EXPECT_EQ(read_file(home_file("@demos/default01.kvdemo")), made[2]);
    EXPECT_EQ(read_file(home_file("@demos/default02.kvdemo")), made[1]);
    EXPECT_FALSE(std::filesystem::exists(home_file("@demos/default03.kvdemo")));

    // A name for the demo being recorded: its first word.
    set_demo_name("  evening race");
    EXPECT_STREQ(message_line(0), "Not currently recording a demo");
    record_race({slot_kind_human}, 20);
    set_demo_name("  evening race");
    EXPECT_STREQ(message_line(0), "Demo name updated");
    stop_recording();
    EXPECT_TRUE(std::filesystem::exists(home_file("@demos/evening.kvdemo")));
    EXPECT_FALSE(std::filesystem::exists(home_file("@demos/default.kvdemo")));
}

TEST_F(demo_race, DamagedDemosAreNotPlayed) {
    // A hostile header: refused with a message, and the reset goes on.
    std::filesystem::create_directories(home_file("@demos/"));
    write_file(home_file("@demos/bad.kvdemo"), "KV06 161 0\nrabbithill\n");
    ASSERT_TRUE(reset_race(playback_of("@demos/bad.kvdemo")));
    EXPECT_TRUE(shown("Can't play demo '@demos/bad.kvdemo': it names 161 riders (at most 160)"));
    EXPECT_FALSE(playing_demo());
    EXPECT_EQ(bike_in_slot(0), nullptr);

    // States of a rider the header does not list, a text record and a chunk
    // cut short: the listed rider plays, the text is shown, nothing breaks.
    ASSERT_TRUE(reset_race(lineup({slot_kind_human})));
    compact_state state = encode_state(*bike_in_slot(0));
    std::string path = home_file("@demos/odd.kvdemo");
    write_demo(path, {0, 4}, state);
    vfs_file* f = vfs_open(path.c_str(), "ab");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> foreign(demo_state_record_bytes, 0);
    foreign[0] = 9;
    foreign[1] = 8;
    uint32_t previous = 2 * demo_state_record_bytes;
    ASSERT_TRUE(write_demo_chunk(f, previous, 8, chunk_states, foreign.data(), foreign.size()));
    std::string text(2000, 'x');
    ASSERT_TRUE(write_demo_chunk(f, previous, 8, chunk_text, text.data(), text.size()));
    uint8_t cut[5] = {1, 2, 3, 4, 5};
    vfs_write(f, cut, sizeof cut);
    ASSERT_TRUE(vfs_close(f));
    ASSERT_TRUE(reset_race(playback_of("@demos/odd.kvdemo")));
    for (int i = 0; i < 100; i++) simulate_tic();
    EXPECT_EQ(newest_history_tic(0), 4);
    EXPECT_EQ(std::string(message_line(0)).substr(0, 10), "xxxxxxxxxx");
    // Its rider stopped more than 10 s ago: it no longer keeps the race open.
    EXPECT_FALSE(rider_exempt(0));
    while (race.tic < 1300) simulate_tic();
    EXPECT_TRUE(rider_exempt(0));
    EXPECT_TRUE(race_over());
}

}  // namespace
