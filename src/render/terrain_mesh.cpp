// Level-of-detail thresholds over a quadtree of the height field, their
// budgeted rebuild after deformation, and the per-view mesh.
//
// A node's threshold is (delta / k + h)^2 with delta its roughness against
// the two triangles over its corners. The roughness of a node above the
// tiles is bounded from its children's (their own roughness plus how far
// their surface strays from the parent's, which is exact at the children's
// corners and centres), so that a change costs work along one path of the
// tree rather than a rescan of every sample under the root. Thresholds are
// then raised so that a node refines before any of its children and before
// the children of its edge neighbours would, which keeps neighbouring pieces
// within one level of each other.
//
// Pieces are drawn as fans around their centres through every mesh vertex
// on their boundary, their neighbours' included, so that no edge ever ends
// in the middle of another: the mesh is closed whatever the thresholds are.
#include "render/terrain_mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/cmdline.h"
#include "track/height_field.h"

namespace {

struct lod_data {
    int g = -1;  // depth of the single-tile nodes
    int n = 0;   // samples per side
    float k = 1.0f;
    std::vector<float> radius;  // square root of the threshold
    std::vector<float> dev_max, dev_min;
    std::vector<uint8_t> stale_mark;
    std::vector<std::vector<int>> stale;  // per depth, nodes as ix + (iz << d)
};

lod_data L;

// Nodes deeper than this below the root may be drawn whole; larger ones are
// always refined so that every piece fits one 64-tile block texture.
constexpr int largest_piece_log2 = 6;

inline size_t level_offset(int d) { return (((size_t)1 << (2 * d)) - 1) / 3; }
inline size_t node_index(int d, int ix, int iz) { return level_offset(d) + (size_t)ix + ((size_t)iz << d); }

inline float sample(int i, int j) { return terrain.heights[(size_t)i + (size_t)L.n * (size_t)j]; }

// Half the diagonal of a node of depth d.
inline float half_diagonal(int d) { return terrain.extent * std::ldexp(1.0f, -d) * 0.70710678f; }

// The two triangles over a square's corners at fractions (u, v); the
// diagonal joins (0, 0) and (1, 1) when `main` is set.
inline float two_triangles(float h00, float h10, float h01, float h11, bool main, float u, float v) {
    if (main) {
        if (u >= v) return h00 + u * (h10 - h00) + v * (h11 - h10);
        return h00 + v * (h01 - h00) + u * (h11 - h01);
    }
    if (u + v <= 1.0f) return h00 + u * (h10 - h00) + v * (h01 - h00);
    return h11 + (1.0f - u) * (h01 - h11) + (1.0f - v) * (h10 - h11);
}

inline bool main_diagonal(int ix, int iz) { return ((ix + iz) & 1) == 0; }

void compute_leaf(int ix, int iz) {
    int x0 = 2 * ix, z0 = 2 * iz;
    float h00 = sample(x0, z0), h10 = sample(x0 + 2, z0), h01 = sample(x0, z0 + 2), h11 = sample(x0 + 2, z0 + 2);
    bool main = main_diagonal(ix, iz);
    float hi = 0.0f, lo = 0.0f;
    for (int b = 0; b <= 2; b++)
        for (int a = 0; a <= 2; a++) {
            float d = sample(x0 + a, z0 + b) - two_triangles(h00, h10, h01, h11, main, 0.5f * a, 0.5f * b);
            hi = std::max(hi, d);
            lo = std::min(lo, d);
        }
    size_t k = node_index(L.g, ix, iz);
    L.dev_max[k] = hi;
    L.dev_min[k] = lo;
    L.radius[k] = std::max(hi, -lo) / L.k + half_diagonal(L.g);
}

void compute_node(int d, int ix, int iz) {
    int side = 2 << (L.g - d), half = side / 2;  // in cells
    int x0 = ix * side, z0 = iz * side;
    float h00 = sample(x0, z0), h10 = sample(x0 + side, z0), h01 = sample(x0, z0 + side),
          h11 = sample(x0 + side, z0 + side);
    bool main = main_diagonal(ix, iz);
    float hi = 0.0f, lo = 0.0f, from_children = 0.0f, from_neighbours = 0.0f;
    float child_half_diagonal = half_diagonal(d + 1);
    float child_side = terrain.extent * std::ldexp(1.0f, -(d + 1));
    for (int qz = 0; qz < 2; qz++)
        for (int qx = 0; qx < 2; qx++) {
            int cx = 2 * ix + qx, cz = 2 * iz + qz;
            int ax = x0 + qx * half, az = z0 + qz * half;
            float c00 = sample(ax, az), c10 = sample(ax + half, az), c01 = sample(ax, az + half),
                  c11 = sample(ax + half, az + half);
            float centre = main_diagonal(cx, cz) ? 0.5f * (c00 + c11) : 0.5f * (c10 + c01);
            float u0 = 0.5f * qx, v0 = 0.5f * qz;
            float diffs[5] = {c00 - two_triangles(h00, h10, h01, h11, main, u0, v0),
                              c10 - two_triangles(h00, h10, h01, h11, main, u0 + 0.5f, v0),
                              c01 - two_triangles(h00, h10, h01, h11, main, u0, v0 + 0.5f),
                              c11 - two_triangles(h00, h10, h01, h11, main, u0 + 0.5f, v0 + 0.5f),
                              centre - two_triangles(h00, h10, h01, h11, main, u0 + 0.25f, v0 + 0.25f)};
            size_t ck = node_index(d + 1, cx, cz);
            hi = std::max(hi, L.dev_max[ck] + *std::max_element(diffs, diffs + 5));
            lo = std::min(lo, L.dev_min[ck] + *std::min_element(diffs, diffs + 5));
            from_children = std::max(from_children, L.radius[ck] + child_half_diagonal);
        }
    // The children of the edge neighbours that touch this node: a child X
    // whose centre lies 1.5 and 0.5 child sides away.
    int count = 1 << d;
    float reach = child_side * 1.5811388f;  // sqrt(2.5)
    auto neighbour = [&](int nx, int nz, int qx0, int qx1, int qz0, int qz1) {
        if (nx < 0 || nz < 0 || nx >= count || nz >= count) return;
        for (int qz = qz0; qz <= qz1; qz++)
            for (int qx = qx0; qx <= qx1; qx++)
                from_neighbours = std::max(from_neighbours, L.radius[node_index(d + 1, 2 * nx + qx, 2 * nz + qz)] + reach);
    };
    neighbour(ix - 1, iz, 1, 1, 0, 1);
    neighbour(ix + 1, iz, 0, 0, 0, 1);
    neighbour(ix, iz - 1, 0, 1, 1, 1);
    neighbour(ix, iz + 1, 0, 1, 0, 0);
    size_t k = node_index(d, ix, iz);
    L.dev_max[k] = hi;
    L.dev_min[k] = lo;
    float own = std::max(hi, -lo) / L.k + half_diagonal(d);
    L.radius[k] = std::max({own, from_children, from_neighbours});
}

void mark(int d, int ix, int iz) {
    if (d < 0 || ix < 0 || iz < 0 || ix >= (1 << d) || iz >= (1 << d)) return;
    size_t k = node_index(d, ix, iz);
    if (L.stale_mark[k]) return;
    L.stale_mark[k] = 1;
    L.stale[(size_t)d].push_back(ix + (iz << d));
}

float detail_factor() {
    double k = render_settings.ground_detail_factor;
    if (!(k > 0.0) || !std::isfinite(k)) k = 0.125 / 70.0;
    return (float)k;
}

}  // namespace

