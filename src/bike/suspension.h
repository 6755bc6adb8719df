// Fork and rear shock. Neither is a spring between bodies: each is a joint
// motor (the fork slide's, the swingarm pivot's) whose target velocity and
// maximum force are set every tic from a spring, a two-stage damper and,
// for the fork, an air spring; the shock works through a progressive
// linkage that turns swingarm travel into shock stroke.
#pragma once

#include "bike/bike.h"

// Damping force for an extension speed v (positive while extending): the
// high-speed coefficient makes it proportional to speed, the low-speed
// constant adds a bleed offset, and the result stays within a factor of 8
// of the proportional part, so it vanishes at rest.
float two_stage_damper(float v, float hs_compression, float ls_compression, float hs_rebound, float ls_rebound);

// ---- setup -------------------------------------------------------------------------
// Menu adjustments (0..100) to their factors: high-speed 2^(v/25 - 2) in
// 0.25..4, low-speed v/50 - 1 in -1..1, fractions v/100 in 0..1.
float high_speed_factor(double adjustment);
float low_speed_offset(double adjustment);
float setup_fraction(double adjustment);

// Factors and fractions into the bike's constants (clamped as above).
void set_fork_setup(bike_state& bike, float hs_compression, float ls_compression, float hs_rebound, float ls_rebound,
                    float spring, float preload, float oil);
void set_shock_setup(bike_state& bike, float hs_compression, float ls_compression, float hs_rebound, float ls_rebound,
                     float spring, float preload);
// The thirteen suspension adjustments of a setup.
void apply_suspension_setup(bike_state& bike, const bike_setup& setup);
// What a new bike starts with (robots keep it).
void set_default_suspension(bike_state& bike);

// ---- force laws ----------------------------------------------------------------------
// Gas spring of the air above the fork oil: 0 fully extended, rising
// steeply toward full compression.
float fork_air_spring(float travel, float air_gap, float compression);
// Fork force toward extension at slide position x (0 extended, -travel
// compressed) and rate v; it fades to 0 over the last 1/32 of travel.
float fork_force(const bike_state& bike, float x, float v);

struct linkage_point {
    float stroke;  // ft
    float slope;   // ft of stroke per unit of travel fraction
};
// Shock stroke against travel fraction t (0..1): two cubic Hermite pieces
// that meet at the model's break point.
linkage_point linkage_curve(const bike_info& info, float t);
// Torque toward extension at the swingarm angle theta (0 extended,
// -swingarm_travel compressed) and rate omega.
float shock_torque(const bike_state& bike, float theta, float omega);

// Sets both motors for the next world step.
void suspension_step(bike_state& bike);

// The suspension graph's six values.
struct suspension_sample {
    float fork_compression;      // fraction of travel
    float fork_speed;            // extension speed, ft/s
    float fork_low_speed_share;  // 0..1
    float shock_travel;          // fraction of travel
    float shock_speed;           // stroke speed
    float shock_low_speed_share;
};
suspension_sample suspension_telemetry(const bike_state& bike);
