#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/config.h"
#include "input_fixture.h"
#include "testkit/testkit.h"

namespace {

// The log of one test, read back as text.
struct log_capture {
    temp_dir dir;
    log_capture() {
        log_printf(nullptr);
        setenv("PLIX_LOGFILE", dir.file("log.txt").c_str(), 1);
    }
    ~log_capture() {
        log_printf(nullptr);
        unsetenv("PLIX_LOGFILE");
    }
    std::string text() const { return read_file(dir.file("log.txt")); }
    bool has(const std::string& line) const { return text().find("] " + line + "\n") != std::string::npos; }
};

const char* sdl_names(int n) { return sdl_input_device_driver.system_key_name(n); }

using key_names = input_fixture;

TEST_F(key_names, BuiltInNamesLooseComparisonAndNumbers) {
    open();
    EXPECT_EQ(key_code_for_name(&window, "right ctrl"), 0x111d);
    EXPECT_EQ(key_code_for_name(&window, "RIGHT_CTRL"), 0x111d);
    EXPECT_EQ(key_code_for_name(&window, "0x1d"), 0x101d);
    EXPECT_EQ(key_code_for_name(&window, "0x1ff"), 0x11ff);
    EXPECT_EQ(key_code_for_name(&window, "0x200"), -1);
    EXPECT_EQ(key_code_for_name(&window, "rightctrl"), -1);
    EXPECT_EQ(key_code_for_name(&window, " "), 0x1039);
    EXPECT_EQ(key_code_for_name(&window, "close"), 0xdead);
    EXPECT_EQ(key_code_for_name(&window, "cursor-right"), 0x2002);  // an alias
    // With no system names nothing empty matches.
    EXPECT_EQ(key_code_for_name(&window, ""), -1);
    for (const builtin_key_name& k : builtin_key_names)
        EXPECT_EQ(key_code_for_name(&window, k.name), 0x1000 + k.scan_code) << k.name;
    EXPECT_STREQ(key_name_for_code(&window, 0x111d), "Right Ctrl");
    EXPECT_STREQ(key_name_for_code(&window, 0x1039), "Space");
    EXPECT_STREQ(key_name_for_code(&window, 0x1077), "0x77");
    EXPECT_EQ(key_name_for_code(&window, 'a'), nullptr);
}

TEST_F(key_names, EveryNamedCodeRoundTripsWithAndWithoutSystemNames) {
    for (const char* (*names)(int) : {(const char* (*)(int)) nullptr, sdl_names}) {
        system.names = names;
        add_fake_device("Pad", 2, 12);
        open();
        std::vector<int> codes = {0xdead, 0x2000, 0x2001, 0x2002};
        for (int n = 0; n < 512; n++) codes.push_back(0x1000 + n);
        uint32_t pad = find_input_device("Pad")->code;
        for (int b = 0; b < 12; b++) codes.push_back((int)pad + b);
        for (int code : codes) {
            const char* name = key_name_for_code(&window, code);
            ASSERT_NE(name, nullptr) << std::hex << code;
            EXPECT_EQ(key_code_for_name(&window, name), code) << name;
        }
        close_input_devices(&window);
        system.devices.clear();
    }
}

TEST_F(key_names, ConfigurationDefaultsAndNavigationKeysResolve) {
    system.names = sdl_names;
    open();
    config_defaults();
    for (const binding_setting& b : bindings) {
        ASSERT_TRUE(b.key_name.has_value());
        EXPECT_GE(key_code_for_name(&window, b.key_name->c_str()), 0x1000) << *b.key_name;
    }
    EXPECT_EQ(key_code_for_name(&window, "right ctrl"), 0x111d);
    EXPECT_EQ(key_code_for_name(&window, "pause"), 0x1045);
    EXPECT_EQ(key_code_for_name(&window, "\\"), 0x102b);
    EXPECT_EQ(key_code_for_name(&window, "x"), 0x102d);
    open_input_bindings(&window);
    for (int k = 0; k < navigation_key_count; k++)
        EXPECT_GE(navigation_key_code((navigation_key)k), 0x1000) << k;
    EXPECT_EQ(navigation_key_code(nav_esc), 0x1001);
    EXPECT_EQ(navigation_key_code(nav_close), 0xdead);
    EXPECT_EQ(navigation_key_code(nav_keypad_enter), 0x111c);
    EXPECT_EQ(bindings[dab_binding].key_code, 0x111d);
    close_input_bindings();
}

TEST_F(key_names, AliasesAreFixedWhateverDevicesThereAre) {
    log_capture log;
    setenv("PLIX_OPTIONS", "[dinput:no]", 1);
    options_reload();
    open();
    EXPECT_TRUE(log.has("DirectInput disabled"));
    EXPECT_STREQ(resolve_alias("joystick-a-x"), "Joystick1.axis[0]");
    EXPECT_STREQ(resolve_alias("cursor-x"), "cursor.axis[0]");
    EXPECT_STREQ(resolve_alias("unknown"), "unknown");
    EXPECT_FALSE(add_alias("cursor-x", "Mouse.axis[0]"));
    EXPECT_TRUE(log.has("Second alias for 'cursor-x' ('Mouse.axis[0]') ignored"));
    EXPECT_STREQ(resolve_alias("cursor-x"), "cursor.axis[0]");
    close_input_devices(&window);

    // A back end that cannot start leaves them in place too.
    unsetenv("PLIX_OPTIONS");
    options_reload();
    system.start_ok = false;
    open();
    EXPECT_TRUE(log.has("Can't open direct input library"));
    EXPECT_STREQ(resolve_alias("mouse-left"), "Mouse.key[0]");
    axis_reader* cursor_y = open_axis(&window, "cursor-y");
    EXPECT_NE(cursor_y, nullptr);
    close_axis(cursor_y);
}

using input_devices_test = input_fixture;

TEST_F(input_devices_test, NamesAreUniqueShortEnoughAndCodesDiffer) {
    log_capture log;
    add_fake_device("Game Pad", 2, 4);
    add_fake_device("Game.Pad", 3, 0);
    add_fake_device("Nothing At All", 0, 0);
    add_fake_device(std::string(80, 'x'), 1, 1);
    add_fake_device(std::string(80, 'x'), 1, 1);
    open();
    const auto& list = input_devices();
    ASSERT_EQ(list.size(), 5u);  // the dunsel device is dropped; the cursor added
    EXPECT_EQ(list[0]->name, "GamePad");
    EXPECT_EQ(list[1]->name, "GamePad#2");
    EXPECT_NE(list[0]->code, list[1]->code);
    // s = 'G'+'m'+'P'+'d' (even places), t = 'a'+'e'+'a' (odd places, 8 bits)
    uint32_t s = 'G' + 'm' + 'P' + 'd', t = ('a' + 'e' + 'a') & 0xff;
    EXPECT_EQ(list[0]->code, ((s + 256 * t) & 0x7fff) * 65536);
    EXPECT_EQ(list[2]->name, std::string(63, 'x'));
    EXPECT_EQ(list[3]->name, std::string(61, 'x') + "#2");
    EXPECT_EQ(list[4]->name, "cursor");
    for (const input_device* d : list) EXPECT_EQ(d->code & 0x8000ffffu, 0u) << d->name;
    EXPECT_TRUE(log.has("Ignoring Dunsel device"));
    EXPECT_TRUE(log.has("GamePad#2 (fake Game.Pad)") || log.has("Game.Pad (fake Game.Pad)"));
    // Absolute axes are offered for calibration by name.
    ASSERT_GE(axis_names().size(), 5u);
    EXPECT_EQ(axis_names()[0], "GamePad axis 0");
    EXPECT_EQ(axis_names()[2], "GamePad#2 axis 0");
    // Both name forms reach a button; buttons past the count or 255 do not.
    EXPECT_EQ(key_code_for_name(&window, "GamePad button 3"), (int)list[0]->code + 3);
    EXPECT_EQ(key_code_for_name(&window, "GamePad.key[1]"), (int)list[0]->code + 1);
    EXPECT_EQ(key_code_for_name(&window, "GamePad.key[4]"), -1);
    EXPECT_EQ(key_code_for_name(&window, "GamePad.key[-1]"), -1);
    EXPECT_EQ(key_code_for_name(&window, "Nobody button 0"), -1);
    EXPECT_TRUE(list[0]->buttons_bound);
    EXPECT_FALSE(list[1]->buttons_bound);
}

TEST_F(input_devices_test, ListedCountsWinOverTheCapabilities) {
    log_capture log;
    fake_device* d = add_fake_device("Odd", 2, 2);
    d->desc.axis_count = 4;
    d->desc.button_labels.resize(600, "b");
    d->desc.button_count = 600;
    open();
    const input_device* dev = find_input_device("Odd");
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->axis_count, 2);
    EXPECT_EQ(dev->button_count, 500);
    EXPECT_TRUE(log.has("Axis count (4) doesn't match actual number of axes (2)"));
    EXPECT_TRUE(log.has("Button count (600) doesn't match actual number of buttons (500)"));
}

