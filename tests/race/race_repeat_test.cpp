// A race repeats from its inputs: six bikes ridden by the pilot from the
// grid into the first turns, bumping one another on the way, raced in two
// processes of their own, one throwing no roost and working out the ground
// under the bikes on one core, the other throwing as much roost as it can
// and working the ground out ahead on both. Every state each bike carries
// must come out the same, bit for bit.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bike/drivetrain.h"
#include "bike/tire.h"
#include "core/parallel.h"
#include "rabbit_hill_fixture.h"

namespace {

constexpr int riders = 6;
constexpr int spacing = 2;  // grid places apart
constexpr int last_slot = riders * spacing;
constexpr int ride_seconds = 25;  // after the gate drop

long g_roost_particles = 0;

void put(std::vector<double>& out, const dReal* v, int n) { out.insert(out.end(), v, v + n); }
void put(std::vector<double>& out, const float* v, int n) { out.insert(out.end(), v, v + n); }

// Everything of a bike that the next tic reads: the bodies, the joints'
// readings, the wheel contacts, the drivetrain, the controls, the aids'
// timers and latches, the crash state and the feet.
void put_bike(std::vector<double>& out, const bike_state& b) {
    for (dBodyID body : b.bodies) {
        put(out, dBodyGetPosition(body), 3);
        put(out, dBodyGetQuaternion(body), 4);
        put(out, dBodyGetLinearVel(body), 3);
        put(out, dBodyGetAngularVel(body), 3);
        put(out, dBodyGetForce(body), 3);
        put(out, dBodyGetTorque(body), 3);
    }
    for (double v : {steering_angle(b), steering_rate(b), fork_position(b), fork_rate(b), swingarm_angle(b),
                     swingarm_rate(b), front_axle_rate(b), rear_axle_rate(b)})
        out.push_back(v);
    for (const dJointFeedback& f : b.joint_feedback) {
        put(out, f.f1, 3);
        put(out, f.t1, 3);
        put(out, f.f2, 3);
        put(out, f.t2, 3);
    }
    for (const wheel_contact* w : {&b.front_contact, &b.rear_contact}) {
        put(out, w->contact_point, 3);
        put(out, w->slip_velocity, 3);
        put(out, w->contact_normal, 3);
        out.push_back(w->depth);
        put(out, w->contact_feedback.f1, 3);
    }
    const bike_controls& c = b.controls;
    for (double v : {(double)c.throttle, (double)c.clutch, (double)c.front_brake, (double)c.rear_brake,
                     (double)c.steer, (double)c.sit, (double)c.dab_blend, (double)c.back_up, (double)c.lean,
                     (double)c.shift})
        out.push_back(v);
    for (double v : {(double)b.gear, (double)b.shift_latch, (double)b.drive_phase, (double)b.engine_speed,
                     (double)b.activity, (double)b.collision_timer, (double)b.landing_multiplier,
                     (double)b.steer_limit_indicator, (double)b.airborne_tic, (double)b.landed_tic,
                     (double)b.sticky_sit_latch, (double)b.bike_contact_tic, (double)b.crash_countdown,
                     (double)b.crash_count, (double)b.ground_touched, (double)b.fault_resets})
        out.push_back(v);
    for (const foot_state* f : {&b.foot_left, &b.foot_right}) {
        put(out, f->position, 3);
        put(out, f->velocity, 3);
    }
    put(out, &b.rider_velocity_history[0][0], 12);
}

struct race_record {
    std::vector<double> states;  // every bike's, once a second
    int contact_tics = 0;        // bike against bike
    int riding_contact_tics = 0;  // of them, after the gate drop
    int bikes_touched = 0;
    long roost_particles = 0;
    long snapshot_size = 1;  // values of one second's states
};

// The race itself, in this process.
race_record ride_race(double roost_density) {
    race_record out;
    settings.roost_density = roost_density;
    g_roost_particles = 0;
    roost_output.emit = [](const roost_particle&) { g_roost_particles++; };
    // Every other grid place, so that they leave the gate side by side and
    // meet where the track narrows.
    slot_kind_list list{};
    for (int s = 0; s < riders * spacing; s += spacing) list[(size_t)s] = s == 0 ? slot_kind_human : slot_kind_robot;
    race_setup setup;
    setup.slot_kinds = list;
    setup.laps = 3;
    clear_race_state();
    if (!reset_race(setup)) return out;
    // The robots have no roster yet, and the stand-in's empty setup leaves
    // their bikes unable to pull away: they ride the player's setup.
    for (int s = spacing; s < last_slot; s += spacing)
        if (bike_state* b = bike_in_slot(s)) apply_bike_setup(*b, player_setup, 0);
    std::array<pilot_state, last_slot> pilots{};
    std::array<bool, last_slot> touched{};
    int end = race.gate_drop_tic + ride_seconds * tics_per_second;
    while (race.tic < end) {
        for (int s = 0; s < last_slot; s++) {
            if (!bike_in_slot(s)) continue;
            control_values c{};
            if (race.tic > race.gate_drop_tic) c = pilot_controls(pilot_step(view_of(s), pilots[(size_t)s]));
            set_bike_controls(s, c);
        }
        simulate_tic();
        bool contact = false;
        for (int s = 0; s < last_slot; s++)
            if (const bike_state* b = bike_in_slot(s); b && b->bike_contact_tic == race.tic - 1) {
                contact = true;
                touched[(size_t)s] = true;
            }
        out.contact_tics += contact;
        if (contact && race.tic > race.gate_drop_tic) out.riding_contact_tics++;
        if (race.tic % tics_per_second == 0) {
            size_t before = out.states.size();
            for (int s = 0; s < last_slot; s++)
                if (const bike_state* b = bike_in_slot(s)) {
                    put_bike(out.states, *b);
                    out.states.push_back(race_slots[(size_t)s].timing.gates_passed);
                }
            out.snapshot_size = (long)(out.states.size() - before);
        }
    }
    for (bool t : touched) out.bikes_touched += t;
    out.roost_particles = g_roost_particles;
    roost_output.emit = nullptr;
    return out;
}

bool write_record(const std::string& path, const race_record& r) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    long head[6] = {r.contact_tics, r.riding_contact_tics, r.bikes_touched, r.roost_particles, r.snapshot_size,
                    (long)r.states.size()};
    bool ok = std::fwrite(head, sizeof head, 1, f) == 1 &&
              std::fwrite(r.states.data(), sizeof(double), r.states.size(), f) == r.states.size();
    return std::fclose(f) == 0 && ok;
}

