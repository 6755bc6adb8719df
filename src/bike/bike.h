// A bike and its rider: seven rigid bodies joined by six joints in the shared
// physics world, the per-slot record that holds them, and the 160 slots.
#pragma once

#include <ode/ode.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "bike/bike_info.h"
#include "core/bike_setup.h"
#include "render/shape_file.h"

constexpr int bike_slot_count = 160;

// Bodies, in the order of bike_state::bodies.
enum bike_body {
    body_frame,
    body_front_wheel,
    body_rear_wheel,
    body_fork_upper,
    body_fork_lower,
    body_swingarm,
    body_rider,
    bike_body_count
};

// Joints, in the order of bike_state::joints.
enum bike_joint {
    joint_front_axle,      // hinge: lower fork / front wheel
    joint_rear_axle,       // hinge: swingarm / rear wheel
    joint_steering,        // hinge: upper fork / frame
    joint_fork_slide,      // slider: upper fork / lower fork
    joint_swingarm_pivot,  // hinge: swingarm / frame
    joint_rider_mount,     // hinge-2: rider / frame
    bike_joint_count
};

// bike_state::flags
constexpr uint8_t flag_created = 1 << 0;             // always set; enables the direct steering term
constexpr uint8_t flag_stop_wheelies_cut = 1 << 1;   // engine cut while wheelying
constexpr uint8_t flag_front_brake_guard = 1 << 2;   // no front brake with the rear wheel in the air
constexpr uint8_t flag_front_antilock = 1 << 3;
constexpr uint8_t flag_rear_antilock = 1 << 4;
constexpr uint8_t flag_auto_shift = 1 << 5;
constexpr uint8_t flag_auto_dab = 1 << 6;
constexpr uint8_t flag_auto_align = 1 << 7;

// One wheel's ground contact; the first four fields are constants of the
// wheel filled when the bike is built.
struct wheel_contact {
    dBodyID body = nullptr;
    float axle[3] = {1, 0, 0};  // in the wheel's own frame
    float tire_ring_radius = 0;
    float tire_section_radius = 0;
    float contact_point[3] = {};
    float slip_velocity[3] = {};   // wheel material velocity at the contact
    float contact_normal[3] = {};  // out of the ground
    float depth = 0;               // 0: no contact
    dJointFeedback contact_feedback = {};
    int query_tic = -1;
    // This tic's ground query, run ahead of the collision pass (perhaps on
    // another thread) for the wheel's pose at that time; the pass uses it
    // only when its own inputs are the same to the bit.
    struct {
        bool valid = false, found = false;
        float centre[3] = {}, axle[3] = {}, radii[2] = {};
        float point[3] = {}, normal[3] = {}, depth = 0;
    } prefetched;
};

// What the read-out query last found under a wheel. The script API and the
// roost emitter read this copy: refreshing it (which depends on graphics
// settings and script calls) never changes what the physics sees.
struct wheel_readout {
    float contact_point[3] = {};
    float slip_velocity[3] = {};
    float contact_normal[3] = {};
    float depth = 0;  // 0: no contact
};

// One tic's controls as the bike stores them.
struct bike_controls {
    float throttle = 0;     // 0..1
    float clutch = 0;       // engagement: 1 = lever released
    float front_brake = 0;  // 0..1
    float rear_brake = 0;   // 0..1
    float steer = 0;        // -1..1, +1 full right
    float sit = 0;          // 0..1
    float dab_blend = 0;    // 0..1, how far the legs are out
    float back_up = 0;      // 0..1
    float lean = 0;         // -1..1, +1 full back
    int shift = 0;          // request -1, 0, +1
};

struct foot_state {
    float position[3] = {};
    float velocity[3] = {};
};

