// Reading ".jm" text, removing degenerate triangles, and the derived data:
// tangents, texture density, bounds.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/diag.h"
#include "core/text.h"
#include "render/model.h"
#include "vfs/vfs.h"

namespace {

// Blank-separated numbers over a bounded buffer, with scanf's "%f" / "%d"
// behaviour: a number is the longest prefix that converts, and whatever
// follows is left for the next read.
struct number_reader {
    const char* p;
    const char* end;

    void skip_blanks() {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v')) p++;
    }
    // Copies the next run of non-blank bytes (at most 63) for conversion.
    size_t token(char* buffer) {
        skip_blanks();
        size_t n = 0;
        while (p + n < end && n < 63 && !strchr(" \t\n\r\f\v", p[n]) && p[n] != 0) {
            buffer[n] = p[n];
            n++;
        }
        buffer[n] = 0;
        return n;
    }
    bool real(float& out) {
        char buffer[64];
        if (!token(buffer)) return false;
        char* stop = nullptr;
        double v = parse_double_c(buffer, &stop);
        if (stop == buffer) return false;
        // Infinities and NaNs are no coordinates; such a file is corrupt.
        if (!std::isfinite(v) || std::fabs(v) > 3.0e38) return false;
        p += stop - buffer;
        out = (float)v;
        return true;
    }
    bool integer(int& out) {
        char buffer[64];
        if (!token(buffer)) return false;
        char* stop = nullptr;
        errno = 0;
        long long v = strtoll(buffer, &stop, 10);
        if (stop == buffer) return false;
        p += stop - buffer;
        out = (int)std::clamp(v, (long long)INT_MIN, (long long)INT_MAX);
        return true;
    }
    bool word(std::string& out, size_t limit) {
        skip_blanks();
        const char* start = p;
        while (p < end && !strchr(" \t\n\r\f\v", *p) && *p != 0 && (size_t)(p - start) < limit) p++;
        out.assign(start, p);
        return p > start;
    }
};

// Bone weights of one vertex: four (weight, bone) slots; each weight above 0
// takes the slot holding the smallest weight so far.
struct weight_slots {
    float w[4] = {0, 0, 0, 0};
    int b[4] = {0, 0, 0, 0};
    bool crowded = false;
    void add(float weight, int bone) {
        if (!(weight > 0)) return;
        int k = 0;
        for (int i = 1; i < 4; i++)
            if (w[i] < w[k]) k = i;
        if (w[k] != 0) crowded = true;
        w[k] = weight;
        b[k] = bone;
    }
    void normalise() {
        float sum = w[0] + w[1] + w[2] + w[3];
        for (float& x : w) x = sum > 0 ? x / sum : 0.25f;
    }
};

bool read_vertices(number_reader& in, mesh& m, int count, int bones, const char* name) {
    bool warned = false;
    for (int i = 0; i < count; i++) {
        float v[8];
        for (float& x : v)
            if (!in.real(x)) return false;
        m.positions.insert(m.positions.end(), v, v + 3);
        m.normals.insert(m.normals.end(), v + 3, v + 6);
        m.texcoords.push_back(v[6]);
        m.texcoords.push_back(1 - v[7]);
        if (bones <= 0) continue;
        weight_slots slots;
        for (int b = 0; b < bones; b++) {
            float w;
            if (!in.real(w)) return false;
            slots.add(w, b);
        }
        if (slots.crowded && !warned) {
            show_messagef("Warning: vertex with more than 4 bone influences in '%.900s'", name);
            warned = true;
        }
        slots.normalise();
        for (int k = 0; k < 4; k++) {
            m.weights.push_back(slots.w[k]);
            m.bones.push_back((float)slots.b[k]);
        }
    }
    m.vertex_count = count;
    return true;
}

bool read_triangles(number_reader& in, mesh& m, int count) {
    for (int i = 0; i < 3 * count; i++) {
        int k;
        if (!in.integer(k)) return false;
        m.triangles.push_back(k);
    }
    m.triangle_count = count;
    return true;
}

bool counts_ok(int vertices, int triangles) {
    return vertices >= 0 && vertices <= model_max_vertices && triangles >= 0 && triangles <= model_max_triangles;
}

void keep_rest_pose(mesh& m) {
    if (m.bone_count <= 0) return;
    m.rest_positions = m.positions;
    m.rest_normals = m.normals;
}

inline void sub3(const float* a, const float* b, float* out) {
    out[0] = a[0] - b[0];
    out[1] = a[1] - b[1];
    out[2] = a[2] - b[2];
}
inline void cross3(const float* a, const float* b, float* out) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}
inline float dot3(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void compute_tangents(mesh& m) {
    size_t n = (size_t)m.vertex_count;
    std::vector<float> t(3 * n, 0.0f), b(3 * n, 0.0f);
    std::vector<signed char> hand(n, 0);
    const float min_det = 1.0f / (1 << 20);
    for (int k = 0; k < m.triangle_count; k++) {
        const int* tri = &m.triangles[(size_t)k * 3];
        const float* p0 = &m.positions[(size_t)tri[0] * 3];
        const float* p1 = &m.positions[(size_t)tri[1] * 3];
        const float* p2 = &m.positions[(size_t)tri[2] * 3];
        const float* t0 = &m.texcoords[(size_t)tri[0] * 2];
        const float* t1 = &m.texcoords[(size_t)tri[1] * 2];
        const float* t2 = &m.texcoords[(size_t)tri[2] * 2];
        float e1[3], e2[3];
        sub3(p1, p0, e1);
        sub3(p2, p0, e2);
        float du1 = t1[0] - t0[0], dv1 = t1[1] - t0[1], du2 = t2[0] - t0[0], dv2 = t2[1] - t0[1];
        float det = du1 * dv2 - du2 * dv1;
        if (std::fabs(det) < min_det) continue;
        float tt[3], bb[3];
        for (int c = 0; c < 3; c++) {
            tt[c] = (e1[c] * dv2 - e2[c] * dv1) / det;
            bb[c] = (e2[c] * du1 - e1[c] * du2) / det;
        }
        // Where the texture is mirrored the tangent flips; a vertex takes only
        // the triangles of its first handedness so that a seam of mirrored
        // mapping does not cancel its tangent out.
        for (int v = 0; v < 3; v++) {
            size_t i = (size_t)tri[v];
            float nb[3];
            cross3(&m.normals[i * 3], tt, nb);
            signed char h = dot3(nb, bb) < 0 ? -1 : 1;
            if (!hand[i]) hand[i] = h;
            if (hand[i] != h) continue;
            for (int c = 0; c < 3; c++) {
                t[i * 3 + c] += tt[c];
                b[i * 3 + c] += bb[c];
            }
        }
    }
    m.tangents.assign(3 * n, 0.0f);
    for (size_t i = 0; i < n; i++) {
        const float* nv = &m.normals[i * 3];
        float* out = &m.tangents[i * 3];
        float d = dot3(&t[i * 3], nv);
        for (int c = 0; c < 3; c++) out[c] = t[i * 3 + c] - nv[c] * d;
        float len = std::sqrt(dot3(out, out));
        if (len < 1e-12f) {
            // No usable mapping: any direction square to the normal.
            float axis[3] = {std::fabs(nv[0]) < 0.9f ? 1.0f : 0.0f, std::fabs(nv[0]) < 0.9f ? 0.0f : 1.0f, 0};
            cross3(axis, nv, out);
            len = std::sqrt(dot3(out, out));
            if (len < 1e-12f) {
                out[0] = 1, out[1] = out[2] = 0;
                len = 1;
            }
        }
        for (int c = 0; c < 3; c++) out[c] /= len;
    }
    if (m.bone_count > 0) m.rest_tangents = m.tangents;
}

void compute_density(mesh& m) {
    m.texture_density[0] = m.texture_density[1] = 0;
    for (int k = 0; k < m.triangle_count; k++) {
        const int* tri = &m.triangles[(size_t)k * 3];
        for (int e = 0; e < 3; e++) {
            int a = tri[e], b = tri[(e + 1) % 3];
            float d[3];
            sub3(&m.positions[(size_t)a * 3], &m.positions[(size_t)b * 3], d);
            float len = std::sqrt(dot3(d, d));
            if (len < 1.0f / 16) continue;
            float du = std::fabs(m.texcoords[(size_t)a * 2] - m.texcoords[(size_t)b * 2]) / len;
            float dv = std::fabs(m.texcoords[(size_t)a * 2 + 1] - m.texcoords[(size_t)b * 2 + 1]) / len;
            m.texture_density[0] = std::max(m.texture_density[0], du);
            m.texture_density[1] = std::max(m.texture_density[1], dv);
        }
    }
}

}  // namespace