bool read_record(const std::string& path, race_record& r) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    long head[6];
    bool ok = std::fread(head, sizeof head, 1, f) == 1 && head[4] > 0 && head[5] >= 0 && head[5] < (1L << 26);
    if (ok) {
        r.contact_tics = (int)head[0];
        r.riding_contact_tics = (int)head[1];
        r.bikes_touched = (int)head[2];
        r.roost_particles = head[3];
        r.snapshot_size = head[4];
        r.states.resize((size_t)head[5]);
        ok = std::fread(r.states.data(), sizeof(double), r.states.size(), f) == r.states.size();
    }
    std::fclose(f);
    return ok;
}

// Run as the parent, the test starts this same test twice in processes of
// their own; run as a child (the variables set), it rides the race and
// writes what it saw.
TEST_F(rabbit_hill, RaceOfBumpingBikesRepeatsAcrossProcesses) {
    if (const char* out = std::getenv("QX_RACE_REPEAT_OUT")) {
        set_parallel_enabled(std::atoi(std::getenv("QX_RACE_REPEAT_PARALLEL")) != 0);
        race_record r = ride_race(std::atof(std::getenv("QX_RACE_REPEAT_ROOST")));
        ASSERT_FALSE(r.states.empty());
        ASSERT_TRUE(write_record(out, r));
        return;
    }
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    temp_dir dir;
    race_record runs[2];
    const char* densities[2] = {"0", "1000"};
    for (int i = 0; i < 2; i++) {
        std::string file = dir.file("race" + std::to_string(i));
        run_result r = run_program({self, "--gtest_filter=rabbit_hill.RaceOfBumpingBikesRepeatsAcrossProcesses"},
                                   {"QX_RACE_REPEAT_OUT=" + file, std::string("QX_RACE_REPEAT_ROOST=") + densities[i],
                                    "QX_RACE_REPEAT_PARALLEL=" + std::to_string(i)},
                                   300);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        ASSERT_TRUE(read_record(file, runs[i]));
    }
    std::printf("%d tics of bike contacts, %d of them riding; %d of %d bikes touched; roost particles %ld and %ld\n",
                runs[0].contact_tics, runs[0].riding_contact_tics, runs[0].bikes_touched, riders,
                runs[0].roost_particles, runs[1].roost_particles);
    // The race did what it is meant to test: bikes met, and only one run
    // threw roost.
    EXPECT_GE(runs[0].bikes_touched, 3);
    EXPECT_GE(runs[0].riding_contact_tics, 16);
    EXPECT_EQ(runs[0].roost_particles, 0);
    EXPECT_GT(runs[1].roost_particles, 1000);
    ASSERT_EQ(runs[0].states.size(), runs[1].states.size());
    EXPECT_EQ(runs[0].contact_tics, runs[1].contact_tics);
    for (size_t k = 0; k < runs[0].states.size(); k++)
        if (std::memcmp(&runs[0].states[k], &runs[1].states[k], sizeof(double)) != 0) {
            ADD_FAILURE() << "the runs part in second " << k / (size_t)runs[0].snapshot_size + 1 << " of the race, value "
                          << k % (size_t)runs[0].snapshot_size;
            break;
        }
}

}  // namespace
