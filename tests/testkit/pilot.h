// A scripted rider for the riding tests: it aims at the next timing gate,
// eases the throttle with the heading error and brakes before the turns.
// It sees only plain numbers (where the bike is, where it points, how fast
// it goes, where the next gates are), so a whole-lap ride on any track can
// use it, and so can whatever later rides a track to record its lines.
#pragma once

#include <array>

struct pilot_view {
    double x = 0, z = 0;                  // the frame's position
    double forward_x = 0, forward_z = -1; // horizontal unit vector it points along
    double speed = 0;                     // ft/s along forward
    double yaw_rate = 0;                  // rad/s, positive turning right
    bool airborne = false;                // neither wheel touches
    bool both_wheels_down = false;
    bool front_down = false;              // the front wheel touches
    double pitch_rate = 0;                // rad/s, positive nose rising
    double pitch = 0;                     // rad the nose points above the horizon
    double climb = 0;                     // rad the flight path points above it
    // Centres (x, z) of the next gates to pass, nearest first, and of the
    // gate passed last.
    std::array<std::array<double, 2>, 4> gates{};
    int gate_count = 0;
    std::array<double, 2> previous_gate{};
    bool has_previous_gate = false;
    // Ground heights straight ahead, ground_step ft apart from the bike on.
    static constexpr int ground_samples = 48;
    static constexpr double ground_step = 2;
    std::array<double, ground_samples> ground{};
    bool has_ground = false;
};

struct pilot_settings {
    double top_speed = 46;         // ft/s on the straights
    double corner_grip = 12;       // ft/s² of sideways acceleration it dares
    double braking = 10;           // ft/s² it plans to brake with
    double slowest = 14;           // ft/s, whatever the corner
    double rough_speed = 22;       // ft/s through whoops and rollers
    double rough_throttle = 0.3;   // at most, in them
    double rough_steer = 0.3;      // share of its steering it keeps in them
    double rough_settle = 16;      // ft before them it is down to that speed
    double jump_speed = 40;        // ft/s at the face of a jump
    double square_up = 40;         // ft before a jump's face it starts to stand the bike up
    double look_ahead = 18;        // ft ahead on the path it steers for, more when fast
    double steer_rate = 3;         // how fast the bars may move, full travel per second
    double yaw_damping = 0.15;     // how hard a turn rate off the wanted one is met
};

// Controls in the bike's stored sense: steer +1 full right.
struct pilot_command {
    double steer = 0;
    double throttle = 0;
    double front_brake = 0;
    double rear_brake = 0;
    double lean = 0;  // +1 full back
};

// Heading error toward (x, z): radians, positive when the point lies to the
// right.
double pilot_heading_error(const pilot_view& view, double x, double z);
// The speed it means to pass the next gate with.
double pilot_target_speed(const pilot_view& view, const pilot_settings& settings = {});
// What the pilot remembers from one tic to the next.
struct pilot_state {
    double steer = 0;
    int tics_on_ground = 0;  // since the last landing
    bool committed = false;  // on a jump's face, riding it out
};
// How far ahead the face of a jump begins; negative when none is near.
double pilot_jump_face_ahead(const pilot_view& view);
// How far ahead ground with more bumps in a row than a double begins (whoops,
// rollers); a negative number when the ground ahead has none.
double pilot_rough_ground_ahead(const pilot_view& view);
// One tic's controls.
pilot_command pilot_step(const pilot_view& view, pilot_state& state, const pilot_settings& settings = {});
