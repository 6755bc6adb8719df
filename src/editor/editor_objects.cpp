// Billboards and statues in the top view: painting rows of billboards,
// picking, moving, turning, copying and lining up statues, and setting a
// statue on a gradient.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "editor/editor.h"
#include "editor/editor_internal.h"
#include "editor/editor_tools.h"
#include "track/height_field.h"
#include "track/objects_billboards.h"
#include "track/objects_grid.h"
#include "track/objects_statues.h"

namespace {

constexpr float pi = 3.14159265358979f;

bool hit(editor_point p, float x, float z) { return editor_distance(p, x, z) <= editor_handle_size() / 2; }

// A picked index that no longer names an item after item k went.
void after_removal(int& picked, int k) {
    if (picked == k) picked = -1;
    else if (picked > k) picked--;
}

// ---- billboards ----------------------------------------------------------------------------------

// Billboards that stand as pictures (the roost particles have no name).
bool visible(const billboard& b) { return !b.texture_name.empty(); }

// The first billboard within `radius` of p (strictly closer when not
// `inclusive`), searching from the one after `after` round the list; -1
// when none.
int billboard_near(editor_point p, float radius, int after, bool inclusive = true) {
    const std::vector<billboard>& list = track_billboards();
    int n = (int)list.size();
    for (int step = 1; step <= n; step++) {
        int k = ((after < 0 ? -1 : after) + step) % n;
        const billboard& b = list[(size_t)k];
        float d = editor_distance(p, b.x, b.z);
        if (visible(b) && (inclusive ? d <= radius : d < radius)) return k;
    }
    return -1;
}

bool valid_billboard(int k) { return k >= 0 && k < (int)track_billboards().size(); }

int copy_billboard(int from, editor_point p) {
    billboard source = track_billboards()[(size_t)from];
    std::string spec = source.texture_name;
    if (source.tint[0] != 255 || source.tint[1] != 255 || source.tint[2] != 255) {
        char tint[16];
        snprintf(tint, sizeof tint, "#%02x%02x%02x#", source.tint[0], source.tint[1], source.tint[2]);
        spec = tint + spec;
    }
    int k = add_billboard(p.x, source.y_offset, p.z, source.size, source.aspect, spec.c_str());
    if (k < 0) return -1;
    editor_billboard_place_changed((size_t)k);
    editor_mark_modified();
    return k;
}

// ---- statues ---------------------------------------------------------------------------------------

int first_file_statue() { return std::max(first_track_statue(), 0); }
bool valid_statue(int k) { return k >= first_file_statue() && k < (int)track_statues().size(); }

// The statue's rotation handle: 4h behind its centre along its heading.
void rotation_handle(float x, float z, float angle, float& hx, float& hz) {
    float h = editor_handle_size();
    hx = x - std::sin(angle) * 4 * h;
    hz = z - std::cos(angle) * 4 * h;
}

// A new heading for a statue: impostors keep theirs, upright statues keep
// their offset below -2 pi.
void turn_statue(statue& s, float heading) {
    if (s.angle >= impostor_heading) return;
    s.angle = s.angle <= upright_heading ? heading - 4 * pi : heading;
}

void statue_changed(int k) {
    statue& s = track_statues()[(size_t)k];
    reseat_statue(s);
    editor_statue_place_changed((size_t)k);
    build_object_grid();
    editor_mark_modified();
}

}  // namespace

// ---- mode 12 ----------------------------------------------------------------------------------------

void billboard_press(editor_point p) {
    editor_state& e = editor;
    e.pick_state = 0;
    int found = billboard_near(p, editor_handle_size() / 2, e.source_billboard);
    if (found >= 0) {
        e.source_billboard = found;
        const setting* height = find_editor_setting("Height");
        if (height) set_number(*height, track_billboards()[(size_t)found].y_offset);
        e.picked_billboard = -1;
        return;
    }
    if (!valid_billboard(e.source_billboard)) return;
    int k = copy_billboard(e.source_billboard, p);
    if (k >= 0) e.picked_billboard = k;
}

void billboard_hold(editor_point p) {
    editor_state& e = editor;
    if (!valid_billboard(e.picked_billboard) || !valid_billboard(e.source_billboard)) return;
    const billboard& last = track_billboards()[(size_t)e.picked_billboard];
    float spacing = (float)editor_settings.point_spacing * last.size * last.aspect;
    if (!(spacing > 0) || editor_distance(p, last.x, last.z) < spacing) return;
    // Never on top of a picture already standing there; the one laid last
    // is a whole spacing away and does not count.
    if (billboard_near(p, spacing, e.source_billboard, false) >= 0) return;
    int k = copy_billboard(e.source_billboard, p);
    if (k >= 0) e.picked_billboard = k;
}

bool editor_remove_billboard_at(editor_point p) {
    std::vector<billboard>& list = track_billboards();
    float r = editor_handle_size() / 2;
    for (int k = std::max(first_track_billboard(), 0); k < (int)list.size(); k++) {
        if (!visible(list[(size_t)k]) || editor_distance(p, list[(size_t)k].x, list[(size_t)k].z) > r) continue;
        list.erase(list.begin() + k);
        editor_billboard_place_removed((size_t)k);
        after_removal(editor.source_billboard, k);
        after_removal(editor.picked_billboard, k);
        editor_mark_modified();
        return true;
    }
    return false;
}

