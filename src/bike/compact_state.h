// The compact state of a bike and its rider: 39 bytes that demos and the
// race server carry (the frame's place and orientation, the rider's offset
// and orientation, steering, suspension and wheel angles, gear, throttle,
// crash and dab status, engine speed), the interpolation between two of
// them, and how a state drives a bike. Positions are fractions of the
// loaded height field's extent, so a state means something only on the
// track it was made on.
//
// The oldest demos (version 4) hold a 26-byte layout; it is decoded here
// too, kept in the first 26 bytes of a compact_state.
#pragma once

#include <array>
#include <cstdint>

struct bike_state;

constexpr int compact_state_bytes = 39;
constexpr int compact_state_v4_bytes = 26;
using compact_state = std::array<uint8_t, compact_state_bytes>;

// Demo format versions whose states a compact_state can hold.
constexpr int compact_state_v4 = 4;  // 26 bytes, the rider placed on its slide
constexpr int compact_state_v6 = 6;  // 39 bytes (versions 5 and 6, the network)

// The status byte's low bits when the rider is off the bike.
constexpr int status_rider_down = 7;

// The state of the bike's bodies and joints now.
compact_state encode_state(const bike_state& bike);

// The state between a (t = 0) and b (t = 1); beyond 1 the positions,
// suspension, steering and engine speed are extrapolated, the orientations
// stay at b. Version 4 states are not interpolated: the result is a.
compact_state interpolate_state(const compact_state& a, const compact_state& b, double t,
                                int version = compact_state_v6);

// Drives the bike to the target state. A bike that is not simulated here
// (activity 0.25 or below) has its seven bodies rebuilt from the state,
// moving as from older to newer over n tics; a simulated one is pulled
// toward the target by a force and a torque on the frame, its controls set
// so that its own simulation follows.
void apply_state(bike_state& bike, const compact_state& target, const compact_state& older,
                 const compact_state& newer, int n, int version = compact_state_v6);

// The rider is off the bike in this state.
inline bool state_rider_down(const compact_state& s, int version = compact_state_v6) {
    return (s[version == compact_state_v4 ? 23 : 36] & 7) == status_rider_down;
}
