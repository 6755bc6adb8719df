// The headless race runner records a race as a demo and replays it: the
// replay has the same riders finishing in the same order, each lap within a
// tic or two of the time raced (the demo keeps every fourth tic's state).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "testkit/testkit.h"

namespace {

const std::string runner = std::string(QX_BIN_DIR) + "/quarnix-race";

struct standing {
    int slot = -1;
    bool finished = false;
    std::vector<double> laps;
};

// The rows of the results table: "pos slot number laps finished worst lap…".
std::vector<standing> standings(const std::string& out) {
    std::vector<standing> rows;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream row(line);
        int pos, slot, laps;
        std::string number, finished, worst;
        if (!(row >> pos >> slot >> number >> laps >> finished >> worst)) continue;
        standing s;
        s.slot = slot;
        s.finished = finished == "yes";
        for (double t; row >> t;) s.laps.push_back(t);
        rows.push_back(s);
    }
    return rows;
}

TEST(race_runner, DemoOfARaceReplaysToTheSameResults) {
    temp_dir dir;
    std::string demo = dir.file("race.kvdemo");
    run_result raced = run_program({runner, "--robots", "3", "--laps", "1", "--skill", "Expert", "--demo", demo}, {}, 300);
    ASSERT_EQ(raced.status, 0) << raced.out << raced.err;
    run_result played = run_program({runner, "--play", demo}, {}, 300);
    ASSERT_EQ(played.status, 0) << played.out << played.err;
    std::vector<standing> a = standings(raced.out), b = standings(played.out);
    ASSERT_EQ(a.size(), 3u) << raced.out;
    ASSERT_EQ(b.size(), a.size()) << played.out;
    for (size_t k = 0; k < a.size(); k++) {
        EXPECT_EQ(b[k].slot, a[k].slot) << "place " << k + 1;
        EXPECT_TRUE(a[k].finished && b[k].finished);
        ASSERT_EQ(b[k].laps.size(), a[k].laps.size());
        for (size_t l = 0; l < a[k].laps.size(); l++) EXPECT_NEAR(b[k].laps[l], a[k].laps[l], 0.03);
    }

    // What cannot be played is refused with a message.
    run_result missing = run_program({runner, "--play", dir.file("none.kvdemo")}, {}, 60);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("could not be played"), std::string::npos) << missing.err;
}

}  // namespace
