// Plug-in points for the subsystems that start-up, the loading screen and
// shutdown drive. Each subsystem's install function (called from main) fills
// its table; an entry left null means that part is not in this build, and
// start-up says so and carries on without it.
#pragma once

#include <string>

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
};
extern window_hooks window_hook;

// ---- input devices and bindings ---------------------------------------------------
struct input_hooks {
    // Takes the oldest queued event: its code and whether it is a press.
    bool (*next_event)(int& code, bool& pressed) = nullptr;
    // The cursor axes, every binding of the configuration and the fixed
    // navigation keys; closed again at shutdown.
    void (*open_bindings)() = nullptr;
    void (*close_bindings)() = nullptr;
};
extern input_hooks input_hook;

// ---- audio -----------------------------------------------------------------------
struct audio_hooks {
    bool (*open_device)() = nullptr;
    // The memory-recording device for "--record-audio".
    bool (*open_recording)(int rate, int block_frames) = nullptr;
    void (*close_device)() = nullptr;
    void (*free_sound_sets)() = nullptr;
};
extern audio_hooks audio_hook;

// ---- GL, textures, models, collision shapes ---------------------------------------
struct render_hooks {
    void (*load_bike_shapes)() = nullptr;
    // GL and its extensions, the "GL_VENDOR: %s" … log lines, the capabilities.
    bool (*init_gl)() = nullptr;
    // Clear colour, culling, pixel alignment; flat shading with "--fugly".
    void (*setup_gl_state)(bool flat_shading) = nullptr;
    void (*load_fixed_textures)() = nullptr;  // "!@tach.png", "!@shifter.png", …
    void (*delete_textures)() = nullptr;
    void (*delete_models)() = nullptr;
};
extern render_hooks render_hook;

// ---- fonts, title screen, menus --------------------------------------------------
struct ui_hooks {
    void (*load_fonts)() = nullptr;
    void (*free_font_textures)() = nullptr;
    void (*draw_title_screen)(const char* text) = nullptr;
    void (*draw_loading_indicator)(unsigned count) = nullptr;
    void (*show_main_menu)() = nullptr;
};
extern ui_hooks ui_hook;

// ---- tracks ----------------------------------------------------------------------
struct track_hooks {
    void (*reset_default_lighting)() = nullptr;
    int (*scan_tracks)() = nullptr;  // number of tracks found
    bool (*has_track)(const char* name) = nullptr;
    void (*free_track)() = nullptr;
    void (*free_track_lists)() = nullptr;
};
extern track_hooks track_hook;

// ---- bikes -----------------------------------------------------------------------
struct bike_hooks {
    // The texture prefix of a model of the bike table (its graphics variants).
    const char* (*texture_prefix)(int model) = nullptr;
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
};
extern race_hooks race_hook;

// ---- network ---------------------------------------------------------------------
struct net_hooks {
    bool (*connected)() = nullptr;
    void (*disconnect)() = nullptr;  // and resets the connection state
    void (*shutdown)() = nullptr;    // the network library
};
extern net_hooks net_hook;

// ---- the frame loop ----------------------------------------------------------------
struct loop_hooks {
    void (*run)() = nullptr;  // until the window closes or the player quits
    void (*free_lists)() = nullptr;
};
extern loop_hooks loop_hook;

// Every table back to empty (tests).
void clear_hooks();
