// The press and hold halves of the tools of modes 9 … 15, which
// editor_pick.cpp hands the apply button to.
#pragma once

#include "editor/editor.h"

void gradient_placement_press(editor_point p);
void gradient_placement_hold(editor_point p);
void gradient_edit_press(editor_point p);
void gradient_edit_hold(editor_point p);
void timing_gate_press(editor_point p);
void timing_gate_hold(editor_point p);
void billboard_press(editor_point p);
void billboard_hold(editor_point p);
void statue_press(editor_point p);
void statue_hold(editor_point p);
void decal_press(editor_point p);
void decal_hold(editor_point p);
bool scale_picked_decal(float factor);
// The selected gradient, or null.
gradient* selected_gradient_record();
