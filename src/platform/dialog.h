// Message boxes for the diagnostics' error dialog.
#pragma once

// The SDL message box, shown only when a display exists; the game makes it
// the diagnostics' error dialog (set_dialog_function, core/diag.h), which
// also writes the text to standard error.
void show_message_box(const char* title, const char* text);
