// What the track's objects read of the race, which sits above them: the
// clock, the lap lists, the running order and which riders are down. The
// game fills this table with the race's answers at start-up (fill_race_parts);
// an entry left null reads as "no race" (tic 0, no timing, nobody running),
// so flaggers stand still and cameras never switch.
#pragma once

#include <vector>

// A lap-list entry of gate + this mark counts like the gate itself here.
constexpr int lap_entry_mark = 100000;
// Gate numbers the objects keep per-gate state for.
constexpr int object_gate_limit = 256;

struct race_length_values {
    int race_time = 0;    // tics; 0 for a race decided by laps alone
    int race_laps = 0;    // laps the leader must complete
    int extra_laps = 0;   // the "laps" setting
    int halfway_lap = 0;  // lap shown as half-way
};

struct object_race_driver {
    int (*tic)() = nullptr;
    int (*gate_drop_tic)() = nullptr;
    // The two lap lists as stored (entries may carry lap_entry_mark) and the
    // gate count; false when the track has no timing.
    bool (*lap_lists)(const std::vector<int>*& first_lap, const std::vector<int>*& normal_lap,
                      int& gate_count) = nullptr;
    void (*race_length)(race_length_values& out) = nullptr;
    // The running order's slots, leader first, at most `max`; returns how many.
    int (*running_order)(int* slots, int max) = nullptr;
    int (*gates_passed)(int slot) = nullptr;
    bool (*rider_is_down)(int slot) = nullptr;
    // Online: a replayed slot other than our own whose newest state is a
    // second old or more (its rider is not trusted to be down).
    bool (*stale_remote)(int slot) = nullptr;
};
extern object_race_driver object_race;

// The lap lists as the objects see them; empty without timing.
struct lap_view {
    const std::vector<int>* first_lap = nullptr;
    const std::vector<int>* normal_lap = nullptr;
    int first = 0, normal = 0;  // list lengths F and N
    int gate_count = 0;
};
lap_view current_laps();
// The gate a rider who has passed `position` sequence positions heads for:
// entry p of the first lap while p < F, else entry (p - F) mod N of the
// normal lap (entry 0 of the first lap when N is 0), mark stripped. -1 when
// the lists give no usable gate.
int gate_of_position(const lap_view& laps, int position);
// The race clock and the start of the race, 0 without a race.
int race_tic();
int race_gate_drop_tic();
