// The pages' items in cursor order, the cursor, and what each item does.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "core/bike_setup.h"
#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/diag.h"
#include "net/client.h"
#include "net/net.h"
#include "track/track.h"
#include "ui/asset_lists.h"
#include "ui/menu.h"
#include "race/series.h"
#include "ui/menu_internal.h"

menu_driver menu_service;
int menu_cursor = 0;
bool rider_info_changed = false;

void mark_rider_info_changed() {
    rider_info_changed = true;
    client_info_changed();
}

namespace {

// ---- records the configuration does not hold ----------------------------------------
// "Track" picks from the track list by display name, the four graphics
// choices from the variant lists; each is a choice record over a copy of the
// list's selection that is written back after an edit.
struct list_choice {
    setting record;
    item_list items;
    int selected = 0;
};
list_choice g_track_choice;
std::array<list_choice, graphics_list_count> g_graphics_choices;
std::vector<const char*> g_track_labels;

const char* const graphics_labels[graphics_list_count] = {"Riding Gear", "Helmet", "Bike Graphics",
                                                          "Wheel Graphics"};

void init_choice(list_choice& c, const char* label) {
    c.record = setting{};
    c.record.kind = setting_kind::choice;
    c.record.label = label;
    c.record.integer = &c.selected;
    c.record.items = &c.items;
}

// The lists as they are now (they change when tracks are scanned or the
// model changes), and the selections the settings hold.
void refresh_list_choices() {
    init_choice(g_track_choice, "Track");
    g_track_labels.clear();
    for (const std::string& name : track_names()) g_track_labels.push_back(name.c_str());
    g_track_choice.items = item_list{g_track_labels.data(), (int)g_track_labels.size()};
    g_track_choice.selected = 0;
    const std::vector<std::string>& dirs = track_dirs();
    for (size_t i = 0; i < dirs.size(); i++)
        if (dirs[i] == settings.track) g_track_choice.selected = (int)i;
    for (int i = 0; i < graphics_list_count; i++) {
        list_choice& c = g_graphics_choices[(size_t)i];
        init_choice(c, graphics_labels[i]);
        c.items = graphics_lists[(size_t)i].items();
        c.selected = graphics_lists[(size_t)i].selected;
    }
}

std::string* graphics_setup_text(int list) {
    switch (list) {
        case rider_gear_list: return &player_setup.rider_texture;
        case helmet_list: return &player_setup.head_texture;
        case bike_graphics_list: return &player_setup.bike_texture;
        default: return &player_setup.wheel_texture;
    }
}

// Writes an edited list choice back where the game reads it.
void store_list_choice(const setting* s) {
    if (s == &g_track_choice.record) {
        const std::vector<std::string>& dirs = track_dirs();
        if (g_track_choice.selected >= 0 && (size_t)g_track_choice.selected < dirs.size())
            settings.track = dirs[(size_t)g_track_choice.selected];
        return;
    }
    for (int i = 0; i < graphics_list_count; i++) {
        list_choice& c = g_graphics_choices[(size_t)i];
        if (s != &c.record) continue;
        variant_list& v = graphics_lists[(size_t)i];
        if (c.selected < 0 || (size_t)c.selected >= v.labels.size()) return;
        v.selected = c.selected;
        *graphics_setup_text(i) = v.labels[(size_t)c.selected];
        mark_rider_info_changed();
    }
}

const setting* record_by_label(const char* label, setting_kind kind) {
    if (kind == setting_kind::choice) {
        if (!strcmp(label, "Track")) return &g_track_choice.record;
        for (int i = 0; i < graphics_list_count; i++)
            if (!strcmp(label, graphics_labels[i])) return &g_graphics_choices[(size_t)i].record;
    }
    for (const setting& s : config_settings())
        if (s.kind == kind && s.label && !strcmp(s.label, label)) return &s;
    return nullptr;
}

// ---- the page tables ------------------------------------------------------------------
// One letter per item kind: B button, C choice, N number, T text, K binding.
struct item_spec {
    char kind;
    const char* label;
};

const item_spec main_items[] = {{'B', "New Race"},          {'B', "Playback Race"},
                                {'B', "Points Series"},     {'B', "Time Trial"},
                                {'B', "Multiplayer"},       {'B', "Bike Setup"},
                                {'B', "Graphics/Sound Setup"}, {'B', "Customize Controls"},
                                {'B', "Quit"}};
const item_spec new_race_items[] = {{'B', "Back to Main Menu"}, {'B', "Start"},   {'C', "Track"},
                                    {'C', "Record Demo"},       {'C', "Robot Skill"}, {'N', "Minutes"},
                                    {'N', "Laps"}};
const item_spec time_trial_items[] = {{'B', "Back to Main Menu"},
                                      {'B', "Start"},
                                      {'C', "Track"},
                                      {'N', "Ghost Fade Distance"},
                                      {'C', "Backing Up Aborts Attempt"}};
const item_spec bike_setup_items[] = {
    {'B', "Back to Main Menu"},   {'B', "Suspension and Gearing"}, {'B', "Advanced Stability Setup"},
    {'C', "Bike"},                {'T', "Name"},                   {'T', "Number"},
    {'C', "Riding Gear"},         {'C', "Helmet"},                 {'C', "Bike Graphics"},
    {'C', "Wheel Graphics"},      {'N', "Stability"},              {'N', "Auto Clutch RPMs"},
    {'N', "Braking Torque (Front)"}, {'N', "Braking Torque (Rear)"}, {'N', "Max Dab Speed (MPH)"},
    {'C', "Arcade Physics"},      {'C', "Front Brake"},            {'C', "Rear Brake"},
    {'C', "Stop Wheelies"},       {'C', "Automatic Shifting"},     {'C', "Dab When Stopped"},
    {'C', "Sticky Sit/Dab"},      {'C', "Realign After Fall"},     {'C', "Reversed Steering"},
    {'C', "Lean Indicator"}};
const item_spec suspension_items[] = {{'B', "Back to Bike Setup Menu"},
                                      {'N', "Fork High Speed Compression Damping"},
                                      {'N', "Fork Low Speed Compression Damping"},
                                      {'N', "Fork High Speed Rebound Damping"},
                                      {'N', "Fork Low Speed Rebound Damping"},
                                      {'N', "Fork Spring Rate"},
                                      {'N', "Fork Preload"},
                                      {'N', "Fork Oil Level"},
                                      {'N', "Shock High Speed Compression Damping"},
                                      {'N', "Shock Low Speed Compression Damping"},
                                      {'N', "Shock High Speed Rebound Damping"},
                                      {'N', "Shock Low Speed Rebound Damping"},
                                      {'N', "Shock Spring Rate"},
                                      {'N', "Shock Preload"},
                                      {'N', "Countershaft Sprocket"},
                                      {'N', "Rear Sprocket"},
                                      {'N', "Rider Vertical Spring"},
                                      {'N', "Rider Vertical Damping"},
                                      {'N', "Rider Forward Spring"},
                                      {'N', "Rider Forward Damping"},
                                      {'N', "Rider Mass Distribution"}};
const item_spec stability_items[] = {
    {'B', "Back to Bike Setup Menu"}, {'N', "Leveling"},           {'N', "Roll Damping"},
    {'N', "Roll Limit Angle"},        {'N', "Roll Limit Factor"},  {'N', "Steering Damping"},
    {'N', "Steering Strength"},       {'N', "Max Steering Force"}, {'N', "Direct Steering"},
    {'N', "Slow Damping Speed"},      {'N', "Slow Damping Factor"}, {'N', "Landing Damping Falloff"},
    {'N', "Landing Damping Factor"},  {'N', "Full Lock Speed"},    {'N', "Restricted Lock Speed"},
    {'N', "Restricted Lock Angle"}};
const item_spec controls_items[] = {
    {'B', "Back to Main Menu"}, {'K', "Throttle"},     {'K', "Front Brake"},   {'K', "Rear Brake"},
    {'K', "Left"},              {'K', "Right"},        {'K', "Clutch"},        {'K', "Upshift"},
    {'K', "Downshift"},         {'K', "Sit/Dab"},      {'K', "Back up"},       {'K', "Lean Forward"},
    {'K', "Lean Backward"},     {'K', "Pause"},        {'K', "Step"},          {'K', "Rewind"},
    {'K', "Skip"},              {'K', "Previous Bike"}, {'K', "Next Bike"},    {'K', "Chat"},
    {'K', "Screenshot"}};
const item_spec graphics_items[] = {{'B', "Back to Main Menu"},
                                    {'B', "Advanced Graphics Setup"},
                                    {'B', "Use Compatibility Settings"},
                                    {'B', "Use High FPS Settings"},
                                    {'B', "Use Normal Settings"},
                                    {'B', "Use High Detail Settings"},
                                    {'C', "Video Mode"},
                                    {'B', "Switch To Selected Mode Now"},
                                    {'C', "Vertical Sync"},
                                    {'C', "Hide 1st Person Rider"},
                                    {'C', "Rigid 3rd person camera"},
                                    {'N', "Field Of View"},
                                    {'N', "1st Person Height"},
                                    {'N', "1st Person Angle"},
                                    {'N', "3rd Person Height"},
                                    {'N', "3rd Person Distance"},
                                    {'N', "Volume"},
                                    {'N', "Competitor Volume"}};
const item_spec advanced_graphics_items[] = {
    {'B', "Back to Graphics/Sound Menu"}, {'N', "Ground Geometric Detail"}, {'N', "Ground Texture Levels"},
    {'C', "Ground Texture Resolution"},   {'C', "Enable Ground Mipmaps"},   {'C', "Compress Textures"},
    {'C', "Terrain Rendering Method"},    {'C', "Use Shader Programs"},     {'N', "Model Geometric Detail"},
    {'N', "Model Texture Detail"},        {'N', "Roost Density"},           {'N', "Reshade Delay"},
    {'C', "Enable Lens Flares"},          {'C', "Enable Reflections"},      {'C', "Multisampling"}};

text_field_state g_name_field{0, true};
text_field_state g_number_field{0, false};
text_field_state g_server_field{0, true};
text_field_state g_line_field{0, true};

std::vector<menu_item> g_items;
// The page g_items was built for (the frame loop also opens and closes
// pages itself: Esc, the Chat key).
int g_menu_page = main_page;  // the open page
int g_built_page = no_menu;

text_field_state* field_of(const setting* s) {
    if (!s || !s->label) return nullptr;
    if (!strcmp(s->label, "Name")) return &g_name_field;
    if (!strcmp(s->label, "Number")) return &g_number_field;
    if (!strcmp(s->label, "Server")) return &g_server_field;
    return nullptr;
}

bool is_picking_choice(const char* label) {
    static const char* const picking[] = {"Track",  "Bike",          "Riding Gear",
                                          "Helmet", "Bike Graphics", "Wheel Graphics"};
    for (const char* p : picking)
        if (!strcmp(label, p)) return true;
    return false;
}

void add_button(const char* label, bool go = false) {
    menu_item it;
    it.label = label;
    it.go = go;
    g_items.push_back(std::move(it));
}

void add_spec(const item_spec& spec) {
    if (spec.kind == 'B') {
        add_button(spec.label, !strcmp(spec.label, "Start"));
        return;
    }
    menu_item it;
    it.label = spec.label;
    setting_kind kind = spec.kind == 'C'   ? setting_kind::choice
                        : spec.kind == 'N' ? setting_kind::number
                        : spec.kind == 'T' ? setting_kind::text
                                           : setting_kind::binding;
    it.kind = spec.kind == 'C'   ? menu_item_kind::choice
              : spec.kind == 'N' ? menu_item_kind::number
              : spec.kind == 'T' ? menu_item_kind::text
                                 : menu_item_kind::binding;
    it.record = record_by_label(spec.label, kind);
    // A record this build lacks is shown as a plain label rather than lost.
    if (!it.record) it.kind = menu_item_kind::button;
    it.field = field_of(it.record);
    it.picks = it.kind == menu_item_kind::choice && is_picking_choice(spec.label);
    g_items.push_back(std::move(it));
}

template <size_t N>
void add_specs(const item_spec (&specs)[N]) {
    for (const item_spec& s : specs) add_spec(s);
}

// The 20 rows of a list page over `count` entries on page `page`.
void add_entries(int count, int page, const std::vector<std::string>& labels) {
    for (int i = 0; i < list_page_size; i++) {
        menu_item it;
        it.kind = menu_item_kind::entry;
        it.entry = i;
        int index = page * list_page_size + i;
        it.hidden = index >= count;
        if (!it.hidden && (size_t)i < labels.size()) it.label = labels[(size_t)i];
        g_items.push_back(std::move(it));
    }
}

int last_list_page(int count) { return std::max(0, (count + list_page_size - 1) / list_page_size - 1); }

}  // namespace

