// The lines file, the line costs and the cheapest chains of lines.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "robot/robot.h"

namespace {

// A straight line of n points along +x from x0 at z, 10 ft apart.
riding_line straight(float x0, float z, int n, float speed = 30) {
    riding_line l;
    for (int i = 0; i < n; i++) l.line_points.push_back({x0 + 10.0f * i, 1, z, speed, speed * 0.68f});
    return l;
}

riding_line tested(riding_line l, int tests, int mean, int fails = 0) {
    l.tests = tests;
    l.sum_a = tests * mean;
    l.sum_b = tests * mean * 2;
    l.fails = fails;
    l.line_id = next_line_id();
    return l;
}

TEST(lines_file, RoundTripAndRefusals) {
    clear_lines(1, 2);
    lines().stretches[0][0] = tested(straight(0, 0, 4), 7, 300, 1);
    lines().stretches[2][0] = straight(5, 5, 3);
    lines().stretches[2][0].line_points[1].speed = -12.5f;  // airborne
    std::string text = encode_lines(lines());
    EXPECT_EQ(text.substr(0, 7), "ct03 3\n");

    line_store back;
    back.first_lap = 1;
    back.normal_lap = 2;
    ASSERT_TRUE(parse_lines(text.data(), text.size(), back));
    const riding_line& a = back.stretches[0][0];
    ASSERT_EQ(a.line_points.size(), 4u);
    EXPECT_EQ(a.tests, 7);
    EXPECT_EQ(a.sum_a, 2100);
    EXPECT_EQ(a.fails, 1);
    EXPECT_FLOAT_EQ(a.line_points[3].x, 30);
    EXPECT_FLOAT_EQ(back.stretches[2][0].line_points[1].speed, -12.5f);
    EXPECT_TRUE(back.stretches[1][0].line_points.empty());
    EXPECT_NE(a.line_id, back.stretches[2][0].line_id);
    EXPECT_EQ(encode_lines(back), text);

    // Another track's stretch count, a count beyond bounds, a broken point:
    // refused, store empty, nothing huge allocated.
    line_store other;
    other.first_lap = 2;
    other.normal_lap = 2;
    EXPECT_FALSE(parse_lines(text.data(), text.size(), other));
    EXPECT_EQ(other.stretches.size(), 4u);
    for (std::string bad : {std::string("ct03 3\n2000000000\n"), std::string("ct03 3\n1\n2147483647 0 0 0 0 0 0 0 0\n"),
                            std::string("ct03 3\n1\n2 0 0 0 0 0 0 0 0\n[1 2 3] 4 5\n[1 x 3] 4 5\n"),
                            std::string("ct03 -5\n"), std::string("kt03 3\n"), std::string("ct03 3\n1\n-4 0 0 0 0 0 0 0 0\n")}) {
        line_store s;
        s.first_lap = 1;
        s.normal_lap = 2;
        EXPECT_FALSE(parse_lines(bad.data(), bad.size(), s)) << bad;
        for (const auto& st : s.stretches)
            for (const riding_line& l : st) EXPECT_TRUE(l.line_points.empty());
    }
}

TEST(lines_file, KeepsFortyFiveLinesAndAgesStatistics) {
    std::string text = "ct03 1\n50\n";
    for (int i = 0; i < 50; i++) text += "2 10 20 0 1000000 1000000 0 0 0\n[" + std::to_string(i) + " 0 0] 1 1\n[1 0 0] 1 1\n";
    line_store s;
    s.first_lap = 1;
    ASSERT_TRUE(parse_lines(text.data(), text.size(), s));
    int n = 0;
    for (const riding_line& l : s.stretches[0]) n += !l.line_points.empty();
    EXPECT_EQ(n, 45);
    EXPECT_FLOAT_EQ(s.stretches[0][44].line_points[0].x, 44);

    // tests 200000, sums over the cap: halved until within bounds, the
    // means kept.
    std::string old = "ct03 1\n1\n1 10 20 200000 5 9 60000000 200000000 70000\n[0 0 0] 1 1\n";
    ASSERT_TRUE(parse_lines(old.data(), old.size(), s));
    const riding_line& l = s.stretches[0][0];
    EXPECT_LT(l.tests, 65536);
    EXPECT_LE(l.sum_b, 100000000);
    EXPECT_LE(l.fails, 65535);
    EXPECT_NEAR((double)l.sum_b / l.tests, 1000.0, 1.0);
    EXPECT_NEAR((double)l.sum_a / l.tests, 300.0, 1.0);
}

TEST(line_costs, Kinds) {
    riding_line l = tested(straight(0, 0, 3), 10, 500, 0);
    EXPECT_EQ(line_cost(l, 0), 500);
    EXPECT_EQ(line_cost(tested(straight(0, 0, 3), 4, 500), 0), unusable_cost);
    EXPECT_EQ(line_cost(tested(straight(0, 0, 3), 4, 500), 2), 500);
    EXPECT_EQ(line_cost(tested(straight(0, 0, 3), 10, 500, 10), 0), 500 + 320);
    EXPECT_EQ(line_cost(tested(straight(0, 0, 3), 10, 500, 10), 2), 500 + 640);
    EXPECT_EQ(line_cost(riding_line{}, 3), 0);
    EXPECT_EQ(line_cost(tested(straight(0, 0, 3), 3, 1), 3), (2 + 4) * 1000);
    EXPECT_EQ(line_cost(tested(straight(0, 0, 3), 1, 1, 10), 3), 100000);
}

// Lines round a circle, 12 points a stretch, three stretches a turn: the
// stretch's arc at radius r, so stretch k leads on into stretch k + 1.
riding_line arc(float r, int k) {
    riding_line l;
    const float step = 6.2831853f / 36;
    for (int i = 0; i < 12; i++) {
        float a = (k * 12 + i) * step;
        l.line_points.push_back({r * std::cos(a), 1, r * std::sin(a), 30, 20});
    }
    return l;
}

// Two lines per stretch: a fast one on the inside and a slow one 40 ft
// outside, which connect only among themselves. The fast chain is dear in
// the normal lap's last stretch, so the closed lap takes the slow lines,
// and the first lap must lead into them.
TEST(chains, CheapestChainsAndClosedLap) {
    const int Fu = 2, Nu = 3;
    clear_lines(Fu, Nu);
    auto& st = lines().stretches;
    for (int k = 0; k < Fu + Nu; k++) {
        st[(size_t)k][0] = tested(arc(60, k), 10, 100 + k);
        st[(size_t)k][1] = tested(arc(100, k), 10, 200 + k);
    }
    EXPECT_TRUE(lines_connect(st[0][0], st[1][0]));
    EXPECT_FALSE(lines_connect(st[0][0], st[1][1]));
    EXPECT_TRUE(lines_connect(st[4][0], st[2][0]));  // round the lap
    EXPECT_EQ(cheapest_chain_from(0, 0, 2, 0), 100 + 101);
    EXPECT_EQ(cheapest_chain_from(0, 1, 2, 0), 200 + 201);
    // Race stretches past the first lap repeat the normal lap.
    EXPECT_EQ(store_stretch(5), 2);
    EXPECT_EQ(store_stretch(8), 2);
    EXPECT_EQ(store_stretch(6), 3);
    // Over 8 stretches from stretch 0: 0 1 2 3 4 2 3 4.
    EXPECT_EQ(cheapest_chain_from(0, 0, 8, 0), 100 + 101 + 2 * (102 + 103 + 104));
    // A broken connection: no chain continues.
    for (line_point& p : st[1][0].line_points) p.x += 500;
    EXPECT_EQ(cheapest_chain_from(0, 0, 2, 0), unusable_cost);
    st[1][0] = tested(arc(60, 1), 10, 101);

    st[4][0] = tested(arc(60, 4), 10, 900);
    analyze_lines();
    const auto& ref = lines().reference[0];
    // Normal lap: 102 + 103 + 900 against 202 + 203 + 204.
    EXPECT_EQ(ref[2], st[2][1].line_id);
    EXPECT_EQ(ref[3], st[3][1].line_id);
    EXPECT_EQ(ref[4], st[4][1].line_id);
    EXPECT_EQ(ref[0], st[0][1].line_id);
    EXPECT_EQ(ref[1], st[1][1].line_id);
    EXPECT_EQ(lines().reference[2][4], st[4][1].line_id);
}

TEST(chains, EvictionProtectsUniqueStartsAndGoodStretches) {
    clear_lines(1, 0);
    auto& st = lines().stretches[0];
    st[0] = tested(straight(0, 0, 3), 10, 100, 20);   // fails >= tests
    st[1] = tested(straight(0, 1, 3), 10, 300, 0);    // good
    st[2] = tested(straight(500, 0, 3), 10, 100, 30); // fails, unique start: counts 3/4
    st[0].sum_b = 10 * 200;
    st[2].sum_b = 10 * 250;
    // Expected times: 0: 640*20/30 + 200 = 626.7; 2: (640*30/40 + 250) * 0.75 = 547.5.
    EXPECT_EQ(eviction_choice(0), 0);
    st[0] = riding_line{};
    EXPECT_EQ(eviction_choice(0), 2);
    st[2] = riding_line{};
    EXPECT_EQ(eviction_choice(0), -1);  // the one good line is kept
}

}  // namespace
