#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "platform/keymap.h"
#include "testkit/x_server.h"
#include "platform/window.h"

namespace {

plix_time at(long s, long us) { return {s, us}; }

TEST(event_queue, KeepsOrderMarksReleasesAndDropsWhenFull) {
    event_queue q;
    queue_event(q, 0x101d, true, at(1, 0));
    queue_event(q, 0x101d, false, at(1, 500));
    queue_event(q, 'a', true, at(2, 0));
    input_event e;
    ASSERT_TRUE(take_event(q, &e));
    EXPECT_EQ(e.code, 0x101du);
    EXPECT_TRUE(e.pressed);
    ASSERT_TRUE(take_event(q, &e));
    EXPECT_EQ(e.code, 0x101du);
    EXPECT_FALSE(e.pressed);
    EXPECT_EQ(e.stamp.microseconds, 500);
    ASSERT_TRUE(take_event(q, &e));
    EXPECT_EQ(e.code, (uint32_t)'a');
    EXPECT_FALSE(take_event(q, &e));

    for (int i = 0; i < 300; i++) queue_event(q, 0x1000 + (uint32_t)i, true, at(3, i));
    int n = 0;
    while (take_event(q, &e)) {
        EXPECT_EQ(e.code, 0x1000u + (uint32_t)n);  // the first 256 survive, in order
        n++;
    }
    EXPECT_EQ(n, event_queue_size);
}

TEST(event_queue, LaterStampBlocksTheEventsBehindIt) {
    event_queue q;
    queue_event(q, 1, true, at(5, 0));
    queue_event(q, 2, true, at(7, 0));
    queue_event(q, 3, true, at(6, 0));
    input_event e;
    ASSERT_TRUE(take_event_before(q, at(6, 0), &e));
    EXPECT_EQ(e.code, 1u);
    EXPECT_FALSE(take_event_before(q, at(6, 999999), &e));  // event 2 is later and holds 3 back
    ASSERT_TRUE(take_event_before(q, at(7, 0), &e));
    EXPECT_EQ(e.code, 2u);
    ASSERT_TRUE(take_event_before(q, at(7, 0), &e));
    EXPECT_EQ(e.code, 3u);
}

TEST(display_modes, ChoiceRuleTakesTheSmallestModeThatFits) {
    const display_mode modes[] = {{1920, 1080, 32}, {1024, 768, 32}, {1280, 1024, 32}, {800, 600, 32}, {0, 0, 0}};
    display_mode m = choose_display_mode(modes, 1000, 700);
    EXPECT_EQ(m.width, 1024);
    EXPECT_EQ(m.height, 768);
    m = choose_display_mode(modes, 1280, 1024);
    EXPECT_EQ(m.width, 1280);
    // Nothing fits: the desktop (first) mode.
    m = choose_display_mode(modes, 4000, 3000);
    EXPECT_EQ(m.width, 1920);
    // Equal cost: the earlier mode in the list.
    const display_mode tie[] = {{1920, 1080, 32}, {1100, 800, 32}, {1000, 900, 32}, {0, 0, 0}};
    m = choose_display_mode(tie, 1000, 700);
    EXPECT_EQ(m.width, 1100);
}

TEST(keymap, PcKeysHaveUniqueSetOneCodes) {
    // The keys the built-in name table knows, by their set-1 codes.
    const int named[] = {0x01, 0x02, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x1C, 0x1D, 0x1E, 0x2A, 0x2B, 0x2C,
                         0x35, 0x36, 0x37, 0x39, 0x3A, 0x3B, 0x44, 0x45, 0x47, 0x52, 0x53, 0x57, 0x58,
                         0x11C, 0x11D, 0x135, 0x145, 0x147, 0x148, 0x149, 0x14B, 0x14D, 0x14F, 0x150,
                         0x151, 0x152, 0x153};
    for (int code : named) EXPECT_NE(sdl_scancode_for(code), 0) << std::hex << code;
    EXPECT_EQ(pc_scan_code(SDL_SCANCODE_RCTRL), 0x11d);
    EXPECT_EQ(pc_scan_code(SDL_SCANCODE_LCTRL), 0x1d);
    EXPECT_EQ(pc_scan_code(SDL_SCANCODE_PAUSE), 0x45);
    EXPECT_EQ(pc_scan_code(SDL_SCANCODE_KP_ENTER), 0x11c);
    EXPECT_EQ(pc_scan_code(-5), -1);
    // Letters and digits cover their set-1 rows exactly once.
    std::set<int> seen;
    for (int sc = 0; sc < SDL_NUM_SCANCODES; sc++) {
        int pc = pc_scan_code(sc);
        if (pc < 0 || sc == SDL_SCANCODE_NONUSHASH) continue;
        EXPECT_TRUE(seen.insert(pc).second) << "two keys give " << std::hex << pc;
        EXPECT_LT(pc, 512);
    }
}

TEST(timing, FromSecondsRoundsToMicroseconds) {
    plix_time t = plix_time_from_seconds(1.9999999);
    EXPECT_EQ(t.seconds, 2);
    EXPECT_EQ(t.microseconds, 0);
    t = plix_time_from_seconds(0.0078125);
    EXPECT_EQ(t.microseconds, 7813);
    plix_time a = now();
    sleep_for(0, 20000);
    double slept = now_seconds() - to_seconds(a);
    EXPECT_GE(slept, 0.0195);
}

bool have_display() {
    const char* d = getenv("DISPLAY");
    return d && *d;
}

TEST(window, OpensDrawsAndQueuesCloseUnderX) {
    if (!have_display()) GTEST_SKIP() << "no display";
    plix_window* w = open_gl_window("Quarnix test", 320, 240, 24, 0, 16, 0, 0);
    ASSERT_NE(w, nullptr);
    int width = 0, height = 0;
    bool drew = false;
    for (int i = 0; i < 50 && !drew; i++) {
        pump_messages(w);
        if (begin_frame(w, &width, &height)) {
            drew = true;
            EXPECT_TRUE(end_frame(w));
        } else {
            sleep_for(0, 10000);
        }
    }
    EXPECT_TRUE(drew);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_NE(gl_proc_address("glClear"), nullptr);

    // The system's repeats of a held key are queued marked as repeats, for
    // the key and for the control character it types.
    for (Uint8 repeat : {0, 1, 1}) {
        SDL_Event down{};
        down.type = SDL_KEYDOWN;
        down.key.state = SDL_PRESSED;
        down.key.repeat = repeat;
        down.key.timestamp = SDL_GetTicks();
        down.key.keysym.scancode = SDL_SCANCODE_BACKSPACE;
        SDL_PushEvent(&down);
    }
    std::vector<std::pair<uint32_t, bool>> typed;
    input_event k{};
    while (next_event(w, &k))
        if (k.code == 8 || k.code == event_key_base + 0x0e) typed.push_back({k.code, k.repeat});
    const std::vector<std::pair<uint32_t, bool>> held = {
        {event_key_base + 0x0e, false}, {8, false}, {event_key_base + 0x0e, true}, {8, true},
        {event_key_base + 0x0e, true},  {8, true}};
    EXPECT_EQ(typed, held);

    // A close request from the desktop arrives as event 0xdead.
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    input_event e{};
    bool closed = false;
    while (next_event(w, &e))
        if (e.code == event_close) closed = true;
    EXPECT_TRUE(closed);

    std::vector<std::string> items = build_video_mode_choices();
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ(items[0], "Default Fullscreen");
    EXPECT_EQ(items[1], "Windowed");
    close_gl_window(w);
}

// A display that is named but does not answer yet (a server still
// starting, or one resetting after its last client left) is tried again for
// a few seconds before the window gives up. In a fresh process, so that SDL
// starts its video anew.
TEST(window_death, ADisplayThatAnswersLateIsWaitedFor) {
    if (!x_server::available()) GTEST_SKIP() << "no Xvfb";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            x_server late;
            int n = x_server::free_number();
            if (n < 0 || !late.start(n, 700)) _exit(2);
            setenv("DISPLAY", late.display().c_str(), 1);
            unsetenv("XAUTHORITY");
            unsetenv("SDL_VIDEODRIVER");
            plix_window* w = open_gl_window("Quarnix test", 160, 120, 24, 0, 16, 0, 0);
            fprintf(stderr, "window %s\n", w ? "opened" : "not opened");
            if (w) close_gl_window(w);
            late.stop();
            _exit(w ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "window opened");
}

}  // namespace
