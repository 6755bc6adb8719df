// Engine sounds. Every slot's bike has a voice that is synthesised afresh
// each frame: short recorded engine cycles ("grains"), picked by engine
// speed and load from a sound table and stretched to the current firing
// frequency, feed a 16-tap feedback comb that stands for the exhaust pipe.
// The voice writes its samples 0.1 s ahead of the play position into a
// looping 8-bit sound of the audio device. A bike's parameters come from a
// ".braap" file found by its skin's name, a default file per engine class,
// or the built-in sets.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct audio_sound;
struct bike_state;

constexpr int engine_slot_count = 160;
constexpr int synthesis_rate = 44100;  // samples per second the voices are made at
constexpr int engine_ring_size = 32768;
constexpr int pipe_tap_count = 16;
constexpr int rpm_list_limit = 100;  // bias and scale numbers kept
// The writer stays this many samples (0.1 s) ahead of the play position and
// makes at most twice that per frame.
constexpr int voice_lead = 4410;
constexpr int voice_batch_limit = 8820;
// Grain positions are 22.10 fixed point: no sample file holds more.
constexpr int sample_file_limit = 1 << 22;
// Sound tables larger than this in either direction are refused.
constexpr int sound_table_side_limit = 256;
constexpr double speed_of_sound = 1140.63;  // ft/s

// ---- sound tables ----------------------------------------------------------------
struct sound_table_cell {
    const float* samples = nullptr;  // values in [-1, 1), shared through the sample cache
    int sample_count = 0;
    int cycles = 1;                 // firing cycles the recording holds, at least 1
    std::vector<uint32_t> remap;    // each entry 0..cycles-1; empty: none
    float rpm = 0;                  // the row's
    float load = 0;                 // the column's
};

struct sound_table {
    std::string name;
    int rows = 0, cols = 0;               // both at least 1
    std::vector<sound_table_cell> cells;  // row-major
    const sound_table_cell& cell(int row, int col) const { return cells[(size_t)(row * cols + col)]; }
};

// The table of that exact name: shared when already loaded, else read from
// its file. Null, with the messages said, when the file is missing or bad.
const sound_table* load_sound_table(const char* name);
// The built-in tables "default_four_stroke" and "default_two_stroke".
const sound_table* builtin_sound_table(const char* name);

// ---- parameters ------------------------------------------------------------------
struct pipe_tap {
    int stored = 0;  // 32768 minus the delay: the read index is write position + stored
    float gain = 0;
};

struct engine_sound {
    const sound_table* table = nullptr;
    float cycles_per_rev = 0.5f;  // 0.5 four-strokes, 1 two-strokes
    float lowtorque = -2.5f, hightorque = 2.5f;  // engine torque (lbf·ft) at load 0 and 1
    float minrpm = 1000;
    std::array<pipe_tap, pipe_tap_count> taps{};
    std::array<float, rpm_list_limit> bias{};
    int bias_count = 1;
    std::array<float, rpm_list_limit> scale{};
    int scale_count = 1;
};

// A tap's delay in samples (1..32767).
int tap_delay(const pipe_tap& tap);
// Resonator taps f..e (clamped to 0..15 and f..15) for a pipe of length a,
// spread b and gain c; the other taps keep their values.
void set_pipe_taps(engine_sound& sound, float a, float b, float c, int f, int e);
// The built-in set for an engine class ("50", "125", "250f", ...); null
// gives the four-stroke set.
const engine_sound& builtin_engine_sound(const char* engine_class);
// Applies a ".braap" file to the parameters; false when it does not open.
bool read_braap(engine_sound& sound, const char* file_name);

// ---- voices ----------------------------------------------------------------------
struct grain_voice {
    const float* samples = nullptr;
    int sample_count = 0;
    float gain = 0;
    uint32_t position = 0, step = 0;  // 22.10 fixed point, in source samples
};

struct engine_voice {
    audio_sound* handle = nullptr;  // null without an audio device: never processed
    engine_sound params;
    std::array<float, engine_ring_size> ring{};  // output history and the comb's delay line
    int write_pos = 11025;
    int phase = 0;       // of the firing cycle, 24-bit fraction
    uint32_t cycle = 0;  // firing cycles since the voice was made
    float freq = 10;     // firing frequency of the current cycle, Hz
    float prev_rpm = 1000;
    std::array<grain_voice, 4> grains{};
};

// Sets up the slot's voice and its device sound for a bike placed in the
// slot. `skin` is the bike's skin texture name; null takes the texture the
// bike is drawn with. `bike` may be null (the four-stroke set, no class
// default file).
void engine_sound_load(int slot, const bike_state* bike, const char* skin);
// The slot's bike is going: its sound is released.
void engine_sound_free(int slot);
const engine_voice& engine_voice_of(int slot);

// Makes n more samples of a voice into its ring at an engine speed of rpm
// (the previous frame's speed moving toward it over the batch) and torque.
void synthesize(engine_voice& voice, int n, float rpm, float torque);
// The n newest ring samples, oldest first, as 8-bit device bytes.
void voice_bytes(const engine_voice& voice, int n, uint8_t* out);

// The console's "pipe" command: its arguments ("%f %f %f %d %d") applied to
// the voice of the slot the camera views, missing ones from the rider's
// engine class. Says "Pipe updated"; nothing when that slot has no bike.
void pipe_command(const char* arguments);
