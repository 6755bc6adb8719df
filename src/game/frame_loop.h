// The program's one main loop: draws a frame, feeds the audio, turns real
// time into whole simulation tics, hands each tic its input events and
// controls, and does the per-frame terrain upkeep. It calls the subsystems
// by name; the loop's own state is this layer's.
#pragma once

#include <array>

#include "bike/bike.h"
#include "core/controls.h"

struct vfs_file;

// The loop's view modes.
constexpr int first_person_view = 0;
constexpr int editor_view = 2;
constexpr int third_person_view = 3;
constexpr int free_view = 4;
constexpr int title_view = 5;

// The code a menu receives for a drag with the left button held.
constexpr int menu_drag_code = 16;
// Offline, a frame never catches up more than this much simulated time.
constexpr double max_frame_advance_limit = 0.125;
// Without vertical sync from the driver the loop itself holds the frame rate
// at the display's refresh, or at this where the display gives none.
constexpr double fallback_frame_rate = 125;
constexpr int frame_histogram_buckets = 8;

// The loop's own state (the open menu page is the menus', the viewed slot
// the race's, the free camera the track objects').
struct frame_loop_state {
    double sim_clock = 0;     // simulated time consumed by the tics run
    double target_clock = 0;  // simulated time the tics must catch up to
    double last_frame_start = 0;
    int view_mode = title_view;
    bool paused = false;
    bool riding = false;
    float orbit_yaw = 0, orbit_distance = 10, orbit_height = 5;
    float free_camera_speed = 0;
    bool auto_camera = false;
    int chosen_camera = -1;
    std::array<int, frame_histogram_buckets> frame_time_histogram{};
    double min_frame_advance = 0, max_frame_advance = 0;
    bool frame_advance_seen = false;
    int screenshot_counter = 0;  // the next number; 0 until first used

    // this tic's control values, as handed to the bike or the camera
    control_values controls{};
    bool left_button_held = false;
    int cursor_x = 0, cursor_y = 0;
    bool dab_was_down = false;  // for the free camera's auto-camera toggle
    long frames = 0;            // passes run
    double next_setup_report = 5;
    unsigned reshade_counter = 0;
    int last_width = 0, last_height = 0;
    // The character typed by the key that opened the chat line is not for it.
    bool drop_chat_character = false;
    bool audio_write_failed = false;  // said once

    // frame pacing
    bool sync_decided = false;  // the swap sync has been asked for at least once
    bool sync_asked = false;    // vertical sync wanted (the setting, without "--lock-fps" or "--warp")
    bool swaps_wait = false;    // ... and the driver gives it
    int refresh_rate = 0;       // the display's, Hz; 0 when it gives none
};
extern frame_loop_state loop_state;

// Drawn over the world view with the camera it was drawn with (the console's
// telemetry points); left null, nothing is.
struct frame_camera;
extern void (*world_overlay)(const frame_camera& camera, int width, int height);

// Back to the state at program start: the view, menu and clocks, and the
// "QUARNIX_QUIT_AFTER_FRAMES" limit read again.
void frame_loop_init();
// One pass of the loop; false once the loop is over (a close request or the
// window gone at the buffer swap).
bool frame_loop_pass();
// Passes until the loop is over, after saying once what it runs without.
void run_frame_loop();
// The shortest frame the loop allows itself now: one tic, or the display's
// refresh period when vertical sync is wanted and the driver has none.
double frame_period_floor();
// Shutdown's "Freeing memory (1)": the loop's records back to their start.
void free_loop_lists();

// The "--record-audio" output while it is open (start-up opens it, the loop
// appends one block per tic, shutdown closes it), or null.
extern vfs_file* record_audio_stream;

// The first free screenshot number from the names of the file index: one
// more than the highest "screenshot<digits>…", or 1.
int first_screenshot_number(const char* const* names);
// Takes a screenshot of the frame just drawn ("@screenshot%03d.png").
void take_screenshot(int width, int height);

// The third-person camera's eye for a bike pose: behind and above the chase
// point. While riding the direction follows the bike's rear and its motion;
// otherwise the orbit angle.
struct chase_camera {
    std::array<double, 3> eye{};
    std::array<double, 3> target{};
};
chase_camera third_person_camera(const bike_pose& pose, bool riding);
// The terrain height averaged round (x, z) within the given radius (samples
// at the rim weigh in by how far inside they lie).
double ground_average(double x, double z, double radius);
