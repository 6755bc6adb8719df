// Points series: the ".series" files with their events, the standings files
// that keep a season's results, how the riders are ranked after each round,
// and how the entered event is credited from a race's result.
#pragma once

#include <array>
#include <string>
#include <vector>

constexpr int series_rider_limit = 160;  // robots R below it, plus the human
constexpr int series_points_read = 40;   // points values read per table
constexpr int series_event_limit = 1000;
constexpr size_t series_text_limit = 1023;

struct series_event {
    std::string name;
    int track = -1;          // index in the track list
    std::string track_dir;   // the track's directory
    int minutes = 0, laps = 0;
    std::array<int, 160> moto_points{};    // by finishing place, 0 beyond 40
    std::array<int, 160> round_points{};   // by standing, 0 beyond 40
    std::array<int, 160> series_places{};  // per rider, 0-based place
    std::array<int, 160> series_order{};   // per rider, 0-based standing after the round
    // The event ends a round (its round points start with a value).
    bool ends_round() const { return round_points[0] != 0; }
};

struct points_series {
    std::string name;
    std::string file;            // the file index's name of the ".series" file
    std::string standings_path;  // "@" + file + "_standings"
    std::vector<series_event> events;
    int completed_events = 0;
    int robot_skill = 2;  // 0 Novice, 1 Amateur, 2 Expert
    std::vector<int> robot_numbers;  // R entries; rider R is the human
    int riders() const { return (int)robot_numbers.size() + 1; }
};

// Every series loaded, in file-index order.
std::vector<points_series>& series_list();
// The event the player entered for points (-1: none).
extern int entered_series, entered_event;

// Reads every ".series" file of the index with its standings; a file that
// does not parse is left out with a warning.
void load_series_files();
void free_series();
// One series from an open stream named `file`; false (with the warning
// logged) when it does not parse.
bool parse_series(const char* file, const char* text, points_series& out);
// Reads the series' standings file: completed events and their places.
void read_series_standings(points_series& s);
// The same from the file's text: per event R + 1 places + 1, up to the first
// event that is short or holds a value outside 1 … R + 1.
void parse_series_standings(points_series& s, const char* text);
// Writes it through a temporary file; false when that failed (the old one
// stays).
bool write_series_standings(const points_series& s);
// Ranks the riders at the end of every completed round.
void compute_series_order(points_series& s);
// Credits the entered event from the final standings (or, when the race was
// left early, the running order), once; then forgets it.
void credit_series_event();

// The standings a menu shows.
struct series_round {
    int last_event = 0;  // the scoring event that ends it
    int first_event = 0; // its first moto
};
// The rounds with results so far, and the rounds a series has at all.
std::vector<series_round> completed_rounds(const points_series& s);
// Points of rider i in the round, and the series total over the completed rounds.
int round_points_of(const points_series& s, const series_round& r, int rider);
int series_total(const points_series& s, int rider);
// A round's cell: "%d (%d)", "%d (%d-%d)", "%d (%d-%d-%d)", or "- (%d-)" while
// only the first of its motos has been ridden.
std::string round_cell(const points_series& s, const series_round& r, int rider);
// Riders by total, descending, ties by the standing in the latest round.
std::vector<int> series_table_order(const points_series& s);
// The slot kinds for the series' next event (robots 1000 + number, the
// human 1), seeded by the places of the previous event.
std::array<int, 160> series_lineup(const points_series& s);
