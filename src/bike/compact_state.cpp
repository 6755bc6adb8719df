// The 39-byte compact state: encoding, interpolation, and driving a bike
// from it. Every fraction is computed in double: in float (π/4)(2/π) comes
// out a hair under one half and a straight front wheel would encode as 127.
//
// A state applied to a bike and encoded again gives the same bytes, so a
// replayed rider relays exactly what was recorded: the encoder only emits
// quaternions that survive the physics library's normalisation, wheel
// angles at ±π always as 0, and crash and throttle codes that decode back
// onto themselves.
#include "bike/compact_state.h"

#include <ode/ode.h>

#include <algorithm>
#include <cmath>

#include "bike/bike.h"
#include "bike/body_math.h"
#include "bike/rider_control.h"
#include "bike/rider_pose.h"
#include "track/height_field.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double k24 = 16777215, k16 = 65535, k8 = 255;
constexpr double rider_offset_range = 16;  // ft each way
constexpr double rpm_range = 32768;

// Byte offsets of the 39-byte layout.
enum : int {
    at_x = 0,
    at_y = 3,
    at_z = 6,
    at_quaternion = 9,
    at_steering = 17,
    at_swingarm = 18,
    at_fork = 19,
    at_rider_offset = 20,
    at_rider_quaternion = 26,
    at_front_wheel = 34,
    at_rear_wheel = 35,
    at_status = 36,
    at_rpm = 37,
};
// The 26-byte layout keeps offsets 0-19 and then these.
enum : int {
    v4_at_rider_place = 20,
    v4_at_front_wheel = 21,
    v4_at_rear_wheel = 22,
    v4_at_status = 23,
    v4_at_rpm = 24,
};

// ---- fractions ------------------------------------------------------------------

uint32_t fraction_code(double v, double scale) {
    if (!(v > 0)) return 0;  // also a value that is not a number
    if (v > 1) v = 1;
    return (uint32_t)std::floor(v * scale + 0.5);
}

void put8(compact_state& s, int at, uint32_t c) { s[(size_t)at] = (uint8_t)c; }
void put16(compact_state& s, int at, uint32_t c) {
    s[(size_t)at] = (uint8_t)c;
    s[(size_t)at + 1] = (uint8_t)(c >> 8);
}
void put24(compact_state& s, int at, uint32_t c) {
    put16(s, at, c);
    s[(size_t)at + 2] = (uint8_t)(c >> 16);
}
uint32_t get8(const compact_state& s, int at) { return s[(size_t)at]; }
uint32_t get16(const compact_state& s, int at) { return s[(size_t)at] | (uint32_t)s[(size_t)at + 1] << 8; }
uint32_t get24(const compact_state& s, int at) { return get16(s, at) | (uint32_t)s[(size_t)at + 2] << 16; }

double frac8(const compact_state& s, int at) { return get8(s, at) / k8; }
double frac16(const compact_state& s, int at) { return get16(s, at) / k16; }
double frac24(const compact_state& s, int at) { return get24(s, at) / k24; }

// A wheel angle's code: the circle has 255 steps, and ±π is always 0, so
// that a wheel rebuilt at ±π (which the joint may read either way) encodes
// as it came.
uint32_t wheel_code(double f) {
    uint32_t c = fraction_code(f, k8);
    return c == 255 ? 0 : c;
}

// ---- quaternions --------------------------------------------------------------------

// As the physics library normalises a quaternion it is given.
void normalise4(const double in[4], double out[4]) {
    double l = in[0] * in[0] + in[1] * in[1] + in[2] * in[2] + in[3] * in[3];
    if (!(l > 0) || !std::isfinite(l)) {
        out[0] = 1;
        out[1] = out[2] = out[3] = 0;
        return;
    }
    l = 1.0 / std::sqrt(l);
    for (int k = 0; k < 4; k++) out[k] = in[k] * l;
}

uint32_t unit_code(double q) { return fraction_code((q + 1) / 2, k16); }
double unit_value(uint32_t code) { return code / k16 * 2 - 1; }

void decode_quaternion(const compact_state& s, int at, double q[4]) {
    for (int k = 0; k < 4; k++) q[k] = unit_value(get16(s, at + 2 * k));
}

