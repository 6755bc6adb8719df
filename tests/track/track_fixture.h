// A track directory in a fresh file-system sandbox, written with the
// program's own writers.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "core/diag.h"
#include "render/image_io.h"
#include "testkit/testkit.h"
#include "track/height_field.h"
#include "track/track_files.h"

struct track_sandbox {
    vfs_sandbox box;
    std::string dir = "tracks/t";

    track_sandbox() {
        free_height_field();
        clear_message_history();
    }
    ~track_sandbox() {
        free_height_field();
        terrain_renderer = {nullptr, nullptr, nullptr};
    }
    std::string path(const std::string& file) const { return box.root1() + dir + "/" + file; }
    void put(const std::string& file, const std::vector<uint8_t>& bytes) const { write_file(path(file), bytes); }
    void put(const std::string& file, const std::string& text) const { write_file(path(file), text); }

    static int side(int g) { return (2 << g) + 1; }
    // terrain.hf with a sample body (or none), and a flat shadingx2.ppm.
    void write_field(int g, float cell, float h0, float h1, const std::vector<uint16_t>* samples,
                     uint8_t shade = 128) const {
        put("terrain.hf", encode_terrain_hf(g, cell, h0, h1, samples ? samples->data() : nullptr));
        std::vector<uint8_t> shading((size_t)side(g) * side(g) * 3, shade);
        put("shadingx2.ppm", encode_shading_x2(shading.data(), side(g)));
    }
    bool load(bool normal_texels = false) const { return load_height_field(dir.c_str(), normal_texels); }
};

inline std::vector<uint16_t> random_samples(int g, unsigned seed, int range = 65536) {
    std::mt19937 rng(seed);
    int n = track_sandbox::side(g);
    std::vector<uint16_t> v((size_t)n * n);
    for (uint16_t& s : v) s = (uint16_t)(rng() % (unsigned)range);
    return v;
}

// The last `count` messages shown, oldest first.
inline std::vector<std::string> last_messages(int count) {
    std::vector<std::string> out;
    for (int age = count - 1; age >= 0; age--) out.push_back(message_line(age));
    return out;
}
