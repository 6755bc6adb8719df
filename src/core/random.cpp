// xorshift32 with a multiplicative output scramble: cheap, no tables, and
// the same sequence on every platform.
#include "core/random.h"

void random_seed(random_state& r, uint32_t seed) {
    // Spread nearby seeds apart; the generator's state must never be 0.
    uint32_t s = seed * 0x9E3779B9u + 0x7F4A7C15u;
    r.state = s ? s : 0x6D2B79F5u;
}

uint32_t next_u32(random_state& r) {
    uint32_t x = r.state;
    if (x == 0) x = 0x6D2B79F5u;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    r.state = x;
    return x * 0x2545F491u;
}

float next_unit(random_state& r) { return (float)(next_u32(r) >> 8) * (1.0f / 16777216.0f); }
