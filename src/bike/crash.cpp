// Crashes and the rider's way back onto the bike.
#include "bike/crash.h"

#include <algorithm>
#include <cmath>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/body_math.h"
#include "bike/collision.h"
#include "bike/rider_control.h"
#include "bike/rider_pose.h"
#include "track/height_field.h"

namespace {

std::array<int, knockout_entries> g_knockout{};

// The tethers are stiff springs with heavy damping at the one step.
constexpr double tether_spring = 5000;  // lbf/ft
constexpr double tether_damping = 500;  // lbf s/ft

// The rider is only let fall through this much felt acceleration or
// relative speed (times the tolerance).
constexpr double crash_relative_speed = 31;      // ft/s
constexpr double crash_acceleration = 1376;      // ft/s²
constexpr int still_countdown = 512;             // tics of lying still and returning
constexpr int return_start = 511;                // the long tether holds above this
constexpr int foot_seek = 319;                   // the foot finds its peg from here on
constexpr double still_speed = 2;                // ft/s

dvec3 of(const float* v) { return {v[0], v[1], v[2]}; }
void store(float* out, dvec3 v) {
    out[0] = (float)v.x;
    out[1] = (float)v.y;
    out[2] = (float)v.z;
}

dvec3 seat_point(const bike_info& info) {
    return {info.rider_position[0] - info.frame_position[0], info.rider_position[1] - info.frame_position[1],
            info.rider_position[2] - info.frame_position[2]};
}

// A rope of length `limit` from the rider's point `on_rider` (its own frame)
// to `other`'s point `on_other`: nothing while slack, a one-tic frictionless
// contact pulling the two together while taut.
void tether(dBodyID rider, dvec3 on_rider, dBodyID other, dvec3 on_other, double limit) {
    dvec3 a = body_point(rider, on_rider), b = body_point(other, on_other);
    dvec3 d = b - a;
    double distance = length(d);
    if (!(distance > limit) || !std::isfinite(distance)) return;
    dvec3 n = d * (1 / distance);
    double hk = tether_spring * world_step_seconds;
    dContact contact{};
    contact.surface.mode = dContactSoftERP | dContactSoftCFM;
    contact.surface.mu = 0;
    contact.surface.soft_erp = hk / (tether_damping + hk);
    contact.surface.soft_cfm = 1 / (tether_damping + hk);
    contact.geom.pos[0] = a.x;
    contact.geom.pos[1] = a.y;
    contact.geom.pos[2] = a.z;
    contact.geom.normal[0] = n.x;
    contact.geom.normal[1] = n.y;
    contact.geom.normal[2] = n.z;
    contact.geom.depth = distance - limit;
    // The contact pushes its first body along the normal: toward the other
    // point.
    dJointAttach(dJointCreateContact(bike_world(), tic_joint_group(), &contact), rider, other);
}

void set_foot(foot_state& foot, dvec3 position, dvec3 velocity) {
    store(foot.position, position);
    store(foot.velocity, velocity);
}

// One foot as a loose particle: falling, stopped by the ground, damped, and
// held within a leg's reach of its hip and below the hip's level.
void foot_particle_step(foot_state& foot, dBodyID rider, const float* hip_point, double leg) {
    dvec3 p = of(foot.position), v = of(foot.velocity);
    p = p + v * world_step_seconds;
    v.y -= 32 * world_step_seconds;
    auto above_ground = [&]() {
        double floor = height_at((float)p.x, (float)p.z) + 0.25;
        if (p.y < floor) {
            p.y = floor;
            v = {};
        }
    };
    above_ground();
    v = v * 0.9375;

    dvec3 hip = body_point(rider, of(hip_point));
    dvec3 out = p - hip;
    double reach = length(out);
    if (reach > leg && reach > 0) {
        dvec3 dir = out * (1 / reach);
        p = hip + dir * leg;
        dvec3 relative = v - body_point_vel(rider, of(hip_point));
        v = v - dir * dot(relative, dir);
    }
    dvec3 down = body_to_world(rider, {0, -1, 0});
    double side = dot(p - (hip + down), down);
    if (side < 0) {
        p = p - down * side;
        double into = dot(v, down);
        if (into < 0) v = v - down * into;
    }
    // The leg's limits may have pulled the foot into the ground again.
    above_ground();
    if (!finite(p) || !finite(v)) {
        p = hip;
        v = {};
    }
    set_foot(foot, p, v);
}

}  // namespace

void set_knockout_table(const int* tics, int count) {
    g_knockout.fill(0);
    if (!tics) return;
    for (int i = 0; i < std::min(count, knockout_entries); i++) g_knockout[(size_t)i] = std::clamp(tics[i], 0, knockout_max_tics);
}

const std::array<int, knockout_entries>& knockout_table() { return g_knockout; }

bool rider_is_down(const bike_state& b) { return b.crash_countdown > 0; }

void crash_check(bike_state& b, int tic) {
    dBodyID rider = b.bodies[body_rider], frame = b.bodies[body_frame];
    dvec3 v = body_vel(rider);
    float* history = b.rider_velocity_history[tic & 3];
    if (b.crash_countdown == 0 && !arcade_physics(b)) {
        double tolerance = 1.5;
        if (b.landed_tic >= b.airborne_tic) {
            // Just down from a long flight the rider is thrown more easily.
            double air = (b.landed_tic - b.airborne_tic) / 128.0, since = (tic - b.landed_tic) / 128.0;
            double s = clampd((air - 0.559) * 7.9365087, 0, 1);
            double k = clampd(8 * (0.25 - since), 0, 1);
            tolerance = 1.5 - 0.5 * s * k;
        }
        dvec3 relative = v - world_point_vel(frame, body_pos(rider));
        dvec3 felt = (v - of(history)) * 32 + dvec3{0, 32, 0};
        if (length(relative) > crash_relative_speed * tolerance || length(felt) > crash_acceleration * tolerance)
            crash(b);
    }
    store(history, v);
}

