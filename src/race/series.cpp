// Points series: loading, standings files, ranking and crediting an event.
#include "race/series.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/cmdline.h"
#include "core/diag.h"
#include "core/text.h"
#include "race/race.h"
#include "race/results.h"
#include "track/track.h"
#include "vfs/vfs.h"

int entered_series = -1, entered_event = -1;

namespace {

std::vector<points_series> g_series;

// Items of a series or standings file: quoted texts, words and "%d" numbers.
struct item_reader {
    const char* p;
    void skip_blanks() {
        while (*p && isspace((unsigned char)*p)) p++;
    }
    // A text in double quotes, or failing that one word; at most 1023
    // characters are kept.
    bool text(std::string& out) {
        skip_blanks();
        out.clear();
        if (!*p) return false;
        if (*p == '"') {
            const char* end = strchr(p + 1, '"');
            if (end) {
                out.assign(p + 1, std::min((size_t)(end - p - 1), series_text_limit));
                p = end + 1;
                return true;
            }
        }
        const char* start = p;
        while (*p && !isspace((unsigned char)*p)) p++;
        out.assign(start, std::min((size_t)(p - start), series_text_limit));
        return true;
    }
    bool word(std::string& out) {
        skip_blanks();
        if (!*p) return false;
        const char* start = p;
        while (*p && !isspace((unsigned char)*p)) p++;
        out.assign(start, std::min((size_t)(p - start), series_text_limit));
        return true;
    }
    // "%d"; a number out of the int range does not count as one.
    bool number(int& out) {
        skip_blanks();
        const char* q = p;
        if (*q == '+' || *q == '-') q++;
        if (!isdigit((unsigned char)*q)) return false;
        char* end = nullptr;
        long long v = strtoll(p, &end, 10);
        if (v < INT_MIN || v > INT_MAX) return false;
        out = (int)v;
        p = end;
        return true;
    }
};

bool fail(const char* file, const char* why) {
    show_messagef("series warning: %s: %s, series skipped\n", file, why);
    return false;
}

bool read_points(item_reader& r, std::array<int, 160>& points) {
    points.fill(0);
    for (int k = 0; k < series_points_read; k++)
        if (!r.number(points[(size_t)k])) return false;
    return true;
}

int track_index(const std::string& dir) {
    const std::vector<std::string>& dirs = track_dirs();
    for (size_t i = 0; i < dirs.size(); i++)
        if (dirs[i] == dir) return (int)i;
    return -1;
}

// The riders of the race in order: the final standings once they are
// written, else the running order as it stands.
std::vector<int> riders_in_order() {
    std::vector<int> slots;
    if (race.results_written)
        for (const standing_entry& e : final_standings()) slots.push_back(e.slot);
    else
        for (const running_entry& e : running_order()) slots.push_back(e.slot);
    return slots;
}

}  // namespace

std::vector<points_series>& series_list() { return g_series; }

bool parse_series(const char* file, const char* text, points_series& out) {
    out = points_series{};
    out.file = file;
    out.standings_path = std::string("@") + file + "_standings";
    item_reader r{text};
    if (!r.text(out.name)) return fail(file, "no name");
    if (cmdline.debug_level > 0) log_printf("series %s (%s)\n", file, out.name.c_str());
    int robots = 0;
    std::string skill;
    if (!r.number(robots) || !r.word(skill)) return fail(file, "no robot count and skill");
    if (robots < 0 || robots >= series_rider_limit) return fail(file, "robot count out of range");
    out.robot_skill = skill == "Novice" ? 0 : skill == "Amateur" ? 1 : 2;
    out.robot_numbers.resize((size_t)robots);
    for (int& n : out.robot_numbers) {
        if (!r.number(n)) return fail(file, "missing robot number");
        // A plate holds seven characters; lineup kinds are 1000 + number.
        if (n < 0 || n > 9999999) return fail(file, "robot number out of range");
    }
    int events = 0;
    if (!r.number(events)) return fail(file, "no event count");
    if (events < 0 || events > series_event_limit) return fail(file, "event count out of range");
    out.events.resize((size_t)events);
    for (series_event& e : out.events) {
        if (!r.text(e.name) || !r.text(e.track_dir)) return fail(file, "missing event name or track");
        e.track = track_index(e.track_dir);
        if (e.track < 0) return fail(file, "event track not in the track list");
        if (cmdline.debug_level > 0) log_printf("  event %s (%s)\n", e.track_dir.c_str(), e.name.c_str());
        if (!r.number(e.minutes) || !r.number(e.laps)) return fail(file, "missing minutes or laps");
        if (!read_points(r, e.moto_points) || !read_points(r, e.round_points))
            return fail(file, "missing points values");
        if (cmdline.debug_level > 0) log_printf("  event %s (%s)\n", e.track_dir.c_str(), e.name.c_str());
    }
    return true;
}

