// The program's one pseudo-random generator: a plain 32-bit state that
// every simulation user seeds itself, so that a run repeats bit for bit.
#pragma once

#include <cstdint>

struct random_state {
    uint32_t state = 1;
};

// Any seed is fine; 0 is mapped to a fixed non-zero state.
void random_seed(random_state& r, uint32_t seed);
uint32_t next_u32(random_state& r);
// Uniform in [0, 1): the top 24 bits, so every value is exact in a float.
float next_unit(random_state& r);
