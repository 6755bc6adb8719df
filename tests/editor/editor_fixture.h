// The editor attached to a small generated track in a file-system sandbox,
// with helpers that work it through its pointer and keys.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/diag.h"
#include "editor/editor.h"
#include "track/height_field.h"
#include "track/track.h"
#include "track/track_fixture.h"

// A generated track in a sandbox with the editor attached to it.
struct editor_track : track_sandbox {
    explicit editor_track(int g = 6, float cell = 1.0f, unsigned seed = 7, int range = 65536) {
        std::vector<uint16_t> samples = random_samples(g, seed, range);
        write_field(g, cell, -20, 40, &samples);
        int tiles = 1 << g;
        put("texturelist", "0.9 4 12 dirt.png\ngrass.png\n");
        put("tilemap", std::vector<uint8_t>((size_t)tiles * tiles, 1));
        current_track_dir = dir;
        track_parts = track_part_driver{};
        editor_settings_defaults();
        editor_enable(true);
        EXPECT_TRUE(load_track()) << message_line(1) << message_line(0);
        editor_attach();
        editor_set_pointer(0, 0, 1024, 1024);
    }
    ~editor_track() {
        editor_detach();
        editor_enable(false);
        release_track();
    }
    int n() const { return terrain.samples_per_side; }
    // Saving writes into the home copy of the track directory.
    std::string saved(const std::string& file) const { return box.root0() + dir + "/" + file; }
    float h(int i, int j) const { return terrain.heights[(size_t)i + (size_t)n() * j]; }
    // Puts the pointer over world point (x, z).
    void point_at(float x, float z) {
        float px, py;
        editor_world_to_window(x, z, px, py);
        editor_set_pointer((int)std::lround(px), (int)std::lround(py), 1024, 1024);
    }
    void hold(int tics) {
        editor_keys.cursor_left = 0x2000;
        editor_key(0x2000, true);
        for (int t = 0; t < tics; t++) editor_tic();
    }
    void release() { editor_key(0x2000, false); }
    // The apply button pressed over world point (x, z), and the pointer
    // moved on while it is held, one tic per step.
    void press_at(float x, float z) {
        point_at(x, z);
        editor_keys.cursor_left = 0x2000;
        editor_key(0x2000, true);
    }
    void move_to(float x, float z, int tics = 1) {
        point_at(x, z);
        for (int t = 0; t < tics; t++) editor_tic();
    }
    // A key of the editor with the pointer over (x, z).
    bool key_at(int code, float x, float z) {
        point_at(x, z);
        return editor_key(code, true);
    }
    void flatten_to(float v) {
        for (int j = 0; j < n(); j++)
            for (int i = 0; i < n(); i++) set_sample(i, j, v);
        editor.pending = true;  // as a tool would have marked it
        editor_key('u', true);
    }
};