// The codes decode to a quaternion whose normalised form encodes back to
// them, with a margin for the last bits of the library's arithmetic.
bool survives_normalising(const uint32_t code[4]) {
    double d[4], n[4];
    for (int k = 0; k < 4; k++) d[k] = unit_value(code[k]);
    normalise4(d, n);
    for (int k = 0; k < 4; k++) {
        double u = (n[k] + 1) / 2 * k16;
        if (!(std::fabs(u - code[k]) < 0.5 - 1e-6)) return false;
    }
    return true;
}

// Nearest codes first; when normalising the decoded quaternion would move
// it into a neighbouring code, the nearest neighbouring codes (one step in
// any component) that hold still are taken instead.
void encode_quaternion(compact_state& s, int at, const double q_in[4]) {
    double q[4];
    normalise4(q_in, q);
    uint32_t best[4];
    for (int k = 0; k < 4; k++) best[k] = unit_code(q[k]);
    if (!survives_normalising(best)) {
        uint32_t plain[4] = {best[0], best[1], best[2], best[3]};
        double best_error = 1e300;
        for (int m = 0; m < 81; m++) {
            uint32_t c[4];
            bool in_range = true;
            int digits = m;
            for (int k = 0; k < 4; k++) {
                int step = digits % 3 - 1;
                digits /= 3;
                int v = (int)plain[k] + step;
                if (v < 0 || v > 65535) in_range = false;
                c[k] = (uint32_t)std::clamp(v, 0, 65535);
            }
            if (!in_range || !survives_normalising(c)) continue;
            double error = 0;
            for (int k = 0; k < 4; k++) error += (unit_value(c[k]) - q[k]) * (unit_value(c[k]) - q[k]);
            if (error < best_error) {
                best_error = error;
                std::copy(c, c + 4, best);
            }
        }
    }
    for (int k = 0; k < 4; k++) put16(s, at + 2 * k, best[k]);
}

dvec3 vec(const float* v) { return {v[0], v[1], v[2]}; }
dvec3 rotate(const dMatrix3 r, dvec3 v) {
    return {r[0] * v.x + r[1] * v.y + r[2] * v.z, r[4] * v.x + r[5] * v.y + r[6] * v.z,
            r[8] * v.x + r[9] * v.y + r[10] * v.z};
}

// ---- the decoded state ---------------------------------------------------------------

struct decoded_state {
    dvec3 position;
    double orientation[4] = {1, 0, 0, 0};
    double steering = 0, swingarm = 0, fork = 0;
    dvec3 rider_offset;  // version 4: from the rider's place on its slide
    double rider_orientation[4] = {1, 0, 0, 0};
    double front_wheel = 0, rear_wheel = 0;
    int status = 0;
    double rpm = 0;
};

double field_extent() { return terrain.extent > 0 ? (double)terrain.extent : 1.0; }

decoded_state decode(const compact_state& s, const bike_info& info, int version) {
    decoded_state d;
    double e = field_extent();
    d.position = {frac24(s, at_x) * e, terrain.height_min + frac24(s, at_y) * e, frac24(s, at_z) * e};
    decode_quaternion(s, at_quaternion, d.orientation);
    d.steering = frac8(s, at_steering) * (pi / 2) - pi / 4;
    d.swingarm = frac8(s, at_swingarm) * info.swingarm_travel - info.swingarm_travel;
    d.fork = frac8(s, at_fork) * info.fork_travel - info.fork_travel;
    if (version == compact_state_v4) {
        // The rider sits on its slide, turned with the frame.
        dvec3 n = vec(info.rider_slide_axis);
        double nl = length(n);
        if (nl > 0) n = n * (1 / nl);
        double along = info.rider_slide_min + (info.rider_slide_max - info.rider_slide_min) * frac8(s, v4_at_rider_place);
        double q[4];
        dMatrix3 r;
        normalise4(d.orientation, q);
        dRfromQ(r, q);
        d.rider_offset = rotate(r, vec(info.rider_position) - vec(info.frame_position) + n * along);
        std::copy(std::begin(d.orientation), std::end(d.orientation), d.rider_orientation);
        d.front_wheel = frac8(s, v4_at_front_wheel) * 2 * pi - pi;
        d.rear_wheel = frac8(s, v4_at_rear_wheel) * 2 * pi - pi;
        d.status = (int)get8(s, v4_at_status);
        d.rpm = frac16(s, v4_at_rpm) * rpm_range;
        return d;
    }
    for (int k = 0; k < 3; k++) {
        double v = frac16(s, at_rider_offset + 2 * k) * 2 * rider_offset_range - rider_offset_range;
        (k == 0 ? d.rider_offset.x : k == 1 ? d.rider_offset.y : d.rider_offset.z) = v;
    }
    decode_quaternion(s, at_rider_quaternion, d.rider_orientation);
    d.front_wheel = frac8(s, at_front_wheel) * 2 * pi - pi;
    d.rear_wheel = frac8(s, at_rear_wheel) * 2 * pi - pi;
    d.status = (int)get8(s, at_status);
    d.rpm = frac16(s, at_rpm) * rpm_range;
    return d;
}

