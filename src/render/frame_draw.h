// One frame of the world: sky, terrain, bikes, statues, billboards, fading
// ghosts and lens flares, in a fixed order with fixed GL state, and the
// camera each view looks from.
#pragma once

#include <array>

#include "render/frame_order.h"

// Camera position (feet) and orientation, row-major; its columns are the
// camera's right, up and backward axes in world space.
struct frame_camera {
    std::array<double, 3> position{};
    std::array<double, 9> orientation = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double fov = 0;  // 0: the "Field Of View" setting
};

// What the frame drawing asks of the parts above it about a slot: whether it
// is replayed (a demo or ghost rider) and whether the rider visibility test
// hides it. Left null, no slot is either; the frame drawing tests hide one.
struct frame_slot_driver {
    bool (*replayed)(int slot) = nullptr;
    bool (*hidden)(int slot) = nullptr;
};
extern frame_slot_driver frame_slots;

// The per-frame counters the render statistics show.
struct frame_counters {
    int texture_binds = 0;
    int shader_changes = 0;
    int billboards = 0;
    int ground_polygons = 0;
    int model_polygons = 0;
};
const frame_counters& last_frame_counters();
// The processor time (this thread's) each labelled step of the last frame
// took, in drawing order; the last entry is everything after the ghosts.
constexpr int frame_label_count = 8;
struct frame_label_time {
    const char* label = "";
    double seconds = 0;
};
const std::array<frame_label_time, frame_label_count>& last_frame_times();
// The frustum set by the last projection (the menus and flares reuse it).
const frustum_extents& frame_frustum();

// Viewport and perspective for the window and field of view (degrees),
// with the track's near and far planes.
void set_projection(int width, int height, double fov);
// What a frame shows of the race: its clock (for animated textures), the
// local human rider's slot (-1: none; ghosts fade by their distance to its
// bike) and whether the race is online (ghosts do not fade then).
struct frame_race {
    int tic = 0;
    int local_slot = -1;
    bool online = false;
    std::array<double, 3> camera_velocity{};  // ft/s, for the listener
};

// The camera the last frame was drawn from, with the velocity the frame loop
// gave it: where the sounds are heard from.
struct sound_listener {
    std::array<double, 3> position{};
    std::array<double, 9> orientation = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // as frame_camera's
    std::array<double, 3> velocity{};
};
const sound_listener& listener();
// draw_frame sets it; tests and views drawn without it may too.
void set_listener(const frame_camera& camera, const std::array<double, 3>& velocity);
// Draws the world from the camera; `first_person_slot` is the slot whose
// rider the camera sits in, or -1.
void draw_frame(const frame_camera& camera, int first_person_slot, const frame_race& race = frame_race{});

// Cameras: looking from `eye` at `target`; a free or track camera's yaw and
// pitch; the first-person eye of a slot's rider (false without a bike).
frame_camera look_at_camera(const std::array<double, 3>& eye, const std::array<double, 3>& target);
frame_camera yaw_pitch_camera(const std::array<double, 3>& position, double yaw, double pitch);
bool first_person_camera(int slot, frame_camera& out);
