#include "platform/dialog.h"

#include <SDL.h>

#include <cstdlib>

void show_message_box(const char* title, const char* text) {
    const char* x = getenv("DISPLAY");
    const char* wl = getenv("WAYLAND_DISPLAY");
    if (!(x && *x) && !(wl && *wl)) return;
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr);
}
