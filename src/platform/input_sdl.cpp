// The SDL device back end: joysticks, game controllers (with SDL's standard
// layout) and, on request, the relative "Mouse". SDL delivers their changes
// as events with its own time stamps; they wait in a small buffer per device
// until the input layer takes them.
#include <SDL.h>

#include <algorithm>
#include <deque>

#include "core/diag.h"
#include "core/text.h"
#include "platform/input.h"
#include "platform/keymap.h"

namespace {

struct sdl_device {
    SDL_JoystickID id = -1;
    SDL_Joystick* joystick = nullptr;
    SDL_GameController* controller = nullptr;
    bool mouse = false;
    bool attached = true;
    std::deque<device_entry> buffer;
    bool overflowed = false;
};

std::vector<sdl_device*> g_open;
std::vector<int> g_added;  // device indexes announced since the last look
bool g_started = false;

constexpr int mouse_axes = 3;  // x, y, wheel
constexpr int mouse_buttons = 3;
constexpr int wheel_step = 120;

sdl_device* by_id(SDL_JoystickID id) {
    for (sdl_device* d : g_open)
        if (!d->mouse && d->id == id) return d;
    return nullptr;
}

sdl_device* the_mouse() {
    for (sdl_device* d : g_open)
        if (d->mouse) return d;
    return nullptr;
}

int clamp_axis(int v) { return std::clamp(v, -32767, 32767); }

void push(sdl_device* d, bool axis, int index, int value, long time_ms) {
    if (!d || !d->attached) return;
    if ((int)d->buffer.size() >= device_buffer_entries) {
        d->overflowed = true;
        return;
    }
    d->buffer.push_back({axis, index, value, time_ms});
}

// A device pulled out lets go of everything, so that no control stays held.
void unplugged(sdl_device* d, long time_ms) {
    int axes = d->controller ? SDL_CONTROLLER_AXIS_MAX : std::max(SDL_JoystickNumAxes(d->joystick), 0);
    int buttons = d->controller ? SDL_CONTROLLER_BUTTON_MAX : std::max(SDL_JoystickNumButtons(d->joystick), 0);
    d->buffer.clear();
    d->overflowed = false;
    for (int a = 0; a < axes; a++) d->buffer.push_back({true, a, 0, time_ms});
    for (int b = 0; b < buttons; b++) d->buffer.push_back({false, b, 0, time_ms});
    d->attached = false;
}

bool start() {
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0) {
        log_printf("%s\n", SDL_GetError());
        return false;
    }
    SDL_JoystickEventState(SDL_ENABLE);
    SDL_GameControllerEventState(SDL_ENABLE);
    g_started = true;
    return true;
}

void stop() {
    if (!g_started) return;
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
    g_started = false;
    g_added.clear();
}

std::string product_text(SDL_Joystick* j, const char* kind) {
    return format_string("%s %04x:%04x", kind, SDL_JoystickGetVendor(j), SDL_JoystickGetProduct(j));
}

