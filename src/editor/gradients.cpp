// Gradients: height profiles laid over the ground along an axis or around a
// point, and their "edinfo" file.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/text.h"
#include "editor/editor.h"
#include "track/height_field.h"

namespace {

float segment_slope(const gradient& g, size_t k) {
    float ds = g.points[k + 1].distance - g.points[k].distance;
    return ds > 0 ? (g.points[k + 1].height - g.points[k].height) / ds : 0;
}

bool is_line(const gradient& g, size_t k) { return k >= g.segment_types.size() || g.segment_types[k] != segment_curve; }

// The end tangent (height per distance) of the profile at point k.
float point_tangent(const gradient& g, size_t k) {
    size_t m = g.points.size();
    if (m < 2) return 0;
    if (k == 0) return segment_slope(g, 0);
    if (k >= m - 1) return segment_slope(g, m - 2);
    if (is_line(g, k - 1)) return segment_slope(g, k - 1);
    if (is_line(g, k)) return segment_slope(g, k);
    return (segment_slope(g, k - 1) + segment_slope(g, k)) / 2;
}

// The unit axis from origin to toward; false when the two coincide.
bool axis(const gradient& g, float& ux, float& uz) {
    float dx = g.toward[0] - g.origin[0], dz = g.toward[1] - g.origin[1];
    float len = std::sqrt(dx * dx + dz * dz);
    if (!(len > 0) || !std::isfinite(len)) {
        ux = 1;
        uz = 0;
        return false;
    }
    ux = dx / len;
    uz = dz / len;
    return true;
}

}  // namespace

float gradient_profile(const gradient& g, float s) {
    size_t m = g.points.size();
    if (m == 0) return 0;
    if (!(s >= g.points[0].distance)) return g.points[0].height;  // before the first point (and NaN)
    for (size_t k = 0; k + 1 < m; k++) {
        float s0 = g.points[k].distance, s1 = g.points[k + 1].distance;
        if (!(s >= s0 && s < s1)) continue;
        float h0 = g.points[k].height, h1 = g.points[k + 1].height;
        float t = (s - s0) / (s1 - s0);
        if (is_line(g, k)) return h0 + (h1 - h0) * t;
        float t0 = point_tangent(g, k) * (s1 - s0), t1 = point_tangent(g, k + 1) * (s1 - s0);
        return h0 + t0 * t + (3 * (h1 - h0) - 2 * t0 - t1) * t * t + (t1 + t0 + 2 * (h0 - h1)) * t * t * t;
    }
    return g.points[m - 1].height;
}

float gradient_height(const gradient& g, float x, float z, bool radial) {
    float ux, uz;
    axis(g, ux, uz);
    float dx = x - g.origin[0], dz = z - g.origin[1];
    float along = dx * ux + dz * uz;
    float s = along;
    if (radial) {
        if (along >= 0) {
            s = std::sqrt(dx * dx + dz * dz);
        } else {
            float px = dx - along * ux, pz = dz - along * uz;
            s = std::sqrt(px * px + pz * pz);
        }
    }
    return gradient_profile(g, s);
}

std::string encode_edinfo(const std::vector<gradient>& list) {
    std::string out;
    char line[256];
    for (const gradient& g : list) {
        snprintf(line, sizeof line, "add_gradient %f %f %f %f\n", g.origin[0], g.origin[1], g.toward[0], g.toward[1]);
        out += line;
        for (size_t k = 0; k < g.points.size(); k++) {
            int type = k < g.segment_types.size() ? g.segment_types[k] : 0;
            snprintf(line, sizeof line, "add_point %d %f %f\n", type, g.points[k].distance, g.points[k].height);
            out += line;
        }
    }
    return out;
}

int parse_edinfo(const char* text, std::vector<gradient>& out) {
    int selected = -1;
    const char* p = text;
    while (p && *p) {
        const char* end = strchr(p, '\n');
        size_t len = end ? (size_t)(end - p) : strlen(p);
        // Lines are read up to 1000 characters; the rest of a longer line is dropped.
        std::string line(p, std::min<size_t>(len, 1000));
        p = end ? end + 1 : nullptr;
        const char* q = line.c_str();
        while (*q == ' ' || *q == '\t' || *q == '\r') q++;
        char word[16] = "";
        int used = 0;
        if (sscanf(q, "%15s%n", word, &used) != 1) continue;
        const char* rest = q + used;
        if (strcmp(word, "add_gradient") == 0) {
            float v[4];
            if (sscanf(rest, "%f %f %f %f", &v[0], &v[1], &v[2], &v[3]) != 4) continue;
            bool finite = true;
            for (float f : v) finite = finite && std::isfinite(f);
            if (!finite) continue;
            gradient g;
            g.origin[0] = v[0];
            g.origin[1] = v[1];
            g.toward[0] = v[2];
            g.toward[1] = v[3];
            out.push_back(g);
            selected = (int)out.size() - 1;
        } else if (strcmp(word, "add_point") == 0 && !out.empty()) {
            int type;
            float s, h;
            if (sscanf(rest, "%d %f %f", &type, &s, &h) != 3 || !std::isfinite(s) || !std::isfinite(h)) continue;
            gradient& g = out.back();
            // The profile is kept in increasing distance; a point out of order
            // or at a distance already held is placed by distance instead.
            size_t at = g.points.size();
            while (at > 0 && g.points[at - 1].distance > s) at--;
            if (at > 0 && g.points[at - 1].distance == s) {
                g.points[at - 1].height = h;
                g.segment_types[at - 1] = type == 1 ? segment_curve : segment_line;
                continue;
            }
            g.points.insert(g.points.begin() + (long)at, gradient_point{s, h});
            g.segment_types.insert(g.segment_types.begin() + (long)at, type == 1 ? segment_curve : segment_line);
        }
    }
    return selected;
}

namespace {
void flat_profile(gradient& g) {
    float dx = g.toward[0] - g.origin[0], dz = g.toward[1] - g.origin[1];
    g.points = {{0, 0}, {std::sqrt(dx * dx + dz * dz), 0}};
    g.segment_types = {segment_line, segment_line};
}
}  // namespace

void editor_new_gradient() {
    gradient g;
    editor_window_to_world(editor.window[0] / 2.0f, editor.window[1] / 2.0f, g.origin[0], g.origin[1]);
    g.toward[0] = g.origin[0] + 50;
    g.toward[1] = g.origin[1];
    flat_profile(g);
    editor.gradients.push_back(g);
    editor.selected_gradient = (int)editor.gradients.size() - 1;
}

void editor_copy_gradient() {
    int from = editor.selected_gradient;
    if (from < 0 || from >= (int)editor.gradients.size()) {
        editor.status_text = "No gradient selected";
        return;
    }
    editor_new_gradient();
    gradient& g = editor.gradients.back();
    g.points = editor.gradients[(size_t)from].points;
    g.segment_types = editor.gradients[(size_t)from].segment_types;
}

void editor_flatten_gradient() {
    int k = editor.selected_gradient;
    if (k < 0 || k >= (int)editor.gradients.size()) {
        editor.status_text = "No gradient selected";
        return;
    }
    flat_profile(editor.gradients[(size_t)k]);
}
