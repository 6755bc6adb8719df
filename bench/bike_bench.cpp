// Tire against the ground, per wheel and tic: the deepest-contact query the
// collision pass runs, the read-out query, and the whole wheel_collide
// (query, friction lookup, contact joint, rolling resistance). Wheels sit
// on rolling random ground at random places with random lean, pressed in by
// up to a third of their section. Time per iteration is ns per call.
//
// bike_tic: one ridden bike's whole tic (collision pass with the generated
// shapes, world step, controls, force step), circling at 25 ft/s on flat
// ground; time per iteration is one tic.
#include <benchmark/benchmark.h>

#include <cmath>
#include <array>
#include <random>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/collision.h"
#include "bike/ground_geometry.h"
#include "bike/rider_control.h"
#include "bike/drivetrain.h"
#include "bike/tire.h"
#include "track/height_field.h"
#include "track/tile_info.h"
#include "vfs/vfs.h"

namespace {

constexpr float R = 0.8333333f, r = 0.3333333f;

struct wheel_pose {
    vec3f centre, axle;
};

void make_ground() {
    if (height_field_loaded()) return;
    const int g = 7, n = (2 << g) + 1;
    height_field& f = terrain;
    f.size_log2 = g;
    f.samples_per_side = n;
    f.cell_size = 2;
    f.tile_size = 4;
    f.extent = (float)(n - 1) * 2;
    f.inverse_cell_size = 0.5f;
    f.height_storage.assign((size_t)2 * n * n, 0);
    f.heights = f.height_storage.data();
    f.base_heights = f.heights + (size_t)n * n;
    std::mt19937 rng(3);
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++)
            f.heights[(size_t)i + (size_t)n * j] =
                (float)(6 * std::sin(i * 0.11) * std::cos(j * 0.07) + (rng() % 1000) * 0.0004);
    set_tile_types({tile_info{}});
}

std::vector<wheel_pose> poses(int count) {
    make_ground();
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(0, 1);
    std::vector<wheel_pose> out;
    for (int k = 0; k < count; k++) {
        float x = 20 + 200 * u(rng), z = 20 + 200 * u(rng);
        float lean = 0.8f * (u(rng) - 0.5f), heading = 6.2831853f * u(rng);
        vec3f axle = {std::cos(heading) * std::cos(lean), std::sin(lean), std::sin(heading) * std::cos(lean)};
        float y = height_at(x, z) + R + r - r * u(rng) / 3;
        out.push_back({{x, y, z}, axle});
    }
    return out;
}

void tire_ground_deepest_call(benchmark::State& state) {
    std::vector<wheel_pose> p = poses(1024);
    size_t k = 0;
    int found = 0;
    for (auto _ : state) {
        const wheel_pose& w = p[k++ & 1023];
        ground_contact g;
        found += tire_ground_deepest(w.centre, w.axle, R, r, g);
        benchmark::DoNotOptimize(g);
    }
    state.counters["found"] = (double)found / (double)state.iterations();
}
BENCHMARK(tire_ground_deepest_call);

void tire_ground_first_call(benchmark::State& state) {
    std::vector<wheel_pose> p = poses(1024);
    size_t k = 0;
    for (auto _ : state) {
        const wheel_pose& w = p[k++ & 1023];
        ground_contact g;
        benchmark::DoNotOptimize(tire_ground_first(w.centre, w.axle, R, r, g));
        benchmark::DoNotOptimize(g);
    }
}
BENCHMARK(tire_ground_first_call);

// The collision pass's work for one wheel, joint included; the one-tic
// joint group is emptied every 64 calls as the world step would. Placing
// the wheel body (two setters) is inside the timing.
void wheel_collide_call(benchmark::State& state) {
    std::vector<wheel_pose> p = poses(1024);
    std::vector<std::array<dReal, 12>> rotations;
    for (const wheel_pose& w : p) {
        // The wheel's own x axis is its axle.
        dMatrix3 rot;
        dRFrom2Axes(rot, w.axle[0], w.axle[1], w.axle[2], 0, 1, 0);
        std::array<dReal, 12> m;
        for (int i = 0; i < 12; i++) m[(size_t)i] = rot[i];
        rotations.push_back(m);
    }
    bike_world_init();
    bike_setup setup;
    bike_state* b = create_bike("cr125", 0, false, setup);
    dBodyID wheel = b->bodies[body_front_wheel];
    dBodySetLinearVel(wheel, 0, 0, -20);
    size_t k = 0;
    int touched = 0;
    for (auto _ : state) {
        size_t i = k++ & 1023;
        const wheel_pose& w = p[i];
        dBodySetPosition(wheel, w.centre[0], w.centre[1], w.centre[2]);
        dBodySetRotation(wheel, rotations[i].data());
        touched += wheel_collide(b->front_contact, 1);
        if ((k & 63) == 0) dJointGroupEmpty(tic_joint_group());
    }
    state.counters["touched"] = (double)touched / (double)state.iterations();
    bike_world_free();
}
BENCHMARK(wheel_collide_call);

// A flat 512 ft field in place of the rolling one (which is rebuilt after).
void make_flat_ground() {
    free_height_field();
    const int g = 7, n = (2 << g) + 1;
    height_field& f = terrain;
    f.size_log2 = g;
    f.samples_per_side = n;
    f.cell_size = 2;
    f.tile_size = 4;
    f.extent = (float)(n - 1) * 2;
    f.inverse_cell_size = 0.5f;
    f.height_storage.assign((size_t)2 * n * n, 0);
    f.heights = f.height_storage.data();
    f.base_heights = f.heights + (size_t)n * n;
    set_tile_types({tile_info{}});
}

void bike_tic(benchmark::State& state) {
    // The collision shapes come from the built game data.
    setenv("KV_HOME", QX_BIN_DIR, 1);
    vfs_shutdown();
    file_list();
    make_flat_ground();
    bike_world_init();
    bike_setup setup;
    setup.arcade = 0;
    bike_state* b = create_bike("cr125", 0, false, setup);
    apply_bike_setup(*b, setup, 0);
    const bike_info& info = bike_model(*b);
    translate_bike(*b, 256, info.front_wheel.tire_ring_radius + info.front_wheel.tire_section_radius -
                               info.front_wheel.center[1], 480);
    player_input input{};
    rider_clock clock;
    auto tic = [&] {
        bike_collision_pass(*b, clock.tic);
        bike_world_step();
        double v = std::sqrt(std::pow(dBodyGetLinearVel(b->bodies[body_frame])[0], 2) +
                             std::pow(dBodyGetLinearVel(b->bodies[body_frame])[2], 2));
        input[throttle_control] = (float)std::clamp((25 - v) * 0.3, 0.0, 1.0);
        // Right turn once up to speed (the bindings give left as positive).
        input[steer_control] = v > 24 || clock.tic > 512 ? 0.5f : 0.0f;
        apply_player_input(*b, input);
        bike_force_step(*b, clock);
        clock.tic++;
    };
    for (int t = 0; t < 1024; t++) tic();  // up to speed and into the turn
    for (auto _ : state) tic();
    state.counters["resets"] = b->fault_resets;
    state.counters["shapes"] = b->shapes[body_frame].has_value();
    bike_world_free();
    free_height_field();
    free_tile_data();
}
BENCHMARK(bike_tic)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
