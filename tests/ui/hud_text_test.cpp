// The HUD's information lines, message lines and gauge arithmetic.
#include <gtest/gtest.h>

#include <cmath>

#include "core/clock.h"
#include "core/diag.h"
#include "ui/hud.h"

namespace {

struct message_fixture : ::testing::Test {
    int saved_lines = message_lines;
    double saved_clock = total_clock;
    void SetUp() override {
        clear_message_history();
        messages.hide_spam = false;
        message_lines = 5;
        total_clock = 100;
    }
    void TearDown() override {
        message_lines = saved_lines;
        total_clock = saved_clock;
        messages.hide_spam = false;
        clear_message_history();
    }
};

}  // namespace

TEST_F(message_fixture, FiveLinesThenOneHiddenAfterTwoSecondsThenEveryFive) {
    for (int i = 0; i < 5; i++) show_messagef("line %d", i);
    std::vector<std::string> shown = visible_messages();
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown.front(), "line 0");  // oldest first
    EXPECT_EQ(shown.back(), "line 4");

    expire_messages(101.9);
    EXPECT_EQ(visible_messages().size(), 5u);
    expire_messages(102.01);
    shown = visible_messages();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown.front(), "line 1");
    expire_messages(106.9);
    EXPECT_EQ(visible_messages().size(), 4u);
    expire_messages(107.02);
    EXPECT_EQ(visible_messages().size(), 3u);
    expire_messages(112.03);
    EXPECT_EQ(visible_messages().size(), 2u);

    // A sixth message makes one more line visible again.
    show_message("line 5");
    shown = visible_messages();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown.back(), "line 5");
}

TEST_F(message_fixture, ShownCountIsClampedWhereTheRingIsRead) {
    message_lines = 100000;
    for (int i = 0; i < 1200; i++) show_messagef("m%d", i);
    std::vector<std::string> shown = visible_messages();
    ASSERT_EQ(shown.size(), 1000u);
    EXPECT_EQ(shown.front(), "m200");
    EXPECT_EQ(shown.back(), "m1199");

    // A count beyond the ring (or below 0) never reads outside it.
    messages.shown = 5000;
    EXPECT_EQ(visible_messages().size(), 1000u);
    messages.shown = -7;
    EXPECT_TRUE(visible_messages().empty());
    message_lines = -3;
    messages.shown = 4;
    EXPECT_TRUE(visible_messages().empty());
}

TEST_F(message_fixture, SpamIsNotShownWhileHidden) {
    messages.hide_spam = true;
    show_message("[SPAM] noise");
    show_message("kept");
    std::vector<std::string> shown = visible_messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "kept");
}

TEST(hud_text, InformationLinesInOrderWhenEnabled) {
    information_inputs in;
    EXPECT_TRUE(information_lines(in).empty());
    in.draw_fps = in.draw_time = in.draw_ping = in.draw_speed = true;
    in.frame_time = 1 / 59.8;
    in.race_seconds = 83.46;
    in.ping_known = true;
    in.round_trip_tics = 16;
    in.clock_lead_tics = -3;
    in.speed_known = true;
    in.frame_speed = 44;
    in.dabbing = true;
    std::vector<std::string> lines = information_lines(in);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "FPS - 60");
    EXPECT_EQ(lines[1], "Time - 1:23.4 ");
    EXPECT_EQ(lines[2], "Ping - 125ms (-23ms offset)");
    EXPECT_EQ(lines[3], "Speed - 30.00");
    EXPECT_EQ(lines[4], "Dabbing!");

    // Before the gate drop the time stays at 0; no ping without a measure.
    in.race_seconds = -4;
    in.ping_known = false;
    lines = information_lines(in);
    EXPECT_EQ(lines[1], "Time - 0:00.0 ");
    EXPECT_EQ(lines[2], "Speed - 30.00");

    information_inputs stats;
    stats.render_stats = true;
    stats.stats.ground_polygons.add(1200);
    stats.stats.ground_polygons.end_frame();
    stats.stats.ground_polygons.add(800);
    stats.stats.reshades_pending = 3;
    lines = information_lines(stats);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "Ground polygons - 800 max=1200");
    EXPECT_EQ(lines[5], "Shader Changes - 0 max=0");
    EXPECT_EQ(lines[7], "Reshades pending - 3");
    EXPECT_EQ(lines[8], "Erode buffered - 0");
}

TEST(hud_text, RaceLengthTexts) {
    EXPECT_EQ(race_length_text(0, 5), "5 laps");
    EXPECT_EQ(race_length_text(10 * 60 * 128, 0), "10 minutes");
    EXPECT_EQ(race_length_text(10 * 60 * 128, 2), "10 minutes + 2 laps");
    EXPECT_EQ(race_length_text(90 * 128, 1), "2 minutes + 1 laps");  // 1.5 minutes round up
}

TEST(hud_text, GaugeArithmetic) {
    EXPECT_DOUBLE_EQ(tachometer_angle(0), -135);
    EXPECT_DOUBLE_EQ(tachometer_angle(16000), 135);
    EXPECT_DOUBLE_EQ(tachometer_angle(8000), 0);
    EXPECT_EQ(gear_cell(0), (std::array<int, 2>{0, 0}));
    EXPECT_EQ(gear_cell(4), (std::array<int, 2>{1, 1}));
    EXPECT_EQ(gear_cell(8), (std::array<int, 2>{2, 2}));
    EXPECT_EQ(gear_cell(10), (std::array<int, 2>{1, 0}));
    EXPECT_EQ(gear_cell(-2), (std::array<int, 2>{0, 0}));

    // Lean is measured from the ground normal, about the bike's heading.
    const double forward[3] = {0, 0, -1};
    const float flat[3] = {0, 1, 0};
    const double upright[3] = {0, 1, 0};
    EXPECT_NEAR(bike_lean(upright, forward, flat), 0, 1e-12);
    const double a = 0.5;
    const double right[3] = {std::sin(a), std::cos(a), 0};
    EXPECT_NEAR(bike_lean(right, forward, flat), a, 1e-12);
    const double left[3] = {-std::sin(a), std::cos(a), 0};
    EXPECT_NEAR(bike_lean(left, forward, flat), -a, 1e-12);
    // On a side slope tilted by a, an upright bike leans by -a against it;
    // a normal that is not unit length changes nothing.
    const float slope[3] = {(float)(2 * std::sin(a)), (float)(2 * std::cos(a)), 0};
    EXPECT_NEAR(bike_lean(upright, forward, slope), -a, 1e-6);
}
