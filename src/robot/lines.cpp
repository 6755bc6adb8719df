// The line store of the loaded track: its file, learning from the human
// rider, and what the robots' runs teach about each line.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "bike/bike.h"
#include "bike/rider_control.h"
#include "core/cmdline.h"
#include "core/diag.h"
#include "core/loading.h"
#include "race/race.h"
#include "race/race_tic.h"
#include "robot/robot.h"
#include "track/track.h"
#include "vfs/vfs.h"

namespace {

line_store g_store;
int g_line_id = 0;
int g_skill = 0;

// Bounds on what a file may ask for before anything is allocated: a line
// is sampled every 32 tics, so 20000 points are over an hour of riding.
constexpr int max_file_stretches = 2 * max_lap_entries;
constexpr int max_file_lines = 100000;
constexpr int max_file_points = 20000;

struct text_cursor {
    const char* p;
    const char* end;
    void skip() {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v')) p++;
    }
    bool number(int& out) {
        skip();
        auto r = std::from_chars(p, end, out);
        if (r.ec != std::errc()) return false;
        p = r.ptr;
        return true;
    }
    bool number(float& out) {
        skip();
        if (p < end && *p == '+') p++;
        auto r = std::from_chars(p, end, out);
        if (r.ec != std::errc() || !std::isfinite(out)) return false;
        p = r.ptr;
        return true;
    }
    bool literal(const char* text) {
        skip();
        size_t n = std::strlen(text);
        if ((size_t)(end - p) < n || std::memcmp(p, text, n) != 0) return false;
        p += n;
        return true;
    }
};

bool read_point(text_cursor& c, line_point& pt) {
    return c.literal("[") && c.number(pt.x) && c.number(pt.y) && c.number(pt.z) && c.literal("]") &&
           c.number(pt.speed) && c.number(pt.mph);
}

// Statistics from a long history halved until they fit, then capped.
void age(riding_line& l) {
    for (int k = 0; k < 16 && (l.sum_b > 100000000 || l.tests >= 65536 || l.fails > 65535); k++) {
        int old = std::max(l.tests, 1);
        l.tests /= 2;
        l.fails /= 2;
        double f = (double)l.tests / old;
        l.sum_a = (int)(l.sum_a * f);
        l.sum_b = (int)(l.sum_b * f);
    }
    l.sum_a = std::min(l.sum_a, 100000000);
    l.sum_b = std::min(l.sum_b, 100000000);
    l.tests = std::clamp(l.tests, 0, 65535);
    l.fails = std::clamp(l.fails, 0, 65535);
}

bool valid_position(const slot_timing& t, int p) {
    return p >= 0 && p < (int)t.gate_tics.size() && t.gate_tics[(size_t)p] >= 0;
}

// The unflagged position before p (-1 when none).
int previous_unflagged(int p) {
    for (int q = p - 1; q >= 0; q--) {
        int F = first_lap_length(), N = normal_lap_length();
        const timing_data& td = track_timing();
        int e = q < F ? td.first_lap[(size_t)q] : (N > 0 ? td.normal_lap[(size_t)((q - F) % N)] : gate_entry_flag);
        if (e < gate_entry_flag) return q;
    }
    return -1;
}

bool unflagged(int p) {
    int F = first_lap_length(), N = normal_lap_length();
    const timing_data& td = track_timing();
    if (p < 0 || (p >= F && N <= 0)) return false;
    int e = p < F ? td.first_lap[(size_t)p] : td.normal_lap[(size_t)((p - F) % N)];
    return e < gate_entry_flag;
}

riding_line* line_by_id(int k, int id) {
    if (id <= 0 || g_store.stretches.empty()) return nullptr;
    for (riding_line& l : g_store.stretches[(size_t)store_stretch(k)])
        if (l.line_id == id && !l.line_points.empty()) return &l;
    return nullptr;
}

int recent_line(const robot_state& r, int k) {
    for (const auto& e : r.recent)
        if (e[1] != 0 && e[0] == k) return e[1];
    return 0;
}

line_point point_of(const bike_state& b) {
    double p[3], v[3], rot[9];
    get_body_position(b, body_frame, p);
    get_body_velocity(b, body_frame, v);
    get_body_rotation(b, body_frame, rot);
    line_point pt;
    pt.x = (float)p[0];
    pt.y = (float)p[1];
    pt.z = (float)p[2];
    float s = (float)std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    bool air = !wheel_touches(b.front_contact) && !wheel_touches(b.rear_contact);
    pt.speed = air ? -s : s;
    // Forward is the frame's -z axis (column 2 of the rotation).
    double fwd = -(v[0] * rot[2] + v[1] * rot[5] + v[2] * rot[8]);
    pt.mph = (float)(fwd * 3600.0 / 5280.0);
    return pt;
}

}  // namespace

