// The real program with its window under X: the loop runs, a window close
// ends it cleanly, and shutdown walks every stage.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "testkit/testkit.h"

extern char** environ;

namespace {

const std::string program = std::string(QX_BIN_DIR) + "/quarnix";

bool have_display() {
    const char* d = getenv("DISPLAY");
    return d && *d;
}

// `wanted` occurs in `log` in this order, each as the text after a line's
// time stamp.
bool lines_in_order(const std::string& log, const std::vector<std::string>& wanted, std::string* missing) {
    size_t at = 0;
    for (const std::string& w : wanted) {
        size_t found = log.find("] " + w, at);
        if (found == std::string::npos) {
            *missing = w;
            return false;
        }
        at = found + w.size();
    }
    return true;
}

const std::vector<std::string> window_and_shutdown = {
    "Creating window", "Creating OpenGL context", "GL_VENDOR: ", "GL_RENDERER: ", "Freeing memory (1)",
    "Closing input devices", "Closing audio", "Writing config files", "Freeing memory (2)", "Freeing memory (3)",
    "Freeing file list", "Freeing memory (4)", "Deleting textures", "Deleting models", "Deleting OpenGL context",
    "Destroying window", "Window shutdown complete"};

struct windowed_run : ::testing::Test {
    temp_dir home;
    std::string root0() const { return home.path + "/Quarnix/"; }
    void SetUp() override {
        if (!have_display()) GTEST_SKIP() << "no display";
        write_file(root0() + "config", "video_mode=Windowed\nxres=320\nyres=240\n");
    }
    std::vector<std::string> env(std::vector<std::string> extra) const {
        std::vector<std::string> all = {"XDG_DATA_HOME=" + home.path, "KV_HOME", "PLIX_LOGFILE", "PLIX_LOGFILE_FLAGS",
                                        "QUARNIX_NO_DIALOG=1"};
        all.insert(all.end(), extra.begin(), extra.end());
        return all;
    }
    std::string log() const { return read_file(root0() + "lastlog.txt"); }
};

TEST_F(windowed_run, RunsFramesAndShutsDownInOrder) {
    // Esc closes the main menu; the Screenshot key on the title does nothing.
    run_result r = run_program({program, "--nosound"},
                               env({"QUARNIX_QUIT_AFTER_FRAMES=90", "QUARNIX_TEST_KEYS=20:esc,40:s"}), 60);
    EXPECT_EQ(r.status, 0) << r.err;
    std::string missing;
    EXPECT_TRUE(lines_in_order(log(), window_and_shutdown, &missing)) << missing << "\n" << log();
    EXPECT_FALSE(path_exists(root0() + "screenshot001.png"));
    // The window's size is written back.
    std::string config = read_file(root0() + "config");
    EXPECT_NE(config.find("xres=320\nyres=240\n"), std::string::npos);
}

TEST_F(windowed_run, WindowCloseEndsTheLoopWithStatusZero) {
    std::vector<std::string> vars = env({});
    std::vector<std::string> strings;
    for (char** e = environ; *e; e++) {
        std::string s = *e;
        std::string name = s.substr(0, s.find('='));
        bool replaced = false;
        for (const std::string& v : vars) replaced = replaced || v.substr(0, v.find('=')) == name;
        if (!replaced) strings.push_back(s);
    }
    for (const std::string& v : vars)
        if (v.find('=') != std::string::npos) strings.push_back(v);
    std::vector<char*> envp;
    for (std::string& s : strings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string arg0 = program, arg1 = "--nosound";
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()), 0);

    // Let it reach the loop, then close the window as the desktop does.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (log().find("GL_VENDOR: ") == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    kill(pid, SIGTERM);  // SDL turns it into the window's close request
    int status = -1;
    for (int i = 0; i < 300; i++) {
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (i == 299) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "the program did not end after the close request";
        }
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::string missing;
    EXPECT_TRUE(lines_in_order(log(), window_and_shutdown, &missing)) << missing << "\n" << log();
}

}  // namespace

TEST_F(windowed_run, MainMenuStartsARaceAndQuitsThroughTheConfirmation) {
    write_file(root0() + "config",
               "video_mode=Windowed\nxres=320\nyres=240\ntrack=rabbithill\nslot00=Human\nslot01=Robot\n");
    // Up to "New Race" (the pointer rests over some item), choose it, down
    // to "Start", start; later Esc back to the main menu, down to "Quit",
    // choose it, and any key ends the program.
    std::string keys;
    for (int i = 0; i < 8; i++) keys += std::to_string(100 + 5 * i) + ":up,";
    keys += "140:enter,150:down,160:enter,400:esc";
    for (int i = 0; i < 8; i++) keys += "," + std::to_string(410 + 5 * i) + ":down";
    keys += ",460:enter,470:x";
    run_result r = run_program({program, "--nosound", "--rotate-lineup", "1"},
                               env({"QUARNIX_TEST_KEYS=" + keys}), 120);
    EXPECT_EQ(r.status, 0) << r.err << "\n" << log();
    std::string missing;
    // The start-up race, then the one the menu started.
    EXPECT_TRUE(lines_in_order(log(), {"Resetting", "Priority successfully set", "Resetting", "Loading bikes",
                                       "Writing config files"},
                               &missing))
        << missing << "\n"
        << log();
    // The next start's lineup went one gate on.
    std::string config = read_file(root0() + "config");
    EXPECT_NE(config.find("slot00=Empty\nslot01=Human\nslot02=Robot\n"), std::string::npos) << config;
}
