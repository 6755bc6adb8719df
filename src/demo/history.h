// The per-slot state history: the last 128 compact states of each slot's
// bike, stamped with their tics and kept sorted by tic in a ring. Replayed
// slots are driven from it, the recorder writes from it, and (later) the
// network client fills it.
#pragma once

#include <array>

#include "bike/compact_state.h"

constexpr int history_length = 128;
constexpr int history_slot_count = 160;

struct state_history {
    std::array<int, history_length> history_tics;  // -1: empty
    std::array<compact_state, history_length> history_states;
    int history_newest = 0;     // index of the newest entry; older ones run backwards from it
    int history_unwritten = 0;  // entries added since the recorder last wrote the slot
};

// Every history empty: tics -1, states zero, newest 0, nothing unwritten.
void clear_histories();
// One slot's history emptied (a slot given to a new rider).
void clear_history(int slot);
// The history of slot 0..159 (an empty one for any other number).
const state_history& slot_history(int slot);

// Inserts a state for the tic, keeping the ring sorted. A state for a tic
// already kept changes nothing; one older than everything in a full ring
// is dropped. A slot outside 0..159 is reported and stores nothing.
void add_state_to_history(int slot, const compact_state& state, int tic);

// What drives a replayed slot at one tic: the state itself and the kept
// states it lies between (for the bodies' velocities), n tics apart.
struct history_sample {
    compact_state target{};
    compact_state older{}, newer{};
    int n = 1;
};
// The state for tic t: the kept state of that tic, or the one interpolated
// (past the newest, extrapolated by at most 64 tics) between the newest
// kept state before t and the next newer one. False when the history is
// empty.
bool history_state_at(int slot, int t, history_sample& out, int version = compact_state_v6);

// The newest kept tic, or -1.
int newest_history_tic(int slot);
// Some kept state lies in from..to (tics, inclusive).
bool history_has_state_between(int slot, int from, int to);
// The recorder has written the slot's unwritten entries.
void mark_history_written(int slot);
