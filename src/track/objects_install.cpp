// Plugging the track's objects into the track loader, start-up, the frame
// loop's camera and the bike collision pass.
#include "track/objects_install.h"

#include <array>

#include "bike/solid_objects.h"
#include "core/hooks.h"
#include "render/terrain_lighting.h"
#include "render/texture.h"
#include "track/objects_billboards.h"
#include "track/objects_cameras.h"
#include "track/objects_flaggers.h"
#include "track/objects_grid.h"
#include "track/objects_lighting.h"
#include "track/objects_statues.h"
#include "track/track.h"

namespace {

unsigned g_map_texture = 0;

void free_objects() {
    free_flaggers();
    free_billboards();
    free_statues();
    clear_object_grid();
}

void load_map(const char* name) { g_map_texture = name ? texture_load(name) : 0; }
void free_map() { g_map_texture = 0; }

void object_model_files(std::vector<std::string>& names) { statue_model_files(names); }

// A new statue of the file goes in after the ones already there (the
// starting gate pieces), so the particle pool is where the file's part of
// both lists begins.
void create_pool() {
    mark_first_track_statue();
    create_particle_pool();
}

int camera_count() { return (int)track_cameras().size(); }

// The chosen track camera, or the free camera when none (or no longer a
// camera of this track) is chosen, turned for one tic after the viewed rider.
void aim_chosen_camera(int chosen, camera_record& free_camera, const bike_pose* target, const control_values& controls,
                       bool snap, bool auto_camera) {
    std::vector<track_camera>& cameras = track_cameras();
    camera_record& c = chosen >= 0 && chosen < (int)cameras.size() ? cameras[(size_t)chosen] : free_camera;
    const std::array<double, 3> still{};
    aim_camera(c, target ? &target->position : nullptr, target ? target->velocity : still, controls, snap, auto_camera);
}

// ---- the statues as the collision pass sees them ------------------------------------
const std::vector<int>* grid_cell(int column, int row) {
    const std::vector<int>& list = object_grid_list(column, row);
    return list.empty() ? nullptr : &list;
}

bool solid_statue_of(int index, solid_statue& out) {
    const std::vector<statue>& list = track_statues();
    if (index < 0 || index >= (int)list.size() || !list[(size_t)index].shape) return false;
    const statue& s = list[(size_t)index];
    out.shape = s.shape;
    out.position[0] = s.x, out.position[1] = s.y, out.position[2] = s.z;
    for (int k = 0; k < 9; k++) out.orientation[k] = s.orientation[(size_t)k];
    out.face_distance = s.face_distance;
    return true;
}

}  // namespace

void free_track_objects() {
    free_objects();
    free_cameras();
    free_lighting();
    free_map();
}

unsigned track_map_texture() { return g_map_texture; }

void install_track_objects() {
    track_part_hooks& p = track_parts;
    p.load_lighting = load_lighting;
    p.free_lighting = free_lighting;
    p.create_particle_pool = create_pool;
    p.load_flaggers = load_flaggers;
    p.load_billboards = load_billboards;
    p.load_statues = load_statues;
    p.build_object_grid = build_object_grid;
    p.object_model_files = object_model_files;
    p.free_objects = free_objects;
    p.load_map = load_map;
    p.free_map = free_map;
    p.load_cameras = load_cameras;
    p.free_cameras = free_cameras;

    track_hook.reset_default_lighting = reset_default_lighting;
    track_hook.camera_count = camera_count;
    track_hook.has_camera_switches = has_camera_switches;
    track_hook.camera_for_rider = camera_for_rider;
    track_hook.aim_camera = aim_chosen_camera;

    terrain_lighting = lighting_for_terrain;

    object_grid_hook.cell = grid_cell;
    object_grid_hook.statue = solid_statue_of;
    object_grid_hook.touched = touch_statue;
}
