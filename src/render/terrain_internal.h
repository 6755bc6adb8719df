// What the terrain texture, composition and drawing files share.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "render/terrain_textures.h"

// ---- texture output ------------------------------------------------------------
// Composed textures go to GL when the texture cache does, otherwise to a
// recorder, so that headless runs go through the same steps.
enum terrain_mip_mode {
    terrain_no_mips = 0,     // level 0 only, nearest-texel minification
    terrain_uploaded_mips,   // the whole chain, uploaded by the composer
    terrain_generated_mips,  // the driver regenerates the chain when level 0 changes
    terrain_fbo_mips,        // the whole chain, regenerated after each composition
};
// A size x size texture of 3 (RGB) channels holding the placeholder
// checkerboard, clamped at the edges.
unsigned terrain_texture_create(int size, terrain_mip_mode mode);
// A lighting piece: 512 x 512 RGB, linear filtering, no mip levels.
unsigned terrain_piece_create();
// Uploads `levels` levels of a chain (level 0 first) into a texture.
void terrain_texture_upload(unsigned id, int size, const uint8_t* chain, int levels);
void terrain_texture_destroy(unsigned id);
bool terrain_output_is_gl();
// Bytes held by the composed textures.
size_t terrain_texture_bytes();
void terrain_output_reset();

// ---- the textures -----------------------------------------------------------------
enum terrain_texture_state { texture_recompose = 0, texture_pending = 1, texture_current = 2 };

struct composed_texture {
    unsigned colour = 0, normal = 0, specular = 0;
    int a = -1, b = -1, c = 0;  // the square of tiles it covers; a < 0: none
    int state = texture_recompose;
    int pending_since = 0;  // change counter when it became pending
    bool valid = false;     // holds a composition of its square
    int compositions = 0;
};

constexpr int camera_level_count = 6;
constexpr int camera_level_side = 4;

struct camera_level {
    int count = 0;  // textures of this level per side of the track
    int origin_x = 0, origin_z = 0;  // first texture unit of the window
    int window = 0;                  // textures per side of the window
    // Texture unit (u, v) of the window lives in slot (u & 3) + 4 (v & 3),
    // so a texture whose square stays in the window never moves.
    std::array<composed_texture, camera_level_side * camera_level_side> slots;
};

constexpr int piece_texels = 512;
constexpr int piece_core = 384;
constexpr int piece_border = 64;

struct lighting_piece {
    unsigned id = 0;
    bool dirty = false;
};

struct terrain_render_state {
    bool ready = false;
    int method = 1;
    int size = 64;
    unsigned framebuffer = 0;
    bool lit = false;
    terrain_mip_mode mips = terrain_no_mips;
    bool gl = false;
    int finest_level = 0;  // camera levels below it are not used; above 5 none are
    int block_tiles = 64;
    int blocks_per_side = 0;
    std::vector<composed_texture> blocks;
    std::array<camera_level, camera_level_count> levels;
    int pieces_per_side = 0;
    std::vector<lighting_piece> pieces;
    int next_piece = 0;
    int change_counter = 0;
    bool split_large_decals = false;
    std::array<float, 3> camera_position{};
    std::array<float, 3> camera_direction{0.0f, 0.0f, -1.0f};
    int triangles_drawn = 0;
};
extern terrain_render_state terrain_gfx;
extern bool terrain_decals_hidden;

bool level_in_use(int n);
// The texture a piece of the mesh (a square of `tiles` tiles from tile
// (tx, tz)) is drawn with: the first current camera level from the finest
// usable one, else its block.
const composed_texture* texture_for_piece(int tx, int tz, int tiles);

// ---- GPU composition ------------------------------------------------------------------
// Composes every set of a texture with GL (methods 2 and 3); false when it
// could not (the framebuffer was incomplete).
bool compose_texture_gl(composed_texture& t, int& work);
// Whether the back buffer can hold a composition (copy method).
bool window_holds_texture(int size);
// Fills and uploads one lighting piece from the current samples.
void fill_lighting_piece(int index);
