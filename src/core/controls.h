// The nine control values of one tic, as the control bindings of the
// configuration produce them and the frame loop hands them to the local bike
// or the camera.
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

// Every binding whose key code is `code` takes 1 on a press and 0 on a release.
void apply_binding_key(int code, bool pressed);
// An axis reading mapped through a binding's range: clamp((raw / 32768 −
// low) / (high − low), 0, 1); 0 for an empty range.
double binding_axis_value(int raw, float low, float high);
// The nine control values of the twelve control bindings' current values:
// steer is Left − Right, shift Upshift − Downshift, lean Lean Backward −
// Lean Forward.
control_values sum_control_bindings();