// ---- shared state -----------------------------------------------------------------------
pick_list_state pick_list;
int demo_list_page = 0;
int series_list_page = 0;
int chosen_series = -1;
std::string input_line;
int input_line_scroll = 0;
std::vector<std::string> input_history;
int input_history_cursor = -1;

text_field_state& input_line_field() { return g_line_field; }

int pick_list_count() { return pick_list.choice && pick_list.choice->items ? pick_list.choice->items->count : 0; }
int pick_list_page() { return pick_list.page; }

const std::vector<menu_item>& menu_items() { return g_items; }
std::vector<menu_item>& menu_items_mutable() { return g_items; }

void build_menu_items(int page) {
    g_built_page = page;
    refresh_list_choices();
    std::vector<menu_item> old;
    old.swap(g_items);
    switch (page) {
        case main_page: add_specs(main_items); break;
        case new_race_page:
            add_specs(new_race_items);
            for (int i = 0; i < lineup_settings; i++) {
                std::string label = "Gate " + std::to_string(i + 1);
                add_spec(item_spec{'C', label.c_str()});
                g_items.back().label = label;
            }
            break;
        case pick_page: {
            add_button("Cancel");
            add_button("Prev Page");
            std::vector<std::string> labels;
            int count = pick_list_count();
            for (int i = 0; i < list_page_size; i++) {
                int k = pick_list.page * list_page_size + i;
                labels.push_back(k < count && pick_list.choice->items->items[k] ? pick_list.choice->items->items[k] : "");
            }
            add_entries(count, pick_list.page, labels);
            add_button("Next Page");
            break;
        }
        case playback_page: {
            add_button("Back to Main Menu");
            add_spec(item_spec{'C', "Playback Mode"});
            add_button("Prev Page");
            std::vector<std::string> labels;
            for (int i = 0; i < list_page_size; i++) {
                size_t k = (size_t)(demo_list_page * list_page_size + i);
                labels.push_back(k < demo_list.size() ? demo_list[k].display : "");
            }
            add_entries((int)demo_list.size(), demo_list_page, labels);
            add_button("Next Page");
            break;
        }
        case series_page: {
            const std::vector<points_series>& all = series_list();
            int count = (int)all.size();
            series_list_page = std::clamp(series_list_page, 0, last_list_page(count));
            add_button("Back to Main Menu");
            add_button("Prev Page");
            // The page buttons show only where there is a page to go to.
            g_items.back().hidden = series_list_page == 0;
            std::vector<std::string> labels;
            for (int i = 0; i < list_page_size; i++) {
                size_t k = (size_t)(series_list_page * list_page_size + i);
                labels.push_back(k < all.size() ? all[k].name : "");
            }
            add_entries(count, series_list_page, labels);
            add_button("Next Page");
            g_items.back().hidden = series_list_page >= last_list_page(count);
            break;
        }
        case standings_page:
            add_button("Back to Points Series List");
            add_button("Enter Next Event", true);
            add_button("Practice Next Event");
            add_button("Reset Points");
            break;
        case time_trial_page: add_specs(time_trial_items); break;
        case bike_setup_page: add_specs(bike_setup_items); break;
        case suspension_page: add_specs(suspension_items); break;
        case stability_page: add_specs(stability_items); break;
        case controls_page: add_specs(controls_items); break;
        case graphics_page: add_specs(graphics_items); break;
        case advanced_graphics_page: add_specs(advanced_graphics_items); break;
        case multiplayer_page:
            add_button("Back to Main Menu");
            add_button(net_connected() ? "Disconnect" : "Connect");
            add_button("Request Restart");
            add_spec(item_spec{'T', "Server"});
            break;
        case input_line_page: {
            menu_item it;
            it.kind = menu_item_kind::text;
            it.label = "> ";
            it.field = &g_line_field;
            g_items.push_back(std::move(it));
            break;
        }
        default: break;
    }
    // The rectangles stay those of the last drawing until it is drawn again.
    for (size_t i = 0; i < g_items.size() && i < old.size(); i++) {
        g_items[i].rect = old[i].rect;
        g_items[i].slider_x0 = old[i].slider_x0;
        g_items[i].slider_x1 = old[i].slider_x1;
    }
    if (!g_items.empty()) menu_cursor = std::clamp(menu_cursor, 0, (int)g_items.size() - 1);
}

