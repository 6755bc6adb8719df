// The light the ground is shaded with, and the shading colour of one height
// sample under it.
#pragma once

#include <array>
#include <cstdint>

// The track's sun and ambient light as far as the ground needs them.
struct terrain_lighting_values {
    std::array<float, 3> sun_vector = {0.57735026f, 0.57735026f, 0.57735026f};  // unit length
    std::array<float, 3> sun_color = {1.0f, 1.0f, 1.0f};
    std::array<float, 3> ambient = {0.5f, 0.5f, 0.5f};
    bool dynamic_lighting = false;  // the track asks for per-pixel lighting
};

// Where the ground reads its light: the game points it at the track's
// lighting record (lighting_for_terrain) at start-up, tests at lights of
// their own; until then it gives the defaults above.
extern const terrain_lighting_values& (*terrain_lighting)();
const terrain_lighting_values& default_terrain_lighting();

// The shading colour of sample (i, j) (indices clamped): the sun's share
// clamp(n . sun, 0, 1) x (1 - shadow / 255), then per channel
// trunc((sun_color x share + ambient) x 0.5 x 255) clamped to 0..255, so
// that 128 is full brightness.
std::array<uint8_t, 3> sample_lighting(int i, int j);

// Brings the stale samples of the rectangle (inclusive, clamped) up to date
// and clears their marks: shading always, and the packed normal texels when
// the field keeps them and `normals` is set.
void relight_samples(int i0, int j0, int i1, int j1, bool normals);
