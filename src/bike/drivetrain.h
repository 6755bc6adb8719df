// Engine, clutch, gearbox, chain and brakes. The engine is one angular
// speed driven by the model's torque curves and coupled to the rear wheel
// through a stiff, damped, slipping spring that stands for clutch, gearbox
// and chain; the brakes are the axle hinges' motors.
#pragma once

#include "bike/bike.h"

// Engine torque (lbf·ft) at the current speed and throttle, with the
// wheelie engine cut applied.
float engine_torque(const bike_state& bike);
// engine_speed in rpm.
float engine_rpm(const bike_state& bike);
// Crank turns per rear-wheel turn in the current gear.
float drive_reduction(const bike_state& bike);

// Clutch engagement this tic: the lever's, limited by the automatic clutch
// (open below auto_clutch_rpm, closing over the next 2000 rpm).
float clutch_engagement(const bike_state& bike);

// Edge-triggered gear change: a held request changes gear once. Ignored
// while the rider is off the bike.
void shift(bike_state& bike, int request);

// Each adjustment clamped to -2..2 teeth.
void set_sprockets(bike_state& bike, double countershaft_adjustment, double rear_adjustment);
void set_brake_torques(bike_state& bike, double front, double rear);  // 0..500 lbf·ft
void set_auto_clutch_rpm(bike_state& bike, double rpm);                // 0..5000
void set_flag(bike_state& bike, uint8_t flag, bool on);
// "Stop Wheelies": 0 "No", 1 "Yes", 2 "Front Only".
void set_stop_wheelies(bike_state& bike, int choice);

// The per-tic step: automatic shifting (on tics that are multiples of 32),
// the coupling torque between engine and rear wheel, engine speed, and the
// brake motors for the next world step.
void drivetrain_step(bike_state& bike, int tic);

// ---- applying a setup ------------------------------------------------------------
// The drivetrain and rider-aid switches of a setup: sprockets, brake
// torques, auto clutch, automatic shifting, "Stop Wheelies", antilock.
void apply_drivetrain_setup(bike_state& bike, const bike_setup& setup);

// A mechanic only works on a bike that stands still: the setup is applied
// (suspension, drivetrain and rider aids) only while the frame moves at 0.125 ft/s or
// less. A refusal within 10 s of the previous refusal shows "Settings not
// applied.  Mechanic can't keep up error."; now is in seconds on any
// steady clock. True when applied.
bool apply_bike_setup(bike_state& bike, const bike_setup& setup, double now);