bool parse_model(const char* text, size_t length, const char* name, model& out) {
    out = model();
    out.name = name ? name : "";
    if (!text) return false;
    number_reader in{text, text + length};
    in.skip_blanks();
    bool jm = in.end - in.p >= 2 && in.p[0] == 'J' && in.p[1] == 'M';
    if (!jm) {
        int v, t;
        if (!in.integer(v) || !in.integer(t) || !counts_ok(v, t)) return false;
        mesh m;
        if (!read_vertices(in, m, v, 0, out.name.c_str()) || !read_triangles(in, m, t)) return false;
        out.meshes.push_back(std::move(m));
        return true;
    }
    in.p += 2;
    int version, bones = 0;
    if (!in.integer(version) || (version != 1 && version != 2)) return false;
    if (version == 2) {
        std::string bone_set;
        if (!in.integer(bones) || !in.word(bone_set, 1023)) return false;
        // The shader and the poses carry at most 32 bones.
        if (bones < 0 || bones > model_max_bones) return false;
    }
    for (;;) {
        float header[5];
        int v, t;
        bool ok = true;
        for (float& x : header) ok = ok && in.real(x);
        if (!ok || !in.integer(v) || !in.integer(t) || !counts_ok(v, t)) break;
        mesh m;
        m.shininess = header[0];
        m.specular[0] = header[2];
        m.specular[1] = header[3];
        m.specular[2] = header[4];
        m.specular[3] = header[0] >= 0 ? 1.0f : header[1];
        m.bone_count = bones;
        if (!read_vertices(in, m, v, bones, out.name.c_str()) || !read_triangles(in, m, t)) break;
        out.meshes.push_back(std::move(m));
    }
    return !out.meshes.empty();
}

