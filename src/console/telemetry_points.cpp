#include "console/telemetry_points.h"

#include <cmath>
#include <cstring>

#include "core/diag.h"
#include "core/scan.h"
#include "core/text.h"

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
