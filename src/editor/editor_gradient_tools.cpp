// Placing gradients and editing their profiles in the top view, and a
// profile taken from the ground under a gradient's axis.
#include <algorithm>
#include <cmath>

#include "editor/editor.h"
#include "editor/editor_internal.h"
#include "editor/editor_tools.h"
#include "track/height_field.h"

gradient* selected_gradient_record() {
    int k = editor.selected_gradient;
    if (k < 0 || k >= (int)editor.gradients.size()) return nullptr;
    return &editor.gradients[(size_t)k];
}

namespace {

bool hit(editor_point p, float x, float z) { return editor_distance(p, x, z) <= editor_handle_size() / 2; }

// A gradient nobody has shaped yet: at most two points, all at height 0.
// Its ends can be placed one by one; any other gradient moves whole.
bool fresh(const gradient& g) {
    if (g.points.size() > 2) return false;
    for (const gradient_point& q : g.points)
        if (q.height != 0) return false;
    return true;
}

float snap(float v) {
    double step = editor_settings.granularity;
    return step > 0 ? (float)(std::round(v / step) * step) : v;
}

}  // namespace

// ---- mode 9 ---------------------------------------------------------------------------------

void gradient_placement_press(editor_point p) {
    editor_state& e = editor;
    e.pick_state = 0;
    if (gradient* g = selected_gradient_record()) {
        if (hit(p, g->origin[0], g->origin[1])) {
            e.pick_state = 1;
            return;
        }
        if (hit(p, g->toward[0], g->toward[1])) {
            e.pick_state = 2;
            return;
        }
    }
    for (int k = (int)e.gradients.size() - 1; k >= 0; k--) {
        const gradient& g = e.gradients[(size_t)k];
        if (hit(p, g.origin[0], g.origin[1]) || hit(p, g.toward[0], g.toward[1])) {
            e.selected_gradient = k;
            e.selected_point = -1;
            return;
        }
    }
}

void gradient_placement_hold(editor_point p) {
    gradient* g = selected_gradient_record();
    if (!g || editor.pick_state == 0) return;
    if (editor.pick_state == 1) {
        float dx = p.x - g->origin[0], dz = p.z - g->origin[1];
        g->origin[0] = p.x;
        g->origin[1] = p.z;
        if (!fresh(*g)) {
            g->toward[0] += dx;
            g->toward[1] += dz;
        }
    } else if (fresh(*g)) {
        g->toward[0] = p.x;
        g->toward[1] = p.z;
    } else {
        // The axis turns towards the cursor and keeps the profile's length;
        // with the cursor on the origin there is no direction to take.
        float dx = p.x - g->origin[0], dz = p.z - g->origin[1], len = std::hypot(dx, dz);
        if (!(len > 0)) return;
        float length = g->points.empty() ? 0 : g->points.back().distance;
        g->toward[0] = g->origin[0] + dx / len * length;
        g->toward[1] = g->origin[1] + dz / len * length;
    }
    editor_mark_modified();
}

// ---- mode 10 ---------------------------------------------------------------------------------
// The profile is drawn on the ground: point (s, v) at (origin.x + s, origin.z - v).

void gradient_edit_press(editor_point p) {
    editor_state& e = editor;
    e.pick_state = 0;
    gradient* g = selected_gradient_record();
    if (!g) return;
    for (size_t k = 0; k < g->points.size(); k++)
        if (hit(p, g->origin[0] + g->points[k].distance, g->origin[1] - g->points[k].height)) {
            e.selected_point = (int)k;
            e.pick_state = 1;
            editor_settings.segment_type = k < g->segment_types.size() ? g->segment_types[k] : (unsigned char)segment_line;
            return;
        }
    float s = p.x - g->origin[0];
    for (size_t k = 0; k + 1 < g->points.size(); k++) {
        if (!(s > g->points[k].distance && s < g->points[k + 1].distance)) continue;
        g->points.insert(g->points.begin() + (long)k + 1, gradient_point{s, g->origin[1] - p.z});
        unsigned char type = k < g->segment_types.size() ? g->segment_types[k] : (unsigned char)segment_line;
        g->segment_types.resize(g->points.size() - 1, segment_line);
        g->segment_types.insert(g->segment_types.begin() + (long)k + 1, type);
        e.selected_point = (int)k + 1;
        e.pick_state = 1;
        editor_mark_modified();
        return;
    }
}

