// Keys and the pointer on the open page: cursor movement, editing the item
// under the cursor, and the pages' buttons, including starting races.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/bike_setup.h"
#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/quit.h"
#include "demo/demo.h"
#include "net/client.h"
#include "net/net.h"
#include "platform/input.h"
#include "race/series.h"
#include "ui/asset_lists.h"
#include "ui/menu.h"
#include "ui/menu_internal.h"

int menu_pointer_x = -1, menu_pointer_y = -1;
long menu_frame_number = 0;

namespace {

// The frame in which "Quit" was chosen: that frame's remaining keys are not
// for the confirmation page.
long g_quit_frame = -1;
// The binding whose pots are being watched for the controls page.
binding_setting* g_watched = nullptr;
int g_video_mode_in_use = -1;
std::string g_history_draft;
// The Server field's walk through the address history: -1 is the field as
// typed (kept in the draft), 0..15 a history entry.
int g_server_history_at = -1;
std::string g_server_draft;
// The pointer as the key being handled finds it: a drag moves the pointer
// without a pointer-moved call, so it is read afresh when it can be.
int g_key_x = -1, g_key_y = -1;

void read_pointer_for_key() {
    g_key_x = menu_pointer_x;
    g_key_y = menu_pointer_y;
    int x, y;
    if (read_cursor_axes(x, y)) g_key_x = x, g_key_y = y;
}

bool label_is(const menu_item& it, const char* label) { return it.label == label; }

void not_built(const char* what) { show_messagef("%s is not in this build yet", what); }

// Also without a socket: an address chosen but not yet contacted is
// dropped, so the offline race does not connect at its next tic.
void leave_server() {
    if (menu_service.leave_server) menu_service.leave_server();
}

bool reset(const race_setup& setup) { return menu_service.reset_race && menu_service.reset_race(setup); }

// ---- starting races ------------------------------------------------------------------------

void start_new_race() {
    open_menu_page(no_menu);
    slot_kind_list kinds{};
    bool anyone = false;
    for (int i = 0; i < lineup_settings; i++) {
        kinds[(size_t)i] = settings.slot[(size_t)i];
        anyone = anyone || kinds[(size_t)i] != slot_kind_empty;
    }
    // A lineup of empty gates (a saved one may be): say why the track stays bare.
    if (!anyone) show_message("Every gate is \"Empty\": set a gate to \"Human\" to ride in the race");
    leave_server();
    race_setup setup;
    setup.slot_kinds = kinds;
    setup.record = settings.record == 1;
    setup.race_time = (int)std::trunc(settings.minutes * 60 / tic_length);
    setup.laps = (int)std::trunc(settings.laps);
    setup.skill = settings.skill;
    reset(setup);
    // The next start's lineup; this race keeps the one it started with.
    slot_kind_list turned = rotated_lineup(kinds, cmdline.rotate_lineup);
    for (int i = 0; i < lineup_settings; i++)
        settings.slot[(size_t)i] = std::clamp(turned[(size_t)i], slot_kind_empty, slot_kind_robot_4stroke);
}

void start_time_trial() {
    open_menu_page(no_menu);
    leave_server();
    race_setup setup;
    setup.laps = 1000;
    setup.skill = settings.skill;
    reset(setup);
}

// The chosen series' next event: the grid from the last event's places,
// the event's track and length. Entering it makes the race count for
// points; false when nothing was started.
bool start_series_event(int index, bool enter) {
    open_menu_page(no_menu);
    std::vector<points_series>& all = series_list();
    if (index < 0 || index >= (int)all.size()) return false;
    points_series& s = all[(size_t)index];
    if (s.completed_events >= (int)s.events.size()) return false;
    // An event still waiting for its credit (the player left its race) is
    // settled first, so the grid and the event are those that come next.
    credit_series_event();
    if (s.completed_events >= (int)s.events.size()) return false;
    const series_event& e = s.events[(size_t)s.completed_events];
    settings.track = e.track_dir;
    leave_server();
    race_setup setup;
    setup.slot_kinds = series_lineup(s);
    setup.record = settings.record == 1;
    setup.race_time = (int)std::trunc(e.minutes * 60 / tic_length);
    setup.laps = e.laps;
    setup.skill = s.robot_skill;
    setup.track = e.track_dir;
    // The reset credits an event entered before; this one is entered after.
    if (!reset(setup)) return false;
    if (enter) {
        entered_series = index;
        entered_event = s.completed_events;
    }
    return true;
}

void play_demo(int index) {
    if (index < 0 || (size_t)index >= demo_list.size()) return;
    if (!demo_playback_available()) {
        not_built("Demo playback");
        return;
    }
    slot_kind_list kinds{};
    std::string file = "@" + demo_list[(size_t)index].name;
    bool record = false;
    if (settings.playback_mode == 1) {  // "Race Against"
        int human = 0;
        for (int i = lineup_settings - 1; i >= 0; i--)
            if (settings.slot[(size_t)i] == slot_kind_human) human = i;
        kinds[(size_t)human] = slot_kind_human;
        record = settings.record == 1;
        if (record && file == "@demos/default.kvdemo") {
            show_message("Can't record and play from same file - recording disabled");
            record = false;
        }
    }
    open_menu_page(no_menu);
    leave_server();
    race_setup setup;
    setup.slot_kinds = kinds;
    setup.playback = true;
    setup.demo = file;
    setup.record = record;
    setup.laps = 10;
    setup.skill = settings.skill;
    reset(setup);
}

// ---- the graphics page ------------------------------------------------------------------

void switch_video_mode() {
    const item_list& modes = video_mode_items();
    int selected = settings.video_mode;
    if (selected < 0 || selected >= modes.count || !menu_service.request_display_mode) return;
    if (selected == 1) {
        menu_service.request_display_mode(window_width_setting(), window_height_setting(), false);
    } else {
        int w = 0, h = 0;
        if (selected > 1 && modes.items[selected]) sscanf(modes.items[selected], "%dx%d", &w, &h);
        menu_service.request_display_mode(w, h, true);
    }
    g_video_mode_in_use = selected;
}

// ---- buttons ---------------------------------------------------------------------------

void press_button(int page, const menu_item& it) {
    switch (page) {
        case main_page: {
            static const struct {
                const char* label;
                int page;
            } targets[] = {{"New Race", new_race_page},       {"Playback Race", playback_page},
                           {"Points Series", series_page},    {"Time Trial", time_trial_page},
                           {"Multiplayer", multiplayer_page}, {"Bike Setup", bike_setup_page},
                           {"Graphics/Sound Setup", graphics_page}, {"Customize Controls", controls_page},
                           {"Quit", quit_page}};
            for (const auto& t : targets)
                if (label_is(it, t.label)) {
                    if (t.page == quit_page) g_quit_frame = menu_frame_number;
                    if (t.page == playback_page) build_demo_list();
                    open_menu_page(t.page);
                }
            return;
        }
        case new_race_page:
            if (label_is(it, "Start")) start_new_race();
            break;
        case pick_page:
            if (label_is(it, "Cancel")) open_menu_page(pick_list.return_page);
            if (label_is(it, "Prev Page")) change_list_page(pick_list.page, pick_list_count(), -1);
            if (label_is(it, "Next Page")) change_list_page(pick_list.page, pick_list_count(), 1);
            return;
        case playback_page:
            if (label_is(it, "Prev Page")) change_list_page(demo_list_page, (int)demo_list.size(), -1);
            if (label_is(it, "Next Page")) change_list_page(demo_list_page, (int)demo_list.size(), 1);
            break;
        case series_page:
            if (label_is(it, "Prev Page")) change_list_page(series_list_page, (int)series_list().size(), -1);
            if (label_is(it, "Next Page")) change_list_page(series_list_page, (int)series_list().size(), 1);
            if (label_is(it, "Prev Page") || label_is(it, "Next Page")) {
                build_menu_items(page);
                // A page button that is now hidden hands the cursor on.
                if (menu_cursor >= 0 && menu_cursor < (int)menu_items().size() &&
                    menu_items()[(size_t)menu_cursor].hidden)
                    move_menu_cursor(label_is(it, "Prev Page") ? 1 : -1);
            }
            break;
        case standings_page:
            if (label_is(it, "Back to Points Series List")) open_menu_page(series_page);
            if (label_is(it, "Enter Next Event") && chosen_series != entered_series) start_series_event(chosen_series, true);
            if (label_is(it, "Practice Next Event")) start_series_event(chosen_series, false);
            if (label_is(it, "Reset Points") && chosen_series >= 0 && chosen_series < (int)series_list().size()) {
                points_series& s = series_list()[(size_t)chosen_series];
                s.completed_events = 0;
                compute_series_order(s);
                write_series_standings(s);
            }
            return;
        case time_trial_page:
            if (label_is(it, "Start")) start_time_trial();
            break;
        case bike_setup_page:
            if (label_is(it, "Suspension and Gearing")) open_menu_page(suspension_page);
            if (label_is(it, "Advanced Stability Setup")) open_menu_page(stability_page);
            break;
        case suspension_page:
        case stability_page:
            if (label_is(it, "Back to Bike Setup Menu")) open_menu_page(bike_setup_page);
            return;
        case graphics_page:
            if (label_is(it, "Advanced Graphics Setup")) open_menu_page(advanced_graphics_page);
            for (int i = 0; i < graphics_preset_count; i++)
                if (it.label == std::string("Use ") + graphics_presets[(size_t)i].name + " Settings")
                    apply_graphics_preset(i);
            if (label_is(it, "Switch To Selected Mode Now")) switch_video_mode();
            break;
        case advanced_graphics_page:
            if (label_is(it, "Back to Graphics/Sound Menu")) open_menu_page(graphics_page);
            return;
        case multiplayer_page:
            if (label_is(it, "Disconnect")) {
                client_menu_disconnect();
            } else if (label_is(it, "Connect")) {
                remember_server(settings.server_name);
                net_connect(settings.server_name.c_str(),
                            cmdline.connect_password ? cmdline.connect_password->c_str() : nullptr, cmdline.fake_lag,
                            cmdline.fake_loss);
            } else if (label_is(it, "Request Restart")) {
                client_request_restart();
            }
            g_server_history_at = -1;
            break;
        default: break;
    }
    if (label_is(it, "Back to Main Menu")) open_menu_page(main_page);
}

void pick_entry(int page, const menu_item& it) {
    int at = it.entry;
    if (page == pick_page) {
        const setting* choice = pick_list.choice;
        int index = pick_list.page * list_page_size + at;
        open_menu_page(pick_list.return_page);
        if (!choice || !choice->integer || index >= pick_list_count()) return;
        int before = *choice->integer;
        *choice->integer = index;
        if (index != before) after_choice_edit(choice);
        // The page was built before the pick: show the new selection.
        build_menu_items(current_menu_page());
    } else if (page == playback_page) {
        play_demo(demo_list_page * list_page_size + at);
    } else if (page == series_page) {
        int index = series_list_page * list_page_size + at;
        if (index < 0 || index >= (int)series_list().size()) return;
        chosen_series = index;
        open_menu_page(standings_page);
    }
}

// ---- settings ----------------------------------------------------------------------------

// Whether the item lies between the items labelled first and last (both
// included) in the page's order.
bool in_range(const menu_item& item, const char* first, const char* last) {
    bool inside = false;
    for (const menu_item& it : menu_items()) {
        if (it.label == first) inside = true;
        if (it.label == item.label) return inside;
        if (it.label == last) inside = false;
    }
    return false;
}

// Edits on the bike-setup pages that reach the viewed bike at once.
bool applies_to_bike(int page, const menu_item& it) {
    if (page == suspension_page || page == stability_page) return true;
    if (page != bike_setup_page) return false;
    return in_range(it, "Stability", "Max Dab Speed (MPH)") || in_range(it, "Arcade Physics", "Dab When Stopped") ||
           label_is(it, "Realign After Fall");
}

void apply_setup() {
    if (menu_service.apply_setup) menu_service.apply_setup();
}

void edit_choice(int page, const menu_item& it, int code, bool inside) {
    if (it.picks && is_activation(code, inside)) {
        std::string title = "Choose " + it.label;
        open_pick_list(it.record, title.c_str(), page);
        return;
    }
    if (!choice_key(*it.record, code, inside)) return;
    after_choice_edit(it.record);
    if (applies_to_bike(page, it)) apply_setup();
    if (label_is(it, "Enable Reflections")) render_settings.reflections = settings.reflections != 0;
}

void edit_number(int page, const menu_item& it, int code, bool inside) {
    const setting& s = *it.record;
    if (label_is(it, "Stability") && code == '*') {
        open_menu_page(stability_page);
        return;
    }
    double before = s.real ? *s.real : 0;
    if (!number_key(s, code, inside, g_key_x, it.slider_x0, it.slider_x1)) return;
    if (label_is(it, "Stability") && std::trunc(*s.real) != std::trunc(before)) apply_stability(*s.real);
    if (applies_to_bike(page, it)) apply_setup();
    if (label_is(it, "Roost Density")) render_settings.roost_frequency = (int)std::lround(settings.roost_density);
}

void edit_text(int page, const menu_item& it, int code) {
    const setting& s = *it.record;
    if (!s.text || !it.field) return;
    bool edited = text_field_key(*s.text, s.max_length, *it.field, code);
    if (edited && page == bike_setup_page) mark_rider_info_changed();
    if (edited && page == multiplayer_page) g_server_history_at = -1;
}

void edit_binding(const menu_item& it, int code, bool inside) {
    if (!it.record->binding) return;
    if (code == key_blank || !is_activation(code, inside)) return;
    if (!menu_service.start_watching) return;
    g_watched = it.record->binding;
    menu_service.start_watching(g_watched);
}

// ---- the input line ---------------------------------------------------------------------

void walk_history(int direction) {
    int n = (int)input_history.size();
    int to = std::clamp(input_history_cursor + direction, -1, n - 1);
    if (to == input_history_cursor) return;
    // The text typed so far stays with the slot it came from.
    if (input_history_cursor < 0)
        g_history_draft = input_line;
    else
        input_history[(size_t)input_history_cursor] = input_line;
    input_history_cursor = to;
    input_line = to < 0 ? g_history_draft : input_history[(size_t)to];
    input_line_field().cursor = input_line.size();
}

// Up steps to older entries, down back toward the field as typed; an
// empty entry stops the walk.
void walk_server_history(bool older) {
    auto& hist = settings.server_name_hist;
    int n = (int)hist.size();
    int to = g_server_history_at;
    if (older) {
        to++;
        if (g_server_history_at < 0 && !hist[0].empty() && hist[0] == settings.server_name) to++;
        if (to >= n || hist[(size_t)to].empty()) return;
        if (g_server_history_at < 0) g_server_draft = settings.server_name;
    } else {
        if (g_server_history_at < 0) return;
        to--;
        if (to == 0 && hist[0] == g_server_draft) to = -1;
    }
    g_server_history_at = to;
    settings.server_name = to < 0 ? g_server_draft : hist[(size_t)to];
}

void submit_input_line() {
    if (!menu_service.submit_line) {
        not_built("The console");
        return;
    }
    if (!menu_service.submit_line(input_line)) return;
    input_history.insert(input_history.begin(), input_line.substr(0, input_history_chars));
    if ((int)input_history.size() > input_history_limit) input_history.resize(input_history_limit);
    input_line.clear();
    input_line_field().cursor = 0;
    input_history_cursor = -1;
    g_history_draft.clear();
}

void input_line_key(int code) {
    if (code == edit_keys.enter || code == edit_keys.keypad_enter) {
        submit_input_line();
    } else if (code == edit_keys.up || code == edit_keys.down) {
        walk_history(code == edit_keys.up ? 1 : -1);
    } else if (code == edit_keys.page_up || code == edit_keys.page_down) {
        input_line_scroll = std::clamp(input_line_scroll + (code == edit_keys.page_up ? 1 : -1), 0, input_scroll_limit);
    } else {
        text_field_key(input_line, input_line_limit, input_line_field(), code);
    }
}

// The watched binding takes the key that was caught, or ends when the
// watching ended by itself (an axis won, or "esc").
void take_captured_key() {
    if (!g_watched) return;
    const char* name = menu_service.captured_key ? menu_service.captured_key() : nullptr;
    if (name) {
        binding_setting& b = *g_watched;
        b.key_name = name;
        b.axis_name.reset();
        if (menu_service.resolve_binding) menu_service.resolve_binding(b);
        if (menu_service.stop_watching) menu_service.stop_watching();
        g_watched = nullptr;
    } else if (!menu_service.watching || !menu_service.watching()) {
        g_watched = nullptr;
    }
}

}  // namespace

