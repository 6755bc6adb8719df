#include "console/console.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "bike/bike.h"
#include "console/keycam.h"
#include "console/telemetry_points.h"
#include "core/clock.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/scan.h"
#include "core/text.h"
#include "demo/demo.h"
#include "net/client.h"
#include "net/net.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "render/terrain_textures.h"
#include "sound/engine_sound.h"
#include "track/erosion.h"
#include "track/height_field.h"
#include "track/objects_cameras.h"
#include "track/track.h"
#include "ui/asset_lists.h"
#include "ui/hud.h"
#include "vfs/config_files.h"
#include "vfs/vfs.h"

console_driver console_parts;

namespace {

// The first chat line of the run is never a flood.
double g_last_chat = -std::numeric_limits<double>::infinity();

enum class match { exact, prefix, word };

// A handler gets its argument (exact commands: empty) and says whether the
// line was handled.
struct command {
    const char* name;
    match kind;
    bool (*run)(const std::string& argument);
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string trimmed(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

bool scan_int(const std::string& s, int& out) { return string_scanf(s.c_str(), s.size(), nullptr, "%d", &out) == 1; }

void say_toggle(const char* label, bool on) { show_messagef("%.60s %s", label, on ? "ON" : "OFF"); }

bool toggle_int(int& value, const char* label) {
    value = value ? 0 : 1;
    say_toggle(label, value != 0);
    return true;
}

bool viewed_bike() { return bike_in_slot(race.viewed_slot) != nullptr; }

bool contains_nocase(std::string_view text, std::string_view part) {
    if (part.empty()) return true;
    for (size_t i = 0; i + part.size() <= text.size(); i++)
        if (equal_nocase(text.substr(i, part.size()), part)) return true;
    return false;
}

// ---- the commands ----------------------------------------------------------------------

bool save_track_info_command(const std::string&) {
    save_track_info();
    return true;
}

bool render_stats(const std::string&) {
    hud_options.render_stats = true;
    hud_render_statistics& s = hud_render_stats;
    for (render_counter* c : {&s.ground_polygons, &s.model_polygons, &s.billboards, &s.decals, &s.texture_changes,
                              &s.shader_changes})
        c->max = 0;
    return true;
}

bool billboard_window(const std::string& a) {
    scan_int(a, settings.billboard_optimize_lookahead);
    show_messagef("Billboard optimization window is now %d", settings.billboard_optimize_lookahead);
    return true;
}

bool pipe(const std::string& a) {
    if (!viewed_bike()) return false;
    pipe_command(a.c_str());
    return true;
}

bool name_demo(const std::string& a) {
    set_demo_name(a.c_str());
    return true;
}

bool camera_angle(const std::string& a) {
    if (!viewed_bike()) return false;
    float yaw = 0, pitch = 0;
    if (string_scanf(a.c_str(), a.size(), nullptr, "%f %f", &yaw, &pitch) != 2 || !std::isfinite(yaw) ||
        !std::isfinite(pitch)) {
        show_message("Usage: camangle <yaw> <pitch>");
        return true;
    }
    track_camera& c = free_flight_camera();
    c.yaw = yaw * M_PI / 180;
    c.pitch = pitch * M_PI / 180;
    c.yaw_rate = c.pitch_rate = 0;
    show_message("Camera aimed");
    return true;
}

bool field_of_view(const std::string& a) {
    const setting* s = find_setting("fov");
    show_message(s && read_setting(*s, a.c_str()) ? "fov set" : "Usage: fov <degrees>");
    return true;
}

bool frame_histogram(const std::string&) {
    std::array<int, 8>* h = console_parts.frame_histogram ? console_parts.frame_histogram() : nullptr;
    if (!h) {
        show_message("The frame-time histogram is not available here");
        return true;
    }
    std::string line;
    for (size_t k = 0; k < h->size(); k++) line += format_string("%d=%d ", 128 >> k, (*h)[k]);
    show_message(line.c_str());
    h->fill(0);
    return true;
}

bool force_reload(const std::string&) {
    request_track_reload();
    show_message("Track will be reloaded on next restart");
    return true;
}

bool read_setup(const std::string& a) {
    std::string name = trimmed(a);
    bool ok = !name.empty() && read_setup_file(name.c_str());
    // Lines read before an error still changed the setup.
    build_bike_graphics_list();
    select_graphics_from_setup();
    show_message(ok ? "Setup updated" : "Error reading setup");
    apply_setup_to_viewed_bike();
    return true;
}

bool write_setup(const std::string& a) {
    std::string name = trimmed(a);
    show_message(!name.empty() && write_setup_file(name.c_str()) ? "Setup written" : "Error writing setup");
    return true;
}

bool accepted(const std::string&) { return true; }

bool add_key(const std::string&) {
    const track_camera& c = free_flight_camera();
    key_frame k;
    k.position = {(float)c.position[0], (float)c.position[1], (float)c.position[2]};
    k.rotation = yaw_pitch_quaternion(c.yaw, c.pitch);
    k.fov = (float)settings.fov;
    k.tic = race.tic;
    insert_key_frame(k);
    show_message("Keyframe added");
    return true;
}

bool delete_key(const std::string&) {
    delete_key_frame(race.tic);
    show_message("Keyframe deleted");
    return true;
}

bool clear_keys(const std::string&) {
    key_frames().clear();
    show_message("Keyframes cleared");
    return true;
}

bool list_keys(const std::string&) {
    for (const key_frame& k : key_frames())
        show_messagef("pos = { %.2f, %.2f, %.2f }, rot = { %.2f, %.2f, %.2f, %.2f }, time = %.2f",
                      (double)k.position[0], (double)k.position[1], (double)k.position[2], (double)k.rotation[0],
                      (double)k.rotation[1], (double)k.rotation[2], (double)k.rotation[3], k.tic * tic_length);
    return true;
}

bool read_keys(const std::string& a) {
    std::string name = trimmed(a);
    size_t length = 0;
    char* text = name.empty() ? nullptr : file_to_string(("@keycam/" + name).c_str(), &length);
    if (!text) {
        show_message("Error reading camera keys");
        return true;
    }
    std::vector<key_frame> frames;
    bool ok = parse_key_frames(text, length, frames);
    checked_free(text);
    // A file written by hand may be out of order; the spline needs them sorted.
    std::stable_sort(frames.begin(), frames.end(), [](const key_frame& x, const key_frame& y) { return x.tic < y.tic; });
    key_frames() = std::move(frames);
    show_message(ok ? "Camera keys updated" : "Error reading camera keys");
    return true;
}

bool write_keys(const std::string& a) {
    std::string name = trimmed(a);
    bool ok = false;
    if (!name.empty()) {
        std::string text = format_key_frames(key_frames());
        // Written beside the old file and put in its place only when whole.
        vfs_file* f = vfs_open(("@keycam/" + name).c_str(), "=w");
        ok = f && vfs_write(f, text.data(), text.size()) == text.size();
        if (f && !vfs_close(f)) ok = false;
    }
    show_message(ok ? "Camera keys saved" : "Error saving camera keys");
    return true;
}

bool toggle_keycam(const std::string&) {
    keycam_mode = !keycam_mode;
    say_toggle("Keycam mode", keycam_mode);
    return true;
}

bool toggle_spam(const std::string&) {
    messages.hide_spam = !messages.hide_spam;
    say_toggle("Hide spam", messages.hide_spam);
    return true;
}

bool send_file(const std::string& name) {
    client_send_file(name.c_str());
    return true;
}

bool list_files(const std::string& a) {
    char line[2048];
    for (int i = 0; i < file_index_size(); i++)
        if (file_index_describe(i, line, sizeof line) && contains_nocase(line, a)) show_message(line);
    return true;
}

bool message_line_count(const std::string& a) {
    scan_int(a, message_lines);
    show_messagef("Maximum showing messages is now %d", message_lines);
    return true;
}

bool demo_backup_count(const std::string& a) {
    scan_int(a, settings.demo_backups);
    show_messagef("Now keeping %d demo backups", settings.demo_backups);
    return true;
}

bool map_scale(const std::string& a) {
    float v = 0;
    if (string_scanf(a.c_str(), a.size(), nullptr, "%f", &v) == 1 && std::isfinite(v))
        settings.map_scale = std::clamp((double)v, 0.125, 8.0);
    show_messagef("Map scale set to %f", settings.map_scale);
    return true;
}

bool height_volume(const std::string&) {
    show_messagef("%f\n", height_field_volume());
    return true;
}

bool toggle_decals(const std::string&) {
    say_toggle("Hide decals", terrain_toggle_decals());
    return true;
}

bool clear_log(const std::string&) {
    clear_telemetry_points();
    return true;
}

bool telemetry_logging(const std::string& a) {
    show_message(set_telemetry_logging(a).c_str());
    // The points come from the race tic's track digging, which runs only
    // while the ground deforms.
    if ((telemetry_points.flags & 1u) && erode_rate <= 0)
        show_message("Telemetry points come from the wheels' track digging: start with \"--erode\" to collect them");
    return true;
}

bool report_stutter(const std::string& a) {
    double v = 0;
    if (string_scanf(a.c_str(), a.size(), nullptr, "%lf", &v) == 1 && std::isfinite(v)) stutter_threshold = v;
    show_messagef("Stutter threshold set to %f", stutter_threshold);
    return true;
}

// Word commands see the rest of the line after their name; this is its
// first blank-separated word.
std::string first_word(const std::string& rest) {
    size_t a = rest.find_first_not_of(" \t");
    if (a == std::string::npos) return "";
    size_t b = rest.find_first_of(" \t", a);
    return rest.substr(a, b == std::string::npos ? std::string::npos : b - a);
}

bool list_files_word(const std::string& rest) { return list_files(first_word(rest)); }
bool message_lines_word(const std::string& rest) { return message_line_count(first_word(rest)); }
bool demo_backups_word(const std::string& rest) { return demo_backup_count(first_word(rest)); }
bool map_scale_word(const std::string& rest) { return map_scale(first_word(rest)); }
bool report_stutter_word(const std::string& rest) { return report_stutter(first_word(rest)); }

// In the order they are tried. Word commands get the whole rest of the line
// after the name, and take their first word from it ("log" reads two).
const command commands[] = {
    {"savetrackinfo", match::exact, save_track_info_command},
    {"renderstats", match::exact, render_stats},
    {"togglespy", match::exact, [](const std::string&) { return toggle_int(settings.spy, "Spy mode"); }},
    {"togglegraph", match::exact,
     [](const std::string&) {
         hud_options.suspension_graph = !hud_options.suspension_graph;
         say_toggle("Suspension graph", hud_options.suspension_graph);
         return true;
     }},
    {"bbopt", match::prefix, billboard_window},
    {"pipe", match::prefix, pipe},
    {"namedemo", match::prefix, name_demo},
    {"camangle", match::prefix, camera_angle},
    {"fov", match::prefix, field_of_view},
    {"fpshist", match::prefix, frame_histogram},
    {"forcereload", match::exact, force_reload},
    {"readsetup", match::prefix, read_setup},
    {"writesetup", match::prefix, write_setup},
    {"randdump", match::exact, accepted},
    {"addkey", match::exact, add_key},
    {"deletekey", match::exact, delete_key},
    {"rmkey", match::exact, delete_key},
    {"clearkeys", match::exact, clear_keys},
    {"listkeys", match::exact, list_keys},
    {"readkeys", match::prefix, read_keys},
    {"writekeys", match::prefix, write_keys},
    {"togglekeycam", match::exact, toggle_keycam},
    {"togglefps", match::exact, [](const std::string&) { return toggle_int(settings.draw_fps, "FPS display"); }},
    {"toggletime", match::exact, [](const std::string&) { return toggle_int(settings.draw_time, "Time display"); }},
    {"toggleping", match::exact, [](const std::string&) { return toggle_int(settings.draw_ping, "Ping display"); }},
    {"togglespam", match::exact, toggle_spam},
    {"togglespeed", match::exact,
     [](const std::string&) { return toggle_int(settings.draw_speed, "Speed display"); }},
    {"sendfile", match::word, send_file},
    {"listfiles", match::word, list_files_word},
    {"messagelines", match::word, message_lines_word},
    {"demobackups", match::word, demo_backups_word},
    {"mapscale", match::word, map_scale_word},
    {"hfvol", match::exact, height_volume},
    {"toggledecals", match::exact, toggle_decals},
    {"clearlog", match::word, clear_log},
    {"log", match::word, telemetry_logging},
    {"reportstutter", match::word, report_stutter_word},
};

// The command the rest of the line names, with its argument.
const command* find_command(const std::string& rest, std::string& argument) {
    for (const command& c : commands) {
        size_t n = strlen(c.name);
        switch (c.kind) {
            case match::exact:
                if (rest == c.name) {
                    argument.clear();
                    return &c;
                }
                break;
            case match::prefix:
                if (rest.compare(0, n, c.name) == 0) {
                    argument = rest.substr(n);
                    return &c;
                }
                break;
            case match::word: {
                size_t a = 0;
                while (a < rest.size() && is_blank(rest[a])) a++;
                if (rest.compare(a, n, c.name) == 0 && (a + n == rest.size() || is_blank(rest[a + n]))) {
                    argument = rest.substr(a + n);
                    return &c;
                }
                break;
            }
        }
    }
    return nullptr;
}

bool chat(const std::string& text) {
    if (!(total_clock - g_last_chat > chat_flood_seconds)) {
        show_message("No one likes a spammer");
        return false;
    }
    g_last_chat = total_clock;
    if (!net_connected()) {
        show_message("Not connected to server");
        return true;
    }
    net_send_text(text.c_str());
    return true;
}

}  // namespace

bool console_submit(const std::string& submitted) {
    // Callers hand lines of any length; nothing past the limit is read.
    std::string line = submitted.substr(0, console_line_limit);
    if (line.empty() || (line[0] != '/' && line[0] != '\\')) return chat(line);
    std::string rest = line.substr(1), argument;
    const command* c = find_command(rest, argument);
    return c && c->run(argument);
}

void console_init() {
    g_last_chat = -std::numeric_limits<double>::infinity();
    key_frames().clear();
    keycam_mode = false;
    telemetry_points = telemetry_log{};
}

void console_free() {
    console_init();
    key_frames().shrink_to_fit();
}
