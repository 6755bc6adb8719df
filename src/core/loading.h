// The loading screen used during start-up, shutdown, race resets and every
// long load. Input events pending meanwhile are thrown away (the window's
// close request is kept), and drawing happens only when a frame can be drawn.
#pragma once

#include <string>

// What the loading screen needs of the window and of the screens drawn in
// it, all above core: the game layer fills it, tests fake it. While it is
// empty nothing is drained or drawn.
struct loading_screen_driver {
    // Takes the oldest pending input event; false when none is left.
    bool (*next_event)(int& code, bool& pressed) = nullptr;
    // One whole frame of the title screen with the text, or of the loading
    // indicator for the tick count; false when no frame can be drawn now.
    bool (*draw_title)(const char* text) = nullptr;
    bool (*draw_indicator)(unsigned count) = nullptr;
};
extern loading_screen_driver loading_screen;

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