struct bike_state {
    int model_index = 0;
    dBodyID bodies[bike_body_count] = {};
    dJointID joints[bike_joint_count] = {};
    dJointFeedback joint_feedback[bike_joint_count] = {};
    wheel_contact front_contact, rear_contact;
    wheel_readout front_readout, rear_readout;
    float total_mass = 0;
    float activity = 0;  // simulated while above 0.25
    double wheel_probe[3] = {};  // 16 × the front wheel's position
    int slot_index = 0;
    uint8_t flags = 0;
    bool local_robot = false;
    // A body was found at a non-finite or absurd position: the simulation of
    // this bike has broken down and its owner should reset it. Cleared by
    // reset_bike.
    bool position_fault = false;
    // Where the frame last was after a sound force step, and the heading it
    // pointed at (radians about +y, 0 facing -z); a bike whose simulation
    // broke down is put back there, facing that way. Kept across resets.
    double recovery_position[3] = {};
    double recovery_heading = 0;
    bool recovery_known = false;
    int fault_resets = 0;       // times the bike was put back
    bool fault_logged = false;  // the breakdown has been logged once

    // Collision shapes of the seven parts, in body order; a part whose shape
    // file is missing has none and is skipped by the collision pass.
    std::array<std::optional<collision_shape>, bike_body_count> shapes;
    // Number plate text and the player's graphics choices; an empty texture
    // name means the model's own. The drawing data is attached separately.
    char number[8] = {};
    std::string bike_texture, wheel_texture, rider_body_texture, rider_head_texture;

    bike_controls controls;

    // Suspension constants from the setup.
    float fork_hs_comp = 0, fork_ls_comp = 0, fork_hs_reb = 0, fork_ls_reb = 0;
    float fork_spring = 0, fork_preload = 0, fork_air_gap = 0;
    float shock_hs_comp = 0, shock_ls_comp = 0, shock_hs_reb = 0, shock_ls_reb = 0;
    float shock_spring = 0, shock_preload = 0;

    // Engine and drivetrain.
    int gear = 0;  // 0 is first gear
    int shift_latch = 0;
    float drive_phase = 0;   // rad, at the rear wheel
    float engine_speed = 0;  // rad/s
    float final_drive = 0;
    float auto_clutch_rpm = 0;
    float front_brake_torque = 0, rear_brake_torque = 0;
    // When a setup was last refused because the bike was moving (seconds).
    double setup_refused_at = -1e30;

    // Rider aids.
    float roll_damping = 0, leveling = 0, roll_limit_factor = 0, roll_limit_angle = 0;
    float steering_damping = 0, steering_strength = 0, max_steering_force = 0, direct_steering = 0;
    float slow_damping_speed = 0, slow_damping_factor = 0;
    float landing_damping_falloff = 0, landing_damping_factor = 0;
    float max_dab_speed = 0, full_lock_speed = 0, restricted_lock_speed = 0, restricted_lock_angle = 0;
    float rider_vertical_spring = 0, rider_vertical_damping = 0;
    float rider_forward_spring = 0, rider_forward_damping = 0;
    float rider_mass_distribution = 0;  // share of the rider's mass in the upper body
    bool arcade = false;
    float collision_timer = 0;  // tics
    float landing_multiplier = 1;
    float steer_limit_indicator = 0;
    int airborne_tic = 0, landed_tic = 0;
    bool sticky_sit_latch = false;
    bool sticky_sit_input_high = false;  // the last sit input was 0.5 or more

    // Contacts with other bikes.
    int bike_contact_tic = 0;

    // Crashes.
    int crash_countdown = 0;  // 0 while the rider is on the bike
    int crash_count = 0;
    int ground_touched = 0;
    foot_state foot_left, foot_right;
    float rider_velocity_history[4][3] = {};  // by tic number mod 4

    bike_state() = default;
    // The joints keep pointers into the record: it never moves.
    bike_state(const bike_state&) = delete;
    bike_state& operator=(const bike_state&) = delete;
};

