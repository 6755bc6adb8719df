#include "demo/history.h"

#include <algorithm>

#include "core/diag.h"
#include "race/race_tic.h"

namespace {

std::array<state_history, history_slot_count> g_histories;
const state_history g_empty = [] {
    state_history h;
    h.history_tics.fill(-1);
    h.history_states.fill(compact_state{});
    return h;
}();

int ring(int i) { return ((i % history_length) + history_length) % history_length; }

bool valid(int slot) { return slot >= 0 && slot < history_slot_count; }

}  // namespace

void clear_histories() { g_histories.fill(g_empty); }

void clear_history(int slot) {
    if (valid(slot)) g_histories[(size_t)slot] = g_empty;
}

const state_history& slot_history(int slot) { return valid(slot) ? g_histories[(size_t)slot] : g_empty; }

void add_state_to_history(int slot, const compact_state& state, int tic) {
    if (!valid(slot)) {
        show_message("add_state_to_history: slot out of range");
        return;
    }
    if (tic < 0) return;
    state_history& h = g_histories[(size_t)slot];
    // How many of the newest entries are newer than the state.
    int newer = 0;
    while (newer < history_length && h.history_tics[(size_t)ring(h.history_newest - newer)] > tic) newer++;
    if (newer == history_length) return;
    if (h.history_tics[(size_t)ring(h.history_newest - newer)] == tic) return;
    for (int k = 0; k < newer; k++) {
        int from = ring(h.history_newest - k);
        h.history_tics[(size_t)ring(from + 1)] = h.history_tics[(size_t)from];
        h.history_states[(size_t)ring(from + 1)] = h.history_states[(size_t)from];
    }
    int at = ring(h.history_newest - newer + 1);
    h.history_tics[(size_t)at] = tic;
    h.history_states[(size_t)at] = state;
    h.history_newest = ring(h.history_newest + 1);
    h.history_unwritten = std::min(h.history_unwritten + 1, history_length);
}

bool history_state_at(int slot, int t, history_sample& out, int version) {
    const state_history& h = slot_history(slot);
    // The newest kept state at or before t, and the one after it.
    int before = -1, after = -1;
    for (int k = 0; k < history_length; k++) {
        int i = ring(h.history_newest - k);
        int tic = h.history_tics[(size_t)i];
        if (tic < 0) break;
        if (tic <= t) {
            before = i;
            break;
        }
        after = i;
    }
    if (before < 0 && after < 0) return false;
    if (before < 0) {
        // Before everything kept: the oldest state as it is.
        out.target = out.older = out.newer = h.history_states[(size_t)after];
        out.n = 1;
        return true;
    }
    if (after < 0) {
        // Past the newest: extrapolated from the two newest, if there are two.
        int previous = ring(before - 1);
        if (h.history_tics[(size_t)previous] < 0 || h.history_tics[(size_t)previous] >= h.history_tics[(size_t)before]) {
            out.target = out.older = out.newer = h.history_states[(size_t)before];
            out.n = 1;
            return true;
        }
        after = before;
        before = previous;
    }
    int older = h.history_tics[(size_t)before], newer = h.history_tics[(size_t)after];
    out.older = h.history_states[(size_t)before];
    out.newer = h.history_states[(size_t)after];
    out.n = std::max(newer - older, 1);
    if (t == older)
        out.target = out.older;
    else if (t == newer)
        out.target = out.newer;
    else
        out.target = interpolate_state(out.older, out.newer, playback_fraction(older, newer, t), version);
    return true;
}

int newest_history_tic(int slot) {
    const state_history& h = slot_history(slot);
    return h.history_tics[(size_t)h.history_newest];
}

bool history_has_state_between(int slot, int from, int to) {
    const state_history& h = slot_history(slot);
    for (int tic : h.history_tics)
        if (tic >= 0 && tic >= from && tic <= to) return true;
    return false;
}

void mark_history_written(int slot) {
    if (valid(slot)) g_histories[(size_t)slot].history_unwritten = 0;
}
