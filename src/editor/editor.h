// The track editor: a top-down view of the loaded track in which the mouse
// sculpts the height field, height profiles (gradients) are laid over the
// ground, changes are committed into an eight-level undo ring, and the
// track's files are written back into its directory.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "core/settings.h"

// ---- gradients -------------------------------------------------------------------
enum gradient_segment : unsigned char { segment_line = 0, segment_curve = 1 };

struct gradient_point {
    float distance = 0;
    float height = 0;
};

struct gradient {
    float origin[2] = {0, 0};  // x, z: distance 0 of the profile
    float toward[2] = {50, 0};
    std::vector<gradient_point> points;        // increasing distance
    std::vector<unsigned char> segment_types;  // one per point: the segment starting there
};

// The profile's height at distance s (0 for an empty profile).
float gradient_profile(const gradient& g, float s);
// The profile laid over the ground at world (x, z), along the gradient's
// axis (linear) or around its origin (radial).
float gradient_height(const gradient& g, float x, float z, bool radial);
// "edinfo": "add_gradient" / "add_point" lines; reading appends to `out`
// and returns the index of the last gradient read (-1: none).
std::string encode_edinfo(const std::vector<gradient>& list);
int parse_edinfo(const char* text, std::vector<gradient>& out);

// ---- the editor's settings (setting records, edited by the menu rows) --------------
struct editor_settings_values {
    double tile = 0;
    double zoom = 1;
    int level = 2;            // "Top", "Under Current", "Over Current", "Bottom"
    int hide_different = 0;   // "No", "Yes"
    int orientation = 2;      // "Copy", "Random", "Flow", "Flow2", "Uphill"
    double tile_spacing = 0.75;
    int show_collidable = 0;  // "No", "Yes"
    double granularity = 0;
    int segment_type = 0;     // "Line", "Curve"
    double height = 0;
    double point_spacing = 1;
    double radius = 64;
    double focus = 0.5;
    double strength = 3;
    int sub_mode = 0;         // "Assign", "Raise Only", "Lower Only"
};
extern editor_settings_values editor_settings;
// Every editor setting as a record (buttons are the menu's own rows).
std::span<const setting> editor_setting_records();
const setting* find_editor_setting(const char* label);
// Back to the built-in values.
void editor_settings_defaults();

// ---- modes ---------------------------------------------------------------------------
constexpr int editor_mode_count = 16;
extern const char* const editor_mode_names[editor_mode_count];
// Modes whose tools are built here (0 … 8 change heights, 9 … 15 place
// and change what lies on the ground).
inline bool editor_mode_built(int mode) { return mode >= 0 && mode < editor_mode_count; }

// ---- the state -------------------------------------------------------------------------
struct editor_point {
    float x = -1, z = 0;  // x = -1: none
    bool none() const { return x == -1; }
};

struct editor_state {
    bool attached = false;
    float view_center[2] = {0, 0};
    int mode = 0;
    std::vector<float> base_heights;
    bool pending = false;
    editor_point stroke_start;
    editor_point smudge_anchor;
    bool apply_held = false;
    bool drag_held = false;
    int drag_from[2] = {0, 0};
    int tic_counter = 0;
    int undo_index = 0, undo_count = 0;
    int undo_levels = 0;  // ring entries allocated (8 unless the field is huge)
    std::vector<gradient> gradients;
    int selected_gradient = -1;
    std::string status_text = "OK";
    // What the apply button holds in modes 9 … 15: 0 nothing, 1 the item's
    // position, 2 its direction handle.
    int pick_state = 0;
    int selected_gate = -1;     // index into the track's gates
    int selected_point = -1;    // profile point of the selected gradient
    int source_billboard = -1;  // indexes into track_billboards()
    int picked_billboard = -1;
    int picked_statue = -1;     // index into track_statues()
    int picked_decal = -1;      // index into track_decals()
    // The pointer in window pixels and the window size it is measured in.
    int pointer[2] = {0, 0};
    int window[2] = {640, 480};
};
extern editor_state editor;

// The key codes the editor acts on besides characters (resolved by the game;
// -1 for none): the apply and drag buttons and the four navigation keys.
struct editor_key_codes {
    int cursor_left = -1, cursor_right = -1;
    int left = -1, right = -1, up = -1, down = -1;
};
extern editor_key_codes editor_keys;

