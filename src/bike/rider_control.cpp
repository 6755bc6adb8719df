// Stored controls, player input, rider-aid settings, the rider springs and
// the per-bike force step.
#include "bike/rider_control.h"

#include <algorithm>
#include <cmath>

#include "bike/bike_world.h"
#include "bike/body_math.h"
#include "bike/crash.h"
#include "bike/drivetrain.h"
#include "bike/rider_parts.h"
#include "bike/stability.h"
#include "bike/suspension.h"
#include "core/diag.h"
#include "track/height_field.h"

rider_driver rider_parts;

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double degree = pi / 180;
constexpr double mph_to_ft_per_s = 1.4666667;

bool no_arcade = false;

float clamp_control(float v, float lo, float hi) {
    if (!std::isfinite(v)) return 0.0f;
    return std::clamp(v, lo, hi);
}

double setting(double v, double lo, double hi, double fallback) {
    return std::isfinite(v) ? std::clamp(v, lo, hi) : fallback;
}

// The soft constraint of a spring of stiffness k and damping c at the step
// length: ODE's ERP and CFM for it.
bool spring_softness(double k, double c, double& erp, double& cfm) {
    double hk = k * world_step_seconds;
    double denominator = c + hk;
    if (!(denominator > 0) || !std::isfinite(denominator)) return false;
    erp = hk / denominator;
    cfm = 1 / denominator;
    return true;
}

// A one-tic spring pressed in by depth at the point `at`: a frictionless
// contact between the two bodies, so it pushes body1 along the normal (and
// body2 the other way) and never pulls.
void spring_contact(dBodyID body1, dBodyID body2, dvec3 at, dvec3 normal, double depth, double k, double c) {
    dContact contact{};
    if (!std::isfinite(depth) || !spring_softness(k, c, contact.surface.soft_erp, contact.surface.soft_cfm)) return;
    contact.surface.mode = dContactSoftERP | dContactSoftCFM;
    contact.surface.mu = 0;
    contact.geom.pos[0] = at.x;
    contact.geom.pos[1] = at.y;
    contact.geom.pos[2] = at.z;
    contact.geom.normal[0] = normal.x;
    contact.geom.normal[1] = normal.y;
    contact.geom.normal[2] = normal.z;
    contact.geom.depth = depth;
    dJointID j = dJointCreateContact(bike_world(), tic_joint_group(), &contact);
    dJointAttach(j, body1, body2);
}

// The same spring as a two-sided row between the bodies' centres: it pulls
// as well as pushes. The sit spring needs it: as a contact, ODE's LCP solver
// gives up on it ("LCP internal error, s <= 0") every few seconds of riding,
// and a solver that gives up drops the forces of every joint it had not yet
// solved; with both springs contacts the suspension hangs at full extension
// and the rider floats off the seat. The much softer lean spring never trips
// it.
void spring_row(dBodyID body1, dBodyID body2, dvec3 normal, double depth, double k, double c) {
    double erp, cfm;
    if (!std::isfinite(depth) || !spring_softness(k, c, erp, cfm)) return;
    dJointID j = dJointCreateLMotor(bike_world(), tic_joint_group());
    dJointAttach(j, body1, body2);
    dJointSetLMotorNumAxes(j, 1);
    dJointSetLMotorAxis(j, 0, 0, normal.x, normal.y, normal.z);
    dJointSetLMotorParam(j, dParamVel, erp * depth / world_step_seconds);
    dJointSetLMotorParam(j, dParamFMax, dInfinity);
    dJointSetLMotorParam(j, dParamCFM, cfm);
}

