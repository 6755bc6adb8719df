#include "core/clock.h"

#include <cerrno>
#include <cmath>
#include <ctime>

double total_clock = 0.0;
clock_driver app_clock;

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
