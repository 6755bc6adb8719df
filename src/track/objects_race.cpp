// The race as the track's objects read it, with "no race" for every part the
// race has not filled in.
#include "track/objects_race.h"

#include <cstddef>

object_race_driver object_race;

lap_view current_laps() {
    lap_view v;
    const std::vector<int>* first = nullptr;
    const std::vector<int>* normal = nullptr;
    int gates = 0;
    if (!object_race.lap_lists || !object_race.lap_lists(first, normal, gates)) return v;
    v.first_lap = first;
    v.normal_lap = normal;
    v.first = first ? (int)first->size() : 0;
    v.normal = normal ? (int)normal->size() : 0;
    v.gate_count = gates > 0 ? gates : 0;
    return v;
}

int gate_of_position(const lap_view& laps, int position) {
    if (position < 0) position = 0;
    int entry;
    if (position < laps.first) {
        entry = (*laps.first_lap)[(size_t)position];
    } else if (laps.normal > 0) {
        entry = (*laps.normal_lap)[(size_t)((position - laps.first) % laps.normal)];
    } else if (laps.first > 0) {
        entry = (*laps.first_lap)[0];
    } else {
        return -1;
    }
    if (entry >= lap_entry_mark) entry -= lap_entry_mark;
    // Lists come from a track file: a gate outside what we keep state for
    // names nothing.
    if (entry < 0 || entry >= object_gate_limit) return -1;
    return entry;
}

int race_tic() { return object_race.tic ? object_race.tic() : 0; }
int race_gate_drop_tic() { return object_race.gate_drop_tic ? object_race.gate_drop_tic() : 0; }
