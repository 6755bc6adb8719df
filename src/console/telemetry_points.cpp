#include "console/telemetry_points.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/diag.h"
#include "core/scan.h"
#include "core/text.h"
#include "render/frame_draw.h"
#include "render/frame_order.h"
#include "ui/font.h"
#include "ui/text_draw.h"

telemetry_log telemetry_points;

std::string set_telemetry_logging(const std::string& arguments) {
    telemetry_log& t = telemetry_points;
    t.flags = 0;
    t.spacing = telemetry_default_spacing;
    size_t p = arguments.find_first_not_of(" \t");
    if (p == std::string::npos) return format_string("Logging 0x%x, spacing %f", t.flags, t.spacing);
    size_t e = arguments.find_first_of(" \t", p);
    std::string word = arguments.substr(p, e == std::string::npos ? std::string::npos : e - p);
    if (word.find('e') != std::string::npos) t.flags |= 1u;
    if (e != std::string::npos) {
        float spacing = 0;
        const char* rest = arguments.c_str() + e;
        if (string_scanf(rest, strlen(rest), nullptr, "%f", &spacing) == 1) {
            // No spacing, or a negative one, would add a point every tic
            // for every digging bike.
            if (!(std::isfinite(spacing) && spacing > 0))
                return format_string("Logging 0x%x, spacing %f (a spacing must be above 0)", t.flags, t.spacing);
            t.spacing = spacing;
        }
    }
    return format_string("Logging 0x%x, spacing %f", t.flags, t.spacing);
}

bool offer_telemetry_point(const std::array<float, 3>& position, const char* front_readout,
                           const char* rear_readout) {
    telemetry_log& t = telemetry_points;
    if (!(t.flags & 1u)) return false;
    if (!t.points.empty()) {
        const auto& last = t.points.back().position;
        double dx = (double)position[0] - last[0], dy = (double)position[1] - last[1],
               dz = (double)position[2] - last[2];
        if (!(std::sqrt(dx * dx + dy * dy + dz * dz) > t.spacing)) return false;
    }
    if (t.points.size() >= telemetry_point_limit) {
        if (!t.full_said) show_messagef("Telemetry list full at %zu points; \"/clearlog\" empties it", t.points.size());
        t.full_said = true;
        return false;
    }
    std::string text = std::string("front:\n") + (front_readout ? front_readout : "") + "rear:\n" +
                       (rear_readout ? rear_readout : "");
    t.points.push_back({position, truncated(text, telemetry_text_limit)});
    return true;
}

void clear_telemetry_points() {
    telemetry_points.points.clear();
    telemetry_points.full_said = false;
}

std::vector<telemetry_mark> telemetry_marks(const frame_camera& camera, const frustum_extents& frustum,
                                            float half_width) {
    std::vector<telemetry_mark> marks;
    const auto& o = camera.orientation;  // columns: right, up, back
    for (size_t k = 0; k < telemetry_points.points.size(); k++) {
        const auto& p = telemetry_points.points[k].position;
        double d[3] = {p[0] - camera.position[0], p[1] - camera.position[1], p[2] - camera.position[2]};
        double x = d[0] * o[0] + d[1] * o[3] + d[2] * o[6];
        double y = d[0] * o[1] + d[1] * o[4] + d[2] * o[7];
        double depth = -(d[0] * o[2] + d[1] * o[5] + d[2] * o[8]);
        if (!(depth > 2) || !(frustum.hx > 0) || !(frustum.hy > 0)) continue;
        float sx = (float)(x / depth / frustum.hx) * half_width, sy = (float)(y / depth / frustum.hy);
        // Far outside the view a point's text cannot show.
        if (std::fabs(sx) > 2 * half_width + 1 || std::fabs(sy) > 3) continue;
        marks.push_back({(int)k, sx, sy, depth});
    }
    std::stable_sort(marks.begin(), marks.end(),
                     [](const telemetry_mark& a, const telemetry_mark& b) { return a.depth > b.depth; });
    return marks;
}

void draw_telemetry_points(const frame_camera& camera, int width, int height) {
    if (telemetry_points.points.empty() || width <= 0 || height <= 0) return;
    begin_screen_layer(width, height);
    const float line = block_line_height(60);
    for (const telemetry_mark& m : telemetry_marks(camera, frame_frustum(), screen_half_width()))
        draw_text_shadowed(font_text, telemetry_points.points[(size_t)m.index].text.c_str(), m.x, m.y, line,
                           text_colour{1, 1, 0.6f, 1});
    end_screen_layer();
}