line_store& lines() { return g_store; }
int next_line_id() { return ++g_line_id; }

void track_stretch_counts(int& first_lap, int& normal_lap) {
    first_lap = normal_lap = 0;
    if (!timing_active()) return;
    for (int e : track_timing().first_lap) first_lap += e < gate_entry_flag;
    for (int e : track_timing().normal_lap) normal_lap += e < gate_entry_flag;
}

void clear_lines(int first_lap, int normal_lap) {
    g_store = line_store{};
    g_store.first_lap = std::max(first_lap, 0);
    g_store.normal_lap = std::max(normal_lap, 0);
    g_store.stretches.resize((size_t)(g_store.first_lap + g_store.normal_lap));
    for (auto& r : g_store.reference) r.assign(g_store.stretches.size(), 0);
}

int store_stretch(int k) {
    int Fu = g_store.first_lap, Nu = g_store.normal_lap;
    if (k < 0) return 0;
    if (k < Fu || Nu <= 0) return std::min(k, std::max(Fu + Nu - 1, 0));
    return Fu + (k - Fu) % Nu;
}

int stretch_before(int p) {
    int F = first_lap_length(), N = normal_lap_length();
    int Fu = 0, Nu = 0;
    track_stretch_counts(Fu, Nu);
    const timing_data& td = track_timing();
    int count = 0;
    for (int q = 0; q < std::min(p, F); q++) count += td.first_lap[(size_t)q] < gate_entry_flag;
    if (p > F && N > 0) {
        int rest = p - F;
        count += (rest / N) * Nu;
        for (int q = 0; q < rest % N; q++) count += td.normal_lap[(size_t)q] < gate_entry_flag;
    }
    return count;
}

const char* lines_file_name(int skill) {
    static const char* const names[3] = {"lines_novice", "lines_amateur", "lines_expert"};
    return names[std::clamp(skill, 0, 2)];
}

std::string encode_lines(const line_store& store) {
    std::string out;
    char buf[160];
    std::snprintf(buf, sizeof buf, "ct03 %d\n", (int)store.stretches.size());
    out += buf;
    for (const auto& stretch : store.stretches) {
        int n = 0;
        for (const riding_line& l : stretch) n += !l.line_points.empty();
        std::snprintf(buf, sizeof buf, "%d\n", n);
        out += buf;
        for (const riding_line& l : stretch) {
            if (l.line_points.empty()) continue;
            std::snprintf(buf, sizeof buf, "%d %d %d %d %d %d %d %d %d\n", (int)l.line_points.size(), l.time_a,
                          l.time_b, l.tests, l.best_a, l.best_b, l.sum_a, l.sum_b, l.fails);
            out += buf;
            for (const line_point& p : l.line_points) {
                std::snprintf(buf, sizeof buf, "[%f %f %f] %f %f\n", p.x, p.y, p.z, p.speed, p.mph);
                out += buf;
            }
        }
    }
    return out;
}

