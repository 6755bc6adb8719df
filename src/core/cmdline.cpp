#include "core/cmdline.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "core/config.h"
#include "core/scan.h"
#include "core/settings.h"
#include "core/text.h"

run_options cmdline;
render_params render_settings;

void derive_render_params() {
    const game_settings& g = settings;
    render_params& r = render_settings;
    r.ground_detail_factor = 0.125 / g.ground_detail;
    r.ground_texture_reduction = (int)std::clamp(10 - g.ground_texture_detail, 0.0, 10.0);
    r.ground_texture_size = 32 << std::clamp(g.ground_texture_dim, 0, 5);
    double scale = std::clamp(100 - g.model_detail, 0.0, 100.0) * 0.02;
    r.model_lod_scale = scale > 1 ? scale * scale * scale : scale;
    r.model_lod_bias = 50 - 50 * std::clamp((g.model_detail - 10) * 0.05, 0.0, 1.0);
    r.model_texture_reduction = (int)std::lround(std::clamp(10 - g.model_texture_detail, 0.0, 10.0));
    r.texture_compression = g.texture_compress;
    r.roost_frequency = (int)std::lround(g.roost_density);
    r.reflections = g.reflections != 0;
}

int rotated_lineup_slot(int i, int n) {
    constexpr int slots = 160;
    int r = n % slots;  // -159..159, so the sum below cannot overflow
    return ((i % slots + r) % slots + slots) % slots;
}

