#include "platform/window.h"

#include <SDL.h>
#include <time.h>

#ifdef QX_HAVE_X11
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/diag.h"
#include "platform/input.h"
#include "platform/keymap.h"

// ---- time -----------------------------------------------------------------

namespace {

plix_time monotonic_now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return {(long)ts.tv_sec, (long)(ts.tv_nsec / 1000)};
}

void monotonic_sleep(long seconds, long microseconds) {
    plix_time t = monotonic_now();
    long s = t.seconds + seconds;
    long us = t.microseconds + microseconds;
    s += us / 1000000;
    us %= 1000000;
    if (us < 0) {
        us += 1000000;
        s--;
    }
    timespec target{s, us * 1000};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &target, nullptr) == EINTR) {
    }
}

}  // namespace

plix_clock_driver system_clock = {monotonic_now, monotonic_sleep};
plix_clock_driver* active_clock = &system_clock;

plix_time plix_time_from_seconds(double s) {
    long whole = (long)s;
    long us = (long)((s - (double)whole) * 1e6 + 0.5);
    if (us >= 1000000) {
        whole++;
        us -= 1000000;
    }
    return {whole, us};
}

// ---- event queue -------------------------------------------------------------

void queue_event(event_queue& q, uint32_t code, bool pressed, plix_time stamp, bool repeat) {
    std::lock_guard<std::mutex> lock(q.lock);
    if (q.count >= event_queue_size) return;  // full: dropped
    int slot = (q.head + q.count) % event_queue_size;
    q.codes[slot] = (code & 0x7fffffffu) | (pressed ? 0u : 0x80000000u);
    q.stamps[slot] = stamp;
    q.repeats[slot] = repeat && pressed;
    q.count++;
}

namespace {
bool take_locked(event_queue& q, const plix_time* limit, input_event* out) {
    std::lock_guard<std::mutex> lock(q.lock);
    if (q.count == 0) return false;
    if (limit && time_after(q.stamps[q.head], *limit)) return false;  // later events wait behind it
    uint32_t c = q.codes[q.head];
    out->code = c & 0x7fffffffu;
    out->pressed = !(c & 0x80000000u);
    out->stamp = q.stamps[q.head];
    out->repeat = q.repeats[q.head];
    q.head = (q.head + 1) % event_queue_size;
    q.count--;
    return true;
}
}  // namespace

bool take_event(event_queue& q, input_event* out) { return take_locked(q, nullptr, out); }
bool take_event_before(event_queue& q, plix_time limit, input_event* out) { return take_locked(q, &limit, out); }

void clear_events(event_queue& q) {
    std::lock_guard<std::mutex> lock(q.lock);
    q.head = q.count = 0;
}

// ---- display modes ---------------------------------------------------------


