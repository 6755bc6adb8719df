// The track list and the loaded track as start-up and shutdown reach them.
#include "track/track_install.h"

#include "core/hooks.h"
#include "track/height_field.h"
#include "track/track.h"

namespace {
bool height_grid(int& samples_x, int& samples_z, double& spacing) {
    if (!height_field_loaded()) return false;
    samples_x = samples_z = terrain.samples_per_side;
    spacing = terrain.cell_size;
    return true;
}
double grid_sample(int i, int j) { return sample_height(i, j); }
double ground_height(double x, double z) { return height_at((float)x, (float)z); }
void set_frozen(bool frozen) { terrain.frozen = frozen ? 1 : 0; }
}  // namespace

void install_track() {
    track_hook.loaded = track_loaded;
    track_hook.height_grid = height_grid;
    track_hook.height_sample = grid_sample;
    track_hook.height_at = ground_height;
    track_hook.set_frozen = set_frozen;
    track_hook.scan_tracks = scan_tracks;
    track_hook.has_track = has_track;
    track_hook.free_track = release_track;
    track_hook.free_track_lists = free_track_lists;
}