void gradient_edit_hold(editor_point p) {
    editor_state& e = editor;
    gradient* g = selected_gradient_record();
    if (!g || e.pick_state != 1 || e.selected_point < 0 || e.selected_point >= (int)g->points.size()) return;
    size_t k = (size_t)e.selected_point, m = g->points.size();
    float s = snap(p.x - g->origin[0]), v = snap(g->origin[1] - p.z);
    gradient_point& q = g->points[k];
    if (k == 0 || k == m - 1) {
        if (q.height == v) return;
        q.height = v;
    } else if (s > g->points[k - 1].distance && s < g->points[k + 1].distance) {
        if (q.distance == s && q.height == v) return;
        q = {s, v};
    } else {
        // Dragged onto or past a neighbour: the point goes.
        g->points.erase(g->points.begin() + (long)k);
        if (k < g->segment_types.size()) g->segment_types.erase(g->segment_types.begin() + (long)k);
        e.selected_point = -1;
        e.pick_state = 0;
    }
    editor_mark_modified();
}

void editor_set_point_segment_type() {
    gradient* g = selected_gradient_record();
    int k = editor.selected_point;
    if (!g || k < 0 || k >= (int)g->points.size()) return;
    g->segment_types.resize(g->points.size(), segment_line);
    g->segment_types[(size_t)k] = editor_settings.segment_type == 1 ? segment_curve : segment_line;
    editor_mark_modified();
}

// ---- "Set From Terrain" ---------------------------------------------------------------------------

namespace {

float slope(const std::vector<gradient_point>& q, size_t a, size_t b) {
    float ds = q[b].distance - q[a].distance;
    return ds > 0 ? (q[b].height - q[a].height) / ds : 0;
}

}  // namespace

void editor_set_from_terrain() {
    gradient* g = selected_gradient_record();
    if (!g) {
        editor.status_text = "No gradient selected";
        return;
    }
    float dx = g->toward[0] - g->origin[0], dz = g->toward[1] - g->origin[1];
    float length = std::hypot(dx, dz), step = terrain.cell_size;
    if (!(length > 0) || !std::isfinite(length) || !(step > 0)) {
        editor.status_text = "Gradient has no length";
        return;
    }
    float ux = dx / length, uz = dz / length;
    std::vector<gradient_point> q;
    auto sample = [&](float s) { q.push_back({s, editor_base_surface_at(g->origin[0] + ux * s, g->origin[1] + uz * s)}); };
    for (int k = 0; (float)k * step < length; k++) sample((float)k * step);
    sample(length);
    std::vector<unsigned char> type(q.size(), segment_curve);

    // Runs of points on one straight line become one "Line" segment.
    constexpr float same_slope = 1.0f / 8192;
    std::vector<gradient_point> kept = {q[0]};
    std::vector<unsigned char> kept_type = {segment_curve};
    for (size_t k = 1; k < q.size(); k++) {
        bool interior = k + 1 < q.size();
        if (interior && std::fabs(slope(q, k - 1, k) - slope(q, k, k + 1)) <= same_slope) {
            kept_type.back() = segment_line;  // the run's first point starts a line
            continue;
        }
        // The last point of a run ends its line; a lone segment stays a curve.
        kept.push_back(q[k]);
        kept_type.push_back(segment_curve);
    }
    if (kept_type.size() >= 2 && kept_type[kept_type.size() - 2] == segment_line) kept_type.back() = segment_line;

    // Then curve points that hardly leave the straight line through their
    // neighbours go, loosest tolerance last.
    for (float tolerance : {1 / 128.0f, 1 / 64.0f, 1 / 32.0f, 1 / 16.0f, 1 / 8.0f, 1 / 4.0f}) {
        for (size_t k = kept.size() >= 3 ? kept.size() - 2 : 0; k >= 1 && k + 1 < kept.size(); k--) {
            if (kept_type[k - 1] != segment_curve || kept_type[k] != segment_curve) continue;
            float t = (kept[k].distance - kept[k - 1].distance) / (kept[k + 1].distance - kept[k - 1].distance);
            float line = kept[k - 1].height + (kept[k + 1].height - kept[k - 1].height) * t;
            if (std::fabs(kept[k].height - line) > tolerance) continue;
            kept.erase(kept.begin() + (long)k);
            kept_type.erase(kept_type.begin() + (long)k);
        }
    }
    g->points = std::move(kept);
    g->segment_types = std::move(kept_type);
    editor.selected_point = -1;
    editor_mark_modified();
}
