// The lap ghost of free riding: every attempt is recorded to
// "lastlap.kvdemo" in the track's directory while "fastlap.kvdemo" rides
// along as the ghost; a lap that beats the ghost becomes the new one.
#include <algorithm>

#include "bike/bike.h"
#include "core/bike_setup.h"
#include "core/diag.h"
#include "demo/demo.h"
#include "demo/demo_internal.h"
#include "demo/history.h"
#include "race/race.h"
#include "race/race_tic.h"
#include "track/track.h"
#include "vfs/vfs.h"

namespace {

free_riding_times g_times;

std::string track_file(const char* name) {
    return current_track_dir ? "@" + *current_track_dir + "/" + name : std::string();
}

bool readable(const std::string& name) {
    vfs_file* f = name.empty() ? nullptr : vfs_open(name.c_str(), "rb");
    if (f) vfs_close(f);
    return f != nullptr;
}

// The new fast lap replaces the old one only once it is written whole.
bool copy_demo(const std::string& from, const std::string& to) {
    vfs_file* in = vfs_open(from.c_str(), "rb");
    if (!in) return false;
    vfs_file* out = vfs_open(to.c_str(), "=wb");
    if (!out) {
        vfs_close(in);
        return false;
    }
    char block[1024];
    bool ok = true;
    for (size_t n; ok && (n = vfs_read(in, block, sizeof block)) > 0;) ok = vfs_write(out, block, n) == n;
    ok = !vfs_error(in) && ok;
    vfs_close(in);
    if (!ok) {
        // A failed write leaves the old fast lap in place.
        vfs_close(out);
        log_printf("Could not copy '%s' to '%s'\n", from.c_str(), to.c_str());
        return false;
    }
    return vfs_close(out);
}

// The ghost starts at the finish line: its riders have passed everything
// before it.
void ghost_at_finish_line(int slot) {
    if (!timing_active()) return;
    int f = first_lap_length();
    for (int p = 0; p + 1 < f; p++) set_gate_tic(slot, p, race.tic);
    truncate_gates(slot, std::max(f - 1, 0));
}

void open_lap_ghost() {
    std::string track;
    if (!open_playback_file(track_file("fastlap.kvdemo").c_str(), true, track)) return;
    playback.ghost = true;
    for (size_t i = 0; i < playback.header.riders.size() && 1 + i < (size_t)race_slot_count; i++) {
        int slot = 1 + (int)i;
        bike_setup setup = player_setup;
        setup_from_rider(playback.header.riders[i], setup);
        clear_history(slot);
        if (!add_replayed_rider(slot, playback.header.riders[i].model, setup)) continue;
        playback.rider_slot[i] = slot;
        ghost_at_finish_line(slot);
    }
    read_playback();
    place_replayed_riders();
}

void remove_ghosts(int& most_gates) {
    most_gates = 0;
    for (int s = 1; s < race_slot_count; s++) {
        const race_slot& rs = race_slots[(size_t)s];
        if (!rs.has_rider || rs.type != replayed_slot) continue;
        most_gates = std::max(most_gates, rs.timing.gates_passed);
        remove_rider(s);
    }
}

// The timed lap runs from the first lap's finish line (F - 1) to the next
// one (F + N - 1), every position between passed.
bool timed_lap(int& tics) {
    if (!timing_active()) return false;
    int f = first_lap_length(), n = normal_lap_length();
    const std::vector<int>& t = race_slots[0].timing.gate_tics;
    if (f < 1 || n < 1 || (int)t.size() < f + n) return false;
    for (int p = f - 1; p < f + n; p++)
        if (t[(size_t)p] < 0) return false;
    tics = t[(size_t)(f + n - 1)] - t[(size_t)(f - 1)];
    return true;
}

// The rider goes on from the finish line just crossed as from the end of a
// first lap, so the next timed lap starts at this crossing.
void lap_starts_at_finish_line() {
    if (!timing_active()) return;
    slot_timing& t = race_slots[0].timing;
    int f = first_lap_length();
    if (f < 1 || t.gates_passed < 1 || t.gates_passed > (int)t.gate_tics.size()) return;
    int crossed = t.gate_tics[(size_t)t.gates_passed - 1];
    truncate_gates(0, f - 1);
    set_gate_tic(0, f - 1, crossed);
    truncate_gates(0, f);
}

}  // namespace

void lap_completed(int slot) {
    if (!race.free_riding || slot != 0 || !bike_in_slot(0)) return;
    stop_recording();
    int ghost_gates = 0;
    remove_ghosts(ghost_gates);
    close_playback();
    int lap = 0;
    bool timed = timed_lap(lap) && lap >= 1;
    if (timed) {
        g_times.last_lap = lap;
        g_times.best_lap = g_times.best_lap > 0 ? std::min(g_times.best_lap, lap) : lap;
    }
    std::string fast = track_file("fastlap.kvdemo");
    bool beat_ghost = timed && race_slots[0].timing.gates_passed > ghost_gates;
    if (!fast.empty() && (!readable(fast) || beat_ghost)) copy_demo(track_file("lastlap.kvdemo"), fast);
    lap_starts_at_finish_line();
    open_lap_ghost();
    start_recording();
    // The next lap's demo starts at this crossing, so its ghost does too.
    record_tic(true);
    update_running_order();
}

void attempt_started() {
    if (!race.free_riding) return;
    g_times.last_lap = 0;
    start_recording();
    record_tic(true);
    open_lap_ghost();
}

void clear_free_riding_laps() { g_times = free_riding_times{}; }

free_riding_times free_riding_laps() { return g_times; }
