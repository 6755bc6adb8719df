#include "game/loading_screen.h"

#include "platform/main_window.h"
#include "ui/screens.h"

namespace {

// One whole frame in the main window, drawn by `draw` for the window's size.
template <typename Draw>
bool one_frame(Draw draw) {
    if (!main_window_begin_frame()) return false;
    int width = 0, height = 0;
    main_window_size(width, height);
    draw(width, height);
    main_window_end_frame();
    return true;
}

bool draw_title(const char* text) {
    return one_frame([&](int width, int height) { draw_title_screen(text, width, height); });
}

bool draw_indicator(unsigned count) {
    return one_frame([&](int width, int height) { draw_loading_indicator(count, width, height); });
}

}  // namespace

loading_screen_driver main_window_loading_screen() {
    loading_screen_driver d;
    // The loading screen drops what it takes, repeats and all.
    d.next_event = [](int& code, bool& pressed) {
        bool repeat = false;
        return next_main_event(code, pressed, repeat);
    };
    d.draw_title = draw_title;
    d.draw_indicator = draw_indicator;
    return d;
}
