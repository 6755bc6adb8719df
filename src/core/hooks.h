// Plug-in points for the subsystems that start-up, the loading screen and
// shutdown drive. Each subsystem's install function (called from main) fills
// its table; an entry left null means that part is not in this build, and
// start-up says so and carries on without it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/controls.h"


// ---- input events ---------------------------------------------------------------
// The window's close request among the input event codes.
constexpr int window_close_code = 0xdead;

// Set by the window's close request; ends the frame loop. Loading screens that
// throw pending events away keep it.
extern bool quit_requested;

// ---- window, display modes and frames ------------------------------------------------
// Window flag word: colour depth in the low byte, 0x200 for full screen.
constexpr int window_fullscreen_flag = 0x200;

struct window_hooks {
    // Fills the video-mode choice (set_video_mode_items, core/config.h).
    void (*build_video_modes)() = nullptr;
    void (*free_video_modes)() = nullptr;
    bool (*open)(const char* title, int width, int height, int flags, int depth_bits) = nullptr;
    void (*close)() = nullptr;
    bool (*alive)() = nullptr;        // the window still exists
    bool (*can_draw)() = nullptr;     // a frame could be drawn now
    bool (*begin_frame)() = nullptr;  // false when no frame can be drawn
    bool (*end_frame)() = nullptr;    // false when the window is gone
    // The current client size in pixels, and whether the window is full screen.
    void (*client_size)(int& width, int& height) = nullptr;
    bool (*fullscreen)() = nullptr;
};
extern window_hooks window_hook;

// ---- input devices and bindings ---------------------------------------------------
struct input_hooks {
    // Takes the oldest queued event: its code and whether it is a press.
    bool (*next_event)(int& code, bool& pressed) = nullptr;
    // The oldest queued event only when it is stamped no later than
    // `deadline` (seconds on the app clock); a later one holds back the rest.
    bool (*next_event_before)(double deadline, int& code, bool& pressed) = nullptr;
    // The cursor axes, every binding of the configuration and the fixed
    // navigation keys; closed again at shutdown.
    void (*open_bindings)() = nullptr;
    void (*close_bindings)() = nullptr;
    // A key name to its event code (-1 when it names nothing) and back.
    int (*key_code)(const char* name) = nullptr;
    const char* (*key_name)(int code) = nullptr;
    // The pointer in window pixels, from the two cursor axes.
    bool (*read_cursor)(int& x, int& y) = nullptr;
    // Sets the value of every binding that reads an axis.
    void (*poll_axis_bindings)() = nullptr;
    // Axis calibration for the control-customising menu.
    bool (*watching_pots)() = nullptr;
    void (*watch_pots_step)() = nullptr;
    void (*stop_watching_pots)() = nullptr;
    // A key pressed while watching, kept by name for the menu.
    void (*capture_key)(int code) = nullptr;
};
extern input_hooks input_hook;

// ---- audio -----------------------------------------------------------------------
struct audio_hooks {
    bool (*open_device)() = nullptr;
    // The memory-recording device for "--record-audio".
    bool (*open_recording)(int rate, int block_frames) = nullptr;
    void (*close_device)() = nullptr;
    void (*free_sound_sets)() = nullptr;
    bool (*device_open)() = nullptr;
    void (*service)() = nullptr;  // the device's per-frame work
    // The recording device: mixes one block; the bytes stay valid until the
    // next call.
    bool (*mix_block)(const uint8_t*& bytes, size_t& count) = nullptr;
};
extern audio_hooks audio_hook;

// ---- sound -----------------------------------------------------------------------
struct sound_hooks {
    // Engine voices and script sounds, once per frame; 0 mutes, 1 is full.
    void (*update)(double master_factor) = nullptr;
};
extern sound_hooks sound_hook;

// ---- GL, textures, models, collision shapes ---------------------------------------
// The frame loop's view modes.
constexpr int first_person_view = 0;
constexpr int editor_view = 2;
constexpr int third_person_view = 3;
constexpr int free_view = 4;
constexpr int title_view = 5;

// A free-flying or track camera: position, aim and their rates (radians,
// radians per second), field of view in degrees, automatic fov size (0 off).
struct camera_record {
    std::array<double, 3> position{};
    double yaw = 0, pitch = 0;
    double yaw_rate = 0, pitch_rate = 0;
    double fov = 90;
    double autofovsize = 0;
};

