// The built-in bike model table: one read-only entry per model with the
// geometry, masses, suspension constants, gearing, engine curves and file
// names every bike of that model is built from.
//
// Units throughout: feet, slugs, seconds, radians, pounds-force (torques in
// lbf·ft, engine speeds in rad/s except where a field says rpm). Coordinates
// are the bike's own frame at rest on level ground y = 0: x to the rider's
// right, y up, z toward the rear wheel.
#pragma once

#include <array>

#include "core/bike_names.h"

constexpr int bike_gear_count = 6;
constexpr int torque_points = 50;  // 0, 500, 1000 ... 24500 rpm
constexpr int model_file_count = 23;
constexpr int model_file_length = 64;
constexpr int rider_bone_count = 9;

struct wheel_info {
    float center[3];            // axle at rest
    float tire_ring_radius;     // axle to the centre of the tire's cross-section
    float tire_section_radius;  // radius of the cross-section
    float rim_mass;             // tire and rim, spread over 16 spheres on the ring
    float hub_radius;
    float hub_mass;
};

// Rows of model_files, in order.
enum model_file_role {
    file_frame_model,
    file_frame_shape,
    file_bike_texture,
    file_fork_upper_model,
    file_fork_upper_shape,
    file_fork_lower_model,
    file_fork_lower_shape,
    file_swingarm_model,
    file_swingarm_shape,
    file_front_wheel_model,
    file_front_wheel_shape,
    file_rear_wheel_model,
    file_rear_wheel_shape,
    file_wheel_texture,
    file_rider_head_model,
    file_rider_head_texture,
    file_rider_body_model,
    file_rider_body_fp_model,
    file_rider_shape,
    file_rider_body_texture,
    file_side_plates_model,
    file_front_plate_model,
    file_rider_plate_model,
};

// Pose points and limb lengths of the drawn rider and the crash tethers.
// Pairs are left then right (left has the negative x).
struct rider_geometry {
    float head_point[3];      // in the rider upper body's frame
    float shoulder_left[3];   // rider upper body
    float shoulder_right[3];
    float hip_left[3];        // rider upper body
    float hip_right[3];
    float grip_left[3];       // upper fork
    float grip_right[3];
    float footpeg_left[3];    // frame
    float footpeg_right[3];
    float upper_arm_length;
    float forearm_length;
    float thigh_length;
    float shin_length;
    // Rest-pose joint positions of the skinned rider's nine bones: elbows,
    // shoulders, knees, hips (left, right each) and the pelvis.
    float rider_bone_centres[rider_bone_count][3];
};

struct bike_info {
    char name[16];          // lookup key, NUL-padded
    char engine_class[16];  // "50", "125", "250", "250f" or "450f"
    wheel_info front_wheel;
    wheel_info rear_wheel;
    float frame_position[3];  // centre of mass of the frame body
    float frame_mass;         // without the rider
    float frame_size[3];      // inertia box; x also spaces and sizes the swingarm arms
    float fork_upper_position[3];
    float swingarm_position[3];
    float swingarm_pivot[3];
    float fork_lower_position[3];
    float fork_leg_spacing;
    float fork_leg_span;
    float fork_mass;  // of each fork body, upper and lower
    float fork_spring_soft, fork_spring_stiff;  // lbf/ft
    float fork_preload_min, fork_preload_max;
    float fork_air_gap_max, fork_air_gap_min;  // at the lowest and highest oil level
    float fork_hs_compression, fork_ls_compression, fork_hs_rebound, fork_ls_rebound;
    float fork_travel;
    float swingarm_arm_mass;  // each of the two arms
    float shock_spring_soft, shock_spring_stiff;
    float shock_preload_min, shock_preload_max;
    float shock_hs_compression, shock_ls_compression, shock_hs_rebound, shock_ls_rebound;
    float linkage_mid_stroke, linkage_full_stroke;
    float swingarm_travel;  // rad, fully extended to fully compressed
    float linkage_break;    // fraction of swingarm travel
    float linkage_slope_start, linkage_slope_break, linkage_slope_end;
    float primary_ratio;
    float countershaft_teeth;
    float rear_sprocket_teeth;
    float gear_ratios[bike_gear_count];  // -1 marks a gear the model does not have
    float engine_inertia;                // slug·ft², at the crank
    float drive_stiffness;               // lbf·ft/rad
    float drive_damping;                 // lbf·ft·s/rad
    float torque_closed[torque_points];  // lbf·ft at 0, 500, 1000 ... rpm
    float torque_open[torque_points];
    float shift_down_rpm;
    float shift_up_rpm;
    float rider_slide_axis[3];
    float rider_position[3];  // the rider's upper-body mass
    float rider_slide_min, rider_slide_max;
    float rider_mass;
    char model_files[model_file_count][model_file_length];
    rider_geometry rider;
};

// The table, in the order the models are offered; entry i is named
// bike_model_names[i].
extern const std::array<bike_info, bike_model_count> bike_info_table;

// Exact, case-sensitive lookup in table order; null when absent.
const bike_info* find_bike_info(const char* name);
// Index 0..79 of an entry of the table, or -1 for anything else.
int bike_info_index(const bike_info* info);
// find_bike_info, or the fallback model of the same size class with the
// message "bike info for '%.20s' not found using '%.20s' instead".
const bike_info& bike_info_for_load(const char* name);
// The texture prefix of a model's graphics variants ("<prefix><label>.png"):
// "@cr125.png" gives "cr125-". Null for a model outside the table.
const char* bike_texture_prefix(int model);

// gear_ratios[gear] > 0; gear 0 always exists.
bool gear_exists(const bike_info& info, int gear);
// The gear actually used for a request of gear g (0..5): g when it exists,
// otherwise the next lower gear that does.
int valid_gear(const bike_info& info, int gear);
// Rear over front sprocket teeth after the setup's adjustments, each side
// floored to a whole number of at least 3 teeth.
double final_drive_ratio(const bike_info& info, double countershaft_adjustment, double rear_adjustment);
// Crank turns per rear-wheel turn in the given gear.
double total_reduction(const bike_info& info, int gear, double final_drive);

// rad/s to rpm, and the torque tables' index per rpm.
constexpr double rpm_per_rad_per_s = 9.549296585513721;
constexpr double torque_index_per_rpm = 0.002;
