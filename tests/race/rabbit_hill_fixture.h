// Races on the default track from the built archive: the fixture that
// loads it with the track's objects and the race's parts wired in, as the
// game wires them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
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
#include "testkit/testkit.h"
#include "track/height_field.h"
#include "track/objects_race.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "vfs/vfs.h"

struct rabbit_hill : ::testing::Test {
    temp_dir home;
    void SetUp() override {
        use_built_data(home);
        track_parts = {};
        solid_objects = {};
        object_race = {};
        rider_parts = {};
        textures_init();
        models_init(false);
        shape_cache_free();
        fill_race_parts(track_parts, object_race, rider_parts);
        fill_object_parts(track_parts);
        config_defaults();
        settings.track = "rabbithill";
        ASSERT_GE(scan_tracks(), 1);
        ASSERT_TRUE(bike_world_init());
        clear_race_state();
    }
    void TearDown() override {
        free_race();
        release_track();
        free_track_lists();
        bike_world_free();
        textures_free();
        models_free();
        shape_cache_free();
        track_parts = {};
        solid_objects = {};
        object_race = {};
        rider_parts = {};
        clear_race_state();
        vfs_shutdown();
        unsetenv("KV_HOME");
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

// What the pilot sees of a slot's bike: where it is, how it points and
// moves, the ground ahead and the gates to come.
inline pilot_view view_of(int slot) {
    const bike_state& b = *bike_in_slot(slot);
    double p[3], v[3], r[9], w[3];
    get_body_position(b, body_frame, p);
    get_body_velocity(b, body_frame, v);
    get_body_rotation(b, body_frame, r);
    get_body_angular_velocity(b, body_frame, w);
    pilot_view view;
    view.x = p[0];
    view.z = p[2];
    double fl = std::max(std::hypot(r[2], r[8]), 1e-9);
    view.forward_x = -r[2] / fl;
    view.forward_z = -r[8] / fl;
    view.speed = v[0] * view.forward_x + v[2] * view.forward_z;
    view.yaw_rate = -w[1];  // turning left is a positive turn about +y
    view.front_down = wheel_touches(b.front_contact);
    view.both_wheels_down = view.front_down && wheel_touches(b.rear_contact);
    view.airborne = !view.front_down && !wheel_touches(b.rear_contact);
    view.pitch = std::asin(std::clamp(-r[5], -1.0, 1.0));
    view.pitch_rate = pitch_rate(b);
    view.climb = std::atan2(v[1], std::max(std::hypot(v[0], v[2]), 1e-9));
    view.has_ground = true;
    for (int k = 0; k < pilot_view::ground_samples; k++) {
        double d = k * pilot_view::ground_step;
        view.ground[(size_t)k] = height_at((float)(p[0] + view.forward_x * d), (float)(p[2] + view.forward_z * d));
    }
    int next = race_slots[(size_t)slot].timing.gates_passed;
    if (int g = gate_of_sequence_position(next - 1); g >= 0) {
        const timing_gate& gate = track_timing().gates[(size_t)g];
        view.previous_gate = {gate.centre[0], gate.centre[2]};
        view.has_previous_gate = true;
    }
    for (int k = 0; k < (int)view.gates.size(); k++) {
        int g = gate_of_sequence_position(next + k);
        if (g < 0) break;
        const timing_gate& gate = track_timing().gates[(size_t)g];
        view.gates[(size_t)k] = {gate.centre[0], gate.centre[2]};
        view.gate_count = k + 1;
    }
    return view;
}
