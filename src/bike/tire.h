// Tire contact: each wheel's deepest touch of the ground becomes one soft
// contact joint whose friction comes from the ground tile's tables, plus a
// rolling-resistance force; the read-out of the contacts for scripts and
// roost; and the roost (dirt) the wheels throw.
#pragma once

#include <cstdint>

#include "bike/bike.h"
#include "bike/ground_geometry.h"
#include "core/random.h"

struct tile_info;

// ---- contact -------------------------------------------------------------------
// Finds the wheel's deepest contact with the ground and, when it touches,
// records it, creates its contact joint in the one-tic joint group and
// applies rolling resistance. Grip factor scales the friction (1 except in
// arcade physics). A wheel at a non-finite or absurd position touches
// nothing and marks its bike's position_fault.
bool wheel_collide(wheel_contact& wheel, float grip_factor);
// Runs wheel_collide's ground query ahead and keeps its answer in the
// wheel; reads the wheel's body and the ground only, so the wheels of
// different bikes may be prefetched at the same time on different threads.
void prefetch_wheel_ground(wheel_contact& wheel);

// Re-runs the cheaper first-found ground query for both wheels into the
// bike's read-out copies, at most once per tic (stamped in query_tic). Local
// robot bikes skip the query: their read-outs take the collision pass's
// values.
void wheel_contact_refresh(bike_state& bike, int tic);

// ---- the pieces of the contact, for the other bike code ----------------------------
// The wheel's axle in world coordinates.
vec3f wheel_world_axle(const wheel_contact& wheel);
// How fast the contact patch at `point` moves over the ground: the wheel's
// velocity there with its spin about the axle left out.
vec3f contact_ground_velocity(const wheel_contact& wheel, const float point[3]);
// Friction coefficient of a tile for a tire sliding at slip_velocity whose
// contact patch moves at ground_velocity, through the tile's slip function.
float tire_friction(const tile_info& tile, const vec3f& slip_velocity, const vec3f& ground_velocity);
// The rolling-resistance pair of a tile at tangential speed q, and the
// force magnitude at compression fraction L (0..1).
void roll_resist_values(const tile_info& tile, float q, float& first, float& second);
float rolling_resistance(const tile_info& tile, float q, float compression);
// Soft contact of a tire pressed in by depth: a spring of 1000 to 25000
// lbf/ft with damping 200 to 2500 lbf·s/ft, as ERP and CFM for one tic.
struct tire_softness {
    float stiffness, damping, erp, cfm;
};
tire_softness tire_soft_contact(float depth, float section_radius);
// First friction direction: across the slip, or across the axle when the
// slip is tiny. False when neither gives a direction.
bool tire_friction_direction(const vec3f& normal, const vec3f& slip_velocity, const vec3f& axle, vec3f& out);

// ---- roost ---------------------------------------------------------------------------
struct roost_particle {
    vec3f position;
    vec3f velocity;
    int tile;        // tile type whose roost type gives the look
    int roost_type;  // 0..3
};

// The particle pool's side, where thrown roost goes. The particles' motion
// is not built yet, so nothing fills it and the particles are dropped; the
// tire tests catch them here.
struct roost_output_driver {
    void (*emit)(const roost_particle& particle);
};
extern roost_output_driver roost_output;

// Once per tic per bike, before the world step: throws dirt from each
// touching wheel according to its tile's roost types. Density is the
// "Roost Density" setting (0..1000); rng is the roost's own generator,
// which nothing in the physics reads.
void roost_emit(bike_state& bike, int tic, float roost_density, random_state& rng);
