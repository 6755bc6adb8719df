// The 8 x 8 grid of solid statues.
#include "track/objects_grid.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "render/shape_file.h"
#include "track/height_field.h"
#include "track/objects_statues.h"

namespace {

std::array<std::vector<int>, object_grid_side * object_grid_side> g_cells;

}  // namespace

int object_grid_index(float coordinate) {
    float extent = terrain.extent;
    if (!(extent > 0) || !std::isfinite(extent)) return 0;
    // Worked in double and clamped before the conversion, so that no value,
    // however far out, reaches the integer cast out of range.
    double u = std::floor(((double)coordinate / extent - 0.125) * 32.0 / 3.0);
    if (std::isnan(u)) return 0;
    return (int)std::clamp(u, 0.0, (double)(object_grid_side - 1));
}

void grid_insert(int statue_index) {
    const std::vector<statue>& list = track_statues();
    if (statue_index < 0 || statue_index >= (int)list.size()) return;
    const statue& s = list[(size_t)statue_index];
    if (!s.shape) return;
    float r = s.shape->bounding_radius;
    if (std::isnan(r) || r < 0) r = 0;
    int i0 = object_grid_index(s.x - r), i1 = object_grid_index(s.x + r);
    int j0 = object_grid_index(s.z - r), j1 = object_grid_index(s.z + r);
    for (int j = j0; j <= j1; j++)
        for (int i = i0; i <= i1; i++) {
            std::vector<int>& cell = g_cells[(size_t)(i + object_grid_side * j)];
            // Statues are inserted in index order; one inserted again after
            // a move must still leave the list sorted and without repeats.
            auto at = std::lower_bound(cell.begin(), cell.end(), statue_index);
            if (at == cell.end() || *at != statue_index) cell.insert(at, statue_index);
        }
}

void clear_object_grid() {
    for (std::vector<int>& cell : g_cells) cell.clear();
}

void build_object_grid() {
    clear_object_grid();
    for (int k = 0; k < (int)track_statues().size(); k++) grid_insert(k);
}

const std::vector<int>& object_grid_list(int column, int row) {
    column = std::clamp(column, 0, object_grid_side - 1);
    row = std::clamp(row, 0, object_grid_side - 1);
    return g_cells[(size_t)(column + object_grid_side * row)];
}
