// Steering torque, the stability aids, backing up and dabbing.
#include "bike/stability.h"

#include <algorithm>
#include <cmath>

#include "bike/bike_world.h"
#include "bike/ground_geometry.h"
#include "bike/rider_control.h"
#include "bike/rider_parts.h"
#include "bike/tire.h"
#include "track/height_field.h"
#include "track/tile_info.h"

namespace {

constexpr double pi = 3.14159265358979323846;

double wheel_radius(const wheel_info& w) { return w.tire_ring_radius + w.tire_section_radius; }

// The direct countersteering term: pushing the bar one way turns the front
// wheel the other, which leans the bike the way the bar was pushed.
double direct_term(const bike_state& b) {
    if (!(b.flags & flag_created)) return 0;
    return b.steering_strength * b.controls.steer * b.direct_steering;
}

double front_ground_friction(const bike_state& b) {
    dvec3 c = body_pos(b.bodies[body_front_wheel]);
    const tile_info& tile = tile_info_of(tile_at((float)c.x, (float)c.z));
    return std::max((double)tile.friction_coefficient[0], 0.125);
}

int floor_mod(int a, int m) {
    int r = a % m;
    return r < 0 ? r + m : r;
}

}  // namespace

// ---- pieces ------------------------------------------------------------------------

double steering_lock(const bike_state& b, double W, double mu0) {
    double full = b.full_lock_speed;
    double a = std::max(full + 1, (double)b.restricted_lock_speed);
    double blend = clampd((1 / W - 1 / a) / (1 / full - 1 / a), 0, 1);
    double L = std::min(b.restricted_lock_angle / mu0, pi / 4);
    return L + (pi / 4 - L) * blend;
}

double natural_steering_angle(const bike_state& b) {
    const bike_info& info = bike_model(b);
    dvec3 v = body_from_world(b.bodies[body_fork_upper], body_vel(b.bodies[body_front_wheel]));
    double ay = info.fork_upper_position[1] - info.fork_lower_position[1];
    double az = info.fork_upper_position[2] - info.fork_lower_position[2];
    double l = std::hypot(ay, az);
    if (!(l > 0)) return 0;
    ay /= l;
    az /= l;
    double f = v.y * -az + v.z * ay;
    if (v.x * v.x + f * f <= 1) return 0;
    return -std::atan2(v.x, -f);
}

double steer_limit_indication(double lean, double natural, double angle, double lock, double w) {
    double s1 = clampd((w - 5) / 10, 0, 1);
    double L1 = 0.25 * s1 * lock;
    double L3 = (0.625 * s1 + 0.125) * lock;
    // With no lock at all the ramp from L1 to L3 closes to a step.
    auto ramp = [&](double x) {
        double span = L3 - L1;
        if (span > 1e-9) return clampd((x - L1) / span, 0, 1);
        return x > L1 ? 1.0 : 0.0;
    };
    if (lean >= 0) return std::max(ramp(-natural), clampd((angle - pi / 12) * 12 / pi, 0, 1));
    return std::max(ramp(natural), clampd((angle + pi / 12) * -12 / pi, 0, 1));
}

double roll_rate_servo(double steer, double lean, double wz, double roll_limit_angle) {
    double r = 2.5 * (-steer * roll_limit_angle - lean);
    // Righting the bike may be quicker than throwing it down.
    bool righting = (lean >= 0 && r < 0) || (lean < 0 && r >= 0);
    double R = righting ? 25 * pi / 8 : 5 * pi / 4;
    r = clampd(r, -R, R);
    double e = clampd(r - wz, -0.125, 0.125);
    return clampd(4 * (wz - (r - e)), -1, 1);
}

double arcade_steering_command(double target, double angle, double rate) {
    double c = clampd(target - angle, -0.25, 0.25);
    double command;
    if (c >= 1.0 / 32)
        command = 8 * (c - 1.0 / 32) - rate;
    else if (c <= -1.0 / 32)
        command = 8 * (c + 1.0 / 32) - rate;
    else
        command = -rate;
    if (std::fabs(command) <= 1.0 / 2400)
        command = 0;
    else
        command -= command > 0 ? 1.0 / 2400 : -1.0 / 2400;
    return clampd(command * 0.5, -2.0 / 3, 2.0 / 3);
}

double back_up_pulse(int tic, int race_start_tic) {
    // The first whole second at least a second after the start.
    long long from = (long long)race_start_tic + 128;
    long long first = from >= 0 ? (from + 127) / 128 * 128 : -((-from) / 128 * 128);
    if (tic < first && floor_mod(tic, 512) >= 128) return 0;
    return (1 - std::cos(2 * pi * floor_mod(tic, 128) / 127)) / 2;
}

