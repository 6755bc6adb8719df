// Gates, laps, finishing, the running order and the cutting penalty.
#include <algorithm>
#include <climits>

#include "race/race.h"
#include "race/race_tic.h"
#include "race/results.h"

race_clock race;
std::array<race_slot, race_slot_count> race_slots;

namespace {

timing_data g_timing;
std::vector<running_entry> g_order;
bool g_halfway_decided = false;

int tic_at(const slot_timing& t, int p) {
    if (p < 0 || p >= (int)t.gate_tics.size()) return -1;
    return t.gate_tics[(size_t)p];
}

bool valid_slot(int slot) { return slot >= 0 && slot < race_slot_count; }

// Last position of lap k (k >= 1).
int finish_position(int k) { return first_lap_length() - 1 + normal_lap_length() * (k - 1); }

void credit(int slot, int p) {
    race_slot& s = race_slots[(size_t)slot];
    slot_timing& t = s.timing;
    t.gates_passed = p;
    if ((int)t.gate_tics.size() <= p) t.gate_tics.resize((size_t)p + 1, -1);
    t.gate_tics[(size_t)p] = race.tic;
    if (race_parts.gate_credited) race_parts.gate_credited(slot, p);
    t.gates_passed = p + 1;
    // The order goes first so that a rider who has just taken the lead is
    // judged against its own finish.
    update_running_order();
    if (is_finish_line(p) && !t.finished && is_finished(slot) && race_parts.rider_finished)
        race_parts.rider_finished(slot);
}

// The rider's time over the stretch, averaged over its laps when the
// stretch lies in the normal laps; false when it never rode it whole.
bool rider_stretch_time(const slot_timing& t, int from, int to, double& out) {
    int F = first_lap_length(), N = normal_lap_length();
    auto whole = [&](int a, int b, int& time) {
        if (b >= (int)t.gate_tics.size()) return false;
        for (int p = std::max(a, 0); p <= b; p++)
            if (tic_at(t, p) < 0) return false;
        time = tic_at(t, b) - (a >= 0 ? tic_at(t, a) : 0);
        return true;
    };
    if (from < F || N <= 0) {
        int time;
        if (!whole(from, to, time)) return false;
        out = time;
        return true;
    }
    // The same stretch in every normal lap.
    int first = F + (from - F) % N;
    double sum = 0;
    int count = 0;
    for (int a = first; a + (to - from) < (int)t.gate_tics.size(); a += N) {
        int time;
        if (whole(a, a + (to - from), time)) {
            sum += time;
            count++;
        }
    }
    if (count == 0) return false;
    out = sum / count;
    return true;
}

// Tic of the rider's last recorded position before k among k-1..k-3, or
// the gate drop; and of its first recorded one at or after k, or now.
int off_course_from(const slot_timing& t, int k) {
    for (int p = k - 1; p >= k - 3; p--)
        if (tic_at(t, p) >= 0) return tic_at(t, p);
    return race.gate_drop_tic;
}
int off_course_to(const slot_timing& t, int k) {
    for (int p = k; p < (int)t.gate_tics.size(); p++)
        if (tic_at(t, p) >= 0) return tic_at(t, p);
    return race.tic;
}

}  // namespace

// ---- the track's timing --------------------------------------------------------

const timing_data& track_timing() { return g_timing; }
void set_track_timing(timing_data data) { g_timing = std::move(data); }
bool timing_active() { return g_timing.active; }
int first_lap_length() { return g_timing.active ? (int)g_timing.first_lap.size() : 0; }
int normal_lap_length() { return g_timing.active ? (int)g_timing.normal_lap.size() : 0; }

int gate_of_sequence_position(int p) {
    int F = first_lap_length(), N = normal_lap_length();
    if (p < 0 || F <= 0 || N <= 0) return -1;
    int entry = p < F ? g_timing.first_lap[(size_t)p] : g_timing.normal_lap[(size_t)((p - F) % N)];
    if (entry >= gate_entry_flag) entry -= gate_entry_flag;
    if (entry < 0 || entry >= (int)g_timing.gates.size()) return -1;
    return entry;
}

