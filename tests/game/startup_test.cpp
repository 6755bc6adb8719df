#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/loading.h"
#include "core/quit.h"
#include "core/text.h"
#include "fake_world.h"
#include "game/startup.h"
#include "testkit/testkit.h"

namespace {

// Every subsystem is a stand-in that records its calls (fake_world.h); each
// sleep moves the clock by a second.
struct startup_fixture : ::testing::Test {
    vfs_sandbox box;
    fake_world& program = (reset_world(), world());
    void SetUp() override {
        program.sleep_step = 1;
        program.record_sleeps = true;
        log_printf(nullptr);
        unsetenv("PLIX_LOGFILE");
        write_file(box.root1() + "zzzz.saf", "-\n");
    }
    void TearDown() override {
        app_clock = clock_driver{};
        loading_screen = loading_screen_driver{};
        reset_world();
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
        std::string text = strip_log_prefixes(read_file(box.root0() + "lastlog.txt"));
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
        "video modes", "default lighting", "open window Quarnix 800x600 0x410 24", "bike shapes", "scan tracks",
        "series", "open audio", "init gl", "gl state flat", "fonts", "fixed textures", "open bindings",
        "create world", "empty slots, local player", "reset race rabbithill", "main menu", "frame loop",
        // shutdown
        "disconnect", "close demo", "free race", "free bikes", "release script", "release sounds", "free track", "destroy world",
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
        "video modes", "default lighting", "open window Quarnix 0x0 0x610 16", "bike shapes", "scan tracks",
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

// "Auto" asks for a multisampled window and takes it back where a software
// rasteriser would pay for every sample; "Yes" keeps it, "No" never asks, and
// the terrain's copy methods (which read the back buffer) never ask either.
TEST_F(startup_fixture, MultisamplingFollowsTheSettingAndTheDriver) {
    const struct {
        const char* config;
        bool software;
        std::vector<std::string> windows;
    } cases[] = {
        {"multisample=Auto\n", true, {"open window Quarnix 640x480 0x410 16", "close window", "open window Quarnix 640x480 0x10 16"}},
        {"multisample=Auto\n", false, {"open window Quarnix 640x480 0x410 16"}},
        {"multisample=Yes\n", true, {"open window Quarnix 640x480 0x410 16"}},
        {"multisample=No\n", false, {"open window Quarnix 640x480 0x10 16"}},
        {"multisample=Yes\nrender_texture=Shaders/Copy\n", false, {"open window Quarnix 640x480 0x10 16"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config);
        reset_world();
        program.sleep_step = 1;
        program.software_samples = c.software;
        write_file(box.root0() + "config", std::string("video_mode=Windowed\n") + c.config);
        ASSERT_EQ(run({"--nosound"}), 0);
        std::vector<std::string> windows;
        for (const std::string& call : program.calls)
            if (call.rfind("open window", 0) == 0 || call == "close window") windows.push_back(call);
        windows.pop_back();  // the close at shutdown
        EXPECT_EQ(windows, c.windows);
        EXPECT_EQ(logged("Multisampling off: the driver rasterises in software"), c.windows.size() == 3);
    }
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

TEST_F(startup_fixture, HelpAndVersionAnswerBeforeAnythingElse) {
    for (const char* option : {"--help", "--version"}) {
        reset_world();
        testing::internal::CaptureStdout();
        int status = run({"--nosound", option, "--bogus"});
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, 0) << option;
        EXPECT_TRUE(program.calls.empty()) << option << ": " << program.calls.front();  // no display probe, no window
        EXPECT_FALSE(path_exists(box.root0() + "lastlog.txt")) << option;
        if (std::string(option) == "--help")
            EXPECT_NE(out.find("\n  --lock-fps X "), std::string::npos) << out;
        else
            EXPECT_EQ(out, "Quarnix 0.1.0\n");
    }
}

TEST_F(startup_fixture, ARecordingThatCannotStartIsSaidEverywhere) {
    write_file(box.root0() + "not-a-folder", "");
    struct attempt {
        std::string file;
        bool device;
        std::string message;
    };
    const attempt attempts[] = {
        {box.root0() + "not-a-folder/mix.raw", true,
         "Can't open " + box.root0() + "not-a-folder/mix.raw for writing: the audio is not being recorded"},
        {box.root0() + "mix.raw", false, "Can't open the audio recording device: the audio is not being recorded"},
    };
    for (const attempt& a : attempts) {
        reset_world();
        program.recording_works = a.device;
        testing::internal::CaptureStderr();
        EXPECT_EQ(run({"--record-audio", a.file}), 0);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(a.message + "\n"), std::string::npos) << err;
        EXPECT_TRUE(logged(a.message)) << a.message;
        bool on_screen = false;
        for (int age = 0; age < 20; age++) on_screen = on_screen || message_line(age) == a.message + "\n";
        EXPECT_TRUE(on_screen) << a.message;
    }
}

// The display server went away under the running game: the shutdown stages
// run (the configuration is written) without touching the display's GL
// context again, and the run ends with status 1 and a word why.
TEST_F(startup_fixture, DisplayGoneShutsDownNormallyWithStatusOne) {
    program.display_lost = true;
    testing::internal::CaptureStderr();
    int status = run({"--nosound"});
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("The display went away: Quarnix shuts down\n"), std::string::npos) << err;
    EXPECT_TRUE(path_exists(box.root0() + "config"));
    expect_in_order(log_lines(), {"The display went away: Quarnix shuts down", "Closing input devices",
                                  "Writing config files", "Freeing file list", "Deleting textures"});
    for (const char* gl : {"delete textures", "delete models", "free fonts"})
        EXPECT_EQ(std::count(program.calls.begin(), program.calls.end(), gl), 0) << gl;
    EXPECT_EQ(program.calls.back(), "sleep 1.000000");
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
