#include "datagen/rabbithill_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <list>

#include "datagen/dmath.h"

namespace rabbithill {

namespace {

constexpr double pi = 3.14159265358979323846;

}  // namespace

// Rabbit Hill: a broad lap over a field with a hill in it, the big jump on
// its crest. The lap, clockwise seen from above, starting with the first
// turn. Each corner is the meeting point of two straights; the lap rounds it
// on an arc.
const track_plan& rabbithill_plan() {
    static const track_plan plan = [] {
        track_plan p;
        p.dir = "rabbithill";
        p.name = "Rabbit Hill";
        p.corners = {
    {144, 141, 55, 0.8, "First Turn"},   {412, 124, 30, 1.0, "Tree Line"},
    {458, 307, 22, 1.0, "Hairpin"},      {310, 269, 40, 0.7, "Infield Left"},
    {297, 396, 45, 0.6, "Whoops Entry"}, {501, 409, 28, 1.0, "East Berm"},
    {484, 524, 35, 0.9, "Hill Climb"},   {236, 525, 50, 0.5, "Rabbit Sweeper"},
    // Flat where the start chute joins the lap.
    {144, 440, 30, 0.0, "Finish Turn"},
        };
        p.features = {
            {feature_double, 0, 30, 64, "Double"},
            {feature_rollers, 0, 122, 48, "Rollers"},
            {feature_tabletop, 1, 22, 80, "Tabletop"},
            {feature_whoops, 4, 25, 72, "Whoops"},
            {feature_big_jump, 6, 40, 100, "Rabbit Hill"},
            {feature_step_up, 7, 14, 50, "Step-Up"},
        };
        p.script = true;
        return p;
    }();
    return plan;
}

// Sandpit Bottoms: a tight lap of sand down in a hollow, low and twisty,
// with an S through the infield, a rhythm section after the first turn and
// only small jumps; a warm, hazy sky with few clouds and a scrubby field.
const track_plan& sandpit_plan() {
    static const track_plan plan = [] {
        track_plan p;
        p.dir = "sandpit";
        p.name = "Sandpit Bottoms";
        p.banner = "SANDPIT MX";
        p.corners = {
            {160, 170, 26, 0.9, "First Turn"},    {470, 150, 18, 1.0, "Sand Hairpin"},
            {360, 270, 24, 0.8, "Dune Left"},     {340, 370, 20, 1.0, "Scrub Corner"},
            {490, 380, 16, 1.0, "Pit Hairpin"},   {480, 480, 22, 0.9, "Bottom Berm"},
            {280, 505, 34, 0.5, "Hollow Sweeper"},
            // Flat where the start chute joins the lap.
            {160, 425, 24, 0.0, "Finish Turn"},
        };
        p.features = {
            // Jumps only where the bike comes in fast; out of the hairpins
            // and the slow corners the whoops and the rollers, nothing a
            // slow bike could stall on in the sand.
            {feature_rhythm, 0, 34, 7 * rhythm_spacing - 3, "Rhythm Lane", 1},
            {feature_whoops, 1, 22, 63, "Sand Whoops", 0.8},
            {feature_rollers, 3, 40, 40, "Scrub Rollers", 0.8},
            {feature_double, 5, 30, 64, "Dune Double", 0.75},
            {feature_tabletop, 6, 22, 80, "Sand Table", 0.6},
        };
        p.track_width = 30;
        p.shoulder = 14;
        p.berm_scale = 100, p.berm_max = 4.5;
        p.chute_gate_z = 548;
        p.gates = 24;
        p.land.roll = 0.7, p.land.ripple = 0.3, p.land.hill = 0;
        p.land.bank = 9, p.land.bank_noise = 4, p.land.seed = 100;
        p.sandy = true;
        p.trees_edge = 0.45, p.trees_inside = 0.06, p.pines = 0.8, p.tree_corner = 4, p.bushes = 0.3;
        p.scenery_seed = 40;
        const uint8_t zenith[3] = {92, 132, 188}, horizon[3] = {230, 216, 186}, far_hills[3] = {184, 168, 138},
                      near_hills[3] = {128, 124, 80}, ground[3] = {150, 136, 96};
        std::copy(zenith, zenith + 3, p.zenith), std::copy(horizon, horizon + 3, p.horizon);
        std::copy(far_hills, far_hills + 3, p.far_hills), std::copy(near_hills, near_hills + 3, p.near_hills);
        std::copy(ground, ground + 3, p.ground);
        p.cloud_from = 0.7, p.cloud_full = 0.9;
        p.fog[0] = 0.86f, p.fog[1] = 0.82f, p.fog[2] = 0.72f;
        p.sun_colour[0] = 1, p.sun_colour[1] = 0.96f, p.sun_colour[2] = 0.86f;
        return p;
    }();
    return plan;
}

const track_plan* plan_named(const std::string& dir) {
    for (const track_plan* p : {&rabbithill_plan(), &sandpit_plan()})
        if (dir == p->dir) return p;
    return nullptr;
}

namespace {

// ---- noise ------------------------------------------------------------------

uint32_t hash2(int x, int z, uint32_t seed) {
    uint32_t h = (uint32_t)x * 0x8da6b343u ^ (uint32_t)z * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return h;
}

double lattice(int x, int z, uint32_t seed) { return (hash2(x, z, seed) & 0xffffff) / (double)0xffffff * 2 - 1; }

double smooth(double t) { return t * t * (3 - 2 * t); }

double value_noise(double x, double z, uint32_t seed) {
    int xi = (int)std::floor(x), zi = (int)std::floor(z);
    double fx = smooth(x - xi), fz = smooth(z - zi);
    double a = lattice(xi, zi, seed), b = lattice(xi + 1, zi, seed);
    double c = lattice(xi, zi + 1, seed), d = lattice(xi + 1, zi + 1, seed);
    return (a + (b - a) * fx) * (1 - fz) + (c + (d - c) * fx) * fz;
}

double smoothstep(double a, double b, double x) {
    if (b == a) return x < a ? 0 : 1;
    double t = std::clamp((x - a) / (b - a), 0.0, 1.0);
    return smooth(t);
}

// ---- the lap ---------------------------------------------------------------

struct arc_geometry {
    double in_x, in_z;    // where the arc starts
    double out_x, out_z;  // where it ends
    double turn;          // signed angle, positive to the right
};

arc_geometry corner_arc(const std::vector<corner>& corners, int i) {
    int n = (int)corners.size();
    const corner& p = corners[(size_t)((i + n - 1) % n)];
    const corner& v = corners[(size_t)i];
    const corner& q = corners[(size_t)((i + 1) % n)];
    double ix = v.x - p.x, iz = v.z - p.z, il = dmath::hypot(ix, iz);
    double ox = q.x - v.x, oz = q.z - v.z, ol = dmath::hypot(ox, oz);
    ix /= il, iz /= il, ox /= ol, oz /= ol;
    double turn = dmath::atan2(ix * oz - iz * ox, ix * ox + iz * oz);
    double t = v.radius * dmath::tan(std::fabs(turn) / 2);
    return {v.x - ix * t, v.z - iz * t, v.x + ox * t, v.z + oz * t, turn};
}

// One-foot samples of the lap: the arc of corner 0, the straight after it,
// the arc of corner 1, and so on. `straight_starts` receives the lap
// distance where each straight begins.
std::vector<centre_sample> sample_lap(const track_plan& plan, std::vector<double>& straight_starts) {
    const std::vector<corner>& corners = plan.corners;
    const double track_width = plan.track_width;
    std::vector<centre_sample> out;
    int n = (int)corners.size();
    double s = 0;
    straight_starts.assign((size_t)n, 0);
    for (int i = 0; i < n; i++) {
        arc_geometry a = corner_arc(corners, i);
        const corner& v = corners[(size_t)i];
        // Direction into the corner and the arc's centre on its inner side.
        int prev = (i + n - 1) % n;
        double ix = v.x - corners[(size_t)prev].x, iz = v.z - corners[(size_t)prev].z, il = dmath::hypot(ix, iz);
        ix /= il, iz /= il;
        double side = a.turn > 0 ? 1 : -1;  // right turn: the centre is to the right
        double cx = a.in_x - iz * v.radius * side, cz = a.in_z + ix * v.radius * side;
        double a0 = dmath::atan2(a.in_z - cz, a.in_x - cx);
        double arc_length = std::fabs(a.turn) * v.radius;
        int steps = (int)std::ceil(arc_length);
        double step_angle = a.turn / steps;
        double curvature = side / v.radius * v.berm;
        // The arc is sampled at arc-length steps slightly under a foot so it closes exactly.
        for (int k = 0; k < steps; k++) {
            double ang = a0 + step_angle * k;
            double x = cx + v.radius * dmath::cos(ang), z = cz + v.radius * dmath::sin(ang);
            double dx = -dmath::sin(ang) * side, dz = dmath::cos(ang) * side;
            out.push_back({x, z, dx, dz, s, track_width, curvature, 0});
            s += arc_length / steps;
        }
        arc_geometry next = corner_arc(corners, (i + 1) % n);
        double sx = next.in_x - a.out_x, sz = next.in_z - a.out_z, sl = dmath::hypot(sx, sz);
        straight_starts[(size_t)i] = s;
        int steps_straight = (int)std::ceil(sl);
        for (int k = 0; k < steps_straight; k++) {
            double t = (double)k / steps_straight;
            out.push_back({a.out_x + sx * t, a.out_z + sz * t, sx / sl, sz / sl, s, track_width, 0, 0});
            s += sl / steps_straight;
        }
    }
    return out;
}

// Curvature smoothed along the lap, so berms build up and fade out.
void smooth_curvature(std::vector<centre_sample>& lap) {
    int n = (int)lap.size();
    std::vector<double> k((size_t)n);
    const int window = 12;
    for (int i = 0; i < n; i++) {
        double sum = 0;
        for (int d = -window; d <= window; d++) sum += lap[(size_t)((i + d + n) % n)].curvature;
        k[(size_t)i] = sum / (2 * window + 1);
    }
    for (int i = 0; i < n; i++) lap[(size_t)i].curvature = k[(size_t)i];
}

// ---- land and profiles ----------------------------------------------------------

struct land {
    land_shape shape;
    double crest_x = 0, crest_z = 0;
    // The land the track is cut into: gentle rolls, the hill the big jump
    // crowns, and banks rising towards the edges of the field.
    double at(double x, double z) const {
        uint32_t seed = shape.seed;
        double h = shape.roll * value_noise(x / 95, z / 95, 11 + seed) + shape.ripple * value_noise(x / 31, z / 31, 23 + seed);
        double dx = x - crest_x, dz = z - crest_z;
        if (shape.hill != 0) h += shape.hill * dmath::exp(-(dx * dx + dz * dz) / (2 * 55.0 * 55.0));
        // Each edge of the field rises on its own, so the corners are round.
        double bank = 0;
        for (double e : {x, z, extent - x, extent - z}) {
            double t = 1 - smoothstep(0, 95, e);
            bank += t * t;
        }
        h += bank * (shape.bank + shape.bank_noise * value_noise(x / 70, z / 70, 37 + seed));
        return h;
    }
};

// Height of a ramp from 0 to h over [a, b], eased at the foot and rounded at
// the lip so there are no kinks a wheel could catch on.
double ramp(double u, double a, double b, double h) {
    if (u <= a) return 0;
    if (u >= b) return h;
    double t = (u - a) / (b - a);
    // Mostly straight face: a short ease-in at the foot only.
    double eased = t < 0.2 ? t * t / 0.4 : t - 0.1;
    return h * eased / 0.9;
}

double feature_height(feature_kind kind, double u, double length) {
    if (u < 0 || u > length) return 0;
    switch (kind) {
        case feature_double: {
            // Two mounds: the take-off face, a gap, then a landing ramp.
            double a = ramp(u, 0, 16, 6) - ramp(u, 18, 29, 6);
            double b = ramp(u, 38, 47, 5.5) - ramp(u, 49, 64, 5.5);
            return std::max(a, b);
        }
        case feature_tabletop: return ramp(u, 0, 16, 6) - ramp(u, 56, 80, 6);
        case feature_step_up: {
            // A kicker, a small trough, a steep step and a raised top that
            // runs down gently.
            double kicker = ramp(u, 0, 12, 3.5) - ramp(u, 12, 17, 1.5) - ramp(u, 32, 50, 2);
            double step = ramp(u, 16, 26, 6) - ramp(u, 32, 50, 6);
            return std::max(kicker, step);
        }
        case feature_whoops: {
            double fade = smoothstep(0, 6, u) * smoothstep(0, 6, length - u);
            return 1.8 * fade * (0.5 - 0.5 * dmath::cos(2 * pi * u / 9));
        }
        case feature_rollers: {
            double fade = smoothstep(0, 4, u) * smoothstep(0, 4, length - u);
            return 2.5 * fade * (0.5 - 0.5 * dmath::cos(2 * pi * u / 16));
        }
        case feature_big_jump: {
            // Take-off at the crest of the hill, a cut-out gap and a long
            // landing ramp down the far side.
            double takeoff = ramp(u, 0, 20, 5) - ramp(u, 20, 30, 6);
            double landing = ramp(u, 44, 54, 5) - ramp(u, 58, 100, 5);
            double gap = -1 * smoothstep(26, 32, u) * (1 - smoothstep(40, 46, u));
            return std::max(takeoff, std::max(landing, gap));
        }
        case feature_rhythm: {
            // Small peaked jumps, a take-off face and a longer, gentler
            // back, low enough to roll at a walk and to jump at a gallop.
            double v = std::fmod(u, rhythm_spacing);
            return ramp(v, 0, 8, 2.6) - ramp(v, 9, 19, 2.6);
        }
    }
    return 0;
}

// ---- nearest centre-line point ------------------------------------------------

struct piece_hit {
    bool found = false;
    double d = 1e30;  // distance from the centre line
    double u = 0;     // signed lateral offset, positive to the right of travel
    double s = 0;     // distance along the piece
    int index = -1;
};

struct centre_index {
    static constexpr double bucket = 4;
    int side = 0;
    std::vector<std::vector<int>> cells;
    const std::vector<centre_sample>* samples = nullptr;