namespace {

enum class value_kind { none, integer, real, text, anything };

struct option_value {
    int integer = 0;
    double real = 0;
    const char* text = "";
};

struct option_entry {
    const char* name;
    value_kind kind;
    const char* value_hint;  // for the help text
    const char* help;
    // Returns false for a value the option refuses ("Bad arg for …").
    bool (*apply)(command_line& c, const option_value& v);
};

bool parse_chase_center(command_line& c, const option_value& v) {
    float x, y, z;
    if (string_scanf(v.text, strlen(v.text), nullptr, "%f,%f,%f", &x, &y, &z) != 3) return false;
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return false;
    c.options.chase_center = {x, y, z};
    return true;
}

bool set_connect(command_line& c, const option_value& v) {
    std::string_view target = v.text;
    if (target.starts_with("quarnix:")) target.remove_prefix(8);
    std::string name = truncated(target, server_name_limit);
    c.server_name = name;
    c.options.connect_target = name;
    return true;
}

// A rate outside this range would sleep for ever or run thousands of tics
// a frame; 0 leaves the pacing off.
bool set_lock_fps(command_line& c, const option_value& v) {
    if (v.real != 0 && !(v.real >= lock_fps_min && v.real <= lock_fps_max)) return false;
    c.options.lock_fps = v.real;
    return true;
}

// "--record-video" and "--print-orientation" both write to standard output;
// their lines would corrupt the video frames, so only the first one given
// is taken.
template <bool run_options::*flag>
bool refuse_second_stdout_writer(command_line& c, const option_value&) {
    bool video = flag == &run_options::record_video;
    const char* other_name = video ? "--print-orientation" : "--record-video";
    bool other = video ? c.options.print_orientation : c.options.record_video;
    if (other) {
        c.notices.push_back(format_string("%s ignored: %s already writes to standard output\n",
                                          video ? "--record-video" : "--print-orientation", other_name));
        return true;
    }
    c.options.*flag = true;
    return true;
}

// clang-format off
const option_entry option_table[] = {
    {"--fugly", value_kind::none, "", "low-quality drawing: flat shading and the simplified paths", [](command_line& c, const option_value&) { c.options.fugly = true; return true; }},
    {"--nosound", value_kind::none, "", "no audio device is opened", [](command_line& c, const option_value&) { c.options.sound_off = true; return true; }},
    {"--novertexarrays", value_kind::none, "", "draw without vertex arrays", [](command_line& c, const option_value&) { c.options.no_vertex_arrays = true; return true; }},
    {"--learn", value_kind::none, "", "robot line learning on", [](command_line& c, const option_value&) { c.options.learn_lines = true; return true; }},
    {"--nolearn", value_kind::none, "", "robot line learning off (the default)", [](command_line& c, const option_value&) { c.options.learn_lines = false; return true; }},
    {"--nommx", value_kind::none, "", "treat the processor as lacking MMX", [](command_line& c, const option_value&) { c.options.ignore_mmx = true; return true; }},
    {"--debug", value_kind::none, "", "extra log lines (level 1)", [](command_line& c, const option_value&) { c.options.debug_level = 1; return true; }},
    {"--super-debug", value_kind::none, "", "even more log lines (level 2)", [](command_line& c, const option_value&) { c.options.debug_level = 2; return true; }},
    {"--practice", value_kind::none, "", "every robot rider gets the tester brain", [](command_line& c, const option_value&) { c.options.practice = true; return true; }},
    {"--warp", value_kind::none, "", "offline: every frame runs 100 tics without waiting", [](command_line& c, const option_value&) { c.options.warp = true; return true; }},
    {"--texture-detail", value_kind::integer, "N", "model and ground texture reduction, 0..4", [](command_line& c, const option_value& v) { c.ground_texture_reduction = c.model_texture_reduction = std::clamp(v.integer, 0, 4); return true; }},
    {"--ground-texture-detail", value_kind::integer, "N", "ground texture reduction only, 0..4", [](command_line& c, const option_value& v) { c.ground_texture_reduction = std::clamp(v.integer, 0, 4); return true; }},
    {"--roostfrequency", value_kind::integer, "N", "flying dirt frequency, 0..1000", [](command_line& c, const option_value& v) { c.roost_frequency = std::clamp(v.integer, 0, 1000); return true; }},
    {"--erode", value_kind::real, "X", "terrain erosion rate, 0..100", [](command_line& c, const option_value& v) { c.options.erode_rate = (int)std::floor(std::clamp(v.real, 0.0, 100.0) * 1024); return true; }},
    {"--detail", value_kind::real, "X", "ground geometric detail factor", [](command_line& c, const option_value& v) { c.detail = v.real; return true; }},
    {"--max-detail-distance", value_kind::real, "X", "accepted for old scripts; no effect", [](command_line&, const option_value&) { return true; }},
    {"--lod-scale", value_kind::real, "X", "model level-of-detail scale, 1e-6..1e6", [](command_line& c, const option_value& v) { c.lod_scale = std::clamp(v.real, 1e-6, 1e6); return true; }},
    {"--lod-bias", value_kind::real, "X", "model level-of-detail bias", [](command_line& c, const option_value& v) { c.lod_bias = v.real; return true; }},
    {"--lock-fps", value_kind::real, "X", "offline: frames paced at exactly X per second (1..1000, 0 = off)", set_lock_fps},
    {"--fake-lag", value_kind::real, "MS", "artificial network delay in milliseconds, 0..1000", [](command_line& c, const option_value& v) { c.options.fake_lag = std::clamp(v.real * 0.001, 0.0, 1.0); return true; }},
    {"--fake-loss", value_kind::integer, "N", "artificial packet loss in percent, 0..100", [](command_line& c, const option_value& v) { c.options.fake_loss = std::clamp(v.integer, 0, 100); return true; }},
    {"--record-audio", value_kind::text, "FILE", "write the mix to FILE (raw 8-bit stereo, 88320 Hz) instead of playing it", [](command_line& c, const option_value& v) { c.options.record_audio_file = v.text; return true; }},
    {"--record-video", value_kind::none, "", "write every drawn frame to standard output as a PPM image", refuse_second_stdout_writer<&run_options::record_video>},
    {"--rotate-lineup", value_kind::integer, "N", "rotate the lineup by N places at each race start", [](command_line& c, const option_value& v) { c.options.rotate_lineup = v.integer; return true; }},
    {"--editor", value_kind::none, "", "enable the editor view", [](command_line& c, const option_value&) { c.options.editor = true; return true; }},
    {"--hidden-pause", value_kind::none, "", "do not draw \"Paused\"", [](command_line& c, const option_value&) { c.options.show_pause_text = false; return true; }},
    {"--hidden-hud", value_kind::none, "", "do not draw the riding HUD", [](command_line& c, const option_value&) { c.options.show_hud = false; return true; }},
    {"--bikes", value_kind::anything, "X", "does nothing any more", [](command_line& c, const option_value&) { c.notices.push_back("--bikes doesn't do anything anymore\n"); return true; }},
    {"--width", value_kind::integer, "N", "window width in windowed video mode", [](command_line& c, const option_value& v) { c.xres = v.integer; return true; }},
    {"--height", value_kind::integer, "N", "window height in windowed video mode", [](command_line& c, const option_value& v) { c.yres = v.integer; return true; }},
    {"--depth", value_kind::integer, "N", "colour depth", [](command_line& c, const option_value& v) { c.options.colour_depth = v.integer; return true; }},
    {"--zdepth", value_kind::integer, "N", "depth buffer bits", [](command_line& c, const option_value& v) { c.options.zbuffer_depth = v.integer; return true; }},
    {"--draw-fps", value_kind::integer, "N", "frame rate on the HUD (0/1)", [](command_line& c, const option_value& v) { c.draw_fps = v.integer; return true; }},
    {"--draw-time", value_kind::integer, "N", "time on the HUD (0/1)", [](command_line& c, const option_value& v) { c.draw_time = v.integer; return true; }},
    {"--draw-ping", value_kind::integer, "N", "ping on the HUD (0/1)", [](command_line& c, const option_value& v) { c.draw_ping = v.integer; return true; }},
    {"--draw-speed", value_kind::integer, "N", "speed on the HUD (0/1)", [](command_line& c, const option_value& v) { c.draw_speed = v.integer; return true; }},
    {"--draw-render-stats", value_kind::integer, "N", "render statistics on the HUD", [](command_line& c, const option_value& v) { c.options.draw_render_stats = v.integer; return true; }},
    {"--accurate-skip", value_kind::none, "", "rewind and skip use the accurate method", [](command_line& c, const option_value&) { c.options.accurate_skip = true; return true; }},
    {"--track", value_kind::text, "NAME", "start on this track", [](command_line& c, const option_value& v) { c.options.startup_track = v.text; return true; }},
    {"--connect", value_kind::text, "HOST", "connect to a race server at start", set_connect},
    {"--password", value_kind::text, "TEXT", "the server password", [](command_line& c, const option_value& v) { c.options.connect_password = v.text; return true; }},
    {"--chase-center", value_kind::text, "X,Y,Z", "third-person camera target in the bike's frame", parse_chase_center},
    {"--open-home", value_kind::none, "", "show the home folder in the file manager and exit", [](command_line& c, const option_value&) { c.action = command_line_action::open_home; return true; }},
    {"--glfinish", value_kind::none, "", "finish every frame before swapping", [](command_line& c, const option_value&) { c.options.finish_each_frame = true; return true; }},
    {"--print-orientation", value_kind::none, "", "print the first-person eye and rider axes every frame", refuse_second_stdout_writer<&run_options::print_orientation>},
    {"--help", value_kind::none, "", "print these options and exit", [](command_line& c, const option_value&) { c.action = command_line_action::help; return true; }},
    {"--version", value_kind::none, "", "print the version and exit", [](command_line& c, const option_value&) { c.action = command_line_action::version; return true; }},
};
// clang-format on

// The option an argument names, and where its joined value starts (after
// "="), if any.
const option_entry* match_option(const char* arg, const char** joined) {
    *joined = nullptr;
    for (const option_entry& o : option_table) {
        size_t n = strlen(o.name);
        if (strncmp(arg, o.name, n) != 0) continue;
        if (arg[n] == 0) return &o;
        if (arg[n] == '=' && o.kind != value_kind::none) {
            *joined = arg + n + 1;
            return &o;
        }
    }
    return nullptr;
}

void fail(command_line& c, std::string message) {
    c.action = command_line_action::fail;
    c.error = std::move(message);
}

}  // namespace