bool is_finish_line(int p) {
    int F = first_lap_length(), N = normal_lap_length();
    if (F <= 0 || N <= 0) return false;
    int q = p + 1 - F;
    return q >= 0 && q % N == 0;
}

// ---- per rider ---------------------------------------------------------------------

int laps_completed(int slot) {
    if (!valid_slot(slot) || !timing_active()) return 0;
    int F = first_lap_length(), N = normal_lap_length();
    int g = race_slots[(size_t)slot].timing.gates_passed;
    return g < F ? 0 : (g - F) / N + 1;
}

int gate_in_lap(int slot) {
    if (!valid_slot(slot) || !timing_active()) return 0;
    int F = first_lap_length(), N = normal_lap_length();
    int g = race_slots[(size_t)slot].timing.gates_passed;
    return g < F ? g : (g - F) % N + 1;
}

float lap_time(int slot, int k) {
    if (!valid_slot(slot) || !timing_active()) return 0;
    if (k < 0) k = laps_completed(slot);
    if (k < 1) return 0;
    const slot_timing& t = race_slots[(size_t)slot].timing;
    int end = tic_at(t, finish_position(k));
    int start = k == 1 ? race.gate_drop_tic : tic_at(t, finish_position(k - 1));
    if (end < 0 || start < 0) return 0;
    return (float)(end - start) / tics_per_second;
}

int best_lap_tics(int slot) {
    if (!valid_slot(slot) || !timing_active()) return 0;
    const slot_timing& t = race_slots[(size_t)slot].timing;
    int best = 0;
    for (int k = 2; k <= laps_completed(slot); k++) {
        int a = tic_at(t, finish_position(k - 1)), b = tic_at(t, finish_position(k));
        if (a < 0 || b < 0) continue;
        if (best == 0 || b - a < best) best = b - a;
    }
    return best;
}

bool is_finished(int slot) {
    if (!valid_slot(slot) || !timing_active()) return false;
    slot_timing& t = race_slots[(size_t)slot].timing;
    if (t.finished) return true;
    if (g_order.empty()) return false;
    int end = race.race_laps > 0 ? finish_position(race.race_laps) : 0;
    if (end < 0 || end >= max_sequence_positions) return false;
    const slot_timing& leader = race_slots[(size_t)g_order.front().slot].timing;
    if (leader.gates_passed <= end) return false;
    int leader_tic = tic_at(leader, end);
    if (leader_tic < 0) return false;
    int laps = laps_completed(slot);
    if (laps < 1) return false;
    int own = tic_at(t, finish_position(laps));
    if (own < 0 || own < leader_tic) return false;
    t.finished = true;
    return true;
}

bool rider_exempt(int slot) {
    if (!valid_slot(slot) || !race_slots[(size_t)slot].has_rider) return true;
    int type = race_slots[(size_t)slot].type;
    if (type != replayed_slot) return false;
    if (race.online) return !(race_parts.remote_fresh && race_parts.remote_fresh(slot));
    // A demo rider whose recording has run out no longer keeps the race open.
    return !(race_parts.recent_state && race_parts.recent_state(slot, 10 * tics_per_second));
}

bool race_over() {
    if (g_order.empty()) return false;
    for (const running_entry& e : g_order)
        if (!is_finished(e.slot) && !rider_exempt(e.slot)) return false;
    return true;
}

bool set_gate_tic(int slot, int position, int tic) {
    if (!valid_slot(slot) || position < 0 || position >= max_sequence_positions) return false;
    slot_timing& t = race_slots[(size_t)slot].timing;
    if ((int)t.gate_tics.size() <= position) t.gate_tics.resize((size_t)position + 1, -1);
    t.gate_tics[(size_t)position] = tic;
    return true;
}

