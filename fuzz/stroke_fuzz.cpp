// receive_stroke over an arbitrary message on a small field, then the queue
// applied: a message is refused or queues exactly its points, and applying
// them leaves every height finite. The first four bytes pick the tile's
// erode radius (a float, any value) so hostile track values are covered too.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "track/erosion.h"
#include "track/height_field.h"
#include "track/tile_info.h"

namespace {

void make_field() {
    height_field& f = terrain;
    if (f.heights) return;
    f.size_log2 = 3;
    f.samples_per_side = 17;
    f.cell_size = 1;
    f.tile_size = 2;
    f.extent = 16;
    f.inverse_cell_size = 1;
    size_t n = 17 * 17;
    f.height_storage.assign(2 * n, 5.0f);
    f.heights = f.height_storage.data();
    f.base_heights = f.heights + n;
    f.triangle_normals.assign(3 * 2 * 16 * 16, 0.0f);
    f.triangle_dirty.assign((2 * 16 * 16 + 63) / 64, ~0ull);
    f.shade_dirty.assign((n + 63) / 64, 0);
    f.shading.assign(3 * n, 128);
    f.shadows.assign(n, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    make_field();
    if (size < 4) return 0;
    tile_info t;
    std::memcpy(&t.erode.erode_radius, data, 4);
    set_tile_types({t});
    erode_reset(1024);
    int queued = receive_stroke(data + 4, size - 4);
    size_t length = size - 4;
    if (queued >= 0) {
        if (length < erode_message_head || (length - erode_message_head) % erode_point_bytes != 0) __builtin_trap();
        if ((size_t)queued != 1 + (length - erode_message_head) / erode_point_bytes) __builtin_trap();
    } else if (erode_queue_count() != 0) {
        __builtin_trap();
    }
    for (int frame = 0; frame < (1 << 20) && erode_queue_count() > 0; frame++) apply_erosion(nullptr, 100, frame);
    if (erode_queue_count() != 0) __builtin_trap();
    for (int k = 0; k < 17 * 17; k++)
        if (!std::isfinite(terrain.heights[k])) __builtin_trap();
    // Start the next input on flat ground.
    std::fill(terrain.heights, terrain.heights + 17 * 17, 5.0f);
    return 0;
}
