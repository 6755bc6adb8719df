// Loading the height field from a track directory, releasing it, and the
// writers of its files.
#include <nettle/sha1.h>

#include <algorithm>
#include <cmath>

#include "core/bytes.h"
#include "core/diag.h"
#include "core/text.h"
#include "render/image_io.h"
#include "core/cmdline.h"
#include "track/height_field.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

namespace {

constexpr size_t chunk_bytes = 65536;

// Reads `count` little-endian samples after the ':' marker. The samples grow
// with what the file really holds, so a header that promises a huge field
// costs no more memory than the bytes that follow it.
bool read_sample_body(vfs_file* f, size_t count, std::vector<uint16_t>& samples) {
    samples.clear();
    uint8_t chunk[chunk_bytes];
    while (samples.size() < count) {
        size_t want = std::min(chunk_bytes / 2, count - samples.size()) * 2;
        if (vfs_read(f, chunk, want) != want) {
            std::vector<uint16_t>().swap(samples);
            return false;
        }
        byte_reader r = make_reader(chunk, want);
        for (size_t k = 0; k < want / 2; k++) samples.push_back(read_u16(r));
    }
    return true;
}

// The samples from "terrain.png": pixel (min(i, w-1), min(j, h-1)) for
// sample (i, j); all zero when the image cannot be read.
void read_sample_image(const char* track_dir, int n, std::vector<uint16_t>& samples) {
    grey16_buffer png;
    if (!read_grey16_png(track_file_name(track_dir, "terrain.png").c_str(), png)) {
        std::fill(samples.begin(), samples.end(), 0);
        return;
    }
    for (int j = 0; j < n; j++) {
        const uint16_t* row = png.samples.data() + (size_t)png.width * std::min(j, png.height - 1);
        for (int i = 0; i < n; i++) samples[(size_t)i + (size_t)n * j] = row[std::min(i, png.width - 1)];
    }
}

// SHA-1 of the samples as little-endian byte pairs in row order: the same
// bytes as the file's own body when it has one.
std::array<uint8_t, 20> digest_samples(const std::vector<uint16_t>& samples) {
    sha1_ctx ctx;
    sha1_init(&ctx);
    uint8_t chunk[chunk_bytes];
    for (size_t at = 0; at < samples.size();) {
        byte_writer w = make_writer(chunk, sizeof chunk);
        while (at < samples.size() && w.size + 2 <= w.capacity) write_u16(w, samples[at++]);
        sha1_update(&ctx, w.size, chunk);
    }
    std::array<uint8_t, 20> out;
    sha1_digest(&ctx, out.size(), out.data());
    return out;
}

bool fail_load(const char* message) {
    if (message) show_message(message);
    free_height_field();
    return false;
}

bool load_shading(const char* track_dir, height_field& f) {
    int n = f.samples_per_side;
    bool half_scale = true;
    std::string name = track_file_name(track_dir, "shadingx2.ppm");
    vfs_file* file = vfs_open(name.c_str(), "rb");
    if (!file) {
        half_scale = false;
        name = track_file_name(track_dir, "shading.ppm");
        file = vfs_open(name.c_str(), "rb");
        if (!file) {
            show_messagef("Can't open '%.950s'", name.c_str());
            return false;
        }
    }
    pixel_buffer img;
    bool ok = read_rgb_image(file, img, false);
    vfs_close(file);
    if (!ok) {
        show_message("Error reading shading");
        return false;
    }
    if (img.width != n || img.height != n) {
        show_messagef("Bad shading dimensions (%dx%d)", img.width, img.height);
        return false;
    }
    f.shading = std::move(img.pixels);
    if (!half_scale)
        for (uint8_t& b : f.shading) b = (uint8_t)(b >> 1);
    return true;
}

bool load_shadows(const char* track_dir, height_field& f) {
    int n = f.samples_per_side;
    std::string name = track_file_name(track_dir, "shadows.pgm");
    vfs_file* file = vfs_open(name.c_str(), "rb");
    if (!file) {
        f.shadows.assign((size_t)n * n, 0);
        return true;
    }
    pixel_buffer img;
    bool ok = read_pgm(file, img);
    vfs_close(file);
    if (!ok) {
        show_message("Error reading shadows");
        return false;
    }
    if (img.width != n || img.height != n) {
        log_printf("Bad shadow dimensions (%dx%d)\n", img.width, img.height);
        return false;
    }
    f.shadows = std::move(img.pixels);
    for (uint8_t& b : f.shadows) b = (uint8_t)(255 - b);
    return true;
}

size_t bit_words(size_t bits) { return (bits + 63) / 64; }

}  // namespace

