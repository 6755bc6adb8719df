// The drawn rider's pose on a bike standing at rest: the bone frames of the
// skinned body and the head's place, as the bike drawing computes them for
// bodies in their rest positions.
#pragma once

#include "bike/bike_info.h"

struct shot_pose {
    float centres[rider_bone_count * 3];
    float translations[rider_bone_count * 3];
    float rotations[rider_bone_count * 9];  // row-major: columns are the bone's axes
    float head_position[3];
    float head_axes[9];  // row-major: columns x, y, z
};

shot_pose rest_pose(const bike_info& b);
