// The track's light: sun, ambient light, clip planes, fog, the sky box and
// the lens flares, read from its "lighting" file; and the file's writer.
#pragma once

#include <array>
#include <string>
#include <vector>

struct terrain_lighting_values;

constexpr int max_flare_elements = 8;

struct flare_element {
    float a = 0;  // across the flare axis
    float b = 0;  // along it: 1 on the source, 0 at the view's centre
    std::array<float, 3> color = {1, 1, 1};
    float size = 1;  // half width of its square
    unsigned texture = 0;
};

struct flare {
    std::array<float, 3> position = {0, 0, 0};  // a world point, or a direction
    bool directional = false;
    std::array<flare_element, max_flare_elements> elements{};
    int element_count = 0;
    // Kept by the renderer: the source on screen and how visible it is.
    float screen_x = 0, screen_y = 0;
    float visibility = 0;
};

enum sky_picture { sky_n, sky_e, sky_s, sky_w, sky_u, sky_env, sky_picture_count };

struct lighting_record {
    std::array<float, 3> sun_vector = {0.57735026f, 0.57735026f, 0.57735026f};  // unit length
    std::array<float, 3> sun_color = {1, 1, 1};
    std::array<float, 3> ambient = {0.5f, 0.5f, 0.5f};
    std::array<float, 3> global_ambient = {0.2f, 0.2f, 0.2f};
    float near_plane = 0.25f;
    float far_plane = 5000;
    bool dynamic_lighting = false;
    std::array<unsigned, sky_picture_count> sky{};  // texture ids, 0: none
    // The colour stays from one track to the next; the density does not.
    std::array<float, 4> fog_color = {1, 1, 1, 1};
    float fog_density = 0;  // 0: no fog; exponential fog otherwise
    std::vector<flare> flare_list;
};
extern lighting_record track_lighting;

constexpr float min_near_plane = 0.0009765625f;
constexpr float max_near_plane = 0.875f;
constexpr float max_far_plane = 1048576.0f;

// The defaults of program start, white fog colour included.
void reset_default_lighting();
// Defaults (the fog colour kept), then the file when it opens: its own
// progress step, the sky pictures it names and the defaults for the rest.
void load_lighting(const char* name);
// Back to the defaults (fog colour kept) without sky pictures or flares.
void free_lighting();
// The sun and ambient light as the ground shading reads them.
const terrain_lighting_values& lighting_for_terrain();

// What a "lighting" file says, by name, for its writer; empty names and
// absent values are left out of the file.
struct lighting_file {
    std::array<float, 3> sun_vector = {1, 1, 1};
    std::array<float, 3> sun_color = {1, 1, 1};
    std::array<float, 3> ambient = {0.5f, 0.5f, 0.5f};
    std::array<float, 3> global_ambient = {0.2f, 0.2f, 0.2f};
    float near_plane = 0.25f, far_plane = 5000;
    bool dynamic_lighting = false;
    std::array<std::string, sky_picture_count> sky;
    std::array<float, 3> fog_color = {1, 1, 1};
    float fog_density = 0;  // 0: no "fog" line
    struct element {
        float a = 0, b = 0;
        std::array<float, 3> color = {1, 1, 1};
        float size = 1;
        std::string texture;
    };
    struct flare_entry {
        std::vector<element> elements;
        std::array<float, 3> position = {0, 0, 0};
        bool directional = false;
    };
    std::vector<flare_entry> flares;
};
std::string encode_lighting(const lighting_file& f);
