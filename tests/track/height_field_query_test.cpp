// The shared triangulation: heights, normals, clamping, sample writes and
// their stale marks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "track_fixture.h"

namespace {

// Loads a g = 6 field of random heights (0 .. 65.535).
void load_random(track_sandbox& t, float cell, unsigned seed) {
    std::vector<uint16_t> s = random_samples(6, seed);
    t.write_field(6, cell, 0.0f, 65.535f, &s);
    ASSERT_TRUE(t.load());
}

// Reference surface: the cell's two triangles from the vertex table, the one
// holding the point chosen by its diagonal, and the plane through its three
// corners solved in double precision. The grid position is formed as the
// field does (x times the inverse cell size, in float) so that only the
// interpolation is compared.
double reference_height(float x, float z) {
    const height_field& f = terrain;
    double u = x * (1.0f / f.cell_size), v = z * (1.0f / f.cell_size);
    int i = (int)std::floor(u), j = (int)std::floor(v);
    double fu = u - i, fv = v - j;
    int tri[3][2];
    bool same = ((i + j) % 2 + 2) % 2 == 0;
    if (same) {
        if (fv >= fu)
            tri[0][0] = i, tri[0][1] = j, tri[1][0] = i, tri[1][1] = j + 1, tri[2][0] = i + 1, tri[2][1] = j + 1;
        else
            tri[0][0] = i + 1, tri[0][1] = j, tri[1][0] = i + 1, tri[1][1] = j + 1, tri[2][0] = i, tri[2][1] = j;
    } else {
        if (fu + fv <= 1)
            tri[0][0] = i, tri[0][1] = j, tri[1][0] = i, tri[1][1] = j + 1, tri[2][0] = i + 1, tri[2][1] = j;
        else
            tri[0][0] = i + 1, tri[0][1] = j, tri[1][0] = i + 1, tri[1][1] = j + 1, tri[2][0] = i, tri[2][1] = j + 1;
    }
    double p[3][3];
    for (int k = 0; k < 3; k++) {
        p[k][0] = tri[k][0];
        p[k][1] = sample_height(tri[k][0], tri[k][1]);
        p[k][2] = tri[k][1];
    }
    // y = p0.y + s * (p1 - p0) + t * (p2 - p0) where the horizontal parts match.
    double ax = p[1][0] - p[0][0], az = p[1][2] - p[0][2], bx = p[2][0] - p[0][0], bz = p[2][2] - p[0][2];
    double det = ax * bz - az * bx;
    double s = ((u - p[0][0]) * bz - (v - p[0][2]) * bx) / det;
    double t = (ax * (v - p[0][2]) - az * (u - p[0][0])) / det;
    return p[0][1] + s * (p[1][1] - p[0][1]) + t * (p[2][1] - p[0][1]);
}

TEST(triangulation, EverySampleIsReproducedExactly) {
    for (float cell : {1.0f, 0.5f, 2.0f, 4.0f}) {
        track_sandbox t;
        load_random(t, cell, 11);
        int n = terrain.samples_per_side;
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++)
                ASSERT_EQ(height_at(i * cell, j * cell), terrain.heights[i + n * j]) << i << "," << j << " cell " << cell;
    }
}

TEST(triangulation, MatchesTheCellDiagonalsEverywhere) {
    track_sandbox t;
    load_random(t, 0.75f, 12);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> pos(-20.0, 0.75 * 128 + 20.0);
    for (int k = 0; k < 200000; k++) {
        float x = (float)pos(rng), z = (float)pos(rng);
        double ref = reference_height(x, z);
        ASSERT_NEAR(height_at(x, z), ref, 2e-4 + std::fabs(ref) * 1e-5) << x << "," << z;
    }
    // Diagonal parity on the documented points.
    std::vector<uint16_t> s(129 * 129, 0);
    auto at = [](int i, int j) { return (size_t)i + 129 * j; };
    s[at(1, 0)] = 1000;  // even-even cell (0, 0): the diagonal avoids (1, 0)
    s[at(1, 2)] = 1000;  // odd-even cell (1, 2): the diagonal joins (2, 2) and (1, 3)
    t.write_field(6, 1.0f, 0.0f, 65.535f, &s);
    ASSERT_TRUE(t.load());
    EXPECT_EQ(height_at(0.25f, 0.75f), 0.0f);
    EXPECT_GT(height_at(0.75f, 0.25f), 0.0f);
    EXPECT_GT(height_at(1.25f, 2.25f), 0.0f);
    EXPECT_EQ(height_at(1.75f, 2.75f), 0.0f);
    EXPECT_EQ(height_at(1.5f, 2.5f), 0.0f);  // on the diagonal from (2, 2) to (1, 3)
}

