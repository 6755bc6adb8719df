// The generated tracks' scenery: the lighting with its sky and sun flare, trees,
// bushes, crowds and banners as billboards, hay bales and barrier blocks on
// the outside of the corners as solid statues, camera towers, the marshals,
// the TV cameras with the gates they take over at, and the HUD map; Rabbit
// Hill's track script with its things; and the default sky of tracks that
// name none (Rabbit Hill's). Files go through the same writers the program
// saves them with.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/text.h"
#include "datagen/datagen.h"
#include "datagen/dice.h"
#include "datagen/dmath.h"
#include "datagen/picture.h"
#include "datagen/rabbithill_frills.h"
#include "datagen/rabbithill_layout.h"
#include "datagen/rabbithill_scenery_art.h"
#include "render/image_io.h"
#include "render/shape_file.h"
#include "track/objects_billboards.h"
#include "track/objects_cameras.h"
#include "track/objects_flaggers.h"
#include "track/objects_lighting.h"
#include "track/objects_statues.h"

namespace {

using namespace rabbithill;

// A file of the track's folder `dir` ("rabbithill/") as objects name it.
std::string data_name(const std::string& dir, const std::string& file) { return "@" + dir + file; }

// The light the baked shading of the ground was made with; changing it here
// would make dug ground look different from untouched ground.
const double sun[3] = {0.57735026918962584, 0.57735026918962584, 0.57735026918962584};

// ---- where things may stand ------------------------------------------------------------------

struct layout {
    const track_design& d;
    std::vector<double> gate_s;  // lap distance of each gate
    struct spot {
        double x, z, r;
    };
    std::vector<spot> taken;

    explicit layout(const track_design& design) : d(design) {
        for (const gate& g : d.gates) gate_s.push_back(d.lap[nearest(g.x, g.z)].s);
    }