bool finite3(const dReal* v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

bool controls_finite(const bike_controls& c) {
    for (float v : {c.throttle, c.clutch, c.front_brake, c.rear_brake, c.steer, c.sit, c.dab_blend, c.back_up, c.lean})
        if (!std::isfinite(v)) return false;
    return true;
}

void tick_collision_timer(bike_state& b) {
    if (!std::isfinite(b.collision_timer) || std::fabs(b.collision_timer) <= 1)
        b.collision_timer = 0;
    else
        b.collision_timer += b.collision_timer > 0 ? -1.0f : 1.0f;
}

void airborne_bookkeeping(bike_state& b, int now) {
    bool front = wheel_touches(b.front_contact), rear = wheel_touches(b.rear_contact);
    double vy = dBodyGetLinearVel(b.bodies[body_frame])[1];
    if (!front && !rear && vy < 0 && b.landed_tic >= b.airborne_tic)
        b.airborne_tic = now;
    else if ((front || rear) && b.landed_tic < b.airborne_tic)
        b.landed_tic = now;
}

// Lets go of the one-tic joints (springs, motors, contacts) attached to the
// bike's bodies; the library skips joints that join no bodies.
void detach_tic_joints(bike_state& b) {
    for (dBodyID body : b.bodies) {
        if (!body) continue;
        for (;;) {
            dJointID loose = nullptr;
            int n = dBodyGetNumJoints(body);
            for (int i = 0; i < n; i++) {
                dJointID j = dBodyGetJoint(body, i);
                if (std::find(std::begin(b.joints), std::end(b.joints), j) == std::end(b.joints)) {
                    loose = j;
                    break;
                }
            }
            if (!loose) break;
            dJointAttach(loose, nullptr, nullptr);
        }
    }
}

}  // namespace

// ---- controls ----------------------------------------------------------------------

void set_throttle(bike_state& b, float v) { b.controls.throttle = rider_on_bike(b) ? clamp_control(v, 0, 1) : 0; }
void set_clutch(bike_state& b, float v) { b.controls.clutch = clamp_control(v, 0, 1); }
void set_front_brake(bike_state& b, float v) { b.controls.front_brake = clamp_control(v, 0, 1); }
void set_rear_brake(bike_state& b, float v) { b.controls.rear_brake = clamp_control(v, 0, 1); }
void set_steer(bike_state& b, float v) { b.controls.steer = clamp_control(v, -1, 1); }
void set_sit(bike_state& b, float v) { b.controls.sit = rider_on_bike(b) ? clamp_control(v, 0, 1) : 0; }
void set_back_up(bike_state& b, float v) { b.controls.back_up = rider_on_bike(b) ? clamp_control(v, 0, 1) : 0; }
void set_lean(bike_state& b, float v) { b.controls.lean = rider_on_bike(b) ? clamp_control(v, -1, 1) : 0; }

void set_shift_request(bike_state& b, int request) {
    // A rider lying in the dirt does not shift.
    if (request < -1 || request > 1 || !rider_on_bike(b)) request = 0;
    b.controls.shift = request;
    shift(b, request);
}

rider_input_options rider_input_options_of(const bike_setup& s) {
    rider_input_options o;
    o.reverse_steering = s.reverse_steering == 1;
    o.sticky_sit = s.sticky_dab == 1;
    return o;
}

void apply_player_input(bike_state& b, const player_input& in, const rider_input_options& options) {
    auto value = [&](control_index i) {
        float v = in[(size_t)i];
        return std::isfinite(v) ? v : 0.0f;
    };
    // The bindings give left as positive; stored, +1 is full right.
    float steer = value(steer_control);
    set_steer(b, options.reverse_steering ? -steer : steer);
    set_front_brake(b, value(front_brake_control));
    set_rear_brake(b, value(rear_brake_control));
    set_throttle(b, value(throttle_control));

    float sit = value(dab_control);
    if (options.sticky_sit) {
        bool high = sit >= 0.5f;
        if (high && !b.sticky_sit_input_high) b.sticky_sit_latch = !b.sticky_sit_latch;
        b.sticky_sit_input_high = high;
        set_sit(b, b.sticky_sit_latch ? 1.0f : 0.0f);
    } else {
        b.sticky_sit_input_high = sit >= 0.5f;
        set_sit(b, sit);
    }
    set_back_up(b, value(back_up_control));
    set_lean(b, value(lean_control));

    // The clutch opens fully with the lever 7/8 in; it opens at once and
    // closes over a quarter of a second.
    float target = std::clamp(1.0f - value(clutch_control) * 8.0f / 7.0f, 0.0f, 1.0f);
    float clutch = b.controls.clutch;
    if (clutch < target)
        clutch = std::min(target, clutch + 4.0f / 128);
    else
        clutch = target;
    set_clutch(b, clutch);

    float s = value(shift_control);
    set_shift_request(b, s > 0.5f ? 1 : (s < -0.5f ? -1 : 0));
}

