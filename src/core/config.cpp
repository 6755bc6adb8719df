#include "core/config.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bike_names.h"
#include "core/diag.h"
#include "core/text.h"

game_settings settings;
std::array<binding_setting, binding_count> bindings;

namespace {

// ---- item lists ----------------------------------------------------------------

const char* const no_yes_names[] = {"No", "Yes"};
const char* const skill_names[] = {"Novice", "Amateur", "Expert"};
const char* const dim_names[] = {"32x32", "64x64", "128x128", "256x256", "512x512", "1024x1024"};
const char* const compress_names[] = {"No", "Yes", "Always"};
const char* const render_names[] = {"Software", "Hardware/Copy", "Hardware/Direct", "Shaders/Copy",
                                    "Shaders/Direct"};
const char* const fixed_video_names[] = {"Default Fullscreen", "Windowed"};
const char* const playback_names[] = {"Playback Only", "Race Against"};
const char* const slot_names[] = {"Empty", "Human", "Robot", "Robot (2 stroke)", "Robot (4 stroke)"};
const char* const brake_names[] = {"Normal", "Antilock"};
const char* const wheelie_names[] = {"No", "Yes", "Front Only"};
const char* const multisample_names[] = {"No", "Yes", "Auto"};

template <size_t N>
constexpr item_list items_of(const char* const (&names)[N]) {
    return item_list{names, (int)N};
}

const item_list no_yes = items_of(no_yes_names);
const item_list skill_items = items_of(skill_names);
const item_list dim_items = items_of(dim_names);
const item_list compress_items = items_of(compress_names);
const item_list render_items = items_of(render_names);
const item_list playback_items = items_of(playback_names);
const item_list slot_items = items_of(slot_names);
const item_list brake_items = items_of(brake_names);
const item_list wheelie_items = items_of(wheelie_names);
const item_list multisample_items = items_of(multisample_names);
item_list video_items = items_of(fixed_video_names);

// ---- default bindings --------------------------------------------------------

struct binding_default {
    const char* key;
    const char* label;
    const char* key_name;
};
const binding_default binding_defaults[binding_count] = {
    {"throttle_key", "Throttle", "x"},
    {"front_brake_key", "Front Brake", "c"},
    {"rear_brake_key", "Rear Brake", "v"},
    {"left_key", "Left", "left"},
    {"right_key", "Right", "right"},
    {"clutch_key", "Clutch", "z"},
    {"upshift_key", "Upshift", "up"},
    {"downshift_key", "Downshift", "down"},
    {"dab_key", "Sit/Dab", "right ctrl"},
    {"back_up_key", "Back up", "b"},
    {"lean_forward_key", "Lean Forward", "n"},
    {"lean_backward_key", "Lean Backward", "m"},
    {"pause_key", "Pause", "pause"},
    {"step_key", "Step", "."},
    {"rewind_key", "Rewind", "\\"},
    {"skip_key", "Skip", "/"},
    {"prev_key", "Previous Bike", "["},
    {"next_key", "Next Bike", "]"},
    {"console_key", "Chat", "t"},
    {"screenshot_key", "Screenshot", "s"},
};

// ---- stability table ---------------------------------------------------------

struct stability_row {
    double bike_setup::*field;
    double t[6];
};
const stability_row stability_table[] = {
    {&bike_setup::leveling, {20, 20, 20, 20, 20, 20}},
    {&bike_setup::roll_damping, {40, 50, 60, 70, 75, 80}},
    {&bike_setup::roll_limit_angle, {90, 45, 45, 45, 45, 45}},
    {&bike_setup::roll_limit_factor, {0, 5, 10, 32, 32, 32}},
    {&bike_setup::steering_damping, {45, 45, 45, 45, 50, 60}},
    {&bike_setup::steering_strength, {75, 75, 75, 75, 75, 75}},
    {&bike_setup::max_steering_force, {400, 400, 400, 400, 400, 400}},
    {&bike_setup::direct_steering, {1, 1, 1, 1, 1, 0.125}},
    {&bike_setup::slow_damping_speed, {40, 40, 40, 40, 40, 40}},
    {&bike_setup::slow_damping_factor, {1, 1, 1.5, 2, 2, 2}},
    {&bike_setup::land_damping_falloff, {0, 0.125, 0.25, 0.25, 0.25, 0.25}},
    {&bike_setup::land_damping_factor, {1, 1.5, 2, 2, 2, 2}},
    {&bike_setup::full_lock_speed, {10, 10, 10, 10, 10, 10}},
    {&bike_setup::restricted_lock_speed, {50, 50, 50, 50, 50, 50}},
    {&bike_setup::restricted_lock, {45, 15, 10, 5, 2.5, 1}},
};

// ---- record builders -----------------------------------------------------------

setting plain_int(const char* key, int* v) {
    setting s;
    s.key = key;
    s.kind = setting_kind::plain_int;
    s.integer = v;
    return s;
}

setting plain_float(const char* key, double* v, double min, double max) {
    setting s;
    s.key = key;
    s.kind = setting_kind::plain_float;
    s.real = v;
    s.minimum = min;
    s.maximum = max;
    return s;
}

setting number(const char* key, double* v, const char* label, double step, double min, double max) {
    setting s = plain_float(key, v, min, max);
    s.kind = setting_kind::number;
    s.label = label;
    s.step = step;
    return s;
}

setting choice(const char* key, int* v, const char* label, const item_list* items) {
    setting s;
    s.key = key;
    s.kind = setting_kind::choice;
    s.integer = v;
    s.label = label;
    s.items = items;
    return s;
}

setting text(const char* key, std::string* v, const char* label, size_t limit) {
    setting s;
    s.key = key;
    s.kind = setting_kind::text;
    s.text = v;
    s.label = label;
    s.max_length = limit;
    return s;
}

setting legacy(const char* key, bool (*read)(const setting&, const char*)) {
    setting s;
    s.key = key;
    s.kind = setting_kind::ignored;
    s.read = read;
    return s;
}

// ---- keys with reading rules of their own -------------------------------------

// Old configurations name four models without their year.
bool read_bike(const setting& s, const char* value) {
    static const char* const renamed[][2] = {{"crf250", "crf250(2008)"},
                                            {"kx250f", "kx250f(2008)"},
                                            {"rmz250", "rmz250(2008)"},
                                            {"yz250f", "yz250f(2008)"}};
    for (const auto& r : renamed)
        if (strcmp(value, r[0]) == 0) value = r[1];
    return read_setting_plain(s, value);
}

bool read_stability(const setting& s, const char* value) {
    if (!read_setting_plain(s, value)) return false;
    apply_stability(*s.real);
    return true;
}

// "use_fbo" predates the terrain rendering choice.
bool read_use_fbo(const setting&, const char* value) {
    if (strcmp(value, "No") == 0) settings.render_texture = 1;        // "Hardware/Copy"
    else if (strcmp(value, "Yes") == 0) settings.render_texture = 2;  // "Hardware/Direct"
    return true;
}

// Generated keys ("slot%02d", "server_name_hist%02d", "Gate %d") need stable
// storage for the table's lifetime.
char slot_keys[lineup_settings][8];
char gate_labels[lineup_settings][12];
char history_keys[server_history_size][24];

struct config_table {
    std::vector<setting> records;
    size_t bindings_at = 0;
};

void add_setup_records(std::vector<setting>& t) {
    bike_setup& p = player_setup;
    size_t first = t.size();
    setting bike = choice("bike", &p.bike, "Bike", &bike_items);
    bike.read = read_bike;
    t.push_back(bike);
    t.push_back(text("name", &p.name, "Name", 63));
    t.push_back(text("number", &p.number, "Number", 3));
    t.push_back(text("rider_texture", &p.rider_texture, nullptr, 1023));
    t.push_back(text("head_texture", &p.head_texture, nullptr, 1023));
    t.push_back(text("bike_texture", &p.bike_texture, nullptr, 1023));
    t.push_back(text("wheel_texture", &p.wheel_texture, nullptr, 1023));
    setting stability = number("stability", &p.stability, "Stability", 1, 0, 100);
    stability.read = read_stability;
    t.push_back(stability);
    t.push_back(number("leveling", &p.leveling, "Leveling", 1, 0, 100));
    t.push_back(number("roll_damping", &p.roll_damping, "Roll Damping", 1, 0, 100));
    t.push_back(number("roll_limit_angle", &p.roll_limit_angle, "Roll Limit Angle", 1, 0, 180));
    t.push_back(number("roll_limit_factor", &p.roll_limit_factor, "Roll Limit Factor", 1, 0, 64));
    t.push_back(number("steering_damping", &p.steering_damping, "Steering Damping", 1, 0, 100));
    t.push_back(number("steering_strength", &p.steering_strength, "Steering Strength", 1, 0, 100));
    t.push_back(number("max_steering_force", &p.max_steering_force, "Max Steering Force", 5, 0, 1000));
    t.push_back(number("direct_steering", &p.direct_steering, "Direct Steering", 0.125, 0, 1));
    t.push_back(number("slow_damping_speed", &p.slow_damping_speed, "Slow Damping Speed", 1, 0, 100));
    t.push_back(number("slow_damping_factor", &p.slow_damping_factor, "Slow Damping Factor", 0.25, 1, 10));
    t.push_back(
        number("land_damping_falloff", &p.land_damping_falloff, "Landing Damping Falloff", 1.0 / 16, 0, 0.5));
    t.push_back(number("land_damping_factor", &p.land_damping_factor, "Landing Damping Factor", 0.25, 1, 3));
    t.push_back(number("full_lock_speed", &p.full_lock_speed, "Full Lock Speed", 1, 1, 100));
    t.push_back(number("restricted_lock_speed", &p.restricted_lock_speed, "Restricted Lock Speed", 1, 1, 100));
    t.push_back(number("restricted_lock", &p.restricted_lock, "Restricted Lock Angle", 0.125, 0, 45));
    t.push_back(choice("arcade", &p.arcade, "Arcade Physics", &no_yes));
    t.push_back(choice("front_brake", &p.front_brake, "Front Brake", &brake_items));
    t.push_back(choice("rear_brake", &p.rear_brake, "Rear Brake", &brake_items));
    t.push_back(choice("stop_wheelies", &p.stop_wheelies, "Stop Wheelies", &wheelie_items));
    t.push_back(choice("auto_shift", &p.auto_shift, "Automatic Shifting", &no_yes));
    t.push_back(choice("auto_dab", &p.auto_dab, "Dab When Stopped", &no_yes));
    t.push_back(choice("auto_align", &p.auto_align, "Realign After Fall", &no_yes));
    t.push_back(choice("sticky_dab", &p.sticky_dab, "Sticky Sit/Dab", &no_yes));
    t.push_back(choice("reverse_steering", &p.reverse_steering, "Reversed Steering", &no_yes));
    t.push_back(choice("lean_indicator", &p.lean_indicator, "Lean Indicator", &no_yes));
    t.push_back(number("auto_clutch_rpms", &p.auto_clutch_rpms, "Auto Clutch RPMs", 100, 0, 5000));
    t.push_back(number("brake_torque", &p.brake_torque, "Braking Torque (Front)", 10, 0, 500));
    t.push_back(number("rear_brake_torque", &p.rear_brake_torque, "Braking Torque (Rear)", 10, 0, 500));
    t.push_back(number("max_dab_speed", &p.max_dab_speed, "Max Dab Speed (MPH)", 1, 5, 60));
    t.push_back(
        number("front_sprocket_adjustment", &p.front_sprocket_adjustment, "Countershaft Sprocket", 1, -2, 2));
    t.push_back(number("rear_sprocket_adjustment", &p.rear_sprocket_adjustment, "Rear Sprocket", 1, -2, 2));
    struct adjustment {
        const char* key;
        double bike_setup::*field;
        const char* label;
    };
    static const adjustment suspension[] = {
        {"fork_compression_adjustment", &bike_setup::fork_compression_adjustment,
         "Fork High Speed Compression Damping"},
        {"fork_slow_compression_adjustment", &bike_setup::fork_slow_compression_adjustment,
         "Fork Low Speed Compression Damping"},
        {"fork_rebound_adjustment", &bike_setup::fork_rebound_adjustment, "Fork High Speed Rebound Damping"},
        {"fork_slow_rebound_adjustment", &bike_setup::fork_slow_rebound_adjustment,
         "Fork Low Speed Rebound Damping"},
        {"fork_spring_rate_adjustment", &bike_setup::fork_spring_rate_adjustment, "Fork Spring Rate"},
        {"fork_preload_adjustment", &bike_setup::fork_preload_adjustment, "Fork Preload"},
        {"fork_oil_level_adjustment", &bike_setup::fork_oil_level_adjustment, "Fork Oil Level"},
        {"shock_compression_adjustment", &bike_setup::shock_compression_adjustment,
         "Shock High Speed Compression Damping"},
        {"shock_slow_compression_adjustment", &bike_setup::shock_slow_compression_adjustment,
         "Shock Low Speed Compression Damping"},
        {"shock_rebound_adjustment", &bike_setup::shock_rebound_adjustment, "Shock High Speed Rebound Damping"},
        {"shock_slow_rebound_adjustment", &bike_setup::shock_slow_rebound_adjustment,
         "Shock Low Speed Rebound Damping"},
        {"shock_spring_rate_adjustment", &bike_setup::shock_spring_rate_adjustment, "Shock Spring Rate"},
        {"shock_preload_adjustment", &bike_setup::shock_preload_adjustment, "Shock Preload"},
        {"rider_yspring", &bike_setup::rider_yspring, "Rider Vertical Spring"},
        {"rider_ydamping", &bike_setup::rider_ydamping, "Rider Vertical Damping"},
        {"rider_zspring", &bike_setup::rider_zspring, "Rider Forward Spring"},
        {"rider_zdamping", &bike_setup::rider_zdamping, "Rider Forward Damping"},
    };
    for (const adjustment& a : suspension) t.push_back(number(a.key, &(p.*a.field), a.label, 1, 0, 100));
    t.push_back(number("rider_mass_distribution", &p.rider_mass_distribution, "Rider Mass Distribution", 0.01,
                       0.33, 0.5));
    for (size_t i = first; i < t.size(); i++) t[i].setup = true;
}

config_table build_table() {
    config_table table;
    std::vector<setting>& t = table.records;
    game_settings& g = settings;
    t.push_back(plain_int("xres", &g.xres));
    t.push_back(plain_int("yres", &g.yres));
    t.push_back(plain_int("draw_fps", &g.draw_fps));
    t.push_back(plain_int("draw_time", &g.draw_time));
    t.push_back(plain_int("draw_ping", &g.draw_ping));
    t.push_back(plain_int("draw_speed", &g.draw_speed));
    t.push_back(plain_int("spy", &g.spy));
    // A track name can be as long as a line leaves room for.
    t.push_back(text("track", &g.track, nullptr, config_line_bytes - 1));
    t.push_back(choice("record", &g.record, "Record Demo", &no_yes));
    t.push_back(choice("skill", &g.skill, "Robot Skill", &skill_items));
    t.push_back(number("minutes", &g.minutes, "Minutes", 1, 0, 60));
    t.push_back(number("laps", &g.laps, "Laps", 1, 0, 50));
    for (int i = 0; i < lineup_settings; i++) {
        format_to(slot_keys[i], sizeof slot_keys[i], "slot%02d", i);
        format_to(gate_labels[i], sizeof gate_labels[i], "Gate %d", i + 1);
        t.push_back(choice(slot_keys[i], &g.slot[i], gate_labels[i], &slot_items));
    }
    t.push_back(number("ghost_fade_distance", &g.ghost_fade_distance, "Ghost Fade Distance", 1, 0, 40));
    t.push_back(choice("time_trial_abort", &g.time_trial_abort, "Backing Up Aborts Attempt", &no_yes));
    add_setup_records(t);
    t.push_back(choice("video_mode", &g.video_mode, "Video Mode", &video_items));
    t.push_back(text("server_name", &g.server_name, "Server", server_name_limit));
    for (int i = 0; i < server_history_size; i++) {
        format_to(history_keys[i], sizeof history_keys[i], "server_name_hist%02d", i);
        setting h = text(history_keys[i], &g.server_name_hist[i], nullptr, server_name_limit);
        h.reject_long = true;
        t.push_back(h);
    }
    t.push_back(number("ground_detail", &g.ground_detail, "Ground Geometric Detail", 1, 0, 100));
    t.push_back(number("ground_texture_detail", &g.ground_texture_detail, "Ground Texture Levels", 1, 0, 10));
    t.push_back(choice("ground_texture_dim", &g.ground_texture_dim, "Ground Texture Resolution", &dim_items));
    t.push_back(choice("ground_mipmaps", &g.ground_mipmaps, "Enable Ground Mipmaps", &no_yes));
    t.push_back(choice("texture_compress", &g.texture_compress, "Compress Textures", &compress_items));
    t.push_back(choice("render_texture", &g.render_texture, "Terrain Rendering Method", &render_items));
    t.push_back(choice("use_shader", &g.use_shader, "Use Shader Programs", &no_yes));
    t.push_back(number("roost_density", &g.roost_density, "Roost Density", 10, 0, 1000));
    t.push_back(number("reshade_delay", &g.reshade_delay, "Reshade Delay", 1, 0, 20));
    t.push_back(choice("lens_flare", &g.lens_flare, "Enable Lens Flares", &no_yes));
    t.push_back(choice("reflections", &g.reflections, "Enable Reflections", &no_yes));
    t.push_back(choice("multisample", &g.multisample, "Multisampling", &multisample_items));
    t.push_back(choice("hide_rider", &g.hide_rider, "Hide 1st Person Rider", &no_yes));
    t.push_back(choice("rigid_camera", &g.rigid_camera, "Rigid 3rd person camera", &no_yes));
    t.push_back(number("model_detail", &g.model_detail, "Model Geometric Detail", 1, 0, 100));
    t.push_back(number("model_texture_detail", &g.model_texture_detail, "Model Texture Detail", 1, 0, 10));
    t.push_back(number("fov", &g.fov, "Field Of View", 1, 10, 170));
    t.push_back(number("first_person_height", &g.first_person_height, "1st Person Height", 1.0 / 32, 0, 1));
    t.push_back(number("first_person_angle", &g.first_person_angle, "1st Person Angle", 1, 0, 40));
    t.push_back(number("third_person_height", &g.third_person_height, "3rd Person Height", 1, 0, 20));
    t.push_back(number("third_person_distance", &g.third_person_distance, "3rd Person Distance", 1, 5, 40));
    t.push_back(number("volume", &g.volume, "Volume", 1, 0, 10));
    t.push_back(number("comp_volume", &g.comp_volume, "Competitor Volume", 1, 0, 10));
    t.push_back(choice("playback_mode", &g.playback_mode, "Playback Mode", &playback_items));
    t.push_back(plain_int("billboard_optimize_lookahead", &g.billboard_optimize_lookahead));
    t.push_back(plain_int("message_lines", &message_lines));
    t.push_back(plain_int("demo_backups", &g.demo_backups));
    t.push_back(plain_float("map_scale", &g.map_scale, 0.125, 8));
    table.bindings_at = t.size();
    for (int i = 0; i < binding_count; i++) {
        setting b;
        b.key = binding_defaults[i].key;
        b.kind = setting_kind::binding;
        b.binding = &bindings[i];
        b.label = binding_defaults[i].label;
        t.push_back(b);
    }
    // Newer than the rest of the file: written last, so older files read as before.
    t.push_back(choice("vsync", &g.vsync, "Vertical Sync", &no_yes));
    t.push_back(legacy("use_fbo", read_use_fbo));
    t.push_back(legacy("ground_texture_distance", nullptr));
    return table;
}

const config_table& table() {
    static const config_table t = build_table();
    return t;
}

int bike_index(const char* name) {
    for (int i = 0; i < bike_model_count; i++)
        if (strcmp(bike_model_names[i], name) == 0) return i;
    return 0;
}

}  // namespace

