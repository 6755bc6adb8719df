// Fills the platform layer's hooks: the window, the app clock, input and
// audio output.
#pragma once

struct plix_window;

void install_platform();
// The program's window while it is open, or null.
plix_window* main_window();
