// The track editor as the frame loop drives it ("--editor" and the editor
// view). The editor is not built yet: it is never available, so the editor
// view cannot be reached, and its calls do nothing.
#pragma once

#include "core/controls.h"

bool editor_available();
// One tic of the editor with the tic's controls.
void editor_tic(const control_values& controls);
// A key for the editor; true when it took the key.
bool editor_key(int code, bool pressed);
void editor_draw(int width, int height);
// Leaving the editor view: its track changes are finished.
void editor_finish_changes();