const item_list bike_items{bike_model_names, bike_model_count};

std::span<const setting> config_settings() { return table().records; }

const setting* find_setting(std::string_view key) {
    for (const setting& s : table().records)
        if (key == s.key) return &s;
    return nullptr;
}

const setting& binding_record(binding_index i) { return table().records[table().bindings_at + (size_t)i]; }

void set_video_mode_items(const char* const* items, int count) {
    if (!items || count <= 0) {
        video_items = items_of(fixed_video_names);
    } else {
        video_items = item_list{items, count};
    }
    if (settings.video_mode >= video_items.count) settings.video_mode = 0;
}

const item_list& video_mode_items() { return video_items; }

// ---- defaults, presets, stability ----------------------------------------------

const std::array<graphics_preset, graphics_preset_count> graphics_presets = {{
    {"Compatibility", 70, 9, 1, 1, 0, 0, 1, 50, 9, 1, 1, 1000, 8},
    {"High FPS", 50, 7, 1, 1, 1, 2, 0, 25, 7, 0, 0, 0, 10},
    {"Normal", 70, 9, 2, 1, 1, 4, 1, 50, 9, 1, 1, 1000, 8},
    {"High Detail", 90, 10, 3, 1, 0, 4, 1, 75, 10, 1, 1, 1000, 0},
}};

