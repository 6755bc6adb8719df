// Mip chain sizes and the box filter that builds each level from the one above.
#include "render/image_mip.h"

#include <algorithm>

int mip_level_count(int width, int height) {
    int levels = 1;
    while (width > 1 || height > 1) {
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
        levels++;
    }
    return levels;
}

size_t mip_level_offset(int width, int height, int channels, int level) {
    size_t offset = 0;
    for (int l = 0; l < level; l++) offset += (size_t)mip_side(width, l) * (size_t)mip_side(height, l) * (size_t)channels;
    return offset;
}

size_t mip_chain_bytes(int width, int height, int channels) {
    return mip_level_offset(width, height, channels, mip_level_count(width, height));
}

namespace {

// One level from the previous one. Source columns 2x and 2x+1 (the second
// clamped to the last column, so a side of 1 counts its pixel twice).
void reduce_level(const uint8_t* src, int sw, int sh, uint8_t* dst, int dw, int dh, int channels, bool max_alpha) {
    for (int y = 0; y < dh; y++) {
        int y0 = std::min(2 * y, sh - 1), y1 = std::min(2 * y + 1, sh - 1);
        const uint8_t* r0 = src + (size_t)y0 * sw * channels;
        const uint8_t* r1 = src + (size_t)y1 * sw * channels;
        uint8_t* out = dst + (size_t)y * dw * channels;
        for (int x = 0; x < dw; x++) {
            int x0 = std::min(2 * x, sw - 1), x1 = std::min(2 * x + 1, sw - 1);
            const uint8_t* p[4] = {r0 + x0 * channels, r0 + x1 * channels, r1 + x0 * channels, r1 + x1 * channels};
            uint8_t* o = out + x * channels;
            if (channels != 4) {
                for (int c = 0; c < channels; c++) o[c] = (uint8_t)((p[0][c] + p[1][c] + p[2][c] + p[3][c]) >> 2);
                continue;
            }
            int asum = p[0][3] + p[1][3] + p[2][3] + p[3][3];
            if (max_alpha)
                o[3] = std::max(std::max(p[0][3], p[1][3]), std::max(p[2][3], p[3][3]));
            else
                o[3] = (uint8_t)(asum >> 2);
            for (int c = 0; c < 3; c++) {
                if (asum == 0 || asum == 1020) {
                    o[c] = (uint8_t)((p[0][c] + p[1][c] + p[2][c] + p[3][c]) >> 2);
                } else {
                    int weighted = p[0][c] * p[0][3] + p[1][c] * p[1][3] + p[2][c] * p[2][3] + p[3][c] * p[3][3];
                    o[c] = (uint8_t)(weighted / asum);
                }
            }
        }
    }
}

}  // namespace

void build_mip_levels_from(uint8_t* pixels, int width, int height, int channels, int first_level, bool max_alpha) {
    int levels = mip_level_count(width, height);
    for (int l = first_level + 1; l < levels; l++) {
        const uint8_t* src = pixels + mip_level_offset(width, height, channels, l - 1);
        uint8_t* dst = pixels + mip_level_offset(width, height, channels, l);
        reduce_level(src, mip_side(width, l - 1), mip_side(height, l - 1), dst, mip_side(width, l),
                     mip_side(height, l), channels, max_alpha);
    }
}

void build_mip_chain(uint8_t* pixels, int width, int height, int channels, bool max_alpha) {
    build_mip_levels_from(pixels, width, height, channels, 0, max_alpha);
}
