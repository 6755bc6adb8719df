// A track's timing gates: the starting gate positions, the checkpoints and
// the two lap lists, read from and written to its "timing_gates" file.
#pragma once

#include <string>
#include <vector>

struct vfs_file;

constexpr int max_timing_gates = 256;
constexpr int max_lap_entries = 256;
constexpr int max_start_positions = 160;
// A lap entry of gate + this counts for passing and timing but does not end
// a stretch of the robots' line store.
constexpr int gate_entry_flag = 100000;

struct timing_gate {
    float radius = 0;
    float centre[3] = {0, 0, 0};
    float direction[3] = {0, 0, 0};  // the way the gate is passed; its length does not matter
    bool rider_down_ahead = false;
};

struct start_gate_position {
    float position[3] = {0, 0, 0};
    float angle = 0;  // heading in -pi..pi; 0 faces -z
    std::string model = "@startgate.jm";
    std::string texture = "@startgate.ppm";
    std::string shape = "@startgate.shp";
};

struct timing_data {
    std::vector<start_gate_position> starts;
    std::vector<timing_gate> gates;
    std::vector<int> first_lap;
    std::vector<int> normal_lap;
    // Gates, laps and finishing apply only when this is set.
    bool active = false;
};

// Parses an open "timing_gates" file. Never fails a track load: the parse
// stops at the first record that does not match, and timing stays inactive
// when the lists are too short. Start positions are kept in either case.
void load_timing_gates(vfs_file* f, timing_data& out);
// Whether lists of this shape make timing active.
bool timing_lists_valid(int gate_count, const std::vector<int>& first_lap, const std::vector<int>& normal_lap);
// The file's text for these gates, lists and start positions.
std::string encode_timing_gates(const timing_data& data);
// Writes the file (atomically); false when it could not be written.
bool write_timing_gates(const char* name, const timing_data& data);
