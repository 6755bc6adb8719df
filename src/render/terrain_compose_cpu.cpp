// The software composition of ground textures: nearest-texel tiles from the
// central seven eighths of their textures, rasterised decals, and the
// bilinear shading multiplied in.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/terrain_compose.h"
#include "render/terrain_lighting.h"
#include "render/texture.h"
#include "track/height_field.h"
#include "track/tile_info.h"

namespace {

// Largest picture kept for software use; tile and decal textures are far
// smaller in practice.
constexpr size_t software_pixel_limit = (size_t)1 << 22;

const image_record* software_image(const std::string& name) {
    if (name.empty()) return nullptr;
    const image_record* r = image_load(name.c_str(), 0, software_pixel_limit);
    if (!r || r->image.channels != 4 || r->image.width <= 0 || r->image.height <= 0) return nullptr;
    return r;
}

// One mip level of an RGBA image.
struct level_view {
    const uint8_t* pixels = nullptr;
    int width = 0, height = 0;
};

level_view image_level(const pixel_buffer& img, int level) {
    level_view v;
    v.pixels = img.pixels.data() + mip_level_offset(img.width, img.height, 4, level);
    v.width = mip_side(img.width, level);
    v.height = mip_side(img.height, level);
    return v;
}

// The coarsest level at which no more than one texel falls on a pixel along
// either axis, stepping down while both sides exceed 1. `texels_per_pixel_*`
// are at level 0 and halve with each level.
int choose_level(const pixel_buffer& img, double texels_per_pixel_x, double texels_per_pixel_y) {
    if (!img.has_mips) return 0;
    int level = 0, last = mip_level_count(img.width, img.height) - 1;
    while (level < last && mip_side(img.width, level) > 1 && mip_side(img.height, level) > 1 &&
           texels_per_pixel_x > 1.0 && texels_per_pixel_y > 1.0) {
        level++;
        texels_per_pixel_x *= 0.5;
        texels_per_pixel_y *= 0.5;
    }
    return level;
}

inline int floor_int(double v) { return (int)std::floor(v); }

// Pixels whose centres lie in [from, to) along one axis, clipped to the image.
inline void pixel_span(double from, double to, int size, int& first, int& last) {
    first = std::max(floor_int(from - 0.5) + 1, 0);
    last = std::min(floor_int(to - 0.5), size - 1);
}

// Texel index of each pixel of a span: trunc(0.0625 W + (x + 0.5 - x0) s),
// stepped in 16.16 fixed point and kept inside the level.
void texel_indices(int first, int last, double x0, int level_side, double step, std::vector<int>& out) {
    out.resize(last >= first ? (size_t)(last - first + 1) : 0);
    int64_t pos = (int64_t)((0.0625 * level_side + (first + 0.5 - x0) * step) * 65536.0);
    int64_t delta = (int64_t)(step * 65536.0);
    for (size_t k = 0; k < out.size(); k++, pos += delta) {
        int64_t t = pos >> 16;
        out[k] = (int)std::clamp<int64_t>(t, 0, level_side - 1);
    }
}

void draw_tiles(int a, int b, int c, int size, uint8_t* rgb, int& work) {
    const height_field& f = terrain;
    const std::vector<uint8_t>& map = tilemap();
    int side = 1 << f.size_log2;
    std::vector<const image_record*> images((size_t)std::max(tile_count(), 1), nullptr);
    std::vector<char> looked_up(images.size(), 0);
    std::vector<int> columns, rows;
    double pixels_per_tile = (double)size / c;
    for (int i = 0; i < c; i++) {
        int y_first, y_last;
        pixel_span(i * pixels_per_tile, (i + 1) * pixels_per_tile, size, y_first, y_last);
        if (y_first > y_last) continue;
        int tz = std::clamp(b + i, 0, side - 1);
        for (int j = 0; j < c; j++) {
            int x_first, x_last;
            pixel_span(j * pixels_per_tile, (j + 1) * pixels_per_tile, size, x_first, x_last);
            if (x_first > x_last) continue;
            int tx = std::clamp(a + j, 0, side - 1);
            size_t at = (size_t)tx + (size_t)side * tz;
            int type = at < map.size() ? map[at] : 0;
            type = std::clamp(type, 0, (int)images.size() - 1);
            if (!looked_up[type]) {
                looked_up[type] = 1;
                images[type] = type < tile_count() ? software_image(tile_info_of(type).texture.name) : nullptr;
            }
            work++;
            const image_record* img = images[type];
            if (!img) {
                // A tile without a texture is a plain patch rather than a hole.
                for (int y = y_first; y <= y_last; y++)
                    for (int x = x_first; x <= x_last; x++)
                        memcpy(rgb + ((size_t)y * size + x) * 3, terrain_fallback_colour.data(), 3);
                continue;
            }
            const pixel_buffer& p = img->image;
            int level = choose_level(p, 0.875 * p.width / pixels_per_tile, 0.875 * p.height / pixels_per_tile);
            level_view v = image_level(p, level);
            texel_indices(x_first, x_last, j * pixels_per_tile, v.width, 0.875 * v.width / pixels_per_tile, columns);
            texel_indices(y_first, y_last, i * pixels_per_tile, v.height, 0.875 * v.height / pixels_per_tile, rows);
            for (int y = y_first; y <= y_last; y++) {
                const uint8_t* src_row = v.pixels + (size_t)rows[(size_t)(y - y_first)] * v.width * 4;
                uint8_t* dst = rgb + ((size_t)y * size + x_first) * 3;
                for (size_t k = 0; k < columns.size(); k++, dst += 3) {
                    const uint8_t* s = src_row + (size_t)columns[k] * 4;
                    dst[0] = s[0];
                    dst[1] = s[1];
                    dst[2] = s[2];
                }
            }
        }
    }
}

inline void blend_pixel(uint8_t* dst, const int* src) {
    int alpha = src[3];
    if (alpha >= 255) {
        dst[0] = (uint8_t)src[0];
        dst[1] = (uint8_t)src[1];
        dst[2] = (uint8_t)src[2];
    } else if (alpha > 0) {
        for (int k = 0; k < 3; k++) dst[k] = (uint8_t)((src[k] * alpha + dst[k] * (255 - alpha)) / 255);
    }
}

// One texel of a level, indices clamped so that a sample at the border never
// reads past the picture.
inline const uint8_t* texel(const level_view& v, int x, int y) {
    x = std::clamp(x, 0, v.width - 1);
    y = std::clamp(y, 0, v.height - 1);
    return v.pixels + ((size_t)y * v.width + x) * 4;
}

void draw_decal(const decal& d, const pixel_buffer& p, int a, int b, int c, int size, uint8_t* rgb) {
    const height_field& f = terrain;
    double ts = f.tile_size;
    double ppu = (double)size / (c * ts);  // pixels per world unit
    double hu = 0.5 * d.size, hv = 0.5 * d.size * d.ratio;
    if (!(std::fabs(hu) > 0.0) || !(std::fabs(hv) > 0.0)) return;
    // Centre and axes in pixels (pixel x follows world x, pixel y world z).
    double cx = (d.x / ts - a) * size / c, cy = (d.z / ts - b) * size / c;
    double ux = d.cos_angle, uy = -d.sin_angle, vx = d.sin_angle, vy = d.cos_angle;
    double HU = std::fabs(hu) * ppu, HV = std::fabs(hv) * ppu;
    // Texture coordinates: s = (p - c) . u / (2 hu ppu) + 0.5, likewise t.
    double su = 1.0 / (2.0 * hu * ppu), sv = 1.0 / (2.0 * hv * ppu);
    int level = choose_level(p, p.width * std::fabs(su), p.height * std::fabs(sv));
    level_view v = image_level(p, level);
    double W = v.width, H = v.height;
    // Texel steps per pixel along x and y.
    double dsx = ux * su * W, dtx = vx * sv * H, dsy = uy * su * W, dty = vy * sv * H;
    bool bilinear = std::hypot(dsx, dtx) < 1.0 && std::hypot(dsy, dty) < 1.0;

    double ext_y = std::fabs(uy) * HU + std::fabs(vy) * HV;
    int y_first = std::max(floor_int(cy - ext_y - 0.5) + 1, 0), y_last = std::min(floor_int(cy + ext_y - 0.5), size - 1);
    for (int y = y_first; y <= y_last; y++) {
        double py = y + 0.5 - cy;
        // The pixel centres of this row inside both pairs of edges.
        double lo = -1e30, hi = 1e30;
        auto limit = [&](double ax, double ay, double half) {
            double base = py * ay;
            if (std::fabs(ax) < 1e-12) {
                if (std::fabs(base) > half) lo = 1e30, hi = -1e30;
                return;
            }
            double e0 = (-half - base) / ax, e1 = (half - base) / ax;
            if (e0 > e1) std::swap(e0, e1);
            lo = std::max(lo, e0);
            hi = std::min(hi, e1);
        };
        limit(ux, uy, HU);
        limit(vx, vy, HV);
        if (lo > hi) continue;
        int x_first = std::max((int)std::ceil(cx + lo - 0.5), 0), x_last = std::min(floor_int(cx + hi - 0.5), size - 1);
        for (int x = x_first; x <= x_last; x++) {
            double px = x + 0.5 - cx;
            double s = (px * ux + py * uy) * su + 0.5, t = (px * vx + py * vy) * sv + 0.5;
            int src[4];
            if (bilinear) {
                int U = floor_int(s * W * 256.0) - 128, V = floor_int(t * H * 256.0) - 128;
                int x0 = U >> 8, y0 = V >> 8, fx = U & 255, fy = V & 255;
                const uint8_t *p00 = texel(v, x0, y0), *p10 = texel(v, x0 + 1, y0);
                const uint8_t *p01 = texel(v, x0, y0 + 1), *p11 = texel(v, x0 + 1, y0 + 1);
                for (int k = 0; k < 4; k++)
                    src[k] = (((p00[k] * (256 - fx) + p10[k] * fx) * (256 - fy)) +
                              ((p01[k] * (256 - fx) + p11[k] * fx) * fy)) >>
                             16;
            } else {
                const uint8_t* q = texel(v, floor_int(s * W), floor_int(t * H));
                for (int k = 0; k < 4; k++) src[k] = q[k];
            }
            blend_pixel(rgb + ((size_t)y * size + x) * 3, src);
        }
    }
}

void draw_decals(int a, int b, int c, int size, uint8_t* rgb, int& work) {
    const height_field& f = terrain;
    float ts = f.tile_size;
    std::vector<int> list;
    decals_overlapping(a * ts, b * ts, (a + c) * ts, (b + c) * ts, list);
    const std::vector<decal>& all = track_decals();
    for (int index : list) {
        const decal& d = all[(size_t)index];
        const image_record* img = software_image(d.texture.name);
        if (!img) continue;
        draw_decal(d, img->image, a, b, c, size, rgb);
        work++;
    }
}

// Bilinear interpolation of a per-sample byte triple at (2a + 2c x / T,
// 2b + 2c y / T), in 1/256 of a sample, clamped to the last sample pair; the
// result carries 16 fractional bits.
struct sample_lerp {
    int i0 = 0, fx = 0;
};

std::vector<sample_lerp> sample_positions(int start_sample, int c, int size, int n) {
    std::vector<sample_lerp> out((size_t)size);
    for (int x = 0; x < size; x++) {
        int64_t pos = (int64_t)start_sample * 256 + (int64_t)2 * c * 256 * x / size;
        int64_t i0 = pos >> 8, fx = pos & 255;
        if (i0 > n - 2) i0 = n - 2, fx = 256;
        if (i0 < 0) i0 = 0, fx = 0;
        out[(size_t)x] = {(int)i0, (int)fx};
    }
    return out;
}

template <typename Apply>
void for_each_interpolated(int a, int b, int c, int size, const std::vector<uint8_t>& values, Apply apply) {
    const height_field& f = terrain;
    int n = f.samples_per_side;
    std::vector<sample_lerp> xs = sample_positions(2 * a, c, size, n), ys = sample_positions(2 * b, c, size, n);
    for (int y = 0; y < size; y++) {
        const sample_lerp& sy = ys[(size_t)y];
        const uint8_t* row0 = values.data() + (size_t)n * sy.i0 * 3;
        const uint8_t* row1 = row0 + (size_t)n * 3;
        for (int x = 0; x < size; x++) {
            const sample_lerp& sx = xs[(size_t)x];
            const uint8_t *p00 = row0 + (size_t)sx.i0 * 3, *p10 = p00 + 3, *p01 = row1 + (size_t)sx.i0 * 3,
                          *p11 = p01 + 3;
            int w00 = (256 - sx.fx) * (256 - sy.fx), w10 = sx.fx * (256 - sy.fx), w01 = (256 - sx.fx) * sy.fx,
                w11 = sx.fx * sy.fx;
            int value[3];
            for (int k = 0; k < 3; k++) value[k] = p00[k] * w00 + p10[k] * w10 + p01[k] * w01 + p11[k] * w11;
            apply(x, y, value);
        }
    }
}

void multiply_shading(int a, int b, int c, int size, uint8_t* rgb) {
    if (terrain.shading.size() < (size_t)terrain.samples_per_side * terrain.samples_per_side * 3) return;
    for_each_interpolated(a, b, c, size, terrain.shading, [&](int x, int y, const int* shade) {
        uint8_t* p = rgb + ((size_t)y * size + x) * 3;
        for (int k = 0; k < 3; k++) {
            // pixel x shading / 128, with the shading's 16 fractional bits.
            int64_t v = ((int64_t)p[k] * shade[k]) >> 23;
            p[k] = (uint8_t)(v > 255 ? 255 : v);
        }
    });
}

}  // namespace

