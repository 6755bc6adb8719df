// The frame's arithmetic without GL: projection, ghost fade, billboard order
// and the lens flares' visibility.
#include "render/frame_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

TEST(frame_projection, FieldOfViewIsTheWidthOfAFourByThreeView) {
    frustum_extents wide = projection_extents(1920, 1080, 90);
    EXPECT_NEAR(wide.hy, 0.75, 1e-12);
    EXPECT_NEAR(wide.hx, 0.75 * 1920 / 1080, 1e-12);
    frustum_extents classic = projection_extents(640, 480, 90);
    EXPECT_NEAR(classic.hx, 1.0, 1e-12);
    EXPECT_NEAR(classic.hy, 0.75, 1e-12);
    frustum_extents tall = projection_extents(600, 800, 90);
    EXPECT_NEAR(tall.hx, 1.0, 1e-12);
    EXPECT_NEAR(tall.hy, 800.0 / 600.0, 1e-12);
    // A window of no size keeps a usable frustum.
    frustum_extents none = projection_extents(0, 0, 90);
    EXPECT_GT(none.hx, 0);
    EXPECT_GT(none.hy, 0);
}

TEST(frame_culling, SpheresOutsideTheViewAreLeftOut) {
    frustum_extents f{1, 0.75};  // 90 degrees across
    struct probe {
        double x, y, z, r;
        bool seen;
    } probes[] = {
        {0, 0, -10, 1, true},      // straight ahead
        {0, 0, 10, 1, false},      // behind
        {0, 0, 0.5, 1, true},      // around the camera
        {0, 0, 1.5, 1, false},     // just behind, clear of the camera's plane
        {10.5, 0, -10, 1, true},   // past the right edge by less than its radius
        {12, 0, -10, 1, false},    // past it by more
        {-12, 0, -10, 1, false},   // the left edge alike
        {0, 8, -10, 1, true},      // above, overlapping
        {0, -9, -10, 1, false},    // below, clear
        {0, -9, -10, 2, true},     // a larger sphere reaches in
    };
    for (const probe& p : probes)
        EXPECT_EQ(sphere_in_view(p.x, p.y, p.z, p.r, f), p.seen) << p.x << " " << p.y << " " << p.z << " r " << p.r;
}

TEST(frame_ghosts, FadeByDistanceFromTheRider) {
    EXPECT_FLOAT_EQ(ghost_fade(3, 10), 0);
    EXPECT_FLOAT_EQ(ghost_fade(5, 10), 0);
    EXPECT_FLOAT_EQ(ghost_fade(7.5, 10), 0.5f);
    EXPECT_FLOAT_EQ(ghost_fade(10, 10), 1);
    EXPECT_FLOAT_EQ(ghost_fade(40, 10), 1);
    EXPECT_FLOAT_EQ(ghost_fade(0, 0), 1);  // no fade distance: never fades
    EXPECT_FLOAT_EQ(ghost_fade(1, -3), 1);
}

TEST(frame_billboards, KeysSortFarthestFirstAndStable) {
    EXPECT_EQ(depth_key(0), 16777216u);
    EXPECT_EQ(depth_key(-1.0 / 1024), 16777215u);
    EXPECT_EQ(depth_key(-1e12), 0u);
    EXPECT_EQ(depth_key(1e12), 4294967295u);
    std::mt19937 rng(7);
    std::vector<billboard_entry> list(3000);
    for (size_t k = 0; k < list.size(); k++) {
        list[k].index = (int)k;
        list[k].key = depth_key(std::uniform_real_distribution<double>(-300, 300)(rng));
        if (k % 5 == 0) list[k].key = 16777216u;  // many equal keys
    }
    std::vector<billboard_entry> expected = list;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const billboard_entry& a, const billboard_entry& b) { return a.key < b.key; });
    radix_sort_entries(list);
    ASSERT_EQ(list.size(), expected.size());
    for (size_t k = 0; k < list.size(); k++) ASSERT_EQ(list[k].index, expected[k].index) << k;
}

// Camera at the origin looking along -z; right is +x.
std::vector<billboard_entry> a_b_a(double b_x) {
    std::vector<billboard_entry> list(3);
    list[0] = {0, 1, 7, 0, -30, 1};    // A, farthest
    list[1] = {1, 2, 8, b_x, -20, 1};  // B
    list[2] = {2, 3, 7, 0, -10, 1};    // A', same texture as A
    return list;
}

