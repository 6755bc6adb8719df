// Where the open page's items go, what colours they take, and painting that
// into the screen layer. Layout works in window pixels inside the largest
// centred 4:3 area; one text unit is a fraction of that area's height.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "bike/bike_info.h"
#include "core/bike_setup.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/clock.h"
#include "core/text.h"
#include "net/client.h"
#include "race/series.h"
#include "ui/menu.h"
#include "ui/menu_internal.h"
#include "ui/screens.h"
#include "ui/text_draw.h"

namespace {

constexpr float row_pitch = 1.375f;  // units from one row to the next
constexpr float border = 0.125f;     // box border round the text
constexpr float default_divisor = 32;
constexpr float new_race_divisor = 42;
constexpr float input_line_divisor = 53;
constexpr float items_top = 2;  // units: the first row below the title
constexpr int input_line_messages = 50;
// Units kept free at the bottom for the build label.
constexpr float bottom_reserve = 1.75f;

// ---- colours ------------------------------------------------------------------------
const text_colour label_box{0, 0, 0, 0.25f}, label_text{0.9f, 0.9f, 0.9f, 1};
const text_colour normal_box{0.5f, 0.5f, 0.5f, 0.25f}, normal_text{0.9f, 0.9f, 0.9f, 0.8f};
const text_colour lit_box{0.9f, 0.9f, 0.9f, 0.8f}, lit_text{0, 0, 0, 1};
const text_colour go_box{0, 1, 0, 0.3f}, go_text{0.9f, 0.9f, 0.9f, 0.8f};
const text_colour go_lit_box{0, 1, 0, 0.8f}, go_lit_text{0.9f, 0.9f, 0.9f, 1};
const text_colour available_box{0, 1, 0, 0.5f}, available_text{0.9f, 0.9f, 0.9f, 1};
const text_colour unavailable_box{1, 0, 0, 0.5f}, unavailable_text{0, 0, 0, 1};
const text_colour bar_colour{0.25f, 0.55f, 1, 0.45f};
const text_colour red{1, 0, 0, 1};
const text_colour white{1, 1, 1, 1};

struct page_area {
    float x = 0, y = 0, w = 0, h = 0;
    float unit = 0;
};

page_area area_for(int width, int height, float divisor) {
    page_area a;
    a.w = (float)width;
    a.h = (float)height;
    if (a.w * 3 > a.h * 4)
        a.w = a.h * 4 / 3;
    else
        a.h = a.w * 3 / 4;
    a.x = ((float)width - a.w) / 2;
    a.y = ((float)height - a.h) / 2;
    a.unit = a.h / divisor;
    return a;
}

menu_frame g_frame;

void box(float x0, float y0, float x1, float y1, text_colour c) {
    menu_shape s;
    s.kind = menu_shape::box;
    s.x0 = x0, s.y0 = y0, s.x1 = x1, s.y1 = y1;
    s.colour = c;
    g_frame.shapes.push_back(std::move(s));
}

void text(menu_shape::kind_t kind, const std::string& content, float x0, float x1, float y, float height,
          text_colour c, int cursor_at = -1) {
    menu_shape s;
    s.kind = kind;
    s.x0 = x0, s.x1 = x1, s.y0 = y, s.y1 = y + height;
    s.height = height;
    s.colour = c;
    s.content = content;
    s.cursor_at = cursor_at;
    g_frame.shapes.push_back(std::move(s));
}

// A box round one line of text whose top is `top`: the box spans the
// border above and below.
void cell(float x0, float x1, float top, float unit, text_colour box_colour, text_colour text_colour_,
          const std::string& content, bool centred, int cursor_at = -1) {
    box(x0, top - border * unit, x1, top + (1 + border) * unit, box_colour);
    if (centred)
        text(menu_shape::text_centred, content, x0, x1, top, unit, text_colour_);
    else
        text(menu_shape::text, content, x0 + 0.25f * unit, x1, top, unit, text_colour_, cursor_at);
}

menu_rect rect_of(float x0, float x1, float top, float unit) {
    return menu_rect{(int)std::floor(x0), (int)std::floor(top - border * unit), (int)std::ceil(x1),
                     (int)std::ceil(top + (1 + border) * unit)};
}

// What some suspension and gearing adjustments mean on the chosen model,
// shown after the value; "" for the others.
std::string physical_value(const menu_item& it) {
    if (it.kind != menu_item_kind::number || !it.record->real) return "";
    const int model = std::clamp(player_setup.bike, 0, bike_model_count - 1);
    const bike_info& m = bike_info_table[(size_t)model];
    const double v = *it.record->real;
    const std::string& l = it.label;
    if (l == "Fork Spring Rate") return fork_spring_rate_text(m.fork_spring_soft, m.fork_spring_stiff, v);
    if (l == "Shock Spring Rate") return shock_spring_rate_text(m.shock_spring_soft, m.shock_spring_stiff, v);
    if (l == "Fork Preload") return adjusted_length_text(m.fork_preload_min, m.fork_preload_max, v);
    // The oil level as the air gap above it: the most gap at the lowest level.
    if (l == "Fork Oil Level") return adjusted_length_text(m.fork_air_gap_max, m.fork_air_gap_min, v);
    if (l == "Shock Preload") return adjusted_length_text(m.shock_preload_min, m.shock_preload_max, v);
    if (l == "Countershaft Sprocket") return sprocket_text((int)m.countershaft_teeth, v);
    if (l == "Rear Sprocket") return sprocket_text((int)m.rear_sprocket_teeth, v);
    return "";
}

std::string value_text(const menu_item& it) {
    const setting& s = *it.record;
    switch (it.kind) {
        case menu_item_kind::choice: return choice_value_text(s);
        case menu_item_kind::number: {
            std::string physical = physical_value(it);
            return physical.empty() ? number_value_text(s) : number_value_text(s) + "   (" + physical + ")";
        }
        case menu_item_kind::text: return s.text ? *s.text : std::string();
        case menu_item_kind::binding:
            return s.binding ? binding_value_text(*s.binding, watched_binding() == s.binding) : "None";
        default: return "";
    }
}

// One item in the row whose text top is `top`, x0 … x1 wide; setting rows
// split into label and value at `split` of the width.
void lay_item(menu_item& it, bool lit, float x0, float x1, float top, float unit, float split, int row) {
    it.rect = rect_of(x0, x1, top, unit);
    it.slider_x0 = it.slider_x1 = -1;
    if (it.kind == menu_item_kind::button || it.kind == menu_item_kind::entry) {
        text_colour b = lit ? lit_box : normal_box, t = lit ? lit_text : normal_text;
        if (it.go) b = lit ? go_lit_box : go_box, t = lit ? go_lit_text : go_text;
        if (it.kind == menu_item_kind::entry && !lit) {
            float grey = row % 2 == 0 ? 0.3f : 0.2f;
            b = text_colour{grey, grey, grey, 0.25f};
        }
        cell(x0, x1, top, unit, b, t, it.label, it.kind == menu_item_kind::button);
        return;
    }
    const float mid = x0 + (x1 - x0) * split;
    const float gap = 0.125f * unit;
    // A text field without a label (the input line) is one wide value cell.
    if (!it.label.empty()) {
        cell(x0, mid - gap, top, unit, label_box, label_text, it.label, false);
    }
    float v0 = it.label.empty() ? x0 : mid + gap;
    text_colour b = lit ? lit_box : normal_box, t = lit ? lit_text : normal_text;
    std::string value = value_text(it);
    int cursor_at = -1;
    if (it.kind == menu_item_kind::text && lit && it.field) {
        clamp_text_cursor(*it.record->text, *it.field);
        cursor_at = (int)it.field->cursor;
    }
    box(v0, top - border * unit, x1, top + (1 + border) * unit, b);
    if (it.kind == menu_item_kind::number) {
        it.slider_x0 = (int)std::lround(v0 + border * unit);
        it.slider_x1 = (int)std::lround(x1 - border * unit);
        float fill = (float)number_fill(*it.record);
        box((float)it.slider_x0, top, (float)it.slider_x0 + fill * (float)(it.slider_x1 - it.slider_x0),
            top + unit, bar_colour);
    }
    text(menu_shape::text, value, v0 + 0.25f * unit, x1, top, unit, t, cursor_at);
}

void title_row(const page_area& a, const std::string& title, float x0, float x1) {
    if (title.empty()) return;
    cell(x0, x1, a.y + 0.5f * a.unit, a.unit, label_box, label_text, title, true);
}

// ---- the series standings table -------------------------------------------------------
constexpr int rounds_per_block = 8;
constexpr float standings_pitch = 1.0f;  // units from one table line to the next

const points_series* shown_series() {
    if (chosen_series < 0 || chosen_series >= (int)series_list().size()) return nullptr;
    return &series_list()[(size_t)chosen_series];
}

int standings_blocks(const points_series& s) {
    int rounds = (int)completed_rounds(s).size();
    return std::max(1, (rounds + rounds_per_block - 1) / rounds_per_block);
}

int standings_lines(const points_series& s) { return standings_blocks(s) * (1 + s.riders()); }

// Blocks of eight rounds, each with its header: "No.", "Rd n" …, "Total";
// a row per rider, best total first.
void lay_standings(float x0, float x1, float top, float unit, const points_series& s) {
    std::vector<series_round> rounds = completed_rounds(s);
    std::vector<int> order = series_table_order(s);
    const float number_w = 3.5f * unit, total_w = 4 * unit;
    const float round_w = (x1 - x0 - number_w - total_w) / rounds_per_block;
    const float th = 0.8f * unit;
    const text_colour human{0.75f, 0.75f, 1, 1}, shade{1, 1, 1, 0.25f};
    int R = (int)s.robot_numbers.size();
    for (int b = 0; b < standings_blocks(s); b++) {
        int first = b * rounds_per_block;
        int last = std::min((int)rounds.size(), first + rounds_per_block);
        text(menu_shape::text, "No.", x0, x0 + number_w, top, th, white);
        for (int r = first; r < last; r++)
            text(menu_shape::text, format_string("Rd %d", r + 1), x0 + number_w + (r - first) * round_w,
                 x0 + number_w + (r - first + 1) * round_w, top, th, white);
        text(menu_shape::text, "Total", x1 - total_w, x1, top, th, white);
        top += standings_pitch * unit;
        for (size_t row = 0; row < order.size(); row++) {
            int rider = order[row];
            if (row % 2 == 1) box(x0, top - 0.1f * unit, x1, top + 0.9f * unit, shade);
            bool is_human = rider == R;
            std::string number = is_human ? player_setup.number : format_string("%d", s.robot_numbers[(size_t)rider]);
            text(menu_shape::text, number, x0, x0 + number_w, top, th, is_human ? human : white);
            for (int r = first; r < last; r++)
                text(menu_shape::text, round_cell(s, rounds[(size_t)r], rider), x0 + number_w + (r - first) * round_w,
                     x0 + number_w + (r - first + 1) * round_w, top, th, white);
            text(menu_shape::text, format_string("%d", series_total(s, rider)), x1 - total_w, x1, top, th, white);
            top += standings_pitch * unit;
        }
    }
}

// ---- the riders of an online race ------------------------------------------------------
int riders_shown() {
    if (client.state != client_racing) return 0;
    int n = 0;
    for (const client_slot& c : client.slots) n += c.kind != client_slot_none;
    return n;
}

// "Slot", "Ping", "No.", "Bike", "Name": a row per own or remote slot.
void lay_riders(float x0, float x1, float top, float unit) {
    const float th = 0.8f * unit;
    const text_colour shade{1, 1, 1, 0.25f};
    const float column[5] = {0, 0.1f, 0.22f, 0.32f, 0.6f};
    const char* heads[5] = {"Slot", "Ping", "No.", "Bike", "Name"};
    auto at = [&](int k) { return x0 + (x1 - x0) * column[k]; };
    auto end = [&](int k) { return k == 4 ? x1 : at(k + 1); };
    for (int k = 0; k < 5; k++) text(menu_shape::text, heads[k], at(k), end(k), top, th, white);
    top += unit;
    int row = 0;
    for (int slot = 0; slot < (int)client.slots.size(); slot++) {
        const client_slot& c = client.slots[(size_t)slot];
        if (c.kind == client_slot_none) continue;
        if (row++ % 2 == 1) box(x0, top - 0.1f * unit, x1, top + 0.9f * unit, shade);
        const std::string cells[5] = {format_string("%d", slot),
                                      format_string("%d", (int)(c.round_trip * tic_length * 1000)),
                                      c.info.number, c.info.model, c.info.name};
        for (int k = 0; k < 5; k++) text(menu_shape::text, cells[k], at(k), end(k), top, th, white);
        top += unit;
    }
}

struct page_look {
    std::string title;
    float divisor = default_divisor;
    float split = 0.5f;
    int extra_rows = 0;           // text lines below the items
    float right_reserve = 0;      // units kept free right of the rows
};

page_look look_of(int page) {
    page_look l;
    switch (page) {
        case new_race_page: l.title = "New Race", l.divisor = new_race_divisor, l.split = 0.45f; break;
        case pick_page: l.title = pick_list.title; break;
        case playback_page: l.title = "Playback Race"; break;
        case series_page: l.title = "Points Series"; l.extra_rows = 1; break;
        case standings_page: {
            const points_series* s = shown_series();
            if (!s) break;
            if (s->completed_events < (int)s->events.size())
                l.title = format_string("Next Event: %.900s", s->events[(size_t)s->completed_events].name.c_str());
            else
                l.title = format_string("%.900s Final Standings", s->name.c_str());
            l.extra_rows = (int)std::ceil(standings_lines(*s) * standings_pitch / row_pitch);
            break;
        }
        case time_trial_page: l.title = "Time Trial"; l.split = 0.55f; break;
        case bike_setup_page: l.title = "Bike Setup"; break;
        case suspension_page: l.title = "Suspension and Gearing"; l.split = 0.6f; break;
        case stability_page: l.title = "Advanced Stability Setup"; break;
        case controls_page: l.title = "Customize Controls"; l.split = 0.4f; break;
        case graphics_page: l.title = "Graphics/Sound Setup"; l.extra_rows = 6; break;
        case advanced_graphics_page:
            l.title = "Advanced Graphics Setup", l.right_reserve = 8;
            break;
        case multiplayer_page:
            l.title = "Multiplayer";
            l.split = 0.375f;
            l.extra_rows = riders_shown() > 0 ? (int)std::ceil((riders_shown() + 1) / row_pitch) + 1 : 0;
            break;
        default: break;
    }
    return l;
}

// Rows flow top to bottom and on into further columns when a column is full.
void lay_rows(const page_area& a, const page_look& look) {
    std::vector<menu_item>& items = menu_items_mutable();
    const float unit = a.unit;
    const float bottom_units = a.h / unit - bottom_reserve - look.extra_rows * row_pitch;
    const int rows_per_column = std::max(1, (int)std::floor((bottom_units - items_top) / row_pitch));
    const int columns = std::max(1, ((int)items.size() + rows_per_column - 1) / rows_per_column);
    const float margin = unit, column_gap = unit;
    const float usable = a.w - 2 * margin - look.right_reserve * unit;
    const float column_width = (usable - (columns - 1) * column_gap) / (float)columns;
    title_row(a, look.title, a.x + margin, a.x + a.w - margin);
    for (size_t i = 0; i < items.size(); i++) {
        menu_item& it = items[i];
        int column = (int)i / rows_per_column, row = (int)i % rows_per_column;
        float x0 = a.x + margin + column * (column_width + column_gap);
        float top = a.y + (items_top + row * row_pitch) * unit;
        if (it.hidden) {
            it.rect = menu_rect{};
            continue;
        }
        lay_item(it, (int)i == menu_cursor, x0, x0 + column_width, top, unit, look.split, it.entry >= 0 ? it.entry : row);
    }
}

float rows_end(const page_area& a, const page_look& look) {
    const std::vector<menu_item>& items = menu_items();
    const float bottom_units = a.h / a.unit - bottom_reserve - look.extra_rows * row_pitch;
    const int rows_per_column = std::max(1, (int)std::floor((bottom_units - items_top) / row_pitch));
    int rows = std::min((int)items.size(), rows_per_column);
    return a.y + (items_top + rows * row_pitch) * a.unit;
}

// The unit that fits every row of a single-column page, or the page's own.
float divisor_for(int page, const page_look& look) {
    if (page == new_race_page) return look.divisor;
    float needed = items_top + ((float)menu_items().size() + (float)look.extra_rows) * row_pitch + bottom_reserve;
    return std::max(look.divisor, std::ceil(needed));
}

void line(const page_area& a, float top, const std::string& content, text_colour c) {
    text(menu_shape::text_centred, content, a.x, a.x + a.w, top, a.unit, c);
}

void lay_main_page(const page_area& a, int height) {
    std::vector<menu_item>& items = menu_items_mutable();
    const float x0 = a.x + (a.w - 15 * a.unit) / 2, x1 = x0 + 15 * a.unit;
    for (size_t i = 0; i < items.size(); i++) {
        float top = a.y + (4.5f + (float)i * row_pitch) * a.unit;
        lay_item(items[i], (int)i == menu_cursor, x0, x1, top, a.unit, 0.5f, (int)i);
    }
    double seconds = menu_service.seconds ? menu_service.seconds() : 0;
    float alpha = (float)std::clamp(10 - seconds, 0.0, 1.0);
    if (alpha > 0) {
        text_colour c{1, 1, 1, alpha};
        float bottom = (float)height;
        line(a, bottom - 2.5f * a.unit, "Although this software depicts real objects and places, it is not", c);
        line(a, bottom - 1.25f * a.unit, "endorsed by or affiliated with any of the subjects depicted.", c);
    }
}

void lay_graphics_extras(const page_area& a, const page_look& look) {
    float top = rows_end(a, look) + 0.25f * a.unit;
    line(a, top, current_settings_text(), label_text);
    line(a, top + row_pitch * a.unit, "Some settings will not take effect until next restart", red);
    std::string vendor = "NULL", renderer = "NULL", version = "NULL";
    if (menu_service.driver_info) menu_service.driver_info(vendor, renderer, version);
    const std::string lines[] = {"Driver info:", vendor, renderer, version};
    for (int i = 0; i < 4; i++) line(a, top + (2 + i) * row_pitch * a.unit, lines[i], label_text);
}

void availability(const menu_item& it, bool available, const page_area& a) {
    if (it.rect.left < 0) return;
    float x0 = (float)it.rect.right + 0.5f * a.unit, x1 = x0 + 7 * a.unit;
    float top = (float)it.rect.top + border * a.unit;
    cell(x0, x1, top, a.unit, available ? available_box : unavailable_box,
         available ? available_text : unavailable_text, available ? "Available" : "Not Available", true);
}

void lay_advanced_extras(const page_area& a) {
    bool fbo = menu_service.framebuffer_objects && menu_service.framebuffer_objects();
    bool shaders = menu_service.shader_programs && menu_service.shader_programs();
    for (const menu_item& it : menu_items()) {
        if (it.label == "Terrain Rendering Method") availability(it, !(settings.render_texture == 2 && !fbo), a);
        if (it.label == "Use Shader Programs") availability(it, shaders, a);
    }
}

void lay_input_line(int width, int height) {
    box(0, 0, (float)width, (float)height, text_colour{0, 0, 0, 0.75f});
    const page_area a = area_for(width, height, input_line_divisor);
    const text_colour grey{0.75f, 0.75f, 0.75f, 1};
    for (int k = 0; k < input_line_messages; k++) {
        // Row 49 is the newest shown line, at the scroll offset.
        int age = input_line_scroll + (input_line_messages - 1 - k);
        std::string content = message_line(age);
        if (k == input_line_messages - 1 && input_line_scroll > 0) content = "^    ^    ^    ^    ^";
        if (content.empty()) continue;
        text(menu_shape::text, content, a.x + a.unit, a.x + a.w, a.y + (0.5f + k) * a.unit, a.unit, grey);
    }
    std::vector<menu_item>& items = menu_items_mutable();
    if (items.empty()) return;
    menu_item& it = items[0];
    const float top = a.y + (0.75f + input_line_messages) * a.unit;
    const float x0 = a.x + a.unit, x1 = a.x + a.w - a.unit;
    bool lit = menu_cursor == 0;
    clamp_text_cursor(input_line, input_line_field());
    it.rect = rect_of(x0, x1, top, a.unit);
    cell(x0, x1, top, a.unit, lit ? lit_box : normal_box, lit ? lit_text : normal_text, "> " + input_line, false,
         lit ? (int)input_line_field().cursor + 2 : -1);
}

void lay_quit_page(const page_area& a) {
    line(a, a.y + 8 * a.unit, "Quarnix", white);
    line(a, a.y + 9.5f * a.unit, "Motocross on a living track", label_text);
    line(a, a.y + 14 * a.unit, "Press any key to exit or ESC to keep playing", white);
    double seconds = menu_service.seconds ? menu_service.seconds() : 0;
    bool modified = menu_service.track_modified && menu_service.track_modified();
    if (modified && 2 * seconds - std::floor(2 * seconds) > 0.5)
        line(a, a.y + 16 * a.unit, "Track has been modified since last save!  Think about it!!!", red);
}

}  // namespace

