// The loading screen used during start-up, shutdown, race resets and every
// long load. Input events pending meanwhile are thrown away (the window's
// close request is kept), and drawing happens only when a frame can be drawn.
#pragma once

#include <string>

// The longest gap between two drawn loading messages since it was last set
// to 0, and the text shown before that gap.
extern double loading_max_gap;
extern std::string loading_max_gap_text;

// Drops pending input, sets every binding's value to 0 and, when a frame can
// be drawn, draws the title screen with the text.
void show_loading_message(const char* text);
// show_loading_message, then logs "%s\n" for a non-empty text.
void loading_message_logged(const char* text);
// A progress step: begun (logged; the dots restart), ticked (at most every
// 0.125 s, "text" plus 0…3 dots), done ("text...done").
void loading_step_begin(const char* text);
void loading_step_tick(const char* text);
void loading_step_done(const char* text);
// Counts calls, drops pending input and, at most every 1/16 s when a frame
// can be drawn, draws the loading indicator.
void loading_tick();
// Takes every pending input event off the queue; a close request among them
// sets quit_requested.
void drain_input_events();

// The number of loading_tick calls so far, and the 79-character text of the
// last drawn message (tests and the indicator).
unsigned loading_tick_count();
const std::string& loading_previous_text();
// Back to the state at program start (tests).
void loading_reset();
