// Shape contacts, the collision passes and bikes meeting each other.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "bike/collision.h"
#include "bike/rider_control.h"
#include "bike/rider_parts.h"
#include "bike/solid_objects.h"
#include "bike_sim.h"
#include "track/tile_info.h"

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr float nan_f = std::numeric_limits<float>::quiet_NaN();

collision_sphere sphere(float x, float y, float z, float radius, float stiffness = 5000, float damping = 500,
                        float friction = 0.8f) {
    collision_sphere s;
    s.center[0] = x;
    s.center[1] = y;
    s.center[2] = z;
    s.radius = radius;
    s.friction = friction;
    s.stiffness = stiffness;
    s.damping = damping;
    return s;
}

collision_shape shape_of(std::initializer_list<collision_sphere> spheres) {
    collision_shape s;
    s.spheres = spheres;
    s.bounding_radius = shape_bounding_radius(s);
    return s;
}

int joints_on(dBodyID body) { return dBodyGetNumJoints(body); }

// The deepest overlap between any sphere of one bike and any of another.
double deepest_overlap(const bike_state& a, const bike_state& b) {
    double deepest = -1e9;
    for (int i = 0; i < bike_body_count; i++)
        for (int j = 0; j < bike_body_count; j++) {
            if (!a.shapes[(size_t)i] || !b.shapes[(size_t)j]) continue;
            shape_placement pa = body_placement(a.bodies[i]), pb = body_placement(b.bodies[j]);
            for (const collision_sphere& sa : a.shapes[(size_t)i]->spheres)
                for (const collision_sphere& sb : b.shapes[(size_t)j]->spheres) {
                    collision_sphere wa = world_sphere(sa, pa), wb = world_sphere(sb, pb);
                    double d = std::hypot(wa.center[0] - wb.center[0], wa.center[1] - wb.center[1],
                                          wa.center[2] - wb.center[2]);
                    deepest = std::max(deepest, wa.radius + wb.radius - d);
                }
        }
    return deepest;
}

// The lowest point of a part's shape below the flat ground at height 0.
double lowest_point(const bike_state& b, bike_body part) {
    double lowest = 1e9;
    shape_placement at = body_placement(b.bodies[part]);
    for (const collision_sphere& s : b.shapes[(size_t)part]->spheres) {
        collision_sphere w = world_sphere(s, at);
        lowest = std::min(lowest, (double)(w.center[1] - w.radius));
    }
    return lowest;
}


// A fake object grid: every statue in every cell.
std::vector<solid_statue> statues;
std::vector<int> every_statue;
std::vector<std::pair<int, int>> touches;
const std::vector<int>* grid_cell(int, int) { return &every_statue; }
bool grid_statue(int index, solid_statue& out) {
    if (index < 0 || index >= (int)statues.size()) return false;
    out = statues[(size_t)index];
    return true;
}
void grid_touched(int index, int tic) { touches.push_back({index, tic}); }

struct collision_fixture : riding_sim {
    void SetUp() override {
        riding_sim::SetUp();
        statues.clear();
        every_statue.clear();
        touches.clear();
    }
    dBodyID free_body(float x, float y, float z) {
        dBodyID body = dBodyCreate(bike_world());
        dMass m;
        dMassSetSphereTotal(&m, 1, 1);
        dBodySetMass(body, &m);
        dBodySetPosition(body, x, y, z);
        return body;
    }
};

}  // namespace

// ---- spheres ---------------------------------------------------------------------------

