// Image files to pixels in memory and back: PPM and PGM (binary and ASCII),
// PNG, and our own lossless predictive format "Q6" (RGB) / "Q7" (RGBA).
// Nothing here touches OpenGL or caches anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "render/image_mip.h"

struct vfs_file;

// 8 bits per channel, 1, 3 or 4 channels, rows top to bottom. With has_mips
// the whole mip chain follows level 0 in the same block (image_mip.h).
struct pixel_buffer {
    std::vector<uint8_t> pixels;
    int width = 0;
    int height = 0;
    int channels = 0;
    bool has_mips = false;
    std::string info_text;  // PNG text chunks plus the ".info" file
};

// Height images: one 16-bit value per pixel, rows top to bottom.
struct grey16_buffer {
    std::vector<uint16_t> samples;
    int width = 0;
    int height = 0;
};

// Largest pixel count (width x height) a reader accepts; bigger images fail
// before anything is allocated for them. Fuzz targets lower it.
extern size_t image_pixel_limit;
// Whether PNG chunk checksums are tested (fuzz targets turn it off so that
// mutated files reach the decoder).
extern bool png_check_crc;

// Text of the last reader failure (at most 1024 characters), "" before any.
const char* last_image_error();

// ---- readers -------------------------------------------------------------
// The first blank-separated token of a file, up to 15 characters ("" at end).
std::string read_image_token(vfs_file* file);
// "P6"/"P3" (PPM) or "Q6"/"Q7" (predictive, 3 channels) by the first token.
bool read_rgb_image(vfs_file* file, pixel_buffer& out, bool with_mips = true);
// "P5"/"P2": one channel, level 0 only.
bool read_pgm(vfs_file* file, pixel_buffer& out);
// The predictive body after its token ("Q6" or "Q7"), into 3 or 4 channels.
// A "Q6" image read into 4 channels is opaque (alpha 255).
bool read_predictive(vfs_file* file, const char* token, int channels, pixel_buffer& out, bool with_mips = true);
// Any PNG as RGB or RGBA with its mip chain and info_text. Honours the
// "[mip_max_alpha]" and "[mip_custom]" markers.
bool read_png(const char* name, pixel_buffer& out);
// Any PNG as 16-bit grey (colour converted, alpha dropped, 8-bit widened).
bool read_grey16_png(const char* name, grey16_buffer& out);
// RGBA with mip chain: a PNG (RGB widened with alpha 255) or, failing the
// PNG signature, a "Q6"/"Q7" file.
bool read_rgba_image(const char* name, pixel_buffer& out);

// ---- writers (the exact formats the readers take) ---------------------------
// "P6\n%d %d\n255\n" and the RGB bytes of level 0.
std::vector<uint8_t> encode_ppm(const uint8_t* rgb, int width, int height);
// "P5\n%d %d\n255\n" and the grey bytes.
std::vector<uint8_t> encode_pgm(const uint8_t* grey, int width, int height);
// "Q6\n%d %d\n" (channels 3) or "Q7\n%d %d\n" (channels 4) and the residuals.
std::vector<uint8_t> encode_predictive(const uint8_t* pixels, int width, int height, int channels);
// 8-bit PNG of 1 (grey), 3 or 4 channels; `text` (may be null or "") goes
// into one "Comment" text chunk. False on bad arguments.
bool encode_png(const uint8_t* pixels, int width, int height, int channels, const char* text,
                std::vector<uint8_t>& out);
// 16-bit grey PNG.
bool encode_grey16_png(const uint16_t* samples, int width, int height, std::vector<uint8_t>& out);
// Writes bytes to a file name through the file system, replacing the old
// file only once everything is written.
bool save_file_bytes(const char* name, const std::vector<uint8_t>& bytes);
