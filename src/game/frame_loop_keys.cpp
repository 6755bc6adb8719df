// Key dispatch: the window's close request, the bindings, the menus, and the
// keys of the ride.
#include <algorithm>

#include "core/cmdline.h"
#include "core/config.h"
#include "core/controls.h"
#include "core/quit.h"
#include "demo/demo.h"
#include "editor/editor.h"
#include "game/frame_loop_internal.h"
#include "net/net.h"
#include "platform/input.h"
#include "platform/main_window.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "track/objects_cameras.h"
#include "track/track.h"
#include "ui/menu.h"
#include "ui/setting_edit.h"

using namespace frame_loop_detail;

namespace {

frame_loop_state& L = loop_state;

constexpr int character_tab = 9;
constexpr int mouse_left_code = 0x2000;
// Raising a bike clear of edited ground gives up after this many steps.
constexpr int lift_step_limit = 4096;

bool with_editor() { return cmdline.editor && editor_available(); }


// The resolved code of a binding (-1 when unbound).
int binding_code(int binding) { return bindings[(size_t)binding].key_code; }

// After terrain edits a bike may sit in the ground: lift each one clear of
// it, then settle it back a little.
void lift_bikes_clear() {
    for (int slot = 0; slot < race_slot_count; slot++) {
        if (!slot_has_bike(slot)) continue;
        raise_slot_bike(slot, 0.125);
        for (int i = 0; i < lift_step_limit && slot_bike_touches(slot); i++) raise_slot_bike(slot, 0.25);
        raise_slot_bike(slot, -0.125);
    }
}

void next_view_mode() {
    switch (L.view_mode) {
        case first_person_view: L.view_mode = with_editor() ? editor_view : third_person_view; break;
        case editor_view:
            editor_finish_changes();
            lift_bikes_clear();
            L.view_mode = third_person_view;
            break;
        case third_person_view: L.view_mode = free_view; break;
        case free_view: L.view_mode = first_person_view; break;
        default: break;
    }
}

// Previous (-1) or next (+1) rider of the running order, clamped at the ends.
void change_viewed_rider(int direction) {
    int order[race_slot_count];
    int n = std::clamp(running_order_slots(order, race_slot_count), 0, race_slot_count);
    if (n == 0) return;
    int at = -1;
    for (int i = 0; i < n; i++)
        if (order[i] == race.viewed_slot) at = i;
    int to = at < 0 ? 0 : std::clamp(at + direction, 0, n - 1);
    race.viewed_slot = order[to];
}

bool is_key(int code, binding_index b) { return code >= 0 && code == binding_code(b); }

// Keys without a menu open.
void ride_key(int code, bool pressed) {
    if (pressed && is_key(code, console_binding) && L.view_mode != editor_view) {
        set_menu_page(input_line_page);
        L.drop_chat_character = true;
        return;
    }
    if (L.view_mode == title_view) return;
    if (L.view_mode == editor_view) {
        pass_editor_input();
        if (editor_key(code, pressed)) return;
    }
    if (!pressed) return;
    if (is_key(code, pause_binding) && !net_connected()) {
        L.paused = !L.paused;
        return;
    }
    if (is_key(code, step_binding)) {
        if (L.paused) step_once();
        return;
    }
    if (code == character_tab) {
        next_view_mode();
        return;
    }
    if (is_key(code, rewind_binding)) {
        demo_rewind();
        return;
    }
    if (is_key(code, skip_binding)) {
        demo_skip();
        return;
    }
    bool prev = is_key(code, prev_binding), next = is_key(code, next_binding);
    if (prev || next) {
        if (!L.riding || warm_up() || settings.spy) change_viewed_rider(prev ? -1 : 1);
        return;
    }
    if (is_key(code, screenshot_binding) && L.view_mode != editor_view) {
        screenshot_pending = true;
        return;
    }
    if (code >= '0' && code <= '9') {
        int cameras = (int)track_cameras().size();
        L.chosen_camera = std::min(code - '0', cameras) - 1;
    }
}

}  // namespace

namespace frame_loop_detail {

// The editor's buttons and navigation keys follow the bindings; the pointer
// is where the cursor axes say it is now, so a click that arrives in the
// same frame as the motion before it acts where the pointer went.
void pass_editor_input() {
    editor_keys.cursor_left = navigation_key_code(nav_cursor_left);
    editor_keys.cursor_right = navigation_key_code(nav_cursor_right);
    editor_keys.left = navigation_key_code(nav_left);
    editor_keys.right = navigation_key_code(nav_right);
    editor_keys.up = navigation_key_code(nav_up);
    editor_keys.down = navigation_key_code(nav_down);
    int x = loop_state.cursor_x, y = loop_state.cursor_y;
    read_cursor_axes(x, y);
    editor_set_pointer(x, y, 0, 0);
}

void step_once() { simulate_tic(); }

// The keys a held key repeats for: the menus' movement and typing. Enter
// (which acts) and Esc (which leaves) do not repeat.
bool repeats_in_menus(int code) {
    if (code < 256) return code != '\r' && code != 27;
    const edit_key_codes& k = edit_keys;
    return code == k.up || code == k.down || code == k.left || code == k.right || code == k.page_up ||
           code == k.page_down;
}

void dispatch_event(int code, bool pressed, bool repeat) {
    if (repeat) {
        // Riding never sees a repeat: no binding, pause or view key acts twice.
        if (!pressed || !menu_open() || watching_pots()) return;
        resolve_edit_keys();
        if (repeats_in_menus(code)) menu_key(code);
        return;
    }
    if (code == window_close_code) {
        quit_requested = true;
        return;
    }
    apply_binding_key(code, pressed);
    if (code == mouse_left_code) L.left_button_held = pressed;

    if (L.drop_chat_character) {
        // The Chat key's own character follows its press; anything else
        // first means there is none to drop.
        if (pressed && code < 256) {
            L.drop_chat_character = false;
            return;
        }
        if (pressed || is_key(code, console_binding)) L.drop_chat_character = false;
    }

    if (pressed && watching_pots()) {
        if (code == esc_code)
            stop_watching_pots();
        else
            capture_key_while_watching(main_window(), code);
        return;
    }
    if (pressed && code == esc_code) {
        set_menu_page(menu_open() ? no_menu : main_page);
        return;
    }
    if (menu_open()) {
        if (!pressed) return;
        resolve_edit_keys();
        menu_key(code);
        if (!track_loaded()) L.view_mode = title_view;
        return;
    }
    ride_key(code, pressed);
}

}  // namespace frame_loop_detail
