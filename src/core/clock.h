// Time: the frame loop's running clock and the tic, shared by the subsystems
// that time things in frame time rather than simulation tics, and the app
// clock everything reads the wall-clock time and sleeps through.
#pragma once

// Sum of all frame advances since start, in seconds; drives the 5-second timers
// and the message expiry.
extern double total_clock;

// One simulation step: 1/128 s.
constexpr double tic_length = 0.0078125;

// The app clock's driver. The game points it at the platform's clock, whose
// sleep handles window messages meanwhile; tests set a fake. Left empty, the
// monotonic system clock and an exact sleep are used.
struct clock_driver {
    double (*now)() = nullptr;  // seconds on a monotonic clock
    void (*sleep_for)(double seconds) = nullptr;
};
extern clock_driver app_clock;

double system_now();
void system_sleep(double seconds);

inline double time_now() { return app_clock.now ? app_clock.now() : system_now(); }
inline void time_sleep(double seconds) {
    if (app_clock.sleep_for)
        app_clock.sleep_for(seconds);
    else
        system_sleep(seconds);
}