double dab_limit_angle(double v, double m, double roll_limit_angle) {
    if (v == 0) return 0;
    if (v >= m) return 2 * pi;
    if (v <= 15) return (1 - std::pow(1 - clampd(v * v / (m * m), 0, 1), 32)) * roll_limit_angle;
    return roll_limit_angle + (2 * pi - roll_limit_angle) * clampd((v * v - 225) / (m * m - 225), 0, 1);
}

double dab_speed(const bike_state& b) {
    double m = b.max_dab_speed;
    if (b.collision_timer <= -512) m = std::max(m, 75.0);
    return m;
}

float arcade_grip_factor(double lean) {
    return (float)(1 - 0.375 * clampd(4 * std::fabs(lean) / pi, 0, 1));
}

// ---- forces and motors -----------------------------------------------------------------

dvec3 steering_axis(const bike_state& b) {
    const bike_info& info = bike_model(b);
    dvec3 a = {info.fork_upper_position[0] - info.fork_lower_position[0],
               info.fork_upper_position[1] - info.fork_lower_position[1],
               info.fork_upper_position[2] - info.fork_lower_position[2]};
    double l = length(a);
    if (!(l > 0)) a = {0, 1, 0};
    else a = a * (1 / l);
    return body_to_world(b.bodies[body_frame], a);
}

void apply_steering_torque(bike_state& b, double q) {
    if (!std::isfinite(q) || q == 0) return;
    dvec3 t = steering_axis(b) * q;
    dBodyAddTorque(b.bodies[body_front_wheel], t.x, t.y, t.z);
    dBodyAddTorque(b.bodies[body_frame], -t.x, -t.y, -t.z);
}

void horizontal_velocity_servo(dBodyID body, double strength, dvec3 target) {
    dvec3 d = body_vel(body) - target;
    double l = length(d);
    if (!(l >= 0.25)) return;
    dvec3 f = d * (-strength * clampd((l - 0.25) * 0.8, 0, 1) / l);
    dBodyAddForce(body, f.x, 0, f.z);
}

void one_tic_angular_motor(dBodyID body, dvec3 axis, bool relative, double rate, double max_torque) {
    if (!std::isfinite(rate) || !(max_torque > 0)) return;
    dJointID j = dJointCreateAMotor(bike_world(), tic_joint_group());
    dJointAttach(j, body, nullptr);
    dJointSetAMotorMode(j, dAMotorUser);
    dJointSetAMotorNumAxes(j, 1);
    // ODE reads a motor axis in world coordinates whatever `rel` says; `rel`
    // only makes the axis turn with the body afterwards.
    if (relative) axis = body_to_world(body, axis);
    dJointSetAMotorAxis(j, 0, relative ? 1 : 0, axis.x, axis.y, axis.z);
    dJointSetAMotorParam(j, dParamVel, rate);
    dJointSetAMotorParam(j, dParamFMax, max_torque);
}

// ---- steering ----------------------------------------------------------------------

void simulation_steering(bike_state& b) {
    const bike_info& info = bike_model(b);
    b.steer_limit_indicator = 0;
    double F = b.max_steering_force;
    double D = direct_term(b);
    double lower = -F, upper = F;

    double w = front_axle_rate(b) * wheel_radius(info.front_wheel);
    double W = std::max(w, 1.0);
    double L = steering_lock(b, W, front_ground_friction(b));
    double N = natural_steering_angle(b);
    double angle = steering_angle(b);

    // Close to the ground the lock withdraws the torque that would steer
    // further past it, and pushes back with up to a quarter of the force.
    dvec3 front = body_pos(b.bodies[body_front_wheel]);
    double clearance = front.y - height_at((float)front.x, (float)front.z) - wheel_radius(info.front_wheel);
    if (w > 1 && clearance < 0.5) {
        double L2 = L + (pi / 4 - L) * clampd(2 * clearance, 0, 1);
        double K = 1.125 * L2 + 0.015;
        if (N > L2) lower = -F * (1.25 * clampd((N - K) / (L2 - K), 0, 1) - 0.25);
        if (N < -L2) upper = F * (1.25 * clampd((N + K) / (-L2 + K), 0, 1) - 0.25);
    }

    double T;
    if (!wheel_touches(b.front_contact) || front_axle_rate(b) < pi / 4) {
        // In the air or barely rolling: only a centring spring; the next
        // landing starts with extra roll damping.
        b.landing_multiplier = b.landing_damping_factor;
        T = -50 * angle;
    } else {
        double lean = lean_angle(b), wz = roll_rate(b);
        T = wz * b.roll_damping * b.landing_multiplier;
        if (b.landing_multiplier > 1) {
            if (b.landing_damping_falloff > 0)
                b.landing_multiplier -= (b.landing_damping_factor - 1) / 128 / b.landing_damping_falloff;
            else
                b.landing_multiplier = 1;
            b.landing_multiplier = std::max(b.landing_multiplier, 1.0f);
        }
        double G = lean * b.leveling;
        double speed = bike_frame_speed(b);
        if (speed < b.slow_damping_speed) {
            double f = b.slow_damping_factor +
                       (1 - b.slow_damping_factor) * clampd(speed / b.slow_damping_speed, 0, 1);
            T *= f;
            G *= f;
        }
        if ((lean >= 0) == (wz >= 0) && std::fabs(lean) > b.roll_limit_angle)
            T *= (std::fabs(lean) - b.roll_limit_angle) * b.roll_limit_factor + 1;
        T += G;
        if (b.direct_steering < 1) {
            double x = roll_rate_servo(b.controls.steer, lean, wz, b.roll_limit_angle);
            D = b.steering_strength * x + (D - b.steering_strength * x) * b.direct_steering;
        }
    }

    if (b.collision_timer > 0) {
        double limit = 200 * clampd((64 - b.collision_timer) / 64, 0, 1);
        T = clampd(T, -limit, limit);
    }

    double Q = clampd(1.5 * (D + T), lower, upper);
    b.steer_limit_indicator = (float)steer_limit_indication(lean_angle(b), N, angle, L, w);
    apply_steering_torque(b, Q);
}