void apply_graphics_preset(int index) {
    if (index < 0 || index >= graphics_preset_count) return;
    const graphics_preset& p = graphics_presets[(size_t)index];
    game_settings& g = settings;
    g.ground_detail = p.ground_detail;
    g.ground_texture_detail = p.ground_texture_detail;
    g.ground_texture_dim = p.ground_texture_dim;
    g.ground_mipmaps = p.ground_mipmaps;
    g.texture_compress = p.texture_compress;
    g.render_texture = p.render_texture;
    g.use_shader = p.use_shader;
    g.model_detail = p.model_detail;
    g.model_texture_detail = p.model_texture_detail;
    g.lens_flare = p.lens_flare;
    g.reflections = p.reflections;
    g.roost_density = p.roost_density;
    g.reshade_delay = p.reshade_delay;
}

int matching_graphics_preset() {
    const game_settings& g = settings;
    // Presets may share every value; the later one names them.
    for (int i = graphics_preset_count - 1; i >= 0; i--) {
        const graphics_preset& p = graphics_presets[(size_t)i];
        if (g.ground_detail == p.ground_detail && g.ground_texture_detail == p.ground_texture_detail &&
            g.ground_texture_dim == p.ground_texture_dim && g.ground_mipmaps == p.ground_mipmaps &&
            g.texture_compress == p.texture_compress && g.render_texture == p.render_texture &&
            g.use_shader == p.use_shader && g.model_detail == p.model_detail &&
            g.model_texture_detail == p.model_texture_detail && g.lens_flare == p.lens_flare &&
            g.reflections == p.reflections && g.roost_density == p.roost_density &&
            g.reshade_delay == p.reshade_delay)
            return i;
    }
    return -1;
}

