// quarnix-race: a field of robots on a track, the real race tic as fast as
// it goes, no window or sound; prints the results, each robot's laps and
// the tics per second.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/drivetrain.h"
#include "bike/rider_control.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "demo/demo.h"
#include "race/headless.h"
#include "race/race.h"
#include "race/race_tic.h"
#include "render/frame_draw.h"
#include "robot/robot.h"
#include "track/erosion.h"
#include "track/height_field.h"
#include "vfs/vfs.h"

namespace {

// Time spent in the robots' own work, measured round each call.
double g_robot_seconds = 0;
bool g_scripted = false;
void timed_robot_tic(bike_state& b) {
    auto t0 = std::chrono::steady_clock::now();
    if (g_scripted) {
        // Scripted controls: the same bikes without any robot work.
        b.controls.throttle = 0.5f;
        b.controls.clutch = 1;
        b.controls.steer = 0.1f;
    } else {
        robot_tic(b);
    }
    g_robot_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void usage() {
    std::printf(
        "usage: quarnix-race [options]\n"
        "  --track DIR        track directory (default rabbithill)\n"
        "  --robots N         robots in the field, 1..160 (default 10)\n"
        "  --laps N           laps (default 3)\n"
        "  --skill NAME       Novice, Amateur or Expert (default Novice)\n"
        "  --brain NAME       every robot gets this brain (ordo, pellam, zute, tester)\n"
        "  --practice         every robot gets the tester brain\n"
        "  --learn            write the robots' line statistics back at the end\n"
        "  --limit SECONDS    race time limit (default 600)\n"
        "  --data DIR         folder with zzzz.saf (default the program's folder)\n"
        "  --home DIR         the player's folder, which keeps @results.txt (default a temporary one)\n"
        "  --demo FILE        record the race as a demo in FILE\n"
        "  --play FILE        replay a demo instead of racing (its track, riders and laps)\n"
        "  --erode X          the wheels dig the ground, 0..100 (as the game's option); prints the ruts' depth\n"
        "  --scripted         fixed controls instead of the robots' brains (the benchmark's baseline)\n"
        "  --seed N           seeds the race's generator (grid, gate drop, roster; default 0)\n"
        "  --trace            every crash, and a robot's state every QX_TRACE_EVERY tics (64; the slot is QX_TRACE_SLOT, 0)\n"
        "  --spells SECONDS   every off-path spell of at least this length: slot, start, length, crashes in it, and\n"
        "                     whether the robot started its path again for a missed gate\n"
        "  --quiet            only the summary lines\n"
        "  --help             this text\n");
}

int skill_of(const char* name) {
    if (!strcasecmp(name, "Amateur") || !strcmp(name, "1")) return 1;
    if (!strcasecmp(name, "Expert") || !strcmp(name, "2")) return 2;
    return 0;
}

}  // namespace

// The recorder and playback wired into the race, as the game has them.
void start_demo_parts() {
    static frame_slot_driver frame;
    fill_demo_parts(race_parts, frame);
    settings.demo_backups = 0;
}

// Ends the recording and puts it at `path`, through a temporary file so a
// failed copy never leaves half a demo there.
bool keep_recording(const std::string& path) {
    stop_recording();
    std::string made = home_path("@demos/default.kvdemo"), temp = path + ".part";
    std::error_code error;
    std::filesystem::copy_file(made, temp, std::filesystem::copy_options::overwrite_existing, error);
    if (!error) std::filesystem::rename(temp, path, error);
    if (error) std::filesystem::remove(temp);
    return !error;
}

int count_riders() {
    int n = 0;
    for (int k = 0; k < race_slot_count; k++) n += bike_in_slot(k) != nullptr;
    return n;
}

// How far the ground has moved from the track as loaded: the deepest rut,
// the highest pile and how much of the ground was touched.
void print_ruts() {
    const height_field& f = terrain;
    size_t n = (size_t)f.samples_per_side * (size_t)f.samples_per_side;
    float deepest = 0, highest = 0;
    size_t touched = 0, deepest_at = 0, highest_at = 0;
    for (size_t k = 0; k < n; k++) {
        float d = f.heights[k] - f.base_heights[k];
        if (d < deepest) deepest = d, deepest_at = k;
        if (d > highest) highest = d, highest_at = k;
        touched += std::fabs(d) > 0.01f;
    }
    auto x = [&](size_t k) { return (double)(k % (size_t)f.samples_per_side) * f.cell_size; };
    auto z = [&](size_t k) { return (double)(k / (size_t)f.samples_per_side) * f.cell_size; };
    std::printf("ground: %d marks; deepest rut %.2f at (%.0f, %.0f), highest pile %.2f at (%.0f, %.0f); %.0f square units "
                "moved by more than 0.01\n",
                f.change_count, -deepest, x(deepest_at), z(deepest_at), highest, x(highest_at), z(highest_at),
                (double)touched * f.cell_size * f.cell_size);
}

int main(int argc, char** argv) {
    std::string track = "rabbithill", data, home, brain_name;
    int robots = 10, laps = 3, skill = 0;
    double limit = 600, erode = 0;
    unsigned seed = 0;
    bool quiet = false, trace = false;
    double spell_report = -1;
    std::string demo_out, demo_in;
    const char* every_env = std::getenv("QX_TRACE_EVERY");
    int trace_every = every_env ? std::max(1, std::atoi(every_env)) : 64;
    const char* slot_env = std::getenv("QX_TRACE_SLOT");
    int ts = slot_env ? std::clamp(std::atoi(slot_env), 0, race_slot_count - 1) : 0;
    for (int i = 1; i < argc; i++) {
        auto arg = [&](const char* name) { return !strcmp(argv[i], name) && i + 1 < argc; };
        if (!strcmp(argv[i], "--help")) {
            usage();
            return 0;
        } else if (arg("--track")) {
            track = argv[++i];
        } else if (arg("--robots")) {
            robots = std::atoi(argv[++i]);
        } else if (arg("--laps")) {
            laps = std::atoi(argv[++i]);
        } else if (arg("--skill")) {
            skill = skill_of(argv[++i]);
        } else if (arg("--brain")) {
            brain_name = argv[++i];
        } else if (arg("--limit")) {
            limit = std::atof(argv[++i]);
        } else if (arg("--data")) {
            data = argv[++i];
        } else if (arg("--home")) {
            home = argv[++i];
        } else if (!strcmp(argv[i], "--practice")) {
            robot_options.practice = true;
        } else if (!strcmp(argv[i], "--learn")) {
            robot_options.learn = true;
        } else if (arg("--erode")) {
            erode = std::clamp(std::atof(argv[++i]), 0.0, 100.0);
        } else if (!strcmp(argv[i], "--scripted")) {
            g_scripted = true;
        } else if (!strcmp(argv[i], "--trace")) {
            trace = true;
        } else if (arg("--seed")) {
            seed = (unsigned)std::strtoul(argv[++i], nullptr, 10);
        } else if (arg("--spells")) {
            spell_report = std::atof(argv[++i]);
        } else if (!strcmp(argv[i], "--quiet")) {
            quiet = true;
        } else if (arg("--demo")) {
            demo_out = argv[++i];
        } else if (arg("--play")) {
            demo_in = argv[++i];
        } else {
            usage();
            return 2;
        }
    }
    if (robots < 1 || robots > race_slot_count || laps < 1) {
        usage();
        return 2;
    }
    if (!headless_init(data, home, argv[0])) {
        std::fprintf(stderr, "quarnix-race: no game data (zzzz.saf) or physics world\n");
        return 1;
    }
    const bool playback = !demo_in.empty();
    if (playback || !demo_out.empty()) start_demo_parts();
    if (playback) {
        demo_in = std::filesystem::absolute(demo_in).string();
        robots = 0;
    }
    race_setup s;
    slot_kind_list list{};
    for (int k = 0; k < robots; k++) list[(size_t)k] = slot_kind_robot;
    s.slot_kinds = list;
    s.playback = playback;
    s.demo = demo_in;
    s.record = !demo_out.empty();
    s.laps = laps;
    s.skill = skill;
    s.track = track;
    settings.track = track;
    cmdline.erode_rate = (int)std::floor(erode * 1024);
    // The reset seeds the race's generator from the tic it is called at.
    if (!playback) race.tic = (int)(seed % (1u << 20));
    if (!reset_race(s) || (playback && !playing_demo())) {
        if (playback)
            std::fprintf(stderr, "quarnix-race: demo %s could not be played\n", demo_in.c_str());
        else
            std::fprintf(stderr, "quarnix-race: track %s did not load\n", track.c_str());
        headless_free();
        return 1;
    }
    if (playback) robots = count_riders();
    if (!brain_name.empty()) {
        int b = find_brain(brain_name.c_str());
        for (int k = 0; k < robots; k++) robot(k).brain = b;
    }
    race_parts.robot_controls = timed_robot_tic;
    auto t0 = std::chrono::steady_clock::now();
    long tics = 0;
    int end_tic = race.gate_drop_tic + (int)(limit * tics_per_second);
    std::vector<int> off_path(robots, 0), worst_off(robots, 0), was_crashed(robots, 0);
    // The same spells without the time the rider is off the bike.
    std::vector<int> off_riding(robots, 0), worst_riding(robots, 0);
    int crashes = 0;
    // Per robot: the spell's crashes, whether it started its path again, and
    // where it began.
    struct spell {
        int crashes = 0, restarts = 0, gates = 0;
        double x = 0, z = 0, speed = 0;
    };
    std::vector<spell> spells((size_t)robots);
    std::vector<int> last_restart(robots, 0), last_crash_tic(robots, -100000), was_fallen(robots, 0);
    while (!race_over() && race.tic < end_tic) {
        simulate_tic();
        tics++;
        // The game applies the queued wheel marks once a frame; here a frame
        // is two tics, and no rider's eye holds them back.
        if (erode_rate > 0 && race.tic % 2 == 0) apply_erosion(nullptr, (float)erode_rate / 1024.0f, race.tic);
        if (trace && race.tic % trace_every == 0 && bike_in_slot(ts)) {
            const robot_state& r = robot(ts);
            const bike_state& b = *bike_in_slot(ts);
            double p[3];
            get_body_position(b, body_frame, p);
            float tx = r.target < (int)r.path.size() ? r.path[(size_t)r.target].x : 0;
            float tz = r.target < (int)r.path.size() ? r.path[(size_t)r.target].z : 0;
            double rot[9];
            get_body_rotation(b, body_frame, rot);
            std::printf("fwd %.2f %.2f t %.1f pos %.1f %.1f %.1f v %.1f tgt %d/%zu (%.1f %.1f) rec %d gates %d thr %.2f str %.2f brk %.2f cl %.2f crash %d gear %d rpm %.0f lean %.2f sit %.1f\n",
                        -rot[2], -rot[8], race.tic / 128.0, p[0], p[1], p[2], slot_speed(ts), r.target, r.path.size(), tx, tz, r.recovery,
                        race_slots[(size_t)ts].timing.gates_passed, b.controls.throttle, b.controls.steer, b.controls.front_brake,
                        b.controls.clutch, b.crash_countdown, b.gear, engine_rpm(b), lean_angle(b), b.controls.sit);
        }
        for (int k = 0; k < robots; k++) {
            const bike_state* bk = bike_in_slot(k);
            if (!bk) continue;
            bool crashed_now = bk->crash_countdown > 0 && was_crashed[(size_t)k] == 0;
            crashes += crashed_now;
            if (crashed_now) last_crash_tic[(size_t)k] = race.tic;
            // Crashes and falls (the bike on its side with the rider still
            // on it), with where they happen and how near another bike is.
            bool fallen = bk->crash_countdown == 0 && std::fabs(lean_angle(*bk)) > 1.2 &&
                          race.tic - last_crash_tic[(size_t)k] > 8 * tics_per_second;
            if (bk->crash_countdown == 0 && std::fabs(lean_angle(*bk)) > 0.6) fallen = fallen || was_fallen[(size_t)k];
            if (spell_report >= 0 && (crashed_now || (fallen && !was_fallen[(size_t)k]))) {
                double p[3], q[3], near = 1e9;
                get_body_position(*bk, body_frame, p);
                for (int o = 0; o < robots; o++)
                    if (o != k && bike_in_slot(o)) {
                        get_body_position(*bike_in_slot(o), body_frame, q);
                        near = std::min(near, std::hypot(p[0] - q[0], p[2] - q[2]));
                    }
                std::printf("%s slot %d t %.1f gates %d at (%.0f %.0f) %.1f ft/s, lean %.2f, nearest bike %.1f\n",
                            crashed_now ? "crash" : "fall", k, race.tic / 128.0, race_slots[(size_t)k].timing.gates_passed,
                            p[0], p[2], slot_speed(k), lean_angle(*bk), near);
            }
            was_fallen[(size_t)k] = fallen;
            if (crashed_now && off_path[(size_t)k] > 0) spells[(size_t)k].crashes++;
            if (trace && crashed_now)
                std::printf("crash slot %d t %.2f v %.1f thr %.2f str %.2f fbrk %.2f rbrk %.2f lean %.2f rec %d collision %.0f\n", k,
                            race.tic / 128.0, slot_speed(k), bk->controls.throttle, bk->controls.steer,
                            bk->controls.front_brake, bk->controls.rear_brake, lean_angle(*bk), robot(k).recovery,
                            bk->collision_timer);
            was_crashed[(size_t)k] = bk->crash_countdown;
        }
        for (int k = 0; k < robots; k++) {
            // Counted from 5 s after the gate drop, as the race test does.
            bool off = robot(k).recovery > 0 && race.tic > race.gate_drop_tic + 5 * tics_per_second;
            spell& sp = spells[(size_t)k];
            if (off && off_path[(size_t)k] == 0 && bike_in_slot(k)) {
                double p[3];
                get_body_position(*bike_in_slot(k), body_frame, p);
                // A crash in the last 6 s counts for the spell it led to.
                sp = spell{race.tic - last_crash_tic[(size_t)k] < 6 * tics_per_second, 0,
                           race_slots[(size_t)k].timing.gates_passed, p[0], p[2], slot_speed(k)};
            }
            if (robot(k).restart_tic != last_restart[(size_t)k]) {
                last_restart[(size_t)k] = robot(k).restart_tic;
                sp.restarts += off;
            }
            if (!off && off_path[(size_t)k] > 0 && spell_report >= 0 && off_path[(size_t)k] >= spell_report * tics_per_second)
                std::printf("spell slot %d t %.1f for %.1f s, gates %d, at (%.0f %.0f) %.1f ft/s, crashes %d, restarts %d\n", k,
                            (race.tic - off_path[(size_t)k]) / 128.0, off_path[(size_t)k] / 128.0, sp.gates, sp.x, sp.z,
                            sp.speed, sp.crashes, sp.restarts);
            off_path[(size_t)k] = off ? off_path[(size_t)k] + 1 : 0;
            worst_off[(size_t)k] = std::max(worst_off[(size_t)k], off_path[(size_t)k]);
            bool down = bike_in_slot(k) && bike_in_slot(k)->crash_countdown > 0;
            off_riding[(size_t)k] = off ? off_riding[(size_t)k] + !down : 0;
            worst_riding[(size_t)k] = std::max(worst_riding[(size_t)k], off_riding[(size_t)k]);
        }
    }
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    int finished = 0;
    if (!quiet) std::printf("pos slot number  laps  finished  worst-off-path  lap times (s)\n");
    int pos = 1;
    for (const running_entry& e : running_order()) {
        int k = e.slot;
        bool fin = is_finished(k);
        finished += fin;
        if (!quiet) {
            bike_state* b = bike_in_slot(k);
            std::printf("%3d %4d %6s %5d %9s %13.1fs ", pos, k, b ? b->number : "", laps_completed(k), fin ? "yes" : "no",
                        k < robots ? worst_off[(size_t)k] / 128.0 : 0.0);
            for (int l = 1; l <= laps_completed(k); l++) std::printf(" %.2f", lap_time(k, l));
            std::printf("\n");
        }
        pos++;
    }
    std::printf("%d of %d finished; %ld tics in %.2f s: %.0f tics per second; robots' own work %.1f %% of the tic\n",
                finished, robots, tics, secs, secs > 0 ? tics / secs : 0.0, secs > 0 ? 100 * g_robot_seconds / secs : 0.0);
    // One line for scripts that compare runs.
    double lap_sum = 0, worst = 0, worst_ridden = 0;
    int lap_count = 0;
    for (int k = 0; k < robots; k++) {
        worst = std::max(worst, worst_off[(size_t)k] / 128.0);
        worst_ridden = std::max(worst_ridden, worst_riding[(size_t)k] / 128.0);
        for (int l = 1; l <= laps_completed(k); l++) {
            lap_sum += lap_time(k, l);
            lap_count++;
        }
    }
    std::printf("summary: finished %d of %d, mean lap %.1f s, worst off-path %.1f s, %d crashes\n", finished, robots,
                lap_count ? lap_sum / lap_count : 0.0, worst, crashes);
    std::printf("off-path without the time the rider is down: worst %.1f s\n", worst_ridden);
    std::printf("state digest %016llx at tic %d\n", race_state_digest(), race.tic);
    if (!demo_out.empty() && !keep_recording(demo_out)) {
        std::fprintf(stderr, "quarnix-race: the demo could not be written to %s\n", demo_out.c_str());
        headless_free();
        return 1;
    }
    if (erode_rate > 0) print_ruts();
    // The statistics are written by the next reset's remembering.
    if (robot_options.learn) remember_lines();
    headless_free();
    return finished == robots ? 0 : 3;
}