bool down_in(const decoded_state& d) { return (d.status & 7) == status_rider_down; }

// The knocked-out count a down rider's status stands for: the smallest
// count that encodes to the same status, so that a relayed state keeps it.
int crash_countdown_of(int status) { return ((status >> 4) * 127 + 14) / 15 + 1; }

// ---- poses from a state ---------------------------------------------------------------

struct body_pose {
    dvec3 position;
    dMatrix3 rotation;
};
using bike_poses = std::array<body_pose, bike_body_count>;

dvec3 point_of(const body_pose& b, dvec3 v) { return b.position + rotate(b.rotation, v); }
void axis_rotation(dMatrix3 out, dvec3 axis, double angle) { dRFromAxisAndAngle(out, axis.x, axis.y, axis.z, angle); }
void compose(dMatrix3 out, const dMatrix3 a, const dMatrix3 b) { dMultiply0_333(out, a, b); }

// The seven bodies as the state puts them: the frame from the state, the
// forks and swingarm turned about their joints, the wheels on their axles.
bike_poses poses_of(const decoded_state& d, const bike_info& info, double frame_q[4]) {
    bike_poses p;
    normalise4(d.orientation, frame_q);
    body_pose& frame = p[body_frame];
    frame.position = d.position;
    dRfromQ(frame.rotation, frame_q);
    dvec3 frame_at = vec(info.frame_position);

    dvec3 upper_at = vec(info.fork_upper_position), lower_at = vec(info.fork_lower_position);
    body_pose& upper = p[body_fork_upper];
    upper.position = point_of(frame, upper_at - frame_at);
    dMatrix3 turn;
    axis_rotation(turn, upper_at - lower_at, d.steering);
    compose(upper.rotation, frame.rotation, turn);

    dvec3 pivot = vec(info.swingarm_pivot), arm_at = vec(info.swingarm_position);
    body_pose& arm = p[body_swingarm];
    axis_rotation(turn, {1, 0, 0}, d.swingarm);
    compose(arm.rotation, frame.rotation, turn);
    arm.position = point_of(frame, pivot + rotate(turn, arm_at - pivot) - frame_at);

    dvec3 slide = lower_at - upper_at;
    double slide_length = length(slide);
    dvec3 u = slide_length > 0 ? slide * (1 / slide_length) : dvec3{0, -1, 0};
    body_pose& lower = p[body_fork_lower];
    lower.position = point_of(upper, lower_at + u * d.fork - upper_at);
    std::copy(std::begin(upper.rotation), std::end(upper.rotation), lower.rotation);

    body_pose& rider = p[body_rider];
    rider.position = d.position + d.rider_offset;
    double q[4];
    normalise4(d.rider_orientation, q);
    dRfromQ(rider.rotation, q);

    body_pose& front = p[body_front_wheel];
    front.position = point_of(lower, vec(info.front_wheel.center) - lower_at);
    axis_rotation(turn, {-1, 0, 0}, d.front_wheel);
    compose(front.rotation, lower.rotation, turn);
    body_pose& rear = p[body_rear_wheel];
    rear.position = point_of(arm, vec(info.rear_wheel.center) - arm_at);
    axis_rotation(turn, {-1, 0, 0}, d.rear_wheel);
    compose(rear.rotation, arm.rotation, turn);
    return p;
}

void quaternion_of(const dMatrix3 r, double q[4]) {
    dQuaternion out;
    dQfromR(out, r);
    for (int k = 0; k < 4; k++) q[k] = out[k];
}

