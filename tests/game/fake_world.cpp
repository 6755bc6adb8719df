// The stand-ins for everything below the game layer (see fake_world.h).
#include "fake_world.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "core/clock.h"
#include "core/quit.h"
#include "core/text.h"
#include "console/keycam.h"
#include "demo/demo.h"
#include "editor/editor.h"
#include "game/drivers.h"
#include "game/frame_loop.h"
#include "net/net.h"
#include "platform/input.h"
#include "platform/main_window.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "race/series.h"
#include "render/bike_draw.h"
#include "render/frame_draw.h"
#include "render/gl_frame.h"
#include "render/model.h"
#include "render/terrain_textures.h"
#include "script/script.h"
#include "sound/engine_sound.h"
#include "sound/sound.h"
#include "track/erosion.h"
#include "track/height_field.h"
#include "track/objects_cameras.h"
#include "track/objects_lighting.h"
#include "track/track.h"
#include "ui/asset_lists.h"
#include "ui/font.h"
#include "ui/hud.h"
#include "ui/menu.h"
#include "ui/screens.h"
#include "ui/setting_edit.h"
#include "ui/text_pixels.h"

namespace {

fake_world g_world;
int g_menu_page = main_page;
track_camera g_free_camera;
std::vector<track_camera> g_cameras;

void call(const std::string& what) { g_world.calls.push_back(what); }

bool take_event(bool up_to_deadline, double deadline, int& code, bool& pressed, bool& repeat) {
    std::deque<stamped_event>& q = g_world.queue;
    if (q.empty() || (up_to_deadline && q.front().stamp > deadline)) return false;
    code = q.front().code;
    pressed = q.front().pressed;
    repeat = q.front().repeat;
    q.pop_front();
    return true;
}

}  // namespace

fake_world& world() { return g_world; }

void reset_world() {
    g_world = fake_world{};
    g_menu_page = main_page;
    g_free_camera = track_camera{};
    race = race_clock{};
    terrain = height_field{};
}

// ---- the game's own wiring and run ------------------------------------------------

void connect_drivers() {
    app_clock.now = main_clock_now;
    app_clock.sleep_for = main_clock_sleep;
}

void run_frame_loop() {
    call("frame loop");
    g_world.quit_seen_by_loop = quit_requested;
}

void free_loop_lists() { call("free loop lists"); }

// ---- platform -----------------------------------------------------------------------

plix_window* main_window() { return nullptr; }
void build_video_modes() { call("video modes"); }
void free_video_modes() { call("free video modes"); }

bool open_main_window(const char* title, int width, int height, int flags, int depth_bits) {
    call(format_string("open window %s %dx%d %#x %d", title, width, height, flags, depth_bits));
    return true;
}

void close_main_window() { call("close window"); }
bool main_window_alive() { return g_world.alive; }
bool main_window_can_draw() { return g_world.drawable; }

bool main_window_begin_frame() {
    if (!g_world.drawable || !g_world.alive) return false;
    g_world.frames_drawn++;
    g_world.clock += g_world.draw_cost;
    return true;
}

bool main_window_end_frame() { return g_world.alive && g_world.swap_works; }

void main_window_size(int& width, int& height) {
    width = g_world.width;
    height = g_world.height;
}

void main_window_points(int& width, int& height) {
    width = g_world.points_width ? g_world.points_width : g_world.width;
    height = g_world.points_height ? g_world.points_height : g_world.height;
}

bool main_window_fullscreen() { return false; }

bool main_window_set_vsync(bool on) {
    call(on ? "vsync on" : "vsync off");
    return on && g_world.vsync_works;
}

int main_window_refresh_rate() { return g_world.refresh_rate; }
bool main_window_display_lost() { return g_world.display_lost; }

bool next_main_event(int& code, bool& pressed, bool& repeat) { return take_event(false, 0, code, pressed, repeat); }
bool next_main_event_before(double deadline, int& code, bool& pressed, bool& repeat) {
    return take_event(true, deadline, code, pressed, repeat);
}

double main_clock_now() { return g_world.clock; }

