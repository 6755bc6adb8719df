// The playback driver: the software mixer on a thread of its own, filling a
// ring of 64 fragments (1/64 s each) that SDL's audio callback plays out,
// with the "sound-mixahead" number of fragments mixed ahead of the device.
//
// The device's own buffer is a single fragment, so the latency is set by the
// mixahead. Every sound operation and each fragment's mix take one mutex, so a
// sound is never changed halfway through a mix; the callback takes no lock,
// it only copies finished fragments.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/diag.h"
#include "platform/audio_driver.h"
#include "platform/audio_mixer.h"

namespace {

constexpr int fragments_per_second = 64;
constexpr int ring_fragments = 64;
constexpr int lowest_rate = fragments_per_second;  // at least one frame a fragment
constexpr int highest_rate = 384000;

struct sdl_audio {
    audio_device device;
    bool open = false;
    bool subsystem = false;  // SDL's audio subsystem initialised by us
    SDL_AudioDeviceID id = 0;
    int channels = 2;
    int fragment_frames = 0;
    int fragment_bytes = 0;
    int ahead = 8;  // fragments mixed ahead of the device
    audio_mixer mixer{};
    uint8_t* ring = nullptr;  // ring_fragments fragments
    // Fragments handed to the device so far, and bytes of them it has
    // taken; fragment k has been played once taken >= (k + 1) fragments.
    std::atomic<int64_t> handed{0};
    std::atomic<int64_t> taken{0};
    std::mutex mutex;
    std::thread thread;
    std::atomic<bool> closing{false};
    // A process that exits with the device still open (a library calling
    // exit) must not destroy a running thread: that aborts the program.
    ~sdl_audio() {
        if (thread.joinable()) {
            closing = true;
            thread.join();
        }
    }
};
sdl_audio g_sdl;

void sdl_release() {
    if (g_sdl.id) {
        SDL_CloseAudioDevice(g_sdl.id);
        g_sdl.id = 0;
    }
    if (g_sdl.subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    g_sdl.subsystem = false;
    mixer_close(g_sdl.mixer);
    checked_free(g_sdl.ring);
    g_sdl.ring = nullptr;
    g_sdl.open = false;
}

// SDL's audio thread: copies out what has been mixed; silence on underrun.
void SDLCALL device_callback(void*, Uint8* stream, int len) {
    const int64_t ring_bytes = (int64_t)ring_fragments * g_sdl.fragment_bytes;
    int64_t taken = g_sdl.taken.load(std::memory_order_relaxed);
    int64_t ready = g_sdl.handed.load(std::memory_order_acquire) * g_sdl.fragment_bytes - taken;
    int64_t n = std::clamp<int64_t>(ready, 0, len);
    int64_t done = 0;
    while (done < n) {
        int64_t at = (taken + done) % ring_bytes;
        int64_t piece = std::min(n - done, ring_bytes - at);
        memcpy(stream + done, g_sdl.ring + at, (size_t)piece);
        done += piece;
    }
    if (n < len) memset(stream + n, 128, (size_t)(len - n));
    g_sdl.taken.store(taken + n, std::memory_order_release);
}

// Drops whatever the device has not taken yet.
void reset_device() {
    SDL_LockAudioDevice(g_sdl.id);
    g_sdl.taken.store(g_sdl.handed.load() * g_sdl.fragment_bytes);
    SDL_UnlockAudioDevice(g_sdl.id);
}

void audio_thread() {
    log_printf("Audio thread begin\n");
    for (int64_t k = 0; !g_sdl.closing; k++) {
        // Once `ahead` fragments are out, wait until the one `ahead` slots
        // back has been played; a device that stops taking data is reset
        // after about a second.
        if (k >= g_sdl.ahead) {
            const int64_t needed = (k - g_sdl.ahead + 1) * g_sdl.fragment_bytes;
            int64_t last = g_sdl.taken.load();
            auto since = std::chrono::steady_clock::now();
            while (!g_sdl.closing) {
                int64_t taken = g_sdl.taken.load();
                if (taken >= needed) break;
                auto now = std::chrono::steady_clock::now();
                if (taken != last) {
                    last = taken;
                    since = now;
                } else if (now - since >= std::chrono::seconds(1)) {
                    reset_device();
                    log_printf("Audio thread: Timeout on fragment %d\n", (int)k);
                    since = now;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(15));
            }
            if (g_sdl.closing) break;
        }
        uint8_t* slot = g_sdl.ring + (k % ring_fragments) * g_sdl.fragment_bytes;
        {
            std::lock_guard<std::mutex> lock(g_sdl.mutex);
            mixer_mix(g_sdl.mixer, g_sdl.fragment_frames, slot);
        }
        g_sdl.handed.store(k + 1, std::memory_order_release);
    }
    log_printf("Audio thread end\n");
}

// The default output's name and channel count, as far as the SDL backend
// can tell; stereo unless it reports a single channel.
void describe_default_device(const char** name, int* channels) {
    static char text[256];
    char* default_name = nullptr;
    SDL_AudioSpec format{};
    *channels = 2;
    if (SDL_GetDefaultAudioInfo(&default_name, &format, 0) == 0) {
        SDL_strlcpy(text, default_name ? default_name : "default output", sizeof text);
        SDL_free(default_name);
        if (format.channels == 1) *channels = 1;
    } else if (SDL_GetNumAudioDevices(0) > 0 && SDL_GetAudioDeviceName(0, 0)) {
        SDL_strlcpy(text, SDL_GetAudioDeviceName(0, 0), sizeof text);
        if (SDL_GetAudioDeviceSpec(0, 0, &format) == 0 && format.channels == 1) *channels = 1;
    } else {
        SDL_snprintf(text, sizeof text, "%s default output", SDL_GetCurrentAudioDriver());
    }
    *name = text;
}

audio_device* sdl_open(plix_window*) {
    log_printf("Opening waveOut audio...\n");
    if (g_sdl.open || current_audio_device()) {
        log_printf("Audio already open\n");
        return nullptr;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        log_printf("No audio device\n");
        log_printf("SDL audio: %s\n", SDL_GetError());
        return nullptr;
    }
    g_sdl.subsystem = true;
    const char* name = nullptr;
    describe_default_device(&name, &g_sdl.channels);
    log_printf("Found a %s\n", name);

    // A rate below 64 would give empty fragments; above any device's, a
    // fragment buffer out of all proportion.
    int rate = std::clamp(option_int("sound-rate", 22050), lowest_rate, highest_rate);
    int budget = option_int("sound-channels", 16);
    int64_t mixahead_ms = option_int("sound-mixahead", 125);
    g_sdl.fragment_frames = rate / fragments_per_second;
    g_sdl.ahead = (int)std::clamp<int64_t>(mixahead_ms * fragments_per_second / 1000, 1, 32);
    log_printf("Waveout rate: %d\n", rate);
    log_printf("Waveout channels: %d\n", budget);
    log_printf("Waveout mixahead: %d\n", g_sdl.ahead * 1000 / fragments_per_second);

    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_U8;
    want.channels = (Uint8)g_sdl.channels;
    want.samples = (Uint16)g_sdl.fragment_frames;  // the device buffer: one fragment
    want.callback = device_callback;
    SDL_AudioSpec have{};
    g_sdl.id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!g_sdl.id) {
        log_printf("Can't open waveOut\n");
        log_printf("SDL audio: %s\n", SDL_GetError());
        sdl_release();
        return nullptr;
    }
    g_sdl.fragment_bytes = g_sdl.fragment_frames * g_sdl.channels;
    g_sdl.ring = (uint8_t*)checked_malloc((size_t)ring_fragments * (size_t)g_sdl.fragment_bytes);
    if (!g_sdl.ring) {
        log_printf("GlobalAlloc() failed\n");
        sdl_release();
        return nullptr;
    }
    if (!mixer_open(g_sdl.mixer, rate, g_sdl.channels == 2, budget, g_sdl.fragment_frames)) {
        log_printf("malloc() failed\n");
        sdl_release();
        return nullptr;
    }
    g_sdl.handed = 0;
    g_sdl.taken = 0;
    g_sdl.closing = false;
    try {
        g_sdl.thread = std::thread(audio_thread);
    } catch (const std::system_error&) {
        log_printf("Can't create thread\n");
        sdl_release();
        return nullptr;
    }
    SDL_PauseAudioDevice(g_sdl.id, 0);
    g_sdl.device.driver = &sdl_audio_driver;
    g_sdl.open = true;
    log_printf("Audio opened!\n");
    return &g_sdl.device;
}

void sdl_close(audio_device*) {
    log_printf("Closing audio\n");
    g_sdl.closing = true;
    if (g_sdl.thread.joinable()) g_sdl.thread.join();
    g_sdl.closing = false;
    sdl_release();
}

void sdl_service(audio_device*) {}

std::span<const uint8_t> sdl_mix_block(audio_device*) { return {}; }

audio_sound* sdl_sound_create(audio_device*, int byte_count, const uint8_t* bytes, int source_rate) {
    // The copy and rate conversion need no lock: they read only the
    // mixer's rate and channel count, fixed while the device is open.
    audio_sound* s = mixer_make_sound(g_sdl.mixer, byte_count, bytes, source_rate);
    if (!s) return nullptr;
    std::lock_guard<std::mutex> lock(g_sdl.mutex);
    mixer_add_sound(g_sdl.mixer, s);
    return s;
}

audio_sound* sdl_sound_duplicate(audio_sound* s) {
    std::lock_guard<std::mutex> lock(g_sdl.mutex);
    return mixer_duplicate(s);
}

void sdl_sound_free(audio_sound* s) {
    std::lock_guard<std::mutex> lock(g_sdl.mutex);
    mixer_free(s);
}

void sdl_sound_play(audio_sound* s) {
    std::lock_guard<std::mutex> lock(g_sdl.mutex);
    mixer_play(s);
}

void sdl_sound_stop(audio_sound* s) {
    std::lock_guard<std::mutex> lock(g_sdl.mutex);
    mixer_stop(s);
}

void sdl_sound_set_rate(audio_sound* s, int rate) {
    std::lock_guard<std::mutex> lock(g_sdl.mutex);
    mixer_set_rate(s, rate);
}

void sdl_sound_set_volume(audio_sound* s, int volume) {
    std::lock_guard<std::mutex> lock(g_sdl.mutex);
    mixer_set_volume(s, volume);
}

void sdl_sound_set_pan(audio_sound* s, int pan) {
    std::lock_guard<std::mutex> lock(g_sdl.mutex);
    mixer_set_pan(s, pan);
}

void sdl_sound_set_loop(audio_sound* s, bool on) {
    std::lock_guard<std::mutex> lock(g_sdl.mutex);
    mixer_set_loop(s, on);
}

int sdl_sound_position(audio_sound* s) {
    std::lock_guard<std::mutex> lock(g_sdl.mutex);
    return mixer_position(s);
}

void sdl_sound_write(audio_sound* s, int byte_count, const uint8_t* bytes, int offset) {
    std::lock_guard<std::mutex> lock(g_sdl.mutex);
    mixer_write(s, byte_count, bytes, offset);
}

}  // namespace

const audio_driver sdl_audio_driver = {
    "sdl",
    sdl_open,
    nullptr,  // recording is the memory driver's
    sdl_close,
    sdl_service,
    sdl_mix_block,
    sdl_sound_create,
    sdl_sound_duplicate,
    sdl_sound_free,
    sdl_sound_play,
    sdl_sound_stop,
    sdl_sound_set_rate,
    sdl_sound_set_volume,
    sdl_sound_set_pan,
    sdl_sound_set_loop,
    sdl_sound_position,
    sdl_sound_write,
};
