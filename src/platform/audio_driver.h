// The audio drivers' operation table and the open-device record. Private to
// the platform folder; everyone else goes through audio.h.
#pragma once

#include "platform/audio.h"

struct audio_driver {
    const char* name;
    audio_device* (*audio_open)(plix_window* window);
    audio_device* (*audio_open_readback)(plix_window* window, int rate, int block_frames);
    void (*audio_close)(audio_device* device);
    void (*audio_service)(audio_device* device);
    std::span<const uint8_t> (*audio_mix_block)(audio_device* device);
    audio_sound* (*sound_create)(audio_device* device, int byte_count, const uint8_t* bytes, int source_rate);
    audio_sound* (*sound_duplicate)(audio_sound* sound);
    void (*sound_free)(audio_sound* sound);
    void (*sound_play)(audio_sound* sound);
    void (*sound_stop)(audio_sound* sound);
    void (*sound_set_rate)(audio_sound* sound, int samples_per_second);
    void (*sound_set_volume)(audio_sound* sound, int volume);
    void (*sound_set_pan)(audio_sound* sound, int pan);
    void (*sound_set_loop)(audio_sound* sound, bool on);
    int (*sound_position)(audio_sound* sound);
    void (*sound_write)(audio_sound* sound, int byte_count, const uint8_t* bytes, int offset);
};

// Each driver embeds this as the first member of its own state.
struct audio_device {
    const audio_driver* driver;
};

extern const audio_driver sdl_audio_driver;
extern const audio_driver readback_audio_driver;
