// Polled input devices: start-up roll call, naming and codes, acquisition,
// buffered and polled reading with the time adjustment, and axis readers.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/diag.h"
#include "core/text.h"
#include "platform/input.h"
#include "platform/input_internal.h"

namespace {

const input_device_driver* g_backend = &sdl_input_device_driver;

struct device_state {
    std::vector<std::unique_ptr<input_device>> owned;
    std::vector<input_device*> list;
    std::vector<std::string> axis_names;
    bool started = false;  // the back end is running
    plix_window* window = nullptr;  // button events go to its queue
};
device_state g_devices;

bool code_in_use(uint32_t code) {
    return std::any_of(g_devices.list.begin(), g_devices.list.end(),
                       [&](const input_device* d) { return d->code == code; });
}

// The instance name without blanks and dots, unique among the devices and
// short enough for the configuration to read back.
std::string unique_device_name(const std::string& instance) {
    std::string base;
    for (char c : instance)
        if (c != ' ' && c != '.') base += c;
    base = truncated(base, device_name_limit);
    std::string name = base;
    for (int n = 2; find_input_device(name); n++) {
        std::string suffix = format_string("#%d", n);
        name = truncated(base, device_name_limit - suffix.size()) + suffix;
    }
    return name;
}

uint32_t device_code_for(const std::string& name) {
    uint16_t s = 0;
    uint8_t t = 0;
    for (size_t i = 0; i < name.size(); i++) {
        unsigned char c = (unsigned char)name[i];
        if (i % 2 == 0)
            s = (uint16_t)(s + c);
        else
            t = (uint8_t)(t + c);
    }
    uint32_t c = ((uint32_t)(s + 256u * t) & 0x7fffu) * 65536u;
    for (int tries = 0; tries < 65535 && (c == 0 || code_in_use(c)); tries++) c = (c + 65536u) & 0x7fff0000u;
    return c;
}

void acquire(input_device* d) {
    if (d->acquired || d->cursor) return;
    d->acquired = !g_backend->acquire || g_backend->acquire(d->handle);
}

void release(input_device* d) {
    if (!d->acquired) return;
    if (g_backend->release) g_backend->release(d->handle);
    d->acquired = false;
}

// Takes the axes and buttons of a description into a device record.
void take_layout(input_device& d, const device_description& desc) {
    int axes = (int)desc.axis_labels.size();
    if (axes > device_axis_limit) {
        log_printf("Wow! This thing has a lot of axes!\nThe first ignored axis is called \"%s\"\n",
                   desc.axis_labels[device_axis_limit].c_str());
        axes = device_axis_limit;
    }
    int buttons = (int)desc.button_labels.size();
    if (buttons > device_button_limit) {
        log_printf("Wow! This thing has a lot of buttons!\nThe first ignored button is called \"%s\"\n",
                   desc.button_labels[device_button_limit].c_str());
        buttons = device_button_limit;
    }
    if (axes != desc.axis_count)
        log_printf("Axis count (%d) doesn't match actual number of axes (%d)\n", desc.axis_count, axes);
    if (buttons != desc.button_count)
        log_printf("Button count (%d) doesn't match actual number of buttons (%d)\n", desc.button_count, buttons);
    d.axis_count = axes;
    d.button_count = buttons;
    d.axis_labels.assign(desc.axis_labels.begin(), desc.axis_labels.begin() + axes);
    d.button_labels.assign(desc.button_labels.begin(), desc.button_labels.begin() + buttons);
    d.axis_values.assign((size_t)axes, 0);
    d.button_states.assign((size_t)buttons, 0);
    d.handle = desc.handle;
    d.buffered = desc.buffered;
    d.identity = desc.identity;
}

bool present(const input_device* d) { return !g_backend->present || g_backend->present(d->handle); }

// The device a newly attached one is: one of the same identity that has
// been unplugged. Null when it is new.
input_device* returning_device(const device_description& desc) {
    if (desc.identity.empty()) return nullptr;
    for (input_device* d : g_devices.list)
        if (!d->cursor && d->identity == desc.identity && !present(d)) return d;
    return nullptr;
}

// An unplugged device plugged in again keeps its name and code, so every
// binding and open axis reader that names it works at once.
void reattach(plix_window* w, input_device* d, const device_description& desc) {
    log_printf("%s (%s) is back as %s\n", desc.instance_name.c_str(), desc.product_name.c_str(), d->name.c_str());
    poll_device(w, d);  // the releases of the unplug, if still waiting
    bool wanted = d->acquired || d->open_count > 0 || d->buttons_bound;
    release(d);
    if (g_backend->close) g_backend->close(d->handle);
    take_layout(*d, desc);
    d->time_adjustment = 0;
    if (wanted) acquire(d);
}

// Lists the axes and buttons of a new device and keeps it.
void add_device(plix_window* w, const device_description& desc) {
    log_printf("%s (%s)\n", desc.instance_name.c_str(), desc.product_name.c_str());
    if (desc.axis_count <= 0 && desc.button_count <= 0) {
        log_printf("Ignoring Dunsel device\n");
        if (g_backend->close) g_backend->close(desc.handle);
        return;
    }
    if (input_device* back = returning_device(desc)) {
        reattach(w, back, desc);
        return;
    }
    auto d = std::make_unique<input_device>();
    d->name = unique_device_name(desc.instance_name);
    d->code = device_code_for(d->name);
    log_printf("%d axes, %d keys\n", desc.axis_count, desc.button_count);
    take_layout(*d, desc);
    const int axes = d->axis_count;

    bool any_relative = false, any_absolute = false;
    for (int i = 0; i < axes; i++) {
        bool rel = i < (int)desc.axis_relative.size() && desc.axis_relative[(size_t)i];
        log_printf("axis %d is %s\n", i, rel ? "relative" : "absolute");
        (rel ? any_relative : any_absolute) = true;
    }
    d->relative = axes > 0 && !desc.axis_relative.empty() && desc.axis_relative[0];
    if (any_relative && any_absolute) log_printf("'%s' has both absolute and relative axes\n", d->name.c_str());
    if (!d->buffered) log_printf("Can't set buffer size\n");
    if (!d->relative) {
        for (int i = 0; i < axes; i++) {
            std::string name = format_string("%.200s axis %d", d->name.c_str(), i);
            log_printf("Adding axis \"%s\"\n", name.c_str());
            g_devices.axis_names.push_back(name);
        }
    }
    g_devices.list.push_back(d.get());
    g_devices.owned.push_back(std::move(d));
}

void add_cursor_device() {
    auto d = std::make_unique<input_device>();
    d->name = unique_device_name("cursor");
    d->code = device_code_for(d->name);
    d->cursor = true;
    d->buffered = false;
    d->axis_count = 2;
    d->axis_labels = {"x", "y"};
    d->axis_values.assign(2, 0);
    g_devices.list.push_back(d.get());
    g_devices.owned.push_back(std::move(d));
}

void register_fixed_aliases() {
    static const char* const fixed[][2] = {
        {"mouse-x", "Mouse.axis[0]"},
        {"mouse-y", "Mouse.axis[1]"},
        {"mouse-left", "Mouse.key[0]"},
        {"mouse-right", "Mouse.key[1]"},
        {"mouse-middle", "Mouse.key[2]"},
        {"cursor-x", "cursor.axis[0]"},
        {"cursor-y", "cursor.axis[1]"},
        {"joystick-a-x", "Joystick1.axis[0]"},
        {"joystick-a-y", "Joystick1.axis[1]"},
        {"joystick-a-1", "Joystick1.key[0]"},
        {"joystick-a-2", "Joystick1.key[1]"},
        {"joystick-b-x", "Joystick2.axis[0]"},
        {"joystick-b-y", "Joystick2.axis[1]"},
        {"joystick-b-1", "Joystick2.key[0]"},
        {"joystick-b-2", "Joystick2.key[1]"},
    };
    for (const auto& a : fixed) add_alias(a[0], a[1]);
}

// The roll call of the back end's devices; false when there are none to ask.
void roll_call() {
    if (!option_flag("dinput", 1)) {
        log_printf("DirectInput disabled\n");
        return;
    }
    log_printf("Creating DirectInput object\n");
    if (!g_backend->start || !g_backend->start()) {
        log_printf("Can't open direct input library\n");
        return;
    }
    g_devices.started = true;
    log_printf("DirectInput roll call...\n");
    std::vector<device_description> found;
    if (g_backend->enumerate) g_backend->enumerate(option_flag("dinputsticksonly", 1) != 0, found);
    for (const device_description& desc : found) add_device(g_devices.window, desc);
    log_printf("End of DirectInput roll call\n");
}

void queue_button(plix_window* w, input_device* d, int button, bool pressed, plix_time stamp) {
    if (!w) w = g_devices.window;
    if (w) queue_event(w->events, d->code + (uint32_t)button, pressed, stamp);
}

long now_ms() {
    plix_time t = now();
    return t.seconds * 1000 + t.microseconds / 1000;
}

// Reads the whole state: axes copied, every changed button queued now.
void poll_state(plix_window* w, input_device* d) {
    std::vector<int> axes((size_t)d->axis_count, 0);
    std::vector<uint8_t> buttons((size_t)d->button_count, 0);
    if (!g_backend->read_state || !g_backend->read_state(d->handle, axes, buttons)) return;
    plix_time stamp = now();
    for (int i = 0; i < d->axis_count && i < (int)axes.size(); i++) {
        if (d->relative)
            d->axis_values[(size_t)i] += axes[(size_t)i];
        else
            d->axis_values[(size_t)i] = axes[(size_t)i];
    }
    for (int b = 0; b < d->button_count && b < (int)buttons.size(); b++) {
        uint8_t state = buttons[(size_t)b] ? 0x80 : 0;
        if (state == d->button_states[(size_t)b]) continue;
        d->button_states[(size_t)b] = state;
        queue_button(w, d, b, state != 0, stamp);
    }
}

void poll_buffered(plix_window* w, input_device* d) {
    device_entry e;
    for (int n = 0; n < 4096 && g_backend->read_entry && g_backend->read_entry(d->handle, e); n++) {
        if (e.axis) {
            if (e.index < 0 || e.index >= d->axis_count) continue;
            if (d->relative)
                d->axis_values[(size_t)e.index] += e.value;
            else
                d->axis_values[(size_t)e.index] = e.value;
            continue;
        }
        if (e.index < 0 || e.index >= d->button_count) continue;
        uint8_t state = e.value ? 0x80 : 0;
        if (state == d->button_states[(size_t)e.index]) continue;
        d->button_states[(size_t)e.index] = state;
        // A device clock running ahead of ours would stamp events in the
        // future; the adjustment keeps them at most at now.
        long t = e.time_ms, current = now_ms();
        if (t - d->time_adjustment > current) d->time_adjustment = t - current;
        long stamp = t - d->time_adjustment;
        queue_button(w, d, e.index, state != 0, {stamp / 1000, (stamp % 1000) * 1000});
    }
    // Lost entries: the whole state puts us right again.
    if (g_backend->overflowed && g_backend->overflowed(d->handle)) poll_state(w, d);
}

void free_devices() {
    for (input_device* d : g_devices.list) {
        if (d->cursor) continue;
        log_printf("Killing %s\n", d->name.c_str());
        if (d->time_adjustment > 0) log_printf("Timestamp adjustment was %ld\n", d->time_adjustment);
        release(d);
        if (g_backend->close) g_backend->close(d->handle);
    }
    g_devices.list.clear();
    g_devices.owned.clear();
    g_devices.axis_names.clear();
}

// "%63[^.].<kind>[%d]" or "%63s <word> %d".
bool parse_device_item(const char* name, const char* dotted, const char* word, std::string& device, int& index) {
    char dev[device_name_limit + 1];
    char tail[16];
    std::string dotted_format = format_string("%%63[^.].%s[%%d]", dotted);
    if (sscanf(name, dotted_format.c_str(), dev, &index) == 2) {
        device = dev;
        return true;
    }
    if (sscanf(name, "%63s %15s %d", dev, tail, &index) == 3 && strcmp(tail, word) == 0) {
        device = dev;
        return true;
    }
    return false;
}

}  // namespace

