// Tire torus and sphere against the height field's triangles.
#include "bike/ground_geometry.h"

#include <algorithm>
#include <cmath>

#include "track/height_field.h"

namespace {

inline vec3f operator+(const vec3f& a, const vec3f& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
inline vec3f operator-(const vec3f& a, const vec3f& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline vec3f operator*(const vec3f& a, float s) { return {a[0] * s, a[1] * s, a[2] * s}; }
inline vec3f operator-(const vec3f& a) { return {-a[0], -a[1], -a[2]}; }
inline float dot(const vec3f& a, const vec3f& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline vec3f cross(const vec3f& a, const vec3f& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline float length_sq(const vec3f& a) { return dot(a, a); }
inline float length(const vec3f& a) { return std::sqrt(dot(a, a)); }

// A zero vector has no direction; callers that can meet one say what they
// want instead.
inline vec3f normalised_or(const vec3f& v, const vec3f& fallback) {
    float l = length(v);
    if (!(l > 0.0f) || !std::isfinite(l)) return fallback;
    return v * (1.0f / l);
}

constexpr vec3f world_up = {0, 1, 0};
constexpr float tiny = 9.5367431640625e-07f;  // 2^-20
constexpr float newton_flat = 9.3132257461547852e-10f;  // 2^-30
// An axle within about 1e-5 rad of the triangle's normal: the wheel lies
// flat on the face and has no single lowest point.
constexpr float flat_wheel_ratio = 1.0e-10f;
// Cells per axis a single query may visit; far more than any wheel or
// collision sphere on a sensible grid needs.
constexpr int max_query_cells = 128;

bool outside_edge(const ground_triangle& t, const vec3f& m, int k, const vec3f& p) {
    return dot(p - t.v[k], m) > 0.0f;
}

struct edge_frame {
    vec3f e[3];  // edge k from v[k] to v[k+1]
    vec3f m[3];  // outward normal of edge k within the plane
};

edge_frame edges_of(const ground_triangle& t, const vec3f& n) {
    edge_frame f;
    for (int k = 0; k < 3; k++) {
        f.e[k] = t.v[(k + 1) % 3] - t.v[k];
        f.m[k] = cross(f.e[k], n);
    }
    return f;
}

bool inside(const ground_triangle& t, const edge_frame& f, const vec3f& p) {
    for (int k = 0; k < 3; k++)
        if (outside_edge(t, f.m[k], k, p)) return false;
    return true;
}

// Inside as seen from above: the edge normals of the triangle's shadow on
// the horizontal plane.
bool inside_from_above(const ground_triangle& t, const edge_frame& f, const vec3f& p) {
    for (int k = 0; k < 3; k++) {
        vec3f m = {-f.e[k][2], 0.0f, f.e[k][0]};
        if (outside_edge(t, m, k, p)) return false;
    }
    return true;
}

// The component of v across the axle.
inline vec3f across_axle(const vec3f& v, const vec3f& a) { return v - a * (dot(v, a) / dot(a, a)); }

// Squared stationarity condition of the distance from the point V + t e to
// the ring circle, and its derivative.
struct edge_quartic {
    vec3f p0, q0, e, qe;  // p(0), q(0), p', q'
    float R2;
    void eval(float t, float& g, float& dg) const {
        vec3f p = p0 + e * t, q = q0 + qe * t;
        float A = dot(q, qe), B = dot(p, e), Q2 = dot(q, q);
        float dA = dot(qe, qe), dB = dot(e, e);
        g = R2 * A * A - B * B * Q2;
        dg = 2.0f * R2 * A * dA - 2.0f * B * dB * Q2 - 2.0f * B * B * A;
    }
};

float newton_on_edge(const edge_quartic& q, float t) {
    float g, dg;
    q.eval(t, g, dg);
    for (int accepted = 0; accepted < 4;) {
        if (!(std::fabs(dg) >= newton_flat)) break;
        float t2 = t - g / dg;
        float g2, dg2;
        q.eval(t2, g2, dg2);
        if (!(std::fabs(g2) <= std::fabs(g))) break;
        t = t2;
        g = g2;
        dg = dg2;
        accepted++;
    }
    return t;
}

inline float clamp01(float t) { return t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t); }

// The lowest ring point's direction for a wheel whose axle is parallel to
// the face: any direction across the axle is as low as any other, so take
// the first world axis that has a usable part across it.
vec3f flat_wheel_direction(const vec3f& a) {
    const vec3f axes[3] = {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}};
    for (const vec3f& axis : axes) {
        vec3f u = across_axle(axis, a);
        if (length_sq(u) > 0.25f) return u * (1.0f / length(u));
    }
    return {1, 0, 0};
}

// With `general` off the iterative case reports no contact and, when asked,
// says through `needs_general` that it was the one to take.
triangle_depth tire_depth(const vec3f& c, const vec3f& a, float R, float r, const ground_triangle& t, bool general,
                          bool* needs_general = nullptr) {
    triangle_depth out;
    out.depth = 0;
    const vec3f& n = t.n;
    float nn = length_sq(n);
    if (!(nn > 0.0f)) return out;  // a degenerate triangle has no face
    edge_frame f = edges_of(t, n);
    vec3f nhat = n * (1.0f / std::sqrt(nn));

    // The direction in the wheel plane that points against n.
    vec3f d = cross(cross(n, a), a);
    bool flat = !(length_sq(d) > flat_wheel_ratio * nn);
    vec3f dhat;
    if (flat) {
        dhat = flat_wheel_direction(a);
    } else {
        if (dot(d, n) > 0.0f) d = -d;
        dhat = d * (1.0f / length(d));
    }
    vec3f p_low = c + dhat * R, p_high = c - dhat * R;
    float s_low = dot(p_low - t.v[0], n), s_high = dot(p_high - t.v[0], n);

    auto general_case = [&]() {
        if (!general) {
            if (needs_general) *needs_general = true;
            out.depth = 0;
            return out;
        }
        triangle_depth g = ring_triangle_distance(c, a, R, r, t);
        out.depth = r - g.depth;
        out.point = g.point;
        out.normal = g.normal;
        return out;
    };

    if (s_low > 0.0f) {
        // The whole ring is above the plane: a face contact if its lowest
        // point lies over the triangle.
        if (!inside(t, f, p_low)) return general_case();
        vec3f foot = p_low - n * (s_low / nn);
        out.depth = r - length(p_low - foot);
        out.normal = nhat;
        out.point = ring_point_nearest(c, a, R, foot) - nhat * r;
        return out;
    }

    if (flat) {
        // Lying flat, sunk into the face: as deep as the ring is below it.
        if (!inside(t, f, c)) return general_case();
        out.depth = std::fabs(s_low) / std::sqrt(nn) + r;
        out.normal = nhat;
        out.point = p_low - nhat * r;
        return out;
    }

    if (s_high > 0.0f) {
        // The ring cuts the plane. X: where the line through c along d
        // meets it.
        float along = dot(t.v[0] - c, n) / dot(dhat, n);
        vec3f x = c + dhat * along;
        if (inside(t, f, x)) {
            out.depth = std::fabs(s_low) / std::sqrt(nn) + r;
            out.normal = nhat;
            out.point = p_low - nhat * r;
            return out;
        }
        for (int k = 0; k < 3; k++) {
            if (!outside_edge(t, f.m[k], k, x)) continue;
            const vec3f& v0 = t.v[k];
            const vec3f& v1 = t.v[(k + 1) % 3];
            bool side0 = dot(v0 - c, a) <= 0.0f, side1 = dot(v1 - c, a) <= 0.0f;
            if (side0 == side1) continue;
            float s = dot(c - v0, a) / dot(f.e[k], a);
            vec3f y = v0 + f.e[k] * s;
            if (!(length_sq(y - c) < R * R)) continue;
            // The edge passes through the wheel's disc.
            vec3f tangent = cross(y - c, a);
            if (dot(tangent, n) < 0.0f) tangent = -tangent;
            out.normal = normalised_or(cross(f.e[k], tangent), nhat);
            out.point = ring_point_nearest(c, a, R, y) - out.normal * r;
            out.depth = r - tiny;
            return out;
        }
        return general_case();
    }

    // The ring's diameter along d is on or below the plane: sunk deep.
    if (inside_from_above(t, f, c)) {
        out.depth = 2.0f * R;
        out.normal = world_up;
        out.point = p_low;
        return out;
    }
    return general_case();
}

struct cell_range {
    int i0 = 0, i1 = -1, j0 = 0, j1 = -1;  // inclusive
    bool empty() const { return i1 < i0 || j1 < j0; }
};

// Columns floor((x - reach) / cell) to ceil((x + reach) / cell) - 1, rows
// likewise. The caller has checked the inputs; the count per axis is still
// capped (keeping the cells nearest the centre) so that an odd grid cannot
// make a query unbounded.
void axis_range(float x, float reach, float cell, int& lo, int& hi) {
    double a = std::floor((double)(x - reach) / cell);
    double b = std::ceil((double)(x + reach) / cell) - 1.0;
    if (b - a + 1.0 > max_query_cells) {
        double mid = std::floor((double)x / cell);
        a = mid - max_query_cells / 2;
        b = a + max_query_cells - 1;
    }
    lo = (int)a;
    hi = (int)b;
}

bool query_range(const vec3f& centre, float reach, cell_range& out) {
    out = cell_range{};
    if (!height_field_loaded() || !ground_query_sane(centre, reach)) return false;
    axis_range(centre[0], reach, terrain.cell_size, out.i0, out.i1);
    axis_range(centre[2], reach, terrain.cell_size, out.j0, out.j1);
    return !out.empty();
}

// Whether every height sample at the corners of the range's cells lies
// below `lowest`: then nothing of a query over that range can reach the
// ground. The margin keeps rounding in the exact tests from ever mattering.
bool range_below(const cell_range& range, float lowest) {
    constexpr float margin = 1.0f / 64;
    lowest -= margin;
    for (int j = range.j0; j <= range.j1 + 1; j++)
        for (int i = range.i0; i <= range.i1 + 1; i++)
            if (!(sample_height(i, j) < lowest)) return false;
    return true;
}

void finish_contact(const triangle_depth& best, ground_contact& out) {
    out.point = best.point;
    out.normal = ground_normal_fixup(best.normal);
    out.depth = best.depth;
}

// Whether a triangle can be touched at all by a tire of ring radius R and
// section r. Only a tire whose whole ring is above the triangle's plane is
// judged here (one sunk into it gets the face answer, however deep): then
// the tire reaches the triangle only if its plane is within R + r of the
// centre and the triangle comes within r of the wheel plane. Most
// triangles round a wheel on the ground fail that; skipping them spares the
// costly general case without changing a result (such a triangle only
// ever gives a depth of 0 or less). A little slack keeps rounding from
// dropping a grazing contact.
bool tire_may_touch(const vec3f& c, const vec3f& a, float R, float r, const ground_triangle& t) {
    float aa = length_sq(a), nn = length_sq(t.n);
    if (!(aa > 0.0f) || !(nn > 0.0f)) return true;
    float above = dot(c - t.v[0], t.n) / std::sqrt(nn);
    if (!(above > R * 1.001f + 1e-4f)) return true;
    if (above > (R + r) * 1.001f + 1e-4f) return false;
    float reach = r * std::sqrt(aa) * 1.001f + 1e-4f;
    float s0 = dot(t.v[0] - c, a), s1 = dot(t.v[1] - c, a), s2 = dot(t.v[2] - c, a);
    return !((s0 > reach && s1 > reach && s2 > reach) || (s0 < -reach && s1 < -reach && s2 < -reach));
}

}  // namespace

ground_triangle make_ground_triangle(const vec3f& v0, const vec3f& v1, const vec3f& v2) {
    ground_triangle t;
    t.v[0] = v0;
    t.v[1] = v1;
    t.v[2] = v2;
    t.n = cross(v1 - v0, v2 - v0);
    return t;
}

ground_triangle terrain_triangle(int i, int j, int which) {
    float cs = terrain.cell_size;
    auto vertex = [&](int vi, int vj) -> vec3f { return {(float)vi * cs, sample_height(vi, vj), (float)vj * cs}; };
    bool same = ((i ^ j) & 1) == 0;
    if (same) {
        if (which == 0) return make_ground_triangle(vertex(i, j), vertex(i, j + 1), vertex(i + 1, j + 1));
        return make_ground_triangle(vertex(i + 1, j + 1), vertex(i + 1, j), vertex(i, j));
    }
    if (which == 0) return make_ground_triangle(vertex(i, j), vertex(i, j + 1), vertex(i + 1, j));
    return make_ground_triangle(vertex(i + 1, j + 1), vertex(i + 1, j), vertex(i, j + 1));
}

vec3f ring_point_nearest(const vec3f& c, const vec3f& a, float R, const vec3f& p) {
    float aa = dot(a, a);
    if (!(aa > 0.0f)) return c;
    vec3f u = across_axle(p - c, a);
    float limit = R * 1.0e-6f;
    if (length_sq(u) < limit) {
        // On the axle line every ring point is as near; take a fixed one.
        for (int k = 0; k < 8; k++) {
            vec3f v = {(k & 1) ? R : 0.0f, (k & 2) ? R : 0.0f, (k & 4) ? R : 0.0f};
            v = across_axle(v, a);
            if (length_sq(v) >= limit) {
                u = v;
                break;
            }
        }
    }
    float l = length(u);
    if (!(l > 0.0f)) return c;
    return c + u * (R / l);
}

triangle_depth tire_triangle_depth(const vec3f& c, const vec3f& a, float R, float r, const ground_triangle& t) {
    return tire_depth(c, a, R, r, t, true);
}

triangle_depth tire_triangle_depth_simple(const vec3f& c, const vec3f& a, float R, float r,
                                          const ground_triangle& t) {
    return tire_depth(c, a, R, r, t, false);
}

triangle_depth ring_triangle_distance(const vec3f& c, const vec3f& a, float R, float r, const ground_triangle& t) {
    const vec3f& n = t.n;
    edge_frame f = edges_of(t, n);
    float dist[6];
    vec3f nearest[3];

    for (int k = 0; k < 3; k++) {
        const vec3f& v = t.v[k];
        const vec3f& e = f.e[k];
        float ee = dot(e, e);
        if (!(ee > 0.0f)) {
            // A collapsed edge is just its vertex, which the vertex test covers.
            nearest[k] = v;
            dist[k] = INFINITY;
            continue;
        }
        float foot = dot(c - v, e) / ee;
        vec3f e_perp = cross(cross(e, a), a);
        float delta;
        if (length_sq(e_perp) < R * 1.0e-6f) {
            delta = 0.001f * R;
        } else {
            vec3f ep = e_perp * (1.0f / length(e_perp));
            delta = R * std::fabs(dot(ep, e)) / ee;
        }
        edge_quartic q;
        q.p0 = v - c;
        q.q0 = q.p0 - a * dot(a, q.p0);
        q.e = e;
        q.qe = e - a * dot(a, e);
        q.R2 = R * R;
        float best_d = 0;
        vec3f best_e{};
        for (int start = 0; start < 2; start++) {
            float tt = clamp01(newton_on_edge(q, start == 0 ? foot - delta : foot + delta));
            vec3f point = v + e * tt;
            float d = length(ring_point_nearest(c, a, R, point) - point);
            if (start == 0 || d < best_d) {
                best_d = d;
                best_e = point;
            }
        }
        nearest[k] = best_e;
        dist[k] = best_d;
    }
    for (int k = 0; k < 3; k++) {
        vec3f u = across_axle(t.v[k] - c, a);
        float l = length(u);
        if (l > R) u = u * (R / l);
        dist[3 + k] = length(c + u - t.v[k]);
    }
    int best = 0;
    for (int k = 1; k < 6; k++)
        if (dist[k] < dist[best]) best = k;

    triangle_depth out;
    out.depth = dist[best];
    if (best < 3) {
        vec3f e_point = nearest[best];
        vec3f q = ring_point_nearest(c, a, R, e_point);
        if (dist[best] > tiny) {
            out.point = e_point;
            out.normal = q - e_point;
        } else {
            // The edge touches the circle: push across the edge, away from
            // the ring's inside.
            vec3f tangent = cross(q - c, a);
            if (dot(tangent, n) < 0.0f) tangent = -tangent;
            vec3f dir = cross(f.e[best], tangent);
            if (length_sq(dir) < tiny) dir = n;
            out.normal = normalised_or(dir, world_up);
            out.point = q - out.normal * r;
        }
        return out;
    }
    const vec3f& vertex = t.v[best - 3];
    out.point = vertex;
    out.normal = dot(vertex - c, a) > 0.0f ? -a : a;
    return out;
}

triangle_depth sphere_triangle_depth(const vec3f& p, float radius, const ground_triangle& t) {
    triangle_depth out;
    const vec3f& n = t.n;
    float nn = length_sq(n);
    if (!(nn > 0.0f)) return out;
    edge_frame f = edges_of(t, n);
    bool outside_any = false;
    for (int k = 0; k < 3; k++) outside_any |= outside_edge(t, f.m[k], k, p);

    auto from_feature = [&](const vec3f& w) {
        float l = length(w);
        out.normal = normalised_or(w, world_up);
        out.point = p - out.normal * radius;
        out.depth = radius - l;
        return out;
    };

    if (outside_any) {
        // Nearest edge: one that the centre lies outside of and within the
        // span of (the edge's own region); otherwise the nearest corner.
        for (int k = 0; k < 3; k++) {
            if (!outside_edge(t, f.m[k], k, p)) continue;
            float ee = dot(f.e[k], f.e[k]);
            if (!(ee > 0.0f)) continue;
            float s = dot(p - t.v[k], f.e[k]) / ee;
            if (s >= 0.0f && s <= 1.0f) return from_feature((p - t.v[k]) - f.e[k] * s);
        }
        int nearest = 0;
        for (int k = 1; k < 3; k++)
            if (length_sq(p - t.v[k]) < length_sq(p - t.v[nearest])) nearest = k;
        return from_feature(p - t.v[nearest]);
    }

    vec3f nhat = n * (1.0f / std::sqrt(nn));
    out.depth = radius - dot(p - t.v[0], nhat);
    if (out.depth <= 2.0f * radius) {
        out.normal = nhat;
        out.point = p - nhat * radius;
        return out;
    }
    // The centre is more than a radius below the face.
    if (!inside_from_above(t, f, p)) {
        out.depth = 0;
        return out;
    }
    out.normal = world_up;
    out.point = p - world_up * radius;
    return out;
}

bool ground_query_sane(const vec3f& centre, float reach) {
    for (float v : centre)
        if (!std::isfinite(v) || std::fabs(v) > ground_coordinate_limit) return false;
    if (!std::isfinite(reach) || !(reach > 0.0f)) return false;
    float cs = terrain.cell_size;
    if (!(cs > 0.0f) || !std::isfinite(cs)) return false;
    // Grid coordinates must fit an int with room to spare.
    double limit = 1073741824.0;
    for (int axis : {0, 2}) {
        double lo = ((double)centre[axis] - reach) / cs, hi = ((double)centre[axis] + reach) / cs;
        if (!(std::fabs(lo) < limit) || !(std::fabs(hi) < limit)) return false;
    }
    return true;
}

vec3f ground_normal_fixup(vec3f n) {
    if (n[1] < 0.0f) {
        if (n[0] * n[0] + n[2] * n[2] >= 1.0f / 1024.0f)
            n[1] = 0.0f;
        else
            n = world_up;
    }
    return normalised_or(n, world_up);
}

int centre_out_offset(int n, int step) {
    int mid = (n - 1) / 2;
    return (step & 1) == 0 ? mid - step / 2 : mid + step / 2 + 1;
}

namespace {

// Distance from p to the nearest point of the triangle (in double, relative
// to p, so that it is far more exact than the float tests it bounds).
double point_triangle_distance(const vec3f& p, const ground_triangle& t) {
    using d3 = std::array<double, 3>;
    auto rel = [&](const vec3f& v) { return d3{(double)v[0] - p[0], (double)v[1] - p[1], (double)v[2] - p[2]}; };
    auto sub = [](const d3& x, const d3& y) { return d3{x[0] - y[0], x[1] - y[1], x[2] - y[2]}; };
    auto dot3 = [](const d3& x, const d3& y) { return x[0] * y[0] + x[1] * y[1] + x[2] * y[2]; };
    auto len = [&](const d3& x) { return std::sqrt(dot3(x, x)); };
    auto along = [](const d3& o, const d3& e, double s) { return d3{o[0] + e[0] * s, o[1] + e[1] * s, o[2] + e[2] * s}; };
    // Vertices relative to p; the query point is the origin.
    const d3 A = rel(t.v[0]), B = rel(t.v[1]), C = rel(t.v[2]);
    const d3 ab = sub(B, A), ac = sub(C, A), ap = {-A[0], -A[1], -A[2]};
    double d1 = dot3(ab, ap), d2 = dot3(ac, ap);
    if (d1 <= 0 && d2 <= 0) return len(A);
    const d3 bp = {-B[0], -B[1], -B[2]};
    double d3_ = dot3(ab, bp), d4 = dot3(ac, bp);
    if (d3_ >= 0 && d4 <= d3_) return len(B);
    double vc = d1 * d4 - d3_ * d2;
    if (vc <= 0 && d1 >= 0 && d3_ <= 0) return len(along(A, ab, d1 / (d1 - d3_)));
    const d3 cp = {-C[0], -C[1], -C[2]};
    double d5 = dot3(ab, cp), d6 = dot3(ac, cp);
    if (d6 >= 0 && d5 <= d6) return len(C);
    double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) return len(along(A, ac, d2 / (d2 - d6)));
    double va = d3_ * d6 - d5 * d4;
    if (va <= 0 && d4 - d3_ >= 0 && d5 - d6 >= 0)
        return len(along(B, sub(C, B), (d4 - d3_) / ((d4 - d3_) + (d5 - d6))));
    double denom = 1 / (va + vb + vc);
    return len(along(along(A, ab, vb * denom), ac, vc * denom));
}

// How far the triangle lies from the wheel plane (through c, across the unit
// axle a): 0 when the plane cuts it.
double wheel_plane_distance(const vec3f& c, const vec3f& a, const ground_triangle& t) {
    double al = std::sqrt((double)a[0] * a[0] + (double)a[1] * a[1] + (double)a[2] * a[2]);
    if (!(al > 0)) return 0;
    double s[3];
    for (int k = 0; k < 3; k++) {
        s[k] = 0;
        for (int x = 0; x < 3; x++) s[k] += ((double)t.v[k][(size_t)x] - c[(size_t)x]) * a[(size_t)x];
        s[k] /= al;
    }
    if (s[0] > 0 && s[1] > 0 && s[2] > 0) return std::min({s[0], s[1], s[2]});
    if (s[0] < 0 && s[1] < 0 && s[2] < 0) return -std::max({s[0], s[1], s[2]});
    return 0;
}

// Triangles of a deepest-tire query, held back so that the iterative case
// runs only where it could still give the deepest contact.
constexpr int staged_triangle_limit = 128;
struct staged_triangle {
    ground_triangle t;
    triangle_depth d;
    bool general = false;
};

}  // namespace

bool tire_ground_deepest(const vec3f& c, const vec3f& a, float R, float r, ground_contact& out) {
    cell_range range;
    if (!query_range(c, R + r, range)) return false;
    if (range_below(range, c[1] - (R + r))) return false;
    triangle_depth best;
    best.depth = 0;
    const long count = 2L * (range.i1 - range.i0 + 1) * (range.j1 - range.j0 + 1);
    if (count > staged_triangle_limit) {
        for (int j = range.j0; j <= range.j1; j++)
            for (int i = range.i0; i <= range.i1; i++)
                for (int which = 0; which < 2; which++) {
                    ground_triangle t = terrain_triangle(i, j, which);
                    if (!tire_may_touch(c, a, R, r, t)) continue;
                    triangle_depth d = tire_triangle_depth(c, a, R, r, t);
                    if (d.depth > best.depth) best = d;
                }
    } else {
        // First every closed-form answer; then the iterative case only for
        // triangles that could beat the deepest of those. Each iterative
        // distance is between a point of the triangle and one of the wheel's
        // disc, so it is at least the distance from c to the triangle less
        // R, and at least the triangle's distance from the wheel plane: a
        // triangle whose depth cannot reach the best found is never the
        // answer, and skipping it changes nothing (the first deepest in scan
        // order still wins).
        staged_triangle staged[staged_triangle_limit];
        int n = 0;
        float closed_best = 0;
        for (int j = range.j0; j <= range.j1; j++)
            for (int i = range.i0; i <= range.i1; i++)
                for (int which = 0; which < 2; which++) {
                    staged_triangle& e = staged[n];
                    e.t = terrain_triangle(i, j, which);
                    if (!tire_may_touch(c, a, R, r, e.t)) continue;
                    e.general = false;
                    e.d = tire_depth(c, a, R, r, e.t, false, &e.general);
                    if (!e.general && e.d.depth > closed_best) closed_best = e.d.depth;
                    n++;
                }
        const double slack = 1.0e-3 * (R + r) + 1.0e-3;
        for (int k = 0; k < n; k++) {
            staged_triangle& e = staged[k];
            if (e.general) {
                double apart = std::max(point_triangle_distance(c, e.t) - R, wheel_plane_distance(c, a, e.t));
                double bound = r - std::max(0.0, apart) + slack;
                if (bound < closed_best) continue;
                e.d = tire_triangle_depth(c, a, R, r, e.t);
            }
            if (e.d.depth > best.depth) best = e.d;
        }
    }
    if (!(best.depth > 0.0f)) return false;
    finish_contact(best, out);
    return true;
}

bool tire_ground_first(const vec3f& c, const vec3f& a, float R, float r, ground_contact& out) {
    cell_range range;
    if (!query_range(c, R + r, range)) return false;
    int rows = range.j1 - range.j0 + 1, cols = range.i1 - range.i0 + 1;
    for (int sj = 0; sj < rows; sj++) {
        int j = range.j0 + centre_out_offset(rows, sj);
        for (int si = 0; si < cols; si++) {
            int i = range.i0 + centre_out_offset(cols, si);
            for (int which = 0; which < 2; which++) {
                ground_triangle t = terrain_triangle(i, j, which);
                if (!tire_may_touch(c, a, R, r, t)) continue;
                triangle_depth d = tire_triangle_depth_simple(c, a, R, r, t);
                if (d.depth > 0.0f) {
                    finish_contact(d, out);
                    return true;
                }
            }
        }
    }
    return false;
}

bool ball_clear_of_ground(const vec3f& centre, float reach) {
    cell_range range;
    if (!query_range(centre, reach, range)) return false;
    // A capped range would not cover every query inside the ball.
    if (range.i1 - range.i0 + 1 >= max_query_cells || range.j1 - range.j0 + 1 >= max_query_cells) return false;
    return range_below(range, centre[1] - reach);
}

bool sphere_ground_deepest(const vec3f& centre, float radius, ground_contact& out) {
    cell_range range;
    if (!query_range(centre, radius, range)) return false;
    if (range_below(range, centre[1] - radius)) return false;
    triangle_depth best;
    best.depth = 0;
    for (int j = range.j0; j <= range.j1; j++)
        for (int i = range.i0; i <= range.i1; i++)
            for (int which = 0; which < 2; which++) {
                triangle_depth d = sphere_triangle_depth(centre, radius, terrain_triangle(i, j, which));
                if (d.depth > best.depth) best = d;
            }
    if (!(best.depth > 0.0f)) return false;
    finish_contact(best, out);
    return true;
}