TEST_F(input_devices_test, BufferedButtonsQueueWithTheirOwnCorrectedStamps) {
    log_capture log;
    fake_device* pad = add_fake_device("Pad", 2, 4);
    open();
    ASSERT_EQ(key_code_for_name(&window, "Pad button 2"), (int)find_input_device("Pad")->code + 2);
    uint32_t code = find_input_device("Pad")->code;
    long now = system.now_ms;
    pad->buffer.push_back({false, 2, 1, now - 30});
    pad->buffer.push_back({false, 2, 1, now - 20});  // no change: nothing queued
    pad->buffer.push_back({true, 1, 1234, now - 15});
    pad->buffer.push_back({false, 2, 0, now - 10});
    poll_input_devices(&window);
    auto events = drain();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].code, code + 2);
    EXPECT_TRUE(events[0].pressed);
    EXPECT_EQ(events[0].ms, now - 30);
    EXPECT_FALSE(events[1].pressed);
    EXPECT_EQ(events[1].ms, now - 10);
    EXPECT_EQ(find_input_device("Pad")->axis_values[1], 1234);

    // A device clock running ahead of ours: its events are stamped now, and
    // the offset found stays subtracted from later ones.
    system.now_ms += 40;
    pad->buffer.push_back({false, 0, 1, now + 500});
    poll_input_devices(&window);
    system.now_ms += 100;
    pad->buffer.push_back({false, 0, 0, now + 520});
    poll_input_devices(&window);
    events = drain();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].ms, now + 40);
    EXPECT_EQ(events[1].ms, now + 60);
    close_input_devices(&window);
    EXPECT_TRUE(log.has("Killing Pad"));
    EXPECT_TRUE(log.has("Timestamp adjustment was 460"));
    EXPECT_TRUE(pad->closed);
}

