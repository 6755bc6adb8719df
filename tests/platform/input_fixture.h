// A fake device back end: devices are plain records the test fills, with a
// buffer of entries or a whole state to poll; the clock stands still unless
// the test moves it.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "core/diag.h"
#include "platform/input.h"
#include "platform/window.h"

struct fake_device {
    device_description desc;
    std::deque<device_entry> buffer;
    std::vector<int> axes;
    std::vector<uint8_t> buttons;
    bool overflowed = false;
    bool closed = false;
    bool unplugged = false;
    int acquires = 0, releases = 0;
};

struct fake_input_system {
    bool start_ok = true;
    bool started = false;
    std::vector<std::unique_ptr<fake_device>> devices;  // attached at start
    std::vector<fake_device*> later;                    // attached afterwards
    int cursor_x = 0, cursor_y = 0;
    const char* (*names)(int) = nullptr;
    long now_ms = 5000000;
};
inline fake_input_system* fake_input = nullptr;

inline fake_device* add_fake_device(const std::string& name, int axes, int buttons, bool relative = false,
                                    bool buffered = true) {
    auto d = std::make_unique<fake_device>();
    d->desc.instance_name = name;
    d->desc.product_name = "fake " + name;
    d->desc.axis_count = axes;
    d->desc.button_count = buttons;
    for (int i = 0; i < axes; i++) d->desc.axis_labels.push_back("axis");
    d->desc.axis_relative.assign((size_t)axes, relative);
    for (int i = 0; i < buttons; i++) d->desc.button_labels.push_back("button");
    d->desc.buffered = buffered;
    d->desc.identity = "guid-of " + name;
    d->desc.handle = d.get();
    d->axes.assign((size_t)axes, 0);
    d->buttons.assign((size_t)buttons, 0);
    fake_device* raw = d.get();
    fake_input->devices.push_back(std::move(d));
    return raw;
}

inline const input_device_driver fake_backend = [] {
    input_device_driver b;
    b.start = [] { return fake_input->started = fake_input->start_ok; };
    b.stop = [] { fake_input->started = false; };
    b.enumerate = [](bool, std::vector<device_description>& out) {
        for (auto& d : fake_input->devices)
            if (std::find(fake_input->later.begin(), fake_input->later.end(), d.get()) == fake_input->later.end())
                out.push_back(d->desc);
    };
    b.attached = [](std::vector<device_description>& out) {
        for (fake_device* d : fake_input->later) out.push_back(d->desc);
        fake_input->later.clear();
    };
    b.acquire = [](void* h) {
        ((fake_device*)h)->acquires++;
        return true;
    };
    b.release = [](void* h) { ((fake_device*)h)->releases++; };
    b.read_entry = [](void* h, device_entry& e) {
        auto* d = (fake_device*)h;
        if (d->buffer.empty()) return false;
        e = d->buffer.front();
        d->buffer.pop_front();
        return true;
    };
    b.read_state = [](void* h, std::vector<int>& axes, std::vector<uint8_t>& buttons) {
        auto* d = (fake_device*)h;
        axes = d->axes;
        buttons = d->buttons;
        return true;
    };
    b.overflowed = [](void* h) {
        auto* d = (fake_device*)h;
        bool was = d->overflowed;
        d->overflowed = false;
        return was;
    };
    b.close = [](void* h) { ((fake_device*)h)->closed = true; };
    b.present = [](void* h) { return !((fake_device*)h)->unplugged; };
    b.cursor_position = [](int& x, int& y) {
        x = fake_input->cursor_x;
        y = fake_input->cursor_y;
        return true;
    };
    b.system_key_name = [](int n) { return fake_input->names ? fake_input->names(n) : ""; };
    return b;
}();

inline plix_clock_driver fake_clock = {
    [] { return plix_time{fake_input->now_ms / 1000, (fake_input->now_ms % 1000) * 1000}; },
    [](long s, long us) { fake_input->now_ms += s * 1000 + us / 1000; },
};

struct input_fixture : ::testing::Test {
    fake_input_system system;
    plix_window window;

    void SetUp() override {
        fake_input = &system;
        active_clock = &fake_clock;
        unsetenv("PLIX_OPTIONS");
        options_reload();
        set_input_device_driver(&fake_backend);
    }
    void TearDown() override {
        close_input_devices(&window);
        set_input_device_driver(nullptr);
        active_clock = &system_clock;
        unsetenv("PLIX_OPTIONS");
        options_reload();
        fake_input = nullptr;
    }
    void open() { open_input_devices(&window); }
    // The window's queued events as (code, pressed, stamp in ms).
    struct queued {
        uint32_t code;
        bool pressed;
        long ms;
    };
    std::vector<queued> drain() {
        std::vector<queued> out;
        input_event e;
        while (take_event(window.events, &e))
            out.push_back({e.code, e.pressed, e.stamp.seconds * 1000 + e.stamp.microseconds / 1000});
        return out;
    }
};