// The rotation vector (unit axis times the angle, in 0..π) that turns a
// into b.
dvec3 rotation_between(const double a[4], const double b[4]) {
    dQuaternion qa = {a[0], a[1], a[2], a[3]}, qb = {b[0], b[1], b[2], b[3]}, turn;
    dQMultiply2(turn, qb, qa);
    if (turn[0] < 0)
        for (double& v : turn) v = -v;
    dvec3 axis{turn[1], turn[2], turn[3]};
    double s = length(axis);
    if (!(s > 1e-15)) return {};
    double angle = 2 * std::atan2(s, turn[0]);
    return axis * (angle / s);
}

void start_loose_feet(bike_state& b) {
    drawn_feet feet = drawn_foot_placement(b);
    dBodyID rider = b.bodies[body_rider];
    for (int side : {foot_left_side, foot_right_side}) {
        foot_state& foot = side == foot_left_side ? b.foot_left : b.foot_right;
        dvec3 p = feet.position[(size_t)side], v = world_point_vel(rider, p);
        foot.position[0] = (float)p.x, foot.position[1] = (float)p.y, foot.position[2] = (float)p.z;
        foot.velocity[0] = (float)v.x, foot.velocity[1] = (float)v.y, foot.velocity[2] = (float)v.z;
    }
}

// ---- the two ways of applying a state -------------------------------------------------

void rebuild_bike(bike_state& b, const decoded_state& target, const decoded_state& older,
                  const decoded_state& newer, int n) {
    const bike_info& info = bike_model(b);
    double q_older[4], q_newer[4], q_target[4];
    bike_poses from = poses_of(older, info, q_older);
    bike_poses to = poses_of(newer, info, q_newer);
    bike_poses now = poses_of(target, info, q_target);
    double seconds = std::max(n, 1) / 128.0;
    for (int i = 0; i < bike_body_count; i++) {
        dBodyID body = b.bodies[i];
        dvec3 v = (to[(size_t)i].position - from[(size_t)i].position) * (1 / seconds);
        double a[4], c[4];
        quaternion_of(from[(size_t)i].rotation, a);
        quaternion_of(to[(size_t)i].rotation, c);
        dvec3 w = rotation_between(a, c) * (1 / seconds);
        const body_pose& p = now[(size_t)i];
        dBodySetPosition(body, p.position.x, p.position.y, p.position.z);
        if (i == body_frame) {
            dBodySetQuaternion(body, q_target);
        } else if (i == body_rider) {
            double q[4];
            normalise4(target.rider_orientation, q);
            dBodySetQuaternion(body, q);
        } else {
            dBodySetRotation(body, p.rotation);
        }
        if (!finite(v) || !finite(w)) v = w = {};
        dBodySetLinearVel(body, v.x, v.y, v.z);
        dBodySetAngularVel(body, w.x, w.y, w.z);
    }

    // The rear tire's centre line stays above the ground.
    dBodyID frame = b.bodies[body_frame];
    dvec3 down = body_to_world(frame, {0, -1, 0});
    dvec3 centre = body_pos(b.bodies[body_rear_wheel]) + down * b.rear_contact.tire_ring_radius;
    double ground = height_at((float)centre.x, (float)centre.z);
    if (ground > centre.y && std::isfinite(ground)) translate_bike(b, 0, ground - centre.y, 0);

    bool down_now = down_in(target);
    if (down_now) {
        if (b.crash_countdown == 0) start_loose_feet(b);
        b.crash_countdown = crash_countdown_of(target.status);
    } else {
        b.crash_countdown = 0;
    }
    // The dab bit is clear only once the recorded legs were fully in.
    if (down_now || (target.status & 8))
        b.controls.dab_blend = std::min(1.0f, b.controls.dab_blend + 8.0f / 128);
    else
        b.controls.dab_blend = 0;

    if (!down_now) {
        b.gear = valid_gear(info, std::min(target.status & 7, bike_gear_count - 1));
        b.controls.throttle = (float)((target.status >> 4) / 15.0);
    } else {
        b.controls.throttle = 0;
    }
    b.engine_speed = (float)(target.rpm * pi / 30);
    const dReal* w = dBodyGetPosition(b.bodies[body_front_wheel]);
    for (int k = 0; k < 3; k++) b.wheel_probe[k] = 16 * w[k];
}