// What one drawn view looks from: the viewed rider (first person), a placed
// eye looking at a target (third person), or a camera record (free view).
struct view_request {
    int view_mode = title_view;
    int viewed_slot = 0;
    int width = 0, height = 0;
    std::array<double, 3> eye{};
    std::array<double, 3> target{};
    // free view: the chosen track camera, or the free camera for -1
    int chosen_camera = -1;
    const camera_record* camera = nullptr;
};

struct render_hooks {
    void (*load_bike_shapes)() = nullptr;
    // GL and its extensions, the "GL_VENDOR: %s" … log lines, the capabilities.
    bool (*init_gl)() = nullptr;
    // Clear colour, culling, pixel alignment; flat shading with "--fugly".
    void (*setup_gl_state)(bool flat_shading) = nullptr;
    void (*load_fixed_textures)() = nullptr;  // "!@tach.png", "!@shifter.png", …
    void (*delete_textures)() = nullptr;
    void (*delete_models)() = nullptr;
    // The frame loop's drawing.
    void (*set_projection)(int width, int height, double fov) = nullptr;
    void (*draw_view)(const view_request& view) = nullptr;
    void (*clear_frame)() = nullptr;  // the clear colour, for views not drawn yet
    void (*finish)() = nullptr;       // waits until the frame is drawn
    // The drawn frame as RGB bytes, rows from the top.
    bool (*read_frame)(int width, int height, std::vector<uint8_t>& rgb) = nullptr;
    // The drawn frame as a PNG file under the given name.
    bool (*save_screenshot)(const char* name, int width, int height) = nullptr;
    // The first-person eye point and the rider's right and rear axes.
    bool (*eye_orientation)(std::array<double, 3>& eye, std::array<double, 3>& x_axis,
                            std::array<double, 3>& z_axis) = nullptr;
};
extern render_hooks render_hook;

// ---- fonts, title screen, menus --------------------------------------------------
struct ui_hooks {
    void (*load_fonts)() = nullptr;
    void (*free_font_textures)() = nullptr;
    void (*draw_title_screen)(const char* text) = nullptr;
    void (*draw_loading_indicator)(unsigned count) = nullptr;
    void (*show_main_menu)() = nullptr;
    // The open menu page (the frame loop keeps which page is open).
    void (*menu_draw)() = nullptr;
    void (*menu_key)(int code) = nullptr;
    void (*menu_pointer_moved)(int x, int y) = nullptr;
    void (*draw_riding_hud)() = nullptr;
    void (*draw_hud)() = nullptr;
    // A white line centred on `row` of a grid of `rows` text rows over the
    // window's height, counted from the top.
    void (*draw_text_row)(const char* text, int row, int rows) = nullptr;
};
extern ui_hooks ui_hook;

// A bike's frame body: position, orientation (columns: its x, y and z axes in
// world coordinates) and velocity.
struct bike_pose {
    std::array<double, 3> position{};
    std::array<std::array<double, 3>, 3> axes{};
    std::array<double, 3> velocity{};
};

// ---- tracks ----------------------------------------------------------------------
struct track_hooks {
    void (*reset_default_lighting)() = nullptr;
    int (*scan_tracks)() = nullptr;  // number of tracks found
    bool (*has_track)(const char* name) = nullptr;
    void (*free_track)() = nullptr;
    void (*free_track_lists)() = nullptr;
    bool (*loaded)() = nullptr;
    // Track cameras: how many, whether the track switches them by the
    // viewed rider's progress, and which one that asks for now (-1: none).
    int (*camera_count)() = nullptr;
    bool (*has_camera_switches)() = nullptr;
    int (*camera_for_rider)(int slot) = nullptr;
    // Moves the chosen track camera (the free camera for -1) by one tic of
    // the controls, or after the target (the viewed bike) with auto_camera;
    // `snap` jumps straight onto the target.
    void (*aim_camera)(int chosen_camera, camera_record& free_camera, const bike_pose* target,
                       const control_values& controls, bool snap, bool auto_camera) = nullptr;
    // The height field: sample grid size and spacing, one sample, and the
    // height under a point.
    bool (*height_grid)(int& samples_x, int& samples_z, double& spacing) = nullptr;
    double (*height_sample)(int i, int j) = nullptr;
    double (*height_at)(double x, double z) = nullptr;
    // Terrain erosion round a point (none: null), with the height field's
    // frozen flag lifted by the caller.
    void (*apply_erosion)(const std::array<double, 3>* position, double strength) = nullptr;
    void (*set_frozen)(bool frozen) = nullptr;
    // Level-of-detail refresh within a work budget, and the re-shading of the
    // marked terrain textures when asked.
    void (*terrain_upkeep)(int lod_budget, bool reshade) = nullptr;
};
extern track_hooks track_hook;

