// Pixel work on in-memory mip chains: power-of-two resampling, dropping the
// top level, and the test that finds a top level adding no detail.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "render/texture.h"

bool is_power_of_two(int n) { return n > 0 && (n & (n - 1)) == 0; }

int power_of_two_below(int n) {
    int p = 1;
    while (p * 2 < n && p < (1 << 29)) p *= 2;
    return p;
}

bool resample_power_of_two(pixel_buffer& img, bool max_alpha) {
    if (img.width < 1 || img.height < 1 || img.channels < 1) return false;
    if (is_power_of_two(img.width) && is_power_of_two(img.height)) return false;
    int w = power_of_two_below(img.width), h = power_of_two_below(img.height);
    int c = img.channels;
    std::vector<uint8_t> out(mip_chain_bytes(w, h, c));
    for (int y = 0; y < h; y++) {
        // Nearest neighbour: the source pixel under each target pixel's centre.
        int sy = (int)(((long long)y * 2 + 1) * img.height / (2LL * h));
        for (int x = 0; x < w; x++) {
            int sx = (int)(((long long)x * 2 + 1) * img.width / (2LL * w));
            memcpy(&out[((size_t)y * w + x) * c], &img.pixels[((size_t)sy * img.width + sx) * c], (size_t)c);
        }
    }
    build_mip_chain(out.data(), w, h, c, max_alpha);
    img.pixels = std::move(out);
    img.width = w;
    img.height = h;
    img.has_mips = true;
    return true;
}

bool drop_top_level(pixel_buffer& img) {
    if (!img.has_mips || (img.width <= 1 && img.height <= 1)) return false;
    size_t top = (size_t)img.width * img.height * img.channels;
    img.pixels.erase(img.pixels.begin(), img.pixels.begin() + (std::ptrdiff_t)top);
    img.width = mip_side(img.width, 1);
    img.height = mip_side(img.height, 1);
    return true;
}

namespace {

// Level-1 neighbours of a level-0 coordinate and the weight (out of 4) of the
// nearer one: centre alignment puts level-0 pixel 2i at i - 1/4 and 2i + 1 at
// i + 1/4 in level-1 pixels.
inline void neighbours(int x, int side1, int& near, int& far) {
    near = std::min(x / 2, side1 - 1);
    far = (x & 1) ? near + 1 : near - 1;
    far = std::clamp(far, 0, side1 - 1);
}

}  // namespace

bool top_level_redundant(const pixel_buffer& img) {
    if (!img.has_mips || (img.width <= 1 && img.height <= 1)) return false;
    int w0 = img.width, h0 = img.height, c = img.channels;
    int w1 = mip_side(w0, 1), h1 = mip_side(h0, 1);
    const uint8_t* l0 = img.pixels.data();
    const uint8_t* l1 = l0 + (size_t)w0 * h0 * c;
    for (int y = 0; y < h0; y++) {
        int yn, yf;
        if (h1 == h0) {
            yn = yf = y;  // a side of 1 does not halve
        } else {
            neighbours(y, h1, yn, yf);
        }
        for (int x = 0; x < w0; x++) {
            int xn, xf;
            if (w1 == w0) {
                xn = xf = x;
            } else {
                neighbours(x, w1, xn, xf);
            }
            const uint8_t* a = l1 + ((size_t)yn * w1 + xn) * c;
            const uint8_t* b = l1 + ((size_t)yn * w1 + xf) * c;
            const uint8_t* d = l1 + ((size_t)yf * w1 + xn) * c;
            const uint8_t* e = l1 + ((size_t)yf * w1 + xf) * c;
            const uint8_t* p = l0 + ((size_t)y * w0 + x) * c;
            for (int k = 0; k < c; k++) {
                int v = (9 * a[k] + 3 * b[k] + 3 * d[k] + e[k] + 8) / 16;
                if (std::abs(v - p[k]) > 4) return false;
            }
        }
    }
    return true;
}

int reduce_texture_detail(pixel_buffer& img, int count) {
    while (count > 0 && img.width > 128 && img.height > 128 && drop_top_level(img)) count--;
    int dropped = 0;
    while ((img.width > 16 || img.height > 16) && top_level_redundant(img) && drop_top_level(img)) dropped++;
    return dropped;
}