bool parse_lines(const char* text, size_t length, line_store& store) {
    int Fu = store.first_lap, Nu = store.normal_lap;
    line_store fresh;
    fresh.first_lap = Fu;
    fresh.normal_lap = Nu;
    fresh.stretches.resize((size_t)(Fu + Nu));
    for (auto& r : fresh.reference) r.assign(fresh.stretches.size(), 0);
    text_cursor c{text, text + length};
    int S = 0;
    if (!c.literal("ct03") || !c.number(S) || S < 0 || S > max_file_stretches) {
        log_printf("lines warning: not a lines file\n");
        store = fresh;
        return false;
    }
    if (S != Fu + Nu) {
        log_printf("lines warning: the file has %d stretches, the track %d\n", S, Fu + Nu);
        store = fresh;
        return false;
    }
    for (int k = 0; k < S; k++) {
        int count = 0;
        if (!c.number(count) || count < 0 || count > max_file_lines) {
            log_printf("lines warning: bad line count in stretch %d\n", k);
            store = fresh;
            return false;
        }
        int kept = 0;
        for (int n = 0; n < count; n++) {
            riding_line l;
            int pc = 0;
            if (!c.number(pc) || !c.number(l.time_a) || !c.number(l.time_b) || !c.number(l.tests) ||
                !c.number(l.best_a) || !c.number(l.best_b) || !c.number(l.sum_a) || !c.number(l.sum_b) ||
                !c.number(l.fails) || pc < 0 || pc > max_file_points) {
                log_printf("lines warning: bad line header in stretch %d\n", k);
                store = fresh;
                return false;
            }
            bool whole = true;
            for (int q = 0; q < pc; q++) {
                line_point pt;
                if (!read_point(c, pt)) {
                    whole = false;
                    break;
                }
                l.line_points.push_back(pt);
            }
            if (!whole) {
                // The rest of the file cannot be found again after a broken point.
                log_printf("lines warning: a line of stretch %d does not parse\n", k);
                store = fresh;
                return false;
            }
            if (kept >= lines_per_stretch || pc == 0) continue;
            l.tests = std::max(l.tests, 0);
            l.fails = std::max(l.fails, 0);
            l.sum_a = std::max(l.sum_a, 0);
            l.sum_b = std::max(l.sum_b, 0);
            age(l);
            l.line_id = next_line_id();
            l.last_picked = 0;
            fresh.stretches[(size_t)k][(size_t)kept++] = std::move(l);
        }
        if (cmdline.debug_level > 0) log_printf("%d: %d\n", k, kept);
    }
    store = std::move(fresh);
    return true;
}

void remember_lines() {
    loading_step_begin("Remembering lines");
    if (robot_options.learn && current_track_dir && !g_store.stretches.empty()) {
        std::string name = "@" + *current_track_dir + "/" + lines_file_name(g_skill);
        make_directories(home_path(("@" + *current_track_dir).c_str()).c_str());
        std::string text = encode_lines(g_store);
        vfs_file* f = vfs_open(name.c_str(), "=wb");
        bool ok = f && vfs_write(f, text.data(), text.size()) == text.size();
        if (f) ok = vfs_close(f) && ok;
        if (!ok) log_printf("Could not write %s\n", name.c_str());
    }
    g_store = line_store{};
    loading_step_done("Remembering lines");
}

void load_lines(int skill) {
    g_skill = std::clamp(skill, 0, 2);
    int Fu = 0, Nu = 0;
    track_stretch_counts(Fu, Nu);
    clear_lines(Fu, Nu);
    if (Fu + Nu > 0 && current_track_dir) {
        std::string name = std::string(current_track_dir->c_str()) + "/" + lines_file_name(g_skill);
        size_t length = 0;
        // What this player's robots learned comes before the shipped file.
        char* text = file_to_string(("@" + name).c_str(), &length);
        if (!text) text = file_to_string(name.c_str(), &length);
        if (text) {
            parse_lines(text, length, g_store);
            std::free(text);
        }
    }
    analyze_lines();
}

// ---- learning ------------------------------------------------------------------------
double expected_time(const riding_line& l) {
    if (l.line_points.empty()) return 1e30;
    if (l.tests < 1) return l.time_b * 1.25 + (l.fails > 0 ? 640 : 0);
    return 640.0 * l.fails / (l.tests + l.fails) + (double)l.sum_b / l.tests;
}