std::string current_settings_text() {
    int preset = matching_graphics_preset();
    return std::string("Current Settings: ") + (preset < 0 ? "Custom" : graphics_presets[(size_t)preset].name);
}

const menu_frame& layout_menu(int width, int height) {
    g_frame.width = width;
    g_frame.height = height;
    g_frame.shapes.clear();
    follow_page_change();
    const int page = current_menu_page();
    if (page == no_menu || width <= 0 || height <= 0) return g_frame;
    build_menu_items(page);
    if (page == input_line_page) {
        lay_input_line(width, height);
        return g_frame;
    }
    if (page == quit_page) {
        lay_quit_page(area_for(width, height, default_divisor));
        return g_frame;
    }
    if (page == main_page) {
        lay_main_page(area_for(width, height, default_divisor), height);
        return g_frame;
    }
    page_look look = look_of(page);
    const page_area a = area_for(width, height, divisor_for(page, look));
    lay_rows(a, look);
    if (page == graphics_page) lay_graphics_extras(a, look);
    if (page == advanced_graphics_page) lay_advanced_extras(a);
    if (page == series_page && series_list().empty())
        line(a, rows_end(a, look), "No points series found (\".series\" files)", label_text);
    if (page == multiplayer_page && riders_shown() > 0)
        lay_riders(a.x + a.unit, a.x + a.w - a.unit, rows_end(a, look) + 0.5f * a.unit, a.unit);
    if (page == standings_page)
        if (const points_series* s = shown_series())
            lay_standings(a.x + a.unit, a.x + a.w - a.unit, rows_end(a, look) + 0.5f * a.unit, a.unit, *s);
    return g_frame;
}

