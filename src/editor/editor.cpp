// The editor's state, settings, view mapping, commits, undo ring and keys.
#include "editor/editor.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/diag.h"
#include "editor/editor_internal.h"
#include "render/terrain_lighting.h"
#include "track/height_field.h"
#include "track/track.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

editor_state editor;
editor_key_codes editor_keys;
editor_settings_values editor_settings;

const char* const editor_mode_names[editor_mode_count] = {
    "Raise", "Lower", "Smooth", "Smudge", "Snap", "Gradient Linear Paint", "Gradient Linear Add",
    "Gradient Radial Paint", "Gradient Radial Add", "Gradient Placement", "Gradient Edit", "Timing Gate",
    "Billboards", "Statues", "Tilemap Edit", "Decals"};

namespace {

bool g_enabled = false;

// One committed state: heights, shading and (when the field has them) normal texels.
struct undo_entry {
    std::vector<float> heights;
    std::vector<uint8_t> shading;
    std::vector<uint8_t> normal_texels;
};
std::vector<undo_entry> g_ring;

const char* const level_items[] = {"Top", "Under Current", "Over Current", "Bottom"};
const char* const no_yes_items[] = {"No", "Yes"};
const char* const orientation_items[] = {"Copy", "Random", "Flow", "Flow2", "Uphill"};
const char* const segment_items[] = {"Line", "Curve"};
const char* const sub_mode_items[] = {"Assign", "Raise Only", "Lower Only"};
const item_list level_list = {level_items, 4};
const item_list no_yes_list = {no_yes_items, 2};
const item_list orientation_list = {orientation_items, 5};
const item_list segment_list = {segment_items, 2};
const item_list sub_mode_list = {sub_mode_items, 3};

setting number_record(double* v, const char* label, double step, double min, double max) {
    setting s;
    s.kind = setting_kind::number;
    s.real = v;
    s.label = label;
    s.step = step;
    s.minimum = min;
    s.maximum = max;
    return s;
}

setting choice_record(int* v, const char* label, const item_list* items) {
    setting s;
    s.kind = setting_kind::choice;
    s.integer = v;
    s.label = label;
    s.items = items;
    return s;
}

const std::array<setting, 15>& records() {
    editor_settings_values& e = editor_settings;
    static const std::array<setting, 15> table = {
        number_record(&e.tile, "Tile", 1, 0, 255),
        number_record(&e.zoom, "Zoom", 0.125, -3, 8),
        choice_record(&e.level, "Level", &level_list),
        choice_record(&e.hide_different, "Hide different", &no_yes_list),
        choice_record(&e.orientation, "Orientation", &orientation_list),
        number_record(&e.tile_spacing, "Spacing", 0.0625, 0.25, 4),
        choice_record(&e.show_collidable, "Show Collidable", &no_yes_list),
        number_record(&e.granularity, "Granularity", 0.0625, 0, 1),
        choice_record(&e.segment_type, "Segment Type", &segment_list),
        number_record(&e.height, "Height", 0.25, -50, 50),
        number_record(&e.point_spacing, "Spacing", 0.25, 0.25, 1000),
        number_record(&e.radius, "Radius", 1, 1, 128),
        number_record(&e.focus, "Focus", 0.03125, 0, 1),
        number_record(&e.strength, "Strength", 0.25, -5, 5),
        choice_record(&e.sub_mode, "SubMode", &sub_mode_list),
    };
    return table;
}

size_t sample_count() { return (size_t)terrain.samples_per_side * (size_t)terrain.samples_per_side; }

void store_entry(undo_entry& e) {
    const height_field& f = terrain;
    size_t n = sample_count();
    std::copy(f.heights, f.heights + n, e.heights.begin());
    std::copy(f.shading.begin(), f.shading.begin() + std::min(f.shading.size(), e.shading.size()), e.shading.begin());
    if (!e.normal_texels.empty())
        std::copy(f.normal_texels.begin(), f.normal_texels.begin() + std::min(f.normal_texels.size(), e.normal_texels.size()),
                  e.normal_texels.begin());
}

void restore_entry(const undo_entry& e) {
    height_field& f = terrain;
    size_t n = sample_count();
    std::copy(e.heights.begin(), e.heights.end(), f.heights);
    std::copy(e.heights.begin(), e.heights.end(), editor.base_heights.begin());
    std::copy(e.shading.begin(), e.shading.begin() + std::min(f.shading.size(), e.shading.size()), f.shading.begin());
    if (!e.normal_texels.empty() && f.normal_texels.size() >= e.normal_texels.size())
        std::copy(e.normal_texels.begin(), e.normal_texels.end(), f.normal_texels.begin());
    std::fill(f.shade_dirty.begin(), f.shade_dirty.end(), 0);
    std::fill(f.normal_dirty.begin(), f.normal_dirty.end(), 0);
    // The heights changed under every cached triangle normal.
    std::fill(f.triangle_dirty.begin(), f.triangle_dirty.end(), ~(uint64_t)0);
    for (size_t k = 0; k < n; k++) {
        if (e.heights[k] > f.height_max) f.height_max = e.heights[k];
        if (e.heights[k] < f.height_min) f.height_min = e.heights[k];
    }
}

void select_mode(int mode) {
    if (mode == editor.mode) return;
    editor_commit();
    editor.mode = mode;
}

bool stroke_mode(int mode) { return (mode >= 0 && mode <= 3) || (mode >= 5 && mode <= 10) || mode == 14; }

}  // namespace

