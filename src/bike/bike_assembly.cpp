// Building, resetting, moving and destroying the seven-body bike, and the
// slot table that holds the bikes.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "core/diag.h"
#include "core/text.h"

namespace {

std::array<std::unique_ptr<bike_state>, bike_slot_count> slots;

constexpr double pi = 3.14159265358979323846;
constexpr double creation_mass_distribution = 1.0 / 3;

const float* body_rest_position(const bike_info& info, int body) {
    switch (body) {
        case body_frame: return info.frame_position;
        case body_front_wheel: return info.front_wheel.center;
        case body_rear_wheel: return info.rear_wheel.center;
        case body_fork_upper: return info.fork_upper_position;
        case body_fork_lower: return info.fork_lower_position;
        case body_swingarm: return info.swingarm_position;
        default: return info.rider_position;
    }
}

// Which shape row of model_files each body collides with.
constexpr int body_shape_file[bike_body_count] = {
    file_frame_shape,    file_front_wheel_shape, file_rear_wheel_shape, file_fork_upper_shape,
    file_fork_lower_shape, file_swingarm_shape,  file_rider_shape,
};

// The library asks for masses centred on the body; ours are centred by
// construction, so what is left is rounding.
void give_mass(dBodyID body, dMass& m) {
    m.c[0] = m.c[1] = m.c[2] = 0;
    dBodySetMass(body, &m);
}

void rotation_about_x(dMatrix3 r, double angle) { dRFromAxisAndAngle(r, 1, 0, 0, angle); }

// Hub sphere plus sixteen spheres around the tire ring in the wheel plane.
void wheel_mass(dMass& total, const wheel_info& w) {
    dMassSetZero(&total);
    dMass sphere;
    dMassSetSphereTotal(&sphere, w.rim_mass / 16.0, w.tire_section_radius);
    dMassTranslate(&sphere, 0, w.tire_ring_radius, 0);
    dMatrix3 step;
    rotation_about_x(step, pi / 8);
    for (int i = 0; i < 16; i++) {
        dMassAdd(&total, &sphere);
        dMassRotate(&sphere, step);
    }
    dMass hub;
    dMassSetSphereTotal(&hub, w.hub_mass, w.hub_radius);
    dMassAdd(&total, &hub);
}

// Two legs along y, one each side, tilted back by the rake.
void fork_mass(dMass& total, const bike_info& info) {
    dMassSetZero(&total);
    double half = info.fork_mass / 2.0;
    for (double side : {1.0, -1.0}) {
        dMass leg;
        dMassSetCylinderTotal(&leg, half, 2, info.fork_leg_spacing / 8.0, info.fork_leg_span * 2.0 / 3.0);
        dMassTranslate(&leg, side * info.fork_leg_spacing / 2.0, 0, 0);
        dMassAdd(&total, &leg);
    }
    double dy = info.fork_lower_position[1] - info.fork_upper_position[1];
    double dz = info.fork_lower_position[2] - info.fork_upper_position[2];
    dMatrix3 r;
    rotation_about_x(r, std::atan(dz / dy));
    dMassRotate(&total, r);
}

// Two arms from the pivot to the rear axle, one each side of the frame.
void swingarm_mass(dMass& total, const bike_info& info) {
    dMassSetZero(&total);
    double w = info.frame_size[0];
    double dy = info.rear_wheel.center[1] - info.swingarm_pivot[1];
    double dz = info.rear_wheel.center[2] - info.swingarm_pivot[2];
    double length = std::sqrt(dy * dy + dz * dz);
    for (double side : {1.0, -1.0}) {
        dMass arm;
        dMassSetBoxTotal(&arm, info.swingarm_arm_mass, w / 4, w / 4, length);
        dMassTranslate(&arm, side * w / 2, 0, 0);
        dMassAdd(&total, &arm);
    }
    dMatrix3 r;
    rotation_about_x(r, -std::atan(dy / dz));
    dMassRotate(&total, r);
}

// The frame carries the part of the rider's mass that the upper body does not.
void set_frame_and_rider_masses(bike_state& b, double d) {
    const bike_info& info = bike_model(b);
    dMass m;
    dMassSetBoxTotal(&m, info.frame_mass + info.rider_mass * (1 - d), info.frame_size[0], info.frame_size[1],
                     info.frame_size[2]);
    give_mass(b.bodies[body_frame], m);
    dMassSetSphereTotal(&m, info.rider_mass * d, 1);
    give_mass(b.bodies[body_rider], m);
    b.rider_mass_distribution = (float)d;
}

void set_masses(bike_state& b) {
    const bike_info& info = bike_model(b);
    dMass m;
    wheel_mass(m, info.front_wheel);
    give_mass(b.bodies[body_front_wheel], m);
    wheel_mass(m, info.rear_wheel);
    give_mass(b.bodies[body_rear_wheel], m);
    fork_mass(m, info);
    give_mass(b.bodies[body_fork_upper], m);
    fork_mass(m, info);
    give_mass(b.bodies[body_fork_lower], m);
    swingarm_mass(m, info);
    give_mass(b.bodies[body_swingarm], m);
    set_frame_and_rider_masses(b, creation_mass_distribution);
}

// Bodies are attached first: the library takes anchors and axes relative to
// the attached bodies' current poses.
void create_joints(bike_state& b) {
    const bike_info& info = bike_model(b);
    dWorldID world = bike_world();
    dBodyID* body = b.bodies;
    const float* up = info.fork_upper_position;
    const float* low = info.fork_lower_position;
    const float steer_axis[3] = {up[0] - low[0], up[1] - low[1], up[2] - low[2]};

    dJointID j = b.joints[joint_front_axle] = dJointCreateHinge(world, nullptr);
    dJointAttach(j, body[body_fork_lower], body[body_front_wheel]);
    dJointSetHingeAnchor(j, info.front_wheel.center[0], info.front_wheel.center[1], info.front_wheel.center[2]);
    dJointSetHingeAxis(j, 1, 0, 0);

    j = b.joints[joint_rear_axle] = dJointCreateHinge(world, nullptr);
    dJointAttach(j, body[body_swingarm], body[body_rear_wheel]);
    dJointSetHingeAnchor(j, info.rear_wheel.center[0], info.rear_wheel.center[1], info.rear_wheel.center[2]);
    dJointSetHingeAxis(j, 1, 0, 0);

    j = b.joints[joint_steering] = dJointCreateHinge(world, nullptr);
    dJointAttach(j, body[body_fork_upper], body[body_frame]);
    dJointSetHingeAnchor(j, up[0], up[1], up[2]);
    dJointSetHingeAxis(j, steer_axis[0], steer_axis[1], steer_axis[2]);
    dJointSetHingeParam(j, dParamLoStop, -pi / 4);
    dJointSetHingeParam(j, dParamHiStop, pi / 4);

    j = b.joints[joint_fork_slide] = dJointCreateSlider(world, nullptr);
    dJointAttach(j, body[body_fork_upper], body[body_fork_lower]);
    dJointSetSliderAxis(j, steer_axis[0], steer_axis[1], steer_axis[2]);
    dJointSetSliderParam(j, dParamBounce, 0);
    dJointSetSliderParam(j, dParamLoStop, -info.fork_travel);
    dJointSetSliderParam(j, dParamHiStop, 0);

    j = b.joints[joint_swingarm_pivot] = dJointCreateHinge(world, nullptr);
    dJointAttach(j, body[body_swingarm], body[body_frame]);
    dJointSetHingeAnchor(j, info.swingarm_pivot[0], info.swingarm_pivot[1], info.swingarm_pivot[2]);
    dJointSetHingeAxis(j, 1, 0, 0);
    dJointSetHingeParam(j, dParamBounce, 0);
    dJointSetHingeParam(j, dParamLoStop, -info.swingarm_travel);
    dJointSetHingeParam(j, dParamHiStop, 0);

    // Anchored 50 ft ahead at the rider's height, so that both rotations move
    // the rider's mass very nearly in straight lines: axis 2 up and down,
    // axis 1 sideways.
    j = b.joints[joint_rider_mount] = dJointCreateHinge2(world, nullptr);
    dJointAttach(j, body[body_rider], body[body_frame]);
    dJointSetHinge2Anchor(j, 0, info.rider_position[1], -50);
    const dReal axis1[3] = {0, 1, 1}, axis2[3] = {1, 0, 0};
    dJointSetHinge2Axes(j, axis1, axis2);
    dJointSetHinge2Param(j, dParamLoStop, 0);
    dJointSetHinge2Param(j, dParamHiStop, 0);

    for (int i = 0; i < bike_joint_count; i++) dJointSetFeedback(b.joints[i], &b.joint_feedback[i]);
}

void fill_wheel_constants(wheel_contact& c, dBodyID body, const wheel_info& w) {
    c.body = body;
    c.axle[0] = 1;
    c.axle[1] = c.axle[2] = 0;
    c.tire_ring_radius = w.tire_ring_radius;
    c.tire_section_radius = w.tire_section_radius;
}

void clear_wheel_contact(wheel_contact& c) {
    std::fill(std::begin(c.contact_point), std::end(c.contact_point), 0.0f);
    std::fill(std::begin(c.slip_velocity), std::end(c.slip_velocity), 0.0f);
    std::fill(std::begin(c.contact_normal), std::end(c.contact_normal), 0.0f);
    c.depth = 0;
    c.contact_feedback = {};
    c.query_tic = -1;  // the next query refreshes, whatever the tic
}

// The settings every bike starts with until a setup is applied.
void apply_default_settings(bike_state& b) {
    const bike_info& info = bike_model(b);
    // Suspension: fork factors 1, 0, 1, 0 with spring, preload and oil at
    // 0.5, 0.5, 0; shock factors 2, 0, 2, 1 with spring and preload at 0.5.
    b.fork_hs_comp = info.fork_hs_compression;
    b.fork_ls_comp = 0;
    b.fork_hs_reb = info.fork_hs_rebound;
    b.fork_ls_reb = 0;
    b.fork_spring = info.fork_spring_soft + 0.5f * (info.fork_spring_stiff - info.fork_spring_soft);
    b.fork_preload = info.fork_preload_min + 0.5f * (info.fork_preload_max - info.fork_preload_min);
    b.fork_air_gap = info.fork_air_gap_max;
    b.shock_hs_comp = 2 * info.shock_hs_compression;
    b.shock_ls_comp = 0;
    b.shock_hs_reb = 2 * info.shock_hs_rebound;
    b.shock_ls_reb = info.shock_ls_rebound;
    b.shock_spring = info.shock_spring_soft + 0.5f * (info.shock_spring_stiff - info.shock_spring_soft);
    b.shock_preload = info.shock_preload_min + 0.5f * (info.shock_preload_max - info.shock_preload_min);

    // Drivetrain: stock sprockets, auto clutch at 5000 rpm, 250 lbf·ft brakes,
    // front antilock and the front-brake guard on.
    b.final_drive = (float)final_drive_ratio(info, 0, 0);
    b.auto_clutch_rpm = 5000;
    b.front_brake_torque = 250;
    b.rear_brake_torque = 250;

    // Rider aids.
    b.roll_damping = 60;
    b.leveling = 20;
    b.roll_limit_factor = 10;
    b.roll_limit_angle = (float)(pi / 4);
    b.steering_damping = 45;
    b.steering_strength = 75;
    b.max_steering_force = 400;
    b.direct_steering = 1;
    b.slow_damping_speed = 0;
    b.slow_damping_factor = 1;
    b.landing_damping_falloff = 0.25f;
    b.landing_damping_factor = 2;
    b.max_dab_speed = 30;
    b.full_lock_speed = 10;
    b.restricted_lock_speed = 50;
    b.restricted_lock_angle = (float)(5 * pi / 180);
    b.rider_vertical_spring = 0.5f;
    b.rider_vertical_damping = 0.75f;
    b.rider_forward_spring = 0.5f;
    b.rider_forward_damping = 0.75f;
    b.arcade = false;

    b.flags = flag_created | flag_front_brake_guard | flag_front_antilock | flag_auto_align;
}

void refresh_wheel_probe(bike_state& b) {
    const dReal* p = dBodyGetPosition(b.bodies[body_front_wheel]);
    for (int k = 0; k < 3; k++) b.wheel_probe[k] = 16 * p[k];
}

void clear_accumulators(bike_state& b) {
    for (dBodyID body : b.bodies) {
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
    }
}

void set_bodies_enabled(bike_state& b, bool enabled) {
    for (dBodyID body : b.bodies) {
        if (enabled)
            dBodyEnable(body);
        else
            dBodyDisable(body);
    }
}

// Moves activity to a new value, enabling or disabling the bodies to match;
// a bike that leaves the inactive range starts without stale forces.
void set_activity(bike_state& b, float activity) {
    bool was_active = bike_is_active(b);
    b.activity = activity;
    bool active = bike_is_active(b);
    if (active && !was_active) clear_accumulators(b);
    set_bodies_enabled(b, active);
}

void copy3(const dReal* v, double out[3]) {
    for (int k = 0; k < 3; k++) out[k] = v[k];
}

}  // namespace