bool load_height_field(const char* track_dir, bool with_normal_texels) {
    free_height_field();
    height_field& f = terrain;
    track_step_begin("Loading terrain");
    std::string name = track_file_name(track_dir, "terrain.hf");
    vfs_file* file = vfs_open(name.c_str(), "rb");
    if (!file) {
        show_messagef("Can't open '%.950s'", name.c_str());
        return false;
    }
    long long g = 0;
    float cell = 0, h0 = 0, h1 = 0;
    int got = vfs_scanf(file, "%lld %f %f %f ", &g, &cell, &h0, &h1);
    // The size exponent bounds the memory (4^g); the renderer needs at least
    // 6, and beyond 12 a field would take gigabytes. A cell size that is not
    // a positive finite number, or heights that are not finite, make every
    // query meaningless.
    bool sane = got == 4 && g >= 6 && g <= 12 && std::isfinite(cell) && cell > 0.0f && std::isfinite(h0) &&
                std::isfinite(h1) && std::isfinite(cell * (float)(2 << g));
    if (!sane) {
        show_message("Bad height field parameters");
        show_message("Error reading heights");
        vfs_close(file);
        return false;
    }
    int n = (2 << g) + 1;
    f.size_log2 = (int)g;
    f.samples_per_side = n;
    f.cell_size = cell;
    f.inverse_cell_size = 1.0f / cell;
    f.tile_size = 2.0f * cell;
    f.extent = (float)(1 << g) * cell * 2.0f;
    f.height_min = std::min(h0, h1);
    f.height_max = std::max(h0, h1);
    size_t count = (size_t)n * n;
    // The samples first: the field's arrays are allocated only once the body
    // has delivered every sample it promised.
    std::vector<uint16_t> samples;
    if (vfs_getc(file) == ':') {
        if (!read_sample_body(file, count, samples)) {
            vfs_close(file);
            return fail_load("Error reading heights");
        }
    } else {
        samples.resize(count);
        read_sample_image(track_dir, n, samples);
    }
    f.height_storage.assign(2 * count, 0.0f);
    f.heights = f.height_storage.data();
    f.base_heights = f.heights + count;
    f.sample_digest = digest_samples(samples);
    if (cmdline.debug_level >= 2) {
        char hex[41];
        for (int k = 0; k < 20; k++) format_to(hex + 2 * k, 3, "%02x", f.sample_digest[k]);
        log_printf("%s\n", hex);
    }
    track_step_done();

    track_step_begin("Loading heights");
    // One conversion per possible sample value, in extended precision.
    std::vector<float> level(65536);
    long double span = ((long double)h1 - (long double)h0) * (1.0L / 65535.0L);
    for (int v = 0; v < 65536; v++) level[v] = (float)((long double)h0 + (long double)v * span);
    for (size_t k = 0; k < count; k++) f.heights[k] = level[samples[k]];
    std::copy(f.heights, f.heights + count, f.base_heights);
    std::vector<uint16_t>().swap(samples);
    vfs_close(file);
    if (terrain_renderer.heights_loaded) terrain_renderer.heights_loaded();
    track_step_done();

    track_step_begin("Loading shading");
    if (!load_shading(track_dir, f)) return fail_load(nullptr);
    track_step_done();
    track_step_begin("Loading shadows");
    if (!load_shadows(track_dir, f)) return fail_load(nullptr);
    track_step_done();

    size_t triangles = 2 * (size_t)(n - 1) * (size_t)(n - 1);
    f.triangle_normals.assign(triangles * 3, 0.0f);
    f.triangle_dirty.assign(bit_words(triangles), ~(uint64_t)0);
    f.shade_dirty.assign(bit_words(count), 0);
    f.frozen = 0;
    f.modified_flags = 0;
    f.change_count = 0;
    if (with_normal_texels) create_normal_texels();
    return true;
}

