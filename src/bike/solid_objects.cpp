// Finding the solid statues near a bike through the object grid.
#include "bike/solid_objects.h"

#include <algorithm>
#include <cmath>

#include "track/height_field.h"
#include "track/objects_grid.h"
#include "track/objects_statues.h"

solid_object_driver solid_objects;

const std::vector<int>* track_grid_cell(int column, int row) {
    const std::vector<int>& list = object_grid_list(column, row);
    return list.empty() ? nullptr : &list;
}

bool track_solid_statue(int index, solid_statue& out) {
    const std::vector<statue>& list = track_statues();
    if (index < 0 || index >= (int)list.size() || !list[(size_t)index].shape) return false;
    const statue& s = list[(size_t)index];
    out.shape = s.shape;
    out.position[0] = s.x, out.position[1] = s.y, out.position[2] = s.z;
    for (int k = 0; k < 9; k++) out.orientation[k] = s.orientation[(size_t)k];
    out.face_distance = s.face_distance;
    return true;
}

void track_statue_touched(int index, int tic) { touch_statue(index, tic); }

int object_grid_cell(float coordinate, float extent) {
    if (!std::isfinite(coordinate) || !(extent > 0) || !std::isfinite(extent)) return 0;
    // Clamped before the conversion, so that no coordinate, however far
    // out, reaches the integer cast out of range.
    double u = std::floor(((double)coordinate / extent - 0.125) * 32.0 / 3.0);
    u = std::clamp(u, 0.0, (double)(object_grid_cells - 1));
    return (int)u;
}

void solid_statues_near(float x, float z, float reach, std::vector<int>& out) {
    out.clear();
    if (!solid_objects.cell) return;
    if (!std::isfinite(x) || !std::isfinite(z) || !std::isfinite(reach)) return;
    float extent = terrain.extent;
    int i0 = object_grid_cell(x - reach, extent), i1 = object_grid_cell(x + reach, extent);
    int j0 = object_grid_cell(z - reach, extent), j1 = object_grid_cell(z + reach, extent);
    bool single = i0 == i1 && j0 == j1;
    for (int j = j0; j <= j1; j++)
        for (int i = i0; i <= i1; i++) {
            const std::vector<int>* list = solid_objects.cell(i, j);
            if (list) out.insert(out.end(), list->begin(), list->end());
        }
    if (!single) {
        // A statue is listed in every cell it reaches: keep it once.
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
    }
}
