#include "datagen/font_raster.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

const char* const font_folders[] = {"/usr/share/fonts/truetype/dejavu/", "/usr/share/fonts/dejavu/",
                                    "/usr/share/fonts/TTF/"};

FT_Face face_of(raster_font& f) { return (FT_Face)f.face; }

// Alpha-over of colour c with coverage a onto a pixel.
void blend(rgba& d, rgba c, double a) {
    double sa = c.a / 255.0 * a;
    double da = d.a / 255.0;
    double oa = sa + da * (1 - sa);
    if (oa <= 0) return;
    auto ch = [&](uint8_t s, uint8_t t) { return (uint8_t)std::clamp((s * sa + t * da * (1 - sa)) / oa + 0.5, 0.0, 255.0); };
    d = rgba{ch(c.r, d.r), ch(c.g, d.g), ch(c.b, d.b), (uint8_t)std::clamp(oa * 255 + 0.5, 0.0, 255.0)};
}

}  // namespace

raster_font::~raster_font() {
    if (face) FT_Done_Face((FT_Face)face);
    if (library) FT_Done_FreeType((FT_Library)library);
}

bool open_raster_font(raster_font& f, const char* file, int pixel_size) {
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib)) {
        fprintf(stderr, "datagen: FreeType could not start\n");
        return false;
    }
    f.library = lib;
    FT_Face face = nullptr;
    for (const char* folder : font_folders) {
        std::string path = std::string(folder) + file;
        if (FT_New_Face(lib, path.c_str(), 0, &face) == 0) break;
        face = nullptr;
    }
    if (!face) {
        fprintf(stderr, "datagen: font %s not found (package fonts-dejavu-core)\n", file);
        return false;
    }
    f.face = face;
    if (FT_Set_Pixel_Sizes(face, 0, (FT_UInt)pixel_size)) {
        fprintf(stderr, "datagen: font %s has no size %d\n", file, pixel_size);
        return false;
    }
    f.ascender = (int)(face->size->metrics.ascender >> 6);
    f.descender = (int)(face->size->metrics.descender >> 6);
    raster_glyph zero;
    if (!rasterise_glyph(f, '0', zero)) return false;
    f.cap_height = zero.top;
    return true;
}

bool rasterise_glyph(raster_font& f, char c, raster_glyph& out) {
    FT_Face face = face_of(f);
    if (!face || FT_Load_Char(face, (FT_ULong)(unsigned char)c, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL)) return false;
    FT_GlyphSlot g = face->glyph;
    out.width = (int)g->bitmap.width;
    out.height = (int)g->bitmap.rows;
    out.left = g->bitmap_left;
    out.top = g->bitmap_top;
    out.advance = (int)((g->advance.x + 32) >> 6);
    out.alpha.assign((size_t)out.width * out.height, 0);
    for (int y = 0; y < out.height; y++)
        for (int x = 0; x < out.width; x++)
            out.alpha[(size_t)y * out.width + x] = g->bitmap.buffer[y * g->bitmap.pitch + x];
    return true;
}

int raster_text_width(raster_font& f, const std::string& text) {
    int w = 0;
    raster_glyph g;
    for (char c : text)
        if (rasterise_glyph(f, c, g)) w += g.advance;
    return w;
}

void draw_raster_text(picture& p, raster_font& f, const std::string& text, int x, int baseline, rgba c) {
    raster_glyph g;
    for (char ch : text) {
        if (!rasterise_glyph(f, ch, g)) continue;
        for (int y = 0; y < g.height; y++) {
            for (int gx = 0; gx < g.width; gx++) {
                int px = x + g.left + gx, py = baseline - g.top + y;
                if (px < 0 || py < 0 || px >= p.width || py >= p.height) continue;
                uint8_t a = g.alpha[(size_t)y * g.width + gx];
                if (a) blend(p.at(px, py), c, a / 255.0);
            }
        }
        x += g.advance;
    }
}
