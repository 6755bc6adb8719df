#include "ui/race_view.h"

#include <cmath>

#include "core/clock.h"
#include "core/text.h"

race_view_source hud_race_source = nullptr;

namespace {

constexpr int entry_flag = 100000;
constexpr int lapping_window = 15 * 128;  // tics
constexpr int lapping_closing = 3 * 128;

int tic_at(const hud_rider& r, int position) {
    if (position < 0 || position >= r.gates_passed || position >= (int)r.gate_tics.size()) return -1;
    return r.gate_tics[(size_t)position];
}

int lap_end(const hud_race_view& v, int k) {
    int F = (int)v.first_lap.size(), N = (int)v.normal_lap.size();
    return F - 1 + N * (k - 1);
}

// The gate a sequence position refers to, or -1.
int gate_of(const hud_race_view& v, int position) {
    int F = (int)v.first_lap.size(), N = (int)v.normal_lap.size();
    if (position < 0) return -1;
    int entry;
    if (position < F)
        entry = v.first_lap[(size_t)position];
    else if (N > 0)
        entry = v.normal_lap[(size_t)((position - F) % N)];
    else
        return -1;
    return entry >= entry_flag ? entry - entry_flag : entry;
}

}  // namespace

int view_laps_completed(const hud_race_view& v, const hud_rider& r) {
    int F = (int)v.first_lap.size(), N = (int)v.normal_lap.size();
    if (r.gates_passed < F || F == 0 || N == 0) return 0;
    return (r.gates_passed - F) / N + 1;
}

double view_lap_time(const hud_race_view& v, const hud_rider& r, int k) {
    if (v.first_lap.empty() || v.normal_lap.empty()) return 0;
    if (k < 0) k = view_laps_completed(v, r);
    if (k < 1) return 0;
    int end = tic_at(r, lap_end(v, k));
    int start = k == 1 ? v.gate_drop_tic : tic_at(r, lap_end(v, k - 1));
    if (end < 0 || start < 0) return 0;
    return (end - start) * tic_length;
}

int view_best_lap(const hud_race_view& v, const hud_rider& r) {
    int laps = view_laps_completed(v, r), best = 0;
    double best_time = 0;
    for (int k = 2; k <= laps; k++) {
        double t = view_lap_time(v, r, k);
        if (t <= 0) continue;
        if (best == 0 || t < best_time) best = k, best_time = t;
    }
    return best;
}

double crossing_gap(const hud_rider& a, const hud_rider& b) {
    for (int p = std::min(a.gates_passed, b.gates_passed) - 1; p >= 0; p--) {
        int ta = tic_at(a, p), tb = tic_at(b, p);
        if (ta >= 0 && tb >= 0) return (tb - ta) * tic_length;
    }
    return 0;
}

int order_index(const hud_race_view& v, int slot) {
    for (size_t i = 0; i < v.order.size(); i++)
        if (v.order[i].slot == slot) return (int)i;
    return -1;
}

std::string format_millis(double seconds) {
    long t = seconds > 0 ? (long)(seconds * 1000) : 0;
    return format_string("%ld:%02ld.%03ld", t / 60000, t / 1000 % 60, t % 1000);
}

std::string format_tenths(double seconds) {
    long t = seconds > 0 ? (long)(seconds * 10) : 0;
    return format_string("%ld:%02ld.%ld", t / 600, t / 10 % 60, t % 10);
}

