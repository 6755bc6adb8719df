#include "platform/main_window.h"

#include <span>
#include <string>
#include <vector>

#include "core/config.h"
#include "platform/audio.h"
#include "platform/test_key_script.h"
#include "platform/window.h"

namespace {

plix_window* g_window = nullptr;
bool g_headless = false;
long g_frames_swapped = 0;

std::vector<std::string> g_mode_texts;
std::vector<const char*> g_mode_items;

bool take(bool got, const input_event& e, int& code, bool& pressed, bool& repeat) {
    if (!got) return false;
    code = (int)e.code;
    pressed = e.pressed;
    repeat = e.repeat;
    return true;
}

}  // namespace

plix_window* main_window() { return g_window; }

// ---- window ---------------------------------------------------------------------

void build_video_modes() {
    g_mode_texts = build_video_mode_choices();
    g_mode_items.clear();
    for (const std::string& t : g_mode_texts) g_mode_items.push_back(t.c_str());
    set_video_mode_items(g_mode_items.data(), (int)g_mode_items.size());
}

void free_video_modes() {
    set_video_mode_items(nullptr, 0);
    g_mode_items.clear();
    g_mode_texts.clear();
}

bool open_main_window(const char* title, int width, int height, int flags, int depth_bits) {
    load_test_key_script();
    g_frames_swapped = 0;
    g_window = open_gl_window(title, width, height, flags, 0, depth_bits, 0, 0);
    return g_window != nullptr;
}

void open_headless_main_window(int width, int height) {
    g_window = new plix_window;
    g_window->client_width = width;
    g_window->client_height = height;
    g_headless = true;
}

void close_main_window() {
    if (g_headless)
        delete g_window;
    else
        close_gl_window(g_window);
    g_window = nullptr;
    g_headless = false;
}

bool main_window_alive() {
    return g_window && (g_headless || (g_window->sdl_window && !display_connection_lost()));
}
bool main_window_can_draw() { return frame_possible(g_window); }
bool main_window_begin_frame() { return begin_frame(g_window, nullptr, nullptr); }

bool main_window_end_frame() {
    if (!end_frame(g_window)) return false;
    run_test_key_script(g_window, ++g_frames_swapped);
    return true;
}

void main_window_size(int& width, int& height) {
    width = height = 0;
    if (!g_window) return;
    // Inside a frame the frame mutex is ours already; the size handler only
    // writes under it, so the values read here are whole.
    width = g_window->client_width;
    height = g_window->client_height;
}

void main_window_points(int& width, int& height) {
    width = height = 0;
    if (!g_window) return;
    width = g_headless ? g_window->client_width : g_window->window_width;
    height = g_headless ? g_window->client_height : g_window->window_height;
}

bool main_window_fullscreen() { return g_window && g_window->fullscreen; }

bool main_window_set_vsync(bool on) { return !g_headless && set_swap_sync(g_window, on) != 0; }
int main_window_refresh_rate() { return g_headless ? 0 : display_refresh_rate(g_window); }
bool main_window_display_lost() { return display_connection_lost(); }

// ---- input ------------------------------------------------------------------------

bool next_main_event(int& code, bool& pressed, bool& repeat) {
    input_event e;
    return take(g_window && !g_headless && next_event(g_window, &e), e, code, pressed, repeat);
}

bool next_main_event_before(double deadline, int& code, bool& pressed, bool& repeat) {
    input_event e;
    return take(g_window && !g_headless && next_event_before(g_window, plix_time_from_seconds(deadline), &e), e, code,
                pressed, repeat);
}

// ---- clock ------------------------------------------------------------------------

double main_clock_now() { return now_seconds(); }

void main_clock_sleep(double seconds) {
    if (!(seconds > 0)) return;
    wait_until(g_window, plix_time_from_seconds(now_seconds() + seconds));
}

// ---- audio ------------------------------------------------------------------------

bool open_audio_output() { return choose_audio_device(g_window) != nullptr; }
bool open_audio_recording(int rate, int block_frames) {
    return audio_open_readback(g_window, rate, block_frames) != nullptr;
}

void close_audio_output() {
    if (current_audio_device()) audio_close(current_audio_device());
}

bool audio_output_open() { return current_audio_device() != nullptr; }
void service_audio_output() { audio_service(current_audio_device()); }

bool mix_audio_block(const uint8_t*& bytes, size_t& count) {
    std::span<const uint8_t> block = audio_mix_block(current_audio_device());
    bytes = block.data();
    count = block.size();
    return !block.empty();
}
