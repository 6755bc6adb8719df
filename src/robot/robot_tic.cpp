// A robot's path: picking the next line where its path runs short, and
// following the points; then the driving for the phase it is in.
#include <algorithm>
#include <cmath>

#include "bike/bike.h"
#include "bike/rider_control.h"
#include "core/cmdline.h"
#include "core/diag.h"
#include "race/race.h"
#include "robot/robot.h"

namespace {

std::array<robot_state, race_slot_count> g_robots;

constexpr float tic_seconds = 1.0f / 128;

float hdist(float ax, float az, float bx, float bz) { return std::hypot(ax - bx, az - bz); }

void frame_of(const bike_state& b, double pos[3], double fwd[3]) {
    double r[9];
    get_body_position(b, body_frame, pos);
    get_body_rotation(b, body_frame, r);
    fwd[0] = -r[2];
    fwd[1] = -r[5];
    fwd[2] = -r[8];
}

// The cost kind the robot plans with now.
int cost_kind(const bike_state& b, const robot_brain& br) {
    const auto& order = running_order();
    if (order.size() > 1 && order[0].slot == b.slot_index) {
        const running_entry& second = order[1];
        const slot_timing& lt = race_slots[(size_t)order[0].slot].timing;
        int p = second.gates_passed - 1;
        if (p >= 0 && p < (int)lt.gate_tics.size() && lt.gate_tics[(size_t)p] >= 0) {
            float gap = (second.last_tic - lt.gate_tics[(size_t)p]) * tic_seconds;
            if (gap > br.lead_gap) return br.cost_kind_leading;
        }
    }
    return br.cost_kind;
}

float line_match(const robot_state& r, const bike_state& b, const riding_line& l) {
    const auto& pts = l.line_points;
    if (pts.size() < 2) return 0;
    if (r.path.size() < 3) {
        double pos[3], fwd[3];
        frame_of(b, pos, fwd);
        float dx = pts[0].x - (float)pos[0], dy = pts[0].y - (float)pos[1], dz = pts[0].z - (float)pos[2];
        float d = std::sqrt(dx * dx + dy * dy + dz * dz);
        float m = std::clamp((100 - d) / 96, 0.0f, 1.0f);
        return 10 * m * m * m;
    }
    const line_point &t = r.path.back(), &t1 = r.path[r.path.size() - 2], &t2 = r.path[r.path.size() - 3];
    float ex = 3 * t.x - 3 * t1.x + t2.x, ez = 3 * t.z - 3 * t1.z + t2.z;
    float speed = std::clamp((std::fabs(t.speed) - std::fabs(pts[0].speed) - 15) * -0.2f, 0.0f, 1.0f);
    // Near where the path would go next, and heading on the way it goes.
    float near = std::clamp(1 - (hdist(ex, ez, pts[0].x, pts[0].z) - 5) * (2.0f / 7), 0.0f, 1.0f);
    float ax = t.x - t1.x, az = t.z - t1.z, bx = pts[1].x - pts[0].x, bz = pts[1].z - pts[0].z;
    float la = std::hypot(ax, az), lb = std::hypot(bx, bz);
    float along = la > 0 && lb > 0 ? std::clamp(((ax * bx + az * bz) / (la * lb) - 0.5f) * 2, 0.0f, 1.0f) : 0;
    float m = near * along;
    return speed * m * m * m;
}

void pick_line(bike_state& b, robot_state& r) {
    line_store& s = lines();
    if (s.stretches.empty()) return;
    int k = r.last_stretch + 1;
    auto& st = s.stretches[(size_t)store_stretch(k)];
    const robot_brain& br = brain(r.brain);
    int kind = cost_kind(b, br);
    std::array<long long, lines_per_stretch> x{};
    long long best = -1;
    bool any = false;
    for (int i = 0; i < lines_per_stretch; i++) {
        if (st[(size_t)i].line_points.empty()) continue;
        any = true;
        x[(size_t)i] = cheapest_chain_from(k, i, 8, kind);
        if (best < 0 || x[(size_t)i] < best) best = x[(size_t)i];
    }
    if (!any) return;
    float race_seconds = (race.tic - race.gate_drop_tic) * tic_seconds;
    float ref_gain = std::clamp((race_seconds - 40) / 20, 0.0f, 1.0f);
    int picked = -1;
    float best_value = -1, picked_score = 0, picked_match = 0;
    for (int i = 0; i < lines_per_stretch; i++) {
        riding_line& l = st[(size_t)i];
        if (l.line_points.empty()) continue;
        float score = x[(size_t)i] < 1 ? 1.0f : (float)((double)std::max(best, 1LL) / (double)x[(size_t)i]);
        if (x[(size_t)i] < 1) score = 1;
        if (kind <= 2 && s.reference[(size_t)kind][(size_t)store_stretch(k)] == l.line_id)
            score += (1 - score) * ref_gain;
        if (k == 0) score = 0.8f + 0.2f * score;
        float match = line_match(r, b, l);
        float since = (race.tic - l.last_picked) * tic_seconds;
        float value = match + std::clamp(since / 3, 0.0f, 1.0f) * score;
        if (value > best_value) {
            best_value = value;
            picked = i;
            picked_score = score;
            picked_match = match;
        }
    }
    riding_line& l = st[(size_t)picked];
    if (cmdline.debug_level > 0)
        log_printf("auto pilot: picking %d score = %f match = %f last_picked = %f\n", picked, picked_score, picked_match,
                   l.last_picked * tic_seconds);
    l.last_picked = race.tic;
    bool first_fill = r.path.empty();
    if (first_fill) r.path_stretches.clear();
    r.path_stretches.push_back({(int)r.path.size(), k});
    r.path.insert(r.path.end(), l.line_points.begin(), l.line_points.end());
    r.last_stretch = k;
    for (size_t q = 3; q > 0; q--) r.recent[q] = r.recent[q - 1];
    r.recent[0] = {k, l.line_id};
    if (first_fill) {
        // Head for the first point clear of the start, and give the start
        // time before the progress timeout can fire.
        r.target = 0;
        while (r.target + 1 < (int)r.path.size() &&
               hdist(r.path[(size_t)r.target].x, r.path[(size_t)r.target].z, r.path[0].x, r.path[0].z) <= 10)
            r.target++;
        r.last_reached_tic = std::max(30 * 128, race.tic);
    }
}

void follow(bike_state& b, robot_state& r) {
    double pos[3], fwd[3];
    frame_of(b, pos, fwd);
    if (r.hold_target >= 0 && (race_slots[(size_t)b.slot_index].timing.gates_passed > r.hold_position ||
                               r.hold_target >= (int)r.path.size() || is_finished(b.slot_index)))
        r.hold_target = -1;
    while (r.target < (int)r.path.size()) {
        const line_point& p = r.path[(size_t)r.target];
        float d = hdist(p.x, p.z, (float)pos[0], (float)pos[2]);
        // Reached within 60 ft, 30 while recovering hard.
        float reach = r.recovery == 3 ? 30.0f : 60.0f;
        if (d >= reach) break;
        if (r.target == r.hold_target && d > 4) break;
        if (d > 4 && r.target > 0) {
            const line_point& q = r.path[(size_t)r.target - 1];
            float sx = p.x - q.x, sz = p.z - q.z;
            if (std::hypot(sx, sz) > 1 && sx * fwd[0] + sz * fwd[2] < 0) break;
        }
        r.target++;
        if (r.recovery > 0) r.recovery--;
        r.last_reached_tic = race.tic;
    }
}

// Heads for the path point after the one nearest the frame, looking from a
// few points behind the target to a few seconds of path beyond it. Used
// when the rider is back on the bike after a crash, and when the path is
// started again for a missed gate: the point it headed for before may now
// lie behind it or across the field, and riding back to it in the recovery
// driving keeps the robot off its path for many seconds while it stands
// beside its line.
void head_for_nearest_point(const bike_state& b, robot_state& r, int from, int to) {
    int n = (int)r.path.size();
    from = std::clamp(from, 0, n);
    to = std::clamp(to, from, n);
    if (from >= to) return;
    double pos[3], fwd[3];
    frame_of(b, pos, fwd);
    int best = from;
    float best_d = 1e30f;
    for (int q = from; q < to; q++) {
        float d = hdist(r.path[(size_t)q].x, r.path[(size_t)q].z, (float)pos[0], (float)pos[2]);
        if (d < best_d) {
            best_d = d;
            best = q;
        }
    }
    r.target = std::min(best + 1, n - 1);
}

// The first path index of the line that point `index` came from.
int path_stretch_start(const robot_state& r, int index) {
    for (size_t e = r.path_stretches.size(); e > 0; e--)
        if (r.path_stretches[e - 1][0] <= index) return r.path_stretches[e - 1][0];
    return 0;
}

}  // namespace

