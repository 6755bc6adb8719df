// The generated tracks as a designer describes them: a lap of straights and
// filleted corners with widths, berms and the profiles of its jumps, turned
// into a height grid, a surface map, timing gates and start positions. A
// track's plan says what differs (Rabbit Hill, the default, and Sandpit
// Bottoms); the shaping is shared. File formats are written elsewhere; this
// is geometry only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rabbithill {

constexpr int size_log2 = 9;                         // 512 x 512 tiles
constexpr int samples = 2 * (1 << size_log2) + 1;     // 1025 per side
constexpr double cell_size = 0.625;                  // ft between samples
constexpr double extent = (samples - 1) * cell_size;  // 640 ft

// Surfaces, in tile-type order of the track's tileinfo: the lap's own
// surface (dirt, or sand on a sandy track), the loose outside of the berms,
// the start straight's hard-pack and the grass around.
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
// A rhythm section is a run of small jumps, one every rhythm_spacing feet.
enum feature_kind {
    feature_double,
    feature_tabletop,
    feature_step_up,
    feature_whoops,
    feature_rollers,
    feature_big_jump,
    feature_rhythm
};
constexpr double rhythm_spacing = 20;

struct feature {
    feature_kind kind;
    double start;   // lap distance (ft) where it begins
    double length;  // ft
    const char* name;
    double scale = 1;  // of the profile's heights
};

// A feature by the straight it sits on (the straight after corner
// `straight`) and its offset from that straight's start.
struct feature_place {
    feature_kind kind;
    int straight;
    double offset;
    double length;
    const char* name;
    double scale = 1;
};

// The land a track is cut into: gentle rolls, a hill under the big jump
// (if there is one) and banks rising towards the edges of the field.
struct land_shape {
    double roll = 1.4, ripple = 0.5;  // heights of the broad and the short rolls
    double hill = 9.0;                // the big jump's hill
    double bank = 16, bank_noise = 8;
    uint32_t seed = 0;                // added to the noise seeds
};

// Everything that makes one generated track differ from another. The lap's
// last corner is the finish turn: the straight after it, the start
// straight, runs towards -z to the first corner, and the start chute joins
// it from +z at the finish turn's x.
struct track_plan {
    const char* dir;   // folder in the archive
    const char* name;  // shown in the menus
    const char* banner = "RABBIT HILL MX";  // the title on the track's banners
    std::vector<corner> corners;
    std::vector<feature_place> features;
    double track_width = 34;
    double shoulder = 16;  // grass bank from the track edge down to the land
    double berm_scale = 115, berm_max = 5.5;  // berm height from curvature (ft per 1/ft), and its cap
    double chute_gate_z = 562, chute_gate_width = 78;
    int gates = 30;
    land_shape land;
    bool sandy = false;  // the lap is sand, not dirt
    // Scenery: how thick the trees stand at the field's edges and in it,
    // and the corner they gather round.
    double trees_edge = 0.75, trees_inside = 0.22, pines = 0.5;
    int tree_corner = 1;
    double bushes = 0.16;
    uint32_t scenery_seed = 0;  // added to the seeds of the trees', bushes' and crowds' pictures
    bool script = false;  // the track script and its things (Rabbit Hill's)
    // The sky: colours of the zenith, the horizon, the distant hills and the
    // ground below them, and the cloud noise from which clouds begin.
    uint8_t zenith[3] = {70, 118, 196}, horizon[3] = {196, 212, 226}, far_hills[3] = {150, 168, 180},
            near_hills[3] = {86, 114, 82}, ground[3] = {92, 112, 74};
    double cloud_from = 0.5, cloud_full = 0.72;
    float fog[3] = {0.76f, 0.82f, 0.88f};
    float sun_colour[3] = {1, 1, 1};
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
    const track_plan* plan = nullptr;    // what it was built from
};

// The generated tracks' plans.
const track_plan& rabbithill_plan();
const track_plan& sandpit_plan();
// The plan of the generated track in folder `dir`, or nullptr.
const track_plan* plan_named(const std::string& dir);

// The corners and features of a plan's lap, in riding order (Rabbit Hill's
// when no plan is given).
const std::vector<corner>& lap_corners(const track_plan& plan = rabbithill_plan());
std::vector<feature> lap_features(const track_plan& plan = rabbithill_plan());

// Builds the whole design; deterministic. The second form builds each plan
// once and keeps it, for the generators that all need the same design.
track_design build_design(const track_plan& plan = rabbithill_plan());
const track_design& design_of(const track_plan& plan);

// The height of the surface at a world point, from the grid (bilinear; used
// by tests and for placing things).
double grid_height(const track_design& d, double x, double z);

// A picture of the design seen from above (hill-shaded heights in the
// surface colours, gates in yellow, the finish in white, start positions in
// red), as PNG bytes.
std::vector<unsigned char> preview_png(const track_design& d);

}  // namespace rabbithill
