// The loading screen's frames (core/loading.h): pending input taken from the
// main window, the title and loading-indicator screens drawn in it.
#pragma once

#include "core/loading.h"

loading_screen_driver main_window_loading_screen();
