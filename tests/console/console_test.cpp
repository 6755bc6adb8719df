// The console through console_submit: which lines are handled, the replies
// they leave in the message list, and what they change.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/keycam.h"
#include "console/telemetry_points.h"
#include "core/bike_setup.h"
#include "core/clock.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/text.h"
#include "render/frame_draw.h"
#include "render/frame_order.h"
#include "track/objects_cameras.h"
#include "track/track.h"
#include "race/race.h"
#include "testkit/testkit.h"
#include "vfs/vfs.h"

namespace {

// The replies since the list was last cleared, oldest first.
std::vector<std::string> replies() {
    std::vector<std::string> out;
    for (int age = 0; age < message_history_lines; age++) {
        const char* line = message_line(age);
        if (!*line) break;
        out.insert(out.begin(), line);
    }
    return out;
}

struct console_fixture : ::testing::Test {
    vfs_sandbox sandbox;
    void SetUp() override {
        config_defaults();
        console_init();
        clear_message_history();
        total_clock = 0;
        race.tic = 0;
        race.viewed_slot = 0;
    }
    void TearDown() override {
        console_free();
        console_parts = console_driver{};
        vfs_shutdown();
    }
    // Runs a line and returns its replies.
    std::vector<std::string> run(const std::string& line, bool expect_handled = true) {
        clear_message_history();
        EXPECT_EQ(console_submit(line), expect_handled) << line;
        return replies();
    }
};

struct line_case {
    const char* line;
    bool handled;
    std::vector<std::string> replies;
};

TEST_F(console_fixture, lines_match_their_commands_and_reply) {
    const line_case cases[] = {
        {"/togglespy extra", false, {}},
        {"/togglespy", true, {"Spy mode ON"}},
        {"/togglespy", true, {"Spy mode OFF"}},
        {"\\togglefps", true, {"FPS display ON"}},
        {"/bbopt5", true, {"Billboard optimization window is now 5"}},
        {"/bboptX5", true, {"Billboard optimization window is now 5"}},
        {"/bbopt 12", true, {"Billboard optimization window is now 12"}},
        {"/ log e 5", true, {"Logging 0x1, spacing 5.000000", "Telemetry points come from the wheels' track digging: start with \"--erode\" to collect them"}},
        {"/log", true, {"Logging 0x0, spacing 10.000000"}},
        {"/logx", false, {}},
        {"/log e 0", true, {"Logging 0x1, spacing 10.000000 (a spacing must be above 0)", "Telemetry points come from the wheels' track digging: start with \"--erode\" to collect them"}},
        {"/log e -3", true, {"Logging 0x1, spacing 10.000000 (a spacing must be above 0)", "Telemetry points come from the wheels' track digging: start with \"--erode\" to collect them"}},
        {"/mapscale 20", true, {"Map scale set to 8.000000"}},
        {"/  mapscale 0.01 more", true, {"Map scale set to 0.125000"}},
        {"/mapscale20", false, {}},
        {"/messagelines 7", true, {"Maximum showing messages is now 7"}},
        {"/demobackups 3", true, {"Now keeping 3 demo backups"}},
        {"/reportstutter 0.25", true, {"Stutter threshold set to 0.250000"}},
        {"/fov 500", true, {"fov set"}},
        {"/fov wide", true, {"Usage: fov <degrees>"}},
        {"/randdump", true, {}},
        {"/renderstats", true, {}},
        {"/togglegraph", true, {"Suspension graph ON"}},
        {"/togglespam", true, {"Hide spam ON"}},
        {"/togglekeycam", true, {"Keycam mode ON"}},
        {"/forcereload", true, {"Track will be reloaded on next restart"}},
        {"/namedemo run1", true, {"Not currently recording a demo"}},
        {"/sendfile x", true, {"Not connected to server"}},
        {"/clearkeys", true, {"Keyframes cleared"}},
        {"/writekeys   ", true, {"Error saving camera keys"}},
        {"/readkeys none", true, {"Error reading camera keys"}},
        {"/readsetup", true, {"Error reading setup"}},
        // Without a bike in the viewed slot these are not taken.
        {"/camangle 10 20", false, {}},
        {"/pipe 1 2 3 4 5", false, {}},
        {"/nosuchcommand", false, {}},
        {"/", false, {}},
    };
    for (const line_case& c : cases) EXPECT_EQ(run(c.line, c.handled), c.replies) << c.line;
    EXPECT_EQ(settings.spy, 0);
    EXPECT_EQ(settings.draw_fps, 1);
    EXPECT_EQ(settings.billboard_optimize_lookahead, 12);
    EXPECT_EQ(settings.map_scale, 0.125);
    EXPECT_EQ(settings.fov, 170);
    EXPECT_EQ(settings.demo_backups, 3);
    EXPECT_EQ(message_lines, 7);
    EXPECT_EQ(stutter_threshold, 0.25);
    EXPECT_TRUE(track_reload_requested());
    EXPECT_TRUE(keycam_mode);
    EXPECT_TRUE(messages.hide_spam);
    messages.hide_spam = false;
    reset_stutter_report();
}

TEST_F(console_fixture, lines_longer_than_the_buffer_are_cut) {
    std::string command = "/" + std::string(5000, 'a');
    EXPECT_TRUE(run(command, false).empty());
    // The cut line is still an ordinary command when its name fits.
    std::string spaced = "/mapscale 2" + std::string(console_line_limit, ' ') + "junk";
    EXPECT_EQ(run(spaced), std::vector<std::string>{"Map scale set to 2.000000"});
    EXPECT_EQ(run(std::string(5000, 'x')), std::vector<std::string>{"Not connected to server"});
}

TEST_F(console_fixture, fpshist_prints_and_clears_the_histogram) {
    static std::array<int, 8> histogram;
    histogram = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(run("/fpshist"), std::vector<std::string>{"The frame-time histogram is not available here"});
    console_parts.frame_histogram = [] { return &histogram; };
    EXPECT_EQ(run("/fpshist"), std::vector<std::string>{"128=1 64=2 32=3 16=4 8=5 4=6 2=7 1=8 "});
    EXPECT_EQ(run("/fpshist"), std::vector<std::string>{"128=0 64=0 32=0 16=0 8=0 4=0 2=0 1=0 "});
}

TEST_F(console_fixture, chat_is_refused_within_two_seconds_of_the_last) {
    struct step {
        double clock;
        bool handled;
        const char* reply;
    };
    // The very first chat at the start of the run is not a flood.
    const step steps[] = {
        {0.0, true, "Not connected to server"},   {1.5, false, "No one likes a spammer"},
        {2.0, false, "No one likes a spammer"},   {2.01, true, "Not connected to server"},
        {3.0, false, "No one likes a spammer"},   {10.0, true, "Not connected to server"},
    };
    for (const step& s : steps) {
        total_clock = s.clock;
        EXPECT_EQ(run("hello", s.handled), std::vector<std::string>{s.reply}) << s.clock;
    }
}

TEST_F(console_fixture, setups_are_written_and_read_back) {
    player_setup.roll_damping = 33;
    player_setup.name = "Setup Rider";
    EXPECT_EQ(run("/writesetup  mine "), std::vector<std::string>{"Setup written"});
    EXPECT_TRUE(path_exists(sandbox.root0() + "setups/mine"));
    player_setup.roll_damping = 50;
    player_setup.name = "Someone";
    EXPECT_EQ(run("/readsetup mine"), std::vector<std::string>{"Setup updated"});
    EXPECT_EQ(player_setup.roll_damping, 33);
    EXPECT_EQ(player_setup.name, "Setup Rider");
    EXPECT_EQ(run("/readsetup other"), std::vector<std::string>{"Error reading setup"});
    EXPECT_EQ(run("/writesetup"), std::vector<std::string>{"Error writing setup"});
}

TEST_F(console_fixture, listfiles_filters_without_regard_to_case) {
    write_file(sandbox.root1() + "Tracks/Alpha/terrain.hf", "x");
    write_file(sandbox.root1() + "other.txt", "x");
    std::vector<std::string> lines = run("/listfiles TERRAIN");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(" -> "), std::string::npos);
    EXPECT_NE(lines[0].find("terrain.hf"), std::string::npos);
    EXPECT_GE(run("/listfiles").size(), 2u);
}

