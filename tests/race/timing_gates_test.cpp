#include <gtest/gtest.h>

#include <string>

#include "race/timing_gates.h"
#include "testkit/testkit.h"
#include "vfs/vfs.h"

namespace {

timing_data parse(const std::string& text) {
    temp_dir dir;
    write_file(dir.file("timing_gates"), text);
    vfs_file* f = vfs_open(dir.file("timing_gates").c_str(), "rb");
    timing_data d;
    load_timing_gates(f, d);
    if (f) vfs_close(f);
    return d;
}

const char* three_gates =
    "startinggate:\n"
    "[ 1 2 3 ] 0.5\n"
    "[ 4 5 6 ] 7 @gate.jm @gate.png @gate.shp\n"
    "checkpoints:\n"
    "10 [ 0 0 0 ] [ 0 0 -1 ]\n"
    "12 [ 5 0 0 ] [ 1 0 0 ]\n"
    "14 [ 9 1 2 ] [ 0 0 1 ]\n";

TEST(timing_gates, FullFileParses) {
    timing_data d = parse(std::string(three_gates) + "firstlap: 0 1 2\nnormallap: 0 1 100005 2\n");
    ASSERT_EQ(d.starts.size(), 2u);
    EXPECT_FLOAT_EQ(d.starts[0].position[2], 3);
    EXPECT_FLOAT_EQ(d.starts[0].angle, 0.5f);
    EXPECT_EQ(d.starts[0].model, "@startgate.jm");
    EXPECT_EQ(d.starts[0].shape, "@startgate.shp");
    EXPECT_EQ(d.starts[1].texture, "@gate.png");
    // 7 rad wraps into -pi..pi.
    EXPECT_NEAR(d.starts[1].angle, 7 - 2 * 3.14159265, 1e-5);
    ASSERT_EQ(d.gates.size(), 3u);
    EXPECT_FLOAT_EQ(d.gates[1].radius, 12);
    EXPECT_FLOAT_EQ(d.gates[2].centre[1], 1);
    EXPECT_EQ(d.first_lap, (std::vector<int>{0, 1, 2}));
    // 100005 with three gates is stored as 100002.
    EXPECT_EQ(d.normal_lap, (std::vector<int>{0, 1, 100002, 2}));
    EXPECT_TRUE(d.active);
}

TEST(timing_gates, ShortListsLeaveTimingOff) {
    timing_data d = parse(std::string(three_gates) + "firstlap: 0 1\nnormallap: 0 1 2\n");
    EXPECT_FALSE(d.active);
    EXPECT_EQ(d.starts.size(), 2u);  // start positions are kept anyway
    // Flagged entries do not count towards the three.
    d = parse(std::string(three_gates) + "firstlap: 0 100001 2\nnormallap: 0 1 2\n");
    EXPECT_FALSE(d.active);
}

TEST(timing_gates, EntriesAreClampedToRealGates) {
    timing_data d = parse(std::string(three_gates) + "firstlap: -4 9 1\nnormallap: 2 2 2 200007\n");
    EXPECT_EQ(d.first_lap, (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(d.normal_lap, (std::vector<int>{2, 2, 2, 100002}));
}

TEST(timing_gates, MalformedFilesDefineLittle) {
    EXPECT_TRUE(parse("").starts.empty());
    EXPECT_TRUE(parse("startinggate:[ 1 2 3 ] 0\n").starts.empty());  // no white space after the keyword
    EXPECT_TRUE(parse("gates:\n[ 1 2 3 ] 0\n").starts.empty());
    // A bad gate record ends the gates; the lists then refer to what was read.
    timing_data d = parse(
        "startinggate:\ncheckpoints:\n10 [ 0 0 0 ] [ 0 0 1 ]\n10 [ 0 0 ] [ 0 0 1 ]\nfirstlap: 0 0 0\nnormallap: 0 0 0\n");
    EXPECT_EQ(d.gates.size(), 1u);
    EXPECT_FALSE(d.active);  // the lists were not reached behind the bad record
    // No gates at all: entries never index past the table.
    d = parse("startinggate:\ncheckpoints:\nfirstlap: 5 6 7\nnormallap: 1 2 3\n");
    EXPECT_TRUE(d.gates.empty());
    for (int v : d.first_lap) EXPECT_EQ(v, 0);
    EXPECT_FALSE(d.active);
    // Non-finite numbers never reach the positions.
    d = parse("startinggate:\n[ nan 0 0 ] 0\n[ 1 1 1 ] inf\ncheckpoints:\ninf [ 0 0 0 ] [ 0 0 1 ]\n");
    ASSERT_EQ(d.starts.size(), 1u);
    EXPECT_FLOAT_EQ(d.starts[0].angle, 0);
    ASSERT_EQ(d.gates.size(), 1u);
    EXPECT_FLOAT_EQ(d.gates[0].radius, 0);
}

TEST(timing_gates, WriterRoundTrips) {
    timing_data d;
    for (int i = 0; i < 160 + 5; i++) {
        start_gate_position p;
        p.position[0] = (float)i * 3.25f;
        p.angle = -0.25f;
        d.starts.push_back(p);
    }
    d.starts[3].model = "@other.jm";
    for (int i = 0; i < 5; i++) {
        timing_gate g;
        g.radius = 20.5f + (float)i;
        g.centre[0] = (float)i * 10;
        g.direction[2] = -1;
        d.gates.push_back(g);
    }
    d.first_lap = {0, 1, 2, 3, 4};
    d.normal_lap = {0, 100001, 2, 3, 4};
    temp_dir dir;
    ASSERT_TRUE(write_timing_gates(dir.file("timing_gates").c_str(), d));
    vfs_file* f = vfs_open(dir.file("timing_gates").c_str(), "rb");
    timing_data back;
    load_timing_gates(f, back);
    vfs_close(f);
    EXPECT_EQ(back.starts.size(), 160u);  // at most 160 are kept
    EXPECT_EQ(back.starts[3].model, "@other.jm");
    EXPECT_FLOAT_EQ(back.starts[7].position[0], 7 * 3.25f);
    ASSERT_EQ(back.gates.size(), 5u);
    EXPECT_FLOAT_EQ(back.gates[4].radius, 24.5f);
    EXPECT_EQ(back.first_lap, d.first_lap);
    EXPECT_EQ(back.normal_lap, d.normal_lap);
    EXPECT_TRUE(back.active);
}

}  // namespace
