// Font sheets: cells found from the separator colour, advances from the
// cell sizes, and the generated sheets of the data archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "render/image_io.h"
#include "testkit/built_data.h"
#include "testkit/testkit.h"
#include "render/bike_draw.h"
#include "ui/font.h"
#include "ui/text_pixels.h"
#include "ui_test_util.h"
#include "vfs/vfs.h"

TEST(font_sheet, CellsGiveRectanglesAndAdvancesInOrder) {
    // Band 0: widths 4, 8, 16; band 1: width 12. Lines 16 pixels tall.
    pixel_buffer p = make_sheet(64, 64, 16, {{4, 8, 16}, {12}});
    font f;
    ASSERT_TRUE(parse_font_sheet(p, "0123456789", f));
    const glyph& a = f.glyphs['0'];
    EXPECT_TRUE(a.defined);
    EXPECT_EQ(a.x, 1);
    EXPECT_EQ(a.y, 1);
    EXPECT_EQ(a.width, 4);
    EXPECT_EQ(a.height, 16);
    EXPECT_FLOAT_EQ(a.u0, 1.0f / 64);
    EXPECT_FLOAT_EQ(a.u1, 5.0f / 64);
    EXPECT_FLOAT_EQ(a.v0, 1.0f / 64);
    EXPECT_FLOAT_EQ(a.v1, 17.0f / 64);
    EXPECT_FLOAT_EQ(a.advance, 0.25f);
    EXPECT_FLOAT_EQ(f.glyphs['1'].advance, 0.5f);
    EXPECT_EQ(f.glyphs['1'].x, 6);
    EXPECT_FLOAT_EQ(f.glyphs['2'].advance, 1.0f);
    // The second band's cell is the fourth character.
    EXPECT_EQ(f.glyphs['3'].y, 18);
    EXPECT_FLOAT_EQ(f.glyphs['3'].advance, 0.75f);
    // Characters past the last cell, and those not in the list, keep the
    // default; a space is half a digit on a sheet without letters.
    EXPECT_FALSE(f.glyphs['4'].defined);
    EXPECT_FLOAT_EQ(f.glyphs['4'].advance, default_advance);
    EXPECT_FLOAT_EQ(f.glyphs[' '].advance, 0.125f);
    EXPECT_FALSE(f.glyphs[' '].defined);
    EXPECT_FALSE(f.glyphs['A'].defined);
}

TEST(font_sheet, SeparatorIsWhateverTheTopLeftPixelHolds) {
    // Opaque magenta separators, cells transparent black: the roles of the
    // colours come from the corner, not from fixed values.
    pixel_buffer q = make_sheet(32, 32, 10, {{5, 5}});
    for (size_t i = 0; i < q.pixels.size(); i += 4) {
        if (q.pixels[i + 3] == 0) {
            q.pixels[i] = 255, q.pixels[i + 1] = 0, q.pixels[i + 2] = 255, q.pixels[i + 3] = 255;
        } else {
            q.pixels[i] = q.pixels[i + 1] = q.pixels[i + 2] = q.pixels[i + 3] = 0;
        }
    }
    font f;
    ASSERT_TRUE(parse_font_sheet(q, "ab", f));
    EXPECT_TRUE(f.glyphs['a'].defined);
    EXPECT_TRUE(f.glyphs['b'].defined);
    EXPECT_EQ(f.glyphs['b'].x, 7);
    EXPECT_FLOAT_EQ(f.glyphs['a'].advance, 0.5f);
}

TEST(font_sheet, EmptyAndMalformedPicturesDefineNothing) {
    font f;
    pixel_buffer none;
    EXPECT_FALSE(parse_font_sheet(none, "ab", f));
    EXPECT_FALSE(f.glyphs['a'].defined);

    pixel_buffer blank = make_sheet(16, 16, 4, {});
    EXPECT_TRUE(parse_font_sheet(blank, "ab", f));
    EXPECT_FALSE(f.glyphs['a'].defined);

    pixel_buffer short_pixels = make_sheet(16, 16, 4, {{3}});
    short_pixels.pixels.resize(10);
    EXPECT_FALSE(parse_font_sheet(short_pixels, "ab", f));
    EXPECT_FALSE(f.glyphs['a'].defined);
}

namespace {

struct archive_sheets : ::testing::Test {
    vfs_sandbox box;
    void SetUp() override {
        if (!link_built_archive(box)) GTEST_SKIP() << "no data archive";
    }
    void TearDown() override { vfs_shutdown(); }
};

}  // namespace

