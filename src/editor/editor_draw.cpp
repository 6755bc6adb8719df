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
#include "track/decals.h"
#include "track/tile_info.h"
#include "ui/font.h"
#include "ui/setting_edit.h"
#include "ui/text_draw.h"

namespace {

// ---- the menu rows ------------------------------------------------------------------------------------

enum class row_kind { mode, record, button };
struct menu_row {
    row_kind kind;
    int mode = -1;
    const char* label = nullptr;    // a button's text
    const setting* record = nullptr;
};

// The record of the editor's settings with this label; `nth` tells the
// two "Spacing" records apart (0 the tile map's, 1 the gradient points').
const setting* record(const char* label, int nth = 0) {
    for (const setting& s : editor_setting_records())
        if (std::string(s.label) == label && nth-- == 0) return &s;
    return nullptr;
}

// The mode rows, then the settings and buttons the current mode uses.
const std::vector<menu_row>& rows() {
    static std::vector<menu_row> list;
    static int built_for = -1;
    if (built_for == editor.mode && !list.empty()) return list;
    built_for = editor.mode;
    list.clear();
    for (int m = 0; m < editor_mode_count; m++) list.push_back({row_kind::mode, m, editor_mode_names[m]});
    auto add = [](const char* label, int nth = 0) {
        if (const setting* s = record(label, nth)) list.push_back({row_kind::record, -1, nullptr, s});
    };
    auto button = [](const char* label) { list.push_back({row_kind::button, -1, label}); };
    add("Zoom");
    int m = editor.mode;
    if (m <= 8) {
        for (const char* label : {"Radius", "Focus", "Strength", "SubMode", "Segment Type"}) add(label);
        for (const char* label : {"New Gradient", "Copy Gradient", "Flatten"}) button(label);
    } else if (m == 9 || m == 10) {
        add("Granularity");
        add("Segment Type");
        for (const char* label : {"New Gradient", "Copy Gradient", "Flatten", "Set From Terrain"}) button(label);
    } else if (m == 11) {
        add("Radius");
        button("Clear AI Switch Point");
        button("Set AI Switch Point");
    } else if (m == 12) {
        add("Height");
        add("Spacing", 1);
    } else if (m == 13) {
        add("Show Collidable");
        button("Snap to Gradient");
    } else if (m == 14) {
        add("Tile");
        add("Radius");
    } else {
        for (const char* label : {"Level", "Hide different", "Orientation"}) add(label);
        add("Spacing", 0);
        add("Radius");
    }
    button("Save");
    return list;
}

constexpr int row_pixels = 18;
constexpr int readout_rows = 6;  // below the menu rows
constexpr int panel_pixels = 300;

int panel_left() { return editor.window[0] - panel_pixels; }
// Below the HUD's map picture in the top right corner.
// The same for every mode (room for the longest list of rows), so that the
// mode rows stay where they are when the mode changes.
int panel_top() {
    constexpr int most_rows = editor_mode_count + 10;
    int used = (most_rows + readout_rows) * row_pixels + 40;
    return std::min(290, std::max(editor.window[1] - used, 0));
}
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

// A handle's hit square (h/2 around its point), filled when the cursor is on
// it; never drawn smaller than a few pixels, so that it can be found.
void handle(float x, float z, bool hot) {
    float pixel = terrain.extent / std::exp2((float)editor_settings.zoom) / (float)std::max(editor.window[1], 1);
    float w = std::max(editor_handle_size() / 2, 4 * pixel);
    glBegin(hot ? GL_QUADS : GL_LINE_LOOP);
    glVertex3f(x - w, 0, z - w);
    glVertex3f(x + w, 0, z - w);
    glVertex3f(x + w, 0, z + w);
    glVertex3f(x - w, 0, z + w);
    glEnd();
}

bool near_cursor(float x, float z) { return editor_distance(editor_cursor_point(), x, z) <= editor_handle_size() / 2; }

void colour(float r, float g, float b) { glColor4f(r, g, b, 1); }

void draw_gates() {
    const timing_data& timing = track_timing();
    bool tool = editor.mode == 11;
    for (size_t k = 0; k < timing.gates.size(); k++) {
        const timing_gate& g = timing.gates[k];
        bool chosen = tool && (int)k == editor.selected_gate;
        if (chosen) colour(1, 1, 0.2f);
        else colour(0.2f, 0.6f, 1.0f);
        circle(g.centre[0], g.centre[2], std::max(g.radius, 0.5f));
        float dx = g.direction[0], dz = g.direction[2], len = std::sqrt(dx * dx + dz * dz);
        if (len > 0) segment(g.centre[0], g.centre[2], g.centre[0] + dx / len * g.radius, g.centre[2] + dz / len * g.radius);
        if (!tool) continue;
        handle(g.centre[0], g.centre[2], near_cursor(g.centre[0], g.centre[2]));
        if (len > 0) {
            float hx = g.centre[0] + dx / len * g.radius, hz = g.centre[2] + dz / len * g.radius;
            handle(hx, hz, near_cursor(hx, hz));
        }
    }
    // The lap's path from gate to gate.
    if (tool && timing.normal_lap.size() > 1) {
        glColor4f(0.2f, 0.6f, 1.0f, 0.5f);
        glBegin(GL_LINE_LOOP);
        for (int v : timing.normal_lap) {
            int gi = v % gate_entry_flag;
            if (gi >= 0 && gi < (int)timing.gates.size()) glVertex3f(timing.gates[(size_t)gi].centre[0], 0, timing.gates[(size_t)gi].centre[2]);
        }
        glEnd();
    }
    colour(1, 1, 1);
    for (const start_gate_position& p : timing.starts) {
        if (tool) handle(p.position[0], p.position[2], near_cursor(p.position[0], p.position[2]));
        else marker(p.position[0], p.position[2], 3);
        segment(p.position[0], p.position[2], p.position[0] - std::sin(p.angle) * 3, p.position[2] - std::cos(p.angle) * 3);
    }
}

void draw_statues() {
    const std::vector<statue>& statues = track_statues();
    bool tool = editor.mode == 13;
    float h = editor_handle_size();
    for (size_t k = (size_t)std::max(first_track_statue(), 0); k < statues.size(); k++) {
        const statue& s = statues[k];
        bool picked = tool && (int)k == editor.picked_statue;
        if (picked) colour(1, 1, 0.2f);
        else if (editor_settings.show_collidable == 1 && s.shape) colour(1, 0.15f, 0.15f);
        else colour(1, 0.5f, 0.1f);
        if (!tool) {
            marker(s.x, s.z, 4);
            continue;
        }
        handle(s.x, s.z, near_cursor(s.x, s.z));
        float hx = s.x - std::sin(s.angle) * 4 * h, hz = s.z - std::cos(s.angle) * 4 * h;
        segment(s.x, s.z, hx, hz);
        handle(hx, hz, near_cursor(hx, hz));
    }
}

void draw_billboards() {
    const std::vector<billboard>& boards = track_billboards();
    bool tool = editor.mode == 12;
    for (size_t k = 0; k < boards.size(); k++) {
        const billboard& b = boards[k];
        if (b.texture_name.empty()) continue;
        bool file = (int)k >= first_track_billboard();
        if (!file && !tool) continue;
        if (tool && (int)k == editor.source_billboard) colour(0.2f, 1, 1);
        else if (tool && (int)k == editor.picked_billboard) colour(1, 1, 0.2f);
        else colour(file ? 0.3f : 0.6f, file ? 1.0f : 0.6f, 0.3f);
        if (tool) {
            handle(b.x, b.z, near_cursor(b.x, b.z));
            // The picture's width along x, as it is spaced when painting.
            float half = b.size * b.aspect / 2;
            segment(b.x - half, b.z, b.x + half, b.z);
        } else {
            marker(b.x, b.z, 2);
        }
    }
}

void draw_decals() {
    if (editor.mode != 15) return;
    const std::vector<decal>& list = track_decals();
    float h = editor_handle_size();
    for (size_t k = 0; k < list.size(); k++) {
        const decal& d = list[k];
        bool picked = (int)k == editor.picked_decal;
        bool hidden = editor_settings.hide_different == 1 && editor.picked_decal >= 0 &&
                      editor.picked_decal < (int)list.size() && d.texture.name != list[(size_t)editor.picked_decal].texture.name;
        if (hidden) glColor4f(0.5f, 0.5f, 0.5f, 0.5f);
        else if (picked) colour(1, 1, 0.2f);
        else colour(0.9f, 0.4f, 1);
        // The rectangle: size along the heading's right, size * ratio along it.
        float ax = d.cos_angle * d.size / 2, az = -d.sin_angle * d.size / 2;
        float bx = d.sin_angle * d.size * d.ratio / 2, bz = d.cos_angle * d.size * d.ratio / 2;
        glBegin(GL_LINE_LOOP);
        glVertex3f(d.x - ax - bx, 0, d.z - az - bz);
        glVertex3f(d.x + ax - bx, 0, d.z + az - bz);
        glVertex3f(d.x + ax + bx, 0, d.z + az + bz);
        glVertex3f(d.x - ax + bx, 0, d.z - az + bz);
        glEnd();
        if (hidden) continue;
        handle(d.x, d.z, near_cursor(d.x, d.z));
        float hx = d.x - d.sin_angle * 4 * h, hz = d.z - d.cos_angle * 4 * h;
        segment(d.x, d.z, hx, hz);
        handle(hx, hz, near_cursor(hx, hz));
    }
}

void draw_gradients() {
    bool tool = editor.mode == 9;
    for (size_t k = 0; k < editor.gradients.size(); k++) {
        const gradient& g = editor.gradients[k];
        bool chosen = (int)k == editor.selected_gradient;
        glColor4f(1, chosen ? 1.0f : 0.6f, chosen ? 0.2f : 0.6f, 1);
        segment(g.origin[0], g.origin[1], g.toward[0], g.toward[1]);
        if (tool) {
            handle(g.origin[0], g.origin[1], near_cursor(g.origin[0], g.origin[1]));
            handle(g.toward[0], g.toward[1], near_cursor(g.toward[0], g.toward[1]));
        } else {
            marker(g.origin[0], g.origin[1], 4);
        }
        float dx = g.toward[0] - g.origin[0], dz = g.toward[1] - g.origin[1];
        float len = std::sqrt(dx * dx + dz * dz);
        if (!(len > 0)) continue;
        for (const gradient_point& p : g.points)
            marker(g.origin[0] + dx / len * p.distance, g.origin[1] + dz / len * p.distance, 2);
    }
    // Gradient Edit: the profile as a graph on the ground, distance along +x
    // and height along -z from the origin.
    if (editor.mode != 10) return;
    if (editor.selected_gradient < 0 || editor.selected_gradient >= (int)editor.gradients.size()) return;
    const gradient& g = editor.gradients[(size_t)editor.selected_gradient];
    if (g.points.empty()) return;
    float ox = g.origin[0], oz = g.origin[1];
    glColor4f(0.6f, 0.6f, 0.6f, 1);
    segment(ox, oz, ox + g.points.back().distance, oz);
    colour(1, 1, 0.2f);
    glBegin(GL_LINE_STRIP);
    float s0 = g.points.front().distance, s1 = g.points.back().distance;
    for (int k = 0; k <= 256; k++) {
        float s = s0 + (s1 - s0) * (float)k / 256;
        glVertex3f(ox + s, 0, oz - gradient_profile(g, s));
    }
    glEnd();
    for (size_t k = 0; k < g.points.size(); k++) {
        float x = ox + g.points[k].distance, z = oz - g.points[k].height;
        if ((int)k == editor.selected_point) colour(1, 0.3f, 0.3f);
        else colour(1, 1, 0.2f);
        handle(x, z, near_cursor(x, z) || (int)k == editor.selected_point);
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
    bool brush = editor.mode <= 8 || editor.mode == 14;
    if (brush || editor.mode == 15 || editor.mode == 11) {
        glColor4f(1, 1, 0, 1);
        circle(p.x, p.z, r, 64);
    }
    if (editor.mode <= 8) {
        glColor4f(1, 0.4f, 0, 1);
        circle(p.x, p.z, f, 48);
    }
    if (brush && !editor.stroke_start.none()) {
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
    draw_decals();
    draw_gates();
    draw_statues();
    draw_billboards();
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
        const setting* s = r.record;
        if (!s) continue;
        text_at(s->label, x, y, white);
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

// What is picked in the current mode, and what a click at the cursor does.
void pick_lines(std::string& picked, std::string& click) {
    char line[160];
    editor_point p = editor_cursor_point();
    const editor_state& e = editor;
    const char* held = e.pick_state == 1 ? " (position held)" : e.pick_state == 2 ? " (direction held)" : "";
    auto on = [&](float x, float z) { return near_cursor(x, z); };
    switch (e.mode) {
        case 9:
        case 10: {
            const gradient* g = e.selected_gradient >= 0 && e.selected_gradient < (int)e.gradients.size()
                                    ? &e.gradients[(size_t)e.selected_gradient] : nullptr;
            if (!g) {
                picked = "No gradient selected";
                click = e.mode == 9 ? "Click: select the gradient under the cursor" : "Select a gradient in Gradient Placement";
                break;
            }
            snprintf(line, sizeof line, "Gradient %d, %d points%s", e.selected_gradient, (int)g->points.size(), held);
            picked = line;
            if (e.mode == 9) {
                click = on(g->origin[0], g->origin[1]) ? "Click: drag the origin" :
                        on(g->toward[0], g->toward[1]) ? "Click: turn the direction" : "Click: select another gradient";
                break;
            }
            if (e.selected_point >= 0 && e.selected_point < (int)g->points.size()) {
                const gradient_point& q = g->points[(size_t)e.selected_point];
                snprintf(line, sizeof line, "Point %d: %.2f, %.2f%s", e.selected_point, q.distance, q.height, held);
                picked = line;
            }
            click = "Click: pick a point, or insert one between two";
            for (const gradient_point& q : g->points)
                if (on(g->origin[0] + q.distance, g->origin[1] - q.height)) click = "Click: drag this point";
            break;
        }
        case 11: {
            const timing_data& t = track_timing();
            if (e.selected_gate >= 0 && e.selected_gate < (int)t.gates.size()) {
                snprintf(line, sizeof line, "Gate %d, radius %.1f%s  %s", e.selected_gate,
                         t.gates[(size_t)e.selected_gate].radius, held, editor_switch_point_text().c_str());
                picked = line;
            } else {
                picked = t.active ? "No gate selected" : "No gate selected (timing off: a lap needs 3 gates)";
            }
            click = "Click: select a gate; n new gate, g start position, x remove";
            for (size_t k = 0; k < t.gates.size(); k++) {
                const timing_gate& g = t.gates[k];
                float len = std::hypot(g.direction[0], g.direction[2]);
                if (on(g.centre[0], g.centre[2])) click = "Click: move gate " + std::to_string(k);
                else if (len > 0 && on(g.centre[0] + g.direction[0] / len * g.radius, g.centre[2] + g.direction[2] / len * g.radius))
                    click = "Click: turn and size gate " + std::to_string(k);
            }
            break;
        }
        case 12: {
            const std::vector<billboard>& b = track_billboards();
            if (e.source_billboard >= 0 && e.source_billboard < (int)b.size()) {
                snprintf(line, sizeof line, "Source %d: %s", e.source_billboard, b[(size_t)e.source_billboard].texture_name.c_str());
                picked = line;
                click = "Click and drag: paint copies; x remove";
            } else {
                picked = "No source billboard";
                click = "Click a billboard to copy it";
            }
            for (size_t k = 0; k < b.size(); k++)
                if (!b[k].texture_name.empty() && on(b[k].x, b[k].z)) click = "Click: copy from this billboard";
            break;
        }
        case 13: {
            const std::vector<statue>& s = track_statues();
            if (e.picked_statue >= 0 && e.picked_statue < (int)s.size()) {
                const statue& st = s[(size_t)e.picked_statue];
                std::string model = st.model_name.substr(st.model_name.find_last_of("/@") + 1);
                snprintf(line, sizeof line, "Statue %d: %.24s, heading %.2f%s", e.picked_statue, model.c_str(), st.angle, held);
                picked = line;
            } else {
                picked = "No statue picked";
            }
            click = terrain.frozen ? "The ground is frozen" : "Click: pick a statue; d copy, i line up, x remove";
            break;
        }
        case 14: {
            int type = editor_tile_type();
            snprintf(line, sizeof line, "Tile %d: %s", type, type >= 0 ? tile_info_of(type).texture.name.c_str() : "none");
            picked = line;
            click = terrain.frozen ? "The ground is frozen" : "Click and drag: paint tiles";
            break;
        }
        case 15: {
            const std::vector<decal>& d = track_decals();
            if (d.empty()) {
                picked = "This track has no decals";
                break;
            }
            if (e.picked_decal >= 0 && e.picked_decal < (int)d.size()) {
                snprintf(line, sizeof line, "Decal %d of %d: %s%s", e.picked_decal, (int)d.size(),
                         d[(size_t)e.picked_decal].texture.name.c_str(), held);
                picked = line;
                click = "Click and drag: lay copies; d copy, x/X remove, {} size";
            } else {
                picked = "No decal picked";
                click = "Click a decal to pick it";
            }
            break;
        }
        default: break;
    }
    (void)p;
}

// Gate and start numbers beside them in Timing Gate mode.
void draw_gate_labels() {
    if (editor.mode != 11) return;
    const timing_data& t = track_timing();
    const text_colour blue{0.5f, 0.8f, 1, 1}, white{1, 1, 1, 1};
    char name[16];
    for (size_t k = 0; k < t.gates.size(); k++) {
        float px, py;
        editor_world_to_window(t.gates[k].centre[0], t.gates[k].centre[2], px, py);
        snprintf(name, sizeof name, "%d", (int)k);
        text_at(name, px + 6, py - 16, blue);
    }
    for (size_t k = 0; k < t.starts.size(); k++) {
        float px, py;
        editor_world_to_window(t.starts[k].position[0], t.starts[k].position[2], px, py);
        snprintf(name, sizeof name, "S%d", (int)k);
        text_at(name, px + 6, py + 2, white, 12);
    }
}

void draw_readouts(int width, int height) {
    char line[128];
    const text_colour white{1, 1, 1, 1}, cyan{0.6f, 1, 1, 1};
    float x = (float)panel_left() + 8;
    size_t row = rows().size();
    auto put = [&](const std::string& text, text_colour c) {
        text_at(text.c_str(), x, (float)row_top(row++) + 2, c);
    };
    float r = editor_brush_radius();
    snprintf(line, sizeof line, "Actual Radius: %.2f (%.2f)", r, editor_focus_radius());
    put(line, white);
    if (editor.mode <= 8) {
        snprintf(line, sizeof line, "Actual Strength: %.3f", std::exp2(editor_settings.strength));
        put(line, white);
    }
    editor_point p = editor_cursor_point();
    snprintf(line, sizeof line, "Height: %.2f", height_at(p.x, p.z));
    put(line, white);
    if (editor.mode <= 10 && editor.selected_gradient >= 0 && editor.selected_gradient < (int)editor.gradients.size()) {
        const gradient& g = editor.gradients[(size_t)editor.selected_gradient];
        float dx = g.toward[0] - g.origin[0], dz = g.toward[1] - g.origin[1];
        snprintf(line, sizeof line, "Length: %.2f", std::sqrt(dx * dx + dz * dz));
        put(line, white);
    }
    std::string picked, click;
    pick_lines(picked, click);
    if (!picked.empty()) put(picked, cyan);
    std::string status = std::string(editor_mode_names[editor.mode]) + " - " + editor.status_text;
    if (!editor_mode_built(editor.mode)) status += " (this tool is not built yet)";
    if (editor_track_modified()) status += "  [modified]";
    text_at(status.c_str(), 8, (float)height - 24, text_colour{1, 1, 0.4f, 1}, 16);
    if (!click.empty()) text_at(click.c_str(), 8, (float)height - 46, cyan, 14);
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
        else if (label == "Set From Terrain") editor_set_from_terrain();
        else if (label == "Clear AI Switch Point") editor_clear_switch_point();
        else if (label == "Set AI Switch Point") editor_set_switch_point();
        else if (label == "Snap to Gradient") editor_snap_to_gradient();
    } else if (const setting* s = r.record) {
        if (s->kind == setting_kind::number) number_key(*s, edit_keys.cursor_left, true, x, value_left(), value_right());
        else choice_key(*s, edit_keys.cursor_left, true);
        // In "Gradient Edit" the segment type is the selected point's.
        if (std::string(s->label) == "Segment Type" && editor.mode == 10) editor_set_point_segment_type();
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
    draw_gate_labels();
    draw_panel();
    draw_readouts(width, height);
    end_screen_layer();
}
