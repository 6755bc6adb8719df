// Height and normal queries over the triangulated grid, and sample writes
// with their stale marks.
#include <algorithm>
#include <cmath>

#include "track/height_field.h"

height_field terrain;
terrain_render_driver terrain_renderer = {nullptr, nullptr, nullptr};

namespace {

inline int clamp_index(int k, int last) { return k < 0 ? 0 : (k > last ? last : k); }

// Grid coordinate of a world coordinate, limited to [-1, N]. Every point
// beyond that range gives the same answer as the limit (the corner indices
// are clamped anyway), and a NaN becomes -1, so the conversion to int below
// is always defined.
inline float grid_coordinate(float world, float inverse_cell, int n) {
    float u = world * inverse_cell;
    u = u > -1.0f ? u : -1.0f;
    return u < (float)n ? u : (float)n;
}

inline int floor_to_int(float u) {
    int i = (int)u;
    return (float)i > u ? i - 1 : i;
}

// The triangle under a point: its corners A, B, C as grid indices (not yet
// clamped) and the weights a (of B) and b (of C).
struct triangle_pick {
    int ai, aj, bi, bj, ci, cj;
    float a, b;
};

inline triangle_pick pick_triangle(float x, float z, const height_field& f) {
    int n = f.samples_per_side;
    float u = grid_coordinate(x, f.inverse_cell_size, n), v = grid_coordinate(z, f.inverse_cell_size, n);
    int i = floor_to_int(u), j = floor_to_int(v);
    float fu = u - (float)i, fv = v - (float)j;
    triangle_pick t;
    if (((i ^ j) & 1) == 0) {
        t = {i + 1, j, i, j, i + 1, j + 1, 1.0f - fu, fv};
        if (t.a + t.b > 1.0f) t = {i, j + 1, i + 1, j + 1, i, j, fu, 1.0f - fv};
    } else {
        t = {i, j, i + 1, j, i, j + 1, fu, fv};
        if (t.a + t.b > 1.0f) t = {i + 1, j + 1, i, j + 1, i + 1, j, 1.0f - fu, 1.0f - fv};
    }
    return t;
}

// The plane through the three corners, written with barycentric weights so
// that a point on a sample returns exactly that sample's height.
inline float interpolate(const float* h, const triangle_pick& t, int n) {
    int last = n - 1;
    float ha = h[clamp_index(t.ai, last) + n * clamp_index(t.aj, last)];
    float hb = h[clamp_index(t.bi, last) + n * clamp_index(t.bj, last)];
    float hc = h[clamp_index(t.ci, last) + n * clamp_index(t.cj, last)];
    return ha * (1.0f - t.a - t.b) + hb * t.a + hc * t.b;
}

inline std::array<float, 3> cross(const float* e1, const float* e2) {
    return {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
}

inline std::array<float, 3> normalised(std::array<float, 3> v) {
    float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(len > 0.0f)) return {0.0f, 1.0f, 0.0f};
    return {v[0] / len, v[1] / len, v[2] / len};
}

// Vertices of triangle t (0 or 1) of cell (i, j), in the order that fixes
// the normal's sign: {i1, j1, i2, j2, i3, j3}.
inline std::array<int, 6> triangle_vertices(int i, int j, int t) {
    if (((i ^ j) & 1) == 0)
        return t == 0 ? std::array<int, 6>{i, j, i, j + 1, i + 1, j + 1}
                      : std::array<int, 6>{i + 1, j, i + 1, j + 1, i, j};
    return t == 0 ? std::array<int, 6>{i, j, i, j + 1, i + 1, j} : std::array<int, 6>{i + 1, j, i + 1, j + 1, i, j + 1};
}

}  // namespace

float height_at(float x, float z) {
    const height_field& f = terrain;
    if (!f.heights) return 0.0f;
    return interpolate(f.heights, pick_triangle(x, z, f), f.samples_per_side);
}

float base_height_at(float x, float z) {
    const height_field& f = terrain;
    if (!f.base_heights) return 0.0f;
    return interpolate(f.base_heights, pick_triangle(x, z, f), f.samples_per_side);
}

float sample_height(int i, int j) {
    const height_field& f = terrain;
    if (!f.heights) return 0.0f;
    int last = f.samples_per_side - 1;
    return f.heights[clamp_index(i, last) + f.samples_per_side * clamp_index(j, last)];
}

std::array<float, 3> surface_normal_at(float x, float z) {
    const height_field& f = terrain;
    if (!f.heights) return {0.0f, f.cell_size * f.cell_size, 0.0f};
    triangle_pick t = pick_triangle(x, z, f);
    int n = f.samples_per_side, last = n - 1;
    const float* h = f.heights;
    float ha = h[clamp_index(t.ai, last) + n * clamp_index(t.aj, last)];
    float hb = h[clamp_index(t.bi, last) + n * clamp_index(t.bj, last)];
    float hc = h[clamp_index(t.ci, last) + n * clamp_index(t.cj, last)];
    // The corners are neighbours, so the horizontal differences are exact
    // multiples of the cell size.
    float c = f.cell_size;
    float e1[3] = {(float)(t.bi - t.ai) * c, hb - ha, (float)(t.bj - t.aj) * c};
    float e2[3] = {(float)(t.ci - t.ai) * c, hc - ha, (float)(t.cj - t.aj) * c};
    std::array<float, 3> r = cross(e1, e2);
    if (r[1] < 0.0f) r = {-r[0], -r[1], -r[2]};
    return r;
}

