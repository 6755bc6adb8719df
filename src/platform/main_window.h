// The program's one window as the game drives it: opened once by start-up,
// drawn by the frame loop and the loading screen, its input as event codes,
// the app clock whose sleep keeps the window's messages flowing, and the
// audio device opened for it.
#pragma once

#include <cstddef>
#include <cstdint>

struct plix_window;

// The program's window while it is open, or null.
plix_window* main_window();

// The display modes as the video-mode choice's items (core/config.h), and
// the two fixed items back again.
void build_video_modes();
void free_video_modes();

// Window flag word: colour depth in the low byte, 0x200 for full screen.
bool open_main_window(const char* title, int width, int height, int flags, int depth_bits);
// A main window without a display: alive until closed, never drawable, no
// input; its sleeps are plain ones. For measuring the loop on its own.
void open_headless_main_window(int width, int height);
void close_main_window();
bool main_window_alive();     // the window still exists (and its display)
bool main_window_can_draw();  // a frame could be drawn now
bool main_window_begin_frame();  // false when no frame can be drawn
bool main_window_end_frame();    // false when the window is gone
// The current client size in pixels (0 × 0 without a window).
void main_window_size(int& width, int& height);
// The same in window points, the unit a window is created in: on a HiDPI
// screen a point is several pixels.
void main_window_points(int& width, int& height);
bool main_window_fullscreen();
// Swaps that wait for vertical blank (adaptive where the driver has it), or
// not; true when the driver took it.
bool main_window_set_vsync(bool on);
// The display's refresh rate in Hz, or 0 when it gives none.
int main_window_refresh_rate();
// The display server went away under the window.
bool main_window_display_lost();

// The oldest queued input event: its code, whether it is a press, and
// whether it is a press the system repeats while the key is held.
bool next_main_event(int& code, bool& pressed, bool& repeat);
// The oldest queued event only when it is stamped no later than `deadline`
// (seconds on the app clock); a later one holds back the rest.
bool next_main_event_before(double deadline, int& code, bool& pressed, bool& repeat);

// The app clock: seconds on the monotonic clock, and a sleep that handles the
// window's messages meanwhile, so that every event keeps the time it came in.
double main_clock_now();
void main_clock_sleep(double seconds);

// The audio device for the window: playback, or the memory-recording device
// for "--record-audio" (mixing one block of `block_frames` at a time).
bool open_audio_output();
bool open_audio_recording(int rate, int block_frames);
void close_audio_output();
bool audio_output_open();
void service_audio_output();  // the device's per-frame work
// The recording device mixes one block; the bytes stay valid until the next
// call. False when there is nothing to write.
bool mix_audio_block(const uint8_t*& bytes, size_t& count);
