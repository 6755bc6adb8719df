#include "ui/text_draw.h"

#include <GL/gl.h>

#include <algorithm>
#include <vector>

#include "render/shaders.h"

namespace {

constexpr int quad_batch = 256;
constexpr float shadow_offset = 1.0f / 16;
float g_half_width = 1;

void emit_quads(const font& f, const std::vector<text_quad>& quads, float x, float y, float lh) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, f.texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    for (size_t start = 0; start < quads.size(); start += quad_batch) {
        size_t end = std::min(quads.size(), start + quad_batch);
        glBegin(GL_QUADS);
        for (size_t i = start; i < end; i++) {
            const text_quad& q = quads[i];
            glColor4f(q.colour.r, q.colour.g, q.colour.b, q.colour.a);
            float X0 = x + q.x0 * lh, X1 = x + q.x1 * lh;
            float Y0 = y - q.y0 * lh, Y1 = y - q.y1 * lh;
            glTexCoord2f(q.u0, q.v1);
            glVertex3f(X0, Y1, -1);
            glTexCoord2f(q.u1, q.v1);
            glVertex3f(X1, Y1, -1);
            glTexCoord2f(q.u1, q.v0);
            glVertex3f(X1, Y0, -1);
            glTexCoord2f(q.u0, q.v0);
            glVertex3f(X0, Y0, -1);
        }
        glEnd();
    }
    glDisable(GL_TEXTURE_2D);
}

const font* usable(int id) {
    const font& f = font_of(id);
    return f.loaded && f.texture ? &f : nullptr;
}

}  // namespace

void begin_screen_layer(int width, int height) {
    g_half_width = width > 0 && height > 0 ? screen_half_height * (float)width / (float)height : 1.0f;
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_TEXTURE_BIT | GL_DEPTH_BUFFER_BIT |
                 GL_VIEWPORT_BIT | GL_LINE_BIT);
    if (width > 0 && height > 0) glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-g_half_width, g_half_width, -screen_half_height, screen_half_height, 0, 2);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    use_program(program_fixed);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_FOG);
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

void end_screen_layer() {
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}

float screen_half_width() { return g_half_width; }

void draw_text(int id, const char* text, float x, float y, float line_height, text_colour colour) {
    const font* f = usable(id);
    if (!f || !text || !*text) return;
    std::vector<text_quad> quads;
    layout_text(*f, text, colour, true, quads);
    emit_quads(*f, quads, x, y, line_height);
}

void draw_text_shadowed(int id, const char* text, float x, float y, float line_height, text_colour colour) {
    const font* f = usable(id);
    if (!f || !text || !*text) return;
    std::vector<text_quad> quads;
    layout_text(*f, text, text_colour{0, 0, 0, colour.a * 0.5f}, false, quads);
    float d = shadow_offset * line_height;
    emit_quads(*f, quads, x + d, y - d, line_height);
    quads.clear();
    layout_text(*f, text, colour, true, quads);
    emit_quads(*f, quads, x, y, line_height);
}

float text_width_at(int id, const char* text, float line_height) {
    return text_width(font_of(id), text) * line_height;
}

void draw_text_centred(int id, const char* text, float x0, float x1, float y, float line_height,
                       text_colour colour) {
    float w = text_width_at(id, text, line_height);
    draw_text_shadowed(id, text, (x0 + x1 - w) / 2, y, line_height, colour);
}

void draw_text_right(int id, const char* text, float x, float y, float line_height, text_colour colour) {
    draw_text_shadowed(id, text, x - text_width_at(id, text, line_height), y, line_height, colour);
}

void fill_rect(float x0, float y0, float x1, float y1, text_colour c) {
    glDisable(GL_TEXTURE_2D);
    glColor4f(c.r, c.g, c.b, c.a);
    glBegin(GL_QUADS);
    glVertex3f(x0, y0, -1);
    glVertex3f(x1, y0, -1);
    glVertex3f(x1, y1, -1);
    glVertex3f(x0, y1, -1);
    glEnd();
}

void draw_picture(unsigned texture, float x0, float y0, float x1, float y1, text_colour c, float u0, float v0,
                  float u1, float v1) {
    if (!texture) return;
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(c.r, c.g, c.b, c.a);
    glBegin(GL_QUADS);
    glTexCoord2f(u0, v1);
    glVertex3f(x0, y0, -1);
    glTexCoord2f(u1, v1);
    glVertex3f(x1, y0, -1);
    glTexCoord2f(u1, v0);
    glVertex3f(x1, y1, -1);
    glTexCoord2f(u0, v0);
    glVertex3f(x0, y1, -1);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}
