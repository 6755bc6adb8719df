// One step of the whole race, the race reset and the free-riding restart,
// the starting gate pieces, and the driver through which the parts above the
// race (script, demos, robots, network, results, engine sounds)
// join its tic and reset. The demos fill their entries (fill_demo_parts);
// the others are not built yet and stay null. A null entry does nothing (a
// query answers no).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/random.h"

struct bike_state;
struct erode_contact;
struct bike_setup;

// ---- the tic ---------------------------------------------------------------------------
void simulate_tic();
// The project generator as the race seeds it at each reset (from the tic).
random_state& race_random();
// Free riding: the laps that slot 0 (the rider) and slot 1 (the lap ghost)
// had completed before the current or last tic, for the lap bookkeeping.
const std::array<int, 2>& free_riding_laps_before();

// ---- the starting gate -----------------------------------------------------------------
struct gate_piece {
    int statue = -1;    // index among the track's statues; -1 when it could not be made
    float raise = 1;    // 1 up, 0 down
    float speed = 0;    // of the fall
    int touch_tic = -1;  // last tic a bike touched it
};
// One piece per start position, in file order.
std::vector<gate_piece>& gate_pieces();
// The angle (rad) a piece is drawn at, about its own x axis.
float gate_piece_tilt(const gate_piece& piece);
// Step 10 of the tic: the pieces fall after the drop unless a bike holds them.
void move_starting_gate();

// ---- reset ---------------------------------------------------------------------------
constexpr int slot_kind_empty = 0;
constexpr int slot_kind_human = 1;
constexpr int slot_kind_robot = 2;
constexpr int slot_kind_robot_2stroke = 3;
constexpr int slot_kind_robot_4stroke = 4;
constexpr int slot_kind_remote = 5;
constexpr int slot_kind_series_robot = 1000;  // + rider number
using slot_kind_list = std::array<int, 160>;

struct race_setup {
    std::optional<slot_kind_list> slot_kinds;  // none: free riding
    bool playback = false;
    bool record = false;
    int race_time = 0;  // tics; 0 for a lap race
    int laps = 0;
    int skill = 0;  // robot skill 0..2
    // The track directory; empty for the selected track ("track" setting).
    std::string track;
    // The demo to play back when `playback` is set.
    std::string demo;
};
bool reset_race(const race_setup& setup);
// Free riding: slot 0 starts a new attempt three gates before the first
// finish line.
void restart_attempt();
// The setup of the last reset (the "--warp" restart repeats it).
const race_setup& last_race_setup();

// Grid place s: position and heading (start positions, or a row across the
// middle of the terrain when the track has none).
struct grid_place {
    float x = 0, y = 0, z = 0;
    float angle = 0;
};
grid_place start_grid_place(int place);
// Drops the bike (in its reset pose at the origin) onto the ground with its
// frame over (x, z), turned to the heading: raised in steps of 0.25 ft from
// the ground sample under it until it touches nothing.
void drop_bike(bike_state& bike, float x, float z, float angle);
// Whether any part of the bike touches the ground or a solid statue.
bool bike_touches_anything(bike_state& bike);

// A replayed rider put into a slot between resets (the lap ghost), its bike
// made and set up as a reset makes one; false leaves the slot empty.
bool add_replayed_rider(int slot, const std::string& model, const bike_setup& setup);
// The slot's bike and engine sound freed and its race record emptied.
void remove_rider(int slot);
// Every slot's bike destroyed and its race record emptied.
void free_race_bikes();
// Race records, bikes and the one-tic joints; the timing stays with the track.
void free_race();

// The interpolation of a replayed slot between kept states: with kept tics
// older <= t <= newer (or t past the newest), the fraction toward newer,
// at most 64 tics extrapolated. A single kept state (older == newer) is
// used as it is: fraction 0.
float playback_fraction(int older, int newer, int t);

// ---- the parts above the race ----------------------------------------------------------
struct race_driver {
    // Tic steps owned by other subsystems.
    void (*script_tic)() = nullptr;
    void (*replay_slot)(int slot, int tic) = nullptr;      // apply the kept state for the tic
    void (*robot_controls)(bike_state& bike) = nullptr;    // a robot chooses its controls
    void (*learn_tic)(bike_state& bike) = nullptr;         // the local rider's line recording
    void (*move_particles)() = nullptr;                    // roost particles
    // A bike's wheels were read for digging this tic (the console's
    // telemetry points).
    void (*wheels_dug)(int slot, const erode_contact& front, const erode_contact& rear) = nullptr;
    // Demo recording and reading; forced at a reset, when a chunk is written
    // whatever the tic.
    void (*record_states)(bool force) = nullptr;
    void (*free_riding_lap)(int slot) = nullptr;           // lap demos and ghosts
    void (*net_prepare_remote)(bike_state& bike) = nullptr;
    // Online: the remote slot's newest state is less than a second old.
    bool (*remote_fresh)(int slot) = nullptr;
    // The slot's state history holds a state from the last `tics` tics.
    bool (*recent_state)(int slot, int tics) = nullptr;
    // Timing events: a position credited (robot line bookkeeping) and a
    // rider that has finished.
    void (*gate_credited)(int slot, int position) = nullptr;
    void (*rider_finished)(int slot) = nullptr;
    // Reset steps owned by other subsystems.
    void (*shuffle_robots)() = nullptr;
    void (*save_robot_lines)() = nullptr;
    void (*read_robot_lines)(int skill) = nullptr;
    void (*close_demos)() = nullptr;
    void (*start_recording)() = nullptr;
    // Free riding: a new attempt starts its lap recording and its ghost.
    void (*start_attempt)() = nullptr;
    void (*clear_histories)() = nullptr;
    void (*free_engine_sound)(int slot) = nullptr;
    void (*create_engine_sound)(int slot) = nullptr;
    void (*release_script_sounds)() = nullptr;
    void (*return_particles)() = nullptr;
    void (*clear_line_picks)() = nullptr;  // the robots' paths start afresh
    // A robot's bike model and setup from the roster; false: none.
    bool (*assign_robot)(int slot, int kind, int skill, std::string& model, bike_setup& setup) = nullptr;
    // During playback, the next rider recorded in the demo; false: none left.
    bool (*next_demo_rider)(int slot, std::string& model, bike_setup& setup) = nullptr;
    // Online, the rider the server placed in the slot (a remote one, or
    // our own): its bike model and its identity as a setup; false: none.
    bool (*remote_rider)(int slot, std::string& model, bike_setup& setup) = nullptr;
    // Opens the demo a playback reset names and gives its track.
    bool (*open_demo)(const char* name, std::string& track) = nullptr;
    // A race server connection exists (the server's race: the track is
    // loaded afresh and the ground frozen).
    bool (*connected)() = nullptr;
};
extern race_driver race_parts;
