#include "race/timing_gates.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/cmdline.h"
#include "core/diag.h"
#include "vfs/vfs.h"

namespace {

constexpr double pi = 3.14159265358979323846;

float wrap_angle(float a) {
    if (!std::isfinite(a)) return 0;
    double w = std::fmod((double)a + pi, 2 * pi);
    if (w < 0) w += 2 * pi;
    return (float)(w - pi);
}

bool finite3(const float v[3]) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

// The first word of a line (up to 80 characters), or "".
std::string first_word(const char* line) {
    char word[81] = "";
    if (sscanf(line, " %80s", word) != 1) return "";
    return word;
}

bool blank(const char* line) {
    for (const char* p = line; *p; p++)
        if (!isspace((unsigned char)*p)) return false;
    return true;
}

// Reads "%d" entries after a list keyword and clamps them to real gates.
void read_lap_list(vfs_file* f, const char* keyword, int gate_count, std::vector<int>& list) {
    list.clear();
    char word[81] = "";
    if (vfs_scanf(f, " %80s", word) != 1 || strcmp(word, keyword) != 0) return;
    int c = vfs_peekc(f);
    if (c >= 0 && !isspace(c)) return;
    int v;
    while ((int)list.size() < max_lap_entries && vfs_scanf(f, "%d", &v) == 1) {
        // With no gates there is nothing to refer to; timing stays off anyway.
        int last = std::max(gate_count - 1, 0);
        if (v < 0)
            v = 0;
        else if (v >= gate_entry_flag)
            v = gate_entry_flag + std::min(v % gate_entry_flag, last);
        else
            v = std::min(v, last);
        list.push_back(v);
    }
}

int unflagged(const std::vector<int>& list) {
    return (int)std::count_if(list.begin(), list.end(), [](int v) { return v < gate_entry_flag; });
}

}  // namespace

bool timing_lists_valid(int gate_count, const std::vector<int>& first_lap, const std::vector<int>& normal_lap) {
    return gate_count >= 1 && first_lap.size() > 2 && normal_lap.size() > 2 && unflagged(first_lap) > 2 &&
           unflagged(normal_lap) > 2;
}

void load_timing_gates(vfs_file* f, timing_data& out) {
    out = timing_data();
    if (!f) return;
    char word[81] = "";
    if (vfs_scanf(f, " %80s ", word) != 1 || strcmp(word, "startinggate:") != 0) return;

    // Start positions, one a line, up to "checkpoints:".
    char line[4096];
    bool found_checkpoints = false;
    while (vfs_gets(f, line, sizeof line)) {
        if (blank(line)) continue;
        if (first_word(line) == "checkpoints:") {
            found_checkpoints = true;
            break;
        }
        start_gate_position p;
        char files[3][1024] = {"", "", ""};
        int n = sscanf(line, " [ %f %f %f ] %f %1023s %1023s %1023s", &p.position[0], &p.position[1], &p.position[2],
                       &p.angle, files[0], files[1], files[2]);
        if (n < 4) break;
        if (!finite3(p.position)) continue;  // a position that cannot be placed is skipped
        p.angle = wrap_angle(p.angle);
        if (n >= 5) p.model = files[0];
        if (n >= 6) p.texture = files[1];
        if (n >= 7) p.shape = files[2];
        if ((int)out.starts.size() < max_start_positions) out.starts.push_back(p);
    }
    // A list ended by a malformed line still finds its gates further on.
    while (!found_checkpoints && vfs_scanf(f, " %80s", word) == 1)
        if (!strcmp(word, "checkpoints:")) found_checkpoints = true;
    if (!found_checkpoints) return;

    while ((int)out.gates.size() < max_timing_gates) {
        timing_gate g;
        if (vfs_scanf(f, "%f [ %f %f %f ] [ %f %f %f ] ", &g.radius, &g.centre[0], &g.centre[1], &g.centre[2],
                      &g.direction[0], &g.direction[1], &g.direction[2]) != 7)
            break;
        if (!std::isfinite(g.radius) || !finite3(g.centre) || !finite3(g.direction)) {
            // Kept so the lap lists still refer to the right gates, but never crossed.
            g.radius = 0;
            g.centre[0] = g.centre[1] = g.centre[2] = 0;
            g.direction[0] = g.direction[1] = g.direction[2] = 0;
        }
        out.gates.push_back(g);
    }
    int count = (int)out.gates.size();
    read_lap_list(f, "firstlap:", count, out.first_lap);
    read_lap_list(f, "normallap:", count, out.normal_lap);

    out.active = timing_lists_valid(count, out.first_lap, out.normal_lap);
    if (out.active && cmdline.debug_level > 0)
        log_printf("Found %d timing gates, first lap has %d gates, normal lap has %d\n", count,
                   (int)out.first_lap.size(), (int)out.normal_lap.size());
}

std::string encode_timing_gates(const timing_data& d) {
    std::string out = "startinggate:\n";
    char line[4200];
    for (const start_gate_position& p : d.starts) {
        snprintf(line, sizeof line, "[ %f %f %f ] %f", p.position[0], p.position[1], p.position[2], p.angle);
        out += line;
        bool custom = p.model != "@startgate.jm" || p.texture != "@startgate.ppm" || p.shape != "@startgate.shp";
        if (custom) out += " " + p.model + " " + p.texture + " " + p.shape;
        out += "\n";
    }
    out += "checkpoints:\n";
    for (const timing_gate& g : d.gates) {
        snprintf(line, sizeof line, "%f [ %f %f %f ] [ %f %f %f ]\n", g.radius, g.centre[0], g.centre[1],
                 g.centre[2], g.direction[0], g.direction[1], g.direction[2]);
        out += line;
    }
    out += "firstlap:";
    for (int v : d.first_lap) out += " " + std::to_string(v);
    out += "\nnormallap:";
    for (int v : d.normal_lap) out += " " + std::to_string(v);
    out += "\n";
    return out;
}

bool write_timing_gates(const char* name, const timing_data& d) {
    vfs_file* f = vfs_open(name, "=wb");
    if (!f) return false;
    std::string text = encode_timing_gates(d);
    vfs_write(f, text.data(), text.size());
    return vfs_close(f);
}
