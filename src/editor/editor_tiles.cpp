// Painting the tile map and laying, moving, turning and removing decals.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "editor/editor.h"
#include "editor/editor_internal.h"
#include "editor/editor_tools.h"
#include "track/decals.h"
#include "track/height_field.h"
#include "track/tile_info.h"

namespace {

constexpr float pi = 3.14159265358979f;

// The editor's own dice (choice of tile look, random decal headings);
// nothing of the race depends on them.
uint32_t g_dice = 0x2545f491u;
float dice() {
    g_dice ^= g_dice << 13;
    g_dice ^= g_dice >> 17;
    g_dice ^= g_dice << 5;
    return (float)(g_dice >> 8) / 16777216.0f;
}

float distance_to_segment(float px, float pz, editor_point s, editor_point p) {
    float dx = p.x - s.x, dz = p.z - s.z, len2 = dx * dx + dz * dz;
    float t = len2 > 0 ? std::clamp(((px - s.x) * dx + (pz - s.z) * dz) / len2, 0.0f, 1.0f) : 0;
    return std::hypot(s.x + t * dx - px, s.z + t * dz - pz);
}

// ---- blends at the edge of painted tiles ------------------------------------------------------
// A tile type's blend descriptor names the surface (a plain tile type) at
// each of its four corners: corner k is (tx + (k & 1), tz + (k >> 1)), and
// bit 3 - k of the mask picks the second surface. Around painted tiles the
// corners they share take the painted surface, and each neighbour becomes
// the blend type with those corners when the track has one.

bool corner_surfaces(int type, std::array<int, 4>& out) {
    int blend = tile_info_of(type).blend;
    if (blend < 0) return false;
    int a = (blend >> 16) & 0xff, b = (blend >> 8) & 0xff, mask = blend & 0xf;
    for (int k = 0; k < 4; k++) out[(size_t)k] = (mask >> (3 - k)) & 1 ? b : a;
    return true;
}

// The type whose corners are these: a plain surface, or a blend of two.
int type_with_corners(const std::array<int, 4>& c) {
    int x = c[0], y = -1;
    for (int s : c)
        if (s != x) {
            if (y >= 0 && s != y) return -1;  // three surfaces: no such type
            y = s;
        }
    if (y < 0) return x < tile_count() ? x : -1;
    int mask_y = 0, mask_x = 0;
    for (int k = 0; k < 4; k++) {
        mask_y = mask_y << 1 | (c[(size_t)k] == y);
        mask_x = mask_x << 1 | (c[(size_t)k] == x);
    }
    int want[2] = {x << 16 | y << 8 | mask_y, y << 16 | x << 8 | mask_x};
    for (int k = 0; k < tile_count(); k++)
        if (tile_info_of(k).blend == want[0] || tile_info_of(k).blend == want[1]) return k;
    return -1;
}

// `painted` marks the tiles of [tx0, tx1] x [tz0, tz1] set by this action.
void blend_around(int tx0, int tz0, int tx1, int tz1, const std::vector<char>& painted, int side) {
    int w = tx1 - tx0 + 1;
    auto was_painted = [&](int tx, int tz) {
        return tx >= tx0 && tx <= tx1 && tz >= tz0 && tz <= tz1 && painted[(size_t)(tx - tx0) + (size_t)w * (tz - tz0)];
    };
    const std::vector<uint8_t>& map = tilemap();
    for (int tz = std::max(tz0 - 1, 0); tz <= std::min(tz1 + 1, side - 1); tz++)
        for (int tx = std::max(tx0 - 1, 0); tx <= std::min(tx1 + 1, side - 1); tx++) {
            if (was_painted(tx, tz)) continue;
            std::array<int, 4> corners;
            if (!corner_surfaces(map[(size_t)tx + (size_t)side * tz], corners)) continue;
            bool changed = false;
            for (int k = 0; k < 4; k++) {
                int cx = tx + (k & 1), cz = tz + (k >> 1);
                // The painted tiles touching this corner give it their surface there.
                for (int n = 0; n < 4; n++) {
                    int px = cx - 1 + (n & 1), pz = cz - 1 + (n >> 1);
                    if (!was_painted(px, pz)) continue;
                    std::array<int, 4> theirs;
                    if (!corner_surfaces(map[(size_t)px + (size_t)side * pz], theirs)) continue;
                    int s = theirs[(size_t)((cx - px) + 2 * (cz - pz))];
                    if (s != corners[(size_t)k]) corners[(size_t)k] = s, changed = true;
                    break;
                }
            }
            if (!changed) continue;
            int type = type_with_corners(corners);
            if (type >= 0) set_tile(tx, tz, type);
        }
}

}  // namespace

// ---- mode 14 -----------------------------------------------------------------------------------------

int editor_tile_type() {
    int count = tile_count();
    if (count <= 0) return -1;
    double v = editor_settings.tile;
    return std::isfinite(v) ? std::clamp((int)v, 0, count - 1) : 0;
}

