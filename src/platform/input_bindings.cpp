// The configuration's bindings resolved into codes and axis readers, the
// menus' navigation keys, and axis calibration ("watching pots").
#include <array>
#include <cmath>

#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/controls.h"
#include "core/diag.h"
#include "platform/input.h"

namespace {

constexpr double axis_scale = 1.0 / 32768;  // 2^-15
constexpr double still_time = 0.25;         // seconds an axis must rest at its extreme
constexpr double watch_threshold = 0.5;     // how far it must have moved

const char* const navigation_names[navigation_key_count] = {
    "up",  "down",  "left",        "right",        "enter",   "keypad enter", "esc",
    "pause", "cursor-left", "cursor-right", "page up", "page down",    "close",
};
std::array<int, navigation_key_count> g_navigation = [] {
    std::array<int, navigation_key_count> unresolved;
    unresolved.fill(-1);
    return unresolved;
}();

axis_reader* g_cursor_x = nullptr;
axis_reader* g_cursor_y = nullptr;
bool g_bindings_open = false;

struct watched_axis {
    std::string name;
    axis_reader* reader = nullptr;
    double rest = 0;     // r: the first reading
    double extreme = 0;  // e: the reading farthest from rest so far
    double last_change = 0;
};

struct pot_watch {
    bool active = false;
    binding_setting* binding = nullptr;
    std::vector<watched_axis> axes;
    const char* captured = nullptr;
};
pot_watch g_watch;

void close_binding_axis(binding_setting& b) {
    if (b.axis) close_axis(b.axis);
    b.axis = nullptr;
}

void close_watched_axes(axis_reader* keep) {
    for (watched_axis& a : g_watch.axes)
        if (a.reader && a.reader != keep) close_axis(a.reader);
    g_watch.axes.clear();
}

}  // namespace

int navigation_key_code(navigation_key key) {
    return key >= 0 && key < navigation_key_count ? g_navigation[(size_t)key] : -1;
}

void resolve_binding(plix_window* w, binding_setting& b) {
    close_binding_axis(b);
    b.key_code = -1;
    b.value = 0;
    // A name that resolves to nothing stays unbound, silently.
    if (b.key_name) b.key_code = key_code_for_name(w, b.key_name->c_str());
    if (b.axis_name) b.axis = open_axis(w, b.axis_name->c_str());
}

void open_input_bindings(plix_window* w) {
    g_cursor_x = open_axis(w, "cursor-x");
    g_cursor_y = open_axis(w, "cursor-y");
    for (binding_setting& b : bindings) resolve_binding(w, b);
    for (int i = 0; i < navigation_key_count; i++) g_navigation[(size_t)i] = key_code_for_name(w, navigation_names[i]);
    g_bindings_open = true;
}

void resolve_unbound_bindings(plix_window* w) {
    if (!g_bindings_open) return;
    for (binding_setting& b : bindings) {
        if (b.key_name && b.key_code < 0) b.key_code = key_code_for_name(w, b.key_name->c_str());
        if (b.axis_name && !b.axis) b.axis = open_axis(w, b.axis_name->c_str());
    }
}

void close_input_bindings() {
    g_bindings_open = false;
    stop_watching_pots();
    close_axis(g_cursor_x);
    close_axis(g_cursor_y);
    g_cursor_x = g_cursor_y = nullptr;
    for (binding_setting& b : bindings) close_binding_axis(b);
    g_navigation.fill(-1);
}

bool read_cursor_axes(int& x, int& y) {
    if (!g_cursor_x || !g_cursor_y) return false;
    x = read_axis(g_cursor_x);
    y = read_axis(g_cursor_y);
    return true;
}

void poll_axis_bindings() {
    for (binding_setting& b : bindings)
        if (b.axis) b.value = binding_axis_value(read_axis(b.axis), b.low, b.high);
}

// ---- watching pots ------------------------------------------------------------------

void start_watching_pots(plix_window* w, binding_setting* binding) {
    stop_watching_pots();
    bool debug = cmdline.debug_level >= 1;
    if (debug) log_printf("Watching pots\n");
    g_watch.active = true;
    g_watch.binding = binding;
    g_watch.captured = nullptr;
    for (const std::string& name : axis_names()) {
        axis_reader* r = open_axis(w, name.c_str());
        if (debug) log_printf("\t%s %s\n", name.c_str(), r ? "Ok" : "Failed");
        if (!r) continue;
        watched_axis a;
        a.name = name;
        a.reader = r;
        a.rest = a.extreme = read_axis(r) * axis_scale;
        a.last_change = total_clock;
        g_watch.axes.push_back(a);
    }
}

void watch_pots_step(double now) {
    if (!g_watch.active) return;
    for (watched_axis& a : g_watch.axes) {
        double x = read_axis(a.reader) * axis_scale;
        double moved_before = std::fabs(a.rest - a.extreme);
        if (std::fabs(a.rest - x) > moved_before) {
            a.extreme = x;
            a.last_change = now;
        }
        if (!(now > a.last_change + still_time && moved_before > watch_threshold)) continue;
        // This axis wins; the range leaves a sixteenth at each end, and runs
        // from rest to extreme whichever way round the axis is mounted.
        binding_setting* b = g_watch.binding;
        if (b) {
            close_binding_axis(*b);
            b->key_name.reset();
            b->key_code = -1;
            b->axis_name = a.name;
            b->axis = a.reader;
            b->low = (float)(a.rest + (a.extreme - a.rest) / 16);
            b->high = (float)(a.rest + (a.extreme - a.rest) * 15 / 16);
            b->value = 0;
        }
        axis_reader* keep = b ? a.reader : nullptr;
        close_watched_axes(keep);
        g_watch.active = false;
        g_watch.binding = nullptr;
        return;
    }
}

void stop_watching_pots() {
    if (!g_watch.active) return;
    close_watched_axes(nullptr);
    g_watch.active = false;
    g_watch.binding = nullptr;
    if (cmdline.debug_level >= 1) log_printf("Done watching pots\n");
}

bool watching_pots() { return g_watch.active; }

void capture_key_while_watching(plix_window* w, int code) {
    // The characters a key types come with its press; only the key binds.
    if (code < 256) return;
    if (!g_watch.active || g_watch.captured) return;
    g_watch.captured = key_name_for_code(w, code);
}

const char* captured_key_name() { return g_watch.captured; }
