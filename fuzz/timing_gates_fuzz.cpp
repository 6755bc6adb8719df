// The timing_gates parser over arbitrary text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "race/timing_gates.h"
#include "vfs/vfs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = [] {
        char dir[] = "/tmp/qxfuzz.XXXXXX";
        std::string d = mkdtemp(dir) ? dir : "/tmp";
        return d + "/timing_gates";
    }();
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) return 0;
    fwrite(data, 1, size, out);
    fclose(out);
    vfs_file* f = vfs_open(path.c_str(), "rb");
    timing_data d;
    load_timing_gates(f, d);
    if (f) vfs_close(f);
    int count = (int)d.gates.size();
    for (int v : d.first_lap)
        if ((v % gate_entry_flag) >= count && count > 0) __builtin_trap();
    for (int v : d.normal_lap)
        if ((v % gate_entry_flag) >= count && count > 0) __builtin_trap();
    if (d.starts.size() > (size_t)max_start_positions || d.gates.size() > (size_t)max_timing_gates) __builtin_trap();
    return 0;
}