command_line parse_command_line(int argc, const char* const* argv) {
    command_line c;
    c.only_open_home = argc == 2 && strcmp(argv[1], "--open-home") == 0;
    bool options_end = false;
    int files = 0;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (!options_end && strcmp(arg, "--") == 0) {
            options_end = true;
            continue;
        }
        if (options_end || arg[0] != '-') {
            if (++files > 1) {
                fail(c, "Too many files!\n");
                return c;
            }
            c.options.demo_to_play = arg;
            continue;
        }
        const char* joined;
        const option_entry* o = match_option(arg, &joined);
        if (!o) {
            fail(c, format_string("bad option '%s'\n", arg));
            return c;
        }
        option_value v;
        if (o->kind != value_kind::none) {
            const char* value = joined;
            if (!value) {
                if (i + 1 < argc) {
                    value = argv[++i];
                } else if (o->kind != value_kind::anything) {
                    // A value-taking option cannot stand last.
                    fail(c, format_string("Bad arg for %s\n", o->name));
                    return c;
                }
            }
            bool ok = true;
            if (value) {
                v.text = value;
                if (o->kind == value_kind::integer) ok = parse_config_int(value, v.integer);
                if (o->kind == value_kind::real) ok = parse_config_real(value, v.real);
            }
            if (!ok) {
                fail(c, format_string("Bad arg for %s\n", o->name));
                return c;
            }
        }
        if (!o->apply(c, v)) {
            fail(c, format_string("Bad arg for %s\n", o->name));
            return c;
        }
        // Opening the home folder, the help and the version end the run right there.
        if (c.action != command_line_action::run) return c;
    }
    return c;
}

void apply_command_line(const command_line& line) {
    cmdline = line.options;
    game_settings& g = settings;
    if (line.xres) g.xres = *line.xres;
    if (line.yres) g.yres = *line.yres;
    if (line.draw_fps) g.draw_fps = *line.draw_fps;
    if (line.draw_time) g.draw_time = *line.draw_time;
    if (line.draw_ping) g.draw_ping = *line.draw_ping;
    if (line.draw_speed) g.draw_speed = *line.draw_speed;
    if (line.server_name) {
        g.server_name = *line.server_name;
        remember_server(g.server_name);
    }
    render_params& r = render_settings;
    if (line.ground_texture_reduction) r.ground_texture_reduction = *line.ground_texture_reduction;
    if (line.model_texture_reduction) r.model_texture_reduction = *line.model_texture_reduction;
    if (line.roost_frequency) r.roost_frequency = *line.roost_frequency;
    if (line.detail) r.ground_detail_factor = *line.detail;
    if (line.lod_scale) r.model_lod_scale = *line.lod_scale;
    if (line.lod_bias) r.model_lod_bias = *line.lod_bias;
}

std::string command_line_help() {
    std::string text = "Usage: quarnix [options] [demo file]\n";
    for (const option_entry& o : option_table) {
        std::string left = o.name;
        if (*o.value_hint) left += std::string(" ") + o.value_hint;
        text += format_string("  %-28s %s\n", left.c_str(), o.help);
    }
    text += "A value may also be joined to its option with \"=\"; \"--\" ends the options.\n";
    return text;
}
