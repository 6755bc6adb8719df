// One step of the whole race. The order matters: contacts are made for the
// world step, the step integrates them with the forces the force step left
// on the bodies, and the force step then prepares the next one. Nothing here
// reads the wall clock, so a race repeats from its inputs.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/collision.h"
#include "bike/rider_control.h"
#include "bike/solid_objects.h"
#include "bike/tire.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/parallel.h"
#include "race/race.h"
#include "race/race_internal.h"
#include "race/race_tic.h"
#include "race/telemetry.h"
#include "track/erosion.h"

race_driver race_parts;

namespace {

// What the deformation reads of a wheel after the world step: the contact,
// the wheel body's velocity and the force the contact joint applied.
erode_contact erode_contact_of(const wheel_contact& w) {
    erode_contact c;
    c.depth = w.depth;
    for (int k = 0; k < 3; k++) {
        c.point[k] = w.contact_point[k];
        c.slip_velocity[k] = w.slip_velocity[k];
        c.force[k] = (float)w.contact_feedback.f1[k];
    }
    if (w.body) {
        const dReal* v = dBodyGetLinearVel(w.body);
        for (int k = 0; k < 3; k++) c.velocity[k] = (float)v[k];
    }
    return c;
}

random_state g_roost_random;  // roost looks only; the physics never reads it
std::array<int, 2> g_free_riding_laps_before{};
std::vector<bike_state*> g_collected;
std::vector<bike_state*> g_remotes;

int slot_type_of(int slot) { return race_slots[(size_t)slot].type; }

void front_wheel_point(const bike_state& bike, float out[3]) {
    double p[3];
    get_body_position(bike, body_front_wheel, p);
    for (int k = 0; k < 3; k++) out[k] = (float)p[k];
}

// A sphere round the frame that holds every part and tire of the bike.
struct bike_reach {
    double centre[3];
    double radius;
};
bike_reach reach_of(const bike_state& b) {
    bike_reach r;
    get_body_position(b, body_frame, r.centre);
    r.radius = 0;
    for (int part = 0; part < bike_body_count; part++) {
        double extent = 0;
        if (const auto& shape = b.shapes[(size_t)part]) extent = shape->bounding_radius;
        const wheel_contact* w = part == body_front_wheel ? &b.front_contact
                                 : part == body_rear_wheel ? &b.rear_contact
                                                           : nullptr;
        if (w) extent = std::max(extent, (double)(w->tire_ring_radius + w->tire_section_radius));
        double p[3];
        get_body_position(b, (bike_body)part, p);
        double d = std::sqrt((p[0] - r.centre[0]) * (p[0] - r.centre[0]) + (p[1] - r.centre[1]) * (p[1] - r.centre[1]) +
                             (p[2] - r.centre[2]) * (p[2] - r.centre[2]));
        r.radius = std::max(r.radius, d + extent);
    }
    return r;
}

// Every pair once, the faster bike first, as the pairing order asks; pairs
// whose reach spheres are apart cannot touch and are not tested part by part.
void collide_pairs_in_reach(std::vector<bike_state*>& bikes) {
    sort_bikes_for_pairing(bikes);
    static std::vector<bike_reach> reach;
    reach.clear();
    for (bike_state* b : bikes) reach.push_back(reach_of(*b));
    for (size_t i = 0; i < bikes.size(); i++)
        for (size_t j = i + 1; j < bikes.size(); j++) {
            const bike_reach &a = reach[i], &b = reach[j];
            double dx = a.centre[0] - b.centre[0], dy = a.centre[1] - b.centre[1], dz = a.centre[2] - b.centre[2];
            double limit = a.radius + b.radius;
            // A position that is not finite is left to the part tests.
            if (dx * dx + dy * dy + dz * dz > limit * limit) continue;
            bike_pair_collide(*bikes[i], *bikes[j], false, race.tic);
        }
}

// Replayed slots lean on the starting gate pieces only while they are
// falling; every other bike meets the ground, the statues and the others.
// With several bikes, the ground queries of the wheels and part shapes (the
// costliest part of the collision pass, and free of side effects) run ahead
// on both cores; the pass itself then runs in its usual order and finds the
// answers waiting.
constexpr int prefetch_min_bikes = 4;

std::vector<bike_state*> g_prefetched;

void prefetch_ground_queries() {
    std::vector<bike_state*>& riding = g_prefetched;
    riding.clear();
    for (int s = 0; s < race_slot_count; s++) {
        bike_state* b = bike_in_slot(s);
        if (b && slot_type_of(s) != replayed_slot) riding.push_back(b);
    }
    if ((int)riding.size() < prefetch_min_bikes || !parallel_enabled()) {
        riding.clear();
        return;
    }
    parallel_for((int)riding.size(), [&riding](int k) {
        bike_state& b = *riding[(size_t)k];
        prefetch_wheel_ground(b.front_contact);
        prefetch_wheel_ground(b.rear_contact);
        prefetch_shape_ground(b);
    });
}

void offline_collisions() {
    g_collected.clear();
    prefetch_ground_queries();
    bool gate_moving = race.tic <= race.gate_drop_tic + 10 * tics_per_second;
    for (int s = 0; s < race_slot_count; s++) {
        bike_state* b = bike_in_slot(s);
        if (!b) continue;
        if (slot_type_of(s) == replayed_slot) {
            if (!gate_moving || !solid_objects.statue) continue;
            for (const gate_piece& piece : gate_pieces()) {
                solid_statue statue;
                if (piece.statue >= 0 && solid_objects.statue(piece.statue, statue))
                    bike_object_collide(*b, piece.statue, statue, race.tic);
            }
            continue;
        }
        bike_collision_pass(*b, race.tic);
        g_collected.push_back(b);
    }
    collide_pairs_in_reach(g_collected);
    for (bike_state* b : g_prefetched) forget_prefetched_ground(*b);
    g_prefetched.clear();
}

// Online only the local bike is collided, with the remote bikes the
// off-course rule lets near it.
void online_collisions() {
    for (int s = 0; s < race_slot_count; s++) {
        bike_state* local = bike_in_slot(s);
        if (!local || slot_type_of(s) != local_slot) continue;
        bike_collision_pass(*local, race.tic);
        g_remotes.clear();
        for (int r = 0; r < race_slot_count; r++) {
            bike_state* remote = bike_in_slot(r);
            if (!remote || r == s || slot_type_of(r) != replayed_slot) continue;
            bool fresh = race_parts.remote_fresh && race_parts.remote_fresh(r);
            if (remote_collides(s, r, fresh)) g_remotes.push_back(remote);
        }
        collide_with_remote_bikes(*local, g_remotes, race.tic);
        break;
    }
}

void pre_step_work() {
    int bikes = 0;
    for (int s = 0; s < race_slot_count; s++)
        if (bike_in_slot(s)) bikes++;
    // No bikes: nothing to rotate over (and no division by zero).
    if (bikes == 0) return;
    // A rotating start, so that no bike always goes first.
    int first = race.tic % bikes;
    if (first < 0) first += bikes;
    float density = (float)settings.roost_density;
    for (int i = 0; i < race_slot_count; i++) {
        bike_state* b = bike_in_slot((first + i) % race_slot_count);
        if (!b) continue;
        wheel_contact_refresh(*b, race.tic);
        roost_emit(*b, race.tic, density, g_roost_random);
    }
}

// Online, before the drop the local rider waits seated with its feet down;
// moving off the grid early costs 15 s after the drop.
void false_start(int slot, bike_state& b) {
    race_slot& rs = race_slots[(size_t)slot];
    if (race.tic < race.gate_drop_tic) {
        set_sit(b, 1);
        double p[3];
        get_body_position(b, body_frame, p);
        double d2 = 0;
        for (int k = 0; k < 3; k++) d2 += (p[k] - rs.start_point[k]) * (p[k] - rs.start_point[k]);
        if (rs.false_start_penalty <= 0 && d2 >= 9) {
            rs.false_start_penalty = 15 * tics_per_second + (race.gate_drop_tic - race.tic);
            show_message("15 second false start penalty");
        }
    }
    if (rs.false_start_penalty > 0) {
        rs.false_start_penalty--;
        set_throttle(b, 0);
        set_clutch(b, 0);
        set_front_brake(b, 1);
        set_rear_brake(b, 1);
        set_sit(b, 1);
    }
}

void post_step_work() {
    rider_clock clock;
    clock.tic = race.tic;
    clock.race_start_tic = race.gate_drop_tic;
    for (int s = 0; s < race_slot_count; s++) {
        bike_state* b = bike_in_slot(s);
        if (!b) continue;
        int type = slot_type_of(s);
        if (type == robot_slot && race_parts.robot_controls) race_parts.robot_controls(*b);
        if (type == local_slot && !race.online && race_parts.learn_tic) race_parts.learn_tic(*b);
        if (race.online) {
            if (type == replayed_slot && race_parts.net_prepare_remote) race_parts.net_prepare_remote(*b);
            if (type == local_slot) false_start(s, *b);
        }
        // A bike that is not simulated still moves its feet.
        bike_force_step(*b, clock);
        if (!race.online || type == local_slot) {
            float point[3];
            front_wheel_point(*b, point);
            gate_check(s, point);
        }
    }
}

// With "--debug", where the viewed rider's bike is every five seconds.
void log_ride() {
    if (cmdline.debug_level <= 0 || race.tic % (5 * tics_per_second) != 0) return;
    for (int s = 0; s < race_slot_count; s++) {
        bike_state* b = bike_in_slot(s);
        if (!b || slot_type_of(s) != local_slot) continue;
        double p[3], v[3];
        get_body_position(*b, body_frame, p);
        get_body_velocity(*b, body_frame, v);
        log_printf("Tic %d: rider %d at (%.1f, %.1f, %.1f), %.1f ft/s, gear %d, %d gates\n", race.tic, s, p[0],
                   p[1], p[2], std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]), b->gear + 1,
                   race_slots[(size_t)s].timing.gates_passed);
        return;
    }
}

}  // namespace