    size_t nearest(double x, double z) const {
        size_t best = 0;
        double bd = 1e18;
        for (size_t i = 0; i < d.lap.size(); i++) {
            double dd = dmath::hypot(d.lap[i].x - x, d.lap[i].z - z);
            if (dd < bd) bd = dd, best = i;
        }
        return best;
    }
    // Distance beyond the nearest edge of the lap or the start chute
    // (negative on the track).
    double edge_distance(double x, double z) const {
        double best = 1e18;
        for (const centre_sample& c : d.lap) best = std::min(best, dmath::hypot(c.x - x, c.z - z) - c.width / 2);
        for (const centre_sample& c : d.chute) best = std::min(best, dmath::hypot(c.x - x, c.z - z) - c.width / 2);
        return best;
    }
    bool in_field(double x, double z, double margin) const {
        return x > margin && z > margin && x < extent - margin && z < extent - margin;
    }
    bool free(double x, double z, double r) const {
        for (const spot& s : taken)
            if (dmath::hypot(s.x - x, s.z - z) < s.r + r) return false;
        return true;
    }
    void take(double x, double z, double r) { taken.push_back({x, z, r}); }
    const centre_sample& at(double s) const {
        double L = d.lap_length;
        s = std::fmod(std::fmod(s, L) + L, L);
        return d.lap[std::min((size_t)s, d.lap.size() - 1)];
    }
    // The point `offset` beyond the centre line on the side (+1 right of the
    // riding direction, -1 left).
    static void beside(const centre_sample& c, double side, double offset, double& x, double& z) {
        x = c.x - c.dz * side * offset;
        z = c.z + c.dx * side * offset;
    }
    // The side with at least `room` ft clear of every track edge at `offset`
    // from the centre line (preferring `prefer`); 0 when neither has it.
    double roomy_side(const centre_sample& c, double offset, double room, double prefer = 1) const {
        for (double side : {prefer, -prefer}) {
            double x, z;
            beside(c, side, c.width / 2 + offset, x, z);
            if (in_field(x, z, 6) && edge_distance(x, z) >= room) return side;
        }
        return 0;
    }
    // Gates whose lap distance lies within (from, from + reach].
    std::vector<int> gates_after(double from, double reach) const {
        std::vector<int> out;
        for (size_t k = 0; k < gate_s.size(); k++) {
            double ahead = std::fmod(gate_s[k] - from + 2 * d.lap_length, d.lap_length);
            if (ahead > 0 && ahead <= reach) out.push_back((int)k);
        }
        std::sort(out.begin(), out.end(), [&](int a, int b) {
            return std::fmod(gate_s[(size_t)a] - from + 2 * d.lap_length, d.lap_length) <
                   std::fmod(gate_s[(size_t)b] - from + 2 * d.lap_length, d.lap_length);
        });
        return out;
    }
};

// ---- the objects ------------------------------------------------------------------------------

struct scenery {
    std::string dir;  // the track's folder, with its slash
    std::vector<billboard> billboards;
    std::vector<statue> statues;
    flagger_file flaggers;
    std::vector<camera_placement> cameras;
    frills_places frills;
};

void add_board(scenery& s, double x, double z, double y_offset, double size, double aspect, const std::string& picture,
               std::array<uint8_t, 4> tint = {255, 255, 255, 255}) {
    billboard b;
    b.x = (float)x, b.z = (float)z, b.y_offset = (float)y_offset;
    b.size = (float)size, b.aspect = (float)aspect;
    b.texture_name = data_name(s.dir, picture);
    b.tint = tint;
    s.billboards.push_back(b);
}

void add_thing(scenery& s, double x, double z, double y_offset, double angle, const char* model, const char* texture,
               const char* shape) {
    statue t;
    t.x = (float)x, t.z = (float)z, t.y_offset = (float)y_offset, t.angle = (float)angle;
    t.model_name = model ? data_name(s.dir, model) : "";
    t.texture_name = texture ? data_name(s.dir, texture) : "";
    t.shape_name = shape ? data_name(s.dir, shape) : "";
    s.statues.push_back(t);
}

// The heading that lays a statue's length (its x axis) along (dx, dz).
double heading_along(double dx, double dz) { return dmath::atan2(-dz, dx); }

// Hay bales and barrier blocks on the outside of every corner, a little off
// the edge where a rider running wide meets them; the bermed corners get the
// plastic blocks, the others straw.
void corner_barriers(layout& L, scenery& s) {
    const track_design& d = L.d;
    const std::vector<corner>& corners = d.plan->corners;
    int n = (int)d.lap.size();
    double last = -1e9;
    int count = 0;
    for (int i = 0; i < n; i++) {
        const centre_sample& c = d.lap[(size_t)i];
        const centre_sample& a = d.lap[(size_t)((i + n - 4) % n)];
        const centre_sample& b = d.lap[(size_t)((i + 4) % n)];
        double tx = b.dx - a.dx, tz = b.dz - a.dz, turn = dmath::hypot(tx, tz) / 8;
        // Only on the arcs (radius under about 70 ft).
        if (turn < 1.0 / 70 || c.s - last < 7) continue;
        double ox = -tx / (turn * 8), oz = -tz / (turn * 8);
        double x = c.x + ox * (c.width / 2 + 3.5), z = c.z + oz * (c.width / 2 + 3.5);
        if (!L.in_field(x, z, 4) || L.edge_distance(x, z) < 2.5 || !L.free(x, z, 2.5)) continue;
        const corner* near = &corners[0];
        for (const corner& k : corners)
            if (dmath::hypot(k.x - c.x, k.z - c.z) < dmath::hypot(near->x - c.x, near->z - c.z)) near = &k;
        double a_heading = heading_along(c.dx, c.dz);
        if (near->berm >= 0.9)
            add_thing(s, x, z, -0.05, a_heading, "barrier.jm", count % 2 ? "barrier-blue.png" : "barrier-yellow.png",
                      "barrier.shp");
        else
            add_thing(s, x, z, -0.1, a_heading, "haybale.jm", "haybale.png", "haybale.shp");
        L.take(x, z, 2.5);
        last = c.s;
        count++;
    }
}

// Crowds on the bank behind a line of banners, along a stretch of the lap.
void spectators(layout& L, scenery& s, double from, double to, double prefer, uint32_t seed) {
    dice r(seed, 977);
    for (double at = from; at < to; at += 27) {
        const centre_sample& c = L.at(at);
        double side = L.roomy_side(c, 24, 18, prefer);
        if (side == 0) continue;
        double x, z;
        layout::beside(c, side, c.width / 2 + 24 + r.range(0, 4), x, z);
        if (!L.free(x, z, 10)) continue;
        add_board(s, x, z, -0.2, 6.5, 4, r.next() < 0.5 ? "crowd-a.png" : "crowd-b.png");
        L.take(x, z, 12);
        layout::beside(c, side, c.width / 2 + 11, x, z);
        add_board(s, x, z, 0, 2.5, 8, r.next() < 0.5 ? "banner-a.png" : "banner-b.png");
        L.take(x, z, 6);
    }
}

void marshals(layout& L, scenery& s) {
    const track_design& d = L.d;
    flagger_file& f = s.flaggers;
    // The starter stands in front of the gate and walks off to the side of
    // the chute before it drops.
    const start_position& mid = d.starts[d.starts.size() / 2];
    f.start_pos0 = {(float)(mid.x + 14), 0, (float)(mid.z - 12)};
    double off = 20;
    while (L.edge_distance(mid.x + off, mid.z - 12) < 6 && off < 120) off += 2;
    f.start_pos1 = {(float)(mid.x + off), 0, (float)(mid.z - 12)};
    f.start_size = 8, f.start_aspect = 0.5f, f.walk_time = 5;
    const char* start_names[5] = {"marshal-ready.png", "marshal-board-up.png", "marshal-board.png",
                                  "marshal-walking.png", "marshal-aside.png"};
    for (int k = 0; k < 5; k++) f.start_textures[(size_t)k] = data_name(s.dir, start_names[k]);
    L.take(f.start_pos1.x, f.start_pos1.z, 6);

    // The lap marshal beside the finish line, on the side away from the infield.
    const centre_sample& fin = L.at(L.gate_s.back());
    double side = L.roomy_side(fin, 7, 5, -1);
    if (side == 0) side = -1;
    double x, z;
    layout::beside(fin, side, fin.width / 2 + 7, x, z);
    f.lap_pos = {(float)x, 0, (float)z};
    f.lap_size = 8, f.lap_aspect = 0.5f;
    const char* lap_names[4] = {"marshal-lap.png", "marshal-halfway.png", "marshal-white.png", "marshal-chequered.png"};
    for (int k = 0; k < 4; k++) f.lap_textures[(size_t)k] = data_name(s.dir, lap_names[k]);
    L.take(x, z, 6);

    // A yellow flag before every jump and the whoops, covering the next two
    // gates beyond it: a rider down there is hidden from the riders coming.
    for (const feature& ft : d.features) {
        if (ft.kind == feature_rollers) continue;
        double at = ft.start - 12;
        const centre_sample& c = L.at(at);
        double sd = L.roomy_side(c, 7, 5);
        if (sd == 0) continue;
        layout::beside(c, sd, c.width / 2 + 7, x, z);
        flagger_file::yellow y;
        y.pos = {(float)x, 0, (float)z};
        y.size = 8, y.aspect = 0.5f;
        std::vector<int> gates = L.gates_after(at, 130);
        for (size_t k = 0; k < gates.size() && k < 2; k++) y.gates[k] = gates[k];
        y.normal = data_name(s.dir, "marshal-yellow-still.png");
        y.yellow = data_name(s.dir, "marshal-yellow-waving.png");
        f.yellows.push_back(y);
        L.take(x, z, 6);
    }
}

// TV cameras on towers around the lap, each taking over for a run of gates.
void tv_cameras(layout& L, scenery& s) {
    const int count = 8, gates = (int)L.gate_s.size();
    const double height = 14;
    for (int k = 0; k < count; k++) {
        int g0 = k * gates / count, g1 = (k + 1) * gates / count - 1;
        // The middle of the stretch from the gate before the run to its last gate.
        double from = L.gate_s[(size_t)((g0 + gates - 1) % gates)], to = L.gate_s[(size_t)g1];
        double span = std::fmod(to - from + L.d.lap_length, L.d.lap_length);
        const centre_sample& c = L.at(from + span / 2);
        double x = 0, z = 0;
        bool placed = false;
        for (double offset : {30.0, 42.0, 56.0, 72.0}) {
            double side = L.roomy_side(c, offset, 20);
            if (side == 0) continue;
            layout::beside(c, side, c.width / 2 + offset, x, z);
            if (!L.free(x, z, 8)) continue;
            placed = true;
            break;
        }
        if (!placed) continue;
        camera_placement cam;
        cam.x = (float)x, cam.z = (float)z, cam.y = (float)height + 0.4f;
        cam.fov = 55;
        cam.autofovsize = 30;
        for (int g = g0; g <= g1; g++) cam.gates.push_back(g);
        s.cameras.push_back(cam);
        // The tower, upright, its camera looking at the stretch.
        double heading = dmath::atan2(-(c.x - x), -(c.z - z)) - 4 * M_PI;
        add_thing(s, x, z, 0, heading, "camera-tower.jm", "camera-tower.png", nullptr);
        L.take(x, z, 8);
    }
}

// What the track script moves and draws on, first in the billboard and
// statue lists so that the script knows them by index 0 and 1: the
// scoreboard by the finish line and the sponsor board before the big jump
// (billboards), the flag marshal at the jump and the tractor that works
// the field behind the start straight (statues the script moves).
void script_things(layout& L, scenery& s, double straight_from, double straight_to) {
    frills_places& p = s.frills;
    std::vector<billboard> boards;
    std::vector<statue> things;
    scenery mine;
    mine.dir = s.dir;
    double x = 0, z = 0;

    const centre_sample& fin = L.at(L.gate_s.back() + 12);
    double side = L.roomy_side(fin, 30, 14, 1);
    if (side == 0) side = 1;
    layout::beside(fin, side, fin.width / 2 + 30, x, z);
    add_board(mine, x, z, 1, 12, 2, scoreboard_file);
    p.scoreboard[0] = x, p.scoreboard[1] = z;
    L.take(x, z, 14);

    const feature* jump = nullptr;
    for (const feature& f : L.d.features)
        if (f.kind == feature_big_jump) jump = &f;
    double jump_at = jump ? jump->start : straight_to;
    double jump_length = jump ? jump->length : 40;
    const centre_sample& before = L.at(jump_at - 30);
    side = L.roomy_side(before, 22, 10, -1);
    if (side == 0) side = -1;
    layout::beside(before, side, before.width / 2 + 22, x, z);
    add_board(mine, x, z, 0.5, 7, 4, sponsor_file);
    p.sponsor[0] = x, p.sponsor[1] = z;
    L.take(x, z, 16);

    const centre_sample& mid = L.at(jump_at + jump_length / 2);
    side = L.roomy_side(mid, 12, 6, 1);
    if (side == 0) side = 1;
    layout::beside(mid, side, mid.width / 2 + 12, x, z);
    // Facing the riders: its -z toward the centre line.
    double heading = heading_along(mid.x - x, mid.z - z) + M_PI / 2;
    add_thing(mine, x, z, 0, heading, flagman_model_file, flagman_texture_file, nullptr);
    p.flagman[0] = x, p.flagman[1] = z, p.flagman[2] = heading;
    L.take(x, z, 5);

    const centre_sample& land = L.at(jump_at + jump_length);
    p.landing[0] = land.x, p.landing[1] = land.z, p.landing[2] = land.width / 2 + 8;
    double cs = L.roomy_side(land, 24, 10, -side);
    if (cs == 0) cs = -side;
    layout::beside(land, cs, land.width / 2 + 24, p.crowd[0], p.crowd[1]);

    // The tractor's run: two points well behind the crowds along the
    // straight, on ground clear of the track all the way between them.
    const centre_sample& a = L.at(straight_from + 30);
    const centre_sample& b = L.at(straight_to - 30);
    bool found = false;
    for (double offset = 60; offset <= 110 && !found; offset += 10)
        for (double sd : {1.0, -1.0}) {
            double ax, az, bx, bz;
            layout::beside(a, sd, a.width / 2 + offset, ax, az);
            layout::beside(b, sd, b.width / 2 + offset, bx, bz);
            bool clear = true;
            for (int k = 0; k <= 16 && clear; k++) {
                double t = k / 16.0, px = ax + (bx - ax) * t, pz = az + (bz - az) * t;
                clear = L.in_field(px, pz, 10) && L.edge_distance(px, pz) > 25;
            }
            if (!clear) continue;
            p.tractor_from[0] = ax, p.tractor_from[1] = az, p.tractor_to[0] = bx, p.tractor_to[1] = bz;
            found = true;
            break;
        }
    if (!found) {
        // No room: it stands by the scoreboard.
        p.tractor_from[0] = p.tractor_to[0] = p.scoreboard[0] + 20;
        p.tractor_from[1] = p.tractor_to[1] = p.scoreboard[1];
    }
    add_thing(mine, p.tractor_from[0], p.tractor_from[1], 0,
              heading_along(p.tractor_to[0] - p.tractor_from[0], p.tractor_to[1] - p.tractor_from[1]),
              tractor_model_file, tractor_texture_file, nullptr);
    for (int k = 0; k <= 8; k++) {
        double t = k / 8.0;
        L.take(p.tractor_from[0] + (p.tractor_to[0] - p.tractor_from[0]) * t,
               p.tractor_from[1] + (p.tractor_to[1] - p.tractor_from[1]) * t, 8);
    }
    s.billboards.insert(s.billboards.begin(), mine.billboards.begin(), mine.billboards.end());
    s.statues.insert(s.statues.begin(), mine.statues.begin(), mine.statues.end());
}

// Trees thick towards the edges of the field and by the Tree Line corner,
// thinner in the infield; bushes near the track.
void vegetation(layout& L, scenery& s) {
    const track_plan& plan = *L.d.plan;
    dice r(2024, 977);
    const corner& tree_line = plan.corners[(size_t)plan.tree_corner];
    for (double gz = 6; gz < extent - 6; gz += 19)
        for (double gx = 6; gx < extent - 6; gx += 19) {
            double x = gx + r.range(-7, 7), z = gz + r.range(-7, 7);
            double edge = std::min({x, z, extent - x, extent - z});
            double chance = edge < 60 ? plan.trees_edge : plan.trees_inside;
            if (dmath::hypot(x - tree_line.x, z - tree_line.z) < 130) chance = std::max(chance, 0.6);
            double roll = r.next(), kind = r.next(), size = r.range(24, 42), tone = r.range(0.82, 1.0);
            if (roll > chance || !L.in_field(x, z, 4) || L.edge_distance(x, z) < 26 || !L.free(x, z, 8)) continue;
            std::array<uint8_t, 4> tint = {(uint8_t)(255 * tone), 255, (uint8_t)(255 * tone * 0.97), 255};
            add_board(s, x, z, -0.4, size, 0.5, kind < plan.pines ? "tree-pine.png" : "tree-broadleaf.png", tint);
            L.take(x, z, 5);
        }
    for (double gz = 4; gz < extent - 4; gz += 13)
        for (double gx = 4; gx < extent - 4; gx += 13) {
            double x = gx + r.range(-5, 5), z = gz + r.range(-5, 5);
            double roll = r.next(), size = r.range(2.5, 5);
            if (roll > plan.bushes || !L.in_field(x, z, 4)) continue;
            double e = L.edge_distance(x, z);
            if (e < 9 || e > 45 || !L.free(x, z, 3)) continue;
            add_board(s, x, z, -0.2, size, 2, "bush.png");
            L.take(x, z, 2);
        }
}

scenery place_everything(const track_design& d) {
    layout L(d);
    scenery s;
    s.dir = std::string(d.plan->dir) + "/";
    const std::vector<corner>& corners = d.plan->corners;
    // Reserved first: what must be where it is.
    marshals(L, s);
    corner_barriers(L, s);
    tv_cameras(L, s);
    // The start straight, the big jump and the whoops draw the crowds.
    double straight_from = d.lap[L.nearest(corners.back().x, corners.back().z - 40)].s;
    double straight_to = d.lap[L.nearest(corners[0].x, corners[0].z + 60)].s;
    if (straight_to < straight_from) straight_to += d.lap_length;
    if (d.plan->script) script_things(L, s, straight_from, straight_to);
    spectators(L, s, straight_from, straight_to, -1, 11);
    for (const feature& f : d.features)
        if (f.kind == feature_big_jump || f.kind == feature_whoops || f.kind == feature_tabletop ||
            f.kind == feature_rhythm)
            spectators(L, s, f.start - 10, f.start + f.length + 10, 1, 20 + (uint32_t)f.kind);
    vegetation(L, s);
    return s;
}

// ---- the map -----------------------------------------------------------------------------------

picture hud_map(const track_design& d) {
    const int size = 256, tiles = 1 << size_log2;
    picture p(size, size, rgba{0, 0, 0, 0});
    rgba colours[surface_count] = {{150, 110, 72, 255}, {112, 76, 46, 255}, {186, 166, 132, 255}, {84, 140, 62, 255}};
    if (d.plan->sandy) colours[surface_dirt] = rgba{206, 178, 128, 255};
    auto surface = [&](int tx, int tz) {
        tx = std::clamp(tx, 0, tiles - 1), tz = std::clamp(tz, 0, tiles - 1);
        return (int)d.tiles[(size_t)tx + (size_t)tiles * tz];
    };
    double per = extent / size;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            double wx = (x + 0.5) * per, wz = (y + 0.5) * per;
            int tx = (int)(wx / (2 * cell_size)), tz = (int)(wz / (2 * cell_size));
            int kind = surface(tx, tz) % surface_count;
            double dx = (grid_height(d, wx + per, wz) - grid_height(d, wx - per, wz)) / (2 * per);
            double dz = (grid_height(d, wx, wz + per) - grid_height(d, wx, wz - per)) / (2 * per);
            double light = std::clamp(0.8 + (-dx - dz) * 0.6, 0.45, 1.3);
            rgba c = shade(colours[kind], light);
            bool track = kind != surface_grass;
            bool edge = false;
            if (track)
                for (int k = 0; k < 4 && !edge; k++) {
                    int ox = (k == 0) - (k == 1), oz = (k == 2) - (k == 3);
                    edge = surface(tx + 2 * ox, tz + 2 * oz) == surface_grass;
                }
            c.a = track ? 235 : 70;
            if (edge) c = rgba{30, 26, 22, 255};
            p.at(x, y) = c;
        }
    // The finish line in white.
    const gate& fin = d.gates.back();
    for (double t = -fin.radius + 8; t <= fin.radius - 8; t += 0.5) {
        int x = (int)((fin.x - fin.dz * t) / per), y = (int)((fin.z + fin.dx * t) / per);
        p.put(x, y, rgba{255, 255, 255, 255});
    }
    return p;
}