void arcade_steering(bike_state& b) {
    const bike_info& info = bike_model(b);
    b.steer_limit_indicator = 0;
    dBodyID frame = b.bodies[body_frame];
    double angle = steering_angle(b);
    double steer = b.controls.steer;

    if (!wheel_touches(b.front_contact)) {
        // Well clear of the ground for the next second: just hold the bars.
        dvec3 ahead = body_pos(frame) + body_vel(frame) - dvec3{0, 16, 0};
        if (ahead.y - height_at((float)ahead.x, (float)ahead.z) >= info.frame_position[1]) {
            apply_steering_torque(b, 1.5 * (direct_term(b) - 50 * angle));
            return;
        }
    }

    // Lean servo toward 45° for full steer, at most 1.5 rad/s.
    double lean = lean_angle(b);
    double target_lean = -steer * pi / 4;
    double gain = 1.5 - 0.5 * clampd((b.roll_damping - 40) * 0.025, 0, 1);
    double rate = gain * 16 * std::min(std::fabs(lean - target_lean), 1.0 / 16);
    // About the forward axis a positive rate leans the bike to the right.
    one_tic_angular_motor(frame, {0, 0, -1}, true, target_lean < lean ? rate : -rate, 1000);

    // The bars follow the wheel's own motion, offset by the steer.
    double command = arcade_steering_command(natural_steering_angle(b) - 0.5 * steer, angle, steering_rate(b));
    apply_steering_torque(b, command * b.steering_strength);

    // Tail damper: a drag on a point far behind the frame keeps the bike
    // from swapping ends.
    dvec3 v = body_point_vel(frame, {0, 0, 20});
    dBodyAddForceAtRelPos(frame, -0.25 * v.x, -0.25 * v.y, -0.25 * v.z, 0, 0, 20);
}

void steering_damping_step(bike_state& b) {
    // Everything of the front wheel's rotation except its spin is damped
    // against the frame.
    dvec3 w = body_angvel(b.bodies[body_front_wheel]);
    dvec3 a = to_dvec(wheel_world_axle(b.front_contact));
    dvec3 t = (a * dot(a, w) - w) * (double)b.steering_damping;
    dBodyAddTorque(b.bodies[body_front_wheel], t.x, t.y, t.z);
    dBodyAddTorque(b.bodies[body_frame], -t.x, -t.y, -t.z);
}

// ---- backing up and dabbing --------------------------------------------------------------

void back_up_step(bike_state& b, const rider_clock& clock) {
    double p = back_up_pulse(clock.tic, clock.race_start_tic);
    b.controls.sit = rider_on_bike(b) ? 1.0f : 0.0f;
    dBodyID frame = b.bodies[body_frame];
    dvec3 rear = body_to_world(frame, {0, 0, 1});
    horizontal_velocity_servo(frame, 2000, rear * (4 * p));
    one_tic_angular_motor(frame, {0, 1, 0}, false, -b.controls.steer * p * pi / 2, 2000);
}

void dab_when_stopped(bike_state& b) {
    double m = dab_speed(b);
    double v = bike_frame_speed(b);
    double lean = std::fabs(lean_angle(b));
    if (!(v <= m)) return;
    if (v > 15 && lean < clampd((v - 15) / 15, 0, 1) * pi / 4) return;
    bool idle = b.controls.throttle == 0 || b.controls.clutch == 0;
    if (!(idle || v < 5 || lean > pi / 16)) return;
    b.controls.sit = rider_on_bike(b) ? std::max(b.controls.sit, (float)clampd(1 - v / m, 0, 1)) : 0.0f;
    if (v < 5 && idle && wheel_touches(b.front_contact) && wheel_touches(b.rear_contact)) {
        b.controls.front_brake = b.controls.rear_brake = 1;
        horizontal_velocity_servo(b.bodies[body_frame], 1000, {0, 0, 0});
    }
}