TEST_F(collision_fixture, sphere_pairs_joints_and_penalties) {
    dWorldSetGravity(bike_world(), 0, 0, 0);
    dBodyID a = free_body(0, 10, 0), b = free_body(1.5f, 10, 0);
    contact_info info;
    EXPECT_TRUE(sphere_pair_contact(sphere(0, 10, 0, 1), a, sphere(1.5f, 10, 0, 1), b, contact_report_only, &info));
    EXPECT_FLOAT_EQ(info.depth, 0.5f);
    EXPECT_FLOAT_EQ(info.normal[0], 1);
    EXPECT_FLOAT_EQ(info.point[0], 0.75f);
    EXPECT_EQ(joints_on(a), 0);  // report only
    // Apart, or not numbers: no overlap. Centres on top of each other, or
    // no body at all: an overlap with nothing to push.
    EXPECT_FALSE(sphere_pair_contact(sphere(0, 0, 0, 1), a, sphere(2, 0, 0, 1), b, contact_joint_mode, nullptr));
    EXPECT_FALSE(sphere_pair_contact(sphere(0, 0, 0, 1), a, sphere(nan_f, 0, 0, 1), b, contact_joint_mode, nullptr));
    EXPECT_TRUE(sphere_pair_contact(sphere(0, 0, 0, 1), a, sphere(0.01f, 0, 0, 1), b, contact_joint_mode, nullptr));
    EXPECT_TRUE(sphere_pair_contact(sphere(0, 0, 0, 1), nullptr, sphere(1, 0, 0, 1), nullptr, 0, nullptr));
    EXPECT_EQ(joints_on(a), 0);

    // The softer sphere sets the stiffness, lowered so that the spring gives
    // at most 2500 lbf.
    EXPECT_NEAR(sphere_pair_constants(sphere(0, 0, 0, 1, 25000), sphere(0, 0, 0, 1, 5000), 0.75f).stiffness, 3333.33f, 0.01f);
    EXPECT_EQ(sphere_pair_constants(sphere(0, 0, 0, 1, 25000), sphere(0, 0, 0, 1, 5000), 0.25f).stiffness, 5000);

    // A joint pushes B (attached first) away from A.
    ASSERT_TRUE(sphere_pair_contact(sphere(0, 10, 0, 1), a, sphere(1.5f, 10, 0, 1), b, contact_joint_mode, nullptr));
    ASSERT_EQ(joints_on(a), 1);
    EXPECT_EQ(dJointGetBody(dBodyGetJoint(a, 0), 0), b);
    ASSERT_TRUE(bike_world_step());
    EXPECT_GT(dBodyGetLinearVel(b)[0], 0.5);
    EXPECT_LT(dBodyGetLinearVel(a)[0], -0.5);

    // Penalty forces: equal and opposite, never above 1000 lbf.
    for (float at : {1.9f, 1.0f, 0.1f})
        for (double closing : {0.0, 50.0, 1e6, -1e6}) {
            dBodySetPosition(b, at, 10, 0);
            dBodySetLinearVel(a, closing, 0, 0);
            dBodySetLinearVel(b, 0, 0, 0);
            dBodySetForce(a, 0, 0, 0);
            dBodySetForce(b, 0, 0, 0);
            sphere_pair_contact(sphere(0, 10, 0, 1, 1e9f, 1e9f), a, sphere(at, 10, 0, 1, 1e9f, 1e9f), b, contact_penalty,
                                nullptr);
            double fb = dBodyGetForce(b)[0];
            EXPECT_LE(std::fabs(fb), 1000) << at << " " << closing;
            EXPECT_DOUBLE_EQ(dBodyGetForce(a)[0], -fb);
            if (closing >= 0) {
                EXPECT_GT(fb, 0);
            }
        }
    // A disabled body takes none.
    dBodySetLinearVel(a, 0, 0, 0);
    dBodyDisable(b);
    dBodySetForce(b, 0, 0, 0);
    sphere_pair_contact(sphere(0, 10, 0, 1), a, sphere(1, 10, 0, 1), b, contact_penalty, nullptr);
    EXPECT_EQ(dBodyGetForce(b)[0], 0);
}

