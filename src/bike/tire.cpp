// Tire contact joints, friction and rolling resistance from the tile
// tables, the contact read-out, and roost.
#include "bike/tire.h"

#include <cmath>
#include <cstring>

#include "bike/bike_world.h"
#include "track/tile_info.h"

roost_output_driver roost_output = {nullptr};

namespace {

constexpr double tic_seconds = 1.0 / 128;
constexpr float pi_f = 3.14159265358979f;

inline vec3f sub(const vec3f& a, const vec3f& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline vec3f add(const vec3f& a, const vec3f& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
inline vec3f scale(const vec3f& a, float s) { return {a[0] * s, a[1] * s, a[2] * s}; }
inline float dot(const vec3f& a, const vec3f& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline vec3f cross(const vec3f& a, const vec3f& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

vec3f body_position(dBodyID body) {
    const dReal* p = dBodyGetPosition(body);
    return {(float)p[0], (float)p[1], (float)p[2]};
}

vec3f body_velocity(dBodyID body) {
    const dReal* v = dBodyGetLinearVel(body);
    return {(float)v[0], (float)v[1], (float)v[2]};
}

vec3f point_velocity(dBodyID body, const vec3f& p) {
    dVector3 v;
    dBodyGetPointVel(body, p[0], p[1], p[2], v);
    return {(float)v[0], (float)v[1], (float)v[2]};
}

void put3(float out[3], const vec3f& v) {
    out[0] = v[0];
    out[1] = v[1];
    out[2] = v[2];
}

vec3f get3(const float v[3]) { return {v[0], v[1], v[2]}; }

// Every bike body carries its bike record (create_bike sets it).
void mark_position_fault(dBodyID body) {
    if (!body) return;
    if (auto* bike = static_cast<bike_state*>(dBodyGetData(body))) bike->position_fault = true;
}

// Index into a table whose points are ascending up to its end marker: the
// first point that is the marker or beyond the key, 8 when none is.
template <typename Beyond>
int table_index(const std::array<float, tile_table_points>& speeds, float end_marker, Beyond beyond) {
    for (int j = 0; j < tile_table_points; j++)
        if (speeds[(size_t)j] == end_marker || beyond(speeds[(size_t)j])) return j;
    return tile_table_points;
}

// The point of the rotation of p by angle about the line through c along
// the unit vector a.
vec3f rotate_about_line(const vec3f& p, const vec3f& c, const vec3f& a, float angle) {
    vec3f v = sub(p, c);
    float co = std::cos(angle), si = std::sin(angle);
    vec3f r = add(add(scale(v, co), scale(cross(a, v), si)), scale(a, dot(a, v) * (1 - co)));
    return add(c, r);
}

// The integer part always, one more with probability equal to the fraction.
int dithered_count(float value, random_state& rng) {
    if (!(value > 0.0f)) return 0;
    float whole = std::floor(value);
    float frac = value - whole;
    int n = whole > 1.0e6f ? 1000000 : (int)whole;
    if (frac > 0.0f && next_unit(rng) < frac) n++;
    return n;
}

vec3f random_spread(random_state& rng, float amplitude) {
    float x = next_unit(rng) - 0.5f, y = next_unit(rng) - 0.5f, z = next_unit(rng) - 0.5f;
    return {amplitude * x, amplitude * y, amplitude * z};
}

void refresh_one(bike_state& bike, wheel_contact& wheel, wheel_readout& out) {
    if (bike.local_robot) {
        // No query of their own: they read what the collision pass found.
        for (int k = 0; k < 3; k++) {
            out.contact_point[k] = wheel.contact_point[k];
            out.slip_velocity[k] = wheel.slip_velocity[k];
            out.contact_normal[k] = wheel.contact_normal[k];
        }
        out.depth = wheel.depth;
        return;
    }
    vec3f c = body_position(wheel.body);
    float R = wheel.tire_ring_radius, r = wheel.tire_section_radius;
    if (!ground_query_sane(c, R + r)) {
        mark_position_fault(wheel.body);
        out.depth = 0;
        return;
    }
    ground_contact g;
    if (!tire_ground_first(c, wheel_world_axle(wheel), R, r, g)) {
        out.depth = 0;
        return;
    }
    put3(out.contact_point, g.point);
    put3(out.contact_normal, g.normal);
    out.depth = g.depth;
    put3(out.slip_velocity, point_velocity(wheel.body, g.point));
}

void emit_wheel_roost(const wheel_contact& wheel, const wheel_readout& ro, float cap,
                      int budget, int tic, random_state& rng) {
    if (!(ro.depth > 0.0f)) return;
    int tile_index = tile_at(ro.contact_point[0], ro.contact_point[2]);
    const tile_info& tile = tile_info_of(tile_index);
    vec3f point = get3(ro.contact_point), n = get3(ro.contact_normal), slip = get3(ro.slip_velocity);
    vec3f centre = body_position(wheel.body), v = body_velocity(wheel.body);
    vec3f axle = wheel_world_axle(wheel);
    for (int type = 0; type < max_roost_types; type++) {
        const roost_type& rt = tile.roost[(size_t)type];
        if (rt.mode == 0) break;
        int count = dithered_count(rt.count, rng);
        if (count > budget) count = budget;
        if (count <= 0) continue;
        roost_particle p;
        p.tile = tile_index;
        p.roost_type = type;
        if (rt.mode == 2) {
            // Splash: two sprays thrown up and out to either side of the
            // direction of travel.
            vec3f vt = sub(v, scale(n, dot(n, v)));
            float q = std::sqrt(dot(vt, vt));
            vec3f u = q > 0.0f ? scale(vt, 1.0f / q) : vec3f{0, 0, 0};
            vec3f side = cross(n, u);
            vec3f dirs[2] = {scale(add(n, side), 0.70710678f * q), scale(sub(n, side), 0.70710678f * q)};
            for (int i = 0; i < count; i++) {
                const vec3f& dir = dirs[(i ^ tic) & 1];
                p.position = add(point, scale(dir, ((float)i / (float)count) / 128.0f));
                vec3f spread = random_spread(rng, rt.randomize);
                float r2 = next_unit(rng);
                p.velocity = scale(add(dir, spread), rt.vscale * r2);
                if (roost_output.emit) roost_output.emit(p);
            }
            continue;
        }
        // Spray, only while the tire slides.
        if (std::sqrt(dot(slip, slip)) < rt.slip_threshold) continue;
        float spread_angle = pi_f / 64;  // 0.049087387
        if (dot(slip, v) < 0.0f) {
            // The tire surface runs backward: a spinning wheel fans its dirt
            // wider the slower it turns.
            const dReal* w = dBodyGetAngularVel(wheel.body);
            float w2 = (float)(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
            float lo = rt.slow_speed * rt.slow_speed, hi = rt.fast_speed * rt.fast_speed;
            // Equal speeds would divide by zero: a step at that speed.
            float J = hi != lo ? clampf((w2 - lo) / (hi - lo), 0, 1) : (w2 >= hi ? 1.0f : 0.0f);
            spread_angle = std::fmin(cap, rt.slow_angle + J * (rt.fast_angle - rt.slow_angle));
        }
        // The dirt leaves the tire after the contact patch, so the start
        // points are swept in the sense of the wheel's spin.
        const dReal* spin = dBodyGetAngularVel(wheel.body);
        float sense = spin[0] * axle[0] + spin[1] * axle[1] + spin[2] * axle[2] < 0 ? -1.0f : 1.0f;
        for (int i = 0; i < count; i++) {
            vec3f start = rotate_about_line(point, centre, axle, sense * spread_angle * next_unit(rng));
            vec3f w = point_velocity(wheel.body, start);
            p.position = add(start, scale(w, ((float)i / (float)count) / 128.0f));
            vec3f spread = random_spread(rng, rt.randomize);
            p.velocity = scale(add(w, spread), rt.vscale);
            if (roost_output.emit) roost_output.emit(p);
        }
    }
}

}  // namespace

vec3f wheel_world_axle(const wheel_contact& wheel) {
    dVector3 a;
    dBodyVectorToWorld(wheel.body, wheel.axle[0], wheel.axle[1], wheel.axle[2], a);
    double l = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    if (!(l > 0)) return {1, 0, 0};
    return {(float)(a[0] / l), (float)(a[1] / l), (float)(a[2] / l)};
}

vec3f contact_ground_velocity(const wheel_contact& wheel, const float point[3]) {
    vec3f c = body_position(wheel.body), v = body_velocity(wheel.body);
    const dReal* wv = dBodyGetAngularVel(wheel.body);
    vec3f w = {(float)wv[0], (float)wv[1], (float)wv[2]};
    vec3f a = wheel_world_axle(wheel);
    vec3f w_off_axle = sub(w, scale(a, dot(a, w)));
    return add(v, cross(w_off_axle, sub(get3(point), c)));
}

float tire_friction(const tile_info& tile, const vec3f& slip_velocity, const vec3f& ground_velocity) {
    const auto& coef = tile.friction_coefficient;
    const auto& speed = tile.friction_speed;
    float slip = std::sqrt(dot(slip_velocity, slip_velocity));
    bool squared = tile.slip_function != 1 && tile.slip_function != 2;
    float s;
    if (squared) {
        s = dot(slip_velocity, slip_velocity);
    } else if (tile.slip_function == 1 || slip < 1.0f / 16) {
        s = slip;
    } else {
        // How fast the patch itself moves along the slip: a wheel spinning
        // on the spot reads the grip of standstill.
        vec3f dir = scale(slip_velocity, 1.0f / slip);
        s = clampf(dot(ground_velocity, dir), -slip, slip);
    }
    int j = table_index(speed, friction_speed_end, [&](float at) { return (squared ? at * at : at) > s; });
    if (j == 0) return coef[0];
    if (j == tile_table_points || speed[(size_t)j] == friction_speed_end) return coef[(size_t)j - 1];
    float a = speed[(size_t)j - 1], b = speed[(size_t)j];
    float t = squared ? (s - a * a) / (b * b - a * a) : (s - a) / (b - a);
    t = clampf(t, 0, 1);
    if (!std::isfinite(t)) t = 0;  // two points at one speed
    return coef[(size_t)j - 1] + t * (coef[(size_t)j] - coef[(size_t)j - 1]);
}

void roll_resist_values(const tile_info& tile, float q, float& first, float& second) {
    const auto& speed = tile.roll_resist_speed;
    const auto& pair = tile.roll_resist;
    int j = table_index(speed, roll_resist_speed_end, [&](float at) { return at > q; });
    if (j == 0 || j == tile_table_points || speed[(size_t)j] == roll_resist_speed_end) {
        const auto& p = pair[(size_t)(j == 0 ? 0 : j - 1)];
        first = p[0];
        second = p[1];
        return;
    }
    float a = speed[(size_t)j - 1], b = speed[(size_t)j];
    float t = clampf((q - a) / (b - a), 0, 1);
    if (!std::isfinite(t)) t = 0;
    const auto& p0 = pair[(size_t)j - 1];
    const auto& p1 = pair[(size_t)j];
    first = p0[0] + t * (p1[0] - p0[0]);
    second = p0[1] + t * (p1[1] - p0[1]);
}

float rolling_resistance(const tile_info& tile, float q, float compression) {
    float first, second;
    roll_resist_values(tile, q, first, second);
    return first + (second - first) * compression;
}

tire_softness tire_soft_contact(float depth, float section_radius) {
    float L = section_radius > 0.0f ? std::fmin(1.0f, depth / section_radius) : 1.0f;
    if (!(L > 0.0f)) L = 0;
    float L3 = L * L * L;
    tire_softness s;
    s.stiffness = 24000 * L3 + 1000;
    s.damping = 2300 * L3 + 200;
    float h = (float)tic_seconds;
    s.cfm = 1.0f / (s.damping + h * s.stiffness);
    s.erp = h * s.stiffness / (s.damping + h * s.stiffness);
    return s;
}

bool tire_friction_direction(const vec3f& normal, const vec3f& slip_velocity, const vec3f& axle, vec3f& out) {
    vec3f f = cross(normal, slip_velocity);
    if (dot(f, f) < 1.0f / 1024) f = cross(normal, axle);
    float l = std::sqrt(dot(f, f));
    if (!(l > 0.0f)) return false;
    out = scale(f, 1.0f / l);
    return true;
}

namespace {

// The deepest ground under the tire, from the prefetched answer when it was
// asked for exactly these inputs, else asked now.
bool take_prefetched_ground(wheel_contact& wheel, const vec3f& c, const vec3f& axle, float R, float r,
                            ground_contact& g) {
    auto& q = wheel.prefetched;
    bool usable = q.valid && std::memcmp(q.centre, c.data(), sizeof q.centre) == 0 &&
                  std::memcmp(q.axle, axle.data(), sizeof q.axle) == 0 && std::memcmp(&q.radii[0], &R, sizeof R) == 0 &&
                  std::memcmp(&q.radii[1], &r, sizeof r) == 0;
    q.valid = false;
    if (!usable) return tire_ground_deepest(c, axle, R, r, g);
    if (!q.found) return false;
    for (int k = 0; k < 3; k++) {
        g.point[(size_t)k] = q.point[k];
        g.normal[(size_t)k] = q.normal[k];
    }
    g.depth = q.depth;
    return true;
}

}  // namespace

void prefetch_wheel_ground(wheel_contact& wheel) {
    auto& q = wheel.prefetched;
    q.valid = false;
    if (!wheel.body) return;
    vec3f c = body_position(wheel.body);
    float R = wheel.tire_ring_radius, r = wheel.tire_section_radius;
    if (!ground_query_sane(c, R + r)) return;
    vec3f axle = wheel_world_axle(wheel);
    ground_contact g;
    q.found = tire_ground_deepest(c, axle, R, r, g);
    for (int k = 0; k < 3; k++) {
        q.centre[k] = c[(size_t)k];
        q.axle[k] = axle[(size_t)k];
        q.point[k] = g.point[(size_t)k];
        q.normal[k] = g.normal[(size_t)k];
    }
    q.radii[0] = R;
    q.radii[1] = r;
    q.depth = g.depth;
    q.valid = true;
}

bool wheel_collide(wheel_contact& wheel, float grip_factor) {
    vec3f c = body_position(wheel.body);
    float R = wheel.tire_ring_radius, r = wheel.tire_section_radius;
    if (!ground_query_sane(c, R + r)) {
        // A broken-down simulation: keep it away from the grid arithmetic
        // and let the bike's owner reset it.
        mark_position_fault(wheel.body);
        wheel.depth = 0;
        return false;
    }
    vec3f axle = wheel_world_axle(wheel);
    ground_contact g;
    if (!take_prefetched_ground(wheel, c, axle, R, r, g)) {
        wheel.depth = 0;
        return false;
    }
    put3(wheel.contact_point, g.point);
    put3(wheel.contact_normal, g.normal);
    wheel.depth = g.depth;
    vec3f slip = point_velocity(wheel.body, g.point);
    put3(wheel.slip_velocity, slip);

    const tile_info& tile = tile_info_of(tile_at(g.point[0], g.point[2]));
    float mu = tire_friction(tile, slip, contact_ground_velocity(wheel, wheel.contact_point));
    tire_softness soft = tire_soft_contact(g.depth, r);

    dContact contact{};
    contact.surface.mode = dContactApprox1 | dContactSoftERP | dContactSoftCFM;
    contact.surface.mu = (dReal)mu * grip_factor;
    contact.surface.soft_erp = soft.erp;
    contact.surface.soft_cfm = soft.cfm;
    contact.surface.bounce = 0;
    vec3f fdir;
    if (tire_friction_direction(g.normal, slip, axle, fdir)) {
        contact.surface.mode |= dContactFDir1;
        for (int k = 0; k < 3; k++) contact.fdir1[k] = fdir[(size_t)k];
    }
    for (int k = 0; k < 3; k++) {
        contact.geom.pos[k] = g.point[(size_t)k];
        contact.geom.normal[k] = g.normal[(size_t)k];
    }
    contact.geom.depth = g.depth;
    wheel.contact_feedback = {};
    dJointID joint = dJointCreateContact(bike_world(), tic_joint_group(), &contact);
    dJointAttach(joint, wheel.body, nullptr);
    dJointSetFeedback(joint, &wheel.contact_feedback);

    // Rolling resistance against the tangential motion; below 1 ft/s it
    // fades with the speed.
    vec3f v = body_velocity(wheel.body);
    vec3f vt = sub(v, scale(g.normal, dot(g.normal, v)));
    float q = std::sqrt(dot(vt, vt));
    float L = r > 0.0f ? std::fmin(1.0f, g.depth / r) : 1.0f;
    float force = rolling_resistance(tile, q, L);
    if (q > 1.0f) vt = scale(vt, 1.0f / q);
    dBodyAddForce(wheel.body, -force * vt[0], -force * vt[1], -force * vt[2]);
    return true;
}

void wheel_contact_refresh(bike_state& bike, int tic) {
    if (bike.front_contact.query_tic == tic && bike.rear_contact.query_tic == tic) return;
    refresh_one(bike, bike.front_contact, bike.front_readout);
    refresh_one(bike, bike.rear_contact, bike.rear_readout);
    bike.front_contact.query_tic = tic;
    bike.rear_contact.query_tic = tic;
}

void roost_emit(bike_state& bike, int tic, float roost_density, random_state& rng) {
    if (!(roost_density > 0.0f)) return;
    float density = std::fmin(roost_density, 1000.0f);
    int budget = (int)(density / 100);
    float frac = std::fmod(density, 100.0f) / 100.0f;
    if (frac > 0.0f && next_unit(rng) < frac) budget++;
    if (budget == 0) return;
    wheel_contact_refresh(bike, tic);
    emit_wheel_roost(bike.front_contact, bike.front_readout, pi_f / 8, budget, tic, rng);
    emit_wheel_roost(bike.rear_contact, bike.rear_readout, 2 * pi_f, budget, tic, rng);
}
