#include "race/telemetry.h"

#include "bike/bike.h"
#include "race/race.h"

telemetry_ring race_telemetry;

void set_telemetry_recording(bool on) { race_telemetry.recording = on; }

void clear_telemetry() { race_telemetry.count = 0; }

void record_telemetry() {
    if (!race_telemetry.recording) return;
    const bike_state* bike = bike_in_slot(race.viewed_slot);
    if (!bike) return;
    if (race_telemetry.count >= telemetry_ring_size) race_telemetry.count = 0;
    race_telemetry.samples[(size_t)race_telemetry.count++] = suspension_telemetry(*bike);
}
