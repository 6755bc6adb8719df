// What the editor's files share among themselves.
#pragma once

#include <cstddef>

// The authored places of the track file's statues and billboards, kept at
// attach so that saving writes them rather than where a script moved them.
void editor_remember_objects();
void editor_forget_objects();
// The committed heights changed: the Smooth brush's row sums are rebuilt
// on their next use.
void editor_smooth_sums_stale();
// The ground play deforms from becomes the current heights.
void editor_refresh_play_ground();
// A click of the apply button at window pixel (x, y): true when it hit a
// menu row (which then acted).
bool editor_menu_click(int x, int y);
void editor_select_mode(int mode);
// Bytes of one undo ring entry for the loaded field.
size_t editor_undo_entry_bytes();
// The committed surface at a world point, triangulated like the ground.
float editor_base_surface_at(float x, float z);
// The editor moved, added or removed a statue or billboard of the track's
// file (index into the whole list): what saving writes follows it.
void editor_statue_place_changed(size_t index);
void editor_statue_place_removed(size_t index);
void editor_billboard_place_changed(size_t index);
void editor_billboard_place_removed(size_t index);
// Something on the track changed: the quit page warns until it is saved.
void editor_mark_modified();
// A world point's distance to a point (x, z).
float editor_distance(editor_point p, float x, float z);
// The decal and tile tools' changed ground, for the composed textures.
void editor_report_world_box(float x0, float z0, float x1, float z1);
