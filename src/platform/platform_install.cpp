#include "platform/platform_install.h"

#include <string>
#include <vector>

#include "core/clock.h"
#include "core/config.h"
#include "core/hooks.h"
#include "core/timing.h"
#include "platform/audio.h"
#include "platform/dialog.h"
#include "platform/input.h"
#include "platform/test_key_script.h"
#include "platform/window.h"

namespace {

plix_window* g_window = nullptr;
long g_frames_swapped = 0;

// ---- window ---------------------------------------------------------------------

std::vector<std::string> g_mode_texts;
std::vector<const char*> g_mode_items;

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

bool open_window(const char* title, int width, int height, int flags, int depth_bits) {
    load_test_key_script();
    g_frames_swapped = 0;
    g_window = open_gl_window(title, width, height, flags, 0, depth_bits, 0, 0);
    return g_window != nullptr;
}

void close_window() {
    close_gl_window(g_window);
    g_window = nullptr;
}

bool window_alive() { return g_window && g_window->sdl_window; }
bool window_can_draw() { return frame_possible(g_window); }
bool window_begin_frame() { return begin_frame(g_window, nullptr, nullptr); }

bool window_end_frame() {
    if (!end_frame(g_window)) return false;
    run_test_key_script(g_window, ++g_frames_swapped);
    return true;
}

void window_client_size(int& width, int& height) {
    width = height = 0;
    if (!g_window) return;
    // Inside a frame the frame mutex is ours already; the size handler only
    // writes under it, so the values read here are whole.
    width = g_window->client_width;
    height = g_window->client_height;
}

bool window_is_fullscreen() { return g_window && g_window->fullscreen; }

// ---- clock ------------------------------------------------------------------------

double clock_now() { return now_seconds(); }

// Window messages are handled while sleeping, so every event keeps the time
// it arrived at.
void clock_sleep(double seconds) {
    if (!(seconds > 0)) return;
    wait_until(g_window, plix_time_from_seconds(now_seconds() + seconds));
}

// ---- input ------------------------------------------------------------------------

bool take_event(int& code, bool& pressed) {
    input_event e;
    if (!g_window || !next_event(g_window, &e)) return false;
    code = (int)e.code;
    pressed = e.pressed;
    return true;
}

bool take_event_before(double deadline, int& code, bool& pressed) {
    input_event e;
    if (!g_window || !next_event_before(g_window, plix_time_from_seconds(deadline), &e)) return false;
    code = (int)e.code;
    pressed = e.pressed;
    return true;
}

void open_bindings() { open_input_bindings(g_window); }
int key_code(const char* name) { return key_code_for_name(g_window, name); }
const char* key_name(int code) { return key_name_for_code(g_window, code); }
void watch_step() { watch_pots_step(total_clock); }
void capture_key(int code) { capture_key_while_watching(g_window, code); }

// ---- audio ------------------------------------------------------------------------

bool open_audio() { return choose_audio_device(g_window) != nullptr; }
bool open_recording(int rate, int block_frames) { return audio_open_readback(g_window, rate, block_frames) != nullptr; }

void close_audio() {
    if (current_audio_device()) audio_close(current_audio_device());
}

bool audio_is_open() { return current_audio_device() != nullptr; }
void service_audio() { audio_service(current_audio_device()); }

bool mix_block(const uint8_t*& bytes, size_t& count) {
    std::span<const uint8_t> block = audio_mix_block(current_audio_device());
    bytes = block.data();
    count = block.size();
    return !block.empty();
}

}  // namespace

plix_window* main_window() { return g_window; }

void install_platform() {
    install_platform_dialog();

    window_hook.build_video_modes = build_video_modes;
    window_hook.free_video_modes = free_video_modes;
    window_hook.open = open_window;
    window_hook.close = close_window;
    window_hook.alive = window_alive;
    window_hook.can_draw = window_can_draw;
    window_hook.begin_frame = window_begin_frame;
    window_hook.end_frame = window_end_frame;
    window_hook.client_size = window_client_size;
    window_hook.fullscreen = window_is_fullscreen;

    app_time.now = clock_now;
    app_time.sleep_for = clock_sleep;

    input_devices_open = open_input_devices;
    input_devices_close = close_input_devices;
    input_devices_poll = poll_input_devices;
    input_devices_event = sdl_input_event;
    input_hook.next_event = take_event;
    input_hook.next_event_before = take_event_before;
    input_hook.open_bindings = open_bindings;
    input_hook.close_bindings = close_input_bindings;
    input_hook.key_code = key_code;
    input_hook.key_name = key_name;
    input_hook.read_cursor = read_cursor_axes;
    input_hook.poll_axis_bindings = poll_axis_bindings;
    input_hook.watching_pots = watching_pots;
    input_hook.watch_pots_step = watch_step;
    input_hook.stop_watching_pots = stop_watching_pots;
    input_hook.capture_key = capture_key;

    audio_hook.open_device = open_audio;
    audio_hook.open_recording = open_recording;
    audio_hook.close_device = close_audio;
    audio_hook.device_open = audio_is_open;
    audio_hook.service = service_audio;
    audio_hook.mix_block = mix_block;
}
