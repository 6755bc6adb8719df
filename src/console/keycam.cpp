#include "console/keycam.h"

#include <algorithm>
#include <cmath>

#include "core/scan.h"
#include "core/text.h"
#include "render/frame_draw.h"

bool keycam_mode = false;

namespace {

std::vector<key_frame> g_frames;

// The first key frame whose tic is later than `tic`, or the count.
size_t first_later(int tic) {
    auto it = std::upper_bound(g_frames.begin(), g_frames.end(), tic,
                               [](int t, const key_frame& k) { return t < k.tic; });
    return (size_t)(it - g_frames.begin());
}

// One component along the cubic Hermite segment from p1 to p2, the tangents
// from the neighbours scaled to the segment's length in tics.
double hermite(double p0, double p1, double p2, double p3, double t0, double t1, double t2, double t3, double u) {
    double span = t2 - t1;
    if (span <= 0) return p1;
    double m1 = t1 - t0 > 0 ? ((p2 - p1) + (p1 - p0) * span / (t1 - t0)) / 2 : 0;
    double m2 = t3 - t2 > 0 ? ((p2 - p1) + (p3 - p2) * span / (t3 - t2)) / 2 : 0;
    double u2 = u * u, u3 = u2 * u;
    return p1 + m1 * u + (3 * (p2 - p1) - 2 * m1 - m2) * u2 + (2 * (p1 - p2) + m1 + m2) * u3;
}

double dot4(const std::array<float, 4>& a, const std::array<float, 4>& b) {
    return (double)a[0] * b[0] + (double)a[1] * b[1] + (double)a[2] * b[2] + (double)a[3] * b[3];
}

std::array<float, 4> negated(std::array<float, 4> q) {
    for (float& v : q) v = -v;
    return q;
}

}  // namespace

std::vector<key_frame>& key_frames() { return g_frames; }

std::array<float, 4> yaw_pitch_quaternion(double yaw, double pitch) {
    double cy = std::cos(yaw / 2), sy = std::sin(yaw / 2), cp = std::cos(pitch / 2), sp = std::sin(pitch / 2);
    return {(float)(cy * sp), (float)(sy * cp), (float)(-sy * sp), (float)(cy * cp)};
}

void insert_key_frame(const key_frame& k) { g_frames.insert(g_frames.begin() + (long)first_later(k.tic), k); }

void delete_key_frame(int tic) {
    if (g_frames.size() < 2) {
        g_frames.clear();
        return;
    }
    size_t i = first_later(tic);
    size_t victim;
    if (i == 0)
        victim = 0;
    else if (i == g_frames.size())
        victim = i - 1;
    else
        victim = (long long)tic - g_frames[i - 1].tic <= (long long)g_frames[i].tic - tic ? i - 1 : i;
    g_frames.erase(g_frames.begin() + (long)victim);
}

bool key_frame_at(int tic, key_frame& out) {
    if (g_frames.empty()) return false;
    size_t n = g_frames.size(), i = first_later(tic);
    if (i == 0) {
        out = g_frames.front();
        return true;
    }
    if (i == n) {
        out = g_frames.back();
        return true;
    }
    const key_frame& k1 = g_frames[i - 1];
    const key_frame& k2 = g_frames[i];
    const key_frame& k0 = g_frames[i >= 2 ? i - 2 : 0];
    const key_frame& k3 = g_frames[std::min(i + 1, n - 1)];
    double t0 = k0.tic, t1 = k1.tic, t2 = k2.tic, t3 = k3.tic;
    double u = t2 == t1 ? 0 : std::clamp(((double)tic - t1) / (t2 - t1), 0.0, 1.0);

    out = k1;
    out.tic = tic;
    for (size_t c = 0; c < 3; c++)
        out.position[c] = (float)hermite(k0.position[c], k1.position[c], k2.position[c], k3.position[c], t0, t1,
                                         t2, t3, u);
    // q and -q are the same turn; the neighbours take the sign nearer K2's
    // so the spline does not swing the long way round.
    std::array<float, 4> q2 = k2.rotation;
    std::array<float, 4> q0 = dot4(k0.rotation, q2) < 0 ? negated(k0.rotation) : k0.rotation;
    std::array<float, 4> q1 = dot4(k1.rotation, q2) < 0 ? negated(k1.rotation) : k1.rotation;
    std::array<float, 4> q3 = dot4(k3.rotation, q2) < 0 ? negated(k3.rotation) : k3.rotation;
    std::array<double, 4> q{};
    double len2 = 0;
    for (size_t c = 0; c < 4; c++) {
        q[c] = hermite(q0[c], q1[c], q2[c], q3[c], t0, t1, t2, t3, u);
        len2 += q[c] * q[c];
    }
    double len = std::sqrt(len2);
    for (size_t c = 0; c < 4; c++) out.rotation[c] = len > 0 ? (float)(q[c] / len) : (c == 3 ? 1.0f : 0.0f);
    out.fov = (float)(k1.fov + (k2.fov - k1.fov) * u);
    return true;
}

bool keycam_camera(int tic, frame_camera& out) {
    key_frame k;
    if (!keycam_mode || !key_frame_at(tic, k)) return false;
    double x = k.rotation[0], y = k.rotation[1], z = k.rotation[2], w = k.rotation[3];
    double m[3][3] = {
        {1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
        {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
        {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)},
    };
    // The quaternion's frame looks along -z at yaw 0, the free camera along
    // +z: half a turn about y between them.
    out = frame_camera{};
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) out.orientation[(size_t)(r * 3 + c)] = (r == 1 ? 1 : -1) * m[r][c];
    out.position = {k.position[0], k.position[1], k.position[2]};
    out.fov = k.fov;
    return true;
}

bool parse_key_frames(const char* text, size_t length, std::vector<key_frame>& out) {
    size_t pos = 0;
    while (pos < length) {
        size_t end = pos;
        while (end < length && text[end] != '\n') end++;
        key_frame k;
        float* p = k.position.data();
        float* q = k.rotation.data();
        int got = string_scanf(text + pos, end - pos, nullptr, "%f %f %f %f %f %f %f %f %d", &p[0], &p[1], &p[2],
                               &q[0], &q[1], &q[2], &q[3], &k.fov, &k.tic);
        if (got != 9) return false;
        bool finite = std::isfinite(k.fov);
        for (float v : k.position) finite = finite && std::isfinite(v);
        for (float v : k.rotation) finite = finite && std::isfinite(v);
        if (!finite) return false;
        out.push_back(k);
        pos = end + 1;
    }
    return true;
}

std::string format_key_frames(const std::vector<key_frame>& frames) {
    std::string text;
    for (const key_frame& k : frames)
        text += format_string("%.4f %.4f %.4f %.4f %.4f %.4f %.4f %.2f %d\n", (double)k.position[0],
                              (double)k.position[1], (double)k.position[2], (double)k.rotation[0],
                              (double)k.rotation[1], (double)k.rotation[2], (double)k.rotation[3], (double)k.fov,
                              k.tic);
    return text;
}