    void build(const std::vector<centre_sample>& pts) {
        samples = &pts;
        side = (int)std::ceil(extent / bucket) + 1;
        cells.assign((size_t)side * (size_t)side, {});
        for (int i = 0; i < (int)pts.size(); i++) {
            int cx = std::clamp((int)(pts[(size_t)i].x / bucket), 0, side - 1);
            int cz = std::clamp((int)(pts[(size_t)i].z / bucket), 0, side - 1);
            cells[(size_t)(cx + side * cz)].push_back(i);
        }
    }

    // The nearest sample within `reach`, and (for the lap) the nearest one
    // at least `apart` feet of track away from it.
    void nearest(double x, double z, double reach, bool circular, double length, double apart, piece_hit& first,
                 piece_hit& second) const {
        int r = (int)std::ceil(reach / bucket);
        int cx = (int)(x / bucket), cz = (int)(z / bucket);
        struct cand {
            int i;
            double d2;
        };
        thread_local std::vector<cand> found;
        found.clear();
        for (int bz = std::max(cz - r, 0); bz <= std::min(cz + r, side - 1); bz++)
            for (int bx = std::max(cx - r, 0); bx <= std::min(cx + r, side - 1); bx++)
                for (int i : cells[(size_t)(bx + side * bz)]) {
                    const centre_sample& c = (*samples)[(size_t)i];
                    double d2 = (x - c.x) * (x - c.x) + (z - c.z) * (z - c.z);
                    if (d2 <= reach * reach) found.push_back({i, d2});
                }
        auto fill = [&](piece_hit& h, int i) {
            const centre_sample& c = (*samples)[(size_t)i];
            double px = x - c.x, pz = z - c.z;
            h.found = true;
            h.index = i;
            h.u = px * (-c.dz) + pz * c.dx;
            h.s = c.s + px * c.dx + pz * c.dz;
            h.d = std::fabs(h.u);
            // Past the ends of an open piece the distance is the true one.
            double along = px * c.dx + pz * c.dz;
            if (!circular && (i == 0 || i + 1 == (int)samples->size())) h.d = std::sqrt(h.u * h.u + along * along);
        };
        int best = -1;
        double best_d2 = 1e30;
        for (const cand& c : found)
            if (c.d2 < best_d2) best = c.i, best_d2 = c.d2;
        if (best < 0) return;
        fill(first, best);
        int other = -1;
        double other_d2 = 1e30;
        for (const cand& c : found) {
            double ds = std::fabs((*samples)[(size_t)c.i].s - (*samples)[(size_t)best].s);
            if (circular) ds = std::min(ds, length - ds);
            if (ds >= apart && c.d2 < other_d2) other = c.i, other_d2 = c.d2;
        }
        if (other >= 0) fill(second, other);
    }
};

}  // namespace

const std::vector<corner>& lap_corners(const track_plan& plan) { return plan.corners; }

std::vector<feature> lap_features(const track_plan& plan) {
    std::vector<double> starts;
    sample_lap(plan, starts);
    std::vector<feature> f;
    for (const feature_place& p : plan.features)
        f.push_back({p.kind, starts[(size_t)p.straight] + p.offset, p.length, p.name, p.scale});
    return f;
}

namespace {

struct surface_point {
    double height;
    int surface;
};

struct designer {
    track_design& d;
    land ground;
    centre_index lap_index, chute_index;
    double merge_s = 0;  // lap distance where the chute joins
    double start_straight_begin = 0, start_straight_end = 0;