void create_normal_texels() {
    height_field& f = terrain;
    if (!f.heights) return;
    int n = f.samples_per_side;
    size_t count = (size_t)n * n;
    track_step_begin("Creating terrain normals");
    f.normal_dirty.assign(bit_words(count), 0);
    f.normal_texels.resize(count * 3);
    for (int j = 0; j < n; j++) {
        for (int i = 0; i < n; i++) {
            std::array<uint8_t, 3> t = compute_normal_texel(i, j);
            std::copy(t.begin(), t.end(), f.normal_texels.begin() + ((size_t)i + (size_t)n * j) * 3);
        }
        if ((j & 63) == 0) track_step_tick();
    }
    track_step_done();
}

void free_height_field() {
    if (terrain.heights && terrain_renderer.release) terrain_renderer.release();
    terrain = height_field();
}

// ---- writers ----------------------------------------------------------------

std::vector<uint8_t> encode_terrain_hf(int size_log2, float cell_size, float h0, float h1, const uint16_t* samples) {
    std::string header = format_string("%d %s %s %s\n", size_log2, exact_float_text(cell_size).c_str(),
                                       exact_float_text(h0).c_str(), exact_float_text(h1).c_str());
    std::vector<uint8_t> out(header.begin(), header.end());
    if (!samples || size_log2 < 0 || size_log2 > 14) return out;
    size_t n = ((size_t)2 << size_log2) + 1, count = n * n;
    size_t at = out.size();
    out.resize(at + 1 + 2 * count);
    byte_writer w = make_writer(out.data() + at, 1 + 2 * count);
    write_u8(w, ':');
    for (size_t k = 0; k < count; k++) write_u16(w, samples[k]);
    return out;
}

std::vector<uint16_t> quantise_heights(const float* heights, size_t count, float lowest, float highest) {
    std::vector<uint16_t> out(count, 0);
    double span = (double)highest - (double)lowest;
    if (!(span > 0.0)) return out;
    for (size_t k = 0; k < count; k++) {
        double v = ((double)heights[k] - lowest) / span * 65535.0 + 0.5;
        v = v < 0.0 ? 0.0 : (v > 65535.0 ? 65535.0 : v);
        out[k] = (uint16_t)v;
    }
    return out;
}

std::vector<uint8_t> encode_shading_x2(const uint8_t* shading, int samples_per_side) {
    return encode_ppm(shading, samples_per_side, samples_per_side);
}

std::vector<uint8_t> encode_shading_full(const uint8_t* shading, int samples_per_side) {
    size_t n = samples_per_side > 0 ? (size_t)samples_per_side * samples_per_side * 3 : 0;
    std::vector<uint8_t> doubled(n);
    for (size_t k = 0; k < n; k++) doubled[k] = shading[k] >= 128 ? 255 : (uint8_t)(shading[k] * 2);
    return encode_ppm(doubled.data(), samples_per_side, samples_per_side);
}

std::vector<uint8_t> encode_shadows_pgm(const uint8_t* shadows, int samples_per_side) {
    size_t n = samples_per_side > 0 ? (size_t)samples_per_side * samples_per_side : 0;
    std::vector<uint8_t> lit(n);
    for (size_t k = 0; k < n; k++) lit[k] = (uint8_t)(255 - shadows[k]);
    return encode_pgm(lit.data(), samples_per_side, samples_per_side);
}
