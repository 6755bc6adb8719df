#include "testkit/pilot.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double gravity = 32;

double distance(double ax, double az, double bx, double bz) { return std::hypot(bx - ax, bz - az); }

// Radius of the path's turn at b, coming from a and going on to c: the
// length of the chords over the angle they turn through.
double turn_radius(const std::array<double, 2>& a, const std::array<double, 2>& b, const std::array<double, 2>& c) {
    double ix = b[0] - a[0], iz = b[1] - a[1], ox = c[0] - b[0], oz = c[1] - b[1];
    double turn = std::fabs(std::atan2(ix * oz - iz * ox, ix * ox + iz * oz));
    double chord = 0.5 * (std::hypot(ix, iz) + std::hypot(ox, oz));
    return turn > 1e-6 ? chord / turn : 1e9;
}

}  // namespace

double pilot_heading_error(const pilot_view& v, double x, double z) {
    double dx = x - v.x, dz = z - v.z;
    // Right of forward (fx, fz) is (-fz, fx).
    double along = dx * v.forward_x + dz * v.forward_z;
    double side = -dx * v.forward_z + dz * v.forward_x;
    return std::atan2(side, along);
}

double pilot_rough_ground_ahead(const pilot_view& v) {
    if (!v.has_ground) return -1;
    // Turning points of the profile, counting only rises and falls of a
    // few inches over a sample step.
    constexpr double step_rise = 0.2;
    int last_sign = 0, turns = 0;
    double first_turn = -1;
    for (int i = 1; i < pilot_view::ground_samples; i++) {
        double d = v.ground[(size_t)i] - v.ground[(size_t)i - 1];
        int sign = d > step_rise ? 1 : d < -step_rise ? -1 : 0;
        if (sign == 0) continue;
        if (last_sign != 0 && sign != last_sign) {
            if (turns == 0) first_turn = (i - 1) * pilot_view::ground_step;
            if (++turns >= 4) return std::max(first_turn - 4, 0.0);
        }
        last_sign = sign;
    }
    return -1;
}

double pilot_jump_face_ahead(const pilot_view& v) {
    if (!v.has_ground) return -1;
    // A rise of 3 ft or more within 16 ft: a jump, not a whoop or a roller.
    constexpr int reach = (int)(16 / pilot_view::ground_step);
    for (int i = 0; i + 1 < pilot_view::ground_samples; i++) {
        if (v.ground[(size_t)i + 1] - v.ground[(size_t)i] < 0.3 * pilot_view::ground_step) continue;
        double top = v.ground[(size_t)i];
        for (int k = i + 1; k <= i + reach && k < pilot_view::ground_samples; k++) top = std::max(top, v.ground[(size_t)k]);
        if (top - v.ground[(size_t)i] >= 3) return i * pilot_view::ground_step;
    }
    return -1;
}

double pilot_target_speed(const pilot_view& v, const pilot_settings& s) {
    double target = s.top_speed;
    double rough = pilot_rough_ground_ahead(v);
    // Down to speed a little before the first bump, so the fork has
    // risen from the braking when it meets it.
    if (rough >= 0) target = std::min(target, std::sqrt(s.rough_speed * s.rough_speed + 2 * s.braking * std::max(rough - s.rough_settle, 0.0)));
    double face = pilot_jump_face_ahead(v);
    if (face >= 0) target = std::min(target, std::sqrt(s.jump_speed * s.jump_speed + 2 * s.braking * face));
    // The path ahead: the gate passed last, then the next gates.
    std::array<std::array<double, 2>, 5> path{};
    int n = 0;
    if (v.has_previous_gate) path[(size_t)n++] = v.previous_gate;
    int first_ahead = n;
    for (int i = 0; i < v.gate_count; i++) path[(size_t)n++] = v.gates[(size_t)i];
    double travelled = 0;
    std::array<double, 2> from = {v.x, v.z};
    for (int i = first_ahead; i < n; i++) {
        travelled += distance(from[0], from[1], path[(size_t)i][0], path[(size_t)i][1]);
        from = path[(size_t)i];
        if (i == 0 || i + 1 >= n) continue;
        double r = turn_radius(path[(size_t)i - 1], path[(size_t)i], path[(size_t)i + 1]);
        double corner = std::max(std::sqrt(s.corner_grip * r), s.slowest);
        // Slow by the gate before the corner's turn, half a chord early.
        double to_corner = std::max(travelled - 0.5 * distance(path[(size_t)i - 1][0], path[(size_t)i - 1][1],
                                                               path[(size_t)i][0], path[(size_t)i][1]), 0.0);
        target = std::min(target, std::sqrt(corner * corner + 2 * s.braking * to_corner));
    }
    return target;
}

