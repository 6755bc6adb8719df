// The demos' entries of the race's driver table and of the frame drawing's.
#include <algorithm>

#include "core/bike_setup.h"
#include "demo/demo.h"
#include "demo/demo_internal.h"
#include "demo/history.h"
#include "race/race.h"
#include "race/race_tic.h"
#include "render/frame_draw.h"

namespace {

bool replayed(int slot) {
    if (slot < 0 || slot >= race_slot_count) return false;
    const race_slot& rs = race_slots[(size_t)slot];
    return rs.has_rider && rs.type == replayed_slot;
}

// A rider driven from a history is not shown while it has no state within
// a second of the tic it is shown at.
bool hidden(int slot) {
    if (!replayed(slot)) return false;
    int t = std::max(race.tic - race.playback_delay, 0);
    return !history_has_state_between(slot, t - tics_per_second, t + tics_per_second);
}

bool recent_state(int slot, int tics) { return newest_history_tic(slot) >= race.tic - tics && newest_history_tic(slot) >= 0; }

void record_states(bool force) {
    record_tic(force);
    read_playback();
    // After a reset the played riders stand where the demo starts them.
    if (force) place_replayed_riders();
}

void close_demos() {
    stop_recording();
    close_playback();
}

void reset_histories() {
    clear_histories();
    clear_free_riding_laps();
}

// A demo chosen for a race also brings its race's length and start.
bool open_race_demo(const char* name, std::string& track) {
    if (!open_playback(name, track)) return false;
    race.race_time = playback.header.race_time;
    race.extra_laps = playback.header.extra_laps;
    race.gate_drop_tic = playback.header.gate_drop_tic;
    return true;
}

}  // namespace

void fill_demo_parts(race_driver& r, frame_slot_driver& frame) {
    r.replay_slot = replay_slot;
    r.record_states = record_states;
    r.free_riding_lap = lap_completed;
    r.start_attempt = attempt_started;
    r.recent_state = recent_state;
    r.close_demos = close_demos;
    r.start_recording = start_recording;
    r.clear_histories = reset_histories;
    r.next_demo_rider = next_demo_rider;
    r.open_demo = open_race_demo;
    frame.replayed = replayed;
    frame.hidden = hidden;
}