// ---- telemetry points ----------------------------------------------------------------------

TEST_F(console_fixture, telemetry_points_keep_their_spacing_and_stop_at_the_cap) {
    EXPECT_FALSE(offer_telemetry_point({0, 0, 0}, "a\n", "b\n"));  // logging off
    run("/log e 1");
    EXPECT_TRUE(offer_telemetry_point({0, 0, 0}, "grip 1\n", "grip 2\n"));
    EXPECT_FALSE(offer_telemetry_point({0.5f, 0, 0.5f}, "", ""));
    EXPECT_TRUE(offer_telemetry_point({0, 2, 0}, "", ""));
    ASSERT_EQ(telemetry_points.points.size(), 2u);
    EXPECT_EQ(telemetry_points.points[0].text, "front:\ngrip 1\nrear:\ngrip 2\n");
    std::string huge(5000, 'r');
    EXPECT_TRUE(offer_telemetry_point({0, 10, 0}, huge.c_str(), ""));
    EXPECT_EQ(telemetry_points.points.back().text.size(), telemetry_text_limit);

    clear_message_history();
    for (size_t i = telemetry_points.points.size(); i < telemetry_point_limit + 10; i++)
        offer_telemetry_point({(float)i * 2, 0, 0}, "", "");
    EXPECT_EQ(telemetry_points.points.size(), telemetry_point_limit);
    EXPECT_EQ(replies().size(), 1u);
    run("/clearlog");
    EXPECT_TRUE(telemetry_points.points.empty());
    EXPECT_TRUE(offer_telemetry_point({0, 0, 0}, "", ""));
}

