// Loading the default track from the built archive, start to finish: the
// digest, terrain, tile data and timing gates (parsed as the race code
// does), then releasing it. Also the track list scan over the same index.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/diag.h"
#include "race/timing_gates.h"
#include "track/track.h"
#include "vfs/vfs.h"

namespace {

timing_data g_timing;

struct archive_data {
    std::string home;
    archive_data() {
        char dir[] = "/tmp/qxtrackload.XXXXXX";
        home = mkdtemp(dir);
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("KV_HOME", QX_BIN_DIR, 1);
        vfs_shutdown();
        track_parts.load_timing_gates = [](const char* name) {
            vfs_file* f = vfs_open(name, "rb");
            load_timing_gates(f, g_timing);
            if (f) vfs_close(f);
        };
        track_parts.free_timing_gates = [] { g_timing = timing_data(); };
        if (scan_tracks() < 1 || !has_track("rabbithill")) abort();
    }
    ~archive_data() {
        release_track();
        free_track_lists();
        vfs_shutdown();
        std::filesystem::remove_all(home);
    }
};

archive_data& data() {
    static archive_data d;
    return d;
}

void bm_load_default_track(benchmark::State& state) {
    data();
    for (auto _ : state) {
        current_track_dir = "rabbithill";
        if (!load_track() || !g_timing.active) {
            state.SkipWithError("rabbithill did not load");
            break;
        }
        release_track();
    }
}
BENCHMARK(bm_load_default_track)->Unit(benchmark::kMillisecond);

void bm_scan_tracks(benchmark::State& state) {
    data();
    for (auto _ : state) benchmark::DoNotOptimize(scan_tracks());
}
BENCHMARK(bm_scan_tracks)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
