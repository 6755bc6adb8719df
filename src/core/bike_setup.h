// A rider's bike setup: the values that the configuration file and the setup
// files under "@setups/" carry as the bike-setup keys. Bikes are built from a
// model of the bike table and one of these.
#pragma once

#include <string>

struct bike_setup {
    // identity and graphics
    int bike = 0;  // index into bike_model_names
    std::string name = "Joe Motocross";
    std::string number = "999";
    std::string rider_texture = "default";
    std::string head_texture = "default";
    std::string bike_texture = "default";
    std::string wheel_texture = "default";

    // stability master and the advanced values it sets
    double stability = 100;
    double leveling = 20;
    double roll_damping = 80;
    double roll_limit_angle = 45;
    double roll_limit_factor = 32;
    double steering_damping = 60;
    double steering_strength = 75;
    double max_steering_force = 400;
    double direct_steering = 0.125;
    double slow_damping_speed = 40;
    double slow_damping_factor = 2;
    double land_damping_falloff = 0.25;
    double land_damping_factor = 2;
    double full_lock_speed = 10;
    double restricted_lock_speed = 50;
    double restricted_lock = 1;

    // riding aids: item indexes of their choices
    int arcade = 1;            // "No", "Yes"
    int front_brake = 1;       // "Normal", "Antilock"
    int rear_brake = 0;        // "Normal", "Antilock"
    int stop_wheelies = 1;     // "No", "Yes", "Front Only"
    int auto_shift = 1;        // "No", "Yes"
    int auto_dab = 1;          // "No", "Yes"
    int auto_align = 1;        // "No", "Yes"
    int sticky_dab = 0;        // "No", "Yes"
    int reverse_steering = 1;  // "No", "Yes"
    int lean_indicator = 1;    // "No", "Yes"

    // adjustments
    double auto_clutch_rpms = 5000;
    double brake_torque = 500;
    double rear_brake_torque = 250;
    double max_dab_speed = 60;
    double front_sprocket_adjustment = 0;
    double rear_sprocket_adjustment = 0;
    double fork_compression_adjustment = 50;
    double fork_slow_compression_adjustment = 50;
    double fork_rebound_adjustment = 50;
    double fork_slow_rebound_adjustment = 50;
    double fork_spring_rate_adjustment = 50;
    double fork_preload_adjustment = 50;
    double fork_oil_level_adjustment = 50;
    double shock_compression_adjustment = 75;
    double shock_slow_compression_adjustment = 50;
    double shock_rebound_adjustment = 75;
    double shock_slow_rebound_adjustment = 50;
    double shock_spring_rate_adjustment = 50;
    double shock_preload_adjustment = 50;
    double rider_yspring = 50;
    double rider_ydamping = 50;
    double rider_zspring = 50;
    double rider_zdamping = 50;
    double rider_mass_distribution = 0.33;
};

// The local player's setup, read from and written to the configuration.
extern bike_setup player_setup;
