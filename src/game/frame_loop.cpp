#include "game/frame_loop.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/diag.h"
#include "game/frame_loop_internal.h"
#include "platform/input.h"
#include "race/race.h"
#include "track/objects_cameras.h"
#include "ui/menu.h"
#include "core/setup_watch.h"
#include "core/timing.h"

frame_loop_state loop_state;

namespace frame_loop_detail {

bool screenshot_pending = false;
int esc_code = 0x1001;

bool connected() { return net_hook.connected && net_hook.connected(); }
bool track_loaded() { return track_hook.loaded && track_hook.loaded(); }
int slot_type(int slot) { return race_hook.slot_type ? race_hook.slot_type(slot) : -1; }
bool slot_has_bike(int slot) { return race_hook.slot_has_bike && race_hook.slot_has_bike(slot); }
bool menu_open() { return current_menu_page() != no_menu; }
bool warm_up() { return connected() && net_hook.has_server_slot && !net_hook.has_server_slot(); }
int binding_code(int binding) { return bindings[(size_t)binding].key_code; }

}  // namespace frame_loop_detail

using namespace frame_loop_detail;

namespace {

frame_loop_state& L = loop_state;

// "QUARNIX_QUIT_AFTER_FRAMES": tests and benchmarks end the loop after so
// many passes, as a window close would. -1: no limit.
long quit_after_frames = -1;
// A queue holds at most 256 events; this only guards against a source that
// never runs dry within one tic.
constexpr int events_per_tic_limit = 65536;
// A sleep that does not move the clock must not hang the frame timing.
constexpr int sleep_attempts = 64;

long read_quit_after_frames() {
    const char* text = getenv("QUARNIX_QUIT_AFTER_FRAMES");
    if (!text || !*text) return -1;
    char* end = nullptr;
    errno = 0;
    long n = strtol(text, &end, 10);
    if (*end || errno == ERANGE || n <= 0) return -1;
    return n;
}

bool compute_riding() {
    return slot_type(race.viewed_slot) == 0 && !(L.view_mode == free_view && settings.spy);
}

// ---- 1. view fix-ups -------------------------------------------------------------

void view_fixups() {
    bool track = track_loaded();
    if (track && L.view_mode == title_view) L.view_mode = first_person_view;
    L.riding = compute_riding();
    if (L.riding && L.view_mode != first_person_view && L.view_mode != third_person_view &&
        L.view_mode != editor_view)
        L.view_mode = first_person_view;
    if (!slot_has_bike(race.viewed_slot)) L.view_mode = free_view;
    if (!track) L.view_mode = title_view;
}

// ---- 2. drawing ----------------------------------------------------------------------

void clear_frame() {
    if (render_hook.clear_frame) render_hook.clear_frame();
}

void draw_world(const view_request& v) {
    if (render_hook.draw_view)
        render_hook.draw_view(v);
    else
        clear_frame();
}

void text_row(const char* text, int row) {
    if (ui_hook.draw_text_row) ui_hook.draw_text_row(text, row, 30);
}

void draw_current_view(int width, int height) {
    view_request v;
    v.view_mode = L.view_mode;
    v.viewed_slot = race.viewed_slot;
    v.width = width;
    v.height = height;
    switch (L.view_mode) {
        case first_person_view:
            draw_world(v);
            if (cmdline.show_hud && ui_hook.draw_riding_hud) ui_hook.draw_riding_hud();
            if (cmdline.print_orientation) print_orientation();
            break;
        case third_person_view: {
            bike_pose pose;
            if (bike_hook.frame_pose && bike_hook.frame_pose(race.viewed_slot, pose)) {
                chase_camera c = third_person_camera(pose, L.riding);
                v.eye = c.eye;
                v.target = c.target;
            }
            draw_world(v);
            break;
        }
        case free_view: {
            v.chosen_camera = L.chosen_camera;
            v.camera = &free_flight_camera();
            draw_world(v);
            const char* name = net_hook.rider_name ? net_hook.rider_name(race.viewed_slot) : nullptr;
            if (cmdline.show_hud && L.auto_camera && name && *name) text_row(name, 28);
            break;
        }
        case editor_view:
            if (editor_hook.draw)
                editor_hook.draw(width, height);
            else
                clear_frame();
            break;
        default:  // the title
            if (ui_hook.draw_title_screen)
                ui_hook.draw_title_screen("");
            else
                clear_frame();
            break;
    }
}

// Returns false when the window went away at the swap.
bool draw_frame() {
    if (!window_hook.begin_frame || !window_hook.begin_frame()) return true;
    int width = 0, height = 0;
    if (window_hook.client_size) window_hook.client_size(width, height);
    bool fullscreen = window_hook.fullscreen && window_hook.fullscreen();
    // A windowed window the player resized keeps its new size next time.
    if (!fullscreen && L.last_width > 0 && (width != L.last_width || height != L.last_height)) {
        settings.xres = width;
        settings.yres = height;
    }
    L.last_width = width;
    L.last_height = height;
    if (render_hook.set_projection) render_hook.set_projection(width, height, settings.fov);
    draw_current_view(width, height);
    if (cmdline.show_hud && ui_hook.draw_hud) ui_hook.draw_hud();
    if (cmdline.record_video && !L.paused && L.view_mode != title_view) write_video_frame(width, height);
    if (L.paused && cmdline.show_pause_text) text_row("Paused", 1);
    if (L.riding && warm_up()) text_row("Warmup mode - collisions disabled", 28);
    if (menu_open() && ui_hook.menu_draw) ui_hook.menu_draw();
    if (screenshot_pending) {
        screenshot_pending = false;
        take_screenshot(width, height);
    }
    checkpoint("draw");
    if (cmdline.finish_each_frame && render_hook.finish) render_hook.finish();
    if (window_hook.end_frame && !window_hook.end_frame()) return false;
    checkpoint("flip");
    return true;
}

// ---- 3. sound ----------------------------------------------------------------------

void feed_sound() {
    if (!audio_hook.device_open || !audio_hook.device_open()) return;
    double master = 1;
    if (L.paused || L.view_mode == editor_view)
        master = 0;
    else if (menu_open())
        master = L.riding ? 0 : 0.25;
    if (sound_hook.update) sound_hook.update(master);
    if (audio_hook.service) audio_hook.service();
    checkpoint("sound");
}

// ---- 4. frame timing -------------------------------------------------------------------

void count_frame_time(double v) {
    int k = 0;
    while (k < frame_histogram_buckets - 1 && !(v < tic_length * (double)(1 << k))) k++;
    L.frame_time_histogram[(size_t)k]++;
}

// Online the tic rate follows the server's clock.
double follow_server(double u) {
    if (!race_hook.local_tic || !net_hook.server_tic) return u;
    int local = race_hook.local_tic();
    double lag = ((double)net_hook.server_tic() - (double)local - 1) * tic_length;
    if (lag < 0) return u * (0.5 + 0.5 * std::clamp(lag + 1, 0.0, 1.0));
    bool gate_dropped = !race_hook.gate_drop_tic || local >= race_hook.gate_drop_tic();
    if (gate_dropped) return u * (1 + 0.125 * std::clamp(8 * lag, 0.0, 1.0));
    return u * (1 + 3 * std::min(lag, 1.0));
}

void advance_frame_clock() {
    bool offline = !connected();
    double v = time_now() - L.last_frame_start;
    count_frame_time(v);
    double u;
    if (offline && cmdline.lock_fps > 0) {
        double period = 1.0 / cmdline.lock_fps;
        if (v < period) time_sleep(period - v);
        u = period;
    } else if (offline && cmdline.warp) {
        u = 100 * tic_length;
    } else {
        for (int i = 0; i < sleep_attempts && v < tic_length; i++) {
            time_sleep(tic_length - v);
            v = time_now() - L.last_frame_start;
        }
        u = std::min(v, max_frame_advance_limit);
        if (u < 0) u = 0;
    }
    if (!L.frame_advance_seen || u < L.min_frame_advance) L.min_frame_advance = u;
    if (!L.frame_advance_seen || u > L.max_frame_advance) L.max_frame_advance = u;
    L.frame_advance_seen = true;
    if (!offline) u = follow_server(u);
    L.last_frame_start = time_now();
    L.target_clock += u;
    total_clock += u;
}

// ---- 5. the pointer over the menus -----------------------------------------------------

void track_pointer() {
    int x = L.cursor_x, y = L.cursor_y;
    if (!input_hook.read_cursor || !input_hook.read_cursor(x, y)) return;
    if (menu_open()) {
        if (!L.left_button_held) {
            if (ui_hook.menu_pointer_moved) ui_hook.menu_pointer_moved(x, y);
        } else if (x != L.cursor_x || y != L.cursor_y) {
            if (ui_hook.menu_key) ui_hook.menu_key(menu_drag_code);
        }
    }
    L.cursor_x = x;
    L.cursor_y = y;
}

// ---- 6. the tics --------------------------------------------------------------------

bool next_event(bool up_to_deadline, double deadline, int& code, bool& pressed) {
    if (up_to_deadline && input_hook.next_event_before) return input_hook.next_event_before(deadline, code, pressed);
    return input_hook.next_event && input_hook.next_event(code, pressed);
}

void take_tic_events(double deadline, bool deadline_passed) {
    int code = 0;
    bool pressed = false;
    for (int n = 0; n < events_per_tic_limit && next_event(deadline_passed, deadline, code, pressed); n++) {
        checkpoint("getmessage");
        dispatch_event(code, pressed);
    }
}

// Hands the tic's controls to the local bike, the editor or the camera.
// Returns false when the rest of the tic is skipped.
bool apply_controls() {
    if (L.view_mode == editor_view) {
        if (editor_hook.tic) editor_hook.tic(L.controls);
        if (!connected()) return false;
    } else if (!menu_open() && track_loaded()) {
        if (L.riding) {
            if (L.controls[back_up_control] > 0.5 && settings.time_trial_abort == 1 && race_hook.attempt_running &&
                race_hook.attempt_running() && race_hook.abort_attempt)
                race_hook.abort_attempt();
            if (slot_type(race.viewed_slot) == 0 && slot_has_bike(race.viewed_slot) && bike_hook.set_controls)
                bike_hook.set_controls(race.viewed_slot, L.controls);
        } else {
            steer_camera();
        }
    }
    checkpoint("action");
    return true;
}

void run_tics() {
    while (L.sim_clock < L.target_clock) {
        L.sim_clock += tic_length;
        // The wall-clock moment this tic stands for: events after it wait for
        // the tic they belong to.
        double behind = L.target_clock - L.sim_clock;
        double deadline = time_now() - behind;
        take_tic_events(deadline, behind > 0);
        checkpoint("processmessage");
        if (input_hook.watching_pots && input_hook.watching_pots() && input_hook.watch_pots_step)
            input_hook.watch_pots_step();
        if (input_hook.poll_axis_bindings) input_hook.poll_axis_bindings();
        L.controls = sum_control_bindings();

        // The ride is frozen behind a menu.
        if (menu_open() && L.riding && !connected()) continue;
        if (!apply_controls()) continue;

        if (connected()) L.paused = false;
        if (net_hook.tick) net_hook.tick();
        if (!track_loaded()) L.view_mode = title_view;
        checkpoint("net");

        bool server_ready = !connected() || (net_hook.server_tic_received && net_hook.server_tic_received());
        if (!L.paused && L.view_mode != title_view && track_loaded() && server_ready && race_hook.simulate_tic) {
            race_hook.simulate_tic();
            checkpoint("tic");
            record_audio_block();
        }
    }
}

// ---- 7. "--warp" ---------------------------------------------------------------------

void warp_to_next_race() {
    if (!cmdline.warp || !track_loaded()) return;
    if (race_hook.leader_finished && race_hook.leader_finished() && race_hook.restart_rotated)
        race_hook.restart_rotated();
}

// ---- 8. terrain and track upkeep -----------------------------------------------------------

// The frame body position of the first slot holding the local human's bike.
bool local_rider_position(std::array<double, 3>& position) {
    if (!bike_hook.frame_pose) return false;
    for (int slot = 0; slot < 160; slot++) {
        if (slot_type(slot) != 0 || !slot_has_bike(slot)) continue;
        bike_pose pose;
        if (!bike_hook.frame_pose(slot, pose)) continue;
        position = pose.position;
        return true;
    }
    return false;
}

void upkeep() {
    if (L.view_mode == title_view) return;
    if (cmdline.erode_rate > 0 && track_hook.apply_erosion) {
        std::array<double, 3> position;
        bool have = local_rider_position(position);
        if (track_hook.set_frozen) track_hook.set_frozen(false);
        track_hook.apply_erosion(have ? &position : nullptr, cmdline.erode_rate / 1024.0);
        if (track_hook.set_frozen) track_hook.set_frozen(true);
    }
    checkpoint("erode");
    int delay = (int)std::clamp(settings.reshade_delay, 0.0, 20.0);
    unsigned last = (1u << delay) - 1;
    bool reshade = L.view_mode == editor_view;
    if (L.reshade_counter >= last) {
        reshade = true;
        L.reshade_counter = 0;
    } else {
        L.reshade_counter++;
    }
    if (track_hook.terrain_upkeep) track_hook.terrain_upkeep(8000, reshade);
    expire_messages(total_clock);
    checkpoint("update");
}

// ---- 9. the setup-change report -----------------------------------------------------------

void setup_report() {
    if (total_clock < L.next_setup_report) return;
    L.next_setup_report += 5;
    if (L.next_setup_report <= total_clock) L.next_setup_report = total_clock + 5;
    if (std::optional<std::string> report = setup_change_report()) {
        if (!connected())
            show_message(report->c_str());
        else if (net_hook.send_text)
            net_hook.send_text(report->c_str());
    }
    remember_setup_values();
}

// Said once, so that a player knows why the window shows so little.
void report_missing_parts() {
    std::string missing;
    auto note = [&](bool present, const char* what) {
        if (present) return;
        if (!missing.empty()) missing += ", ";
        missing += what;
    };
    note(render_hook.draw_view, "drawing the views");
    note(ui_hook.draw_hud, "the HUD");
    note(ui_hook.menu_draw, "the menus");
    note(sound_hook.update, "the sound update");
    note(net_hook.tick, "the network tick");
    note(race_hook.simulate_tic, "the race tic");
    note(track_hook.apply_erosion, "terrain erosion");
    note(editor_hook.tic, "the editor");
    if (!missing.empty()) log_printf("The frame loop runs without %s: not in this build yet\n", missing.c_str());
}

}  // namespace

