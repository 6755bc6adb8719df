// A small deterministic random stream (xorshift32) for the generators. The
// salt keeps streams of different generators apart for the same seed.
#pragma once

#include <cstdint>

struct dice {
    uint32_t state;
    dice(uint32_t seed, uint32_t salt) : state(seed * 2654435761u + salt) {}
    // Uniform in [0, 1), 24 bits.
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return (state & 0xffffff) / 16777216.0;
    }
    double range(double a, double b) { return a + (b - a) * next(); }
};