TEST_F(collision_fixture, broken_shape_values_never_make_an_infinite_softness) {
    dBodyID a = free_body(0, 10, 0);
    // Neither stiffness nor damping (or nonsense): overlap, but no push.
    for (auto [k, c] : {std::pair{0.0f, 0.0f}, std::pair{-5.0f, -1.0f}, std::pair{nan_f, nan_f}})
        for (int mode : {contact_joint_mode, contact_penalty}) {
            EXPECT_FALSE(sphere_pair_constants(sphere(0, 0, 0, 1, k, c), sphere(0, 0, 0, 1), 0.5f).usable);
            dBodySetForce(a, 0, 0, 0);
            EXPECT_TRUE(sphere_pair_contact(sphere(0, 10, 0, 1, k, c), a, sphere(1, 10, 0, 1), nullptr, mode, nullptr));
            EXPECT_EQ(joints_on(a), 0);
            EXPECT_EQ(dBodyGetForce(a)[0], 0);
        }
    // An infinite stiffness is held to the 2500 lbf spring.
    sphere_pair_softness s = sphere_pair_constants(sphere(0, 0, 0, 1, INFINITY, 100), sphere(0, 0, 0, 1, INFINITY, 100), 0.5f);
    EXPECT_TRUE(s.usable && std::isfinite(s.cfm));
    EXPECT_FLOAT_EQ(s.stiffness, 5000);
    // Bad radii and friction become 0; such spheres make no ground contact.
    EXPECT_EQ(world_sphere(sphere(0, 0, 0, nan_f), shape_placement{}).radius, 0);
    EXPECT_EQ(world_sphere(sphere(0, 0, 0, 1, 5000, 500, nan_f), shape_placement{}).friction, 0);
    collision_shape bad = shape_of({sphere(0, 0, 0, nan_f), sphere(0, 0, 0, -1), sphere(nan_f, 0, 0, 1)});
    dBodySetPosition(a, 100, 0.5, 100);
    EXPECT_FALSE(shape_ground_contacts(bad, a));
    EXPECT_EQ(joints_on(a), 0);
}

TEST_F(collision_fixture, a_tire_takes_an_object_contact_only_when_off_the_ground) {
    ride_bike(256, 256);
    translate_bike(*bike, 0, 10, 0);  // in the air
    wheel_contact& front = bike->front_contact;
    double c[3];
    get_body_position(*bike, body_front_wheel, c);
    const bike_info& info = bike_model(*bike);
    float bottom = (float)c[1] - info.front_wheel.tire_ring_radius - info.front_wheel.tire_section_radius;
    // A rock under the tire, its top 0.1 ft into the tire.
    collision_shape rock = shape_of({sphere(0, 0, 0, 1, 25000, 2500, 0.6f)});
    float at_pos[3] = {(float)c[0], bottom - 1 + 0.1f, (float)c[2]};
    shape_placement at = fixed_placement(at_pos, nullptr);

    front.depth = 0;
    EXPECT_TRUE(tire_shape_contacts(rock, nullptr, at, front, contact_report_only));
    EXPECT_NEAR(front.depth, 0.1, 0.01);
    EXPECT_NEAR(front.contact_normal[1], -1, 1e-3);  // into the object
    EXPECT_NEAR(front.contact_point[1], bottom + 0.05, 0.01);
    EXPECT_TRUE(wheel_touches(front));

    // A wheel that found ground in this tic keeps its ground contact.
    front.depth = 0.02f;
    front.contact_normal[1] = 1;
    EXPECT_TRUE(tire_shape_contacts(rock, nullptr, at, front, contact_joint_mode));
    EXPECT_EQ(front.depth, 0.02f);
    EXPECT_EQ(front.contact_normal[1], 1);
    EXPECT_EQ(joints_on(bike->bodies[body_front_wheel]), 2);  // the axle and the new contact

    // The ground pass clears the object contact again when there is no
    // ground under the wheel.
    bike_terrain_collide(*bike);
    EXPECT_EQ(front.depth, 0);

    // Out of reach: nothing.
    at_pos[1] -= 2;
    EXPECT_FALSE(tire_shape_contacts(rock, nullptr, fixed_placement(at_pos, nullptr), front, contact_joint_mode));
}

// ---- the object grid ---------------------------------------------------------------------------