void menu_draw(int width, int height) {
    if (current_menu_page() == no_menu) return;
    menu_tick();
    const menu_frame& frame = layout_menu(width, height);
    if (width <= 0 || height <= 0) return;
    if (current_menu_page() != input_line_page) draw_menu_background(width, height);
    begin_screen_layer(width, height);
    const float W = screen_half_width();
    auto lx = [&](float px) { return (px / (float)width * 2 - 1) * W; };
    auto ly = [&](float py) { return screen_half_height - py / (float)height * 2; };
    const float scale = 2.0f / (float)height;
    for (const menu_shape& s : frame.shapes) {
        const float lh = s.height * scale;
        switch (s.kind) {
            case menu_shape::box: fill_rect(lx(s.x0), ly(s.y1), lx(s.x1), ly(s.y0), s.colour); break;
            case menu_shape::text:
                if (s.cursor_at >= 0) {
                    // The block behind the cursor's character (a blank's width at the end).
                    std::string before = s.content.substr(0, std::min((size_t)s.cursor_at, s.content.size()));
                    std::string under = (size_t)s.cursor_at < s.content.size() ? s.content.substr((size_t)s.cursor_at, 1) : " ";
                    if (under == " ") under = "_";
                    float x = lx(s.x0) + text_width_at(font_text, before.c_str(), lh);
                    float w = text_width_at(font_text, under.c_str(), lh);
                    fill_rect(x, ly(s.y1), x + w, ly(s.y0), text_colour{0.5f, 0.5f, 0.5f, 1});
                }
                draw_text_shadowed(font_text, s.content.c_str(), lx(s.x0), ly(s.y0), lh, s.colour);
                break;
            case menu_shape::text_centred:
                draw_text_centred(font_text, s.content.c_str(), lx(s.x0), lx(s.x1), ly(s.y0), lh, s.colour);
                break;
            case menu_shape::text_right: draw_text_right(font_text, s.content.c_str(), lx(s.x1), ly(s.y0), lh, s.colour); break;
        }
    }
    end_screen_layer();
}
