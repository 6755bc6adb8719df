// The predictive lossless format: each byte stored is the difference (mod 256)
// between the pixel's channel and its prediction from the left, upper and
// upper-left neighbours. "Q6" stores 3 channels, "Q7" 4.
#include <algorithm>
#include <cstring>

#include "core/text.h"
#include "render/image_internal.h"
#include "vfs/vfs.h"

namespace {

// Prediction of channel c at (x, y) from the decoded rows `above` and `row`
// (`stored` channels per pixel).
inline int predict(const uint8_t* above, const uint8_t* row, int x, int y, int c, int stored) {
    if (y == 0) return x == 0 ? 0 : row[(x - 1) * stored + c];
    if (x == 0) return above[c];
    int p = row[(x - 1) * stored + c] + above[x * stored + c] - above[(x - 1) * stored + c];
    return p < 0 ? 0 : (p > 255 ? 255 : p);
}

}  // namespace

bool read_predictive(vfs_file* file, const char* token, int channels, pixel_buffer& out, bool with_mips) {
    out = pixel_buffer();
    int stored;
    if (token && strcmp(token, "Q6") == 0)
        stored = 3;
    else if (token && strcmp(token, "Q7") == 0)
        stored = 4;
    else {
        set_image_error("Can't parse predictive header");
        return false;
    }
    if (!file || (channels != 3 && channels != 4)) {
        set_image_error("Bad predictive channel count %d", channels);
        return false;
    }
    long long width = read_image_header_number(file);
    long long height = read_image_header_number(file);
    if (width < 0 || height < 0) {
        set_image_error("Can't get predictive image dimensions");
        return false;
    }
    if (!image_size_ok(width, height)) {
        set_image_error("Bad predictive image size %lldx%lld", width, height);
        return false;
    }
    vfs_getc(file);
    int w = (int)width, h = (int)height;
    size_t row_bytes = (size_t)w * (size_t)stored;
    // The first row is read before anything of its size is allocated, in
    // steps, so a header that promises a wide image costs only the bytes the
    // file really holds; every later buffer is then no bigger than what was
    // read. Level 0 grows row by row for the same reason.
    std::vector<uint8_t> residual;
    if (!read_exactly(file, residual, row_bytes)) {
        set_image_error("Predictive image data ends early");
        out = pixel_buffer();
        return false;
    }
    std::vector<uint8_t> rows[2] = {std::vector<uint8_t>(row_bytes), std::vector<uint8_t>(row_bytes)};
    for (int y = 0; y < h; y++) {
        if (y > 0 && vfs_read(file, residual.data(), row_bytes) != row_bytes) {
            set_image_error("Predictive image data ends early");
            out = pixel_buffer();
            return false;
        }
        const uint8_t* above = rows[(y + 1) & 1].data();
        uint8_t* row = rows[y & 1].data();
        for (int x = 0; x < w; x++)
            for (int c = 0; c < stored; c++)
                row[x * stored + c] = (uint8_t)(predict(above, row, x, y, c, stored) + residual[x * stored + c]);
        size_t at = out.pixels.size();
        out.pixels.resize(at + (size_t)w * channels);
        uint8_t* dst = out.pixels.data() + at;
        for (int x = 0; x < w; x++) {
            for (int c = 0; c < 3; c++) dst[x * channels + c] = row[x * stored + c];
            // An image without alpha widened to four channels is opaque.
            if (channels == 4) dst[x * channels + 3] = stored == 4 ? row[x * stored + 3] : 255;
        }
    }
    out.width = w;
    out.height = h;
    out.channels = channels;
    if (with_mips) finish_with_mips(out, false);
    return true;
}

std::vector<uint8_t> encode_predictive(const uint8_t* pixels, int width, int height, int channels) {
    if (channels != 3 && channels != 4) channels = 3;
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    std::string header = format_string("%s\n%d %d\n", channels == 4 ? "Q7" : "Q6", width, height);
    std::vector<uint8_t> bytes(header.begin(), header.end());
    size_t row_bytes = (size_t)width * channels;
    bytes.reserve(bytes.size() + row_bytes * height);
    for (int y = 0; y < height; y++) {
        const uint8_t* row = pixels + row_bytes * y;
        const uint8_t* above = y > 0 ? row - row_bytes : row;
        for (int x = 0; x < width; x++)
            for (int c = 0; c < channels; c++)
                bytes.push_back((uint8_t)(row[x * channels + c] - predict(above, row, x, y, c, channels)));
    }
    return bytes;
}