void crash(bike_state& b) {
    if (b.crash_countdown > 0 || b.collision_timer < 0) return;
    // The feet start where they were drawn, moving with the rider.
    drawn_feet feet = drawn_foot_placement(b);
    dBodyID rider = b.bodies[body_rider];
    dJointAttach(b.joints[joint_rider_mount], nullptr, nullptr);
    set_foot(b.foot_left, feet.position[foot_left_side], world_point_vel(rider, feet.position[foot_left_side]));
    set_foot(b.foot_right, feet.position[foot_right_side], world_point_vel(rider, feet.position[foot_right_side]));
    b.crash_countdown = still_countdown + g_knockout[(size_t)std::min(b.crash_count, knockout_entries - 1)];
    b.crash_count++;
}

void crash_step(bike_state& b) {
    if (b.crash_countdown <= 0) return;
    const bike_info& info = bike_model(b);
    const rider_geometry& g = info.rider;
    dBodyID rider = b.bodies[body_rider], frame = b.bodies[body_frame], fork = b.bodies[body_fork_upper];
    b.controls.dab_blend = std::min(1.0f, b.controls.dab_blend + 8.0f / 128);

    if (length(body_vel(rider)) >= still_speed) {
        // Tumbling: held by the arms (and, while knocked out, a long rope to
        // behind the bars), and kept off the bike's own parts.
        double arm = 0.875 * (g.upper_arm_length + g.forearm_length);
        tether(rider, of(g.shoulder_left), fork, of(g.grip_left), arm);
        tether(rider, of(g.shoulder_right), fork, of(g.grip_right), arm);
        if (b.crash_countdown > return_start) tether(rider, {0, -0.5708867, 0.6706067}, fork, {0, 1.145, 10.753}, 8);
        const auto& rider_shape = b.shapes[body_rider];
        if (rider_shape) {
            for (bike_body part : {body_frame, body_fork_upper}) {
                const auto& shape = b.shapes[(size_t)part];
                if (!shape) continue;
                shape_pair_contacts(*shape, b.bodies[part], body_placement(b.bodies[part]), *rider_shape, rider,
                                    body_placement(rider), contact_joint_mode);
            }
        }
    } else {
        // The knocked-out time only runs while the rider lies nearly still.
        b.crash_countdown--;
    }

    dvec3 seat = seat_point(info);
    if (b.crash_countdown < still_countdown) {
        // Three shortening ropes draw the rider onto the seat and upright.
        double limit = 5 * clampd((b.crash_countdown - 128) / 384.0, 0, 1);
        tether(rider, {0, 0, 0}, frame, seat, limit);
        tether(rider, {-5, 10, 0}, frame, seat + dvec3{-5, 10, 0}, limit);
        tether(rider, {5, 10, 0}, frame, seat + dvec3{5, 10, 0}, limit);
        if (b.crash_countdown <= foot_seek) {
            // The foot on the side the bike leans to finds its peg.
            bool left = lean_angle(b) < 0;
            foot_state& foot = left ? b.foot_left : b.foot_right;
            dvec3 target = body_point(frame, of(left ? g.footpeg_left : g.footpeg_right) + dvec3{0, 3, 1});
            dvec3 to = target - of(foot.position);
            double d = length(to);
            store(foot.velocity, d > 0 ? to * (4 * std::min(1.0, d * 32) / d) : dvec3{});
        }
    }

    if (b.crash_countdown == 0) {
        // Back on the seat, moving with the frame, and the mount holds again.
        const dReal* r = dBodyGetRotation(frame);
        dvec3 p = body_point(frame, seat);
        dBodySetPosition(rider, p.x, p.y, p.z);
        dBodySetRotation(rider, r);
        dvec3 vp = body_point_vel(frame, seat), w = body_angvel(frame);
        dBodySetLinearVel(rider, vp.x, vp.y, vp.z);
        dBodySetAngularVel(rider, w.x, w.y, w.z);
        dJointAttach(b.joints[joint_rider_mount], rider, frame);
    }
}

void feet_step(bike_state& b) {
    b.controls.dab_blend = std::max(0.0f, b.controls.dab_blend - 4.0f / 128);
    if (!b.bodies[body_rider]) return;
    dBodyID rider = b.bodies[body_rider];
    if (b.crash_countdown == 0) {
        drawn_feet feet = drawn_foot_placement(b);
        set_foot(b.foot_left, feet.position[foot_left_side], world_point_vel(rider, feet.position[foot_left_side]));
        set_foot(b.foot_right, feet.position[foot_right_side], world_point_vel(rider, feet.position[foot_right_side]));
        return;
    }
    const rider_geometry& g = bike_model(b).rider;
    double leg = g.thigh_length + g.shin_length;
    foot_particle_step(b.foot_left, rider, g.hip_left, leg);
    foot_particle_step(b.foot_right, rider, g.hip_right, leg);
}