void frame_loop_init() {
    L = frame_loop_state{};
    reset_stutter_report();
    set_menu_page(main_page);
    race.viewed_slot = 0;
    free_flight_camera() = track_camera{};
    L.last_frame_start = time_now();
    total_clock = 0;
    screenshot_pending = false;
    esc_code = 0x1001;
    quit_after_frames = read_quit_after_frames();
}

bool frame_loop_pass() {
    if (quit_requested) return false;
    if (window_hook.alive && !window_hook.alive()) return false;
    menu_frame_number = L.frames;
    view_fixups();
    if (!draw_frame()) return false;
    feed_sound();
    advance_frame_clock();
    track_pointer();
    run_tics();
    warp_to_next_race();
    upkeep();
    setup_report();
    L.frames++;
    if (quit_after_frames >= 0 && L.frames >= quit_after_frames) quit_requested = true;
    return !quit_requested;
}

void run_frame_loop() {
    quit_after_frames = read_quit_after_frames();
    if (input_hook.key_code) {
        int code = input_hook.key_code("esc");
        if (code >= 0) esc_code = code;
    }
    if (cmdline.connect_target) set_menu_page(no_menu);
    report_missing_parts();
    L.last_frame_start = time_now();
    while (frame_loop_pass()) {
    }
}

void install_frame_loop() { loop_hook.run = run_frame_loop; }
