// The configuration: every setting's variable, the one table of setting
// records behind "@config" and the bike-setup files, the graphics presets and
// the stability master.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "core/bike_setup.h"
#include "core/settings.h"

constexpr int lineup_settings = 40;       // "slot00" … "slot39"
constexpr int server_history_size = 16;   // "server_name_hist00" … "server_name_hist15"
constexpr size_t server_name_limit = 127; // characters of a server address
constexpr size_t config_line_bytes = 1024;
inline constexpr const char* default_server_host = "localhost";

// Every configuration value that is not part of the bike setup (that one is
// player_setup, core/bike_setup.h; `message_lines` lives with the message
// output, core/diag.h). Choices hold their item index.
struct game_settings {
    int xres = 640;
    int yres = 480;
    int draw_fps = 0;
    int draw_time = 0;
    int draw_ping = 1;
    int draw_speed = 0;
    int spy = 0;
    std::string track = "rabbithill";
    int record = 0;  // "No", "Yes"
    int skill = 0;   // "Novice", "Amateur", "Expert"
    double minutes = 0;
    double laps = 5;
    // The lineup that ships: the player at Gate 1, robots at Gates 2..12.
    std::array<int, lineup_settings> slot = [] {
        std::array<int, lineup_settings> s{};
        for (int i = 0; i < lineup_settings && i < 12; i++) s[(size_t)i] = i == 0 ? 1 : 2;
        return s;
    }();  // "Empty", "Human", "Robot", "Robot (2 stroke)", "Robot (4 stroke)"
    double ghost_fade_distance = 10;
    int time_trial_abort = 1;  // "No", "Yes"
    int video_mode = 0;        // "Default Fullscreen", "Windowed", display modes
    std::string server_name = default_server_host;
    std::array<std::string, server_history_size> server_name_hist;

    // the thirteen graphics settings (defaults: the "Compatibility" preset)
    double ground_detail = 70;
    double ground_texture_detail = 9;
    int ground_texture_dim = 1;  // "32x32" … "1024x1024"
    int ground_mipmaps = 1;      // "No", "Yes"
    int texture_compress = 0;    // "No", "Yes", "Always"
    int render_texture = 0;      // "Software", "Hardware/Copy", "Hardware/Direct", "Shaders/Copy", "Shaders/Direct"
    int use_shader = 1;          // "No", "Yes"
    double roost_density = 1000;
    double reshade_delay = 8;
    int lens_flare = 1;   // "No", "Yes"
    int reflections = 1;  // "No", "Yes"
    double model_detail = 50;
    double model_texture_detail = 9;
    // Multisampled window: "No", "Yes", "Auto" (yes unless the driver turns out
    // to rasterise in software, where it costs several times the frame).
    int multisample = 2;

    int hide_rider = 0;    // "No", "Yes"
    int rigid_camera = 0;  // "No", "Yes"
    // "No", "Yes": buffer swaps wait for vertical blank (or the loop caps the
    // frame rate at the display's refresh where the driver cannot)
    int vsync = 1;
    double fov = 110;
    double first_person_height = 0;
    double first_person_angle = 0;
    double third_person_height = 5;
    double third_person_distance = 10;
    double volume = 10;
    double comp_volume = 8;
    int playback_mode = 0;  // "Playback Only", "Race Against"
    int billboard_optimize_lookahead = 8;
    int demo_backups = 0;
    double map_scale = 1;
};
extern game_settings settings;

// The twenty bindings, in the order of the configuration file.
enum binding_index {
    throttle_binding,
    front_brake_binding,
    rear_brake_binding,
    left_binding,
    right_binding,
    clutch_binding,
    upshift_binding,
    downshift_binding,
    dab_binding,
    back_up_binding,
    lean_forward_binding,
    lean_backward_binding,
    pause_binding,
    step_binding,
    rewind_binding,
    skip_binding,
    prev_binding,
    next_binding,
    console_binding,
    screenshot_binding,
    binding_count
};
extern std::array<binding_setting, binding_count> bindings;

// The record table in file order (the bike-setup block sits between
// `time_trial_abort` and `video_mode`), followed by the read-only legacy keys.
std::span<const setting> config_settings();
const setting* find_setting(std::string_view key);
// The record of a binding, for its label.
const setting& binding_record(binding_index i);

// Every value back to its built-in default, then the start-up defaults: the
// bike "yz250f(2017)", the stability table at the current stability and the
// "Compatibility" preset. The video-mode items stay as they are.
void config_defaults();
void clear_server_history();

// ---- choices whose items come from elsewhere ---------------------------------
extern const item_list bike_items;
// The display-mode list replaces the video-mode items ("Default Fullscreen",
// "Windowed", then "%dx%d" per mode); the caller keeps the strings alive. A
// null list puts the two fixed items back.
void set_video_mode_items(const char* const* items, int count);
const item_list& video_mode_items();

// ---- graphics presets --------------------------------------------------------
struct graphics_preset {
    const char* name;  // "Compatibility", "High FPS", "Normal", "High Detail"
    double ground_detail;
    double ground_texture_detail;
    int ground_texture_dim;
    int ground_mipmaps;
    int texture_compress;
    int render_texture;
    int use_shader;
    double model_detail;
    double model_texture_detail;
    int lens_flare;
    int reflections;
    double roost_density;
    double reshade_delay;
};
constexpr int graphics_preset_count = 4;
extern const std::array<graphics_preset, graphics_preset_count> graphics_presets;
void apply_graphics_preset(int index);
// The preset whose every value equals the current settings (the later one
// when several do), or -1 ("Custom").
int matching_graphics_preset();

// ---- stability ---------------------------------------------------------------
// Recomputes the fifteen advanced stability values of player_setup from the
// master value (0..100) by the interpolation table.
void apply_stability(double stability);

// ---- configuration lines ----------------------------------------------------
// (The files themselves are read and written by vfs/config_files.h.)
// Offers one key to the bike-setup keys; returns whether it is one (and
// applies the value).
bool parse_setup_line(const char* key, const char* value);
// Applies one configuration line's key and value (setup keys first).
void parse_config_line(const char* key, const char* value);

// ---- physical values the setup menu shows beside some adjustments ----------
// min + a × (max − min) with a = adjustment × 0.01 clamped to 0..1; the range
// comes from the bike model.
double adjusted_value(double min, double max, double adjustment);
std::string fork_spring_rate_text(double min, double max, double adjustment);   // "%.3f kg/mm"
std::string shock_spring_rate_text(double min, double max, double adjustment);  // "%.2f kg/mm"
// Fork preload, fork oil level and shock preload, feet shown in millimetres.
std::string adjusted_length_text(double min, double max, double adjustment);  // "%.2f mm"
std::string sprocket_text(int teeth, double adjustment);                      // "%.2f teeth"

// ---- values as they are used -----------------------------------------------
// `demo_backups` clamped to 0..9999 and the windowed size clamped to what a
// window can be.
int demo_backups_limit();
int window_width_setting();
int window_height_setting();
// Puts a server address at the head of the history unless it is empty or
// already entry 0; entry 15 falls off.
void remember_server(const std::string& name);