bool describe_joystick(int index, device_description& desc) {
    SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(index);
    if (id < 0 || by_id(id)) return false;  // gone again, or ours already
    auto* d = new sdl_device;
    const char* name = nullptr;
    if (SDL_IsGameController(index)) {
        d->controller = SDL_GameControllerOpen(index);
        name = SDL_GameControllerNameForIndex(index);
        if (d->controller) d->joystick = SDL_GameControllerGetJoystick(d->controller);
    } else {
        d->joystick = SDL_JoystickOpen(index);
        name = SDL_JoystickNameForIndex(index);
    }
    desc.instance_name = name && *name ? name : "Joystick";
    char guid[64] = "";
    SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), guid, (int)sizeof guid);
    desc.identity = std::string(guid) + " " + desc.instance_name;
    if (!d->joystick) {
        log_printf("Can't create \"%s\"\n", desc.instance_name.c_str());
        delete d;
        return false;
    }
    d->id = SDL_JoystickInstanceID(d->joystick);
    if (d->controller) {
        desc.product_name = product_text(d->joystick, "game controller");
        desc.axis_count = SDL_CONTROLLER_AXIS_MAX;
        desc.button_count = SDL_CONTROLLER_BUTTON_MAX;
        for (int a = 0; a < SDL_CONTROLLER_AXIS_MAX; a++) {
            const char* s = SDL_GameControllerGetStringForAxis((SDL_GameControllerAxis)a);
            desc.axis_labels.push_back(s ? s : format_string("axis %d", a));
        }
        for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX; b++) {
            const char* s = SDL_GameControllerGetStringForButton((SDL_GameControllerButton)b);
            desc.button_labels.push_back(s ? s : format_string("button %d", b));
        }
    } else {
        desc.product_name = product_text(d->joystick, "joystick");
        int axes = SDL_JoystickNumAxes(d->joystick), buttons = SDL_JoystickNumButtons(d->joystick);
        if (axes < 0 || buttons < 0) {
            log_printf("Can't get device caps\n");
            SDL_JoystickClose(d->joystick);
            delete d;
            return false;
        }
        desc.axis_count = axes;
        desc.button_count = buttons;
        for (int a = 0; a < axes; a++) desc.axis_labels.push_back(format_string("Axis %d", a));
        for (int b = 0; b < buttons; b++) desc.button_labels.push_back(format_string("Button %d", b));
    }
    desc.axis_relative.assign(desc.axis_labels.size(), false);
    desc.buffered = true;
    desc.handle = d;
    g_open.push_back(d);
    return true;
}

void describe_mouse(std::vector<device_description>& out) {
    if (the_mouse()) return;
    auto* d = new sdl_device;
    d->mouse = true;
    device_description desc;
    desc.instance_name = "Mouse";
    desc.product_name = "relative pointer motion";
    desc.axis_count = mouse_axes;
    desc.button_count = mouse_buttons;
    desc.axis_labels = {"X", "Y", "Wheel"};
    desc.axis_relative.assign(mouse_axes, true);
    desc.button_labels = {"Left", "Right", "Middle"};
    desc.buffered = true;
    desc.handle = d;
    g_open.push_back(d);
    out.push_back(desc);
}

void enumerate(bool sticks_only, std::vector<device_description>& out) {
    int n = SDL_NumJoysticks();
    for (int i = 0; i < n; i++) {
        device_description desc;
        if (describe_joystick(i, desc)) out.push_back(desc);
    }
    if (!sticks_only) describe_mouse(out);
}

void attached(std::vector<device_description>& out) {
    std::vector<int> added;
    added.swap(g_added);
    for (int index : added) {
        device_description desc;
        if (describe_joystick(index, desc)) out.push_back(desc);
    }
}

bool read_entry(void* handle, device_entry& out) {
    auto* d = (sdl_device*)handle;
    if (!d || d->buffer.empty()) return false;
    out = d->buffer.front();
    d->buffer.pop_front();
    return true;
}

bool read_state(void* handle, std::vector<int>& axes, std::vector<uint8_t>& buttons) {
    auto* d = (sdl_device*)handle;
    if (!d || !d->attached) return false;
    d->buffer.clear();
    if (d->mouse) {
        int x = 0, y = 0;
        SDL_GetRelativeMouseState(&x, &y);
        Uint32 held = SDL_GetMouseState(nullptr, nullptr);
        const int order[mouse_buttons] = {SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE};
        for (size_t i = 0; i < axes.size(); i++) axes[i] = i == 0 ? x : i == 1 ? y : 0;
        for (size_t b = 0; b < buttons.size() && b < (size_t)mouse_buttons; b++)
            buttons[b] = (held & SDL_BUTTON(order[b])) ? 0x80 : 0;
        return true;
    }
    for (size_t a = 0; a < axes.size(); a++)
        axes[a] = clamp_axis(d->controller ? SDL_GameControllerGetAxis(d->controller, (SDL_GameControllerAxis)a)
                                           : SDL_JoystickGetAxis(d->joystick, (int)a));
    for (size_t b = 0; b < buttons.size(); b++) {
        bool down = d->controller ? SDL_GameControllerGetButton(d->controller, (SDL_GameControllerButton)b)
                                  : SDL_JoystickGetButton(d->joystick, (int)b);
        buttons[b] = down ? 0x80 : 0;
    }
    return true;
}

