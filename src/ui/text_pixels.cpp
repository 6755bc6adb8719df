#include "ui/text_pixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "ui/text_layout.h"

namespace {

// The sheet's alpha at a point in sheet pixels, bilinear, within the cell.
float sheet_alpha(const font& f, const glyph& g, float sx, float sy) {
    float fx = std::clamp(sx - 0.5f, (float)g.x, (float)(g.x + g.width - 1));
    float fy = std::clamp(sy - 0.5f, (float)g.y, (float)(g.y + g.height - 1));
    int x0 = (int)fx, y0 = (int)fy;
    int x1 = std::min(x0 + 1, g.x + g.width - 1), y1 = std::min(y0 + 1, g.y + g.height - 1);
    float tx = fx - x0, ty = fy - y0;
    auto a = [&](int x, int y) { return f.sheet[((size_t)y * f.sheet_width + x) * 4 + 3] / 255.0f; };
    float top = a(x0, y0) + (a(x1, y0) - a(x0, y0)) * tx;
    float bottom = a(x0, y1) + (a(x1, y1) - a(x0, y1)) * tx;
    return top + (bottom - top) * ty;
}

}  // namespace

float text_pixel_width(int id, const char* text, float line_pixels) {
    return text_width(font_of(id), text) * line_pixels;
}

bool paint_text_pixels(int id, const char* text, const uint8_t colour[3], uint8_t* pixels, int width, int height,
                       int channels, float x, float y, float line_pixels) {
    const font& f = font_of(id);
    if (!f.loaded || f.sheet.size() < (size_t)f.sheet_width * f.sheet_height * 4 || f.sheet.empty() || !text || !pixels || width <= 0 || height <= 0 || line_pixels <= 0 ||
        (channels != 3 && channels != 4))
        return false;
    std::vector<text_quad> quads;
    layout_text(f, text, text_colour{}, false, quads);
    for (const text_quad& q : quads) {
        // Find the glyph again from its rectangle: the quad keeps only uvs.
        int px0 = std::max(0, (int)std::floor(x + q.x0 * line_pixels));
        int px1 = std::min(width, (int)std::ceil(x + q.x1 * line_pixels));
        int py0 = std::max(0, (int)std::floor(y + q.y0 * line_pixels));
        int py1 = std::min(height, (int)std::ceil(y + q.y1 * line_pixels));
        glyph g;
        g.x = (int)std::lround(q.u0 * f.sheet_width);
        g.y = (int)std::lround(q.v0 * f.sheet_height);
        g.width = std::max(1, (int)std::lround((q.u1 - q.u0) * f.sheet_width));
        g.height = std::max(1, (int)std::lround((q.v1 - q.v0) * f.sheet_height));
        if (g.x + g.width > f.sheet_width || g.y + g.height > f.sheet_height) continue;
        float scale_x = g.width / ((q.x1 - q.x0) * line_pixels), scale_y = g.height / line_pixels;
        for (int py = py0; py < py1; py++) {
            float ly = py + 0.5f - (y + q.y0 * line_pixels);
            if (ly < 0 || ly >= line_pixels) continue;
            for (int px = px0; px < px1; px++) {
                float lx = px + 0.5f - (x + q.x0 * line_pixels);
                if (lx < 0 || lx >= (q.x1 - q.x0) * line_pixels) continue;
                float a = sheet_alpha(f, g, g.x + lx * scale_x, g.y + ly * scale_y);
                if (a <= 0) continue;
                uint8_t* d = pixels + ((size_t)py * width + px) * channels;
                for (int c = 0; c < 3; c++) d[c] = (uint8_t)std::lround(d[c] + (colour[c] - d[c]) * a);
            }
        }
    }
    return true;
}

void paint_number_plate(const char* number, const number_plate_colours& colours, uint8_t* rgb, int size) {
    if (!number || !*number || size <= 0) return;
    int id = strlen(number) > 2 ? font_numbers_condensed : font_numbers;
    // Digits come from the number fonts; anything else from the text font.
    bool digits = true;
    for (const char* p = number; *p; p++)
        if (*p < '0' || *p > '9') digits = false;
    if (!digits || !font_of(id).loaded) id = font_text;
    float line = size * 0.8f;
    float w = text_pixel_width(id, number, line);
    if (w > size * 0.92f) {
        line *= size * 0.92f / w;
        w = size * 0.92f;
    }
    paint_text_pixels(id, number, colours.foreground, rgb, size, size, 3, (size - w) / 2, (size - line) / 2, line);
}
