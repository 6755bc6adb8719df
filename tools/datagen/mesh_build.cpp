#include "datagen/mesh_build.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "datagen/datagen.h"
#include "datagen/dmath.h"
#include "vfs/saf.h"

int mesh_coarseness = 0;
double mesh_level_distance = 0;

int coarser(int segments, int least) {
    // The farthest version keeps only the outline's corners.
    if (mesh_coarseness >= 3) least = std::max(3, least * 2 / 3);
    return std::max(std::min(segments, least), segments >> mesh_coarseness);
}

namespace {

// How far the outline of a coarser version may stray from the full shape, in
// feet at the distance the version is first drawn (8, 16, 32, 64 feet): half a
// pixel of a 1024-pixel-wide view with a 90-degree field, less than the
// rasterizer's own rounding of an edge.
double outline_tolerance() { return mesh_level_distance > 0 ? 0.001 * mesh_level_distance : 0; }

// The fewest sides of a round section of radius r whose flats stay within the
// tolerance of the circle; 0 when any count would do at full detail.
int sides_for_radius(double r) {
    double e = outline_tolerance();
    if (!(e > 0) || !(r > 0)) return 0;
    return std::max(3, (int)std::ceil(M_PI * std::sqrt(r / (2 * e))));
}

// The rings a coarser version needs: a ring goes when it lies, centre and
// radii, within the tolerance of the straight loft between the rings kept
// on either side of it.
std::vector<ring> fewer_rings(const std::vector<ring>& rings) {
    double e = outline_tolerance();
    if (!(e > 0) || rings.size() < 3) return rings;
    auto strays = [&](size_t from, size_t to) {
        v3 c0 = rings[from].centre, d = rings[to].centre - c0;
        double dd = dot(d, d);
        for (size_t j = from + 1; j < to; j++) {
            const ring& r = rings[j];
            double t = dd > 0 ? std::clamp(dot(r.centre - c0, d) / dd, 0.0, 1.0) : 0.0;
            double off = length(r.centre - (c0 + d * t));
            double ra = rings[from].ra + (rings[to].ra - rings[from].ra) * t;
            double rb = rings[from].rb + (rings[to].rb - rings[from].rb) * t;
            if (off + std::max(std::fabs(r.ra - ra), std::fabs(r.rb - rb)) > e || r.square != rings[from].square)
                return true;
        }
        return false;
    };
    std::vector<ring> kept{rings[0]};
    size_t from = 0;
    for (size_t to = 2; to < rings.size(); to++) {
        if (!strays(from, to)) continue;
        from = to - 1;
        kept.push_back(rings[from]);
    }
    kept.push_back(rings.back());
    return kept;
}

}  // namespace

uv_box pixel_box(int x0, int y0, int x1, int y1, int w, int h) {
    return uv_box{(x0 + 0.5) / w, (y0 + 0.5) / h, (x1 - 0.5) / w, (y1 - 0.5) / h};
}

int mesh_build::vertex(v3 p, v3 n, double tu, double tv) {
    pos.push_back(p);
    nor.push_back(n);
    u.push_back(tu);
    v.push_back(tv);
    if (bones > 0) {
        weight_set ws{};
        if (weights)
            ws = weights(p);
        else
            ws[0] = 1;
        w.push_back(ws);
    }
    return (int)pos.size() - 1;
}

namespace {

v3 face_normal(const mesh_build& m, int t) {
    v3 a = m.pos[(size_t)m.tri[(size_t)t * 3]], b = m.pos[(size_t)m.tri[(size_t)t * 3 + 1]],
       c = m.pos[(size_t)m.tri[(size_t)t * 3 + 2]];
    return cross(b - a, c - a);
}

void flip(mesh_build& m, int t) { std::swap(m.tri[(size_t)t * 3 + 1], m.tri[(size_t)t * 3 + 2]); }

// Appends a triangle turned so that its normal points along `want`.
void facing_triangle(mesh_build& m, int a, int b, int c, v3 want) {
    m.triangle(a, b, c);
    if (dot(face_normal(m, m.triangle_count() - 1), want) < 0) flip(m, m.triangle_count() - 1);
}

std::tuple<long long, long long, long long> weld_key(v3 p) {
    const double q = 1e5;
    return {std::llround(p.x * q), std::llround(p.y * q), std::llround(p.z * q)};
}

double superellipse(double c, double e) { return (c < 0 ? -1 : 1) * dmath::pow(std::fabs(c), e); }

}  // namespace