void read_series_standings(points_series& s) {
    s.completed_events = 0;
    char* text = file_to_string(s.standings_path.c_str());
    if (!text) return;
    parse_series_standings(s, text);
    free(text);
}

void parse_series_standings(points_series& s, const char* text) {
    s.completed_events = 0;
    item_reader r{text};
    int riders = s.riders();
    std::array<int, 160> places{};
    for (series_event& e : s.events) {
        bool whole = true;
        for (int i = 0; i < riders && whole; i++) {
            int v = 0;
            // A place outside 1 … R + 1 would index past the points tables.
            whole = r.number(v) && v >= 1 && v <= riders;
            if (whole) places[(size_t)i] = v - 1;
        }
        if (!whole) break;
        e.series_places = places;
        s.completed_events++;
    }
}

bool write_series_standings(const points_series& s) {
    std::string text;
    for (int k = 0; k < s.completed_events && k < (int)s.events.size(); k++) {
        for (int i = 0; i < s.riders(); i++) text += format_string("%d ", s.events[(size_t)k].series_places[(size_t)i] + 1);
        text += "\n";
    }
    std::string path = home_path(s.standings_path.c_str());
    if (!path.empty()) make_directories(path.c_str());
    vfs_file* f = vfs_open(s.standings_path.c_str(), "=wb");
    if (!f) return false;
    vfs_write(f, text.data(), text.size());
    return vfs_close(f);
}

void compute_series_order(points_series& s) {
    int riders = s.riders();
    std::vector<long> totals((size_t)riders, 0);
    for (int k = 0; k < s.completed_events && k < (int)s.events.size(); k++) {
        series_event& e = s.events[(size_t)k];
        for (int i = 0; i < riders; i++) totals[(size_t)i] += e.moto_points[(size_t)std::clamp(e.series_places[(size_t)i], 0, 159)];
        if (!e.ends_round()) continue;
        for (int n = 0; n < riders; n++) {
            int pick = 0;
            for (int i = 1; i < riders; i++) {
                if (totals[(size_t)i] > totals[(size_t)pick] ||
                    (totals[(size_t)i] == totals[(size_t)pick] && e.series_places[(size_t)i] < e.series_places[(size_t)pick]))
                    pick = i;
            }
            e.series_order[(size_t)pick] = n;
            totals[(size_t)pick] = -1000000;
        }
    }
}

void credit_series_event() {
    int si = entered_series, ei = entered_event;
    entered_series = entered_event = -1;
    if (si < 0 || si >= (int)g_series.size()) return;
    points_series& s = g_series[(size_t)si];
    if (ei != s.completed_events || ei < 0 || ei >= (int)s.events.size()) return;
    series_event& e = s.events[(size_t)ei];
    int R = (int)s.robot_numbers.size();
    e.series_places.fill(R);
    std::vector<bool> placed((size_t)R + 1, false);
    int next = 0;
    for (int slot : riders_in_order()) {
        const race_slot& rs = race_slots[(size_t)slot];
        if (rs.type == local_slot) {
            // Left early: only a clean finish counts.
            bool counts = race.results_written ||
                          (rs.timing.finished && cutting_penalty(slot).tics == 0);
            if (counts && !placed[(size_t)R]) {
                e.series_places[(size_t)R] = next++;
                placed[(size_t)R] = true;
            }
            continue;
        }
        // The first robot of that number not placed yet: a human sharing the
        // number, or a second rider with it, never places a robot twice.
        for (int k = 0; k < R; k++) {
            if (placed[(size_t)k] || format_string("%d", s.robot_numbers[(size_t)k]) != rs.number) continue;
            e.series_places[(size_t)k] = next++;
            placed[(size_t)k] = true;
            break;
        }
    }
    s.completed_events++;
    compute_series_order(s);
    write_series_standings(s);
}