TEST(triangulation, HeightsAreContinuousAcrossEveryTriangleEdge) {
    track_sandbox t;
    load_random(t, 1.0f, 13);
    const double eps = 1e-3;
    // Random heights change by at most 65.5 per cell, so stepping eps to
    // either side of an edge moves the height by at most ~0.26 when the
    // surface is continuous; a seam would show as a jump of whole heights.
    const double tolerance = 65.535 * 4 * eps + 1e-3;
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> along(0.01, 0.99);
    for (int j = 0; j < 40; j++) {
        for (int i = 0; i < 40; i++) {
            double s = along(rng);
            // Cell sides (shared with the neighbouring cell) and the diagonal.
            struct edge {
                double x, z, dx, dz;
            };
            bool same = ((i + j) & 1) == 0;
            edge edges[3] = {{i + 0.0, j + s, 1, 0}, {i + s, j + 0.0, 0, 1},
                             same ? edge{i + s, j + s, 1, -1} : edge{i + s, j + 1 - s, 1, 1}};
            for (const edge& e : edges) {
                float a = height_at((float)(e.x - eps * e.dx), (float)(e.z - eps * e.dz));
                float b = height_at((float)(e.x + eps * e.dx), (float)(e.z + eps * e.dz));
                ASSERT_NEAR(a, b, tolerance) << i << "," << j;
            }
        }
    }
    // Halfway along a diagonal: the mean of its ends.
    EXPECT_FLOAT_EQ(height_at(4.5f, 6.5f), (sample_height(4, 6) + sample_height(5, 7)) / 2);
    EXPECT_FLOAT_EQ(height_at(5.5f, 6.5f), (sample_height(6, 6) + sample_height(5, 7)) / 2);
}

TEST(triangulation, OutsideAndNonFiniteCoordinatesClampToTheEdge) {
    track_sandbox t;
    load_random(t, 1.0f, 14);
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    float edge = 128.0f;
    for (float z : {0.0f, 3.3f, 77.5f, 128.0f}) {
        EXPECT_EQ(height_at(-5.0f, z), height_at(0.0f, z));
        EXPECT_EQ(height_at(-1e30f, z), height_at(0.0f, z));
        EXPECT_EQ(height_at(-inf, z), height_at(0.0f, z));
        EXPECT_EQ(height_at(nan, z), height_at(0.0f, z));
        EXPECT_EQ(height_at(130.0f, z), height_at(edge, z));
        EXPECT_EQ(height_at(inf, z), height_at(edge, z));
        EXPECT_EQ(height_at(z, nan), height_at(z, 0.0f));
        EXPECT_EQ(height_at(z, 1e38f), height_at(z, edge));
        EXPECT_TRUE(std::isfinite(surface_normal_at(nan, z)[1]));
    }
    EXPECT_EQ(height_at(-3.0f, -4.0f), sample_height(0, 0));
    EXPECT_EQ(height_at(nan, nan), sample_height(0, 0));
    EXPECT_EQ(height_at(500.0f, inf), sample_height(128, 128));
    EXPECT_EQ(sample_height(-9, 900), terrain.heights[128 * 129]);
}

TEST(terrain_normals, FlatAndSlopedGround) {
    track_sandbox t;
    std::vector<uint16_t> flat(129 * 129, 500);
    t.write_field(6, 0.5f, 0.0f, 65.535f, &flat);
    ASSERT_TRUE(t.load());
    for (float x : {0.1f, 3.7f, 30.0f, -2.0f})
        EXPECT_EQ(surface_normal_at(x, 1.3f), (std::array<float, 3>{0.0f, 0.25f, 0.0f}));
    EXPECT_EQ(triangle_normal(5, 9), (std::array<float, 3>{0.0f, 1.0f, 0.0f}));
    EXPECT_EQ(sample_normal(0, 0), (std::array<float, 3>{0.0f, 1.0f, 0.0f}));
    // The plane h = 0.25 x + 0.5 z (in world units, cell size 0.5).
    std::vector<uint16_t> plane(129 * 129);
    for (int j = 0; j < 129; j++)
        for (int i = 0; i < 129; i++) plane[i + 129 * j] = (uint16_t)(i * 125 + j * 250);
    t.write_field(6, 0.5f, 0.0f, 65.535f, &plane);
    ASSERT_TRUE(t.load());
    double len = std::sqrt(0.25 * 0.25 + 1 + 0.5 * 0.5);
    for (float x : {0.3f, 10.1f, 20.6f}) {
        std::array<float, 3> nrm = surface_normal_at(x, x * 0.7f);
        EXPECT_FLOAT_EQ(nrm[1], 0.25f);
        EXPECT_NEAR(nrm[0], -0.25 * 0.25, 1e-5);
        EXPECT_NEAR(nrm[2], -0.5 * 0.25, 1e-5);
    }
    for (int c : {0, 1, 7, 200, 253})
        for (int j : {0, 50, 127}) {
            std::array<float, 3> tn = triangle_normal(c, j);
            EXPECT_NEAR(tn[0], -0.25 / len, 1e-5);
            EXPECT_NEAR(tn[1], 1.0 / len, 1e-5);
            EXPECT_NEAR(tn[2], -0.5 / len, 1e-5);
        }
    for (int i : {0, 1, 64, 127, 128}) {
        std::array<float, 3> sn = sample_normal(i, i / 2);
        EXPECT_NEAR(sn[0], -0.25 / len, 1e-5);
        EXPECT_NEAR(sn[1], 1.0 / len, 1e-5);
    }
    // Indices outside the grid clamp.
    EXPECT_EQ(triangle_normal(-4, 999), triangle_normal(0, 127));
    EXPECT_EQ(sample_normal(-1, -1), sample_normal(0, 0));
}

