// What the generated bike, wheel and rider models and their textures agree
// on: where each material sits in a texture, and the colours of each bike
// family.
#pragma once

#include <string>
#include <vector>

#include "datagen/mesh_build.h"
#include "datagen/picture.h"

// ---- the bike texture (256 x 256) --------------------------------------------------
namespace bike_atlas {
constexpr int size = 256;
struct area {
    int x0, y0, x1, y1;
    uv_box uv() const { return pixel_box(x0, y0, x1, y1, size, size); }
};
constexpr area shroud{0, 0, 128, 64};        // main colour with the side graphic
constexpr area side_panel{128, 0, 256, 64};  // main colour, a second graphic
constexpr area plastic{0, 64, 64, 96};       // plain main colour
constexpr area secondary{64, 64, 128, 96};   // plain second colour
constexpr area fender_rear{128, 64, 192, 96};
constexpr area tank{192, 64, 256, 96};
constexpr area seat{0, 96, 128, 128};
constexpr area frame{128, 96, 192, 128};
constexpr area engine{192, 96, 256, 128};  // cylinder with fins
constexpr area cases{0, 128, 64, 160};
constexpr area pipe{64, 128, 128, 160};
constexpr area silencer{128, 128, 192, 160};
constexpr area rubber{192, 128, 224, 160};
constexpr area stanchion{224, 128, 256, 160};
constexpr area fork_lower{0, 160, 64, 192};
constexpr area spring{64, 160, 128, 192};
constexpr area radiator{128, 160, 192, 192};
constexpr area alloy{192, 160, 256, 192};
constexpr area dark{0, 192, 64, 224};
constexpr area accent{64, 192, 128, 224};
constexpr area chain{128, 192, 192, 224};
constexpr area guard{192, 192, 256, 224};  // fork guards, plastic main colour
}  // namespace bike_atlas

// ---- the wheel texture (128 x 128) ----------------------------------------------------
namespace wheel_atlas {
constexpr int size = 128;
constexpr int rubber[4] = {0, 0, 64, 64};
constexpr int knob[4] = {64, 0, 128, 32};
constexpr int rim[4] = {64, 32, 128, 64};
constexpr int spoke[4] = {0, 64, 32, 96};
constexpr int hub[4] = {32, 64, 64, 96};
constexpr int disc[4] = {64, 64, 128, 128};
constexpr int sprocket[4] = {0, 96, 64, 128};
inline uv_box uv(const int a[4]) { return pixel_box(a[0], a[1], a[2], a[3], size, size); }
}  // namespace wheel_atlas

// ---- the rider body texture (256 x 256) -------------------------------------------------
namespace rider_atlas {
constexpr int size = 256;
constexpr int torso[4] = {0, 0, 128, 128};     // around the body, jersey above, pants below
constexpr int sleeve[4] = {128, 0, 192, 64};   // shoulder to wrist, around
constexpr int glove[4] = {192, 0, 256, 64};
constexpr int thigh[4] = {128, 64, 192, 128};  // hip to knee
constexpr int shin[4] = {192, 64, 256, 128};   // knee to ankle: knee pad, pants, boot
constexpr int boot[4] = {0, 128, 64, 192};
constexpr int collar[4] = {64, 128, 128, 160};
constexpr int plate[4] = {128, 128, 256, 256};  // (the plate itself takes the number texture)
inline uv_box uv(const int a[4]) { return pixel_box(a[0], a[1], a[2], a[3], size, size); }
// Share of the torso region (from its top) that is jersey; the rest is pants.
constexpr double jersey_share = 0.62;
// Share of the shin region (from its top) above the boot.
constexpr double boot_top = 0.3;
}  // namespace rider_atlas

// ---- the helmet texture (128 x 128) ---------------------------------------------------
namespace head_atlas {
constexpr int size = 128;
constexpr int shell[4] = {0, 0, 128, 64};  // side projection of the shell
constexpr int peak[4] = {0, 64, 64, 96};
constexpr int lens[4] = {64, 64, 96, 96};
constexpr int strap[4] = {96, 64, 128, 96};
constexpr int chin[4] = {0, 96, 64, 128};
constexpr int vent[4] = {64, 96, 128, 128};
inline uv_box uv(const int a[4]) { return pixel_box(a[0], a[1], a[2], a[3], size, size); }
}  // namespace head_atlas

// ---- families ---------------------------------------------------------------------------
struct bike_scheme {
    rgba main, second, third;  // plastics: main, second (fenders, panels), accent
    rgba frame, seat, seat_band, spring, fork_lower, plate_back, plate_number;
    int pattern;  // which side graphic
};

struct bike_family {
    std::string prefix;  // "cr125", "crf250v2014"
    bool two_stroke;
    int displacement;  // 50, 125, 250, 350, 450
    int year;          // model year of the family's geometry (0 when none)
    bike_scheme scheme;
};

// Every family prefix of the bike model table, in table order, with its look.
std::vector<bike_family> bike_families();
// The look of a family's texture variants, by label.
bike_scheme scheme_variant(const bike_scheme& base, const std::string& label);
// Labels of the extra graphics every family gets.
const std::vector<std::string>& bike_variant_labels();
