#include "ui/screens.h"

#include <GL/gl.h>

#include <cmath>

#include "core/loading.h"
#include "core/version.h"
#include "ui/hud.h"
#include "ui/text_draw.h"

namespace {

constexpr double pi = 3.14159265358979323846;
const text_colour grey75{0.75f, 0.75f, 0.75f, 1};

void draw_label() {
    const float lh = block_line_height(16);
    draw_text_right(font_text, build_label(), screen_half_width() - lh * 0.25f, -screen_half_height + lh, lh,
                    grey75);
}

void draw_splash(const char* text) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const float W = screen_half_width(), H = screen_half_height;
    unsigned title = hud_texture(picture_title);
    if (title) {
        // A 2:1 picture covering the screen, centred.
        float w = W, h = W / 2;
        if (h < H) h = H, w = 2 * H;
        draw_picture(title, -w, -h, w, h, text_colour{1, 1, 1, 1});
    }
    if (text && *text) {
        const float lh = block_line_height(25);
        draw_text_centred(font_text, text, -W, W, block_row_top(21, 25), lh, text_colour{1, 1, 1, 1});
    }
    draw_label();
}

}  // namespace

const char* build_label() { return quarnix_version; }

void draw_title_screen(const char* text, int width, int height) {
    begin_screen_layer(width, height);
    draw_splash(text);
    end_screen_layer();
}

void draw_loading_indicator(unsigned count, int width, int height) {
    begin_screen_layer(width, height);
    draw_splash(loading_previous_text().c_str());
    const float r = 0.09f, cx = screen_half_width() - 0.16f, cy = -screen_half_height + 0.3f;
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_TRIANGLE_FAN);
    glColor4f(0.5f, 0.5f, 0.5f, 1);
    glVertex3f(cx, cy, -1);
    glColor4f(0.25f, 0.25f, 0.25f, 1);
    for (int i = 0; i <= 48; i++) {
        double a = 2 * pi * i / 48;
        glVertex3f(cx + r * (float)std::sin(a), cy + r * (float)std::cos(a), -1);
    }
    glEnd();
    glBegin(GL_QUADS);
    for (int i = 0; i < 32; i++) {
        float level = (count >> i) & 1 ? 0.875f : 0.75f;
        glColor4f(level, level, level, 1);
        double a0 = 2 * pi * (i + 0.15) / 32, a1 = 2 * pi * (i + 0.85) / 32;
        float r0 = r * 0.45f, r1 = r * 0.92f;
        glVertex3f(cx + r0 * (float)std::sin(a0), cy + r0 * (float)std::cos(a0), -1);
        glVertex3f(cx + r1 * (float)std::sin(a0), cy + r1 * (float)std::cos(a0), -1);
        glVertex3f(cx + r1 * (float)std::sin(a1), cy + r1 * (float)std::cos(a1), -1);
        glVertex3f(cx + r0 * (float)std::sin(a1), cy + r0 * (float)std::cos(a1), -1);
    }
    glEnd();
    end_screen_layer();
}

void draw_menu_background(int width, int height) {
    begin_screen_layer(width, height);
    const float W = screen_half_width();
    fill_rect(-W, -screen_half_height, W, screen_half_height, text_colour{0, 0, 0, 0.5f});
    draw_label();
    end_screen_layer();
}

void draw_text_row(const char* text, int row, int rows, int width, int height) {
    if (rows <= 0) return;
    begin_screen_layer(width, height);
    const float W = screen_half_width(), lh = block_line_height(rows);
    draw_text_centred(font_text, text, -W, W, block_row_top(row, rows), lh, text_colour{1, 1, 1, 1});
    end_screen_layer();
}