TEST(sample_writes, MarksWidenAndFrozenGround) {
    track_sandbox t;
    load_random(t, 1.0f, 15);
    height_field& f = terrain;
    int n = f.samples_per_side;
    // Consume every stale triangle normal first.
    for (int j = 0; j < n - 1; j++)
        for (int c = 0; c < 2 * n - 2; c++) triangle_normal(c, j);
    f.frozen = 1;
    float before = f.heights[10 + n * 10];
    set_sample(10, 10, 1000.0f);
    EXPECT_EQ(f.heights[10 + n * 10], before);
    EXPECT_EQ(f.modified_flags, 0);
    EXPECT_FALSE(test_bit(f.shade_dirty, 10 + n * 10));
    f.frozen = 0;
    set_sample(-1, 3, 5.0f);
    set_sample(3, n, 5.0f);
    set_sample(4, 4, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(f.modified_flags, 0);
    set_sample(10, 10, 1000.0f);
    EXPECT_EQ(f.modified_flags, 7);
    EXPECT_EQ(f.height_max, 1000.0f);
    EXPECT_EQ(height_at(10, 10), 1000.0f);
    set_sample(0, 0, -50.0f);
    EXPECT_EQ(f.height_min, -50.0f);
    // Shading marks: the 3 x 3 block, clipped at the corner.
    for (int j = 0; j < 13; j++)
        for (int i = 0; i < 13; i++) {
            bool near_mid = std::abs(i - 10) <= 1 && std::abs(j - 10) <= 1;
            bool near_corner = i <= 1 && j <= 1;
            EXPECT_EQ(test_bit(f.shade_dirty, i + n * j), near_mid || near_corner) << i << "," << j;
        }
    // Triangle marks: rows 9..10, columns 18..21 around (10, 10).
    size_t row = 2 * n - 2;
    for (int j = 7; j < 13; j++)
        for (int c = 14; c < 26; c++)
            EXPECT_EQ(test_bit(f.triangle_dirty, c + row * j), j >= 9 && j <= 10 && c >= 18 && c <= 21) << c << "," << j;
    // A marked normal is recomputed from the new height and the mark cleared.
    std::array<float, 3> steep = triangle_normal(20, 10);
    EXPECT_FALSE(test_bit(f.triangle_dirty, 20 + row * 10));
    EXPECT_LT(steep[1], 0.1f);
    EXPECT_GT(steep[1], 0.0f);
    EXPECT_TRUE(f.normal_dirty.empty());
    EXPECT_DOUBLE_EQ(height_field_volume(), [&] {
        double sum = 0;
        for (int k = 0; k < n * n; k++) sum += f.heights[k];
        return sum;
    }());
}

TEST(sample_writes, ChangedRegionReachesTheRendererClamped) {
    static int got[4];
    static int calls;
    calls = 0;
    track_sandbox t;
    load_random(t, 1.0f, 16);
    terrain_renderer.changed_region = [](int i0, int j0, int i1, int j1) {
        got[0] = i0, got[1] = j0, got[2] = i1, got[3] = j1;
        calls++;
    };
    report_changed_region(-5, 3, 200, 9);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ((std::array<int, 4>{got[0], got[1], got[2], got[3]}), (std::array<int, 4>{0, 3, 128, 9}));
    free_height_field();
    report_changed_region(0, 0, 1, 1);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(height_at(1, 1), 0.0f);
}

}  // namespace
