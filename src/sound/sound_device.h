// The audio device calls the engine voices make: the platform's by default;
// tests put a recording device in their place.
#pragma once

#include <cstdint>

struct audio_sound;

struct sound_device_driver {
    bool (*is_open)();
    audio_sound* (*create)(int byte_count, const uint8_t* bytes, int source_rate);
    void (*set_loop)(audio_sound* sound, bool on);
    void (*set_volume)(audio_sound* sound, int volume);  // 0..32767
    void (*set_pan)(audio_sound* sound, int pan);        // -32768..32767, positive right
    void (*set_rate)(audio_sound* sound, int samples_per_second);
    void (*play)(audio_sound* sound);
    void (*stop)(audio_sound* sound) = nullptr;
    // A new stopped sound sharing the samples (null: refused).
    audio_sound* (*duplicate)(audio_sound* sound) = nullptr;
    int (*position)(audio_sound* sound);  // play offset in samples
    void (*write)(audio_sound* sound, int byte_count, const uint8_t* bytes, int offset);
    void (*free)(audio_sound* sound);
};
extern sound_device_driver sound_device;
// The platform's current audio device.
sound_device_driver platform_sound_device();