namespace {

std::vector<display_mode> g_modes;
bool g_modes_built = false;

bool usable_depth(int d) { return d == 8 || d == 15 || d == 16 || d == 24 || d == 32; }

int mode_depth(const SDL_DisplayMode& m) {
    int bpp = SDL_BITSPERPIXEL(m.format);
    return bpp == 24 && SDL_BYTESPERPIXEL(m.format) == 4 ? 32 : bpp;
}

bool named(const char* variable) {
    const char* v = getenv(variable);
    return v && *v;
}

bool fallback_driver(const char* driver) {
    return driver && (!strcmp(driver, "offscreen") || !strcmp(driver, "dummy"));
}

// A display that is named but refuses the connection for a moment (an X
// server still starting, or one resetting after its last client left, as
// Xvfb does between programs) is tried again for this long.
constexpr double display_retry_seconds = 4;
constexpr long display_retry_step_us = 50000;

bool video_ready() {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    const bool asked = named("SDL_VIDEODRIVER");
    const bool display_named = named("DISPLAY") || named("WAYLAND_DISPLAY");
    const double give_up = to_seconds(monotonic_now()) + display_retry_seconds;
    for (int attempt = 0;; attempt++) {
        const char* driver = nullptr;
        bool started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        if (started) {
            driver = SDL_GetCurrentVideoDriver();
            // Without a desktop SDL falls back to drivers that show nothing; a
            // game window nobody can see is a failure, unless someone asked
            // for it.
            if (asked || !fallback_driver(driver)) {
                if (attempt > 0) log_printf("The display answered after %d attempts\n", attempt + 1);
                return true;
            }
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
        }
        if (display_named && !asked && to_seconds(monotonic_now()) < give_up) {
            if (attempt == 0)
                log_printf("The display does not answer yet (%s); trying again for up to %g s\n",
                           started ? driver : SDL_GetError(), display_retry_seconds);
            monotonic_sleep(0, display_retry_step_us);
            continue;
        }
        if (!started) {
            log_printf("Can't start the video system: %s\n", SDL_GetError());
            return false;
        }
        static bool said = false;
        if (!said) {
            log_printf("No display to open a window on (video driver \"%s\")\n", driver);
            fprintf(stderr, "quarnix: no display to open a window on\n");
        }
        said = true;
        return false;
    }
}

void build_modes() {
    if (g_modes_built) return;
    g_modes_built = true;
    g_modes.clear();
    if (video_ready()) {
        SDL_DisplayMode desk;
        if (SDL_GetDesktopDisplayMode(0, &desk) == 0) {
            int d = mode_depth(desk);
            if (usable_depth(d)) {
                log_printf("Registry mode is %dx%dx%d@%dhz\n", desk.w, desk.h, d, desk.refresh_rate);
                g_modes.push_back({desk.w, desk.h, d});
            } else {
                log_printf("Registry mode is %dx%dx%d@%dhz (ignored)\n", desk.w, desk.h, d, desk.refresh_rate);
            }
        }
        int n = SDL_GetNumDisplayModes(0);
        for (int i = 0; i < n; i++) {
            SDL_DisplayMode m;
            if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
            int d = mode_depth(m);
            bool seen = std::any_of(g_modes.begin(), g_modes.end(), [&](const display_mode& x) {
                return x.width == m.w && x.height == m.h && x.depth == d;
            });
            if (seen) continue;
            if (usable_depth(d)) {
                log_printf("Found mode %dx%dx%d@%dhz\n", m.w, m.h, d, m.refresh_rate);
                g_modes.push_back({m.w, m.h, d});
            } else {
                log_printf("Found mode %dx%dx%d@%dhz (ignored)\n", m.w, m.h, d, m.refresh_rate);
            }
        }
    }
    g_modes.push_back({0, 0, 0});
}

// The desktop size, from the first listed mode.
display_mode desktop_mode() {
    build_modes();
    return g_modes.front();
}

}  // namespace

const display_mode* display_modes() {
    build_modes();
    return g_modes.data();
}

display_mode choose_display_mode(const display_mode* modes, int width, int height) {
    const display_mode* best = nullptr;
    long best_cost = 0;
    for (const display_mode* m = modes; m->width || m->height; m++) {
        if (m->width < width || m->height < height) continue;
        long cost = (long)(m->width - width) + (long)(m->height - height);
        if (!best || cost < best_cost) {
            best = m;
            best_cost = cost;
        }
    }
    if (best) return *best;
    return modes[0];  // the desktop
}

std::vector<std::string> build_video_mode_choices() {
    std::vector<std::string> items = {"Default Fullscreen", "Windowed"};
    const display_mode* modes = display_modes();
    for (const display_mode* m = modes; m->width || m->height; m++) {
        if (m->depth != modes[0].depth) continue;
        char text[32];
        snprintf(text, sizeof text, "%dx%d", m->width, m->height);
        items.push_back(text);
    }
    return items;
}

// ---- the window ---------------------------------------------------------------

