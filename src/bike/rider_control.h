// The rider: how one tic's controls are stored, the player's input turned
// into them, the rider-aid settings, the springs that hold the rider's
// upper body on the bike, and the per-bike force step that runs all of the
// bike's own work between two world steps.
#pragma once

#include <array>

#include "bike/bike.h"
#include "core/bike_setup.h"
#include "core/controls.h"

// ---- controls ------------------------------------------------------------------
// Each setter clamps to the control's range (a value that is not a number
// counts as 0). Throttle, sit, back-up and lean stay 0 while the rider is
// off the bike.
void set_throttle(bike_state& bike, float value);     // 0..1
void set_clutch(bike_state& bike, float value);       // 0..1, engagement
void set_front_brake(bike_state& bike, float value);  // 0..1
void set_rear_brake(bike_state& bike, float value);   // 0..1
void set_steer(bike_state& bike, float value);        // -1..1, +1 full right
void set_sit(bike_state& bike, float value);          // 0..1
void set_back_up(bike_state& bike, float value);      // 0..1
void set_lean(bike_state& bike, float value);         // -1..1, +1 full back
// -1, 0 or +1 (anything else is 0), stored and handed to the gear shift,
// which changes gear once per new request.
void set_shift_request(bike_state& bike, int request);

// The player's choices that shape how the input is read.
struct rider_input_options {
    bool reverse_steering = true;  // "Reversed Steering": left input steers left
    bool sticky_sit = false;       // "Sticky Sit/Dab": each press toggles
};
rider_input_options rider_input_options_of(const bike_setup& setup);

// The nine input values of a tic in the bindings' order (steer, throttle,
// front brake, rear brake, shift, clutch lever, sit/dab, back up, lean;
// see control_index) into the bike's stored controls. The clutch follows
// the lever with a quarter-second ramp when closing; the shift axis beyond
// ±0.5 is a gear request.
using player_input = std::array<float, control_count>;
void apply_player_input(bike_state& bike, const player_input& input, const rider_input_options& options = {});

// ---- settings ----------------------------------------------------------------------
// The rider-aid values of a setup (the stability values, dab speed, lock
// limits, rider springs, mass distribution, arcade physics and the dab and
// realign switches), clamped; applied with the rest of a setup to a
// standing bike.
void apply_rider_setup(bike_state& bike, const bike_setup& setup);
// A server may forbid arcade physics: then every bike rides with simulation
// physics whatever its setting.
void set_arcade_forbidden(bool forbidden);
bool arcade_forbidden();
bool arcade_physics(const bike_state& bike);

// ---- the frame as the rider feels it ------------------------------------------------
// Lean angle: positive leaning to the left, 0 upright; from the frame's up
// axis against the horizontal direction to the bike's right. A frame whose
// long axis points straight up or down takes its right from its own x axis.
double lean_angle(const bike_state& bike);
// Angular velocity about the frame's own z axis (positive while leaning
// further left) and x axis (positive nose-up).
double roll_rate(const bike_state& bike);
double pitch_rate(const bike_state& bike);
double bike_frame_speed(const bike_state& bike);
inline bool wheel_touches(const wheel_contact& w) { return w.depth > 0.0f; }

// ---- the force step ----------------------------------------------------------------
// The race clock as the force step needs it.
struct rider_clock {
    int tic = 0;             // the race tic
    int race_start_tic = 0;  // when the race started (the gate drop)
};

// The springs that hold the rider's upper body at its neutral point on the
// frame (lower while seated, back or forward with the lean), and the rider
// mount's damping, as one-tic joints: the lean spring a contact that only
// pushes, the sit spring a two-sided row; run by rider_step.
void rider_springs(bike_state& bike);

// The bike's own work for the next world step, in order: collision timer,
// airborne bookkeeping, crash checks, back-up or dab-when-stopped, rider
// springs, suspension, steering and stability, drivetrain and brakes,
// steering damping, joint-force correction, dabbing and realign; then the
// sit and brake values this tic overrode are put back.
void rider_step(bike_state& bike, const rider_clock& clock);

// rider_step for an active bike, guarded: a bike whose state is not finite
// (or whose bodies were found far outside any track) before or after the
// step is put back on its wheels where it last was sound, with a log line
// the first time it happens to that bike. False when the bike was reset.
bool bike_force_step(bike_state& bike, const rider_clock& clock);
// Every body's position, orientation, velocities and accumulated force and
// torque, and the bike's own numbers, are finite.
bool bike_state_finite(const bike_state& bike);
// Resets a broken-down bike at its last sound position; the one-tic joints
// already made for it are let go first.
void recover_broken_bike(bike_state& bike);
