// Input devices, the alias table, key names, axis readers, the control
// bindings and axis calibration ("watching pots").
//
// Every input source has a text name: keys ("Right Ctrl", "0x1d"), mouse
// buttons ("Mouse Left"), device buttons ("Joystick1.key[0]" or "Joystick1
// button 0") and device axes ("Joystick1.axis[1]" or "Joystick1 axis 1").
// Polled devices come from a back end (SDL joysticks, game controllers and
// the relative "Mouse"; tests use a fake); the "cursor" device is the mouse
// pointer in window pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/window.h"

struct binding_setting;

constexpr int device_axis_limit = 100;
constexpr int device_button_limit = 500;
constexpr int device_buffer_entries = 25;
// The configuration reads device names back with "%63[^.]".
constexpr size_t device_name_limit = 63;

// ---- the device back end ----------------------------------------------------
// One attached device as the back end reports it.
struct device_description {
    std::string instance_name;
    std::string product_name;
    int axis_count = 0;    // from the capabilities
    int button_count = 0;  // from the capabilities
    std::vector<std::string> axis_labels;  // the axes actually listed
    std::vector<bool> axis_relative;       // per listed axis
    std::vector<std::string> button_labels;
    bool buffered = true;  // keeps an event buffer; otherwise read by polling its state
    // What the device is, whichever port or order it comes in (SDL's GUID and
    // the name): a device unplugged and plugged in again is known by it.
    std::string identity;
    void* handle = nullptr;
};

// One buffered reading: an axis value (absolute: the position, relative: the
// movement) or a button state, with the device's own time in milliseconds.
struct device_entry {
    bool axis = false;
    int index = 0;
    int value = 0;
    long time_ms = 0;
};

struct input_device_driver {
    // Starts the device service; false when it cannot.
    bool (*start)() = nullptr;
    void (*stop)() = nullptr;
    // Attached devices: only joysticks and game controllers when sticks_only.
    void (*enumerate)(bool sticks_only, std::vector<device_description>& out) = nullptr;
    // Devices attached since the last call.
    void (*attached)(std::vector<device_description>& out) = nullptr;
    bool (*acquire)(void* handle) = nullptr;
    void (*release)(void* handle) = nullptr;
    // Buffered devices: the oldest entry; false when none is left.
    bool (*read_entry)(void* handle, device_entry& out) = nullptr;
    // The whole state: one value per axis, one byte per button. Also used by
    // buffered devices whose buffer overflowed.
    bool (*read_state)(void* handle, std::vector<int>& axes, std::vector<uint8_t>& buttons) = nullptr;
    // The buffer lost entries since the last call.
    bool (*overflowed)(void* handle) = nullptr;
    void (*close)(void* handle) = nullptr;
    // The device is still plugged in (null: always).
    bool (*present)(void* handle) = nullptr;
    // The mouse pointer in window client pixels.
    bool (*cursor_position)(int& x, int& y) = nullptr;
    // The system's name of a key by its set-1 code (0..511); "" when none.
    const char* (*system_key_name)(int scan_code) = nullptr;
};
// The back end the devices come from (the SDL one unless a test sets another).
void set_input_device_driver(const input_device_driver* backend);
extern const input_device_driver sdl_input_device_driver;
// The SDL back end's share of the window's events (an SDL_Event).
void sdl_input_event(plix_window* w, const void* sdl_event);

// ---- devices ---------------------------------------------------------------------
struct input_device {
    std::string name;   // unique
    uint32_t code = 0;  // only bits 16..30 set
    int axis_count = 0, button_count = 0;
    std::vector<int> axis_values;
    std::vector<uint8_t> button_states;
    std::vector<std::string> axis_labels, button_labels;
    bool relative = false;
    bool buffered = true;
    bool cursor = false;  // the cursor device
    int open_count = 0;   // axis readers open on it
    bool acquired = false;
    bool buttons_bound = false;
    long time_adjustment = 0;  // milliseconds subtracted from its stamps
    std::string identity;      // from the back end; "" for none
    void* handle = nullptr;
};

struct axis_reader {
    input_device* device = nullptr;
    int axis = 0;
};

// Device start-up (when the window opens): the back end's devices, the
// cursor device and the fixed aliases. Closing releases every device.
void open_input_devices(plix_window* w);
void close_input_devices(plix_window* w);
// Polls every device with bound buttons, and takes in devices attached
// meanwhile: one that was unplugged comes back as the same device (name,
// code, bindings); a new one gets the bindings that name it.
void poll_input_devices(plix_window* w);
// Takes a device's pending readings; changed buttons queue their events.
void poll_device(plix_window* w, input_device* device);

const std::vector<input_device*>& input_devices();
input_device* find_input_device(const std::string& name);
// The absolute axes, named "%.200s axis %d".
const std::vector<std::string>& axis_names();

axis_reader* open_axis(plix_window* w, const char* name);
int read_axis(axis_reader* reader);
void close_axis(axis_reader* reader);

// ---- aliases and key names -----------------------------------------------------------
// False (with a message) for a second alias of the same name.
bool add_alias(const char* name, const char* replacement);
// The replacement of an alias, or the name itself.
const char* resolve_alias(const char* name);
void clear_aliases();

// The code a name stands for, or -1. A device button name acquires the
// device and marks its buttons bound.
int key_code_for_name(plix_window* w, const char* name);
// The (interned) name of a code, or null for codes that have none.
const char* key_name_for_code(plix_window* w, int code);
// The built-in names of PC keys by set-1 code (extended keys + 0x100).
struct builtin_key_name {
    const char* name;
    int scan_code;
};
extern const builtin_key_name builtin_key_names[98];
// Ignores letter case and treats blanks and "_" as equal.
bool loose_name_equal(const char* a, const char* b);
// Gathers the system's key names again (after the back end changed).
void reload_system_key_names();

// ---- bindings ---------------------------------------------------------------------
// The fixed navigation keys of the menus, resolved with the bindings.
enum navigation_key {
    nav_up,
    nav_down,
    nav_left,
    nav_right,
    nav_enter,
    nav_keypad_enter,
    nav_esc,
    nav_pause,
    nav_cursor_left,
    nav_cursor_right,
    nav_page_up,
    nav_page_down,
    nav_close,
    navigation_key_count
};
// The resolved code of a navigation key, or -1.
int navigation_key_code(navigation_key key);

// Start-up: the two cursor axes, every binding of the configuration and the
// navigation keys. Shutdown closes the axes again.
void open_input_bindings(plix_window* w);
void close_input_bindings();
// One binding resolved again from its names (the menus call it after a change).
void resolve_binding(plix_window* w, binding_setting& b);
// The cursor axes' current reading.
bool read_cursor_axes(int& x, int& y);
// Every binding that reads an axis takes its value from the axis.
void poll_axis_bindings();

// ---- watching pots ---------------------------------------------------------------
void start_watching_pots(plix_window* w, binding_setting* binding);
// Once per tic while watching; `now` is the loop's total clock.
void watch_pots_step(double now);
void stop_watching_pots();
bool watching_pots();
// The first key pressed while watching, for the menu to bind (null: none).
void capture_key_while_watching(plix_window* w, int code);
const char* captured_key_name();