random_state& race_random() {
    static random_state r;
    return r;
}

void seed_roost_random(uint32_t seed) { random_seed(g_roost_random, seed); }

const std::array<int, 2>& free_riding_laps_before() { return g_free_riding_laps_before; }

void simulate_tic() {
    // 1. The track script.
    if (race_parts.script_tic) race_parts.script_tic();

    // 2. Replayed slots from their kept states.
    if (race_parts.replay_slot) {
        int t = std::max(race.tic - race.playback_delay, 0);
        for (int s = 0; s < race_slot_count; s++)
            if (bike_in_slot(s) && slot_type_of(s) == replayed_slot) race_parts.replay_slot(s, t);
    }

    // 3. Free riding: the laps of the rider and of the lap ghost before this
    // tic, to see one completed.
    if (race.free_riding)
        for (int s = 0; s < 2; s++) g_free_riding_laps_before[(size_t)s] = laps_completed(s);

    // 4. Collisions.
    if (race.online)
        online_collisions();
    else
        offline_collisions();

    // 5. Wheel read-outs and roost.
    pre_step_work();

    // 6. The world step; the one-tic joints go with it. A step that cannot
    // get its memory is the end, as any exhausted allocation is.
    if (!bike_world_step() && bike_world_ready()) fatal_out_of_memory();

    // 7. Wheel marks in the ground.
    if (erode_rate > 0)
        for (int s = 0; s < race_slot_count; s++) {
            bike_state* b = bike_in_slot(s);
            if (!b || slot_type_of(s) == replayed_slot) continue;
            erode_contact front = erode_contact_of(b->front_contact), rear = erode_contact_of(b->rear_contact);
            erode_from_wheels(s, front, rear, race.tic);
            if (race_parts.wheels_dug) race_parts.wheels_dug(s, front, rear);
        }

    // 8. Controls, force steps and the gates.
    post_step_work();

    // 9. Roost particles.
    if (race_parts.move_particles) race_parts.move_particles();

    // 10. The starting gate.
    move_starting_gate();

    // 11, 12.
    race.tic++;
    if (race.online && race.tic % 512 == 511) update_running_order();

    // 13. Demos.
    if (race_parts.record_states) race_parts.record_states(false);

    // 14. Free riding: a lap completed.
    if (race.free_riding && laps_completed(0) > g_free_riding_laps_before[0] && race_parts.free_riding_lap)
        race_parts.free_riding_lap(0);

    // 15. Telemetry of the viewed rider.
    record_telemetry();

    log_ride();
}

float playback_fraction(int older, int newer, int t) {
    if (newer <= older) return 0;
    return (float)(std::min(t, newer + 64) - older) / (float)(newer - older);
}
