// Which lines follow one another, what a line costs, the cheapest chains of
// lines, and the thinning of crowded stretches.
#include <algorithm>
#include <bit>
#include <cmath>

#include "core/cmdline.h"
#include "core/diag.h"
#include "core/loading.h"
#include "robot/robot.h"

namespace {

float hdist(float ax, float az, float bx, float bz) { return std::hypot(ax - bx, az - bz); }

// The point after the line's last, continued from its last three.
line_point extrapolated_end(const std::vector<line_point>& pts) {
    size_t n = pts.size();
    const line_point &c = pts[n - 1], &b = pts[n - 2], &a = pts[n - 3];
    line_point e = c;
    // Second-order continuation: the last step plus the change of step.
    e.x = 3 * c.x - 3 * b.x + a.x;
    e.y = 3 * c.y - 3 * b.y + a.y;
    e.z = 3 * c.z - 3 * b.z + a.z;
    return e;
}

bool segments_cross(const line_point& a, const line_point& b, const line_point& c, const line_point& d) {
    auto side = [](const line_point& p, const line_point& q, const line_point& r) {
        return (q.x - p.x) * (r.z - p.z) - (q.z - p.z) * (r.x - p.x);
    };
    float d1 = side(a, b, c), d2 = side(a, b, d), d3 = side(c, d, a), d4 = side(c, d, b);
    return ((d1 > 0) != (d2 > 0)) && ((d3 > 0) != (d4 > 0)) && d1 != 0 && d2 != 0 && d3 != 0 && d4 != 0;
}

bool paths_cross(const riding_line& l, const riding_line& m) {
    for (size_t i = 0; i + 1 < l.line_points.size(); i++)
        for (size_t j = 0; j + 1 < m.line_points.size(); j++)
            if (segments_cross(l.line_points[i], l.line_points[i + 1], m.line_points[j], m.line_points[j + 1]))
                return true;
    return false;
}

double average_time(const riding_line& l) { return l.tests > 0 ? (double)l.sum_a / l.tests : 1e30; }

void thin(int k) {
    auto& st = lines().stretches[(size_t)k];
    auto count = [&] {
        int n = 0;
        for (const riding_line& l : st) n += !l.line_points.empty();
        return n;
    };
    while (count() >= 44) {
        int worst = -1, crossings = -1;
        for (int i = 0; i < lines_per_stretch; i++) {
            if (st[(size_t)i].line_points.empty()) continue;
            int c = 0;
            for (int j = 0; j < lines_per_stretch; j++)
                if (j != i && !st[(size_t)j].line_points.empty()) c += paths_cross(st[(size_t)i], st[(size_t)j]);
            if (c > crossings || (c == crossings && average_time(st[(size_t)i]) > average_time(st[(size_t)worst]))) {
                crossings = c;
                worst = i;
            }
        }
        if (worst >= 0) st[(size_t)worst] = riding_line{};
        if (count() < 44) break;
        int e = eviction_choice(k);
        if (e >= 0) st[(size_t)e] = riding_line{};
    }
}

// A chain of `stretches` store stretches starting at race stretch k: the
// cheapest cost of each line of the first, optionally forced to end in a
// line connecting to `close_to` (a line of the stretch after the last).
// choice[d][i]: the next line of the chain from line i at depth d.
struct chain_result {
    std::vector<long long> cost;  // per line of stretch k
    std::vector<std::vector<int>> next;
};

chain_result chains(int k, int stretches, int kind, const riding_line* close_to) {
    chain_result out;
    line_store& s = lines();
    out.next.assign((size_t)stretches, std::vector<int>(lines_per_stretch, -1));
    std::vector<long long> after(lines_per_stretch, 0);
    for (int d = stretches - 1; d >= 0; d--) {
        auto& st = s.stretches[(size_t)store_stretch(k + d)];
        std::vector<long long> here(lines_per_stretch, (long long)unusable_cost * 64);
        for (int i = 0; i < lines_per_stretch; i++) {
            const riding_line& l = st[(size_t)i];
            if (l.line_points.empty()) continue;
            long long own = line_cost(l, kind);
            if (d == stretches - 1) {
                if (close_to && !lines_connect(l, *close_to)) continue;
                here[(size_t)i] = own;
                continue;
            }
            auto& nx = s.stretches[(size_t)store_stretch(k + d + 1)];
            long long best = -1;
            for (int j = 0; j < lines_per_stretch; j++) {
                if (nx[(size_t)j].line_points.empty() || !lines_connect(l, nx[(size_t)j])) continue;
                if (after[(size_t)j] >= (long long)unusable_cost * 64) continue;
                if (best < 0 || after[(size_t)j] < best) {
                    best = after[(size_t)j];
                    out.next[(size_t)d][(size_t)i] = j;
                }
            }
            if (best >= 0) here[(size_t)i] = own + best;
        }
        after = here;
    }
    out.cost = after;
    return out;
}

// Marks the lines of the cheapest chain from line `first` as references.
void mark_chain(const chain_result& c, int k, int first, int kind) {
    line_store& s = lines();
    int i = first;
    for (size_t d = 0; d < c.next.size() && i >= 0; d++) {
        int st = store_stretch(k + (int)d);
        s.reference[(size_t)kind][(size_t)st] = s.stretches[(size_t)st][(size_t)i].line_id;
        i = c.next[d][(size_t)i];
    }
}

}  // namespace

