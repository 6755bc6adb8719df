// The three font sheets: white glyphs whose shape is in the alpha channel,
// one cell per character, cells set apart by rows and columns of the
// separator colour (transparent black, the top-left pixel) while the empty
// part of a cell is transparent white. A cell is as wide as the glyph's
// advance and as tall as the line, so the program reads the advances from
// the cell sizes.
#include <algorithm>
#include <cstdio>
#include <string>

#include "datagen/datagen.h"
#include "datagen/font_raster.h"
#include "datagen/picture.h"

namespace {

const rgba separator{0, 0, 0, 0};
const rgba cell_blank{255, 255, 255, 0};

int next_power_of_two(int n) {
    int p = 1;
    while (p < n) p <<= 1;
    return p;
}

struct sheet_layout {
    const char* member;
    const char* font_file;
    int pixel_size;
    int line_height;  // cell height in pixels
    int baseline;     // from the cell's top
    const char* characters;
    int sheet_width;
};

bool make_sheet(datagen_output& out, const sheet_layout& s) {
    raster_font f;
    if (!open_raster_font(f, s.font_file, s.pixel_size)) return false;
    std::string chars = s.characters;
    std::vector<raster_glyph> glyphs(chars.size());
    for (size_t i = 0; i < chars.size(); i++) {
        if (!rasterise_glyph(f, chars[i], glyphs[i])) {
            fprintf(stderr, "datagen: no glyph for '%c' in %s\n", chars[i], s.font_file);
            return false;
        }
    }
    // Pack the cells into bands, 1 pixel of separator all round each.
    struct placed {
        int x, y;
    };
    std::vector<placed> at(chars.size());
    int x = 1, y = 1;
    for (size_t i = 0; i < chars.size(); i++) {
        int w = std::max(1, glyphs[i].advance);
        if (x + w + 1 > s.sheet_width) {
            x = 1;
            y += s.line_height + 1;
        }
        at[i] = {x, y};
        x += w + 1;
    }
    int height = next_power_of_two(y + s.line_height + 1);
    picture p(s.sheet_width, height, separator);
    for (size_t i = 0; i < chars.size(); i++) {
        const raster_glyph& g = glyphs[i];
        int w = std::max(1, g.advance);
        p.rect(at[i].x, at[i].y, at[i].x + w, at[i].y + s.line_height, cell_blank);
        // Coverage clipped to the cell, so that no glyph reaches a separator.
        for (int gy = 0; gy < g.height; gy++) {
            for (int gx = 0; gx < g.width; gx++) {
                int cx = g.left + gx, cy = s.baseline - g.top + gy;
                if (cx < 0 || cx >= w || cy < 0 || cy >= s.line_height) continue;
                uint8_t a = g.alpha[(size_t)gy * g.width + gx];
                p.at(at[i].x + cx, at[i].y + cy) = rgba{255, 255, 255, a};
            }
        }
    }
    add_picture(out, s.member, p, true);
    return true;
}

bool generate_fonts(datagen_output& out) {
    // Text: DejaVu Sans Bold, the full line from ascender to descender.
    const sheet_layout text{"font.png", "DejaVuSans-Bold.ttf", 40, 48, 38,
                          "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
                          "abcdefghijklmnopqrstuvwxyz{|}~",
                          1024};
    // Digits fill most of their line: plates and the panel want them big.
    const sheet_layout numbers{"numbers.png", "DejaVuSans-Bold.ttf", 118, 100, 93, "0123456789", 1024};
    const sheet_layout condensed{"numbers-condensed.png", "DejaVuSansCondensed-Bold.ttf", 118, 100, 93, "0123456789",
                               1024};
    return make_sheet(out, text) && make_sheet(out, numbers) && make_sheet(out, condensed);
}

}  // namespace

QX_DATAGEN_GENERATOR(fonts, generate_fonts);
