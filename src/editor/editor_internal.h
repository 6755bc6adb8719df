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
