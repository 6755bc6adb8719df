// How a bike finds the ground: the tire (a torus) and spheres against the
// triangles of the height field. The queries create nothing and keep no
// state; they read the current heights, so a deformed track is seen at once.
//
// All geometry is single precision in world coordinates (feet, y up).
#pragma once

#include <array>

using vec3f = std::array<float, 3>;

// One surface triangle with its vertices in the order that makes
// n = (v1 - v0) x (v2 - v0) point upward; n is not normalised.
struct ground_triangle {
    vec3f v[3];
    vec3f n;
};

// The result of a ground query: depth > 0 means contact.
struct ground_contact {
    vec3f point{};
    vec3f normal{0, 1, 0};  // unit, out of the ground
    float depth = 0;
};

// A triangle's depth result; the normal may be unnormalised where the
// general case returns a bare direction (the ground queries normalise it).
struct triangle_depth {
    float depth = 0;
    vec3f point{};
    vec3f normal{0, 1, 0};
};

ground_triangle make_ground_triangle(const vec3f& v0, const vec3f& v1, const vec3f& v2);
// Triangle 0 or 1 of cell (i, j) of the loaded height field; cells outside
// the grid continue the edge heights. Each cell is cut along the diagonal
// that joins its even-even corner to its odd-odd corner.
ground_triangle terrain_triangle(int i, int j, int which);

// The point of the ring circle (centre c, unit axle a, radius R) nearest p.
// A point on the axle line takes a fixed direction, so the answer is always
// a point of the circle.
vec3f ring_point_nearest(const vec3f& c, const vec3f& a, float R, const vec3f& p);

// Depth of the tire torus (ring radius R, section radius r) into one
// triangle; negative when it is clear of it. The simple form skips the
// iterative general case and reports no contact there instead.
triangle_depth tire_triangle_depth(const vec3f& c, const vec3f& a, float R, float r, const ground_triangle& t);
triangle_depth tire_triangle_depth_simple(const vec3f& c, const vec3f& a, float R, float r,
                                          const ground_triangle& t);
// The general case: distance from the wheel (its ring against the edges,
// its disc against the vertices) to the triangle, with the nearest point on
// the triangle and the direction from the triangle toward the wheel.
triangle_depth ring_triangle_distance(const vec3f& c, const vec3f& a, float R, float r, const ground_triangle& t);

triangle_depth sphere_triangle_depth(const vec3f& centre, float radius, const ground_triangle& t);

// Ground queries over the triangles within reach of the wheel or sphere.
// Each returns whether it found contact; out is written only then. A centre
// or radius that is not finite, or a centre beyond ground_coordinate_limit,
// finds nothing (see ground_query_sane).
bool tire_ground_deepest(const vec3f& c, const vec3f& a, float R, float r, ground_contact& out);
// The read-out variant: cells nearest the wheel first, the first contact
// wins, no iterative case.
bool tire_ground_first(const vec3f& c, const vec3f& a, float R, float r, ground_contact& out);
bool sphere_ground_deepest(const vec3f& centre, float radius, ground_contact& out);
// Whether everything within `reach` of the centre lies clearly above the
// ground: the ball's lowest point is above every height sample under it.
// False when that cannot be told (no terrain, a bad query, or a reach too
// wide for one query); then the caller asks the exact queries.
bool ball_clear_of_ground(const vec3f& centre, float reach);

// No body of a working simulation is this far from the origin (ft).
constexpr float ground_coordinate_limit = 1.0e6f;
// Whether a query around this point with this reach can run: everything
// finite, the point within the limit and the reach positive and small
// enough to cover a bounded number of cells.
bool ground_query_sane(const vec3f& centre, float reach);

// Makes a chosen contact normal push upward or sideways, never down, and
// unit length.
vec3f ground_normal_fixup(vec3f n);

// Visit order of n rows (or columns) from the middle outward, as offsets
// from the first: for four, 1, 2, 0, 3.
int centre_out_offset(int n, int step);
