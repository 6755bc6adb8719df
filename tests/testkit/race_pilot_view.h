// What the test kit's pilot sees of a bike riding the real race: shared by
// the race tests and the tools that ride tracks headless.
#pragma once

#include <algorithm>
#include <cmath>

#include "bike/bike.h"
#include "bike/rider_control.h"
#include "core/bike_setup.h"
#include "core/controls.h"
#include "race/race.h"
#include "testkit/pilot.h"
#include "track/height_field.h"

// What the pilot sees of a slot's bike: where it is, how it points and
// moves, the ground ahead and the gates to come.
inline pilot_view view_of(int slot) {
    const bike_state& b = *bike_in_slot(slot);
    double p[3], v[3], r[9], w[3];
    get_body_position(b, body_frame, p);
    get_body_velocity(b, body_frame, v);
    get_body_rotation(b, body_frame, r);
    get_body_angular_velocity(b, body_frame, w);
    pilot_view view;
    view.x = p[0];
    view.z = p[2];
    double fl = std::max(std::hypot(r[2], r[8]), 1e-9);
    view.forward_x = -r[2] / fl;
    view.forward_z = -r[8] / fl;
    view.speed = v[0] * view.forward_x + v[2] * view.forward_z;
    view.yaw_rate = -w[1];  // turning left is a positive turn about +y
    view.front_down = wheel_touches(b.front_contact);
    view.both_wheels_down = view.front_down && wheel_touches(b.rear_contact);
    view.airborne = !view.front_down && !wheel_touches(b.rear_contact);
    view.pitch = std::asin(std::clamp(-r[5], -1.0, 1.0));
    view.pitch_rate = pitch_rate(b);
    view.climb = std::atan2(v[1], std::max(std::hypot(v[0], v[2]), 1e-9));
    view.has_ground = true;
    for (int k = 0; k < pilot_view::ground_samples; k++) {
        double d = k * pilot_view::ground_step;
        view.ground[(size_t)k] = height_at((float)(p[0] + view.forward_x * d), (float)(p[2] + view.forward_z * d));
    }
    int next = race_slots[(size_t)slot].timing.gates_passed;
    if (int g = gate_of_sequence_position(next - 1); g >= 0) {
        const timing_gate& gate = track_timing().gates[(size_t)g];
        view.previous_gate = {gate.centre[0], gate.centre[2]};
        view.has_previous_gate = true;
    }
    for (int k = 0; k < (int)view.gates.size(); k++) {
        int g = gate_of_sequence_position(next + k);
        if (g < 0) break;
        const timing_gate& gate = track_timing().gates[(size_t)g];
        view.gates[(size_t)k] = {gate.centre[0], gate.centre[2]};
        view.gate_count = k + 1;
    }
    return view;
}

// The controls a pilot command makes, as a player's would reach the bike
// (with the player's reversed steering).
inline control_values pilot_controls(const pilot_command& cmd) {
    control_values c{};
    c[steer_control] = player_setup.reverse_steering ? -cmd.steer : cmd.steer;
    c[throttle_control] = cmd.throttle;
    c[front_brake_control] = cmd.front_brake;
    c[rear_brake_control] = cmd.rear_brake;
    c[lean_control] = cmd.lean;
    return c;
}
