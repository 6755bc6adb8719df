#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/loading.h"
#include "core/quit.h"
#include "testkit/testkit.h"

namespace {


// A fake window, event queue, title screen and clock.
struct fake_screen {
    double clock = 100;
    bool drawable = true;
    std::deque<std::pair<int, bool>> queue;  // code, pressed
    std::vector<std::string> drawn;  // "title:<text>" / "indicator:<count>"
    int frames_ended = 0;
};
fake_screen* screen = nullptr;

struct loading_fixture : ::testing::Test {
    fake_screen fake;
    void SetUp() override {
        screen = &fake;
        loading_screen = loading_screen_driver{};
        loading_reset();
        config_defaults();
        quit_requested = false;
        app_clock.now = [] { return screen->clock; };
        // A frame is drawn whole (begun, drawn and ended) when one can be.
        loading_screen.draw_title = [](const char* t) {
            if (!screen->drawable) return false;
            screen->drawn.push_back(std::string("title:") + t);
            screen->frames_ended++;
            return true;
        };
        loading_screen.draw_indicator = [](unsigned n) {
            if (!screen->drawable) return false;
            screen->drawn.push_back("indicator:" + std::to_string(n));
            screen->frames_ended++;
            return true;
        };
        loading_screen.next_event = [](int& code, bool& pressed) {
            if (screen->queue.empty()) return false;
            code = screen->queue.front().first;
            pressed = screen->queue.front().second;
            screen->queue.pop_front();
            return true;
        };
    }
    void TearDown() override {
        loading_screen = loading_screen_driver{};
        app_clock = clock_driver{};
        quit_requested = false;
        screen = nullptr;
    }
    void queue_key(int code, bool pressed) { fake.queue.push_back({code, pressed}); }
};

TEST_F(loading_fixture, MessageDropsInputButKeepsTheCloseRequest) {
    queue_key(0x1000 + 0x2d, true);
    queue_key(window_close_code, true);
    queue_key(0x1000 + 0x2d, false);
    bindings[throttle_binding].value = 1;
    bindings[lean_backward_binding].value = 0.5;
    show_loading_message("Loading track");
    EXPECT_TRUE(fake.queue.empty());
    EXPECT_TRUE(quit_requested);
    EXPECT_EQ(bindings[throttle_binding].value, 0);
    EXPECT_EQ(bindings[lean_backward_binding].value, 0);
    ASSERT_EQ(fake.drawn.size(), 1u);
    EXPECT_EQ(fake.drawn[0], "title:Loading track");
    EXPECT_EQ(fake.frames_ended, 1);

    // loading_tick drains as well.
    quit_requested = false;
    queue_key(window_close_code, true);
    loading_tick();
    EXPECT_TRUE(quit_requested);
}

TEST_F(loading_fixture, NothingIsDrawnWithoutAFrame) {
    fake.drawable = false;
    bindings[clutch_binding].value = 1;
    queue_key(0x2000, true);
    show_loading_message("hidden");
    loading_tick();
    EXPECT_TRUE(fake.drawn.empty());
    EXPECT_EQ(fake.frames_ended, 0);
    EXPECT_TRUE(fake.queue.empty());
    EXPECT_EQ(bindings[clutch_binding].value, 0);
    EXPECT_EQ(loading_previous_text(), "");
}

TEST_F(loading_fixture, MaxGapAndPreviousText) {
    std::string long_text(100, 'q');
    show_loading_message(long_text.c_str());
    EXPECT_EQ(loading_previous_text(), std::string(79, 'q'));
    fake.clock += 0.5;
    show_loading_message("second");
    EXPECT_DOUBLE_EQ(loading_max_gap, 0.5);
    EXPECT_EQ(loading_max_gap_text, std::string(79, 'q'));
    fake.clock += 0.25;  // a shorter gap changes nothing
    show_loading_message("third");
    EXPECT_DOUBLE_EQ(loading_max_gap, 0.5);
    fake.clock += 2;
    show_loading_message("fourth");
    EXPECT_DOUBLE_EQ(loading_max_gap, 2);
    EXPECT_EQ(loading_max_gap_text, "third");
    // Messages that are not drawn are not timed.
    fake.drawable = false;
    fake.clock += 10;
    show_loading_message("unseen");
    EXPECT_DOUBLE_EQ(loading_max_gap, 2);
    EXPECT_EQ(loading_previous_text(), "fourth");
}

TEST_F(loading_fixture, StepTicksAreThrottledAndCountDots) {
    loading_step_begin("Analyzing lines");
    fake.drawn.clear();
    loading_step_tick("Analyzing lines");  // the first tick always shows
    fake.clock += 0.1;
    loading_step_tick("Analyzing lines");  // too soon
    fake.clock += 0.03;
    loading_step_tick("Analyzing lines");
    for (int i = 0; i < 3; i++) {
        fake.clock += 0.125;
        loading_step_tick("Analyzing lines");
    }
    std::vector<std::string> want = {"title:Analyzing lines", "title:Analyzing lines.",
                                     "title:Analyzing lines..", "title:Analyzing lines...",
                                     "title:Analyzing lines"};
    EXPECT_EQ(fake.drawn, want);

    // A new step restarts the dots; long texts keep 64 characters.
    std::string long_text(90, 'x');
    loading_step_begin(long_text.c_str());
    fake.drawn.clear();
    loading_step_tick(long_text.c_str());
    loading_step_done(long_text.c_str());
    ASSERT_EQ(fake.drawn.size(), 2u);
    EXPECT_EQ(fake.drawn[0], "title:" + std::string(64, 'x'));
    EXPECT_EQ(fake.drawn[1], "title:" + std::string(64, 'x') + "...done");
}

TEST_F(loading_fixture, IndicatorRedrawsAtMostSixteenTimesASecond) {
    for (int i = 0; i < 10; i++) {
        loading_tick();
        fake.clock += 0.02;
    }
    EXPECT_EQ(loading_tick_count(), 10u);
    // Drawn at calls 1, 5 and 9 (0.0625 s apart at 0.02 s per call).
    std::vector<std::string> want = {"indicator:1", "indicator:5", "indicator:9"};
    EXPECT_EQ(fake.drawn, want);
}

TEST_F(loading_fixture, LoggedMessagesGoToTheLog) {
    temp_dir dir;
    log_printf(nullptr);
    setenv("PLIX_LOGFILE", dir.file("log.txt").c_str(), 1);
    loading_message_logged("Closing audio");
    loading_message_logged("");
    loading_step_begin("Resetting...");
    loading_step_tick("quiet");
    loading_step_done("quiet");
    log_printf(nullptr);
    unsetenv("PLIX_LOGFILE");
    std::string log = strip_log_prefixes(read_file(dir.file("log.txt")));
    EXPECT_NE(log.find("PLIX 0.31\nClosing audio\nResetting...\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("quiet"), std::string::npos);
}

}  // namespace
