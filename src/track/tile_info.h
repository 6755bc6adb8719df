// Tile types: the ground texture, grip and rolling-resistance tables, roost
// (the dirt a wheel throws) and erosion values of each kind of ground, read
// from "tileinfo" or the older "texturelist"; and the tile map that gives
// every 2 x 2-cell tile of the height field its type.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr int max_tile_types = 256;
constexpr int tile_table_points = 8;
constexpr float friction_speed_end = 1048576.0f;  // first such speed ends the friction table
constexpr float roll_resist_speed_end = 0.0f;     // first such speed ends the roll table
constexpr int max_roost_types = 4;
constexpr int max_erode_limits = 8;
constexpr size_t tile_name_chars = 47;

// A texture by name; id 0 when it could not be loaded.
struct texture_ref {
    std::string name;
    unsigned id = 0;
};

// Loading textures into the renderer is not this folder's business: the
// texture code installs its loader here. Until it does, requests are recorded
// and a file that can be opened gets a stand-in id (its place in the record,
// from 1), so that the rest of the track data behaves as with real textures.
using texture_loader = unsigned (*)(const char* name);
extern texture_loader track_texture_loader;
unsigned load_track_texture(const char* name);
// Names requested from the stand-in loader, each once, in request order.
const std::vector<std::string>& recorded_texture_requests();
void clear_recorded_texture_requests();

struct roost_type {
    int mode = 0;  // 0 off, 1 normal spray, 2 splash
    texture_ref texture;
    float count = 10.0f;
    float dig = 1.0f;
    float slip_threshold = 4.0f;
    float slow_angle = 1.5707964f;
    float fast_angle = 0.19634955f;
    float slow_speed = 0.0f;
    float fast_speed = 64.0f;
    float size = 0.25f;
    float grow = 4.0f;
    float drag = 0.5f;
    float vscale = 1.0f;
    float randomize = 15.0f;
    std::array<uint8_t, 4> color = {255, 255, 255, 255};
    std::array<int8_t, 4> fade = {0, 0, 0, -2};  // change per tic
};

struct erode_params {
    float erode_depth = 1.0f;
    float erode_lower = 50.0f;
    float erode_upper = 150.0f;
    float erode_displacement = 2.0f;
    float erode_radius = 4.0f;
    float erode_inner_depth = 0.125f;
    float erode_inner_radius = 2.0f;
    float erode_min_slope = -0.5f;
    float erode_max_slope = 0.5f;
    float erode_off_speed = 10.0f;
    float erode_on_speed = 15.0f;
    float erode_slip_lower = 0.0f;
    float erode_slip_upper = 5.0f;
    float erode_slip_base_scale = 1.0f;
    float erode_slip_scale = 1.5f;
    float erode_downhill_scale = 0.0f;
    std::array<float, max_erode_limits> limit_depth = {0};
    std::array<float, max_erode_limits> limit_scale1 = {1};
    std::array<float, max_erode_limits> limit_scale2 = {1};
    float erode_project_to_ground = 1.0f;
    float erode_lateral_scale = 1.0f;
    float erode_front_scale = 1.0f;
    int erode_limit_count = 1;
};

// Ramps of the deformation rules: clamp((v - lower) / (upper - lower), 0, 1),
// with equal bounds read as a step at the bound instead of a division by
// zero. (Bounds given the other way round make a falling ramp.)
float erode_ramp(float value, float lower, float upper);
// Speed factor (off/on speeds), slip factor (slip bounds) and push strength
// (lower/upper) of one tile's values.
inline float erode_speed_factor(const erode_params& e, float speed) {
    return erode_ramp(speed, e.erode_off_speed, e.erode_on_speed);
}
inline float erode_slip_factor(const erode_params& e, float slip) {
    return erode_ramp(slip, e.erode_slip_lower, e.erode_slip_upper);
}
inline float erode_push_strength(const erode_params& e, float push) {
    return erode_ramp(push, e.erode_lower, e.erode_upper);
}

struct tile_info {
    std::string name;
    texture_ref texture;
    std::array<float, tile_table_points> friction_coefficient = {1, 1, 1, 1, 1, 1, 1, 1};
    std::array<float, tile_table_points> friction_speed = {1,
                                                           friction_speed_end,
                                                           friction_speed_end,
                                                           friction_speed_end,
                                                           friction_speed_end,
                                                           friction_speed_end,
                                                           friction_speed_end,
                                                           friction_speed_end};
    int slip_function = 0;
    std::array<std::array<float, 2>, tile_table_points> roll_resist = {
        {{5, 15}, {5, 15}, {5, 15}, {5, 15}, {5, 15}, {5, 15}, {5, 15}, {5, 15}}};
    std::array<float, tile_table_points> roll_resist_speed = {1, 0, 0, 0, 0, 0, 0, 0};
    std::array<roost_type, max_roost_types> roost;
    erode_params erode;
    int blend = 0;  // (a << 16) | (b << 8) | corner mask; -256 when b is missing
};

// ---- loading -------------------------------------------------------------------
// Parses "tileinfo"; false only when the file cannot be opened. Problems are
// warnings and the parse goes on.
bool load_tile_info(const char* name);
// Parses "texturelist"; "Can't open '%.950s'" and false when it is missing.
bool load_texture_list(const char* name);
// Tile info (or the texture list) and the tile map of a track directory,
// after its height field; false (and nothing kept) on failure.
bool load_tile_data(const char* track_dir);
void free_tile_data();
// Empties the tile type table only.
void free_tile_types();

int tile_count();
// The tile type of an index; indexes outside the table clamp to it.
const tile_info& tile_info_of(int index);
const std::vector<tile_info>& tile_types();
// Replaces the table (the editor and tests); blend descriptors are derived
// again and an empty table gets the default tile.
void set_tile_types(std::vector<tile_info> tiles);

// ---- tile map -------------------------------------------------------------------
// 2^g x 2^g bytes, tile (tx, tz) at tx + 2^g * tz. Bytes at or past the tile
// count read as the last tile; a short file leaves the rest at tile 0.
bool load_tilemap(const char* name);
// Tile type index at a world point; outside the field the nearest edge tile.
int tile_at(float x, float z);
const std::vector<uint8_t>& tilemap();
// Sets one tile (ignored outside the map or for an unknown type).
void set_tile(int tx, int tz, int type);

// ---- writers ----------------------------------------------------------------------
// "tileinfo" text that loads back as exactly these tile types.
std::string encode_tileinfo(const std::vector<tile_info>& tiles);
// The map as its file: exactly 2^g x 2^g bytes (missing tiles are tile 0).
std::vector<uint8_t> encode_tilemap(const std::vector<uint8_t>& map, int size_log2);