namespace {

SDL_Window* sdl(plix_window* w) { return (SDL_Window*)w->sdl_window; }

plix_time stamp_of(plix_window* w, uint32_t sdl_ms) {
    int64_t ms = (int64_t)sdl_ms + w->stamp_offset_ms;
    if (ms < 0) ms = 0;
    return {(long)(ms / 1000), (long)(ms % 1000) * 1000};
}

void update_client_size(plix_window* w) {
    int cw = 0, ch = 0, ww = 0, wh = 0;
    SDL_GL_GetDrawableSize(sdl(w), &cw, &ch);
    SDL_GetWindowSize(sdl(w), &ww, &wh);
    std::lock_guard<std::mutex> lock(w->frame_mutex);
    w->client_width = cw;
    w->client_height = ch;
    w->window_width = ww;
    w->window_height = wh;
}

// Switches between full screen (in the chosen mode) and a normal window.
void apply_display_mode(plix_window* w, int width, int height, bool fullscreen) {
    w->sizing = true;
    if (fullscreen && w->windowed_allowed) {
        display_mode desk = desktop_mode();
        display_mode m = (width || height) ? choose_display_mode(display_modes(), width, height) : desk;
        if (m.width == desk.width && m.height == desk.height) {
            SDL_SetWindowFullscreen(sdl(w), SDL_WINDOW_FULLSCREEN_DESKTOP);
        } else {
            SDL_DisplayMode dm{};
            SDL_GetDesktopDisplayMode(0, &dm);
            dm.w = m.width;
            dm.h = m.height;
            SDL_SetWindowDisplayMode(sdl(w), &dm);
            SDL_SetWindowFullscreen(sdl(w), SDL_WINDOW_FULLSCREEN);
        }
        w->fullscreen = true;
        w->fullscreen_width = m.width;
        w->fullscreen_height = m.height;
    } else {
        SDL_SetWindowFullscreen(sdl(w), 0);
        w->fullscreen = false;
        if (width > 0 && height > 0) {
            SDL_SetWindowSize(sdl(w), width, height);
        } else {
            display_mode desk = desktop_mode();
            SDL_SetWindowSize(sdl(w), desk.width, desk.height);
        }
    }
    w->sizing = false;
    update_client_size(w);
}

void queue_key(plix_window* w, const SDL_KeyboardEvent& k) {
    plix_time stamp = stamp_of(w, k.timestamp);
    bool pressed = k.type == SDL_KEYDOWN;
    bool repeat = pressed && k.repeat;
    int pc = pc_scan_code(k.keysym.scancode);
    // The system's own repeats (its delay and rate) are marked as such.
    if (pc >= 0) queue_event(w->events, event_key_base + (uint32_t)pc, pressed, stamp, repeat);
    // Control characters are typed by these keys (with auto-repeat), as the
    // text input delivers printable characters only.
    if (pressed) {
        int c = -1;
        switch (k.keysym.scancode) {
            case SDL_SCANCODE_BACKSPACE: c = 8; break;
            case SDL_SCANCODE_TAB: c = 9; break;
            case SDL_SCANCODE_RETURN:
            case SDL_SCANCODE_KP_ENTER: c = 13; break;
            case SDL_SCANCODE_ESCAPE: c = 27; break;
            case SDL_SCANCODE_DELETE: c = 127; break;
            default: break;
        }
        if (c >= 0) queue_event(w->events, (uint32_t)c, true, stamp, repeat);
    }
}

// Typed text arrives as UTF-8; code points up to 255 become characters.
void queue_text(plix_window* w, const SDL_TextInputEvent& t) {
    plix_time stamp = stamp_of(w, t.timestamp);
    const unsigned char* p = (const unsigned char*)t.text;
    while (*p) {
        uint32_t cp;
        int len;
        if (p[0] < 0x80) {
            cp = p[0];
            len = 1;
        } else if ((p[0] & 0xE0) == 0xC0 && (p[1] & 0xC0) == 0x80) {
            cp = ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
            len = 2;
        } else {
            // Longer sequences are beyond 255: skip the whole sequence.
            len = 1;
            while ((p[len] & 0xC0) == 0x80) len++;
            p += len;
            continue;
        }
        if (cp >= 32 && cp <= 255 && cp != 127) queue_event(w->events, cp, true, stamp);
        p += len;
    }
}

void handle_window_event(plix_window* w, const SDL_WindowEvent& e) {
    switch (e.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_RESIZED:
            update_client_size(w);
            log_printf("WM_SIZE message %dx%d\n", w->client_width, w->client_height);
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
        case SDL_WINDOWEVENT_HIDDEN: w->minimised = true; break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_MAXIMIZED:
            w->minimised = false;
            update_client_size(w);
            break;
        case SDL_WINDOWEVENT_CLOSE: queue_event(w->events, event_close, true, now()); break;
        default: break;
    }
}

void handle_event(plix_window* w, const SDL_Event& e) {
    switch (e.type) {
        case SDL_QUIT: queue_event(w->events, event_close, true, now()); break;
        case SDL_WINDOWEVENT: handle_window_event(w, e.window); break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: queue_key(w, e.key); break;
        case SDL_TEXTINPUT: queue_text(w, e.text); break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            uint32_t code = e.button.button == SDL_BUTTON_LEFT     ? event_mouse_left
                            : e.button.button == SDL_BUTTON_MIDDLE ? event_mouse_middle
                            : e.button.button == SDL_BUTTON_RIGHT  ? event_mouse_right
                                                                   : 0;
            if (code) queue_event(w->events, code, e.type == SDL_MOUSEBUTTONDOWN, stamp_of(w, e.button.timestamp));
            break;
        }
        default: break;
    }
    // The polled devices see their own events (mouse buttons included).
    {
        switch (e.type) {
            case SDL_JOYAXISMOTION:
            case SDL_JOYBUTTONDOWN:
            case SDL_JOYBUTTONUP:
            case SDL_JOYDEVICEADDED:
            case SDL_JOYDEVICEREMOVED:
            case SDL_CONTROLLERAXISMOTION:
            case SDL_CONTROLLERBUTTONDOWN:
            case SDL_CONTROLLERBUTTONUP:
            case SDL_MOUSEMOTION:
            case SDL_MOUSEWHEEL:
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP: sdl_input_event(w, &e); break;
            default: break;
        }
    }
}

