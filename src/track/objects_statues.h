// Statues: placed models on the ground, solid when they have a collision
// shape, their "statues" file and its writer. The starting gate pieces come
// first in the list, then the statues of the file from first_track_statue()
// on; only those are saved.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

struct model;
struct collision_shape;

// Headings from this on make an upright impostor that turns to face a
// distant viewer; from upright_heading down the statue stands upright with
// that heading instead of leaning with the ground.
constexpr float impostor_heading = 3.25f;
constexpr float upright_heading = -6.2831855f;

struct statue {
    model* model_ref = nullptr;                 // none: nothing is drawn
    const collision_shape* shape = nullptr;     // none: not solid
    unsigned texture = 0, normal_map = 0, specular_map = 0;
    // The names the statue was made with (empty: none); what is saved.
    std::string model_name, texture_name, shape_name;
    float x = 0, y = 0, z = 0;
    float y_offset = 0;
    float angle = 0;
    // Row by row; the columns are the statue's x, up and z axes.
    std::array<float, 9> orientation = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float face_distance = 0;  // 2^angle for an impostor, else 0
    int touch_tic = 0;        // last tic a bike touched the shape
    // Set when a script poses the statue.
    int bone_count = 0;
    std::vector<float> bone_centres, bone_offsets, bone_rotations;
};

std::vector<statue>& track_statues();
// Index of the first statue of the "statues" file (the count of statues
// before it while none is loaded).
int first_track_statue();
void mark_first_track_statue();

// Loads the model, the shape ("Warning: missing shape file ..." when it
// cannot be) and, when the model loaded, the texture with its companion
// maps; seats and orients the statue and appends it. Any name may be null.
// Returns the index, or -1 for numbers that are not finite.
int add_statue(float x, float y_offset, float z, float angle, const char* model_name, const char* texture_name,
               const char* shape_name);
// A starting gate piece for the start position at `position` facing
// `angle`: 3 ft ahead of it at the position's own height.
int add_gate_piece(const float position[3], float angle, const char* model_name, const char* texture_name,
                   const char* shape_name);
// The orientation for the statue's heading and place (see impostor_heading).
void orient_statue(statue& s);
// After x, z, y_offset or angle changed: back on the ground, oriented again.
void reseat_statue(statue& s);
// A bike touched the statue's shape.
void touch_statue(int index, int tic);

// Reads a "statues" file: records "[ x y_offset z ] angle model texture
// shape" ("null" for none) until one does not convert.
void load_statues(const char* name);
void free_statues();
// The model files named by the statues, in list order, whether they loaded or not.
void statue_model_files(std::vector<std::string>& names);

// The file's text for statues [first, end).
std::string encode_statues(const std::vector<statue>& list, size_t first);
// Writes the track file's statues into the current track directory
// (atomically). False, with "Can't open 'statues'", when it cannot.
bool save_statues();