std::array<float, 3> triangle_normal(int c, int j) {
    height_field& f = terrain;
    int n = f.samples_per_side;
    if (!f.heights || n < 2) return {0.0f, 1.0f, 0.0f};
    c = clamp_index(c, 2 * n - 3);
    j = clamp_index(j, n - 2);
    size_t k = (size_t)c + (size_t)(2 * n - 2) * (size_t)j;
    // A field set up without its caches (as some tools build one) is
    // computed every time.
    bool cache = f.triangle_normals.size() > k * 3 + 2 && f.triangle_dirty.size() > (k >> 6);
    float* cached = cache ? &f.triangle_normals[k * 3] : nullptr;
    if (cache && !test_bit(f.triangle_dirty, k)) return {cached[0], cached[1], cached[2]};
    std::array<int, 6> v = triangle_vertices(c >> 1, j, c & 1);
    float cs = f.cell_size;
    float h1 = sample_height(v[0], v[1]), h2 = sample_height(v[2], v[3]), h3 = sample_height(v[4], v[5]);
    float e1[3] = {(float)(v[2] - v[0]) * cs, h2 - h1, (float)(v[3] - v[1]) * cs};
    float e2[3] = {(float)(v[4] - v[0]) * cs, h3 - h1, (float)(v[5] - v[1]) * cs};
    std::array<float, 3> r = normalised((c & 1) == 0 ? cross(e1, e2) : cross(e2, e1));
    if (cache) {
        cached[0] = r[0];
        cached[1] = r[1];
        cached[2] = r[2];
        clear_bit(f.triangle_dirty, k);
    }
    return r;
}

std::array<float, 3> sample_normal(int i, int j) {
    const height_field& f = terrain;
    int n = f.samples_per_side;
    if (!f.heights || n < 2) return {0.0f, 1.0f, 0.0f};
    i = clamp_index(i, n - 1);
    j = clamp_index(j, n - 1);
    static const int same[8][2] = {{-2, -1}, {-1, -1}, {0, -1}, {1, -1}, {-2, 0}, {-1, 0}, {0, 0}, {1, 0}};
    static const int mixed[4][2] = {{-1, -1}, {0, -1}, {-1, 0}, {0, 0}};
    bool is_same = ((i ^ j) & 1) == 0;
    const int(*offsets)[2] = is_same ? same : mixed;
    int count = is_same ? 8 : 4;
    std::array<float, 3> sum = {0.0f, 0.0f, 0.0f};
    for (int k = 0; k < count; k++) {
        std::array<float, 3> t = triangle_normal(2 * i + offsets[k][0], j + offsets[k][1]);
        sum[0] += t[0];
        sum[1] += t[1];
        sum[2] += t[2];
    }
    return normalised(sum);
}

std::array<uint8_t, 3> compute_normal_texel(int i, int j) {
    const height_field& f = terrain;
    std::array<float, 3> nrm = sample_normal(i, j);
    auto pack = [](float v) {
        float t = std::trunc(v * 127.0f);
        t = t < -127.0f ? -127.0f : (t > 127.0f ? 127.0f : t);
        return (uint8_t)(128 + (int)t);
    };
    int n = f.samples_per_side;
    uint8_t light = 255;
    if (!f.shadows.empty() && n > 0)
        light = (uint8_t)(255 - f.shadows[(size_t)clamp_index(i, n - 1) + (size_t)n * clamp_index(j, n - 1)]);
    return {pack(nrm[0]), light, pack(nrm[2])};
}

double height_field_volume() {
    const height_field& f = terrain;
    if (!f.heights) return 0.0;
    double sum = 0.0;
    size_t count = (size_t)f.samples_per_side * f.samples_per_side;
    for (size_t k = 0; k < count; k++) sum += f.heights[k];
    return sum;
}

void set_sample(int i, int j, float h) {
    height_field& f = terrain;
    int n = f.samples_per_side;
    if (!f.heights || f.frozen || i < 0 || j < 0 || i >= n || j >= n) return;
    if (!std::isfinite(h)) return;  // a non-finite height would poison every query near it
    f.modified_flags = 7;
    if (h > f.height_max) f.height_max = h;
    if (h < f.height_min) f.height_min = h;
    f.heights[(size_t)i + (size_t)n * j] = h;
    for (int jj = std::max(j - 1, 0); jj <= std::min(j + 1, n - 1); jj++) {
        for (int ii = std::max(i - 1, 0); ii <= std::min(i + 1, n - 1); ii++) {
            size_t k = (size_t)ii + (size_t)n * jj;
            if (!f.shade_dirty.empty()) set_bit(f.shade_dirty, k);
            if (!f.normal_dirty.empty()) set_bit(f.normal_dirty, k);
        }
    }
    size_t row = (size_t)(2 * n - 2);
    if (f.triangle_dirty.empty()) return;
    for (int r = std::max(j - 1, 0); r <= std::min(j, n - 2); r++)
        for (int c = std::max(2 * i - 2, 0); c <= std::min(2 * i + 1, 2 * n - 3); c++)
            set_bit(f.triangle_dirty, (size_t)c + row * r);
}

void report_changed_region(int i0, int j0, int i1, int j1) {
    const height_field& f = terrain;
    if (!f.heights) return;
    int last = f.samples_per_side - 1;
    i0 = clamp_index(i0, last);
    i1 = clamp_index(i1, last);
    j0 = clamp_index(j0, last);
    j1 = clamp_index(j1, last);
    if (i0 > i1) std::swap(i0, i1);
    if (j0 > j1) std::swap(j0, j1);
    if (terrain_renderer.changed_region) terrain_renderer.changed_region(i0, j0, i1, j1);
}
