// Baked terrain lighting for generated tracks: the shading colour of every
// sample, computed the way the terrain lighting recomputes it when the ground
// changes, and the sun's shadows.
#pragma once

#include <cstdint>
#include <vector>

struct baked_lighting {
    std::vector<uint8_t> shading;  // 3 bytes per sample, 128 = full brightness
    std::vector<uint8_t> shadows;  // 1 byte per sample, 0 = lit, 255 = fully shadowed
};

// The light of a track without its own lighting file.
struct bake_light {
    double sun[3] = {1, 1, 1};  // made unit length
    double sun_colour[3] = {1, 1, 1};
    double ambient[3] = {0.5, 0.5, 0.5};
};

// Heights from 16-bit samples exactly as the loader turns them into floats.
std::vector<float> heights_from_samples(const std::vector<uint16_t>& samples, float h0, float h1);
// Unit normal at a sample: the normalised sum of the unit normals of the
// triangles that meet there (indices clamped to the grid).
void bake_sample_normal(const std::vector<float>& heights, int n, float cell, int i, int j, double out[3]);
baked_lighting bake_track_lighting(int size_log2, float cell_size, float h0, float h1,
                                   const std::vector<uint16_t>& samples, const bake_light& light = bake_light());
