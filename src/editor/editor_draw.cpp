// The editor's picture: the ground seen from above with its own textures and
// shading, the tools and the track's pieces drawn over it, the read-outs, the
// status line and the menu rows (which the apply button also clicks).
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "editor/editor_internal.h"
#include "race/race.h"
#include "race/timing_gates.h"
#include "render/terrain_textures.h"
#include "track/height_field.h"
#include "track/objects_billboards.h"
#include "track/objects_statues.h"
#include "ui/font.h"
#include "ui/setting_edit.h"
#include "ui/text_draw.h"

namespace {

// ---- the menu rows ------------------------------------------------------------------------------------

enum class row_kind { mode, record, button };
struct menu_row {
    row_kind kind;
    int mode = -1;
    const char* label = nullptr;  // a record's label or a button's text
};

const std::vector<menu_row>& rows() {
    static std::vector<menu_row> list;
    if (list.empty()) {
        for (int m = 0; m < editor_mode_count; m++) list.push_back({row_kind::mode, m, editor_mode_names[m]});
        for (const char* label : {"Zoom", "Radius", "Focus", "Strength", "SubMode", "Segment Type"})
            list.push_back({row_kind::record, -1, label});
        for (const char* label : {"New Gradient", "Copy Gradient", "Flatten", "Save"})
            list.push_back({row_kind::button, -1, label});
    }
    return list;
}

constexpr int row_pixels = 18;
constexpr int readout_rows = 4;  // below the menu rows
constexpr int panel_pixels = 300;

int panel_left() { return editor.window[0] - panel_pixels; }
// Below the HUD's map picture in the top right corner.
int panel_top() { return std::min(290, std::max(editor.window[1] - 26 * row_pixels - 40, 0)); }
int row_top(size_t k) { return panel_top() + 4 + (int)k * row_pixels; }
// The value part of a record row (the slider for numbers).
int value_left() { return panel_left() + 130; }
int value_right() { return editor.window[0] - 8; }

int row_at(int x, int y) {
    if (x < panel_left()) return -1;
    for (size_t k = 0; k < rows().size(); k++)
        if (y >= row_top(k) && y < row_top(k) + row_pixels) return (int)k;
    return -1;
}

// Window pixels to the screen layer's units.
float layer_x(float px) { return (px / (float)std::max(editor.window[0], 1) * 2 - 1) * screen_half_width(); }
float layer_y(float py) { return 1 - py / (float)std::max(editor.window[1], 1) * 2; }

// ---- world overlays ------------------------------------------------------------------------------------------

void circle(float x, float z, float r, int segments = 48) {
    glBegin(GL_LINE_LOOP);
    for (int k = 0; k < segments; k++) {
        float a = (float)k / segments * 6.2831853f;
        glVertex3f(x + r * std::cos(a), 0, z + r * std::sin(a));
    }
    glEnd();
}

void segment(float x0, float z0, float x1, float z1) {
    glBegin(GL_LINES);
    glVertex3f(x0, 0, z0);
    glVertex3f(x1, 0, z1);
    glEnd();
}

// A square of `half` window pixels around a world point.
void marker(float x, float z, float half) {
    float span = terrain.extent / std::exp2((float)editor_settings.zoom);
    float w = half * span / (float)std::max(editor.window[1], 1);
    glBegin(GL_LINE_LOOP);
    glVertex3f(x - w, 0, z - w);
    glVertex3f(x + w, 0, z - w);
    glVertex3f(x + w, 0, z + w);
    glVertex3f(x - w, 0, z + w);
    glEnd();
}

void draw_track_pieces() {
    const timing_data& timing = track_timing();
    glColor4f(0.2f, 0.6f, 1.0f, 1);
    for (const timing_gate& g : timing.gates) {
        circle(g.centre[0], g.centre[2], std::max(g.radius, 0.5f));
        float dx = g.direction[0], dz = g.direction[2], len = std::sqrt(dx * dx + dz * dz);
        if (len > 0) segment(g.centre[0], g.centre[2], g.centre[0] + dx / len * g.radius, g.centre[2] + dz / len * g.radius);
    }
    glColor4f(1, 1, 1, 1);
    for (const start_gate_position& p : timing.starts) {
        marker(p.position[0], p.position[2], 3);
        segment(p.position[0], p.position[2], p.position[0] - std::sin(p.angle) * 3, p.position[2] - std::cos(p.angle) * 3);
    }
    glColor4f(1, 0.5f, 0.1f, 1);
    const std::vector<statue>& statues = track_statues();
    for (size_t k = (size_t)std::max(first_track_statue(), 0); k < statues.size(); k++)
        marker(statues[k].x, statues[k].z, 4);
    glColor4f(0.3f, 1, 0.3f, 1);
    const std::vector<billboard>& boards = track_billboards();
    for (size_t k = (size_t)std::max(first_track_billboard(), 0); k < boards.size(); k++)
        marker(boards[k].x, boards[k].z, 2);
}

void draw_gradients() {
    for (size_t k = 0; k < editor.gradients.size(); k++) {
        const gradient& g = editor.gradients[k];
        bool chosen = (int)k == editor.selected_gradient;
        glColor4f(1, chosen ? 1.0f : 0.6f, chosen ? 0.2f : 0.6f, 1);
        segment(g.origin[0], g.origin[1], g.toward[0], g.toward[1]);
        marker(g.origin[0], g.origin[1], 4);
        float dx = g.toward[0] - g.origin[0], dz = g.toward[1] - g.origin[1];
        float len = std::sqrt(dx * dx + dz * dz);
        if (!(len > 0)) continue;
        for (const gradient_point& p : g.points)
            marker(g.origin[0] + dx / len * p.distance, g.origin[1] + dz / len * p.distance, 2);
    }
}

void draw_brush() {
    editor_point p = editor_cursor_point();
    float r = editor_brush_radius(), f = editor_focus_radius();
    if (editor.mode == 4) {
        // Snap acts on blocks of 2^n samples.
        float c = terrain.cell_size, want = std::exp2((float)editor_settings.strength);
        int shift = 0;
        while (shift < 30 && c * std::exp2((float)shift) < want) shift++;
        float side = c * (float)(1 << shift);
        float x0 = std::floor(p.x / side) * side, z0 = std::floor(p.z / side) * side;
        glColor4f(1, 1, 0, 1);
        glBegin(GL_LINE_LOOP);
        glVertex3f(x0, 0, z0);
        glVertex3f(x0 + side, 0, z0);
        glVertex3f(x0 + side, 0, z0 + side);
        glVertex3f(x0, 0, z0 + side);
        glEnd();
        return;
    }
    if (!editor_mode_built(editor.mode)) return;
    glColor4f(1, 1, 0, 1);
    circle(p.x, p.z, r, 64);
    glColor4f(1, 0.4f, 0, 1);
    circle(p.x, p.z, f, 48);
    if (!editor.stroke_start.none()) {
        glColor4f(1, 1, 0, 1);
        segment(editor.stroke_start.x, editor.stroke_start.z, p.x, p.z);
    }
}

void draw_world(int width, int height) {
    float span = terrain.extent / std::exp2((float)editor_settings.zoom);
    float half_w = span * (float)width / (float)std::max(height, 1) / 2, half_h = span / 2;
    float cx = editor.view_center[0], cz = editor.view_center[1];
    glViewport(0, 0, width, height);
    glClearColor(0.1f, 0.1f, 0.12f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Looking straight down: eye x = world x, eye up = world -z, eye depth = world y.
    float top = terrain.height_max + 1000, bottom = terrain.height_min - 1000;
    glOrtho(cx - half_w, cx + half_w, -cz - half_h, -cz + half_h, -top, -bottom);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(90, 1, 0, 0);
    terrain_camera({cx, terrain.height_max + span, cz}, {0, -1, 0});
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    terrain_textures_update();
    terrain_draw();
    // Overlays lie over everything, at the top of the depth range.
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glLineWidth(1.5f);
    glPushMatrix();
    glTranslatef(0, terrain.height_max + 1, 0);
    draw_track_pieces();
    draw_gradients();
    draw_brush();
    glPopMatrix();
    glColor4f(1, 1, 1, 1);
}

// ---- the screen layer -------------------------------------------------------------------------

void text_at(const char* text, float px, float py, text_colour colour, int size = 14) {
    draw_text_shadowed(font_text, text, layer_x(px), layer_y(py), (float)size * 2 / std::max(editor.window[1], 1), colour);
}

void draw_panel() {
    float top = layer_y((float)panel_top()), bottom = layer_y((float)row_top(rows().size() + readout_rows) + 4);
    fill_rect(layer_x((float)panel_left()), bottom, layer_x((float)editor.window[0]), top, text_colour{0, 0, 0, 0.55f});
    const text_colour white{1, 1, 1, 1}, yellow{1, 1, 0.2f, 1}, grey{0.55f, 0.55f, 0.55f, 1};
    for (size_t k = 0; k < rows().size(); k++) {
        const menu_row& r = rows()[k];
        float y = (float)row_top(k) + 2, x = (float)panel_left() + 8;
        if (r.kind == row_kind::mode) {
            text_colour c = r.mode == editor.mode ? yellow : (editor_mode_built(r.mode) ? white : grey);
            text_at(r.label, x, y, c);
            continue;
        }
        if (r.kind == row_kind::button) {
            text_at(r.label, x, y, text_colour{0.6f, 0.9f, 1, 1});
            continue;
        }
        const setting* s = find_editor_setting(r.label);
        if (!s) continue;
        text_at(r.label, x, y, white);
        if (s->kind == setting_kind::number) {
            float x0 = layer_x((float)value_left()), x1 = layer_x((float)value_right());
            float fill = (float)number_fill(*s);
            float y0 = layer_y((float)row_top(k) + row_pixels - 3), y1 = layer_y((float)row_top(k) + 3);
            fill_rect(x0, y0, x1, y1, text_colour{0.25f, 0.25f, 0.3f, 0.8f});
            fill_rect(x0, y0, x0 + (x1 - x0) * fill, y1, text_colour{0.3f, 0.5f, 0.9f, 0.9f});
            text_at(number_value_text(*s).c_str(), (float)value_left() + 4, y, white);
        } else {
            text_at(choice_value_text(*s).c_str(), (float)value_left(), y, white);
        }
    }
}

void draw_readouts(int width, int height) {
    char line[128];
    const text_colour white{1, 1, 1, 1};
    float x = (float)panel_left() + 8;
    float r = editor_brush_radius();
    snprintf(line, sizeof line, "Actual Radius: %.2f (%.2f)", r, editor_focus_radius());
    text_at(line, x, (float)row_top(rows().size() + 0) + 2, white);
    snprintf(line, sizeof line, "Actual Strength: %.3f", std::exp2(editor_settings.strength));
    text_at(line, x, (float)row_top(rows().size() + 1) + 2, white);
    editor_point p = editor_cursor_point();
    snprintf(line, sizeof line, "Height: %.2f", height_at(p.x, p.z));
    text_at(line, x, (float)row_top(rows().size() + 2) + 2, white);
    if (editor.selected_gradient >= 0 && editor.selected_gradient < (int)editor.gradients.size()) {
        const gradient& g = editor.gradients[(size_t)editor.selected_gradient];
        float dx = g.toward[0] - g.origin[0], dz = g.toward[1] - g.origin[1];
        snprintf(line, sizeof line, "Length: %.2f", std::sqrt(dx * dx + dz * dz));
        text_at(line, x, (float)row_top(rows().size() + 3) + 2, white);
    }
    std::string status = std::string(editor_mode_names[editor.mode]) + " - " + editor.status_text;
    if (!editor_mode_built(editor.mode)) status += " (this tool is not built yet)";
    if (editor_track_modified()) status += "  [modified]";
    text_at(status.c_str(), 8, (float)height - 24, text_colour{1, 1, 0.4f, 1}, 16);
    (void)width;
}

}  // namespace

bool editor_menu_click(int x, int y) {
    int k = row_at(x, y);
    if (k < 0) return false;
    const menu_row& r = rows()[(size_t)k];
    if (r.kind == row_kind::mode) {
        editor_select_mode(r.mode);
    } else if (r.kind == row_kind::button) {
        std::string label = r.label;
        if (label == "New Gradient") editor_new_gradient();
        else if (label == "Copy Gradient") editor_copy_gradient();
        else if (label == "Flatten") editor_flatten_gradient();
        else if (label == "Save") editor_save();
    } else if (const setting* s = find_editor_setting(r.label)) {
        if (s->kind == setting_kind::number) number_key(*s, edit_keys.cursor_left, true, x, value_left(), value_right());
        else choice_key(*s, edit_keys.cursor_left, true);
    }
    return true;
}

void editor_draw(int width, int height) {
    if (!editor.attached) return;
    editor.window[0] = std::max(width, 1);
    editor.window[1] = std::max(height, 1);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    draw_world(width, height);
    glPopAttrib();
    begin_screen_layer(width, height);
    draw_panel();
    draw_readouts(width, height);
    end_screen_layer();
}
