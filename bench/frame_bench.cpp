// One frame of Rabbit Hill with 1 and with 40 bikes in view, under whatever GL the
// display offers (run it under xvfb-run for llvmpipe): this thread's
// processor time per frame, split by the frame's labelled steps. The GL
// driver's own rendering threads are not counted.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "platform/window.h"
#include "render/frame_draw.h"
#include "render/gl_caps.h"
#include "render/model.h"
#include "render/terrain_lighting.h"
#include "render/terrain_parts.h"
#include "render/texture.h"
#include "track/height_field.h"
#include "track/objects_lighting.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "vfs/vfs.h"

namespace {

constexpr int width = 1024, height = 768;

struct scene {
    std::string home;
    plix_window* window = nullptr;
    frame_camera camera;
    scene() {
        char dir[] = "/tmp/qxframe.XXXXXX";
        home = mkdtemp(dir);
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("KV_HOME", QX_BIN_DIR, 1);
        vfs_shutdown();
        file_list();
        window = open_gl_window("frame bench", width, height, 24, 0, 16, 0, 0);
        if (!window) return;
        gl_choice_settings choice;
        choice.use_shader = settings.use_shader;
        gl_start(choice);
        textures_init(&gl_texture_driver);
        models_init(true);
        fill_terrain_renderer(terrain_renderer);
        fill_terrain_parts(track_parts);
        fill_object_parts(track_parts);
        terrain_lighting = lighting_for_terrain;
        current_track_dir = "rabbithill";
        if (!load_track() || !bike_world_init()) abort();
        // Forty bikes in eight rows of five across the camera's view.
        float x0 = 320, z0 = 320;
        bike_setup setup;
        for (int k = 0; k < 40; k++) {
            bike_state* b = create_bike("cr125", k, false, setup);
            if (!b) abort();
            float x = x0 - 8 + 4 * (k % 5), z = z0 + 15 + 6 * (k / 5);
            translate_bike(*b, x, height_at(x, z) + 2.2f, z);
        }
        float eye_y = height_at(x0, z0 - 5) + 7;
        camera = look_at_camera({x0, eye_y, z0 - 5}, {x0, eye_y - 4, z0 + 30});
    }
};

scene& the_scene() {
    static scene s;
    return s;
}

// Bikes in slots from this one on are hidden, so one run compares a frame
// with one bike in view against the frame with all forty.
int g_shown = 40;
bool hidden_slot(int slot) { return slot >= g_shown; }

void BM_RabbitHillFrame(benchmark::State& state) {
    scene& s = the_scene();
    g_shown = (int)state.range(0);
    frame_slots.hidden = hidden_slot;
    if (!s.window) {
        state.SkipWithError("no display: run under xvfb-run");
        return;
    }
    std::array<double, frame_label_count> sums{};
    std::array<const char*, frame_label_count> labels{};
    for (auto _ : state) {
        int w = width, h = height;
        if (!begin_frame(s.window, &w, &h)) continue;
        set_projection(w, h, 90);
        draw_frame(s.camera, -1);
        end_frame(s.window);
        const auto& t = last_frame_times();
        for (int k = 0; k < frame_label_count; k++) sums[(size_t)k] += t[(size_t)k].seconds, labels[(size_t)k] = t[(size_t)k].label;
    }
    double total = 0;
    for (int k = 0; k < frame_label_count; k++) {
        double ms = sums[(size_t)k] * 1e3 / (double)state.iterations();
        total += ms;
        state.counters[std::string(labels[(size_t)k]) + "_ms"] = ms;
    }
    state.counters["cpu_ms"] = total;
    state.counters["model_polys"] = last_frame_counters().model_polygons;
    state.counters["billboards"] = last_frame_counters().billboards;
}
BENCHMARK(BM_RabbitHillFrame)->ArgName("bikes")->Arg(1)->Arg(40)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
