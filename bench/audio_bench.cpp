// The software mixer: 40 looping voices (engine-like streams at varied rates,
// volumes and pans) mixed at 22050 Hz stereo, one 1/64 s fragment per
// iteration. "core_pct" is the share of one core that real-time playback
// takes: time per fragment over the fragment's 1/64 s.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/diag.h"
#include "platform/audio.h"

namespace {

constexpr int device_rate = 22050;
constexpr int fragment_frames = device_rate / 64;

void mix_forty_voices(benchmark::State& state, const char* options) {
    setenv("PLIX_OPTIONS", options, 1);
    options_reload();
    audio_device* device = audio_open_readback(nullptr, device_rate, fragment_frames);
    if (!device) {
        state.SkipWithError("readback device did not open");
        return;
    }
    std::vector<uint8_t> wave(32768);
    std::vector<audio_sound*> voices;
    for (int v = 0; v < 40; v++) {
        for (size_t i = 0; i < wave.size(); i++)
            wave[i] = (uint8_t)(128 + 100 * std::sin((double)i * (0.01 + 0.003 * v)));
        audio_sound* s = sound_create(device, (int)wave.size(), wave.data(), 0);
        sound_set_loop(s, true);
        sound_set_rate(s, 30000 + 700 * v);
        sound_set_volume(s, 32767 - 700 * v);
        sound_set_pan(s, -32768 + 1600 * v);
        sound_play(s);
        voices.push_back(s);
    }
    size_t bytes = 0;
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        std::span<const uint8_t> out = audio_mix_block(device);
        benchmark::DoNotOptimize(out.data());
        bytes += out.size();
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (state.iterations() > 0) state.counters["core_pct"] = 100.0 * seconds / (double)state.iterations() * 64.0;
    state.SetBytesProcessed((int64_t)bytes);
    audio_close(device);
    unsetenv("PLIX_OPTIONS");
    options_reload();
}

// The default budget: the 16 loudest channel voices heard, the rest advanced.
void BM_mix_40_voices_budget_16(benchmark::State& state) { mix_forty_voices(state, ""); }
// Every channel voice heard: the worst case of a raised "sound-channels".
void BM_mix_40_voices_all_heard(benchmark::State& state) { mix_forty_voices(state, "[sound-channels:80]"); }

BENCHMARK(BM_mix_40_voices_budget_16);
BENCHMARK(BM_mix_40_voices_all_heard);

}  // namespace

BENCHMARK_MAIN();
