// The editor's Smooth brush on Rabbit Hill's 1025 x 1025 field: one brush
// action (the brush acts every 32nd tic while held) with the largest disc
// (Strength 5: radius 32 samples), for a brush covering the whole field and
// for the default brush size.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "editor/editor.h"
#include "track/height_field.h"
#include "track/track.h"
#include "vfs/vfs.h"

namespace {

struct rabbit_hill {
    std::string home;
    rabbit_hill() {
        char dir[] = "/tmp/qxeditor.XXXXXX";
        home = mkdtemp(dir);
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("KV_HOME", QX_BIN_DIR, 1);
        vfs_shutdown();
        file_list();
        if (!load_height_field("rabbithill")) abort();
        editor_enable(true);
        editor_attach();
        editor_set_pointer(512, 512, 1024, 1024);
    }
    ~rabbit_hill() {
        editor_detach();
        free_height_field();
        std::filesystem::remove_all(home);
    }
};

rabbit_hill& track() {
    static rabbit_hill t;
    return t;
}

void smooth_action(benchmark::State& state, double radius, double zoom) {
    track();
    editor.mode = 2;
    editor_settings.strength = 5;
    editor_settings.radius = radius;
    editor_settings.zoom = zoom;
    editor_point p;
    p.x = p.z = terrain.extent / 2;
    for (auto _ : state) {
        editor.stroke_start = editor_point{};
        editor_brush_action(p);
    }
    state.counters["samples_per_side"] = terrain.samples_per_side;
    state.counters["brush_radius_ft"] = editor_brush_radius();
    state.counters["undo_ring_MiB"] =
        (double)editor.undo_levels * (double)terrain.samples_per_side * terrain.samples_per_side * 10 / 1048576.0;
}

void BM_smooth_whole_field(benchmark::State& state) { smooth_action(state, 128, -3); }
void BM_smooth_default_brush(benchmark::State& state) { smooth_action(state, 64, 1); }
BENCHMARK(BM_smooth_whole_field)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_smooth_default_brush)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
