// Building triangle meshes for the generated models: vectors, texture
// regions, and shapes (tubes along paths, rounded blobs, boxes, extruded
// outlines, tori) that append to one mesh with smooth or flat normals.
// Triangles wind counter-clockwise seen from outside.
#pragma once

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "render/model.h"

struct v3 {
    double x = 0, y = 0, z = 0;
};
inline v3 operator+(v3 a, v3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline v3 operator-(v3 a, v3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline v3 operator-(v3 a) { return {-a.x, -a.y, -a.z}; }
inline v3 operator*(v3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline v3 operator*(double s, v3 a) { return a * s; }
inline double dot(v3 a, v3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline v3 cross(v3 a, v3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double length(v3 a) { return std::sqrt(dot(a, a)); }
inline v3 normalise(v3 a) {
    double l = length(a);
    return l > 1e-12 ? a * (1 / l) : v3{0, 1, 0};
}
inline v3 lerp(v3 a, v3 b, double t) { return a + (b - a) * t; }

// A rectangle of the texture in pixels of a square atlas of `size` pixels;
// u to the right, v down (image rows).
struct uv_box {
    double u0 = 0, v0 = 0, u1 = 1, v1 = 1;
    // The point at fractions (s, t) of the box.
    double u(double s) const { return u0 + (u1 - u0) * s; }
    double v(double t) const { return v0 + (v1 - v0) * t; }
};
// Pixel rectangle [x0, x1) x [y0, y1) of a w x h texture, inset half a pixel.
uv_box pixel_box(int x0, int y0, int x1, int y1, int w, int h);

// Coarser versions of a model are built by the same code with fewer
// segments: at coarseness c every curved shape has its segment counts halved
// c times (down to a floor that keeps its outline), round sections and lofts
// get no more sides and rings than keep their outline within half a pixel at
// the version's switch distance, and from coarseness 2 the meshes are merged
// into fewer draws (jm_text). Models drop their small details themselves
// (spokes from 16 feet, knobs halved at 16 feet and gone from 32).
extern int mesh_coarseness;
// The distance in feet from which the version being built is drawn; 0 for
// the full model.
extern double mesh_level_distance;
int coarser(int segments, int least);

constexpr int max_weights = 9;
using weight_set = std::array<float, max_weights>;
// Bone weights of a vertex from its position (skinned meshes).
using weight_function = std::function<weight_set(v3)>;

struct mesh_build {
    std::vector<v3> pos, nor;
    std::vector<double> u, v;
    std::vector<weight_set> w;
    std::vector<int> tri;
    int bones = 0;
    weight_function weights;  // used while set (bones > 0)

    int vertex(v3 p, v3 n, double tu, double tv);
    void triangle(int a, int b, int c) { tri.insert(tri.end(), {a, b, c}); }
    void quad(int a, int b, int c, int d) {
        triangle(a, b, c);
        triangle(a, c, d);
    }
    int vertex_count() const { return (int)pos.size(); }
    int triangle_count() const { return (int)tri.size() / 3; }
};

// Smooth normals of vertices [first, last) from the triangles from
// first_triangle on, welding equal positions so that seams stay smooth.
void smooth_normals(mesh_build& m, int first_vertex, int first_triangle);
// Flips triangles from first_triangle on when most face away from `inside`
// (a point inside the closed shape just built).
void face_outward(mesh_build& m, int first_triangle, const std::function<v3(v3)>& inside);

// A ring of a loft: centre, two axes spanning its plane, radii along them and
// a squareness exponent (1 round, toward 0 ever more square).
struct ring {
    v3 centre;
    v3 a, b;
    double ra, rb;
    double square = 1;
};
// A closed tube through the rings, optionally capped, smooth. u runs around
// (from +a toward +b), v along the rings.
void loft(mesh_build& m, const std::vector<ring>& rings, int around, uv_box box, bool cap_start, bool cap_end);
// Rings of radius r(t) along a polyline (parallel-transported frames, `up`
// the first ring's b axis hint).
std::vector<ring> path_rings(const std::vector<v3>& points, const std::vector<double>& radii, v3 up,
                             double square = 1, double aspect = 1);
void tube(mesh_build& m, const std::vector<v3>& points, const std::vector<double>& radii, int around, uv_box box,
          bool caps = true, v3 up = {0, 1, 0});
// A smooth polyline through control points (Catmull-Rom), `steps` per span.
std::vector<v3> smooth_path(const std::vector<v3>& points, int steps);

// A rounded block: a superellipsoid with half sizes r along x, y, z
// (`square` toward 0 flattens the sides). Texture by projection along x:
// u follows -z or +z (facing_x), v follows -y.
void blob(mesh_build& m, v3 centre, v3 r, double square, int segments, uv_box box);
// A box with flat faces; every face shows the whole box region.
void box(mesh_build& m, v3 lo, v3 hi, uv_box region);
// An outline in the z-y plane (counter-clockwise seen from +x) extruded from
// x0 to x1: flat faces, sides textured by projection (u from z, v from y
// across the outline's extent).
void extrude_x(mesh_build& m, const std::vector<std::array<double, 2>>& outline, double x0, double x1,
               uv_box side_region, uv_box edge_region);
// A torus around the x axis at `centre` (ring radius R, section r(angle
// around the ring, angle around the section)).
void torus_x(mesh_build& m, v3 centre, double R, const std::function<double(double, double)>& r, int around,
             int section, uv_box box);

// Adds a copy of vertices [first, end) and their triangles mirrored in x.
void mirror_x(mesh_build& m, int first_vertex, int first_triangle);
// Moves every vertex by d (into a body's frame).
void translate(mesh_build& m, v3 d);

// The mesh as a model mesh (shininess and specular colour as given) and the
// whole model's ".jm" text.
mesh to_mesh(const mesh_build& b, float shininess, const float specular[3]);
std::string jm_text(const std::vector<mesh>& meshes, const char* bone_set = "bones");

// Adds "<name>.jm" (gzip) built by `build` at full detail, and its coarser
// versions "<name>_lod3.jm", "_lod4", "_lod5", "_lod6" (coarseness 1, 1, 2, 3),
// which the game draws from 8, 16, 32 and 64 feet away.
struct datagen_output;
void add_model_levels(datagen_output& out, const std::string& name, const std::function<std::string()>& build);
