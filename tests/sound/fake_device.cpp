#include "fake_device.h"

#include <cstddef>

fake_device* current_fake = nullptr;

namespace {

fake_sound* of(audio_sound* s) { return reinterpret_cast<fake_sound*>(s); }

sound_device_driver fake_driver() {
    sound_device_driver d;
    d.is_open = [] { return current_fake && current_fake->open; };
    d.create = [](int count, const uint8_t* bytes, int source_rate) {
        auto* s = new fake_sound;
        s->bytes.assign(bytes, bytes + count);
        s->source_rate = source_rate;
        current_fake->sounds.push_back(s);
        return reinterpret_cast<audio_sound*>(s);
    };
    d.set_loop = [](audio_sound* s, bool on) { of(s)->looping = on; };
    d.set_volume = [](audio_sound* s, int v) { of(s)->volume = v; };
    d.set_pan = [](audio_sound* s, int v) { of(s)->pan = v; };
    d.set_rate = [](audio_sound* s, int v) { of(s)->rate = v; };
    d.play = [](audio_sound* s) { of(s)->playing = true; };
    d.stop = [](audio_sound* s) { of(s)->playing = false; };
    d.duplicate = [](audio_sound* s) {
        auto* copy = new fake_sound;
        copy->bytes = of(s)->bytes;
        copy->source_rate = of(s)->source_rate;
        copy->looping = of(s)->looping;
        copy->shares = s;
        current_fake->sounds.push_back(copy);
        return reinterpret_cast<audio_sound*>(copy);
    };
    d.position = [](audio_sound* s) { return of(s)->position; };
    d.write = [](audio_sound* s, int count, const uint8_t* bytes, int offset) {
        fake_sound& f = *of(s);
        f.writes.push_back({count, offset});
        for (int i = 0; i < count; i++) f.bytes[(size_t)((offset + i) % (int)f.bytes.size())] = bytes[i];
    };
    d.free = [](audio_sound* s) { of(s)->freed = true; };
    return d;
}

}  // namespace

fake_device::fake_device() {
    current_fake = this;
    sound_device = fake_driver();
}

fake_device::~fake_device() {
    sound_device = platform_sound_device();
    current_fake = nullptr;
    for (fake_sound* s : sounds) delete s;
}
