// A small track written into a sandbox for the ground renderer's tests: a
// 64 x 64 tile field with its heights, shading, tile types with generated
// textures, tile map and optional decals, loaded like any track.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/cmdline.h"
#include "core/diag.h"
#include "render/gl_caps.h"
#include "render/image_io.h"
#include "render/terrain_lighting.h"
#include "render/terrain_mesh.h"
#include "render/terrain_parts.h"
#include "render/terrain_textures.h"
#include "render/texture.h"
#include "testkit/testkit.h"
#include "track/decals.h"
#include "track/height_field.h"
#include "track/tile_info.h"
#include "track/track.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

namespace terrain_test {

using rgb_picture = std::function<void(int x, int y, uint8_t* rgb)>;

struct test_track : ::testing::Test {
    vfs_sandbox box;
    std::string dir = "tt";
    int g = 6;
    float cell = 1.0f;
    std::function<float(int, int)> height = [](int, int) { return 0.0f; };
    std::function<uint8_t(int, int, int)> shade = [](int, int, int) { return (uint8_t)128; };
    std::vector<std::string> tile_names = {"red", "blue"};
    std::vector<rgb_picture> tile_pictures;
    std::function<int(int, int)> tile_of = [](int tx, int) { return tx < 32 ? 0 : 1; };
    std::string decals_text;
    gl_capabilities saved_caps;
    render_params saved_render;

    void SetUp() override {
        saved_caps = gl_caps;
        saved_render = render_settings;
        textures_init();
        fill_terrain_renderer(terrain_renderer);
        fill_terrain_parts(track_parts);
        render_settings.ground_texture_size = 64;
        render_settings.ground_texture_reduction = 1;
        render_settings.ground_detail_factor = 0.125 / 70;
        clear_message_history();
    }
    void TearDown() override {
        free_decals();
        free_tile_data();
        free_height_field();
        terrain_textures_release();
        textures_free();
        gl_caps = saved_caps;
        render_settings = saved_render;
        terrain_lighting = default_terrain_lighting;
    }

    std::string path(const std::string& file) const { return box.root1() + dir + "/" + file; }

    static void flat_picture(const uint8_t* colour, int, int, uint8_t* rgb) {
        rgb[0] = colour[0], rgb[1] = colour[1], rgb[2] = colour[2];
    }

    // Writes the files and loads heights, tile data and decals.
    void write_and_load() {
        int n = (2 << g) + 1;
        std::vector<float> h((size_t)n * n);
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++) h[(size_t)i + (size_t)n * j] = height(i, j);
        float lo = *std::min_element(h.begin(), h.end()), hi = *std::max_element(h.begin(), h.end());
        if (hi <= lo) hi = lo + 1;
        std::vector<uint16_t> q = quantise_heights(h.data(), h.size(), lo, hi);
        write_file(path("terrain.hf"), encode_terrain_hf(g, cell, lo, hi, q.data()));
        std::vector<uint8_t> shading((size_t)n * n * 3);
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++)
                for (int k = 0; k < 3; k++) shading[((size_t)i + (size_t)n * j) * 3 + k] = shade(i, j, k);
        write_file(path("shadingx2.ppm"), encode_shading_x2(shading.data(), n));
        std::vector<tile_info> tiles;
        for (size_t t = 0; t < tile_names.size(); t++) {
            tile_info ti;
            ti.name = tile_names[t];
            ti.texture.name = "@" + dir + "/" + tile_names[t] + ".png";
            tiles.push_back(ti);
            if (t < tile_pictures.size() && tile_pictures[t]) write_png(tile_names[t] + ".png", 64, tile_pictures[t]);
        }
        write_file(path("tileinfo"), encode_tileinfo(tiles));
        int side = 1 << g;
        std::vector<uint8_t> map((size_t)side * side);
        for (int tz = 0; tz < side; tz++)
            for (int tx = 0; tx < side; tx++) map[(size_t)tx + (size_t)side * tz] = (uint8_t)tile_of(tx, tz);
        write_file(path("tilemap"), encode_tilemap(map, g));
        if (!decals_text.empty()) write_file(path("decals"), decals_text);
        vfs_shutdown();
        ASSERT_TRUE(load_height_field(dir.c_str()));
        ASSERT_TRUE(load_tile_data(dir.c_str()));
        load_decals(track_file_name(dir.c_str(), "decals").c_str());
    }

    // A square RGB or RGBA PNG in the track directory.
    void write_png(const std::string& file, int size, const rgb_picture& picture, bool alpha = false) {
        int channels = alpha ? 4 : 3;
        std::vector<uint8_t> px((size_t)size * size * channels);
        for (int y = 0; y < size; y++)
            for (int x = 0; x < size; x++) {
                uint8_t c[4] = {0, 0, 0, 255};
                picture(x, y, c);
                for (int k = 0; k < channels; k++) px[((size_t)y * size + x) * channels + k] = c[k];
            }
        std::vector<uint8_t> png;
        ASSERT_TRUE(encode_png(px.data(), size, size, channels, nullptr, png));
        write_file(path(file), png);
    }
};

inline rgb_picture flat(uint8_t r, uint8_t g, uint8_t b) {
    return [=](int, int, uint8_t* c) { c[0] = r, c[1] = g, c[2] = b; };
}

}  // namespace terrain_test