void set_input_device_driver(const input_device_driver* backend) {
    g_backend = backend ? backend : &sdl_input_device_driver;
    reload_system_key_names();
}

void open_input_devices(plix_window* w) {
    if (!g_devices.list.empty()) free_devices();
    g_devices.window = w;
    reload_system_key_names();
    roll_call();
    // Registered whatever devices there are: bindings name them.
    register_fixed_aliases();
    add_cursor_device();
    add_alias("cursor-left", "Mouse Left");
    add_alias("cursor-middle", "Mouse Middle");
    add_alias("cursor-right", "Mouse Right");
}

void close_input_devices(plix_window*) {
    free_devices();
    if (g_devices.started && g_backend->stop) g_backend->stop();
    g_devices.started = false;
    g_devices.window = nullptr;
    clear_aliases();
}

void poll_device(plix_window* w, input_device* d) {
    if (!d || d->cursor) return;
    if (d->buffered)
        poll_buffered(w, d);
    else
        poll_state(w, d);
}

void poll_input_devices(plix_window* w) {
    if (g_devices.started && g_backend->attached) {
        std::vector<device_description> fresh;
        g_backend->attached(fresh);
        for (const device_description& desc : fresh) add_device(w, desc);
        if (!fresh.empty()) resolve_unbound_bindings(w);
    }
    for (input_device* d : g_devices.list)
        if (d->buttons_bound) poll_device(w, d);
}

