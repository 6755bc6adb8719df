// The track list: which directories are tracks, their display names and
// their order.
#include <gtest/gtest.h>

#include "core/cmdline.h"
#include "track/track.h"
#include "track_fixture.h"
#include "vfs/saf.h"

namespace {

TEST(track_list, FindsEveryTrackOnceNamedByDescAndSortedWithoutCase) {
    vfs_sandbox box;
    temp_dir logs;
    auto put = [&](const std::string& name, const std::string& text) { write_file(box.root1() + name, text); };
    std::string hf = "6 1 0 1\n";
    std::vector<uint8_t> packed = gzip_bytes(hf.data(), hf.size());
    write_file(box.root1() + "a/terrain.hf.gz", packed);  // only the compressed field
    put("a/desc", std::string("b\0junk", 6));
    put("x/terrain.hf", hf);
    write_file(box.root1() + "x/terrain.hf.gz", packed);  // both: still one track
    put("x/desc", "A\r\nsecond line\n");
    put("deep/c/terrain.hf", hf);  // no desc: the path is the name
    put("d/terrain.hf", hf);
    put("d/desc", std::string(300, 'z'));
    put("e/terrain.hf", hf);
    put("e/desc", "\nname on the second line\n");
    put("f/terrain.hfx", hf);
    put("terrain.hf", hf);

    log_printf(nullptr);
    setenv("PLIX_LOGFILE", logs.file("log.txt").c_str(), 1);
    cmdline.debug_level = 1;
    EXPECT_EQ(scan_tracks(), 5);
    cmdline.debug_level = 0;
    log_printf(nullptr);
    unsetenv("PLIX_LOGFILE");

    std::vector<std::string> dirs = {"e", "x", "a", "deep/c", "d"};
    std::vector<std::string> names = {"", "A", "b", "deep/c", std::string(track_name_chars, 'z')};
    EXPECT_EQ(track_dirs(), dirs);
    EXPECT_EQ(track_names(), names);
    EXPECT_EQ(track_count(), 5);
    EXPECT_NE(read_file(logs.file("log.txt")).find("] x -> A\n"), std::string::npos);

    EXPECT_TRUE(has_track("deep/c"));
    EXPECT_FALSE(has_track("f"));
    EXPECT_FALSE(has_track(nullptr));
    EXPECT_EQ(track_display_name("a"), "b");
    EXPECT_EQ(track_display_name("elsewhere"), "elsewhere");

    // A second scan starts afresh.
    EXPECT_EQ(scan_tracks(), 5);
    free_track_lists();
    EXPECT_EQ(track_count(), 0);
    EXPECT_TRUE(track_names().empty());
}

}  // namespace
