// An audio device for the engine voices that only records what they ask of
// it; its play position is whatever the test sets.
#pragma once

#include <cstdint>
#include <vector>

#include "sound/sound_device.h"

struct fake_sound {
    std::vector<uint8_t> bytes;
    int source_rate = -1;
    bool looping = false, playing = false, freed = false;
    int volume = -1, pan = 0, rate = 0;
    int position = 0;
    audio_sound* shares = nullptr;  // made by duplicating this one
    struct write_call {
        int count, offset;
    };
    std::vector<write_call> writes;
};

struct fake_device {
    bool open = true;
    std::vector<fake_sound*> sounds;  // every sound made, freed ones included
    fake_device();
    ~fake_device();
    fake_sound& last() { return *sounds.back(); }
};
// The device the fake driver entries talk to.
extern fake_device* current_fake;