const std::vector<input_device*>& input_devices() { return g_devices.list; }

input_device* find_input_device(const std::string& name) {
    for (input_device* d : g_devices.list)
        if (d->name == name) return d;
    return nullptr;
}

const std::vector<std::string>& axis_names() { return g_devices.axis_names; }

axis_reader* open_axis(plix_window*, const char* name) {
    if (!name) return nullptr;
    std::string device;
    int axis = -1;
    if (!parse_device_item(resolve_alias(name), "axis", "axis", device, axis)) return nullptr;
    input_device* d = find_input_device(device);
    if (!d || axis < 0 || axis >= d->axis_count) return nullptr;
    if (d->open_count++ == 0) acquire(d);
    return new axis_reader{d, axis};
}

int read_axis(axis_reader* r) {
    if (!r || !r->device) return 0;
    input_device* d = r->device;
    if (d->cursor) {
        int x = 0, y = 0;
        if (!g_backend->cursor_position || !g_backend->cursor_position(x, y)) return 0;
        return r->axis == 0 ? x : y;
    }
    poll_device(nullptr, d);
    int& v = d->axis_values[(size_t)r->axis];
    if (!d->relative) return v;
    int moved = v;
    v = 0;
    return moved;
}

void close_axis(axis_reader* r) {
    if (!r) return;
    input_device* d = r->device;
    if (d && --d->open_count <= 0) {
        d->open_count = 0;
        if (!d->buttons_bound) release(d);
    }
    delete r;
}

// Device buttons by name; used by the key names.
int device_button_code(const char* name) {
    std::string device;
    int button = -1;
    if (!parse_device_item(name, "key", "button", device, button)) return -1;
    input_device* d = find_input_device(device);
    if (!d || button < 0 || button >= d->button_count || button > 255) return -1;
    acquire(d);
    d->buttons_bound = true;
    return (int)(d->code + (uint32_t)button);
}

const char* device_button_name(int code) {
    uint32_t c = (uint32_t)code;
    for (input_device* d : g_devices.list) {
        if ((c & 0xffff0000u) != d->code) continue;
        int button = (int)(c & 0xffffu);
        if (button >= d->button_count || button > 255) return nullptr;
        return intern_string(format_string("%.1000s button %d", d->name.c_str(), button).c_str());
    }
    return nullptr;
}

const input_device_driver* current_input_device_driver() { return g_backend; }