bool overflowed(void* handle) {
    auto* d = (sdl_device*)handle;
    if (!d || !d->overflowed) return false;
    d->overflowed = false;
    return true;
}

void close_device(void* handle) {
    auto* d = (sdl_device*)handle;
    if (!d) return;
    g_open.erase(std::remove(g_open.begin(), g_open.end(), d), g_open.end());
    if (d->controller)
        SDL_GameControllerClose(d->controller);
    else if (d->joystick)
        SDL_JoystickClose(d->joystick);
    delete d;
}

bool present(void* handle) {
    auto* d = (sdl_device*)handle;
    return d && d->attached;
}

bool cursor_position(int& x, int& y) {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    SDL_GetMouseState(&x, &y);
    return true;
}

const char* system_key_name(int scan_code) {
    int sc = sdl_scancode_for(scan_code);
    return sc > 0 ? SDL_GetScancodeName((SDL_Scancode)sc) : "";
}

long event_ms(plix_window* w, Uint32 ticks) {
    plix_time t = window_event_time(w, ticks);
    return t.seconds * 1000 + t.microseconds / 1000;
}

}  // namespace

const input_device_driver sdl_input_device_driver = [] {
    input_device_driver b;
    b.start = start;
    b.stop = stop;
    b.enumerate = enumerate;
    b.attached = attached;
    b.read_entry = read_entry;
    b.read_state = read_state;
    b.overflowed = overflowed;
    b.close = close_device;
    b.present = present;
    b.cursor_position = cursor_position;
    b.system_key_name = system_key_name;
    return b;
}();

// Device events out of the window's message handling.
void sdl_input_event(plix_window* w, const void* event) {
    const SDL_Event& e = *(const SDL_Event*)event;
    switch (e.type) {
        case SDL_JOYDEVICEADDED:
            if (g_started) g_added.push_back(e.jdevice.which);
            break;
        case SDL_JOYDEVICEREMOVED:
            if (sdl_device* d = by_id(e.jdevice.which)) unplugged(d, event_ms(w, e.jdevice.timestamp));
            break;
        case SDL_JOYAXISMOTION:
            if (sdl_device* d = by_id(e.jaxis.which); d && !d->controller)
                push(d, true, e.jaxis.axis, clamp_axis(e.jaxis.value), event_ms(w, e.jaxis.timestamp));
            break;
        case SDL_JOYBUTTONDOWN:
        case SDL_JOYBUTTONUP:
            if (sdl_device* d = by_id(e.jbutton.which); d && !d->controller)
                push(d, false, e.jbutton.button, e.type == SDL_JOYBUTTONDOWN, event_ms(w, e.jbutton.timestamp));
            break;
        case SDL_CONTROLLERAXISMOTION:
            if (sdl_device* d = by_id(e.caxis.which); d && d->controller)
                push(d, true, e.caxis.axis, clamp_axis(e.caxis.value), event_ms(w, e.caxis.timestamp));
            break;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
            if (sdl_device* d = by_id(e.cbutton.which); d && d->controller)
                push(d, false, e.cbutton.button, e.type == SDL_CONTROLLERBUTTONDOWN, event_ms(w, e.cbutton.timestamp));
            break;
        case SDL_MOUSEMOTION:
            if (sdl_device* d = the_mouse()) {
                long t = event_ms(w, e.motion.timestamp);
                if (e.motion.xrel) push(d, true, 0, e.motion.xrel, t);
                if (e.motion.yrel) push(d, true, 1, e.motion.yrel, t);
            }
            break;
        case SDL_MOUSEWHEEL:
            if (sdl_device* d = the_mouse(); d && e.wheel.y)
                push(d, true, 2, e.wheel.y * wheel_step, event_ms(w, e.wheel.timestamp));
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (sdl_device* d = the_mouse()) {
                int b = e.button.button == SDL_BUTTON_LEFT    ? 0
                        : e.button.button == SDL_BUTTON_RIGHT ? 1
                        : e.button.button == SDL_BUTTON_MIDDLE ? 2
                                                               : -1;
                if (b >= 0) push(d, false, b, e.type == SDL_MOUSEBUTTONDOWN, event_ms(w, e.button.timestamp));
            }
            break;
        default: break;
    }
}
