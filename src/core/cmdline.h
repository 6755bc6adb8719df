// The command line: a pure parser into a plain record, and the values the
// program keeps from it for the whole run.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

// What the command line leaves for the rest of the run.
struct run_options {
    bool sound_off = false;                        // "--nosound"
    bool warp = false;                             // "--warp"
    double lock_fps = 0;                           // "--lock-fps"; 0 = off
    std::optional<std::string> record_audio_file;  // "--record-audio"
    bool record_video = false;                     // "--record-video"
    bool show_pause_text = true;                   // "--hidden-pause" clears it
    bool show_hud = true;                          // "--hidden-hud" clears it
    bool finish_each_frame = false;                // "--glfinish"
    int colour_depth = 16;                         // "--depth"
    int zbuffer_depth = 16;                        // "--zdepth"
    std::optional<std::string> demo_to_play;       // the one non-option argument
    std::optional<std::string> startup_track;      // "--track", a demo's track, the configuration
    std::optional<std::string> connect_target;     // "--connect"
    std::optional<std::string> connect_password;   // "--password"
    std::array<double, 3> chase_center{0, 2.52, 0.52};
    int debug_level = 0;  // "--debug" 1, "--super-debug" 2

    bool fugly = false;              // flat shading and the simplified drawing paths
    bool no_vertex_arrays = false;   // "--novertexarrays"
    bool learn_lines = false;        // "--learn" / "--nolearn"
    bool ignore_mmx = false;         // "--nommx"
    bool practice = false;           // robots get the "tester" brain
    bool editor = false;             // "--editor"
    bool accurate_skip = false;      // "--accurate-skip"
    bool print_orientation = false;  // "--print-orientation"
    int draw_render_stats = 0;       // "--draw-render-stats"
    int rotate_lineup = 0;           // "--rotate-lineup"
    int erode_rate = 0;              // "--erode": floor(clamp(v, 0, 100) × 1024)
    double fake_lag = 0;             // seconds, 0..1
    int fake_loss = 0;               // percent, 0..100
};
extern run_options cmdline;

// Rendering parameters derived from the settings at start-up, which the
// command line may then override.
struct render_params {
    double ground_detail_factor = 0;  // 0.125 ÷ ground_detail, or "--detail"
    int ground_texture_reduction = 0;
    int ground_texture_size = 64;
    double model_lod_scale = 1;
    double model_lod_bias = 0;
    int model_texture_reduction = 0;
    int texture_compression = 0;  // "No", "Yes", "Always"
    int roost_frequency = 0;
    bool reflections = false;
};
extern render_params render_settings;
// Fills render_settings from the current settings.
void derive_render_params();

enum class command_line_action { run, open_home, help, version, fail };

// "--lock-fps" accepts 0 (off) or a rate in this range.
constexpr double lock_fps_min = 1;
constexpr double lock_fps_max = 1000;

// Everything one command line asks for. Nothing here has touched the
// program's state yet.
struct command_line {
    command_line_action action = command_line_action::run;
    bool only_open_home = false;        // the whole line is "--open-home"
    std::string error;                  // with action fail: the message for standard error
    std::vector<std::string> notices;   // printed to standard error; the run goes on
    run_options options;

    // settings the command line overrides
    std::optional<int> xres, yres;
    std::optional<int> draw_fps, draw_time, draw_ping, draw_speed;
    std::optional<std::string> server_name;  // "--connect", without "quarnix:", cut to 127
    // rendering overrides
    std::optional<int> ground_texture_reduction;  // "--texture-detail", "--ground-texture-detail"
    std::optional<int> model_texture_reduction;   // "--texture-detail"
    std::optional<int> roost_frequency;        // 0..1000
    std::optional<double> detail;              // ground detail factor
    std::optional<double> lod_scale;           // 1e-6..1e6
    std::optional<double> lod_bias;
};

// Parses argv[1..argc-1]; never exits and touches nothing. "--help" and
// "--version" stop the parse there, as "--open-home" does.
command_line parse_command_line(int argc, const char* const* argv);
// "--help": one line per option.
std::string command_line_help();
// Makes the parsed options the run's (cmdline), writes the setting overrides
// into the settings and render_settings, and records a "--connect" server in
// the history.
void apply_command_line(const command_line& line);

// The slot that lineup entry i moves to when the lineup is rotated by n
// places: (i + n) mod 160, never negative.
int rotated_lineup_slot(int i, int n);