void apply_stability(double stability) {
    double s = std::clamp(stability * 5 * 0.01, 0.0, 5.0);
    if (!(s == s)) s = 5;  // a NaN master keeps the full-stability column
    int i = std::clamp((int)s, 0, 4);
    double t = s - i;
    for (const stability_row& row : stability_table)
        player_setup.*row.field = row.t[i] + t * (row.t[i + 1] - row.t[i]);
}

void clear_server_history() {
    for (std::string& h : settings.server_name_hist) h.clear();
}

void config_defaults() {
    settings = game_settings{};
    player_setup = bike_setup{};
    message_lines = 5;
    for (int i = 0; i < binding_count; i++) {
        bindings[(size_t)i] = binding_setting{};
        bindings[(size_t)i].key_name = std::string(binding_defaults[i].key_name);
    }
    player_setup.bike = bike_index("yz250f(2017)");
    apply_stability(player_setup.stability);
    apply_graphics_preset(0);
}

// ---- reading -------------------------------------------------------------------

bool parse_setup_line(const char* key, const char* value) {
    for (const setting& s : table().records) {
        if (!s.setup || strcmp(s.key, key) != 0) continue;
        read_setting(s, value);
        return true;
    }
    return false;
}

void parse_config_line(const char* key, const char* value) {
    if (parse_setup_line(key, value)) return;
    for (const setting& s : table().records) {
        if (s.setup || strcmp(s.key, key) != 0) continue;
        read_setting(s, value);
        return;
    }
}

