#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "core/cmdline.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/hooks.h"
#include "game/startup.h"
#include "core/text.h"
#include "core/timing.h"
#include "testkit/testkit.h"

namespace {

// The log's text without the "[h:mm:ss.cc] " stamp in front of each line.
std::string strip_stamps(const std::string& log) {
    std::string out;
    for (size_t at = 0, end; at < log.size(); at = end) {
        end = std::min(log.find('\n', at), log.size() - 1) + 1;
        size_t close = log.compare(at, 1, "[") == 0 ? log.find("] ", at) : std::string::npos;
        size_t body = close < end ? close + 2 : at;
        out.append(log, body, end - body);
    }
    return out;
}

// Every subsystem replaced by a fake that records its calls.
struct fake_program {
    std::vector<std::string> calls;
    std::vector<std::string> tracks = {"rabbithill", "dunes"};
    bool alive = true;
    int alive_until_sleeps = -1;  // the window goes away after this many sleeps
    int gone_after_gl = false;    // the window goes away once GL is up
    bool drawable = true;
    bool connected = false;
    int sleeps = 0;
    std::deque<std::pair<int, bool>> queue;  // code, pressed
    bool quit_seen_by_loop = false;
};
fake_program* fake = nullptr;

void call(const std::string& what) { fake->calls.push_back(what); }
// A fake that only records that it ran (and succeeds).
#define RECORD(name) [] { call(name); }
#define RECORD_OK(name) [] { call(name); return true; }

void install_fakes() {
    clear_hooks();
    app_time.now = [] { return 1000.0 + fake->sleeps; };
    app_time.sleep_for = [](double s) {
        call("sleep " + std::to_string(s));
        fake->sleeps++;
        if (fake->alive_until_sleeps >= 0 && fake->sleeps >= fake->alive_until_sleeps) fake->alive = false;
    };
    window_hook.build_video_modes = RECORD("video modes");
    window_hook.free_video_modes = RECORD("free video modes");
    window_hook.open = [](const char* title, int w, int h, int flags, int depth) {
        call(format_string("open window %s %dx%d %#x %d", title, w, h, flags, depth));
        return true;
    };
    window_hook.close = RECORD("close window");
    window_hook.alive = [] { return fake->alive; };
    window_hook.can_draw = [] { return fake->drawable; };
    window_hook.begin_frame = [] { return fake->drawable && fake->alive; };
    window_hook.end_frame = [] { return fake->alive; };
    input_hook.next_event = [](int& code, bool& pressed) {
        if (fake->queue.empty()) return false;
        code = fake->queue.front().first;
        pressed = fake->queue.front().second;
        fake->queue.pop_front();
        return true;
    };
    input_hook.open_bindings = RECORD("open bindings");
    input_hook.close_bindings = RECORD("close bindings");
    audio_hook.open_device = RECORD_OK("open audio");
    audio_hook.close_device = RECORD("close audio");
    audio_hook.free_sound_sets = RECORD("free sound sets");
    render_hook.load_bike_shapes = RECORD("bike shapes");
    render_hook.init_gl = [] {
        call("init gl");
        if (fake->gone_after_gl) fake->alive = false;
        return true;
    };
    render_hook.setup_gl_state = [](bool flat) { call(flat ? "gl state flat" : "gl state"); };
    render_hook.load_fixed_textures = RECORD("fixed textures");
    render_hook.delete_textures = RECORD("delete textures");
    render_hook.delete_models = RECORD("delete models");
    ui_hook.load_fonts = RECORD("fonts");
    ui_hook.free_font_textures = RECORD("free fonts");
    ui_hook.show_main_menu = RECORD("main menu");
    track_hook.reset_default_lighting = RECORD("default lighting");
    track_hook.scan_tracks = [] {
        call("scan tracks");
        return (int)fake->tracks.size();
    };
    track_hook.has_track = [](const char* name) {
        return std::find(fake->tracks.begin(), fake->tracks.end(), name) != fake->tracks.end();
    };
    track_hook.free_track = RECORD("free track");
    track_hook.free_track_lists = RECORD("free track lists");
    physics_hook.create_world = RECORD_OK("create world");
    physics_hook.destroy_world = RECORD("destroy world");
    demo_hook.open = [](const char* name, std::string& track) {
        call(std::string("open demo ") + name);
        track = "dunes";
        return true;
    };
    demo_hook.close = RECORD("close demo");
    race_hook.load_series = RECORD("series");
    race_hook.free_series = RECORD("free series");
    race_hook.empty_slots = [](bool local) { call(local ? "empty slots, local player" : "empty slots"); };
    race_hook.reset_race = [](const char* track, bool playback) {
        call(std::string("reset race ") + track + (playback ? " playback" : ""));
        return true;
    };
    race_hook.free_race = RECORD("free race");
    race_hook.free_bikes = RECORD("free bikes");
    race_hook.release_sounds = RECORD("release sounds");
    net_hook.connected = [] { return fake->connected; };
    net_hook.disconnect = RECORD("disconnect");
    net_hook.shutdown = RECORD("net shutdown");
    loop_hook.run = [] {
        call("frame loop");
        fake->quit_seen_by_loop = quit_requested;
    };
    loop_hook.free_lists = RECORD("free loop lists");
}

struct startup_fixture : ::testing::Test {
    vfs_sandbox box;
    fake_program program;
    void SetUp() override {
        fake = &program;
        log_printf(nullptr);
        unsetenv("PLIX_LOGFILE");
        write_file(box.root1() + "zzzz.saf", "-\n");
        install_fakes();
    }
    void TearDown() override {
        clear_hooks();
        app_time = time_source{};
        fake = nullptr;
    }
    int run(std::vector<std::string> args) {
        args.insert(args.begin(), "quarnix");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        return quarnix_main((int)args.size(), argv.data());
    }
    // The log's lines without time stamps, from "Quarnix version" on.
    std::vector<std::string> log_lines() {
        std::string text = strip_stamps(read_file(box.root0() + "lastlog.txt"));
        std::vector<std::string> lines;
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            lines.push_back(text.substr(at, end - at));
            at = end + 1;
        }
        return lines;
    }
    // The given lines appear in the log in this order.
    void expect_in_order(const std::vector<std::string>& lines, const std::vector<std::string>& wanted) {
        size_t at = 0;
        for (const std::string& w : wanted) {
            auto it = std::find(lines.begin() + (long)at, lines.end(), w);
            ASSERT_NE(it, lines.end()) << "missing or out of order: " << w;
            at = (size_t)(it - lines.begin()) + 1;
        }
    }
    bool logged(const std::string& line) {
        std::vector<std::string> lines = log_lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

TEST_F(startup_fixture, StagesRunInOrderAndShutdownReleasesInReverse) {
    program.connected = true;
    write_file(box.root0() + "config", "video_mode=Windowed\nxres=800\nyres=600\nlaps=9\n");
    ASSERT_EQ(run({"--fugly", "--zdepth", "24"}), 0);
    std::vector<std::string> want = {
        "video modes", "default lighting", "open window Quarnix 800x600 0x10 24", "bike shapes", "scan tracks",
        "series", "open audio", "init gl", "gl state flat", "fonts", "fixed textures", "open bindings",
        "create world", "empty slots, local player", "reset race rabbithill", "main menu", "frame loop",
        // shutdown
        "disconnect", "free race", "free bikes", "release sounds", "free track", "destroy world",
        "free loop lists", "close bindings", "close audio", "free sound sets", "net shutdown", "free series",
        "free track lists", "free video modes", "delete textures", "delete models", "free fonts", "close window",
        "sleep 1.000000"};
    EXPECT_EQ(program.calls, want);
    expect_in_order(log_lines(),
                    {"Quarnix version 0.1.0", "Listing directories", "File index complete", "Deallocating bikes",
                     "Finished deallocating bikes", "Freeing memory (1)", "Closing input devices", "Closing audio",
                     "Writing config files", "Freeing memory (2)", "Freeing memory (3)", "Freeing file list",
                     "Freeing memory (4)", "Deleting textures", "Deleting models"});
    // The configuration read at start is written back at the end.
    std::string config = read_file(box.root0() + "config");
    EXPECT_NE(config.find("\nlaps=9.000000\n"), std::string::npos);
    EXPECT_NE(config.find("\ntrack=rabbithill\n"), std::string::npos);
}

TEST_F(startup_fixture, WindowGoneBeforeInputStartsShutdownAtClosingAudio) {
    program.gone_after_gl = true;
    ASSERT_EQ(run({}), 0);
    std::vector<std::string> want = {
        "video modes", "default lighting", "open window Quarnix 0x0 0x210 16", "bike shapes", "scan tracks",
        "series", "open audio", "init gl", "gl state", "fonts", "fixed textures",
        // shutdown from "Closing audio"
        "close audio", "free sound sets", "net shutdown", "free series", "free track lists", "free video modes",
        "delete textures", "delete models", "free fonts", "close window", "sleep 1.000000"};
    EXPECT_EQ(program.calls, want);
    EXPECT_FALSE(logged("Closing input devices"));
    EXPECT_FALSE(logged("Freeing memory (1)"));
    EXPECT_TRUE(logged("Closing audio"));
    EXPECT_TRUE(path_exists(box.root0() + "config"));
}

TEST_F(startup_fixture, WaitingForTheWindowEndsWhenItIsGone) {
    program.drawable = false;
    program.alive_until_sleeps = 3;
    ASSERT_EQ(run({"--nosound"}), 0);
    EXPECT_EQ(program.sleeps, 4);  // three waits of 1/16 s, then the final second
    EXPECT_EQ(std::count(program.calls.begin(), program.calls.end(), "sleep 0.062500"), 3);
    EXPECT_EQ(std::count(program.calls.begin(), program.calls.end(), "open bindings"), 0);
    EXPECT_EQ(std::count(program.calls.begin(), program.calls.end(), "open audio"), 0);
}

TEST_F(startup_fixture, CloseRequestDuringLoadingReachesTheLoop) {
    program.drawable = false;  // waits at step 19 until the close request
    program.queue.push_back({0x1000 + 0x1e, true});
    program.queue.push_back({window_close_code, true});
    ASSERT_EQ(run({}), 0);
    EXPECT_TRUE(program.quit_seen_by_loop);
    EXPECT_EQ(program.sleeps, 1);  // only the final second
}

TEST_F(startup_fixture, NoTracksFailsWithoutWritingTheConfiguration) {
    program.tracks.clear();
    testing::internal::CaptureStderr();
    int status = run({});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("No tracks found\n"), std::string::npos);
    EXPECT_FALSE(path_exists(box.root0() + "config"));
    // What start-up took is given back, newest first.
    std::vector<std::string> tail(program.calls.end() - 2, program.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"close window", "free video modes"}));
    EXPECT_FALSE(log_is_open());
}