TEST_F(input_devices_test, PolledAndRelativeDevices) {
    fake_device* stick = add_fake_device("Stick", 2, 2, false, false);
    fake_device* mouse = add_fake_device("Mouse", 3, 3, true, true);
    open();
    ASSERT_GE(key_code_for_name(&window, "Stick button 1"), 0);
    uint32_t code = find_input_device("Stick")->code;
    stick->buttons[1] = 0x80;
    stick->axes = {-32767, 32767};
    system.now_ms += 7;
    poll_input_devices(&window);
    auto events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, code + 1);
    EXPECT_EQ(events[0].ms, system.now_ms);
    poll_input_devices(&window);
    EXPECT_TRUE(drain().empty());  // unchanged

    axis_reader* y = open_axis(&window, "Stick axis 1");
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(read_axis(y), 32767);
    EXPECT_EQ(open_axis(&window, "Stick.axis[2]"), nullptr);

    // A relative axis gives the movement since the last read.
    axis_reader* mx = open_axis(&window, "mouse-x");
    ASSERT_NE(mx, nullptr);
    EXPECT_EQ(mouse->acquires, 1);
    mouse->buffer.push_back({true, 0, 5, system.now_ms});
    mouse->buffer.push_back({true, 0, -2, system.now_ms});
    EXPECT_EQ(read_axis(mx), 3);
    EXPECT_EQ(read_axis(mx), 0);
    // A lost buffer is made good from the whole state.
    mouse->overflowed = true;
    mouse->buttons[0] = 0x80;
    read_axis(mx);
    events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, find_input_device("Mouse")->code);
    close_axis(mx);
    EXPECT_EQ(mouse->releases, 1);
    close_axis(y);

    // The cursor reads the pointer straight away.
    system.cursor_x = 320;
    system.cursor_y = 200;
    axis_reader* cx = open_axis(&window, "cursor-x");
    axis_reader* cy = open_axis(&window, "cursor y");
    EXPECT_EQ(cy, nullptr);  // not a name of any form
    cy = open_axis(&window, "cursor axis 1");
    EXPECT_EQ(read_axis(cx), 320);
    EXPECT_EQ(read_axis(cy), 200);
    close_axis(cx);
    close_axis(cy);
}