// ---- settings ----------------------------------------------------------------------

void apply_rider_setup(bike_state& b, const bike_setup& s) {
    b.roll_damping = (float)setting(s.roll_damping, 0, 100, 60);
    b.leveling = (float)setting(s.leveling, 0, 100, 20);
    b.roll_limit_factor = (float)setting(s.roll_limit_factor, 0, 64, 10);
    b.roll_limit_angle = (float)(setting(s.roll_limit_angle, 0, 180, 45) * degree);
    b.steering_damping = (float)setting(s.steering_damping, 0, 100, 45);
    b.steering_strength = (float)setting(s.steering_strength, 0, 100, 75);
    b.max_steering_force = (float)setting(s.max_steering_force, 0, 1000, 400);
    b.direct_steering = (float)setting(s.direct_steering, 0, 1, 1);
    b.slow_damping_speed = (float)setting(s.slow_damping_speed, 0, 100, 0);
    b.slow_damping_factor = (float)setting(s.slow_damping_factor, 1, 10, 1);
    b.landing_damping_falloff = (float)setting(s.land_damping_falloff, 0, 0.5, 0.25);
    b.landing_damping_factor = (float)setting(s.land_damping_factor, 1, 3, 2);
    b.max_dab_speed = (float)std::clamp(setting(s.max_dab_speed, 5, 60, 60) * mph_to_ft_per_s, 7.0, 100.0);
    b.full_lock_speed = (float)setting(s.full_lock_speed, 1, 100, 10);
    b.restricted_lock_speed = (float)setting(s.restricted_lock_speed, 1, 100, 50);
    b.restricted_lock_angle = (float)(setting(s.restricted_lock, 0, 45, 5) * degree);
    b.rider_vertical_spring = (float)(setting(s.rider_yspring, 0, 100, 50) * 0.01);
    b.rider_vertical_damping = (float)(setting(s.rider_ydamping, 0, 100, 50) * 0.01);
    b.rider_forward_spring = (float)(setting(s.rider_zspring, 0, 100, 50) * 0.01);
    b.rider_forward_damping = (float)(setting(s.rider_zdamping, 0, 100, 50) * 0.01);
    set_rider_mass_distribution(b, setting(s.rider_mass_distribution, 0.33, 0.5, 1.0 / 3));
    b.arcade = s.arcade == 1;
    set_flag(b, flag_auto_dab, s.auto_dab == 1);
    set_flag(b, flag_auto_align, s.auto_align == 1);
}

void set_arcade_forbidden(bool forbidden) { no_arcade = forbidden; }
bool arcade_forbidden() { return no_arcade; }
bool arcade_physics(const bike_state& b) { return b.arcade && !no_arcade; }

// ---- frame angles ------------------------------------------------------------------