const bike_info& bike_model(const bike_state& bike) { return bike_info_table[(size_t)bike.model_index]; }

bike_state* create_bike(const char* model_name, int slot, bool local_robot, const bike_setup& setup) {
    if (slot < 0 || slot >= bike_slot_count) {
        log_printf("create_bike: no slot %d\n", slot);
        return nullptr;
    }
    if (!bike_world_ready()) {
        log_printf("create_bike: physics world not started\n");
        return nullptr;
    }
    if (slots[(size_t)slot]) {
        log_printf("create_bike: slot %d replaces its bike\n", slot);
        destroy_bike(slots[(size_t)slot].get());
    }

    const bike_info& info = bike_info_for_load(model_name);
    auto owned = std::make_unique<bike_state>();
    bike_state& b = *owned;
    b.model_index = bike_info_index(&info);

    for (int i = 0; i < bike_body_count; i++) {
        collision_shape shape;
        if (shape_copy(info.model_files[body_shape_file[i]], shape)) b.shapes[(size_t)i] = std::move(shape);
    }
    copy_truncated(b.number, sizeof b.number, setup.number.c_str());
    auto custom = [](const std::string& name) { return name == "default" ? std::string() : name; };
    b.bike_texture = custom(setup.bike_texture);
    b.wheel_texture = custom(setup.wheel_texture);
    b.rider_body_texture = custom(setup.rider_texture);
    b.rider_head_texture = custom(setup.head_texture);

    dWorldID world = bike_world();
    for (int i = 0; i < bike_body_count; i++) {
        dBodyID body = b.bodies[i] = dBodyCreate(world);
        dBodySetData(body, &b);
        const float* p = body_rest_position(info, i);
        dBodySetPosition(body, p[0], p[1], p[2]);
        dMatrix3 identity;
        dRSetIdentity(identity);
        dBodySetRotation(body, identity);
        dBodySetLinearVel(body, 0, 0, 0);
        dBodySetAngularVel(body, 0, 0, 0);
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
    }
    dBodySetFiniteRotationMode(b.bodies[body_front_wheel], 1);
    dBodySetFiniteRotationMode(b.bodies[body_rear_wheel], 1);

    set_masses(b);
    create_joints(b);
    fill_wheel_constants(b.front_contact, b.bodies[body_front_wheel], info.front_wheel);
    fill_wheel_constants(b.rear_contact, b.bodies[body_rear_wheel], info.rear_wheel);
    apply_default_settings(b);

    double total = 0;
    for (dBodyID body : b.bodies) {
        dMass m;
        dBodyGetMass(body, &m);
        total += m.mass;
    }
    b.total_mass = (float)total;

    reset_bike(b);
    b.slot_index = slot;
    b.local_robot = local_robot;
    slots[(size_t)slot] = std::move(owned);
    return &b;
}

