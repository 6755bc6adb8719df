// `cmake --install` to a fresh prefix gives a game that runs from there
// alone: its data archive beside it, the commands, the desktop entry and
// the icon.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "testkit/testkit.h"

namespace {

bool have_display() {
    const char* d = getenv("DISPLAY");
    return d && *d;
}

TEST(install, InstalledGameRunsWithoutTheBuildTree) {
    temp_dir prefix;
    run_result install = run_program({QX_CMAKE_COMMAND, "--install", QX_BUILD_DIR, "--prefix", prefix.path}, {}, 120);
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    for (const char* file : {"lib/quarnix/quarnix", "lib/quarnix/zzzz.saf", "bin/quarnix",
                             "share/applications/quarnix.desktop", "share/icons/hicolor/scalable/apps/quarnix.svg"})
        EXPECT_TRUE(path_exists(prefix.file(file))) << file;
    // The command is a link into the game's folder, which holds nothing else
    // (it is a data root, walked at start-up).
    char target[PATH_MAX] = {};
    ASSERT_GT(readlink(prefix.file("bin/quarnix").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "../lib/quarnix/quarnix");
    std::string entry = read_file(prefix.file("share/applications/quarnix.desktop"));
    EXPECT_NE(entry.find("\nExec=" + prefix.path + "/bin/quarnix\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=quarnix\n"), std::string::npos);

    temp_dir home;
    const std::vector<std::string> env = {"XDG_DATA_HOME=" + home.path, "KV_HOME", "PLIX_LOGFILE",
                                          "QUARNIX_NO_DIALOG=1", "QUARNIX_QUIT_AFTER_FRAMES=5"};
    run_result version = run_program({prefix.file("bin/quarnix"), "--version"}, env, 30);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "Quarnix 0.1.0\n");
    if (!have_display()) GTEST_SKIP() << "no display for the short run";
    // A short run from the installed tree, started from elsewhere: the data
    // comes from the archive beside the installed program.
    write_file(home.file("Quarnix/config"), "video_mode=Windowed\nxres=320\nyres=240\n");
    run_result run = run_program({prefix.file("bin/quarnix"), "--nosound"}, env, 120);
    EXPECT_EQ(run.status, 0) << run.err;
    std::string log = strip_log_prefixes(read_file(home.file("Quarnix/lastlog.txt")));
    EXPECT_NE(log.find("\nFile index complete\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nWriting config files\n"), std::string::npos) << log;
}

}  // namespace