std::vector<int> order(const std::vector<billboard_entry>& list) {
    std::vector<int> out;
    for (const billboard_entry& e : list) out.push_back(e.index);
    return out;
}

TEST(frame_billboards, RegroupingPullsTheSameTextureForwardUnlessItCrossesWhatItPasses) {
    auto apart = a_b_a(15);  // B well to the side of A' on screen
    regroup_entries(apart, 8, 1, 0, 0, -1);
    EXPECT_EQ(order(apart), (std::vector<int>{0, 2, 1}));
    auto crossing = a_b_a(0.5);  // B right behind A': swapping them would show
    regroup_entries(crossing, 8, 1, 0, 0, -1);
    EXPECT_EQ(order(crossing), (std::vector<int>{0, 1, 2}));
    auto off = a_b_a(15);
    regroup_entries(off, 1, 1, 0, 0, -1);
    EXPECT_EQ(order(off), (std::vector<int>{0, 1, 2}));
    // A window of 2 sees only the next entry: nothing to pull.
    auto narrow = a_b_a(15);
    regroup_entries(narrow, 2, 1, 0, 0, -1);
    EXPECT_EQ(order(narrow), (std::vector<int>{0, 1, 2}));
    // Any window on any length stays within the list.
    for (int n = 0; n < 5; n++)
        for (int w : {-5, 0, 3, 1000, 2147483647}) {
            std::vector<billboard_entry> list(n);
            for (int k = 0; k < n; k++) list[k] = {k, (uint32_t)k, (unsigned)(k % 2), 40.0 * k, -10.0 - k, 1};
            regroup_entries(list, w, 1, 0, 0, -1);
            std::vector<int> seen = order(list);
            std::sort(seen.begin(), seen.end());
            for (int k = 0; k < n; k++) EXPECT_EQ(seen[k], k);
        }
}

TEST(frame_flares, VisibleOnBrightFarPixelsAndFadingAtTheEdge) {
    frustum_extents f = projection_extents(640, 480, 90);
    uint8_t sky[3] = {240, 250, 255}, hill[3] = {90, 120, 60};
    flare_probe sun{0.2, 0.3, -1, true};
    double sx, sy;
    ASSERT_TRUE(flare_on_screen(sun, f, sx, sy));
    EXPECT_DOUBLE_EQ(sx, 0.2);
    EXPECT_FLOAT_EQ(flare_visibility(sun, sx, sy, f, sky, 1.0), 1);
    EXPECT_FLOAT_EQ(flare_visibility(sun, sx, sy, f, hill, 1.0), 0);  // behind a hill
    EXPECT_FLOAT_EQ(flare_visibility(sun, sx, sy, f, sky, 0.1), 0);   // something near in front
    // Within 1/32 of the half-size of the edge it fades out.
    double e = 0.75 / 32;
    flare_probe edge{1 - e / 2, 0, -1, true};
    ASSERT_TRUE(flare_on_screen(edge, f, sx, sy));
    EXPECT_NEAR(flare_visibility(edge, sx, sy, f, sky, 1.0), 0.5, 1e-6);
    flare_probe behind{0, 0, 1, true};
    EXPECT_FALSE(flare_on_screen(behind, f, sx, sy));
    flare_probe outside{2, 0, -1, true};
    EXPECT_FALSE(flare_on_screen(outside, f, sx, sy));
    // A point source needs the depth there to be at least its own distance's share.
    flare_probe lamp{0, 0, -1000.25, false};
    ASSERT_TRUE(flare_on_screen(lamp, f, sx, sy));
    EXPECT_FLOAT_EQ(flare_visibility(lamp, sx, sy, f, sky, 0.19), 0);
    EXPECT_FLOAT_EQ(flare_visibility(lamp, sx, sy, f, sky, 0.21), 1);
    EXPECT_NEAR(linear_depth_fraction(0, 0.25, 5000), 0, 1e-12);
    EXPECT_NEAR(linear_depth_fraction(1, 0.25, 5000), 1, 1e-12);
    EXPECT_FLOAT_EQ((float)linear_depth_fraction(0.5, 1, 1), 1);
}

}  // namespace