void destroy_bike(bike_state* bike) {
    if (!bike) return;
    for (dJointID& j : bike->joints) {
        if (j) dJointDestroy(j);
        j = nullptr;
    }
    for (dBodyID& body : bike->bodies) {
        if (body) dBodyDestroy(body);
        body = nullptr;
    }
    int slot = bike->slot_index;
    if (slot >= 0 && slot < bike_slot_count && slots[(size_t)slot].get() == bike) slots[(size_t)slot].reset();
}

void destroy_all_bikes() {
    for (auto& s : slots)
        if (s) destroy_bike(s.get());
}

void roll_bike(bike_state& b, double speed) {
    const dReal* r = dBodyGetRotation(b.bodies[body_frame]);
    double fx = -r[2], fz = -r[10];
    for (dBodyID body : b.bodies) {
        dBodySetLinearVel(body, fx * speed, 0, fz * speed);
        dBodySetAngularVel(body, 0, 0, 0);
    }
    const bike_info& info = bike_model(b);
    for (bike_body part : {body_front_wheel, body_rear_wheel}) {
        const wheel_info& w = part == body_front_wheel ? info.front_wheel : info.rear_wheel;
        double spin = -speed / (w.tire_ring_radius + w.tire_section_radius);
        dVector3 a;
        dBodyVectorToWorld(b.bodies[part], spin, 0, 0, a);
        dBodySetAngularVel(b.bodies[part], a[0], a[1], a[2]);
    }
}

