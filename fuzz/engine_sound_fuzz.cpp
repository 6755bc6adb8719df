// read_braap over an arbitrary ".braap", or load_sound_table over an
// arbitrary sound table (an input beginning with "SOUNDTABLE"); a voice with
// what was read then makes sound at a few engine speeds and loads. Whatever
// the file said, the taps stay inside the ring, the lists and tables keep
// their bounds, and the ring holds finite samples within -16..16.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sound/engine_sound.h"
#include "sound/sound.h"
#include "sound/sound_files.h"
#include "vfs/vfs.h"

namespace {

std::string g_root;

void put(const std::string& path, const void* data, size_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) abort();
    fwrite(data, 1, size, f);
    fclose(f);
}

// A home of its own with two sample files the inputs may name ("@a.raw",
// "@b.raw").
void make_root() {
    if (!g_root.empty()) return;
    char dir[] = "/tmp/qx_fuzz_sound_XXXXXX";
    if (!mkdtemp(dir)) abort();
    g_root = dir;
    setenv("XDG_DATA_HOME", g_root.c_str(), 1);
    unsetenv("KV_HOME");
    std::string home = g_root + "/Quarnix";
    mkdir(home.c_str(), 0700);
    std::vector<float> wave(300);
    for (size_t i = 0; i < wave.size(); i++) wave[i] = (float)std::sin((double)i * 0.1);
    std::vector<uint8_t> a = sample_file_bytes(wave);
    put(home + "/a.raw", a.data(), a.size());
    put(home + "/b.raw", a.data(), 3);
    atexit([] {
        std::string cmd = "rm -rf '" + g_root + "'";
        if (system(cmd.c_str())) {
        }
    });
}

void check_voice(engine_voice& v) {
    for (const pipe_tap& t : v.params.taps)
        if (tap_delay(t) < 1 || tap_delay(t) > 32767) __builtin_trap();
    if (v.params.bias_count < 0 || v.params.bias_count > rpm_list_limit) __builtin_trap();
    if (v.params.scale_count < 0 || v.params.scale_count > rpm_list_limit) __builtin_trap();
    if (v.params.bias_count == 0) v.params.bias_count = 1;
    if (v.params.scale_count == 0) v.params.scale_count = 1;
    if (const sound_table* t = v.params.table) {
        if (t->rows < 1 || t->cols < 1 || t->cells.size() != (size_t)(t->rows * t->cols)) __builtin_trap();
        for (const sound_table_cell& c : t->cells) {
            if (c.cycles < 1 || c.sample_count < 1 || c.sample_count > sample_file_limit) __builtin_trap();
            for (uint32_t r : c.remap)
                if (r >= (uint32_t)c.cycles) __builtin_trap();
        }
    }
    const float speeds[] = {0, 900, 6000, 30000, 1e7f};
    for (int k = 0; k < 5; k++) synthesize(v, 700, speeds[k], (float)(k * 7 - 14));
    for (float s : v.ring)
        if (!(s >= -16 && s <= 16)) __builtin_trap();
    uint8_t bytes[700];
    voice_bytes(v, 700, bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Names of devices or of other processes' files could block or be huge.
    std::string text((const char*)data, size);
    for (const char* bad : {"dev", "proc", "sys", "fd"})
        if (text.find(bad) != std::string::npos) return 0;
    make_root();
    free_sound_sets();
    auto v = std::make_unique<engine_voice>();
    v->params = builtin_engine_sound("125");
    std::string file = g_root + "/Quarnix/input";
    put(file, data, size);
    if (text.rfind("SOUNDTABLE", 0) == 0) {
        if (const sound_table* t = load_sound_table(file.c_str())) v->params.table = t;
    } else if (!read_braap(v->params, file.c_str())) {
        abort();
    }
    check_voice(*v);
    free_sound_sets();
    vfs_shutdown();
    return 0;
}
