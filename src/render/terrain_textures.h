// The ground's composed textures and the ground mesh: textures built from
// the tiles, the decals and the terrain shading for blocks of the track and
// for six camera-following levels, kept up to date as the camera moves and
// the ground deforms; and the adaptive mesh they are drawn on.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

// Composition methods.
constexpr int terrain_method_texsubimage = 1;  // composed on the CPU and uploaded
constexpr int terrain_method_copy = 2;         // drawn in the back buffer and copied
constexpr int terrain_method_framebuffer = 3;  // drawn into the texture through a framebuffer object

// The method asked for by a "Terrain Rendering Method" item: "Software" 1,
// "Hardware/Copy" 2, "Hardware/Direct" 3, "Shaders/Copy" 2, "Shaders/Direct" 3.
int terrain_method_for_setting(int render_texture_item);

// Chooses the method and texture size for the loaded height field (falling
// back where the driver cannot do what is asked), reports the choice, and
// creates the lighting pieces (methods 2 and 3) and every block and camera
// level texture, all marked for composition. Called by the track load after
// the heights and the tile data.
void terrain_textures_setup(int requested_method);
// Frees the composed textures (the level-of-detail data stays with the
// heights).
void terrain_textures_release();
bool terrain_textures_ready();

// Once per frame before drawing: moves the camera levels with the camera and
// composes every texture marked for it.
void terrain_textures_update();
// Re-lights up to `count` dirty lighting pieces (all when 0); methods 2 and 3.
void terrain_reshade(int count);
// The camera of the coming frame: its position and viewing direction.
void terrain_camera(const std::array<float, 3>& position, const std::array<float, 3>& direction);
// Draws the ground mesh with the composed textures.
void terrain_draw();

// The per-frame terrain upkeep: the level-of-detail refresh within a work
// budget and, when `reshade` is set, re-lighting of the dirty pieces and
// recomposition of every texture waiting for new lighting.
void terrain_upkeep(int lod_budget, bool reshade);
// A changed sample rectangle (inclusive) from the height field: marks the
// lighting pieces (methods 2, 3) or the textures themselves (method 1) and
// the level-of-detail data over it.
void terrain_changed_region(int i0, int j0, int i1, int j1);

// Hides or shows the decals and recomposes everything; returns true when
// they are now hidden.
bool terrain_toggle_decals();

// ---- read-outs ----------------------------------------------------------------
int terrain_method();
int terrain_texture_size();
bool terrain_lit();
// "Terrain texture age": the change counter minus the counter at which the
// oldest pending texture began waiting (0 when none waits).
int terrain_texture_age();
// "Reshades pending": dirty lighting pieces.
int terrain_reshades_pending();
int terrain_change_counter();
// Triangles of the last drawn ground mesh.
int terrain_triangles_drawn();
// Bytes of texture memory the composed textures and lighting pieces hold
// (not counted by the texture cache).
size_t terrain_texture_memory();

// One composed texture as the tests and the debug read-outs see it.
struct terrain_texture_info {
    int level = -1;  // -1 for a block, else the camera level 0..5
    int a = 0, b = 0, c = 0;  // the square of tiles it covers
    int state = 0;            // 0 to be composed, 1 waiting for lighting, 2 current
    bool valid = false;       // has been composed for this square
    int compositions = 0;
    unsigned colour = 0, normal = 0, specular = 0;
};
std::vector<terrain_texture_info> terrain_texture_list();
