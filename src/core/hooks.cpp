#include "core/hooks.h"

#include <cerrno>
#include <cmath>
#include <ctime>

#include "core/timing.h"

bool quit_requested = false;

window_hooks window_hook;
input_hooks input_hook;
audio_hooks audio_hook;
sound_hooks sound_hook;
render_hooks render_hook;
ui_hooks ui_hook;
track_hooks track_hook;
bike_hooks bike_hook;
physics_hooks physics_hook;
demo_hooks demo_hook;
race_hooks race_hook;
net_hooks net_hook;
editor_hooks editor_hook;
loop_hooks loop_hook;

void clear_hooks() {
    window_hook = {};
    input_hook = {};
    audio_hook = {};
    sound_hook = {};
    render_hook = {};
    ui_hook = {};
    track_hook = {};
    bike_hook = {};
    physics_hook = {};
    demo_hook = {};
    race_hook = {};
    net_hook = {};
    editor_hook = {};
    loop_hook = {};
}

time_source app_time;

double system_now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

void system_sleep(double seconds) {
    if (!(seconds > 0)) return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    double whole = std::floor(seconds);
    timespec target{};
    target.tv_sec = now.tv_sec + (time_t)whole;
    target.tv_nsec = now.tv_nsec + (long)((seconds - whole) * 1e9);
    if (target.tv_nsec >= 1000000000L) {
        target.tv_sec++;
        target.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &target, nullptr) == EINTR) {
    }
}
