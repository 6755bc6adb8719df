// Pieces the texture cache and the animations share.
#pragma once

#include <string>
#include <vector>

#include "render/texture.h"

struct vfs_file;

// Most pixels an animation frame keeps after reduction.
constexpr size_t seq_frame_pixel_limit = 65536;
// Bounds on what a ".seq" may ask for; more is refused as corrupt.
constexpr int seq_max_steps = 65536;
constexpr int seq_max_frames = 256;
constexpr size_t seq_max_total_pixels = (size_t)1 << 22;

struct animation_record {
    unsigned id = 0;  // texture id
    int steps = 0;
    int frames = 0;
    int current = 0;  // frame on the texture now
    int period = 1;   // tics per step
    bool loop = false;
    int start_tic = 0;
    bool custom = false;  // a script composes the texture
    std::vector<pixel_buffer> frame_images;  // each with its mip chain
    pixel_buffer custom_image;               // allocated on first use
    std::vector<int> sequence;               // frame of each step
};

// Reads a ".seq" body after its "ANIM1" token, reduces the frames (with
// `reduce` the model-texture detail too) and fills `out`; false with the
// message shown on any error.
bool read_animation(vfs_file* file, const char* name, bool reduce, animation_record& out);
// Takes over an animation whose texture has been uploaded.
void add_animation(animation_record&& a);
// Frees the animations whose texture id is no longer loaded.
void release_orphan_animations();
void free_animations();

// The texture driver in use.
const texture_driver& active_texture_driver();
// Whether a texture id is loaded right now.
bool texture_id_loaded(unsigned id);
// Builds a texture_upload for a whole buffer.
texture_upload upload_of(const pixel_buffer& img);
// The recording driver's memory, emptied by textures_init.
void reset_recorded_textures();
// Verbose log lines ("--debug").
bool texture_log_verbose();
