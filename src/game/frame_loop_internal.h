// Shared between the frame loop's files.
#pragma once

#include "game/frame_loop.h"

namespace frame_loop_detail {

bool menu_open();
// Connected, but the server has not given us a slot yet.
bool warm_up();
// The first slot, in slot order, that holds the local human rider's bike,
// or -1.
int local_human_slot();

// "QUARNIX_QUIT_AFTER_FRAMES" read again: tests and benchmarks end the loop
// after so many passes.
void reload_frame_limit();

// One input event through the key dispatch; a repeat (the system's, while a
// key is held) reaches only the menus' navigation and text editing.
// The editor's key codes and pointer, before it sees a key or a tic.
void pass_editor_input();
void dispatch_event(int code, bool pressed, bool repeat = false);
// The Step key's extra tic.
void step_once();
// Camera steering of one tic while not riding.
void steer_camera();
// The view of the current mode drawn from its camera.
void draw_world();

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