double lean_angle(const bike_state& b) {
    dBodyID frame = b.bodies[body_frame];
    dvec3 up = body_to_world(frame, {0, 1, 0});
    dvec3 forward = body_to_world(frame, {0, 0, -1});
    double fl = std::hypot(forward.x, forward.z);
    dvec3 right;
    if (fl > 1e-3) {
        right = {-forward.z / fl, 0, forward.x / fl};
    } else {
        // Pointing straight up or down: the frame's own x axis is then level
        // and is the bike's right.
        dvec3 x = body_to_world(frame, {1, 0, 0});
        double xl = std::hypot(x.x, x.z);
        right = xl > 0 ? dvec3{x.x / xl, 0, x.z / xl} : dvec3{1, 0, 0};
    }
    return -std::asin(clampd(dot(up, right), -1, 1));
}

double roll_rate(const bike_state& b) {
    dBodyID frame = b.bodies[body_frame];
    return body_from_world(frame, body_angvel(frame)).z;
}

double pitch_rate(const bike_state& b) {
    dBodyID frame = b.bodies[body_frame];
    return body_from_world(frame, body_angvel(frame)).x;
}

double bike_frame_speed(const bike_state& b) { return length(body_vel(b.bodies[body_frame])); }

// ---- rider springs -----------------------------------------------------------------

void rider_springs(bike_state& b) {
    const bike_info& info = bike_model(b);
    dBodyID frame = b.bodies[body_frame], rider = b.bodies[body_rider];
    dvec3 seat = {info.rider_position[0] - info.frame_position[0], info.rider_position[1] - info.frame_position[1],
                  info.rider_position[2] - info.frame_position[2]};
    dvec3 neutral = body_point(frame, seat);
    dvec3 up = body_to_world(frame, {0, 1, 0});
    dvec3 rear = body_to_world(frame, {0, 0, 1});
    dvec3 at = body_pos(rider);
    dvec3 d = neutral - at;
    double h = dot(d, up);  // positive while the rider is below the neutral point
    double q = dot(d, rear);
    double s = b.controls.sit;
    double M = info.rider_mass / 4.6875;

    // Fore and aft: seated the rider slides back with the sag, and the lean
    // moves the target up to 0.75 ft either way.
    double target = clampd(h * (0.5 + 0.5 * s) - b.controls.lean, -0.75, 0.75);
    double e = q - target;
    double k = M * (600 * b.rider_forward_spring + 100 * std::fabs(e)), c = 0;
    if (std::fabs(q) > 0.75) k = c = M * 2500;
    if (k > 0) spring_contact(rider, frame, at, e >= 0 ? rear : -rear, std::fabs(e), k, c);

    // Up and down: 0.125 ft above the neutral point standing, 0.375 below it
    // fully seated; past the ends of that range the spring turns stiff.
    double e2 = h + 0.125 - 0.5 * s;
    k = M * 400 * b.rider_vertical_spring;
    c = M * 100 * b.rider_vertical_damping;
    if (h > 0.5 || h < -0.75) k = c = M * 2500;
    if (k + c > 0) spring_row(rider, frame, e2 >= 0 ? up : -up, std::fabs(e2), k, c);

    // The mount's slide along its first axis is a pure damper.
    double damping = M * (30 * b.rider_forward_damping + 5);
    if (damping > 0) {
        dJointSetHinge2Param(b.joints[joint_rider_mount], dParamSuspensionERP, 0);
        dJointSetHinge2Param(b.joints[joint_rider_mount], dParamSuspensionCFM, 1 / damping);
    }
}

// ---- the force step ----------------------------------------------------------------

// While the rider is down the bike runs on by itself: its suspension,
// the drivetrain with the throttle shut, the steering damping, then the
// feet and the crash step. Every motor the bike's own step sets is set
// again each tic, so none keeps a force limit from before the crash.
void rider_down_step(bike_state& b, const rider_clock& clock, const bike_controls& start) {
    b.controls.throttle = b.controls.sit = b.controls.back_up = b.controls.lean = 0;
    b.steer_limit_indicator = 0;
    suspension_step(b);
    drivetrain_step(b, clock.tic);
    steering_damping_step(b);
    feet_step(b);
    crash_step(b);
    b.controls.sit = 0;
    b.controls.front_brake = start.front_brake;
    b.controls.rear_brake = start.rear_brake;
}

