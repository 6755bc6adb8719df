// Demo playback on Rabbit Hill from the built archive: a race of 40 riders
// (slot 0 the human, the rest robots without a brain, all on scripted
// controls) is recorded, then played back with its 40 riders in replayed
// slots.
//
// playback_work times what the demos add to one tic: every replayed slot
// driven from its history (the race tic's step 2) and the demo read ahead
// (step 13). Target: 40 riders in under 10% of a tic's budget (781 us of
// 7812 us); the "tic_percent" counter is the share of the budget the work
// took (wall time). playback_tic times the whole race tic of the playback
// race for comparison.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/rider_control.h"
#include "bike/rider_parts.h"
#include "core/config.h"
#include "demo/demo.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "render/frame_draw.h"
#include "render/model.h"
#include "render/texture.h"
#include "track/objects_race.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "vfs/vfs.h"

namespace {

constexpr int riders = 40;
constexpr double tic_budget = 1.0 / 128;
int g_recorded_until = 0;

void scripted_controls() {
    for (int s = 0; s < race_slot_count; s++) {
        bike_state* b = bike_in_slot(s);
        if (!b || race_slots[(size_t)s].type == replayed_slot) continue;
        player_input in{};
        if (race.tic > race.gate_drop_tic) {
            in[throttle_control] = 0.7f;
            in[steer_control] = 0.35f * (float)std::sin(race.tic / 150.0 + s);
        }
        apply_player_input(*b, in);
    }
}

bool open_world() {
    static bool ready = false;
    if (ready) return true;
    setenv("KV_HOME", QX_BIN_DIR, 1);
    setenv("XDG_DATA_HOME", "/tmp/quarnix-demo-bench", 1);
    file_list();
    textures_init();
    models_init(false);
    fill_race_parts(track_parts, object_race, rider_parts);
    fill_object_parts(track_parts);
    fill_demo_parts(race_parts, frame_slots);
    config_defaults();
    settings.track = "rabbithill";
    settings.demo_backups = 0;
    if (scan_tracks() < 1 || !bike_world_init()) return false;
    // The race to play back: the start and six seconds of riding.
    race_setup setup;
    slot_kind_list kinds{};
    for (int s = 0; s < riders; s++) kinds[(size_t)s] = s == 0 ? slot_kind_human : slot_kind_robot;
    setup.slot_kinds = kinds;
    setup.laps = 1000;
    setup.record = true;
    if (!reset_race(setup)) return false;
    while (race.tic < race.gate_drop_tic + 6 * tics_per_second) {
        scripted_controls();
        simulate_tic();
    }
    g_recorded_until = race.tic;
    stop_recording();
    ready = true;
    return true;
}

// The recorded race played back from its start, its riders rolling.
bool start_playback() {
    race_setup setup;
    setup.slot_kinds = slot_kind_list{};
    setup.playback = true;
    setup.demo = "@demos/default.kvdemo";
    setup.laps = 10;
    if (!reset_race(setup)) return false;
    while (race.tic < race.gate_drop_tic + tics_per_second) simulate_tic();
    return true;
}

int replayed_slots() {
    int n = 0;
    for (int s = 0; s < race_slot_count; s++) n += bike_in_slot(s) && race_slots[(size_t)s].type == replayed_slot;
    return n;
}

void playback_work(benchmark::State& state) {
    if (!open_world() || !start_playback()) {
        state.SkipWithError("Rabbit Hill could not be loaded or the race not recorded (is zzzz.saf built?)");
        return;
    }
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        int t = std::max(race.tic - race.playback_delay, 0);
        for (int s = 0; s < race_slot_count; s++)
            if (bike_in_slot(s) && race_slots[(size_t)s].type == replayed_slot) race_parts.replay_slot(s, t);
        race.tic++;
        race_parts.record_states(false);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (race.tic >= g_recorded_until - 64) {
            state.PauseTiming();
            start_playback();
            state.ResumeTiming();
        }
    }
    state.counters["riders"] = replayed_slots();
    state.counters["tic_percent"] = seconds / (double)state.iterations() / tic_budget * 100;
}
BENCHMARK(playback_work)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

void playback_tic(benchmark::State& state) {
    if (!open_world() || !start_playback()) {
        state.SkipWithError("Rabbit Hill could not be loaded or the race not recorded (is zzzz.saf built?)");
        return;
    }
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        simulate_tic();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (race.tic >= g_recorded_until - 64) {
            state.PauseTiming();
            start_playback();
            state.ResumeTiming();
        }
    }
    state.counters["riders"] = replayed_slots();
    state.counters["tic_percent"] = seconds / (double)state.iterations() / tic_budget * 100;
}
BENCHMARK(playback_tic)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
