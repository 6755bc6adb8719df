// The frame loop at rest: how much of one core it takes while it only paces
// itself to the tic rate. First with nothing drawn (the loop's own work:
// timing, sleeping, events), then, with a display, with the real window
// cleared and swapped every frame.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>

#include "core/config.h"
#include "game/frame_loop.h"
#include "core/hooks.h"
#include "core/timing.h"
#include "platform/platform_install.h"
#include "render/render_install.h"

namespace {

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + t.tv_nsec * 1e-9;
}

// Runs passes for `seconds` of wall time; reports the share of one core used
// and the frame rate.
void run_idle(benchmark::State& state, double seconds) {
    for (auto _ : state) {
        frame_loop_init();
        double wall0 = system_now(), cpu0 = cpu_seconds();
        long passes = 0;
        while (system_now() - wall0 < seconds && frame_loop_pass()) passes++;
        double wall = system_now() - wall0, cpu = cpu_seconds() - cpu0;
        state.counters["cpu_percent"] = 100 * cpu / wall;
        state.counters["frames_per_second"] = (double)passes / wall;
    }
}

void BM_idle_loop_without_drawing(benchmark::State& state) {
    clear_hooks();
    app_time = time_source{};
    window_hook.alive = [] { return true; };
    run_idle(state, 3);
    clear_hooks();
}
BENCHMARK(BM_idle_loop_without_drawing)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_idle_loop_clearing_a_window(benchmark::State& state) {
    const char* display = getenv("DISPLAY");
    if (!display || !*display) {
        state.SkipWithError("no display");
        return;
    }
    clear_hooks();
    install_platform();
    install_render();
    config_defaults();
    int width = (int)state.range(0), height = (int)state.range(1);
    if (!window_hook.open("Quarnix bench", width, height, 24, 16)) {
        state.SkipWithError("no window");
        return;
    }
    for (int i = 0; i < 100 && !window_hook.can_draw(); i++) time_sleep(0.01);
    render_hook.init_gl();
    render_hook.setup_gl_state(false);
    run_idle(state, 3);
    window_hook.close();
    clear_hooks();
    app_time = time_source{};
}
BENCHMARK(BM_idle_loop_clearing_a_window)
    ->Args({640, 480})
    ->Args({1280, 1024})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
