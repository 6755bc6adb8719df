// Message boxes for the diagnostics' error dialog.
#pragma once

// Installs the SDL message box as the error dialog (shown only when a display
// exists; the text always goes to standard error as well).
void install_platform_dialog();
