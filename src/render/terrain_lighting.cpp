// Per-sample ground shading from the sun, the shadow image and the ambient
// light.
#include "render/terrain_lighting.h"

#include <algorithm>
#include <cmath>

#include "track/height_field.h"

namespace {

const terrain_lighting_values g_defaults;

inline int clamp_index(int k, int last) { return k < 0 ? 0 : (k > last ? last : k); }

}  // namespace

const terrain_lighting_values& default_terrain_lighting() { return g_defaults; }
const terrain_lighting_values& (*terrain_lighting)() = default_terrain_lighting;

std::array<uint8_t, 3> sample_lighting(int i, int j) {
    const height_field& f = terrain;
    const terrain_lighting_values& light = terrain_lighting();
    int n = f.samples_per_side;
    std::array<float, 3> normal = sample_normal(i, j);
    float share = normal[0] * light.sun_vector[0] + normal[1] * light.sun_vector[1] + normal[2] * light.sun_vector[2];
    share = std::clamp(share, 0.0f, 1.0f);
    if (n > 0 && !f.shadows.empty()) {
        size_t k = (size_t)clamp_index(i, n - 1) + (size_t)n * (size_t)clamp_index(j, n - 1);
        share *= 1.0f - (float)f.shadows[k] / 255.0f;
    }
    std::array<uint8_t, 3> out;
    for (int c = 0; c < 3; c++) {
        float v = std::trunc((light.sun_color[c] * share + light.ambient[c]) * 0.5f * 255.0f);
        // NaN (a broken light record) counts as black rather than undefined.
        out[c] = (uint8_t)(v > 0.0f ? (v < 255.0f ? v : 255.0f) : 0.0f);
    }
    return out;
}

void relight_samples(int i0, int j0, int i1, int j1, bool normals) {
    height_field& f = terrain;
    int n = f.samples_per_side;
    if (!f.heights || n <= 0 || f.shade_dirty.empty()) return;
    i0 = clamp_index(i0, n - 1);
    i1 = clamp_index(i1, n - 1);
    j0 = clamp_index(j0, n - 1);
    j1 = clamp_index(j1, n - 1);
    bool with_normals = normals && !f.normal_dirty.empty() && !f.normal_texels.empty();
    for (int j = j0; j <= j1; j++) {
        for (int i = i0; i <= i1; i++) {
            size_t k = (size_t)i + (size_t)n * (size_t)j;
            if (test_bit(f.shade_dirty, k)) {
                std::array<uint8_t, 3> s = sample_lighting(i, j);
                std::copy(s.begin(), s.end(), f.shading.begin() + k * 3);
                clear_bit(f.shade_dirty, k);
            }
            if (with_normals && test_bit(f.normal_dirty, k)) {
                std::array<uint8_t, 3> t = compute_normal_texel(i, j);
                std::copy(t.begin(), t.end(), f.normal_texels.begin() + k * 3);
                clear_bit(f.normal_dirty, k);
            }
        }
    }
}
