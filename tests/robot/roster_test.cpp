// Which roster entry a gate entry gets, and the reset's shuffle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "core/bike_setup.h"
#include "core/random.h"
#include "race/race_tic.h"
#include "robot/robot.h"

namespace {

void seeded_shuffle(uint32_t seed) {
    random_seed(race_random(), seed);
    shuffle_robots();
}

TEST(roster, TableAndBrains) {
    EXPECT_EQ(roster_entry(0).number, "20");
    EXPECT_STREQ(roster_entry(3).bike, "kx125");
    EXPECT_EQ(roster_entry(3).bike_texture, "@kx125-alt1.png");
    EXPECT_EQ(roster_entry(4).bike_texture, "");
    EXPECT_EQ(roster_entry(4).rider_head, "");
    EXPECT_STREQ(roster_entry(39).bike, "yz250f_se(2006)");
    const robot_entry& e60 = roster_entry(60);
    EXPECT_EQ(e60.number, "80");
    EXPECT_STREQ(e60.brain, "zute");
    EXPECT_EQ(e60.rider_body, "@rider_body-alt1.png");
    EXPECT_EQ(e60.bike_texture, "@crf250-alt1.png");
    EXPECT_EQ(roster_entry(61).wheel_texture, "@wheels-alt2.png");
    EXPECT_STREQ(roster_entry(79).bike, "rmz250");
    EXPECT_EQ(find_brain("zute"), 3);
    EXPECT_EQ(find_brain("tester"), 4);
    EXPECT_EQ(find_brain("nobody"), 1);
    EXPECT_EQ(brain(3).reaction_max, 0.1f);
}

TEST(roster, ShuffleMovesEveryEntryAndRepeatsWithItsSeed) {
    seeded_shuffle(1234);
    auto first = robot_order();
    std::set<int> seen(first.begin(), first.end());
    EXPECT_EQ(seen.size(), (size_t)robot_roster_size);
    // Sattolo's shuffle is a single cycle: no entry keeps its place.
    for (int i = 0; i < robot_roster_size; i++) EXPECT_NE(first[(size_t)i], i);
    seeded_shuffle(1234);
    EXPECT_EQ(robot_order(), first);
    seeded_shuffle(99);
    EXPECT_NE(robot_order(), first);
}

TEST(roster, KindsTakeTheirEntries) {
    for (uint32_t seed : {1u, 7u, 4242u}) {
        seeded_shuffle(seed);
        // A series robot takes its number while it is free.
        EXPECT_EQ(assign_robot_entry(slot_kind_series_robot + 55), 35);
        EXPECT_NE(assign_robot_entry(slot_kind_series_robot + 55), 35);  // taken: the next entry
        // Four-strokes take 250s while any remain, then the rest.
        seeded_shuffle(seed);
        std::set<int> taken;
        for (int k = 0; k < robot_roster_size; k++) {
            int e = assign_robot_entry(slot_kind_robot_4stroke);
            EXPECT_TRUE(taken.insert(e).second) << "entry " << e << " taken twice";
            bool is250 = std::strstr(roster_entry(e).bike, "250") != nullptr;
            EXPECT_EQ(is250, k < 60) << "assignment " << k;
        }
        // Two-strokes likewise with 125s.
        seeded_shuffle(seed);
        for (int k = 0; k < 20; k++)
            EXPECT_NE(std::strstr(roster_entry(assign_robot_entry(slot_kind_robot_2stroke)).bike, "125"), nullptr);
    }
}

TEST(roster, MoreRobotsThanTheRosterReuseEntries) {
    seeded_shuffle(5);
    for (int k = 0; k < 200; k++) {
        int e = assign_robot_entry(slot_kind_robot);
        ASSERT_GE(e, 0);
        ASSERT_LT(e, robot_roster_size);
    }
    std::string model;
    bike_setup setup;
    seeded_shuffle(5);
    ASSERT_TRUE(assign_robot(3, slot_kind_series_robot + 80, 0, model, setup));
    EXPECT_EQ(model, "crf250");
    EXPECT_EQ(setup.number, "80");
    EXPECT_EQ(setup.bike_texture, "@crf250-alt1.png");
    EXPECT_EQ(setup.name, "Roborider");
    EXPECT_EQ(robot(3).brain, find_brain("zute"));
}

}  // namespace
