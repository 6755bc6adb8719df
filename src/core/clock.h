// The frame loop's running clocks, shared by the subsystems that time things
// in frame time rather than simulation tics.
#pragma once

// Sum of all frame advances since start, in seconds; drives the 5-second timers
// and the message expiry.
extern double total_clock;

// One simulation step: 1/128 s.
constexpr double tic_length = 0.0078125;
