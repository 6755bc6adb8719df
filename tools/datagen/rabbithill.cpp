// Writes Rabbit Hill, the default track, and "flatland", a flat test field
// with a straight line of gates: heights, surfaces, tile types and their
// textures, baked shading, gates and start positions.
#include <algorithm>
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

const surface_look looks[rabbithill::surface_count] = {
    {"dirt", 122, 88, 58, 0.16, 0.18, 0.010, 0},
    {"loam", 96, 66, 44, 0.14, 0.22, 0.003, 0},
    {"hardpack", 166, 142, 108, 0.10, 0.10, 0.006, 0},
    {"grass", 74, 124, 48, 0.16, 0.20, 0.000, 1},
};

std::vector<uint8_t> tile_texture(const surface_look& look, uint32_t seed) {
    std::vector<uint8_t> rgb((size_t)tile_texture_size * tile_texture_size * 3);
    const int big[] = {4, 8, 16}, fine[] = {56, 112, 224};
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

// ---- tile types -------------------------------------------------------------------

struct friction_point {
    float coefficient, speed;
};

tile_info make_tile(const std::string& track, const char* name, std::initializer_list<friction_point> friction,
                    float roll_light, float roll_full, float erode_depth, std::array<uint8_t, 3> roost_colour,
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
    t.erode.erode_depth = erode_depth;
    return t;
}

std::vector<tile_info> track_tiles(const std::string& track) {
    // Prepared dirt grips best at low slip and fades as the tire slides;
    // loam is loose and deep; hard-pack is firm and a little slick; grass is
    // slippery and soft.
    return {
        make_tile(track, "dirt", {{1.15f, 0}, {1.05f, 6}, {0.9f, 20}, {0.8f, 40}}, 4, 14, 1.0f, {118, 86, 58}, 4),
        make_tile(track, "loam", {{1.2f, 0}, {1.1f, 6}, {0.95f, 20}, {0.85f, 40}}, 6, 20, 1.5f, {92, 64, 42}, 6),
        make_tile(track, "hardpack", {{1.05f, 0}, {0.95f, 6}, {0.8f, 20}, {0.7f, 40}}, 3, 10, 0.4f, {170, 150, 118},
                  2),
        make_tile(track, "grass", {{0.85f, 0}, {0.75f, 6}, {0.6f, 20}, {0.55f, 40}}, 6, 18, 0.6f, {80, 104, 52}, 2),
    };
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
                 float cell_size, const std::vector<float>& heights, const std::vector<uint8_t>& tiles,
                 const std::vector<tile_info>& tile_types, const timing_data& timing, uint32_t texture_seed) {
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
    add_text_member(out, dir + "/tileinfo", encode_tileinfo(tile_types));
    add_compressed(out, dir + "/tilemap", encode_tilemap(tiles, size_log2));
    add_text_member(out, dir + "/timing_gates", encode_timing_gates(timing));
    for (size_t i = 0; i < tile_types.size(); i++) {
        const tile_info& t = tile_types[i];
        const surface_look* look = &looks[0];
        for (const surface_look& l : looks)
            if (t.name == l.name) look = &l;
        std::vector<uint8_t> rgb = tile_texture(*look, texture_seed + (uint32_t)i * 977);
        std::vector<uint8_t> png;
        if (!encode_png(rgb.data(), tile_texture_size, tile_texture_size, 3, nullptr, png)) return false;
        add_bytes(out, t.texture.name.substr(1), png);
    }
    return true;
}

bool generate_rabbithill(datagen_output& out) {
    using namespace rabbithill;
    track_design d = build_design();
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
    return write_track(out, "rabbithill", "Rabbit Hill", size_log2, (float)cell_size, d.heights, d.tiles,
                       track_tiles("rabbithill"), timing, 1234);
}

// A flat field of 64 x 64 tiles (128 ft) of dirt with a straight line of
// gates along -z: for physics and timing tests.
bool generate_flatland(datagen_output& out) {
    const int g = 6;
    const float cell = 1.0f;
    int n = 2 * (1 << g) + 1;
    std::vector<float> heights((size_t)n * n, 0.0f);
    std::vector<uint8_t> tiles((size_t)(1 << g) * (1 << g), 0);
    std::vector<tile_info> types = {track_tiles("flatland")[0]};
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
    return write_track(out, "flatland", "Flatland", g, cell, heights, tiles, types, timing, 4321);
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
    const double colours[surface_count][3] = {{150, 110, 72}, {112, 76, 46}, {186, 166, 132}, {84, 140, 62}};
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
    encode_png(rgb.data(), w, w, 3, "Rabbit Hill", png);
    return png;
}

QX_DATAGEN_GENERATOR(rabbithill, generate_rabbithill);
QX_DATAGEN_GENERATOR(flatland, generate_flatland);
