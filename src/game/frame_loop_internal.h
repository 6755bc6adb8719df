// Shared between the frame loop's files; not for other subsystems.
#pragma once

#include "game/frame_loop.h"

namespace frame_loop_detail {

bool connected();
bool track_loaded();
int slot_type(int slot);
bool slot_has_bike(int slot);
bool menu_open();
// Connected, but the server has not given us a slot yet.
bool warm_up();
// The resolved code of a binding (-1 when unbound).
int binding_code(int binding);

// One input event through the key dispatch.
void dispatch_event(int code, bool pressed);
// The Step key's extra tic.
void step_once();
// Camera steering of one tic while not riding.
void steer_camera();

// Output of the frame just drawn.
void write_video_frame(int width, int height);
void record_audio_block();
void print_orientation();

// A screenshot asked for by the key is taken from the next drawn frame,
// before its buffers are swapped.
extern bool screenshot_pending;
// The "esc" key's code.
extern int esc_code;

}  // namespace frame_loop_detail
