// Bitmap fonts: a sheet picture whose glyph cells are found from its pixels,
// the per-character texture rectangles and advances, and the three fonts the
// program loads at start-up.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "render/image_io.h"

// Advance (in line heights) of a character the sheet does not define.
constexpr float default_advance = 0.6666667f;

struct glyph {
    float u0 = 0, v0 = 0, u1 = 0, v1 = 0;  // texture rectangle, v down from the top
    float advance = default_advance;         // in line heights
    bool defined = false;                    // the sheet has a cell for it
    // The cell in sheet pixels (for software painting).
    int x = 0, y = 0, width = 0, height = 0;
};

struct font {
    unsigned texture = 0;
    std::array<glyph, 256> glyphs;
    // Level 0 of the sheet, RGBA, kept for painting text into pixels.
    std::vector<uint8_t> sheet;
    int sheet_width = 0, sheet_height = 0;
    bool loaded = false;
};

enum font_id { font_text, font_numbers, font_numbers_condensed, font_count };

// Characters of the text font's sheet, in cell order: "!" … "~".
extern const char* const text_font_characters;
extern const char* const number_font_characters;

// The cell layout of a sheet: the top-left pixel's colour is the separator;
// rows made only of it split the sheet into bands, and inside a band
// columns made only of it split the band into cells. Cells are given to
// `characters` left to right, top to bottom; a cell's width over its band's
// height is the advance. Characters without a cell keep the default
// advance, except the space: half the advance of "n", or of "0" on a sheet
// without letters. False (and every glyph undefined) for an empty or
// malformed picture; running out of cells is not an error.
bool parse_font_sheet(const pixel_buffer& image, const char* characters, font& out);

// The loaded fonts (index font_id).
extern std::array<font, font_count> fonts;
const font& font_of(int id);

// Reads "@font.png", "@numbers.png" and "@numbers-condensed.png": layout
// from the pixels, texture through the texture cache. A missing sheet
// leaves its font unloaded (text drawn with it is skipped).
void load_fonts();
// Forgets the fonts (their textures belong to the texture cache).
void free_font_textures();
// One font from a file name; false when the picture cannot be read.
bool load_font(font& f, const char* name, const char* characters);