TEST(object_grid, cells_and_lookups) {
    EXPECT_EQ(object_grid_cell(0, 256), 0);
    EXPECT_EQ(object_grid_cell(32, 256), 0);     // the outer cell reaches the edge
    EXPECT_EQ(object_grid_cell(32.1f, 256), 0);
    EXPECT_EQ(object_grid_cell(56.1f, 256), 1);  // 32 + 24 ft per cell
    EXPECT_EQ(object_grid_cell(224, 256), 7);
    EXPECT_EQ(object_grid_cell(1e30f, 256), 7);
    EXPECT_EQ(object_grid_cell(-1e30f, 256), 0);
    EXPECT_EQ(object_grid_cell(nan_f, 256), 0);
    EXPECT_EQ(object_grid_cell(INFINITY, 256), 0);
    EXPECT_EQ(object_grid_cell(100, 0), 0);

    make_flat_field(7, 2, 0);  // 512 ft
    static std::vector<int> lists[8][8];
    for (auto& row : lists)
        for (auto& cell : row) cell.clear();
    lists[3][3] = {1, 4, 9};
    lists[4][3] = {4, 7};
    lists[3][4] = {2, 9};
    solid_objects.cell = [](int i, int j) -> const std::vector<int>* { return &lists[i][j]; };
    std::vector<int> near;
    float border = 512 * 0.125f + 4 * 48;  // between columns 3 and 4
    solid_statues_near(border - 10, border - 10, 6, near);  // one cell
    EXPECT_EQ(near, (std::vector<int>{1, 4, 9}));
    solid_statues_near(border - 3, border - 3, 6, near);  // four cells
    EXPECT_EQ(near, (std::vector<int>{1, 2, 4, 7, 9}));
    solid_statues_near(nan_f, border, 6, near);
    EXPECT_TRUE(near.empty());
    solid_objects = solid_object_driver{};
    solid_statues_near(border, border, 6, near);
    EXPECT_TRUE(near.empty());
    free_height_field();
}

TEST_F(collision_fixture, a_statue_hit_above_20_ft_per_second_crashes_the_rider) {
    ride_bike(256, 256);
    solid_objects = {grid_cell, grid_statue, grid_touched};
    // A post right where the rider's chest is.
    double r[3];
    get_body_position(*bike, body_rider, r);
    static collision_shape post;
    post = shape_of({sphere(0, 0, 0, 0.5f, 25000, 2500, 0.5f)});
    solid_statue s;
    s.shape = &post;
    s.position[0] = (float)r[0];
    s.position[1] = (float)r[1] + 0.4f;
    s.position[2] = (float)r[2] - 0.4f;
    statues = {solid_statue{}, s};  // statue 0 is not solid
    every_statue = {0, 1};
    for (double speed : {15.0, 25.0}) {
        bike->crash_count = 0;
        touches.clear();
        dBodySetLinearVel(bike->bodies[body_rider], 0, 0, -speed);
        bike_collision_pass(*bike, 77);
        EXPECT_EQ(bike->crash_count, speed > 20 ? 1 : 0) << speed;
        ASSERT_EQ(touches.size(), 1u);
        EXPECT_EQ(touches[0], (std::pair<int, int>{1, 77}));
        dJointGroupEmpty(tic_joint_group());
    }
    // A rider already off the bike does not crash again.
    bike->crash_count = 0;
    bike->crash_countdown = 300;
    bike_collision_pass(*bike, 78);
    EXPECT_EQ(bike->crash_count, 0);
    bike->crash_countdown = 0;
    // Far from the bike the statue is not touched.
    statues[1].position[0] += 20;
    touches.clear();
    bike_collision_pass(*bike, 79);
    EXPECT_TRUE(touches.empty());
}

// ---- the terrain pass ------------------------------------------------------------------------

