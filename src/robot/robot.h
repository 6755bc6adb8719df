// Robot riders: the roster and brains, the riding lines of a track (the
// line store, its file, learning from the human rider, statistics, the
// cheapest chains of lines) and the per-tic choice of line and controls.
#pragma once

#include <array>
#include <string>
#include <vector>

struct bike_state;
struct bike_setup;
struct race_driver;
struct rider_driver;

// ---- roster and brains -------------------------------------------------------------
constexpr int robot_roster_size = 80;
struct robot_entry {
    std::string number;  // "20" .. "99"
    const char* brain = "";
    const char* bike = "";
    std::string rider_body, rider_head, bike_texture, wheel_texture;  // empty: the model's own
};
const robot_entry& roster_entry(int index);

struct robot_brain {
    const char* name;
    int cost_kind;          // normal
    int cost_kind_leading;  // when leading by more than lead_gap
    float lead_gap;         // seconds
    float reaction_min, reaction_max;  // seconds after the gate drop
};
constexpr int robot_brain_count = 5;
const robot_brain& brain(int index);
// Entries 1..4 by name; an unknown name logs and gives 1.
int find_brain(const char* name);

// The roster order, shuffled at each reset with the race's generator, and
// how many entries of it are taken.
void shuffle_robots();
const std::array<int, robot_roster_size>& robot_order();
// A slot kind's roster entry (the kind is 2, 3, 4 or 1000 + rider number);
// more robots than the roster holds take entries again from the front.
int assign_robot_entry(int kind);
// The bike model and setup (number, textures) of the entry a kind takes,
// and the brain kept for the slot.
bool assign_robot(int slot, int kind, int skill, std::string& model, bike_setup& setup);

// ---- options --------------------------------------------------------------------------
struct robot_options_t {
    bool learn = false;     // "--learn": the line file is written at the next reset
    bool practice = false;  // "--practice": every robot gets "tester"
};
extern robot_options_t robot_options;

// ---- the line store ---------------------------------------------------------------------
struct line_point {
    float x = 0, y = 0, z = 0;
    float speed = 0;  // negative while airborne
    float mph = 0;    // forward speed
};
constexpr int lines_per_stretch = 45;
constexpr int unusable_cost = 1000000;
struct riding_line {
    std::vector<line_point> line_points;  // empty: a free entry
    int time_a = 0, time_b = 0;
    int tests = 0;
    int best_a = 1000000, best_b = 1000000;
    int sum_a = 0, sum_b = 0;
    int fails = 0;
    int last_picked = 0;
    int line_id = 0;
};
struct line_store {
    std::vector<std::array<riding_line, lines_per_stretch>> stretches;  // S entries
    int first_lap = 0, normal_lap = 0;  // Fu, Nu
    // Per cost kind 0..2 and stretch: the reference line's id (0: none).
    std::array<std::vector<int>, 3> reference;
};
line_store& lines();
// Empties the store and shapes it for a track with these stretch counts.
void clear_lines(int first_lap, int normal_lap);
// Stretch counts of the loaded track (0, 0 without timing).
void track_stretch_counts(int& first_lap, int& normal_lap);
// The store index of race stretch k (stretches past the first lap repeat).
int store_stretch(int k);
// Unflagged sequence positions before position p: the stretch a rider
// heading for p is in.
int stretch_before(int p);
int next_line_id();

// The file's text; and reading one into the store. A file for another
// stretch count, or with a count out of bounds, is refused with a warning
// and leaves the store empty: false.
std::string encode_lines(const line_store& store);
bool parse_lines(const char* text, size_t length, line_store& store);
// "lines_novice", "lines_amateur", "lines_expert".
const char* lines_file_name(int skill);

// At a reset: with "--learn" the store is written to the current skill's
// file; then it is emptied.
void remember_lines();
// Reads the skill's file of the current track, then "Analyzing lines".
void load_lines(int skill);
// Thinning and the reference chains.
void analyze_lines();

// ---- chains -------------------------------------------------------------------------------
int line_cost(const riding_line& line, int kind);
bool lines_connect(const riding_line& from, const riding_line& to);
// The cheapest chain over `length` race stretches from stretch k that starts
// with line `first` of k; unusable_cost when none continues that far.
long long cheapest_chain_from(int k, int first, int length, int kind);
// Expected time of a line (eviction), in tics.
double expected_time(const riding_line& line);
// The entry of stretch k to evict; -1 when none qualifies.
int eviction_choice(int k);

// ---- learning and statistics -----------------------------------------------------------
// Once a tic for a human rider's bike: the recording buffers.
void learn_tic(bike_state& bike);
// A bike credited with sequence position p.
void gate_credited(int slot, int p);
void learn_from_gate(bike_state& bike, int p2);

// ---- riding -----------------------------------------------------------------------------------
struct robot_state {
    int brain = 1;
    std::vector<line_point> path;
    // (first path index, race stretch) of each line appended to the path.
    std::vector<std::array<int, 2>> path_stretches;
    int target = 0;
    int last_stretch = -1;      // the stretch whose line was appended last
    int last_reached_tic = 0;
    int recovery = 0;           // 0..3
    std::array<std::array<int, 2>, 4> recent{};  // (stretch, line id) of the last four stretches
    float start_timer = 0;
    float throttle = 0;
    int grip_limit_tic = 0;
    int stuck_tics = 0;  // recovery tics spent (nearly) standing still
    // Stuck spells in a row with no path point reached in between, and the
    // reach tic they were counted against; from the second one the bike
    // makes for a point to one side until `detour_until`.
    int stuck_spells = 0, stuck_reached_tic = -1;
    float detour_x = 0, detour_z = 0;
    int detour_until = -1;
    int restart_tic = 0;  // the path was last started again for a missed gate
    // Sent back through a missed gate: the path point past it is not given
    // up until that sequence position is credited (-1: none).
    int hold_target = -1, hold_position = -1;
    bool was_crashed = false;
    // Recording of a human rider: two buffers by stretch parity.
    std::array<std::vector<line_point>, 2> recording;
    std::array<bool, 2> aborted{};
};
robot_state& robot(int slot);
// Every slot's riding state back to its start (a reset).
void clear_robot_states();
// Forgets the line picks of every robot (the end of a reset).
void clear_line_picks();

void robot_tic(bike_state& bike);
void robot_start(bike_state& bike);
void robot_drive(bike_state& bike);
void robot_recover(bike_state& bike);
void robot_speed_control(bike_state& bike, float s, float S);
float path_position(const bike_state& bike);
// The race stretch of the line that path point `index` came from; -1 when
// the path was not filled by picking lines.
int path_stretch_at(const robot_state& r, int index);
// The finished robot's remaining line is slowed down.
void robot_finished(int slot);

// Fills the robots' entries of the race's and the rider code's tables.
void fill_robot_parts(race_driver& race, rider_driver& rider);
