// The object grid: 8 x 8 lists of the solid statues by where they stand,
// so that a bike only meets the statues of the cells around it.
//
// A coordinate c falls in column (or row) clamp(floor((c / extent - 1/8) *
// 32/3), 0, 7): eight equal cells over the middle three quarters of the
// field, the outer ones reaching to its edges.
#pragma once

#include <vector>

constexpr int object_grid_side = 8;

// The column or row of a world coordinate on the loaded field; a coordinate
// that is not a number, or a field without extent, falls in cell 0.
int object_grid_index(float coordinate);
// Lists a solid statue in every cell its bounding square (shape radius
// around its position) touches; nothing for a statue without a shape.
void grid_insert(int statue_index);
// Empties the grid and inserts every statue in index order.
void build_object_grid();
void clear_object_grid();
// The statue indices of a cell in increasing order; the cell is clamped to
// the grid.
const std::vector<int>& object_grid_list(int column, int row);
