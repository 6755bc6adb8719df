// The pictures and models of Rabbit Hill's scenery, all drawn here: trees,
// bushes, the crowd and banners, the marshals with their flags and boards,
// the sky box with its environment picture, the lens flare pieces, and the
// hay bales, plastic barrier blocks and camera towers with their shapes.
#pragma once

#include <cstdint>
#include <string>

#include "datagen/picture.h"
#include "render/shape_file.h"

namespace scenery_art {

picture pine_tree(uint32_t seed);       // 128 x 256
picture broadleaf_tree(uint32_t seed);  // 128 x 256
picture bush(uint32_t seed);            // 128 x 64
picture crowd(uint32_t seed);           // 256 x 64, two rows of people
// Whether the banners' and boards' font has every letter of `text`
// (blanks aside); one it lacks would be left out.
bool can_letter(const char* text);
// 256 x 32: the track's own (variant 0, with its title) or the sponsor's (1).
picture banner(int variant, const char* title = "RABBIT HILL MX");

// The marshals, 64 x 128, feet on the bottom row, the picture 8 ft high.
enum marshal_picture {
    start_ready,       // green flag held up: the riders may get ready
    start_board_up,    // the "15" board coming up
    start_board_high,  // the "15" board held high
    start_walking,     // walking off, board under the arm
    start_aside,       // standing clear
    lap_normal,        // flag furled
    lap_halfway,       // "1/2" board
    lap_last,          // white flag
    lap_finished,      // chequered flag
    yellow_still,      // yellow flag furled
    yellow_waving,     // yellow flag waved overhead
};
picture marshal(marshal_picture which);

// The colours of a sky: its zenith and horizon, the far and the near
// hills, the ground below the horizon, and the cloud cover: the cloud noise
// (0 … 1) from which clouds begin and where they are whole.
struct sky_look {
    rgba zenith{70, 118, 196, 255}, horizon{196, 212, 226, 255};
    rgba far_hills{150, 168, 180, 255}, near_hills{86, 114, 82, 255}, ground{92, 112, 74, 255};
    double cloud_from = 0.5, cloud_full = 0.72;
};

// Sky box faces, looking -z (n), +x (e), +z (s), -x (w) and +y (u), each
// size x size with row 0 at the top (for u: towards -z) and the picture's
// right towards +x, +z, -x, -z for n, e, s, w, and +x for u. The sun stands
// in the direction sun (unit length).
picture sky_face(int face, int size, const double sun[3], const sky_look& look = {});
// The same sky as a sphere map (the view along -z reflected in a sphere).
picture sky_environment(int size, const double sun[3], const sky_look& look = {});

// Lens flare pieces, 64 x 64, white with the shape in alpha.
picture flare_glow();
picture flare_ring();
picture flare_disc();

// Models (".jm" text), their textures and collision shapes. Each stands on
// y = 0 with its length along x.
std::string haybale_model();
picture haybale_texture();
collision_shape haybale_shape();
std::string barrier_model();
picture barrier_texture(bool blue);
collision_shape barrier_shape();
// A scaffold tower with a TV camera on top, lens towards -z; not solid.
std::string camera_tower_model(double height);
picture camera_tower_texture();

}  // namespace scenery_art
