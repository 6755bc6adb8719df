// Picking in the modes that place things on the ground: the handle size,
// which tool a press, a held button or a key goes to, and the helpers the
// tools share.
#include <algorithm>
#include <cmath>

#include "editor/editor.h"
#include "editor/editor_internal.h"
#include "editor/editor_tools.h"
#include "track/height_field.h"

float editor_handle_size() {
    return std::max(1.0f, terrain.extent / std::exp2((float)editor_settings.zoom) * 0.01f);
}

float editor_distance(editor_point p, float x, float z) { return std::hypot(p.x - x, p.z - z); }

void editor_mark_modified() { terrain.modified_flags = 7; }

void editor_report_world_box(float x0, float z0, float x1, float z1) {
    float c = terrain.cell_size;
    if (!(c > 0) || !std::isfinite(x0) || !std::isfinite(z0) || !std::isfinite(x1) || !std::isfinite(z1)) return;
    int last = terrain.samples_per_side - 1;
    auto index = [&](float w) { return (int)std::clamp(w / c, 0.0f, (float)last); };
    int i0 = std::max(index(std::min(x0, x1)) - 1, 0), i1 = std::min(index(std::max(x0, x1)) + 2, last);
    int j0 = std::max(index(std::min(z0, z1)) - 1, 0), j1 = std::min(index(std::max(z0, z1)) + 2, last);
    report_changed_region(i0, j0, i1, j1);
}

void editor_pick_press(editor_point p) {
    switch (editor.mode) {
        case 9: gradient_placement_press(p); break;
        case 10: gradient_edit_press(p); break;
        case 11: timing_gate_press(p); break;
        case 12: billboard_press(p); break;
        case 13: statue_press(p); break;
        case 15: decal_press(p); break;
        default: editor.pick_state = 0; break;
    }
}

void editor_pick_hold(editor_point p) {
    switch (editor.mode) {
        case 9: gradient_placement_hold(p); break;
        case 10: gradient_edit_hold(p); break;
        case 11: timing_gate_hold(p); break;
        case 12: billboard_hold(p); break;
        case 13: statue_hold(p); break;
        case 15: decal_hold(p); break;
        default: break;
    }
}

bool editor_mode_key(int code, editor_point p) {
    bool remove = code == 'x' || code == 127;
    switch (editor.mode) {
        case 11:
            if (code == 'n') return editor_new_gate(p) >= 0;
            if (code == 'g') return editor_add_start_position(p) >= 0;
            if (remove) return editor_remove_gate_at(p) || editor_remove_start_at(p);
            return false;
        case 12:
            return remove && editor_remove_billboard_at(p);
        case 13:
            if (remove) return editor_remove_statue_at(p);
            if (code == 'd') return editor_lay_statue(p);
            if (code == 'i') return editor_interpolate_statues();
            return false;
        case 15:
            if (remove) return editor_remove_decals_near(p, editor_handle_size() / 2) > 0;
            if (code == 'X') return editor_remove_decals_near(p, editor_brush_radius()) > 0;
            if (code == 'd') return editor_lay_decal(p, false) >= 0;
            if (code == '{' || code == '}') return scale_picked_decal(code == '{' ? 0.9375f : 1.0666667f);
            return false;
        default:
            return false;
    }
}
