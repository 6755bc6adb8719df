// The real window, GL context and key path in one process under X: a key
// press pushed into SDL reaches the frame loop through the window's event
// queue and the resolved bindings, and the screenshot lands as a PNG. A small
// track is loaded; the race and the menus are stand-ins
// (ride_stand_ins.cpp) with a local rider in view whose bike draws nothing.
#include <gtest/gtest.h>

#include <SDL.h>

#include <GL/gl.h>

#include <cstdlib>

#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/quit.h"
#include "game/frame_loop.h"
#include "platform/input.h"
#include "platform/keymap.h"
#include "platform/main_window.h"
#include "platform/window.h"
#include "render/gl_frame.h"
#include "render/image_io.h"
#include "ride_stand_ins.h"
#include "testkit/testkit.h"
#include "track/height_field.h"
#include "track/track.h"
#include "ui/menu.h"

namespace {

bool have_display() {
    const char* d = getenv("DISPLAY");
    return d && *d;
}

void push_key(SDL_Scancode sc) {
    for (Uint32 type : {SDL_KEYDOWN, SDL_KEYUP}) {
        SDL_Event e{};
        e.type = type;
        e.key.timestamp = SDL_GetTicks();
        e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = sc;
        SDL_PushEvent(&e);
    }
}

struct live_window : ::testing::Test {
    vfs_sandbox box;
    void SetUp() override {
        if (!have_display()) GTEST_SKIP() << "no display";
        // A ride in view, so that the ride keys act: a small flat track (its
        // files in place before the file index is built), and the stand-in
        // race's local rider.
        write_file(box.root1() + "tracks/t/terrain.hf", encode_terrain_hf(6, 1.0f, 0, 10, nullptr));
        const int samples = (2 << 6) + 1;
        std::vector<uint8_t> shading((size_t)samples * samples * 3, 128);
        write_file(box.root1() + "tracks/t/shadingx2.ppm", encode_shading_x2(shading.data(), samples));
        write_file(box.root1() + "tracks/t/texturelist", "0.9 4 12 dirt.png\n");
        write_file(box.root1() + "tracks/t/tilemap", std::string(64 * 64, '\0'));
        cmdline = run_options{};
        config_defaults();
        quit_requested = false;
        app_clock.now = main_clock_now;
        app_clock.sleep_for = main_clock_sleep;
        ASSERT_TRUE(open_main_window("Quarnix test", 320, 240, 24, 16));
        for (int i = 0; i < 100 && !main_window_can_draw(); i++) time_sleep(0.01);
        ASSERT_TRUE(main_window_can_draw());
        ASSERT_TRUE(init_gl());
        setup_gl_state(false);
        open_input_bindings(main_window());
        current_track_dir = "tracks/t";
        ASSERT_TRUE(load_track()) << message_line(0);
        frame_loop_init();
        set_menu_page(no_menu);
    }
    void TearDown() override {
        release_track();
        if (main_window()) {
            close_input_bindings();
            close_main_window();
        }
        app_clock = clock_driver{};
    }
};

TEST_F(live_window, ScreenshotKeyWritesTheDrawnFrameAsPng) {
    ASSERT_EQ(bindings[screenshot_binding].key_code, 0x1000 + 0x1f);
    for (int i = 0; i < 3; i++) ASSERT_TRUE(frame_loop_pass());
    push_key(SDL_SCANCODE_S);
    std::string shot = box.root0() + "screenshot001.png";
    for (int i = 0; i < 20 && !path_exists(shot); i++) ASSERT_TRUE(frame_loop_pass());
    ASSERT_TRUE(path_exists(shot));
    EXPECT_STREQ(message_line(0), "Saved \"screenshot001.png\"");

    pixel_buffer png;
    ASSERT_TRUE(read_png("@screenshot001.png", png));
    ASSERT_EQ(png.width, 320);
    ASSERT_EQ(png.height, 240);
    ASSERT_GE(png.channels, 3);
    // The title clear colour everywhere.
    for (size_t at : {(size_t)0, (size_t)(160 * 240 + 120), (size_t)(320 * 240 - 1)}) {
        const uint8_t* p = png.pixels.data() + at * (size_t)png.channels;
        EXPECT_EQ(p[0], 50);
        EXPECT_EQ(p[1], 153);
        EXPECT_EQ(p[2], 204);
    }
    // The next one takes the next number.
    push_key(SDL_SCANCODE_S);
    for (int i = 0; i < 20 && !path_exists(box.root0() + "screenshot002.png"); i++) frame_loop_pass();
    EXPECT_TRUE(path_exists(box.root0() + "screenshot002.png"));
}

TEST_F(live_window, FramesAreReadBackTopRowFirst) {
    ASSERT_TRUE(main_window_begin_frame());
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 120, 320, 120);  // GL counts rows from the bottom: this is the top half
    glClearColor(1, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(read_frame(320, 240, rgb));
    main_window_end_frame();
    ASSERT_EQ(rgb.size(), 320u * 240 * 3);
    EXPECT_EQ(rgb[0], 255);  // the first row is the top, red
    EXPECT_EQ(rgb[2], 0);
    EXPECT_EQ(rgb[rgb.size() - 3], 50);  // the last row is the bottom, still clear
    EXPECT_EQ(rgb[rgb.size() - 1], 204);
}

TEST_F(live_window, KeysAndCloseReachTheLoopWithTheirStamps) {
    // The throttle key, pressed and let go, holds the throttle between.
    bindings[throttle_binding].value = 0;
    ASSERT_EQ(bindings[throttle_binding].key_code, 0x1000 + 0x2d);
    std::vector<double>& throttle = handed_throttle;
    throttle.clear();
    frame_loop_pass();
    SDL_Event down{};
    down.type = SDL_KEYDOWN;
    down.key.timestamp = SDL_GetTicks();
    down.key.keysym.scancode = SDL_SCANCODE_X;
    SDL_PushEvent(&down);
    for (int i = 0; i < 5; i++) frame_loop_pass();
    EXPECT_EQ(throttle.back(), 1);
    SDL_Event up = down;
    up.type = SDL_KEYUP;
    up.key.timestamp = SDL_GetTicks();
    SDL_PushEvent(&up);
    for (int i = 0; i < 5; i++) frame_loop_pass();
    EXPECT_EQ(throttle.back(), 0);

    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    int passes = 0;
    while (frame_loop_pass() && passes < 50) passes++;
    EXPECT_TRUE(quit_requested);
    EXPECT_LT(passes, 5);
}

TEST_F(live_window, AResizedWindowKeepsItsNewSizeInTheSettings) {
    settings.xres = 320;
    settings.yres = 240;
    ASSERT_TRUE(frame_loop_pass());
    SDL_SetWindowSize((SDL_Window*)main_window()->sdl_window, 400, 300);
    for (int i = 0; i < 50 && settings.xres != 400; i++) {
        time_sleep(0.01);
        ASSERT_TRUE(frame_loop_pass());
    }
    EXPECT_EQ(settings.xres, 400);
    EXPECT_EQ(settings.yres, 300);
    int w = 0, h = 0;
    main_window_size(w, h);
    EXPECT_EQ(w, 400);
    EXPECT_EQ(h, 300);
}

}  // namespace
