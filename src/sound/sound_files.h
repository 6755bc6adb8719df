// Writers of the engine sound files, for the data generator and the tests:
// ".braap" parameter text, sound table text and raw sample files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct braap_pipe {
    float length = 5.0f, spread = 0.9182072f, gain = -0.85f;
    int first = 0, last = 15;
};

struct braap_contents {
    std::string comment;  // one "#" line at the top when given
    std::string soundtable;
    std::vector<braap_pipe> pipes;
    bool has_minrpm = false, has_torques = false;
    float minrpm = 1000, lowtorque = 0, hightorque = 0;
    std::vector<float> bias, scale;  // empty: no line
};
std::string braap_text(const braap_contents& contents);

struct table_file_cell {
    std::vector<int> remap;
    int cycles = 1;
    std::string sample_file;
};
struct table_file {
    std::vector<float> rpm;   // one per row, ascending
    std::vector<float> load;  // one per column, ascending
    std::vector<table_file_cell> cells;  // row-major
};
std::string sound_table_text(const table_file& table);

// Samples in [-1, 1) as raw signed 16-bit little-endian mono; values
// outside are clipped.
std::vector<uint8_t> sample_file_bytes(const std::vector<float>& samples);