void reset_bike(bike_state& b) {
    const bike_info& info = bike_model(b);
    dMatrix3 identity;
    dRSetIdentity(identity);
    for (int i = 0; i < bike_body_count; i++) {
        dBodyID body = b.bodies[i];
        const float* p = body_rest_position(info, i);
        dBodySetPosition(body, p[0], p[1], p[2]);
        dBodySetRotation(body, identity);
        dBodySetLinearVel(body, 0, 0, 0);
        dBodySetAngularVel(body, 0, 0, 0);
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
    }
    // Seat the rider on the frame's seat point before the mount is attached:
    // the mount takes its neutral pose from where the bodies are.
    dBodyID frame = b.bodies[body_frame], rider = b.bodies[body_rider];
    dVector3 seat;
    dBodyGetRelPointPos(frame, info.rider_position[0] - info.frame_position[0],
                        info.rider_position[1] - info.frame_position[1],
                        info.rider_position[2] - info.frame_position[2], seat);
    dBodySetPosition(rider, seat[0], seat[1], seat[2]);
    dBodySetRotation(rider, dBodyGetRotation(frame));
    dJointAttach(b.joints[joint_rider_mount], rider, frame);

    b.controls = bike_controls{};
    b.gear = 0;
    b.shift_latch = 0;
    b.drive_phase = 0;
    b.engine_speed = 0;
    b.crash_countdown = 0;
    b.crash_count = 0;
    b.ground_touched = 0;
    b.foot_left = foot_state{};
    b.foot_right = foot_state{};
    memset(b.rider_velocity_history, 0, sizeof b.rider_velocity_history);
    b.collision_timer = 0;
    b.sticky_sit_latch = false;
    b.sticky_sit_input_high = false;
    b.landing_multiplier = 1;
    b.steer_limit_indicator = 0;
    // Tic stamps of an earlier race would read as a long flight.
    b.airborne_tic = b.landed_tic = 0;
    b.bike_contact_tic = -1;
    for (dJointFeedback& f : b.joint_feedback) f = {};
    clear_wheel_contact(b.front_contact);
    clear_wheel_contact(b.rear_contact);
    b.front_readout = wheel_readout{};
    b.rear_readout = wheel_readout{};
    b.position_fault = false;
    set_activity(b, 1);
    refresh_wheel_probe(b);
}