bool realign_step(bike_state& b) {
    float target[3];
    if (!rider_parts.line_target || !rider_parts.line_target(b, target)) return false;
    dBodyID frame = b.bodies[body_frame];
    dvec3 p = body_pos(frame);
    double ox = target[0] - p.x, oz = target[2] - p.z;
    dvec3 rear = body_to_world(frame, {0, 0, 1});
    double l2 = rear.x * rear.x + rear.z * rear.z;
    if (l2 <= 1.0 / 1024) return false;
    double l = std::sqrt(l2);
    double zx = rear.x / l, zz = rear.z / l;
    double along = ox * zx + oz * zz;  // positive: the target is behind
    double side = ox * zz - oz * zx;
    double Y = b.collision_timer < 0 ? pi : pi / 2;
    double rate = side >= 0 ? -Y : Y;
    double M = b.total_mass;
    if (along >= 0 || -along / 4 <= std::fabs(side)) {
        one_tic_angular_motor(frame, {0, 1, 0}, false, rate, 320 * M);
        for (const wheel_contact* w : {&b.front_contact, &b.rear_contact})
            if (wheel_touches(*w)) dBodyAddForce(w->body, 0, 32 * M, 0);
        return true;
    }
    one_tic_angular_motor(frame, {0, 1, 0}, false, rate, std::fabs(side / (along / 4)) * 320 * M);
    return false;
}

void dabbing_step(bike_state& b) {
    bike_controls& c = b.controls;
    if (!rider_on_bike(b)) {
        c.dab_blend = std::min(1.0f, c.dab_blend + 8.0f / 128);
        return;
    }
    if (c.sit == 0) return;
    const bike_info& info = bike_model(b);
    bool front = wheel_touches(b.front_contact), rear = wheel_touches(b.rear_contact);
    if (!front) {
        // A foot needs ground within a leg's reach.
        ground_contact g;
        vec3f at = to_vec3f(body_pos(b.bodies[body_rider]));
        if (!sphere_ground_deepest(at, info.rider_position[1] + 1, g)) return;
    }
    double v = bike_frame_speed(b), m = dab_speed(b);
    double lean = lean_angle(b), abs_lean = std::fabs(lean);
    if (!(v <= m)) return;
    if (v > 15 && !(front && rear && abs_lean >= 3 * pi / 16)) return;
    c.dab_blend = std::min(1.0f, c.dab_blend + 8.0f / 128);
    if (arcade_physics(b)) return;
    if (v >= 5 && b.collision_timer > 0) return;

    if (v < 5 && abs_lean > 22.5 * pi / 180 && abs_lean < 63 * pi / 180 && rider_parts.racing &&
        rider_parts.racing(b) && (b.flags & flag_auto_align) && c.back_up <= 0.125f) {
        if (realign_step(b)) return;
    }

    // The foot pushes the bike back up at 22.5°/s (three times as hard just
    // after being hit), easing off near upright.
    double r0 = lean >= 0 ? -pi / 8 : pi / 8;
    if ((b.flags & flag_auto_dab) && b.collision_timer < 0) r0 *= 3;
    if (abs_lean < pi / 16) r0 *= abs_lean * 16 / pi;
    double wz = roll_rate(b);
    double P = 0;
    if (r0 > 0 && r0 > wz)
        P = -400;
    else if (r0 < 0 && r0 < wz)
        P = 400;
    if (abs_lean < pi / 32) P *= abs_lean * 32 / pi;

    if (c.back_up < 0.125f || v > 5) {
        double A = 1.25 * dab_limit_angle(v, m, b.roll_limit_angle);
        double k1 = clampd((abs_lean - A) / 0.25, 0, 1);
        double sigma = r0 >= 0 ? -1 : 1;
        double k2 = clampd(2 * (sigma * c.steer - 0.5), 0, 1);
        P *= k1 + (1 - k1) * k2;
        if (v > 5) P *= b.steer_limit_indicator;
    }
    if (P == 0) return;

    dBodyID frame = b.bodies[body_frame];
    dvec3 up = body_to_world(frame, {0, 1, 0});
    if (up.y >= 0.707) {
        dBodyAddForceAtRelPos(frame, 0, std::fabs(P) / 8, 0, 0, 4, 0);
        dBodyAddRelForceAtRelPos(frame, P, 0, 0, 0, 4, 0);
    } else {
        dBodyAddForceAtRelPos(frame, 0, std::fabs(P), 0, 0, 4, 0);
    }
}