int path_stretch_at(const robot_state& r, int index) {
    if (index < 0 || index >= (int)r.path.size()) return -1;
    for (size_t e = r.path_stretches.size(); e > 0; e--)
        if (r.path_stretches[e - 1][0] <= index) return r.path_stretches[e - 1][1];
    return -1;
}

robot_state& robot(int slot) { return g_robots[(size_t)std::clamp(slot, 0, race_slot_count - 1)]; }

void clear_robot_states() {
    for (robot_state& r : g_robots) {
        int br = r.brain;
        r = robot_state{};
        r.brain = br;
    }
}

void clear_line_picks() {
    for (robot_state& r : g_robots) {
        r.path.clear();
        r.path_stretches.clear();
        r.target = 0;
        r.last_stretch = -1;
        r.recent = {};
        r.recovery = 0;
        r.last_reached_tic = 0;
        r.start_timer = 0;
        r.throttle = 0;
        r.grip_limit_tic = 0;
        r.stuck_tics = 0;
        r.stuck_spells = 0;
        r.stuck_reached_tic = -1;
        r.detour_until = -1;
        r.restart_tic = 0;
        r.hold_target = r.hold_position = -1;
        r.recording = {};
        r.aborted = {};
    }
}

void robot_finished(int slot) {
    // Riding home after the flag: the rest of the path at a cruise.
    robot_state& r = robot(slot);
    for (size_t q = (size_t)std::max(r.target, 0); q < r.path.size(); q++) {
        float sign = r.path[q].speed < 0 ? -1.0f : 1.0f;
        r.path[q].speed = sign * std::min(std::fabs(r.path[q].speed), 20.0f);
    }
}