int eviction_choice(int k) {
    if (k < 0 || k >= (int)g_store.stretches.size()) return -1;
    auto& st = g_store.stretches[(size_t)k];
    int good = 0;
    for (const riding_line& l : st) good += !l.line_points.empty() && l.fails < l.tests;
    int best = -1;
    double worst = -1;
    for (int i = 0; i < lines_per_stretch; i++) {
        const riding_line& l = st[(size_t)i];
        if (l.line_points.empty()) continue;
        if (!(l.fails >= l.tests || good > 22)) continue;
        double v = expected_time(l);
        bool unique = true;
        for (int j = 0; j < lines_per_stretch && unique; j++) {
            const riding_line& m = st[(size_t)j];
            if (j == i || m.line_points.empty()) continue;
            float dx = m.line_points[0].x - l.line_points[0].x, dy = m.line_points[0].y - l.line_points[0].y,
                  dz = m.line_points[0].z - l.line_points[0].z;
            if (dx * dx + dy * dy + dz * dz <= 4) unique = false;
        }
        if (unique) v *= 0.75;
        if (v > worst) {
            worst = v;
            best = i;
        }
    }
    return best;
}

void learn_tic(bike_state& b) {
    robot_state& r = robot(b.slot_index);
    const slot_timing& t = race_slots[(size_t)b.slot_index].timing;
    int parity = stretch_before(t.gates_passed) & 1;
    if (b.crash_countdown > 0 || b.position_fault) r.aborted[(size_t)parity] = true;
    if (race.tic % 32 == 0 && race.tic >= race.gate_drop_tic) r.recording[(size_t)parity].push_back(point_of(b));
}

void learn_from_gate(bike_state& b, int p2) {
    robot_state& r = robot(b.slot_index);
    const slot_timing& t = race_slots[(size_t)b.slot_index].timing;
    int p1 = previous_unflagged(p2);
    int p0 = p1 >= 0 ? previous_unflagged(p1) : -1;
    if (p1 < 0) return;
    int k = stretch_before(p1);
    std::vector<line_point>& buffer = r.recording[(size_t)(k & 1)];
    bool& aborted = r.aborted[(size_t)(k & 1)];
    // The first stretch starts at the gate drop, not at a gate.
    int tic0 = p0 >= 0 ? (valid_position(t, p0) ? t.gate_tics[(size_t)p0] : -1) : race.gate_drop_tic;
    bool whole = tic0 >= 0;
    for (int p = std::max(p0, 0); p <= p2 && whole; p++) whole = valid_position(t, p);
    int dbg = cmdline.debug_level;
    if (whole && !buffer.empty() && !aborted && !g_store.stretches.empty()) {
        riding_line cand;
        cand.line_points = buffer;
        cand.time_a = t.gate_tics[(size_t)p1] - tic0;
        cand.time_b = t.gate_tics[(size_t)p2] - tic0;
        auto& st = g_store.stretches[(size_t)store_stretch(k)];
        bool duplicate = false;
        for (const riding_line& l : st) {
            if (l.line_points.size() != cand.line_points.size() || l.line_points.empty()) continue;
            bool same = true;
            for (size_t q = 0; q < l.line_points.size() && same; q++) {
                const line_point &a = l.line_points[q], &c = cand.line_points[q];
                float dx = a.x - c.x, dy = a.y - c.y, dz = a.z - c.z;
                same = std::fabs(a.speed - c.speed) <= 1.0f / 16 && dx * dx + dy * dy + dz * dz <= 1.0f / 256;
            }
            if (same) duplicate = true;
        }
        if (duplicate) {
            if (dbg > 0) log_printf("auto pilot: %d rejected (duplicate)\n", k);
        } else {
            int slot = -1;
            for (int i = 0; i < lines_per_stretch && slot < 0; i++)
                if (st[(size_t)i].line_points.empty()) slot = i;
            if (slot < 0) slot = eviction_choice(store_stretch(k));
            if (slot < 0) {
                if (dbg > 0) log_printf("auto pilot: %d rejected (too slow)\n", k);
            } else {
                riding_line& old = st[(size_t)slot];
                double y = expected_time(old);
                if (y >= cand.time_b * 1.25) {
                    if (!old.line_points.empty() && dbg > 0)
                        log_printf("auto pilot: evicting %d (times: %.2f %.2f tested (%d %d): %.2f %.2f repl: %f %f)\n",
                                   k, old.time_a / 128.0, old.time_b / 128.0, old.tests, old.fails,
                                   old.tests ? old.sum_a / 128.0 / old.tests : 0.0,
                                   old.tests ? old.sum_b / 128.0 / old.tests : 0.0, cand.time_a / 128.0,
                                   cand.time_b / 128.0);
                    cand.line_id = next_line_id();
                    old = std::move(cand);
                } else if (dbg > 0) {
                    log_printf("auto pilot: %d rejected (too slow)\n", k);
                }
            }
        }
    } else if (dbg > 0) {
        log_printf("auto pilot: %d canceled\n", k);
    }
    // The buffer now records the stretch after next.
    buffer.clear();
    aborted = false;
}

