#include "race/headless.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/rider_parts.h"
#include "bike/solid_objects.h"
#include "core/config.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "render/model.h"
#include "render/shape_file.h"
#include "render/texture.h"
#include "robot/robot.h"
#include "track/objects_race.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "vfs/vfs.h"

namespace {
std::string g_temp_home;
}

bool headless_init(const std::string& data_root, const std::string& home, const char* argv0) {
    std::string root = data_root;
    if (root.empty()) root = std::filesystem::absolute(argv0).parent_path().string();
    std::string h = home;
    if (h.empty()) {
        char tmpl[] = "/tmp/quarnix-race-XXXXXX";
        if (!mkdtemp(tmpl)) return false;
        g_temp_home = h = tmpl;
    }
    setenv("XDG_DATA_HOME", h.c_str(), 1);
    setenv("KV_HOME", root.c_str(), 1);
    vfs_shutdown();
    file_list();
    race_parts = {};
    textures_init();
    models_init(false);
    standalone_race_parts();
    fill_robot_parts(race_parts, rider_parts);
    config_defaults();
    if (scan_tracks() < 1) return false;
    if (!bike_world_init()) return false;
    clear_race_state();
    return true;
}

void headless_free() {
    free_race();
    release_track();
    free_track_lists();
    bike_world_free();
    textures_free();
    models_free();
    shape_cache_free();
    vfs_shutdown();
    if (!g_temp_home.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(g_temp_home, ec);
    }
}

double slot_speed(int slot) {
    bike_state* b = bike_in_slot(slot);
    if (!b) return 0;
    double v[3];
    get_body_velocity(*b, body_frame, v);
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

unsigned long long race_state_digest() {
    unsigned long long h = 1469598103934665603ULL;  // FNV-1a
    auto add = [&](const dReal* v, int n) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(v);
        for (size_t k = 0; k < sizeof(dReal) * (size_t)n; k++) h = (h ^ p[k]) * 1099511628211ULL;
    };
    for (int s = 0; s < race_slot_count; s++) {
        const bike_state* b = bike_in_slot(s);
        if (!b) continue;
        for (dBodyID body : b->bodies) {
            add(dBodyGetPosition(body), 3);
            add(dBodyGetQuaternion(body), 4);
            add(dBodyGetLinearVel(body), 3);
            add(dBodyGetAngularVel(body), 3);
        }
    }
    return h;
}
