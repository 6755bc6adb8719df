// Writes the generated tracks (Rabbit Hill, the default, and Sandpit
// Bottoms) and "flatland", a flat test field with a straight line of gates:
// heights, surfaces, tile types and their textures, baked shading, gates
// and start positions.
#include <algorithm>
#include <array>
#include <map>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "datagen/datagen.h"
#include "datagen/rabbithill_layout.h"
#include "datagen/track_bake.h"
#include "race/timing_gates.h"
#include "render/image_io.h"
#include "track/height_field.h"
#include "track/tile_info.h"
#include "vfs/saf.h"

namespace {

// ---- tile textures ----------------------------------------------------------------
// The terrain shows the central 7/8 of a tile texture, so the picture repeats
// with a period of 7/8 of its width and has a 1/16 margin on each side.

constexpr int tile_texture_size = 256;
constexpr int tile_period = tile_texture_size * 7 / 8;
constexpr int tile_margin = tile_texture_size / 16;

uint32_t mix32(uint32_t h) {
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

double lattice(int x, int y, int period, uint32_t seed) {
    x = ((x % period) + period) % period;
    y = ((y % period) + period) % period;
    return (mix32((uint32_t)x * 73856093u ^ (uint32_t)y * 19349663u ^ seed * 83492791u) & 0xffffff) / 16777215.0;
}

// Value noise that repeats every `cells` cells; u, v in cells.
double periodic_noise(double u, double v, int cells, uint32_t seed) {
    int x = (int)std::floor(u), y = (int)std::floor(v);
    double fx = u - x, fy = v - y;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    double a = lattice(x, y, cells, seed), b = lattice(x + 1, y, cells, seed);
    double c = lattice(x, y + 1, cells, seed), d = lattice(x + 1, y + 1, cells, seed);
    return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}

// Several octaves; every octave's cell count divides the period exactly.
double fractal(double px, double py, const int* cells, const double* weights, int octaves, uint32_t seed) {
    double sum = 0, total = 0;
    for (int o = 0; o < octaves; o++) {
        double scale = (double)cells[o] / tile_period;
        sum += weights[o] * periodic_noise(px * scale, py * scale, cells[o], seed + (uint32_t)o * 101);
        total += weights[o];
    }
    return sum / total;
}

struct surface_look {
    const char* name;
    double r, g, b;        // base colour
    double variation;      // large-scale brightness variation
    double grain;          // fine grain
    double pebbles;        // share of small light stones
    double blades;         // grass blade streaks
};

using surface_looks = std::array<surface_look, rabbithill::surface_count>;
const surface_looks looks = {{
    {"dirt", 122, 88, 58, 0.16, 0.18, 0.010, 0},
    {"loam", 96, 66, 44, 0.14, 0.22, 0.003, 0},
    {"hardpack", 166, 142, 108, 0.10, 0.10, 0.006, 0},
    {"grass", 74, 124, 48, 0.16, 0.20, 0.000, 1},
}};
// A sandy track: pale sand on the lap, darker sand piled in the berms, and
// dry grass around.
const surface_looks sandy_looks = {{
    {"sand", 196, 168, 120, 0.10, 0.26, 0.004, 0},
    {"loam", 160, 128, 88, 0.12, 0.24, 0.002, 0},
    {"hardpack", 172, 150, 112, 0.10, 0.10, 0.006, 0},
    {"grass", 126, 134, 66, 0.18, 0.22, 0.000, 1},
}};
const surface_looks& looks_of(bool sandy) { return sandy ? sandy_looks : looks; }

std::vector<uint8_t> tile_texture(const surface_look& look, uint32_t seed) {
    std::vector<uint8_t> rgb((size_t)tile_texture_size * tile_texture_size * 3);
    // No octave coarser than an eighth of the tile: a larger blob in every
    // tile would line up into a grid over the field.
    const int big[] = {8, 16, 32}, fine[] = {56, 112, 224};
    const double big_w[] = {1, 0.6, 0.3}, fine_w[] = {1, 0.8, 0.6};
    for (int y = 0; y < tile_texture_size; y++) {
        for (int x = 0; x < tile_texture_size; x++) {
            // Position inside the repeating part.
            int px = ((x - tile_margin) % tile_period + tile_period) % tile_period;
            int py = ((y - tile_margin) % tile_period + tile_period) % tile_period;
            double v = fractal(px, py, big, big_w, 3, seed) - 0.5;
            double g = fractal(px, py, fine, fine_w, 3, seed + 7) - 0.5;
            double f = 1 + look.variation * 2 * v + look.grain * 2 * g;
            double r = look.r * f, gr = look.g * f, b = look.b * f;
            if (look.blades > 0) {
                // Streaks along one direction suggest blades of grass.
                double streak = periodic_noise(px * 112.0 / tile_period, py * 28.0 / tile_period, 112, seed + 31);
                double k = 0.85 + 0.3 * streak;
                r *= k * 0.95;
                gr *= k;
                b *= k * 0.9;
            }
            if (look.pebbles > 0) {
                uint32_t h = mix32((uint32_t)px * 2654435761u ^ (uint32_t)py * 40503u ^ seed);
                if ((h & 0xffff) < look.pebbles * 65536) {
                    r = r * 0.4 + 150;
                    gr = gr * 0.4 + 138;
                    b = b * 0.4 + 120;
                }
            }
            uint8_t* p = &rgb[((size_t)y * tile_texture_size + x) * 3];
            p[0] = (uint8_t)std::clamp(r, 0.0, 255.0);
            p[1] = (uint8_t)std::clamp(gr, 0.0, 255.0);
            p[2] = (uint8_t)std::clamp(b, 0.0, 255.0);
        }
    }
    return rgb;
}

// ---- alternative looks and edge blends ----------------------------------------------
// Neighbouring tiles show the same repeating picture, so a tile's own
// position in the period is its texel's position; everything a variant or a
// blend changes must therefore fade to nothing at the tile's border, where
// its neighbours meet it.

// Where a texel falls in its tile: 0 … 1 over the shown seven eighths.
double tile_fraction(int x) { return std::clamp((x + 0.5 - tile_margin) / tile_period, 0.0, 1.0); }

// 1 in the middle of the tile, 0 along its border.
double inner_weight(double u, double v) { return 16 * u * (1 - u) * v * (1 - v); }

double smooth_step(double a, double b, double x) {
    double t = std::clamp((x - a) / (b - a), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// 0 on the tile's border, 1 from a tenth of the way in: what a look changes
// stays clear of the seams and is spread evenly over the rest, since a
// change gathered in the middle would repeat as a grid of spots.
double away_from_border(double u, double v) {
    double edge = std::min(std::min(u, 1 - u), std::min(v, 1 - v));
    return smooth_step(0, 0.1, edge);
}

// An alternative look of a surface: blotches of lighter and darker ground
// that average out over the tile, and for the bare surfaces a few more
// stones, for grass darker tufts.
std::vector<uint8_t> alternative_look(const std::vector<uint8_t>& base, const surface_look& look, uint32_t seed) {
    std::vector<uint8_t> rgb = base;
    for (int y = 0; y < tile_texture_size; y++) {
        double v = tile_fraction(y);
        for (int x = 0; x < tile_texture_size; x++) {
            double u = tile_fraction(x), inside = away_from_border(u, v);
            if (inside <= 0) continue;
            double blotch = periodic_noise(u * 3, v * 3, 3, seed) - 0.5;
            double fine = periodic_noise(u * 9, v * 9, 9, seed + 5) - 0.5;
            double f = 1 + inside * (0.3 * blotch + 0.12 * fine);
            uint8_t* p = &rgb[((size_t)y * tile_texture_size + x) * 3];
            double c[3] = {p[0] * f, p[1] * f, p[2] * f};
            if (look.blades > 0) {
                // Tufts: a darker, bluer green where the noise peaks.
                double tuft = smooth_step(0.62, 0.78, periodic_noise(u * 5, v * 5, 5, seed + 11)) * inside;
                c[0] *= 1 - 0.3 * tuft, c[1] *= 1 - 0.17 * tuft, c[2] *= 1 - 0.08 * tuft;
            } else {
                uint32_t h = mix32((uint32_t)x * 2654435761u ^ (uint32_t)y * 40503u ^ (seed * 97u));
                if ((h & 0xffff) < 0.006 * 65536 * inside) c[0] = c[0] * 0.4 + 150, c[1] = c[1] * 0.4 + 138, c[2] = c[2] * 0.4 + 120;
            }
            for (int i = 0; i < 3; i++) p[i] = (uint8_t)std::clamp(c[i], 0.0, 255.0);
        }
    }
    return rgb;
}

// A tile between surfaces: its corners (low x low z, high x low z, low x
// high z, high x high z) each lie on one of them. Grass takes its share
// first, from how many corners it holds nearby; the rest goes to the bare
// surfaces, split the same way between two. Along an edge the mix depends
// only on that edge's two corners, so a blend meets its neighbours, blends
// or plain tiles, without a seam; inside the tile the lines wander.
std::vector<uint8_t> blend_look(const std::vector<std::vector<uint8_t>>& surfaces, const std::array<int, 4>& corner,
                                uint32_t seed) {
    using rabbithill::surface_grass;
    // The bare surfaces present, at most two (a third counts as the second).
    int bare[2] = {-1, -1};
    for (int c : corner) {
        if (c == surface_grass || c == bare[0] || c == bare[1]) continue;
        if (bare[0] < 0)
            bare[0] = c;
        else if (bare[1] < 0)
            bare[1] = c;
    }
    if (bare[0] > bare[1] && bare[1] >= 0) std::swap(bare[0], bare[1]);
    auto weight_of = [&](auto is, double u, double v) {
        double w[4];
        for (int k = 0; k < 4; k++) w[k] = is(corner[k]) ? 1 : 0;
        return (w[0] * (1 - u) + w[1] * u) * (1 - v) + (w[2] * (1 - u) + w[3] * u) * v;
    };
    const std::vector<uint8_t>& grass = surfaces[(size_t)surface_grass];
    const std::vector<uint8_t>& first = surfaces[(size_t)(bare[0] >= 0 ? bare[0] : surface_grass)];
    const std::vector<uint8_t>& second = surfaces[(size_t)(bare[1] >= 0 ? bare[1] : bare[0] >= 0 ? bare[0] : surface_grass)];
    std::vector<uint8_t> rgb(grass.size());
    for (int y = 0; y < tile_texture_size; y++) {
        double v = tile_fraction(y);
        for (int x = 0; x < tile_texture_size; x++) {
            double u = tile_fraction(x), inner = inner_weight(u, v);
            double wander = (periodic_noise(u * 4, v * 4, 4, seed) - 0.5) * 0.7 +
                            (periodic_noise(u * 13, v * 13, 13, seed + 3) - 0.5) * 0.25;
            double wander2 = (periodic_noise(u * 4, v * 4, 4, seed + 17) - 0.5) * 0.7 +
                             (periodic_noise(u * 13, v * 13, 13, seed + 19) - 0.5) * 0.25;
            double g = weight_of([](int c) { return c == surface_grass; }, u, v);
            double w_grass = smooth_step(0.4, 0.6, g + wander * inner);
            double w_second = 0;
            if (bare[1] >= 0) {
                double b0 = weight_of([&](int c) { return c == bare[0]; }, u, v);
                double b1 = weight_of([&](int c) { return c != surface_grass && c != bare[0]; }, u, v);
                double share = b0 + b1 > 0 ? b1 / (b0 + b1) : 0.5;
                w_second = smooth_step(0.4, 0.6, share + wander2 * inner);
            }
            size_t at = ((size_t)y * tile_texture_size + x) * 3;
            for (int k = 0; k < 3; k++) {
                double bare_colour = first[at + k] + (second[at + k] - first[at + k]) * w_second;
                rgb[at + k] = (uint8_t)(bare_colour + (grass[at + k] - bare_colour) * w_grass + 0.5);
            }
        }
    }
    return rgb;
}

// ---- tile types -------------------------------------------------------------------

struct friction_point {
    float coefficient, speed;
};

// How a surface gives under the wheels.
struct surface_give {
    float depth = 1, inner_depth = 0.125f;  // outer and inner crater depth
    float lower = 50, upper = 150;          // push for the weakest and the strongest marks
    float displacement = 2;                 // how far behind the wheel the dirt lands
    float radius = 4;
    float slip_lower = 0, slip_upper = 5, slip_base = 1, slip_scale = 1.5f;
    float lateral = 1;           // sideways pushes (berms)
    float downhill = 0;          // dirt pushed downhill goes further
    float max_slope = 0.5f;
    float limit_depth = 0;       // rut depth beyond which digging slows
    float limit_scale = 1;       // how much: scale of both craters past it
};

tile_info make_tile(const std::string& track, const char* name, std::initializer_list<friction_point> friction,
                    float roll_light, float roll_full, const surface_give& give, std::array<uint8_t, 3> roost_colour,
                    float roost_count) {
    tile_info t;
    t.name = name;
    t.texture.name = "@" + track + "/" + name + ".png";
    int i = 0;
    for (const friction_point& p : friction) {
        t.friction_coefficient[(size_t)i] = p.coefficient;
        t.friction_speed[(size_t)i] = p.speed;
        i++;
    }
    t.roll_resist[0] = {roll_light, roll_full};
    t.roll_resist_speed[0] = 1;
    roost_type& r = t.roost[0];
    r.mode = 1;
    r.texture.name = "@roost.png";
    r.count = roost_count;
    r.color = {roost_colour[0], roost_colour[1], roost_colour[2], 255};
    r.fade = {0, 0, 0, -2};
    erode_params& e = t.erode;
    e.erode_depth = give.depth;
    e.erode_inner_depth = give.inner_depth;
    e.erode_lower = give.lower;
    e.erode_upper = give.upper;
    e.erode_displacement = give.displacement;
    e.erode_radius = give.radius;
    e.erode_slip_lower = give.slip_lower;
    e.erode_slip_upper = give.slip_upper;
    e.erode_slip_base_scale = give.slip_base;
    e.erode_slip_scale = give.slip_scale;
    e.erode_lateral_scale = give.lateral;
    e.erode_downhill_scale = give.downhill;
    e.erode_max_slope = give.max_slope;
    if (give.limit_depth > 0) {
        // Full digging to the limit depth, then the given share of it.
        e.erode_limit_count = 2;
        e.limit_depth[1] = give.limit_depth;
        e.limit_scale1[1] = give.limit_scale;
        e.limit_scale2[1] = give.limit_scale;
    }
    return t;
}

std::vector<tile_info> track_tiles(const std::string& track, bool sandy = false) {
    // Prepared dirt grips best at low slip and fades as the tire slides, and
    // ruts where the wheels drive; loam is loose and deep: it digs out under
    // a spinning wheel and piles up where riders push sideways, so the berms
    // grow; hard-pack is firm and a little slick and barely marks; grass is
    // slippery and soft on top: a sliding wheel scuffs it, but only the turf.
    surface_give dirt;
    dirt.limit_depth = 1.0f, dirt.limit_scale = 0.5f;
    surface_give loam;
    loam.depth = 1.6f, loam.inner_depth = 0.2f, loam.lower = 35, loam.upper = 130, loam.displacement = 2.5f;
    loam.slip_upper = 4, loam.slip_scale = 2.0f, loam.lateral = 1.6f, loam.downhill = 0.5f, loam.max_slope = 0.8f;
    loam.limit_depth = 2.0f, loam.limit_scale = 0.6f;
    surface_give hardpack;
    hardpack.depth = 0.2f, hardpack.inner_depth = 0.03f, hardpack.lower = 110, hardpack.upper = 300;
    hardpack.radius = 3, hardpack.slip_base = 0.6f, hardpack.slip_scale = 1.0f;
    hardpack.limit_depth = 0.15f, hardpack.limit_scale = 0.1f;
    surface_give grass;
    grass.depth = 0.6f, grass.inner_depth = 0.06f, grass.lower = 60, grass.radius = 3;
    grass.slip_lower = 1, grass.slip_upper = 6, grass.slip_base = 0.5f, grass.slip_scale = 1.8f;
    grass.limit_depth = 0.3f, grass.limit_scale = 0.15f;
    if (sandy) {
        // Sand is loose all through: it gives way deep under a spinning
        // wheel, holds less than dirt at speed and drags on the tires; the
        // berms are sand piled even looser.
        surface_give sand;
        sand.depth = 1.8f, sand.inner_depth = 0.25f, sand.lower = 30, sand.upper = 120, sand.displacement = 3;
        sand.radius = 4.5f, sand.slip_upper = 4, sand.slip_scale = 2.2f, sand.lateral = 1.4f, sand.downhill = 0.6f;
        sand.max_slope = 0.6f, sand.limit_depth = 1.6f, sand.limit_scale = 0.5f;
        surface_give berm_sand = loam;
        berm_sand.depth = 2.0f, berm_sand.lateral = 1.8f;
        return {
            make_tile(track, "sand", {{1.1f, 0}, {1.0f, 6}, {0.85f, 20}, {0.75f, 40}}, 8, 24, sand, {196, 170, 124}, 7),
            make_tile(track, "loam", {{1.15f, 0}, {1.05f, 6}, {0.9f, 20}, {0.8f, 40}}, 9, 26, berm_sand,
                      {164, 132, 92}, 8),
            make_tile(track, "hardpack", {{1.05f, 0}, {0.95f, 6}, {0.8f, 20}, {0.7f, 40}}, 3, 10, hardpack,
                      {176, 154, 118}, 2),
            make_tile(track, "grass", {{0.85f, 0}, {0.75f, 6}, {0.6f, 20}, {0.55f, 40}}, 6, 18, grass,
                      {112, 120, 64}, 2),
        };
    }
    return {
        make_tile(track, "dirt", {{1.15f, 0}, {1.05f, 6}, {0.9f, 20}, {0.8f, 40}}, 4, 14, dirt, {118, 86, 58}, 4),
        make_tile(track, "loam", {{1.2f, 0}, {1.1f, 6}, {0.95f, 20}, {0.85f, 40}}, 6, 20, loam, {92, 64, 42}, 6),
        make_tile(track, "hardpack", {{1.05f, 0}, {0.95f, 6}, {0.8f, 20}, {0.7f, 40}}, 3, 10, hardpack,
                  {170, 150, 118}, 2),
        make_tile(track, "grass", {{0.85f, 0}, {0.75f, 6}, {0.6f, 20}, {0.55f, 40}}, 6, 18, grass, {80, 104, 52}, 2),
    };
}

// ---- the ground plan ---------------------------------------------------------------

// How a tile type's picture is made.
struct texture_recipe {
    int surface = 0;                  // the look it starts from
    int alternative = 0;              // 1 …: an alternative look of `surface`
    bool blend = false;               // the surfaces of its corners, blended
    std::array<int, 4> corners = {};  // a blend's corners (low x low z, high x low z, low x high z, high x high z)
};

// Tile types, how each one's texture is made, and the tile map.
struct ground_plan {
    std::vector<tile_info> types;
    std::vector<texture_recipe> recipes;
    std::vector<uint8_t> tiles;
};

constexpr int alternative_looks = 3;  // per surface, besides its own

// A generated track's ground: the surfaces in their tileinfo order, then three
// alternative looks of each, scattered over the map so that the tiles do not
// repeat in a grid, then the blends that the map needs: a track surface into
// grass along the outline of the lap, and one track surface into another
// where they meet. A tile whose corners lie on different surfaces becomes
// the blend of its corners; it rides like the surface of most of them.
ground_plan track_ground(const rabbithill::track_design& d, const std::string& track) {
    using namespace rabbithill;
    ground_plan g;
    g.types = track_tiles(track, d.plan->sandy);
    for (int s = 0; s < surface_count; s++) g.recipes.push_back({s});
    const std::vector<tile_info> bases = g.types;
    for (int s = 0; s < surface_count; s++)
        for (int k = 1; k <= alternative_looks; k++) {
            // The same surface (and name) in another picture.
            tile_info t = bases[(size_t)s];
            t.texture.name = "@" + track + "/" + t.name + "-alt" + std::to_string(k) + ".png";
            g.types.push_back(t);
            g.recipes.push_back({s, k});
        }
    auto alternative_type = [](int surface, int k) { return surface_count + surface * alternative_looks + (k - 1); };
    // Blend types by their two surfaces and the corners' key (the mask, and
    // a third surface with its mask).
    std::vector<std::vector<std::map<int, int>>> blend_types(surface_count, std::vector<std::map<int, int>>(surface_count));
    const int side = 1 << size_log2, corner_side = side + 1;
    g.tiles.assign((size_t)side * side, surface_grass);
    for (int tz = 0; tz < side; tz++) {
        for (int tx = 0; tx < side; tx++) {
            int centre = d.tiles[(size_t)tx + (size_t)side * tz];
            int corner[4] = {d.corners[(size_t)tx + (size_t)corner_side * tz],
                             d.corners[(size_t)tx + 1 + (size_t)corner_side * tz],
                             d.corners[(size_t)tx + (size_t)corner_side * (tz + 1)],
                             d.corners[(size_t)tx + 1 + (size_t)corner_side * (tz + 1)]};
            int count[surface_count] = {};
            for (int k = 0; k < 4; k++) count[corner[k]]++;
            int present = 0;
            for (int sfc = 0; sfc < surface_count; sfc++) present += count[sfc] > 0;
            int type = centre;
            if (present > 1) {
                // The pair the tile blends: a track surface into grass when
                // grass is there, else the two track surfaces (in tileinfo
                // order); a third surface's corners count as the first's.
                int first = -1, second = -1;
                if (count[surface_grass] > 0) {
                    second = surface_grass;
                    for (int sfc = 0; sfc < surface_count; sfc++) {
                        if (sfc == surface_grass || count[sfc] == 0) continue;
                        if (first < 0 || count[sfc] > count[first] || (count[sfc] == count[first] && sfc == centre))
                            first = sfc;
                    }
                } else {
                    for (int sfc = 0; sfc < surface_count; sfc++) {
                        if (count[sfc] == 0) continue;
                        if (first < 0)
                            first = sfc;
                        else if (second < 0)
                            second = sfc;
                    }
                }
                int mask = 0;
                for (int k = 0; k < 4; k++) mask = mask << 1 | (corner[k] == second);
                // A third surface's corners (grass and two bare ones meet
                // here) go into the name after the two the tile blends, where
                // the blend descriptor does not look.
                int third = -1, third_mask = 0;
                for (int k = 0; k < 4; k++)
                    if (corner[k] != first && corner[k] != second) third = corner[k];
                for (int k = 0; k < 4; k++) third_mask = third_mask << 1 | (corner[k] == third);
                int key = mask | (third >= 0 ? (third + 1) << 4 | third_mask << 8 : 0);
                auto found = blend_types[(size_t)first][(size_t)second].try_emplace(key, -1).first;
                int& blend = found->second;
                if (blend < 0 && g.types.size() < (size_t)max_tile_types) {
                    // Named, like every tile, by the surface most of its corners ride as.
                    int most = first;
                    for (int sfc = 0; sfc < surface_count; sfc++)
                        if (count[sfc] > count[most]) most = sfc;
                    tile_info t = bases[(size_t)most];
                    auto bits = [](int m) {
                        std::string b;
                        for (int k = 0; k < 4; k++) b += (char)('0' + ((m >> (3 - k)) & 1));
                        return b;
                    };
                    std::string file = bases[(size_t)first].name + "-" + bases[(size_t)second].name + "-" + bits(mask);
                    if (third >= 0) file += "-" + bases[(size_t)third].name + bits(third_mask);
                    t.texture.name = "@" + track + "/" + file + ".png";
                    blend = (int)g.types.size();
                    g.types.push_back(t);
                    texture_recipe r;
                    r.surface = first;
                    r.blend = true;
                    for (int k = 0; k < 4; k++) r.corners[(size_t)k] = corner[k];
                    g.recipes.push_back(r);
                }
                if (blend >= 0) type = blend;
            } else {
                // Inside a surface (the corners', which its neighbours meet):
                // its own look or one of the others, by the tile's dice.
                uint32_t h = mix32((uint32_t)tx * 73856093u ^ (uint32_t)tz * 19349663u ^ 0x9e3779b9u);
                int k = (int)(h % (alternative_looks + 1));
                type = k > 0 ? alternative_type(corner[0], k) : corner[0];
            }
            g.tiles[(size_t)tx + (size_t)side * tz] = (uint8_t)type;
        }
    }
    return g;
}

// The surfaces' own pictures, made once: the alternatives and blends start
// from them.
std::vector<uint8_t> surface_texture(const surface_looks& looks, int surface, uint32_t seed) {
    return tile_texture(looks[(size_t)surface], seed + (uint32_t)surface * 977);
}

std::vector<uint8_t> recipe_texture(const texture_recipe& r, const surface_looks& looks,
                                    std::vector<std::vector<uint8_t>>& surfaces, uint32_t seed) {
    const std::vector<uint8_t>& base = surfaces[(size_t)r.surface];
    if (r.alternative > 0)
        return alternative_look(base, looks[(size_t)r.surface], seed + 5000 + (uint32_t)r.surface * 31 + (uint32_t)r.alternative);
    if (r.blend) {
        uint32_t key = 0;
        for (int c : r.corners) key = key * 5 + (uint32_t)c;
        return blend_look(surfaces, r.corners, seed + 9000 + key * 7);
    }
    return base;
}

void add_bytes(datagen_output& out, const std::string& name, const std::vector<uint8_t>& bytes) {
    add_member(out, name, bytes);
}

// Large binary files are stored compressed; the file system serves them
// under their plain names.
void add_compressed(datagen_output& out, const std::string& name, const std::vector<uint8_t>& bytes) {
    add_member(out, name + ".gz", gzip_bytes(bytes.data(), bytes.size(), 6));
}

// ---- the tracks ---------------------------------------------------------------------

bool write_track(datagen_output& out, const std::string& dir, const char* display_name, int size_log2,
                 float cell_size, const std::vector<float>& heights, const ground_plan& ground,
                 const timing_data& timing, uint32_t texture_seed, bool sandy = false) {
    int n = 2 * (1 << size_log2) + 1;
    float lowest = *std::min_element(heights.begin(), heights.end()) - 0.5f;
    float highest = *std::max_element(heights.begin(), heights.end()) + 0.5f;
    std::vector<uint16_t> samples = quantise_heights(heights.data(), heights.size(), lowest, highest);
    add_compressed(out, dir + "/terrain.hf", encode_terrain_hf(size_log2, cell_size, lowest, highest, samples.data()));

    // Shading as the terrain lighting computes it from the stored samples,
    // so dug and untouched ground match.
    baked_lighting lit = bake_track_lighting(size_log2, cell_size, lowest, highest, samples);
    add_compressed(out, dir + "/shadingx2.ppm", encode_shading_x2(lit.shading.data(), n));
    add_compressed(out, dir + "/shadows.pgm", encode_shadows_pgm(lit.shadows.data(), n));

    add_text_member(out, dir + "/desc", std::string(display_name) + "\n");
    add_text_member(out, dir + "/tileinfo", encode_tileinfo(ground.types));
    add_compressed(out, dir + "/tilemap", encode_tilemap(ground.tiles, size_log2));
    add_text_member(out, dir + "/timing_gates", encode_timing_gates(timing));
    std::vector<std::vector<uint8_t>> surfaces;
    const surface_looks& look = looks_of(sandy);
    for (int s = 0; s < rabbithill::surface_count; s++) surfaces.push_back(surface_texture(look, s, texture_seed));
    for (size_t i = 0; i < ground.types.size(); i++) {
        std::vector<uint8_t> rgb = recipe_texture(ground.recipes[i], look, surfaces, texture_seed);
        std::vector<uint8_t> png;
        if (!encode_png(rgb.data(), tile_texture_size, tile_texture_size, 3, nullptr, png)) return false;
        add_bytes(out, ground.types[i].texture.name.substr(1), png);
    }
    return true;
}

bool generate_track(datagen_output& out, const rabbithill::track_plan& plan, uint32_t texture_seed) {
    using namespace rabbithill;
    const track_design& d = design_of(plan);
    timing_data timing;
    for (const rabbithill::start_position& s : d.starts) {
        start_gate_position p;
        p.position[0] = (float)s.x;
        p.position[1] = (float)s.y;
        p.position[2] = (float)s.z;
        p.angle = (float)s.angle;
        timing.starts.push_back(p);
    }
    for (const rabbithill::gate& g : d.gates) {
        timing_gate t;
        t.radius = (float)g.radius;
        t.centre[0] = (float)g.x;
        t.centre[1] = (float)g.y;
        t.centre[2] = (float)g.z;
        t.direction[0] = (float)g.dx;
        t.direction[2] = (float)g.dz;
        timing.gates.push_back(t);
    }
    for (int i = 0; i < (int)timing.gates.size(); i++) {
        timing.first_lap.push_back(i);
        timing.normal_lap.push_back(i);
    }
    return write_track(out, plan.dir, plan.name, size_log2, (float)cell_size, d.heights, track_ground(d, plan.dir),
                       timing, texture_seed, plan.sandy);
}

bool generate_rabbithill(datagen_output& out) { return generate_track(out, rabbithill::rabbithill_plan(), 1234); }
bool generate_sandpit(datagen_output& out) { return generate_track(out, rabbithill::sandpit_plan(), 2345); }

// A flat field of 64 x 64 tiles (128 ft) of dirt with a straight line of
// gates along -z: for physics and timing tests.
bool generate_flatland(datagen_output& out) {
    const int g = 6;
    const float cell = 1.0f;
    int n = 2 * (1 << g) + 1;
    std::vector<float> heights((size_t)n * n, 0.0f);
    ground_plan ground;
    ground.types = {track_tiles("flatland")[0]};
    ground.recipes = {texture_recipe{}};
    ground.tiles.assign((size_t)(1 << g) * (1 << g), 0);
    timing_data timing;
    for (int k = 0; k < 8; k++) {
        start_gate_position p;
        p.position[0] = 52.0f + 3.25f * (float)k;
        p.position[2] = 116.0f;
        timing.starts.push_back(p);
    }
    for (int k = 0; k < 5; k++) {
        timing_gate t;
        t.radius = 30;
        t.centre[0] = 64;
        t.centre[1] = 2;
        t.centre[2] = 100.0f - 20.0f * (float)k;
        t.direction[2] = -1;
        timing.gates.push_back(t);
        timing.first_lap.push_back(k);
        timing.normal_lap.push_back(k);
    }
    return write_track(out, "flatland", "Flatland", g, cell, heights, ground, timing, 4321);
}

}  // namespace

std::vector<unsigned char> rabbithill::preview_png(const track_design& d) {
    const int n = samples, w = (n - 1) / 2;
    std::vector<uint8_t> rgb((size_t)w * w * 3);
    auto h = [&](int i, int j) {
        i = std::clamp(i, 0, n - 1);
        j = std::clamp(j, 0, n - 1);
        return (double)d.heights[(size_t)i + (size_t)n * j];
    };
    double colours[surface_count][3] = {{150, 110, 72}, {112, 76, 46}, {186, 166, 132}, {84, 140, 62}};
    if (d.plan && d.plan->sandy) colours[surface_dirt][0] = 206, colours[surface_dirt][1] = 178, colours[surface_dirt][2] = 128;
    for (int y = 0; y < w; y++) {
        for (int x = 0; x < w; x++) {
            int i = 2 * x + 1, j = 2 * y + 1;
            double nx = (h(i - 1, j) - h(i + 1, j)) / (2 * cell_size), nz = (h(i, j - 1) - h(i, j + 1)) / (2 * cell_size);
            double light = (-0.5 * nx + 0.8 - 0.4 * nz) / std::sqrt(nx * nx + 1 + nz * nz);
            light = std::clamp(0.35 + 0.9 * light, 0.2, 1.4);
            const double* c = colours[d.tiles[(size_t)x + (size_t)(1 << size_log2) * y] % surface_count];
            for (int k = 0; k < 3; k++) rgb[((size_t)y * w + x) * 3 + (size_t)k] = (uint8_t)std::clamp(c[k] * light, 0.0, 255.0);
        }
    }
    auto dot = [&](double wx, double wz, int r, uint8_t cr, uint8_t cg, uint8_t cb) {
        int cx = (int)(wx / (2 * cell_size)), cz = (int)(wz / (2 * cell_size));
        for (int b = -r; b <= r; b++)
            for (int a = -r; a <= r; a++) {
                int x = cx + a, y = cz + b;
                if (x < 0 || y < 0 || x >= w || y >= w) continue;
                uint8_t* p = &rgb[((size_t)y * w + x) * 3];
                p[0] = cr, p[1] = cg, p[2] = cb;
            }
    };
    for (const gate& g : d.gates)
        for (double t = -g.radius; t <= g.radius; t += 0.5)
            dot(g.x - g.dz * t, g.z + g.dx * t, 0, 255, 255, g.finish ? 255 : 0);
    for (const start_position& s : d.starts) dot(s.x, s.z, 1, 220, 20, 20);
    std::vector<uint8_t> png;
    encode_png(rgb.data(), w, w, 3, d.plan ? d.plan->name : nullptr, png);
    return png;
}

QX_DATAGEN_GENERATOR(rabbithill, generate_rabbithill);
QX_DATAGEN_GENERATOR(sandpit, generate_sandpit);
QX_DATAGEN_GENERATOR(flatland, generate_flatland);
