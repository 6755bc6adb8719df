// Races on the default track from the built archive: the fixture that
// loads it with the track's objects and the race's parts wired in, as the
// game wires them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/rider_control.h"
#include "bike/rider_parts.h"
#include "bike/solid_objects.h"
#include "core/config.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "render/model.h"
#include "render/shape_file.h"
#include "render/texture.h"
#include "testkit/built_data.h"
#include "testkit/pilot.h"
#include "testkit/race_pilot_view.h"
#include "testkit/testkit.h"
#include "track/height_field.h"
#include "track/objects_race.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "vfs/vfs.h"

// The built archive under a fresh home, the model and texture caches, the
// race's parts wired as the game wires them, and the default settings.
inline void open_race_world(temp_dir& home) {
    use_built_data(home);
    textures_init();
    models_init(false);
    shape_cache_free();
    standalone_race_parts();
    config_defaults();
}

// After the race and the track are freed: the track lists, the physics
// world, the model, texture and shape caches, the race's parts and state,
// and the data roots.
inline void free_race_world() {
    free_track_lists();
    bike_world_free();
    textures_free();
    models_free();
    shape_cache_free();
    clear_race_parts();
    clear_race_state();
    vfs_shutdown();
    unsetenv("KV_HOME");
}

struct rabbit_hill : ::testing::Test {
    temp_dir home;
    void SetUp() override {
        open_race_world(home);
        settings.track = "rabbithill";
        ASSERT_GE(scan_tracks(), 1);
        ASSERT_TRUE(bike_world_init());
        clear_race_state();
    }
    void TearDown() override {
        free_race();
        release_track();
        free_race_world();
    }

    static race_setup lineup(std::vector<int> kinds, int laps = 3) {
        race_setup s;
        slot_kind_list list{};
        for (size_t i = 0; i < kinds.size(); i++) list[i] = kinds[i];
        s.slot_kinds = list;
        s.laps = laps;
        return s;
    }
    static std::array<double, 3> frame(int slot) {
        double p[3];
        get_body_position(*bike_in_slot(slot), body_frame, p);
        return {p[0], p[1], p[2]};
    }
};