// ---- bikes ---------------------------------------------------------------------------
struct bike_hooks {
    // The texture prefix of a model of the bike table (its graphics variants).
    const char* (*texture_prefix)(int model) = nullptr;
    bool (*frame_pose)(int slot, bike_pose& pose) = nullptr;
    // One tic's nine control values for the bike of a slot.
    void (*set_controls)(int slot, const control_values& controls) = nullptr;
    // Lifting bikes clear of the ground after the terrain was edited.
    bool (*touches_ground)(int slot) = nullptr;
    void (*raise)(int slot, double dy) = nullptr;
};
extern bike_hooks bike_hook;

// ---- physics world -----------------------------------------------------------------
struct physics_hooks {
    bool (*create_world)() = nullptr;   // gravity (0, -32, 0) and the collision space
    void (*destroy_world)() = nullptr;  // and closes the physics library
};
extern physics_hooks physics_hook;

// ---- demos -----------------------------------------------------------------------
struct demo_hooks {
    // Opens a demo for playback and gives its track.
    bool (*open)(const char* name, std::string& track) = nullptr;
    void (*close)() = nullptr;  // the demo being recorded or played
    void (*rewind)() = nullptr;  // one step back
    void (*skip)() = nullptr;    // one step forward
};
extern demo_hooks demo_hook;

// ---- race: slots, reset, series -------------------------------------------------------
struct race_hooks {
    void (*load_series)() = nullptr;
    void (*free_series)() = nullptr;
    // Empties all 160 slots; slot 0 becomes the local player unless a demo plays.
    void (*empty_slots)(bool local_player) = nullptr;
    bool (*reset_race)(const char* track, bool playback) = nullptr;
    void (*free_race)() = nullptr;  // race records and the collision joint group
    void (*free_bikes)() = nullptr;  // every slot's engine voice and bike
    void (*release_sounds)() = nullptr;
    // One tic of the whole race with the controls already handed over.
    void (*simulate_tic)() = nullptr;
    int (*local_tic)() = nullptr;
    int (*gate_drop_tic)() = nullptr;
    // A slot's kind (0: the local human rider), or -1 when it is empty.
    int (*slot_type)(int slot) = nullptr;
    bool (*slot_has_bike)(int slot) = nullptr;
    // The running order's slots, at most `max`; returns how many.
    int (*running_order)(int* slots, int max) = nullptr;
    // A timed attempt is running; and aborting it.
    bool (*attempt_running)() = nullptr;
    void (*abort_attempt)() = nullptr;
    // "--warp": the leader has completed the race's laps; then the lineup
    // turns by one place and the race starts again with the same settings.
    bool (*leader_finished)() = nullptr;
    void (*restart_rotated)() = nullptr;
};
extern race_hooks race_hook;

// ---- network ---------------------------------------------------------------------
struct net_hooks {
    bool (*connected)() = nullptr;
    void (*disconnect)() = nullptr;  // and resets the connection state
    void (*shutdown)() = nullptr;    // the network library
    void (*tick)() = nullptr;        // once per tic; nothing without a connection
    // The server has delivered at least one tic; its latest tic.
    bool (*server_tic_received)() = nullptr;
    int (*server_tic)() = nullptr;
    // The server has given us a slot (warm-up until it has).
    bool (*has_server_slot)() = nullptr;
    // The rider name the server gave a replayed slot, or null.
    const char* (*rider_name)(int slot) = nullptr;
    // A text message to the server (cut to what the packet holds).
    void (*send_text)(const char* text) = nullptr;
};
extern net_hooks net_hook;

// ---- track editor ------------------------------------------------------------------
struct editor_hooks {
    void (*tic)(const control_values& controls) = nullptr;
    // Returns true when the editor consumed the key.
    bool (*key)(int code, bool pressed) = nullptr;
    void (*draw)(int width, int height) = nullptr;
    // Leaving the editor view: its track changes are finished.
    void (*finish_changes)() = nullptr;
};
extern editor_hooks editor_hook;

// ---- the frame loop ----------------------------------------------------------------
struct loop_hooks {
    void (*run)() = nullptr;  // until the window closes or the player quits
    void (*free_lists)() = nullptr;
};
extern loop_hooks loop_hook;

// Every table back to empty (tests).
void clear_hooks();
