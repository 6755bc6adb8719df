#include "sound/placement.h"

#include <algorithm>
#include <cmath>

#include "render/frame_draw.h"
#include "sound/engine_sound.h"

sound_placement place_sound(const sound_listener& l, const std::array<double, 3>& position,
                            const std::array<double, 3>& velocity) {
    sound_placement p;
    double d[3], d2 = 0;
    for (int k = 0; k < 3; k++) {
        d[k] = l.position[(size_t)k] - position[(size_t)k];
        d2 += d[k] * d[k];
    }
    double dist = std::sqrt(d2);
    p.attenuation = std::max(1.0, 1 + (dist - 1) / 48);
    // Closer than 1/32 ft there is no direction to speak of.
    if (!(d2 >= 1.0 / 1024)) return p;
    double n[3] = {d[0] / dist, d[1] / dist, d[2] / dist};
    double listener_along = 0, source_along = 0, right = 0;
    for (int k = 0; k < 3; k++) {
        listener_along += l.velocity[(size_t)k] * n[k];
        source_along += velocity[(size_t)k] * n[k];
        right += n[k] * l.orientation[(size_t)(3 * k)];  // the first column
    }
    double P = 1 - listener_along / speed_of_sound;
    double Q = 1 - source_along / speed_of_sound;
    // Also what a source at or past the speed of sound gets.
    p.doppler = P <= 8 * Q ? P / Q : 0.125;
    if (!std::isfinite(p.doppler)) p.doppler = 0.125;
    p.pan = std::clamp(-right, -1.0, 1.0);
    return p;
}

int placed_rate(const sound_placement& p, double base_rate) {
    double rate = p.doppler * base_rate;
    if (!std::isfinite(rate)) rate = base_rate;
    return (int)std::clamp(rate, 100.0, 1000000.0);
}

int placed_pan(const sound_placement& p) { return (int)(p.pan * 32767); }
