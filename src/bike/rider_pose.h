// The drawn rider: where the feet go (pegs, ground while dabbing, the foot
// particles after a crash), the elbows and knees by two-bone inverse
// kinematics between shoulders and grips and between hips and feet, the
// nine bone frames that pose the skinned body, and where the head looks.
//
// Everything here is recomputed from the bodies for every draw; nothing is
// kept. The simulation reads drawn_foot_placement too (a crash starts the
// foot particles from it).
#pragma once

#include <array>

#include "bike/bike.h"
#include "bike/body_math.h"

// Bones of the skinned rider, in the order of rider_bone_centres.
enum rider_bone {
    bone_left_forearm,
    bone_right_forearm,
    bone_left_upper_arm,
    bone_right_upper_arm,
    bone_left_shin,
    bone_right_shin,
    bone_left_thigh,
    bone_right_thigh,
    bone_torso,
};

// One bone now: its joint position t (world) and the world directions b0,
// b1, b2 that its rest-pose x, y and z axes take. A rest vertex v of the bone
// goes to b0 (v - c).x + b1 (v - c).y + b2 (v - c).z + t, c its rest centre.
struct bone_frame {
    dvec3 t;
    dvec3 b0{1, 0, 0}, b1{0, 1, 0}, b2{0, 0, 1};
};

struct rider_pose {
    std::array<bone_frame, rider_bone_count> bones;
};

enum foot_side { foot_left_side, foot_right_side };

// Feet, left then right (world), each with its ground weight: 0 on the
// peg, 1 fully on the ground or on its particle.
struct drawn_feet {
    std::array<dvec3, 2> position;
    std::array<double, 2> weight{};
};

// The head model's placement: position and its x, y, z axes (world).
struct head_placement {
    dvec3 position;
    dvec3 x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
};

// A body as the pose needs it: where it is, its axes (the columns of its
// rotation) and its velocity.
struct pose_body {
    dvec3 position;
    dvec3 axis[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    dvec3 velocity;
    // A point given in the body's own frame, in world coordinates.
    dvec3 point(dvec3 p) const { return position + axis[0] * p.x + axis[1] * p.y + axis[2] * p.z; }
    dvec3 point(const float* p) const { return point(dvec3{p[0], p[1], p[2]}); }
    dvec3 vector(dvec3 v) const { return axis[0] * v.x + axis[1] * v.y + axis[2] * v.z; }
};

// Everything of one bike the pose reads. Filled from a bike by
// pose_input_of; tests and the drawing (which turns the rider's body for
// head clearance) may build or change one themselves.
struct pose_input {
    const rider_geometry* geometry = nullptr;
    pose_body frame, fork_upper, rider;
    double lean = 0;  // the frame's lean angle, positive leaning left
    double dab_blend = 0;
    double throttle = 0;
    int crash_countdown = 0;  // 0 while the rider is on the bike
    std::array<dvec3, 2> foot_particle;
    // Ground height under a point (world x, z).
    float (*ground)(float x, float z) = nullptr;  // null: the loaded height field
};

pose_input pose_input_of(const bike_state& bike);

// The middle joint of a limb from root a toward target t with the given
// lengths, bent toward the hint point q. The reach is held to 95 % of the
// limb's length. Degenerate limbs stay finite: a target at the root folds
// the limb toward the hint, a target nearer than the lengths allow keeps the
// first bone's length, a hint on the limb's line bends it in some fixed
// perpendicular direction.
dvec3 two_bone_joint(dvec3 a, dvec3 t, double l1, double l2, dvec3 q);

drawn_feet drawn_foot_placement(const pose_input& in);
drawn_feet drawn_foot_placement(const bike_state& bike);

// Bones 0-3 (forearms, upper arms), 4-7 (shins, thighs) and 8 (torso).
void arm_pose(const pose_input& in, rider_pose& pose);
void leg_pose(const pose_input& in, const drawn_feet& feet, rider_pose& pose);
void torso_pose(const pose_input& in, rider_pose& pose);
head_placement head_pose(const pose_input& in);

// All nine bones from the input and its drawn feet.
rider_pose full_rider_pose(const pose_input& in);
rider_pose full_rider_pose(const bike_state& bike);
head_placement head_pose(const bike_state& bike);

// The turn of the rider's body that keeps the head clear of the bar: when
// the bar's middle comes within 1.25 ft of the shoulders' middle, the body
// tilts back about its own x axis through the left hip point (which stays
// in place) by atan(0.375 k), k = min(1.25 - distance, 1). Returns the
// angle (0 when clear) and turns in.rider accordingly.
double apply_head_clearance(pose_input& in);

// The pose as the skinning wants it: per bone the rest centre, the
// translation t and the row-major rotation whose columns are b0, b1, b2.
struct skin_arrays {
    float centres[rider_bone_count * 3];
    float translations[rider_bone_count * 3];
    float rotations[rider_bone_count * 9];
};
skin_arrays skin_arrays_of(const rider_pose& pose, const rider_geometry& geometry);
