// The control bindings' values: keys, axes and the nine controls of a tic.
#include <gtest/gtest.h>

#include <cmath>

#include "core/config.h"
#include "core/controls.h"

namespace {

TEST(binding_values, KeysAxesAndTheNineControls) {
    config_defaults();
    for (binding_setting& b : bindings) b.value = 0;
    bindings[left_binding].key_code = 0x114b;
    bindings[right_binding].key_code = 0x114d;
    bindings[lean_forward_binding].key_code = 0x1031;
    apply_binding_key(0x114b, true);
    apply_binding_key(0x114d, true);
    apply_binding_key(0x1031, true);
    control_values c = sum_control_bindings();
    EXPECT_EQ(c[steer_control], 0);
    EXPECT_EQ(c[lean_control], -1);
    apply_binding_key(0x114b, false);
    c = sum_control_bindings();
    EXPECT_EQ(c[steer_control], -1);

    // Axis readings map the range onto 0..1, reversed ranges included.
    EXPECT_DOUBLE_EQ(binding_axis_value(16384, 0, 1), 0.5);
    EXPECT_DOUBLE_EQ(binding_axis_value(-32768, 0, 1), 0);
    EXPECT_DOUBLE_EQ(binding_axis_value((int)(0.1 * 32768), 0.9f, 0.1f), 1);
    EXPECT_DOUBLE_EQ(binding_axis_value(-1000, 0.9f, 0.1f), 1);
    EXPECT_DOUBLE_EQ(binding_axis_value((int)std::ceil(0.9 * 32768), 0.9f, 0.1f), 0);
    // An empty range gives 0 instead of dividing by zero.
    EXPECT_EQ(binding_axis_value(20000, 0.5f, 0.5f), 0);
    EXPECT_EQ(binding_axis_value(20000, NAN, 0.5f), 0);
}

}  // namespace
