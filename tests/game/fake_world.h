// The world below the game layer as the game's tests see it. test_game links
// the game's own objects without the subsystems: every function the game
// calls of the platform, the renderer, the user interface, the track, the
// bikes, the race and the Parts not built yet is defined by these stand-ins
// (fake_world.cpp), which play the world this record describes and note
// what was called. The game's wiring of the drivers (connect_drivers) and
// its frame loop's run are stand-ins too, so that start-up can be followed
// step by step; frame_loop_pass itself is the real one.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/controls.h"

struct stamped_event {
    int code;
    bool pressed;
    double stamp = 0;  // app-clock seconds; 0: due at once
    bool repeat = false;  // the system repeating a held key
};

struct fake_world {
    // ---- clock and window ----
    double clock = 1000;
    // Each sleep moves the clock by this much; below 0, by the time asked.
    double sleep_step = -1;
    bool record_sleeps = false;  // "sleep <seconds>" among the calls
    int sleeps = 0;
    double draw_cost = 0;  // seconds each drawn frame takes
    bool alive = true;
    int alive_until_sleeps = -1;  // the window goes away after this many sleeps
    bool gone_after_gl = false;   // ... once GL is up
    bool software_samples = false;  // the window is multisampled by a software rasteriser
    bool drawable = true;
    bool swap_works = true;  // false: the window is gone at the swap
    int width = 640, height = 480;  // drawable pixels
    int points_width = 0, points_height = 0;  // the window in points; 0: as the pixels
    bool vsync_works = true;  // the driver syncs swaps when asked
    int refresh_rate = 0;
    bool display_lost = false;
    int frames_drawn = 0;
    std::deque<stamped_event> queue;

    // ---- the race and the track ----
    std::vector<std::string> tracks = {"rabbithill", "dunes"};
    bool track = true;
    int viewed_type = 0;  // slot type of every slot
    bool bike = true;
    std::vector<int> running_order;
    int tics = 0;
    std::vector<double> tic_times;  // the clock when each tic ran
    std::vector<control_values> handed;
    // The height field's samples (the grid is the `terrain` record's) and
    // the height under a point; without them the ground is out of reach.
    std::function<double(int, int)> height_sample;
    std::function<double(double, double)> height_at;

    // ---- the network, sound, audio, menus and output ----
    bool connected = false;
    bool server_tics = true;
    int server_tic = 0;
    bool audio = false;
    bool recording_works = true;  // the memory-recording device opens
    std::vector<double> sound_factors;
    std::vector<int> menu_keys;
    std::vector<std::string> saved_shots;
    bool shots_work = true;
    std::function<bool(int, int, std::vector<uint8_t>&)> read_frame;
    std::vector<std::string> sent;

    // ---- what start-up called, in order ----
    std::vector<std::string> calls;
    bool quit_seen_by_loop = false;
};

// The world of the current test.
fake_world& world();
// A fresh world: the race's, the track's and the menus' records back to
// their start as well.
void reset_world();