// The points as a view shows them: only those over 2 feet ahead, farthest
// first, placed by the camera whichever way it faces.
TEST_F(console_fixture, telemetry_points_show_ahead_of_the_camera_farthest_first) {
    run("/log e 0.5");
    frustum_extents f{1, 0.75};
    struct view {
        std::array<double, 3> eye, target;
    } views[] = {{{0, 0, 0}, {0, 0, -10}}, {{100, 5, 40}, {120, 5, 40}}, {{-30, 2, 7}, {-30, 2, 30}}};
    for (const view& v : views) {
        clear_telemetry_points();
        frame_camera cam = look_at_camera(v.eye, v.target);
        std::array<double, 3> ahead{v.target[0] - v.eye[0], v.target[1] - v.eye[1], v.target[2] - v.eye[2]};
        double n = std::sqrt(ahead[0] * ahead[0] + ahead[1] * ahead[1] + ahead[2] * ahead[2]);
        for (double& a : ahead) a /= n;
        auto at = [&](double d, double up) {
            return std::array<float, 3>{(float)(v.eye[0] + ahead[0] * d), (float)(v.eye[1] + ahead[1] * d + up),
                                        (float)(v.eye[2] + ahead[2] * d)};
        };
        ASSERT_TRUE(offer_telemetry_point(at(10, 0), "", ""));    // 0: straight ahead
        ASSERT_TRUE(offer_telemetry_point(at(1.5, 0), "", ""));   // 1: too near
        ASSERT_TRUE(offer_telemetry_point(at(-8, 0), "", ""));    // 2: behind
        ASSERT_TRUE(offer_telemetry_point(at(40, 10), "", ""));   // 3: farther, above the centre
        std::vector<telemetry_mark> marks = telemetry_marks(cam, f, 4.0f / 3);
        ASSERT_EQ(marks.size(), 2u);
        EXPECT_EQ(marks[0].index, 3);
        EXPECT_EQ(marks[1].index, 0);
        EXPECT_NEAR(marks[1].x, 0, 1e-4);
        EXPECT_NEAR(marks[1].y, 0, 1e-4);
        EXPECT_NEAR(marks[0].x, 0, 1e-4);
        EXPECT_NEAR(marks[0].y, 10.0 / 40 / 0.75, 1e-3);
    }
}

// ---- key frames ---------------------------------------------------------------------------

key_frame frame(float x, float y, float z, int tic, float fov = 90, std::array<float, 4> q = {0, 0, 0, 1}) {
    key_frame k;
    k.position = {x, y, z};
    k.rotation = q;
    k.fov = fov;
    k.tic = tic;
    return k;
}