// ---- settings ----------------------------------------------------------------------

std::span<const setting> editor_setting_records() { return records(); }

const setting* find_editor_setting(const char* label) {
    for (const setting& s : records())
        if (strcmp(s.label, label) == 0) return &s;
    return nullptr;
}

void editor_settings_defaults() { editor_settings = editor_settings_values{}; }

// ---- lifecycle -------------------------------------------------------------------------

void editor_enable(bool on) { g_enabled = on; }
bool editor_enabled() { return g_enabled; }
bool editor_available() { return g_enabled && editor.attached; }

size_t editor_undo_entry_bytes() {
    size_t n = sample_count();
    return n * sizeof(float) + n * 3 + (terrain.normal_texels.empty() ? 0 : n * 3);
}

void editor_attach() {
    if (!g_enabled || !height_field_loaded()) return;
    editor_detach();
    editor_state& e = editor;
    size_t n = sample_count();
    e.attached = true;
    e.view_center[0] = e.view_center[1] = terrain.extent / 2;
    e.base_heights.assign(terrain.heights, terrain.heights + n);
    size_t entry = std::max<size_t>(editor_undo_entry_bytes(), 1);
    e.undo_levels = (int)std::clamp<size_t>(undo_ring_budget / entry, 2, undo_ring_levels);
    if (e.undo_levels < undo_ring_levels)
        show_messagef("Editor: undo keeps %d levels for a field this size\n", e.undo_levels);
    g_ring.assign((size_t)e.undo_levels, undo_entry{});
    for (undo_entry& u : g_ring) {
        u.heights.resize(n);
        u.shading.resize(std::min(terrain.shading.size(), n * 3));
        if (!terrain.normal_texels.empty()) u.normal_texels.resize(std::min(terrain.normal_texels.size(), n * 3));
    }
    editor_remember_objects();
    // The state as loaded is the first entry of the ring.
    e.pending = true;
    int flags = terrain.modified_flags;
    editor_commit();
    terrain.modified_flags = flags;
    if (current_track_dir) {
        size_t length = 0;
        char* text = file_to_string(track_file_name(current_track_dir->c_str(), "edinfo").c_str(), &length);
        if (text) {
            e.selected_gradient = parse_edinfo(text, e.gradients);
            free(text);
        }
    }
    e.status_text = "OK";
}

void editor_detach() {
    editor_state fresh;
    fresh.pointer[0] = editor.pointer[0];
    fresh.pointer[1] = editor.pointer[1];
    fresh.window[0] = editor.window[0];
    fresh.window[1] = editor.window[1];
    editor = std::move(fresh);
    g_ring.clear();
    g_ring.shrink_to_fit();
    editor_forget_objects();
    editor_smooth_sums_stale();
}

