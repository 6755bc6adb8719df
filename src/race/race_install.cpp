#include "race/race_install.h"

#include <cmath>

#include "bike/bike.h"
#include "bike/bike_hooks.h"
#include "bike/bike_world.h"
#include "bike/rider_control.h"
#include "core/bike_setup.h"
#include "core/config.h"
#include "core/hooks.h"
#include "race/race.h"
#include "race/race_internal.h"
#include "race/race_tic.h"
#include "track/objects_race.h"
#include "track/track.h"

namespace {

// What start-up's empty_slots leaves for the next reset.
slot_kind_list g_pending_kinds{};

bool valid(int slot) { return slot >= 0 && slot < race_slot_count; }

void empty_slots(bool local_player) {
    free_race_bikes();
    g_pending_kinds.fill(slot_kind_empty);
    if (local_player) g_pending_kinds[0] = slot_kind_human;
}

// A race with the current settings: the lineup start-up left, the race
// length and robot skill of the configuration.
bool reset_with_settings(const char* track, bool playback) {
    race_setup setup;
    setup.slot_kinds = g_pending_kinds;
    setup.playback = playback;
    setup.record = settings.record == 1;
    setup.race_time = (int)std::trunc(settings.minutes * 60 * tics_per_second);
    setup.laps = (int)std::trunc(settings.laps);
    setup.skill = settings.skill;
    if (track) setup.track = track;
    return reset_race(setup);
}

void free_bikes() {
    free_race_bikes();
    if (bike_world_ready()) dJointGroupEmpty(tic_joint_group());
}

void release_sounds() {
    if (race_tic_hook.release_script_sounds) race_tic_hook.release_script_sounds();
}

int local_tic() { return race.tic; }
int drop_tic() { return race.gate_drop_tic; }

int slot_type(int slot) {
    if (!valid(slot) || !race_slots[(size_t)slot].has_rider) return -1;
    return race_slots[(size_t)slot].type;
}
bool slot_has_bike(int slot) { return bike_in_slot(slot) != nullptr; }

int order_slots(int* slots, int max) {
    int n = 0;
    for (const running_entry& e : running_order()) {
        if (n >= max) break;
        slots[n++] = e.slot;
    }
    return n;
}

bool attempt_running() { return race.free_riding && timing_active() && bike_in_slot(0); }
void abort_attempt() { restart_attempt(); }

bool leader_finished() {
    const std::vector<running_entry>& order = running_order();
    // A race of no laps has nothing to finish: it must not restart at once.
    return !order.empty() && timing_active() && race.race_laps > 0 &&
           laps_completed(order.front().slot) >= race.race_laps;
}

// "--warp": the lineup turns by one place and the race runs again.
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

void set_controls(int slot, const control_values& controls) {
    bike_state* b = bike_in_slot(slot);
    if (!b) return;
    player_input input{};
    for (int i = 0; i < control_count; i++) input[(size_t)i] = (float)controls[(size_t)i];
    apply_player_input(*b, input, rider_input_options_of(player_setup));
}

bool frame_pose(int slot, bike_pose& pose) {
    bike_state* b = bike_in_slot(slot);
    if (!b) return false;
    double r[9];
    get_body_position(*b, body_frame, pose.position.data());
    get_body_velocity(*b, body_frame, pose.velocity.data());
    get_body_rotation(*b, body_frame, r);
    for (int c = 0; c < 3; c++)
        for (int k = 0; k < 3; k++) pose.axes[(size_t)c][(size_t)k] = r[k * 3 + c];
    return true;
}

bool touches_ground(int slot) {
    bike_state* b = bike_in_slot(slot);
    return b && bike_touches_anything(*b);
}
void raise_bike(int slot, double dy) {
    if (bike_state* b = bike_in_slot(slot)) translate_bike(*b, 0, dy, 0);
}

// ---- what the track objects read ------------------------------------------------
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
bool racing(const bike_state& b) {
    return race.tic >= race.gate_drop_tic && !is_finished(b.slot_index);
}

}  // namespace

void install_race() {
    race_hook.empty_slots = empty_slots;
    race_hook.reset_race = reset_with_settings;
    race_hook.free_race = free_race;
    race_hook.free_bikes = free_bikes;
    race_hook.release_sounds = release_sounds;
    race_hook.simulate_tic = simulate_tic;
    race_hook.local_tic = local_tic;
    race_hook.gate_drop_tic = drop_tic;
    race_hook.slot_type = slot_type;
    race_hook.slot_has_bike = slot_has_bike;
    race_hook.running_order = order_slots;
    race_hook.attempt_running = attempt_running;
    race_hook.abort_attempt = abort_attempt;
    race_hook.leader_finished = leader_finished;
    race_hook.restart_rotated = restart_rotated;

    bike_hook.set_controls = set_controls;
    // The bike's own install may come to provide these; keep its versions.
    if (!bike_hook.frame_pose) bike_hook.frame_pose = frame_pose;
    if (!bike_hook.touches_ground) bike_hook.touches_ground = touches_ground;
    if (!bike_hook.raise) bike_hook.raise = raise_bike;

    if (!rider_hook.racing) rider_hook.racing = racing;

    track_parts.load_timing_gates = load_track_timing;
    track_parts.free_timing_gates = free_track_timing;
    track_parts.timing_counts = track_timing_counts;

    object_race.tic = local_tic;
    object_race.gate_drop_tic = drop_tic;
    object_race.lap_lists = lap_lists;
    object_race.race_length = race_length;
    object_race.running_order = order_slots;
    object_race.gates_passed = gates_passed;
    object_race.rider_is_down = rider_is_down;
}
