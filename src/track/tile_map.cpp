// The tile map over the height field, the world-to-tile lookup, and the
// tile part of a track load.
#include <algorithm>

#include "core/diag.h"
#include "track/height_field.h"
#include "track/tile_info.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

namespace {
std::vector<uint8_t> g_tilemap;
int g_map_side = 0;  // 2^g, the tiles per side of the map in g_tilemap
}  // namespace

bool load_tilemap(const char* name) {
    g_tilemap.clear();
    g_map_side = 0;
    if (!height_field_loaded()) {
        log_printf("tilemap: no height field loaded\n");
        return false;
    }
    vfs_file* f = vfs_open(name, "rb");
    if (!f) {
        show_messagef("Can't open '%.950s'", name);
        return false;
    }
    int side = 1 << terrain.size_log2;
    // A short file leaves the rest of the map at tile 0.
    g_tilemap.assign((size_t)side * side, 0);
    size_t got = vfs_read(f, g_tilemap.data(), g_tilemap.size());
    (void)got;
    vfs_close(f);
    int last = std::max(tile_count() - 1, 0);
    for (uint8_t& b : g_tilemap)
        if (b > last) b = (uint8_t)last;
    g_map_side = side;
    return true;
}

int tile_at(float x, float z) {
    if (g_map_side == 0) return 0;
    float scale = 0.5f / terrain.cell_size, top = (float)(g_map_side - 1);
    // Written so that a NaN lands on 0 and the conversion is always defined.
    float u = x * scale, v = z * scale;
    u = u > 0.0f ? (u < top ? u : top) : 0.0f;
    v = v > 0.0f ? (v < top ? v : top) : 0.0f;
    return g_tilemap[(size_t)(int)u + (size_t)g_map_side * (size_t)(int)v];
}

const std::vector<uint8_t>& tilemap() { return g_tilemap; }

void set_tile(int tx, int tz, int type) {
    if (tx < 0 || tz < 0 || tx >= g_map_side || tz >= g_map_side || type < 0 || type >= tile_count()) return;
    g_tilemap[(size_t)tx + (size_t)g_map_side * tz] = (uint8_t)type;
}

std::vector<uint8_t> encode_tilemap(const std::vector<uint8_t>& map, int size_log2) {
    size_t side = size_log2 >= 0 && size_log2 < 16 ? (size_t)1 << size_log2 : 0;
    std::vector<uint8_t> out(map.begin(), map.begin() + std::min(map.size(), side * side));
    out.resize(side * side, 0);
    return out;
}

bool load_tile_data(const char* track_dir) {
    free_tile_data();
    track_step_begin("Loading tileinfo");
    std::string info = track_file_name(track_dir, "tileinfo");
    if (!load_tile_info(info.c_str())) {
        std::string list = track_file_name(track_dir, "texturelist");
        if (!load_texture_list(list.c_str())) {
            free_tile_data();
            return false;
        }
    }
    track_step_done();
    track_step_begin("Loading tilemap");
    if (!load_tilemap(track_file_name(track_dir, "tilemap").c_str())) {
        free_tile_data();
        return false;
    }
    track_step_done();
    return true;
}

void free_tile_data() {
    free_tile_types();
    g_tilemap.clear();
    g_map_side = 0;
}