void pull_bike(bike_state& b, const decoded_state& target, const decoded_state& older, const decoded_state& newer,
               int n) {
    const bike_info& info = bike_model(b);
    double a = b.activity, k = 0, c = 0;
    if (a > 0.75) {
        k = c = 0;
    } else if (a > 0.5) {
        double s = clampd((0.75 - a) * 4, 0, 1);
        k = 5000 * s;
        c = -500 * s;
    } else {
        double s = clampd((0.5 - a) * 2, 0, 1);
        k = 5000 + 45000 * s;
        c = -500;
    }
    dBodyID frame = b.bodies[body_frame];
    double seconds = std::max(n, 1) / 128.0;
    dvec3 vt = (newer.position - older.position) * (1 / seconds);
    dvec3 force = (body_vel(frame) - vt) * c + (target.position - body_pos(frame)) * k;
    if (length_sq(force) > 6250000) force = force * (2500 / length(force));
    if (finite(force)) dBodyAddForce(frame, force.x, force.y, force.z);

    double current[4], wanted[4];
    const dReal* q = dBodyGetQuaternion(frame);
    for (int i = 0; i < 4; i++) current[i] = q[i];
    normalise4(target.orientation, wanted);
    dvec3 torque = rotation_between(current, wanted) * (k / 128) + body_angvel(frame) * c;
    if (length_sq(torque) > 6250000) torque = torque * (2500 / length(torque));
    if (finite(torque)) dBodyAddTorque(frame, torque.x, torque.y, torque.z);

    set_steer(b, (float)clampd((target.steering - steering_angle(b) - steering_rate(b)) / 4, -1, 1));

    dBodyID rider = b.bodies[body_rider];
    if (down_in(target)) {
        if (b.crash_countdown == 0) {
            start_loose_feet(b);
            dJointAttach(b.joints[joint_rider_mount], nullptr, nullptr);
        }
        b.crash_countdown = crash_countdown_of(target.status);
        b.controls.throttle = b.controls.sit = b.controls.lean = 0;
    } else {
        if (b.crash_countdown != 0) {
            // The mount takes its neutral pose from the seat; then the rider
            // goes back where it was and the springs bring it in.
            dvec3 was = body_pos(rider);
            dMatrix3 turned;
            std::copy(dBodyGetRotation(rider), dBodyGetRotation(rider) + 12, turned);
            dvec3 seat = body_point(frame, vec(info.rider_position) - vec(info.frame_position));
            dBodySetPosition(rider, seat.x, seat.y, seat.z);
            dBodySetRotation(rider, dBodyGetRotation(frame));
            dJointAttach(b.joints[joint_rider_mount], rider, frame);
            dBodySetPosition(rider, was.x, was.y, was.z);
            dBodySetRotation(rider, turned);
            b.crash_countdown = 0;
        }
        b.gear = valid_gear(info, std::min(target.status & 7, bike_gear_count - 1));
        set_throttle(b, (float)((target.status >> 4) / 15.0));
        float sit = (target.status & 8) ? 1.0f : 0.0f;
        set_sit(b, sit);
        dMatrix3 r;
        double tq[4];
        normalise4(target.orientation, tq);
        dRfromQ(r, tq);
        dvec3 up{r[1], r[5], r[9]}, back{r[2], r[6], r[10]};
        dvec3 seat = vec(info.rider_position) - vec(info.frame_position);
        double ht = seat.y - dot(target.rider_offset, up);
        double qt = seat.z - dot(target.rider_offset, back);
        set_lean(b, (float)clampd(ht * (0.5 + 0.5 * sit) - qt, -1, 1));
    }
    b.engine_speed = (float)(target.rpm * pi / 30);
}

}  // namespace

