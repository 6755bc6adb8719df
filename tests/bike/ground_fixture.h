// Small height fields made in memory for the ground and tire tests.
#pragma once

#include <cstdint>
#include <functional>

#include "track/height_field.h"

// Fills the one height field with N = 2 * 2^g + 1 samples per side from
// h(i, j), as the loader would leave it.
inline void make_test_field(int g, float cell, const std::function<float(int, int)>& h) {
    free_height_field();
    height_field& f = terrain;
    int n = (2 << g) + 1;
    f.size_log2 = g;
    f.samples_per_side = n;
    f.cell_size = cell;
    f.tile_size = 2 * cell;
    f.extent = (float)(n - 1) * cell;
    f.inverse_cell_size = 1.0f / cell;
    size_t count = (size_t)n * n;
    f.height_storage.assign(2 * count, 0.0f);
    f.heights = f.height_storage.data();
    f.base_heights = f.heights + count;
    f.height_min = f.height_max = h(0, 0);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            float v = h(i, j);
            f.heights[(size_t)i + (size_t)n * j] = f.base_heights[(size_t)i + (size_t)n * j] = v;
            if (v < f.height_min) f.height_min = v;
            if (v > f.height_max) f.height_max = v;
        }
    size_t triangles = 2 * (size_t)(n - 1) * (n - 1);
    f.triangle_normals.assign(triangles * 3, 0.0f);
    f.triangle_dirty.assign((triangles + 63) / 64, ~(uint64_t)0);
    f.shade_dirty.assign((count + 63) / 64, 0);
    f.shading.assign(count * 3, 128);
    f.shadows.assign(count, 0);
}

inline void make_flat_field(int g, float cell, float height) {
    make_test_field(g, cell, [height](int, int) { return height; });
}

// A plane rising along +x by `slope` (height per foot).
inline void make_slope_field(int g, float cell, float slope) {
    make_test_field(g, cell, [=](int i, int) { return slope * cell * (float)i; });
}