    explicit designer(track_design& design) : d(design) {}

    double feature_sum(double s) const {
        double h = 0;
        for (const feature& f : d.features) {
            double u = s - f.start;
            if (u < 0) u += d.lap_length;
            if (u <= f.length) h += f.scale * feature_height(f.kind, u, f.length);
        }
        return h;
    }

    double berm_height(double curvature) const {
        return std::clamp(std::fabs(curvature) * d.plan->berm_scale, 0.0, d.plan->berm_max);
    }

    // Height and surface on the lap at (s, u), u inside the track or at its edge.
    surface_point on_lap(const centre_sample& c, double s, double u) const {
        double half = c.width / 2;
        double q = std::clamp(u / half, -1.0, 1.0);
        double berm = berm_height(c.curvature);
        // The outside of a right turn is on the left (negative u).
        double outward = c.curvature > 0 ? -q : q;
        double bank = berm * dmath::pow(smoothstep(-0.35, 1.0, outward), 1.6);
        // Jumps round off slightly at their sides.
        double side = 1 - 0.25 * smoothstep(0.75, 1.0, std::fabs(q));
        double h = c.base + feature_sum(s) * side + bank;
        int surf = surface_dirt;
        bool straight = s >= start_straight_begin && s <= start_straight_end;
        if (straight) surf = surface_hardpack;
        if (berm > 1.2 && outward > 0.1) surf = surface_loam;
        return {h, surf};
    }

