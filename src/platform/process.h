// Process tuning after each race reset: a resident working-set range and high
// scheduling priority. Failures are only logged.
#pragma once

#include <cstdint>

// The system calls behind tune_process; tests replace them.
struct process_driver {
    uint64_t (*physical_memory)() = nullptr;  // bytes; 0 when unknown
    // Asks the system to keep between min and max bytes resident; false when
    // it could not (or has no such facility).
    bool (*set_working_set)(uint64_t min, uint64_t max) = nullptr;
    bool (*raise_priority)() = nullptr;
};
extern process_driver process_calls;
// The system's own calls (the defaults of process_calls).
process_driver system_process_driver();

void tune_process();
