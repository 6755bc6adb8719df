// Where a sound is heard from: the listener's distance, Doppler pitch and
// side. The engine voices and the script sounds are placed alike.
#pragma once

#include <array>

struct sound_listener;

struct sound_placement {
    double doppler = 1;      // pitch factor
    double attenuation = 1;  // loudness divisor: 1 within a foot, 2 at 49 ft
    double pan = 0;          // -1 left .. 1 right of the listener
};
sound_placement place_sound(const sound_listener& listener, const std::array<double, 3>& position,
                            const std::array<double, 3>& velocity);
// The device rate of a sound made at base_rate, with the Doppler factor:
// clamped to 100..1000000.
int placed_rate(const sound_placement& p, double base_rate);
// The device pan: -32767..32767, positive right.
int placed_pan(const sound_placement& p);