int line_cost(const riding_line& l, int kind) {
    double share = l.tests + l.fails > 0 ? (double)l.fails / (l.tests + l.fails) : 0;
    switch (kind) {
        case 0:
            if (l.tests < 5) return unusable_cost;
            return (int)(l.sum_a / l.tests + std::clamp(share, 0.0, 1.0) * 640);
        case 1:
            if (l.tests < 5) return unusable_cost;
            return (int)(l.sum_a / l.tests + std::clamp(share * 8 / 7, 0.0, 1.0) * 640);
        case 2:
            if (l.tests < 1) return unusable_cost;
            return (int)(l.sum_a / l.tests + std::clamp(4 * share, 0.0, 1.0) * 640);
        default: {
            if (l.tests + l.fails > 5 && 4 * l.tests < l.fails) return 100000;
            unsigned tries = (unsigned)(l.tests + 4 * l.fails);
            if (tries == 0) return 0;
            return ((int)std::bit_width(tries) + 4) * 1000;
        }
    }
}

bool lines_connect(const riding_line& from, const riding_line& to) {
    const auto &L = from.line_points, &M = to.line_points;
    if (L.size() <= 2 || M.size() <= 1) return false;
    if (std::fabs(L.back().speed) > std::fabs(M[0].speed) + 15) return false;
    line_point e = extrapolated_end(L);
    const line_point &last = L.back(), &prev = L[L.size() - 2];
    float spacing = hdist(last.x, last.z, prev.x, prev.z);
    float to_first = hdist(e.x, e.z, M[0].x, M[0].z);
    if (to_first > spacing + 2.5f) return false;
    // The next line must run on the way this one was going.
    float ax = last.x - prev.x, az = last.z - prev.z, bx = M[1].x - M[0].x, bz = M[1].z - M[0].z;
    float la = std::hypot(ax, az), lb = std::hypot(bx, bz);
    if (la <= 0 || lb <= 0) return to_first <= 2;
    return (ax * bx + az * bz) / (la * lb) >= 0.5f;
}

long long cheapest_chain_from(int k, int first, int length, int kind) {
    if (lines().stretches.empty() || first < 0 || first >= lines_per_stretch || length < 1) return unusable_cost;
    chain_result c = chains(k, length, kind, nullptr);
    long long v = c.cost[(size_t)first];
    return v >= (long long)unusable_cost * 64 ? unusable_cost : v;
}

void analyze_lines() {
    loading_step_begin("Analyzing lines");
    line_store& s = lines();
    for (int k = 0; k < (int)s.stretches.size(); k++) {
        thin(k);
        loading_step_tick("Analyzing lines");
    }
    int Fu = s.first_lap, Nu = s.normal_lap;
    for (auto& r : s.reference) r.assign(s.stretches.size(), 0);
    if (Nu > 0) {
        for (int kind = 0; kind < 3; kind++) {
            // The closed lap: for each first line, the cheapest chain round
            // the normal lap whose last line leads back into it.
            long long best = -1;
            int best_first = -1;
            chain_result best_chain;
            for (int f = 0; f < lines_per_stretch; f++) {
                const riding_line& first = s.stretches[(size_t)Fu][(size_t)f];
                if (first.line_points.empty()) continue;
                chain_result c = chains(Fu, Nu, kind, &first);
                long long v = c.cost[(size_t)f];
                if (v < (long long)unusable_cost * 64 && (best < 0 || v < best)) {
                    best = v;
                    best_first = f;
                    best_chain = c;
                }
            }
            if (best_first < 0) continue;
            mark_chain(best_chain, Fu, best_first, kind);
            long long first_best = -1;
            if (Fu > 0) {
                const riding_line& into = s.stretches[(size_t)Fu][(size_t)best_first];
                chain_result c = chains(0, Fu, kind, &into);
                int f0 = -1;
                for (int f = 0; f < lines_per_stretch; f++)
                    if (c.cost[(size_t)f] < (long long)unusable_cost * 64 && (first_best < 0 || c.cost[(size_t)f] < first_best)) {
                        first_best = c.cost[(size_t)f];
                        f0 = f;
                    }
                if (f0 >= 0) mark_chain(c, 0, f0, kind);
            }
            if (cmdline.debug_level > 0) {
                log_printf("First lap: %f\n", first_best / 128.0);
                log_printf("Normal lap: %f\n", best / 128.0);
            }
        }
    }
    loading_step_done("Analyzing lines");
}
