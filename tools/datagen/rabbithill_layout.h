// Rabbit Hill, the default track, as a designer describes it: a lap of
// straights and filleted corners with widths, berms and the profiles of its
// jumps, turned into a height grid, a surface map, timing gates and start
// positions. File formats are written elsewhere; this is geometry only.
#pragma once

#include <string>
#include <vector>

namespace rabbithill {

constexpr int size_log2 = 9;                         // 512 x 512 tiles
constexpr int samples = 2 * (1 << size_log2) + 1;     // 1025 per side
constexpr double cell_size = 0.625;                  // ft between samples
constexpr double extent = (samples - 1) * cell_size;  // 640 ft

// Surfaces, in tile-type order of the track's tileinfo.
enum surface { surface_dirt = 0, surface_loam = 1, surface_hardpack = 2, surface_grass = 3, surface_count = 4 };

// A corner of the lap polygon: the lap runs straight between corners and
// around each on an arc of the given radius.
struct corner {
    double x, z;
    double radius;
    double berm;  // how much the outside is built up (1 = a full berm for the radius)
    const char* name;
};

// A shape laid along the lap: height offset as a function of distance from
// its start.
enum feature_kind { feature_double, feature_tabletop, feature_step_up, feature_whoops, feature_rollers, feature_big_jump };

struct feature {
    feature_kind kind;
    double start;   // lap distance (ft) where it begins
    double length;  // ft
    const char* name;
};

struct centre_sample {
    double x, z;      // world position
    double dx, dz;    // unit direction of travel
    double s;         // lap distance
    double width;     // track width here
    double curvature; // signed, 1/ft, positive turning right, weighted by the corner's berm
    double base;      // ground level of the track before features
};

struct start_position {
    double x, y, z;
    double angle;  // heading: 0 faces -z
};

struct gate {
    double radius;
    double x, y, z;
    double dx, dz;
    bool finish;
};

struct track_design {
    std::vector<centre_sample> lap;   // one sample per foot, closed
    std::vector<centre_sample> chute; // the start chute, gate to merge
    double lap_length = 0;
    std::vector<feature> features;
    std::vector<float> heights;          // samples x samples, row-major (i + samples * j)
    std::vector<unsigned char> tiles;    // 512 x 512 surface per tile
    // The surface at every tile corner (the even samples): 513 x 513,
    // row-major; where the corners of a tile differ, the tile lies on an edge.
    std::vector<unsigned char> corners;
    std::vector<start_position> starts;
    std::vector<gate> gates;             // in lap order; the last is the finish line
};

// The corners and features of the lap, in riding order.
const std::vector<corner>& lap_corners();
const std::vector<feature>& lap_features();

// Builds the whole design; deterministic.
track_design build_design();

// The height of the surface at a world point, from the grid (bilinear; used
// by tests and for placing things).
double grid_height(const track_design& d, double x, double z);

// A picture of the design seen from above (hill-shaded heights in the
// surface colours, gates in yellow, the finish in white, start positions in
// red), as PNG bytes.
std::vector<unsigned char> preview_png(const track_design& d);

}  // namespace rabbithill
