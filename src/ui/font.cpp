#include "ui/font.h"

#include <cstring>

#include "core/diag.h"
#include "render/texture.h"

const char* const text_font_characters =
    "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
const char* const number_font_characters = "0123456789";

std::array<font, font_count> fonts;

namespace {

struct run {
    int start, length;
};

// Maximal runs of indexes in [0, count) for which `is_gap` is false.
template <typename F>
std::vector<run> runs_between(int count, F is_gap) {
    std::vector<run> out;
    int i = 0;
    while (i < count) {
        while (i < count && is_gap(i)) i++;
        int start = i;
        while (i < count && !is_gap(i)) i++;
        if (i > start) out.push_back({start, i - start});
    }
    return out;
}

// The sheet has no cell for the blank, only glyphs; a space is as wide as
// half an "n" (a digit on the number sheets), the usual proportion of a
// font's word space.
bool set_space_advance(font& f) {
    for (char c : {'n', '0'}) {
        const glyph& g = f.glyphs[(uint8_t)c];
        if (g.defined) {
            f.glyphs[(uint8_t)' '].advance = g.advance * 0.5f;
            break;
        }
    }
    return true;
}

}  // namespace

bool parse_font_sheet(const pixel_buffer& image, const char* characters, font& out) {
    out.glyphs = {};
    const int w = image.width, h = image.height, ch = image.channels;
    if (w <= 0 || h <= 0 || ch < 1 || ch > 4 || image.pixels.size() < (size_t)w * h * ch) return false;
    const uint8_t* px = image.pixels.data();
    auto at = [&](int x, int y) { return px + ((size_t)y * w + x) * ch; };
    const uint8_t* sep = at(0, 0);
    auto is_sep = [&](int x, int y) { return memcmp(at(x, y), sep, (size_t)ch) == 0; };

    std::vector<run> bands = runs_between(h, [&](int y) {
        for (int x = 0; x < w; x++)
            if (!is_sep(x, y)) return false;
        return true;
    });
    size_t next = 0;
    const size_t count = characters ? strlen(characters) : 0;
    for (const run& band : bands) {
        std::vector<run> cells = runs_between(w, [&](int x) {
            for (int y = band.start; y < band.start + band.length; y++)
                if (!is_sep(x, y)) return false;
            return true;
        });
        for (const run& cell : cells) {
            if (next >= count) return set_space_advance(out);
            glyph& g = out.glyphs[(uint8_t)characters[next++]];
            g.defined = true;
            g.x = cell.start;
            g.y = band.start;
            g.width = cell.length;
            g.height = band.length;
            g.u0 = (float)cell.start / w;
            g.u1 = (float)(cell.start + cell.length) / w;
            g.v0 = (float)band.start / h;
            g.v1 = (float)(band.start + band.length) / h;
            g.advance = (float)cell.length / band.length;
        }
    }
    return set_space_advance(out);
}

const font& font_of(int id) {
    static const font none;
    return id >= 0 && id < font_count ? fonts[(size_t)id] : none;
}

bool load_font(font& f, const char* name, const char* characters) {
    f = font{};
    pixel_buffer image;
    if (!read_rgba_image(name, image)) {
        log_printf("Can't load font %s\n", name);
        return false;
    }
    if (!parse_font_sheet(image, characters, f)) {
        log_printf("Font %s has no glyph cells\n", name);
        return false;
    }
    // Level 0 only: the rest of the chain is the texture's business.
    if (image.channels == 4) {
        size_t bytes = (size_t)image.width * image.height * 4;
        f.sheet.assign(image.pixels.begin(), image.pixels.begin() + (ptrdiff_t)bytes);
        f.sheet_width = image.width;
        f.sheet_height = image.height;
    }
    std::string texture_name = std::string("!") + name;
    f.texture = texture_load(texture_name.c_str());
    f.loaded = true;
    return true;
}

void load_fonts() {
    load_font(fonts[font_text], "@font.png", text_font_characters);
    load_font(fonts[font_numbers], "@numbers.png", number_font_characters);
    load_font(fonts[font_numbers_condensed], "@numbers-condensed.png", number_font_characters);
}

void free_font_textures() {
    for (font& f : fonts) f = font{};
}
