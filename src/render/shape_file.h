// Collision shapes: small sets of spheres read from ".shp" text files, kept
// in a process-wide cache by file name, and handed to each user as a copy.
//
// The format is a sphere count, then seven numbers per sphere, separated by
// any white space: centre x, y, z (in the owning body's or object's frame,
// ft), radius (ft), friction (coefficient), stiffness (lbf/ft) and damping
// (lbf·s/ft). Nothing after the last sphere is read.
#pragma once

#include <string>
#include <vector>

struct collision_sphere {
    float center[3];
    float radius;
    float friction;
    float stiffness;
    float damping;
};

struct collision_shape {
    std::vector<collision_sphere> spheres;  // in file order
    float bounding_radius = 0;  // largest |centre| + radius; 0 without spheres
    std::string name;           // the file name it was loaded from
    const collision_shape* source = nullptr;  // for a copy: the cached shape
};

// Most spheres a shape may have; a longer count is refused as corrupt.
constexpr int shape_max_spheres = 4096;
// Farthest a sphere's centre coordinates and its radius may go (ft): a track
// is a few thousand feet across, and larger values only overflow the
// geometry that follows.
constexpr float shape_max_extent = 1.0e6f;

// The shared, read-only cached shape of that exact (case-sensitive) file
// name, loading it on first use; null when the file is missing or malformed.
// A failed load leaves nothing cached, so the next request reads it again.
const collision_shape* shape_load(const char* name);
// A caller-owned copy of shape_load's shape, whose source is the cached one;
// false (and `out` untouched) when there is none.
bool shape_copy(const char* name, collision_shape& out);
// Recomputes bounding_radius from the spheres.
float shape_bounding_radius(const collision_shape& shape);
// The ".shp" text of a shape: the one writer of the format.
std::string shape_text(const collision_shape& shape);

// Shapes cached so far, and emptying the cache (shutdown and tests; pointers
// from shape_load become invalid).
int shape_cache_size();
void shape_cache_free();