void truncate_gates(int slot, int count) {
    if (!valid_slot(slot)) return;
    count = std::clamp(count, 0, max_sequence_positions);
    slot_timing& t = race_slots[(size_t)slot].timing;
    if (count < t.gates_passed) t.finished = false;
    t.gates_passed = count;
    if ((int)t.gate_tics.size() > count) t.gate_tics.resize((size_t)count);
}

void gate_check(int slot, const float point[3]) {
    if (!valid_slot(slot) || !timing_active()) return;
    slot_timing& t = race_slots[(size_t)slot].timing;
    if (t.finished) return;
    bool gap = false;
    for (int i : {-3, -2, 0, 1, 2}) {
        int p = t.gates_passed + i;
        if (p < 0) continue;
        if (p >= max_sequence_positions) return;
        if (tic_at(t, p) < 0) gap = true;
        int gi = gate_of_sequence_position(p);
        if (gi < 0) return;
        const timing_gate& g = g_timing.gates[(size_t)gi];
        float dx = point[0] - g.centre[0], dz = point[2] - g.centre[2];
        bool crossed = dx * dx + dz * dz <= g.radius * g.radius && dx * g.direction[0] + dz * g.direction[2] >= 0;
        if (crossed) {
            if (i < 0 && !gap) continue;
            credit(slot, p);
            return;
        }
        // A finish line can never be skipped.
        if (is_finish_line(p) && tic_at(t, p) < 0) return;
    }
}

// ---- the whole race ------------------------------------------------------------------

const std::vector<running_entry>& running_order() { return g_order; }

namespace {
void decide_race_length();
}

void update_running_order() {
    if (race.results_written) return;
    g_order.clear();
    for (int s = 0; s < race_slot_count; s++) {
        const race_slot& rs = race_slots[(size_t)s];
        if (!rs.has_rider) continue;
        running_entry e;
        e.slot = s;
        e.gates_passed = rs.timing.gates_passed;
        e.last_tic = std::max(tic_at(rs.timing, e.gates_passed - 1), 0);
        g_order.push_back(e);
    }
    std::stable_sort(g_order.begin(), g_order.end(), [](const running_entry& a, const running_entry& b) {
        if (a.gates_passed != b.gates_passed) return a.gates_passed > b.gates_passed;
        if (a.last_tic != b.last_tic) return a.last_tic < b.last_tic;
        return a.slot < b.slot;
    });

    decide_race_length();
    settle_race_if_over();
}

namespace {

void decide_race_length() {
    if (race.race_time <= 0 || g_order.empty() || !timing_active()) return;
    int leader_laps = laps_completed(g_order.front().slot);
    if (!g_halfway_decided && race.tic >= race.gate_drop_tic + race.race_time / 2) {
        race.halfway_lap = leader_laps + 1;
        g_halfway_decided = true;
    }
    int end_of_time = race.gate_drop_tic + race.race_time;
    if (race.tic < end_of_time) return;
    // The leader finishes the lap during which the time ran out, then the
    // extra laps.
    for (int o = std::max(1, std::min(race.race_laps, leader_laps - 1)); o <= leader_laps + 1; o++) {
        int p = finish_position(o);
        if (p < 0 || p >= max_sequence_positions) break;
        int earliest = INT_MAX;
        for (const running_entry& e : g_order) {
            int tic = tic_at(race_slots[(size_t)e.slot].timing, p);
            if (tic >= 0) earliest = std::min(earliest, tic);
        }
        if (earliest == INT_MAX) break;
        if (earliest >= end_of_time) {
            race.race_laps = std::min(race.race_laps, o + race.extra_laps);
            break;
        }
        race.race_laps = std::max(race.race_laps, o + race.extra_laps + 1);
    }
}

}  // namespace