TEST_F(input_devices_test, DevicesAttachedLaterBecomeAvailable) {
    open();
    EXPECT_EQ(key_code_for_name(&window, "Late button 0"), -1);
    fake_device* late = add_fake_device("Late", 1, 2);
    system.later.push_back(late);
    poll_input_devices(&window);
    EXPECT_GE(key_code_for_name(&window, "Late button 0"), 0x10000);
    axis_reader* axis = open_axis(&window, "Late.axis[0]");
    EXPECT_NE(axis, nullptr);
    close_axis(axis);
}

using bindings_test = input_fixture;

// A pad unplugged and plugged in again is the same device: its bindings
// and open axis readers work at once. One that comes in late gets the
// bindings that named it.
TEST_F(bindings_test, ReturningAndLatePadsWorkAtOnce) {
    log_capture log;
    fake_device* pad = add_fake_device("Game Pad", 2, 4);
    open();
    config_defaults();
    parse_binding(bindings[throttle_binding], "(0,1)GamePad.axis[1]");
    parse_binding(bindings[clutch_binding], "GamePad.key[2]");
    parse_binding(bindings[back_up_binding], "Late.key[0]");
    parse_binding(bindings[front_brake_binding], "(0,1)Late axis 0");
    open_input_bindings(&window);
    input_device* device = find_input_device("GamePad");
    ASSERT_NE(device, nullptr);
    const uint32_t code = device->code;
    EXPECT_EQ(bindings[clutch_binding].key_code, (int)code + 2);
    EXPECT_EQ(bindings[back_up_binding].key_code, -1);  // not there yet
    EXPECT_EQ(bindings[front_brake_binding].axis, nullptr);

    // Held, then unplugged: the back end's releases let go of everything.
    pad->buffer.push_back({true, 1, 32767, 5000000});
    pad->buffer.push_back({false, 2, 1, 5000000});
    poll_axis_bindings();
    EXPECT_NEAR(bindings[throttle_binding].value, 1, 1e-4);
    pad->unplugged = true;
    pad->buffer.push_back({true, 1, 0, 5000001});
    pad->buffer.push_back({false, 2, 0, 5000001});
    poll_axis_bindings();
    EXPECT_DOUBLE_EQ(bindings[throttle_binding].value, 0);
    std::vector<queued> events = drain();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_FALSE(events[1].pressed);

    // In again: a new handle for the same device, not "GamePad#2".
    fake_device* again = add_fake_device("Game Pad", 2, 4);
    fake_device* late = add_fake_device("Late", 1, 1);
    system.later = {again, late};
    poll_input_devices(&window);
    EXPECT_TRUE(pad->closed);
    EXPECT_EQ(find_input_device("GamePad#2"), nullptr);
    EXPECT_EQ(input_devices().size(), 3u);  // the pad, the late one and the cursor
    EXPECT_EQ(device->code, code);
    EXPECT_GE(again->acquires, 1);
    again->buffer.push_back({true, 1, 16384, 5000002});
    again->buffer.push_back({false, 2, 1, 5000002});
    poll_axis_bindings();
    EXPECT_NEAR(bindings[throttle_binding].value, 0.5, 1e-6);
    poll_input_devices(&window);  // bound buttons are polled when the queue runs dry
    events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, code + 2);
    EXPECT_TRUE(events[0].pressed);
    EXPECT_TRUE(log.has("Game Pad (fake Game Pad) is back as GamePad"));

    // The late device took the bindings that were waiting for it.
    input_device* late_device = find_input_device("Late");
    ASSERT_NE(late_device, nullptr);
    EXPECT_EQ(bindings[back_up_binding].key_code, (int)late_device->code);
    ASSERT_NE(bindings[front_brake_binding].axis, nullptr);
    late->buffer.push_back({true, 0, 32767, 5000003});
    poll_axis_bindings();
    EXPECT_NEAR(bindings[front_brake_binding].value, 1, 1e-4);
    close_input_bindings();
}

