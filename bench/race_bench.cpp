// The headless race: Rabbit Hill from the built archive, N slots filled with
// bikes (slot 0 the human, the rest robots without a brain), every bike
// driven by scripted controls, and simulate_tic run as fast as it goes.
// tics/s and us/bike (per bike per tic) are the counters. Targets: 40 bikes
// at 8x real time (1024 tics/s), 160 bikes at 2x real time (256 tics/s).
//
// The race starts after a warm-up that lets the gate drop and the field get
// rolling, so the figures are for riding, not for bikes resting on the grid.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/rider_control.h"
#include "bike/rider_parts.h"
#include "bike/solid_objects.h"
#include "core/config.h"
#include "core/parallel.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "render/model.h"
#include "render/texture.h"
#include "track/objects_race.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "vfs/vfs.h"

namespace {

bool open_world() {
    static bool ready = false;
    if (ready) return true;
    setenv("KV_HOME", QX_BIN_DIR, 1);
    setenv("XDG_DATA_HOME", "/tmp/quarnix-race-bench", 1);
    file_list();
    textures_init();
    models_init(false);
    fill_race_parts(track_parts, object_race, rider_parts);
    fill_object_parts(track_parts);
    config_defaults();
    settings.track = "rabbithill";
    if (scan_tracks() < 1 || !bike_world_init()) return false;
    ready = true;
    return true;
}

// Every bike rides: throttle on after the drop, each weaving with its own
// phase.
void scripted_controls(int tic) {
    for (int s = 0; s < race_slot_count; s++) {
        bike_state* b = bike_in_slot(s);
        if (!b) continue;
        player_input in{};
        if (race.tic > race.gate_drop_tic) {
            in[throttle_control] = 0.7f;
            in[steer_control] = 0.35f * (float)std::sin(tic / 150.0 + s);
        }
        apply_player_input(*b, in);
    }
}

// Each iteration is a fresh race: the reset, the gate drop and two seconds of
// riding are not timed; the next ten seconds of riding (1280 tics) are. Every
// field size is timed over the same stretch of the race, so the cost per bike
// compares across sizes.
constexpr int timed_tics = 10 * tics_per_second;

void race_tic(benchmark::State& state) {
    if (!open_world()) {
        state.SkipWithError("Rabbit Hill could not be loaded (is zzzz.saf built?)");
        return;
    }
    int bikes = (int)state.range(0);
    set_parallel_enabled(state.range(1) != 0);
    race_setup setup;
    slot_kind_list kinds{};
    for (int s = 0; s < bikes; s++) kinds[(size_t)s] = s == 0 ? slot_kind_human : slot_kind_robot;
    setup.slot_kinds = kinds;
    setup.laps = 1000;
    for (auto _ : state) {
        state.PauseTiming();
        clear_race_state();
        if (!reset_race(setup)) {
            state.SkipWithError("reset_race failed");
            return;
        }
        int t = 0;
        while (race.tic < race.gate_drop_tic + 2 * tics_per_second) {
            scripted_controls(t++);
            simulate_tic();
        }
        state.ResumeTiming();
        for (int i = 0; i < timed_tics; i++) {
            scripted_controls(t++);
            simulate_tic();
        }
    }
    state.counters["tics/s"] =
        benchmark::Counter((double)state.iterations() * timed_tics, benchmark::Counter::kIsRate);
    state.counters["us/bike"] = benchmark::Counter((double)state.iterations() * timed_tics * bikes,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["bikes"] = bikes;
    free_race();
    set_parallel_enabled(true);
}
// Wall-clock time, since the ground queries may run on both cores; the second
// argument turns that off.
BENCHMARK(race_tic)
    ->ArgNames({"bikes", "parallel"})
    ->ArgsProduct({{1, 10, 40, 160}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
