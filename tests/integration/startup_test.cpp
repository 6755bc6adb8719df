#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testkit/testkit.h"

namespace {


const std::string program = std::string(QX_BIN_DIR) + "/quarnix";

// Runs the game with its home under a fresh folder and the data archive of
// the build (the program's own folder is a data root when KV_HOME is unset).
struct game_run : ::testing::Test {
    temp_dir home;
    std::string root0() const { return home.path + "/Quarnix/"; }
    run_result run(std::vector<std::string> args, std::vector<std::string> env = {}) {
        args.insert(args.begin(), program);
        // A run that opens its window ends after a few frames.
        std::vector<std::string> all = {"XDG_DATA_HOME=" + home.path, "KV_HOME", "PLIX_LOGFILE",
                                        "PLIX_LOGFILE_FLAGS", "QUARNIX_NO_DIALOG=1", "QUARNIX_QUIT_AFTER_FRAMES=5"};
        all.insert(all.end(), env.begin(), env.end());
        return run_program(args, all, 60);
    }
    std::string log() const {
        return strip_log_prefixes(read_file(root0() + "lastlog.txt"));
    }
    std::string config() const { return read_file(root0() + "config"); }
};

// `wanted` occurs in `text` line by line in this order.
bool in_order(const std::string& text, const std::vector<std::string>& wanted) {
    size_t at = 0;
    for (const std::string& w : wanted) {
        size_t found = text.find(w + "\n", at);
        if (found == std::string::npos) return false;
        at = found + w.size();
    }
    return true;
}

bool have_display() {
    const char* d = getenv("DISPLAY");
    return d && *d;
}

TEST_F(game_run, PlainStartRunsTheStagesAndWritesTheConfiguration) {
    if (!have_display()) GTEST_SKIP() << "no display";
    write_file(root0() + "config", "laps=9\nname=Test Rider\n");
    run_result r = run({"--nosound"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(in_order(log(), {"PLIX 0.31", "Quarnix version 0.1.0", "Creating window", "Listing directories",
                                 "File index complete", "Freeing memory (1)", "Closing input devices",
                                 "Closing audio", "Writing config files", "Freeing memory (2)", "Freeing memory (3)",
                                 "Freeing file list", "Freeing memory (4)", "Deleting textures", "Deleting models",
                                 "Window shutdown complete"}))
        << log();
    std::string c = config();
    EXPECT_EQ(c.substr(0, 9), "xres=640\n");
    EXPECT_NE(c.find("\nlaps=9.000000\n"), std::string::npos);
    EXPECT_NE(c.find("\nname=Test Rider\n"), std::string::npos);
    EXPECT_NE(c.find("\nbike=yz250f(2017)\n"), std::string::npos);
}

TEST_F(game_run, CommandLineErrorsExitWithStatusOneAndWriteNothing) {
    struct bad_line {
        std::vector<std::string> args;
        std::string message;
    };
    const bad_line cases[] = {
        {{"--bogus"}, "bad option '--bogus'\n"},
        {{"--texture-detail", "abc"}, "Bad arg for --texture-detail\n"},
        {{"--nosound", "--width"}, "Bad arg for --width\n"},
        {{"--erode=lots"}, "Bad arg for --erode\n"},
        {{"one.kvdemo", "two.kvdemo"}, "Too many files!\n"},
    };
    for (const bad_line& b : cases) {
        run_result r = run(b.args);
        EXPECT_EQ(r.status, 1) << b.message;
        EXPECT_EQ(r.err, b.message);
        EXPECT_FALSE(path_exists(root0() + "config")) << b.message;
    }
    // An existing configuration is left exactly as it was.
    write_file(root0() + "config", "laps=3\n");
    EXPECT_EQ(run({"--chase-center", "1,2"}).status, 1);
    EXPECT_EQ(config(), "laps=3\n");
}

TEST_F(game_run, OptionsThatGoOn) {
    if (!have_display()) GTEST_SKIP() << "no display";
    run_result r = run({"--bikes", "17", "--nosound", "--texture-detail=9", "--connect", "quarnix:race.example.org"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("--bikes doesn't do anything anymore\n"), 0u) << r.err;
    std::string c = config();
    EXPECT_NE(c.find("\nserver_name=race.example.org\nserver_name_hist00=race.example.org\n"), std::string::npos);
    // After "--" a name beginning with "-" is a demo file, not an option.
    EXPECT_EQ(run({"--nosound", "--", "-odd.kvdemo"}).status, 0);
}

TEST_F(game_run, MissingGameDataFailsBeforeAnyWindow) {
    temp_dir empty;
    run_result r = run({}, {"KV_HOME=" + empty.path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Problem starting Quarnix: Can't find game data\n");
    EXPECT_FALSE(path_exists(root0() + "config"));
    EXPECT_NE(log().find("PLIX 0.31\n"), std::string::npos);
}

TEST_F(game_run, OpenHomeWithoutADesktopShell) {
    temp_dir no_tools;
    run_result r = run({"--open-home"}, {"PATH=" + no_tools.path});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(path_exists(root0()));
    EXPECT_FALSE(path_exists(root0() + "lastlog.txt"));  // nothing else happens
    EXPECT_NE(r.err.find("xdg-open"), std::string::npos);

    // Later on the command line it acts after the log and the data check.
    run_result later = run({"--nosound", "--open-home", "--bogus"}, {"PATH=" + no_tools.path});
    EXPECT_EQ(later.status, 0);
    EXPECT_TRUE(path_exists(root0() + "lastlog.txt"));
    EXPECT_FALSE(path_exists(root0() + "config"));
}

}  // namespace
