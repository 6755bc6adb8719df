#include "platform/process.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include "core/diag.h"

namespace {

uint64_t system_physical_memory() {
    long pages = sysconf(_SC_PHYS_PAGES);
    long page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return 0;
    return (uint64_t)pages * (uint64_t)page_size;
}

// Linux keeps no per-process working-set range: there is nothing to ask for,
// so the request honestly fails.
bool system_set_working_set(uint64_t, uint64_t) { return false; }

// "High" priority: a nice value well above normal, as far as the process is
// allowed to go.
constexpr int high_priority_nice = -10;
bool system_raise_priority() { return setpriority(PRIO_PROCESS, 0, high_priority_nice) == 0; }

}  // namespace

process_driver system_process_driver() {
    process_driver s;
    s.physical_memory = system_physical_memory;
    s.set_working_set = system_set_working_set;
    s.raise_priority = system_raise_priority;
    return s;
}

process_driver process_calls = system_process_driver();

void tune_process() {
    constexpr uint64_t mib = 1024 * 1024;
    uint64_t physical = process_calls.physical_memory ? process_calls.physical_memory() : 0;
    if (physical < 64 * mib) {
        log_printf("Working set left alone - less than 64 MB physical memory\n");
    } else {
        uint64_t max = std::min<uint64_t>(physical, 2048 * mib) - 32 * mib;
        uint64_t min = std::min<uint64_t>(1024 * mib, max);
        log_printf("Setting working set range to %u - %u\n", (unsigned)min, (unsigned)max);
        bool ok = process_calls.set_working_set && process_calls.set_working_set(min, max);
        log_printf(ok ? "Working set successfully updated\n" : "Working set update failed\n");
    }
    bool raised = process_calls.raise_priority && process_calls.raise_priority();
    log_printf(raised ? "Priority successfully set to high\n" : "Priority set failed\n");
}
