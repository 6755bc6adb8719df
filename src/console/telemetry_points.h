// Telemetry points: while logging is on, a bike whose wheels dig the track
// leaves a point with the wheels' digging read-outs each time its frame has
// moved farther than the spacing from the last point.
#pragma once

#include <array>
#include <string>
#include <vector>

constexpr size_t telemetry_text_limit = 1023;
// Each point holds up to a kilobyte of text; the list stops growing here.
constexpr size_t telemetry_point_limit = 16384;
constexpr double telemetry_default_spacing = 10;

struct telemetry_point {
    std::array<float, 3> position{};
    std::string text;  // "front:\n" read-out "rear:\n" read-out
};

struct telemetry_log {
    unsigned flags = 0;  // bit 0: record points
    double spacing = telemetry_default_spacing;
    std::vector<telemetry_point> points;
    bool full_said = false;
};
extern telemetry_log telemetry_points;

// The "log" command's argument: flags from the first word ("e" sets bit 0),
// then an optional spacing. The reply, or the refusal of a spacing that is
// not a positive number (the default spacing is kept).
std::string set_telemetry_logging(const std::string& arguments);
// One bike's tic: adds a point when logging and far enough from the last
// point; false when nothing was added.
bool offer_telemetry_point(const std::array<float, 3>& position, const char* front_readout,
                           const char* rear_readout);
void clear_telemetry_points();