void main_clock_sleep(double seconds) {
    if (g_world.record_sleeps) call("sleep " + std::to_string(seconds));
    g_world.sleeps++;
    if (g_world.sleep_step >= 0)
        g_world.clock += g_world.sleep_step;
    else if (seconds > 0)
        g_world.clock += seconds;
    if (g_world.alive_until_sleeps >= 0 && g_world.sleeps >= g_world.alive_until_sleeps) g_world.alive = false;
}

bool open_audio_output() {
    call("open audio");
    return true;
}
bool open_audio_recording(int, int) {
    call("open recording");
    return g_world.recording_works;
}
void close_audio_output() { call("close audio"); }
bool audio_output_open() { return g_world.audio; }
void service_audio_output() {}
bool mix_audio_block(const uint8_t*&, size_t&) { return false; }

void open_input_bindings(plix_window*) { call("open bindings"); }
void close_input_bindings() { call("close bindings"); }
int key_code_for_name(plix_window*, const char*) { return -1; }
bool read_cursor_axes(int&, int&) { return false; }
int navigation_key_code(navigation_key) { return -1; }
void poll_axis_bindings() {}
bool watching_pots() { return false; }
void watch_pots_step(double) {}
void stop_watching_pots() {}
void capture_key_while_watching(plix_window*, int) {}

// ---- render ---------------------------------------------------------------------------

bool init_gl() {
    call("init gl");
    if (g_world.gone_after_gl) g_world.alive = false;
    return true;
}
bool multisampled_in_software() { return g_world.software_samples; }
void setup_gl_state(bool flat_shading) { call(flat_shading ? "gl state flat" : "gl state"); }
void load_bike_shapes() { call("bike shapes"); }
void delete_textures() { call("delete textures"); }
void models_free() { call("delete models"); }
void finish_frame() {}
bool read_frame(int width, int height, std::vector<uint8_t>& rgb) {
    return g_world.read_frame && g_world.read_frame(width, height, rgb);
}
bool save_screenshot(const char* name, int, int) {
    g_world.saved_shots.push_back(name);
    return g_world.shots_work;
}
void set_number_plate_painter(number_plate_painter) {}
void set_projection(int, int, double) {}
void draw_frame(const frame_camera&, int, const frame_race&) {}
frame_camera look_at_camera(const std::array<double, 3>&, const std::array<double, 3>&) { return {}; }
frame_camera yaw_pitch_camera(const std::array<double, 3>&, double, double) { return {}; }
bool first_person_camera(int, frame_camera&) { return false; }
void terrain_upkeep(int, bool) {}

// ---- user interface -----------------------------------------------------------------------

void load_fonts() { call("fonts"); }
void free_font_textures() { call("free fonts"); }
void load_hud_textures() { call("fixed textures"); }
void paint_number_plate(const char*, const number_plate_colours&, uint8_t*, int) {}
void show_main_menu() { call("main menu"); }
void menu_draw(int, int) {}
void menu_key(int code) { g_world.menu_keys.push_back(code); }
void menu_pointer_moved(int, int) {}
int current_menu_page() { return g_menu_page; }
void set_menu_page(int page) { g_menu_page = page; }
long menu_frame_number = 0;
// The menus' navigation keys as they are by default.
edit_key_codes edit_keys{0x1148, 0x1150, 0x114b, 0x114d, 0x101c, 0x111c, 0x2000, 0x1149, 0x1151};
void resolve_edit_keys() {}
void hud_draw(int, int, int) {}
void hud_draw_riding(int, int, int) {}
void draw_title_screen(const char*, int, int) {}
void draw_loading_indicator(unsigned, int, int) {}
void draw_text_row(const char*, int, int, int, int) {}
void build_graphics_lists() {}
void free_graphics_lists() {}
void build_demo_list() {}
void free_demo_list() {}

// ---- track --------------------------------------------------------------------------------

height_field terrain;
int erode_rate = 0;
void apply_erosion(const float*, float, int) { call("apply erosion"); }

