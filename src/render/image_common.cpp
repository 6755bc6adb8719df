// The last image error, header numbers, size checks and whole-file saving.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <climits>

#include "render/image_internal.h"
#include "vfs/vfs.h"

size_t image_pixel_limit = (size_t)1 << 27;

namespace {
char image_error[1025];
}

const char* last_image_error() { return image_error; }

void set_image_error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(image_error, sizeof image_error, format, args);
    va_end(args);
}

long long read_image_header_number(vfs_file* file) {
    vfs_skip_comments(file);
    long long v;
    if (vfs_scanf(file, "%lld", &v) != 1) return -1;
    return std::clamp(v, (long long)INT_MIN, (long long)INT_MAX);
}

bool image_size_ok(long long width, long long height) {
    if (width < 1 || height < 1 || width > INT_MAX || height > INT_MAX) return false;
    return (unsigned long long)width * (unsigned long long)height <= (unsigned long long)image_pixel_limit;
}

bool read_exactly(vfs_file* file, std::vector<uint8_t>& dst, size_t n) {
    size_t start = dst.size();
    constexpr size_t step = (size_t)1 << 22;
    size_t done = 0;
    while (done < n) {
        size_t want = std::min(step, n - done);
        dst.resize(start + done + want);
        size_t got = vfs_read(file, dst.data() + start + done, want);
        done += got;
        if (got < want) {
            dst.resize(start + done);
            return false;
        }
    }
    return true;
}

void finish_with_mips(pixel_buffer& out, bool max_alpha) {
    out.pixels.resize(mip_chain_bytes(out.width, out.height, out.channels));
    build_mip_chain(out.pixels.data(), out.width, out.height, out.channels, max_alpha);
    out.has_mips = true;
}

std::string read_image_token(vfs_file* file) {
    char token[16] = "";
    if (vfs_scanf(file, "%15s", token) != 1) return "";
    return token;
}

bool save_file_bytes(const char* name, const std::vector<uint8_t>& bytes) {
    vfs_file* f = vfs_open(name, "=wb");
    if (!f) return false;
    bool ok = vfs_write(f, bytes.data(), bytes.size()) == bytes.size();
    return vfs_close(f) && ok;
}
