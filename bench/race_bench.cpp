// The headless race: Rabbit Hill from the built archive, N slots filled with
// bikes (slot 0 the human, the rest robots without a brain), every bike
// driven by scripted controls, and simulate_tic run as fast as it goes.
// Time per iteration is one tic of the whole race; tics/s is the rate
// counter. Targets: 40 bikes at 8x real time (1024 tics/s), 160 bikes at
// real time (128 tics/s).
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

void race_tic(benchmark::State& state) {
    if (!open_world()) {
        state.SkipWithError("Rabbit Hill could not be loaded (is zzzz.saf built?)");
        return;
    }
    int bikes = (int)state.range(0);
    race_setup setup;
    slot_kind_list kinds{};
    for (int s = 0; s < bikes; s++) kinds[(size_t)s] = s == 0 ? slot_kind_human : slot_kind_robot;
    setup.slot_kinds = kinds;
    setup.laps = 1000;
    clear_race_state();
    if (!reset_race(setup)) {
        state.SkipWithError("reset_race failed");
        return;
    }
    // Past the drop and a couple of seconds of riding.
    int t = 0;
    while (race.tic < race.gate_drop_tic + 2 * tics_per_second) {
        scripted_controls(t++);
        simulate_tic();
    }
    for (auto _ : state) {
        scripted_controls(t++);
        simulate_tic();
    }
    state.counters["tics/s"] = benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    state.counters["bikes"] = bikes;
    free_race();
}
BENCHMARK(race_tic)->Arg(1)->Arg(10)->Arg(40)->Arg(160)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
