// The player's request to end the program: the window's close button or
// "Quit" in the main menu. The frame loop ends on it; loading screens that
// throw pending input away keep it.
#pragma once

extern bool quit_requested;

// The window's close request among the input event codes.
constexpr int window_close_code = 0xdead;