void rider_step(bike_state& b, const rider_clock& clock) {
    const bike_controls start = b.controls;
    tick_collision_timer(b);
    airborne_bookkeeping(b, clock.tic);
    if (rider_on_bike(b)) feet_step(b);
    crash_check(b, clock.tic);
    if (!rider_on_bike(b)) {
        rider_down_step(b, clock, start);
        return;
    }

    if (b.controls.back_up > 0 && bike_frame_speed(b) < 5)
        back_up_step(b, clock);
    else if (b.flags & flag_auto_dab)
        dab_when_stopped(b);
    rider_springs(b);
    suspension_step(b);
    if (arcade_physics(b))
        arcade_steering(b);
    else
        simulation_steering(b);
    drivetrain_step(b, clock.tic);
    steering_damping_step(b);
    if (clock.tic > 1) joint_force_correction(b);
    dabbing_step(b);

    // Back-up and dabbing set these for this tic only.
    b.controls.sit = start.sit;
    b.controls.front_brake = start.front_brake;
    b.controls.rear_brake = start.rear_brake;
}

bool bike_state_finite(const bike_state& b) {
    for (dBodyID body : b.bodies) {
        if (!body) return false;
        const dReal* p = dBodyGetPosition(body);
        const dReal* q = dBodyGetQuaternion(body);
        if (!finite3(p) || !finite3(q) || !std::isfinite(q[3])) return false;
        for (int k = 0; k < 3; k++)
            if (std::fabs(p[k]) > ground_coordinate_limit) return false;
        if (!finite3(dBodyGetLinearVel(body)) || !finite3(dBodyGetAngularVel(body))) return false;
        if (!finite3(dBodyGetForce(body)) || !finite3(dBodyGetTorque(body))) return false;
    }
    for (float v : {b.engine_speed, b.drive_phase, b.collision_timer, b.landing_multiplier, b.steer_limit_indicator})
        if (!std::isfinite(v)) return false;
    return controls_finite(b.controls);
}

void recover_broken_bike(bike_state& b) {
    if (!b.fault_logged) {
        log_printf("Bike in slot %d broke down and was put back on its wheels\n", b.slot_index);
        b.fault_logged = true;
    }
    b.fault_resets++;
    detach_tic_joints(b);
    reset_bike(b);
    if (b.recovery_known) {
        // The rest pose stands on y = 0 at the origin facing -z: turn it to
        // the last sound heading and move its frame to the last sound
        // position, on the ground there.
        rotate_bike(b, 0, 1, 0, b.recovery_heading);
        double frame[3];
        get_body_position(b, body_frame, frame);
        double x = b.recovery_position[0], z = b.recovery_position[2];
        double ground = height_at((float)x, (float)z);
        translate_bike(b, x - frame[0], ground + 0.25, z - frame[2]);
    }
}

bool bike_force_step(bike_state& b, const rider_clock& clock) {
    if (!bike_is_active(b)) {
        feet_step(b);
        return true;
    }
    if (b.position_fault || !bike_state_finite(b)) {
        recover_broken_bike(b);
        return false;
    }
    rider_step(b, clock);
    if (b.position_fault || !bike_state_finite(b)) {
        recover_broken_bike(b);
        return false;
    }
    const dReal* p = dBodyGetPosition(b.bodies[body_frame]);
    for (int k = 0; k < 3; k++) b.recovery_position[k] = p[k];
    // The heading of the frame's forward axis; a frame pointing straight up
    // or down keeps the heading it had before.
    const dReal* r = dBodyGetRotation(b.bodies[body_frame]);
    if (std::hypot(r[2], r[10]) > 1e-3) b.recovery_heading = std::atan2(r[2], r[10]);
    b.recovery_known = true;
    return true;
}
