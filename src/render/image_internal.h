// Pieces the image readers share: the error text, the header number rule and
// the size checks made before anything is allocated.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/image_io.h"

struct vfs_file;

void set_image_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Header number of the "P" and "Q" formats: comment lines are skipped, then
// a decimal number is read; -1 when there is none. Values beyond the int range
// are clamped so that a huge number never wraps into a plausible one.
long long read_image_header_number(vfs_file* file);
// Whether w x h x channels is a size the readers take: both sides at least 1,
// no overflow, at most image_pixel_limit pixels.
bool image_size_ok(long long width, long long height);
// Reads exactly n bytes into dst, appending to it in steps so that a file
// whose header promises more than it holds costs no more memory than it has.
bool read_exactly(vfs_file* file, std::vector<uint8_t>& dst, size_t n);
// Turns level 0 into a buffer with room for the chain and builds it.
void finish_with_mips(pixel_buffer& out, bool max_alpha);
