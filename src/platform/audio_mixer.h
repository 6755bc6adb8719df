// The integer software mixer behind the SDL and memory drivers. It takes no
// lock itself: a driver that mixes on another thread wraps every call in its
// own mutex. Only the mix allocates nothing, so it may run on that thread.
#pragma once

#include <array>
#include <cstdint>

constexpr int mixer_levels = 32;  // 0 (silent) .. 31 (full, one side)

// Sample bytes shared by a sound and its duplicates.
struct mixer_samples {
    int use_count;
    int length;  // at least 1
    uint8_t* bytes;
};

struct audio_mixer;

// One sound; its left and right output channels are two voices, each with
// its own position and level, kept in the per-level playing lists.
struct audio_sound {
    audio_mixer* mixer;
    mixer_samples* samples;
    uint32_t position[2];
    uint32_t fraction[2];  // 31-bit fraction of a sample
    int rate;              // samples per second
    int device_rate;
    int volume;  // 0..32767
    int pan;     // -32768..32767
    bool looping, playing, stereo, restart, finished;
    int level[2];        // level the volume and pan ask for
    int mixed_level[2];  // level it was last heard at
    audio_sound* prev[2];
    audio_sound* next[2];
    audio_sound* older;  // every sound of the mixer, for the close
    audio_sound* newer;
};

struct audio_mixer {
    int device_rate;
    bool stereo;
    int budget;      // audible voices per block ("sound-channels")
    int max_frames;  // largest block the accumulators hold
    int32_t* accumulator[2];
    std::array<std::array<audio_sound*, mixer_levels>, 2> head;
    std::array<std::array<audio_sound*, mixer_levels>, 2> tail;
    audio_sound* newest;
};

// Allocates the accumulators; false when out of memory.
bool mixer_open(audio_mixer& m, int device_rate, bool stereo, int budget, int max_frames);
// Frees every sound and the accumulators.
void mixer_close(audio_mixer& m);
// Mixes `frames` (at most max_frames) into `out`: 8-bit unsigned, left and
// right interleaved on a stereo mixer, left only on a mono one.
void mixer_mix(audio_mixer& m, int frames, uint8_t* out);

// Creating is split so the copy and rate conversion can run outside a
// driver's lock: mixer_make_sound touches no mixer state, mixer_add_sound
// hands the sound to the mixer.
audio_sound* mixer_make_sound(const audio_mixer& m, int byte_count, const uint8_t* bytes, int source_rate);
void mixer_add_sound(audio_mixer& m, audio_sound* s);
audio_sound* mixer_duplicate(audio_sound* s);
void mixer_free(audio_sound* s);
void mixer_play(audio_sound* s);
void mixer_stop(audio_sound* s);
void mixer_set_rate(audio_sound* s, int rate);
void mixer_set_volume(audio_sound* s, int volume);
void mixer_set_pan(audio_sound* s, int pan);
void mixer_set_loop(audio_sound* s, bool on);
int mixer_position(const audio_sound* s);
void mixer_write(audio_sound* s, int byte_count, const uint8_t* bytes, int offset);
