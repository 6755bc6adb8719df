// The real window, GL context and key path in one process under X: a key
// press pushed into SDL reaches the frame loop through the window's event
// queue and the resolved bindings, and the screenshot lands as a PNG.
#include <gtest/gtest.h>

#include <SDL.h>

#include <GL/gl.h>

#include <cstdlib>

#include "core/cmdline.h"
#include "core/config.h"
#include "core/diag.h"
#include "game/frame_loop.h"
#include "core/hooks.h"
#include "core/timing.h"
#include "platform/keymap.h"
#include "platform/platform_install.h"
#include "platform/window.h"
#include "render/image_io.h"
#include "render/render_install.h"
#include "testkit/testkit.h"
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
        clear_hooks();
        cmdline = run_options{};
        config_defaults();
        quit_requested = false;
        install_platform();
        install_render();
        ASSERT_TRUE(window_hook.open("Quarnix test", 320, 240, 24, 16));
        for (int i = 0; i < 100 && !window_hook.can_draw(); i++) time_sleep(0.01);
        ASSERT_TRUE(window_hook.can_draw());
        ASSERT_TRUE(render_hook.init_gl());
        render_hook.setup_gl_state(false);
        input_hook.open_bindings();
        // A ride in view, so that the ride keys act.
        track_hook.loaded = [] { return true; };
        race_hook.slot_type = [](int) { return 0; };
        race_hook.slot_has_bike = [](int) { return true; };
        frame_loop_init();
        set_menu_page(no_menu);
    }
    void TearDown() override {
        if (window_hook.close) {
            input_hook.close_bindings();
            window_hook.close();
        }
        clear_hooks();
        app_time = time_source{};
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
    ASSERT_TRUE(window_hook.begin_frame());
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 120, 320, 120);  // GL counts rows from the bottom: this is the top half
    glClearColor(1, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(render_hook.read_frame(320, 240, rgb));
    window_hook.end_frame();
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
    static std::vector<double> throttle;
    throttle.clear();
    bike_hook.set_controls = [](int, const control_values& c) { throttle.push_back(c[throttle_control]); };
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
    window_hook.client_size(w, h);
    EXPECT_EQ(w, 400);
    EXPECT_EQ(h, 300);
}

}  // namespace