compact_state encode_state(const bike_state& b) {
    compact_state s{};
    const bike_info& info = bike_model(b);
    double e = field_extent(), h0 = terrain.height_min;
    dvec3 p = body_pos(b.bodies[body_frame]);
    put24(s, at_x, fraction_code(clampd(p.x, 0, e) / e, k24));
    put24(s, at_y, fraction_code((clampd(p.y, h0, h0 + e) - h0) / e, k24));
    put24(s, at_z, fraction_code(clampd(p.z, 0, e) / e, k24));
    double q[4];
    get_body_quaternion(b, body_frame, q);
    encode_quaternion(s, at_quaternion, q);

    put8(s, at_steering, fraction_code((clampd(steering_angle(b), -pi / 4, pi / 4) + pi / 4) * (2 / pi), k8));
    double travel = info.swingarm_travel, fork_travel = info.fork_travel;
    put8(s, at_swingarm, travel > 0 ? fraction_code((clampd(swingarm_angle(b), -travel, 0) + travel) / travel, k8) : 0);
    put8(s, at_fork,
         fork_travel > 0 ? fraction_code((clampd(fork_position(b), -fork_travel, 0) + fork_travel) / fork_travel, k8) : 0);

    dvec3 offset = body_pos(b.bodies[body_rider]) - p;
    const double d[3] = {offset.x, offset.y, offset.z};
    for (int k = 0; k < 3; k++) {
        double v = clampd(d[k], -rider_offset_range, rider_offset_range);
        put16(s, at_rider_offset + 2 * k, fraction_code((v + rider_offset_range) / (2 * rider_offset_range), k16));
    }
    get_body_quaternion(b, body_rider, q);
    encode_quaternion(s, at_rider_quaternion, q);

    put8(s, at_front_wheel, wheel_code((clampd(front_axle_angle(b), -pi, pi) + pi) / (2 * pi)));
    put8(s, at_rear_wheel, wheel_code((clampd(rear_axle_angle(b), -pi, pi) + pi) / (2 * pi)));

    int status;
    if (rider_on_bike(b)) {
        int throttle = (int)std::trunc(clampd((double)b.controls.throttle * 15 + 1e-6, 0, 15));
        status = std::clamp(b.gear, 0, 6) | (b.controls.dab_blend > 0 ? 8 : 0) | throttle << 4;
    } else {
        int h = std::min(15, (b.crash_countdown * 15 - 15) / 127);
        status = status_rider_down | std::max(h, 0) << 4;
    }
    put8(s, at_status, (uint32_t)status);
    double rpm = (double)b.engine_speed * rpm_per_rad_per_s;
    put16(s, at_rpm, fraction_code(clampd(rpm, 0, rpm_range) / rpm_range, k16));
    return s;
}

compact_state interpolate_state(const compact_state& a, const compact_state& b, double t, int version) {
    if (t == 0 || version == compact_state_v4 || !std::isfinite(t)) return a;
    compact_state s = a;
    auto linear = [&](int at, int bytes, double scale) {
        double va = (bytes == 3 ? get24(a, at) : bytes == 2 ? get16(a, at) : get8(a, at)) / scale;
        double vb = (bytes == 3 ? get24(b, at) : bytes == 2 ? get16(b, at) : get8(b, at)) / scale;
        uint32_t c = fraction_code(va + t * (vb - va), scale);
        if (bytes == 3)
            put24(s, at, c);
        else if (bytes == 2)
            put16(s, at, c);
        else
            put8(s, at, c);
    };
    for (int at : {at_x, at_y, at_z}) linear(at, 3, k24);
    for (int k = 0; k < 3; k++) linear(at_rider_offset + 2 * k, 2, k16);
    for (int at : {at_steering, at_swingarm, at_fork}) linear(at, 1, k8);
    linear(at_rpm, 2, k16);

    double u = std::min(t, 1.0);
    for (int at : {at_quaternion, at_rider_quaternion}) {
        double qa[4], qb[4], q[4];
        decode_quaternion(a, at, qa);
        decode_quaternion(b, at, qb);
        double d = qa[0] * qb[0] + qa[1] * qb[1] + qa[2] * qb[2] + qa[3] * qb[3];
        if (d < 0)
            for (double& v : qb) v = -v;
        for (int k = 0; k < 4; k++) q[k] = qa[k] + u * (qb[k] - qa[k]);
        encode_quaternion(s, at, q);
    }

    for (int at : {at_front_wheel, at_rear_wheel}) {
        double fa = frac8(a, at), fb = frac8(b, at);
        if (fb < fa - 0.125)
            fa -= 1;
        else if (fb > fa + 0.875)
            fb -= 1;
        double f = fa + t * (fb - fa);
        if (f < 0) f += 1;
        put8(s, at, wheel_code(std::clamp(f, 0.0, 1.0)));
    }
    s[at_status] = a[at_status];
    return s;
}

void apply_state(bike_state& b, const compact_state& target, const compact_state& older, const compact_state& newer,
                 int n, int version) {
    const bike_info& info = bike_model(b);
    decoded_state t = decode(target, info, version);
    decoded_state o = decode(older, info, version);
    decoded_state w = decode(newer, info, version);
    if (bike_is_active(b))
        pull_bike(b, t, o, w, n);
    else
        rebuild_bike(b, t, o, w, n);
}
