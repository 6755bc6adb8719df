// Engine torque, gears, the slipping drive coupling, brakes, and applying a
// setup to a standing bike.
#include "bike/drivetrain.h"

#include <algorithm>
#include <cmath>

#include "bike/rider_control.h"
#include "bike/suspension.h"
#include "core/diag.h"

namespace {

constexpr float pi_f = 3.14159265358979f;
constexpr float tic_seconds = 1.0f / 128;

float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

bool touching(const wheel_contact& w) { return w.depth > 0.0f; }

float slide_speed_sq(const wheel_contact& w) {
    return w.slip_velocity[0] * w.slip_velocity[0] + w.slip_velocity[1] * w.slip_velocity[1] +
           w.slip_velocity[2] * w.slip_velocity[2];
}

// Into [-pi, pi] by whole turns. Written as a bounded loop so that a
// runaway value cannot spin here forever.
float wrap_angle(float a) {
    if (!std::isfinite(a)) return 0.0f;
    if (std::fabs(a) > 64 * pi_f) a = std::remainder(a, 2 * pi_f);
    while (a > pi_f) a -= 2 * pi_f;
    while (a < -pi_f) a += 2 * pi_f;
    return a;
}

// The frame's angular velocity about its own x axis: positive nose-up.
float frame_pitch_rate(const bike_state& b) {
    const dReal* w = dBodyGetAngularVel(b.bodies[body_frame]);
    dVector3 local;
    dBodyVectorFromWorld(b.bodies[body_frame], w[0], w[1], w[2], local);
    return (float)local[0];
}

double frame_speed(const bike_state& b) {
    const dReal* v = dBodyGetLinearVel(b.bodies[body_frame]);
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

void set_axle_brake(dJointID axle, float torque) {
    dJointSetHingeParam(axle, dParamVel, 0);
    dJointSetHingeParam(axle, dParamFMax, torque);
}

double finite_or(double v, double fallback) { return std::isfinite(v) ? v : fallback; }

}  // namespace

float engine_rpm(const bike_state& b) { return b.engine_speed * (float)rpm_per_rad_per_s; }

float drive_reduction(const bike_state& b) { return (float)total_reduction(bike_model(b), b.gear, b.final_drive); }

float engine_torque(const bike_state& b) {
    const bike_info& info = bike_model(b);
    float x = clampf(engine_rpm(b) * (float)torque_index_per_rpm, 0, torque_points - 1);
    if (!std::isfinite(x)) x = 0;
    int k = (int)std::floor(x);
    float f = x - (float)k;
    int k1 = std::min(k + 1, torque_points - 1);
    float closed = info.torque_closed[k] + f * (info.torque_closed[k1] - info.torque_closed[k]);
    float open = info.torque_open[k] + f * (info.torque_open[k1] - info.torque_open[k]);
    float tau = closed + (open - closed) * b.controls.throttle;
    // Wheelie cut: front up, rear down, and not already pitching down.
    if ((b.flags & flag_stop_wheelies_cut) && !touching(b.front_contact) && touching(b.rear_contact) &&
        frame_pitch_rate(b) > -1.0f / 32 && tau > 0)
        tau = 0;
    return tau;
}

float clutch_engagement(const bike_state& b) {
    float engagement = clampf(b.controls.clutch, 0, 1);
    float rpm = engine_rpm(b);
    if (rpm <= b.auto_clutch_rpm + 2000)
        engagement = std::min(engagement, clampf((rpm - b.auto_clutch_rpm) / 2000, 0, 1));
    return engagement;
}

void shift(bike_state& b, int request) {
    if (!rider_on_bike(b)) return;
    if (request == b.shift_latch || request < -1 || request > 1) return;
    b.shift_latch = request;
    b.gear = valid_gear(bike_model(b), b.gear + request);
}

void set_sprockets(bike_state& b, double countershaft, double rear) {
    countershaft = std::clamp(finite_or(countershaft, 0), -2.0, 2.0);
    rear = std::clamp(finite_or(rear, 0), -2.0, 2.0);
    b.final_drive = (float)final_drive_ratio(bike_model(b), countershaft, rear);
}

void set_brake_torques(bike_state& b, double front, double rear) {
    b.front_brake_torque = (float)std::clamp(finite_or(front, 250), 0.0, 500.0);
    b.rear_brake_torque = (float)std::clamp(finite_or(rear, 250), 0.0, 500.0);
}

void set_auto_clutch_rpm(bike_state& b, double rpm) {
    b.auto_clutch_rpm = (float)std::clamp(finite_or(rpm, 5000), 0.0, 5000.0);
}

void set_flag(bike_state& b, uint8_t flag, bool on) {
    if (on)
        b.flags |= flag;
    else
        b.flags &= (uint8_t)~flag;
    b.flags |= flag_created;
}

void set_stop_wheelies(bike_state& b, int choice) {
    set_flag(b, flag_stop_wheelies_cut, choice == 1);
    set_flag(b, flag_front_brake_guard, choice == 1 || choice == 2);
}

void drivetrain_step(bike_state& b, int tic) {
    const bike_info& info = bike_model(b);

    // Automatic shifting: at most once per 32 tics, with the rear loaded and
    // not while the rear tire spins or slides on the ground.
    if ((b.flags & flag_auto_shift) && tic % 32 == 0 && swingarm_angle(b) < -0.01 &&
        !(touching(b.rear_contact) && slide_speed_sq(b.rear_contact) > 4)) {
        double wheel_rpm = rear_axle_rate(b) * total_reduction(info, b.gear, b.final_drive) * rpm_per_rad_per_s;
        int gear = b.gear;
        if (wheel_rpm < info.shift_down_rpm)
            gear = std::max(gear - 1, 0);
        else if (wheel_rpm > info.shift_up_rpm)
            gear = std::min(gear + 1, bike_gear_count - 1);
        b.gear = valid_gear(info, gear);
    }

    float reduction = (float)total_reduction(info, b.gear, b.final_drive);
    float tau = engine_torque(b);

    // Windup of the coupling, engine side against the wheel.
    float wheel_angle = (float)rear_axle_angle(b);
    float wheel_rate = (float)rear_axle_rate(b);
    float windup = b.drive_phase - wheel_angle;
    if (windup > pi_f)
        windup -= 2 * pi_f;
    else if (windup < -pi_f)
        windup += 2 * pi_f;

    // Automatic clutch: open below the set rpm, closing over the next 2000;
    // the lever can only open it further.
    float lever = clampf(b.controls.clutch, 0, 1);
    float engagement = clutch_engagement(b);

    float coupling = clampf(info.drive_damping * (b.engine_speed - wheel_rate * reduction), -500, 500) +
                     info.drive_stiffness * windup;
    // Engine braking goes through whatever the lever lets through.
    if (coupling < 0) engagement = lever;
    coupling = clampf(coupling, -1.0e6f, 1.0e6f);
    if (!std::isfinite(coupling)) coupling = 0;

    // The clutch slips beyond a windup of engagement × π/4.
    float slip_limit = engagement * pi_f / 4;
    if (windup > slip_limit)
        b.drive_phase = wheel_angle + slip_limit;
    else if (windup < -slip_limit)
        b.drive_phase = wheel_angle - slip_limit;

    float transmitted = engagement * engagement * coupling;
    dBodyAddRelTorque(b.bodies[body_rear_wheel], -transmitted, 0, 0);
    dBodyAddRelTorque(b.bodies[body_frame], transmitted, 0, 0);

    float alpha = (tau - transmitted / reduction) / info.engine_inertia;
    b.engine_speed += alpha * tic_seconds;
    if (!std::isfinite(b.engine_speed)) b.engine_speed = 0;
    b.drive_phase = wrap_angle(b.drive_phase + tic_seconds * b.engine_speed / reduction);

    // Brakes. Antilock lets go of a wheel whose contact slides; the guard
    // keeps the front brake off while the rear is in the air.
    float front = b.front_brake_torque * clampf(b.controls.front_brake, 0, 1);
    if ((b.flags & flag_front_antilock) && touching(b.front_contact) && slide_speed_sq(b.front_contact) > 4) front = 0;
    if ((b.flags & flag_front_brake_guard) && touching(b.front_contact) && !touching(b.rear_contact)) front = 0;
    set_axle_brake(b.joints[joint_front_axle], front);
    float rear = b.rear_brake_torque * clampf(b.controls.rear_brake, 0, 1);
    if ((b.flags & flag_rear_antilock) && touching(b.rear_contact) && slide_speed_sq(b.rear_contact) > 4) rear = 0;
    set_axle_brake(b.joints[joint_rear_axle], rear);
}

void apply_drivetrain_setup(bike_state& b, const bike_setup& s) {
    set_sprockets(b, s.front_sprocket_adjustment, s.rear_sprocket_adjustment);
    set_brake_torques(b, s.brake_torque, s.rear_brake_torque);
    set_auto_clutch_rpm(b, s.auto_clutch_rpms);
    set_flag(b, flag_auto_shift, s.auto_shift == 1);
    set_stop_wheelies(b, s.stop_wheelies);
    set_flag(b, flag_front_antilock, s.front_brake == 1);
    set_flag(b, flag_rear_antilock, s.rear_brake == 1);
}

bool apply_bike_setup(bike_state& b, const bike_setup& s, double now) {
    if (!(frame_speed(b) <= 0.125)) {
        if (now - b.setup_refused_at < 10) show_message("Settings not applied.  Mechanic can't keep up error.");
        b.setup_refused_at = now;
        return false;
    }
    apply_suspension_setup(b, s);
    apply_drivetrain_setup(b, s);
    apply_rider_setup(b, s);
    return true;
}
