// Font sheets made in the tests: cells of chosen widths in bands, the glyph
// area opaque white, so that every layout and drawing result is known.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/image_io.h"
#include "ui/font.h"

// A sheet with one band per entry of `bands`, each a list of cell widths;
// cells `line` pixels tall, 1-pixel separators of transparent black, cells
// filled with `fill`.
inline pixel_buffer make_sheet(int width, int height, int line, const std::vector<std::vector<int>>& bands,
                               const uint8_t fill[4] = nullptr) {
    static const uint8_t white[4] = {255, 255, 255, 255};
    if (!fill) fill = white;
    pixel_buffer p;
    p.width = width;
    p.height = height;
    p.channels = 4;
    p.pixels.assign((size_t)width * height * 4, 0);
    int y = 1;
    for (const std::vector<int>& cells : bands) {
        int x = 1;
        for (int w : cells) {
            for (int yy = y; yy < y + line && yy < height; yy++)
                for (int xx = x; xx < x + w && xx < width; xx++)
                    for (int c = 0; c < 4; c++) p.pixels[((size_t)yy * width + xx) * 4 + c] = fill[c];
            x += w + 1;
        }
        y += line + 1;
    }
    return p;
}

// A font whose "!" … "~" are cells of width 8 at line height 16 (advance
// 0.5); space keeps the default advance.
inline font half_width_font() {
    std::vector<std::vector<int>> bands(4, std::vector<int>(24, 8));
    font f;
    parse_font_sheet(make_sheet(256, 128, 16, bands), text_font_characters, f);
    f.loaded = true;
    f.texture = 1;
    return f;
}