void smooth_normals(mesh_build& m, int first_vertex, int first_triangle) {
    std::map<std::tuple<long long, long long, long long>, v3> sums;
    for (int t = first_triangle; t < m.triangle_count(); t++) {
        v3 n = face_normal(m, t);
        for (int k = 0; k < 3; k++) {
            int i = m.tri[(size_t)t * 3 + k];
            if (i < first_vertex) continue;
            v3& s = sums[weld_key(m.pos[(size_t)i])];
            s = s + n;
        }
    }
    for (int i = first_vertex; i < m.vertex_count(); i++) {
        auto it = sums.find(weld_key(m.pos[(size_t)i]));
        if (it != sums.end() && length(it->second) > 1e-12) m.nor[(size_t)i] = normalise(it->second);
    }
}

void face_outward(mesh_build& m, int first_triangle, const std::function<v3(v3)>& inside) {
    for (int t = first_triangle; t < m.triangle_count(); t++) {
        v3 c = (m.pos[(size_t)m.tri[(size_t)t * 3]] + m.pos[(size_t)m.tri[(size_t)t * 3 + 1]] +
                m.pos[(size_t)m.tri[(size_t)t * 3 + 2]]) *
               (1.0 / 3);
        if (dot(face_normal(m, t), c - inside(c)) < 0) flip(m, t);
    }
}

void loft(mesh_build& m, const std::vector<ring>& all_rings, int around, uv_box box, bool cap_start, bool cap_end) {
    // A skinned loft keeps every ring: the rings between joints are where it
    // bends.
    const std::vector<ring> rings = m.bones > 0 ? all_rings : fewer_rings(all_rings);
    around = coarser(around, 5);
    // Round sections (not the squared ones, whose corners need their
    // vertices) get no more sides than their size needs from afar: thin
    // tubes become prisms where they are a pixel or two wide.
    if (mesh_coarseness > 0) {
        double largest = 0, squarest = 1;
        for (const ring& r : rings) largest = std::max({largest, r.ra, r.rb}), squarest = std::min(squarest, r.square);
        int need = sides_for_radius(largest);
        if (squarest >= 0.85 && need > 0) around = std::min(around, need);
    }
    if (rings.size() < 2 || around < 3) return;
    int first_vertex = m.vertex_count(), first_triangle = m.triangle_count();
    size_t n = rings.size();
    std::vector<double> along(n, 0);
    for (size_t i = 1; i < n; i++) along[i] = along[i - 1] + length(rings[i].centre - rings[i - 1].centre);
    double total = along[n - 1] > 0 ? along[n - 1] : 1;
    auto point = [&](const ring& r, int j) {
        double a = 2 * M_PI * j / around;
        return r.centre + r.a * (r.ra * superellipse(dmath::cos(a), r.square)) +
               r.b * (r.rb * superellipse(dmath::sin(a), r.square));
    };
    for (size_t i = 0; i < n; i++)
        for (int j = 0; j <= around; j++)
            m.vertex(point(rings[i], j), normalise(point(rings[i], j) - rings[i].centre), box.u((double)j / around),
                     box.v(along[i] / total));
    auto at = [&](size_t i, int j) { return first_vertex + (int)i * (around + 1) + j; };
    for (size_t i = 0; i + 1 < n; i++) {
        for (int j = 0; j < around; j++) {
            double a = 2 * M_PI * (j + 0.5) / around;
            v3 out = rings[i].a * dmath::cos(a) + rings[i].b * dmath::sin(a);
            facing_triangle(m, at(i, j), at(i, j + 1), at(i + 1, j + 1), out);
            facing_triangle(m, at(i, j), at(i + 1, j + 1), at(i + 1, j), out);
        }
    }
    smooth_normals(m, first_vertex, first_triangle);
    auto cap = [&](size_t i, v3 facing) {
        const ring& r = rings[i];
        int c = m.vertex(r.centre, facing, box.u(0.5), box.v(i ? 1 : 0));
        int first = m.vertex_count();
        for (int j = 0; j <= around; j++) m.vertex(point(r, j), facing, box.u((double)j / around), box.v(i ? 1 : 0));
        for (int j = 0; j < around; j++) facing_triangle(m, c, first + j, first + j + 1, facing);
    };
    if (cap_start) cap(0, normalise(rings[0].centre - rings[1].centre));
    if (cap_end) cap(n - 1, normalise(rings[n - 1].centre - rings[n - 2].centre));
}

