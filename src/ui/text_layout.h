// Laying out text in a font: leading blanks, carriage returns, line feeds,
// tab stops every 8 space widths and colour escape sequences, into quads in
// line units. No GL here: the drawing code feeds the quads to GL.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "ui/font.h"

struct text_colour {
    float r = 1, g = 1, b = 1, a = 1;
};

// The escape palette: 0–7 at intensity 0.75, 8–15 at 1.0 (black stays black).
text_colour palette_colour(int index);

// One glyph quad. Positions are in line heights from the text's origin, x to
// the right and y down (line k spans y = k … k + 1).
struct text_quad {
    float x0, y0, x1, y1;
    float u0, v0, u1, v1;
    text_colour colour;
};

// Colour state of the escape sequences.
struct escape_state {
    int palette = -1;  // -1: the caller's colour, else 0..7
    bool bold = false;
};
// Most numbers a colour sequence is read for; later ones are ignored.
constexpr int escape_number_limit = 64;

// Reads the escape sequence that starts at text[0] (the escape character)
// and applies it to `state`. Returns how many characters it spans; a
// sequence cut off by the end of the text spans the rest of it.
size_t parse_escape(const char* text, escape_state& state);
// The colour drawn in the state, from the caller's colour.
text_colour escape_colour(const escape_state& state, text_colour caller);

// Lays the text out. With `colour_codes` off (shadows) every quad has the
// caller's colour. Characters without a glyph advance but make no quad.
void layout_text(const font& f, const char* text, text_colour colour, bool colour_codes,
                 std::vector<text_quad>& out);
// Width in line heights: the furthest any line reaches.
float text_width(const font& f, const char* text);
// Lines the text takes (1 + line feeds).
int text_line_count(const char* text);
