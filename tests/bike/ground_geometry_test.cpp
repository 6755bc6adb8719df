#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>

#include "bike/ground_geometry.h"
#include "ground_fixture.h"

namespace {

constexpr float R = 0.8333333f, r = 0.3333333f;  // a front tire
constexpr float two_pow_m20 = 9.5367431640625e-07f;
const vec3f axle_x = {1, 0, 0};

struct field_guard {
    ~field_guard() { free_height_field(); }
};

void expect_vec(const vec3f& v, float x, float y, float z, float tol = 1e-5f) {
    EXPECT_NEAR(v[0], x, tol);
    EXPECT_NEAR(v[1], y, tol);
    EXPECT_NEAR(v[2], z, tol);
}

// ---- brute force, in double -------------------------------------------------------
struct d3 {
    double x, y, z;
};
d3 operator-(d3 a, d3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
d3 operator+(d3 a, d3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
d3 operator*(d3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dotd(d3 a, d3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
d3 crossd(d3 a, d3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
d3 to_d(const vec3f& v) { return {v[0], v[1], v[2]}; }

// Closest point of a triangle to p (regions by barycentric tests).
d3 closest_on_triangle(d3 p, d3 a, d3 b, d3 c) {
    d3 ab = b - a, ac = c - a, ap = p - a;
    double d1 = dotd(ab, ap), d2 = dotd(ac, ap);
    if (d1 <= 0 && d2 <= 0) return a;
    d3 bp = p - b;
    double d3_ = dotd(ab, bp), d4 = dotd(ac, bp);
    if (d3_ >= 0 && d4 <= d3_) return b;
    double vc = d1 * d4 - d3_ * d2;
    if (vc <= 0 && d1 >= 0 && d3_ <= 0) return a + ab * (d1 / (d1 - d3_));
    d3 cp = p - c;
    double d5 = dotd(ab, cp), d6 = dotd(ac, cp);
    if (d6 >= 0 && d5 <= d6) return c;
    double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) return a + ac * (d2 / (d2 - d6));
    double va = d3_ * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3_) >= 0 && (d5 - d6) >= 0) return b + (c - b) * ((d4 - d3_) / ((d4 - d3_) + (d5 - d6)));
    double denom = 1 / (va + vb + vc);
    return a + ab * (vb * denom) + ac * (vc * denom);
}

struct brute_result {
    double distance;     // wheel (ring against the face and edges, disc against corners) to triangle
    double lowest_side;   // smallest signed height of a ring point over the plane
    double highest_side;  // and the largest
};

// Samples the ring circle densely; the corners are measured against the
// wheel's disc, which the sampled circle bounds.
brute_result brute_force(const vec3f& cf, const vec3f& af, double ring, const ground_triangle& t) {
    d3 c = to_d(cf), a = to_d(af);
    d3 v0 = to_d(t.v[0]), v1 = to_d(t.v[1]), v2 = to_d(t.v[2]);
    d3 n = crossd(v1 - v0, v2 - v0);
    n = n * (1 / std::sqrt(dotd(n, n)));
    d3 helper = std::fabs(a.x) < 0.9 ? d3{1, 0, 0} : d3{0, 1, 0};
    d3 u = crossd(a, helper);
    u = u * (1 / std::sqrt(dotd(u, u)));
    d3 w = crossd(a, u);
    brute_result out{1e30, 1e30, -1e30};
    const int samples = 1024;
    for (int k = 0; k < samples; k++) {
        double ang = 2 * M_PI * k / samples;
        d3 p = c + u * (ring * std::cos(ang)) + w * (ring * std::sin(ang));
        d3 q = closest_on_triangle(p, v0, v1, v2);
        double d = std::sqrt(dotd(p - q, p - q));
        out.distance = std::min(out.distance, d);
        out.lowest_side = std::min(out.lowest_side, dotd(p - v0, n));
        out.highest_side = std::max(out.highest_side, dotd(p - v0, n));
    }
    for (d3 v : {v0, v1, v2}) {
        d3 rel = v - c;
        d3 across = rel - a * dotd(rel, a);
        double l = std::sqrt(dotd(across, across));
        if (l > ring) across = across * (ring / l);
        d3 gap = c + across - v;
        out.distance = std::min(out.distance, std::sqrt(dotd(gap, gap)));
    }
    return out;
}

vec3f random_unit(std::mt19937& rng) {
    std::normal_distribution<float> g(0, 1);
    for (;;) {
        vec3f v = {g(rng), g(rng), g(rng)};
        float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (l > 0.1f) return {v[0] / l, v[1] / l, v[2] / l};
    }
}

}  // namespace

TEST(ground_tire, upright_wheel_over_flat_ground) {
    field_guard guard;
    make_flat_field(2, 2, 3);
    vec3f c = {9.3f, 3 + R + r - 0.1f, 7.7f};
    ground_contact deep, first;
    ASSERT_TRUE(tire_ground_deepest(c, axle_x, R, r, deep));
    EXPECT_NEAR(deep.depth, 0.1f, 1e-5f);
    expect_vec(deep.normal, 0, 1, 0);
    expect_vec(deep.point, c[0], 3 - 0.1f, c[2]);
    ASSERT_TRUE(tire_ground_first(c, axle_x, R, r, first));
    EXPECT_NEAR(first.depth, 0.1f, 1e-5f);
    expect_vec(first.point, c[0], 3 - 0.1f, c[2]);

    // Clear of the ground by a little: nothing.
    c[1] = 3 + R + r + 0.01f;
    EXPECT_FALSE(tire_ground_deepest(c, axle_x, R, r, deep));
    EXPECT_FALSE(tire_ground_first(c, axle_x, R, r, first));

    // Sunk by R or more: the deep answer.
    for (float sink : {R, R + 0.5f}) {
        c[1] = 3 - sink;
        ASSERT_TRUE(tire_ground_deepest(c, axle_x, R, r, deep));
        EXPECT_FLOAT_EQ(deep.depth, 2 * R);
        expect_vec(deep.normal, 0, 1, 0);
    }
}

TEST(ground_tire, upright_wheel_on_a_slope_touches_along_the_slope_normal) {
    field_guard guard;
    const float slope = 0.4f;
    make_slope_field(3, 1.5f, slope);
    // Centre 1.1 ft from the plane y = slope x, measured along its normal.
    float nl = std::sqrt(1 + slope * slope);
    vec3f nrm = {-slope / nl, 1 / nl, 0};
    float x0 = 6, y0 = slope * x0;
    vec3f c = {x0 + nrm[0] * 1.1f, y0 + nrm[1] * 1.1f, 5.2f};
    vec3f axle_z = {0, 0, 1};  // wheel plane across the slope
    ground_contact deep;
    ASSERT_TRUE(tire_ground_deepest(c, axle_z, R, r, deep));
    EXPECT_NEAR(deep.depth, R + r - 1.1f, 1e-4f);
    expect_vec(deep.normal, nrm[0], nrm[1], 0, 1e-4f);
}

TEST(ground_tire, edge_through_the_disc_beside_the_triangle) {
    // The wheel cuts the triangle's plane beyond its edge z = 1, which
    // passes through the wheel's disc.
    ground_triangle t = make_ground_triangle({0, 0, 0}, {0, 0, 1}, {1, 0, 1});
    vec3f c = {0.5f, 0.5f, 1.5f};
    triangle_depth d = tire_triangle_depth(c, axle_x, 1, 0.25f, t);
    EXPECT_FLOAT_EQ(d.depth, 0.25f - two_pow_m20);
    // Pushed up and away from the edge, toward the wheel's side.
    expect_vec(d.normal, 0, std::sqrt(0.5f), std::sqrt(0.5f));
    // The simple form gives the same (no general case involved).
    EXPECT_FLOAT_EQ(tire_triangle_depth_simple(c, axle_x, 1, 0.25f, t).depth, d.depth);
}

TEST(ground_tire, ring_point_nearest_is_on_the_circle) {
    vec3f c = {1, 2, 3};
    vec3f p = ring_point_nearest(c, axle_x, 2, {5, 2, 3 + 0.5f});
    // Off to the side along the axle; the nearest ring point is in the plane.
    expect_vec(p, 1, 2, 5);
    // A point on the axle line still gets a point of the circle.
    vec3f q = ring_point_nearest(c, axle_x, 2, {7, 2, 3});
    EXPECT_NEAR(std::hypot(q[1] - 2, q[2] - 3), 2, 1e-5f);
    EXPECT_FLOAT_EQ(q[0], 1);
}

TEST(ground_sphere, face_corner_and_deep_cases) {
    ground_triangle t = make_ground_triangle({0, 0, 0}, {0, 0, 2}, {2, 0, 2});
    triangle_depth d = sphere_triangle_depth({0.5f, 0.3f, 1.5f}, 0.5f, t);
    EXPECT_NEAR(d.depth, 0.2f, 1e-6f);
    expect_vec(d.normal, 0, 1, 0);
    expect_vec(d.point, 0.5f, -0.2f, 1.5f);

    // Beyond corner (0, 0, 2) and outside every edge's span, 0.4 away.
    float s = 0.4f / std::sqrt(3.0f);
    d = sphere_triangle_depth({-s, s, 2 + s}, 0.5f, t);
    EXPECT_NEAR(d.depth, 0.1f, 1e-6f);
    expect_vec(d.normal, -1 / std::sqrt(3.0f), 1 / std::sqrt(3.0f), 1 / std::sqrt(3.0f));

    // Beside the diagonal edge, over the neighbouring triangle: measured to
    // the diagonal, not to another edge whose span it happens to lie in.
    d = sphere_triangle_depth({1.6f, 0.1f, 0.4f}, 0.5f, t);
    float to_diagonal = std::sqrt(1.2f * 1.2f / 2 + 0.01f);
    EXPECT_NEAR(d.depth, 0.5f - to_diagonal, 1e-5f);
    EXPECT_GT(d.normal[0], 0);
    EXPECT_LT(d.normal[2], 0);

    // Centre deep below the face: the depth stands with an upward normal;
    // outside the face from above, no contact.
    d = sphere_triangle_depth({0.5f, -2, 1.5f}, 0.5f, t);
    EXPECT_NEAR(d.depth, 2.5f, 1e-6f);
    expect_vec(d.normal, 0, 1, 0);
}

TEST(ground_sphere, ground_query_finds_the_deepest_triangle) {
    field_guard guard;
    make_flat_field(2, 2, 1);
    ground_contact g;
    ASSERT_TRUE(sphere_ground_deepest({3.3f, 1.3f, 4.9f}, 0.5f, g));
    EXPECT_NEAR(g.depth, 0.2f, 1e-5f);
    expect_vec(g.normal, 0, 1, 0);
    EXPECT_FALSE(sphere_ground_deepest({3.3f, 1.6f, 4.9f}, 0.5f, g));
}

TEST(ground_query, normal_fixup_and_visit_order) {
    vec3f a = ground_normal_fixup({0.01f, -1, 0.01f});
    expect_vec(a, 0, 1, 0);
    vec3f b = ground_normal_fixup({0.6f, -0.8f, 0});
    expect_vec(b, 1, 0, 0);
    vec3f c = ground_normal_fixup({0, 2, 0});
    expect_vec(c, 0, 1, 0);

    int order[4];
    for (int s = 0; s < 4; s++) order[s] = centre_out_offset(4, s);
    EXPECT_EQ(order[0], 1);
    EXPECT_EQ(order[1], 2);
    EXPECT_EQ(order[2], 0);
    EXPECT_EQ(order[3], 3);
    // Every row exactly once, for any count.
    for (int n = 1; n < 9; n++) {
        std::vector<int> seen((size_t)n, 0);
        for (int s = 0; s < n; s++) {
            int k = centre_out_offset(n, s);
            ASSERT_GE(k, 0);
            ASSERT_LT(k, n);
            seen[(size_t)k]++;
        }
        for (int v : seen) EXPECT_EQ(v, 1);
    }
}

TEST(ground_query, unusable_positions_find_nothing) {
    field_guard guard;
    make_flat_field(2, 2, 0);
    ground_contact g;
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const vec3f bad[] = {{nan, 0.5f, 3}, {3, nan, 3}, {3, 0.5f, inf}, {-inf, 0, 0}, {3e9f, 0.5f, 3},
                         {3, 0.5f, -2e7f}, {ground_coordinate_limit * 2, 0, 0}};
    for (const vec3f& c : bad) {
        EXPECT_FALSE(ground_query_sane(c, R + r));
        EXPECT_FALSE(tire_ground_deepest(c, axle_x, R, r, g));
        EXPECT_FALSE(tire_ground_first(c, axle_x, R, r, g));
        EXPECT_FALSE(sphere_ground_deepest(c, 0.5f, g));
    }
    EXPECT_FALSE(tire_ground_deepest({3, 0.5f, 3}, axle_x, nan, r, g));
    EXPECT_FALSE(sphere_ground_deepest({3, 0.2f, 3}, -1, g));
    // Well off the field the edge heights go on: still ground.
    EXPECT_TRUE(sphere_ground_deepest({-500, 0.2f, 9000}, 0.5f, g));

    // A grid of absurdly small cells: the query stays bounded and finds the
    // ground under the centre.
    make_flat_field(2, 1e-4f, 0);
    EXPECT_TRUE(tire_ground_deepest({0.0003f, R + r - 0.05f, 0.0002f}, axle_x, R, r, g));
    EXPECT_NEAR(g.depth, 0.05f, 1e-4f);
}

TEST(ground_tire, wheel_lying_flat_gives_finite_answers) {
    field_guard guard;
    make_flat_field(2, 2, 0);
    vec3f up = {0, 1, 0};
    for (float h : {1.0f, r - 0.1f, 0.0f, -0.2f, -r - 0.5f, -3.0f}) {
        vec3f c = {4.2f, h, 3.7f};
        ground_contact g{};
        bool found = tire_ground_deepest(c, up, R, r, g);
        if (h >= r) {
            EXPECT_FALSE(found) << h;
            continue;
        }
        ASSERT_TRUE(found) << h;
        EXPECT_TRUE(std::isfinite(g.depth) && std::isfinite(g.point[0]) && std::isfinite(g.normal[1])) << h;
        EXPECT_NEAR(g.depth, r - h, 1e-5f) << h;  // as deep as the section is below the ground
        expect_vec(g.normal, 0, 1, 0);
        ground_contact f{};
        ASSERT_TRUE(tire_ground_first(c, up, R, r, f));
        EXPECT_TRUE(std::isfinite(f.depth));
    }
    // Nearly flat: no jump in the answer across the threshold.
    ground_contact a, b;
    ASSERT_TRUE(tire_ground_deepest({4.2f, 0.2f, 3.7f}, up, R, r, a));
    vec3f tilted = {1e-4f, 1, 0};
    float l = std::sqrt(1 + 1e-8f);
    tilted = {tilted[0] / l, tilted[1] / l, 0};
    ASSERT_TRUE(tire_ground_deepest({4.2f, 0.2f, 3.7f}, tilted, R, r, b));
    EXPECT_NEAR(a.depth, b.depth, 1e-3f);
}

TEST(ground_tire, triangle_depth_matches_brute_force_on_random_fields) {
    field_guard guard;
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> u01(0, 1);
    // The edge search is a few Newton steps on the squared stationarity
    // condition, which has a double root where the closest approach is
    // also the foot of the centre; there it stops a little short of the
    // exact distance. The tolerances below are what that costs.
    const double short_by_at_most = 0.03, typical = 1e-3;
    int above_cases = 0, above_close = 0, crossing_cases = 0;
    double worst = 0;
    for (int field = 0; field < 40; field++) {
        float cell = 0.75f + 2.0f * u01(rng);
        float rough = 1.5f * u01(rng);
        std::vector<float> hs(25);
        for (float& h : hs) h = rough * (u01(rng) - 0.5f);
        make_test_field(1, cell, [&](int i, int j) { return hs[(size_t)(i + 5 * j)]; });
        for (int pose = 0; pose < 60; pose++) {
            vec3f a = random_unit(rng);
            vec3f c = {cell * (1 + 2 * u01(rng)), 1.2f * (u01(rng) - 0.3f), cell * (1 + 2 * u01(rng))};
            int i0 = std::max(0, (int)std::floor((c[0] - R - r) / cell)), i1 = std::min(3, (int)((c[0] + R + r) / cell));
            int j0 = std::max(0, (int)std::floor((c[2] - R - r) / cell)), j1 = std::min(3, (int)((c[2] + R + r) / cell));
            for (int j = j0; j <= j1; j++)
                for (int i = i0; i <= i1; i++)
                    for (int which = 0; which < 2; which++) {
                        ground_triangle t = terrain_triangle(i, j, which);
                        brute_result b = brute_force(c, a, R, t);
                        triangle_depth d = tire_triangle_depth(c, a, R, r, t);
                        ASSERT_TRUE(std::isfinite(d.depth));
                        double want = r - b.distance;
                        if (b.lowest_side > 1e-4) {
                            // The whole ring above the plane: the depth is
                            // how far the tire reaches past the triangle.
                            above_cases++;
                            worst = std::max(worst, want - d.depth);
                            ASSERT_LE(d.depth, want + 2e-4) << "field " << field << " pose " << pose;
                            ASSERT_GE(d.depth, want - short_by_at_most) << "field " << field << " pose " << pose;
                            if (std::fabs(d.depth - want) <= typical) above_close++;
                        } else if (b.lowest_side < -1e-4 && b.highest_side > 1e-4) {
                            // The ring cuts the plane: never read as
                            // shallower than its reach past the triangle.
                            crossing_cases++;
                            worst = std::max(worst, want - d.depth);
                            ASSERT_GE(d.depth, want - short_by_at_most) << "field " << field << " pose " << pose;
                        }
                    }
        }
    }
    EXPECT_GT(above_cases, 3000);
    EXPECT_GT(crossing_cases, 3000);
    EXPECT_GE(above_close, above_cases * 95 / 100);
    RecordProperty("worst_shortfall", std::to_string(worst));
}

TEST(ground_tire, deepest_is_never_shallower_than_first) {
    field_guard guard;
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> u01(0, 1);
    int both = 0;
    for (int field = 0; field < 20; field++) {
        std::vector<float> hs(81);
        for (float& h : hs) h = 2.0f * (u01(rng) - 0.5f);
        make_test_field(2, 1.25f, [&](int i, int j) { return hs[(size_t)(i + 9 * j)]; });
        for (int pose = 0; pose < 200; pose++) {
            vec3f a = random_unit(rng);
            vec3f c = {10 * u01(rng) - 1, 2.5f * (u01(rng) - 0.4f), 10 * u01(rng) - 1};
            ground_contact deep, first;
            bool got_first = tire_ground_first(c, a, R, r, first);
            bool got_deep = tire_ground_deepest(c, a, R, r, deep);
            if (got_first) {
                ASSERT_TRUE(got_deep);
                ASSERT_GE(deep.depth, first.depth);
                both++;
            }
            if (got_deep) {
                float len = std::sqrt(deep.normal[0] * deep.normal[0] + deep.normal[1] * deep.normal[1] +
                                      deep.normal[2] * deep.normal[2]);
                ASSERT_NEAR(len, 1, 1e-5f);
                ASSERT_GE(deep.normal[1], 0);
            }
        }
    }
    EXPECT_GT(both, 500);
}

namespace {

// The deepest answer of every triangle in the query's cells, scanned in
// the query's own order with nothing skipped: the first deepest wins.
bool scanned_deepest(const vec3f& c, float reach, const std::function<triangle_depth(const ground_triangle&)>& depth,
                     ground_contact& out) {
    const float cell = terrain.cell_size;
    int i0 = (int)std::floor((c[0] - reach) / cell), i1 = (int)std::ceil((c[0] + reach) / cell) - 1;
    int j0 = (int)std::floor((c[2] - reach) / cell), j1 = (int)std::ceil((c[2] + reach) / cell) - 1;
    triangle_depth best;
    best.depth = 0;
    for (int j = j0; j <= j1; j++)
        for (int i = i0; i <= i1; i++)
            for (int which = 0; which < 2; which++) {
                triangle_depth d = depth(terrain_triangle(i, j, which));
                if (d.depth > best.depth) best = d;
            }
    if (!(best.depth > 0.0f)) return false;
    out.point = best.point;
    out.normal = ground_normal_fixup(best.normal);
    out.depth = best.depth;
    return true;
}

bool same_contact(const ground_contact& a, const ground_contact& b) {
    return a.depth == b.depth && a.point == b.point && a.normal == b.normal;
}

}  // namespace

TEST(ground_query, shortcuts_give_exactly_the_full_scan) {
    // The queries skip triangles and whole ranges that cannot hold the
    // answer; on rough random fields and poses near, on and under the
    // ground they must agree bit for bit with scanning everything.
    field_guard guard;
    std::mt19937 rng(4242);
    std::uniform_real_distribution<float> u01(0, 1);
    int tire_contacts = 0, sphere_contacts = 0, clear_balls = 0;
    for (int field = 0; field < 24; field++) {
        float cell = 0.5f + 1.5f * u01(rng);
        float rough = field % 3 == 0 ? 0.05f : 1.2f * u01(rng);
        std::vector<float> hs(81);
        for (float& h : hs) h = rough * (u01(rng) - 0.5f);
        make_test_field(2, cell, [&](int i, int j) { return hs[(size_t)(i + 9 * j)]; });
        for (int pose = 0; pose < 300; pose++) {
            vec3f c = {8 * cell * u01(rng), 2.6f * (u01(rng) - 0.35f), 8 * cell * u01(rng)};
            // Mostly upright wheels, as riding gives, and some at any angle.
            vec3f a = pose % 4 == 0 ? random_unit(rng) : vec3f{1, 0.2f * (u01(rng) - 0.5f), 0.3f * (u01(rng) - 0.5f)};
            float al = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
            a = {a[0] / al, a[1] / al, a[2] / al};
            ground_contact got, want;
            bool g = tire_ground_deepest(c, a, R, r, got);
            bool w = scanned_deepest(c, R + r, [&](const ground_triangle& t) { return tire_triangle_depth(c, a, R, r, t); },
                                     want);
            ASSERT_EQ(g, w) << "field " << field << " pose " << pose;
            if (g) {
                ASSERT_TRUE(same_contact(got, want)) << "field " << field << " pose " << pose << ": " << got.depth
                                                     << " vs " << want.depth;
                tire_contacts++;
            }
            float radius = 0.1f + 0.6f * u01(rng);
            g = sphere_ground_deepest(c, radius, got);
            w = scanned_deepest(c, radius, [&](const ground_triangle& t) { return sphere_triangle_depth(c, radius, t); },
                                want);
            ASSERT_EQ(g, w) << "field " << field << " pose " << pose;
            if (g) {
                ASSERT_TRUE(same_contact(got, want));
                sphere_contacts++;
            }
            // A ball said to be clear of the ground holds no sphere that
            // touches it.
            float reach = 0.5f + 2 * u01(rng);
            if (ball_clear_of_ground(c, reach)) {
                clear_balls++;
                for (int k = 0; k < 8; k++) {
                    vec3f d = random_unit(rng);
                    float s = reach * 0.9f * u01(rng), rad = reach - s;
                    vec3f inside = {c[0] + d[0] * s, c[1] + d[1] * s, c[2] + d[2] * s};
                    ASSERT_FALSE(sphere_ground_deepest(inside, rad, got));
                }
            }
        }
    }
    EXPECT_GT(tire_contacts, 1000);
    EXPECT_GT(sphere_contacts, 1000);
    EXPECT_GT(clear_balls, 500);
}
