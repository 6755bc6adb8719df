#include "sound/sound_device.h"

#include "platform/audio.h"

sound_device_driver platform_sound_device() {
    sound_device_driver d;
    d.is_open = [] { return current_audio_device() != nullptr; };
    d.create = [](int byte_count, const uint8_t* bytes, int source_rate) {
        return sound_create(current_audio_device(), byte_count, bytes, source_rate);
    };
    d.set_loop = sound_set_loop;
    d.set_volume = sound_set_volume;
    d.set_pan = sound_set_pan;
    d.set_rate = sound_set_rate;
    d.play = sound_play;
    d.stop = sound_stop;
    d.duplicate = sound_duplicate;
    d.position = sound_position;
    d.write = sound_write;
    d.free = sound_free;
    return d;
}

sound_device_driver sound_device = platform_sound_device();
