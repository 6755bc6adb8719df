// Stand-ins until the editor is built.
#include "editor/editor.h"

bool editor_available() { return false; }
void editor_tic(const control_values&) {}
bool editor_key(int, bool) { return false; }
void editor_draw(int, int) {}
void editor_finish_changes() {}
