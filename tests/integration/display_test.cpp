// The real program and its display: answers that need none, and a display
// server that goes away under the running game.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "testkit/testkit.h"
#include "testkit/x_server.h"

namespace {

const std::string program = std::string(QX_BIN_DIR) + "/quarnix";

TEST(no_display, HelpAndVersionNeedNoDisplay) {
    temp_dir home;
    const std::vector<std::string> env = {"DISPLAY", "WAYLAND_DISPLAY", "XDG_DATA_HOME=" + home.path,
                                          "QUARNIX_NO_DIALOG=1"};
    run_result help = run_program({program, "--help"}, env, 30);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: quarnix [options] [demo file]\n", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("\n  --nosound "), std::string::npos);
    run_result version = run_program({program, "--version"}, env, 30);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "Quarnix 0.1.0\n");
    EXPECT_EQ(version.err, "");
    EXPECT_FALSE(path_exists(home.path + "/Quarnix/lastlog.txt"));
}

// The server is killed while the game runs with its audio device open (the
// device's thread once made the exit abort): the game shuts down through its
// stages, writes its configuration and ends with status 1.
TEST(lost_display, ServerGoneUnderTheRunningGame) {
    if (!x_server::available()) GTEST_SKIP() << "no Xvfb";
    x_server server;
    ASSERT_TRUE(server.start());
    temp_dir home;
    std::string root0 = home.path + "/Quarnix/";
    write_file(root0 + "config", "video_mode=Windowed\nxres=320\nyres=240\nlaps=7\n");
    std::thread killer([&] {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (read_file(root0 + "lastlog.txt").find("Priority ") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        server.stop();
    });
    run_result r = run_program({program},
                               {"DISPLAY=" + server.display(), "XAUTHORITY", "SDL_AUDIODRIVER=dummy",
                                "XDG_DATA_HOME=" + home.path, "KV_HOME", "PLIX_LOGFILE", "QUARNIX_NO_DIALOG=1"},
                               90);
    killer.join();
    std::string log = strip_log_prefixes(read_file(root0 + "lastlog.txt"));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("The display went away: Quarnix shuts down\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("terminate called"), std::string::npos) << r.err;
    size_t lost = log.find("The connection to the display server was lost\n");
    ASSERT_NE(lost, std::string::npos) << log;
    for (const char* stage : {"Closing input devices", "Closing audio", "Writing config files", "Freeing file list",
                              "Window shutdown complete (the display was gone)"})
        EXPECT_NE(log.find(std::string(stage) + "\n", lost), std::string::npos) << stage << "\n" << log;
    EXPECT_NE(read_file(root0 + "config").find("\nlaps=7.000000\n"), std::string::npos);
}

}  // namespace