std::vector<ring> path_rings(const std::vector<v3>& p, const std::vector<double>& radii, v3 up, double square,
                             double aspect) {
    std::vector<ring> rings;
    size_t n = p.size();
    if (n < 2) return rings;
    v3 b = up;
    for (size_t i = 0; i < n; i++) {
        v3 t = normalise(p[std::min(i + 1, n - 1)] - p[i > 0 ? i - 1 : 0]);
        b = b - t * dot(t, b);
        if (length(b) < 1e-6) b = std::fabs(t.y) < 0.9 ? v3{0, 1, 0} : v3{1, 0, 0};
        b = normalise(b - t * dot(t, b));
        v3 a = normalise(cross(b, t));
        double r = radii.empty() ? 0.05 : radii[std::min(i, radii.size() - 1)];
        rings.push_back(ring{p[i], a, b, r * aspect, r, square});
    }
    return rings;
}

void tube(mesh_build& m, const std::vector<v3>& points, const std::vector<double>& radii, int around, uv_box box,
          bool caps, v3 up) {
    loft(m, path_rings(points, radii, up), around, box, caps, caps);
}

std::vector<v3> smooth_path(const std::vector<v3>& p, int steps) {
    steps = coarser(steps, 2);
    std::vector<v3> out;
    size_t n = p.size();
    if (n < 3) return p;
    for (size_t i = 0; i + 1 < n; i++) {
        v3 p0 = p[i > 0 ? i - 1 : 0], p1 = p[i], p2 = p[i + 1], p3 = p[std::min(i + 2, n - 1)];
        for (int s = 0; s < steps; s++) {
            double t = (double)s / steps, t2 = t * t, t3 = t2 * t;
            out.push_back(0.5 * (2 * p1 + (p2 - p0) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t2 +
                                 (3 * p1 - p0 - 3 * p2 + p3) * t3));
        }
    }
    out.push_back(p[n - 1]);
    return out;
}

void blob(mesh_build& m, v3 c, v3 r, double square, int segments, uv_box box) {
    segments = coarser(segments, 6);
    // A blob a pixel or two across (a thumb, a cap) keeps four sides.
    if (int need = sides_for_radius(std::max({r.x, r.y, r.z})); need > 0 && square >= 0.6)
        segments = std::min(segments, std::max(need, 4));
    int first_vertex = m.vertex_count(), first_triangle = m.triangle_count();
    int rows = std::max(segments / 2, 2);
    for (int i = 0; i <= rows; i++) {
        double phi = -M_PI / 2 + M_PI * i / rows;
        double cp = superellipse(dmath::cos(phi), square), sp = superellipse(dmath::sin(phi), square);
        for (int j = 0; j <= segments; j++) {
            double th = 2 * M_PI * j / segments;
            v3 p = c + v3{r.x * cp * superellipse(dmath::cos(th), square), r.y * sp,
                          r.z * cp * superellipse(dmath::sin(th), square)};
            m.vertex(p, normalise(p - c), box.u((p.z - (c.z - r.z)) / (2 * r.z)), box.v((c.y + r.y - p.y) / (2 * r.y)));
        }
    }
    auto at = [&](int i, int j) { return first_vertex + i * (segments + 1) + j; };
    for (int i = 0; i < rows; i++)
        for (int j = 0; j < segments; j++) m.quad(at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j));
    // Rows at the poles collapse to points: drop the triangles without area.
    std::vector<int> kept(m.tri.begin(), m.tri.begin() + first_triangle * 3);
    for (int t = first_triangle; t < m.triangle_count(); t++)
        if (length(face_normal(m, t)) > 1e-12) kept.insert(kept.end(), m.tri.begin() + t * 3, m.tri.begin() + t * 3 + 3);
    m.tri = std::move(kept);
    face_outward(m, first_triangle, [c](v3) { return c; });
    smooth_normals(m, first_vertex, first_triangle);
}