pilot_command pilot_step(const pilot_view& v, pilot_state& state, const pilot_settings& s) {
    pilot_command c;
    if (v.gate_count <= 0) {
        c.front_brake = c.rear_brake = 1;
        return c;
    }
    // Aim at the point a look-ahead further along the path of gates than
    // the bike's own place on it: the aim slides smoothly past each gate.
    std::array<std::array<double, 2>, 5> path{};
    int n = 0;
    path[(size_t)n++] = v.has_previous_gate ? v.previous_gate : std::array<double, 2>{v.x, v.z};
    for (int i = 0; i < v.gate_count; i++) path[(size_t)n++] = v.gates[(size_t)i];
    double look = std::clamp(1.2 * v.speed, s.look_ahead, 3.5 * s.look_ahead);
    double ax = path[(size_t)n - 1][0], az = path[(size_t)n - 1][1];
    // The bike's place on the first leg, then the look-ahead walked on.
    double lx = path[1][0] - path[0][0], lz = path[1][1] - path[0][1];
    double ll = std::hypot(lx, lz);
    double along = ll > 1e-9 ? std::clamp(((v.x - path[0][0]) * lx + (v.z - path[0][1]) * lz) / ll, 0.0, ll) : 0;
    double left = look + along;
    for (int i = 1; i < n; i++) {
        double sx = path[(size_t)i][0] - path[(size_t)i - 1][0], sz = path[(size_t)i][1] - path[(size_t)i - 1][1];
        double sl = std::hypot(sx, sz);
        if (left <= sl && sl > 1e-9) {
            ax = path[(size_t)i - 1][0] + sx * left / sl;
            az = path[(size_t)i - 1][1] + sz * left / sl;
            break;
        }
        left -= sl;
    }
    double error = pilot_heading_error(v, ax, az);
    double face = pilot_jump_face_ahead(v), rough = pilot_rough_ground_ahead(v);

    // The arc through the aim point (its curvature is 2 sin(error) over the
    // distance), the turn rate that follows it at this speed, and the lean
    // that turns that fast; steer asks for lean (full steer is 45°).
    double reach = std::max(std::hypot(ax - v.x, az - v.z), 1.0);
    double curvature = 2 * std::sin(error) / reach;
    double speed = std::max(v.speed, 8.0);
    double wanted_yaw = speed * curvature;
    double lean = std::atan(speed * wanted_yaw / gravity);
    // Turning faster than wanted asks for less lean, which damps the swing
    // the lean's own lag would bring.
    lean -= s.yaw_damping * (v.yaw_rate - wanted_yaw) * speed / gravity;
    // Smooth hands: a jerk of the bars at a take-off rolls the bike in the
    // air.
    double wanted = v.airborne ? 0 : std::clamp(lean / (pi / 4), -1.0, 1.0);
    // Square up to a jump's face: the bike leaves it as it meets it.
    if (face >= 0 && face < s.square_up && rough < 0) wanted *= face / s.square_up;
    // Likewise into bumps, and through them the bars stay quiet.
    if (rough >= 0 && rough < s.square_up) wanted *= std::max(rough / s.square_up, s.rough_steer);
    state.tics_on_ground = v.airborne ? 0 : state.tics_on_ground + 1;
    double step = s.steer_rate / 128;
    state.steer += std::clamp(wanted - state.steer, -step, step);
    c.steer = state.steer;

    // No faster than that arc allows.
    double target = pilot_target_speed(v, s);
    target = std::min(target, std::max(std::sqrt(s.corner_grip / std::max(std::fabs(curvature), 1e-6)), s.slowest));
    double ease = std::clamp(1 - std::fabs(error) / 0.8, 0.0, 1.0);
    if (v.speed < target) {
        c.throttle = std::clamp((0.35 + 0.12 * (target - v.speed)) * ease, 0.0, 1.0);
        // Pointing well off the line at a crawl: enough drive to come round.
        if (v.speed < 10) c.throttle = std::max(c.throttle, 0.35);
    } else if (v.speed > target + 1 && !v.airborne && state.tics_on_ground > 16) {
        // (Not while the bike settles from a landing.)
        double b = std::clamp((v.speed - target - 1) * 0.2, 0.0, 0.9);
        c.front_brake = b;
        c.rear_brake = 0.7 * b;
    }
    // The ground's own slope just ahead, when the bike can see it.
    double slope = v.has_ground ? std::atan2(v.ground[3] - v.ground[0], 3 * pilot_view::ground_step) : v.pitch;
    if (!v.airborne && rough == 0) {
        // In the bumps: brakes off (a braked front digs into the next face)
        // and no more than a whiff of throttle, the bike floats over them;
        // enough to keep going when it has slowed right down.
        c.front_brake = c.rear_brake = 0;
        c.throttle = v.speed < 0.75 * s.rough_speed ? std::max(c.throttle, 0.5) : std::min(c.throttle, s.rough_throttle);
    }
    // From the foot of a jump's face to the take-off stay pinned: the
    // drive at the rear wheel is what keeps the nose from dropping as the
    // front leaves the lip first.
    if (!v.airborne && face >= 0 && face <= 4) state.committed = true;
    if (v.airborne) state.committed = false;
    if (state.committed) {
        c.throttle = 1;
        c.front_brake = c.rear_brake = 0;
        c.lean = 0;
    } else if (!v.airborne && !v.front_down && v.pitch_rate > 0 && (v.pitch_rate > 1.5 || v.pitch - slope > 0.35)) {
        // The front is coming up on the rear wheel alone: ease off.
        c.throttle = std::min(c.throttle, 0.1);
        c.lean = -1;
    }
    if (v.airborne) {
        // Keep the bike level with its flight: a nose that drops is lifted
        // by spinning the rear wheel up and sitting back, one that rises
        // is brought down with the rear brake and leaning forward.
        double nose = v.pitch - v.climb;
        c.front_brake = 0;
        c.throttle = std::clamp(0.3 - 3 * nose, 0.0, 1.0);
        c.rear_brake = std::clamp(3 * (nose - 0.15), 0.0, 1.0);
        c.lean = std::clamp(-4 * nose, -1.0, 1.0);
    }
    return c;
}