// ---- the lighting --------------------------------------------------------------------------------

lighting_file track_lighting(const track_plan& plan, const std::string& dir) {
    lighting_file f;
    f.sun_vector = {1, 1, 1};
    f.sun_color = {plan.sun_colour[0], plan.sun_colour[1], plan.sun_colour[2]};
    f.ambient = {0.5f, 0.5f, 0.5f};
    f.global_ambient = {0.2f, 0.2f, 0.2f};
    f.near_plane = 0.25f;
    f.far_plane = 4000;
    f.fog_color = {plan.fog[0], plan.fog[1], plan.fog[2]};
    f.fog_density = 0.0007f;
    const char* faces[sky_picture_count] = {"sky-n.png", "sky-e.png", "sky-s.png", "sky-w.png", "sky-u.png", "sky-env.png"};
    for (int k = 0; k < sky_picture_count; k++) f.sky[(size_t)k] = data_name(dir, faces[k]);
    // The sun's flare: its glow on the sun, then ghosts along the line
    // through the middle of the view.
    lighting_file::flare_entry sun_flare;
    sun_flare.directional = true;
    sun_flare.position = {1, 1, 1};
    using E = lighting_file::element;
    sun_flare.elements = {
        E{0, 1, {1, 0.96f, 0.85f}, 0.35f, data_name(dir, "flare-glow.png")},
        E{0, 1, {0.5f, 0.5f, 0.45f}, 0.9f, data_name(dir, "flare-glow.png")},
        E{0, 0.55f, {0.25f, 0.35f, 0.5f}, 0.06f, data_name(dir, "flare-disc.png")},
        E{0, 0.3f, {0.45f, 0.35f, 0.2f}, 0.12f, data_name(dir, "flare-ring.png")},
        E{0, -0.15f, {0.2f, 0.4f, 0.25f}, 0.05f, data_name(dir, "flare-disc.png")},
        E{0, -0.45f, {0.3f, 0.25f, 0.45f}, 0.16f, data_name(dir, "flare-ring.png")},
        E{0, -0.75f, {0.4f, 0.28f, 0.2f}, 0.08f, data_name(dir, "flare-disc.png")},
        E{0, -1.1f, {0.2f, 0.28f, 0.45f}, 0.24f, data_name(dir, "flare-ring.png")},
    };
    f.flares.push_back(sun_flare);
    return f;
}

