// The HUD's view of the race, read from the race state.
#include <cstring>

#include "bike/bike.h"
#include "core/clock.h"
#include "demo/demo.h"
#include "race/race.h"
#include "race/results.h"
#include "ui/race_view.h"

bool race_state_view(hud_race_view& v) {
    v = hud_race_view{};
    v.timing = timing_active();
    if (v.timing) {
        const timing_data& t = track_timing();
        v.first_lap = t.first_lap;
        v.normal_lap = t.normal_lap;
    }
    v.tic = race.tic;
    v.gate_drop_tic = race.gate_drop_tic;
    v.race_time = race.race_time;
    v.extra_laps = race.extra_laps;
    v.results_written = race.results_written;
    v.time_trial = race.free_riding;
    // Once settled the table reads the frozen final standings, cutting
    // charges applied; before that the running order as it stands.
    std::vector<standing_entry> order;
    if (v.results_written) {
        order = final_standings();
    } else {
        for (const running_entry& e : running_order()) {
            standing_entry f;
            f.slot = e.slot;
            f.positions = e.gates_passed;
            f.final_tic = e.last_tic;
            order.push_back(f);
        }
    }
    for (const standing_entry& e : order) {
        if (e.slot < 0 || e.slot >= race_slot_count) continue;
        const race_slot& s = race_slots[(size_t)e.slot];
        hud_rider r;
        r.slot = e.slot;
        if (const bike_state* b = bike_in_slot(e.slot)) r.number.assign(b->number, strnlen(b->number, 7));
        if (s.type == replayed_slot && race.online) r.name = s.name;
        r.gates_passed = s.timing.gates_passed;
        r.gate_tics = s.timing.gate_tics;
        r.finished = s.timing.finished;
        r.final_positions = v.results_written ? e.positions : r.gates_passed;
        int last = r.gates_passed > 0 && r.gates_passed <= (int)r.gate_tics.size()
                       ? r.gate_tics[(size_t)r.gates_passed - 1]
                       : 0;
        r.final_tic = v.results_written ? e.final_tic : last;
        v.order.push_back(std::move(r));
    }
    if (v.time_trial) {
        free_riding_times laps = free_riding_laps();
        v.last_attempt = laps.last_lap * tic_length;
        v.best_attempt = laps.best_lap * tic_length;
    }
    return true;
}
