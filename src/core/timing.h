// Wall-clock time and sleeping for start-up and the loading screen. The
// platform layer installs its own (it pumps window messages while sleeping);
// tests install a fake clock.
#pragma once

struct time_source {
    double (*now)() = nullptr;             // seconds on a monotonic clock
    void (*sleep_for)(double seconds) = nullptr;
};
extern time_source app_time;

// The monotonic system clock and an exact sleep, the defaults of app_time.
double system_now();
void system_sleep(double seconds);

inline double time_now() { return app_time.now ? app_time.now() : system_now(); }
inline void time_sleep(double seconds) {
    if (app_time.sleep_for)
        app_time.sleep_for(seconds);
    else
        system_sleep(seconds);
}
