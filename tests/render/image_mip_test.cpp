// The mip chain: layout of the levels and the box filter.
#include <gtest/gtest.h>

#include <vector>

#include "render/image_mip.h"

namespace {

TEST(mip_chain, LevelLayoutOfOddAndThinImages) {
    EXPECT_EQ(mip_level_count(1, 1), 1);
    EXPECT_EQ(mip_level_count(5, 3), 3);  // 5x3, 2x1, 1x1
    EXPECT_EQ(mip_level_count(1, 8), 4);
    EXPECT_EQ(mip_chain_bytes(5, 3, 3), (size_t)(15 + 2 + 1) * 3);
    EXPECT_EQ(mip_level_offset(5, 3, 4, 2), (size_t)(15 + 2) * 4);
    EXPECT_EQ(mip_chain_bytes(1, 8, 1), (size_t)(8 + 4 + 2 + 1));
}

TEST(mip_chain, RgbMeanIsTruncatedAndThinSidesReuseTheirPixels) {
    std::vector<uint8_t> px(mip_chain_bytes(2, 2, 3));
    const uint8_t level0[12] = {0, 10, 255, 1, 10, 255, 1, 10, 255, 1, 11, 254};
    std::copy(level0, level0 + 12, px.begin());
    build_mip_chain(px.data(), 2, 2, 3);
    EXPECT_EQ(px[12], 0);  // 3 / 4
    EXPECT_EQ(px[13], 10);
    EXPECT_EQ(px[14], 254);
    std::vector<uint8_t> col(mip_chain_bytes(1, 2, 1));
    col[0] = 10;
    col[1] = 21;
    build_mip_chain(col.data(), 1, 2, 1);
    EXPECT_EQ(col[2], 15);
}

TEST(mip_chain, RgbaColourIsWeightedByAlpha) {
    auto reduce = [](std::vector<uint8_t> four, bool max_alpha) {
        std::vector<uint8_t> px(mip_chain_bytes(2, 2, 4));
        std::copy(four.begin(), four.end(), px.begin());
        build_mip_chain(px.data(), 2, 2, 4, max_alpha);
        return std::vector<uint8_t>(px.begin() + 16, px.end());
    };
    // One opaque red pixel among transparent black ones keeps its colour.
    EXPECT_EQ(reduce({255, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false),
              (std::vector<uint8_t>{255, 0, 0, 63}));
    EXPECT_EQ(reduce({255, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true),
              (std::vector<uint8_t>{255, 0, 0, 255}));
    // Fully transparent and fully opaque blocks take the plain mean.
    EXPECT_EQ(reduce({100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, false), (std::vector<uint8_t>{25, 0, 0, 0}));
    EXPECT_EQ(reduce({100, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 3, 0, 0, 255}, false),
              (std::vector<uint8_t>{25, 0, 0, 255}));
    // Weighted: (200*100 + 0*50) / 150.
    EXPECT_EQ(reduce({200, 0, 0, 100, 0, 0, 0, 50, 0, 0, 0, 0, 0, 0, 0, 0}, false),
              (std::vector<uint8_t>{133, 0, 0, 37}));
}

}  // namespace
