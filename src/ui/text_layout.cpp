#include "ui/text_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr char escape_char = 27;

// Walks the text: calls emit(character, x, y) for each drawable character
// and returns the widest x reached.
template <typename Emit>
float walk_text(const font& f, const char* text, escape_state& state, Emit emit) {
    if (!text) return 0;
    const float space = f.glyphs[(uint8_t)' '].advance;
    const float tab = 8 * space;
    float x = 0, y = 0, widest = 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t') p++;
    while (*p) {
        uint8_t c = (uint8_t)*p;
        if (c == escape_char) {
            p += parse_escape(p, state);
            continue;
        }
        p++;
        if (c == '\r') {
            x = 0;
        } else if (c == '\n') {
            x = 0;
            y += 1;
        } else if (c == '\t') {
            // The next stop strictly after x (a tiny margin absorbs rounding
            // of positions already on a stop).
            x = tab > 0 ? (std::floor(x / tab + 1e-4f) + 1) * tab : x;
        } else if (c == ' ') {
            x += space;
        } else {
            const glyph& g = f.glyphs[c];
            if (g.defined) emit(g, x, y, state);
            x += g.advance;
        }
        widest = std::max(widest, x);
    }
    return widest;
}

}  // namespace

text_colour palette_colour(int index) {
    if (index < 0 || index > 15) return {1, 1, 1, 1};
    float level = index >= 8 ? 1.0f : 0.75f;
    int bits = index & 7;
    return {bits & 1 ? level : 0.0f, bits & 2 ? level : 0.0f, bits & 4 ? level : 0.0f, 1.0f};
}

size_t parse_escape(const char* text, escape_state& state) {
    // text[0] is the escape character.
    size_t i = 1;
    bool bracket = text[i] == '[';
    if (bracket) i++;
    size_t params = i;
    // Up to the final character '@' … '~', or the end of the text.
    while (text[i] && !(text[i] >= '@' && text[i] <= '~')) i++;
    if (!text[i]) return i;  // cut off: nothing applies
    char final = text[i];
    size_t end = i + 1;
    if (!bracket || final != 'm') return end;

    int numbers[escape_number_limit];
    int count = 0;
    long value = 0;
    bool any = false;
    for (size_t k = params; k <= i && count < escape_number_limit; k++) {
        char c = text[k];
        if (c >= '0' && c <= '9') {
            // Saturate: a huge number is still just some unknown code.
            value = std::min(value * 10 + (c - '0'), 100000L);
            any = true;
        } else if (c == ';' || k == i) {
            numbers[count++] = any ? (int)value : 0;
            value = 0;
            any = false;
        }
        // Other characters between the bracket and the final are ignored.
    }
    for (int n = 0; n < count; n++) {
        int v = numbers[n];
        if (v == 0) {
            state = escape_state{};
        } else if (v == 1) {
            state.bold = true;
        } else if (v == 22) {
            state.bold = false;
        } else if (v >= 30 && v <= 37) {
            state.palette = v - 30;
        }
    }
    return end;
}

text_colour escape_colour(const escape_state& state, text_colour caller) {
    if (state.palette >= 0) {
        text_colour c = palette_colour(state.palette + (state.bold ? 8 : 0));
        c.a = caller.a;
        return c;
    }
    if (state.bold) {
        caller.r = std::min(caller.r + 0.25f, 1.0f);
        caller.g = std::min(caller.g + 0.25f, 1.0f);
        caller.b = std::min(caller.b + 0.25f, 1.0f);
    }
    return caller;
}

void layout_text(const font& f, const char* text, text_colour colour, bool colour_codes,
                 std::vector<text_quad>& out) {
    escape_state state;
    walk_text(f, text, state, [&](const glyph& g, float x, float y, const escape_state& s) {
        text_quad q;
        q.x0 = x;
        q.y0 = y;
        q.x1 = x + g.advance;
        q.y1 = y + 1;
        q.u0 = g.u0;
        q.v0 = g.v0;
        q.u1 = g.u1;
        q.v1 = g.v1;
        q.colour = colour_codes ? escape_colour(s, colour) : colour;
        out.push_back(q);
    });
}

float text_width(const font& f, const char* text) {
    escape_state state;
    return walk_text(f, text, state, [](const glyph&, float, float, const escape_state&) {});
}

int text_line_count(const char* text) {
    if (!text) return 0;
    int n = 1;
    for (const char* p = text; *p; p++)
        if (*p == '\n') n++;
    return n;
}
