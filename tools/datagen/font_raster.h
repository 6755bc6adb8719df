// Glyphs rasterised from the DejaVu fonts Debian ships (fonts-dejavu-core),
// through FreeType, for the generated font sheets and HUD pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "datagen/picture.h"

struct raster_glyph {
    int width = 0, height = 0;  // bitmap size
    int left = 0, top = 0;      // bitmap origin from the pen: right, up
    int advance = 0;            // pixels
    std::vector<uint8_t> alpha;
};

struct raster_font {
    void* library = nullptr;
    void* face = nullptr;
    int ascender = 0, descender = 0;  // pixels above and below the baseline (descender < 0)
    int cap_height = 0;               // height of "0" above the baseline
    raster_font() = default;
    raster_font(const raster_font&) = delete;
    raster_font& operator=(const raster_font&) = delete;
    ~raster_font();
};

// Opens a DejaVu font file (e.g. "DejaVuSans-Bold.ttf") at a pixel size;
// false (with a message on standard error) when it is not installed.
bool open_raster_font(raster_font& f, const char* file, int pixel_size);
bool rasterise_glyph(raster_font& f, char c, raster_glyph& out);
// Pixel width of a text set with the font's advances.
int raster_text_width(raster_font& f, const std::string& text);
// Blends the text in colour c (its alpha scaled by coverage) onto the
// picture, the pen starting at (x, baseline).
void draw_raster_text(picture& p, raster_font& f, const std::string& text, int x, int baseline, rgba c);
