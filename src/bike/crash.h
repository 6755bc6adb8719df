// The rider coming off the bike and getting back on: the overload test of
// simulation physics, the crash itself (the rider mount let go, the rider a
// free body held by its arms, the feet loose), the knocked-out time and the
// pull back onto the seat.
#pragma once

#include <array>

struct bike_state;

// Knocked-out time in tics by the number of crashes so far (the last entry
// for every later one); all zero unless a server sets them.
constexpr int knockout_entries = 16;
constexpr int knockout_max_tics = 460800;
// Takes up to 16 entries, each clamped to 0..knockout_max_tics; the rest
// become 0. A null or empty list clears the table.
void set_knockout_table(const int* tics, int count);
const std::array<int, knockout_entries>& knockout_table();

bool rider_is_down(const bike_state& bike);

// The overload test at the start of the rider code (simulation physics
// only, rider on the bike); then the rider body's velocity enters its
// four-tic history, which the next tests read.
void crash_check(bike_state& bike, int tic);
// The rider comes off, unless already down or just hit by another bike's
// front end (collision_timer below 0).
void crash(bike_state& bike);
// Each tic while the rider is down, after the bike's own force step:
// arm tethers, the knocked-out count, the pull back and re-attachment.
void crash_step(bike_state& bike);
// Each tic for every bike, active or not: the feet on the pegs (or the
// ground) while the rider is on, loose particles while down.
void feet_step(bike_state& bike);
