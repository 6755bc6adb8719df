#include "platform/test_key_script.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/diag.h"
#include "platform/input.h"
#include "platform/keymap.h"

namespace {

struct scripted_key {
    long frame;
    std::string name;
};
std::vector<scripted_key> g_script;

void push_key(int code) {
    int sc = code >= 0x1000 && code < 0x1200 ? sdl_scancode_for(code - 0x1000) : 0;
    if (sc <= 0) return;
    for (Uint32 type : {SDL_KEYDOWN, SDL_KEYUP}) {
        SDL_Event e{};
        e.type = type;
        e.key.timestamp = SDL_GetTicks();
        e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = (SDL_Scancode)sc;
        SDL_PushEvent(&e);
    }
}

// Typed characters arrive as text events, apart from the key presses.
void push_text(const std::string& text) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.timestamp = SDL_GetTicks();
    snprintf(e.text.text, sizeof e.text.text, "%s", text.c_str());
    SDL_PushEvent(&e);
}

}  // namespace

void load_test_key_script() {
    g_script.clear();
    const char* text = getenv("QUARNIX_TEST_KEYS");
    if (!text) return;
    std::string all = text;
    size_t at = 0;
    while (at < all.size()) {
        size_t end = all.find(',', at);
        if (end == std::string::npos) end = all.size();
        std::string item = all.substr(at, end - at);
        size_t colon = item.find(':');
        char* stop = nullptr;
        long frame = colon == std::string::npos ? -1 : strtol(item.c_str(), &stop, 10);
        if (frame >= 0 && stop == item.c_str() + colon) g_script.push_back({frame, item.substr(colon + 1)});
        at = end + 1;
    }
    if (!g_script.empty()) log_printf("Test key script: %zu key presses\n", g_script.size());
}

void run_test_key_script(plix_window* w, long frames_swapped) {
    for (const scripted_key& k : g_script) {
        if (k.frame != frames_swapped) continue;
        if (k.name.rfind("text=", 0) == 0)
            push_text(k.name.substr(5));
        else
            push_key(key_code_for_name(w, k.name.c_str()));
    }
}
