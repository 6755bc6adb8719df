// The ground: one square grid of height samples, its triangulation, height
// and normal queries, the lighting images kept per sample, and the marks by
// which a changed sample reaches everything derived from it.
//
// Sample (i, j) lies at world x = i * cell_size, z = j * cell_size. Each cell
// is cut along the diagonal that joins its even-even corner to its odd-odd
// corner, so every tile (2 x 2 cells around an odd-odd sample) is a fan of
// eight triangles. Physics, drawing and the editor all use this surface.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct height_field {
    int size_log2 = 0;         // g: the tile map has 2^g x 2^g tiles
    int samples_per_side = 0;  // N = 2 * 2^g + 1
    float cell_size = 0;
    float tile_size = 0;  // 2 * cell_size
    float extent = 0;     // (N - 1) * cell_size
    float height_min = 0;
    float height_max = 0;
    // heights and base_heights are the two halves of height_storage; the
    // base copy is the ground as loaded, never changed by play.
    float* heights = nullptr;
    float* base_heights = nullptr;
    std::vector<float> height_storage;
    std::vector<uint8_t> shading;           // 3 bytes per sample, 128 = full brightness
    std::vector<uint8_t> shadows;           // 1 byte per sample, 0 = lit, 255 = fully shadowed
    std::vector<float> triangle_normals;    // 3 floats per triangle
    std::vector<uint64_t> triangle_dirty;   // 1 bit per triangle: cached normal stale
    std::vector<uint64_t> shade_dirty;      // 1 bit per sample: shading to recompute
    std::vector<uint64_t> normal_dirty;     // 1 bit per sample, only with normal_texels
    std::vector<uint8_t> normal_texels;     // 3 bytes per sample: x, light, z
    int frozen = 0;          // non-zero: set_sample leaves the ground alone
    int modified_flags = 0;  // kinds of unsaved change; 7 after any accepted set_sample
    int change_count = 0;    // deformation stamps so far
    float inverse_cell_size = 0;
    std::array<uint8_t, 20> sample_digest{};  // SHA-1 of the samples as loaded
};

// The one loaded height field.
extern height_field terrain;

// The renderer's side of the terrain (level-of-detail data and the terrain
// textures), above this folder: the game fills it at start-up
// (fill_terrain_renderer), tests count the calls; each entry may be null.
struct terrain_render_driver {
    void (*heights_loaded)();                                  // build level-of-detail data
    void (*changed_region)(int i0, int j0, int i1, int j1);    // inclusive sample rectangle
    void (*release)();                                         // free the terrain textures
};
extern terrain_render_driver terrain_renderer;

// ---- loading -------------------------------------------------------------------
// Reads "terrain.hf" (and "terrain.png" when it holds no samples), the
// shading and shadow images of the track directory, and sets up the derived
// data; normal_texels also fills the per-sample normal texels used by the
// lit terrain. On failure the message has been shown and nothing is left
// allocated.
bool load_height_field(const char* track_dir, bool with_normal_texels = false);
// The per-sample normal texels of the lit terrain, for a loaded field that
// has none yet (the track loader makes them after the tile data).
void create_normal_texels();
// Releases everything (and the renderer's terrain textures) and empties the record.
void free_height_field();
inline bool height_field_loaded() { return terrain.heights != nullptr; }

// ---- queries (never fail: every index is clamped) ----------------------------
// Height of the surface at a world point. Outside the grid the edge samples
// continue outward; non-finite coordinates count as the nearest edge.
float height_at(float x, float z);
// The same over the ground as loaded.
float base_height_at(float x, float z);
// Normal of the triangle under the point, not normalised, y = cell_size^2 > 0.
std::array<float, 3> surface_normal_at(float x, float z);
// Unit normal of triangle (c, j), c = 0 .. 2N-3 along the row, j = 0 .. N-2;
// recomputed when marked stale.
std::array<float, 3> triangle_normal(int c, int j);
// Unit normal at a sample: the normalised sum of its triangles' normals.
std::array<float, 3> sample_normal(int i, int j);
// Height of sample (i, j) with both indices clamped.
float sample_height(int i, int j);
// Sum of all current heights (the "hfvol" console read-out).
double height_field_volume();

// ---- changes ------------------------------------------------------------------------
// Stores a height and marks what depends on it. Ignored outside the grid,
// while frozen, and for a non-finite height.
void set_sample(int i, int j, float h);
// Hands a changed sample rectangle (clamped to the grid) to the renderer.
void report_changed_region(int i0, int j0, int i1, int j1);
// The packed normal texel of a sample: 128 + trunc(n * 127) for x and z,
// and the light value 255 - shadow in the middle.
std::array<uint8_t, 3> compute_normal_texel(int i, int j);

inline bool test_bit(const std::vector<uint64_t>& bits, size_t k) { return (bits[k >> 6] >> (k & 63)) & 1; }
inline void set_bit(std::vector<uint64_t>& bits, size_t k) { bits[k >> 6] |= (uint64_t)1 << (k & 63); }
inline void clear_bit(std::vector<uint64_t>& bits, size_t k) { bits[k >> 6] &= ~((uint64_t)1 << (k & 63)); }

// ---- writers --------------------------------------------------------------------------
// "terrain.hf": the header "%d %f %f %f\n" (g, cell size, the heights of
// sample values 0 and 65535) and, when samples is given, ':' and the N x N
// little-endian samples. Numbers that "%f" would round are written with
// enough digits to read back exactly.
std::vector<uint8_t> encode_terrain_hf(int size_log2, float cell_size, float h0, float h1,
                                       const uint16_t* samples);
// Heights as 16-bit samples between lowest (0) and highest (65535), rounded.
std::vector<uint16_t> quantise_heights(const float* heights, size_t count, float lowest, float highest);
// The shading images: "shadingx2.ppm" holds the stored bytes, "shading.ppm"
// each doubled and saturated.
std::vector<uint8_t> encode_shading_x2(const uint8_t* shading, int samples_per_side);
std::vector<uint8_t> encode_shading_full(const uint8_t* shading, int samples_per_side);
// "shadows.pgm": 255 - shadow per sample.
std::vector<uint8_t> encode_shadows_pgm(const uint8_t* shadows, int samples_per_side);