// ---- physical values ------------------------------------------------------------

double adjusted_value(double min, double max, double adjustment) {
    double a = std::clamp(adjustment * 0.01, 0.0, 1.0);
    return min + a * (max - min);
}

std::string fork_spring_rate_text(double min, double max, double adjustment) {
    return format_string("%.3f kg/mm", adjusted_value(min, max, adjustment) * 0.0007440819724087572);
}

std::string shock_spring_rate_text(double min, double max, double adjustment) {
    return format_string("%.2f kg/mm", adjusted_value(min, max, adjustment) * 0.0014881639448175144);
}

std::string adjusted_length_text(double min, double max, double adjustment) {
    return format_string("%.2f mm", adjusted_value(min, max, adjustment) * 304.8);
}

std::string sprocket_text(int teeth, double adjustment) { return format_string("%.2f teeth", teeth + adjustment); }

// ---- values as used --------------------------------------------------------------

int demo_backups_limit() { return std::clamp(settings.demo_backups, 0, 9999); }

// A window narrower or shorter than this has no room for the menus; larger
// than the biggest GL surfaces is a typo.
constexpr int window_min_size = 64;
constexpr int window_max_size = 16384;
int window_width_setting() { return std::clamp(settings.xres, window_min_size, window_max_size); }
int window_height_setting() { return std::clamp(settings.yres, window_min_size, window_max_size); }

void remember_server(const std::string& name) {
    if (name.empty() || name == settings.server_name_hist[0]) return;
    for (int i = server_history_size - 1; i > 0; i--) settings.server_name_hist[(size_t)i] = settings.server_name_hist[(size_t)i - 1];
    settings.server_name_hist[0] = truncated(name, server_name_limit);
}
