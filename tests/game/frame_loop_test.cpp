#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/bike_setup.h"
#include "core/diag.h"
#include "core/setup_watch.h"
#include "frame_loop_fixture.h"
#include "testkit/testkit.h"

namespace {

constexpr int key_x = 0x102d, key_p = 0x1019, key_period = 0x1034, key_t = 0x1014, key_s = 0x101f;
constexpr int key_esc = 0x1001;

using frame_timing = frame_loop_fixture;

TEST_F(frame_timing, TicsFollowRealTimeWithinTheCatchUpLimit) {
    // A frame quicker than a tic waits for it, and then runs exactly one.
    EXPECT_EQ(pass(), 1);
    EXPECT_GE(world.sleeps, 1);
    EXPECT_NEAR(loop_state.target_clock, tic_length, 1e-12);

    // A frame that took a whole second catches up 16 tics only.
    world.draw_cost = 1.0;
    EXPECT_EQ(pass(), 16);
    EXPECT_DOUBLE_EQ(loop_state.max_frame_advance, 0.125);
    EXPECT_DOUBLE_EQ(loop_state.min_frame_advance, tic_length);
    EXPECT_EQ(loop_state.frame_time_histogram[7], 1);  // longer than 64 tics

    // Three tics' worth gives three.
    world.draw_cost = 3 * tic_length;
    EXPECT_EQ(pass(), 3);
    EXPECT_NEAR(total_clock, tic_length + 0.125 + 3 * tic_length, 1e-12);
    EXPECT_DOUBLE_EQ(loop_state.sim_clock, loop_state.target_clock);
}

TEST_F(frame_timing, LockedFrameRateAndWarp) {
    cmdline.lock_fps = 64;
    for (double cost : {0.0, 0.001, 0.05, 0.5}) {
        world.draw_cost = cost;
        EXPECT_EQ(pass(), 2) << cost;
    }
    // Online the lock does not apply.
    world.connected = true;
    world.draw_cost = 0;
    EXPECT_EQ(pass(), 1);

    world.connected = false;
    cmdline.lock_fps = 0;
    cmdline.warp = true;
    int sleeps = world.sleeps;
    EXPECT_EQ(pass(), 100);
    EXPECT_EQ(world.sleeps, sleeps);  // no waiting
}

// Vertical sync is asked for by default; where the driver gives none, the
// loop itself holds frames to the display's refresh (125 frames/s when the
// display does not say). Passes are counted over one second of the clock.
TEST_F(frame_timing, WithoutVerticalSyncTheLoopHoldsTheRefreshRate) {
    struct display {
        bool vsync_works;
        int refresh;
        int vsync_setting;
        double lock_fps;
        const char* asked;
        double frames_per_second;
    };
    const display displays[] = {
        {true, 60, 1, 0, "vsync on", 128},    // the swap waits: the loop only keeps its tic floor
        {false, 60, 1, 0, "vsync on", 60},    // no sync from the driver: the loop waits
        {false, 0, 1, 0, "vsync on", 125},    // ... for a display that gives no refresh rate
        {false, 240, 1, 0, "vsync on", 128},  // never more frames than tics
        {false, 60, 0, 0, "vsync off", 128},  // the player turned it off
        {true, 60, 1, 64, "vsync off", 64},   // "--lock-fps" paces exactly, on its own
    };
    for (const display& d : displays) {
        SCOPED_TRACE(d.asked + std::string(" refresh ") + std::to_string(d.refresh));
        TearDown();
        SetUp();
        world.vsync_works = d.vsync_works;
        world.refresh_rate = d.refresh;
        settings.vsync = d.vsync_setting;
        cmdline.lock_fps = d.lock_fps;
        int frames = 0;
        while (total_clock < 1.0 - 1e-9) {
            pass();
            frames++;
        }
        EXPECT_NEAR(frames, d.frames_per_second, 1.0);
        EXPECT_NEAR(world.tics, 128, 1);
        EXPECT_EQ(std::count(world.calls.begin(), world.calls.end(), std::string(d.asked)), 1);
    }
    // A change is taken at the next frame.
    cmdline.lock_fps = 0;
    pass();
    ASSERT_FALSE(world.calls.empty());
    EXPECT_EQ(world.calls.back(), "vsync on");
    settings.vsync = 0;
    pass();
    EXPECT_EQ(world.calls.back(), "vsync off");
}

TEST_F(frame_timing, OnlineTheTicRateFollowsTheServer) {
    world.connected = true;
    int& server = world.server_tic;
    race.tic = 100;
    race.gate_drop_tic = 0;
    world.draw_cost = 0.1;
    // One tic behind the server: lag 0, no change.
    server = 101;
    pass();
    EXPECT_NEAR(loop_state.target_clock, 0.1, 1e-12);
    // Ahead of the server by a second or more: half speed.
    server = 100 - 200;
    pass();
    EXPECT_NEAR(loop_state.target_clock, 0.1 + 0.05, 1e-12);
    // Behind before the gate drop: up to four times real speed.
    race.gate_drop_tic = 1000000;
    server = 100 + 500;
    pass();
    EXPECT_NEAR(loop_state.target_clock, 0.15 + 0.4, 1e-12);
    // Behind after the gate drop: at most 12.5 % faster.
    race.gate_drop_tic = 0;
    pass();
    EXPECT_NEAR(loop_state.target_clock, 0.55 + 0.1125, 1e-12);
}

using tic_events = frame_loop_fixture;

TEST_F(tic_events, EventsLandInTheTicTheyBelongTo) {
    bindings[throttle_binding].key_code = key_x;
    double start = world.clock;
    world.draw_cost = 0.125;  // 16 tics of catch-up
    key(key_x, true, start + 4.5 * tic_length);
    key(key_x, false, start + 9.5 * tic_length);
    ASSERT_EQ(pass(), 16);
    ASSERT_EQ(world.handed.size(), 16u);
    for (int tic = 1; tic <= 16; tic++) {
        double want = tic >= 5 && tic <= 9 ? 1 : 0;
        EXPECT_EQ(world.handed[(size_t)tic - 1][throttle_control], want) << "tic " << tic;
    }
}

TEST_F(tic_events, LaterEventsWaitForTheirFrameAndTheLastTicTakesAll) {
    bindings[throttle_binding].key_code = key_x;
    bindings[left_binding].key_code = 0x114b;
    bindings[right_binding].key_code = 0x114d;
    world.draw_cost = 2 * tic_length;
    double start = world.clock;
    // Stamped after this frame's last deadline: still taken by its last tic,
    // whose deadline is now.
    key(0x114d, true, start + 2 * tic_length);
    // Stamped beyond now: the last tic takes every queued event.
    key(key_x, true, start + 10.0);
    ASSERT_EQ(pass(), 2);
    EXPECT_EQ(world.handed[0][steer_control], 0);
    EXPECT_EQ(world.handed[1][steer_control], -1);  // Left − Right
    EXPECT_EQ(world.handed[1][throttle_control], 1);
    EXPECT_TRUE(world.queue.empty());
}

using key_dispatch = frame_loop_fixture;

TEST_F(key_dispatch, PauseAndStep) {
    bindings[pause_binding].key_code = key_p;
    bindings[step_binding].key_code = key_period;
    // Step does nothing unless paused.
    tap(key_period);
    EXPECT_EQ(pass(), 1);
    tap(key_p);
    EXPECT_EQ(pass(), 0);
    EXPECT_TRUE(loop_state.paused);
    tap(key_period);
    EXPECT_EQ(pass(), 1);  // the step, no tic of its own
    tap(key_p);
    EXPECT_EQ(pass(), 1);
    EXPECT_FALSE(loop_state.paused);

    // Pause does nothing while connected.
    world.connected = true;
    tap(key_p);
    EXPECT_EQ(pass(), 1);
    EXPECT_FALSE(loop_state.paused);
    // And a pause is lifted as soon as a connection runs.
    world.connected = false;
    tap(key_p);
    pass();
    ASSERT_TRUE(loop_state.paused);
    world.connected = true;
    pass();
    EXPECT_FALSE(loop_state.paused);
}

TEST_F(key_dispatch, MenuFreezesTheRideOfflineAndMutesIt) {
    world.audio = true;
    bindings[throttle_binding].key_code = key_x;
    tap(key_esc);
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(current_menu_page(), main_page);
    EXPECT_TRUE(world.handed.empty());
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(world.sound_factors.back(), 0);
    // Keys go to the menu, not to the bindings' actions.
    tap(key_x);
    pass();
    ASSERT_EQ(world.menu_keys.size(), 1u);
    EXPECT_EQ(world.menu_keys[0], key_x);
    // Esc closes it again; esc itself never reaches the menu.
    tap(key_esc);
    EXPECT_EQ(pass(), 1);
    EXPECT_EQ(current_menu_page(), no_menu);
    EXPECT_EQ(world.menu_keys.size(), 1u);
    pass();
    EXPECT_EQ(world.sound_factors.back(), 1);

    // Not riding (a robot in view), the race runs on behind the menu at a
    // quarter of the volume.
    world.viewed_type = 2;
    tap(key_esc);
    EXPECT_EQ(pass(), 1);
    EXPECT_EQ(pass(), 1);
    EXPECT_EQ(world.sound_factors.back(), 0.25);
    // Online it runs on too.
    world.viewed_type = 0;
    world.connected = true;
    EXPECT_EQ(pass(), 1);
}

// A held key's repeats move through the menus and edit their text; riding
// never sees them.
TEST_F(key_dispatch, HeldKeysRepeatOnlyInTheMenus) {
    constexpr int key_down = 0x1150, key_enter = 0x101c;
    bindings[pause_binding].key_code = key_p;
    auto held = [&](int code, int repeats) {
        key(code, true, world.clock);
        for (int i = 0; i < repeats; i++) world.queue.push_back({code, true, world.clock, true});
        if (code >= 256) key(code, false, world.clock);
    };
    held(key_p, 3);
    held(9, 3);  // the tab character repeats with its key
    pass();
    EXPECT_TRUE(loop_state.paused);  // toggled once
    EXPECT_EQ(loop_state.view_mode, third_person_view);  // one step, not four

    set_menu_page(main_page);
    held(key_down, 2);
    held(8, 2);  // Backspace
    held('a', 1);
    held(key_enter, 2);  // acts once
    held(13, 2);
    held(key_esc, 1);  // closes the menu once; its repeat is not for the ride
    pass();
    EXPECT_EQ(world.menu_keys, (std::vector<int>{key_down, key_down, key_down, 8, 8, 8, 'a', 'a', key_enter, 13}));
    EXPECT_EQ(current_menu_page(), no_menu);
    EXPECT_TRUE(loop_state.paused);
}

TEST_F(key_dispatch, TabCyclesTheViewsAndRidingKeepsOnlyTheRiderViews) {
    EXPECT_EQ(pass(), 1);
    EXPECT_EQ(loop_state.view_mode, first_person_view);
    tap(9);
    pass();
    EXPECT_EQ(loop_state.view_mode, third_person_view);
    tap(9);
    pass();
    EXPECT_EQ(loop_state.view_mode, free_view);
    // While riding the free view is not kept.
    pass();
    EXPECT_EQ(loop_state.view_mode, first_person_view);
    // Spectating keeps it.
    settings.spy = 1;
    tap(9);
    tap(9);
    pass();
    pass();
    EXPECT_EQ(loop_state.view_mode, free_view);
    tap(9);
    pass();
    EXPECT_EQ(loop_state.view_mode, first_person_view);

    // No bike in view: the free view; no track: the title, where keys do
    // nothing and no tic runs.
    world.bike = false;
    pass();
    EXPECT_EQ(loop_state.view_mode, free_view);
    world.track = false;
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(loop_state.view_mode, title_view);
}

TEST_F(key_dispatch, ChatKeyOpensTheLineWithoutTypingItsOwnCharacter) {
    bindings[console_binding].key_code = key_t;
    key(key_t, true, world.clock);
    key('t', true, world.clock);  // the character the key typed
    key(key_t, false, world.clock);
    key('h', true, world.clock);
    key('t', true, world.clock);
    pass();
    EXPECT_EQ(current_menu_page(), input_line_page);
    EXPECT_EQ(world.menu_keys, (std::vector<int>{'h', 't'}));
}

TEST_F(key_dispatch, ScreenshotsAreNumberedAndTakenFromTheNextFrame) {
    vfs_sandbox box;
    write_file(box.root0() + "screenshot007.png", "an earlier shot");
    bindings[screenshot_binding].key_code = key_s;
    tap(key_s);
    pass();
    EXPECT_TRUE(world.saved_shots.empty());  // asked for during the tics
    pass();
    tap(key_s);
    pass();
    pass();
    EXPECT_EQ(world.saved_shots, (std::vector<std::string>{"@screenshot008.png", "@screenshot009.png"}));
    EXPECT_STREQ(message_line(0), "Saved \"screenshot009.png\"");

    // A shot that cannot be written says so.
    world.shots_work = false;
    tap(key_s);
    pass();
    pass();
    EXPECT_STREQ(message_line(0), "Can't save \"screenshot010.png\"");
}

TEST_F(key_dispatch, CloseRequestAndFrameLimitEndTheLoop) {
    key(window_close_code, true, world.clock);
    EXPECT_FALSE(frame_loop_pass());
    EXPECT_TRUE(quit_requested);

    quit_requested = false;
    setenv("QUARNIX_QUIT_AFTER_FRAMES", "3", 1);
    frame_loop_init();
    set_menu_page(no_menu);
    unsetenv("QUARNIX_QUIT_AFTER_FRAMES");
    int frames = 0;
    while (frame_loop_pass()) frames++;
    EXPECT_EQ(frames, 2);  // the third pass ends it
    EXPECT_EQ(loop_state.frames, 3);

    // The window gone at the swap ends it too.
    quit_requested = false;
    frame_loop_init();
    world.swap_works = false;
    EXPECT_FALSE(frame_loop_pass());
}

TEST_F(key_dispatch, ViewedRiderChangesOnlyWhenNotRiding) {
    bindings[prev_binding].key_code = 0x101a;
    bindings[next_binding].key_code = 0x101b;
    world.running_order = {4, 0, 7};
    tap(0x101b);
    pass();
    EXPECT_EQ(race.viewed_slot, 0);  // riding: ignored
    world.viewed_type = 2;
    tap(0x101b);
    pass();
    EXPECT_EQ(race.viewed_slot, 7);
    tap(0x101b);
    pass();
    EXPECT_EQ(race.viewed_slot, 7);  // clamped at the end
    for (int i = 0; i < 3; i++) tap(0x101a);
    pass();
    EXPECT_EQ(race.viewed_slot, 4);
}

using loop_reports = frame_loop_fixture;

TEST_F(loop_reports, SetupChangesAreReportedEveryFiveSeconds) {
    remember_setup_values();
    world.draw_cost = 0.125;
    player_setup.roll_damping = 12;
    flag_setup_changes();
    while (total_clock < 4.8) pass();  // 4.875: not yet
    EXPECT_EQ(std::string(message_line(0)).find("[SPAM] setup change"), std::string::npos);
    while (total_clock < 5.01) pass();
    EXPECT_EQ(std::string(message_line(0)), "[SPAM] setup change -d" + std::string(37, '-') + "\n");
    EXPECT_FALSE(setup_changed(1));
    // Online the report goes to the server instead.
    world.connected = true;
    player_setup.shock_preload_adjustment = 1;
    flag_setup_changes();
    while (total_clock < 10.01) pass();
    ASSERT_EQ(world.sent.size(), 1u);
    EXPECT_EQ(world.sent[0].substr(20), std::string(33, '-') + "p-----\n");
}

// A resized window is remembered in points, the unit it is made in: on a
// HiDPI screen its pixels are twice as many and would grow it every run.
TEST_F(loop_reports, AResizedWindowIsSavedInPoints) {
    world.width = 1280;
    world.height = 960;
    world.points_width = 640;
    world.points_height = 480;
    pass();
    world.width = 1600;
    world.height = 1200;
    world.points_width = 800;
    world.points_height = 600;
    pass();
    EXPECT_EQ(settings.xres, 800);
    EXPECT_EQ(settings.yres, 600);
}

TEST_F(loop_reports, StutterCheckpointsNameTheSlowStage) {
    stutter_threshold = 0.05;
    pass();
    world.draw_cost = 0.2;  // drawing starts after the previous pass's last checkpoint
    pass();
    EXPECT_EQ(std::string(message_line(0)).rfind("Stutter in draw - 0.2", 0), 0u) << message_line(0);
}

}  // namespace
