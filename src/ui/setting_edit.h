// Editing the setting records by key: choices with their type-ahead search,
// numbers by step and by slider position, text fields in insert or overwrite
// mode, and the text a binding shows. The menus, the console line, the
// server field and the editor's rows all edit through these.
#pragma once

#include <cstddef>
#include <string>

#include "core/settings.h"

// The fixed keys the editors know, as event codes (resolved at start-up;
// the PC keyboard's own codes until then).
struct edit_key_codes {
    int up, down, left, right, enter, keypad_enter, cursor_left;
    int page_up, page_down;
};
extern edit_key_codes edit_keys;
// Takes the resolved navigation keys; those that resolved to nothing keep
// their built-in code.
void resolve_edit_keys();
constexpr int key_backspace = 8;
constexpr int key_tab = 9;
constexpr int key_delete = 127;
constexpr int key_blank = 32;

// Whether a code activates an item: "enter", "keypad enter", the blank, or
// "cursor-left" with the pointer inside the item.
bool is_activation(int code, bool pointer_inside);

// ---- choices and the type-ahead search -------------------------------------------
constexpr size_t search_text_limit = 255;
// One search text shared by every choice, with the choice it belongs to.
struct choice_search {
    const setting* owner = nullptr;
    std::string text;
};
extern choice_search search_state;
// One key for a choice: Backspace empties the search, Tab finds the next
// item holding the search text, a printable character extends the search
// (and is taken back when no item holds it), activation and "right" select
// the next item, "left" the previous one (both wrap). Returns whether the
// selection changed.
bool choice_key(const setting& s, int code, bool pointer_inside);
// The value text of a choice, with the search text's last occurrence in red
// while the choice owns a non-empty search.
std::string choice_value_text(const setting& s);

// ---- numbers ---------------------------------------------------------------------
// The value under pointer x on a slider spanning x0..x1: rounded to the
// step, clamped to the range; nullopt-like `false` for a slider without
// width.
bool slider_value(double x, double x0, double x1, const setting& s, double& value);
// "left" / "right" step the value; "cursor-left" or the drag code with the
// pointer inside the row and within 15 pixels of the slider sets it from the
// pointer. Returns whether the value changed.
bool number_key(const setting& s, int code, bool pointer_inside, int pointer_x, int slider_x0, int slider_x1);
// "%.2f" and the bar's fill, (value − minimum) / (maximum − minimum) in 0..1.
std::string number_value_text(const setting& s);
double number_fill(const setting& s);

// ---- text fields ----------------------------------------------------------------
struct text_field_state {
    size_t cursor = 0;  // 0 … text length
    bool insert = true;  // overwrite mode replaces the character under the cursor
};
// Keeps the cursor inside the text (it may have been replaced meanwhile).
void clamp_text_cursor(const std::string& text, text_field_state& field);
// "left" / "right" move the cursor, Backspace and Delete remove, a printable
// character (codes 32 … 255) goes in at the cursor while it is below the
// limit. Returns whether the text changed.
bool text_field_key(std::string& text, size_t limit, text_field_state& field, int code);

// ---- bindings -------------------------------------------------------------------
// "<<PRESS A KEY>>" while watched, the key name, the axis name with
// "(Positive)" or "(Negative)", or "None".
std::string binding_value_text(const binding_setting& b, bool watched);
