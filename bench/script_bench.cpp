// The cost of Rabbit Hill's track script: its tic handler and its frame
// handler with a field of ten riding, on the track from the built archive.
// Time per iteration is one call of the handler.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/rider_control.h"
#include "bike/rider_parts.h"
#include "core/config.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "render/model.h"
#include "render/texture.h"
#include "script/script.h"
#include "track/objects_race.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "vfs/vfs.h"

namespace {

bool start_race() {
    static bool ready = false;
    if (ready) return true;
    setenv("KV_HOME", QX_BIN_DIR, 1);
    setenv("XDG_DATA_HOME", "/tmp/quarnix-script-bench", 1);
    file_list();
    textures_init();
    models_init(false);
    fill_race_parts(track_parts, object_race, rider_parts);
    fill_object_parts(track_parts);
    track_parts.run_script = [](const char* name) { script_load(name); };
    race_parts.script_tic = script_tic;
    config_defaults();
    settings.track = "rabbithill";
    if (scan_tracks() < 1 || !bike_world_init()) return false;
    race_setup setup;
    slot_kind_list kinds{};
    for (int s = 0; s < 10; s++) kinds[(size_t)s] = slot_kind_robot;
    setup.slot_kinds = kinds;
    setup.laps = 100;
    if (!reset_race(setup) || !script_active()) return false;
    while (race.tic < race.gate_drop_tic + 4 * tics_per_second) simulate_tic();
    ready = true;
    return true;
}

void script_tic_handler(benchmark::State& state) {
    if (!start_race()) {
        state.SkipWithError("Rabbit Hill's race or script did not start (is zzzz.saf built?)");
        return;
    }
    for (auto _ : state) script_tic();
}
BENCHMARK(script_tic_handler)->Unit(benchmark::kMicrosecond);

void script_frame_handler(benchmark::State& state) {
    if (!start_race()) {
        state.SkipWithError("Rabbit Hill's race or script did not start (is zzzz.saf built?)");
        return;
    }
    for (auto _ : state) {
        race.tic++;
        script_frame();
    }
}
BENCHMARK(script_frame_handler)->Unit(benchmark::kMicrosecond);

// The frame handler with the scoreboard composed afresh each time (as on
// every frame where the running order changed).
void script_frame_redrawing(benchmark::State& state) {
    if (!start_race()) {
        state.SkipWithError("Rabbit Hill's race or script did not start (is zzzz.saf built?)");
        return;
    }
    for (auto _ : state) {
        // The global eval forgets what the board shows.
        const char* args[] = {"shown = null;"};
        script_call("eval", args, 1);
        script_frame();
    }
}
BENCHMARK(script_frame_redrawing)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
