// The screens drawn without the 3D view: the loading screen with its
// progress text and indicator, the menu background with the build label,
// and single centred text rows.
#pragma once

// The splash picture covering the window, the progress text and the label.
void draw_title_screen(const char* text, int width, int height);
// The title screen with the last progress text and, over it, the indicator:
// 32 bars showing the bits of `count` around a shaded disc.
void draw_loading_indicator(unsigned count, int width, int height);
// Darkens the view and draws the build label (every menu screen first).
void draw_menu_background(int width, int height);
// A white line centred on row `row` of `rows` rows over the window's height.
void draw_text_row(const char* text, int row, int rows, int width, int height);
// The label's text: the build string.
const char* build_label();