int compose_terrain_cpu(int a, int b, int c, int size, const terrain_compose_options& options, uint8_t* rgb) {
    const height_field& f = terrain;
    if (!rgb || size <= 0) return 0;
    memset(rgb, 0, (size_t)size * size * 3);
    if (!f.heights || c <= 0) return 0;
    int work = 0;
    if (options.lighting) relight_samples(2 * a, 2 * b, 2 * (a + c), 2 * (b + c), false);
    draw_tiles(a, b, c, size, rgb, work);
    if (options.decals && !track_decals().empty()) draw_decals(a, b, c, size, rgb, work);
    if (options.lighting) multiply_shading(a, b, c, size, rgb);
    return work;
}

void compose_terrain_normals_cpu(int a, int b, int c, int size, uint8_t* rgb) {
    const height_field& f = terrain;
    if (!rgb || size <= 0) return;
    size_t count = (size_t)f.samples_per_side * f.samples_per_side * 3;
    if (!f.heights || c <= 0 || f.normal_texels.size() < count) {
        for (size_t k = 0; k < (size_t)size * size; k++) rgb[k * 3] = 128, rgb[k * 3 + 1] = 255, rgb[k * 3 + 2] = 128;
        return;
    }
    relight_samples(2 * a, 2 * b, 2 * (a + c), 2 * (b + c), true);
    for_each_interpolated(a, b, c, size, f.normal_texels, [&](int x, int y, const int* v) {
        uint8_t* p = rgb + ((size_t)y * size + x) * 3;
        for (int k = 0; k < 3; k++) p[k] = (uint8_t)(v[k] >> 16);
    });
}

