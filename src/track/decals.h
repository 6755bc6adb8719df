// Decals: textures laid flat over the ground, each a rotated rectangle, and
// the 8 x 8 grid over the field by which the renderer finds them.
#pragma once

#include <string>
#include <vector>

#include "track/tile_info.h"

constexpr int decal_grid_side = 8;

struct decal {
    float x = 0, z = 0;  // centre
    float angle = 0;     // about the vertical axis, radians
    float size = 0;      // one side; the other is size * ratio
    float ratio = 1;
    float sin_angle = 0, cos_angle = 1;
    texture_ref texture;
    texture_ref normal_map;    // "_tnorm", only for the lit terrain
    texture_ref specular_map;  // "_tspec", only for the lit terrain
};

// Reads a "decals" file; false (without a message) when there is none.
// Decals whose texture does not load are dropped. with_companions also
// loads each decal's normal and specular textures.
bool load_decals(const char* name, bool with_companions = false);
void free_decals();
const std::vector<decal>& track_decals();
// The list for the editor, which lays, moves and removes decals; every
// change is followed by refile_decals().
std::vector<decal>& editable_track_decals();
// Adds a decal (angle, sine and cosine as given) and files it into the grid.
void add_decal(const decal& d);
// Indexes into track_decals() of the decals whose bounding box touches grid
// cell (cx, cz); the cell is clamped to the grid.
const std::vector<int>& decals_in_cell(int cx, int cz);
// Files every decal again (after the field's extent changed).
void refile_decals();

// "[%f %f] %f %f %f %s\n" per decal.
std::string encode_decals(const std::vector<decal>& decals);
