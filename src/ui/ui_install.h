// Fills the user interface's entries of the start-up, loading screen and
// frame loop hooks: fonts, the title and loading screens, the HUD, text
// rows, the fixed HUD pictures and the number plate painter.
#pragma once

void install_ui();
