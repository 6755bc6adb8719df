// The solid statues that bikes collide with, as the collision pass sees
// them. The track's objects own the statues and their 8 × 8 object grid; the
// pass reaches them through a small driver whose entries read the track's
// lists, so that the collision tests can stand statues up without a track.
// An empty entry means no statues.
#pragma once

#include <vector>

#include "render/shape_file.h"

// One solid statue: its shape and where it stands.
struct solid_statue {
    const collision_shape* shape = nullptr;
    float position[3] = {};
    float orientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // row by row
    float face_distance = 0;  // non-zero: an upright impostor, collided unrotated
};

// The loaded track's grid cell, statue and touch (the driver's entries).
const std::vector<int>* track_grid_cell(int column, int row);
bool track_solid_statue(int index, solid_statue& out);
void track_statue_touched(int index, int tic);

struct solid_object_driver {
    // The statue indices listed in cell (column, row) of the object grid,
    // in increasing order; null for an empty cell.
    const std::vector<int>* (*cell)(int column, int row) = track_grid_cell;
    // The statue of that index when it is solid; false otherwise.
    bool (*statue)(int index, solid_statue& out) = track_solid_statue;
    // A bike touched the statue's shape in this tic.
    void (*touched)(int index, int tic) = track_statue_touched;
};
extern solid_object_driver solid_objects;

constexpr int object_grid_cells = 8;

// The grid column (or row) of a world coordinate on a terrain of the given
// extent: eight equal cells over the middle three quarters, the outer ones
// reaching to the edges. A coordinate that is not finite, or a terrain
// without extent, falls in cell 0.
int object_grid_cell(float coordinate, float extent);

// The solid statues listed in the cells that the square of ±reach around
// (x, z) meets, in increasing index order without repeats; empty for a
// position that is not finite.
void solid_statues_near(float x, float z, float reach, std::vector<int>& out);
