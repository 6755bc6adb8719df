#include "race/race_control.h"

#include <cmath>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/drivetrain.h"
#include "bike/rider_control.h"
#include "bike/rider_parts.h"
#include "bike/solid_objects.h"
#include "core/bike_setup.h"
#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/setup_watch.h"
#include "race/race.h"
#include "race/race_internal.h"
#include "race/race_tic.h"
#include "track/objects_race.h"
#include "track/track.h"
#include "track/track_objects.h"

namespace {

// What start-up's empty_slots leaves for the next reset.
slot_kind_list g_pending_kinds{};

bool valid(int slot) { return slot >= 0 && slot < race_slot_count; }

}  // namespace

// ---- start-up and shutdown ------------------------------------------------------------

void empty_slots(bool local_player) {
    free_race_bikes();
    g_pending_kinds.fill(slot_kind_empty);
    if (local_player) g_pending_kinds[0] = slot_kind_human;
}

bool reset_race_with_settings(const char* track, bool playback) {
    race_setup setup;
    setup.slot_kinds = g_pending_kinds;
    setup.playback = playback;
    // A demo played back is not recorded over.
    setup.record = settings.record == 1 && !playback;
    if (playback && cmdline.demo_to_play) setup.demo = *cmdline.demo_to_play;
    setup.race_time = (int)std::trunc(settings.minutes * 60 * tics_per_second);
    setup.laps = (int)std::trunc(settings.laps);
    setup.skill = settings.skill;
    if (track) setup.track = track;
    return reset_race(setup);
}

// ---- the frame loop -----------------------------------------------------------------

int slot_type(int slot) {
    if (!valid(slot) || !race_slots[(size_t)slot].has_rider) return -1;
    return race_slots[(size_t)slot].type;
}

bool slot_has_bike(int slot) { return bike_in_slot(slot) != nullptr; }

int running_order_slots(int* slots, int max) {
    int n = 0;
    for (const running_entry& e : running_order()) {
        if (n >= max) break;
        slots[n++] = e.slot;
    }
    return n;
}

void set_bike_controls(int slot, const control_values& controls) {
    bike_state* b = bike_in_slot(slot);
    if (!b) return;
    player_input input{};
    for (int i = 0; i < control_count; i++) input[(size_t)i] = (float)controls[(size_t)i];
    apply_player_input(*b, input, rider_input_options_of(player_setup));
}

void apply_setup_to_viewed_bike() {
    int slot = race.viewed_slot;
    if (slot < 0 || slot >= race_slot_count || !race_slots[(size_t)slot].has_rider ||
        race_slots[(size_t)slot].type != local_slot)
        return;
    if (bike_state* b = bike_in_slot(slot)) {
        apply_bike_setup(*b, player_setup, time_now());
        // The loop's periodic report names what changed since the last one.
        flag_setup_changes();
    }
}

bool attempt_running() { return race.free_riding && timing_active() && bike_in_slot(0); }
void abort_attempt() { restart_attempt(); }

bool leader_finished() {
    const std::vector<running_entry>& order = running_order();
    // A race of no laps has nothing to finish: it must not restart at once.
    return !order.empty() && timing_active() && race.race_laps > 0 &&
           laps_completed(order.front().slot) >= race.race_laps;
}

void restart_rotated() {
    race_setup setup = last_race_setup();
    if (setup.slot_kinds) {
        slot_kind_list turned{};
        for (int i = 0; i < race_slot_count; i++)
            turned[(size_t)((i + 1) % race_slot_count)] = (*setup.slot_kinds)[(size_t)i];
        setup.slot_kinds = turned;
    }
    setup.playback = false;
    reset_race(setup);
}

bool slot_bike_touches(int slot) {
    bike_state* b = bike_in_slot(slot);
    return b && bike_touches_anything(*b);
}

void raise_slot_bike(int slot, double dy) {
    if (bike_state* b = bike_in_slot(slot)) translate_bike(*b, 0, dy, 0);
}

// ---- the race's answers to the layers below -------------------------------------------

namespace {

int local_tic() { return race.tic; }
int drop_tic() { return race.gate_drop_tic; }

bool lap_lists(const std::vector<int>*& first_lap, const std::vector<int>*& normal_lap, int& gate_count) {
    if (!timing_active()) return false;
    first_lap = &track_timing().first_lap;
    normal_lap = &track_timing().normal_lap;
    gate_count = (int)track_timing().gates.size();
    return true;
}

void race_length(race_length_values& out) {
    out.race_time = race.race_time;
    out.race_laps = race.race_laps;
    out.extra_laps = race.extra_laps;
    out.halfway_lap = race.halfway_lap;
}

int gates_passed(int slot) { return valid(slot) ? race_slots[(size_t)slot].timing.gates_passed : 0; }

bool rider_is_down(int slot) {
    bike_state* b = bike_in_slot(slot);
    return b && !rider_on_bike(*b);
}

// The race is on for the rider once the gate has dropped, until it finishes.
bool racing(const bike_state& b) { return race.tic >= race.gate_drop_tic && !is_finished(b.slot_index); }

}  // namespace

void fill_race_parts(track_part_driver& parts, object_race_driver& objects, rider_driver& rider) {
    parts.load_timing_gates = load_track_timing;
    parts.free_timing_gates = free_track_timing;
    parts.timing_counts = track_timing_counts;

    objects.tic = local_tic;
    objects.gate_drop_tic = drop_tic;
    objects.lap_lists = lap_lists;
    objects.race_length = race_length;
    objects.running_order = running_order_slots;
    objects.gates_passed = gates_passed;
    objects.rider_is_down = rider_is_down;

    rider.racing = racing;
}

void clear_race_parts() {
    track_parts = {};
    solid_objects = {};
    object_race = {};
    rider_parts = {};
}

void standalone_race_parts() {
    clear_race_parts();
    fill_race_parts(track_parts, object_race, rider_parts);
    fill_object_parts(track_parts);
}