TEST_F(console_fixture, the_spline_meets_each_key_at_its_tic_and_clamps_at_the_ends) {
    const key_frame keys[] = {
        frame(0, 5, 0, 10, 60, yaw_pitch_quaternion(0.0, 0.1)),
        frame(40, 9, -10, 30, 90, yaw_pitch_quaternion(0.8, -0.2)),
        frame(55, 7, 30, 70, 100, yaw_pitch_quaternion(2.0, 0.3)),
        frame(60, 20, 33, 80, 70, yaw_pitch_quaternion(-2.9, 0.0)),
    };
    // Given out of order: each goes in before the first later one.
    for (int i : {2, 0, 3, 1}) insert_key_frame(keys[i]);
    ASSERT_EQ(key_frames().size(), 4u);
    for (size_t i = 0; i < 4; i++) EXPECT_EQ(key_frames()[i].tic, keys[i].tic);

    auto expect_near = [](const key_frame& got, const key_frame& want, int tic) {
        for (size_t c = 0; c < 3; c++) EXPECT_NEAR(got.position[c], want.position[c], 1e-4) << tic;
        double dot = 0;
        for (size_t c = 0; c < 4; c++) dot += (double)got.rotation[c] * want.rotation[c];
        EXPECT_NEAR(std::fabs(dot), 1.0, 1e-5) << tic;
        EXPECT_NEAR(got.fov, want.fov, 1e-4) << tic;
    };
    key_frame k;
    for (const key_frame& want : keys) {
        ASSERT_TRUE(key_frame_at(want.tic, k));
        expect_near(k, want, want.tic);
    }
    ASSERT_TRUE(key_frame_at(-100, k));
    expect_near(k, keys[0], -100);
    ASSERT_TRUE(key_frame_at(1000, k));
    expect_near(k, keys[3], 1000);

    // Between keys: the fov is linear, the path continuous and the turn a unit quaternion.
    ASSERT_TRUE(key_frame_at(50, k));
    EXPECT_NEAR(k.fov, 95, 1e-4);
    key_frame before, after;
    key_frame_at(29, before);
    key_frame_at(31, after);
    EXPECT_LT(std::hypot(after.position[0] - before.position[0], after.position[2] - before.position[2]), 5);
    double len = 0;
    for (float v : k.rotation) len += (double)v * v;
    EXPECT_NEAR(len, 1, 1e-5);
}

TEST_F(console_fixture, quaternion_signs_follow_the_next_key) {
    std::array<float, 4> q = yaw_pitch_quaternion(0.5, 0.2);
    std::array<float, 4> r = yaw_pitch_quaternion(0.6, 0.2);
    for (float& v : r) v = -v;  // the same turn written with the other sign
    insert_key_frame(frame(0, 0, 0, 0, 90, q));
    insert_key_frame(frame(0, 0, 0, 100, 90, r));
    for (int tic : {25, 50, 75}) {
        key_frame k;
        ASSERT_TRUE(key_frame_at(tic, k));
        double dot = 0;
        for (size_t c = 0; c < 4; c++) dot += (double)k.rotation[c] * r[c];
        // Without the fix-up the blend passes through a half-turn.
        EXPECT_GT(dot, 0.99) << tic;
    }
}

TEST_F(console_fixture, deletekey_takes_the_nearer_frame) {
    struct delete_case {
        std::vector<int> tics;
        int at;
        std::vector<int> left;
    };
    const delete_case cases[] = {
        {{10}, 50, {}},
        {{10, 20, 30}, 5, {20, 30}},
        {{10, 20, 30}, 35, {10, 20}},
        {{10, 20, 30}, 14, {20, 30}},
        {{10, 20, 30}, 15, {20, 30}},  // a tie takes the earlier
        {{10, 20, 30}, 17, {10, 30}},
        {{10, 20, 30}, 20, {10, 30}},
    };
    for (const delete_case& c : cases) {
        key_frames().clear();
        for (int t : c.tics) insert_key_frame(frame(0, 0, 0, t));
        race.tic = c.at;
        EXPECT_EQ(run("/deletekey"), std::vector<std::string>{"Keyframe deleted"});
        std::vector<int> left;
        for (const key_frame& k : key_frames()) left.push_back(k.tic);
        EXPECT_EQ(left, c.left) << c.at;
    }
    run("/rmkey");
    EXPECT_EQ(key_frames().size(), 1u);
}