void editor_paint_tiles(editor_point p) {
    editor_state& e = editor;
    editor_point s = e.stroke_start.none() ? p : e.stroke_start;
    e.stroke_start = p;
    int type = editor_tile_type();
    int side = (int)std::sqrt((double)tilemap().size());
    if (terrain.frozen || type < 0 || side <= 0 || !std::isfinite(p.x) || !std::isfinite(p.z)) return;
    // Types drawn with the same texture are looks of one ground: painted
    // tiles take one of them at random.
    std::vector<int> looks;
    const std::string& texture = tile_info_of(type).texture.name;
    for (int k = 0; k < tile_count(); k++)
        if (k == type || (!texture.empty() && tile_info_of(k).texture.name == texture)) looks.push_back(k);
    float r = editor_brush_radius(), tile = terrain.tile_size, c = terrain.cell_size;
    if (!(tile > 0)) return;
    // Tile (tx, tz) has its centre at the odd-odd sample (2 tx + 1, 2 tz + 1).
    auto first = [&](float w) { return std::clamp((int)std::floor((w - c) / tile), 0, side - 1); };
    auto last = [&](float w) { return std::clamp((int)std::ceil((w - c) / tile), 0, side - 1); };
    int tx0 = first(std::min(s.x, p.x) - r), tx1 = last(std::max(s.x, p.x) + r);
    int tz0 = first(std::min(s.z, p.z) - r), tz1 = last(std::max(s.z, p.z) + r);
    bool painted = false;
    std::vector<char> marks((size_t)(tx1 - tx0 + 1) * (size_t)(tz1 - tz0 + 1), 0);
    for (int tz = tz0; tz <= tz1; tz++)
        for (int tx = tx0; tx <= tx1; tx++) {
            float cx = (2 * tx + 1) * c, cz = (2 * tz + 1) * c;
            if (distance_to_segment(cx, cz, s, p) >= r) continue;
            int look = looks[std::min((size_t)(dice() * (float)looks.size()), looks.size() - 1)];
            set_tile(tx, tz, look);
            marks[(size_t)(tx - tx0) + (size_t)(tx1 - tx0 + 1) * (tz - tz0)] = 1;
            painted = true;
        }
    if (!painted) return;
    blend_around(tx0, tz0, tx1, tz1, marks, side);
    // The painted tiles and the ring around them are composed again.
    editor_report_world_box((float)tx0 * tile - tile, (float)tz0 * tile - tile, (float)(tx1 + 2) * tile,
                            (float)(tz1 + 2) * tile);
    editor_mark_modified();
}

// ---- mode 15 -----------------------------------------------------------------------------------------

namespace {

bool valid_decal(int k) { return k >= 0 && k < (int)track_decals().size(); }

// With "Hide different" only decals of the picked decal's texture count:
// the texture they must have, or null for any.
const std::string* only_texture() {
    if (editor_settings.hide_different != 1 || !valid_decal(editor.picked_decal)) return nullptr;
    return &track_decals()[(size_t)editor.picked_decal].texture.name;
}
bool pickable(const decal& d) {
    const std::string* only = only_texture();
    return !only || d.texture.name == *only;
}

bool hit(editor_point p, float x, float z) { return editor_distance(p, x, z) <= editor_handle_size() / 2; }

void set_heading(decal& d, float angle) {
    d.angle = angle;
    d.sin_angle = std::sin(angle);
    d.cos_angle = std::cos(angle);
}

void report_decal(const decal& d) {
    float reach = std::fabs(d.size) * std::max(1.0f, std::fabs(d.ratio));
    editor_report_world_box(d.x - reach, d.z - reach, d.x + reach, d.z + reach);
}

void decals_changed() {
    refile_decals();
    editor_mark_modified();
}

float decal_spacing(const decal& d) { return (float)editor_settings.tile_spacing * d.size; }

// The point half a spacing behind a decal along its heading.
void behind(const decal& d, float& x, float& z) {
    float half = decal_spacing(d) / 2;
    x = d.x - d.sin_angle * half;
    z = d.z - d.cos_angle * half;
}

// Where a new decal goes in the list (also the drawing order).
size_t insert_place(const std::vector<decal>& list, int picked) {
    int level = editor_settings.level;
    if (level == 0 || !valid_decal(picked)) return list.size();  // "Top"
    if (level == 3) return 0;                                    // "Bottom"
    const std::string& name = list[(size_t)picked].texture.name;
    size_t a = (size_t)picked, b = (size_t)picked + 1;
    while (a > 0 && list[a - 1].texture.name == name) a--;
    while (b < list.size() && list[b].texture.name == name) b++;
    return level == 1 ? a : b;  // "Under Current" / "Over Current"
}

}  // namespace

