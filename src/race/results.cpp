// The end of a race: final standings, "@results.txt" and the series credit.
#include "race/results.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "core/clock.h"
#include "core/text.h"
#include "race/race.h"
#include "race/series.h"
#include "track/track.h"
#include "vfs/vfs.h"

namespace {

std::vector<standing_entry> g_standings;

int tic_at(const slot_timing& t, int p) {
    if (p < 0 || p >= (int)t.gate_tics.size()) return -1;
    return t.gate_tics[(size_t)p];
}

int finish_position(int k) { return first_lap_length() - 1 + normal_lap_length() * (k - 1); }

// Tics of lap k >= 2 of the rider; 0 when unknown.
int lap_tics(const slot_timing& t, int k) {
    int a = tic_at(t, finish_position(k - 1)), b = tic_at(t, finish_position(k));
    return a < 0 || b < 0 ? 0 : b - a;
}

// The lap (0 for the first) that sequence position p belongs to.
int lap_of_position(int p) {
    int F = first_lap_length(), N = normal_lap_length();
    if (p < F || N <= 0) return 0;
    return 1 + (p - F) / N;
}

int laps_of_positions(int positions) {
    int F = first_lap_length(), N = normal_lap_length();
    if (N <= 0 || positions < F) return 0;
    return (positions - F) / N + 1;
}

// "%3d:%02d.%03d" of whole milliseconds.
std::string minutes_millis(long t) {
    return format_string("%3ld:%02ld.%03ld", t / 60000, t / 1000 - 60 * (t / 60000), t % 1000);
}

void build_final_standings() {
    g_standings.clear();
    for (int s = 0; s < race_slot_count; s++) {
        const race_slot& rs = race_slots[(size_t)s];
        if (!rs.has_rider) continue;
        standing_entry e;
        e.slot = s;
        e.positions = rs.timing.gates_passed;
        e.final_tic = std::max(tic_at(rs.timing, rs.timing.gates_passed - 1), 0);
        cutting_charge c = cutting_penalty(s);
        e.positions = c.counted_positions;
        e.charge_tics = c.tics;
        e.laps_taken = c.laps_taken;
        e.final_tic = (int)std::min<long>((long)e.final_tic + c.tics, 0x7fffffff);
        e.finished = is_finished(s);
        g_standings.push_back(e);
    }
    std::stable_sort(g_standings.begin(), g_standings.end(), [](const standing_entry& a, const standing_entry& b) {
        if (a.positions != b.positions) return a.positions > b.positions;
        if (a.final_tic != b.final_tic) return a.final_tic < b.final_tic;
        return a.slot < b.slot;
    });
}

}  // namespace

const std::vector<standing_entry>& final_standings() { return g_standings; }
void clear_final_standings() { g_standings.clear(); }

int best_lap(int slot) {
    if (slot < 0 || slot >= race_slot_count || !timing_active()) return 0;
    const slot_timing& t = race_slots[(size_t)slot].timing;
    int best = 0, best_tics = 0;
    for (int k = 2; k <= laps_completed(slot); k++) {
        int w = lap_tics(t, k);
        if (w <= 0) continue;
        if (best == 0 || w < best_tics) {
            best = k;
            best_tics = w;
        }
    }
    return best;
}

void settle_race_if_over() {
    // A time trial has no finishing order to settle: its laps go to the lap
    // demos and the ghost.
    if (race.results_written || race.free_riding || !race_over()) return;
    build_final_standings();
    if (!running_order().empty() && !g_standings.empty() && g_standings.front().finished) write_results();
    race.results_written = true;
    credit_series_event();
}

std::string results_text(long date) {
    std::string out = format_string("Time=%.2f|Laps=%d|Track=%s|Date=%ld\r\n", race.race_time * tic_length,
                                    race.extra_laps, current_track_dir.value_or("").c_str(), date);
    out += format_string("%4s | %12s | %4s | %10s | %4s | %10s\r\n", "No.", "Bike", "Laps", "Total Time", "BLap",
                         "Best Time");
    for (const standing_entry& e : g_standings) {
        if (!e.finished) continue;
        const race_slot& rs = race_slots[(size_t)e.slot];
        long t = (long)std::trunc((double)(e.final_tic - race.gate_drop_tic) * tic_length * 1000);
        out += format_string("%4s | %12s | %4d | ", rs.number.c_str(), rs.model.c_str(),
                             laps_of_positions(e.positions));
        out += minutes_millis(t) + " | ";
        int lap = best_lap(e.slot);
        long lap_ms = lap > 0 ? (long)lap_tics(rs.timing, lap) * 1000 / tics_per_second : 0;
        out += format_string("%4d | ", lap) + minutes_millis(lap_ms) + "\r\n";
    }
    for (const standing_entry& e : g_standings) {
        if (!e.finished) continue;
        const slot_timing& t = race_slots[(size_t)e.slot].timing;
        int n = (int)t.gate_tics.size();
        out += format_string("\r\n%d\r\n", n);
        for (int m = 0; m < n; m++) {
            int tic = t.gate_tics[(size_t)m];
            if (tic < 0)
                out += format_string("%8d", -1);
            else
                out += format_string("%8.3f", (double)(tic - race.gate_drop_tic) * tic_length);
            bool same_lap = m + 1 < n && lap_of_position(m + 1) == lap_of_position(m);
            out += same_lap ? " " : "\r\n";
        }
    }
    return out;
}

void write_results() {
    vfs_file* f = vfs_open("@results.txt", "wb");
    if (!f) return;
    std::string text = results_text((long)std::time(nullptr));
    vfs_write(f, text.data(), text.size());
    vfs_close(f);
}