void compose_terrain_specular_cpu(int size, uint8_t* rgb) {
    for (size_t k = 0; rgb && size > 0 && k < (size_t)size * size; k++) {
        rgb[k * 3] = 0;
        rgb[k * 3 + 1] = 255;
        rgb[k * 3 + 2] = 255;
    }
}

// ---- shared with the GPU path -----------------------------------------------------

std::array<std::array<float, 2>, 4> decal_corners(const decal& d) {
    float hu = 0.5f * d.size, hv = 0.5f * d.size * d.ratio;
    float ux = d.cos_angle * hu, uz = -d.sin_angle * hu, vx = d.sin_angle * hv, vz = d.cos_angle * hv;
    return {{{d.x - ux - vx, d.z - uz - vz},
             {d.x + ux - vx, d.z + uz - vz},
             {d.x + ux + vx, d.z + uz + vz},
             {d.x - ux + vx, d.z - uz + vz}}};
}

void decals_overlapping(float x0, float z0, float x1, float z1, std::vector<int>& out) {
    out.clear();
    const std::vector<decal>& all = track_decals();
    if (all.empty()) return;
    const height_field& f = terrain;
    float side = f.extent / decal_grid_side;
    auto cell = [&](float w) {
        if (!(side > 0.0f)) return 0;
        float v = w / side;
        if (!(v > 0.0f)) return 0;
        return v < (float)(decal_grid_side - 1) ? (int)v : decal_grid_side - 1;
    };
    std::vector<char> seen(all.size(), 0);
    for (int cz = cell(z0); cz <= cell(z1); cz++) {
        for (int cx = cell(x0); cx <= cell(x1); cx++) {
            for (int index : decals_in_cell(cx, cz)) {
                if (index < 0 || (size_t)index >= all.size() || seen[(size_t)index]) continue;
                seen[(size_t)index] = 1;
                std::array<std::array<float, 2>, 4> p = decal_corners(all[(size_t)index]);
                float bx0 = std::min({p[0][0], p[1][0], p[2][0], p[3][0]});
                float bx1 = std::max({p[0][0], p[1][0], p[2][0], p[3][0]});
                float bz0 = std::min({p[0][1], p[1][1], p[2][1], p[3][1]});
                float bz1 = std::max({p[0][1], p[1][1], p[2][1], p[3][1]});
                if (bx1 <= x0 || bx0 >= x1 || bz1 <= z0 || bz0 >= z1) continue;
                out.push_back(index);
            }
        }
    }
    std::sort(out.begin(), out.end());
}

int decal_split_count(float size) {
    if (!(std::fabs(size) > 256.0f)) return 1;
    int p = 2;
    while (std::fabs(size) / p > 256.0f && p < 1 << 20) p *= 2;
    return p;
}
