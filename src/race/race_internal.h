// Shared between the race's own files.
#pragma once

#include <cstdint>

// The track loader's timing-gates part: the file, the gate pieces as
// statues, and their release.
void load_track_timing(const char* name);
void free_track_timing();
void track_timing_counts(int& first_lap, int& normal_lap, int& gate_count);
// Every piece up, at rest and untouched.
void raise_starting_gate();
// The roost's own generator, seeded at each reset.
void seed_roost_random(uint32_t seed);
