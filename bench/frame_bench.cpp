// One frame of Rabbit Hill with 1 and with 40 bikes in view, under whatever GL the
// display offers (run it under xvfb-run for llvmpipe): the bikes in rows
// across the view, or on the starting grid seen by the third-person camera.
// Reported: this thread's processor time per frame, split by the frame's
// labelled steps, and the whole process's, the GL driver's rendering threads
// included. QX_FRAME_SHOT=FILE saves the first frame drawn as a picture.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/rider_parts.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "platform/window.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "render/frame_draw.h"
#include "render/gl_caps.h"
#include "render/gl_frame.h"
#include "render/model.h"
#include "render/terrain_lighting.h"
#include "render/terrain_parts.h"
#include "render/texture.h"
#include "track/height_field.h"
#include "track/objects_lighting.h"
#include "track/objects_race.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "vfs/vfs.h"

namespace {

constexpr int width = 1024, height = 768;

enum layout { layout_rows, layout_grid };

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
        fill_race_parts(track_parts, object_race, rider_parts);  // the starting grid
        terrain_lighting = lighting_for_terrain;
        current_track_dir = "rabbithill";
        if (!load_track() || !bike_world_init()) abort();
        lay_out(layout_rows);
    }

    // Forty bikes either in eight rows of five filling the camera's view, or
    // on the track's starting grid seen from behind the first, as the game's
    // third-person camera sees a race start.
    void lay_out(int layout) {
        if (layout == laid_out) return;
        destroy_all_bikes();
        laid_out = layout;
        float x0 = 320, z0 = 320;
        bike_setup setup;
        for (int k = 0; k < 40; k++) {
            bike_state* b = create_bike("cr125", k, false, setup);
            if (!b) abort();
            if (layout == layout_grid) {
                grid_place p = start_grid_place(k);
                drop_bike(*b, p.x, p.z, p.angle);
                continue;
            }
            float x = x0 - 8 + 4 * (k % 5), z = z0 + 15 + 6 * (k / 5);
            translate_bike(*b, x, height_at(x, z) + 2.2f, z);
        }
        if (layout == layout_rows) {
            float eye_y = height_at(x0, z0 - 5) + 7;
            camera = look_at_camera({x0, eye_y, z0 - 5}, {x0, eye_y - 4, z0 + 30});
            return;
        }
        // The third-person camera's default place: 10 feet behind the first
        // bike and 5 above its seat (a heading of 0 faces -z).
        grid_place first = start_grid_place(0);
        double ahead_x = -std::sin(first.angle), ahead_z = -std::cos(first.angle);
        double seat = height_at(first.x, first.z) + 2.5;
        camera = look_at_camera({first.x - 10 * ahead_x, seat + 5, first.z - 10 * ahead_z},
                                {first.x, seat, first.z});
    }
    int laid_out = -1;
};

scene& the_scene() {
    static scene s;
    return s;
}

double process_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + t.tv_nsec * 1e-9;
}

// Bikes in slots from this one on are hidden, so one run compares a frame
// with one bike in view against the frame with all forty.
int g_shown = 40;
bool hidden_slot(int slot) { return slot >= g_shown; }

void BM_RabbitHillFrame(benchmark::State& state) {
    scene& s = the_scene();
    g_shown = (int)state.range(0);
    if (s.window) s.lay_out((int)state.range(1));
    frame_slots.hidden = hidden_slot;
    if (!s.window) {
        state.SkipWithError("no display: run under xvfb-run");
        return;
    }
    std::array<double, frame_label_count> sums{};
    std::array<const char*, frame_label_count> labels{};
    static const char* shot = getenv("QX_FRAME_SHOT");
    double process_start = process_seconds();
    for (auto _ : state) {
        int w = width, h = height;
        if (!begin_frame(s.window, &w, &h)) continue;
        set_projection(w, h, 90);
        draw_frame(s.camera, -1);
        if (shot && *shot) {
            save_screenshot(shot, w, h);
            shot = nullptr;
        }
        end_frame(s.window);
        const auto& t = last_frame_times();
        for (int k = 0; k < frame_label_count; k++) sums[(size_t)k] += t[(size_t)k].seconds, labels[(size_t)k] = t[(size_t)k].label;
    }
    // Every thread's time, the renderer's own included: less disturbed by
    // other programs than the wall clock.
    state.counters["process_cpu_ms"] = (process_seconds() - process_start) * 1e3 / (double)state.iterations();
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
BENCHMARK(BM_RabbitHillFrame)
    ->ArgNames({"bikes", "grid"})
    ->Args({1, 0})
    ->Args({40, 0})
    ->Args({1, 1})
    ->Args({40, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
