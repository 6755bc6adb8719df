// Ruts on Rabbit Hill: 40 bikes riding (slot 0 the human, the rest robots
// without a brain, on scripted controls) with the erosion rate off or at
// "--erode 100", at 60 frames a second: each iteration is one frame of two
// tics, the frame's erosion step (apply_erosion) and the terrain's upkeep
// with the CPU composition method (level of detail, re-lighting, and every
// texture recomposed once every 256 frames as the default reshade delay
// does), 1200 frames (20 s of riding) after the warm-up. Counters split the frame: tic_ms (both tics, wheel marks included),
// erode_ms (apply_erosion) and terrain_ms (upkeep and recomposition).
// Target: the tics with erosion within 25 % of the tics without.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/rider_control.h"
#include "bike/rider_parts.h"
#include "bike/solid_objects.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "render/model.h"
#include "render/terrain_parts.h"
#include "render/terrain_textures.h"
#include "render/texture.h"
#include "track/erosion.h"
#include "track/height_field.h"
#include "track/objects_race.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "vfs/vfs.h"

namespace {

using clock_type = std::chrono::steady_clock;

bool open_world() {
    static bool ready = false;
    if (ready) return true;
    setenv("KV_HOME", QX_BIN_DIR, 1);
    setenv("XDG_DATA_HOME", "/tmp/quarnix-erosion-bench", 1);
    file_list();
    textures_init();
    models_init(false);
    fill_terrain_renderer(terrain_renderer);
    fill_terrain_parts(track_parts);
    fill_race_parts(track_parts, object_race, rider_parts);
    fill_object_parts(track_parts);
    config_defaults();
    settings.track = "rabbithill";
    if (scan_tracks() < 1 || !bike_world_init()) return false;
    ready = true;
    return true;
}

void scripted_controls(int tic) {
    for (int s = 0; s < race_slot_count; s++) {
        bike_state* b = bike_in_slot(s);
        if (!b) continue;
        player_input in{};
        if (race.tic > race.gate_drop_tic) {
            in[throttle_control] = 0.8f;
            in[steer_control] = 0.35f * (float)std::sin(tic / 150.0 + s);
        }
        apply_player_input(*b, in);
    }
}

double ms_since(clock_type::time_point t) {
    return std::chrono::duration<double, std::milli>(clock_type::now() - t).count();
}

void ruts(benchmark::State& state) {
    if (!open_world()) {
        state.SkipWithError("Rabbit Hill could not be loaded (is zzzz.saf built?)");
        return;
    }
    cmdline.erode_rate = (int)state.range(0) * 1024;
    race_setup setup;
    slot_kind_list kinds{};
    for (int s = 0; s < 40; s++) kinds[(size_t)s] = s == 0 ? slot_kind_human : slot_kind_robot;
    setup.slot_kinds = kinds;
    setup.laps = 1000;
    clear_race_state();
    // A fresh ground for each run: the reload puts the loaded heights back.
    release_track();
    if (!reset_race(setup)) {
        state.SkipWithError("reset_race failed");
        return;
    }
    render_settings.ground_texture_size = 64;
    render_settings.ground_texture_reduction = 1;
    terrain_textures_setup(terrain_method_texsubimage);
    int t = 0, frame = 0;
    auto one_frame = [&](double* tic_ms, double* erode_ms, double* terrain_ms) {
        auto a = clock_type::now();
        for (int k = 0; k < 2; k++) {
            scripted_controls(t++);
            simulate_tic();
        }
        auto b = clock_type::now();
        float viewer[2] = {0, 0};
        bike_state* rider = bike_in_slot(0);
        if (rider && rider->bodies[body_frame]) {
            const dReal* p = dBodyGetPosition(rider->bodies[body_frame]);
            viewer[0] = (float)p[0], viewer[1] = (float)p[2];
        }
        if (erode_rate > 0) apply_erosion(rider ? viewer : nullptr, (float)erode_rate / 1024.0f, race.tic);
        auto c = clock_type::now();
        terrain_camera({viewer[0], height_at(viewer[0], viewer[1]) + 6, viewer[1]}, {0, -0.2f, -1});
        terrain_upkeep(8000, ++frame % 256 == 0);
        terrain_textures_update();
        if (tic_ms) *tic_ms += std::chrono::duration<double, std::milli>(b - a).count();
        if (erode_ms) *erode_ms += std::chrono::duration<double, std::milli>(c - b).count();
        if (terrain_ms) *terrain_ms += ms_since(c);
    };
    // Past the drop and a few seconds of riding, so that marks are queued.
    while (race.tic < race.gate_drop_tic + 4 * tics_per_second) one_frame(nullptr, nullptr, nullptr);
    double tic_ms = 0, erode_ms = 0, terrain_ms = 0;
    for (auto _ : state) one_frame(&tic_ms, &erode_ms, &terrain_ms);
    double n = (double)std::max<int64_t>(state.iterations(), 1);
    state.counters["tic_ms"] = tic_ms / n;
    state.counters["erode_ms"] = erode_ms / n;
    state.counters["terrain_ms"] = terrain_ms / n;
    state.counters["queued"] = erode_queue_count();
    state.counters["stamps"] = terrain.change_count;
    terrain_textures_release();
    free_race();
    cmdline.erode_rate = 0;
}
BENCHMARK(ruts)->Arg(0)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(1200);

}  // namespace

BENCHMARK_MAIN();
