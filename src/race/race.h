// The race as the rest of the game reads it: the race clock, the 160 slots
// with their kind and lap timing, the running order, and the timing queries
// (laps, lap times, finishing, the cutting penalty). Everything here lives on
// the main thread; the tic itself and the reset are in race_tic.h.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "race/timing_gates.h"

constexpr int race_slot_count = 160;
constexpr int tics_per_second = 128;
// Free riding starts with the clock this far on, so the starting gate is
// long open.
constexpr int free_riding_start_tic = 300 * tics_per_second;
// Lap counts and half-way laps of a timed race before they are decided.
constexpr int undecided_laps = 1000000;

// Slot types.
constexpr int local_slot = 0;     // the local human rider
constexpr int replayed_slot = 1;  // demo rider, ghost or remote rider
constexpr int robot_slot = 2;

// The race clock; all times in tics.
struct race_clock {
    int tic = 0;
    int gate_drop_tic = 0;   // when the starting gate falls
    int playback_delay = 0;  // replayed slots lag this far behind `tic`
    int race_time = 0;       // 0: a race decided by laps alone
    int extra_laps = 0;      // the laps setting
    int race_laps = 0;       // laps the leader must complete
    int halfway_lap = 0;     // lap shown as half-way
    float off_course_bias = 10;  // seconds
    float off_course_scale = 1.5f;
    int start_flagger_time = 640;
    bool free_riding = false;  // slot 0 rides alone against the lap ghost
    bool online = false;
    bool results_written = false;  // the standings are frozen
    // The slot whose rider the camera follows and whose bike takes the local
    // controls: chosen by each reset, changed by the frame loop's keys.
    int viewed_slot = 0;
};
extern race_clock race;

// Lap timing of one rider.
struct slot_timing {
    int gates_passed = 0;        // the next sequence position to pass
    std::vector<int> gate_tics;  // per position: tic passed, or -1 when skipped
    bool finished = false;
};

struct race_slot {
    bool has_rider = false;  // a bike was made for this slot (timing counts it)
    int type = replayed_slot;
    std::string name;
    std::string number;  // rider number as the plate shows it
    std::string model;   // bike model name
    slot_timing timing;
    float start_point[3] = {};  // where the bike stood on the grid
    int false_start_penalty = 0;  // tics left
};
extern std::array<race_slot, race_slot_count> race_slots;

struct running_entry {
    int slot = 0;
    int gates_passed = 0;
    int last_tic = 0;  // tic of the last position passed
};
// Leader first; rebuilt by update_running_order.
const std::vector<running_entry>& running_order();

// ---- the track's timing --------------------------------------------------------
// The loaded track's gates, lap lists and start positions.
const timing_data& track_timing();
// Replaces them (the track load; tests).
void set_track_timing(timing_data data);
bool timing_active();
int first_lap_length();   // F
int normal_lap_length();  // N
// The gate index of sequence position p (the entry mark stripped); -1 for a
// position before 0 or without timing.
int gate_of_sequence_position(int p);
// p is the last position of a lap.
bool is_finish_line(int p);

// ---- per rider ---------------------------------------------------------------------
int laps_completed(int slot);
int gate_in_lap(int slot);
// Seconds; 0 when lap k is out of range or either end was skipped. A
// negative k is the last completed lap.
float lap_time(int slot, int k);
// The rider's fastest lap among laps 2 and later, in tics; 0 when none.
int best_lap_tics(int slot);
// Whether the rider has finished; marks it the first time it is.
bool is_finished(int slot);
// The rider no longer keeps the race open although not finished: offline a
// replayed (demo) rider with no state in its history from the last 10 s,
// online a remote rider without a fresh state. The local rider and robots
// are never exempt.
bool rider_exempt(int slot);
// Every rider of the running order has finished or is exempt.
bool race_over();
// Stores tic at position (gaps become -1). Positions below 0 or beyond
// max_sequence_positions are refused: false.
constexpr int max_sequence_positions = 1 << 16;
bool set_gate_tic(int slot, int position, int tic);
// gates_passed = count, gate_tics cut to at most count entries; going back
// clears the finished mark.
void truncate_gates(int slot, int count);
// The gate check of one tic with this test point (the front wheel centre).
void gate_check(int slot, const float point[3]);

// ---- the whole race ------------------------------------------------------------------
// Rebuilds the running order and decides a timed race's length. Does
// nothing once the results are written.
void update_running_order();
// Reference time in tics for the stretch of positions from..to: the mean
// over the riders that rode it without a gap, or 7680 (60 s) when none did.
int section_reference_time(int from, int to);

struct cutting_charge {
    int tics = 0;        // added to the final tic
    int laps_taken = 0;  // laps taken off the count of passed positions
    int counted_positions = 0;  // gates_passed after the laps were taken
};
cutting_charge cutting_penalty(int slot);

// Online: the rider is off course at position k.
bool off_course_at(int slot, int k);
// Online: whether a remote bike enters the local bike's collision pass
// (its newest state is fresh; the rest is the off-course rule).
bool remote_collides(int local, int remote, bool remote_fresh);

// Every slot empty and the clock at its defaults; the track's timing stays.
void clear_race_state();
// Every rider's lap timing and the running order back to empty (a reset).
void clear_race_timing();