TEST_F(bindings_test, AxisBindingsMapTheirRange) {
    fake_device* pad = add_fake_device("Pad", 3, 2, false, false);
    open();
    config_defaults();
    parse_binding(bindings[throttle_binding], "(0.1,0.9)Pad.axis[2]");
    parse_binding(bindings[front_brake_binding], "(0.9,0.1)Pad axis 2");
    parse_binding(bindings[clutch_binding], "Pad.key[1]");
    parse_binding(bindings[rear_brake_binding], "(0.5,0.5)Pad.axis[2]");
    open_input_bindings(&window);
    ASSERT_NE(bindings[throttle_binding].axis, nullptr);
    ASSERT_NE(bindings[front_brake_binding].axis, nullptr);
    EXPECT_EQ(bindings[clutch_binding].key_code, (int)find_input_device("Pad")->code + 1);
    pad->axes[2] = (int)(0.1 * 32768);
    poll_axis_bindings();
    EXPECT_DOUBLE_EQ(bindings[throttle_binding].value, 0);
    EXPECT_DOUBLE_EQ(bindings[front_brake_binding].value, 1);
    EXPECT_DOUBLE_EQ(bindings[rear_brake_binding].value, 0);  // an empty range
    pad->axes[2] = 16384;
    poll_axis_bindings();
    EXPECT_NEAR(bindings[throttle_binding].value, 0.5, 1e-6);  // the range is held in floats
    EXPECT_NEAR(bindings[front_brake_binding].value, 0.5, 1e-6);
    pad->axes[2] = 32767;
    poll_axis_bindings();
    EXPECT_DOUBLE_EQ(bindings[throttle_binding].value, 1);
    EXPECT_DOUBLE_EQ(bindings[front_brake_binding].value, 0);
    // A name that resolves to nothing stays unbound.
    parse_binding(bindings[back_up_binding], "(0,1)Nobody.axis[0]");
    resolve_binding(&window, bindings[back_up_binding]);
    EXPECT_EQ(bindings[back_up_binding].axis, nullptr);
    close_input_bindings();
    EXPECT_EQ(bindings[throttle_binding].axis, nullptr);
    EXPECT_EQ(find_input_device("Pad")->open_count, 0);
}

TEST_F(bindings_test, WatchingPotsBindsAFarMovedAxisHeldStill) {
    log_capture log;
    fake_device* pad = add_fake_device("Pad", 2, 2, false, false);
    open();
    config_defaults();
    binding_setting& b = bindings[throttle_binding];
    pad->axes = {0, 8192};  // rest: 0 and 0.25
    double now = 10;
    start_watching_pots(&window, &b);
    EXPECT_TRUE(watching_pots());
    // Exactly half way on axis 0, held for a long time: never binds.
    pad->axes[0] = 16384;
    for (int i = 0; i < 200; i++, now += tic_length) watch_pots_step(now);
    EXPECT_TRUE(watching_pots());
    // Axis 1 down past half, then still: binds after a quarter second.
    pad->axes[1] = -16384;  // -0.5: moved 0.75
    watch_pots_step(now);
    double moved_at = now;
    while (watching_pots() && now < moved_at + 1) {
        now += tic_length;
        watch_pots_step(now);
    }
    EXPECT_FALSE(watching_pots());
    EXPECT_GT(now, moved_at + 0.25);
    EXPECT_LT(now, moved_at + 0.25 + 2 * tic_length);
    EXPECT_FALSE(b.key_name.has_value());
    EXPECT_EQ(b.key_code, -1);
    ASSERT_TRUE(b.axis_name.has_value());
    EXPECT_EQ(*b.axis_name, "Pad axis 1");
    ASSERT_NE(b.axis, nullptr);
    EXPECT_FLOAT_EQ(b.low, (float)(0.25 - 0.75 / 16));
    EXPECT_FLOAT_EQ(b.high, (float)(0.25 - 0.75 * 15 / 16));
    EXPECT_EQ(find_input_device("Pad")->open_count, 1);  // only the winner stays open
    pad->axes[1] = -16384;
    poll_axis_bindings();
    EXPECT_NEAR(b.value, 1, 1e-9);
    close_axis(b.axis);
    b.axis = nullptr;
    // Messages only with "--debug".
    EXPECT_FALSE(log.has("Watching pots"));
}

