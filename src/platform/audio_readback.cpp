// The memory driver: the software mixer run on demand on the main thread, one
// block of 8-bit stereo per call, for recording the mix to a file.
#include <algorithm>

#include "core/diag.h"
#include "platform/audio_driver.h"
#include "platform/audio_mixer.h"

namespace {

// Longest block we mix at once; far beyond one tic at any sane rate.
constexpr int longest_block = 1 << 22;

struct readback_audio {
    audio_device device;
    bool open;
    int block_frames;
    audio_mixer mixer;
    uint8_t* output;  // block_frames * 2 bytes
};
readback_audio g_readback;

void readback_free() {
    mixer_close(g_readback.mixer);
    checked_free(g_readback.output);
    g_readback.output = nullptr;
    g_readback.open = false;
}

audio_device* readback_open(plix_window*, int rate, int block_frames) {
    log_printf("Opening readback audio...\n");
    if (g_readback.open || current_audio_device()) {
        log_printf("Audio already open\n");
        return nullptr;
    }
    if (rate <= 0 || block_frames <= 0 || block_frames > longest_block) {
        log_printf("Bad readback rate %d or block size %d\n", rate, block_frames);
        return nullptr;
    }
    int budget = option_int("sound-channels", 16);
    g_readback.output = (uint8_t*)checked_malloc((size_t)block_frames * 2);
    if (!g_readback.output || !mixer_open(g_readback.mixer, rate, true, budget, block_frames)) {
        log_printf("Malloc failed\n");
        readback_free();
        return nullptr;
    }
    g_readback.device.driver = &readback_audio_driver;
    g_readback.block_frames = block_frames;
    g_readback.open = true;
    log_printf("Audio opened!\n");
    return &g_readback.device;
}

void readback_close(audio_device*) {
    log_printf("Closing audio\n");
    readback_free();
}

void readback_service(audio_device*) {}

std::span<const uint8_t> readback_mix_block(audio_device*) {
    mixer_mix(g_readback.mixer, g_readback.block_frames, g_readback.output);
    return {g_readback.output, (size_t)g_readback.block_frames * 2};
}

audio_sound* readback_sound_create(audio_device*, int byte_count, const uint8_t* bytes, int source_rate) {
    audio_sound* s = mixer_make_sound(g_readback.mixer, byte_count, bytes, source_rate);
    if (s) mixer_add_sound(g_readback.mixer, s);
    return s;
}

}  // namespace

const audio_driver readback_audio_driver = {
    "readback",
    nullptr,  // playback is the SDL driver's
    readback_open,
    readback_close,
    readback_service,
    readback_mix_block,
    readback_sound_create,
    mixer_duplicate,
    mixer_free,
    mixer_play,
    mixer_stop,
    mixer_set_rate,
    mixer_set_volume,
    mixer_set_pan,
    mixer_set_loop,
    [](audio_sound* s) { return mixer_position(s); },
    mixer_write,
};
