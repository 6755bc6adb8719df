// Robots on the default track with its shipped lines: the start at the
// gate, finite controls whatever the path, and whole races at each skill.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/rider_control.h"
#include "bike/rider_parts.h"
#include "bike/solid_objects.h"
#include "core/config.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "render/model.h"
#include "render/shape_file.h"
#include "render/texture.h"
#include "race/rabbit_hill_fixture.h"
#include "robot/robot.h"
#include "testkit/built_data.h"
#include "testkit/testkit.h"
#include "track/objects_race.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "vfs/vfs.h"

namespace {

// The race tests' Rabbit Hill with the robots' parts wired as the game
// wires them.
struct robot_race : rabbit_hill {
    void SetUp() override {
        rabbit_hill::SetUp();
        race_parts = {};
        fill_robot_parts(race_parts, rider_parts);
        robot_options = {};
    }
    void TearDown() override {
        rabbit_hill::TearDown();
        race_parts = {};
    }
    static race_setup robots(int count, int laps, int skill) {
        race_setup s;
        slot_kind_list list{};
        for (int k = 0; k < count; k++) list[(size_t)k] = slot_kind_robot;
        s.slot_kinds = list;
        s.laps = laps;
        s.skill = skill;
        return s;
    }
};

// 40 points every 5 units along the bike's heading, the bike beside point 25.
std::vector<line_point> path_along_heading(const bike_state& b) {
    double p[3], rot[9];
    get_body_position(b, body_frame, p);
    get_body_rotation(b, body_frame, rot);
    double fx = -rot[2], fz = -rot[8], fl = std::hypot(fx, fz);
    std::vector<line_point> path;
    for (int k = 0; k < 40; k++) {
        double along = (k - 25) * 5.0;
        path.push_back({(float)(p[0] + along * fx / fl), (float)p[1], (float)(p[2] + along * fz / fl), 30, 0});
    }
    return path;
}

bool finite_controls(const bike_controls& c) {
    for (float v : {c.throttle, c.clutch, c.front_brake, c.rear_brake, c.steer, c.sit, c.lean})
        if (!std::isfinite(v)) return false;
    return true;
}

TEST_F(robot_race, StartHoldsBlipsAndLaunchesAfterTheBrainsReaction) {
    ASSERT_TRUE(reset_race(robots(4, 1, 0)));
    ASSERT_NE(bike_in_slot(3), nullptr);
    // Two quick and two slower starters.
    robot(0).brain = robot(1).brain = find_brain("zute");
    robot(2).brain = robot(3).brain = find_brain("ordo");
    std::vector<int> launch(4, -1);
    std::vector<bool> blipped(4, false);
    float G = race.gate_drop_tic / 128.0f;
    while (race.tic < race.gate_drop_tic + 128) {
        simulate_tic();
        for (int s = 0; s < 4; s++) {
            const bike_controls& c = bike_in_slot(s)->controls;
            if (race.tic < 5 * 128 && c.throttle > 0.5f) blipped[(size_t)s] = true;
            if (race.tic < race.gate_drop_tic) {
                EXPECT_EQ(c.clutch, 0) << s;
                EXPECT_EQ(c.front_brake, 1) << s;
            } else if (launch[(size_t)s] < 0 && c.clutch > 0) {
                launch[(size_t)s] = race.tic;
            }
        }
    }
    for (int s = 0; s < 4; s++) {
        EXPECT_TRUE(blipped[(size_t)s]) << s;
        ASSERT_GE(launch[(size_t)s], 0) << s;
        float after = launch[(size_t)s] / 128.0f - G;
        if (s < 2)
            EXPECT_LE(after, 0.1f + 2.0f / 128) << s;
        else
            EXPECT_GE(after, 0.2f) << s;
    }
}

TEST_F(robot_race, ControlsStayFiniteOnDegeneratePaths) {
    ASSERT_TRUE(reset_race(robots(1, 1, 0)));
    bike_state& b = *bike_in_slot(0);
    double p[3];
    get_body_position(b, body_frame, p);
    race.tic = race.gate_drop_tic + 10 * 128;
    robot_state& r = robot(0);
    std::vector<std::vector<line_point>> paths = {
        {},
        {{(float)p[0], (float)p[1], (float)p[2], 0, 0}},
        {{(float)p[0], (float)p[1], (float)p[2], 0, 0}, {(float)p[0], (float)p[1], (float)p[2], 0, 0}},
        {{0, 0, 0, -5, 0}, {0, 0, 0, -5, 0}, {0, 0, 0, 0, 0}},
    };
    for (size_t k = 0; k < paths.size(); k++) {
        r.path = paths[k];
        for (int target : {0, 1, 5}) {
            r.target = target;
            r.last_reached_tic = race.tic;
            r.recovery = 0;
            robot_drive(b);
            EXPECT_TRUE(finite_controls(b.controls)) << k << " " << target;
            r.recovery = 3;
            r.last_reached_tic = race.tic - 41 * 128;
            robot_recover(b);
            EXPECT_TRUE(finite_controls(b.controls)) << k << " " << target;
            if (!r.path.empty()) {
                EXPECT_LT(r.target, (int)r.path.size());
            }
            robot_start(b);
            EXPECT_TRUE(finite_controls(b.controls)) << k << " " << target;
        }
    }
}

TEST_F(robot_race, SpeedControlBrakesInProportionAndNotOnALanding) {
    ASSERT_TRUE(reset_race(robots(1, 1, 0)));
    while (race.tic < 128) simulate_tic();
    bike_state& b = *bike_in_slot(0);
    ASSERT_TRUE(wheel_touches(b.rear_contact));
    struct {
        float s, S;
        int since_landing;  // tics; -1: no landing lately
        float throttle, front, rear;
    } cases[] = {
        {10, 20, -1, 1, 0, 0},         // well below: full throttle
        {19.5f, 20, -1, 0.5f, 0, 0},   // just below: part throttle
        {21, 20, -1, 0, 0.25f, 0.175f},  // a little over: a light brake
        {30, 20, -1, 0, 1, 0.7f},      // far over: full front, rear at 0.7
        {30, 20, 10, 0, 0, 0},         // far over, just landed: no brakes yet
        {30, 20, 40, 0, 1, 0.7f},      // and once the landing has settled
    };
    for (const auto& c : cases) {
        b.airborne_tic = race.tic - 200;
        b.landed_tic = c.since_landing < 0 ? race.tic - 1000 : race.tic - c.since_landing;
        if (c.since_landing < 0) b.airborne_tic = b.landed_tic;
        robot_speed_control(b, c.s, c.S);
        EXPECT_NEAR(b.controls.throttle, c.throttle, 1e-5) << c.s << " " << c.since_landing;
        EXPECT_NEAR(b.controls.front_brake, c.front, 1e-5) << c.s << " " << c.since_landing;
        EXPECT_NEAR(b.controls.rear_brake, c.rear, 1e-5) << c.s << " " << c.since_landing;
    }
}

TEST_F(robot_race, LostForFortySecondsHeadsForTheNearestPointAhead) {
    ASSERT_TRUE(reset_race(robots(1, 1, 0)));
    bike_state& b = *bike_in_slot(0);
    double p[3];
    get_body_position(b, body_frame, p);
    race.tic = race.gate_drop_tic + 100 * 128;
    robot_state& r = robot(0);
    // A straight path through the bike: points 0..39 every 10 units, the
    // bike beside point 25; point 5 (already passed) is just as near.
    r.path.clear();
    for (int k = 0; k < 40; k++) {
        float along = (float)(k - 25) * 10;
        if (k == 5) along = 0;
        r.path.push_back({(float)p[0] + 3, (float)p[1], (float)p[2] - along, 20, 0});
    }
    for (int from : {10, 30}) {
        r.target = from;
        r.recovery = 3;
        r.last_reached_tic = race.tic - 41 * 128;
        robot_recover(b);
        EXPECT_EQ(r.last_reached_tic, race.tic);
        EXPECT_GT(r.recovery, 0);
        if (from == 10)
            EXPECT_EQ(r.target, 25);  // nearest ahead, not the passed point 5
        else
            EXPECT_GE(r.target, 30);  // nothing nearer ahead: stays ahead
        EXPECT_LT(r.target, 40);
    }
}

TEST_F(robot_race, BackOnTheSeatAfterACrashHeadsOnFromWhereTheBikeLies) {
    ASSERT_TRUE(reset_race(robots(1, 3, 0)));
    bike_state& b = *bike_in_slot(0);
    race.tic = race.gate_drop_tic + 60 * 128;
    double p[3];
    get_body_position(b, body_frame, p);
    robot_state& r = robot(0);
    // A straight path every 10 units with the bike beside point 25.
    auto lay_path = [&] {
        r.path.clear();
        for (int k = 0; k < 60; k++)
            r.path.push_back({(float)p[0] + 3, (float)p[1], (float)p[2] - (float)(k - 25) * 10, 20, 0});
        r.last_stretch = stretch_before(race_slots[0].timing.gates_passed) + 1;
        r.last_reached_tic = race.tic;
    };
    // Heading for a point it slid past, or for one far ahead: once the
    // rider is back on, the robot heads on from the point after the nearest
    // one (following may move it on past points within reach, up to 31).
    // While the rider is still down, or after no crash, the target is kept
    // (point 18 lies 70 units back, out of reach).
    struct {
        int target;
        bool was_down, down;
        int lowest, highest;
    } cases[] = {{18, true, false, 26, 31}, {30, true, false, 26, 31}, {18, true, true, 18, 18}, {18, false, false, 18, 18}};
    for (const auto& c : cases) {
        lay_path();
        r.target = c.target;
        r.was_crashed = c.was_down;
        b.crash_countdown = c.down ? 300 : 0;
        robot_tic(b);
        EXPECT_GE(r.target, c.lowest) << c.target << " " << c.down;
        EXPECT_LE(r.target, c.highest) << c.target << " " << c.down;
    }
    b.crash_countdown = 0;
}

TEST_F(robot_race, StuckTwiceWithNoPointReachedMakesForEachSideInTurn) {
    ASSERT_TRUE(reset_race(robots(1, 1, 0)));
    bike_state& b = *bike_in_slot(0);
    race.tic = race.gate_drop_tic + 60 * 128;
    double p[3];
    get_body_position(b, body_frame, p);
    robot_state& r = robot(0);
    // The world is not stepped: the bike stands where it is, as against a
    // barrier. Each 5 s of standing is one stuck spell.
    auto stand = [&](int seconds) {
        for (int t = 0; t < seconds * 128; t++, race.tic++) {
            robot_recover(b);
            ASSERT_TRUE(finite_controls(b.controls));
        }
    };
    auto bearing = [&](double x, double z) { return std::atan2(z - p[2], x - p[0]); };
    // The target 40 ft off in four directions round the bike (ahead,
    // behind and to both sides of it), its line running across the bearing.
    for (double a : {0.3, 2.0, 3.6, 5.2}) {
        r = robot_state{};
        r.brain = 1;
        double wx = std::cos(a), wz = std::sin(a);
        for (int k = 0; k < 40; k++)
            r.path.push_back({(float)(p[0] + 40 * wx - (k - 5) * 10 * wz), (float)p[1],
                              (float)(p[2] + 40 * wz + (k - 5) * 10 * wx), 20, 0});
        r.target = 5;
        r.recovery = 3;
        r.last_reached_tic = race.tic;
        const line_point tp = r.path[5];
        stand(6);
        EXPECT_LT(r.detour_until, race.tic) << "the first spell is helped straight on, bearing " << a;
        double side[2] = {0, 0};
        for (double& s : side) {
            stand(5);
            ASSERT_GT(r.detour_until, race.tic) << a;
            EXPECT_NEAR(std::hypot(r.detour_x - p[0], r.detour_z - p[2]), 20, 0.5) << a;
            s = std::remainder(bearing(r.detour_x, r.detour_z) - bearing(tp.x, tp.z), 2 * M_PI);
            EXPECT_NEAR(std::fabs(s), 1.2, 0.05) << a;
        }
        EXPECT_LT(side[0] * side[1], 0) << "the next detour goes to the other side, bearing " << a;
        // With a point reached between two spells the count starts again.
        r.detour_until = -1;
        r.last_reached_tic = race.tic;
        stand(5);
        EXPECT_LT(r.detour_until, race.tic) << a;
    }
}

TEST_F(robot_race, ARobotWhoseLinesRunPastAMissedGateStartsAgainWhereItIs) {
    ASSERT_TRUE(reset_race(robots(1, 3, 0)));
    bike_state& b = *bike_in_slot(0);
    race.tic = race.gate_drop_tic + 60 * 128;
    robot_state& r = robot(0);
    int credited = stretch_before(race_slots[0].timing.gates_passed);
    const auto& own = lines().stretches[(size_t)store_stretch(credited)];
    auto starts_a_line_of_its_stretch = [&] {
        for (const riding_line& l : own)
            if (!l.line_points.empty() && l.line_points[0].x == r.path[0].x && l.line_points[0].z == r.path[0].z)
                return true;
        return false;
    };
    // No gate for a minute: lines picked one stretch ahead are kept; two or
    // more, and the path starts again with a line of the robot's stretch.
    for (int ahead : {1, 3}) {
        r.path.assign(30, line_point{1000, 0, 1000, 20, 0});
        r.target = 0;
        r.last_stretch = credited + ahead;
        r.last_reached_tic = race.tic;
        robot_tic(b);
        ASSERT_FALSE(r.path.empty()) << ahead;
        if (ahead == 1) {
            EXPECT_EQ(r.path[0].x, 1000) << ahead;
        } else {
            EXPECT_EQ(r.last_stretch, credited);
            EXPECT_TRUE(starts_a_line_of_its_stretch());
            EXPECT_EQ(r.last_reached_tic, race.tic);  // not lost at once
        }
    }
}

TEST_F(robot_race, ARobotPastAFinishLineItWasNotCreditedWithGoesBackThroughIt) {
    ASSERT_TRUE(reset_race(robots(1, 3, 0)));
    bike_state& b = *bike_in_slot(0);
    race.tic = race.gate_drop_tic + 60 * 128;
    robot_state& r = robot(0);
    slot_timing& st = race_slots[0].timing;
    const int F = first_lap_length();
    // The path along the bike's heading every 5 units, the bike beside
    // point 25: points 0..19 are the line of the stretch ending at the gate
    // the robot heads for, 20..39 the next one's. The frame is four points
    // (20 units) into the next line. Only a finish line sends it back, to
    // the first point past the gate (20 units behind it, within reach), and
    // it keeps that target until the gate is credited.
    for (int heading_for : {F - 1, F - 3}) {
        st.gates_passed = heading_for;
        st.gate_tics.assign((size_t)heading_for, race.tic - 10 * 128);
        int k0 = stretch_before(heading_for);
        r = robot_state{};
        r.brain = 1;
        r.path = path_along_heading(b);
        r.path_stretches = {{0, k0}, {20, k0 + 1}};
        r.last_stretch = k0 + 1;
        r.target = 26;
        r.last_reached_tic = race.tic;
        for (int tic = 0; tic < 3; tic++) robot_tic(b);
        if (heading_for == F - 1) {
            EXPECT_EQ(r.target, 20);
            EXPECT_EQ(r.hold_target, 20);
            EXPECT_EQ(r.recovery, 3);
            st.gates_passed = F;  // credited: the point is let go
            robot_tic(b);
            EXPECT_EQ(r.hold_target, -1);
            EXPECT_GT(r.target, 20);
        } else {
            EXPECT_GE(r.target, 26);
            EXPECT_EQ(r.hold_target, -1);
        }
    }
    st.gates_passed = 0;
    st.gate_tics.clear();
}

TEST_F(robot_race, PastTheThirdGateWithoutACreditGoesBackThroughTheFurthestThatCanCount) {
    ASSERT_TRUE(reset_race(robots(1, 3, 0)));
    bike_state& b = *bike_in_slot(0);
    race.tic = race.gate_drop_tic + 60 * 128;
    robot_state& r = robot(0);
    slot_timing& st = race_slots[0].timing;
    const int F = first_lap_length();
    // The bike four points into the line three stretches past the one
    // ending at the gate it heads for (gate G): G, G + 1 and G + 2 lie
    // behind it uncredited. It goes back through G + 2, or the finish line
    // if one comes first; not within 5 s of its last credit.
    struct {
        int heading_for, credit_age;
        int back;  // stretches past the robot's own; -1: no new start
    } cases[] = {{F - 5, 10, 2}, {F - 2, 10, 1}, {F - 1, 10, 0}, {F - 5, 3, -1}};
    for (const auto& c : cases) {
        st.gates_passed = c.heading_for;
        st.gate_tics.assign((size_t)c.heading_for, race.tic - c.credit_age * 128);
        int k0 = stretch_before(c.heading_for);
        r = robot_state{};
        r.brain = 1;
        r.path = path_along_heading(b);
        r.path_stretches = {{0, k0 + 2}, {20, k0 + 3}};
        r.last_stretch = k0 + 3;
        r.target = 26;
        r.last_reached_tic = race.tic;
        robot_tic(b);
        ASSERT_FALSE(r.path_stretches.empty());
        if (c.back < 0) {
            EXPECT_EQ(r.path_stretches[0][1], k0 + 2) << c.heading_for;
            EXPECT_EQ(r.restart_tic, 0);
        } else {
            EXPECT_EQ(r.path_stretches[0][1], k0 + c.back) << c.heading_for;
            EXPECT_EQ(r.restart_tic, race.tic) << c.heading_for;
        }
    }
    st.gates_passed = 0;
    st.gate_tics.clear();
}

struct race_outcome {
    int finished = 0;
    int worst_off_path = 0;  // tics in a row
    double mean_lap = 0;
    double median_lap = 0;  // one robot hung up for a lap does not move it
};

race_outcome run_race(int count, int laps, int skill) {
    race_outcome out;
    clear_race_state();
    if (!reset_race(robot_race::robots(count, laps, skill))) return out;
    std::vector<int> off(count, 0);
    int end = race.gate_drop_tic + 10 * 60 * 128;
    while (!race_over() && race.tic < end) {
        simulate_tic();
        for (int s = 0; s < count; s++) {
            off[(size_t)s] = robot(s).recovery > 0 && race.tic > race.gate_drop_tic + 5 * 128 ? off[(size_t)s] + 1 : 0;
            out.worst_off_path = std::max(out.worst_off_path, off[(size_t)s]);
        }
    }
    int n = 0;
    std::vector<double> laps_ridden;
    for (int s = 0; s < count; s++) {
        out.finished += is_finished(s);
        std::printf("skill %d, slot %d:", skill, s);
        for (int l = 1; l <= laps_completed(s); l++) {
            std::printf(" %.2f", lap_time(s, l));
            if (l >= 2) {
                out.mean_lap += lap_time(s, l);
                laps_ridden.push_back(lap_time(s, l));
                n++;
            }
        }
        std::printf("\n");
    }
    if (n) out.mean_lap /= n;
    std::sort(laps_ridden.begin(), laps_ridden.end());
    if (!laps_ridden.empty()) out.median_lap = laps_ridden[laps_ridden.size() / 2];
    return out;
}

// Whole races take tens of seconds each; under the sanitizers several
// minutes, so they run in the normal build only.
#if defined(__SANITIZE_ADDRESS__)
#define QX_WHOLE_RACES 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QX_WHOLE_RACES 0
#endif
#endif
#ifndef QX_WHOLE_RACES
#define QX_WHOLE_RACES 1
#endif

void expect_all_finish(const race_outcome& o, int skill) {
    std::printf("skill %d: %d finished, mean lap %.2f s, median %.2f s, longest off path %.1f s\n", skill, o.finished,
                o.mean_lap, o.median_lap, o.worst_off_path / 128.0);
    EXPECT_EQ(o.finished, 10) << "skill " << skill;
}

TEST_F(robot_race, TenRobotsFinishThreeLapsAndExpertsLapFasterThanNovices) {
    if (!QX_WHOLE_RACES) GTEST_SKIP() << "whole races are left to the normal build";
    race_outcome novice = run_race(10, 3, 0);
    expect_all_finish(novice, 0);
    race_outcome expert = run_race(10, 3, 2);
    expect_all_finish(expert, 2);
    EXPECT_LT(expert.median_lap, novice.median_lap);
}

TEST_F(robot_race, TenAmateurRobotsFinishThreeLaps) {
    if (!QX_WHOLE_RACES) GTEST_SKIP() << "whole races are left to the normal build";
    expect_all_finish(run_race(10, 3, 1), 1);
}

// Not yet met: the longest spells at each skill are still 15 to 30 s.
// Most begin with the bike moving, no crash: the driving runs wide (at
// speed in a turn or off a jump) and the recovery rides back at 15 ft/s,
// circling a target it has to reach along its line; the rest are bikes
// hung up on a berm's face (helped back and pulled on, then round to one
// side) and crashes, whose time on the ground counts here too. The figures
// are in the note on the issue.
// Run it with --gtest_also_run_disabled_tests.
TEST_F(robot_race, DISABLED_NoRobotOffItsPathForMoreThanTenSeconds) {
    for (int skill = 0; skill < 3; skill++) {
        race_outcome o = run_race(10, 3, skill);
        expect_all_finish(o, skill);
        EXPECT_LE(o.worst_off_path, 10 * 128) << "skill " << skill;
    }
}

}  // namespace