TEST_F(collision_fixture, only_forks_swingarm_and_rider_mark_the_run) {
    ride_bike(256, 256);
    auto rider_shape = bike->shapes[body_rider];
    for (bike_body part : {body_fork_upper, body_fork_lower, body_swingarm, body_rider}) bike->shapes[part].reset();
    // Sunk until the frame's lowest sphere is in the ground.
    translate_bike(*bike, 0, -lowest_point(*bike, body_frame) - 0.05, 0);
    int frame_joints = joints_on(bike->bodies[body_frame]);
    EXPECT_TRUE(bike_terrain_collide(*bike));
    EXPECT_EQ(bike->ground_touched, 0);
    EXPECT_GT(joints_on(bike->bodies[body_frame]), frame_joints);  // it has its ground contacts
    dJointGroupEmpty(tic_joint_group());

    // The rider's shape on the ground counts; sitting upright at speed on
    // the ground is no head-first landing.
    bike->shapes[body_rider] = rider_shape;
    translate_bike(*bike, 0, -lowest_point(*bike, body_rider) - 0.05, 0);
    dBodySetLinearVel(bike->bodies[body_rider], 0, 0, -20);
    EXPECT_TRUE(bike_terrain_collide(*bike));
    EXPECT_EQ(bike->ground_touched, 1);
    EXPECT_EQ(bike->crash_count, 0);
    dJointGroupEmpty(tic_joint_group());

    // Upside down on the head: a crash above 5 ft/s only.
    for (double speed : {3.0, 8.0}) {
        bike->crash_count = 0;
        reset_bike(*bike);
        rotate_bike(*bike, 0, 0, 1, pi);
        translate_bike(*bike, 256, -lowest_point(*bike, body_rider) - 0.05, 256);
        dBodySetLinearVel(bike->bodies[body_rider], speed, 0, 0);
        bike_terrain_collide(*bike);
        EXPECT_EQ(bike->crash_count, speed > 5 ? 1 : 0) << speed;
        dJointGroupEmpty(tic_joint_group());
    }
}

TEST_F(collision_fixture, a_fallen_bike_lies_on_the_ground) {
    setup.arcade = 0;
    setup.auto_dab = 0;
    ride_bike(256, 256);
    // Dropped on its side from a foot up.
    reset_bike(*bike);
    rotate_bike(*bike, 0, 0, 1, pi / 2);
    translate_bike(*bike, 256, 2.5, 256);
    double lowest = 1e9;
    for (int t = 0; t < 4 * 128; t++) {
        ride();
        ASSERT_TRUE(bike_state_finite(*bike)) << t;
        for (bike_body part : {body_frame, body_fork_upper, body_fork_lower, body_swingarm})
            lowest = std::min(lowest, lowest_point(*bike, part));
    }
    double f[3];
    get_body_position(*bike, body_frame, f);
    EXPECT_GT(lowest, -0.25);  // the soft contacts give a little, never way
    EXPECT_GT(f[1], 0.3);
    EXPECT_LT(bike_frame_speed(*bike), 0.5);
    EXPECT_EQ(bike->fault_resets, 0);
    RecordProperty("deepest_part_sink", std::to_string(-lowest));
}

// ---- bikes meeting --------------------------------------------------------------------------------

TEST_F(collision_fixture, pairing_order_is_fastest_first_and_stable) {
    std::vector<bike_state*> bikes;
    for (int s = 0; s < 5; s++) bikes.push_back(place_bike(s, 40 + 20.0f * s, 256));
    roll_along(*bikes[3], 30);
    roll_along(*bikes[1], 10);
    std::vector<bike_state*> order = bikes;
    sort_bikes_for_pairing(order);
    std::vector<int> slots;
    for (bike_state* b : order) slots.push_back(b->slot_index);
    EXPECT_EQ(slots, (std::vector<int>{3, 1, 0, 2, 4}));
    // A bike whose speed is not a number goes last instead of breaking the
    // sort.
    dBodySetLinearVel(bikes[0]->bodies[body_frame], NAN, 0, 0);
    order = bikes;
    sort_bikes_for_pairing(order);
    EXPECT_EQ(order.back(), bikes[0]);
    EXPECT_EQ(order.front(), bikes[3]);
}

