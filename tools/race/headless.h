// A race with no window or sound: the data roots, the track list, the
// physics world and the race's, track objects' and robots' parts wired as
// the game wires them.
#pragma once

#include <string>

// data_root: the folder holding "zzzz.saf" (empty: the program's own
// folder); home: the player's folder (empty: a fresh temporary one).
bool headless_init(const std::string& data_root, const std::string& home, const char* argv0);
void headless_free();
// The frame's speed, ft/s.
double slot_speed(int slot);
// A 64-bit digest of every bike's bodies (position, rotation, velocities):
// two runs that print the same digest rode the same race, bit for bit.
unsigned long long race_state_digest();