void box(mesh_build& m, v3 lo, v3 hi, uv_box region) {
    v3 c = (lo + hi) * 0.5;
    auto face = [&](v3 n, v3 p0, v3 p1, v3 p2, v3 p3) {
        int a = m.vertex(p0, n, region.u0, region.v0), b = m.vertex(p1, n, region.u1, region.v0);
        int d = m.vertex(p2, n, region.u1, region.v1), e = m.vertex(p3, n, region.u0, region.v1);
        facing_triangle(m, a, b, d, n);
        facing_triangle(m, a, d, e, n);
    };
    (void)c;
    face({1, 0, 0}, {hi.x, hi.y, hi.z}, {hi.x, hi.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, lo.y, hi.z});
    face({-1, 0, 0}, {lo.x, hi.y, lo.z}, {lo.x, hi.y, hi.z}, {lo.x, lo.y, hi.z}, {lo.x, lo.y, lo.z});
    face({0, 1, 0}, {lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z});
    face({0, -1, 0}, {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, lo.y, lo.z}, {lo.x, lo.y, lo.z});
    face({0, 0, 1}, {lo.x, hi.y, hi.z}, {hi.x, hi.y, hi.z}, {hi.x, lo.y, hi.z}, {lo.x, lo.y, hi.z});
    face({0, 0, -1}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z}, {lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z});
}

namespace {

double signed_area(const std::vector<std::array<double, 2>>& o) {
    double a = 0;
    for (size_t i = 0; i < o.size(); i++) {
        const auto& p = o[i];
        const auto& q = o[(i + 1) % o.size()];
        a += p[0] * q[1] - q[0] * p[1];
    }
    return a / 2;
}

// Ear clipping of a simple polygon (counter-clockwise); returns index triples.
std::vector<int> triangulate(const std::vector<std::array<double, 2>>& o) {
    std::vector<int> idx(o.size()), out;
    for (size_t i = 0; i < o.size(); i++) idx[i] = (int)i;
    auto cross2 = [&](int a, int b, int c) {
        return (o[b][0] - o[a][0]) * (o[c][1] - o[a][1]) - (o[b][1] - o[a][1]) * (o[c][0] - o[a][0]);
    };
    auto inside = [&](int p, int a, int b, int c) {
        return cross2(a, b, p) > 1e-12 && cross2(b, c, p) > 1e-12 && cross2(c, a, p) > 1e-12;
    };
    int guard = 0;
    while (idx.size() > 3 && guard++ < 10000) {
        bool clipped = false;
        for (size_t k = 0; k < idx.size(); k++) {
            int a = idx[(k + idx.size() - 1) % idx.size()], b = idx[k], c = idx[(k + 1) % idx.size()];
            if (cross2(a, b, c) <= 1e-12) continue;
            bool ear = true;
            for (int p : idx)
                if (p != a && p != b && p != c && inside(p, a, b, c)) ear = false;
            if (!ear) continue;
            out.insert(out.end(), {a, b, c});
            idx.erase(idx.begin() + (std::ptrdiff_t)k);
            clipped = true;
            break;
        }
        if (!clipped) break;
    }
    if (idx.size() == 3) out.insert(out.end(), {idx[0], idx[1], idx[2]});
    return out;
}

}  // namespace

void extrude_x(mesh_build& m, const std::vector<std::array<double, 2>>& outline_in, double x0, double x1,
               uv_box side, uv_box edge) {
    if (outline_in.size() < 3) return;
    std::vector<std::array<double, 2>> o = outline_in;
    if (signed_area(o) < 0) std::reverse(o.begin(), o.end());
    double zmin = 1e9, zmax = -1e9, ymin = 1e9, ymax = -1e9;
    for (auto& p : o) {
        zmin = std::min(zmin, p[0]), zmax = std::max(zmax, p[0]);
        ymin = std::min(ymin, p[1]), ymax = std::max(ymax, p[1]);
    }
    std::vector<int> tris = triangulate(o);
    for (double x : {x0, x1}) {
        v3 n{x == x1 ? 1.0 : -1.0, 0, 0};
        if (x1 < x0) n = -n;
        int first = m.vertex_count();
        for (auto& p : o)
            m.vertex({x, p[1], p[0]}, n, side.u((p[0] - zmin) / std::max(zmax - zmin, 1e-9)),
                     side.v((ymax - p[1]) / std::max(ymax - ymin, 1e-9)));
        for (size_t t = 0; t < tris.size(); t += 3) facing_triangle(m, first + tris[t], first + tris[t + 1], first + tris[t + 2], n);
    }
    double perimeter = 0;
    for (size_t i = 0; i < o.size(); i++) {
        const auto& p = o[i];
        const auto& q = o[(i + 1) % o.size()];
        perimeter += dmath::hypot(q[0] - p[0], q[1] - p[1]);
    }
    double run = 0;
    for (size_t i = 0; i < o.size(); i++) {
        const auto& p = o[i];
        const auto& q = o[(i + 1) % o.size()];
        double dz = q[0] - p[0], dy = q[1] - p[1], len = dmath::hypot(dz, dy);
        if (len < 1e-9) continue;
        v3 n{0, -dz / len, dy / len};  // outward for a counter-clockwise outline
        double s0 = run / perimeter, s1 = (run + len) / perimeter;
        run += len;
        int a = m.vertex({x0, p[1], p[0]}, n, edge.u(s0), edge.v(0));
        int b = m.vertex({x0, q[1], q[0]}, n, edge.u(s1), edge.v(0));
        int c = m.vertex({x1, q[1], q[0]}, n, edge.u(s1), edge.v(1));
        int d = m.vertex({x1, p[1], p[0]}, n, edge.u(s0), edge.v(1));
        facing_triangle(m, a, b, c, n);
        facing_triangle(m, a, c, d, n);
    }
}

