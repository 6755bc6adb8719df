// The frame loop in the fake world: a clock that only moves when the loop
// sleeps or a frame is drawn, a queue of stamped events, and recorders for
// the tics and the controls handed to the bike.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/quit.h"
#include "fake_world.h"
#include "game/frame_loop.h"
#include "platform/main_window.h"
#include "race/race.h"
#include "track/height_field.h"
#include "track/objects_cameras.h"
#include "ui/menu.h"

// Resets the world, bindings and the loop; every test starts from the same
// place with the menu closed.
struct frame_loop_fixture : ::testing::Test {
    fake_world& world = (reset_world(), ::world());

    void SetUp() override {
        cmdline = run_options{};
        config_defaults();
        for (binding_setting& b : bindings) {
            b.key_code = -1;
            b.value = 0;
        }
        quit_requested = false;
        app_clock.now = main_clock_now;
        app_clock.sleep_for = main_clock_sleep;
        frame_loop_init();
        set_menu_page(no_menu);
    }
    void TearDown() override {
        app_clock = clock_driver{};
        cmdline = run_options{};
        reset_world();
    }

    // One pass; returns the number of tics it ran.
    int pass() {
        int before = world.tics;
        frame_loop_pass();
        return world.tics - before;
    }
    void key(int code, bool pressed, double stamp) { world.queue.push_back({code, pressed, stamp}); }
    void tap(int code) {
        key(code, true, world.clock);
        key(code, false, world.clock);
    }
};