scenery_art::sky_look sky_of(const track_plan& p) {
    auto colour = [](const uint8_t c[3]) { return rgba{c[0], c[1], c[2], 255}; };
    scenery_art::sky_look look;
    look.zenith = colour(p.zenith), look.horizon = colour(p.horizon);
    look.far_hills = colour(p.far_hills), look.near_hills = colour(p.near_hills), look.ground = colour(p.ground);
    look.cloud_from = p.cloud_from, look.cloud_full = p.cloud_full;
    return look;
}

bool generate_scenery(datagen_output& out, const track_plan& plan) {
    using namespace scenery_art;
    if (!can_letter(plan.banner)) {
        fprintf(stderr, "quarnix-datagen: the banner font lacks a letter of \"%s\"\n", plan.banner);
        return false;
    }
    const track_design& d = design_of(plan);
    scenery s = place_everything(d);
    const std::string& dir = s.dir;
    const scenery_art::sky_look sky = sky_of(plan);

    add_text_member(out, dir + "lighting", encode_lighting(track_lighting(plan, dir)));
    add_text_member(out, dir + "billboards", encode_billboards(s.billboards, 0));
    add_text_member(out, dir + "statues", encode_statues(s.statues, 0));
    add_text_member(out, dir + "flaggers", encode_flaggers(s.flaggers));
    add_text_member(out, dir + "cameras", encode_cameras(s.cameras));
    add_picture(out, dir + "map.png", hud_map(d), true);

    const char* faces[5] = {"sky-n.png", "sky-e.png", "sky-s.png", "sky-w.png", "sky-u.png"};
    for (int k = 0; k < 5; k++) add_picture(out, dir + faces[k], sky_face(k, 256, sun, sky));
    add_picture(out, dir + "sky-env.png", sky_environment(128, sun, sky));
    // Rabbit Hill's sky, smaller, as the default of any track whose
    // lighting names no sky pictures.
    const char* defaults[6] = {"sky-n.ppm", "sky-e.ppm", "sky-s.ppm", "sky-w.ppm", "sky-u.ppm", "sky-env.ppm"};
    for (int k = 0; k < 6 && &plan == &rabbithill_plan(); k++) {
        picture p = k < 5 ? sky_face(k, 128, sun) : sky_environment(64, sun);
        std::vector<uint8_t> rgb;
        for (const rgba& c : p.px) rgb.insert(rgb.end(), {c.r, c.g, c.b});
        add_member(out, defaults[k], encode_ppm(rgb.data(), p.width, p.height));
    }
    add_picture(out, dir + "flare-glow.png", flare_glow(), true);
    add_picture(out, dir + "flare-ring.png", flare_ring(), true);
    add_picture(out, dir + "flare-disc.png", flare_disc(), true);

    // Each track its own trees, bushes and crowds.
    const uint32_t seed = plan.scenery_seed;
    add_picture(out, dir + "tree-pine.png", pine_tree(7 + seed), true);
    add_picture(out, dir + "tree-broadleaf.png", broadleaf_tree(8 + seed), true);
    add_picture(out, dir + "bush.png", bush(9 + seed), true);
    add_picture(out, dir + "crowd-a.png", crowd(10 + seed), true);
    add_picture(out, dir + "crowd-b.png", crowd(11 + seed), true);
    add_picture(out, dir + "banner-a.png", banner(0, plan.banner));
    add_picture(out, dir + "banner-b.png", banner(1));
    const std::pair<const char*, marshal_picture> marshal_files[] = {
        {"marshal-ready.png", start_ready},       {"marshal-board-up.png", start_board_up},
        {"marshal-board.png", start_board_high},  {"marshal-walking.png", start_walking},
        {"marshal-aside.png", start_aside},       {"marshal-lap.png", lap_normal},
        {"marshal-halfway.png", lap_halfway},     {"marshal-white.png", lap_last},
        {"marshal-chequered.png", lap_finished},  {"marshal-yellow-still.png", yellow_still},
        {"marshal-yellow-waving.png", yellow_waving}};
    for (const auto& [name, which] : marshal_files) add_picture(out, dir + name, marshal(which), true);

    add_text_member(out, dir + "haybale.jm", haybale_model());
    add_picture(out, dir + "haybale.png", haybale_texture());
    add_text_member(out, dir + "haybale.shp", shape_text(haybale_shape()));
    add_text_member(out, dir + "barrier.jm", barrier_model());
    add_picture(out, dir + "barrier-yellow.png", barrier_texture(false));
    add_picture(out, dir + "barrier-blue.png", barrier_texture(true));
    add_text_member(out, dir + "barrier.shp", shape_text(barrier_shape()));
    add_text_member(out, dir + "camera-tower.jm", camera_tower_model(14));
    add_picture(out, dir + "camera-tower.png", camera_tower_texture());

    // The track script: its places before the text of the data folder's
    // script, and the files it uses.
    if (!plan.script) return true;
    add_frills_files(out, dir);
    for (saf_member& m : out.members)
        if (m.name == dir + "frills.js") {
            std::string text(m.data.begin(), m.data.end());
            text = frills_script(s.frills, text);
            m.data.assign(text.begin(), text.end());
        }
    return true;
}

}  // namespace

bool generate_rabbithill_scenery(datagen_output& out) { return generate_scenery(out, rabbithill_plan()); }
bool generate_sandpit_scenery(datagen_output& out) { return generate_scenery(out, sandpit_plan()); }

QX_DATAGEN_GENERATOR(rabbithill_scenery, generate_rabbithill_scenery);
QX_DATAGEN_GENERATOR(sandpit_scenery, generate_sandpit_scenery);
