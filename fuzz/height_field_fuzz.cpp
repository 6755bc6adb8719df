// load_height_field over an arbitrary terrain.hf. The input may carry the
// track's other files after separator lines: "\n--shading\n" starts
// shadingx2.ppm, "\n--shadows\n" shadows.pgm, "\n--png\n" terrain.png; a track
// without its own shading gets a flat one of the right size.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "render/image_io.h"
#include "track/height_field.h"
#include "vfs/vfs.h"

namespace {

// The scratch track folder; plain storage, because it is removed at exit
// after the static strings are gone.
char scratch_root[256];

std::string root() {
    if (!scratch_root[0]) {
        snprintf(scratch_root, sizeof scratch_root, "%s/qx_fuzz_hf_%d",
                 access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp", (int)getpid());
        std::filesystem::create_directories(std::string(scratch_root) + "/tracks/f");
        setenv("XDG_DATA_HOME", (std::string(scratch_root) + "/home").c_str(), 1);
        setenv("KV_HOME", scratch_root, 1);
        atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(scratch_root, ec);
        });
    }
    return scratch_root;
}

// An empty optional file is left out altogether.
void put(const char* name, const std::string& bytes, bool optional = true) {
    std::string path = root() + "/tracks/f/" + name;
    if (bytes.empty() && optional) {
        remove(path.c_str());
        return;
    }
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// Cuts `text` at `marker`; returns what followed it ("" when absent).
std::string take_part(std::string& text, const char* marker) {
    size_t at = text.find(marker);
    if (at == std::string::npos) return "";
    std::string rest = text.substr(at + strlen(marker));
    text.resize(at);
    return rest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    png_check_crc = false;
    std::string hf((const char*)data, size);
    std::string png = take_part(hf, "\n--png\n");
    std::string shadows = take_part(hf, "\n--shadows\n");
    std::string shading = take_part(hf, "\n--shading\n");
    // Fields beyond g = 7 take too long per run to load whole; every size
    // still reaches the sample body, which no input is long enough to fill.
    int g = atoi(hf.c_str());
    if (g > 7) {
        int at = -1;
        float v;
        if (sscanf(hf.c_str(), "%*d %f %f %f %n", &v, &v, &v, &at) != 3 || at < 0 || hf[(size_t)at] != ':') return 0;
    }
    if (shading.empty() && g >= 6 && g <= 7) {
        int n = (2 << g) + 1;
        std::vector<uint8_t> flat((size_t)n * n * 3, 128);
        std::vector<uint8_t> ppm = encode_shading_x2(flat.data(), n);
        shading.assign(ppm.begin(), ppm.end());
    }
    put("terrain.hf", hf, false);
    put("shadingx2.ppm", shading);
    put("shadows.pgm", shadows);
    put("terrain.png", png);
    if (load_height_field("tracks/f", (size & 1) != 0)) {
        const height_field& f = terrain;
        int n = f.samples_per_side;
        if (f.height_min > f.height_max || f.shading.size() != (size_t)n * n * 3) __builtin_trap();
        // A few queries anywhere, including far outside the field.
        for (int k = 0; k < 16; k++) {
            float x = (float)(k * 37 % 300) - 50.0f, z = (float)(k * 53 % 300) - 50.0f;
            float h = height_at(x * f.cell_size, z * f.cell_size);
            if (h < f.height_min - 1e-3f * (1 + std::abs(f.height_min)) ||
                h > f.height_max + 1e-3f * (1 + std::abs(f.height_max)))
                __builtin_trap();
            sample_normal(k * 9, k * 5);
        }
    }
    free_height_field();
    return 0;
}
