// Text painted into pixels in memory with the loaded font sheets (number
// plates and other textures made at run time).
#pragma once

#include <cstdint>

#include "render/bike_draw.h"

// Paints the text with its top-left corner at pixel (x, y), `line_pixels`
// tall per line, blending `colour` by the glyphs' alpha into an image of
// 3 or 4 channels (rows top first; alpha left alone). False when the font
// is not loaded or the arguments make no image.
bool paint_text_pixels(int font, const char* text, const uint8_t colour[3], uint8_t* pixels, int width,
                       int height, int channels, float x, float y, float line_pixels);
// Width in pixels of the text at that line height.
float text_pixel_width(int font, const char* text, float line_pixels);

// The number plate painter: the number centred on a size × size RGB plate
// in the foreground colour, with the condensed digits for three or more
// characters. Does nothing before the fonts are loaded.
void paint_number_plate(const char* number, const number_plate_colours& colours, uint8_t* rgb, int size);
