// Track cameras: the file and its gate lines, switching by the rider's
// progress, and the camera aim.
#include <cmath>
#include <numbers>

#include "objects_fixture.h"
#include "track/objects_cameras.h"

namespace {

constexpr double pi = std::numbers::pi;
constexpr double dt = 1.0 / 128;

struct cameras : objects_test {
    void load(const std::string& text) {
        put_track("cameras", text);
        load_cameras(track_file("cameras").c_str());
    }
};

TEST_F(cameras, FileAndGateLines) {
    load("gate 1 2\n"
         "fov -45\n"
         "autofovsize 20\n"
         "addcamera 10 5 20\n"
         "  gate\t3 300 4\n"        // 300 ends the list: 4 is not bound
         "gates 7\n"               // not a gate line
         "addcamera 1 2\n"         // not all three: ignored
         "gate 5 x 6\n"
         "addcamera 30 0 40\n"
         "gate\n"
         "fov 30\n");              // after the last camera: no effect
    const std::vector<track_camera>& list = track_cameras();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].fov, 45);
    EXPECT_EQ(list[0].autofovsize, 20);
    EXPECT_NEAR(list[0].position[1], 15, 1e-3);  // 5 above the ground at height 10
    EXPECT_EQ(list[1].fov, 90);  // pending values reset after each camera
    EXPECT_EQ(list[1].autofovsize, 0);
    const std::array<int, 256>& g = gate_cameras();
    EXPECT_EQ(g[1], 0);
    EXPECT_EQ(g[2], 0);
    EXPECT_EQ(g[3], 1);
    EXPECT_EQ(g[4], -1);
    EXPECT_EQ(g[5], 1);
    EXPECT_EQ(g[6], -1);
    EXPECT_EQ(g[7], -1);
    // A missing file leaves none.
    load_cameras(track_file("nothing").c_str());
    EXPECT_TRUE(track_cameras().empty());
    EXPECT_EQ(gate_cameras()[1], -1);
}

TEST_F(cameras, WrittenFileReadsBack) {
    std::vector<camera_placement> c(2);
    c[0] = {10.5f, 12, 20, 40, 25, {0, 1, 2}};
    c[1] = {100, 8, 60, 90, 0, {3, 100004}};  // a marked gate number is not a gate here
    load(encode_cameras(c));
    ASSERT_EQ(track_cameras().size(), 2u);
    EXPECT_EQ(track_cameras()[0].fov, 40);
    EXPECT_EQ(track_cameras()[0].autofovsize, 25);
    EXPECT_EQ(track_cameras()[1].position[0], 100);
    EXPECT_EQ(gate_cameras()[2], 0);
    EXPECT_EQ(gate_cameras()[3], 1);
}

TEST_F(cameras, SwitchingFollowsTheGateTheRiderHeadsFor) {
    static std::vector<int> first = {0, 1, 2}, normal = {3, 100004, 0};
    static int passed = 0;
    object_race.lap_lists = [](const std::vector<int>*& f, const std::vector<int>*& n, int& g) {
        f = &first, n = &normal, g = 5;
        return true;
    };
    object_race.gates_passed = [](int) { return passed; };
    load("gate 0 1\naddcamera 1 1 1\ngate 4\naddcamera 2 2 2\n");
    EXPECT_TRUE(has_camera_switches());
    passed = 1;
    EXPECT_EQ(camera_for_rider(0), 0);
    passed = 2;
    EXPECT_EQ(camera_for_rider(0), -1);
    passed = 4;  // normal lap entry 1: gate 4 with its mark
    EXPECT_EQ(camera_for_rider(0), 1);
    passed = 3 + 3 * 7 + 2;  // entry 2: gate 0
    EXPECT_EQ(camera_for_rider(0), 0);
    object_race = {};
    EXPECT_FALSE(has_camera_switches());
    EXPECT_EQ(camera_for_rider(0), -1);
}

TEST(aim_camera_test, TurningRateChangesByAtMostPiPerSecond) {
    track_camera c;
    control_values full{};
    full[steer_control] = 1;
    std::array<double, 3> still{};
    double last = 0;
    for (int t = 0; t < 200; t++) {
        aim_camera(c, nullptr, still, full, false, false);
        EXPECT_LE(std::fabs(c.yaw_rate - last), pi * dt + 1e-12);
        last = c.yaw_rate;
        EXPECT_GE(c.yaw, -pi);
        EXPECT_LE(c.yaw, pi);
    }
    // It settles on 3 pi / 8 per second of full steer.
    EXPECT_NEAR(c.yaw_rate, 1.1780972, 1e-9);
    control_values up{};
    up[shift_control] = 1;
    for (int t = 0; t < 2000; t++) aim_camera(c, nullptr, still, up, false, false);
    EXPECT_NEAR(c.pitch, pi / 2, 1e-12);  // held at straight up
}

TEST(aim_camera_test, FollowsTheRiderAndSnapsOntoIt) {
    track_camera c;
    c.position = {0, 10, 0};
    c.autofovsize = 20;
    std::array<double, 3> rider = {30, 10, 40}, v = {0, 0, -20};
    control_values none{};
    aim_camera(c, &rider, v, none, true, true);
    EXPECT_NEAR(c.yaw, std::atan2(30.0, 40.0) + c.yaw_rate * dt, 1e-9);
    EXPECT_NEAR(c.pitch, 0, 1e-9);
    EXPECT_NEAR(c.fov, std::atan2(20.0, 50.0) * 114.59155902616465, 1e-9);
    // Without snapping it turns towards a rider that jumped aside, at a
    // rate that grows by no more than pi per second each second.
    rider = {-30, 10, 40};
    double last = c.yaw_rate;
    for (int t = 0; t < 1500; t++) {
        aim_camera(c, &rider, std::array<double, 3>{}, none, false, true);
        EXPECT_LE(std::fabs(c.yaw_rate - last), pi * dt + 1e-12);
        last = c.yaw_rate;
    }
    EXPECT_NEAR(c.yaw, std::atan2(-30.0, 40.0), 1e-3);
    // The field of view eases towards the fit.
    c.fov = 90;
    aim_camera(c, &rider, std::array<double, 3>{}, none, false, true);
    double fit = std::atan2(20.0, 50.0) * 114.59155902616465;
    EXPECT_LT(c.fov, 90);
    EXPECT_GT(c.fov, fit);
    // A target that is not a place leaves the controls in charge.
    track_camera d = c;
    std::array<double, 3> bad = {NAN, 0, 0};
    aim_camera(d, &bad, v, none, false, true);
    EXPECT_TRUE(std::isfinite(d.yaw) && std::isfinite(d.pitch) && std::isfinite(d.fov));
}

TEST_F(cameras, HookAimsTheChosenCameraOrTheFreeOne) {
    load("addcamera 0 0 0\n");
    std::array<double, 3> target = {10, 10, 10}, still{};
    track_camera free_camera;
    free_camera.position = {0, 10, 20};
    control_values none{};
    aim_chosen_camera(0, free_camera, &target, still, none, true, true);
    EXPECT_NEAR(track_cameras()[0].yaw, pi / 4, 0.05);
    EXPECT_EQ(free_camera.yaw, 0);
    // A camera number this track does not have means the free camera.
    aim_chosen_camera(5, free_camera, &target, still, none, true, true);
    EXPECT_NEAR(free_camera.yaw, std::atan2(10.0, -10.0), 0.05);
    EXPECT_EQ(track_cameras().size(), 1u);
}

}  // namespace