void torus_x(mesh_build& m, v3 centre, double R, const std::function<double(double, double)>& r, int around,
             int section, uv_box box) {
    around = coarser(around, 12);
    section = coarser(section, 6);
    int first_vertex = m.vertex_count(), first_triangle = m.triangle_count();
    for (int i = 0; i <= around; i++) {
        double a = 2 * M_PI * i / around;
        v3 d{0, dmath::cos(a), dmath::sin(a)};
        for (int j = 0; j <= section; j++) {
            double b = 2 * M_PI * j / section;
            double rr = r(a, b);
            v3 p = centre + d * (R + rr * dmath::cos(b)) + v3{rr * dmath::sin(b), 0, 0};
            m.vertex(p, normalise(d * dmath::cos(b) + v3{dmath::sin(b), 0, 0}), box.u((double)i / around),
                     box.v((double)j / section));
        }
    }
    auto at = [&](int i, int j) { return first_vertex + i * (section + 1) + j; };
    for (int i = 0; i < around; i++)
        for (int j = 0; j < section; j++) m.quad(at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
    face_outward(m, first_triangle, [centre, R](v3 p) {
        v3 d = p - centre;
        d.x = 0;
        return centre + normalise(d) * R;
    });
    smooth_normals(m, first_vertex, first_triangle);
}

void mirror_x(mesh_build& m, int first_vertex, int first_triangle) {
    int end_vertex = m.vertex_count(), end_triangle = m.triangle_count();
    int offset = end_vertex - first_vertex;
    for (int i = first_vertex; i < end_vertex; i++) {
        v3 p = m.pos[(size_t)i], n = m.nor[(size_t)i];
        p.x = -p.x;
        n.x = -n.x;
        m.vertex(p, n, m.u[(size_t)i], m.v[(size_t)i]);
    }
    for (int t = first_triangle; t < end_triangle; t++) {
        int a = m.tri[(size_t)t * 3], b = m.tri[(size_t)t * 3 + 1], c = m.tri[(size_t)t * 3 + 2];
        if (a < first_vertex || b < first_vertex || c < first_vertex) continue;
        m.triangle(a + offset, c + offset, b + offset);
    }
}

void translate(mesh_build& m, v3 d) {
    for (v3& p : m.pos) p = p + d;
}

mesh to_mesh(const mesh_build& b, float shininess, const float specular[3]) {
    mesh me;
    me.shininess = shininess;
    me.specular[0] = specular[0];
    me.specular[1] = specular[1];
    me.specular[2] = specular[2];
    me.specular[3] = 1;
    me.vertex_count = b.vertex_count();
    me.triangle_count = b.triangle_count();
    me.bone_count = b.bones;
    for (int i = 0; i < me.vertex_count; i++) {
        size_t k = (size_t)i;
        me.positions.insert(me.positions.end(), {(float)b.pos[k].x, (float)b.pos[k].y, (float)b.pos[k].z});
        v3 n = normalise(b.nor[k]);
        me.normals.insert(me.normals.end(), {(float)n.x, (float)n.y, (float)n.z});
        me.texcoords.insert(me.texcoords.end(), {(float)b.u[k], (float)b.v[k]});
        if (b.bones <= 0) continue;
        // The four largest influences, normalised.
        std::array<int, max_weights> order{};
        for (int j = 0; j < max_weights; j++) order[(size_t)j] = j;
        const weight_set& ws = b.w[k];
        std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return ws[(size_t)x] > ws[(size_t)y]; });
        float sum = 0;
        for (int j = 0; j < 4; j++) sum += ws[(size_t)order[(size_t)j]];
        for (int j = 0; j < 4; j++) {
            int bone = order[(size_t)j];
            float wv = sum > 0 ? ws[(size_t)bone] / sum : (j == 0 ? 1.0f : 0.0f);
            me.weights.push_back(wv);
            me.bones.push_back(wv > 0 && bone < b.bones ? (float)bone : 0.0f);
        }
    }
    me.triangles = b.tri;
    if (b.bones > 0) {
        me.rest_positions = me.positions;
        me.rest_normals = me.normals;
    }
    return me;
}

