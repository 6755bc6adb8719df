// The frame loop at rest: how much of one core it takes while it only paces
// itself to the tic rate. First in a headless window, where nothing is drawn
// (the loop's own work: timing, sleeping, events), then, with a display, with
// the real window showing the bare title screen every frame, with and
// without vertical sync.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>

#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "game/frame_loop.h"
#include "platform/main_window.h"
#include "render/gl_frame.h"
#include "ui/menu.h"

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
        set_menu_page(no_menu);
        double wall0 = system_now(), cpu0 = cpu_seconds();
        long passes = 0;
        while (system_now() - wall0 < seconds && frame_loop_pass()) passes++;
        double wall = system_now() - wall0, cpu = cpu_seconds() - cpu0;
        state.counters["cpu_percent"] = 100 * cpu / wall;
        state.counters["frames_per_second"] = (double)passes / wall;
    }
}

void BM_idle_loop_without_drawing(benchmark::State& state) {
    app_clock = clock_driver{};
    open_headless_main_window(640, 480);
    run_idle(state, 3);
    close_main_window();
}
BENCHMARK(BM_idle_loop_without_drawing)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_idle_loop_clearing_a_window(benchmark::State& state) {
    const char* display = getenv("DISPLAY");
    if (!display || !*display) {
        state.SkipWithError("no display");
        return;
    }
    app_clock.now = main_clock_now;
    app_clock.sleep_for = main_clock_sleep;
    config_defaults();
    // Vertical sync (third argument) on: the swap waits, or where the driver
    // has none (Xvfb) the loop holds the display's refresh; off: one tic.
    settings.vsync = (int)state.range(2);
    cmdline.show_hud = false;
    int width = (int)state.range(0), height = (int)state.range(1);
    if (!open_main_window("Quarnix bench", width, height, 24, 16)) {
        state.SkipWithError("no window");
        return;
    }
    for (int i = 0; i < 100 && !main_window_can_draw(); i++) time_sleep(0.01);
    init_gl();
    setup_gl_state(false);
    run_idle(state, 3);
    close_main_window();
    app_clock = clock_driver{};
}
BENCHMARK(BM_idle_loop_clearing_a_window)
    ->Args({640, 480, 0})
    ->Args({640, 480, 1})
    ->Args({1280, 1024, 0})
    ->Args({1280, 1024, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
