// The bike's collision volumes turned into contacts every tic, before the
// world step: the spheres of its collision shapes against the ground,
// sphere against sphere (from which every shape-against-shape test is
// built: bike parts against solid statues, bike against bike, the fallen
// rider against its own bike), the tire against the spheres of a shape,
// and the passes over the terrain, the statues and the other bikes.
//
// Contacts are contact joints in the one-tic joint group, or penalty
// forces that act in the coming step.
#pragma once

#include <array>
#include <vector>

#include "bike/bike.h"
#include "bike/ground_geometry.h"
#include "render/shape_file.h"

struct solid_statue;

// Part flags: which of a bike's parts touched.
constexpr int part_frame = 0x01;
constexpr int part_front_wheel = 0x02;
constexpr int part_rear_wheel = 0x04;
constexpr int part_fork_upper = 0x08;
constexpr int part_fork_lower = 0x10;
constexpr int part_swingarm = 0x20;
constexpr int part_rider = 0x40;
constexpr int part_front_end = part_front_wheel | part_fork_lower;

// How a sphere pair acts.
enum contact_mode {
    contact_report_only = -1,  // overlap is found, nothing pushes
    contact_joint_mode = 0,    // a soft contact joint
    contact_penalty = 1,       // a spring-damper force, at most 1000 lbf
};

// What the tire-against-shape test keeps of its deepest pair; laid out as
// the wheel_contact fields from contact_point on.
struct contact_info {
    float point[3] = {};
    float velocity[3] = {};  // of the first body at the point
    float normal[3] = {};    // from the first sphere toward the second
    float depth = 0;
    dJointFeedback feedback = {};
};

// Where a shape is: its body's or statue's position and rotation (row by
// row; the columns are the shape's axes in the world).
struct shape_placement {
    vec3f position{};
    std::array<float, 9> rotation{1, 0, 0, 0, 1, 0, 0, 0, 1};
};
shape_placement body_placement(dBodyID body);
shape_placement fixed_placement(const float position[3], const float rotation[9]);

// A sphere in world coordinates, its values made safe to use: a radius,
// friction, stiffness or damping that is negative or not a number counts
// as 0, and stiffness and damping are kept below 1e9.
collision_sphere world_sphere(const collision_sphere& sphere, const shape_placement& at);

// Contact constants of a sphere pair at a depth: the softer stiffness
// (lowered so that stiffness × depth stays within 2500 lbf), the smaller
// damping and friction, as ERP and CFM for one tic. `usable` is false when
// the pair has neither stiffness nor damping, which would need an
// infinite CFM: such a pair pushes nothing.
struct sphere_pair_softness {
    float stiffness, damping, friction, erp, cfm;
    bool usable;
};
sphere_pair_softness sphere_pair_constants(const collision_sphere& a, const collision_sphere& b, float depth);

// ---- the tests -----------------------------------------------------------------
// Each sphere of the shape (on its body's current pose) against the
// ground: one soft contact joint per sphere that finds ground (a spring of
// 2500 lbf/ft with 250 lbf·s/ft of damping, the sphere's friction).
bool shape_ground_contacts(const collision_shape& shape, dBodyID body);
// Works out ahead what shape_ground_contacts will find under the bike's five
// part shapes, for their current placements; it only reads the bike and the
// ground, so different bikes may be done at once on different threads. The
// pass uses an answer once, and only for the placement it was worked out for.
void prefetch_shape_ground(bike_state& bike);
// Drops whatever was worked out ahead for the bike's wheels and part shapes
// and not used (the ground may change before the next pass).
void forget_prefetched_ground(bike_state& bike);
// Two world spheres; a missing body is the static world. True when they
// overlap; fills info (when given) with the middle of the overlap.
bool sphere_pair_contact(const collision_sphere& a, dBodyID body_a, const collision_sphere& b, dBodyID body_b,
                         int mode, contact_info* info);
// Every sphere of A against every sphere of B, once their bounding spheres
// meet.
bool shape_pair_contacts(const collision_shape& a, dBodyID body_a, const shape_placement& at_a,
                         const collision_shape& b, dBodyID body_b, const shape_placement& at_b, int mode);
// The tire (as a sphere of its section radius at the ring point nearest
// each sphere) against a shape. A wheel that found no ground in this tic
// takes the deepest contact into its wheel_contact, with the normal
// pointing into the object.
bool tire_shape_contacts(const collision_shape& shape, dBodyID body, const shape_placement& at, wheel_contact& wheel,
                         int mode);
// The bike's tires and part shapes against one shape. With
// front_report_only the bike's front wheel and forks only report.
// Returns the part flags of the bike that touched.
int bike_shape_collide(bike_state& bike, const collision_shape& shape, dBodyID body, const shape_placement& at,
                       int mode, bool front_report_only);

// ---- the passes ------------------------------------------------------------------------
// Tires, then the frame, forks, swingarm and rider shapes, against the
// ground. A rider landing on its head above 5 ft/s crashes; a fork,
// swingarm or rider touching the ground marks the run as not clean.
bool bike_terrain_collide(bike_state& bike);
// The bike against one solid statue (statue index for its touch record):
// a rider hitting it above 20 ft/s crashes. Returns the part flags.
int bike_object_collide(bike_state& bike, int statue_index, const solid_statue& statue, int tic);
// The terrain, then every solid statue in the object-grid cells within
// 6 ft of the frame.
void bike_collision_pass(bike_state& bike, int tic);
// Bike A's parts against bike B: the first contact of a bike in a tic is
// made of joints, any further one of penalty forces. Front ends meeting
// set the collision timers. With `remote` (the online pass: A local, B
// remote) B's front end only reports against A's rear parts. Returns B's
// part flags.
int bike_pair_collide(bike_state& a, bike_state& b, bool remote, int tic);

// The order in which bikes are paired: fastest frame first, bikes of equal
// speed (or of no usable speed) keeping their given order.
void sort_bikes_for_pairing(std::vector<bike_state*>& bikes);
// Offline: sorts the bikes and collides every pair once, the faster first.
void collide_bike_pairs(std::vector<bike_state*>& bikes, int tic);
// Online: the local bike against each remote one, in pairing order; a
// remote bike that was touched is woken and, while active, collided with
// the terrain and statues.
void collide_with_remote_bikes(bike_state& local, std::vector<bike_state*>& remotes, int tic);
