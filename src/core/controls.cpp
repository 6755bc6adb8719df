#include "core/controls.h"

#include <algorithm>
#include <cmath>

#include "core/config.h"

namespace {

struct control_binding {
    binding_index binding;
    control_index control;
    double scale;
};
constexpr control_binding control_bindings[] = {
    {left_binding, steer_control, 1},          {right_binding, steer_control, -1},
    {throttle_binding, throttle_control, 1},   {front_brake_binding, front_brake_control, 1},
    {rear_brake_binding, rear_brake_control, 1}, {upshift_binding, shift_control, 1},
    {downshift_binding, shift_control, -1},    {clutch_binding, clutch_control, 1},
    {dab_binding, dab_control, 1},             {back_up_binding, back_up_control, 1},
    {lean_forward_binding, lean_control, -1},  {lean_backward_binding, lean_control, 1},
};

}  // namespace

void apply_binding_key(int code, bool pressed) {
    if (code < 0) return;
    for (binding_setting& b : bindings)
        if (b.key_code == code) b.value = pressed ? 1 : 0;
}

double binding_axis_value(int raw, float low, float high) {
    // An empty range has no direction to map along.
    if (!(high != low)) return 0;
    double v = ((double)raw / 32768.0 - (double)low) / ((double)high - (double)low);
    if (!std::isfinite(v)) return 0;
    return std::clamp(v, 0.0, 1.0);
}

control_values sum_control_bindings() {
    control_values c{};
    for (const control_binding& cb : control_bindings)
        c[(size_t)cb.control] += bindings[(size_t)cb.binding].value * cb.scale;
    return c;
}
