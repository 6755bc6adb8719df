#include "core/loading.h"

#include "core/clock.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/quit.h"
#include "core/text.h"

bool quit_requested = false;
loading_screen_driver loading_screen;
double loading_max_gap = 0;
std::string loading_max_gap_text;

namespace {

constexpr double step_tick_interval = 0.125;
constexpr double indicator_interval = 1.0 / 16;
// A queue holds at most 256 events; this only guards against a source that
// never runs dry.
constexpr int drain_limit = 65536;

struct loading_state {
    bool drawn_before = false;  // a message has been drawn; `last_drawn` is valid
    double last_drawn = 0;
    std::string previous_text;  // the last drawn message, cut to 79 characters
    int dots = 0;
    bool step_ticked = false;  // loading_step_tick has shown since the step began
    double last_step_tick = 0;
    unsigned tick_count = 0;
    bool indicator_drawn = false;
    double last_indicator = 0;
};
loading_state g_loading;

}  // namespace

void drain_input_events() {
    if (!loading_screen.next_event) return;
    int code = 0;
    bool pressed = false;
    for (int n = 0; n < drain_limit && loading_screen.next_event(code, pressed); n++)
        if (code == window_close_code) quit_requested = true;
}

void show_loading_message(const char* text) {
    drain_input_events();
    // No key stays held across a load.
    for (binding_setting& b : bindings) b.value = 0;
    if (!loading_screen.draw_title || !loading_screen.draw_title(text)) return;
    double now = time_now();
    if (g_loading.drawn_before && now - g_loading.last_drawn > loading_max_gap) {
        loading_max_gap = now - g_loading.last_drawn;
        loading_max_gap_text = g_loading.previous_text;
    }
    g_loading.drawn_before = true;
    g_loading.last_drawn = now;
    g_loading.previous_text = truncated(text, 79);
}

void loading_message_logged(const char* text) {
    show_loading_message(text);
    if (text[0]) log_printf("%s\n", text);
}

void loading_step_begin(const char* text) {
    loading_message_logged(text);
    g_loading.dots = 0;
    g_loading.step_ticked = false;
}

void loading_step_tick(const char* text) {
    double now = time_now();
    if (g_loading.step_ticked && now - g_loading.last_step_tick < step_tick_interval) return;
    g_loading.step_ticked = true;
    g_loading.last_step_tick = now;
    static const char* const dots[] = {"", ".", "..", "..."};
    std::string shown = truncated(text, 64) + dots[g_loading.dots];
    g_loading.dots = (g_loading.dots + 1) % 4;
    show_loading_message(shown.c_str());
}

void loading_step_done(const char* text) {
    std::string shown = truncated(text, 64) + "...done";
    show_loading_message(shown.c_str());
}

void loading_tick() {
    g_loading.tick_count++;
    drain_input_events();
    double now = time_now();
    if (g_loading.indicator_drawn && now - g_loading.last_indicator < indicator_interval) return;
    if (!loading_screen.draw_indicator || !loading_screen.draw_indicator(g_loading.tick_count)) return;
    g_loading.indicator_drawn = true;
    g_loading.last_indicator = now;
}

unsigned loading_tick_count() { return g_loading.tick_count; }
const std::string& loading_previous_text() { return g_loading.previous_text; }

void loading_reset() {
    g_loading = loading_state{};
    loading_max_gap = 0;
    loading_max_gap_text.clear();
}
