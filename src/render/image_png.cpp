// PNG through libpng: colour images with their text chunks and mip chain,
// 16-bit grey height images, and the matching writers.
//
// libpng reports errors by longjmp. Every function that calls setjmp keeps
// only plain locals; the vectors and strings it fills live in a context
// owned by the caller, so no destructor is ever skipped.
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "core/diag.h"
#include "core/text.h"
#include "render/image_internal.h"
#include "vfs/vfs.h"

bool png_check_crc = true;

namespace {

enum class png_result { ok, not_png, failed };

struct png_read_context {
    std::vector<uint8_t> file;        // the whole file
    size_t read_at = 0;
    bool grey16 = false;              // deliver one 16-bit grey channel
    std::vector<uint8_t> pixels;      // 8-bit result rows
    std::vector<uint16_t> samples;    // 16-bit grey result
    std::vector<uint8_t> row;         // one decoded row
    std::vector<png_bytep> rows;      // interlaced images: every row
    std::string text;
    int width = 0;
    int height = 0;
    int channels = 0;
    char error[200] = "";
};

void on_png_error(png_structp png, png_const_charp message) {
    auto* ctx = (png_read_context*)png_get_error_ptr(png);
    if (ctx) copy_truncated(ctx->error, sizeof ctx->error, message ? message : "PNG error");
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

void on_png_read(png_structp png, png_bytep data, size_t length) {
    auto* ctx = (png_read_context*)png_get_io_ptr(png);
    if (length > ctx->file.size() - ctx->read_at) png_error(png, "PNG data ends early");
    memcpy(data, ctx->file.data() + ctx->read_at, length);
    ctx->read_at += length;
}

void collect_text(png_structp png, png_infop info, std::string& text) {
    png_textp chunks = nullptr;
    int count = 0;
    if (png_get_text(png, info, &chunks, &count) > 0 && chunks)
        for (int i = 0; i < count; i++)
            if (chunks[i].text) text.append(chunks[i].text);
}

// Sets up the transforms of the wanted result; returns the channel count
// libpng will deliver.
int set_transforms(png_structp png, png_infop info, bool grey16) {
    int color_type = png_get_color_type(png, info);
    int bit_depth = png_get_bit_depth(png, info);
    if (color_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (color_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (grey16) {
        png_set_strip_alpha(png);
        if (color_type & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray(png, PNG_ERROR_ACTION_NONE, -1, -1);
    } else {
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
        if (bit_depth == 16) png_set_strip_16(png);
        if (!(color_type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    }
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    (void)passes;
    return png_get_channels(png, info);
}

// Every chunk up to IEND must lie inside the file. libpng allocates a
// chunk's declared length before reading it, so a length taken unchecked
// from a damaged file could ask for gigabytes.
bool chunks_fit(const std::vector<uint8_t>& file) {
    size_t at = 8;
    while (at + 8 <= file.size()) {
        uint32_t length = (uint32_t)file[at] << 24 | (uint32_t)file[at + 1] << 16 | (uint32_t)file[at + 2] << 8 | file[at + 3];
        if (length > file.size() - at - 8 || file.size() - at - 8 - length < 4) return false;
        bool end = memcmp(&file[at + 4], "IEND", 4) == 0;
        at += 12 + (size_t)length;
        if (end) return true;
    }
    return false;
}

// Bytes of filtered image data (before any transform) that an image of this
// header inflates to: one filter byte per row of every pass.
uint64_t raw_image_bytes(uint64_t w, uint64_t h, int bit_depth, int color_type, bool interlaced) {
    int samples = color_type == PNG_COLOR_TYPE_GRAY         ? 1
                  : color_type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                  : color_type == PNG_COLOR_TYPE_RGB        ? 3
                  : color_type == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                                                            : 1;  // palette
    uint64_t bits = (uint64_t)samples * (uint64_t)bit_depth;
    auto pass_bytes = [&](uint64_t pw, uint64_t ph) { return pw && ph ? ph * (1 + (pw * bits + 7) / 8) : 0; };
    if (!interlaced) return pass_bytes(w, h);
    static const int x0[7] = {0, 4, 0, 2, 0, 1, 0}, y0[7] = {0, 0, 4, 0, 2, 0, 1};
    static const int dx[7] = {8, 8, 4, 4, 2, 2, 1}, dy[7] = {8, 8, 8, 4, 4, 2, 2};
    uint64_t total = 0;
    for (int p = 0; p < 7; p++) {
        uint64_t pw = w > (uint64_t)x0[p] ? (w - x0[p] + dx[p] - 1) / dx[p] : 0;
        uint64_t ph = h > (uint64_t)y0[p] ? (h - y0[p] + dy[p] - 1) / dy[p] : 0;
        total += pass_bytes(pw, ph);
    }
    return total;
}

// Whether the file's image data inflates to at least `needed` bytes. libpng
// allocates its row buffers (an interlaced image: the whole image) from the
// header before it reads a pixel, so a tiny file with a huge header would cost
// the memory of the image it only claims to be. Deflate expands at most
// about 1032 to 1, which rules most such files out at once; a claim that is
// still large is checked by inflating into a scratch buffer.
bool image_data_holds(const std::vector<uint8_t>& file, uint64_t needed) {
    std::vector<std::pair<size_t, size_t>> spans;
    uint64_t stored = 0;
    for (size_t at = 8; at + 12 <= file.size();) {
        uint32_t length = (uint32_t)file[at] << 24 | (uint32_t)file[at + 1] << 16 | (uint32_t)file[at + 2] << 8 | file[at + 3];
        if (length > file.size() - at - 12) break;
        if (memcmp(&file[at + 4], "IDAT", 4) == 0) {
            spans.push_back({at + 8, length});
            stored += length;
        }
        if (memcmp(&file[at + 4], "IEND", 4) == 0) break;
        at += 12 + (size_t)length;
    }
    if (needed > stored * 1032 + 1032) return false;
    if (needed <= ((uint64_t)1 << 20)) return true;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    uint8_t scratch[65536];
    int rc = Z_OK;
    for (const auto& [offset, length] : spans) {
        z.next_in = const_cast<Bytef*>(file.data() + offset);
        z.avail_in = (uInt)length;
        while (z.avail_in > 0 && rc == Z_OK && z.total_out < needed) {
            z.next_out = scratch;
            z.avail_out = sizeof scratch;
            rc = inflate(&z, Z_NO_FLUSH);
        }
        if (rc != Z_OK || z.total_out >= needed) break;
    }
    bool enough = z.total_out >= needed;
    inflateEnd(&z);
    return enough;
}

// Decodes the whole stream into ctx. Plain locals only (see above).
png_result decode_png(png_read_context* ctx) {
    if (ctx->file.size() < 8 || png_sig_cmp(ctx->file.data(), 0, 8) != 0) return png_result::not_png;
    if (!chunks_fit(ctx->file)) {
        copy_truncated(ctx->error, sizeof ctx->error, "PNG data ends early");
        return png_result::failed;
    }
    ctx->read_at = 8;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, ctx, on_png_error, on_png_warning);
    if (!png) return png_result::failed;
    png_infop info = png_create_info_struct(png);
    png_infop end = png_create_info_struct(png);
    if (!info || !end) {
        png_destroy_read_struct(&png, &info, &end);
        return png_result::failed;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, &end);
        return png_result::failed;
    }
    png_set_read_fn(png, ctx, on_png_read);
    // No text or other ancillary chunk of ours comes near this; a chunk
    // length beyond it is a broken file, not a reason to allocate.
    png_set_chunk_malloc_max(png, (png_alloc_size_t)8 << 20);
    if (!png_check_crc) png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    if (!image_size_ok(w, h)) png_error(png, "PNG image too large");
    if (!image_data_holds(ctx->file, raw_image_bytes(w, h, png_get_bit_depth(png, info), png_get_color_type(png, info),
                                                     png_get_interlace_type(png, info) != PNG_INTERLACE_NONE)))
        png_error(png, "PNG image data is shorter than its header says");
    int channels = set_transforms(png, info, ctx->grey16);
    size_t rowbytes = png_get_rowbytes(png, info);
    int bytes_per_sample = png_get_bit_depth(png, info) == 16 ? 2 : 1;
    if (ctx->grey16 ? channels != 1 : (channels != 3 && channels != 4)) png_error(png, "unexpected PNG layout");
    if (rowbytes != (size_t)w * channels * bytes_per_sample) png_error(png, "unexpected PNG row size");
    ctx->width = (int)w;
    ctx->height = (int)h;
    ctx->channels = channels;
    bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    std::vector<uint8_t>& rows8 = ctx->pixels;
    if (interlaced) {
        // Every pass revisits every row, so the image is needed whole.
        rows8.assign(rowbytes * h, 0);
        ctx->rows.resize(h);
        for (png_uint_32 y = 0; y < h; y++) ctx->rows[y] = rows8.data() + rowbytes * y;
        png_read_image(png, ctx->rows.data());
    } else {
        // Row by row: memory grows only with the rows the data really holds.
        rows8.clear();
        rows8.reserve(std::min(rowbytes * h, (size_t)1 << 22));
        for (png_uint_32 y = 0; y < h; y++) {
            rows8.resize(rowbytes * (y + 1));
            png_read_row(png, rows8.data() + rowbytes * y, nullptr);
        }
    }
    png_read_end(png, end);
    collect_text(png, info, ctx->text);
    collect_text(png, end, ctx->text);
    png_destroy_read_struct(&png, &info, &end);
    if (ctx->grey16) {
        ctx->samples.resize((size_t)w * h);
        if (bytes_per_sample == 2) {
            for (size_t k = 0; k < ctx->samples.size(); k++)
                ctx->samples[k] = (uint16_t)(rows8[2 * k] << 8 | rows8[2 * k + 1]);
        } else {
            for (size_t k = 0; k < ctx->samples.size(); k++) ctx->samples[k] = (uint16_t)(rows8[k] * 257);
        }
        std::vector<uint8_t>().swap(rows8);
    }
    return png_result::ok;
}

png_result decode_png_file(const char* name, png_read_context& ctx) {
    vfs_file* file = vfs_open(name, "rb");
    if (!file) {
        set_image_error("Can't open '%.950s'", name);
        return png_result::failed;
    }
    // Read in steps, so memory follows the bytes really there.
    uint8_t chunk[65536];
    size_t got;
    while ((got = vfs_read(file, chunk, sizeof chunk)) > 0) ctx.file.insert(ctx.file.end(), chunk, chunk + got);
    vfs_close(file);
    png_result r = decode_png(&ctx);
    std::vector<uint8_t>().swap(ctx.file);
    if (r == png_result::failed) set_image_error("PNG error in '%.800s': %s", name, ctx.error);
    if (r == png_result::not_png) set_image_error("'%.950s' is not a PNG", name);
    return r;
}

// Levels stored in the picture itself: level 0 in the top two thirds, level 1
// below it at the left, the rest stacked in columns from half the width.
// A level that would reach outside the picture, and every level after it, is
// generated from the one before instead.
void take_custom_mips(const std::vector<uint8_t>& full, int width, int full_height, int channels, pixel_buffer& out,
                      bool max_alpha) {
    int h0 = full_height * 2 / 3;
    out.width = width;
    out.height = h0;
    out.channels = channels;
    out.pixels.assign(mip_chain_bytes(width, h0, channels), 0);
    out.has_mips = true;
    auto copy_level = [&](int level, int x0, int y0) {
        int lw = mip_side(width, level), lh = mip_side(h0, level);
        if (x0 < 0 || y0 < 0 || x0 + lw > width || y0 + lh > full_height) return false;
        uint8_t* dst = out.pixels.data() + mip_level_offset(width, h0, channels, level);
        for (int y = 0; y < lh; y++)
            memcpy(dst + (size_t)y * lw * channels, full.data() + ((size_t)(y0 + y) * width + x0) * channels,
                   (size_t)lw * channels);
        return true;
    };
    copy_level(0, 0, 0);
    int levels = mip_level_count(width, h0);
    if (levels < 2) return;
    if (!copy_level(1, 0, h0)) {
        build_mip_levels_from(out.pixels.data(), width, h0, channels, 0, max_alpha);
        return;
    }
    int x = width / 2, y = h0, column_width = 0;
    for (int level = 2; level < levels; level++) {
        int lw = mip_side(width, level), lh = mip_side(h0, level);
        if (y + lh > full_height) {
            x += column_width;
            y = h0;
            column_width = 0;
        }
        if (!copy_level(level, x, y)) {
            build_mip_levels_from(out.pixels.data(), width, h0, channels, level - 1, max_alpha);
            return;
        }
        y += lh;
        column_width = std::max(column_width, lw);
    }
}

bool read_png_as(const char* name, pixel_buffer& out, bool force_rgba, png_result* result) {
    out = pixel_buffer();
    png_read_context ctx;
    png_result r = decode_png_file(name, ctx);
    if (result) *result = r;
    if (r != png_result::ok) return false;
    if (force_rgba && ctx.channels == 3) {
        size_t n = (size_t)ctx.width * ctx.height;
        ctx.pixels.resize(n * 4);
        for (size_t k = n; k-- > 0;) {
            uint8_t* d = &ctx.pixels[k * 4];
            const uint8_t* s = &ctx.pixels[k * 3];
            uint8_t r0 = s[0], g0 = s[1], b0 = s[2];
            d[0] = r0;
            d[1] = g0;
            d[2] = b0;
            d[3] = 255;
        }
        ctx.channels = 4;
    }
    std::string info_name = std::string(name) + ".info";
    size_t info_length = 0;
    if (char* info = file_to_string(info_name.c_str(), &info_length)) {
        ctx.text.append(info, info_length);
        checked_free(info);
    }
    bool max_alpha = ctx.text.find("[mip_max_alpha]") != std::string::npos;
    bool custom = ctx.text.find("[mip_custom]") != std::string::npos;
    if (custom) {
        int h0 = ctx.height * 2 / 3;
        if (h0 >= 1 && h0 * 3 == ctx.height * 2) {
            take_custom_mips(ctx.pixels, ctx.width, ctx.height, ctx.channels, out, max_alpha);
            out.info_text = std::move(ctx.text);
            return true;
        }
        show_messagef("Warning: Invalid height for custom MIP map in '%.950s'", name);
    }
    out.width = ctx.width;
    out.height = ctx.height;
    out.channels = ctx.channels;
    out.pixels = std::move(ctx.pixels);
    out.info_text = std::move(ctx.text);
    finish_with_mips(out, max_alpha);
    return true;
}

// ---- writing ---------------------------------------------------------------

struct png_write_context {
    std::vector<uint8_t>* out = nullptr;
    std::vector<uint8_t> row;
    char error[200] = "";
};

void on_png_write_error(png_structp png, png_const_charp message) {
    auto* ctx = (png_write_context*)png_get_error_ptr(png);
    if (ctx) copy_truncated(ctx->error, sizeof ctx->error, message ? message : "PNG error");
    png_longjmp(png, 1);
}

void on_png_write(png_structp png, png_bytep data, size_t length) {
    auto* ctx = (png_write_context*)png_get_io_ptr(png);
    ctx->out->insert(ctx->out->end(), data, data + length);
}

void on_png_flush(png_structp) {}

// `pixels` holds 8-bit samples, or 16-bit values when depth is 16.
bool encode_png_rows(png_write_context* ctx, const void* pixels, int width, int height, int channels, int depth,
                     const char* text) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, ctx, on_png_write_error, on_png_warning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, ctx, on_png_write, on_png_flush);
    int color_type = channels == 1 ? PNG_COLOR_TYPE_GRAY : channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA;
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, depth, color_type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_text chunk;
    memset(&chunk, 0, sizeof chunk);
    if (text && *text) {
        chunk.compression = PNG_TEXT_COMPRESSION_NONE;
        chunk.key = (png_charp) "Comment";
        chunk.text = (png_charp)text;
        chunk.text_length = strlen(text);
        png_set_text(png, info, &chunk, 1);
    }
    png_write_info(png, info);
    size_t row_values = (size_t)width * channels;
    ctx->row.resize(row_values * (depth / 8));
    for (int y = 0; y < height; y++) {
        if (depth == 16) {
            const uint16_t* src = (const uint16_t*)pixels + row_values * y;
            for (size_t k = 0; k < row_values; k++) {
                ctx->row[2 * k] = (uint8_t)(src[k] >> 8);
                ctx->row[2 * k + 1] = (uint8_t)src[k];
            }
        } else {
            memcpy(ctx->row.data(), (const uint8_t*)pixels + row_values * y, row_values);
        }
        png_write_row(png, ctx->row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool encode_png_common(const void* pixels, int width, int height, int channels, int depth, const char* text,
                       std::vector<uint8_t>& out) {
    out.clear();
    if (!pixels || width < 1 || height < 1 || (channels != 1 && channels != 3 && channels != 4)) return false;
    png_write_context ctx;
    ctx.out = &out;
    if (!encode_png_rows(&ctx, pixels, width, height, channels, depth, text)) {
        out.clear();
        return false;
    }
    return true;
}

}  // namespace

bool read_png(const char* name, pixel_buffer& out) { return read_png_as(name, out, false, nullptr); }

bool read_rgba_image(const char* name, pixel_buffer& out) {
    png_result r;
    if (read_png_as(name, out, true, &r)) return true;
    if (r != png_result::not_png) return false;
    vfs_file* f = vfs_open(name, "rb");
    if (!f) return false;
    std::string token = read_image_token(f);
    bool ok = false;
    if (token == "Q6" || token == "Q7")
        ok = read_predictive(f, token.c_str(), 4, out);
    else
        set_image_error("'%.900s' is neither PNG nor predictive", name);
    vfs_close(f);
    return ok;
}

bool read_grey16_png(const char* name, grey16_buffer& out) {
    out = grey16_buffer();
    png_read_context ctx;
    ctx.grey16 = true;
    if (decode_png_file(name, ctx) != png_result::ok) return false;
    out.width = ctx.width;
    out.height = ctx.height;
    out.samples = std::move(ctx.samples);
    return true;
}

bool encode_png(const uint8_t* pixels, int width, int height, int channels, const char* text,
                std::vector<uint8_t>& out) {
    return encode_png_common(pixels, width, height, channels, 8, text, out);
}

bool encode_grey16_png(const uint16_t* samples, int width, int height, std::vector<uint8_t>& out) {
    return encode_png_common(samples, width, height, 1, 16, nullptr, out);
}
