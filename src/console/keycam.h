// The key-frame camera: key frames recorded from the free camera, played
// back along a Hermite spline while keycam mode is on, and saved as text
// lines under "@keycam/".
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

struct frame_camera;

struct key_frame {
    std::array<float, 3> position{};
    std::array<float, 4> rotation{0, 0, 0, 1};  // x, y, z, w (w the scalar part)
    float fov = 90;                             // degrees
    int tic = 0;
};

// The list, sorted by tic.
std::vector<key_frame>& key_frames();
extern bool keycam_mode;

// The rotation by yaw about y composed with the rotation by pitch about x.
std::array<float, 4> yaw_pitch_quaternion(double yaw, double pitch);
// Inserts before the first key frame with a later tic.
void insert_key_frame(const key_frame& k);
// "deletekey": all of them when fewer than two, else the one nearer the tic.
void delete_key_frame(int tic);
// The camera at a tic: the spline through the key frames, clamped to the
// first and last; false when there are none.
bool key_frame_at(int tic, key_frame& out);
// The keycam view for the frame drawing: false unless keycam mode is on and
// a key frame exists. The orientation follows the free camera's (yaw 0 looks
// along +z), so a key frame shows what the free camera showed when added.
bool keycam_camera(int tic, frame_camera& out);

// The file's text: one "%f %f %f %f %f %f %f %f %d" line per key frame.
// Reading appends the frames of the good lines before the first bad one
// (fewer than nine values, or a value that is not finite) and returns
// whether every line was good.
bool parse_key_frames(const char* text, size_t length, std::vector<key_frame>& out);
std::string format_key_frames(const std::vector<key_frame>& frames);