// ---- lifecycle ---------------------------------------------------------------
// Builds a bike of the named model (an unknown name falls back to a model of
// its size class) in slot 0..159, with the setup's number and graphics
// choices; the model and texture files need not exist. A bike already in
// the slot is destroyed first. Null for a slot outside 0..159 or without a
// physics world.
bike_state* create_bike(const char* model_name, int slot, bool local_robot, const bike_setup& setup);
// Removes the joints, then the bodies, and empties the slot.
void destroy_bike(bike_state* bike);
void destroy_all_bikes();
// Back to the model's pose at the origin, at rest, with the dynamic state
// cleared and the rider seated.
void reset_bike(bike_state& bike);
// Moves all seven bodies by the offset.
void translate_bike(bike_state& bike, double dx, double dy, double dz);
// Sets every body's rotation to the rotation about the axis by the angle (not
// composed with the current one: meant for a bike in its reset pose) and
// rotates its position about the world origin.
void rotate_bike(bike_state& bike, double ax, double ay, double az, double angle);
// Every body moving at the speed along the frame's horizontal heading (its
// forward axis as it points), the wheels spinning to roll at it.
void roll_bike(bike_state& bike, double speed);
// Rebuilds the frame and rider masses for a rider mass distribution d
// (the share of the rider in the upper body), clamped to 0.33..0.5.
void set_rider_mass_distribution(bike_state& bike, double d);

// ---- activity ------------------------------------------------------------------
bool bike_is_active(const bike_state& bike);  // activity > 0.25
void activate_bike(bike_state& bike);
void deactivate_bike(bike_state& bike);
// Another bike touched this one.
void touch_bike(bike_state& bike);
// Each tic of a network-driven bike without a fresh state.
void fade_remote_bike(bike_state& bike);

// ---- slots ---------------------------------------------------------------------
bike_state* bike_in_slot(int slot);
// The model of a slot's bike; null (names "") for an empty or invalid slot.
const bike_info* bike_info_of(int slot);
const char* bike_model_name(int slot);
const char* bike_engine_class(int slot);
const bike_info& bike_model(const bike_state& bike);

// A bike's frame body: position, orientation (columns: its x, y and z axes
// in world coordinates) and velocity.
struct bike_pose {
    std::array<double, 3> position{};
    std::array<std::array<double, 3>, 3> axes{};
    std::array<double, 3> velocity{};
};
// The frame body of a slot's bike; false when the slot has none.
bool frame_pose(int slot, bike_pose& pose);

// ---- bodies and joints -----------------------------------------------------------
void get_body_position(const bike_state& bike, bike_body body, double out[3]);
void get_body_rotation(const bike_state& bike, bike_body body, double out[9]);  // row-major 3×3
void get_body_quaternion(const bike_state& bike, bike_body body, double out[4]);  // w, x, y, z
void get_body_velocity(const bike_state& bike, bike_body body, double out[3]);
void get_body_angular_velocity(const bike_state& bike, bike_body body, double out[3]);
// Positive when the front wheel is turned to the left.
double steering_angle(const bike_state& bike);
double steering_rate(const bike_state& bike);
// 0 fully extended, negative when compressed.
double swingarm_angle(const bike_state& bike);
double swingarm_rate(const bike_state& bike);
double fork_position(const bike_state& bike);
double fork_rate(const bike_state& bike);
// Wheel rotation relative to its fork or swingarm; the rate is positive while
// rolling forward.
double front_axle_angle(const bike_state& bike);
double front_axle_rate(const bike_state& bike);
double rear_axle_angle(const bike_state& bike);
double rear_axle_rate(const bike_state& bike);
// The rider is on the bike (the mount is attached).
inline bool rider_on_bike(const bike_state& bike) { return bike.crash_countdown == 0; }

// Cancels what the solver leaves of the joints' internal forces: applies the
// negated sum of all joint feedback forces, and of their torques and moments
// about the frame, to the frame. Part of the force step while the rider is on
// the bike; the race runs it only after its second tic.
void joint_force_correction(bike_state& bike);
