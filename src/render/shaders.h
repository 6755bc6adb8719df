// The seven shader programs and the calls that switch them and set their
// uniforms. Slot 0 is the fixed-function pipeline.
#pragma once

enum program_slot {
    program_fixed = 0,
    program_lit = 1,
    program_env = 2,
    program_norm_lit = 3,
    program_norm_env = 4,
    program_norm_spec_lit = 5,
    program_terrain_normals = 6,
    program_terrain = 7,
};
constexpr int program_slots = 8;
constexpr int max_bones = 32;

struct program_source {
    const char* name;
    const char* vertex;
    const char* fragment;
};

// The built-in sources of slots 1..7, in slot order.
extern const program_source builtin_programs[7];

// Builds slots 1..7 in order; on any failure deletes everything and fails.
bool build_programs();
bool build_programs_from(const program_source sources[7]);
void use_program(int slot);
int current_program();
unsigned program_handle(int slot);
// Uploads the transpose of the row-major 3x3 m as "envmat" to slots 2 and 4.
void set_env_matrix(const float m[9]);
// Sets "nbones" and the bone arrays of the current slot; more than 32 bones
// are cut to 32 (logged once).
void set_bones(int count, const float* centres, const float* translations, const float* rotations);
void delete_programs();
// Slot changes since the last reset (render statistics).
int shader_changes();
void reset_shader_changes();
