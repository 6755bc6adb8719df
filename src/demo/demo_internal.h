// Shared between the demo folder's own files.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "demo/demo_file.h"

struct bike_setup;
struct vfs_file;

struct recording_state {
    vfs_file* file = nullptr;
    std::string path;
    std::vector<int> slots;  // the recorded slots; a rider's index is its place here
    uint32_t previous_length = 0;
    bool free_riding = false;
    std::string pending_name;  // set_demo_name's, applied when the file closes
};
extern recording_state recorder;

struct playback_state {
    bool open = false;
    bool ghost = false;  // the lap ghost of free riding: it starts at the current tic
    std::string path;
    demo_header header;
    demo_stream stream;
    std::array<int, demo_max_riders> rider_slot{};  // the slot playing each rider, or -1
    int next_rider = 0;
    bool offset_fixed = false;
    int64_t offset = 0;  // added to the demo's tics
    // Versions 4 and 5: the tic playback began at and the next record.
    bool started = false;
    int start_tic = 0;
    int64_t next_record = 0;
    int64_t deformation_seen = -1;  // offset of the last deformation chunk handled
    bool end_logged = false;
    bool foreign_rider_logged = false;
    bool deformation_logged = false;
};
extern playback_state playback;

// The compact-state version a slot's history holds.
int slot_state_version(int slot);
// During playback, the next rider of the demo for the slot; false when all
// are placed.
bool next_demo_rider(int slot, std::string& model, bike_setup& setup);
// The rider's identity and graphics as a bike setup takes them.
void setup_from_rider(const demo_rider& rider, bike_setup& setup);
// Opens a demo; `quiet` leaves a missing file unreported (the lap ghost).
bool open_playback_file(const char* path, bool quiet, std::string& track);
// Drives a replayed slot from its history at the tic.
void replay_slot(int slot, int tic);
// The played riders put where the history has them now (after a reset or a
// new ghost, before the first tic draws them).
void place_replayed_riders();

// The lap ghost's part of the race driver.
void lap_completed(int slot);
void attempt_started();
void clear_free_riding_laps();
