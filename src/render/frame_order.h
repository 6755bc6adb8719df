// The arithmetic of one drawn frame that needs no GL: the projection's
// frustum extents, the ghosts' fade, the billboards' depth keys, their sort
// and regrouping, and the lens flares' visibility.
#pragma once

#include <cstdint>
#include <vector>

// Half-extents of the view frustum at distance 1. The field of view is the
// horizontal angle of a 4:3 view: wider windows see more to the sides,
// taller ones more above and below.
struct frustum_extents {
    double hx = 1, hy = 0.75;
};
frustum_extents projection_extents(int width, int height, double fov_degrees);

// Whether a sphere of `radius` around (x, y, z), in the camera's frame (x
// right, y up, looking down -z), can show in the view: it is in front of the
// camera's plane and within every side plane by its radius.
bool sphere_in_view(double x, double y, double z, double radius, const frustum_extents& f);

// Opacity of a replayed rider `distance` feet from the local rider: 0 up to
// half the fade distance, 1 from the fade distance on. A fade distance of 0
// (or less) never fades.
float ghost_fade(double distance, double fade_distance);

// floor(1024 * depth + 2^24), kept inside 0 .. 2^32 - 1 so that anything,
// however far behind or ahead, still sorts.
uint32_t depth_key(double depth);

// One listed billboard as the sort and the regrouping see it.
struct billboard_entry {
    int index = 0;           // into the track's billboards
    uint32_t key = 0;
    unsigned texture = 0;
    double x = 0, z = 0;     // bottom centre, relative to the camera
    double half_width = 0;   // along the camera's horizontal right vector
};

// Stable least-significant-digit radix sort by key, ascending (farthest
// first): four counting passes of 256 buckets over the key's bytes.
void radix_sort_entries(std::vector<billboard_entry>& list);

// Horizontal extents, as seen from the camera, that overlap. (rx, rz) is the
// camera's horizontal right vector and (fx, fz) its horizontal view
// direction.
bool extents_overlap(const billboard_entry& a, const billboard_entry& b, double rx, double rz, double fx,
                     double fz);

// Pulls the next entry with the same texture (within `lookahead` - 1 places)
// up behind each entry, unless it overlaps an entry it would jump over.
// A lookahead of 1 or less changes nothing.
void regroup_entries(std::vector<billboard_entry>& list, int lookahead, double rx, double rz, double fx,
                     double fz);

// Lens flares: where the source lies in view space (directional sources
// give their direction), and what the frame shows at that pixel.
struct flare_probe {
    double x = 0, y = 0, z = 0;  // view space: -z is ahead
    bool directional = false;
};
// The source's screen position (x / -z, y / -z); false when it is not
// within the view.
bool flare_on_screen(const flare_probe& p, const frustum_extents& f, double& sx, double& sy);
// Depth buffer value to a linear fraction 0..1 between the near and the
// far plane.
double linear_depth_fraction(double depth_value, double near_plane, double far_plane);
// Visibility 0..1 of a flare on screen at (sx, sy) over a pixel of that
// colour and linear depth fraction.
float flare_visibility(const flare_probe& p, double sx, double sy, const frustum_extents& f, const uint8_t rgb[3],
                       double depth_fraction);
