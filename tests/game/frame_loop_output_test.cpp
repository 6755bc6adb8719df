#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/cmdline.h"
#include "frame_loop_fixture.h"

namespace {

TEST(screenshot_numbers, OneAfterTheHighestDigitsOnly) {
    const char* none[] = {"config", "demos/a.kvdemo", nullptr};
    EXPECT_EQ(first_screenshot_number(none), 1);
    const char* earlier[] = {"screenshot007.png", "screenshot3.ppm", "screenshot12x", nullptr};
    EXPECT_EQ(first_screenshot_number(earlier), 13);
    // Signs, blanks, a bare prefix, other folders and absurd numbers are not
    // screenshots of ours.
    const char* odd[] = {"screenshot-5.png", "screenshot 9.png", "screenshot+8.png", "screenshot.png",
                         "old/screenshot50.png", "screenshot99999999999999999999.png", "screenshot002.png", nullptr};
    EXPECT_EQ(first_screenshot_number(odd), 3);
}

TEST(command_line, VideoAndOrientationCannotShareStandardOutput) {
    const char* video_first[] = {"quarnix", "--record-video", "--print-orientation"};
    command_line c = parse_command_line(3, video_first);
    EXPECT_EQ(c.action, command_line_action::run);
    EXPECT_TRUE(c.options.record_video);
    EXPECT_FALSE(c.options.print_orientation);
    ASSERT_EQ(c.notices.size(), 1u);
    EXPECT_EQ(c.notices[0], "--print-orientation ignored: --record-video already writes to standard output\n");
    const char* orientation_first[] = {"quarnix", "--print-orientation", "--record-video"};
    c = parse_command_line(3, orientation_first);
    EXPECT_TRUE(c.options.print_orientation);
    EXPECT_FALSE(c.options.record_video);
}

using loop_output = frame_loop_fixture;

TEST_F(loop_output, VideoFramesGoToStandardOutputUnlessPausedOrOnTheTitle) {
    cmdline.record_video = true;
    world.width = world.height = 2;
    world.read_frame = [](int w, int h, std::vector<uint8_t>& rgb) {
        rgb.assign((size_t)w * h * 3, 0);
        rgb[0] = 'T';              // top row
        rgb[rgb.size() - 1] = 'B';  // bottom row
        return true;
    };
    testing::internal::CaptureStdout();
    world.track = false;
    pass();  // the title is not recorded
    world.track = true;
    loop_state.paused = true;
    pass();  // nor a paused ride
    loop_state.paused = false;
    pass();
    std::string out = testing::internal::GetCapturedStdout();
    std::string header = "P6\n2 2\n255\n";
    ASSERT_EQ(out.size(), header.size() + 12) << out;
    EXPECT_EQ(out.substr(0, header.size()), header);
    EXPECT_EQ(out[header.size()], 'T');
    EXPECT_EQ(out.back(), 'B');
}

using chase_view = frame_loop_fixture;

bike_pose pose_at(double x, double y, double z) {
    bike_pose p;
    p.position = {x, y, z};
    p.axes = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    return p;
}

TEST_F(chase_view, CameraSitsBehindTheBikeAndTurnsWithItsMotion) {
    cmdline.chase_center = {0, 2.52, 0.52};
    bike_pose p = pose_at(100, 10, 100);
    chase_camera c = third_person_camera(p, true);
    EXPECT_DOUBLE_EQ(c.target[1], 12.52);
    EXPECT_DOUBLE_EQ(c.eye[0], 100);
    EXPECT_DOUBLE_EQ(c.eye[2], 100.52 + 10);  // behind, toward the rear
    EXPECT_DOUBLE_EQ(c.eye[1], 12.52 + 5);

    // Fast along +x: the camera trails the motion.
    p.velocity = {40, 0, 0};
    c = third_person_camera(p, true);
    EXPECT_NEAR(c.eye[0], 90, 1e-9);
    EXPECT_NEAR(c.eye[2], 100.52, 1e-9);
    // At 20 the two directions mix half and half.
    p.velocity = {20, 0, 0};
    c = third_person_camera(p, true);
    EXPECT_NEAR(c.eye[0] - 100, 10 * -10 / std::hypot(10.0, 0.5), 1e-9);
    // A rigid camera ignores the motion.
    settings.rigid_camera = 1;
    c = third_person_camera(p, true);
    EXPECT_NEAR(c.eye[2], 110.52, 1e-9);

    // Not riding: the orbit.
    loop_state.orbit_yaw = (float)(std::numbers::pi / 2);
    loop_state.orbit_height = 1;
    c = third_person_camera(p, false);
    EXPECT_NEAR(c.eye[0], 110, 1e-5);
    EXPECT_NEAR(c.eye[1], 13.52, 1e-9);
}

TEST_F(chase_view, CameraKeepsAboveTheGroundAroundIt) {
    static float loaded;
    terrain.heights = &loaded;
    terrain.samples_per_side = 64;
    terrain.cell_size = 4;
    // A wall at x >= 128 that is 100 high.
    world.height_sample = [](int i, int) { return i * 4.0 >= 128 ? 100.0 : 0.0; };
    EXPECT_DOUBLE_EQ(ground_average(50, 50, 10), 0);
    EXPECT_DOUBLE_EQ(ground_average(200, 50, 10), 100);
    double edge = ground_average(128, 50, 10);
    EXPECT_GT(edge, 30);
    EXPECT_LT(edge, 70);
    // Far outside the grid no sample weighs in: the clamped corner sample.
    EXPECT_DOUBLE_EQ(ground_average(-500, -500, 10), 0);
    EXPECT_DOUBLE_EQ(ground_average(5000, 50, 10), 100);

    bike_pose p = pose_at(150, 10, 50);
    p.axes[2] = {1, 0, 0};  // rear toward +x, deep by the wall
    chase_camera c = third_person_camera(p, true);
    EXPECT_DOUBLE_EQ(c.eye[1], 105);
}

TEST_F(chase_view, ControlsSteerTheOrbitAndTheFreeCamera) {
    world.viewed_type = 2;  // a robot: not riding
    bindings[left_binding].key_code = 0x114b;
    bindings[throttle_binding].key_code = 0x102d;
    pass();
    loop_state.view_mode = third_person_view;
    key(0x114b, true, world.clock);
    key(0x102d, true, world.clock);
    pass();
    EXPECT_NEAR(loop_state.orbit_yaw, std::numbers::pi / 512, 1e-6);
    EXPECT_FLOAT_EQ(loop_state.orbit_distance, 10 - 1.0f / 64);

    loop_state.view_mode = free_view;
    free_flight_camera().position = {0, 50, 0};
    world.height_at = [](double, double) { return 49.0; };
    pass();
    // Throttle adds 80 and the decay takes 60 per second of tics.
    EXPECT_NEAR(loop_state.free_camera_speed, 20 * tic_length, 1e-5);
    EXPECT_NEAR(free_flight_camera().position[2], 20 * tic_length * tic_length, 1e-9);
    EXPECT_DOUBLE_EQ(free_flight_camera().position[1], 51);  // kept 2 above the ground
}

}  // namespace
