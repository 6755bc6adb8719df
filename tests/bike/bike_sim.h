// Bikes on a test field, stepped the way the race tic steps them.
//
// bike_sim tests the drivetrain and suspension on their own: tire contacts,
// one world step, then only suspension, drivetrain and joint-force
// correction. The rider's springs and the stability aids are left out: the
// rider is held on its mount by a motor, and an optional guide keeps the
// frame from rolling or yawing (pitch stays free) and the steering straight.
//
// riding_sim rides the whole bike: the collision pass, one world step, then
// the full force step with the rider and the stability aids.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/collision.h"
#include "bike/drivetrain.h"
#include "bike/rider_control.h"
#include "bike/rider_parts.h"
#include "bike/solid_objects.h"
#include "bike/stability.h"
#include "bike/suspension.h"
#include "bike/tire.h"
#include "ground_fixture.h"
#include "testkit/built_data.h"
#include "testkit/testkit.h"
#include "track/tile_info.h"
#include "vfs/vfs.h"

inline void hold_rider(bike_state& b) {
    dJointSetHinge2Param(b.joints[joint_rider_mount], dParamVel2, 0);
    dJointSetHinge2Param(b.joints[joint_rider_mount], dParamFMax2, 1e5);
}

struct upright_guide {
    dJointID roll_yaw = nullptr;
    void attach(bike_state& b) {
        roll_yaw = dJointCreateAMotor(bike_world(), nullptr);
        dJointAttach(roll_yaw, b.bodies[body_frame], nullptr);
        dJointSetAMotorMode(roll_yaw, dAMotorUser);
        dJointSetAMotorNumAxes(roll_yaw, 2);
        dJointSetAMotorAxis(roll_yaw, 0, 0, 0, 1, 0);  // world vertical: yaw
        // The frame's long axis (roll), handed over in world coordinates.
        dVector3 roll;
        dBodyVectorToWorld(b.bodies[body_frame], 0, 0, 1, roll);
        dJointSetAMotorAxis(roll_yaw, 1, 1, roll[0], roll[1], roll[2]);
        dJointSetAMotorParam(roll_yaw, dParamFMax, 1e5);
        dJointSetAMotorParam(roll_yaw, dParamFMax2, 1e5);
        dJointSetHingeParam(b.joints[joint_steering], dParamVel, 0);
        dJointSetHingeParam(b.joints[joint_steering], dParamFMax, 1e4);
    }
};

struct bike_sim : ::testing::Test {
    bike_setup setup;
    bike_state* bike = nullptr;
    upright_guide guide;
    int tic = 0;

    void SetUp() override {
        ASSERT_TRUE(bike_world_init());
        make_flat_field(5, 2, 0);  // 128 ft square
        set_tile_types({tile_info{}});
    }
    void TearDown() override {
        bike_world_free();
        free_tile_data();
        free_height_field();
    }

    // A cr125 with the default setup applied, its wheels over the field at
    // (x, z), dropped from `drop` ft above resting on its tires.
    bike_state* make_bike(float x, float z, float drop, bool guided = true) {
        bike = create_bike("cr125", 0, false, setup);
        EXPECT_NE(bike, nullptr);
        EXPECT_TRUE(apply_bike_setup(*bike, setup, 0));
        const bike_info& info = bike_model(*bike);
        // Lift the rest pose until the lower tire just touches y = 0.
        float front_low = info.front_wheel.center[1] - info.front_wheel.tire_ring_radius -
                          info.front_wheel.tire_section_radius;
        float rear_low = info.rear_wheel.center[1] - info.rear_wheel.tire_ring_radius -
                         info.rear_wheel.tire_section_radius;
        translate_bike(*bike, x, -std::fmin(front_low, rear_low) + drop, z);
        hold_rider(*bike);
        if (guided) guide.attach(*bike);
        tic = 0;
        return bike;
    }

    void step() {
        wheel_collide(bike->front_contact, 1);
        wheel_collide(bike->rear_contact, 1);
        ASSERT_TRUE(bike_world_step());
        shift(*bike, bike->controls.shift);
        suspension_step(*bike);
        drivetrain_step(*bike, tic);
        if (tic > 1) joint_force_correction(*bike);
        tic++;
    }

