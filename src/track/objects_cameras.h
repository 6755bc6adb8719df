// Track cameras: fixed TV cameras read from the "cameras" file, the gates at
// which each takes over the free view, how a camera (track or free) turns
// after the viewed rider, and the file's writer.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/controls.h"

// A free-flying or track camera: position, aim and their rates (radians,
// radians per second), field of view in degrees, automatic fov size (0 off).
struct track_camera {
    std::array<double, 3> position{};
    double yaw = 0, pitch = 0;
    double yaw_rate = 0, pitch_rate = 0;
    double fov = 90;
    double autofovsize = 0;
};

std::vector<track_camera>& track_cameras();
// The free camera of the free view: the view's own when no track camera is
// chosen. It outlives the tracks; a race reset puts it above the viewed bike.
track_camera& free_flight_camera();
// Per gate number: the camera that takes over when the viewed rider heads
// for that gate; -1 for none.
const std::array<int, 256>& gate_cameras();

// Reads a "cameras" file: "addcamera x y z" (y above the ground), "fov" and
// "autofovsize" for the next camera, and "gate n ..." lines naming the gates
// of the next camera. A missing file leaves no cameras.
void load_cameras(const char* name);
void free_cameras();

// The track switches cameras by the riders' progress (it has a lap).
bool has_camera_switches();
// The camera asked for by the gate the slot's rider heads for; -1 for none.
int camera_for_rider(int slot);

// One tic of a camera's aim. With `auto_camera` and a target (the viewed
// rider's frame position and velocity) it turns after the rider with a lead
// on its motion, and zooms when it has an autofovsize; otherwise the steer
// and shift controls turn it. Its turning rate changes by at most pi rad/s
// per second; `snap` jumps straight onto the target.
void aim_camera(track_camera& c, const std::array<double, 3>* target, const std::array<double, 3>& velocity,
                const control_values& controls, bool snap, bool auto_camera);

// The chosen track camera, or the free camera when none (or none this track
// has) is chosen: the camera a free view looks from.
track_camera& chosen_camera(int chosen, track_camera& free_camera);
// One tic of the chosen camera's aim (aim_camera) after the target, when
// there is one: the viewed bike's frame position and velocity.
void aim_chosen_camera(int chosen, track_camera& free_camera, const std::array<double, 3>* target,
                       const std::array<double, 3>& velocity, const control_values& controls, bool snap,
                       bool auto_camera);

// One camera of a "cameras" file, for its writer.
struct camera_placement {
    float x = 0, y = 0, z = 0;  // y above the ground
    float fov = 90;
    float autofovsize = 0;
    std::vector<int> gates;  // gates at which it takes over
};
std::string encode_cameras(const std::vector<camera_placement>& cameras);
