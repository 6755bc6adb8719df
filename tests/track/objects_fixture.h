// A loaded field in a fresh sandbox with headless textures, models and
// shapes, and empty track objects: what the object tests build on.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "render/image_io.h"
#include "render/model.h"
#include "render/shape_file.h"
#include "render/texture.h"
#include "track/objects_race.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "track_fixture.h"
#include "vfs/vfs.h"

struct objects_test : ::testing::Test {
    track_sandbox track;
    // A 256 ft field (g 7, 1 ft cells), flat at height 10 unless a slope is
    // asked for: then the height rises by `slope` per foot along x.
    void SetUp() override { field(0); }
    void field(float slope) {
        free_track_objects();
        textures_init();
        models_init(false);
        shape_cache_free();
        object_race = {};
        int g = 7, n = track_sandbox::side(g);
        std::vector<uint16_t> samples((size_t)n * n);
        float high = 10 + slope * (float)(n - 1) + 1;
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++)
                samples[(size_t)i + (size_t)n * j] = quantise(10 + slope * (float)i, 0, high);
        track.write_field(g, 1.0f, 0, high, &samples);
        ASSERT_TRUE(track.load());
    }
    static uint16_t quantise(float h, float h0, float h1) {
        return (uint16_t)std::lround((h - h0) / (h1 - h0) * 65535.0f);
    }
    void TearDown() override {
        free_track_objects();
        textures_free();
        models_free();
        shape_cache_free();
        object_race = {};
        current_track_dir.reset();
    }
    // Files inside the data root, named "@file" by the loaders.
    void put(const std::string& file, const std::string& text) const { write_file(track.box.root1() + file, text); }
    void put_png(const std::string& file, uint8_t shade = 200) const {
        std::vector<uint8_t> rgb(16 * 16 * 3, shade), png;
        encode_png(rgb.data(), 16, 16, 3, nullptr, png);
        write_file(track.box.root1() + file, std::vector<unsigned char>(png.begin(), png.end()));
    }
    static constexpr const char* triangle_jm = "3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n";
    // One sphere of radius r at the origin.
    void put_shape(const std::string& file, float r) const {
        collision_shape s;
        s.spheres.push_back({{0, 0, 0}, r, 0.5f, 1000, 10});
        put(file, shape_text(s));
    }
    // The track file inside the track directory, as the loader names it.
    std::string track_file(const char* file) const { return "@" + track.dir + "/" + file; }
    void put_track(const char* file, const std::string& text) const { track.put(file, text); }
};

inline bool shown(const char* text) {
    for (int age = 0; age < 200; age++) {
        const char* line = message_line(age);
        if (!*line) break;
        if (strstr(line, text)) return true;
    }
    return false;
}