void color_bits(int depth, int* r, int* g, int* b) {
    if (depth == 32) depth = 24;  // 32 is asked as 24 colour bits
    if (depth <= 16) {
        *r = 5;
        *g = depth == 15 ? 5 : 6;
        *b = 5;
    } else {
        *r = *g = *b = 8;
    }
}

// ---- the display connection -------------------------------------------------------

std::atomic<bool> g_display_lost{false};

#ifdef QX_HAVE_X11
// Xlib calls this when the connection breaks (the server went away), and
// would end the process right after it with exit(), with the audio thread
// still running and nothing saved. Instead the display is written off and
// the program shuts down through its normal stages.
int on_display_io_error(Display*) {
    if (!g_display_lost.exchange(true)) {
        log_printf("The connection to the display server was lost\n");
#ifndef QX_HAVE_XIO_EXIT_HANDLER
        // This Xlib cannot carry on past the error: say so and stop cleanly.
        fputs("quarnix: the display went away\n", stderr);
        log_printf(nullptr);
        _exit(1);
#endif
    }
    return 0;
}

#ifdef QX_HAVE_XIO_EXIT_HANDLER
void on_display_io_exit(Display*, void*) {}
#endif

void watch_display(SDL_Window* win) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(win, &info) || info.subsystem != SDL_SYSWM_X11) return;
    XSetIOErrorHandler(on_display_io_error);
#ifdef QX_HAVE_XIO_EXIT_HANDLER
    XSetIOErrorExitHandler(info.info.x11.display, on_display_io_exit, nullptr);
#endif
}
#else
void watch_display(SDL_Window*) {}
#endif

}  // namespace

bool display_connection_lost() { return g_display_lost.load(); }

int set_swap_sync(plix_window* w, bool on) {
    if (!w || !w->gl_context || display_connection_lost()) return 0;
    int taken = 0;
    if (on) {
        if (SDL_GL_SetSwapInterval(-1) == 0)
            taken = -1;
        else if (SDL_GL_SetSwapInterval(1) == 0)
            taken = 1;
        else
            SDL_GL_SetSwapInterval(0);
    } else {
        SDL_GL_SetSwapInterval(0);
    }
    if (taken != w->swap_interval || on) {
        const char* how = taken == -1 ? "adaptive vertical sync" : taken == 1 ? "vertical sync" : "no vertical sync";
        log_printf("Buffer swaps: %s%s\n", how, on && !taken ? " (the display gives none)" : "");
    }
    w->swap_interval = taken;
    return taken;
}

