#include "game/frame_loop.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "bike/bike.h"
#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/quit.h"
#include "core/setup_watch.h"
#include "editor/editor.h"
#include "game/frame_loop_internal.h"
#include "net/net.h"
#include "platform/input.h"
#include "platform/main_window.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "render/frame_draw.h"
#include "render/gl_frame.h"
#include "render/terrain_textures.h"
#include "script/script.h"
#include "sound/sound.h"
#include "track/erosion.h"
#include "track/objects_cameras.h"
#include "track/track.h"
#include "ui/hud.h"
#include "ui/menu.h"
#include "ui/screens.h"

frame_loop_state loop_state;

namespace frame_loop_detail {

bool screenshot_pending = false;
int esc_code = 0x1001;

bool menu_open() { return current_menu_page() != no_menu; }
bool warm_up() { return net_connected() && !net_has_server_slot(); }

int local_human_slot() {
    for (int slot = 0; slot < race_slot_count; slot++)
        if (slot_type(slot) == 0 && slot_has_bike(slot)) return slot;
    return -1;
}

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

void text_row(const char* text, int row, int width, int height) { draw_text_row(text, row, 30, width, height); }

void draw_current_view(int width, int height) {
    switch (L.view_mode) {
        case first_person_view:
            draw_world();
            if (cmdline.show_hud) hud_draw_riding(race.viewed_slot, width, height);
            if (cmdline.print_orientation) print_orientation();
            break;
        case third_person_view: draw_world(); break;
        case free_view: {
            draw_world();
            const char* name = net_rider_name(race.viewed_slot);
            if (cmdline.show_hud && L.auto_camera && name && *name) text_row(name, 28, width, height);
            break;
        }
        case editor_view: editor_draw(width, height); break;
        default: draw_title_screen("", width, height); break;
    }
}

// The general HUD, unless a menu page covers the screen (the chat line
// leaves it uncovered).
void draw_general_hud(int width, int height) {
    int page = current_menu_page();
    if (page != no_menu && page != input_line_page) return;
    hud_draw(race.viewed_slot, width, height);
}

// Returns false when the window went away at the swap.
bool draw_frame() {
    if (!main_window_begin_frame()) return true;
    int width = 0, height = 0;
    main_window_size(width, height);
    bool fullscreen = main_window_fullscreen();
    // A windowed window the player resized keeps its new size next time, in
    // the points a window is made in (pixels would grow it on every run on a
    // HiDPI screen).
    if (!fullscreen && L.last_width > 0 && (width != L.last_width || height != L.last_height)) {
        int points_w = 0, points_h = 0;
        main_window_points(points_w, points_h);
        if (points_w > 0 && points_h > 0) {
            settings.xres = points_w;
            settings.yres = points_h;
        }
    }
    L.last_width = width;
    L.last_height = height;
    set_projection(width, height, settings.fov);
    script_frame();
    draw_current_view(width, height);
    if (cmdline.show_hud) draw_general_hud(width, height);
    if (cmdline.record_video && !L.paused && L.view_mode != title_view) write_video_frame(width, height);
    if (L.paused && cmdline.show_pause_text) text_row("Paused", 1, width, height);
    if (L.riding && warm_up()) text_row("Warmup mode - collisions disabled", 28, width, height);
    if (menu_open()) menu_draw(width, height);
    if (screenshot_pending) {
        screenshot_pending = false;
        take_screenshot(width, height);
    }
    checkpoint("draw");
    if (cmdline.finish_each_frame) finish_frame();
    if (!main_window_end_frame()) return false;
    checkpoint("flip");
    return true;
}

// ---- 3. sound ----------------------------------------------------------------------

void feed_sound() {
    if (!audio_output_open()) return;
    double master = 1;
    if (L.paused || L.view_mode == editor_view)
        master = 0;
    else if (menu_open())
        master = L.riding ? 0 : 0.25;
    sound_update(master);
    service_audio_output();
    checkpoint("sound");
}

// ---- 4. frame timing -------------------------------------------------------------------

// Vertical sync as the setting asks, except where the loop paces frames
// exactly itself ("--lock-fps") or not at all ("--warp"). Asked again only
// when that changes.
void choose_swap_sync() {
    bool wanted = settings.vsync != 0 && !(cmdline.lock_fps > 0) && !cmdline.warp;
    if (L.sync_decided && wanted == L.sync_asked) return;
    L.sync_decided = true;
    L.sync_asked = wanted;
    L.swaps_wait = main_window_set_vsync(wanted);
    L.refresh_rate = main_window_refresh_rate();
}

void count_frame_time(double v) {
    int k = 0;
    while (k < frame_histogram_buckets - 1 && !(v < tic_length * (double)(1 << k))) k++;
    L.frame_time_histogram[(size_t)k]++;
}

// Online the tic rate follows the server's clock.
double follow_server(double u) {
    int local = race.tic;
    double lag = ((double)net_server_tic() - (double)local - 1) * tic_length;
    if (lag < 0) return u * (0.5 + 0.5 * std::clamp(lag + 1, 0.0, 1.0));
    bool gate_dropped = local >= race.gate_drop_tic;
    if (gate_dropped) return u * (1 + 0.125 * std::clamp(8 * lag, 0.0, 1.0));
    return u * (1 + 3 * std::min(lag, 1.0));
}

void advance_frame_clock() {
    bool offline = !net_connected();
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
        const double floor = frame_period_floor();
        for (int i = 0; i < sleep_attempts && v < floor; i++) {
            time_sleep(floor - v);
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
    if (!read_cursor_axes(x, y)) return;
    if (menu_open()) {
        if (!L.left_button_held) {
            menu_pointer_moved(x, y);
        } else if (x != L.cursor_x || y != L.cursor_y) {
            resolve_edit_keys();
            menu_key(menu_drag_code);
        }
    }
    L.cursor_x = x;
    L.cursor_y = y;
}

// ---- 6. the tics --------------------------------------------------------------------

bool next_event(bool up_to_deadline, double deadline, int& code, bool& pressed, bool& repeat) {
    if (up_to_deadline) return next_main_event_before(deadline, code, pressed, repeat);
    return next_main_event(code, pressed, repeat);
}

void take_tic_events(double deadline, bool deadline_passed) {
    int code = 0;
    bool pressed = false, repeat = false;
    for (int n = 0; n < events_per_tic_limit && next_event(deadline_passed, deadline, code, pressed, repeat); n++) {
        checkpoint("getmessage");
        dispatch_event(code, pressed, repeat);
    }
}

// Hands the tic's controls to the local bike, the editor or the camera.
// Returns false when the rest of the tic is skipped.
bool apply_controls() {
    if (L.view_mode == editor_view) {
        pass_editor_input();
        editor_tic();
        if (!net_connected()) return false;
    } else if (!menu_open() && track_loaded()) {
        if (L.riding) {
            if (L.controls[back_up_control] > 0.5 && settings.time_trial_abort == 1 && attempt_running())
                abort_attempt();
            if (slot_type(race.viewed_slot) == 0 && slot_has_bike(race.viewed_slot))
                set_bike_controls(race.viewed_slot, L.controls);
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
        if (watching_pots()) watch_pots_step(total_clock);
        poll_axis_bindings();
        L.controls = sum_control_bindings();

        // The ride is frozen behind a menu.
        if (menu_open() && L.riding && !net_connected()) continue;
        if (!apply_controls()) continue;

        if (net_connected()) L.paused = false;
        net_tick();
        if (!track_loaded()) L.view_mode = title_view;
        checkpoint("net");

        bool server_ready = !net_connected() || net_server_tic_received();
        if (!L.paused && L.view_mode != title_view && track_loaded() && server_ready) {
            simulate_tic();
            checkpoint("tic");
            record_audio_block();
        }
    }
}

// ---- 7. "--warp" ---------------------------------------------------------------------

void warp_to_next_race() {
    if (!cmdline.warp || !track_loaded()) return;
    if (leader_finished()) restart_rotated();
}

// ---- 8. terrain and track upkeep -----------------------------------------------------------

void upkeep() {
    if (L.view_mode == title_view) return;
    // Queued wheel marks reach the ground, held back around the local rider.
    if (erode_rate > 0) {
        float viewer[2];
        bool have_viewer = false;
        for (int s = 0; s < race_slot_count && !have_viewer; s++) {
            bike_state* b = bike_in_slot(s);
            if (!b || slot_type(s) != local_slot || !b->bodies[body_frame]) continue;
            const dReal* p = dBodyGetPosition(b->bodies[body_frame]);
            viewer[0] = (float)p[0], viewer[1] = (float)p[2];
            have_viewer = true;
        }
        apply_erosion(have_viewer ? viewer : nullptr, (float)erode_rate / 1024.0f, race.tic);
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
    terrain_upkeep(8000, reshade);
    expire_messages(total_clock);
    checkpoint("update");
}

// ---- 9. the setup-change report -----------------------------------------------------------

void setup_report() {
    if (total_clock < L.next_setup_report) return;
    L.next_setup_report += 5;
    if (L.next_setup_report <= total_clock) L.next_setup_report = total_clock + 5;
    if (std::optional<std::string> report = setup_change_report()) {
        if (!net_connected())
            show_message(report->c_str());
        else
            net_send_text(report->c_str());
    }
    remember_setup_values();
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

double frame_period_floor() {
    if (!L.sync_asked || L.swaps_wait) return tic_length;
    double rate = L.refresh_rate > 0 ? (double)L.refresh_rate : fallback_frame_rate;
    return std::max(tic_length, 1.0 / rate);
}

bool frame_loop_pass() {
    if (quit_requested) return false;
    if (!main_window_alive()) return false;
    menu_frame_number = L.frames;
    choose_swap_sync();
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

namespace frame_loop_detail {
void reload_frame_limit() { quit_after_frames = read_quit_after_frames(); }
}  // namespace frame_loop_detail