namespace {

void append_mesh(mesh& to, const mesh& from) {
    int base = to.vertex_count;
    auto add = [](std::vector<float>& a, const std::vector<float>& b) { a.insert(a.end(), b.begin(), b.end()); };
    add(to.positions, from.positions);
    add(to.normals, from.normals);
    add(to.rest_positions, from.rest_positions);
    add(to.rest_normals, from.rest_normals);
    add(to.texcoords, from.texcoords);
    add(to.weights, from.weights);
    add(to.bones, from.bones);
    for (int i : from.triangles) to.triangles.push_back(i + base);
    to.vertex_count += from.vertex_count;
    to.triangle_count += from.triangle_count;
}

// Each mesh is one draw, and a draw costs as much as hundreds of triangles on
// a software renderer. From 32 feet on, meshes of the same specular colour
// are drawn as one, and from 64 feet on all of them, in the material of the
// one with the most triangles: the highlights differ a little, the outline
// not at all. Reflection and self-lit meshes keep to themselves.
std::vector<mesh> merged_for_distance(const std::vector<mesh>& meshes) {
    if (mesh_coarseness < 2) return meshes;
    std::vector<mesh> out;
    std::vector<size_t> largest;  // per out mesh: its largest part's triangles
    for (const mesh& me : meshes) {
        size_t into = out.size();
        if (me.shininess >= 0) {
            for (size_t k = 0; k < out.size(); k++) {
                const mesh& o = out[k];
                bool same_colour = std::equal(o.specular, o.specular + 3, me.specular);
                if (o.shininess >= 0 && o.bone_count == me.bone_count && (same_colour || mesh_coarseness >= 3)) {
                    into = k;
                    break;
                }
            }
        }
        if (into == out.size()) {
            out.push_back(me);
            largest.push_back((size_t)me.triangle_count);
            continue;
        }
        if ((size_t)me.triangle_count > largest[into]) {
            largest[into] = (size_t)me.triangle_count;
            out[into].shininess = me.shininess;
            std::copy(me.specular, me.specular + 4, out[into].specular);
        }
        append_mesh(out[into], me);
    }
    return out;
}

}  // namespace

std::string jm_text(const std::vector<mesh>& meshes, const char* bone_set) {
    model m;
    m.meshes = merged_for_distance(meshes);
    std::string text = model_text(m, bone_set);
    // Slivers that the written precision flattens (at the poles of blobs, in
    // the caps of thin tubes) would only be dropped by the reader: drop them
    // here so that the files load without complaint.
    model back;
    if (!parse_model(text.data(), text.size(), "generated", back) || remove_degenerate_triangles(back) == 0) return text;
    for (size_t k = 0; k < back.meshes.size() && k < m.meshes.size(); k++) {
        back.meshes[k].rest_positions = back.meshes[k].positions;
        back.meshes[k].rest_normals = back.meshes[k].normals;
    }
    return model_text(back, bone_set);
}

void add_model_levels(datagen_output& out, const std::string& name, const std::function<std::string()>& build) {
    // File "<name>_lod<N>" is drawn from 2^N feet on.
    struct level {
        int coarseness, file_level;
    };
    constexpr level levels[] = {{0, 0}, {1, 3}, {1, 4}, {2, 5}, {3, 6}};
    for (const level& l : levels) {
        mesh_coarseness = l.coarseness;
        mesh_level_distance = l.file_level ? std::ldexp(1.0, l.file_level) : 0;
        std::string text = build();
        std::string file = l.file_level ? name + "_lod" + std::to_string(l.file_level) + ".jm.gz" : name + ".jm.gz";
        add_member(out, file, gzip_bytes(text.data(), text.size()));
    }
    mesh_coarseness = 0;
    mesh_level_distance = 0;
}
