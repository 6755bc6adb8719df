// Composing one square of the ground into a texture image on the CPU: the
// tiles' own textures side by side, the decals stamped over them, and the
// terrain shading multiplied in.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "track/decals.h"

// The colour of a tile whose texture could not be loaded.
constexpr std::array<uint8_t, 3> terrain_fallback_colour = {120, 100, 80};

struct terrain_compose_options {
    bool decals = true;    // false while decals are hidden
    bool lighting = true;  // multiply the shading in (off for the lit terrain)
};

// Composes the square of c x c tiles starting at tile (a, b) into `rgb`
// (size x size x 3 bytes, rows along z, columns along x). Stale sample
// shading inside the square is brought up to date first. Returns the work
// done: one for every tile and every decal drawn.
int compose_terrain_cpu(int a, int b, int c, int size, const terrain_compose_options& options, uint8_t* rgb);

// The normal set of the lit terrain without the GPU: the packed sample
// normals interpolated over the square (no detail maps).
void compose_terrain_normals_cpu(int a, int b, int c, int size, uint8_t* rgb);
// The specular set without the GPU: no intensity, largest exponent.
void compose_terrain_specular_cpu(int size, uint8_t* rgb);

// ---- pieces shared with the GPU path ------------------------------------------
// The corners of a decal's rectangle in world x and z, in the order
// (-u, -v), (+u, -v), (+u, +v), (-u, +v); texture s runs along u (the side
// `size`), t along v (the side size x ratio).
std::array<std::array<float, 2>, 4> decal_corners(const decal& d);
// Indexes of the decals whose rectangle's bounding box overlaps the world
// rectangle, each once, in list order.
void decals_overlapping(float x0, float z0, float x1, float z1, std::vector<int>& out);
// The number of pieces per side a decal is split into on drivers that
// cannot draw large decal quads: 1, or the first power of two P >= 2 with
// size / P <= 256.
int decal_split_count(float size);
