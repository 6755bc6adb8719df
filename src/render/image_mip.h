// Mip chains of 8-bit pixel buffers: level 0, then each level with its sides
// halved (at least 1) down to 1 x 1, all in one block.
#pragma once

#include <cstddef>
#include <cstdint>

// Number of levels from w x h down to 1 x 1 (1 for a 1 x 1 image).
int mip_level_count(int width, int height);
// Side of level `level` (never below 1).
inline int mip_side(int side, int level) {
    int s = side >> level;
    return s < 1 ? 1 : s;
}
// Byte offset of level `level` inside the chain.
size_t mip_level_offset(int width, int height, int channels, int level);
// Bytes of the whole chain.
size_t mip_chain_bytes(int width, int height, int channels);

// Fills levels 1.. of `pixels` (which holds mip_chain_bytes) from level 0.
// RGB: the truncated mean of each 2 x 2 block. RGBA: alpha is the truncated
// mean (or the maximum with max_alpha), colours the alpha-weighted mean
// except where the block is fully transparent or fully opaque. A side of 1
// reuses its only row or column.
void build_mip_chain(uint8_t* pixels, int width, int height, int channels, bool max_alpha = false);
// Builds levels first_level+1.. from first_level (levels up to first_level are
// kept as they are).
void build_mip_levels_from(uint8_t* pixels, int width, int height, int channels, int first_level, bool max_alpha);
