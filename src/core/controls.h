// The nine control values of one tic, as the bindings produce them and the
// frame loop hands them to the local bike or the camera.
#pragma once

#include <array>

// In this order: steer (left positive), throttle, front brake, rear brake,
// shift (up positive), clutch, sit/dab, back up, lean (backward positive).
enum control_index {
    steer_control,
    throttle_control,
    front_brake_control,
    rear_brake_control,
    shift_control,
    clutch_control,
    dab_control,
    back_up_control,
    lean_control,
    control_count
};
using control_values = std::array<double, control_count>;
