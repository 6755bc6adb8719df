#include "datagen/track_bake.h"

#include <algorithm>
#include <cmath>

namespace {

struct vec3 {
    double x, y, z;
};

vec3 sub(vec3 a, vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
vec3 cross(vec3 a, vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

// The two triangles of cell (i, j): each cell is cut along the diagonal
// joining its even-even and odd-odd corners.
void cell_triangles(int i, int j, int tri[2][3][2]) {
    bool same = ((i ^ j) & 1) == 0;
    if (same) {
        int a[2][3][2] = {{{i, j}, {i, j + 1}, {i + 1, j + 1}}, {{i + 1, j}, {i + 1, j + 1}, {i, j}}};
        std::copy(&a[0][0][0], &a[0][0][0] + 12, &tri[0][0][0]);
    } else {
        int a[2][3][2] = {{{i, j}, {i, j + 1}, {i + 1, j}}, {{i + 1, j}, {i + 1, j + 1}, {i, j + 1}}};
        std::copy(&a[0][0][0], &a[0][0][0] + 12, &tri[0][0][0]);
    }
}

}  // namespace

std::vector<float> heights_from_samples(const std::vector<uint16_t>& samples, float h0, float h1) {
    std::vector<float> h(samples.size());
    long double step = ((long double)h1 - (long double)h0) * (1.0L / 65535.0L);
    for (size_t k = 0; k < samples.size(); k++) h[k] = (float)((long double)h0 + (long double)samples[k] * step);
    return h;
}

void bake_sample_normal(const std::vector<float>& heights, int n, float cell, int i, int j, double out[3]) {
    i = std::clamp(i, 0, n - 1);
    j = std::clamp(j, 0, n - 1);
    vec3 sum{0, 0, 0};
    for (int cj = j - 1; cj <= j; cj++) {
        for (int ci = i - 1; ci <= i; ci++) {
            if (ci < 0 || cj < 0 || ci >= n - 1 || cj >= n - 1) continue;
            int tri[2][3][2];
            cell_triangles(ci, cj, tri);
            for (auto& t : tri) {
                bool touches = false;
                vec3 p[3];
                for (int k = 0; k < 3; k++) {
                    int a = t[k][0], b = t[k][1];
                    if (a == i && b == j) touches = true;
                    p[k] = {(double)a * cell, (double)heights[(size_t)a + (size_t)n * b], (double)b * cell};
                }
                if (!touches) continue;
                vec3 c = cross(sub(p[1], p[0]), sub(p[2], p[0]));
                if (c.y < 0) c = {-c.x, -c.y, -c.z};
                double l = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
                if (l > 0) sum = {sum.x + c.x / l, sum.y + c.y / l, sum.z + c.z / l};
            }
        }
    }
    double l = std::sqrt(sum.x * sum.x + sum.y * sum.y + sum.z * sum.z);
    if (l <= 0) {
        out[0] = 0, out[1] = 1, out[2] = 0;
        return;
    }
    out[0] = sum.x / l, out[1] = sum.y / l, out[2] = sum.z / l;
}

baked_lighting bake_track_lighting(int size_log2, float cell_size, float h0, float h1,
                                   const std::vector<uint16_t>& samples, const bake_light& light) {
    int n = 2 * (1 << size_log2) + 1;
    std::vector<float> h = heights_from_samples(samples, h0, h1);
    double sl = std::sqrt(light.sun[0] * light.sun[0] + light.sun[1] * light.sun[1] + light.sun[2] * light.sun[2]);
    double s[3] = {light.sun[0] / sl, light.sun[1] / sl, light.sun[2] / sl};
    baked_lighting out;
    out.shading.assign((size_t)n * n * 3, 0);
    out.shadows.assign((size_t)n * n, 0);

    // Shadows: march from each sample towards the sun over the ground; the
    // edge of a shadow is softened by how far below the ground the ray ran.
    double horizontal = std::sqrt(s[0] * s[0] + s[2] * s[2]);
    if (horizontal > 1e-6 && s[1] > 0) {
        double rise = s[1] / horizontal;  // height gained per foot travelled
        double dx = s[0] / horizontal, dz = s[2] / horizontal;
        double step = cell_size;
        double reach = std::min(400.0, (double)(n - 1) * cell_size);
        for (int j = 0; j < n; j++) {
            for (int i = 0; i < n; i++) {
                double x = i * cell_size, z = j * cell_size, y = h[(size_t)i + (size_t)n * j] + 0.05;
                double block = 0;
                for (double t = step; t < reach; t += step) {
                    double px = x + dx * t, pz = z + dz * t;
                    int a = (int)std::lround(px / cell_size), b = (int)std::lround(pz / cell_size);
                    if (a < 0 || b < 0 || a >= n || b >= n) break;
                    double ground = h[(size_t)a + (size_t)n * b];
                    double ray = y + rise * t;
                    if (ground > ray) block = std::max(block, std::min(1.0, (ground - ray) / 0.75));
                    if (block >= 1 || ray > h1) break;
                }
                // Shadows never go fully dark: sky light still reaches the ground.
                out.shadows[(size_t)i + (size_t)n * j] = (uint8_t)std::lround(block * 200);
            }
        }
    }

    for (int j = 0; j < n; j++) {
        for (int i = 0; i < n; i++) {
            double nv[3];
            bake_sample_normal(h, n, cell_size, i, j, nv);
            double d = std::clamp(nv[0] * s[0] + nv[1] * s[1] + nv[2] * s[2], 0.0, 1.0);
            d *= 1.0 - out.shadows[(size_t)i + (size_t)n * j] / 255.0;
            for (int k = 0; k < 3; k++) {
                double v = std::trunc((light.sun_colour[k] * d + light.ambient[k]) * 0.5 * 255);
                out.shading[((size_t)i + (size_t)n * j) * 3 + (size_t)k] = (uint8_t)std::clamp(v, 0.0, 255.0);
            }
        }
    }
    return out;
}