int section_reference_time(int from, int to) {
    double sum = 0;
    int count = 0;
    for (const running_entry& e : g_order) {
        const race_slot& rs = race_slots[(size_t)e.slot];
        // Online, a local rider who is not in the race sets no reference.
        if (race.online && rs.type == local_slot && rs.timing.gates_passed == 0) continue;
        double time;
        if (rider_stretch_time(rs.timing, from, to, time)) {
            sum += time;
            count++;
        }
    }
    if (count == 0) return 60 * tics_per_second;
    return (int)(sum / count);
}

cutting_charge cutting_penalty(int slot) {
    cutting_charge c;
    if (!valid_slot(slot) || !timing_active()) return c;
    const slot_timing& t = race_slots[(size_t)slot].timing;
    c.counted_positions = t.gates_passed;
    int size = std::min((int)t.gate_tics.size(), t.gates_passed);
    long charge = 0;
    int run = 0;
    for (int k = 0; k < size; k++) {
        int tic = tic_at(t, k);
        if (tic < 0) {
            run++;
            continue;
        }
        if (run > 0) {
            int before = k - run - 1;
            int prev = before >= 0 ? tic_at(t, before) : 0;
            int ref = section_reference_time(before, k) + tics_per_second;
            if (tic - prev < ref) charge += ref - (tic - prev);
            run = 0;
        }
    }
    int F = first_lap_length(), N = normal_lap_length();
    if (laps_completed(slot) >= 2) {
        int w = best_lap_tics(slot);
        // Without a usable best lap nothing can be traded for laps.
        while (w > 0 && charge > w && c.counted_positions > F) {
            c.counted_positions -= N;
            c.laps_taken++;
            charge -= w;
        }
    }
    c.tics = (int)std::min<long>(charge, INT_MAX);
    return c;
}

bool off_course_at(int slot, int k) {
    if (!valid_slot(slot) || k < 1) return false;
    int reference = -1;
    for (const running_entry& e : g_order) {
        const slot_timing& lt = race_slots[(size_t)e.slot].timing;
        if (lt.gates_passed <= k) return false;
        int a = tic_at(lt, k - 1), b = tic_at(lt, k);
        if (a >= 0 && b >= 0) {
            reference = b - a;
            break;
        }
    }
    if (reference < 0) return false;
    const slot_timing& t = race_slots[(size_t)slot].timing;
    double taken = (double)(off_course_to(t, k) - off_course_from(t, k)) / tics_per_second;
    double limit = (double)reference / tics_per_second * race.off_course_scale + race.off_course_bias;
    return taken >= limit;
}

bool remote_collides(int local, int remote, bool remote_fresh) {
    if (!valid_slot(local) || !valid_slot(remote) || !remote_fresh) return false;
    if (race.tic < race.gate_drop_tic + (int)(race.off_course_bias * tics_per_second) || g_order.size() <= 1)
        return true;
    auto off_lately = [](int slot) {
        int g = race_slots[(size_t)slot].timing.gates_passed;
        for (int k = std::max(1, g - 3); k <= g; k++)
            if (off_course_at(slot, k)) return true;
        return false;
    };
    const slot_timing& lt = race_slots[(size_t)local].timing;
    const slot_timing& rt = race_slots[(size_t)remote].timing;
    bool local_on_course = !lt.finished && lt.gates_passed > 0 && !off_lately(local);
    bool remote_out = rt.finished || rt.gates_passed == 0 || off_lately(remote);
    return !(local_on_course && remote_out);
}

void clear_race_state() {
    race = race_clock{};
    for (race_slot& s : race_slots) s = race_slot{};
    g_order.clear();
    g_halfway_decided = false;
    clear_final_standings();
}

// Reset of the lap timing for a new race (the slots keep their riders).
void clear_race_timing() {
    for (race_slot& s : race_slots) s.timing = slot_timing{};
    g_order.clear();
    g_halfway_decided = false;
    clear_final_standings();
}