// ---- commits and undo ---------------------------------------------------------------------

void editor_commit() {
    editor_state& e = editor;
    if (!e.attached || g_ring.empty()) return;
    // A commit with nothing changed keeps the ring as it is, so that undo
    // always steps back to a different state.
    if (e.pending) {
        height_field& f = terrain;
        int n = f.samples_per_side;
        std::copy(f.heights, f.heights + sample_count(), e.base_heights.begin());
        editor_smooth_sums_stale();
        e.pending = false;
        f.modified_flags &= ~4;
        relight_samples(0, 0, n - 1, n - 1, true);
        store_entry(g_ring[(size_t)e.undo_index]);
        e.undo_index = (e.undo_index + 1) % e.undo_levels;
        e.undo_count = std::min(e.undo_count + 1, e.undo_levels);
    }
    e.status_text = "OK";
}

void editor_undo() {
    editor_state& e = editor;
    if (!e.attached) return;
    editor_commit();
    if (e.undo_count < 2) {
        e.status_text = "No more undo levels!";
        return;
    }
    int levels = e.undo_levels;
    e.undo_count -= 1;
    e.undo_index = (e.undo_index + levels - 1) % levels;
    restore_entry(g_ring[(size_t)((e.undo_index + levels - 1) % levels)]);
    editor_smooth_sums_stale();
    terrain.change_count++;
    int last = terrain.samples_per_side - 1;
    report_changed_region(0, 0, last, last);
    e.status_text = "Undo!";
}

void editor_finish_changes() {
    if (!editor.attached) return;
    editor_commit();
    editor_refresh_play_ground();
}

void editor_refresh_play_ground() {
    // Play deforms the ground from its base copy; after editing, that copy is
    // the edited ground, or the next erosion stamp would bring back the old one.
    height_field& f = terrain;
    if (f.heights && f.base_heights && f.base_heights != f.heights)
        std::copy(f.heights, f.heights + sample_count(), f.base_heights);
}

bool editor_track_modified() { return editor.attached && (terrain.modified_flags & 2) != 0; }

// ---- view mapping ------------------------------------------------------------------------------

namespace {
float view_span() { return terrain.extent / std::exp2((float)editor_settings.zoom); }
float window_height() { return (float)std::max(editor.window[1], 1); }
}  // namespace

void editor_window_to_world(float px, float py, float& x, float& z) {
    float w = (float)editor.window[0], h = window_height();
    x = (px - w / 2) / h * view_span() + editor.view_center[0];
    z = (py - h / 2) / h * view_span() + editor.view_center[1];
}

void editor_world_to_window(float x, float z, float& px, float& py) {
    float w = (float)editor.window[0], h = window_height();
    float span = view_span();
    px = span > 0 ? (x - editor.view_center[0]) / span * h + w / 2 : w / 2;
    py = span > 0 ? (z - editor.view_center[1]) / span * h + h / 2 : h / 2;
}

float editor_brush_radius() {
    return (float)editor_settings.radius * terrain.extent / (std::exp2((float)editor_settings.zoom) * window_height());
}
float editor_focus_radius() { return editor_brush_radius() * (float)editor_settings.focus; }

editor_point editor_cursor_point() {
    editor_point p;
    editor_window_to_world((float)editor.pointer[0], (float)editor.pointer[1], p.x, p.z);
    return p;
}

void editor_set_pointer(int x, int y, int width, int height) {
    editor.pointer[0] = x;
    editor.pointer[1] = y;
    if (width > 0 && height > 0) {
        editor.window[0] = width;
        editor.window[1] = height;
    }
}

// ---- the tic ---------------------------------------------------------------------------------------