void terrain_lod_free() { L = lod_data(); }

int terrain_lod_depth() { return L.g; }

void terrain_lod_build() {
    terrain_lod_free();
    const height_field& f = terrain;
    if (!f.heights || f.size_log2 < 0 || f.size_log2 > 14) return;
    L.g = f.size_log2;
    L.n = f.samples_per_side;
    L.k = detail_factor();
    size_t nodes = level_offset(L.g + 1);
    L.radius.assign(nodes, 0.0f);
    L.dev_max.assign(nodes, 0.0f);
    L.dev_min.assign(nodes, 0.0f);
    L.stale_mark.assign(nodes, 0);
    L.stale.assign((size_t)L.g + 1, {});
    int side = 1 << L.g;
    for (int iz = 0; iz < side; iz++)
        for (int ix = 0; ix < side; ix++) compute_leaf(ix, iz);
    for (int d = L.g - 1; d >= 0; d--)
        for (int iz = 0; iz < (1 << d); iz++)
            for (int ix = 0; ix < (1 << d); ix++) compute_node(d, ix, iz);
}

void terrain_lod_mark_region(int i0, int j0, int i1, int j1) {
    if (L.g < 0) return;
    int side = 1 << L.g;
    int tx0 = std::max((i0 - 1) >> 1, 0), tz0 = std::max((j0 - 1) >> 1, 0);
    int tx1 = std::min(i1 >> 1, side - 1), tz1 = std::min(j1 >> 1, side - 1);
    for (int tz = tz0; tz <= tz1; tz++)
        for (int tx = tx0; tx <= tx1; tx++) mark(L.g, tx, tz);
}

