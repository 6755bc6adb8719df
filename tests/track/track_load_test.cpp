// Loading and releasing a track: the order of its steps, its digest, the
// reload rule of a race reset, and the track information file.
#include <gtest/gtest.h>

#include "core/cmdline.h"
#include "race/timing_gates.h"
#include "track/digest.h"
#include "track/tile_info.h"
#include "track/track.h"
#include "track_fixture.h"
#include "vfs/vfs.h"

namespace {

std::vector<std::string> g_models;
std::vector<std::string> g_freed;
int g_loads = 0;
timing_data g_timing;

// Every part a later subsystem loads, played by stand-ins that log what they
// were given (so the log shows the whole order) and note what they freed.
#define LOGS(what) [](const char* n) { log_printf(what " %s\n", n); }
#define FREES(what) [] { g_freed.push_back(what); }
track_part_driver logging_parts() {
    track_part_driver h;
    h.load_lighting = [](const char* n) { g_loads++, log_printf("lighting %s\n", n); };
    h.terrain_lit = [] { return true; };
    h.setup_terrain_textures = [] { log_printf("terrain textures\n"); };
    h.texture_memory = [] { return 4096ul; };
    h.load_timing_gates = [](const char* n) {
        vfs_file* f = vfs_open(n, "rb");
        load_timing_gates(f, g_timing);
        if (f) vfs_close(f);
        log_printf("gates %s\n", n);
    };
    h.timing_counts = [](int& first, int& normal, int& gates) {
        first = (int)g_timing.first_lap.size(), normal = (int)g_timing.normal_lap.size();
        gates = (int)g_timing.gates.size();
    };
    h.create_particle_pool = [] { log_printf("particles\n"); };
    h.load_flaggers = LOGS("flaggers"), h.load_billboards = LOGS("billboards"), h.load_statues = LOGS("statues");
    h.build_object_grid = [] { log_printf("grid\n"); };
    h.object_model_files = [](std::vector<std::string>& names) { names = g_models; };
    h.load_map = LOGS("map"), h.load_cameras = LOGS("cameras"), h.run_script = LOGS("script");
    h.editor_attach = [] { log_printf("editor\n"); };
    h.free_lighting = FREES("lighting"), h.free_timing_gates = FREES("gates"), h.free_objects = FREES("objects");
    h.free_map = FREES("map"), h.free_cameras = FREES("cameras"), h.editor_detach = FREES("editor");
    return h;
}

struct track_files : track_sandbox {
    temp_dir logs;
    track_files() {
        write_field(6, 1.0f, 0, 10, nullptr);
        put("texturelist", "0.9 4 12 dirt.png\ngrass.png\n");
        put("tilemap", std::vector<uint8_t>(64 * 64, 1));
        current_track_dir = dir;
        g_models.clear();
        g_freed.clear();
        g_loads = 0;
    }
    ~track_files() {
        release_track();
        track_parts = {};
        current_track_dir.reset();
        cmdline.debug_level = 0;
        log_printf(nullptr);
        unsetenv("PLIX_LOGFILE");
    }
    void capture_log() {
        log_printf(nullptr);
        setenv("PLIX_LOGFILE", logs.file("log.txt").c_str(), 1);
    }
    // The captured log without time stamps, from after its header.
    std::string log() {
        log_printf(nullptr);
        std::string out, text = read_file(logs.file("log.txt"));
        for (size_t at = 0, end; at < text.size(); at = end) {
            end = std::min(text.find('\n', at), text.size() - 1) + 1;
            size_t body = text.find("] ", at) + 2;
            out.append(text, body, end - body);
        }
        return out.substr(out.find("PLIX 0.31\n") + 10);
    }
    std::string file(const std::string& name) const { return read_file(path(name)); }
};

std::string sha1_hex(const std::string& bytes) {
    sha1_stream s;
    s.feed(bytes.data(), bytes.size());
    return hex_digest(s.finish());
}

TEST(track_load, StepsRunInOrderAndEveryPartIsFreedOnRelease) {
    track_files t;
    t.put("decals", "[ 10 10 ] 0 4 1 mud.png\n");
    t.put("billboards", "");
    t.put("statues", "");
    track_parts = logging_parts();
    cmdline.debug_level = 1;
    t.capture_log();
    ASSERT_TRUE(load_track());
    EXPECT_TRUE(track_loaded());
    EXPECT_EQ(current_track_name, "tracks/t");  // not in the list: the directory
    EXPECT_EQ(tile_count(), 2);
    EXPECT_FALSE(terrain.normal_texels.empty());
    release_track();
    release_track();
    EXPECT_FALSE(track_loaded());
    EXPECT_FALSE(height_field_loaded());
    const char* m = " bytes texture memory used ";
    std::string want = std::string("Scanning\nLoading '@tracks/t'\nlighting @tracks/t/lighting\n") +
                       "Loading terrain\nLoading heights\nLoading shading\nLoading shadows\n" + "4096" + m +
                       "before ground tiles loaded\nLoading tileinfo\nLoading tilemap\n4096" + m +
                       "after ground tiles loaded\nCreating terrain normals\nterrain textures\nLoading decals\n4096" +
                       m + "after hf creation\ngates @tracks/t/timing_gates\nparticles\nLoading flaggers\n" +
                       "flaggers @tracks/t/flaggers\n4096" + m + "after flagger creation\nLoading billboards\n" +
                       "billboards @tracks/t/billboards\n4096" + m + "after billboard creation\nLoading statues\n" +
                       "statues @tracks/t/statues\nLoading map\n4096" + m + "after statue creation\n" +
                       "map @tracks/t/map.png\ngrid\neditor\ncameras @tracks/t/cameras\n" +
                       "Deallocating track\nFinished deallocating track\n" +
                       "Deallocating track\nFinished deallocating track\n";
    EXPECT_EQ(t.log(), want);
    for (const char* part : {"editor", "gates", "objects", "map", "cameras", "lighting"})
        EXPECT_EQ(std::count(g_freed.begin(), g_freed.end(), part), 3) << part;  // before the load, and twice after
}

TEST(track_load, AFailedLoadKeepsNothingAndNamesTheMissingFile) {
    track_files t;
    std::remove(t.path("texturelist").c_str());
    clear_message_history();
    EXPECT_FALSE(load_track());
    EXPECT_EQ(std::string(message_line(0)), "Can't open '@tracks/t/texturelist'");
    EXPECT_FALSE(current_track_dir);
    EXPECT_FALSE(current_track_name);
    EXPECT_FALSE(track_loaded());
    EXPECT_FALSE(height_field_loaded());
    release_track();
    release_track();
    EXPECT_FALSE(load_track());  // no directory to load
}

TEST(track_load, DigestCoversTheTrackFilesInOrderAndNothingElse) {
    track_files t;
    t.put("terrain.png", "no picture: the heights fall back to h0");
    t.put("tileinfo", "texture dirt.png\naddtile\n");
    t.put("timing_gates", "startinggate:\n");
    t.put("statues", "[ 1 2 3 ] 0 null null null\n");
    t.put("m1.jm", "model one");
    t.put("m2.jm", "model two");
    g_models = {"@tracks/t/m1.jm", "@tracks/t/m2.jm", "@tracks/t/m1.jm", "@tracks/t/none.jm"};
    track_parts.object_model_files = logging_parts().object_model_files;
    t.capture_log();
    ASSERT_TRUE(load_track());
    EXPECT_TRUE(t.log().starts_with("Track parts not in this build: lighting, terrain textures, timing gates, "
                                    "roost particles, flaggers, billboards, statues, object grid, map, cameras\n"
                                    "Scanning\nLoading terrain\n"));
    EXPECT_TRUE(terrain.normal_texels.empty());
    std::string want = sha1_hex(t.file("terrain.hf") + t.file("terrain.png") + t.file("texturelist") +
                                t.file("tilemap") + t.file("tileinfo") + t.file("timing_gates") + t.file("statues") +
                                "model one" + "model two");
    EXPECT_EQ(hex_digest(track_digest), want);

    const int n = track_sandbox::side(6);
    std::vector<uint8_t> lit((size_t)n * n, 200);
    t.put("shadows.pgm", encode_pgm(lit.data(), n, n));
    ASSERT_TRUE(load_track());
    EXPECT_EQ(terrain.shadows[0], 55);  // read, yet not digested
    EXPECT_EQ(hex_digest(track_digest), want);
    // One byte more or different in any digested file changes the digest.
    for (const char* file : {"tilemap", "timing_gates", "m2.jm"}) {
        std::string before = t.file(file), changed = before;
        changed[0] ^= 1;
        t.put(file, changed);
        ASSERT_TRUE(load_track());
        EXPECT_NE(hex_digest(track_digest), want) << file;
        t.put(file, before);
    }
    ASSERT_TRUE(load_track());
    EXPECT_EQ(hex_digest(track_digest), want);
}

TEST(track_load, ResetsReloadOnlyWhenTheRuleAsks) {
    track_files t;
    track_parts = logging_parts();
    EXPECT_TRUE(prepare_track("tracks/t", false));
    EXPECT_TRUE(prepare_track("tracks/t", false));
    EXPECT_EQ(g_loads, 1);
    request_track_reload();
    EXPECT_TRUE(prepare_track("tracks/t", false));
    EXPECT_EQ(g_loads, 2);
    EXPECT_FALSE(track_reload_requested());
    EXPECT_TRUE(prepare_track("tracks/t", true));  // online: always, and frozen
    EXPECT_EQ(g_loads, 3);
    EXPECT_EQ(terrain.frozen, 1);
    EXPECT_TRUE(prepare_track("tracks/t", false));
    EXPECT_EQ(g_loads, 3);
    EXPECT_EQ(terrain.frozen, 0);
    EXPECT_FALSE(prepare_track("tracks/none", false));
    EXPECT_FALSE(track_loaded());
    EXPECT_TRUE(prepare_track("tracks/t", false));
    EXPECT_EQ(g_loads, 5);  // the failed one got as far as the lighting
}

TEST(track_load, TrackInfoFileHoldsTheLoadedTracksFacts) {
    track_files t;
    EXPECT_FALSE(save_track_info());  // no track
    timing_data gates;
    for (int k = 0; k < 4; k++) gates.gates.push_back({5, {10.0f * k, 0, 20}, {1, 0, 0}});
    gates.first_lap = {0, 1, 2};
    gates.normal_lap = {3, 0, 1, 2};
    t.put("timing_gates", encode_timing_gates(gates));
    ASSERT_TRUE(load_track());
    clear_message_history();
    EXPECT_FALSE(save_track_info());
    EXPECT_EQ(std::string(message_line(0)), "Track info needs the timing gates, which are not in this build");

    track_parts = logging_parts();
    ASSERT_TRUE(load_track());
    ASSERT_TRUE(save_track_info());
    EXPECT_EQ(std::string(message_line(0)), "Track info saved to tracks/t.trackinfo");
    EXPECT_EQ(read_file(t.box.root0() + "tracks/t.trackinfo"),
              "dir=tracks/t\nlongname=tracks/t\nfirstlap=3\nnormallap=4\ngatecount=4\nhash=" +
                  hex_digest(track_digest) + "\n");
}

// The default data: the generated tracks are listed, and two of them load from the archive.
TEST(track_load, DefaultTracksLoadFromTheArchive) {
    temp_dir home;
    setenv("XDG_DATA_HOME", home.path.c_str(), 1);
    setenv("KV_HOME", QX_BIN_DIR, 1);
    vfs_shutdown();
    track_parts = logging_parts();
    ASSERT_GE(scan_tracks(), 2);
    EXPECT_EQ(track_display_name("rabbithill"), "Rabbit Hill");
    EXPECT_EQ(track_display_name("sandpit"), "Sandpit Bottoms");
    EXPECT_TRUE(has_track("flatland"));
    std::array<uint8_t, 20> digests[2];
    for (int k = 0; k < 2; k++) {
        current_track_dir = k ? "flatland" : "rabbithill";
        ASSERT_TRUE(load_track()) << *current_track_dir;
        digests[k] = track_digest;
        EXPECT_TRUE(g_timing.active) << *current_track_dir;
        EXPECT_GT(tile_count(), k ? 0 : 3);
    }
    EXPECT_NE(digests[0], digests[1]);
    current_track_dir = "rabbithill";
    ASSERT_TRUE(load_track());
    EXPECT_EQ(track_digest, digests[0]);
    release_track();
    free_track_lists();
    track_parts = {};
    vfs_shutdown();
    unsetenv("KV_HOME");
}

}  // namespace
