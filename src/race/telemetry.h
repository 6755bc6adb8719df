// Telemetry: while a recording is on, the race tic stores one suspension
// sample of the viewed rider's bike per tic in a ring of 1024, emptied when
// it is full (the suspension graph draws it).
#pragma once

#include <array>

#include "bike/suspension.h"

constexpr int telemetry_ring_size = 1024;

struct telemetry_ring {
    bool recording = false;
    int count = 0;  // samples stored since the ring was last emptied, oldest first
    std::array<suspension_sample, telemetry_ring_size> samples{};
};
extern telemetry_ring race_telemetry;

// Turns the recording on or off; the samples already stored stay.
void set_telemetry_recording(bool on);
void clear_telemetry();
// Step 15 of the tic: with a recording on, the viewed slot's bike (if any)
// adds its sample; a full ring is emptied before the new one is stored.
void record_telemetry();
