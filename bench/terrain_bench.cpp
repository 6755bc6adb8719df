// The ground on Rabbit Hill: level-of-detail selection and mesh building per
// frame from five cameras (target: under 2 ms of CPU time per frame), and
// composing every texture of the track on the CPU as the first frame does.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "core/cmdline.h"
#include "render/gl_caps.h"
#include "render/terrain_mesh.h"
#include "render/terrain_parts.h"
#include "render/terrain_textures.h"
#include "render/texture.h"
#include "track/height_field.h"
#include "track/tile_info.h"
#include "track/track.h"
#include "vfs/vfs.h"

namespace {

struct rabbit_hill {
    std::string home;
    rabbit_hill() {
        char dir[] = "/tmp/qxterrain.XXXXXX";
        home = mkdtemp(dir);
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("KV_HOME", QX_BIN_DIR, 1);
        vfs_shutdown();
        file_list();
        textures_init();
        fill_terrain_renderer(terrain_renderer);
        fill_terrain_parts(track_parts);
        render_settings.ground_detail_factor = 0.125 / 70;  // "Ground Geometric Detail" 70
        if (!load_height_field("rabbithill") || !load_tile_data("rabbithill")) abort();
    }
    ~rabbit_hill() {
        terrain_textures_release();
        free_tile_data();
        free_height_field();
        textures_free();
        std::filesystem::remove_all(home);
    }
};

rabbit_hill& track() {
    static rabbit_hill t;
    return t;
}

// Start gate, on the big jump, in a corner of the lap, high over the
// middle, and at the field's edge looking in.
struct camera {
    const char* name;
    std::array<float, 3> position, direction;
};
const camera cameras[5] = {
    {"start", {300, 6, 420}, {1, -0.2f, -0.6f}},
    {"jump", {330, 20, 300}, {0, -0.3f, -1}},
    {"corner", {150, 6, 150}, {0.7f, -0.2f, 0.7f}},
    {"overview", {320, 120, 320}, {0.1f, -1, 0.2f}},
    {"edge", {630, 8, 320}, {-1, -0.1f, 0}},
};

void BM_TerrainMesh(benchmark::State& state) {
    track();
    const camera& c = cameras[state.range(0)];
    terrain_view v;
    v.position = c.position;
    v.position[1] += height_at(c.position[0], c.position[2]);
    v.direction = c.direction;
    terrain_mesh m;
    for (auto _ : state) {
        build_terrain_mesh(v, m);
        benchmark::DoNotOptimize(m.vertices.data());
    }
    state.SetLabel(c.name);
    state.counters["triangles"] = m.triangles();
    state.counters["pieces"] = (double)m.pieces.size();
}
BENCHMARK(BM_TerrainMesh)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// A frame's whole CPU share of the ground with the textures in place: the
// camera levels' upkeep, the selection and mesh, each piece's texture and
// texture coordinates (no GL context: the draw calls themselves are left out).
void BM_TerrainFrame(benchmark::State& state) {
    track();
    const camera& c = cameras[state.range(0)];
    render_settings.ground_texture_size = 64;
    render_settings.ground_texture_reduction = 1;
    terrain_textures_setup(terrain_method_texsubimage);
    std::array<float, 3> eye = c.position;
    eye[1] += height_at(eye[0], eye[2]);
    terrain_camera(eye, c.direction);
    terrain_textures_update();
    for (auto _ : state) {
        terrain_camera(eye, c.direction);
        terrain_textures_update();
        terrain_draw();
    }
    state.SetLabel(c.name);
    state.counters["triangles"] = terrain_triangles_drawn();
    terrain_textures_release();
}
BENCHMARK(BM_TerrainFrame)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// The first frame of a track: every block and camera level texture composed
// on the CPU, at the default 64 texels and at 256.
void BM_TerrainComposeAll(benchmark::State& state) {
    track();
    render_settings.ground_texture_size = (int)state.range(0);
    render_settings.ground_texture_reduction = 1;  // "Ground Texture Levels" 9
    gl_caps.ground_mipmaps = true;
    int textures = 0;
    for (auto _ : state) {
        state.PauseTiming();
        terrain_textures_setup(terrain_method_texsubimage);
        terrain_camera({300, 6, 420}, {1, -0.2f, -0.6f});
        state.ResumeTiming();
        terrain_textures_update();
        textures = (int)terrain_texture_list().size();
    }
    state.counters["textures"] = textures;
}
BENCHMARK(BM_TerrainComposeAll)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);

// The threshold build when a track loads.
void BM_TerrainLodBuild(benchmark::State& state) {
    track();
    for (auto _ : state) terrain_lod_build();
}
BENCHMARK(BM_TerrainLodBuild)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