void translate_bike(bike_state& b, double dx, double dy, double dz) {
    for (dBodyID body : b.bodies) {
        const dReal* p = dBodyGetPosition(body);
        dBodySetPosition(body, p[0] + dx, p[1] + dy, p[2] + dz);
    }
    refresh_wheel_probe(b);
}

void rotate_bike(bike_state& b, double ax, double ay, double az, double angle) {
    dMatrix3 r;
    if (ax * ax + ay * ay + az * az > 0)
        dRFromAxisAndAngle(r, ax, ay, az, angle);
    else
        dRSetIdentity(r);
    for (dBodyID body : b.bodies) {
        dVector3 p;
        copy3(dBodyGetPosition(body), p);
        dVector3 q;
        dMultiply0_331(q, r, p);
        dBodySetRotation(body, r);
        dBodySetPosition(body, q[0], q[1], q[2]);
    }
    refresh_wheel_probe(b);
}

void set_rider_mass_distribution(bike_state& b, double d) {
    set_frame_and_rider_masses(b, std::clamp(d, 0.33, 0.5));
}

bool bike_is_active(const bike_state& b) { return b.activity > 0.25f; }

void activate_bike(bike_state& b) { set_activity(b, 1); }

void deactivate_bike(bike_state& b) { set_activity(b, 0); }

void touch_bike(bike_state& b) {
    if (b.activity == 0)
        set_activity(b, 1);
    else if (!bike_is_active(b))
        set_activity(b, 0.25f);
}

void fade_remote_bike(bike_state& b) {
    if (b.activity > 0) set_activity(b, std::clamp(b.activity - (float)world_step_seconds, 0.0f, 1.0f));
}