results_table build_results_table(const hud_race_view& v, int viewed_slot) {
    results_table t;
    if (v.order.empty() || !v.order[0].finished) return t;
    t.shown = true;
    t.title = v.official ? "Final Results" : "Unofficial Results";
    const hud_rider* ahead = nullptr;
    int position = 0;
    for (const hud_rider& r : v.order) {
        if (!r.finished && !v.official) continue;
        results_row row;
        row.position = format_string("%d", ++position);
        row.number = format_string("%3s", r.number.c_str());
        row.lap = format_string("L%d", view_laps_completed(v, r));
        row.gap = format_string("%7.3f", ahead ? crossing_gap(*ahead, r) : 0.0);
        int best = view_best_lap(v, r);
        row.best_time = format_millis(best ? view_lap_time(v, r, best) : 0);
        row.best_lap = format_string("(%d)", best);
        row.viewed = r.slot == viewed_slot;
        t.rows.push_back(row);
        ahead = &r;
    }
    if (v.official) {
        const hud_rider& leader = v.order[0];
        t.total_time = "Total Race Time: " + format_millis((leader.final_tic - v.gate_drop_tic) * tic_length);
        int N = (int)v.normal_lap.size();
        for (const hud_rider& r : v.order) {
            int last = tic_at(r, r.gates_passed - 1);
            if (last < 0 || r.final_tic <= last) continue;
            std::string line = format_string("%3s penalized ", r.number.c_str());
            int laps = N > 0 ? (r.gates_passed - r.final_positions) / N : 0;
            if (laps > 0) line += format_string("%d %s ", laps, laps == 1 ? "lap" : "laps");
            line += format_string("%.2f seconds for cutting track", (r.final_tic - last) * tic_length);
            t.penalty_lines.push_back(line);
        }
    }
    return t;
}

std::string lapping_warning(const hud_race_view& v, int viewed_index) {
    std::string out;
    if (viewed_index < 0 || viewed_index >= (int)v.order.size()) return out;
    const hud_rider& me = v.order[(size_t)viewed_index];
    int my_latest = tic_at(me, me.gates_passed - 1);
    if (my_latest < 0) return out;
    int F = (int)v.first_lap.size();
    for (int j = 0; j < viewed_index; j++) {
        const hud_rider& other = v.order[(size_t)j];
        if (other.gates_passed <= me.gates_passed || other.gates_passed <= F) continue;
        int p = other.gates_passed - 1;
        int gate = gate_of(v, p), t_other = tic_at(other, p);
        if (gate < 0 || t_other < 0) continue;
        // The viewed rider's latest crossing of that gate in an earlier lap.
        int t_me = -1;
        for (int q = std::min(p, me.gates_passed) - 1; q >= 0; q--) {
            if (gate_of(v, q) == gate && tic_at(me, q) >= 0) {
                t_me = tic_at(me, q);
                break;
            }
        }
        if (t_me < 0 || my_latest - t_me > lapping_window) continue;
        int lead = t_other - t_me;
        if (lead < 0 || lead > lapping_closing) continue;
        out += format_string(" %.5s (%.1f) ", other.number.c_str(), lead * tic_length);
    }
    return out;
}

rider_panel build_rider_panel(const hud_race_view& v, int viewed_slot) {
    rider_panel p;
    int i = order_index(v, viewed_slot);
    if (i < 0) return p;
    const hud_rider& me = v.order[(size_t)i];
    p.shown = true;
    p.number = me.number;
    if (v.time_trial)
        p.lap_position = format_string("P%d", i + 1);
    else
        p.lap_position = format_string("L%d P%d", view_laps_completed(v, me) + 1, i + 1);
    double gap = 0;
    if (i > 0)
        gap = crossing_gap(v.order[(size_t)i - 1], me);
    else if (v.order.size() > 1)
        gap = crossing_gap(v.order[1], me);
    p.gap = format_string("%+.1f ", gap);
    double last = v.time_trial ? v.last_attempt : view_lap_time(v, me, -1);
    int best = view_best_lap(v, me);
    double best_time = v.time_trial ? v.best_attempt : (best ? view_lap_time(v, me, best) : 0);
    if (last > 0) p.times += "Last - " + format_tenths(last) + " ";
    if (best_time > 0) p.times += "Best - " + format_tenths(best_time);
    p.lapping = lapping_warning(v, i);
    return p;
}