    double frame_speed() const {
        double v[3];
        get_body_velocity(*bike, body_frame, v);
        return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    }
    double frame_forward_speed() const {  // along -z
        double v[3];
        get_body_velocity(*bike, body_frame, v);
        return -v[2];
    }
    bool all_finite() const {
        for (int i = 0; i < bike_body_count; i++) {
            const dReal* p = dBodyGetPosition(bike->bodies[i]);
            const dReal* v = dBodyGetLinearVel(bike->bodies[i]);
            for (int k = 0; k < 3; k++)
                if (!std::isfinite(p[k]) || !std::isfinite(v[k])) return false;
        }
        return std::isfinite(bike->engine_speed) && std::isfinite(bike->drive_phase);
    }
    // Every body moving at v along -z, wheels rolling.
    void set_rolling(double v) {
        for (dBodyID body : bike->bodies) {
            dBodySetLinearVel(body, 0, 0, -v);
            dBodySetAngularVel(body, 0, 0, 0);
        }
        const bike_info& info = bike_model(*bike);
        dBodySetAngularVel(bike->bodies[body_front_wheel],
                           -v / (info.front_wheel.tire_ring_radius + info.front_wheel.tire_section_radius), 0, 0);
        dBodySetAngularVel(bike->bodies[body_rear_wheel],
                           -v / (info.rear_wheel.tire_ring_radius + info.rear_wheel.tire_section_radius), 0, 0);
    }
};

struct riding_sim : bike_sim {
    rider_clock clock;
    player_input input{};
    rider_input_options options;
    temp_dir home;

    // The bikes get their collision shapes from the built game data.
    void SetUp() override {
        use_built_data(home);
        shape_cache_free();
        ASSERT_TRUE(bike_world_init());
        make_flat_field(7, 2, 0);  // 512 ft square
        set_tile_types({tile_info{}});
        rider_parts = rider_driver{};
        solid_objects = solid_object_driver{};
        set_arcade_forbidden(false);
    }
    void TearDown() override {
        bike_sim::TearDown();
        shape_cache_free();
        vfs_shutdown();
        unsetenv("KV_HOME");
    }

    // A cr125 in the slot resting on its wheels at (x, z), facing -z turned
    // left by heading, with the setup applied (set `setup` first) and
    // nothing held.
    bike_state* place_bike(int slot, float x, float z, double heading = 0) {
        bike_state* b = create_bike("cr125", slot, false, setup);
        EXPECT_NE(b, nullptr);
        EXPECT_TRUE(apply_bike_setup(*b, setup, 0));
        for (const auto& shape : b->shapes) EXPECT_TRUE(shape.has_value());
        const bike_info& info = bike_model(*b);
        float front_low = info.front_wheel.center[1] - info.front_wheel.tire_ring_radius -
                          info.front_wheel.tire_section_radius;
        float rear_low = info.rear_wheel.center[1] - info.rear_wheel.tire_ring_radius -
                         info.rear_wheel.tire_section_radius;
        if (heading != 0) rotate_bike(*b, 0, 1, 0, heading);
        double f[3];
        get_body_position(*b, body_frame, f);
        // Put the frame (not the origin) over (x, z).
        translate_bike(*b, x - f[0], -std::fmin(front_low, rear_low) + height_at(x, z), z - f[2]);
        return b;
    }
    bike_state* ride_bike(float x, float z) {
        bike = place_bike(0, x, z);
        tic = 0;
        return bike;
    }

    // One race tic for the one bike: collision pass, world step, controls
    // from `input`, force step.
    void ride() {
        bike_collision_pass(*bike, tic);
        ASSERT_TRUE(bike_world_step());
        apply_player_input(*bike, input, options);
        clock.tic = tic;
        bike_force_step(*bike, clock);
        tic++;
    }

    // One race tic for several bikes, each with its own input: collision
    // passes, every pair of bikes, world step, controls, force steps.
    void ride_all(const std::vector<bike_state*>& bikes, const std::vector<player_input>& inputs) {
        for (bike_state* b : bikes) bike_collision_pass(*b, tic);
        std::vector<bike_state*> order = bikes;
        collide_bike_pairs(order, tic);
        ASSERT_TRUE(bike_world_step());
        clock.tic = tic;
        for (size_t i = 0; i < bikes.size(); i++) {
            apply_player_input(*bikes[i], inputs[i], options);
            bike_force_step(*bikes[i], clock);
        }
        tic++;
    }
    static void roll_along(bike_state& b, double speed) { roll_bike(b, speed); }

    // The input for steering right (the bindings give left as positive).
    void steer_right(float amount) { input[steer_control] = options.reverse_steering ? -amount : amount; }
    double heading() const {  // of the frame's forward axis, about +y; 0 facing -z
        double r[9];
        get_body_rotation(*bike, body_frame, r);
        return std::atan2(r[2], r[8]);  // forward = -z column
    }
};