void gate_credited(int slot, int p) {
    bike_state* b = bike_in_slot(slot);
    if (!b || !unflagged(p)) return;
    int type = race_slots[(size_t)slot].type;
    if (type == local_slot) {
        learn_from_gate(*b, p);
        return;
    }
    if (type != robot_slot || g_store.stretches.empty()) return;
    robot_state& r = robot(slot);
    const slot_timing& t = race_slots[(size_t)slot].timing;
    // On its path: near the path segment around it, and about as fast as
    // the line was ridden.
    bool on_path = false;
    if (r.path.size() >= 2) {
        float tp = path_position(*b);
        size_t i = std::min((size_t)std::max(tp, 0.0f), r.path.size() - 2);
        double pos[3], v[3];
        get_body_position(*b, body_frame, pos);
        get_body_velocity(*b, body_frame, v);
        const line_point &a = r.path[i], &c = r.path[i + 1];
        double sx = c.x - a.x, sy = c.y - a.y, sz = c.z - a.z, len2 = sx * sx + sy * sy + sz * sz;
        double u = len2 > 0 ? std::clamp(((pos[0] - a.x) * sx + (pos[1] - a.y) * sy + (pos[2] - a.z) * sz) / len2, 0.0, 1.0) : 0;
        double dx = pos[0] - (a.x + u * sx), dy = pos[1] - (a.y + u * sy), dz = pos[2] - (a.z + u * sz);
        double s = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        on_path = dx * dx + dy * dy + dz * dz <= 16 &&
                  std::max(std::fabs(a.speed), std::fabs(c.speed)) >= 0.9375 * s;
    }
    int p1 = previous_unflagged(p);
    int p0 = p1 >= 0 ? previous_unflagged(p1) : -1;
    if (on_path) {
        if (p1 < 0) return;
        int k = stretch_before(p1);
        int tic0 = p0 >= 0 ? (valid_position(t, p0) ? t.gate_tics[(size_t)p0] : -1) : race.gate_drop_tic;
        bool whole = tic0 >= 0;
        for (int q = std::max(p0, 0); q <= p && whole; q++) whole = valid_position(t, q);
        riding_line* l = line_by_id(k, recent_line(r, k));
        if (!whole || !l) return;
        int a = t.gate_tics[(size_t)p1] - tic0, bt = t.gate_tics[(size_t)p] - tic0;
        l->tests = std::min(l->tests + 1, 65535);
        l->best_a = std::min(l->best_a, a);
        l->best_b = std::min(l->best_b, bt);
        l->sum_a = std::min(l->sum_a + a, 100000000);
        l->sum_b = std::min(l->sum_b + bt, 100000000);
    } else {
        int k = stretch_before(t.gates_passed);
        if (riding_line* l = line_by_id(k, recent_line(r, k))) l->fails = std::min(l->fails + 1, 65535);
    }
}
