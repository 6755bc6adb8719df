// The demo reader over arbitrary bytes: the header, the chunk stream walked
// to its end and back to its start, and playback feeding every rider's
// states into the histories as the race clock moves on.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/bike_setup.h"
#include "demo/demo.h"
#include "demo/demo_file.h"
#include "demo/demo_internal.h"
#include "demo/history.h"
#include "race/race.h"
#include "vfs/vfs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = [] {
        char dir[] = "/tmp/qxfuzz.XXXXXX";
        std::string d = mkdtemp(dir) ? dir : "/tmp";
        return d + "/fuzz.kvdemo";
    }();
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) return 0;
    fwrite(data, 1, size, out);
    fclose(out);

    vfs_file* f = vfs_open(path.c_str(), "rb");
    demo_header h;
    std::string error;
    if (!read_demo_header(f, h, error)) {
        if (f) vfs_close(f);
        return 0;
    }
    if (h.riders.size() > (size_t)demo_max_riders || h.body_start > (int64_t)size) __builtin_trap();
    demo_stream s;
    if (open_demo_stream(s, f, path, h.body_start)) {
        std::vector<uint8_t> payload;
        demo_chunk c;
        int64_t last = s.position;
        for (int n = 0; n < 100000 && peek_chunk(s, c) == chunk_read::chunk; n++) {
            if (!read_chunk_payload(s, c, payload)) break;
            if (s.position <= last || s.position > s.file_size) __builtin_trap();
            last = s.position;
        }
        for (int n = 0; n < 100000 && step_back_chunk(s, c); n++) {
            if (s.position >= last || s.position < s.body_start) __builtin_trap();
            last = s.position;
        }
        if (s.position < s.body_start) __builtin_trap();
    }
    close_demo_stream(s);

    // Playback with every listed rider in a slot of its own.
    clear_histories();
    race = race_clock{};
    std::string track;
    if (open_playback(path.c_str(), track)) {
        std::string model;
        bike_setup setup;
        for (int slot = 0; slot < history_slot_count && next_demo_rider(slot, model, setup); slot++) {
        }
        for (int step = 0; step < 64; step++) {
            race.tic += 37;
            read_playback();
        }
        close_playback();
    }
    return 0;
}