TEST_F(collision_fixture, front_wheels_meeting_set_both_timers_above_10_ft_per_second) {
    const bike_info& info = bike_model(*place_bike(0, 0, 0));
    // Head to head, the front tires overlapping by 0.1 ft.
    float reach = info.front_wheel.center[2] - info.frame_position[2];  // frame to front axle (negative)
    float tire = info.front_wheel.tire_ring_radius + info.front_wheel.tire_section_radius;
    float gap = 2 * (-reach) + 2 * tire - 0.1f;
    for (auto [speed_a, speed_b] : {std::pair{15.0, 15.0}, std::pair{15.0, 8.0}}) {
        bike_state* a = place_bike(0, 256, 256);
        bike_state* b = place_bike(1, 256, 256 - gap, pi);
        roll_along(*a, speed_a);
        roll_along(*b, speed_b);
        int flags = bike_pair_collide(*a, *b, false, 10);
        EXPECT_TRUE(flags & part_front_wheel);
        EXPECT_EQ(a->collision_timer, 64);
        EXPECT_EQ(b->collision_timer, speed_b >= 10 ? 64 : 0);
        EXPECT_EQ(a->bike_contact_tic, 10);
        EXPECT_EQ(b->bike_contact_tic, 10);
        // The first contact of the tic is made of joints, a second one of
        // penalty forces.
        int joints = joints_on(a->bodies[body_front_wheel]);
        EXPECT_GT(joints, 1);
        dBodySetForce(a->bodies[body_front_wheel], 0, 0, 0);
        bike_pair_collide(*a, *b, false, 10);
        EXPECT_EQ(joints_on(a->bodies[body_front_wheel]), joints);
        EXPECT_NE(dBodyGetForce(a->bodies[body_front_wheel])[2], 0);
        dJointGroupEmpty(tic_joint_group());
    }
}

TEST_F(collision_fixture, a_front_end_into_a_side_marks_the_hit_bike) {
    const bike_info& info = bike_model(*place_bike(0, 0, 0));
    float tire = info.front_wheel.tire_ring_radius + info.front_wheel.tire_section_radius;
    float ahead = info.frame_position[2] - info.front_wheel.center[2];  // frame to front axle
    // B crosses in front of A; A's front tire touches B's frame.
    bike_state* a = place_bike(0, 256, 256);
    bike_state* b = place_bike(1, 256, 256 - ahead - tire - 0.1f, pi / 2);
    roll_along(*a, 20);
    roll_along(*b, 6);
    int flags = bike_pair_collide(*a, *b, false, 3);
    ASSERT_NE(flags, 0);
    EXPECT_FALSE(flags & part_front_end);
    EXPECT_EQ(a->collision_timer, 128);
    EXPECT_EQ(b->collision_timer, -640);  // spared from crashing for five seconds
    dJointGroupEmpty(tic_joint_group());

    // Online, B's front end against A's rear only reports: A pushes nobody
    // with its rear parts but is still found touching.
    bike_state* c = place_bike(2, 100, 100);
    bike_state* d = place_bike(3, 100 + ahead + tire - 0.1f, 100, pi / 2);  // D's front at C's side
    int before = joints_on(c->bodies[body_frame]);
    int online = bike_pair_collide(*c, *d, true, 4);
    EXPECT_TRUE(online & part_front_end);
    EXPECT_EQ(joints_on(c->bodies[body_frame]), before);
}