int editor_lay_decal(editor_point p, bool along) {
    editor_state& e = editor;
    if (!valid_decal(e.picked_decal) || !std::isfinite(p.x) || !std::isfinite(p.z)) return -1;
    std::vector<decal>& list = editable_track_decals();
    const decal from = list[(size_t)e.picked_decal];
    decal d;
    d.texture = from.texture;
    d.normal_map = from.normal_map;
    d.specular_map = from.specular_map;
    d.size = from.size;
    d.ratio = from.ratio;
    d.x = p.x;
    d.z = p.z;
    float spacing = decal_spacing(from);
    int orientation = editor_settings.orientation;
    // "Flow" points back to the previous decal; "Flow2" to its front end,
    // half a spacing on from its centre, and the new decal's back end lies
    // there, so that the two join end to end.
    float bx = from.x, bz = from.z;
    if (orientation == 3) behind(from, bx, bz);
    float dx = p.x - bx, dz = p.z - bz, len = std::hypot(dx, dz);
    float ux = len > 0 ? dx / len : 0, uz = len > 0 ? dz / len : 0;
    if (along && len > 0) {
        float step = orientation == 3 ? 0 : spacing;
        d.x = bx + ux * step;
        d.z = bz + uz * step;
    }
    float angle = from.angle;
    switch (orientation) {
        case 1: angle = (dice() * 2 - 1) * pi; break;
        case 2:
        case 3:
            if (len > 0) angle = std::atan2(-ux, -uz);
            if (orientation == 3 && len > 0) {
                d.x += ux * spacing / 2;
                d.z += uz * spacing / 2;
            }
            break;
        case 4: {
            std::array<float, 3> n = surface_normal_at(d.x, d.z);
            float nl = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            float hx = nl > 0 ? n[0] / nl : 0, hz = nl > 0 ? n[2] / nl : 0;
            angle = hx * hx + hz * hz >= 1.0f / 1024 ? std::atan2(hx, hz) : (dice() * 2 - 1) * pi;
            break;
        }
        default: break;
    }
    set_heading(d, angle);
    size_t at = insert_place(list, e.picked_decal);
    list.insert(list.begin() + (long)at, d);
    e.picked_decal = (int)at;
    decals_changed();
    report_decal(d);
    return (int)at;
}

int editor_remove_decals_near(editor_point p, float radius) {
    std::vector<decal>& list = editable_track_decals();
    // Decided once: removing the picked decal must not widen the choice.
    const std::string* only = only_texture();
    std::string texture = only ? *only : "";
    int removed = 0;
    for (int k = (int)list.size() - 1; k >= 0; k--) {
        const decal& d = list[(size_t)k];
        if ((only && d.texture.name != texture) || editor_distance(p, d.x, d.z) > radius) continue;
        report_decal(d);
        list.erase(list.begin() + k);
        if (editor.picked_decal == k) editor.picked_decal = -1, editor.pick_state = 0;
        else if (editor.picked_decal > k) editor.picked_decal--;
        removed++;
    }
    if (removed) decals_changed();
    return removed;
}

bool scale_picked_decal(float factor) {
    if (!valid_decal(editor.picked_decal)) return false;
    decal& d = editable_track_decals()[(size_t)editor.picked_decal];
    report_decal(d);
    d.size *= factor;
    report_decal(d);
    decals_changed();
    return true;
}

void decal_press(editor_point p) {
    editor_state& e = editor;
    e.pick_state = 0;
    const std::vector<decal>& list = track_decals();
    if (list.empty()) return;
    for (size_t k = 0; k < list.size(); k++)
        if (pickable(list[k]) && hit(p, list[k].x, list[k].z)) {
            e.picked_decal = (int)k;
            e.pick_state = 1;
            return;
        }
    float h = editor_handle_size();
    for (size_t k = 0; k < list.size(); k++) {
        const decal& d = list[k];
        if (pickable(d) && hit(p, d.x - d.sin_angle * 4 * h, d.z - d.cos_angle * 4 * h)) {
            e.picked_decal = (int)k;
            e.pick_state = 2;
            return;
        }
    }
    editor_lay_decal(p, false);
}

void decal_hold(editor_point p) {
    editor_state& e = editor;
    if (!valid_decal(e.picked_decal)) return;
    decal& d = editable_track_decals()[(size_t)e.picked_decal];
    if (e.pick_state == 1) {
        if (editor_distance(p, d.x, d.z) < 0.001f) return;
        report_decal(d);
        d.x = p.x;
        d.z = p.z;
    } else if (e.pick_state == 2) {
        float dx = d.x - p.x, dz = d.z - p.z;
        if (dx == 0 && dz == 0) return;
        report_decal(d);
        set_heading(d, std::atan2(dx, dz));
    } else {
        float fx = d.x, fz = d.z;
        if (editor_settings.orientation == 3) behind(d, fx, fz);
        if (editor_distance(p, fx, fz) <= decal_spacing(d)) return;
        editor_lay_decal(p, true);
        return;
    }
    report_decal(d);
    decals_changed();
}