    // The land and track together at a world point.
    surface_point at(double x, double z) const {
        const double shoulder = d.plan->shoulder;
        double reach = d.plan->chute_gate_width / 2 + shoulder + 2;
        piece_hit a, b, chute, unused;
        lap_index.nearest(x, z, d.plan->track_width / 2 + shoulder + 2, true, d.lap_length, 70, a, b);
        chute_index.nearest(x, z, reach, false, 0, 1e9, chute, unused);
        double natural = ground.at(x, z);

        struct contribution {
            double height;
            double weight;
            int surface;
            bool inside;
        };
        contribution parts[3];
        int count = 0;
        auto lap_part = [&](const piece_hit& h) {
            if (!h.found) return;
            const centre_sample& c = d.lap[(size_t)h.index];
            double half = c.width / 2;
            double s = std::fmod(h.s + d.lap_length, d.lap_length);
            surface_point p = on_lap(c, s, h.u);
            bool inside = h.d <= half;
            double w = inside ? 1 : 1 - smoothstep(half, half + shoulder, h.d);
            parts[count++] = {p.height, w, p.surface, inside};
        };
        lap_part(a);
        lap_part(b);
        if (chute.found) {
            const centre_sample& c = d.chute[(size_t)chute.index];
            double half = c.width / 2;
            bool inside = chute.d <= half;
            double w = inside ? 1 : 1 - smoothstep(half, half + shoulder, chute.d);
            parts[count++] = {c.base, w, surface_hardpack, inside};
        }
        // On a track surface: that surface (the nearest one when two meet).
        for (int i = 0; i < count; i++)
            if (parts[i].inside) return {parts[i].height, parts[i].surface};
        // On a bank: the land pulled towards the track edges nearby.
        double sum = 0, weight = 0;
        for (int i = 0; i < count; i++) {
            sum += parts[i].weight * (parts[i].height - natural);
            weight += parts[i].weight;
        }
        double h = natural + (weight > 1 ? sum / weight : sum);
        return {h, surface_grass};
    }
};

}  // namespace

track_design build_design(const track_plan& plan) {
    track_design d;
    d.plan = &plan;
    const std::vector<corner>& corners = plan.corners;
    const int last_corner = (int)corners.size() - 1;
    const double track_width = plan.track_width, chute_gate_z = plan.chute_gate_z,
                 chute_gate_width = plan.chute_gate_width;
    std::vector<double> straight_starts;
    d.lap = sample_lap(plan, straight_starts);
    d.lap_length = d.lap.back().s + 1;
    {
        // The last sample sits just under a foot from the first: measure exactly.
        const centre_sample& last = d.lap.back();
        d.lap_length = last.s + dmath::hypot(d.lap[0].x - last.x, d.lap[0].z - last.z);
    }
    smooth_curvature(d.lap);
    d.features = lap_features(plan);

    designer g(d);
    g.ground.shape = plan.land;
    // The hill under the big jump: its take-off lip sits on the crest.
    for (const feature& f : d.features) {
        if (f.kind != feature_big_jump) continue;
        const centre_sample& c = d.lap[(size_t)std::min((int)(f.start + 20), (int)d.lap.size() - 1)];
        g.ground.crest_x = c.x;
        g.ground.crest_z = c.z;
    }

    // The track's ground level follows the land, smoothed along the lap so the
    // riding line has no short bumps of its own.
    int n = (int)d.lap.size();
    std::vector<double> raw((size_t)n);
    for (int i = 0; i < n; i++) raw[(size_t)i] = g.ground.at(d.lap[(size_t)i].x, d.lap[(size_t)i].z);
    const int window = 30;
    for (int i = 0; i < n; i++) {
        double sum = 0;
        for (int k = -window; k <= window; k++) sum += raw[(size_t)((i + k + n) % n)];
        d.lap[(size_t)i].base = sum / (2 * window + 1);
    }

    // The start straight runs from the finish turn to the first turn; the
    // chute from the gate joins it at its start.
    g.start_straight_begin = straight_starts[(size_t)last_corner];
    g.start_straight_end = d.lap_length;
    const corner& finish_turn = corners[(size_t)last_corner];
    // Merge point: where the straight after the finish turn passes the chute axis.
    double merge_z = corner_arc(corners, last_corner).out_z;
    g.merge_s = straight_starts[(size_t)last_corner];
    double merge_base = d.lap[(size_t)std::min((int)g.merge_s, n - 1)].base;
    // Keep the start straight level with the chute so the gate sits on flat
    // ground, easing back to the land before the first turn.
    for (int i = (int)g.start_straight_begin - 60; i < n; i++) {
        double s = d.lap[(size_t)i].s;
        double t = smoothstep(g.start_straight_begin - 60, g.start_straight_begin - 10, s) *
                   (1 - smoothstep(g.start_straight_end - 90, g.start_straight_end, s));
        d.lap[(size_t)i].base = d.lap[(size_t)i].base + (merge_base - d.lap[(size_t)i].base) * t;
        // A little wider towards the first turn.
        d.lap[(size_t)i].width = track_width + 4 * smoothstep(g.start_straight_begin, g.start_straight_end, d.lap[(size_t)i].s);
    }
    for (double z = chute_gate_z + 6; z >= merge_z - 10; z -= 1) {
        double t = (chute_gate_z + 6 - z) / (chute_gate_z + 6 - (merge_z - 10));
        double width = chute_gate_width + (track_width + 2 - chute_gate_width) * smoothstep(0.15, 1.0, t);
        d.chute.push_back({finish_turn.x, z, 0, -1, chute_gate_z + 6 - z, width, 0, merge_base});
    }
    g.lap_index.build(d.lap);
    g.chute_index.build(d.chute);

    // Heights on every sample, surfaces on every tile (from its centre sample).
    d.heights.assign((size_t)samples * samples, 0);
    d.tiles.assign((size_t)(1 << size_log2) * (1 << size_log2), surface_grass);
    const int corner_side = (1 << size_log2) + 1;
    d.corners.assign((size_t)corner_side * corner_side, surface_grass);
    for (int j = 0; j < samples; j++) {
        for (int i = 0; i < samples; i++) {
            surface_point p = g.at(i * cell_size, j * cell_size);
            d.heights[(size_t)i + (size_t)samples * j] = (float)p.height;
            if ((i & 1) && (j & 1)) d.tiles[(size_t)(i / 2) + (size_t)(1 << size_log2) * (j / 2)] = (unsigned char)p.surface;
            if (!(i & 1) && !(j & 1)) d.corners[(size_t)(i / 2) + (size_t)corner_side * (j / 2)] = (unsigned char)p.surface;
        }
    }

    // The starting gate: 22 positions across the chute, facing up it.
    const int positions = 22;
    const double spacing = 3.25;
    for (int k = 0; k < positions; k++) {
        double x = finish_turn.x + (k - (positions - 1) / 2.0) * spacing;
        double z = chute_gate_z;
        d.starts.push_back({x, grid_height(d, x, z), z, 0.0});
    }

    // Checkpoints every 50 ft or so from the start straight round the lap,
    // and the finish line on the start straight just past the merge.
    double finish_s = g.start_straight_begin + 40;
    int gates = plan.gates;
    for (int k = 1; k <= gates; k++) {
        double s = std::fmod(finish_s + d.lap_length * k / gates, d.lap_length);
        const centre_sample& c = d.lap[(size_t)std::min((int)s, n - 1)];
        d.gates.push_back({c.width / 2 + 8, c.x, grid_height(d, c.x, c.z) + 2, c.z, c.dx, c.dz, k == gates});
    }
    return d;
}

const track_design& design_of(const track_plan& plan) {
    // A list, so that the designs handed out stay where they are.
    static std::list<std::pair<const track_plan*, track_design>> built;
    for (const auto& [p, d] : built)
        if (p == &plan) return d;
    built.emplace_back(&plan, build_design(plan));
    return built.back().second;
}

double grid_height(const track_design& d, double x, double z) {
    double fx = std::clamp(x / cell_size, 0.0, (double)samples - 1.001);
    double fz = std::clamp(z / cell_size, 0.0, (double)samples - 1.001);
    int i = (int)fx, j = (int)fz;
    double tx = fx - i, tz = fz - j;
    auto h = [&](int a, int b) { return (double)d.heights[(size_t)a + (size_t)samples * b]; };
    return (h(i, j) * (1 - tx) + h(i + 1, j) * tx) * (1 - tz) + (h(i, j + 1) * (1 - tx) + h(i + 1, j + 1) * tx) * tz;
}

}  // namespace rabbithill