void reset_default_lighting() { call("default lighting"); }
int scan_tracks() {
    call("scan tracks");
    return (int)g_world.tracks.size();
}
bool has_track(const char* dir) {
    return std::find(g_world.tracks.begin(), g_world.tracks.end(), dir) != g_world.tracks.end();
}
void release_track() { call("free track"); }
void free_track_lists() { call("free track lists"); }
bool track_loaded() { return g_world.track; }
float sample_height(int i, int j) { return g_world.height_sample ? (float)g_world.height_sample(i, j) : 0.0f; }
float height_at(float x, float z) { return g_world.height_at ? (float)g_world.height_at(x, z) : -HUGE_VALF; }
std::vector<track_camera>& track_cameras() { return g_cameras; }
track_camera& free_flight_camera() { return g_free_camera; }
track_camera& chosen_camera(int, track_camera& free_camera) { return free_camera; }
void aim_chosen_camera(int, track_camera&, const std::array<double, 3>*, const std::array<double, 3>&,
                       const control_values&, bool, bool) {}
bool has_camera_switches() { return false; }
int camera_for_rider(int) { return -1; }

// ---- bikes and the race ---------------------------------------------------------------------

race_clock race;

bool bike_world_init() {
    call("create world");
    return true;
}
void bike_world_free() { call("destroy world"); }
bool frame_pose(int, bike_pose&) { return false; }
bike_state* bike_in_slot(int) { return nullptr; }

void empty_slots(bool local_player) { call(local_player ? "empty slots, local player" : "empty slots"); }
bool reset_race_with_settings(const char* track, bool playback) {
    call(std::string("reset race ") + track + (playback ? " playback" : ""));
    return true;
}
void free_race() { call("free race"); }
void free_race_bikes() { call("free bikes"); }
void simulate_tic() {
    g_world.tics++;
    g_world.tic_times.push_back(g_world.clock);
}
int slot_type(int) { return g_world.viewed_type; }
bool slot_has_bike(int) { return g_world.bike; }
int running_order_slots(int* slots, int max) {
    int n = std::min(max, (int)g_world.running_order.size());
    for (int i = 0; i < n; i++) slots[i] = g_world.running_order[(size_t)i];
    return n;
}
void set_bike_controls(int, const control_values& controls) { g_world.handed.push_back(controls); }
bool attempt_running() { return false; }
void abort_attempt() {}
bool leader_finished() { return false; }
void restart_rotated() {}
bool slot_bike_touches(int) { return false; }
void raise_slot_bike(int, double) {}
void load_series_files() { call("series"); }
void free_series() { call("free series"); }

// ---- the Parts not built yet ----------------------------------------------------------------

bool net_connected() { return g_world.connected; }
void net_disconnect() { call("disconnect"); }
void net_shutdown() { call("net shutdown"); }
void net_tick() {}
bool net_server_tic_received() { return g_world.server_tics; }
int net_server_tic() { return g_world.server_tic; }
// A server slot is always given: never a warm-up.
bool net_has_server_slot() { return true; }
const char* net_rider_name(int) { return nullptr; }
void net_send_text(const char* text) { g_world.sent.push_back(text); }
void net_connect(const char* address, const char*, double, int) { call(std::string("connect ") + address); }

bool demo_playback_available() { return true; }
bool open_demo(const char* name, std::string& track) {
    call(std::string("open demo ") + name);
    track = "dunes";
    return true;
}
void close_demo() { call("close demo"); }
void demo_rewind() {}
void demo_skip() {}

void sound_update(double master_factor) { g_world.sound_factors.push_back(master_factor); }
void release_script_sounds() { call("release sounds"); }
void script_release() { call("release script"); }
void script_frame() {}
void script_tic() {}
bool script_load(const char*) { return false; }
void free_sound_sets() { call("free sound sets"); }
void engine_sound_load(int, const bike_state*, const char*) {}
void engine_sound_free(int) {}

editor_key_codes editor_keys;
bool editor_available() { return false; }
void editor_enable(bool) {}
void editor_attach() {}
void editor_detach() {}
void editor_set_pointer(int, int, int, int) {}
void editor_tic() {}
bool editor_key(int, bool) { return false; }
void editor_draw(int, int) {}
void editor_finish_changes() {}

// ---- the console's key-frame camera --------------------------------------------------

bool keycam_camera(int, frame_camera&) { return false; }
bool editor_track_modified() { return false; }
