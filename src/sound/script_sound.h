// Sounds a track script places in the world (a crowd, a loudspeaker): up to
// 256, in creation order, the index being the script's handle. Their samples
// come from raw files of signed 16-bit little-endian mono samples; sounds
// made from the same file share one sample buffer. Once per frame
// sound_update places every one for the listener like the engine voices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int script_sound_limit = 256;
// Sample files are read only up to this size (about 45 s at 22050 Hz);
// a longer file keeps its first part.
constexpr int64_t script_sound_file_limit = 2 << 20;

// Index of the new sound, or -1 when it cannot be made: the table is full,
// the name is refused (not an "@" name, or one with ".."), the file cannot
// be read or holds no complete sample, or the device refuses it.
int script_sound_add(const char* name);
bool script_sound_start(int index);
bool script_sound_stop(int index);
bool script_sound_loop(int index, bool on);
// Stored for the next frame's placement; false for an index outside the table.
bool script_sound_set_freq(int index, double samples_per_second);
bool script_sound_set_vol(int index, double volume);
bool script_sound_set_pos(int index, double x, double y, double z);
bool script_sound_set_vel(int index, double x, double y, double z);
int script_sound_count();
// Frees every device sound and empties the table (every race reset).
void script_sounds_release();

// The per-frame placement of every script sound (from sound_update).
void place_script_sounds(double master_factor);

// Device samples of raw 16-bit data: each sample's high byte + 128; a final
// odd byte is dropped.
std::vector<uint8_t> script_sound_samples(const uint8_t* bytes, size_t count);
