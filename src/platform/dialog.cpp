#include "platform/dialog.h"

#include <SDL.h>

#include <cstdlib>

#include "core/diag.h"

namespace {
void sdl_dialog(const char* title, const char* text) {
    const char* x = getenv("DISPLAY");
    const char* wl = getenv("WAYLAND_DISPLAY");
    if (!(x && *x) && !(wl && *wl)) return;
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr);
}
}  // namespace

void install_platform_dialog() { set_dialog_function(sdl_dialog); }
