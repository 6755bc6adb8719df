// The menus: full-screen pages drawn every frame straight from the setting
// records. This keeps the open page, the highlighted item, the picking list,
// the text fields' cursors and what the last drawing put where, for the
// pointer.
#pragma once

#include <string>
#include <vector>

#include "core/settings.h"
#include "race/race_tic.h"
#include "ui/setting_edit.h"
#include "ui/text_layout.h"

constexpr int no_menu = -1;
enum menu_page_number {
    main_page = 0,
    new_race_page = 1,
    pick_page = 2,
    playback_page = 3,
    series_page = 4,
    standings_page = 5,
    time_trial_page = 6,
    bike_setup_page = 7,
    suspension_page = 8,
    stability_page = 9,
    controls_page = 10,
    graphics_page = 11,
    advanced_graphics_page = 12,
    multiplayer_page = 13,
    input_line_page = 16,
    quit_page = 18,
};
constexpr int list_page_size = 20;

// What the menus call outside the user interface: the race, the input
// devices, the display, the graphics driver, the console and the editor.
// The game fills it at start-up; the menu tests put recorders in. An empty
// entry does nothing (a query answers no).
struct menu_driver {
    bool (*reset_race)(const race_setup& setup) = nullptr;
    void (*leave_server)() = nullptr;
    // Axis calibration for one binding, and the key it caught.
    void (*start_watching)(binding_setting* binding) = nullptr;
    bool (*watching)() = nullptr;
    void (*stop_watching)() = nullptr;
    const char* (*captured_key)() = nullptr;
    // A binding's names resolved again into a code and an axis.
    void (*resolve_binding)(binding_setting& binding) = nullptr;
    void (*request_display_mode)(int width, int height, bool fullscreen) = nullptr;
    // The player's setup applied to the viewed bike when it is the local rider's.
    void (*apply_setup)() = nullptr;
    // The graphics driver's vendor, renderer and version, and what it can do.
    void (*driver_info)(std::string& vendor, std::string& renderer, std::string& version) = nullptr;
    bool (*framebuffer_objects)() = nullptr;
    bool (*shader_programs)() = nullptr;
    // A submitted input line (the console); true when it was taken.
    bool (*submit_line)(const std::string& line) = nullptr;
    // Seconds since start-up, and the editor holds unsaved changes.
    double (*seconds)() = nullptr;
    bool (*track_modified)() = nullptr;
};
extern menu_driver menu_service;

// ---- the items of the open page ------------------------------------------------------
struct menu_rect {
    int left = -1, top = -1, right = -1, bottom = -1;
    bool strictly_contains(int x, int y) const { return x > left && x < right && y > top && y < bottom; }
};

enum class menu_item_kind { button, choice, number, text, binding, entry };

struct menu_item {
    menu_item_kind kind = menu_item_kind::button;
    std::string label;          // a button's or entry's text; a setting's label
    const setting* record = nullptr;  // choice, number, text, binding
    text_field_state* field = nullptr;  // text fields
    int entry = -1;              // list entry: index within the page (0 … 19)
    bool hidden = false;         // not drawn, skipped by the cursor
    bool go = false;             // "Start" / "Enter Next Event" colours
    bool picks = false;          // activation opens the picking list
    menu_rect rect;              // last drawn, window pixels
    int slider_x0 = -1, slider_x1 = -1;
};

// The open page's items in cursor order, as last built.
const std::vector<menu_item>& menu_items();
extern int menu_cursor;

// Opens a page (no_menu closes the menu); the cursor goes to its first item.
void open_menu_page(int page);
// The open page, or no_menu.
int current_menu_page();
// The frame loop's own page changes (Esc, the Chat key): the page to show
// from now on; the menu catches up at its next key or drawing, and a page
// other than the one it last built then starts at its first item.
void set_menu_page(int page);
// The frame loop's pass count, kept up to date by the loop: keys handled in
// the frame in which "Quit" was chosen are not its confirmation.
extern long menu_frame_number;
// The main menu at start-up, with the navigation keys as resolved then.
void show_main_menu();
// The menu's three operations, called by the frame loop; the open page is
// drawn over a window of that size.
void menu_draw(int width, int height);
void menu_key(int code);
void menu_pointer_moved(int x, int y);

// ---- what a drawing puts on the screen ---------------------------------------------------
// Pixel rectangles and texts in drawing order; tests read them instead of GL.
struct menu_shape {
    enum kind_t { box, text, text_centred, text_right } kind = box;
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // box; text: x0, y0 top-left (centred: between x0 and x1)
    float height = 0;                       // text line height
    text_colour colour;
    std::string content;
    int cursor_at = -1;  // a text field's cursor block behind this character
};
struct menu_frame {
    int width = 0, height = 0;
    std::vector<menu_shape> shapes;
};
// Lays the open page out for a window of that size: item rectangles and
// the shapes to draw. menu_draw paints what this made.
const menu_frame& layout_menu(int width, int height);

// ---- the picking list and the pages' texts -------------------------------------------
// The "Current Settings: …" line of the graphics page.
std::string current_settings_text();
// The choices that have a picking list, by label, and how many entries the
// one being picked from has.
int pick_list_count();
int pick_list_page();
// Rotates the lineup for the next start: kind i goes to slot (i + n) mod 160.
slot_kind_list rotated_lineup(const slot_kind_list& kinds, int n);

// Back to the start-up state (tests): cursor, search, list pages, fields.
void reset_menu_state();