TEST_F(console_fixture, an_added_key_shows_what_the_free_camera_showed) {
    track_camera& cam = free_flight_camera();
    cam.position = {12, 34, -56};
    cam.yaw = 2.2;
    cam.pitch = -0.4;
    settings.fov = 75;
    race.tic = 300;
    EXPECT_EQ(run("/addkey"), std::vector<std::string>{"Keyframe added"});
    frame_camera seen;
    EXPECT_FALSE(keycam_camera(300, seen));  // keycam mode is off
    run("/togglekeycam");
    ASSERT_TRUE(keycam_camera(300, seen));
    frame_camera want = yaw_pitch_camera(cam.position, cam.yaw, cam.pitch);
    for (size_t i = 0; i < 9; i++) EXPECT_NEAR(seen.orientation[i], want.orientation[i], 1e-5) << i;
    EXPECT_NEAR(seen.position[1], 34, 1e-4);
    EXPECT_EQ(seen.fov, 75);
    const key_frame& k = key_frames()[0];
    EXPECT_EQ(run("/listkeys"), std::vector<std::string>{format_string(
                                    "pos = { 12.00, 34.00, -56.00 }, rot = { %.2f, %.2f, %.2f, %.2f }, time = 2.34",
                                    (double)k.rotation[0], (double)k.rotation[1], (double)k.rotation[2],
                                    (double)k.rotation[3])});
}

TEST_F(console_fixture, camera_keys_are_written_and_read_back) {
    insert_key_frame(frame(1.5f, 2.25f, -3, 10, 80, yaw_pitch_quaternion(0.3, 0.1)));
    insert_key_frame(frame(4, 5, 6, 200, 65.5f));
    std::vector<key_frame> saved = key_frames();
    EXPECT_EQ(run("/writekeys  flyby "), std::vector<std::string>{"Camera keys saved"});
    std::string text = read_file(sandbox.root0() + "keycam/flyby");
    EXPECT_EQ(text.substr(0, text.find('\n')), "1.5000 2.2500 -3.0000 " +
                                                    format_string("%.4f %.4f %.4f %.4f", (double)saved[0].rotation[0],
                                                                  (double)saved[0].rotation[1],
                                                                  (double)saved[0].rotation[2],
                                                                  (double)saved[0].rotation[3]) +
                                                    " 80.00 10");
    key_frames().clear();
    EXPECT_EQ(run("/readkeys flyby"), std::vector<std::string>{"Camera keys updated"});
    ASSERT_EQ(key_frames().size(), 2u);
    for (size_t i = 0; i < 2; i++) {
        EXPECT_EQ(key_frames()[i].tic, saved[i].tic);
        EXPECT_NEAR(key_frames()[i].fov, saved[i].fov, 0.005);
        for (size_t c = 0; c < 3; c++) EXPECT_NEAR(key_frames()[i].position[c], saved[i].position[c], 1e-4);
        for (size_t c = 0; c < 4; c++) EXPECT_NEAR(key_frames()[i].rotation[c], saved[i].rotation[c], 1e-4);
    }

    struct file_case {
        const char* text;
        const char* reply;
        std::vector<int> tics;
    };
    const file_case files[] = {
        // Out of order in the file, sorted after reading.
        {"0 0 0 0 0 0 1 90 50\n0 0 0 0 0 0 1 90 20\n", "Camera keys updated", {20, 50}},
        // The bad line ends the reading; the lines before it stay.
        {"0 0 0 0 0 0 1 90 30\n0 0 0 0 0 1 90 40\n0 0 0 0 0 0 1 90 50\n", "Error reading camera keys", {30}},
        {"0 0 0 0 0 0 1 nan 30\n", "Error reading camera keys", {}},
        {"", "Camera keys updated", {}},
    };
    for (const file_case& f : files) {
        write_file(sandbox.root0() + "keycam/edited", f.text);
        insert_key_frame(frame(0, 0, 0, 999));
        EXPECT_EQ(run("/readkeys edited"), std::vector<std::string>{f.reply}) << f.text;
        std::vector<int> tics;
        for (const key_frame& k : key_frames()) tics.push_back(k.tic);
        EXPECT_EQ(tics, f.tics) << f.text;
    }
    // A file that is not there changes nothing.
    EXPECT_EQ(run("/readkeys missing"), std::vector<std::string>{"Error reading camera keys"});
    EXPECT_EQ(key_frames().size(), 0u);
}

}  // namespace
