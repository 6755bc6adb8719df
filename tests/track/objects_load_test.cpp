// The track's objects through the track loader: the load order, the digest
// over the statues' models, release, and Rabbit Hill's scenery as built
// into the archive.
#include <cmath>

#include "bike/solid_objects.h"
#include "objects_fixture.h"
#include "race/timing_gates.h"
#include "render/terrain_lighting.h"
#include "testkit/built_data.h"
#include "track/objects_billboards.h"
#include "track/objects_cameras.h"
#include "track/objects_flaggers.h"
#include "track/objects_grid.h"
#include "track/objects_lighting.h"
#include "track/objects_statues.h"
#include "track/tile_info.h"
#include "track/track.h"

namespace {

// What the race will do with a track's timing gates, as far as the objects
// need it: the lap lists for the flaggers and cameras, and a starting gate
// piece in front of every start position.
timing_data g_timing;
void load_gates_with_pieces(const char* name) {
    vfs_file* f = vfs_open(name, "rb");
    load_timing_gates(f, g_timing);
    if (f) vfs_close(f);
    for (const start_gate_position& s : g_timing.starts)
        add_gate_piece(s.position, s.angle, s.model.c_str(), s.texture.c_str(), s.shape.c_str());
    object_race.lap_lists = [](const std::vector<int>*& first, const std::vector<int>*& normal, int& gates) {
        first = &g_timing.first_lap, normal = &g_timing.normal_lap, gates = (int)g_timing.gates.size();
        return g_timing.active;
    };
}

struct objects_loading : objects_test {
    void SetUp() override {
        objects_test::SetUp();
        fill_object_parts(track_parts);
        terrain_lighting = lighting_for_terrain;
        track_parts.load_timing_gates = load_gates_with_pieces;
        track_parts.free_timing_gates = [] { g_timing = timing_data(); };
        put_track("texturelist", "0.9 4 12 @dirt.png\n");
        track.put("tilemap", std::vector<uint8_t>(128 * 128, 0));
        current_track_dir = track.dir;
    }
    void TearDown() override {
        release_track();
        track_parts = {};
        solid_objects = {};
        terrain_lighting = default_terrain_lighting;
        objects_test::TearDown();
    }
};

TEST_F(objects_loading, EveryObjectFileLoadsInOrderAndIsFreedWithTheTrack) {
    put("box.jm", triangle_jm);
    put_shape("box.shp", 2);
    put_png("tree.png");
    put_png(track.dir + "/map.png");
    put_track("timing_gates", "startinggate:\n[ 100 10 100 ] 0 @box.jm null @box.shp\ncheckpoints:\n"
                              "10 [ 50 10 50 ] [ 0 0 -1 ]\n10 [ 60 10 40 ] [ 0 0 -1 ]\n10 [ 70 10 30 ] [ 0 0 -1 ]\n"
                              "firstlap: 0 1 2\nnormallap: 0 1 2\n");
    put_track("lighting", "fog [ 0.5 0.5 0.5 ] 0.001\n");
    put_track("flaggers", "[ 90 0 90 ] [ 80 0 90 ] 6 0.5 2 @tree.png @tree.png @tree.png @tree.png @tree.png\n");
    put_track("billboards", "[ 20 0 20 ] 10 0.5 @tree.png\n");
    put_track("statues", "[ 40 0 40 ] 0 @box.jm null @box.shp\n");
    put_track("cameras", "gate 0 1\naddcamera 10 10 10\n");
    ASSERT_TRUE(load_track());

    // Gate piece first, then the file's statue; particles, the marshal, then
    // the file's billboard.
    ASSERT_EQ(track_statues().size(), 2u);
    EXPECT_EQ(first_track_statue(), 1);
    EXPECT_NEAR(track_statues()[0].z, 97, 1e-4f);
    ASSERT_EQ(track_billboards().size(), (size_t)roost_particle_count + 2);
    EXPECT_EQ(track_flaggers().start.billboard, roost_particle_count);
    EXPECT_EQ(first_track_billboard(), roost_particle_count + 1);
    EXPECT_EQ(track_lighting.fog_density, 0.001f);
    EXPECT_NE(track_map_texture(), 0u);
    EXPECT_EQ(track_cameras().size(), 1u);
    EXPECT_EQ(track_cameras().size(), 1u);
    // Both statues are solid and on the grid.
    std::vector<int> near;
    solid_statues_near(100, 96, 6, near);
    EXPECT_EQ(near, std::vector<int>{0});
    solid_statues_near(40, 40, 6, near);
    EXPECT_EQ(near, std::vector<int>{1});

    // A statue's model file is part of the track's digest.
    std::array<uint8_t, 20> before = track_digest;
    put("box.jm", std::string(triangle_jm) + " ");
    release_track();
    models_free();
    models_init(false);
    ASSERT_TRUE(load_track());
    EXPECT_NE(track_digest, before);

    release_track();
    EXPECT_TRUE(track_statues().empty());
    EXPECT_TRUE(track_billboards().empty());
    EXPECT_TRUE(track_cameras().empty());
    EXPECT_EQ(track_map_texture(), 0u);
    EXPECT_EQ(track_flaggers().start.billboard, -1);
    EXPECT_TRUE(object_grid_list(3, 3).empty());
    EXPECT_EQ(track_lighting.fog_density, 0);
}

TEST_F(objects_loading, TrackWithoutObjectFilesLoads) {
    ASSERT_TRUE(load_track());
    EXPECT_EQ(track_billboards().size(), (size_t)roost_particle_count);
    EXPECT_TRUE(track_statues().empty());
    EXPECT_TRUE(track_cameras().empty());
    EXPECT_EQ(track_lighting.sky[sky_n], 0u);
    EXPECT_EQ(track_map_texture(), 0u);
}

// ---- Rabbit Hill -----------------------------------------------------------------------------

struct rabbit_hill : ::testing::Test {
    temp_dir home;
    void SetUp() override {
        use_built_data(home);
        textures_init();
        models_init(false);
        shape_cache_free();
        object_race = {};
        fill_object_parts(track_parts);
        terrain_lighting = lighting_for_terrain;
        track_parts.load_timing_gates = load_gates_with_pieces;
        track_parts.free_timing_gates = [] { g_timing = timing_data(); };
        clear_message_history();
        current_track_dir = "rabbithill";
    }
    void TearDown() override {
        release_track();
        track_parts = {};
        solid_objects = {};
        object_race = {};
        terrain_lighting = default_terrain_lighting;
        textures_free();
        models_free();
        shape_cache_free();
        current_track_dir.reset();
        vfs_shutdown();
        unsetenv("KV_HOME");
    }
};

TEST_F(rabbit_hill, SceneryLoadsWhole) {
    ASSERT_TRUE(load_track());
    EXPECT_FALSE(shown("Warning"));
    EXPECT_FALSE(shown("Error"));

    // The light the ground was shaded with, fog, sky and the sun's flare.
    const lighting_record& L = track_lighting;
    for (float c : L.sun_vector) EXPECT_NEAR(c, 0.57735026f, 1e-6f);
    EXPECT_EQ(L.sun_color, (std::array<float, 3>{1, 1, 1}));
    EXPECT_EQ(L.ambient, (std::array<float, 3>{0.5f, 0.5f, 0.5f}));
    EXPECT_GT(L.fog_density, 0);
    for (unsigned id : L.sky) EXPECT_NE(id, 0u);
    ASSERT_EQ(L.flare_list.size(), 1u);
    EXPECT_TRUE(L.flare_list[0].directional);
    EXPECT_EQ(L.flare_list[0].element_count, max_flare_elements);
    EXPECT_NE(track_map_texture(), 0u);
    // The default sky of tracks that name none is there too.
    for (const char* name : {"@sky-n.ppm", "@sky-u.ppm", "@sky-env.ppm"}) EXPECT_NE(texture_load(name), 0u) << name;

    // Billboards with pictures that load, all on grass.
    const std::vector<billboard>& boards = track_billboards();
    int scenery = (int)boards.size() - first_track_billboard();
    EXPECT_GT(scenery, 300);
    for (size_t k = (size_t)first_track_billboard(); k < boards.size(); k++) {
        EXPECT_NE(boards[k].texture, 0u) << boards[k].texture_name;
        EXPECT_EQ(tile_info_of(tile_at(boards[k].x, boards[k].z)).name, "grass") << k;
    }

    // Solid statues: the gate pieces, then barriers off the track that a
    // rider on the track's middle never reaches.
    const std::vector<statue>& list = track_statues();
    ASSERT_EQ(first_track_statue(), (int)g_timing.starts.size());
    int solid = 0;
    for (size_t k = (size_t)first_track_statue(); k < list.size(); k++) {
        const statue& s = list[k];
        EXPECT_NE(s.model_ref, nullptr) << s.model_name;
        EXPECT_NE(s.texture, 0u) << s.texture_name;
        if (!s.shape) continue;
        solid++;
        EXPECT_EQ(tile_info_of(tile_at(s.x, s.z)).name, "grass") << k;
        for (const timing_gate& g : g_timing.gates)
            EXPECT_GT(std::hypot(g.centre[0] - s.x, g.centre[2] - s.z), 12) << k;
    }
    EXPECT_GT(solid, 30);
    std::vector<int> near;
    // The track script's statues come first; they are not solid.
    size_t first_solid = (size_t)first_track_statue();
    while (first_solid < list.size() && !list[first_solid].shape) first_solid++;
    ASSERT_LT(first_solid, list.size());
    const statue& barrier = list[first_solid];
    solid_statues_near(barrier.x + 3, barrier.z, 6, near);
    EXPECT_NE(std::find(near.begin(), near.end(), (int)first_solid), near.end());
    // The gate pieces are solid too and stand in front of the starts.
    solid_statues_near(g_timing.starts[0].position[0], g_timing.starts[0].position[2] - 3, 6, near);
    EXPECT_NE(std::find(near.begin(), near.end(), 0), near.end());

    // The marshals, with yellow flags bound to real gates.
    const flagger_set& f = track_flaggers();
    EXPECT_GE(f.start.billboard, 0);
    EXPECT_GE(f.lap.billboard, 0);
    for (unsigned t : f.start.textures) EXPECT_NE(t, 0u);
    for (unsigned t : f.lap.textures) EXPECT_NE(t, 0u);
    EXPECT_GE(f.yellow.size(), 4u);
    for (const yellow_flagger& y : f.yellow) {
        EXPECT_NE(y.yellow, 0u);
        EXPECT_GE(y.gates[0], 0);
        for (int g : y.gates) EXPECT_LT(g, (int)g_timing.gates.size());
    }

    // A camera for every gate.
    EXPECT_GE(track_cameras().size(), 6u);
    for (size_t g = 0; g < g_timing.gates.size(); g++) EXPECT_NE(gate_cameras()[g], -1) << g;
    for (const track_camera& c : track_cameras()) EXPECT_GT(c.position[1], height_at((float)c.position[0], (float)c.position[2]) + 10);

    // The objects' model files are in the digest's list.
    std::vector<std::string> models;
    statue_model_files(models);
    EXPECT_NE(std::find(models.begin(), models.end(), "@rabbithill/haybale.jm"), models.end());
}

}  // namespace
