// Textures by file name: decoded once, reduced to the configured detail and
// to a power-of-two size, uploaded once and shared by id. Also images kept
// in memory for software use, animated ".seq" textures, textures that
// scripts compose, LINK aliases, and release by load generation.
//
// Where the pixels go is a small driver table: the GL driver uploads into
// the current context; the recording driver (the default) only hands out ids
// and remembers what would have been uploaded, so that headless code and
// tests load textures exactly as the game does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "render/image_io.h"

// One upload of a whole mip chain.
struct texture_upload {
    const uint8_t* pixels = nullptr;  // level 0, then each level in turn
    int width = 0, height = 0, channels = 0;
    int levels = 0;
    bool repeat_s = false, repeat_t = false;
    bool compress = false;  // compression asked for and allowed by the driver
};

struct texture_driver {
    const char* name;
    unsigned (*create)();
    // Uploads every level; returns the texture memory used.
    size_t (*upload)(unsigned id, const texture_upload& u);
    // Replaces every level of an uploaded texture of the same size.
    void (*update)(unsigned id, const texture_upload& u);
    void (*destroy)(unsigned id);
};

extern const texture_driver gl_texture_driver;
extern const texture_driver recording_texture_driver;

// What the recording driver remembers of a texture id.
struct recorded_texture {
    unsigned id = 0;
    int width = 0, height = 0, channels = 0, levels = 0;
    bool repeat_s = false, repeat_t = false, compress = false;
    int uploads = 0, updates = 0;
    std::vector<uint8_t> level0;  // the last pixels given for level 0
    bool deleted = false;
};
// The record of an id handed out by the recording driver, or null.
const recorded_texture* recorded_texture_of(unsigned id);

struct texture_record {
    unsigned id = 0;
    int generation = 0;
    size_t bytes = 0;
    std::string info_text;
    std::string name;  // as requested, without a leading "!"
    int width = 0, height = 0, channels = 0;
    bool repeat_s = false, repeat_t = false, compressed = false;
};

// Pixels with their mip chain, for code that reads them itself.
struct image_record {
    pixel_buffer image;  // always 4 channels (RGBA) with the mip chain
    int generation = 0;
    std::string name;
};

// ---- life cycle --------------------------------------------------------------
// Empties every list and chooses the driver (null: the recording driver).
void textures_init(const texture_driver* driver = nullptr);
const texture_driver& texture_output();
// Frees every texture, image, animation and alias (shutdown).
void textures_free();

// A new generation starts with each track load; textures first loaded or
// asked for in it belong to it. Generation 0 is everything loaded before the
// first track, and is never released.
extern int texture_generation;
void texture_new_generation();
// Frees textures and images of generations other than 0 and the current one,
// then every animation whose texture is gone.
void textures_release();
// Texture memory of everything uploaded so far.
size_t texture_memory_used();

// ---- loading -----------------------------------------------------------------
// The texture id for a file name, loading it on first use; 0 when the file is
// missing or unreadable. A leading "!" skips the detail reduction.
unsigned texture_load(const char* name);
// The record of a loaded texture, by id or by exact name; null when none.
const texture_record* texture_of(unsigned id);
const texture_record* texture_named(const char* name);
int texture_count();
// The pixels of a file for software use (RGBA, with mip chain), reduced by
// `reduction` levels and to at most `pixel_limit` pixels but never below
// 16385 pixels; cached by name like textures. Null when unreadable.
const image_record* image_load(const char* name, int reduction, size_t pixel_limit);
int image_count();

// Normal ("_norm") or specular ("_spec") companion of a texture, tried on the
// texture's name and then on the model file's name (may be null); 0 when
// shader programs are off or none loads.
unsigned texture_companion(const char* texture_name, const char* model_name, const char* kind);

// ---- animations ----------------------------------------------------------------
// Moves every animation that is not being composed to its step at `tic`.
void animation_tick(int tic);
// Restarts the animation of a texture id at `tic`; false when it has none.
bool animation_restart(unsigned id, int tic);
// The frame shown now, and the number of frames (-1 / 0 when not animated).
int animation_frame(unsigned id);
int animation_frame_count(unsigned id);
int animation_count();

// Composing a texture from its animation frames (track scripts). Positions
// and sizes are fractions of the texture's width and height.
bool begin_custom_frame(unsigned id);
bool paste_custom_frame(unsigned id, int frame, double dx, double dy, double sx, double sy, double w, double h);
bool end_custom_frame(unsigned id);

// ---- pixel work shared with the loaders (exposed for tests) ----------------------
bool is_power_of_two(int n);
// The largest power of two strictly below n (1 for n <= 2).
int power_of_two_below(int n);
// Resamples to power_of_two_below on both sides when either side is not a
// power of two, and rebuilds the chain; false when nothing was done.
bool resample_power_of_two(pixel_buffer& img, bool max_alpha);
// Drops level 0, making level 1 the new level 0 (false at 1 x 1).
bool drop_top_level(pixel_buffer& img);
// Whether level 0 is, within 4 in every channel, level 1 upsampled
// bilinearly (3:1 weights, centres aligned).
bool top_level_redundant(const pixel_buffer& img);
// The texture reduction: `count` levels while both sides exceed 128, then
// redundant levels while either side exceeds 16. Returns the levels dropped
// by the redundancy test.
int reduce_texture_detail(pixel_buffer& img, int count);
