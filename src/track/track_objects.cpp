#include "track/track_objects.h"

#include <string>
#include <vector>

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

}  // namespace

void free_track_objects() {
    free_objects();
    free_cameras();
    free_lighting();
    free_map();
}

unsigned track_map_texture() { return g_map_texture; }

void fill_object_parts(track_part_driver& p) {
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
}
