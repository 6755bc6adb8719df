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

// Where the points show in a view: those more than 2 feet in front of the
// camera, farthest first, at screen-layer coordinates (x across -W..W, y up
// -1..1); a point just off the view is kept, as its text may reach into it.
struct frame_camera;
struct frustum_extents;
struct telemetry_mark {
    int index = 0;  // into the point list
    float x = 0, y = 0;
    double depth = 0;
};
std::vector<telemetry_mark> telemetry_marks(const frame_camera& camera, const frustum_extents& frustum,
                                            float half_width);
// Draws each point's text over the world view just drawn with `camera`.
void draw_telemetry_points(const frame_camera& camera, int width, int height);