void load_series_files() {
    g_series.clear();
    entered_series = entered_event = -1;
    for (const char* const* name = file_list(); name && *name; name++) {
        size_t n = strlen(*name);
        if (n < 7 || strcmp(*name + n - 7, ".series") != 0) continue;
        std::string at = std::string("@") + *name;
        char* text = file_to_string(at.c_str());
        if (!text) {
            show_messagef("series warning: %s: cannot be read, series skipped\n", *name);
            continue;
        }
        points_series s;
        bool ok = parse_series(*name, text, s);
        free(text);
        if (!ok) continue;
        read_series_standings(s);
        compute_series_order(s);
        g_series.push_back(std::move(s));
    }
    log_printf("%d points series found\n", (int)g_series.size());
}

void free_series() {
    g_series.clear();
    entered_series = entered_event = -1;
}

std::vector<series_round> completed_rounds(const points_series& s) {
    std::vector<series_round> rounds;
    int first = 0;
    for (int k = 0; k < (int)s.events.size(); k++) {
        bool last = s.events[(size_t)k].ends_round() || k + 1 == (int)s.events.size();
        if (!last) continue;
        if (first < s.completed_events) rounds.push_back(series_round{k, first});
        first = k + 1;
    }
    return rounds;
}

int round_points_of(const points_series& s, const series_round& r, int rider) {
    if (r.last_event >= s.completed_events || rider < 0 || rider >= s.riders()) return 0;
    const series_event& e = s.events[(size_t)r.last_event];
    if (!e.ends_round()) return 0;
    return e.round_points[(size_t)std::clamp(e.series_order[(size_t)rider], 0, 159)];
}

int series_total(const points_series& s, int rider) {
    int total = 0;
    for (const series_round& r : completed_rounds(s)) total += round_points_of(s, r, rider);
    return total;
}

std::string round_cell(const points_series& s, const series_round& r, int rider) {
    bool done = r.last_event < s.completed_events;
    std::string places;
    for (int k = r.first_event; k <= r.last_event && k < s.completed_events; k++) {
        if (!places.empty()) places += "-";
        places += format_string("%d", s.events[(size_t)k].series_places[(size_t)rider] + 1);
    }
    if (!done) return "- (" + places + "-)";
    return format_string("%d (", round_points_of(s, r, rider)) + places + ")";
}

std::vector<int> series_table_order(const points_series& s) {
    std::vector<series_round> rounds = completed_rounds(s);
    int latest = -1;
    for (const series_round& r : rounds)
        if (r.last_event < s.completed_events && s.events[(size_t)r.last_event].ends_round()) latest = r.last_event;
    std::vector<int> riders((size_t)s.riders());
    std::vector<int> totals((size_t)s.riders());
    for (int i = 0; i < s.riders(); i++) {
        riders[(size_t)i] = i;
        totals[(size_t)i] = series_total(s, i);
    }
    std::stable_sort(riders.begin(), riders.end(), [&](int a, int b) {
        if (totals[(size_t)a] != totals[(size_t)b]) return totals[(size_t)a] > totals[(size_t)b];
        if (latest < 0) return false;
        return s.events[(size_t)latest].series_order[(size_t)a] < s.events[(size_t)latest].series_order[(size_t)b];
    });
    return riders;
}

std::array<int, 160> series_lineup(const points_series& s) {
    std::array<int, 160> kinds{};
    int R = (int)s.robot_numbers.size();
    auto kind_of = [&](int rider) { return rider < R ? 1000 + s.robot_numbers[(size_t)rider] : 1; };
    if (s.completed_events == 0 || s.completed_events > (int)s.events.size()) {
        for (int k = 0; k <= R && k < 160; k++) kinds[(size_t)k] = kind_of(k);
        return kinds;
    }
    // The grid picks of the previous event's riders, last place first.
    static const int small_field[15] = {6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 32, 34};
    static const int large_field[20] = {10, 9, 11, 8, 12, 7, 13, 6, 14, 5, 15, 4, 16, 3, 17, 2, 18, 1, 19, 0};
    auto slot_for = [&](int n) { return R <= 14 ? small_field[n] : n < 20 ? large_field[n] : n; };
    const series_event& prev = s.events[(size_t)s.completed_events - 1];
    int n = 0;
    for (int place = R; place >= 0; place--)
        for (int rider = 0; rider <= R; rider++)
            if (std::min(prev.series_places[(size_t)rider], R) == place && n < 160) kinds[(size_t)slot_for(n++)] = kind_of(rider);
    return kinds;
}
