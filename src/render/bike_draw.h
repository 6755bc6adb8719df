// Drawing one bike and its rider: which model follows which body in each
// view mode, the skinned rider posed from the bodies, the head, the number
// plates, and the GL state of the lit and the additive passes.
//
// A bike's drawing data (its models, textures and number plate texture) is
// kept here, in a table by slot, so the simulation never needs it: it is
// made on the first draw (or by attach_bike_drawing), made again when the
// bike in the slot changes model, number or graphics, and let go when the
// slot empties or the model and texture caches release its generation.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/rider_pose.h"

struct model;
struct texture_driver;

// View modes the frame drawing asks for.
enum bike_view_mode {
    view_outside = 0,             // any bike seen from outside
    view_first_person_bike = 1,   // the viewed bike, first person, no rider body
    view_first_person_rider = 2,  // the viewed bike, first person, with the first-person body
};

enum bike_part {
    part_frame,
    part_fork_upper,
    part_fork_lower,
    part_swingarm,
    part_front_wheel,
    part_rear_wheel,
    part_rider_body,
    part_rider_body_fp,
    part_rider_head,
    part_side_plates,
    part_front_plate,
    part_rider_plate,
    bike_part_count
};

// ---- what is drawn where (no GL) ------------------------------------------------
struct part_draw {
    bool lit = false;       // drawn in the lit pass
    bool additive = false;  // drawn again in the additive pass when it has reflective meshes
    bool skinned = false;   // posed by the rider's bones instead of a placement
    // Column-major model matrix of a rigid part: its body's rotation and
    // position (the head's: its look axes and the head point).
    float placement[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

struct bike_draw_plan {
    std::array<part_draw, bike_part_count> parts;
    rider_pose pose;
    head_placement head;
    skin_arrays skin;
    double head_clearance = 0;  // the rider body's tilt for this draw (radians)
};

// The parts of a bike in a view mode. `has_first_person_body`: whether the
// bike's first-person body model exists (mode 2 falls back to the full body).
bike_draw_plan plan_bike_draw(const bike_state& bike, int view_mode, bool has_first_person_body);

// ---- number plates --------------------------------------------------------------------
constexpr int number_plate_size = 128;

struct number_plate_colours {
    uint8_t background[3] = {255, 255, 255};
    uint8_t foreground[3] = {0, 0, 0};
};
// The "[numberbackground:r,g,b" and "[numberforeground:r,g,b" tags of a bike
// texture's information text (each value 0..1); without them black digits
// on white.
number_plate_colours number_plate_colours_of(const std::string& info_text);

// Paints the number onto a plate whose rgb pixels (size x size x 3, rows
// top first) already hold the background colour. The painter is the on-screen
// text's, above this folder: the game sets it once the fonts are loaded;
// until then plates are drawn blank in their background colour.
using number_plate_painter = void (*)(const char* number, const number_plate_colours& colours, uint8_t* rgb, int size);
// Every call (even with the painter already installed, say once its fonts
// have loaded) has the plates already made painted again on their next use.
void set_number_plate_painter(number_plate_painter painter);
number_plate_painter current_number_plate_painter();
// The plate's level-0 pixels as they are uploaded.
std::vector<uint8_t> number_plate_pixels(const char* number, const number_plate_colours& colours);

// ---- the drawing data of each slot -------------------------------------------------------
struct bike_part_art {
    model* shape = nullptr;  // the drawn model (null when its file is missing)
    std::string model_name;
    unsigned texture = 0;
    unsigned normal_map = 0, specular_map = 0;  // companions, with shader programs only
};

struct bike_drawing {
    // What the data was made from; a bike that differs gets it made again.
    int model_index = -1;
    std::string number;
    std::array<std::string, 4> custom_textures;  // bike, wheels, rider body, rider head
    int model_generation = -1, texture_generation = -1;

    std::array<bike_part_art, bike_part_count> parts;
    std::array<std::string, 4> texture_names;  // the names used, after the fallbacks
    number_plate_colours plate_colours;
    unsigned plate_texture = 0;
    const texture_driver* plate_driver = nullptr;
    unsigned plate_painting = 0;  // the painter installation it was painted under
};

// Makes (or refreshes) the drawing data of the bike's slot; loads models and
// textures, so it is best called while loading.
const bike_drawing* attach_bike_drawing(const bike_state& bike);
const bike_drawing* bike_drawing_of(int slot);
void detach_bike_drawing(int slot);
// Lets go of the data of empty slots and of data whose models or textures
// belong to a generation that is no longer current. Call after the model
// and texture caches have been released; the first use of any bike's data
// in a new generation does it too.
void release_bike_drawings();
// Everything (before the model and texture caches are freed).
void free_bike_drawings();

// ---- drawing ----------------------------------------------------------------------------
struct bike_draw_options {
    float opacity = 1;                 // below 1: a fading ghost
    unsigned environment_texture = 0;  // the track's environment map; 0: no additive pass
    bool camera_known = false;         // with the camera, coarser models are chosen by distance
    double camera[3] = {0, 0, 0};
};

// Draws the bike and rider with light 0 and the camera already set up.
// Leaves the GL state (and the shader program) as it found them.
void draw_bike(const bike_state& bike, int view_mode, const bike_draw_options& options = {});
