// The ground mesh: closed at every camera position, culled only behind the
// camera, thresholds that refine parents before children, and a budgeted
// rebuild after deformation that ends where a full build would.
#include <random>
#include <unordered_map>

#include "terrain_test_track.h"
#include "testkit/built_data.h"

namespace {

using namespace terrain_test;

// Checks that the triangles tile the field exactly once, all facing up, and
// that every edge inside the field is shared by two triangles in opposite
// directions (no cracks, no T-junctions). With culling, an edge may be
// shared once only where the missing side is behind the camera plane.
void expect_closed(const terrain_mesh& mesh, const terrain_view& view, const std::string& where) {
    const height_field& f = terrain;
    int n = f.samples_per_side, last = n - 1;
    std::unordered_map<uint64_t, int> edges;
    long long area = 0;
    auto index = [&](size_t v, int& i, int& j) {
        i = (int)std::lround(mesh.vertices[v * 3] / f.cell_size);
        j = (int)std::lround(mesh.vertices[v * 3 + 2] / f.cell_size);
        EXPECT_FLOAT_EQ(mesh.vertices[v * 3 + 1], sample_height(i, j));
        return (uint64_t)i + (uint64_t)n * (uint64_t)j;
    };
    size_t triangles = mesh.vertices.size() / 9;
    for (size_t t = 0; t < triangles; t++) {
        int i[3], j[3];
        uint64_t k[3];
        for (int c = 0; c < 3; c++) k[c] = index(t * 3 + c, i[c], j[c]);
        long long cross = (long long)(j[1] - j[0]) * (i[2] - i[0]) - (long long)(i[1] - i[0]) * (j[2] - j[0]);
        ASSERT_GT(cross, 0) << where << ": triangle " << t << " faces down or is degenerate";
        area += cross;
        for (int c = 0; c < 3; c++) edges[k[c] << 32 | k[(c + 1) % 3]]++;
    }
    auto on_border = [&](uint64_t a, uint64_t b) {
        int ai = (int)(a % n), aj = (int)(a / n), bi = (int)(b % n), bj = (int)(b / n);
        return (ai == bi && (ai == 0 || ai == last)) || (aj == bj && (aj == 0 || aj == last));
    };
    auto behind = [&](uint64_t a) {
        float x = (float)(a % n) * f.cell_size, z = (float)(a / n) * f.cell_size;
        float y = sample_height((int)(a % n), (int)(a / n));
        const std::array<float, 3>&p = view.position, &d = view.direction;
        return (x - p[0]) * d[0] + (y - p[1]) * d[1] + (z - p[2]) * d[2] < 0.0f;
    };
    int open = 0;
    for (const auto& [key, count] : edges) {
        uint64_t a = key >> 32, b = key & 0xffffffffu;
        ASSERT_EQ(count, 1) << where << ": edge drawn twice the same way";
        if (edges.count(b << 32 | a) || on_border(a, b)) continue;
        open++;
        ASSERT_TRUE(view.cull) << where << ": crack at edge " << a % n << "," << a / n << " - " << b % n << "," << b / n;
        ASSERT_TRUE(behind(a) && behind(b)) << where << ": open edge in front of the camera";
    }
    // Twice the field's area in cells, when nothing was culled.
    if (!view.cull) {
        EXPECT_EQ(open, 0);
        EXPECT_EQ(area, 2LL * (n - 1) * (n - 1)) << where;
    }
}

std::vector<terrain_view> camera_positions(float extent, float low, float high, unsigned seed, int count) {
    std::vector<terrain_view> views;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> across(-0.2f * extent, 1.2f * extent), up(low - 5, high + 60),
        turn(-3.14159f, 3.14159f), pitch(-1.2f, 0.6f);
    for (int k = 0; k < count; k++) {
        terrain_view v;
        v.position = {across(rng), up(rng), across(rng)};
        float yaw = turn(rng), p = pitch(rng);
        v.direction = {std::cos(p) * std::sin(yaw), std::sin(p), -std::cos(p) * std::cos(yaw)};
        views.push_back(v);
    }
    return views;
}

struct mesh : test_track {};

// Rolling ground with sharp bumps: every level of the tree gets used.
float rough(int i, int j) {
    return 3.0f * std::sin(i * 0.07f) * std::cos(j * 0.05f) + ((i * 7 + j * 13) % 17 == 0 ? 0.8f : 0.0f) +
           0.3f * std::sin(i * 0.9f + j * 0.4f);
}

TEST_F(mesh, ClosedFromEveryCameraPosition) {
    height = rough;
    write_and_load();
    terrain_mesh m;
    for (float detail : {0.125f / 70, 0.125f / 10, 0.125f / 100}) {
        render_settings.ground_detail_factor = detail;
        terrain_lod_build();
        int most = 0, fewest = 1 << 30;
        for (terrain_view v : camera_positions(terrain.extent, terrain.height_min, terrain.height_max, 7, 20)) {
            for (bool cull : {false, true}) {
                v.cull = cull;
                build_terrain_mesh(v, m);
                expect_closed(m, v, "detail " + std::to_string(detail) + (cull ? " culled" : ""));
                if (HasFatalFailure()) return;
                if (!cull) most = std::max(most, m.triangles()), fewest = std::min(fewest, m.triangles());
            }
        }
        // Different positions refine differently.
        EXPECT_LT(fewest, most);
    }
}

TEST_F(mesh, ParentsRefineBeforeChildrenAndNeighboursStayWithinALevel) {
    height = rough;
    write_and_load();
    int g = terrain_lod_depth();
    ASSERT_EQ(g, 6);
    float extent = terrain.extent;
    for (const terrain_view& v : camera_positions(extent, 0, 1, 11, 200)) {
        auto refined = [&](int d, int ix, int iz) {
            float side = extent / (1 << d);
            float dx = (ix + 0.5f) * side - v.position[0], dz = (iz + 0.5f) * side - v.position[2];
            return terrain_node_threshold(d, ix, iz) > dx * dx + dz * dz;
        };
        for (int d = 1; d <= g; d++)
            for (int iz = 0; iz < (1 << d); iz++)
                for (int ix = 0; ix < (1 << d); ix++) {
                    if (!refined(d, ix, iz)) continue;
                    ASSERT_TRUE(refined(d - 1, ix >> 1, iz >> 1)) << d << " " << ix << "," << iz;
                    // The node's edge neighbours are at least drawn, so
                    // their parents are refined.
                    const int steps[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
                    for (const auto& s : steps) {
                        int nx = ix + s[0], nz = iz + s[1];
                        if (nx < 0 || nz < 0 || nx >= (1 << d) || nz >= (1 << d)) continue;
                        ASSERT_TRUE(refined(d - 1, nx >> 1, nz >> 1)) << d << " " << ix << "," << iz;
                    }
                }
    }
    // Rough ground refines further out than flat ground.
    float rough_root = terrain_node_threshold(5, 10, 10);
    EXPECT_GT(rough_root, 0);
}

TEST_F(mesh, RebuildAfterDeformationMatchesAFullBuild) {
    height = rough;
    write_and_load();
    int g = terrain_lod_depth();
    EXPECT_FALSE(terrain_lod_stale());
    // A few pits and piles the way deformation makes them.
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> at(0, terrain.samples_per_side - 1);
    for (int stamp = 0; stamp < 12; stamp++) {
        int ci = at(rng), cj = at(rng);
        for (int j = cj - 3; j <= cj + 3; j++)
            for (int i = ci - 3; i <= ci + 3; i++) set_sample(i, j, sample_height(i, j) + (stamp & 1 ? 0.7f : -0.9f));
        report_changed_region(ci - 3, cj - 3, ci + 3, cj + 3);
    }
    EXPECT_TRUE(terrain_lod_stale());
    int calls = 0;
    while (terrain_lod_stale()) {
        EXPECT_LE(terrain_lod_refresh(50), 50);
        ASSERT_LT(++calls, 10000);
    }
    EXPECT_GT(calls, 1);
    std::vector<float> incremental;
    for (int d = 0; d <= g; d++)
        for (int iz = 0; iz < (1 << d); iz++)
            for (int ix = 0; ix < (1 << d); ix++) incremental.push_back(terrain_node_threshold(d, ix, iz));
    terrain_lod_build();
    size_t k = 0;
    for (int d = 0; d <= g; d++)
        for (int iz = 0; iz < (1 << d); iz++)
            for (int ix = 0; ix < (1 << d); ix++, k++)
                ASSERT_EQ(incremental[k], terrain_node_threshold(d, ix, iz)) << d << " " << ix << "," << iz;
}

TEST_F(mesh, FlatGroundNearTheCameraIsFinerThanFarAway) {
    write_and_load();
    terrain_view v;
    v.position = {11, 2, 11};  // over the centre of tile (5, 5)
    v.direction = {1, 0, 1};
    v.cull = false;
    terrain_mesh m;
    build_terrain_mesh(v, m);
    int near_depth = -1, far_depth = 100;
    for (const terrain_piece& p : m.pieces) {
        float side = terrain.extent / (1 << p.depth);
        float cx = (p.ix + 0.5f) * side, cz = (p.iz + 0.5f) * side;
        float d = std::hypot(cx - 11, cz - 11);
        if (d < 3) near_depth = std::max(near_depth, p.depth);
        if (d > 100) far_depth = std::min(far_depth, p.depth);
    }
    EXPECT_EQ(near_depth, 6);  // single tiles under the camera
    EXPECT_LE(far_depth, 3);
}

// ---- the default track ----------------------------------------------------------------

struct rabbit_hill : ::testing::Test {
    temp_dir home;
    void SetUp() override {
        use_built_data(home);
        fill_terrain_renderer(terrain_renderer);
        fill_terrain_parts(track_parts);
    }
    void TearDown() override {
        free_height_field();
        vfs_shutdown();
        unsetenv("KV_HOME");
    }
};

TEST_F(rabbit_hill, ClosedAlongAndAroundTheTrack) {
    ASSERT_TRUE(load_height_field("rabbithill"));
    ASSERT_EQ(terrain_lod_depth(), 9);
    terrain_mesh m;
    for (terrain_view v : camera_positions(terrain.extent, terrain.height_min, terrain.height_max, 3, 12)) {
        v.cull = false;
        build_terrain_mesh(v, m);
        expect_closed(m, v, "rabbithill");
        if (HasFatalFailure()) return;
        v.cull = true;
        build_terrain_mesh(v, m);
        expect_closed(m, v, "rabbithill culled");
        if (HasFatalFailure()) return;
    }
}

}  // namespace
