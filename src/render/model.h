// Triangle models from ".jm" files: loading and clean-up, tangents, display
// lists, levels of detail, skinning to up to 32 bones, and the model cache
// with release by load generation.
//
// The ".jm" text format, blank-separated numbers:
//   old form:  V T, then V vertices (x y z  nx ny nz  u v), then T triangles
//              (three vertex indexes each); one rigid mesh.
//   "JM1":     meshes until one cannot be read, each a header
//              "shininess alpha red green blue V T", V vertices and T triangles.
//   "JM2":     "JM2 B name" and then meshes as in "JM1" whose vertices carry
//              B bone weights after u v, one per bone in bone order.
// Texture v is stored with its origin at the bottom: the reader flips it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

constexpr int model_max_bones = 32;
// Largest counts a file may give; more is refused as corrupt.
constexpr int model_max_vertices = 1 << 20;
constexpr int model_max_triangles = 1 << 21;

struct mesh {
    float shininess = 1;  // -1 a reflection mesh, -2 a self-lit mesh
    float specular[4] = {1, 1, 1, 1};
    int vertex_count = 0;
    int triangle_count = 0;
    int bone_count = 0;  // 0 for a rigid mesh
    std::vector<float> positions, normals;            // 3 per vertex
    std::vector<float> rest_positions, rest_normals;  // skinned meshes: as read
    std::vector<float> tangents;                      // 3 per vertex
    std::vector<float> rest_tangents;                 // skinned meshes
    std::vector<float> texcoords;                     // 2 per vertex, v flipped
    std::vector<float> weights;                       // skinned: 4 per vertex, sum 1
    std::vector<float> bones;                         // skinned: 4 bone indexes per vertex
    std::vector<int> triangles;                       // 3 per triangle
    unsigned display_list = 0;
    float texture_density[2] = {0, 0};  // largest du and dv per unit of edge length
};

struct model {
    std::vector<mesh> meshes;
    bool reflective = false;  // some mesh has shininess -1
    struct level {
        float distance;
        std::unique_ptr<model> version;
    };
    std::vector<level> lods;  // ascending switch distance
    int generation = 0;
    std::string name;
    float texture_density[2] = {0, 0};
    float bounds_min[3] = {0, 0, 0}, bounds_max[3] = {0, 0, 0};
};

// ---- reading -----------------------------------------------------------------
// Parses ".jm" text into `out` (positions, weights and triangles as read,
// nothing removed yet). `name` is used in messages. False when the file is
// rejected; in the "JM" form the meshes before an incomplete one are kept.
bool parse_model(const char* text, size_t length, const char* name, model& out);
// Removes degenerate triangles (an index out of range, or no area); returns
// how many went.
int remove_degenerate_triangles(model& m);
// Tangents, texture density, bounds and the reflection flag.
void finish_model(model& m);
// parse_model + remove_degenerate_triangles (with its message) + finish_model.
bool read_model_file(const char* name, model& out);

// ---- writing (the one writer of the format) ----------------------------------------
// "JM1" for rigid models, "JM2 <bones> <name>" when any mesh is skinned. The
// text reads back to the same model.
std::string model_text(const model& m, const char* bone_set_name = "bones");

// ---- the cache ---------------------------------------------------------------------
// With gl false the cache only parses (headless use): no display lists and
// drawing does nothing.
void models_init(bool gl);
bool models_use_gl();
// Every model, its display lists and its levels of detail (shutdown).
void models_free();
extern int model_generation;
void model_new_generation();
// Models of generations other than 0 and the current one go.
void models_release();
// The model of a file name, loading it (and, for an "@" name, its "_lod<N>"
// versions) on first use; finding it marks it used by the current
// generation. Null when the file is missing or rejected.
model* model_load(const char* name);
int model_count();

// The version to draw at squared distance `d2` from the camera, with the
// model LOD scale and bias of the render settings.
const model* choose_lod(const model& m, double d2);
const model* choose_lod(const model& m, double d2, double scale, double bias);

// ---- skinning and drawing -------------------------------------------------------------
// A pose: per bone a rest centre c, a translation t and a row-major 3 x 3
// rotation R; a rest vertex v of the bone goes to R (v - c) + t.
struct model_pose {
    int count = 0;
    const float* centres = nullptr;       // 3 per bone
    const float* translations = nullptr;  // 3 per bone
    const float* rotations = nullptr;     // 9 per bone
};
// Skins a mesh on the processor from its rest pose into positions, normals
// and tangents. False (mesh unchanged) when the pose has fewer bones than the
// mesh uses.
bool skin_mesh(mesh& m, const model_pose& pose);

enum class model_pass { normal, reflection };
// Draws with the lighting already set: the normal pass skips reflection
// meshes, the reflection pass draws only them. Skinned meshes take the pose
// (through the current shader program's bones, or on the processor).
void draw_model(model& m, model_pass pass, const model_pose* pose = nullptr);
// Polygons drawn since the last reset (render statistics).
int model_polygons_drawn();
void reset_model_polygons();