void follow_page_change() {
    if (g_menu_page != g_built_page) open_menu_page(g_menu_page);
}

void open_menu_page(int page) {
    g_menu_page = page;
    menu_cursor = 0;
    g_items.clear();
    g_built_page = page;
    if (page != no_menu) build_menu_items(page);
    // The first item may be one that is not drawn.
    if (!g_items.empty() && g_items[0].hidden) move_menu_cursor(1);
}

int current_menu_page() { return g_menu_page; }
void set_menu_page(int page) { g_menu_page = page; }

void open_pick_list(const setting* choice, const char* title, int return_page) {
    pick_list.choice = choice;
    pick_list.title = title;
    pick_list.return_page = return_page;
    pick_list.page = 0;
    open_menu_page(pick_page);
}

void move_menu_cursor(int direction) {
    int n = (int)g_items.size();
    if (n == 0) return;
    int at = std::clamp(menu_cursor, 0, n - 1);
    int to = at + direction;
    while (to >= 0 && to < n && g_items[(size_t)to].hidden) to += direction;
    if (to < 0 || to >= n) {
        // Nothing drawn that way: stay, unless the current item is hidden too.
        if (!g_items[(size_t)at].hidden) return;
        to = at;
        while (to >= 0 && to < n && g_items[(size_t)to].hidden) to -= direction;
        if (to < 0 || to >= n) return;
    }
    menu_cursor = to;
}

void change_list_page(int& page, int count, int direction) {
    page = std::clamp(page + direction, 0, last_list_page(count));
}

void after_choice_edit(const setting* s) {
    store_list_choice(s);
    if (s && s->label && !strcmp(s->label, "Bike")) bike_model_changed();
}

void reset_menu_state() {
    menu_cursor = 0;
    search_state = choice_search{};
    pick_list = pick_list_state{};
    demo_list_page = series_list_page = 0;
    chosen_series = -1;
    g_name_field = text_field_state{0, true};
    g_number_field = text_field_state{0, false};
    g_server_field = text_field_state{0, true};
    g_line_field = text_field_state{0, true};
    input_line.clear();
    input_line_scroll = 0;
    input_history.clear();
    input_history_cursor = -1;
    rider_info_changed = false;
    reset_menu_actions();
    g_items.clear();
    g_built_page = no_menu;
}
