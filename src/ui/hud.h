// Everything drawn over the 3D view: the information lines and messages,
// the results table, the rider panel with the lapping warning, the track
// map, the start overlay, the tachometer and gear, the lean indicator and
// the suspension graph.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "bike/suspension.h"
#include "ui/race_view.h"

// Console toggles.
struct hud_toggles {
    bool render_stats = false;      // "renderstats"
    bool suspension_graph = false;  // "togglegraph"
};
extern hud_toggles hud_options;

// The frame drawing's counts for the render statistics lines: this frame's
// count and the largest seen.
struct render_counter {
    int count = 0, max = 0;
    void add(int n) { count += n; }
    // Ends a frame: keeps the largest and starts the next count at 0.
    void end_frame() {
        if (count > max) max = count;
        count = 0;
    }
};
struct hud_render_statistics {
    render_counter ground_polygons, model_polygons, billboards, decals, texture_changes, shader_changes;
    int terrain_texture_age = 0, reshades_pending = 0, erode_buffered = 0;
};
extern hud_render_statistics hud_render_stats;

// The connection's own round-trip time and the server clock's lead over the
// local tic, both in tics; false when unknown. Filled by the network code.
using ping_source = bool (*)(int& round_trip_tics, int& clock_lead_tics);
extern ping_source hud_ping_source;

// ---- the information lines -----------------------------------------------------------
struct information_inputs {
    bool draw_fps = false, draw_time = false, draw_ping = false, draw_speed = false, render_stats = false;
    double frame_time = 0;    // seconds of the last frame
    double race_seconds = 0;  // since the gate drop
    bool ping_known = false;  // connected with a slot and measured
    int round_trip_tics = 0, clock_lead_tics = 0;
    bool speed_known = false;
    double frame_speed = 0;  // ft/s
    hud_render_statistics stats;
    bool dabbing = false;  // the lean indicator is on and the rider dabs
};
std::vector<std::string> information_lines(const information_inputs& in);

// The shown message lines, oldest first (the count clamped to the ring).
std::vector<std::string> visible_messages();

// "%d laps", "%d minutes" or "%d minutes + %d laps".
std::string race_length_text(int race_time_tics, int laps);

// Needle angle in degrees clockwise from straight up for an engine speed.
double tachometer_angle(double rpm);
// Atlas cell (column, row) of a gear (0 = first).
std::array<int, 2> gear_cell(int gear);
// The bike's lean from the ground normal under it, radians, positive to the
// rider's right.
double bike_lean(const double up[3], const double forward[3], const float normal[3]);
constexpr double lean_warning_angle = 0.6283185;

// ---- the suspension graph -----------------------------------------------------------------
constexpr int suspension_graph_samples = 1024;
void record_suspension_sample(const suspension_sample& s);
// Samples kept, oldest first.
std::vector<suspension_sample> suspension_samples();
void clear_suspension_samples();

// ---- drawing -------------------------------------------------------------------------------
void hud_init();
void hud_free();
// The whole HUD for the viewed slot over a window of that pixel size; the
// frame drawing calls it after the scene, unless a menu covers the screen.
void hud_draw(int viewed_slot, int width, int height);
// The riding gauges: tachometer and gear, lean indicator (first person).
void hud_draw_riding(int viewed_slot, int width, int height);
// The pictures the HUD uses ("!@tach.png", "!@shifter.png",
// "!@pitboard.png", "!@title.png").
void load_hud_textures();
unsigned hud_texture(int which);
enum hud_picture { picture_tach, picture_shifter, picture_pitboard, picture_title, hud_picture_count };