bike_state* bike_in_slot(int slot) {
    if (slot < 0 || slot >= bike_slot_count) return nullptr;
    return slots[(size_t)slot].get();
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

const bike_info* bike_info_of(int slot) {
    bike_state* b = bike_in_slot(slot);
    return b ? &bike_model(*b) : nullptr;
}

const char* bike_model_name(int slot) {
    const bike_info* info = bike_info_of(slot);
    return info ? info->name : "";
}

const char* bike_engine_class(int slot) {
    const bike_info* info = bike_info_of(slot);
    return info ? info->engine_class : "";
}

void get_body_position(const bike_state& b, bike_body body, double out[3]) {
    copy3(dBodyGetPosition(b.bodies[body]), out);
}

void get_body_rotation(const bike_state& b, bike_body body, double out[9]) {
    // The library's 3×3 rows are padded to four.
    const dReal* r = dBodyGetRotation(b.bodies[body]);
    for (int row = 0; row < 3; row++)
        for (int col = 0; col < 3; col++) out[row * 3 + col] = r[row * 4 + col];
}

void get_body_quaternion(const bike_state& b, bike_body body, double out[4]) {
    const dReal* q = dBodyGetQuaternion(b.bodies[body]);
    for (int k = 0; k < 4; k++) out[k] = q[k];
}

void get_body_velocity(const bike_state& b, bike_body body, double out[3]) {
    copy3(dBodyGetLinearVel(b.bodies[body]), out);
}

void get_body_angular_velocity(const bike_state& b, bike_body body, double out[3]) {
    copy3(dBodyGetAngularVel(b.bodies[body]), out);
}

double steering_angle(const bike_state& b) { return dJointGetHingeAngle(b.joints[joint_steering]); }
double steering_rate(const bike_state& b) { return dJointGetHingeAngleRate(b.joints[joint_steering]); }
double swingarm_angle(const bike_state& b) { return dJointGetHingeAngle(b.joints[joint_swingarm_pivot]); }
double swingarm_rate(const bike_state& b) { return dJointGetHingeAngleRate(b.joints[joint_swingarm_pivot]); }
double fork_position(const bike_state& b) { return dJointGetSliderPosition(b.joints[joint_fork_slide]); }
double fork_rate(const bike_state& b) { return dJointGetSliderPositionRate(b.joints[joint_fork_slide]); }
double front_axle_angle(const bike_state& b) { return dJointGetHingeAngle(b.joints[joint_front_axle]); }
double front_axle_rate(const bike_state& b) { return dJointGetHingeAngleRate(b.joints[joint_front_axle]); }
double rear_axle_angle(const bike_state& b) { return dJointGetHingeAngle(b.joints[joint_rear_axle]); }
double rear_axle_rate(const bike_state& b) { return dJointGetHingeAngleRate(b.joints[joint_rear_axle]); }

void joint_force_correction(bike_state& b) {
    // A released rider mount is not in the step and its record is stale.
    if (!rider_on_bike(b)) return;
    const dReal* origin = dBodyGetPosition(b.bodies[body_frame]);
    double force[3] = {}, torque[3] = {};
    for (int i = 0; i < bike_joint_count; i++) {
        const dJointFeedback& f = b.joint_feedback[i];
        for (int side = 0; side < 2; side++) {
            dBodyID body = dJointGetBody(b.joints[i], side);
            if (!body) continue;
            const dReal* fv = side == 0 ? f.f1 : f.f2;
            const dReal* tv = side == 0 ? f.t1 : f.t2;
            const dReal* p = dBodyGetPosition(body);
            double r[3] = {p[0] - origin[0], p[1] - origin[1], p[2] - origin[2]};
            for (int k = 0; k < 3; k++) force[k] += fv[k];
            torque[0] += tv[0] + r[1] * fv[2] - r[2] * fv[1];
            torque[1] += tv[1] + r[2] * fv[0] - r[0] * fv[2];
            torque[2] += tv[2] + r[0] * fv[1] - r[1] * fv[0];
        }
    }
    dBodyAddForce(b.bodies[body_frame], -force[0], -force[1], -force[2]);
    dBodyAddTorque(b.bodies[body_frame], -torque[0], -torque[1], -torque[2]);
}
