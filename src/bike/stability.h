// Steering and the aids that keep a simulated bike rideable: simulation
// steering (roll damping, leveling, roll limit, slow and landing damping,
// lock limits, the roll-rate servo), arcade steering (lean servo, steering
// servo, tail damper), steering damping, backing up, dabbing and
// realigning after a fall. Each runs inside rider_step.
#pragma once

#include "bike/bike.h"
#include "bike/body_math.h"

struct rider_clock;

// ---- pieces with no side effects -----------------------------------------------------
// Steering lock (rad) at wheel speed W (ft/s, at least 1) on ground whose
// first friction coefficient is mu0 (at least 0.125): full lock π/4 up to
// full_lock_speed, the restricted lock, widened on slippery ground, from
// restricted_lock_speed on.
double steering_lock(const bike_state& bike, double wheel_speed, double mu0);
// The steering angle at which the front wheel would point along its own
// motion, measured in the upper fork's frame; 0 when it barely moves.
double natural_steering_angle(const bike_state& bike);
// How hard steering works against the lean, 0..1, from the lean λ, natural
// angle N, steering angle, lock L and wheel speed w. A lock of 0 (a legal
// "Restricted Lock Angle") makes the ramp a step.
double steer_limit_indication(double lean, double natural, double angle, double lock, double wheel_speed);
// The countersteering command -1..1 that brings the roll rate omega_z to the
// rate that leans the bike toward -steer × roll_limit_angle (dead band
// 1/8 rad/s).
double roll_rate_servo(double steer, double lean, double omega_z, double roll_limit_angle);
// Arcade steering servo: the command for a target angle against the angle
// and rate (before × steering_strength).
double arcade_steering_command(double target, double angle, double rate);
// Back-up pulse 0..1, one push per second of race tic.
double back_up_pulse(int tic, int race_start_tic);
// The lean angle below which dabbing gives way, at frame speed v with
// dab speed m (before the 1.25 margin).
double dab_limit_angle(double v, double m, double roll_limit_angle);
// The dab speed in use: max_dab_speed, at least 75 ft/s just after being hit.
double dab_speed(const bike_state& bike);
// Tire grip in arcade physics: less the further the bike leans.
float arcade_grip_factor(double lean);

// ---- steps -------------------------------------------------------------------------
// Unit steering axis in world coordinates (from the lower to the upper fork
// point, turned with the frame).
dvec3 steering_axis(const bike_state& bike);
// Torque q about the steering axis on the front wheel, -q on the frame.
void apply_steering_torque(bike_state& bike, double q);
// A force on the body toward the target velocity, never vertical, fading
// in over the first 1.25 ft/s of difference (nothing within 0.25 ft/s).
void horizontal_velocity_servo(dBodyID body, double strength, dvec3 target);
// A one-tic angular motor on one body; the axis is in the body's frame when
// relative (and turns with it), else in world coordinates.
void one_tic_angular_motor(dBodyID body, dvec3 axis, bool relative, double rate, double max_torque);

void simulation_steering(bike_state& bike);
void arcade_steering(bike_state& bike);
void steering_damping_step(bike_state& bike);
void back_up_step(bike_state& bike, const rider_clock& clock);
void dab_when_stopped(bike_state& bike);
// Dabbing after the joint correction; it may realign a fallen bike toward
// its riding line.
void dabbing_step(bike_state& bike);
// Turns the stopped, fallen bike toward its riding line. True when the dab
// forces are to be skipped for this tic.
bool realign_step(bike_state& bike);
