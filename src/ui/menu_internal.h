// What the menu's files share: the item list being edited, the picking
// list, the list pages and the input line.
#pragma once

#include <string>
#include <vector>

#include "ui/menu.h"

// The page for picking one entry of a long choice.
struct pick_list_state {
    const setting* choice = nullptr;
    std::string title;
    int return_page = 0;
    int page = 0;  // of 20 entries
};
extern pick_list_state pick_list;
extern int demo_list_page;
extern int series_list_page;
// The series whose standings page is open (index in series_list), or -1.
extern int chosen_series;

// The chat and console line: its text, the message list's scroll offset
// (lines back, 0 … 950) and the submitted lines, newest first.
extern std::string input_line;
extern int input_line_scroll;
extern std::vector<std::string> input_history;
extern int input_history_cursor;  // -1: the line being typed
constexpr int input_history_limit = 100;
constexpr size_t input_history_chars = 120;
constexpr int input_scroll_limit = 950;
constexpr size_t input_line_limit = 255;
text_field_state& input_line_field();

// The network code sends the rider's name, number and graphics again.
extern bool rider_info_changed;
// The rider's model, graphics, number or name changed (the server is told).
void mark_rider_info_changed();

std::vector<menu_item>& menu_items_mutable();
// The open page's items again from the settings (rectangles kept).
void build_menu_items(int page);
// A page opened or closed elsewhere since the items were built: the cursor
// goes to its first item, as on every page change.
void follow_page_change();
void open_pick_list(const setting* choice, const char* title, int return_page);
// "up" (-1) / "down" (+1), skipping items that are not drawn; no wrap.
void move_menu_cursor(int direction);
void change_list_page(int& page, int count, int direction);
// An edited choice written back where the game reads it (track, graphics,
// model).
void after_choice_edit(const setting* s);
// The model changed: its graphics list is built again, first entry chosen.
void bike_model_changed();
void reset_menu_actions();

// The binding whose pots are watched for the controls page, or null.
const binding_setting* watched_binding();
// Once per drawn frame: a key caught while watching becomes the binding.
void menu_tick();

// Pointer position as the menu last saw it.
extern int menu_pointer_x, menu_pointer_y;
