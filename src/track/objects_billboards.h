// Billboards: flat pictures standing on the ground that always turn to face
// the viewer (trees, crowds, marshals, the roost particles), their "billboards"
// file and its writer.
//
// The list holds, in this order, the roost particle pool, the marshals of the
// "flaggers" file and then the billboards of the "billboards" file, from
// first_track_billboard() on; only those are saved.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int roost_particle_count = 2000;

struct billboard {
    float x = 0, y = 0, z = 0;  // the middle of the picture's bottom edge
    float size = 0;             // height; the top edge is at y + size
    float y_offset = 0;         // above the ground, as the file gave it
    float aspect = 0;           // width / height
    int depth_key = 0;          // the renderer's sort key of this frame
    unsigned texture = 0;       // 0: not drawn
    std::array<uint8_t, 4> tint = {255, 255, 255, 255};
    std::string texture_name;   // as its texture spec named it; what is saved
};

// A billboard's texture spec: "#rrggbb#name" tints the texture `name`;
// anything else is the texture name itself, untinted.
struct texture_spec {
    std::string name;
    std::array<uint8_t, 4> tint = {255, 255, 255, 255};
};
texture_spec parse_texture_spec(const std::string& text);

std::vector<billboard>& track_billboards();
// Index of the first billboard of the "billboards" file (the count of
// billboards before it while none is loaded).
int first_track_billboard();
// The billboards made so far are not the track file's: the next ones are.
void mark_first_track_billboard();

// Seats a billboard on the ground (y = ground height + y_offset) with the
// texture of `spec` (none when null or empty) and appends it. Returns its
// index, or -1 for a position or size that is not a finite number.
int add_billboard(float x, float y_offset, float z, float size, float aspect, const char* spec);
// Moves a billboard to (x, z) at y_offset above the ground.
void reseat_billboard(billboard& b);
// The 2000 roost particles, hidden (no texture) until the roost uses them.
void create_particle_pool();
// Reads a "billboards" file: records "[ x y_offset z ] size aspect spec"
// until one does not convert. A missing file adds nothing.
void load_billboards(const char* name);
void free_billboards();

// The file's text for billboards [first, end) that name a texture.
std::string encode_billboards(const std::vector<billboard>& list, size_t first);
// Writes the track file's billboards into the current track directory
// (atomically). False, with "Can't open 'billboards'", when it cannot.
bool save_billboards();