TEST_F(bindings_test, KeysCapturedWhileWatchingAndStopping) {
    add_fake_device("Pad", 1, 0, false, false);
    open();
    start_watching_pots(&window, &bindings[throttle_binding]);
    // The character a key types is not a key: the key itself binds.
    capture_key_while_watching(&window, 'x');
    capture_key_while_watching(&window, 13);
    EXPECT_EQ(captured_key_name(), nullptr);
    capture_key_while_watching(&window, 0x102d);
    capture_key_while_watching(&window, 0x102e);  // one at a time
    ASSERT_NE(captured_key_name(), nullptr);
    EXPECT_STREQ(captured_key_name(), "X");
    stop_watching_pots();
    EXPECT_FALSE(watching_pots());
    EXPECT_EQ(find_input_device("Pad")->open_count, 0);
    start_watching_pots(&window, &bindings[throttle_binding]);
    EXPECT_EQ(captured_key_name(), nullptr);  // forgotten when watching starts again
    stop_watching_pots();
}

// The same through SDL, with its virtual joystick: unplugged and plugged in
// again, the pad keeps its name and code (SDL's GUID and name say it is the
// same), so a binding to its button works again without a restart.
TEST(sdl_devices, AVirtualPadPluggedInAgainIsTheSameDevice) {
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 4, 0);
    ASSERT_GE(index, 0) << SDL_GetError();
    plix_window window;
    set_input_device_driver(nullptr);
    open_input_devices(&window);
    ASSERT_EQ(input_devices().size(), 2u);  // the pad and the cursor
    const std::string name = input_devices()[0]->name;
    const int code = key_code_for_name(&window, (name + " button 1").c_str());
    ASSERT_GE(code, 0x10000);
    auto press = [&](bool down) {
        SDL_Joystick* j = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(0));
        if (!j) return std::vector<std::pair<int, bool>>{};
        SDL_JoystickSetVirtualButton(j, 1, down ? SDL_PRESSED : SDL_RELEASED);
        std::vector<std::pair<int, bool>> got;
        input_event e;
        for (int i = 0; i < 10 && got.empty(); i++)
            while (next_event(&window, &e)) got.push_back({(int)e.code, e.pressed});
        return got;
    };
    EXPECT_EQ(press(true), (std::vector<std::pair<int, bool>>{{code, true}}));
    // Out with the button held: released. In again: the same device.
    ASSERT_EQ(SDL_JoystickDetachVirtual(0), 0);
    std::vector<std::pair<int, bool>> released;
    input_event e;
    for (int i = 0; i < 10 && released.empty(); i++)
        while (next_event(&window, &e)) released.push_back({(int)e.code, e.pressed});
    EXPECT_EQ(released, (std::vector<std::pair<int, bool>>{{code, false}}));
    ASSERT_GE(SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_UNKNOWN, 2, 4, 0), 0);
    pump_messages(&window);
    poll_input_devices(&window);
    EXPECT_EQ(input_devices().size(), 2u);
    EXPECT_EQ(find_input_device(name + "#2"), nullptr);
    EXPECT_EQ(press(true), (std::vector<std::pair<int, bool>>{{code, true}}));
    close_input_devices(&window);
    SDL_JoystickDetachVirtual(0);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

}  // namespace