int remove_degenerate_triangles(model& m) {
    const float min_area2 = std::ldexp(1.0f, -80);
    int removed = 0;
    for (mesh& me : m.meshes) {
        std::vector<int> kept;
        kept.reserve(me.triangles.size());
        for (int k = 0; k < me.triangle_count; k++) {
            const int* tri = &me.triangles[(size_t)k * 3];
            bool good = true;
            for (int v = 0; v < 3; v++) good = good && tri[v] >= 0 && tri[v] < me.vertex_count;
            if (good) {
                float e1[3], e2[3], c[3];
                sub3(&me.positions[(size_t)tri[1] * 3], &me.positions[(size_t)tri[0] * 3], e1);
                sub3(&me.positions[(size_t)tri[2] * 3], &me.positions[(size_t)tri[0] * 3], e2);
                cross3(e1, e2, c);
                good = dot3(c, c) >= min_area2;
            }
            if (good)
                kept.insert(kept.end(), tri, tri + 3);
            else
                removed++;
        }
        me.triangles = std::move(kept);
        me.triangle_count = (int)(me.triangles.size() / 3);
    }
    return removed;
}

void finish_model(model& m) {
    m.reflective = false;
    m.texture_density[0] = m.texture_density[1] = 0;
    bool first = true;
    for (mesh& me : m.meshes) {
        if (me.shininess == -1) m.reflective = true;
        keep_rest_pose(me);
        compute_tangents(me);
        compute_density(me);
        m.texture_density[0] = std::max(m.texture_density[0], me.texture_density[0]);
        m.texture_density[1] = std::max(m.texture_density[1], me.texture_density[1]);
        for (int i = 0; i < me.vertex_count; i++) {
            const float* p = &me.positions[(size_t)i * 3];
            for (int c = 0; c < 3; c++) {
                m.bounds_min[c] = first ? p[c] : std::min(m.bounds_min[c], p[c]);
                m.bounds_max[c] = first ? p[c] : std::max(m.bounds_max[c], p[c]);
            }
            first = false;
        }
    }
}

bool read_model_file(const char* name, model& out) {
    size_t length = 0;
    char* text = file_to_string(name, &length);
    if (!text) return false;
    bool ok = parse_model(text, length, name, out);
    checked_free(text);
    if (!ok) return false;
    int removed = remove_degenerate_triangles(out);
    if (removed > 0) show_messagef("%d degenerate triangles deleted in %.100s", removed, name);
    finish_model(out);
    return true;
}