TEST_F(startup_fixture, DemoConnectAndTrackChoice) {
    ASSERT_EQ(run({"ride.kvdemo"}), 0);
    EXPECT_NE(std::find(program.calls.begin(), program.calls.end(), "open demo ride.kvdemo"), program.calls.end());
    EXPECT_NE(std::find(program.calls.begin(), program.calls.end(), "empty slots"), program.calls.end());
    EXPECT_NE(std::find(program.calls.begin(), program.calls.end(), "reset race dunes playback"),
              program.calls.end());
    EXPECT_NE(std::find(program.calls.begin(), program.calls.end(), "close demo"), program.calls.end());

    program.calls.clear();
    write_file(box.root0() + "config", "track=dunes\n");
    ASSERT_EQ(run({"--track", "nowhere"}), 0);
    EXPECT_NE(std::find(program.calls.begin(), program.calls.end(), "reset race dunes"), program.calls.end());

    program.calls.clear();
    program.tracks = {"other"};
    ASSERT_EQ(run({}), 0);
    for (const std::string& c : program.calls) EXPECT_EQ(c.find("reset race"), std::string::npos) << c;

    // Connecting: no start-up track, no main menu.
    program.calls.clear();
    program.tracks = {"rabbithill"};
    ASSERT_EQ(run({"--connect", "example.org"}), 0);
    for (const std::string& c : program.calls) {
        EXPECT_EQ(c.find("reset race"), std::string::npos) << c;
        EXPECT_NE(c, "main menu");
    }
}

}  // namespace