constexpr int undo_ring_levels = 8;
// The undo ring may use at most this many bytes; a field too large for eight
// levels gets fewer (at least two).
constexpr size_t undo_ring_budget = (size_t)512 << 20;

// ---- the interface the game and the track loader call ------------------------------------------
// The editor is switched on ("--editor"); attach does nothing until then.
void editor_enable(bool on);
bool editor_enabled();
// Called by the track loader once the terrain and objects are loaded, and
// when the track is released.
void editor_attach();
void editor_detach();
// Whether the editor view can be shown (enabled and attached to a track).
bool editor_available();
// The pointer position and window size for the view mapping.
void editor_set_pointer(int x, int y, int width, int height);
void editor_tic();
// A key event; true when the editor consumed it.
bool editor_key(int code, bool pressed);
void editor_commit();
// Writes the track's files; true (and "Saved!") only when every file was written.
bool editor_save();
// Writes "track.pov"; true when it was written.
bool editor_export_scene();
// Backspace: one step back in the undo ring.
void editor_undo();
// Leaving the editor view: commits, and makes the edited ground the one
// play deforms from.
void editor_finish_changes();
// The track holds edits not yet saved.
bool editor_track_modified();
void editor_draw(int width, int height);

// ---- the view mapping ------------------------------------------------------------------------------------
// Window pixel -> world (x, z).
void editor_window_to_world(float px, float py, float& x, float& z);
// World -> window pixel.
void editor_world_to_window(float x, float z, float& px, float& py);
// Brush radius R and focus radius F in world units.
float editor_brush_radius();
float editor_focus_radius();
// The pointer's world point.
editor_point editor_cursor_point();

// ---- the tools (public for the tests and the benchmark) ------------------------------------------------
// One action of brush mode 0 … 3 or 5 … 8 at world point p (the stroke rule).
void editor_brush_action(editor_point p);
// One action of Snap at world point p.
void editor_snap_action(editor_point p);
// The mean of the committed heights over the Smooth disc of radius r around
// sample (i, j), indices clamped to the grid.
float editor_smooth_mean(int i, int j, int r);
// "New Gradient", "Copy Gradient", "Flatten".
void editor_new_gradient();
void editor_copy_gradient();
void editor_flatten_gradient();

// ---- modes 9 … 15: picking, dragging and laying things on the ground -----------------------------
// Handle size h in world units: a handle is hit within h/2 of it.
float editor_handle_size();
// The apply button pressed at world point p (modes 9 … 15).
void editor_pick_press(editor_point p);
// One tic of the apply button held at p (modes 9 … 13 and 15; mode 14
// paints on every 32nd tic as the brushes do).
void editor_pick_hold(editor_point p);
// A key of the current mode at world point p; true when it acted.
bool editor_mode_key(int code, editor_point p);

// Gradients (modes 9, 10) and the profile rebuilt from the ground.
void editor_set_from_terrain();
// "Segment Type" given to the selected profile point's segment (mode 10).
void editor_set_point_segment_type();
// Timing gates (mode 11): a new gate at p, appended to both lap lists
// (direction from the last gate, radius the brush radius); removing the
// gate or start position under p; a start position at p facing the first
// gate of the lap.
int editor_new_gate(editor_point p);
bool editor_remove_gate_at(editor_point p);
int editor_add_start_position(editor_point p);
bool editor_remove_start_at(editor_point p);
// Lap entries of the selected gate stop (clear) or start (set) ending a
// stretch of the robots' lines; false when nothing changed.
bool editor_clear_switch_point();
bool editor_set_switch_point();
// "Switch Point: Yes" / "No" / "Mixed", or "Gate not referenced", for the
// selected gate; empty without one.
std::string editor_switch_point_text();
// Statues (mode 13).
void editor_snap_to_gradient();
bool editor_lay_statue(editor_point p);
bool editor_remove_statue_at(editor_point p);
bool editor_interpolate_statues();
// Billboards (mode 12).
bool editor_remove_billboard_at(editor_point p);
// Tiles (mode 14): one action along stroke_start … p.
void editor_paint_tiles(editor_point p);
// The tile type "Tile" names, clamped to the track's tile types.
int editor_tile_type();
// Decals (mode 15): lays a copy of the picked decal at p (`along`: one
// spacing on from the picked decal towards p); the index laid or -1.
int editor_lay_decal(editor_point p, bool along);
int editor_remove_decals_near(editor_point p, float radius);