TEST_F(archive_sheets, GeneratedTextSheetDefinesEveryPrintableCharacter) {
    pixel_buffer p;
    ASSERT_TRUE(read_rgba_image("@font.png", p));
    font f;
    ASSERT_TRUE(parse_font_sheet(p, text_font_characters, f));
    int line = 0;
    for (const char* c = text_font_characters; *c; c++) {
        const glyph& g = f.glyphs[(uint8_t)*c];
        ASSERT_TRUE(g.defined) << *c;
        EXPECT_GT(g.advance, 0.1f) << *c;
        EXPECT_LT(g.advance, 1.2f) << *c;
        if (!line) line = g.height;
        EXPECT_EQ(g.height, line) << *c;  // one line height for the whole sheet
    }
    EXPECT_GT(f.glyphs['W'].advance, f.glyphs['i'].advance * 2);
    // Word gaps are half an "n": narrower than most letters, wider than the thinnest.
    EXPECT_FALSE(f.glyphs[' '].defined);
    EXPECT_FLOAT_EQ(f.glyphs[' '].advance, f.glyphs['n'].advance / 2);
    EXPECT_LT(f.glyphs[' '].advance, f.glyphs['e'].advance);
    EXPECT_GT(f.glyphs[' '].advance, f.glyphs['i'].advance * 0.8f);
}

TEST_F(archive_sheets, GeneratedNumberSheetsHoldTenDigitsAndCondensedIsNarrower) {
    font plain, condensed;
    pixel_buffer p, q;
    ASSERT_TRUE(read_rgba_image("@numbers.png", p));
    ASSERT_TRUE(read_rgba_image("@numbers-condensed.png", q));
    ASSERT_TRUE(parse_font_sheet(p, number_font_characters, plain));
    ASSERT_TRUE(parse_font_sheet(q, number_font_characters, condensed));
    for (char c = '0'; c <= '9'; c++) {
        EXPECT_TRUE(plain.glyphs[(uint8_t)c].defined) << c;
        EXPECT_TRUE(condensed.glyphs[(uint8_t)c].defined) << c;
        EXPECT_LT(condensed.glyphs[(uint8_t)c].advance, plain.glyphs[(uint8_t)c].advance) << c;
    }
    // Something is drawn in the cell of "8": its alpha is not all zero.
    const glyph& g = plain.glyphs['8'];
    int covered = 0;
    for (int y = g.y; y < g.y + g.height; y++)
        for (int x = g.x; x < g.x + g.width; x++) covered += p.pixels[((size_t)y * p.width + x) * 4 + 3] > 128;
    EXPECT_GT(covered, g.width * g.height / 10);
}

TEST_F(archive_sheets, LoadFontsWithoutGlKeepsLayoutAndPixels) {
    load_fonts();
    for (int id = 0; id < font_count; id++) {
        EXPECT_TRUE(font_of(id).loaded) << id;
        EXPECT_FALSE(font_of(id).sheet.empty()) << id;
    }
    EXPECT_TRUE(font_of(font_numbers).glyphs['5'].defined);
    free_font_textures();
    EXPECT_FALSE(font_of(font_text).loaded);
    EXPECT_FALSE(font_of(99).loaded);
}

TEST_F(archive_sheets, NumberPlatesShowTheNumberCentred) {
    load_fonts();
    set_number_plate_painter(paint_number_plate);
    number_plate_colours c;  // black on white
    for (const char* number : {"7", "27", "123"}) {
        std::vector<uint8_t> px = number_plate_pixels(number, c);
        const int n = number_plate_size;
        ASSERT_EQ(px.size(), (size_t)n * n * 3);
        // Dark pixels exist, lie inside the plate's margins, and are centred.
        int x0 = n, x1 = -1, y0 = n, y1 = -1, dark = 0;
        for (int y = 0; y < n; y++)
            for (int x = 0; x < n; x++)
                if (px[((size_t)y * n + x) * 3] < 100) {
                    dark++;
                    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
                }
        EXPECT_GT(dark, n * n / 20) << number;
        EXPECT_GT(x0, 2) << number;
        EXPECT_LT(x1, n - 3) << number;
        EXPECT_NEAR((x0 + x1) / 2.0, n / 2.0, n * 0.08) << number;
        EXPECT_NEAR((y0 + y1) / 2.0, n / 2.0, n * 0.12) << number;
        EXPECT_GT(y1 - y0, n / 3) << number;  // digits fill much of the plate
    }
    // Before the fonts are there the plate stays blank.
    free_font_textures();
    std::vector<uint8_t> blank = number_plate_pixels("42", c);
    for (uint8_t v : blank) ASSERT_EQ(v, 255);
    set_number_plate_painter(nullptr);
}
