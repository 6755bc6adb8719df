// A fake world for driving the frame loop: a clock that only moves when the
// loop sleeps or a frame is drawn, a queue of stamped events, and recorders
// for the tics and the controls handed to the bike.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "game/frame_loop.h"
#include "race/race.h"
#include "track/objects_cameras.h"
#include "ui/menu.h"
#include "core/hooks.h"
#include "core/timing.h"

struct stamped_event {
    int code;
    bool pressed;
    double stamp;
};

struct fake_loop_world {
    double clock = 1000;
    double draw_cost = 0;  // seconds each drawn frame takes
    std::deque<stamped_event> queue;
    bool track = true;
    int viewed_type = 0;  // slot type of every slot
    bool bike = true;
    bool connected = false;
    bool server_tics = true;
    bool audio = false;
    int tics = 0;
    std::vector<double> tic_times;  // the clock when each tic ran
    std::vector<control_values> handed;
    std::vector<double> sound_factors;
    std::vector<int> menu_keys;
    std::vector<std::string> saved_shots;
    std::vector<std::string> sent;
    int frames_drawn = 0;
    int sleeps = 0;
};
inline fake_loop_world* loop_world = nullptr;

// Installs the fakes, resets bindings and the loop; every test starts from
// the same place with the menu closed.
struct frame_loop_fixture : ::testing::Test {
    fake_loop_world world;

    void SetUp() override {
        loop_world = &world;
        clear_hooks();
        cmdline = run_options{};
        config_defaults();
        for (binding_setting& b : bindings) {
            b.key_code = -1;
            b.value = 0;
        }
        quit_requested = false;
        app_time.now = [] { return loop_world->clock; };
        app_time.sleep_for = [](double s) {
            loop_world->sleeps++;
            if (s > 0) loop_world->clock += s;
        };
        window_hook.alive = [] { return true; };
        window_hook.begin_frame = [] {
            loop_world->frames_drawn++;
            loop_world->clock += loop_world->draw_cost;
            return true;
        };
        window_hook.end_frame = [] { return true; };
        window_hook.client_size = [](int& w, int& h) {
            w = 640;
            h = 480;
        };
        input_hook.next_event = [](int& code, bool& pressed) {
            if (loop_world->queue.empty()) return false;
            code = loop_world->queue.front().code;
            pressed = loop_world->queue.front().pressed;
            loop_world->queue.pop_front();
            return true;
        };
        input_hook.next_event_before = [](double deadline, int& code, bool& pressed) {
            if (loop_world->queue.empty() || loop_world->queue.front().stamp > deadline) return false;
            code = loop_world->queue.front().code;
            pressed = loop_world->queue.front().pressed;
            loop_world->queue.pop_front();
            return true;
        };
        track_hook.loaded = [] { return loop_world->track; };
        race_hook.slot_type = [](int) { return loop_world->viewed_type; };
        race_hook.slot_has_bike = [](int) { return loop_world->bike; };
        race_hook.simulate_tic = [] {
            loop_world->tics++;
            loop_world->tic_times.push_back(loop_world->clock);
        };
        bike_hook.set_controls = [](int, const control_values& c) { loop_world->handed.push_back(c); };
        net_hook.connected = [] { return loop_world->connected; };
        net_hook.server_tic_received = [] { return loop_world->server_tics; };
        net_hook.send_text = [](const char* t) { loop_world->sent.push_back(t); };
        audio_hook.device_open = [] { return loop_world->audio; };
        sound_hook.update = [](double f) { loop_world->sound_factors.push_back(f); };
        ui_hook.menu_key = [](int code) { loop_world->menu_keys.push_back(code); };
        render_hook.save_screenshot = [](const char* name, int, int) {
            loop_world->saved_shots.push_back(name);
            return true;
        };
        frame_loop_init();
        set_menu_page(no_menu);
    }
    void TearDown() override {
        clear_hooks();
        app_time = time_source{};
        cmdline = run_options{};
        loop_world = nullptr;
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