const binding_setting* watched_binding() { return g_watched; }

void bike_model_changed() {
    build_bike_graphics_list();
    variant_list& v = graphics_lists[bike_graphics_list];
    v.selected = 0;
    if (!v.labels.empty()) player_setup.bike_texture = v.labels[0];
    mark_rider_info_changed();
}

void reset_menu_actions() {
    g_quit_frame = -1;
    g_watched = nullptr;
    g_video_mode_in_use = -1;
    g_history_draft.clear();
    g_server_history_at = -1;
    g_server_draft.clear();
    menu_pointer_x = menu_pointer_y = -1;
}

slot_kind_list rotated_lineup(const slot_kind_list& kinds, int n) {
    slot_kind_list out{};
    for (int i = 0; i < (int)kinds.size(); i++) out[(size_t)rotated_lineup_slot(i, n)] = kinds[(size_t)i];
    return out;
}

void menu_tick() { take_captured_key(); }

void show_main_menu() {
    resolve_edit_keys();
    open_menu_page(main_page);
}

void menu_key(int code) {
    follow_page_change();
    const int page = current_menu_page();
    if (page == no_menu) return;
    if (g_quit_frame >= 0 && g_quit_frame == menu_frame_number) return;
    g_quit_frame = -1;
    if (page == quit_page) {
        quit_requested = true;
        return;
    }
    take_captured_key();
    if (page == input_line_page) {
        input_line_key(code);
        return;
    }
    std::vector<menu_item>& items = menu_items_mutable();
    if (items.empty()) build_menu_items(page);
    if (items.empty()) return;
    if (code == edit_keys.up || code == edit_keys.down) {
        int at = std::clamp(menu_cursor, 0, (int)items.size() - 1);
        if (page == multiplayer_page && label_is(items[(size_t)at], "Server")) {
            walk_server_history(code == edit_keys.up);
            build_menu_items(page);
            return;
        }
        move_menu_cursor(code == edit_keys.up ? -1 : 1);
        return;
    }
    // A copy: the action may rebuild the list or open another page.
    const menu_item it = items[(size_t)std::clamp(menu_cursor, 0, (int)items.size() - 1)];
    if (it.hidden) return;
    read_pointer_for_key();
    const bool inside = it.rect.strictly_contains(g_key_x, g_key_y);
    switch (it.kind) {
        case menu_item_kind::button:
            if (is_activation(code, inside)) press_button(page, it);
            break;
        case menu_item_kind::entry:
            if (is_activation(code, inside)) pick_entry(page, it);
            break;
        case menu_item_kind::choice: edit_choice(page, it, code, inside); break;
        case menu_item_kind::number: edit_number(page, it, code, inside); break;
        case menu_item_kind::text: edit_text(page, it, code); break;
        case menu_item_kind::binding: edit_binding(it, code, inside); break;
    }
    // Values, list pages and labels as the key left them.
    if (current_menu_page() != no_menu) build_menu_items(current_menu_page());
}

void menu_pointer_moved(int x, int y) {
    if (x == menu_pointer_x && y == menu_pointer_y) return;
    menu_pointer_x = x;
    menu_pointer_y = y;
    const std::vector<menu_item>& items = menu_items();
    for (size_t i = 0; i < items.size(); i++)
        if (!items[i].hidden && items[i].rect.strictly_contains(x, y)) {
            menu_cursor = (int)i;
            return;
        }
}
