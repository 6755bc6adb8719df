// Font sheets and text: a small sheet picture from the first bytes, laid
// out and painted with the rest as text (escape sequences included).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/font.h"
#include "ui/text_layout.h"
#include "ui/text_pixels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    int w = data[0] % 32 + 1, h = data[1] % 32 + 1;
    size_t bytes = (size_t)w * h * 4;
    pixel_buffer sheet;
    sheet.width = w;
    sheet.height = h;
    sheet.channels = 4;
    sheet.pixels.assign(bytes, 0);
    size_t take = std::min(bytes, size - 2);
    std::copy(data + 2, data + 2 + take, sheet.pixels.begin());
    std::string text((const char*)data + 2 + take, size - 2 - take);

    font f;
    parse_font_sheet(sheet, text_font_characters, f);
    for (const glyph& g : f.glyphs) {
        if (!g.defined) continue;
        if (g.x < 0 || g.y < 0 || g.x + g.width > w || g.y + g.height > h || g.advance <= 0) abort();
    }
    std::vector<text_quad> quads;
    layout_text(f, text.c_str(), text_colour{}, true, quads);
    float width = text_width(f, text.c_str());
    for (const text_quad& q : quads)
        if (q.x1 > width + 1e-3f || q.x0 < 0 || q.colour.r < 0 || q.colour.r > 1) abort();

    // Painting into a plate goes through the loaded fonts.
    fonts[font_text] = f;
    fonts[font_text].loaded = true;
    fonts[font_text].sheet = sheet.pixels;
    fonts[font_text].sheet_width = w;
    fonts[font_text].sheet_height = h;
    std::vector<uint8_t> plate(32 * 32 * 3, 200);
    const uint8_t ink[3] = {0, 0, 0};
    paint_text_pixels(font_text, text.c_str(), ink, plate.data(), 32, 32, 3, 1, 1, 9);
    fonts[font_text] = font{};
    return 0;
}
