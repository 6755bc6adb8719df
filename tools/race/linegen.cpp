// quarnix-linegen: riding lines for a track, made by riding it. The test
// kit's scripted pilot rides laps through the real race tic as the local
// rider, so the robots learn its lines exactly as they learn a player's;
// then practice races of "tester" robots give every line its statistics.
// Novice lines are ridden slower and safer than expert ones. Everything is
// seeded from the race clock, so the same build writes the same files.
//   quarnix-linegen --out <folder> [--track DIR] [--data DIR]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "bike/bike.h"
#include "bike/rider_control.h"
#include "core/config.h"
#include "race/headless.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "robot/robot.h"
#include "testkit/pilot.h"
#include "testkit/race_pilot_view.h"
#include "track/height_field.h"
#include "vfs/vfs.h"

namespace {

pilot_settings pilot_for(int skill, int ride) {
    pilot_settings p;
    // Each ride of a skill a little different, so the store gets
    // different lines; novices slower and gentler in the corners.
    static const double top[3] = {36, 42, 48}, grip[3] = {9, 11, 13}, jump[3] = {38, 40, 42};
    p.top_speed = top[skill] + 2.0 * (ride % 3) - 2;
    p.corner_grip = grip[skill] + 0.5 * (ride % 2);
    p.jump_speed = jump[skill];
    p.look_ahead = 18 + 2.0 * (ride % 3);
    return p;
}

race_setup lineup(int human_slot, int robots, int laps, int skill, const std::string& track) {
    race_setup s;
    slot_kind_list list{};
    if (human_slot >= 0) list[(size_t)human_slot] = slot_kind_human;
    for (int k = 0; k < robots; k++) list[(size_t)k + (human_slot >= 0 ? 1 : 0)] = slot_kind_robot;
    s.slot_kinds = list;
    s.laps = laps;
    s.skill = skill;
    s.track = track;
    return s;
}

// The pilot rides `laps` laps from grid place `slot` as the local rider.
int pilot_ride(int slot, int skill, int ride, int laps, const std::string& track) {
    clear_race_state();
    if (!reset_race(lineup(slot, 0, laps, skill, track)) || !bike_in_slot(slot)) return -1;
    while (race.tic <= race.gate_drop_tic) {
        set_bike_controls(slot, control_values{});
        simulate_tic();
    }
    pilot_state state;
    pilot_settings settings = pilot_for(skill, ride);
    for (int t = 0; t < 6 * 60 * tics_per_second && laps_completed(slot) < laps; t++) {
        pilot_command cmd = pilot_step(view_of(slot), state, settings);
        control_values c{};
        c[steer_control] = (float)(player_setup.reverse_steering ? -cmd.steer : cmd.steer);
        c[throttle_control] = (float)cmd.throttle;
        c[front_brake_control] = (float)cmd.front_brake;
        c[rear_brake_control] = (float)cmd.rear_brake;
        c[lean_control] = (float)cmd.lean;
        set_bike_controls(slot, c);
        simulate_tic();
    }
    return laps_completed(slot);
}

int practice_race(int robots, int laps, int skill, const std::string& track) {
    clear_race_state();
    if (!reset_race(lineup(-1, robots, laps, skill, track))) return -1;
    int end = race.gate_drop_tic + 8 * 60 * tics_per_second;
    while (!race_over() && race.tic < end) simulate_tic();
    int finished = 0;
    for (int k = 0; k < robots; k++) finished += is_finished(k);
    return finished;
}

int stored_lines() {
    int n = 0;
    for (const auto& st : lines().stretches)
        for (const riding_line& l : st) n += !l.line_points.empty();
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    std::string out, track = "rabbithill", data;
    int rides = 4, practices = 3;
    for (int i = 1; i < argc; i++) {
        auto arg = [&](const char* name) { return !strcmp(argv[i], name) && i + 1 < argc; };
        if (arg("--out"))
            out = argv[++i];
        else if (arg("--track"))
            track = argv[++i];
        else if (arg("--data"))
            data = argv[++i];
        else if (arg("--rides"))
            rides = std::max(1, std::atoi(argv[++i]));
        else if (arg("--practices"))
            practices = std::max(0, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: quarnix-linegen --out <folder> [--track DIR] [--data DIR] [--rides N] [--practices N]\n");
            return 2;
        }
    }
    if (out.empty()) {
        std::fprintf(stderr, "usage: quarnix-linegen --out <folder> [--track DIR] [--data DIR]\n");
        return 2;
    }
    if (!headless_init(data, "", argv[0])) {
        std::fprintf(stderr, "quarnix-linegen: no game data (zzzz.saf) or physics world\n");
        return 1;
    }
    settings.track = track;
    robot_options.learn = true;
    std::filesystem::create_directories(out);
    for (int skill = 0; skill < 3; skill++) {
        robot_options.practice = false;
        for (int ride = 0; ride < rides; ride++) {
            // Three laps: a line of a stretch is learnt at the gate after
            // the one that ends it, so the stretch into the finish line
            // needs the lap after it.
            int laps = pilot_ride((ride * 5) % 16, skill, ride, 3, track);
            std::printf("%s: pilot ride %d from place %d: %d laps\n", lines_file_name(skill), ride, (ride * 5) % 16, laps);
        }
        robot_options.practice = true;
        for (int p = 0; p < practices; p++) {
            int fin = practice_race(10, 2, skill, track);
            std::printf("%s: practice race %d: %d of 10 finished, %d lines\n", lines_file_name(skill), p, fin,
                        stored_lines());
        }
        remember_lines();
        std::string from = home_path(("@" + track + "/" + lines_file_name(skill)).c_str());
        std::string to = out + "/" + lines_file_name(skill);
        std::error_code ec;
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
        if (ec) {
            std::fprintf(stderr, "quarnix-linegen: cannot copy %s to %s\n", from.c_str(), to.c_str());
            headless_free();
            return 1;
        }
        // Each skill starts from its own file.
        clear_race_state();
    }
    headless_free();
    return 0;
}
