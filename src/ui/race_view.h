// What the HUD shows of a race, as one plain record the race code fills, and
// the texts of the results table, the rider panel and the lapping warning
// made from it. Nothing here draws.
#pragma once

#include <string>
#include <vector>

struct hud_rider {
    int slot = -1;
    std::string number;          // plate text
    std::string name;            // network name (remote riders), else ""
    int gates_passed = 0;        // sequence positions credited
    std::vector<int> gate_tics;  // per position: the tic it was passed, -1 skipped
    bool finished = false;
    // Final standings: positions and final tic after the cutting charges
    // (equal to the plain values while none applies).
    int final_positions = 0;
    int final_tic = 0;
};

struct hud_race_view {
    bool timing = false;          // the track has timing gates
    std::vector<int> first_lap;   // gate entries (an entry may carry +100000)
    std::vector<int> normal_lap;
    int tic = 0;
    int gate_drop_tic = 0;
    int race_time = 0;   // tics; 0 for a race of laps only
    int extra_laps = 0;
    bool time_trial = false;
    bool official = false;         // the server's official results
    bool results_written = false;  // `order` is the final standings
    std::vector<hud_rider> order;  // the running order, leader first
    // Time trials: the last and best attempt times in seconds (0: none).
    double last_attempt = 0, best_attempt = 0;
};

// Where the HUD reads the record: the game points it at race_state_view at
// start-up, the HUD tests at records of their own; null, the HUD shows no race.
using race_view_source = bool (*)(hud_race_view& out);
extern race_view_source hud_race_source;
// The record read from the race state.
bool race_state_view(hud_race_view& out);

// ---- timing arithmetic on the record ------------------------------------------------
int view_laps_completed(const hud_race_view& v, const hud_rider& r);
// Seconds of lap k (1-based; a negative k is the last completed lap), 0 when
// unknown.
double view_lap_time(const hud_race_view& v, const hud_rider& r, int k);
// The fastest lap from lap 2 on (earlier lap on ties), 0 with fewer than two.
int view_best_lap(const hud_race_view& v, const hud_rider& r);
// Seconds from a's to b's crossing of the last position both passed (0 when
// they share none).
double crossing_gap(const hud_rider& a, const hud_rider& b);
// The index of the slot in the order, or -1.
int order_index(const hud_race_view& v, int slot);

// ---- texts ----------------------------------------------------------------------------
// "%d:%02d.%03d" and "%d:%02d.%d" of seconds.
std::string format_millis(double seconds);
std::string format_tenths(double seconds);

struct results_row {
    std::string position, number, lap, gap, best_time, best_lap;
    bool viewed = false;
};
struct results_table {
    bool shown = false;  // the leader has finished
    std::string title;   // "Final Results" / "Unofficial Results"
    std::vector<results_row> rows;
    std::string total_time;                  // official results only
    std::vector<std::string> penalty_lines;  // official results only
};
results_table build_results_table(const hud_race_view& v, int viewed_slot);

struct rider_panel {
    bool shown = false;
    std::string number;
    std::string lap_position;  // "L%d P%d" or "P%d"
    std::string gap;           // "%+.1f "
    std::string times;         // "Last - … " "Best - …"
    std::string lapping;       // the warning line, "" for none
};
rider_panel build_rider_panel(const hud_race_view& v, int viewed_slot);
std::string lapping_warning(const hud_race_view& v, int viewed_index);