bool terrain_lod_stale() {
    for (const std::vector<int>& s : L.stale)
        if (!s.empty()) return true;
    return false;
}

int terrain_lod_refresh(int budget) {
    if (L.g < 0 || !terrain.heights) return 0;
    int work = 0;
    for (int d = L.g; d >= 0; d--) {
        std::vector<int>& list = L.stale[(size_t)d];
        while (!list.empty()) {
            if (work >= budget) return work;
            int local = list.back();
            list.pop_back();
            int ix = local & ((1 << d) - 1), iz = local >> d;
            L.stale_mark[node_index(d, ix, iz)] = 0;
            if (d == L.g)
                compute_leaf(ix, iz);
            else
                compute_node(d, ix, iz);
            work++;
            if (d == 0) continue;
            // The nodes this one's values feed: its parent, and the parents
            // of its edge neighbours.
            mark(d - 1, ix >> 1, iz >> 1);
            const int steps[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
            for (const auto& s : steps) {
                int nx = ix + s[0], nz = iz + s[1];
                if (nx < 0 || nz < 0 || nx >= (1 << d) || nz >= (1 << d)) continue;
                if ((nx >> 1) != (ix >> 1) || (nz >> 1) != (iz >> 1)) mark(d - 1, nx >> 1, nz >> 1);
            }
        }
    }
    return work;
}

float terrain_node_threshold(int d, int ix, int iz) {
    if (L.g < 0 || d < 0 || d > L.g || ix < 0 || iz < 0 || ix >= (1 << d) || iz >= (1 << d)) return 0.0f;
    float r = L.radius[node_index(d, ix, iz)];
    return r * r;
}

// ---- the mesh of one view ------------------------------------------------------------

namespace {

struct mesh_builder {
    const terrain_view& view;
    terrain_mesh& out;
    float cell = 1.0f;
    float low = 0.0f, high = 0.0f;
    int n = 0;
    std::vector<int> order;  // child visiting order, front to back
};

// Marks of the vertices some piece needs, one bit per sample; kept between
// views and cleared piece by piece.
std::vector<uint64_t> g_marks;

inline void set_mark(int n, int i, int j) { set_bit(g_marks, (size_t)i + (size_t)n * (size_t)j); }
inline void clear_mark(int n, int i, int j) { clear_bit(g_marks, (size_t)i + (size_t)n * (size_t)j); }
inline bool marked(int n, int i, int j) { return test_bit(g_marks, (size_t)i + (size_t)n * (size_t)j); }

inline int piece_side(int d) { return 2 << (L.g - d); }  // in cells

bool behind(const mesh_builder& m, int d, int ix, int iz) {
    const std::array<float, 3>& dir = m.view.direction;
    float side = piece_side(d) * m.cell;
    float x = (ix + (dir[0] >= 0.0f ? 1 : 0)) * side, z = (iz + (dir[2] >= 0.0f ? 1 : 0)) * side;
    float y = dir[1] > 0.0f ? m.high : m.low;
    const std::array<float, 3>& c = m.view.position;
    return (x - c[0]) * dir[0] + (y - c[1]) * dir[1] + (z - c[2]) * dir[2] < 0.0f;
}

bool selected(const mesh_builder& m, int d, int ix, int iz) {
    float side = piece_side(d) * m.cell;
    float dx = (ix + 0.5f) * side - m.view.position[0], dz = (iz + 0.5f) * side - m.view.position[2];
    return L.radius[node_index(d, ix, iz)] * L.radius[node_index(d, ix, iz)] > dx * dx + dz * dz;
}

void add_piece(mesh_builder& m, int d, int ix, int iz, bool whole) {
    terrain_piece p;
    p.depth = d;
    p.ix = ix;
    p.iz = iz;
    p.whole = whole;
    m.out.pieces.push_back(p);
    int s = piece_side(d), h = s / 2, x0 = ix * s, z0 = iz * s;
    if (whole) {
        for (int b = 0; b <= 2; b++)
            for (int a = 0; a <= 2; a++)
                if (a != 1 || b != 1) set_mark(m.n, x0 + a * h, z0 + b * h);
    } else {
        set_mark(m.n, x0, z0);
        set_mark(m.n, x0 + s, z0);
        set_mark(m.n, x0, z0 + s);
        set_mark(m.n, x0 + s, z0 + s);
    }
}

void walk(mesh_builder& m, int d, int ix, int iz) {
    if (m.view.cull && behind(m, d, ix, iz)) return;
    if (d == L.g) {
        add_piece(m, d, ix, iz, true);
        return;
    }
    bool forced = L.g - d > largest_piece_log2;
    bool chosen[4];
    bool any = false;
    for (int q = 0; q < 4; q++) {
        chosen[q] = forced || selected(m, d + 1, 2 * ix + (q & 1), 2 * iz + (q >> 1));
        any = any || chosen[q];
    }
    if (!any) {
        add_piece(m, d, ix, iz, true);
        return;
    }
    for (int q : m.order) {
        int cx = 2 * ix + (q & 1), cz = 2 * iz + (q >> 1);
        if (chosen[q])
            walk(m, d + 1, cx, cz);
        else if (!m.view.cull || !behind(m, d + 1, cx, cz))
            add_piece(m, d + 1, cx, cz, false);
    }
}

struct grid_point {
    int i, j;
};

inline void put_vertex(mesh_builder& m, const grid_point& p) {
    m.out.vertices.push_back(p.i * m.cell);
    m.out.vertices.push_back(sample(p.i, p.j));
    m.out.vertices.push_back(p.j * m.cell);
}

// One triangle, turned so that it faces up.
inline void put_triangle(mesh_builder& m, const grid_point& a, grid_point b, grid_point c) {
    long long cross = (long long)(b.j - a.j) * (c.i - a.i) - (long long)(b.i - a.i) * (c.j - a.j);
    if (cross < 0) std::swap(b, c);
    put_vertex(m, a);
    put_vertex(m, b);
    put_vertex(m, c);
}

void emit_piece(mesh_builder& m, terrain_piece& p, std::vector<grid_point>& ring) {
    int s = piece_side(p.depth), x0 = p.ix * s, z0 = p.iz * s, x1 = x0 + s, z1 = z0 + s;
    ring.clear();
    for (int j = z0; j < z1; j++)
        if (marked(m.n, x0, j)) ring.push_back({x0, j});
    for (int i = x0; i < x1; i++)
        if (marked(m.n, i, z1)) ring.push_back({i, z1});
    for (int j = z1; j > z0; j--)
        if (marked(m.n, x1, j)) ring.push_back({x1, j});
    for (int i = x1; i > x0; i--)
        if (marked(m.n, i, z0)) ring.push_back({i, z0});
    p.first = (int)(m.out.vertices.size() / 3);
    if (!p.whole && ring.size() == 4) {
        // A quarter with nothing on its sides: the parent fan's two
        // triangles, split along the diagonal from the parent's centre.
        grid_point centre = {(p.ix & 1) ? x0 : x1, (p.iz & 1) ? z0 : z1};
        grid_point far = {(p.ix & 1) ? x1 : x0, (p.iz & 1) ? z1 : z0};
        grid_point side_a = {centre.i, far.j}, side_b = {far.i, centre.j};
        put_triangle(m, centre, side_a, far);
        put_triangle(m, centre, far, side_b);
    } else {
        grid_point centre = {x0 + s / 2, z0 + s / 2};
        for (size_t k = 0; k < ring.size(); k++) put_triangle(m, centre, ring[k], ring[(k + 1) % ring.size()]);
    }
    p.count = (int)(m.out.vertices.size() / 3) - p.first;
}

void clear_piece_marks(const mesh_builder& m, const terrain_piece& p) {
    int s = piece_side(p.depth), h = s / 2, x0 = p.ix * s, z0 = p.iz * s;
    for (int b = 0; b <= 2; b++)
        for (int a = 0; a <= 2; a++) clear_mark(m.n, x0 + a * h, z0 + b * h);
}

}  // namespace

void build_terrain_mesh(const terrain_view& view, terrain_mesh& out) {
    out.vertices.clear();
    out.pieces.clear();
    const height_field& f = terrain;
    if (L.g < 0 || !f.heights || f.samples_per_side != L.n) return;
    mesh_builder m{view, out, 1.0f, 0.0f, 0.0f, 0, {}};
    m.cell = f.cell_size;
    m.low = f.height_min;
    m.high = f.height_max;
    m.n = L.n;
    size_t words = ((size_t)L.n * L.n + 63) / 64;
    if (g_marks.size() != words) g_marks.assign(words, 0);
    int xs[2] = {view.direction[0] >= 0.0f ? 0 : 1, view.direction[0] >= 0.0f ? 1 : 0};
    int zs[2] = {view.direction[2] >= 0.0f ? 0 : 1, view.direction[2] >= 0.0f ? 1 : 0};
    m.order = {xs[0] + 2 * zs[0], xs[1] + 2 * zs[0], xs[0] + 2 * zs[1], xs[1] + 2 * zs[1]};
    walk(m, 0, 0, 0);
    std::vector<grid_point> ring;
    for (terrain_piece& p : out.pieces) emit_piece(m, p, ring);
    for (const terrain_piece& p : out.pieces) clear_piece_marks(m, p);
}