void editor_tic() {
    editor_state& e = editor;
    if (!e.attached) return;
    if (e.drag_held) {
        float x0, z0, x1, z1;
        editor_window_to_world((float)e.drag_from[0], (float)e.drag_from[1], x0, z0);
        editor_window_to_world((float)e.pointer[0], (float)e.pointer[1], x1, z1);
        e.view_center[0] -= x1 - x0;
        e.view_center[1] -= z1 - z0;
        e.drag_from[0] = e.pointer[0];
        e.drag_from[1] = e.pointer[1];
    }
    if (!e.apply_held) return;
    e.tic_counter++;
    if (e.mode == 4) {
        if (e.tic_counter % 16 == 0) editor_snap_action(editor_cursor_point());
    } else if ((e.mode <= 3 || (e.mode >= 5 && e.mode <= 8)) && e.tic_counter % 32 == 0) {
        editor_brush_action(editor_cursor_point());
    } else if (e.mode == 14) {
        if (e.tic_counter % 32 == 0) editor_paint_tiles(editor_cursor_point());
    } else if (e.mode >= 9) {
        editor_pick_hold(editor_cursor_point());
    }
}

// ---- keys --------------------------------------------------------------------------------------------

namespace {

void apply_pressed() {
    editor_state& e = editor;
    if (editor_menu_click(e.pointer[0], e.pointer[1])) return;
    e.apply_held = true;
    if (e.mode <= 2 || e.mode == 4) editor_commit();
    if (e.mode == 3) {
        e.smudge_anchor = editor_cursor_point();
        editor_commit();
    }
    if (e.mode >= 9) editor_pick_press(editor_cursor_point());
}

void apply_released() {
    editor_state& e = editor;
    if (!e.apply_held) return;
    e.apply_held = false;
    if (stroke_mode(e.mode)) e.stroke_start = editor_point{};
    if (e.mode <= 4) editor_commit();
    e.pick_state = 0;
}

void step_setting(const char* label, double by) {
    const setting* s = find_editor_setting(label);
    if (s) set_number(*s, *s->real + by);
}

}  // namespace

bool editor_key(int code, bool pressed) {
    editor_state& e = editor;
    if (!e.attached || code == 9) return false;
    const editor_key_codes& k = editor_keys;
    if (code == k.cursor_left && code >= 0) {
        if (pressed) apply_pressed();
        else apply_released();
        return true;
    }
    if (code == k.cursor_right && code >= 0) {
        e.drag_held = pressed;
        e.drag_from[0] = e.pointer[0];
        e.drag_from[1] = e.pointer[1];
        return true;
    }
    if (!pressed) return false;
    float step = terrain.extent / std::exp2((float)editor_settings.zoom) / 4;
    if (code == k.left && code >= 0) { e.view_center[0] -= step; return true; }
    if (code == k.right && code >= 0) { e.view_center[0] += step; return true; }
    if (code == k.up && code >= 0) { e.view_center[1] -= step; return true; }
    if (code == k.down && code >= 0) { e.view_center[1] += step; return true; }
    if (code < 0 || code > 255) return false;

    char echo[48];
    if (code >= 32 && code < 127) snprintf(echo, sizeof echo, "Pressed 0x%02x ('%c')", code, code);
    else snprintf(echo, sizeof echo, "Pressed 0x%02x", code);
    e.status_text = echo;
    switch (code) {
        case '=': step_setting("Zoom", 0.5); break;
        case '-': step_setting("Zoom", -0.5); break;
        case ']': step_setting("Strength", find_editor_setting("Strength")->step); break;
        case '[': step_setting("Strength", -find_editor_setting("Strength")->step); break;
        case 'l':
            if (stroke_mode(e.mode)) e.stroke_start = e.stroke_start.none() ? editor_cursor_point() : editor_point{};
            break;
        case 's': editor_save(); break;
        case 'p': editor_export_scene(); break;
        case 'u': editor_commit(); break;
        case 8: editor_undo(); break;
        case 'f': editor_flatten_gradient(); break;
        default:
            if (editor_mode_key(code, editor_cursor_point())) break;
            if (code >= '1' && code <= '9') {
                static const int modes[9] = {2, 4, 5, 6, 7, 8, 9, 10, 11};
                select_mode(modes[code - '1']);
            }
            break;
    }
    return true;
}

void editor_select_mode(int mode) {
    if (mode >= 0 && mode < editor_mode_count) select_mode(mode);
}
