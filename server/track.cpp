// Loading the server's track with the game's own track code, without a
// window: the same data roots, the same parts that feed the digest (the
// timing gates' starting gate pieces and the track objects), so that the
// digest is the one an unmodified client computes.
#include "track.h"

#include <cstdlib>

#include "bike/bike_world.h"
#include "bike/rider_parts.h"
#include "bike/solid_objects.h"
#include "core/config.h"
#include "race/race.h"
#include "race/race_control.h"
#include "render/model.h"
#include "render/shape_file.h"
#include "render/texture.h"
#include "track/objects_race.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "vfs/vfs.h"

bool load_server_track(const std::string& data_dir, const std::string& dir, server_track& out, std::string& error) {
    if (!data_dir.empty()) setenv("KV_HOME", data_dir.c_str(), 1);
    vfs_shutdown();
    file_list();
    textures_init();
    models_init(false);
    standalone_race_parts();
    config_defaults();
    if (scan_tracks() < 1) {
        error = "no tracks found (is the game's data archive beside the server, or given with --data?)";
        return false;
    }
    if (!has_track(dir.c_str())) {
        error = "no track '" + dir + "' in the track list";
        return false;
    }
    if (!bike_world_init()) {
        error = "the physics world did not start";
        return false;
    }
    clear_race_state();
    current_track_dir = dir;
    if (!load_track()) {
        error = "track '" + dir + "' did not load";
        return false;
    }
    out.dir = dir;
    out.digest = track_digest;
    int gates = 0;
    if (track_parts.timing_counts) track_parts.timing_counts(out.first_lap, out.normal_lap, gates);
    return true;
}

void free_server_track() {
    release_track();
    free_track_lists();
    bike_world_free();
    textures_free();
    models_free();
    shape_cache_free();
    vfs_shutdown();
}
