// The generated tracks (Rabbit Hill, the default, and Sandpit Bottoms) as
// designed and as the program loads them from the archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "datagen/rabbithill_layout.h"
#include "datagen/track_bake.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "render/image_io.h"
#include "render/shape_file.h"
#include "robot/robot.h"
#include "race/timing_gates.h"
#include "testkit/built_data.h"
#include "testkit/testkit.h"
#include "track/height_field.h"
#include "track/digest.h"
#include "track/objects_race.h"
#include "track/tile_info.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "bike/rider_parts.h"
#include "core/diag.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

namespace {

using namespace rabbithill;

const track_design& design() { return design_of(rabbithill_plan()); }

// What every generated track must be, whatever its plan.
struct generated_design : ::testing::TestWithParam<const track_plan*> {
    const track_design& d = design_of(*GetParam());
};

INSTANTIATE_TEST_SUITE_P(tracks, generated_design, ::testing::Values(&rabbithill_plan(), &sandpit_plan()),
                         [](const ::testing::TestParamInfo<const track_plan*>& info) {
                             return std::string(info.param->dir);
                         });

TEST_P(generated_design, ClosedLapInsideTheField) {
    const centre_sample& first = d.lap.front();
    const centre_sample& last = d.lap.back();
    EXPECT_LT(std::hypot(first.x - last.x, first.z - last.z), 1.5);
    EXPECT_GE(d.lap_length, 900);
    for (const centre_sample& c : d.lap) {
        EXPECT_GE(c.width, 28);
        EXPECT_LE(c.width, 40);
        EXPECT_GT(std::min({c.x, c.z, extent - c.x, extent - c.z}), c.width / 2 + 40);
    }
    // Parts of the lap that are far apart along it are far apart on the
    // ground too: no two run into each other.
    for (size_t i = 0; i < d.lap.size(); i += 3)
        for (size_t j = i + 3; j < d.lap.size(); j += 3) {
            double along = std::min(d.lap[j].s - d.lap[i].s, d.lap_length - (d.lap[j].s - d.lap[i].s));
            if (along < 150) continue;
            ASSERT_GT(std::hypot(d.lap[i].x - d.lap[j].x, d.lap[i].z - d.lap[j].z), d.lap[i].width + 8)
                << "at " << d.lap[i].s << " and " << d.lap[j].s;
        }
}

TEST(rabbithill_design, LapIsARealMotocrossLap) {
    const track_design& d = design();
    EXPECT_GE(d.lap_length, 1200);
    EXPECT_LE(d.lap_length, 1800);
    // At least six corners of different radius.
    std::set<double> radii;
    for (const corner& c : lap_corners()) radii.insert(c.radius);
    EXPECT_GE(radii.size(), 6u);
    for (const centre_sample& c : d.lap) EXPECT_GE(c.width, 30);
}

TEST(rabbithill_design, HasEveryKindOfFeatureAndTheBigJumpCrownsTheLap) {
    const track_design& d = design();
    std::set<feature_kind> kinds;
    for (const feature& f : d.features) kinds.insert(f.kind);
    for (feature_kind k : {feature_double, feature_step_up, feature_tabletop, feature_whoops, feature_big_jump})
        EXPECT_TRUE(kinds.count(k)) << k;
    // The highest point of the racing line is on the big jump.
    double best = -1e9, best_s = 0;
    for (const centre_sample& c : d.lap) {
        double h = grid_height(d, c.x, c.z);
        if (h > best) best = h, best_s = c.s;
    }
    bool on_big_jump = false;
    for (const feature& f : d.features)
        if (f.kind == feature_big_jump && best_s >= f.start && best_s <= f.start + f.length) on_big_jump = true;
    EXPECT_TRUE(on_big_jump) << "highest point at " << best_s;
}

TEST_P(generated_design, NoWallsOrCliffsOnTheTrack) {
    // Slopes along the lap at the centre and towards both edges: no face
    // steeper than 36 degrees anywhere a wheel can roll.
    double worst = 0;
    for (size_t i = 0; i + 1 < d.lap.size(); i++) {
        const centre_sample& a = d.lap[i];
        const centre_sample& b = d.lap[i + 1];
        for (double u : {-0.4, -0.2, 0.0, 0.2, 0.4}) {
            double ax = a.x - a.dz * u * a.width, az = a.z + a.dx * u * a.width;
            double bx = b.x - b.dz * u * b.width, bz = b.z + b.dx * u * b.width;
            double run = std::hypot(bx - ax, bz - az);
            if (run < 0.2) continue;
            double slope = std::fabs(grid_height(d, bx, bz) - grid_height(d, ax, az)) / run;
            worst = std::max(worst, slope);
        }
    }
    EXPECT_LT(worst, std::tan(36 * 3.14159265 / 180)) << "steepest " << std::atan(worst) * 180 / 3.14159265;
}

TEST_P(generated_design, SurfacesStartAndGates) {
    int counts[surface_count] = {};
    for (unsigned char t : d.tiles) counts[t]++;
    for (int s = 0; s < surface_count; s++) EXPECT_GT(counts[s], 1000) << s;
    EXPECT_GE(d.starts.size(), 20u);
    // Start positions stand level on hard-pack, facing the same way.
    for (const start_position& s : d.starts) {
        int tx = (int)(s.x / (2 * cell_size)), tz = (int)(s.z / (2 * cell_size));
        EXPECT_EQ(d.tiles[(size_t)tx + (size_t)(1 << size_log2) * tz], surface_hardpack);
        EXPECT_NEAR(s.y, d.starts[0].y, 0.05);
        EXPECT_EQ(s.angle, d.starts[0].angle);
    }
    // Gates lie on the track and point along it; the last is the finish.
    ASSERT_GE(d.gates.size(), 20u);
    EXPECT_TRUE(d.gates.back().finish);
    for (const gate& g : d.gates) {
        int tx = (int)(g.x / (2 * cell_size)), tz = (int)(g.z / (2 * cell_size));
        EXPECT_NE(d.tiles[(size_t)tx + (size_t)(1 << size_log2) * tz], surface_grass);
        EXPECT_NEAR(std::hypot(g.dx, g.dz), 1, 1e-6);
    }
}

// Sandpit Bottoms against Rabbit Hill: a shorter, narrower lap with tighter
// corners, lower all round, and a rhythm section of small jumps one after
// another close together.
TEST(sandpit_design, TighterLowerAndWithARhythmSection) {
    const track_design& rabbit = design();
    const track_design& d = design_of(sandpit_plan());
    EXPECT_LT(d.lap_length, rabbit.lap_length - 200);
    EXPECT_LT(d.lap[d.lap.size() / 2].width, rabbit.lap[rabbit.lap.size() / 2].width);
    auto tightest = [](const track_plan& p) {
        double r = 1e9;
        for (const corner& c : p.corners) r = std::min(r, c.radius);
        return r;
    };
    EXPECT_LT(tightest(sandpit_plan()), tightest(rabbithill_plan()));
    // Relief of the racing line: highest above lowest.
    auto relief = [](const track_design& t) {
        double lo = 1e9, hi = -1e9;
        for (const centre_sample& c : t.lap) {
            double h = grid_height(t, c.x, c.z);
            lo = std::min(lo, h), hi = std::max(hi, h);
        }
        return hi - lo;
    };
    EXPECT_LT(relief(d), relief(rabbit) * 0.6);
    // The rhythm section: its crests along the centre line, each a small
    // jump, close behind the one before.
    const feature* rhythm = nullptr;
    for (const feature& f : d.features)
        if (f.kind == feature_rhythm) rhythm = &f;
    ASSERT_NE(rhythm, nullptr);
    std::vector<double> crests;
    auto line = [&](double s) {
        const centre_sample& c = d.lap[(size_t)std::clamp((int)s, 0, (int)d.lap.size() - 1)];
        return grid_height(d, c.x, c.z) - c.base;
    };
    for (double s = rhythm->start - 5; s < rhythm->start + rhythm->length + 5; s += 1)
        if (line(s) > line(s - 1) && line(s) >= line(s + 1) && line(s) > 2) crests.push_back(s);
    ASSERT_GE(crests.size(), 5u);
    for (size_t k = 1; k < crests.size(); k++) EXPECT_NEAR(crests[k] - crests[k - 1], rhythm_spacing, 2);
}

// ---- the track as built into the archive ------------------------------------------

struct archive_track : ::testing::Test {
    temp_dir home;
    void check_loaded_track(const track_plan& plan);
    void SetUp() override {
        use_built_data(home);
    }
    void TearDown() override {
        free_tile_data();
        free_height_field();
        vfs_shutdown();
        unsetenv("KV_HOME");
    }
};

TEST_F(archive_track, LoadsWithTimingActive) {
    ASSERT_TRUE(file_exists("rabbithill/terrain.hf.gz"));
    for (const track_plan* plan : {&rabbithill_plan(), &sandpit_plan()}) {
        SCOPED_TRACE(plan->dir);
        check_loaded_track(*plan);
        free_tile_data();
        free_height_field();
    }
}

void archive_track::check_loaded_track(const track_plan& plan) {
    const char* dir = plan.dir;
    ASSERT_TRUE(load_height_field(dir));
    EXPECT_EQ(terrain.size_log2, size_log2);
    EXPECT_FLOAT_EQ(terrain.cell_size, (float)cell_size);
    ASSERT_TRUE(load_tile_data(dir));
    // The surfaces first, in their order, then their other looks and the blends.
    ASSERT_GT(tile_count(), surface_count * 4);
    const char* surfaces[surface_count] = {plan.sandy ? "sand" : "dirt", "loam", "hardpack", "grass"};
    for (int k = 0; k < surface_count; k++) EXPECT_EQ(tile_info_of(k).name, surfaces[k]);
    vfs_file* f = vfs_open(track_file_name(dir, "timing_gates").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    timing_data timing;
    load_timing_gates(f, timing);
    vfs_close(f);
    EXPECT_TRUE(timing.active);
    EXPECT_GE(timing.starts.size(), 20u);
    EXPECT_GT(timing.first_lap.size(), 2u);
    EXPECT_EQ(timing.gates.size(), (size_t)plan.gates);
    // The loaded ground is the designed ground, to the 16-bit quantisation.
    const track_design& d = design_of(plan);
    double step = (terrain.height_max - terrain.height_min) / 65535.0;
    for (int k = 0; k < 2000; k++) {
        int i = (int)(((long long)k * 7919) % samples), j = (int)(((long long)k * 104729) % samples);
        EXPECT_NEAR(sample_height(i, j), d.heights[(size_t)i + (size_t)samples * j], step) << i << "," << j;
    }
    // Tiles under the start gate are hard-pack, under the first gate not grass.
    EXPECT_EQ(tile_info_of(tile_at(timing.starts[0].position[0], timing.starts[0].position[2])).name, "hardpack");
    EXPECT_NE(tile_info_of(tile_at(timing.gates[0].centre[0], timing.gates[0].centre[2])).name, "grass");
    // The robots' riding lines at every skill fit the track's stretches
    // (a file for another gate count would be ignored) and give every
    // stretch lines to choose from.
    int first_lap = 0, normal_lap = 0;
    for (int p : timing.first_lap) first_lap += p < 100000;
    for (int p : timing.normal_lap) normal_lap += p < 100000;
    for (int skill = 0; skill < 3; skill++) {
        SCOPED_TRACE(lines_file_name(skill));
        size_t length = 0;
        char* text = file_to_string(track_file_name(dir, lines_file_name(skill)).c_str(), &length);
        ASSERT_NE(text, nullptr);
        clear_lines(first_lap, normal_lap);
        EXPECT_TRUE(parse_lines(text, length, lines()));
        checked_free(text);
        ASSERT_EQ(lines().stretches.size(), (size_t)(first_lap + normal_lap));
        for (size_t k = 0; k < lines().stretches.size(); k++) {
            int with_points = 0;
            for (const riding_line& l : lines().stretches[k]) with_points += !l.line_points.empty();
            EXPECT_GE(with_points, 1) << "stretch " << k;
        }
    }
    clear_lines(0, 0);
}

TEST_F(archive_track, BakedShadingMatchesTheTerrainLighting) {
    ASSERT_TRUE(load_height_field("rabbithill"));
    int n = terrain.samples_per_side;
    double s = 1 / std::sqrt(3.0);
    for (int k = 0; k < 4000; k++) {
        int i = (int)(((long long)k * 7919) % n), j = (int)(((long long)k * 15485863) % n);
        std::array<float, 3> nv = sample_normal(i, j);
        double d = std::clamp((nv[0] + nv[1] + nv[2]) * s, 0.0, 1.0);
        d *= 1 - terrain.shadows[(size_t)i + (size_t)n * j] / 255.0;
        int expected = (int)std::clamp(std::trunc((d + 0.5) * 0.5 * 255), 0.0, 255.0);
        EXPECT_NEAR(terrain.shading[((size_t)i + (size_t)n * j) * 3], expected, 1) << i << "," << j;
    }
}

TEST_F(archive_track, FlatlandIsFlatWithAStraightLineOfGates) {
    ASSERT_TRUE(load_height_field("flatland"));
    EXPECT_FLOAT_EQ(height_at(10, 10), height_at(100, 90));
    ASSERT_TRUE(load_tile_data("flatland"));
    vfs_file* f = vfs_open(track_file_name("flatland", "timing_gates").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    timing_data timing;
    load_timing_gates(f, timing);
    vfs_close(f);
    EXPECT_TRUE(timing.active);
    for (size_t k = 1; k < timing.gates.size(); k++)
        EXPECT_LT(timing.gates[k].centre[2], timing.gates[k - 1].centre[2]);
}

// Every tile shows its corners' surfaces: one surface (in any of its looks)
// where they agree, the blend of the two the tile is between where they do
// not, as the tile info's blend descriptors read from the texture names say.
// And the pictures of neighbouring tiles continue across their shared edge:
// the last shown texel column of one is the first of the next.
TEST_F(archive_track, GroundTilesFollowTheOutlineAndMeetWithoutSeams) {
    ASSERT_TRUE(load_height_field("rabbithill"));
    ASSERT_TRUE(load_tile_data("rabbithill"));
    const track_design& d = design();
    const std::vector<uint8_t>& map = tilemap();
    const int side = 1 << size_log2, corners = side + 1;
    int outline = 0, wrong = 0;
    for (int tz = 0; tz < side; tz++) {
        for (int tx = 0; tx < side; tx++) {
            int c[4] = {d.corners[(size_t)tx + (size_t)corners * tz], d.corners[(size_t)tx + 1 + (size_t)corners * tz],
                        d.corners[(size_t)tx + (size_t)corners * (tz + 1)],
                        d.corners[(size_t)tx + 1 + (size_t)corners * (tz + 1)]};
            int blend = tile_info_of(map[(size_t)tx + (size_t)side * tz]).blend;
            int a = blend >> 16 & 0xff, b = blend >> 8 & 0xff, mask = blend & 0xf;
            bool agree = c[0] == c[1] && c[1] == c[2] && c[2] == c[3];
            if (blend < 0) {
                wrong++;
            } else if (agree) {
                wrong += !(a == c[0] && b == c[0]);
            } else {
                outline += b == surface_grass;
                for (int k = 0; k < 4; k++) wrong += ((mask >> (3 - k)) & 1) != (c[k] == b);
                wrong += a == b;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(outline, 1500);  // the lap's two edges, all the way round

    // The edge texels of every tile type's picture (shown part: texels 16 … 240).
    struct edges {
        std::vector<std::array<int, 3>> left, right, top, bottom;
    };
    std::vector<edges> e((size_t)tile_count());
    for (int t = 0; t < tile_count(); t++) {
        pixel_buffer img;
        ASSERT_TRUE(read_png(tile_info_of(t).texture.name.c_str(), img)) << tile_info_of(t).texture.name;
        ASSERT_EQ(img.width, 256);
        auto px = [&](int x, int y) {
            const uint8_t* p = &img.pixels[((size_t)y * img.width + x) * img.channels];
            return std::array<int, 3>{p[0], p[1], p[2]};
        };
        for (int k = 16; k < 240; k++) {
            e[(size_t)t].left.push_back(px(16, k));
            e[(size_t)t].right.push_back(px(240, k));
            e[(size_t)t].top.push_back(px(k, 16));
            e[(size_t)t].bottom.push_back(px(k, 240));
        }
    }
    auto difference = [](const std::vector<std::array<int, 3>>& p, const std::vector<std::array<int, 3>>& q) {
        int most = 0;
        for (size_t k = 0; k < p.size(); k++)
            for (int ch = 0; ch < 3; ch++) most = std::max(most, std::abs(p[k][ch] - q[k][ch]));
        return most;
    };
    int seams = 0, worst = 0;
    for (int tz = 0; tz < side; tz++) {
        for (int tx = 0; tx < side; tx++) {
            int here = map[(size_t)tx + (size_t)side * tz];
            if (tx + 1 < side) {
                int right = map[(size_t)tx + 1 + (size_t)side * tz];
                int diff = difference(e[(size_t)here].right, e[(size_t)right].left);
                worst = std::max(worst, diff);
                seams += diff > 12;
            }
            if (tz + 1 < side) {
                int below = map[(size_t)tx + (size_t)side * (tz + 1)];
                int diff = difference(e[(size_t)here].bottom, e[(size_t)below].top);
                worst = std::max(worst, diff);
                seams += diff > 12;
            }
        }
    }
    EXPECT_EQ(seams, 0) << "worst seam difference " << worst;
}

// A gate piece is stored fallen and raised by the race's tilt: raised, its
// spheres stand a grate of about a foot across the start position ahead of
// the hinge; fallen, every sphere lies below the ground, out of the way.
TEST_F(archive_track, StartingGateStandsRaisedAndSinksWhenFallen) {
    const collision_shape* shape = shape_load("@startgate.shp");
    ASSERT_NE(shape, nullptr);
    ASSERT_GE(shape->spheres.size(), 8u);
    gate_piece raised;
    raised.raise = 1;
    double t = gate_piece_tilt(raised), c = std::cos(t), s = std::sin(t);
    double raised_top = -1e9, raised_low = 1e9, fallen_top = -1e9;
    for (const collision_sphere& sp : shape->spheres) {
        double y = sp.center[1], z = sp.center[2];
        double ry = c * y - s * z, rz = s * y + c * z;  // turned about x as the race turns the piece
        raised_top = std::max(raised_top, ry + sp.radius);
        raised_low = std::min(raised_low, ry - sp.radius);
        fallen_top = std::max(fallen_top, y + sp.radius);
        EXPECT_LT(rz, -1.0) << "the grate stands ahead of the hinge";
    }
    EXPECT_GT(raised_top, 0.9);
    EXPECT_GT(raised_low, 0.05);  // clear of the ground: a wall, not a ramp
    EXPECT_LT(fallen_top, -0.05);
}

// The generated tracks' digests, as a race server compares them byte for
// byte: the generators use only correctly rounded arithmetic and their own
// elementary functions, so these hold on every machine. A change to a
// track's bytes must change the value here too, and deliberately. (Last
// changes: each surface's own erosion values in "tileinfo", which flatland's
// dirt shares; Rabbit Hill's script with its billboards and statues; Sandpit
// Bottoms added.)
TEST_F(archive_track, EveryGeneratedTrackHasItsPinnedDigest) {
    const std::pair<const char*, const char*> tracks[] = {
        {"rabbithill", "462ad96fbed96a911cd961535f5afbe28babf650"},
        {"sandpit", "3a9e237d00af9f04684e68acd2f01f8dfb55ac00"},
        {"flatland", "63ff06cae300bfb66c8eba0f423bcac7c200ce7a"},
    };
    fill_race_parts(track_parts, object_race, rider_parts);
    fill_object_parts(track_parts);
    for (const auto& [dir, digest] : tracks) {
        current_track_dir = dir;
        ASSERT_TRUE(load_track()) << dir;
        EXPECT_EQ(hex_digest(track_digest), digest) << dir;
        release_track();
    }
    current_track_dir.reset();
    track_parts = {};
    object_race = {};
    rider_parts = {};
}

}  // namespace
