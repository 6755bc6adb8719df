// PPM ("P6" binary, "P3" ASCII) and PGM ("P5", "P2") readers and writers.
#include <algorithm>
#include <cstring>

#include "core/text.h"
#include "render/image_internal.h"
#include "vfs/vfs.h"

namespace {

struct pnm_kind {
    const char* name;    // "PPM" / "PGM" in the error texts
    const char* binary;  // magic of the binary variant
    const char* ascii;   // magic of the ASCII variant
    int channels;
};

constexpr pnm_kind ppm_kind{"PPM", "P6", "P3", 3};
constexpr pnm_kind pgm_kind{"PGM", "P5", "P2", 1};

// The body after the magic token: header, then width x height x channels
// samples scaled from 0..maximum to 0..255.
bool read_pnm_body(vfs_file* file, const pnm_kind& kind, bool binary, pixel_buffer& out) {
    long long width = read_image_header_number(file);
    long long height = read_image_header_number(file);
    long long maximum = read_image_header_number(file);
    // A maximum of 0 would divide by zero; it is as unusable as a missing one.
    if (width < 0 || height < 0 || maximum <= 0) {
        set_image_error("Can't get %s dimensions", kind.name);
        return false;
    }
    if (!image_size_ok(width, height)) {
        set_image_error("Bad %s size %lldx%lld", kind.name, width, height);
        return false;
    }
    vfs_getc(file);  // the one separator byte before the samples
    size_t count = (size_t)width * (size_t)height * (size_t)kind.channels;
    out.pixels.clear();
    if (binary) {
        if (!read_exactly(file, out.pixels, count)) {
            set_image_error("%s data ends early", kind.name);
            return false;
        }
        if (maximum != 255) {
            unsigned max = (unsigned)maximum;
            for (uint8_t& s : out.pixels) s = (uint8_t)std::min(255u, (unsigned)s * 255u / max);
        }
    } else {
        out.pixels.reserve(std::min(count, (size_t)1 << 20));
        for (size_t k = 0; k < count; k++) {
            vfs_skip_comments(file);
            long long v;
            if (vfs_scanf(file, "%lld", &v) != 1) {
                set_image_error("%s data ends early", kind.name);
                return false;
            }
            // Samples above the maximum are out of range; they saturate.
            v = std::clamp(v, 0LL, maximum);
            out.pixels.push_back((uint8_t)(v * 255 / maximum));
        }
    }
    out.width = (int)width;
    out.height = (int)height;
    out.channels = kind.channels;
    out.has_mips = false;
    out.info_text.clear();
    return true;
}

bool read_pnm(vfs_file* file, const pnm_kind& kind, const std::string& token, pixel_buffer& out) {
    bool binary = token == kind.binary;
    if (!binary && token != kind.ascii) {
        set_image_error("Can't parse %s header", kind.name);
        return false;
    }
    return read_pnm_body(file, kind, binary, out);
}

std::vector<uint8_t> encode_pnm(const char* magic, const uint8_t* data, int width, int height, int channels) {
    std::string header = format_string("%s\n%d %d\n255\n", magic, width, height);
    size_t n = (width > 0 && height > 0) ? (size_t)width * (size_t)height * (size_t)channels : 0;
    std::vector<uint8_t> bytes(header.begin(), header.end());
    if (n) bytes.insert(bytes.end(), data, data + n);
    return bytes;
}

}  // namespace

bool read_rgb_image(vfs_file* file, pixel_buffer& out, bool with_mips) {
    if (!file) return false;
    std::string token = read_image_token(file);
    if (token == "Q6" || token == "Q7") return read_predictive(file, token.c_str(), 3, out, with_mips);
    if (!read_pnm(file, ppm_kind, token, out)) {
        out = pixel_buffer();
        return false;
    }
    if (with_mips) finish_with_mips(out, false);
    return true;
}

bool read_pgm(vfs_file* file, pixel_buffer& out) {
    if (!file) return false;
    if (!read_pnm(file, pgm_kind, read_image_token(file), out)) {
        out = pixel_buffer();
        return false;
    }
    return true;
}

std::vector<uint8_t> encode_ppm(const uint8_t* rgb, int width, int height) {
    return encode_pnm("P6", rgb, width, height, 3);
}

std::vector<uint8_t> encode_pgm(const uint8_t* grey, int width, int height) {
    return encode_pnm("P5", grey, width, height, 1);
}
