// For tests only: "QUARNIX_TEST_KEYS" presses keys after given frames, as if
// the player had typed them, e.g. "30:s,60:esc" (frame:key name); an item
// "frame:text=..." types the text into whatever reads typed characters.
#pragma once

struct plix_window;

// Reads the variable again (nothing happens while it is unset).
void load_test_key_script();
// Called after each swapped frame; pushes the key presses that are due.
void run_test_key_script(plix_window* w, long frames_swapped);
