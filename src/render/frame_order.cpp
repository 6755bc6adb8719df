#include "render/frame_order.h"

#include <algorithm>
#include <array>
#include <cmath>

frustum_extents projection_extents(int width, int height, double fov_degrees) {
    frustum_extents f;
    if (width <= 0 || height <= 0 || !std::isfinite(fov_degrees)) return f;
    double half = std::clamp(fov_degrees, 1.0, 179.0) * 0.008726646259971648;
    double aspect = (double)width / height;
    if (aspect > 4.0 / 3.0) {
        f.hy = std::tan(half) * 0.75;
        f.hx = f.hy * aspect;
    } else {
        f.hx = std::tan(half);
        f.hy = f.hx / aspect;
    }
    return f;
}

float ghost_fade(double distance, double fade_distance) {
    if (!(fade_distance > 0) || !std::isfinite(distance)) return 1;
    double half = fade_distance * 0.5;
    return (float)std::clamp((distance - half) / (fade_distance - half), 0.0, 1.0);
}

uint32_t depth_key(double depth) {
    double k = std::floor(1024.0 * depth + 16777216.0);
    if (!(k > 0)) return 0;
    if (k >= 4294967295.0) return 4294967295u;
    return (uint32_t)k;
}

void radix_sort_entries(std::vector<billboard_entry>& list) {
    std::vector<billboard_entry> other(list.size());
    for (int shift = 0; shift < 32; shift += 8) {
        std::array<size_t, 257> start{};
        for (const billboard_entry& e : list) start[((e.key >> shift) & 255) + 1]++;
        for (int b = 0; b < 256; b++) start[b + 1] += start[b];
        for (const billboard_entry& e : list) other[start[(e.key >> shift) & 255]++] = e;
        list.swap(other);
    }
}

namespace {

// The extent's ends as horizontal screen positions (right over forward);
// an end behind the eye counts as far off to its side.
void screen_span(const billboard_entry& e, double rx, double rz, double fx, double fz, double& lo, double& hi) {
    double ends[2];
    for (int k = 0; k < 2; k++) {
        double s = k ? e.half_width : -e.half_width;
        double px = e.x + rx * s, pz = e.z + rz * s;
        double across = px * rx + pz * rz, ahead = px * fx + pz * fz;
        ends[k] = ahead > 1e-6 ? across / ahead : (across >= 0 ? 1e30 : -1e30);
    }
    lo = std::min(ends[0], ends[1]);
    hi = std::max(ends[0], ends[1]);
}

}  // namespace

bool extents_overlap(const billboard_entry& a, const billboard_entry& b, double rx, double rz, double fx,
                     double fz) {
    double alo, ahi, blo, bhi;
    screen_span(a, rx, rz, fx, fz, alo, ahi);
    screen_span(b, rx, rz, fx, fz, blo, bhi);
    return alo < bhi && blo < ahi;
}

void regroup_entries(std::vector<billboard_entry>& list, int lookahead, double rx, double rz, double fx,
                     double fz) {
    if (lookahead <= 1) return;
    size_t n = list.size();
    for (size_t k = 0; k + 2 < n; k++) {
        size_t last = std::min(n - 1, k + (size_t)lookahead - 1);
        size_t found = 0;
        for (size_t j = k + 1; j <= last; j++)
            if (list[j].texture == list[k].texture) {
                found = j;
                break;
            }
        if (found < k + 2) continue;
        bool blocked = false;
        for (size_t j = k + 1; j < found && !blocked; j++)
            blocked = extents_overlap(list[found], list[j], rx, rz, fx, fz);
        if (blocked) continue;
        billboard_entry moved = list[found];
        for (size_t j = found; j > k + 1; j--) list[j] = list[j - 1];
        list[k + 1] = moved;
    }
}

bool sphere_in_view(double x, double y, double z, double radius, const frustum_extents& f) {
    double depth = -z;
    if (!(depth > -radius)) return false;
    // Distance to a side plane |x| = h·depth is (|x| - h·depth) / sqrt(1 + h²).
    return std::fabs(x) - f.hx * depth <= radius * std::sqrt(1 + f.hx * f.hx) &&
           std::fabs(y) - f.hy * depth <= radius * std::sqrt(1 + f.hy * f.hy);
}

bool flare_on_screen(const flare_probe& p, const frustum_extents& f, double& sx, double& sy) {
    if (!(p.z < 0)) return false;
    sx = p.x / -p.z;
    sy = p.y / -p.z;
    return std::fabs(sx) < f.hx && std::fabs(sy) < f.hy;
}

double linear_depth_fraction(double depth_value, double near_plane, double far_plane) {
    if (!(far_plane > near_plane) || !(near_plane > 0)) return 1;
    double d = std::clamp(depth_value, 0.0, 1.0);
    double eye = near_plane * far_plane / (far_plane - d * (far_plane - near_plane));
    return std::clamp((eye - near_plane) / (far_plane - near_plane), 0.0, 1.0);
}

float flare_visibility(const flare_probe& p, double sx, double sy, const frustum_extents& f, const uint8_t rgb[3],
                       double depth_fraction) {
    if (rgb[0] < 224 || rgb[1] < 224 || rgb[2] < 224) return 0;
    double need = p.directional ? 0.4 : std::clamp((-p.z - 0.25) * 0.00020001, 0.0, 1.0);
    if (depth_fraction < need) return 0;
    double e = std::min(f.hx, f.hy) / 32;
    auto ramp = [e](double s, double limit) { return std::clamp((limit - std::fabs(s)) / e, 0.0, 1.0); };
    return (float)std::min(ramp(sx, f.hx), ramp(sy, f.hy));
}
