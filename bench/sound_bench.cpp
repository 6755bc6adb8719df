// Engine sounds of a full field: 40 bikes of every engine class, their
// voices made from the built data's sound tables and mixed on the memory
// device at 22050 Hz (the playback default), one 1/64 s frame per
// iteration: sound_update for every voice, then one fragment mixed.
// "core_pct" is the share of one core that takes in real time, from the
// thread's processor time (the machine may be busy with other work). The engine
// speeds sweep and the bikes stand about the listener, so grains, rows and
// Doppler all move.
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <cstdlib>
#include <string>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "core/config.h"
#include "core/diag.h"
#include "platform/audio.h"
#include "race/race.h"
#include "render/frame_draw.h"
#include "sound/engine_sound.h"
#include "sound/sound.h"
#include "vfs/vfs.h"

namespace {

constexpr int device_rate = 22050;
constexpr int fragment_frames = device_rate / 64;
constexpr int bikes = 40;

double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

void engine_voices(benchmark::State& state, const char* options) {
    std::string home = "/tmp/quarnix_sound_bench";
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("KV_HOME", QX_BIN_DIR, 1);
    setenv("PLIX_OPTIONS", options, 1);
    options_reload();
    vfs_shutdown();
    file_list();
    config_defaults();
    free_sound_sets();
    if (!bike_world_init()) {
        state.SkipWithError("no physics world");
        return;
    }
    audio_device* device = audio_open_readback(nullptr, device_rate, fragment_frames);
    if (!device) {
        state.SkipWithError("readback device did not open");
        return;
    }
    const char* models[] = {"cr125", "yz250f(2017)", "crf450(2017)", "cr250(2007)", "rs50cr"};
    bike_state* field[bikes] = {};
    for (int s = 0; s < bikes; s++) {
        field[s] = create_bike(models[s % 5], s, false, bike_setup{});
        if (!field[s]) {
            state.SkipWithError("bike not made");
            return;
        }
        // In rows about the listener, some of them moving.
        translate_bike(*field[s], (s % 8) * 6.0 - 21, 0, (s / 8) * 9.0 - 18);
        roll_bike(*field[s], (s % 3) * 20.0);
        engine_sound_load(s, field[s], nullptr);
    }
    race.viewed_slot = 0;
    frame_camera camera;
    camera.position = {0, 4, 0};
    set_listener(camera, {});

    long frame = 0;
    double start = thread_seconds();
    for (auto _ : state) {
        for (int s = 0; s < bikes; s++) {
            double t = (double)frame / 64 + s * 0.37;
            double rpm = 1500 + 10000 * (0.5 + 0.5 * std::sin(t * 0.9));
            field[s]->engine_speed = (float)(rpm / rpm_per_rad_per_s);
            field[s]->controls.throttle = std::sin(t * 2.3) > 0 ? 1.0f : 0.0f;
        }
        sound_update(1);
        std::span<const uint8_t> out = audio_mix_block(device);
        benchmark::DoNotOptimize(out.data());
        frame++;
    }
    double seconds = thread_seconds() - start;
    if (state.iterations() > 0) state.counters["core_pct"] = 100.0 * seconds / (double)state.iterations() * 64.0;

    for (int s = 0; s < bikes; s++) engine_sound_free(s);
    audio_close(device);
    free_sound_sets();
    destroy_all_bikes();
    bike_world_free();
    vfs_shutdown();
    unsetenv("PLIX_OPTIONS");
    options_reload();
}

// The default budget: the 16 loudest channel voices heard.
void BM_engine_voices_40(benchmark::State& state) { engine_voices(state, ""); }
// Every channel voice heard.
void BM_engine_voices_40_all_heard(benchmark::State& state) { engine_voices(state, "[sound-channels:80]"); }

BENCHMARK(BM_engine_voices_40);
BENCHMARK(BM_engine_voices_40_all_heard);

}  // namespace

BENCHMARK_MAIN();