// ---- mode 13 -------------------------------------------------------------------------------------------

void statue_press(editor_point p) {
    editor_state& e = editor;
    e.pick_state = 0;
    if (terrain.frozen) return;
    const std::vector<statue>& list = track_statues();
    for (int k = first_file_statue(); k < (int)list.size(); k++)
        if (hit(p, list[(size_t)k].x, list[(size_t)k].z)) {
            e.picked_statue = k;
            e.pick_state = 1;
            return;
        }
    for (int k = first_file_statue(); k < (int)list.size(); k++) {
        float hx, hz;
        rotation_handle(list[(size_t)k].x, list[(size_t)k].z, list[(size_t)k].angle, hx, hz);
        if (hit(p, hx, hz)) {
            e.picked_statue = k;
            e.pick_state = 2;
            return;
        }
    }
    e.picked_statue = -1;
}

void statue_hold(editor_point p) {
    editor_state& e = editor;
    if (terrain.frozen || e.pick_state == 0 || !valid_statue(e.picked_statue)) return;
    statue& s = track_statues()[(size_t)e.picked_statue];
    if (e.pick_state == 1) {
        if (s.x == p.x && s.z == p.z) return;
        s.x = p.x;
        s.z = p.z;
    } else {
        float dx = s.x - p.x, dz = s.z - p.z;
        if (dx == 0 && dz == 0) return;
        float before = s.angle;
        turn_statue(s, std::atan2(dx, dz));
        if (s.angle == before) return;
    }
    statue_changed(e.picked_statue);
}

bool editor_remove_statue_at(editor_point p) {
    std::vector<statue>& list = track_statues();
    for (int k = first_file_statue(); k < (int)list.size(); k++) {
        if (!hit(p, list[(size_t)k].x, list[(size_t)k].z)) continue;
        list.erase(list.begin() + k);
        editor_statue_place_removed((size_t)k);
        after_removal(editor.picked_statue, k);
        build_object_grid();
        editor_mark_modified();
        return true;
    }
    return false;
}

bool editor_lay_statue(editor_point p) {
    if (terrain.frozen || !valid_statue(editor.picked_statue)) return false;
    statue from = track_statues()[(size_t)editor.picked_statue];
    auto name = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
    int k = add_statue(p.x, from.y_offset, p.z, from.angle, name(from.model_name), name(from.texture_name),
                       name(from.shape_name));
    if (k < 0) return false;
    statue_changed(k);
    return true;
}

bool editor_interpolate_statues() {
    editor_state& e = editor;
    std::vector<statue>& list = track_statues();
    int a = e.picked_statue, b = (int)list.size() - 1;
    if (terrain.frozen || !valid_statue(a) || b - a < 2) return false;
    for (int k = a + 1; k <= b; k++)
        if (list[(size_t)k].model_name != list[(size_t)a].model_name ||
            list[(size_t)k].texture_name != list[(size_t)a].texture_name) {
            e.status_text = "Bad match for interpolate!";
            return false;
        }
    for (int k = a + 1; k < b; k++) {
        float t = (float)(k - a) / (float)(b - a);
        list[(size_t)k].x = list[(size_t)a].x + (list[(size_t)b].x - list[(size_t)a].x) * t;
        list[(size_t)k].z = list[(size_t)a].z + (list[(size_t)b].z - list[(size_t)a].z) * t;
        reseat_statue(list[(size_t)k]);
        editor_statue_place_changed((size_t)k);
    }
    build_object_grid();
    editor_mark_modified();
    return true;
}

void editor_snap_to_gradient() {
    editor_state& e = editor;
    gradient* g = selected_gradient_record();
    if (terrain.frozen || !g || !valid_statue(e.picked_statue)) {
        e.status_text = terrain.frozen ? "The ground is frozen" : !g ? "No gradient selected" : "No statue picked";
        return;
    }
    statue& s = track_statues()[(size_t)e.picked_statue];
    float dx = s.x - g->origin[0], dz = s.z - g->origin[1], r = std::hypot(dx, dz);
    // The profile distance nearest r; 0 when that is nearer than every point.
    float nearest = 0, best = r;
    for (const gradient_point& q : g->points)
        if (std::fabs(q.distance - r) < best) best = std::fabs(q.distance - r), nearest = q.distance;
    float ux = g->toward[0] - g->origin[0], uz = g->toward[1] - g->origin[1], u = std::hypot(ux, uz);
    float fx = 0, fz = 0;
    if (u > 0) {
        float along = (dx * ux + dz * uz) / (u * u);
        fx = ux * along, fz = uz * along;
    }
    // A statue on the origin has no circle direction, and a gradient without
    // length no axis: each then takes the other way, and with neither it stays.
    bool circle = r > 0 && (!(u > 0) || std::hypot(fx - dx, fz - dz) >= std::fabs(nearest - r));
    if (circle) {
        s.x = g->origin[0] + dx * nearest / r;
        s.z = g->origin[1] + dz * nearest / r;
        turn_statue(s, std::atan2(-dz / r, dx / r));
    } else if (u > 0) {
        s.x = g->origin[0] + fx;
        s.z = g->origin[1] + fz;
        turn_statue(s, std::atan2(-ux / u, -uz / u));
    } else {
        return;
    }
    statue_changed(e.picked_statue);
}
