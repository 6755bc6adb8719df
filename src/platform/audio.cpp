// The current audio device and the calls that go to it.
#include "platform/audio.h"

#include "core/diag.h"
#include "platform/audio_driver.h"

namespace {

audio_device* g_current = nullptr;

void close_on_fatal() {
    if (g_current) audio_close(g_current);
}

audio_device* become_current(audio_device* device) {
    if (device) {
        g_current = device;
        add_fatal_hook(close_on_fatal);
    }
    return device;
}

const audio_driver* driver() { return g_current ? g_current->driver : nullptr; }

}  // namespace

audio_device* current_audio_device() { return g_current; }

audio_device* choose_audio_device(plix_window* window) {
    if (option_flag("dsnd", 1)) log_printf("DirectSound is not available on this system, skipping it\n");
    if (option_flag("waveout", 1)) return audio_open(window);
    return nullptr;
}

audio_device* audio_open(plix_window* window) { return become_current(sdl_audio_driver.audio_open(window)); }

audio_device* audio_open_readback(plix_window* window, int rate, int block_frames) {
    return become_current(readback_audio_driver.audio_open_readback(window, rate, block_frames));
}

void audio_close(audio_device* device) {
    if (!device || device != g_current) {
        log_printf("Can't close audio, not open\n");
        return;
    }
    remove_fatal_hook(close_on_fatal);
    g_current = nullptr;
    device->driver->audio_close(device);
}

void audio_service(audio_device* device) {
    if (device && device == g_current) device->driver->audio_service(device);
}

std::span<const uint8_t> audio_mix_block(audio_device* device) {
    if (!device || device != g_current) return {};
    return device->driver->audio_mix_block(device);
}

audio_sound* sound_create(audio_device* device, int byte_count, const uint8_t* bytes, int source_rate) {
    if (!device || device != g_current) return nullptr;
    return device->driver->sound_create(device, byte_count, bytes, source_rate);
}

audio_sound* sound_duplicate(audio_sound* sound) {
    return sound && driver() ? driver()->sound_duplicate(sound) : nullptr;
}

void sound_free(audio_sound* sound) {
    if (sound && driver()) driver()->sound_free(sound);
}

void sound_play(audio_sound* sound) {
    if (sound && driver()) driver()->sound_play(sound);
}

void sound_stop(audio_sound* sound) {
    if (sound && driver()) driver()->sound_stop(sound);
}

void sound_set_rate(audio_sound* sound, int samples_per_second) {
    if (sound && driver()) driver()->sound_set_rate(sound, samples_per_second);
}

void sound_set_volume(audio_sound* sound, int volume) {
    if (sound && driver()) driver()->sound_set_volume(sound, volume);
}

void sound_set_pan(audio_sound* sound, int pan) {
    if (sound && driver()) driver()->sound_set_pan(sound, pan);
}

void sound_set_loop(audio_sound* sound, bool on) {
    if (sound && driver()) driver()->sound_set_loop(sound, on);
}

int sound_position(audio_sound* sound) { return sound && driver() ? driver()->sound_position(sound) : 0; }

void sound_write(audio_sound* sound, int byte_count, const uint8_t* bytes, int offset) {
    if (sound && driver()) driver()->sound_write(sound, byte_count, bytes, offset);
}
