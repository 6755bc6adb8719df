// The program's one window with its OpenGL context, display modes, the timed
// input event queue, and the precise clock and sleep used by the frame loop.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/quit.h"

// ---- time -----------------------------------------------------------------
struct plix_time {
    long seconds;
    long microseconds;
};

inline double to_seconds(plix_time t) { return (double)t.seconds + (double)t.microseconds * 1e-6; }
plix_time plix_time_from_seconds(double s);
// Later than, with microsecond resolution.
inline bool time_after(plix_time a, plix_time b) {
    return a.seconds != b.seconds ? a.seconds > b.seconds : a.microseconds > b.microseconds;
}

// The clock and sleep behind now() and sleep_for(); tests install a fake.
struct plix_clock_driver {
    plix_time (*now)();
    void (*sleep_for)(long seconds, long microseconds);
};
extern plix_clock_driver* active_clock;
extern plix_clock_driver system_clock;  // CLOCK_MONOTONIC and clock_nanosleep

inline plix_time now() { return active_clock->now(); }
inline void sleep_for(long seconds, long microseconds) { active_clock->sleep_for(seconds, microseconds); }
inline double now_seconds() { return to_seconds(now()); }

// ---- events ---------------------------------------------------------------
// Codes: 0..255 typed characters (press only), 0x1000 + PC set-1 scan code
// (+0x100 for extended keys), 0x2000..0x2002 mouse buttons, 0xdead window
// close, device code + button for polled devices.
constexpr uint32_t event_close = window_close_code;
constexpr uint32_t event_key_base = 0x1000;
constexpr uint32_t event_mouse_left = 0x2000;
constexpr uint32_t event_mouse_middle = 0x2001;
constexpr uint32_t event_mouse_right = 0x2002;
constexpr int event_queue_size = 256;

struct input_event {
    uint32_t code;
    bool pressed;
    plix_time stamp;
    // A press the system repeats while the key is held (its delay and rate):
    // for the menus' navigation and text editing, never for riding.
    bool repeat = false;
};

// A ring of 256 events in arrival order; new events are dropped when full.
// Releases are stored with bit 31 of the code set.
struct event_queue {
    uint32_t codes[event_queue_size];
    plix_time stamps[event_queue_size];
    bool repeats[event_queue_size];
    int head = 0;   // oldest
    int count = 0;
    std::mutex lock;
};

void queue_event(event_queue& q, uint32_t code, bool pressed, plix_time stamp, bool repeat = false);
bool take_event(event_queue& q, input_event* out);
// Takes the oldest event only when it is stamped no later than `limit`.
bool take_event_before(event_queue& q, plix_time limit, input_event* out);
void clear_events(event_queue& q);

// ---- window ---------------------------------------------------------------
struct display_mode {
    int width;
    int height;
    int depth;
};

// Flag word bits besides the colour depth in the low byte.
constexpr int window_fullscreen = 0x200;
constexpr int window_no_windowed = 0x100;
// Four samples per pixel; a driver without such a pixel format gets none.
constexpr int window_multisample = 0x400;

struct plix_window {
    std::string title;
    int requested_width = 0, requested_height = 0;
    bool windowed_allowed = true;
    bool threaded = false;
    bool fullscreen_option = false;
    bool fullscreen = false;
    bool close_requested = false;
    int fullscreen_width = 0, fullscreen_height = 0;
    int client_width = 0, client_height = 0;  // drawable pixels
    int window_width = 0, window_height = 0;  // the same in window points (HiDPI scales them)
    bool sizing = false;
    bool minimised = false;
    std::mutex frame_mutex;
    bool in_frame = false;
    event_queue events;
    void* sdl_window = nullptr;
    void* gl_context = nullptr;
    int64_t stamp_offset_ms = 0;  // event timestamps to the monotonic clock
    int swap_interval = 0;        // what the driver took: -1 adaptive, 1 vertical sync, 0 none
};

plix_window* open_gl_window(const char* title, int width, int height, int flags, int alpha_bits, int depth_bits,
                            int stencil_bits, int accum_bits);
void close_gl_window(plix_window* w);
// Whether a frame can be drawn now; when so the frame mutex is held until
// end_frame and the client size is returned.
bool begin_frame(plix_window* w, int* width, int* height);
// Swaps buffers and releases the frame mutex; false when the window is gone.
bool end_frame(plix_window* w);
void request_display_mode(plix_window* w, int width, int height, bool fullscreen);
// Handles every waiting window message (events, resizes, close).
void pump_messages(plix_window* w);
// Sleeps until `target`, handling window messages as they arrive so that
// every event is stamped with the time it came in.
void wait_until(plix_window* w, plix_time target);
// The window's events (pumping first).
bool next_event(plix_window* w, input_event* out);
bool next_event_before(plix_window* w, plix_time limit, input_event* out);

// The display modes, desktop mode first; ends with an all-zero entry.
const display_mode* display_modes();
// The full-screen mode for a requested size (the mode-choice rule); the
// desktop size when none fits.
display_mode choose_display_mode(const display_mode* modes, int width, int height);
// "Default Fullscreen", "Windowed", then "%dx%d" per mode of the desktop depth.
std::vector<std::string> build_video_mode_choices();
// OpenGL entry points by name (null when unknown to the driver).
void* gl_proc_address(const char* name);

// Asks the driver to wait for vertical blank at each buffer swap (adaptive
// first, then plain) or not to; returns the interval it took (-1, 1 or 0).
int set_swap_sync(plix_window* w, bool on);
// The refresh rate of the window's display in Hz, 0 when it gives none.
int display_refresh_rate(plix_window* w);
// The connection to the display server broke (the server went away). From
// then on nothing touches the display: no events, no frames, and closing
// the window only forgets it.
bool display_connection_lost();

// Whether a frame could be drawn right now (a context, a visible window with
// a size, no mode switch going on); takes no lock.
bool frame_possible(plix_window* w);
// An SDL event time (milliseconds since SDL started) on the clock of now().
plix_time window_event_time(plix_window* w, uint32_t sdl_ticks);
