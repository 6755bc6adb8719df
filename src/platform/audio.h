// Audio output: one open device at a time behind a table of operations, with
// a software mixer shared by the SDL playback driver and the memory
// ("readback") driver used to record the mix to a file.
//
// Samples are 8-bit unsigned, 128 = silence, one channel per sound. Volumes
// run 0..32767 (full), pans -32768..32767 (negative = left). A null sound
// handle, or any call while no device is open, does nothing (positions read
// 0), so callers without sound simply keep null handles.
//
// Sound handles belong to the device that made them: closing the device frees
// every sound still alive, and the handles must not be used afterwards.
#pragma once

#include <cstdint>
#include <span>

struct plix_window;
struct audio_device;
struct audio_sound;

// The playback device the platform options allow ("dsnd", then "waveout");
// null when none opens.
audio_device* choose_audio_device(plix_window* window);

// ---- the operation table, in slot order ------------------------------------
// Opens the playback driver (SDL audio, 8-bit, mixed on its own thread).
audio_device* audio_open(plix_window* window);
// Opens the memory driver: `audio_mix_block` mixes `block_frames` frames of
// 8-bit stereo at `rate` on demand.
audio_device* audio_open_readback(plix_window* window, int rate, int block_frames);
// Stops and releases the device and every sound made on it.
void audio_close(audio_device* device);
// Once per drawn frame; nothing to do in these drivers.
void audio_service(audio_device* device);
// Memory driver: mixes one block and returns its bytes (valid until the next
// call or the close); other drivers return nothing.
std::span<const uint8_t> audio_mix_block(audio_device* device);
// A new stopped sound holding a copy of the bytes. A non-zero source rate
// converts the bytes to the device rate; 0 plays them at the device rate
// until sound_set_rate is called. Null when refused (no bytes, a negative
// rate, too long, or out of memory).
audio_sound* sound_create(audio_device* device, int byte_count, const uint8_t* bytes, int source_rate);
// A new stopped sound sharing the first one's samples and its loop flag.
audio_sound* sound_duplicate(audio_sound* sound);
// Stops the sound at once and releases it; the samples go with their last user.
void sound_free(audio_sound* sound);
// Starts from the beginning (restarts when already playing).
void sound_play(audio_sound* sound);
void sound_stop(audio_sound* sound);
void sound_set_rate(audio_sound* sound, int samples_per_second);
void sound_set_volume(audio_sound* sound, int volume);
void sound_set_pan(audio_sound* sound, int pan);
void sound_set_loop(audio_sound* sound, bool on);
// Current play offset in samples; 0 when not playing or a restart is pending.
int sound_position(audio_sound* sound);
// Copies bytes into the sound's samples at offset modulo its length, wrapping
// at the end; of more bytes than the length only the last length are kept.
void sound_write(audio_sound* sound, int byte_count, const uint8_t* bytes, int offset);

// The device every sound operation goes to, or null.
audio_device* current_audio_device();