int display_refresh_rate(plix_window* w) {
    if (!w || !w->sdl_window || display_connection_lost()) return 0;
    SDL_DisplayMode m{};
    if (SDL_GetWindowDisplayMode(sdl(w), &m) == 0 && m.refresh_rate > 0) return m.refresh_rate;
    int index = SDL_GetWindowDisplayIndex(sdl(w));
    if (index >= 0 && SDL_GetDesktopDisplayMode(index, &m) == 0 && m.refresh_rate > 0) return m.refresh_rate;
    return 0;
}

plix_window* open_gl_window(const char* title, int width, int height, int flags, int alpha_bits, int depth_bits,
                            int stencil_bits, int accum_bits) {
    plix_window* w = new plix_window();
    w->title = title;
    w->requested_width = width;
    w->requested_height = height;
    w->windowed_allowed = !(flags & window_no_windowed);
    w->fullscreen_option = option_flag("fullscreen", 0);
    w->threaded = option_flag("threaded", 0);
    log_printf("Options:\n");
    log_printf("%10s [%s]\n", "threaded:", w->threaded ? "yes" : "no");
    if (w->threaded) log_printf("Window messages are handled on the main thread\n");

    if (!video_ready()) {
        delete w;
        return nullptr;
    }
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "1");
    build_modes();

    // Desktop time and SDL's event time run on different origins.
    w->stamp_offset_ms = (int64_t)(to_seconds(now()) * 1000.0) - (int64_t)SDL_GetTicks();

    int r, g, b;
    color_bits(flags & 0xff, &r, &g, &b);
    log_printf("Choosing pixel format\n");
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, r);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, g);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, b);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, alpha_bits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth_bits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, stencil_bits);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accum_bits / 4);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accum_bits / 4);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accum_bits / 4);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, accum_bits / 4);
    bool multisample = flags & window_multisample;
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, multisample ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, multisample ? 4 : 0);

    bool want_fullscreen = (flags & window_fullscreen) && w->windowed_allowed;
    display_mode desk = desktop_mode();
    int cw = width, ch = height;
    if (cw <= 0 || ch <= 0) {
        cw = desk.width > 0 ? desk.width : 640;
        ch = desk.height > 0 ? desk.height : 480;
        w->requested_width = cw;
        w->requested_height = ch;
    }
    Uint32 sdl_flags = SDL_WINDOW_OPENGL | SDL_WINDOW_ALLOW_HIGHDPI;
    if (w->windowed_allowed) sdl_flags |= SDL_WINDOW_RESIZABLE;
    log_printf("Creating window\n");
    SDL_Window* win = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, cw, ch, sdl_flags);
    if (!win && multisample) {
        log_printf("No multisampled pixel format (%s), using none\n", SDL_GetError());
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
        win = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, cw, ch, sdl_flags);
    }
    if (!win) {
        log_printf("Can't create window!\n");
        log_printf("%s\n", SDL_GetError());
        delete w;
        return nullptr;
    }
    w->sdl_window = win;
    watch_display(win);
    SDL_SetWindowMinimumSize(win, 64, 48);
    if (want_fullscreen) apply_display_mode(w, width, height, true);
    SDL_RaiseWindow(win);
    log_printf("Foregrounded and locked\n");

    open_input_devices(w);

    log_printf("Setting pixel format %u\n", (unsigned)SDL_GetWindowPixelFormat(win));
    log_printf("Creating OpenGL context\n");
    SDL_GLContext ctx = SDL_GL_CreateContext(win);
    if (!ctx) {
        log_printf("Couldn't create OpenGL context\n");
        log_printf("%s\n", SDL_GetError());
        close_input_devices(w);
        SDL_DestroyWindow(win);
        delete w;
        return nullptr;
    }
    w->gl_context = ctx;
    SDL_GL_MakeCurrent(win, ctx);
    // Swaps do not wait until the game asks for vertical sync (the loading
    // screens pace themselves).
    SDL_GL_SetSwapInterval(0);
    SDL_StartTextInput();
    update_client_size(w);
    return w;
}