void robot_tic(bike_state& b) {
    robot_state& r = robot(b.slot_index);
    // A crash counts against the line being ridden.
    bool crashed = b.crash_countdown > 0;
    if (crashed && !r.was_crashed && !lines().stretches.empty()) {
        int k = stretch_before(race_slots[(size_t)b.slot_index].timing.gates_passed);
        for (const auto& e : r.recent)
            if (e[1] != 0 && e[0] == k)
                for (riding_line& l : lines().stretches[(size_t)store_stretch(k)])
                    if (l.line_id == e[1]) l.fails = std::min(l.fails + 1, 65535);
    }
    // Back on the seat: head on from where the bike came to rest.
    if (!crashed && r.was_crashed) {
        if (r.hold_target >= 0)
            r.target = r.hold_target;
        else
            head_for_nearest_point(b, r, r.target - 8, r.target + 16);
    }
    r.was_crashed = crashed;

    // A robot not credited with a gate for 40 s while its lines already
    // run past the next one has missed a gate (it rode round it while
    // recovering): it would ride on lap after lap without being credited.
    // It starts its path again with a line of the stretch it is still in.
    // Sooner than that, a robot that has ridden most of a second into the
    // line after a lap's finish line without being credited with it (a
    // finish line can never be skipped) goes back for it at once: after
    // 40 s it has ridden a lap's worth of the course for nothing and the
    // way back is long. (Other gates may be skipped, up to two in a row.)
    // A finished robot has no gate left to miss.
    if (!r.path.empty() && race.tic > race.gate_drop_tic && !is_finished(b.slot_index)) {
        const slot_timing& st = race_slots[(size_t)b.slot_index].timing;
        int credited = stretch_before(st.gates_passed);
        int p = st.gates_passed - 1;
        int last_credit = p >= 0 && p < (int)st.gate_tics.size() && st.gate_tics[(size_t)p] >= 0
                              ? st.gate_tics[(size_t)p]
                              : race.gate_drop_tic;
        // The stretch of the line the robot rides alongside, and how many
        // points into it.
        int alongside = (int)path_position(b);
        int ks = path_stretch_at(r, alongside);
        int into = ks >= 0 ? alongside - path_stretch_start(r, alongside) : 0;
        bool missed = r.last_stretch > credited + 1 && race.tic - std::max(last_credit, r.restart_tic) > 40 * 128;
        if (!missed && r.hold_target < 0 && b.crash_countdown == 0) {
            if (is_finish_line(st.gates_passed) && ks > credited && into >= 3) {
                // The first point of the line after the gate lies just
                // beyond it, where the gate counts: back to that point, and
                // it is not given up by riding near it.
                for (const auto& e : r.path_stretches)
                    if (e[1] == credited + 1 && e[0] < (int)r.path.size()) {
                        r.target = e[0];
                        r.hold_target = e[0];
                        r.hold_position = st.gates_passed;
                        r.restart_tic = race.tic;
                        r.last_reached_tic = race.tic;
                        r.recovery = 3;
                        break;
                    }
                missed = r.hold_target < 0;
            } else if (ks >= credited + 3 && into >= 3 && race.tic - std::max(last_credit, r.restart_tic) > 5 * 128) {
                // Past the third gate on without a credit: a gate counts
                // only up to two beyond the next one, so none ahead can
                // count any more (waiting the 40 s only takes it further).
                // Not straight after a start: the new path's lines can pass
                // near the robot further on than where it joins them.
                missed = true;
            }
        }
        if (missed) {
            // Back through the furthest gate that can still count (the next
            // one, or up to two beyond it, never past a finish line): the
            // one just behind a robot that rode round a gate and on.
            int back = credited + std::clamp(ks - credited - 1, 0, 2);
            for (int j = 0; credited + j < back; j++)
                if (is_finish_line(st.gates_passed + j)) back = credited + j;
            r.restart_tic = race.tic;
            r.path.clear();
            r.target = 0;
            r.last_stretch = back - 1;
            pick_line(b, r);
            // The line runs up to the gate it goes back through; join it
            // where the robot is nearest to it, but a second of path before
            // that gate at the latest, so that it rides through the gate
            // the right way. It has to turn round for it: the
            // recovery driving does that.
            head_for_nearest_point(b, r, 0, (int)r.path.size() - 4);
            r.hold_target = -1;
        }
    }
    if ((int)r.path.size() - r.target < 10) pick_line(b, r);
    follow(b, r);
    if (race.tic - r.last_reached_tic > 3 * 128 && race.tic >= race.gate_drop_tic) r.recovery = 3;

    // Walking the bike back is only ever asked for by the recovery driving,
    // one tic at a time.
    set_back_up(b, 0);
    float T = race.tic * tic_seconds, G = race.gate_drop_tic * tic_seconds;
    const robot_brain& br = brain(r.brain);
    bool launched = r.start_timer >= G + br.reaction_min && T >= r.start_timer + 2;
    if (T < G + 5 && !launched) {
        robot_start(b);
        return;
    }
    if (r.recovery > 0)
        robot_recover(b);
    else
        robot_drive(b);
}

