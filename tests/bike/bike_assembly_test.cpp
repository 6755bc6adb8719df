#include <unistd.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "core/diag.h"
#include "testkit/testkit.h"
#include "vfs/vfs.h"

namespace {

constexpr double pi = 3.14159265358979323846;

// Live bytes the physics library has asked for, to see that bikes leave
// nothing behind.
long long ode_live_bytes = 0;
void* count_alloc(dsizeint size) {
    ode_live_bytes += (long long)size;
    return malloc(size);
}
void* count_realloc(void* p, dsizeint old_size, dsizeint new_size) {
    ode_live_bytes += (long long)new_size - (long long)old_size;
    return realloc(p, new_size);
}
void count_free(void* p, dsizeint size) {
    ode_live_bytes -= (long long)size;
    free(p);
}

struct bike_fixture : ::testing::Test {
    bike_setup setup;
    void SetUp() override {
        dSetAllocHandler(count_alloc);
        dSetReallocHandler(count_realloc);
        dSetFreeHandler(count_free);
        shape_cache_free();
        ASSERT_TRUE(bike_world_init());
    }
    void TearDown() override {
        bike_world_free();
        shape_cache_free();
        dSetAllocHandler(nullptr);
        dSetReallocHandler(nullptr);
        dSetFreeHandler(nullptr);
    }
    bike_state* make(const char* model = "cr125", int slot = 0) {
        bike_state* b = create_bike(model, slot, false, setup);
        EXPECT_NE(b, nullptr);
        return b;
    }
};

double body_mass(const bike_state& b, bike_body body) {
    dMass m;
    dBodyGetMass(b.bodies[body], &m);
    return m.mass;
}

std::vector<double> pose(const bike_state& b) {
    std::vector<double> v;
    for (int i = 0; i < bike_body_count; i++) {
        double p[3], q[4], l[3], a[3];
        get_body_position(b, (bike_body)i, p);
        get_body_quaternion(b, (bike_body)i, q);
        get_body_velocity(b, (bike_body)i, l);
        get_body_angular_velocity(b, (bike_body)i, a);
        v.insert(v.end(), p, p + 3);
        v.insert(v.end(), q, q + 4);
        v.insert(v.end(), l, l + 3);
        v.insert(v.end(), a, a + 3);
    }
    return v;
}

// World position of a shape sphere on its body.
void sphere_world(const bike_state& b, bike_body body, const collision_sphere& s, dVector3 out) {
    dBodyGetRelPointPos(b.bodies[body], s.center[0], s.center[1], s.center[2], out);
}

// Stands in for the tire model: the wheel shapes' spheres against the plane
// y = 0, as stiff and damped as the spheres say.
void wheel_plane_contacts(const bike_state& b) {
    for (bike_body wheel : {body_front_wheel, body_rear_wheel}) {
        const auto& shape = b.shapes[wheel];
        if (!shape) continue;
        for (const collision_sphere& s : shape->spheres) {
            dVector3 c;
            sphere_world(b, wheel, s, c);
            double depth = s.radius - c[1];
            if (depth <= 0) continue;
            dContact contact{};
            contact.surface.mode = dContactSoftERP | dContactSoftCFM | dContactApprox1;
            contact.surface.mu = s.friction;
            double hk = world_step_seconds * s.stiffness;
            contact.surface.soft_erp = hk / (hk + s.damping);
            contact.surface.soft_cfm = 1 / (hk + s.damping);
            contact.geom.pos[0] = c[0];
            contact.geom.pos[1] = c[1] - s.radius;
            contact.geom.pos[2] = c[2];
            contact.geom.normal[1] = 1;
            contact.geom.depth = depth;
            dJointAttach(dJointCreateContact(bike_world(), tic_joint_group(), &contact), b.bodies[wheel], nullptr);
        }
    }
}

// Stands in for the rider springs: a damped spring pulling the rider toward
// its seat point on the frame.
void hold_rider(const bike_state& b) {
    const bike_info& info = bike_model(b);
    dBodyID frame = b.bodies[body_frame], rider = b.bodies[body_rider];
    dVector3 seat, seat_velocity;
    dBodyGetRelPointPos(frame, info.rider_position[0] - info.frame_position[0],
                        info.rider_position[1] - info.frame_position[1],
                        info.rider_position[2] - info.frame_position[2], seat);
    dBodyGetRelPointVel(frame, info.rider_position[0] - info.frame_position[0],
                        info.rider_position[1] - info.frame_position[1],
                        info.rider_position[2] - info.frame_position[2], seat_velocity);
    const dReal* p = dBodyGetPosition(rider);
    const dReal* v = dBodyGetLinearVel(rider);
    double f[3];
    for (int k = 0; k < 3; k++) f[k] = 1500 * (seat[k] - p[k]) - 100 * (v[k] - seat_velocity[k]);
    dBodyAddForce(rider, f[0], f[1], f[2]);
    dBodyAddForceAtPos(frame, -f[0], -f[1], -f[2], p[0], p[1], p[2]);
}

TEST_F(bike_fixture, CreationChecksSlotsAndReplacesAnOccupiedOne) {
    long long before = ode_live_bytes;
    EXPECT_EQ(create_bike("cr125", 160, false, setup), nullptr);
    EXPECT_EQ(create_bike("cr125", -1, false, setup), nullptr);
    EXPECT_EQ(ode_live_bytes, before);
    EXPECT_EQ(bike_in_slot(160), nullptr);
    EXPECT_EQ(bike_info_of(-1), nullptr);
    EXPECT_STREQ(bike_model_name(3), "");

    make("cr125", 3);
    long long one_bike = ode_live_bytes;
    bike_state* b = make("rs50kx", 3);
    EXPECT_EQ(ode_live_bytes, one_bike);
    EXPECT_EQ(bike_in_slot(3), b);
    EXPECT_EQ(b->slot_index, 3);
    EXPECT_STREQ(bike_model_name(3), "rs50kx");
    EXPECT_STREQ(bike_engine_class(3), "50");
    EXPECT_EQ(bike_info_of(3), find_bike_info("rs50kx"));

    destroy_bike(b);
    EXPECT_EQ(bike_in_slot(3), nullptr);
    EXPECT_EQ(ode_live_bytes, before);

    bike_world_free();
    EXPECT_EQ(create_bike("cr125", 0, false, setup), nullptr);
}

TEST_F(bike_fixture, BuildsTheModelsMassesHeadless) {
    setup.number = "42";
    setup.bike_texture = "@cr125-red.png";
    clear_message_history();
    bike_state* b = make("nonesuch125", 7);
    EXPECT_STREQ(message_line(0), "bike info for 'nonesuch125' not found using 'cr125' instead");
    EXPECT_STREQ(b->number, "42");
    EXPECT_EQ(b->bike_texture, "@cr125-red.png");
    EXPECT_EQ(b->wheel_texture, "");  // "default": the model's own
    for (const auto& shape : b->shapes) EXPECT_FALSE(shape.has_value());  // no shape files here

    EXPECT_NEAR(b->total_mass, 12.248125, 1e-5);
    EXPECT_NEAR(body_mass(*b, body_frame), 6.77875, 1e-6);
    EXPECT_NEAR(body_mass(*b, body_front_wheel), 0.5625, 1e-6);
    EXPECT_NEAR(body_mass(*b, body_rear_wheel), 0.78125, 1e-6);
    EXPECT_NEAR(body_mass(*b, body_fork_upper), 0.7396875, 1e-6);
    EXPECT_NEAR(body_mass(*b, body_fork_lower), 0.7396875, 1e-6);
    EXPECT_NEAR(body_mass(*b, body_swingarm), 1.08375, 1e-6);
    EXPECT_NEAR(body_mass(*b, body_rider), 1.5625, 1e-6);
    EXPECT_EQ(b->front_contact.body, b->bodies[body_front_wheel]);
    EXPECT_FLOAT_EQ(b->rear_contact.tire_ring_radius, 0.75f);
    EXPECT_NEAR(b->final_drive, 4, 1e-6);
    EXPECT_NEAR(b->fork_spring, 591.33272, 1e-3);
    EXPECT_NEAR(b->shock_spring, 3158.2541, 1e-3);
    EXPECT_EQ(b->shock_hs_comp, 1600);
    EXPECT_EQ(b->flags & flag_created, flag_created);
    EXPECT_TRUE(bike_is_active(*b));

    // Moving rider mass into the upper body keeps the total.
    set_rider_mass_distribution(*b, 0.9);
    EXPECT_NEAR(body_mass(*b, body_rider), 4.6875 / 2, 1e-6);
    EXPECT_NEAR(body_mass(*b, body_frame), 3.65375 + 4.6875 / 2, 1e-6);
}

TEST_F(bike_fixture, JointsStopWhereTheModelSaysWithTheirSigns) {
    bike_state* b = make();
    const bike_info& info = bike_model(*b);
    dBodyID* body = b->bodies;
    double up = 1.13, back = 0.57, n = std::sqrt(up * up + back * back);
    auto push = [&](double steer, double fork, double arm) {
        for (int t = 0; t < 200; t++) {
            // Equal and opposite pairs: only the joints resist.
            dBodyAddTorque(body[body_fork_upper], 0, steer * up / n, steer * back / n);
            dBodyAddTorque(body[body_frame], 0, -steer * up / n, -steer * back / n);
            dBodyAddForce(body[body_fork_lower], 0, fork * up / n, fork * back / n);
            dBodyAddForce(body[body_fork_upper], 0, -fork * up / n, -fork * back / n);
            dBodyAddTorque(body[body_swingarm], arm, 0, 0);
            dBodyAddTorque(body[body_frame], -arm, 0, 0);
            bike_world_step();
        }
    };
    // Steering left, compressing the fork and the rear end.
    push(40, 300, -300);
    EXPECT_NEAR(steering_angle(*b), pi / 4, 0.02);
    EXPECT_NEAR(fork_position(*b), -info.fork_travel, 0.02);
    EXPECT_NEAR(swingarm_angle(*b), -info.swingarm_travel, 0.02);
    double r[9];
    get_body_rotation(*b, body_fork_lower, r);
    EXPECT_LT(-r[2], -0.5);  // the front wheel's forward (-z) axis points left (-x)
    double top[3], bottom[3];
    get_body_position(*b, body_fork_upper, top);
    get_body_position(*b, body_fork_lower, bottom);
    EXPECT_LT(std::hypot(top[1] - bottom[1], top[2] - bottom[2]), 0.3);

    push(-40, -300, 300);
    EXPECT_NEAR(steering_angle(*b), -pi / 4, 0.02);
    EXPECT_NEAR(fork_position(*b), 0, 0.02);
    EXPECT_NEAR(swingarm_angle(*b), 0, 0.02);

    // Wheels spinning the way they roll forward (toward -z) read positive.
    reset_bike(*b);
    dBodySetAngularVel(body[body_front_wheel], -6, 0, 0);
    dBodySetAngularVel(body[body_rear_wheel], -5, 0, 0);
    bike_world_step();
    EXPECT_NEAR(front_axle_rate(*b), 6, 0.1);
    EXPECT_NEAR(rear_axle_rate(*b), 5, 0.1);
    EXPECT_GT(front_axle_angle(*b), 0);
}

TEST_F(bike_fixture, RotateTranslateAndReset) {
    bike_state* b = make();
    const bike_info& info = bike_model(*b);
    std::vector<double> rest = pose(*b);

    rotate_bike(*b, 0, 1, 0, pi);
    for (int i = 0; i < bike_body_count; i++) {
        double p[3], r[9];
        get_body_position(*b, (bike_body)i, p);
        EXPECT_NEAR(p[0], -rest[13 * i], 1e-9);
        EXPECT_NEAR(p[1], rest[13 * i + 1], 1e-9);
        EXPECT_NEAR(p[2], -rest[13 * i + 2], 1e-9);
        get_body_rotation(*b, (bike_body)i, r);
        EXPECT_NEAR(-r[8], 1, 1e-9);  // forward (-z) now points along +z
    }
    EXPECT_NEAR(b->wheel_probe[2], -16 * info.front_wheel.center[2], 1e-6);
    EXPECT_NEAR(steering_angle(*b), 0, 1e-9);
    EXPECT_NEAR(fork_position(*b), 0, 1e-9);

    translate_bike(*b, 10, 2, -30);
    double p[3];
    get_body_position(*b, body_rider, p);
    EXPECT_NEAR(p[0], 10, 1e-9);
    EXPECT_NEAR(p[2], -30 - (double)info.rider_position[2], 1e-9);
    EXPECT_NEAR(b->wheel_probe[1], 16 * ((double)info.front_wheel.center[1] + 2), 1e-6);

    // Ride about, crash the rider off, then reset.
    for (int t = 0; t < 50; t++) bike_world_step();
    dJointAttach(b->joints[joint_rider_mount], nullptr, nullptr);
    dBodySetPosition(b->bodies[body_rider], 40, 1, 5);
    b->crash_countdown = 512;
    b->crash_count = 3;
    b->gear = 4;
    b->engine_speed = 900;
    b->controls.throttle = 1;
    b->collision_timer = -300;
    b->landing_multiplier = 2;
    b->front_contact.depth = 0.2f;
    deactivate_bike(*b);

    reset_bike(*b);
    EXPECT_EQ(pose(*b), rest);
    EXPECT_TRUE(bike_is_active(*b));
    EXPECT_EQ(b->crash_countdown, 0);
    EXPECT_EQ(b->crash_count, 0);
    EXPECT_EQ(b->gear, 0);
    EXPECT_EQ(b->engine_speed, 0);
    EXPECT_EQ(b->controls.throttle, 0);
    EXPECT_EQ(b->collision_timer, 0);
    EXPECT_EQ(b->landing_multiplier, 1);
    EXPECT_EQ(b->front_contact.depth, 0);
    EXPECT_EQ(dJointGetBody(b->joints[joint_rider_mount], 0), b->bodies[body_rider]);
    EXPECT_NEAR(dJointGetHinge2Angle1(b->joints[joint_rider_mount]), 0, 1e-9);
    // The rider rides along again: after a second of free fall it is still
    // on its seat.
    for (int t = 0; t < 128; t++) bike_world_step();
    double frame[3], rider[3];
    get_body_position(*b, body_frame, frame);
    get_body_position(*b, body_rider, rider);
    EXPECT_NEAR(rider[2] - frame[2], info.rider_position[2] - info.frame_position[2], 1e-3);
    EXPECT_NEAR(rider[1] - frame[1], info.rider_position[1] - info.frame_position[1], 1e-3);
}

TEST_F(bike_fixture, ActivityDecidesWhetherTheBikeIsStepped) {
    bike_state* b = make();
    deactivate_bike(*b);
    EXPECT_EQ(b->activity, 0);
    std::vector<double> before = pose(*b);
    for (int t = 0; t < 20; t++) bike_world_step();
    EXPECT_EQ(pose(*b), before);

    touch_bike(*b);
    EXPECT_EQ(b->activity, 1);
    for (int i = 0; i < 96; i++) fade_remote_bike(*b);
    EXPECT_EQ(b->activity, 0.25f);  // exactly: not stepped
    EXPECT_FALSE(bike_is_active(*b));
    before = pose(*b);
    bike_world_step();
    EXPECT_EQ(pose(*b), before);
    touch_bike(*b);
    EXPECT_EQ(b->activity, 0.25f);
    for (int i = 0; i < 100; i++) fade_remote_bike(*b);
    EXPECT_EQ(b->activity, 0);
    touch_bike(*b);
    EXPECT_EQ(b->activity, 1);

    // Forces gathered while inactive do not survive the wake-up.
    deactivate_bike(*b);
    dBodyAddForce(b->bodies[body_frame], 0, 5000, 0);
    activate_bike(*b);
    const dReal* f = dBodyGetForce(b->bodies[body_frame]);
    EXPECT_EQ(f[1], 0);
    bike_world_step();
    double v[3];
    get_body_velocity(*b, body_frame, v);
    EXPECT_LT(v[1], 0);
}

TEST_F(bike_fixture, AFullGridOfBikesLeavesNothingBehind) {
    long long before = ode_live_bytes;
    std::vector<long long> after_round;
    for (int round = 0; round < 3; round++) {
        for (int s = 0; s < bike_slot_count; s++) make(bike_info_table[s % bike_model_count].name, s);
        EXPECT_GT(ode_live_bytes, before);
        for (int t = 0; t < 2; t++) bike_world_step();
        for (int s = 0; s < bike_slot_count; s++) destroy_bike(bike_in_slot(s));
        for (int s = 0; s < bike_slot_count; s++) EXPECT_EQ(bike_in_slot(s), nullptr);
        after_round.push_back(ode_live_bytes);
    }
    // Only the step's working memory, which the world keeps, stays.
    EXPECT_EQ(after_round[1], after_round[0]);
    EXPECT_EQ(after_round[2], after_round[0]);
}

// Runs the data generator into the sandbox's data root.
// The build's own archive, seen from the sandbox's data root.
bool install_generated_data(vfs_sandbox& box) {
    std::string archive = std::string(QX_BIN_DIR) + "/zzzz.saf";
    bool linked = symlink(archive.c_str(), (box.root1() + "zzzz.saf").c_str()) == 0;
    EXPECT_TRUE(linked) << archive;
    file_list();
    return linked;
}

// With the generated shapes in place: a bike dropped on flat ground with its
// suspension unsprung bottoms out both ends and comes to rest, and nothing
// but the tires touches the ground on the way.
TEST_F(bike_fixture, DroppedBikeComesToRestOnItsWheels) {
    vfs_sandbox box;
    ASSERT_TRUE(install_generated_data(box));

    auto drop = [&](std::vector<double>& final_pose) {
        bike_state* b = make("crf450(2018)");
        for (const auto& shape : b->shapes) ASSERT_TRUE(shape.has_value());
        EXPECT_EQ(b->shapes[body_rider]->source, shape_load("@generic_rider.shp"));
        translate_bike(*b, 0, 0.5, 0);
        double lowest_part = 1e9;
        for (int t = 0; t < 640; t++) {
            wheel_plane_contacts(*b);
            hold_rider(*b);
            ASSERT_TRUE(bike_world_step());
            for (bike_body part : {body_frame, body_fork_upper, body_fork_lower, body_swingarm, body_rider})
                for (const collision_sphere& s : b->shapes[part]->spheres) {
                    dVector3 c;
                    sphere_world(*b, part, s, c);
                    lowest_part = std::min(lowest_part, c[1] - s.radius);
                }
        }
        final_pose = pose(*b);
        for (double v : final_pose) ASSERT_TRUE(std::isfinite(v));
        EXPECT_GT(lowest_part, 0.05);
        EXPECT_NEAR(fork_position(*b), -1, 0.03);
        EXPECT_NEAR(swingarm_angle(*b), -bike_model(*b).swingarm_travel, 0.03);
        for (int i = 0; i < bike_body_count; i++) {
            double v[3], w[3];
            get_body_velocity(*b, (bike_body)i, v);
            get_body_angular_velocity(*b, (bike_body)i, w);
            EXPECT_LT(std::hypot(v[0], v[1], v[2]), 0.01) << i;
            EXPECT_LT(std::hypot(w[0], w[1], w[2]), 0.01) << i;
        }

        // At rest the joints carry the bike's weight, and their internal
        // forces cancel: the correction is tiny next to them.
        wheel_plane_contacts(*b);
        bike_world_step();
        double largest = 0;
        for (const dJointFeedback& f : b->joint_feedback) largest = std::max(largest, std::hypot(f.f1[0], f.f1[1], f.f1[2]));
        EXPECT_GT(largest, 50);
        dBodySetForce(b->bodies[body_frame], 0, 0, 0);
        dBodySetTorque(b->bodies[body_frame], 0, 0, 0);
        joint_force_correction(*b);
        const dReal* f = dBodyGetForce(b->bodies[body_frame]);
        const dReal* tq = dBodyGetTorque(b->bodies[body_frame]);
        EXPECT_LT(std::hypot(f[0], f[1], f[2]), 1e-3 * largest);
        EXPECT_LT(std::hypot(tq[0], tq[1], tq[2]), 1e-2 * largest);
        destroy_bike(b);
    };
    std::vector<double> first, second;
    drop(first);
    drop(second);
    EXPECT_EQ(first, second);  // the same drop, bit for bit
}

// The seated rider's shape only just meets the seat and the handlebar.
TEST_F(bike_fixture, SeatedRiderBarelyTouchesFrameAndBars) {
    vfs_sandbox box;
    ASSERT_TRUE(install_generated_data(box));
    bike_state* b = make();
    for (bike_body part : {body_frame, body_fork_upper}) {
        double deepest = -1e9;
        for (const collision_sphere& rs : b->shapes[body_rider]->spheres)
            for (const collision_sphere& ps : b->shapes[part]->spheres) {
                dVector3 a, c;
                sphere_world(*b, body_rider, rs, a);
                sphere_world(*b, part, ps, c);
                deepest = std::max(deepest, rs.radius + ps.radius - std::hypot(a[0] - c[0], a[1] - c[1], a[2] - c[2]));
            }
        EXPECT_GT(deepest, 0) << part;
        EXPECT_LT(deepest, 0.1) << part;
    }
}

}  // namespace