void close_gl_window(plix_window* w) {
    if (!w) return;
    if (display_connection_lost()) {
        // Every call on a broken connection risks a crash: the window, its
        // context and the display are simply forgotten.
        log_printf("Closing input devices\n");
        close_input_devices(w);
        log_printf("Window shutdown complete (the display was gone)\n");
        delete w;
        return;
    }
    if (w->gl_context) {
        log_printf("Deleting OpenGL context\n");
        SDL_GL_MakeCurrent(sdl(w), nullptr);
        SDL_GL_DeleteContext((SDL_GLContext)w->gl_context);
        w->gl_context = nullptr;
    }
    log_printf("Closing input devices\n");
    close_input_devices(w);
    if (w->sdl_window) {
        log_printf("Destroying window\n");
        if (w->fullscreen) SDL_SetWindowFullscreen(sdl(w), 0);
        SDL_DestroyWindow(sdl(w));
        w->sdl_window = nullptr;
    }
    log_printf("Window shutdown complete\n");
    delete w;
}

plix_time window_event_time(plix_window* w, uint32_t sdl_ticks) { return w ? stamp_of(w, sdl_ticks) : now(); }

bool frame_possible(plix_window* w) {
    if (display_connection_lost()) return false;
    if (!w || !w->gl_context || !w->sdl_window || w->minimised || w->sizing) return false;
    if (SDL_GetWindowFlags(sdl(w)) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) return false;
    return w->client_width > 0 && w->client_height > 0;
}

bool begin_frame(plix_window* w, int* width, int* height) {
    if (!w || !w->gl_context || !w->sdl_window || display_connection_lost()) return false;
    Uint32 f = SDL_GetWindowFlags(sdl(w));
    if (w->minimised || (f & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) || w->sizing) return false;
    w->frame_mutex.lock();
    if (w->client_width <= 0 || w->client_height <= 0) {
        w->frame_mutex.unlock();
        return false;
    }
    w->in_frame = true;
    if (width) *width = w->client_width;
    if (height) *height = w->client_height;
    return true;
}

bool end_frame(plix_window* w) {
    if (!w || !w->sdl_window) return false;
    if (!display_connection_lost()) SDL_GL_SwapWindow(sdl(w));
    if (w->in_frame) {
        w->in_frame = false;
        w->frame_mutex.unlock();
    }
    return !display_connection_lost();
}

void request_display_mode(plix_window* w, int width, int height, bool fullscreen) {
    if (!w || !w->sdl_window || display_connection_lost()) return;
    if (fullscreen && !w->windowed_allowed) return;
    apply_display_mode(w, width, height, fullscreen);
}

void pump_messages(plix_window* w) {
    if (display_connection_lost()) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (w) handle_event(w, e);
    }
}

bool next_event(plix_window* w, input_event* out) {
    pump_messages(w);
    if (take_event(w->events, out)) return true;
    poll_input_devices(w);
    return take_event(w->events, out);
}

bool next_event_before(plix_window* w, plix_time limit, input_event* out) {
    pump_messages(w);
    if (take_event_before(w->events, limit, out)) return true;
    poll_input_devices(w);
    return take_event_before(w->events, limit, out);
}

void* gl_proc_address(const char* name) { return SDL_GL_GetProcAddress(name); }

void wait_until(plix_window* w, plix_time target) {
    for (;;) {
        double left = to_seconds(target) - now_seconds();
        if (left <= 0) return;
        if (active_clock != &system_clock || !w || !w->sdl_window || left < 0.002 || display_connection_lost()) {
            // The last stretch (and any fake clock) is a plain exact sleep.
            plix_time t = plix_time_from_seconds(left);
            sleep_for(t.seconds, t.microseconds);
            if (w && w->sdl_window) pump_messages(w);
            return;
        }
        SDL_Event e;
        if (SDL_WaitEventTimeout(&e, (int)((left - 0.001) * 1000.0))) handle_event(w, e);
    }
}
