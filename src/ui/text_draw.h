// The screen layer and text on it. The layer is an orthographic view whose
// visible area spans -W..W across and -H..H up (H = 1, W = H × the window's
// aspect); everything here draws into it.
#pragma once

#include "ui/text_layout.h"

constexpr float screen_half_height = 1.0f;

// Sets up the layer for a window of the given pixel size (projection,
// blending, no depth test or lighting); end_screen_layer puts back the
// matrices and state it changed.
void begin_screen_layer(int width, int height);
void end_screen_layer();
// W of the layer last begun (1 before any).
float screen_half_width();

// A block of n text lines over the screen's height: each line 2H/n tall,
// line 0 at the top.
inline float block_line_height(int lines) { return lines > 0 ? 2 * screen_half_height / lines : 0; }
// The top of row `row` of such a block.
inline float block_row_top(int row, int lines) { return screen_half_height - row * block_line_height(lines); }

// Text with its top-left corner at (x, y) in layer units, `line_height`
// tall per line. Every function draws nothing when the font is not loaded.
void draw_text(int font, const char* text, float x, float y, float line_height, text_colour colour);
// A black copy at half the alpha, 1/16 line right and down, then the text.
void draw_text_shadowed(int font, const char* text, float x, float y, float line_height, text_colour colour);
// Shadowed, centred between x0 and x1.
void draw_text_centred(int font, const char* text, float x0, float x1, float y, float line_height,
                       text_colour colour);
// Shadowed, ending at x.
void draw_text_right(int font, const char* text, float x, float y, float line_height, text_colour colour);
// Width in layer units.
float text_width_at(int font, const char* text, float line_height);

// ---- plain shapes in the layer --------------------------------------------------
void fill_rect(float x0, float y0, float x1, float y1, text_colour colour);
// A textured rectangle (v = 0 at y1, the top); texture 0 draws nothing.
void draw_picture(unsigned texture, float x0, float y0, float x1, float y1, text_colour tint,
                  float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1);
