// A bike on a test field, stepped the way the race tic steps it: tire
// contacts, one world step, then the force step (suspension, drivetrain,
// joint-force correction).
//
// The rider's springs and the stability aids are not part of these tests:
// the rider is held on its mount by a motor, and an optional guide keeps
// the frame from rolling or yawing (pitch stays free) and the steering
// straight, so that the drivetrain and suspension are tested on their own.
#pragma once

#include <gtest/gtest.h>

#include <cmath>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/drivetrain.h"
#include "bike/suspension.h"
#include "bike/tire.h"
#include "ground_fixture.h"
#include "track/tile_info.h"

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
        dJointSetAMotorAxis(roll_yaw, 1, 1, 0, 0, 1);  // the frame's long axis: roll
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
