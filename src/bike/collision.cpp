// Shape contacts and the collision passes.
#include "bike/collision.h"

#include "bike/crash.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "bike/bike_world.h"
#include "bike/body_math.h"
#include "bike/rider_control.h"
#include "bike/rider_parts.h"
#include "bike/solid_objects.h"
#include "bike/stability.h"
#include "bike/tire.h"

namespace {

constexpr float tic_seconds = 1.0f / 128;
constexpr float value_limit = 1.0e9f;

// Ground under a shape sphere: a spring of 2500 lbf/ft with 250 lbf·s/ft
// of damping, whatever the sphere's own values.
constexpr double ground_k = 2500, ground_c = 250;

float safe_value(float v) {
    if (!(v > 0)) return 0;  // negative, zero or not a number
    return std::min(v, value_limit);
}

inline vec3f vsub(const vec3f& a, const vec3f& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline float vdot(const vec3f& a, const vec3f& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void fill_contact_surface(dContact& c, float mu, float erp, float cfm) {
    c.surface.mode = dContactApprox1 | dContactSoftERP | dContactSoftCFM;
    c.surface.mu = mu;
    c.surface.soft_erp = erp;
    c.surface.soft_cfm = cfm;
    c.surface.bounce = 0;
}

void mark_fault(dBodyID body) {
    if (!body) return;
    if (auto* bike = static_cast<bike_state*>(dBodyGetData(body))) bike->position_fault = true;
}

// World copies of a shape's spheres, kept between calls: the passes run
// on the main thread only.
std::vector<collision_sphere>& placed(const collision_shape& shape, const shape_placement& at,
                                      std::vector<collision_sphere>& buffer) {
    buffer.clear();
    for (const collision_sphere& s : shape.spheres) buffer.push_back(world_sphere(s, at));
    return buffer;
}

double frame_speed_of(const bike_state& b) { return bike_frame_speed(b); }

// The bike hit by another's front end is spared from crashing for five
// seconds and dabs and realigns harder (a negative timer); a bike whose
// timer is already positive keeps it.
void mark_hit(bike_state& b) {
    if (b.collision_timer <= 0) b.collision_timer = std::min(b.collision_timer, -640.0f);
}

}  // namespace

shape_placement body_placement(dBodyID body) {
    shape_placement p;
    const dReal* pos = dBodyGetPosition(body);
    const dReal* r = dBodyGetRotation(body);
    p.position = {(float)pos[0], (float)pos[1], (float)pos[2]};
    for (int row = 0; row < 3; row++)
        for (int col = 0; col < 3; col++) p.rotation[(size_t)(row * 3 + col)] = (float)r[row * 4 + col];
    return p;
}

shape_placement fixed_placement(const float position[3], const float rotation[9]) {
    shape_placement p;
    p.position = {position[0], position[1], position[2]};
    if (rotation)
        for (int k = 0; k < 9; k++) p.rotation[(size_t)k] = rotation[k];
    return p;
}

collision_sphere world_sphere(const collision_sphere& s, const shape_placement& at) {
    collision_sphere w;
    const auto& r = at.rotation;
    for (int row = 0; row < 3; row++)
        w.center[row] = r[(size_t)(row * 3)] * s.center[0] + r[(size_t)(row * 3 + 1)] * s.center[1] +
                        r[(size_t)(row * 3 + 2)] * s.center[2] + at.position[(size_t)row];
    w.radius = safe_value(s.radius);
    w.friction = safe_value(s.friction);
    w.stiffness = safe_value(s.stiffness);
    w.damping = safe_value(s.damping);
    return w;
}

sphere_pair_softness sphere_pair_constants(const collision_sphere& a, const collision_sphere& b, float depth) {
    sphere_pair_softness s;
    s.stiffness = std::min(safe_value(a.stiffness), safe_value(b.stiffness));
    if (s.stiffness * depth > 2500) s.stiffness = 2500 / depth;
    s.damping = std::min(safe_value(a.damping), safe_value(b.damping));
    s.friction = std::min(safe_value(a.friction), safe_value(b.friction));
    float denominator = tic_seconds * s.stiffness + s.damping;
    s.usable = denominator > 1e-6f && std::isfinite(denominator);
    s.cfm = s.usable ? 1 / denominator : 0;
    s.erp = s.usable ? tic_seconds * s.stiffness * s.cfm : 0;
    return s;
}

namespace {

// What the ground under a shape's spheres is, for the shape at one
// placement: the spheres that found ground, in order, with what they found.
// Working it out only reads the shape and the ground.
struct sphere_ground_hit {
    ground_contact ground;
    float friction = 0;
};
struct shape_ground_answer {
    bool valid = false;
    const collision_shape* shape = nullptr;
    dBodyID body = nullptr;
    shape_placement at;
    bool fault = false;  // a sphere's centre is not a finite point
    std::vector<sphere_ground_hit> hits;
};

void find_shape_ground(const collision_shape& shape, const shape_placement& at, shape_ground_answer& out) {
    out.fault = false;
    out.hits.clear();
    // Most parts ride well above the ground: one look at the heights under
    // the whole shape spares the per-sphere queries. A rotation gone bad is
    // left to the sphere loop, which marks the body's fault.
    bool rotation_sane = true;
    for (float v : at.rotation) rotation_sane = rotation_sane && std::isfinite(v);
    if (rotation_sane && shape.bounding_radius > 0 && ball_clear_of_ground(at.position, shape.bounding_radius)) return;
    for (const collision_sphere& s : shape.spheres) {
        collision_sphere w = world_sphere(s, at);
        vec3f c = {w.center[0], w.center[1], w.center[2]};
        if (!ground_query_sane(c, w.radius)) {
            if (!std::isfinite(c[0]) || !std::isfinite(c[1]) || !std::isfinite(c[2])) out.fault = true;
            continue;
        }
        sphere_ground_hit hit;
        if (!sphere_ground_deepest(c, w.radius, hit.ground)) continue;
        hit.friction = w.friction;
        out.hits.push_back(hit);
    }
}

bool same_placement(const shape_placement& a, const shape_placement& b) {
    return std::memcmp(a.position.data(), b.position.data(), sizeof a.position) == 0 &&
           std::memcmp(a.rotation.data(), b.rotation.data(), sizeof a.rotation) == 0;
}

// Answers worked out ahead of the collision pass, by bike slot and ground
// shape: frame, upper fork, lower fork, swingarm, rider.
constexpr bike_body ground_shape_parts[] = {body_frame, body_fork_upper, body_fork_lower, body_swingarm, body_rider};
constexpr int ground_shape_count = 5;
std::array<std::array<shape_ground_answer, ground_shape_count>, bike_slot_count> g_ahead;

shape_ground_answer* answer_ahead(const collision_shape& shape, dBodyID body, const shape_placement& at) {
    auto* bike = static_cast<bike_state*>(dBodyGetData(body));
    if (!bike || bike->slot_index < 0 || bike->slot_index >= bike_slot_count) return nullptr;
    for (shape_ground_answer& a : g_ahead[(size_t)bike->slot_index]) {
        if (!a.valid || a.body != body) continue;
        a.valid = false;
        return a.shape == &shape && same_placement(a.at, at) ? &a : nullptr;
    }
    return nullptr;
}

}  // namespace

void prefetch_shape_ground(bike_state& b) {
    if (b.slot_index < 0 || b.slot_index >= bike_slot_count) return;
    auto& answers = g_ahead[(size_t)b.slot_index];
    for (int k = 0; k < ground_shape_count; k++) {
        shape_ground_answer& a = answers[(size_t)k];
        bike_body part = ground_shape_parts[k];
        const auto& shape = b.shapes[(size_t)part];
        a.valid = false;
        if (!shape || !b.bodies[part]) continue;
        a.shape = &*shape;
        a.body = b.bodies[part];
        a.at = body_placement(a.body);
        find_shape_ground(*shape, a.at, a);
        a.valid = true;
    }
}

void forget_prefetched_ground(bike_state& b) {
    b.front_contact.prefetched.valid = b.rear_contact.prefetched.valid = false;
    if (b.slot_index < 0 || b.slot_index >= bike_slot_count) return;
    for (shape_ground_answer& a : g_ahead[(size_t)b.slot_index]) a.valid = false;
}

bool shape_ground_contacts(const collision_shape& shape, dBodyID body) {
    shape_placement at = body_placement(body);
    static shape_ground_answer now;
    shape_ground_answer* answer = answer_ahead(shape, body, at);
    if (!answer) {
        find_shape_ground(shape, at, now);
        answer = &now;
    }
    if (answer->fault) mark_fault(body);
    double hk = ground_k * world_step_seconds;
    float erp = (float)(hk / (hk + ground_c)), cfm = (float)(1 / (hk + ground_c));
    for (const sphere_ground_hit& hit : answer->hits) {
        dContact contact{};
        fill_contact_surface(contact, hit.friction, erp, cfm);
        for (int k = 0; k < 3; k++) {
            contact.geom.pos[k] = hit.ground.point[(size_t)k];
            contact.geom.normal[k] = hit.ground.normal[(size_t)k];
        }
        contact.geom.depth = hit.ground.depth;
        dJointAttach(dJointCreateContact(bike_world(), tic_joint_group(), &contact), body, nullptr);
    }
    return !answer->hits.empty();
}

bool sphere_pair_contact(const collision_sphere& a, dBodyID body_a, const collision_sphere& b, dBodyID body_b,
                         int mode, contact_info* info) {
    vec3f ca = {a.center[0], a.center[1], a.center[2]}, cb = {b.center[0], b.center[1], b.center[2]};
    vec3f v = vsub(cb, ca);
    float d2 = vdot(v, v);
    float reach = safe_value(a.radius) + safe_value(b.radius);
    if (!(d2 < reach * reach)) return false;  // apart, or not a number
    if (!body_a && !body_b) return true;
    float smaller = std::min(safe_value(a.radius), safe_value(b.radius));
    // Centres on top of each other give no direction to push in.
    if (d2 < 1.0f / 256 && d2 < smaller * smaller / 256) return true;

    float d = std::sqrt(d2);
    float depth = reach - d;
    vec3f normal = {v[0] / d, v[1] / d, v[2] / d};
    float along = (safe_value(a.radius) - depth / 2) / d;
    vec3f point = {ca[0] + v[0] * along, ca[1] + v[1] * along, ca[2] + v[2] * along};
    if (info) {
        dvec3 vel = body_a ? world_point_vel(body_a, to_dvec(point)) : dvec3{};
        for (int k = 0; k < 3; k++) {
            info->point[k] = point[(size_t)k];
            info->normal[k] = normal[(size_t)k];
        }
        info->velocity[0] = (float)vel.x;
        info->velocity[1] = (float)vel.y;
        info->velocity[2] = (float)vel.z;
        info->depth = depth;
        info->feedback = {};
    }
    if (mode == contact_report_only) return true;

    sphere_pair_softness s = sphere_pair_constants(a, b, depth);
    if (!s.usable) return true;
    if (mode == contact_joint_mode) {
        dContact contact{};
        fill_contact_surface(contact, s.friction, s.erp, s.cfm);
        for (int k = 0; k < 3; k++) {
            contact.geom.pos[k] = point[(size_t)k];
            contact.geom.normal[k] = normal[(size_t)k];
        }
        contact.geom.depth = depth;
        // The normal runs from A to B, so B is the body it pushes.
        dJointAttach(dJointCreateContact(bike_world(), tic_joint_group(), &contact), body_b, body_a);
        return true;
    }

    dvec3 p = to_dvec(point), n = to_dvec(normal);
    dvec3 va = body_a ? world_point_vel(body_a, p) : dvec3{};
    dvec3 vb = body_b ? world_point_vel(body_b, p) : dvec3{};
    double closing = dot(va - vb, n);
    double force = clampd(closing * s.damping + depth * s.stiffness, -1000, 1000);
    if (!std::isfinite(force)) return true;
    dvec3 f = n * force;
    if (body_b && dBodyIsEnabled(body_b)) dBodyAddForceAtPos(body_b, f.x, f.y, f.z, p.x, p.y, p.z);
    if (body_a && dBodyIsEnabled(body_a)) dBodyAddForceAtPos(body_a, -f.x, -f.y, -f.z, p.x, p.y, p.z);
    return true;
}

bool shape_pair_contacts(const collision_shape& a, dBodyID body_a, const shape_placement& at_a,
                         const collision_shape& b, dBodyID body_b, const shape_placement& at_b, int mode) {
    vec3f gap = vsub(at_a.position, at_b.position);
    float reach = safe_value(a.bounding_radius) + safe_value(b.bounding_radius);
    if (!(vdot(gap, gap) < reach * reach)) return false;
    // B's world spheres are made only once some sphere of A comes near.
    static std::vector<collision_sphere> spheres_b;
    bool b_placed = false;
    bool touched = false;
    // Every sphere of B lies within B's bounding radius of its origin, so a
    // sphere of A that clears that ball (with a little slack for rounding)
    // meets none of them.
    const float b_reach = safe_value(b.bounding_radius);
    for (const collision_sphere& own : a.spheres) {
        collision_sphere sa = world_sphere(own, at_a);
        vec3f to_b = vsub(at_b.position, {sa.center[0], sa.center[1], sa.center[2]});
        float clear = safe_value(sa.radius) + b_reach + 1.0f / 256;
        if (vdot(to_b, to_b) > clear * clear) continue;
        if (!b_placed) {
            placed(b, at_b, spheres_b);
            b_placed = true;
        }
        for (const collision_sphere& sb : spheres_b)
            touched |= sphere_pair_contact(sa, body_a, sb, body_b, mode, nullptr);
    }
    return touched;
}

namespace {

// Where a bike's parts are this tic, worked out once for all the tests of a
// bike pair: the five part shapes' placements and each wheel's centre and
// axle in the world.
struct bike_poses {
    shape_placement parts[bike_body_count];
    vec3f wheel_centre[2], wheel_axle[2];
};

const bike_body posed_parts[] = {body_frame, body_fork_upper, body_fork_lower, body_swingarm, body_rider};

vec3f wheel_centre(const wheel_contact& wheel) {
    const dReal* cp = dBodyGetPosition(wheel.body);
    return {(float)cp[0], (float)cp[1], (float)cp[2]};
}

void pose_bike(const bike_state& x, bike_poses& out) {
    for (bike_body part : posed_parts)
        if (x.shapes[(size_t)part]) out.parts[part] = body_placement(x.bodies[part]);
    int k = 0;
    for (const wheel_contact* w : {&x.front_contact, &x.rear_contact}) {
        out.wheel_centre[k] = wheel_centre(*w);
        out.wheel_axle[k] = wheel_world_axle(*w);
        k++;
    }
}

bool tire_shape_contacts_at(const collision_shape& shape, dBodyID body, const shape_placement& at,
                            wheel_contact& wheel, const vec3f& c, const vec3f& axle, int mode);

}  // namespace

bool tire_shape_contacts(const collision_shape& shape, dBodyID body, const shape_placement& at, wheel_contact& wheel,
                         int mode) {
    return tire_shape_contacts_at(shape, body, at, wheel, wheel_centre(wheel), wheel_world_axle(wheel), mode);
}

namespace {

bool tire_shape_contacts_at(const collision_shape& shape, dBodyID body, const shape_placement& at,
                            wheel_contact& wheel, const vec3f& c, const vec3f& axle, int mode) {
    float R = wheel.tire_ring_radius, r = wheel.tire_section_radius;
    vec3f gap = vsub(c, at.position);
    float reach = r + R + safe_value(shape.bounding_radius);
    if (!(vdot(gap, gap) < reach * reach)) return false;

    collision_sphere tire{};
    tire.radius = r;
    tire.friction = 1;
    tire.stiffness = 25000;
    tire.damping = 2500;
    contact_info deepest;
    bool touched = false;
    // The tire sphere sits on the ring, within R of c: a sphere farther than
    // R + r (and a little slack for rounding) beyond its own radius from c
    // cannot meet it.
    const float tire_reach = std::fabs(R) + safe_value(r);
    for (const collision_sphere& s : shape.spheres) {
        collision_sphere w = world_sphere(s, at);
        vec3f to_c = vsub(c, {w.center[0], w.center[1], w.center[2]});
        float clear = tire_reach + w.radius;
        clear += 1.0e-3f * clear + 1.0e-3f;
        if (vdot(to_c, to_c) > clear * clear) continue;
        vec3f near = ring_point_nearest(c, axle, R, {w.center[0], w.center[1], w.center[2]});
        tire.center[0] = near[0];
        tire.center[1] = near[1];
        tire.center[2] = near[2];
        contact_info info;
        if (!sphere_pair_contact(tire, wheel.body, w, body, mode, &info)) continue;
        touched = true;
        if (info.depth > deepest.depth) deepest = info;
    }
    if (deepest.depth > 0 && wheel.depth == 0) {
        // Resting on an object counts as touching for everything that asks
        // the wheel; the ground pass clears it again once it finds nothing.
        for (int k = 0; k < 3; k++) {
            wheel.contact_point[k] = deepest.point[k];
            wheel.slip_velocity[k] = deepest.velocity[k];
            wheel.contact_normal[k] = deepest.normal[k];
        }
        wheel.depth = deepest.depth;
        wheel.contact_feedback = {};
    }
    return touched;
}

int bike_shape_collide_posed(bike_state& x, const bike_poses& poses, const collision_shape& shape, dBodyID body,
                             const shape_placement& at, int mode, bool front_report_only) {
    int front_mode = front_report_only ? contact_report_only : mode;
    int flags = 0;
    if (tire_shape_contacts_at(shape, body, at, x.front_contact, poses.wheel_centre[0], poses.wheel_axle[0],
                               front_mode))
        flags |= part_front_wheel;
    if (tire_shape_contacts_at(shape, body, at, x.rear_contact, poses.wheel_centre[1], poses.wheel_axle[1], mode))
        flags |= part_rear_wheel;
    const struct {
        bike_body body;
        int flag;
        bool front;
    } parts[] = {
        {body_frame, part_frame, false},         {body_fork_upper, part_fork_upper, true},
        {body_fork_lower, part_fork_lower, true}, {body_swingarm, part_swingarm, false},
        {body_rider, part_rider, false},
    };
    for (const auto& p : parts) {
        const auto& own = x.shapes[(size_t)p.body];
        if (!own) continue;
        if (shape_pair_contacts(*own, x.bodies[p.body], poses.parts[p.body], shape, body, at,
                                p.front ? front_mode : mode))
            flags |= p.flag;
    }
    return flags;
}

}  // namespace

int bike_shape_collide(bike_state& x, const collision_shape& shape, dBodyID body, const shape_placement& at, int mode,
                       bool front_report_only) {
    bike_poses poses;
    pose_bike(x, poses);
    return bike_shape_collide_posed(x, poses, shape, body, at, mode, front_report_only);
}

bool bike_terrain_collide(bike_state& b) {
    float grip = arcade_physics(b) ? arcade_grip_factor(lean_angle(b)) : 1.0f;
    bool touched = wheel_collide(b.front_contact, grip);
    touched |= wheel_collide(b.rear_contact, grip);
    bool found[bike_body_count] = {};
    for (bike_body part : {body_frame, body_fork_upper, body_fork_lower, body_swingarm, body_rider}) {
        const auto& shape = b.shapes[(size_t)part];
        if (shape) found[part] = shape_ground_contacts(*shape, b.bodies[part]);
        touched |= found[part];
    }
    if (found[body_rider]) {
        // Landing on the head.
        dBodyID rider = b.bodies[body_rider];
        dvec3 up = body_to_world(rider, {0, 1, 0});
        if (up.y < 0 && length_sq(body_vel(rider)) > 25) crash(b);
    }
    if ((found[body_fork_upper] || found[body_fork_lower] || found[body_swingarm] || found[body_rider]) &&
        b.ground_touched == 0)
        b.ground_touched = 1;
    return touched;
}

int bike_object_collide(bike_state& b, int statue_index, const solid_statue& statue, int tic) {
    if (!statue.shape) return 0;
    shape_placement at = fixed_placement(statue.position, statue.face_distance == 0 ? statue.orientation : nullptr);
    int flags = bike_shape_collide(b, *statue.shape, nullptr, at, contact_joint_mode, false);
    if ((flags & part_rider) && rider_on_bike(b) && length_sq(body_vel(b.bodies[body_rider])) > 400) crash(b);
    if (flags && solid_objects.touched) solid_objects.touched(statue_index, tic);
    return flags;
}

void bike_collision_pass(bike_state& b, int tic) {
    bike_terrain_collide(b);
    const dReal* p = dBodyGetPosition(b.bodies[body_frame]);
    if (!std::isfinite(p[0]) || !std::isfinite(p[2])) {
        b.position_fault = true;
        return;
    }
    static std::vector<int> near;
    solid_statues_near((float)p[0], (float)p[2], 6, near);
    if (near.empty() || !solid_objects.statue) return;
    for (int index : near) {
        solid_statue statue;
        if (solid_objects.statue(index, statue)) bike_object_collide(b, index, statue, tic);
    }
}

int bike_pair_collide(bike_state& a, bike_state& b, bool remote, int tic) {
    int mode = a.bike_contact_tic == tic || b.bike_contact_tic == tic ? contact_penalty : contact_joint_mode;
    const struct {
        bike_body body;
        int flag;
        bool rear;  // only reports against B's front end in the online pass
    } parts[] = {
        {body_front_wheel, part_front_wheel, false}, {body_rear_wheel, part_rear_wheel, true},
        {body_frame, part_frame, true},              {body_fork_upper, part_fork_upper, false},
        {body_fork_lower, part_fork_lower, false},   {body_swingarm, part_swingarm, true},
        {body_rider, part_rider, true},
    };
    // Neither bike moves during the tests: each part's pose is worked out once.
    bike_poses poses_b;
    pose_bike(b, poses_b);
    int flags_a = 0, flags_b = 0;
    for (const auto& p : parts) {
        const auto& shape = a.shapes[(size_t)p.body];
        if (!shape) continue;
        dBodyID part = a.bodies[p.body];
        int touched = bike_shape_collide_posed(b, poses_b, *shape, part, body_placement(part), mode, remote && p.rear);
        flags_b |= touched;
        if (touched) flags_a |= p.flag;
    }
    if (!flags_b) return 0;

    double speed_a = frame_speed_of(a), speed_b = frame_speed_of(b);
    if (flags_a & flags_b & part_front_end) {
        // Front to front: both back off their stability torque for a while.
        if (speed_a >= 10) a.collision_timer = std::max(a.collision_timer, 64.0f);
        if (speed_b >= 10) b.collision_timer = std::max(b.collision_timer, 64.0f);
    } else if ((flags_a & part_front_end) && rider_on_bike(b)) {
        if (speed_b >= 5) {
            if (speed_a >= 10) a.collision_timer = std::max(a.collision_timer, 128.0f);
            mark_hit(b);
        }
    } else if ((flags_b & part_front_end) && rider_on_bike(a)) {
        if (speed_a >= 5) {
            if (speed_b >= 10) b.collision_timer = std::max(b.collision_timer, 128.0f);
            mark_hit(a);
        }
    }
    a.bike_contact_tic = b.bike_contact_tic = tic;
    if (rider_parts.clear_recent_lines) {
        rider_parts.clear_recent_lines(a);
        rider_parts.clear_recent_lines(b);
    }
    return flags_b;
}

void sort_bikes_for_pairing(std::vector<bike_state*>& bikes) {
    auto key = [](const bike_state* b) {
        double v = frame_speed_of(*b);
        return std::isfinite(v) ? v : -1.0;
    };
    std::stable_sort(bikes.begin(), bikes.end(), [&](const bike_state* x, const bike_state* y) { return key(x) > key(y); });
}

void collide_bike_pairs(std::vector<bike_state*>& bikes, int tic) {
    sort_bikes_for_pairing(bikes);
    for (size_t i = 0; i < bikes.size(); i++)
        for (size_t j = i + 1; j < bikes.size(); j++) bike_pair_collide(*bikes[i], *bikes[j], false, tic);
}

void collide_with_remote_bikes(bike_state& local, std::vector<bike_state*>& remotes, int tic) {
    sort_bikes_for_pairing(remotes);
    for (bike_state* remote : remotes) {
        if (!bike_pair_collide(local, *remote, true, tic)) continue;
        touch_bike(*remote);
        if (bike_is_active(*remote)) bike_collision_pass(*remote, tic);
    }
}