TEST_F(collision_fixture, two_bikes_ridden_into_each_other_bounce_apart) {
    ASSERT_TRUE(load_height_field("flatland"));
    ASSERT_TRUE(load_tile_data("flatland"));
    setup.arcade = 0;
    float mid = terrain.extent / 2;
    bike_state* a = place_bike(0, mid, mid + 25);
    bike_state* b = place_bike(1, mid + 0.5f, mid - 25, pi);
    std::vector<bike_state*> bikes = {a, b};
    std::vector<player_input> inputs(2, player_input{});
    for (int t = 0; t < 64; t++) ride_all(bikes, inputs);
    roll_along(*a, 20);
    roll_along(*b, 20);
    double deepest = -1e9, timer_a = 0, timer_b = 0, rebound = -1e9, impact_speed = 0;
    int contact = -1;
    auto separating_speed = [&] {
        double pa[3], pb[3], va[3], vb[3];
        get_body_position(*a, body_frame, pa);
        get_body_position(*b, body_frame, pb);
        get_body_velocity(*a, body_frame, va);
        get_body_velocity(*b, body_frame, vb);
        double apart = std::hypot(pa[0] - pb[0], pa[2] - pb[2]);
        return ((va[0] - vb[0]) * (pa[0] - pb[0]) + (va[2] - vb[2]) * (pa[2] - pb[2])) / apart;
    };
    for (int t = 0; t < 4 * 128; t++) {
        // Ridden at 20 ft/s until they meet.
        for (size_t i = 0; i < 2; i++)
            inputs[i][throttle_control] =
                contact < 0 ? (float)std::clamp((20 - bike_frame_speed(*bikes[i])) * 0.3, 0.0, 1.0) : 0.0f;
        if (contact < 0) impact_speed = -separating_speed();
        ride_all(bikes, inputs);
        ASSERT_TRUE(bike_state_finite(*a)) << t;
        ASSERT_TRUE(bike_state_finite(*b)) << t;
        if (contact < 0 && a->bike_contact_tic >= 0) contact = t;
        if (contact >= 0) rebound = std::max(rebound, separating_speed());
        deepest = std::max(deepest, deepest_overlap(*a, *b));
        timer_a = std::max(timer_a, (double)a->collision_timer);
        timer_b = std::max(timer_b, (double)b->collision_timer);
    }
    ASSERT_GE(contact, 0) << "they never met";
    EXPECT_GT(impact_speed, 30);
    EXPECT_LT(deepest, 0.35);  // the spheres give a little, never pass through
    EXPECT_GT(rebound, 0.3);   // pushed back apart, not stuck together
    // At rest they may lean on each other, pressed no deeper than a touch.
    EXPECT_LT(deepest_overlap(*a, *b), 0.03);
    EXPECT_GE(timer_a, 63);  // front to front well above 10 ft/s
    EXPECT_GE(timer_b, 63);
    EXPECT_EQ(a->fault_resets + b->fault_resets, 0);
    RecordProperty("deepest_overlap", std::to_string(deepest));
    RecordProperty("rebound_speed", std::to_string(rebound));
    RecordProperty("impact_speed", std::to_string(impact_speed));
}

TEST(shape_pairs, overlap_is_found_exactly_when_some_sphere_pair_overlaps) {
    // Spheres that clear the other shape's bounding ball are not paired;
    // that must never hide an overlap, near the edge of the ball or not.
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> u(-1, 1);
    int overlapping = 0, apart = 0;
    for (int trial = 0; trial < 3000; trial++) {
        auto random_shape = [&] {
            collision_shape s;
            int n = 1 + (int)((u(rng) + 1) * 6);
            for (int k = 0; k < n; k++) s.spheres.push_back(sphere(u(rng), u(rng), u(rng), 0.05f + 0.4f * (u(rng) + 1)));
            s.bounding_radius = shape_bounding_radius(s);
            return s;
        };
        collision_shape a = random_shape(), b = random_shape();
        float pa[3] = {500 + 2 * u(rng), 20 + 2 * u(rng), 800 + 2 * u(rng)}, pb[3] = {500 + 2 * u(rng), 20 + 2 * u(rng),
                                                                                    800 + 2 * u(rng)};
        shape_placement at_a = fixed_placement(pa, nullptr), at_b = fixed_placement(pb, nullptr);
        bool any = false;
        for (const collision_sphere& sa : a.spheres)
            for (const collision_sphere& sb : b.spheres)
                any |= sphere_pair_contact(world_sphere(sa, at_a), nullptr, world_sphere(sb, at_b), nullptr,
                                           contact_report_only, nullptr);
        ASSERT_EQ(shape_pair_contacts(a, nullptr, at_a, b, nullptr, at_b, contact_report_only), any) << trial;
        (any ? overlapping : apart)++;
    }
    EXPECT_GT(overlapping, 300);
    EXPECT_GT(apart, 300);
}
