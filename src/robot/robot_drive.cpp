// A robot's hands and feet: the start at the gate, the driving law that
// follows its path, the recovery driving, and the speed control.
#include <algorithm>
#include <cmath>

#include "bike/bike.h"
#include "bike/bike_info.h"
#include "bike/drivetrain.h"
#include "bike/rider_control.h"
#include "bike/rider_parts.h"
#include "race/race.h"
#include "race/race_tic.h"
#include "robot/robot.h"
#include "track/height_field.h"
#include "track/tile_info.h"

namespace {

constexpr float pi = 3.14159265358979f;
constexpr float tic_seconds = 1.0f / 128;

float clampf(float v, float lo, float hi) { return std::isfinite(v) ? std::clamp(v, lo, hi) : 0.0f; }
float shrink(float x, float e) { return x > e ? x - e : (x < -e ? x + e : 0.0f); }
float unit_random() { return next_unit(race_random()); }

struct frame_view {
    double pos[3], vel[3], rot[9], ang[3];
    double fwd[3], right[3], up[3];
};

frame_view view_of(const bike_state& b) {
    frame_view f;
    get_body_position(b, body_frame, f.pos);
    get_body_velocity(b, body_frame, f.vel);
    get_body_rotation(b, body_frame, f.rot);
    get_body_angular_velocity(b, body_frame, f.ang);
    for (int k = 0; k < 3; k++) {
        f.right[k] = f.rot[k * 3 + 0];
        f.up[k] = f.rot[k * 3 + 1];
        f.fwd[k] = -f.rot[k * 3 + 2];
    }
    return f;
}

double dot3(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void hold(bike_state& b, float throttle) {
    bool crashed = b.crash_countdown > 0;
    set_sit(b, crashed ? 0.0f : 1.0f);
    set_clutch(b, 0);
    set_front_brake(b, 1);
    set_rear_brake(b, 1);
    set_steer(b, 0);
    set_throttle(b, crashed ? 0.0f : throttle);
    set_flag(b, flag_auto_shift, false);
    const bike_info& info = bike_model(b);
    b.gear = gear_exists(info, 1) ? 1 : 0;
}

bool has_target(const robot_state& r) { return r.target < (int)r.path.size(); }

// A path point between points (fractional index), clamped to the path.
void path_point_at(const robot_state& r, float t, float out[3]) {
    int n = (int)r.path.size();
    t = clampf(t, 0, (float)(n - 1));
    int i = std::min((int)t, n - 1), j = std::min(i + 1, n - 1);
    float f = t - (float)i;
    const line_point &a = r.path[(size_t)i], &c = r.path[(size_t)j];
    out[0] = a.x + (c.x - a.x) * f;
    out[1] = a.y + (c.y - a.y) * f;
    out[2] = a.z + (c.z - a.z) * f;
}

float vertical_contact(const wheel_contact& w) {
    if (w.depth <= 0) return 0;
    return std::max(std::fabs((float)w.contact_feedback.f1[1]), std::fabs((float)w.contact_feedback.f2[1]));
}

// First k >= i (up to i + span) where points k and k + 1 are both airborne.
int jump_index(const robot_state& r, int i, int span) {
    int n = (int)r.path.size();
    for (int k = std::max(i, 0); k < std::min(i + span, n) - 1; k++)
        if (r.path[(size_t)k].speed < 0 && r.path[(size_t)k + 1].speed < 0) return k;
    return -1;
}

// A bike leaning over more than 0.5 rad from the ground under it (not from
// the vertical: on a berm or a side slope an upright bike leans that much)
// with its rider on it, slower than a walk, is falling or lying on its
// side: throttle and bars are let go and the rider dabs, so the dab pushes
// the bike up (and, once it is half up, turns it towards the target).
// Driven on, the rear wheel spins the bike round on its side and the bars
// at full lock hold it down; it can lie there for many seconds.
bool pick_up_fallen_bike(bike_state& b) {
    if (b.crash_countdown > 0 || !height_field_loaded()) return false;
    frame_view f = view_of(b);
    if (dot3(f.vel, f.vel) >= 25) return false;
    std::array<float, 3> nw = surface_normal_at((float)f.pos[0], (float)f.pos[2]);
    double n[3] = {nw[0], nw[1], nw[2]};
    if (std::fabs(std::atan2(dot3(n, f.right), dot3(n, f.up))) <= 0.5) return false;
    set_throttle(b, 0);
    set_clutch(b, 0);
    set_front_brake(b, 0);
    set_rear_brake(b, 0);
    set_steer(b, 0);
    set_sit(b, 1);
    return true;
}

}  // namespace

float path_position(const bike_state& b) {
    const robot_state& r = robot(b.slot_index);
    int n = (int)r.path.size();
    if (n == 0) return 0;
    frame_view f = view_of(b);
    auto along = [&](int q) {
        const line_point& p = r.path[(size_t)q];
        double d[3] = {p.x - f.pos[0], p.y - f.pos[1], p.z - f.pos[2]};
        return dot3(d, f.fwd);
    };
    int start = std::min(r.target, n - 1) - 1;
    for (int q = start; q >= 0; q--) {
        double a = along(q);
        if (a >= 0) continue;
        if (q + 1 >= n) return (float)q;
        double c = along(q + 1);
        double t = c - a > 1e-9 ? -a / (c - a) : 0;
        return (float)q + (float)std::clamp(t, 0.0, 1.0);
    }
    return (float)std::max(start + 1, 0);
}

namespace {

// How much of the asked throttle the rear tire takes without spinning up:
// down to a fifth as its slip grows to 8 ft/s.
float rear_grip_share(const bike_state& b) {
    if (!wheel_touches(b.rear_contact)) return 1;
    const float* sv = b.rear_contact.slip_velocity;
    float rear_slip = std::sqrt(sv[0] * sv[0] + sv[1] * sv[1] + sv[2] * sv[2]);
    return std::max(clampf((8 - rear_slip) / 8, 0, 1), 0.2f);
}

}  // namespace

void robot_speed_control(bike_state& b, float s, float S) {
    float throttle = 0, clutch = 1, front = 0, rear = 0;
    if (!std::isfinite(s)) s = 0;
    if (!std::isfinite(S)) S = 0;
    if (wheel_touches(b.rear_contact)) {
        if (s < S - 1) {
            throttle = 1;
        } else if (s < S) {
            throttle = S - s;
        } else {
            // Braking grows over 4 ft/s of overspeed, the rear at 0.7 of
            // the front: full brakes for a small overspeed lock the rear
            // and flip the bike. None in the first quarter second after a
            // landing, while the suspension settles.
            throttle = 0;
            front = clampf((s - S) * 0.25f, 0, 1);
            rear = 0.7f * front;
            if (b.landed_tic >= b.airborne_tic && race.tic - b.landed_tic < 32) front = rear = 0;
        }
        const bike_info& info = bike_model(b);
        if (b.gear == 0) clutch = clampf((engine_rpm(b) - (info.shift_down_rpm - 1000)) / 1000, 0, 1);
    } else {
        double fp[3], rp[3];
        get_body_position(b, body_front_wheel, fp);
        get_body_position(b, body_rear_wheel, rp);
        float p = (float)pitch_rate(b);
        if ((fp[1] < rp[1] && p < 0) || p < -pi / 4) {
            throttle = 1;
            clutch = 0.125f;
        } else {
            throttle = 0;
            clutch = 0.125f;
            if (fp[1] > rp[1] + 1 && p >= -pi / 8) {
                clutch = 0;
                rear = 1;
            }
        }
    }
    if (b.crash_countdown > 0) throttle = 0;
    set_throttle(b, throttle);
    set_clutch(b, clutch);
    set_front_brake(b, front);
    set_rear_brake(b, rear);
}

void robot_start(bike_state& b) {
    robot_state& r = robot(b.slot_index);
    const robot_brain& br = brain(r.brain);
    float T = race.tic * tic_seconds, G = race.gate_drop_tic * tic_seconds;
    float& tau = r.start_timer;
    bool crashed = b.crash_countdown > 0;
    if (tau == 0) tau = 2 * unit_random();
    if (T < 5) {
        if (tau >= 0) {
            if (T >= tau) tau = -(T + 0.25f + 0.5f * unit_random());
        } else if (T >= -tau) {
            tau = std::min(T + 2 + 0.5f * unit_random(), 5.0f);
        }
        hold(b, tau < 0 ? 1.0f : 0.0f);
    } else {
        if (tau <= 5) tau = 5 + 0.125f + 0.375f * unit_random();
        if (T < G && T < tau) {
            hold(b, 0);
        } else {
            if (tau < G) tau = G + br.reaction_min + (br.reaction_max - br.reaction_min) * unit_random();
            if (T < tau) {
                hold(b, 1);
            } else {
                float e = (T - tau) * 4;
                set_throttle(b, crashed ? 0.0f : 1.0f);
                set_clutch(b, clampf(e, 0, 1));
                set_sit(b, 1 - clampf(e, 0, 1));
                set_front_brake(b, 0);
                set_rear_brake(b, 0);
                set_steer(b, 0);
                set_flag(b, flag_auto_shift, e >= 0.75f);
                if (e < 0.75f) {
                    const bike_info& info = bike_model(b);
                    b.gear = gear_exists(info, 1) ? 1 : 0;
                }
            }
        }
    }
    if (!has_target(r)) hold(b, 0);
}

void robot_drive(bike_state& b) {
    robot_state& r = robot(b.slot_index);
    if (race.tic - r.last_reached_tic > 3 * 128) {
        r.recovery = 3;
        return;
    }
    if (!has_target(r) || r.path.size() < 2) {
        hold(b, 0);
        return;
    }
    set_flag(b, flag_auto_shift, true);
    if (pick_up_fallen_bike(b)) return;
    set_sit(b, 0);
    frame_view f = view_of(b);
    int n = (int)r.path.size();
    float t = path_position(b);
    int i = std::clamp((int)t, 0, n - 1);
    float s = (float)std::sqrt(dot3(f.vel, f.vel));
    float si = std::fabs(r.path[(size_t)i].speed), si1 = std::fabs(r.path[(size_t)std::min(i + 1, n - 1)].speed);
    float S = si + (si1 - si) * (t - (float)i);

    // The next jump on the path and the time to it.
    int kj = jump_index(r, i, 20);
    float tj = 1000000;
    if (kj >= 0) {
        const line_point& pi_ = r.path[(size_t)i];
        float d = std::hypot(std::hypot(pi_.x - (float)f.pos[0], pi_.y - (float)f.pos[1]), pi_.z - (float)f.pos[2]);
        tj = (float)(kj - i) * 0.25f + (s > 1e-3f ? d / s : 1000000.0f);
    }

    // The velocity frame: backwards and to the right.
    double bk[3] = {0, 0, 1}, rt[3] = {1, 0, 0};
    if (s > 1e-6f) {
        for (int k = 0; k < 3; k++) bk[k] = -f.vel[k] / s;
        rt[0] = -f.vel[2] / s;
        rt[1] = 0;
        rt[2] = f.vel[0] / s;
    }
    float n_load = (vertical_contact(b.front_contact) + vertical_contact(b.rear_contact)) / (32 * std::max(b.total_mass, 1e-3f));
    float n1 = std::max(1.0f, n_load - 1);
    float m = pi / n1;
    float phi = (float)lean_angle(b);
    // Upright, the bike goes straight: an infinite radius.
    float tphi = std::tan(phi);
    float r0 = std::fabs(tphi) > 1e-6f ? -s * s / (32 * n1 * tphi) : 1e9f;

    // Traffic ahead.
    {
        int nearest = -1;
        double best = 1e30;
        for (int o = 0; o < race_slot_count; o++) {
            if (o == b.slot_index) continue;
            bike_state* ob = bike_in_slot(o);
            if (!ob) continue;
            frame_view g = view_of(*ob);
            double d[3] = {g.pos[0] - f.pos[0], 0, g.pos[2] - f.pos[2]};
            double dist = std::hypot(d[0], d[2]);
            if (dist > 60) continue;
            double os = std::hypot(g.vel[0], g.vel[2]);
            auto ahead_of = [](const double from[3], const double vel[3], double speed, const double to[3]) {
                double hx = speed > 1e-6 ? vel[0] / speed : 0, hz = speed > 1e-6 ? vel[2] / speed : -1;
                return (to[0] - from[0]) * hx + (to[2] - from[2]) * hz;
            };
            double ms = std::hypot(f.vel[0], f.vel[2]);
            // Footprints: 2 each side, 4 behind to 4 + speed ahead; tested
            // by the other's centre against ours widened by its half width.
            double along = ahead_of(f.pos, f.vel, ms, g.pos);
            double lat_x = ms > 1e-6 ? -f.vel[2] / ms : 1, lat_z = ms > 1e-6 ? f.vel[0] / ms : 0;
            double lat = d[0] * lat_x + d[2] * lat_z;
            if (std::fabs(lat) > 4 || along < -8 || along > 8 + ms + os) continue;
            if (along <= ahead_of(g.pos, g.vel, os, f.pos)) continue;
            if (dist < best) {
                best = dist;
                nearest = o;
            }
        }
        if (nearest >= 0) {
            frame_view g = view_of(*bike_in_slot(nearest));
            float T1 = std::min((race.tic - race.gate_drop_tic) * tic_seconds, 100.0f);
            float a = clampf((T1 - 3) * 0.5f, 0, 1) * clampf((120 - T1) * 0.01f, 0, 1);
            float D = 12 + 8 * a;
            float d = (float)best;
            double cx = f.pos[0] + r0 * rt[0], cz = f.pos[2] + r0 * rt[2];
            double rx = g.pos[0] - cx, rz = g.pos[2] - cz, rl = std::hypot(rx, rz);
            float w = 0;
            if (rl > 1e-6 && std::fabs(r0) < 1e8f) {
                rx /= rl;
                rz /= rl;
                double px = g.vel[0] - (g.vel[0] * rx + g.vel[2] * rz) * rx, pz = g.vel[2] - (g.vel[0] * rx + g.vel[2] * rz) * rz;
                double mine = -(px * bk[0] + pz * bk[2]);
                w = mine > 0 ? (float)std::hypot(px, pz) : 0;
            } else {
                double mine = -(g.vel[0] * bk[0] + g.vel[2] * bk[2]);
                w = mine > 0 ? (float)mine : 0;
            }
            if (d < D) {
                S = std::min(S, (1 - a / 4) * w);
            } else if (w < S) {
                float tb = (s - w) / 5;
                float M = (s * tb - 2.5f * tb * tb) - (w * tb + d);
                if (M > -D) {
                    S = S + (w - S) * clampf((M + D) / 3, 0, 1);
                    r.recent = {};
                }
            }
        }
    }

    // The aim point.
    float aim[3];
    float g = 4;
    if (race_slots[(size_t)b.slot_index].timing.gates_passed == 0) {
        path_point_at(r, t + 4, aim);
    } else {
        int straight = 0;
        for (int q = i + 1; q <= i + 6 && q < n; q++) {
            const line_point& p = r.path[(size_t)q];
            double d[3] = {p.x - f.pos[0], 0, p.z - f.pos[2]};
            double fwd_h = -(d[0] * bk[0] + d[2] * bk[2]);
            double lat = d[0] * rt[0] + d[2] * rt[2];
            if (!(fwd_h > 0 && std::fabs(lat) <= fwd_h / 8)) break;
            straight++;
        }
        float q = clampf((20.0f - (float)straight) / 17, 0, 1);
        g = 4 * q;
        m *= q;
        if (tj >= 2) {
            // Three recorded points (0.75 s) further ahead than a rider's
            // own reach: aimed nearer, the lean swings from side to side
            // (the bike answers the bars too late for a half-second aim).
            path_point_at(r, t + ((straight < 5 || std::fabs(phi) >= pi / 8) ? 5.0f : 6.0f), aim);
        } else {
            float w = clampf((2 - tj) * 2, 0, 1);
            float p3[3], k0[3], k3[3];
            path_point_at(r, (float)(i + 3), p3);
            path_point_at(r, (float)kj, k0);
            path_point_at(r, (float)(kj + 3), k3);
            for (int c = 0; c < 3; c++) aim[c] = p3[c] + (k3[c] + (float)f.pos[c] - k0[c] - p3[c]) * w;
        }
    }

    // The radius that reaches the aim point.
    double ad[3] = {aim[0] - f.pos[0], aim[1] - f.pos[1], aim[2] - f.pos[2]};
    float x = (float)dot3(ad, rt), fd = (float)-dot3(ad, bk);
    float R;
    if (fd <= 0) {
        R = x >= 0 ? 10.0f : -10.0f;
    } else {
        // Moved away from the current turning circle by twice its distance
        // to it, so the radius corrects past the circle.
        float mx = x, mf = fd;
        if (std::fabs(r0) < 1e8f) {
            float dcx = x - r0, dist = std::hypot(dcx, fd);
            if (dist > 1e-6f) {
                float off = dist - std::fabs(r0);
                mx = x + 2 * off * dcx / dist;
                mf = fd + 2 * off * fd / dist;
            }
        }
        if (std::fabs(mx) < 0.000001f) mx = mx < 0 ? -0.000001f : 0.000001f;
        R = (mx * mx + mf * mf) / (2 * mx);
    }
    float theta = std::atan2(-s * s / R, 32 * n1);

    // Grip under the path ahead and the front wheel.
    {
        double fw[3], fv[3];
        get_body_position(b, body_front_wheel, fw);
        get_body_velocity(b, body_front_wheel, fv);
        float before = theta;
        for (int q = std::min(i + 4, n - 1); q >= i - 1; q--) {
            float px, pz;
            if (q >= i) {
                px = r.path[(size_t)q].x;
                pz = r.path[(size_t)q].z;
            } else {
                px = (float)(fw[0] + 0.25 * fv[0]);
                pz = (float)(fw[2] + 0.25 * fv[2]);
            }
            if (!height_field_loaded()) break;
            float mu = tile_count() > 0 ? tile_info_of(tile_at(px, pz)).friction_coefficient[0] : 1.0f;
            float lambda = std::min(std::atan(std::max(mu, 0.0f)), 1.1780972f);
            std::array<float, 3> nw = surface_normal_at(px, pz);
            double nn[3] = {nw[0], nw[1], nw[2]};
            float c = phi - std::atan2((float)dot3(nn, f.right), (float)dot3(nn, f.up));
            theta = std::clamp(theta, c - lambda, c + lambda);
        }
        if (theta != before) {
            S = std::min(S, std::sqrt(std::tan(std::fabs(theta)) * n1 * std::fabs(R) * 32));
            r.grip_limit_tic = race.tic;
        }
    }

    float slip = std::sqrt(b.front_contact.slip_velocity[0] * b.front_contact.slip_velocity[0] +
                           b.front_contact.slip_velocity[1] * b.front_contact.slip_velocity[1] +
                           b.front_contact.slip_velocity[2] * b.front_contact.slip_velocity[2]);
    float k = clampf((16 - slip) / 16, 0, 1);
    if (s < 7.5f) {
        theta = 0;
        k = 1;
    } else if (s < 10) {
        float e = (s - 7.5f) * 0.4f;
        theta *= e;
        k = 1 - (1 - k) * e;
    }
    if (tj < 3) {
        float w = clampf((3 - tj) * 0.5f, 0, 1);
        k = k + (1 - k) * w;
        S = S + (std::max(s, si + 2) - S) * w;
        float lim = pi / 2 - 1.3744469f * w;
        theta = std::clamp(theta, -lim, lim);
        m = m + (pi / 8 - m) * clampf((3 - tj) / 3, 0, 1);
    }
    // The rear tire's slip limits the throttle too (down to a fifth): a
    // spinning rear wheel at a walking pace slides out and drops the bike.
    k = std::min(k, rear_grip_share(b));
    float c = g * (theta - phi);
    if ((c > 0) != (phi > 0) && c != 0 && phi != 0) m *= 2;
    c = std::clamp(c, -m, m);

    b.full_lock_speed = 1;
    b.restricted_lock_speed = 50;
    b.restricted_lock_angle = clampf((1 + 4 * clampf(std::fabs(c) / pi, 0, 1)) * pi / 180, 0, pi / 4);

    // Steer: the bars towards the wheel's own path, and the roll rate to
    // the command while the wheel grips.
    {
        double fv[3];
        get_body_velocity(b, body_front_wheel, fv);
        double lx = dot3(fv, f.right), lz = -dot3(fv, f.fwd);
        float delta0 = std::hypot(lx, lz) >= 1 ? (float)std::atan2(-lx, -lz) : 0.0f;
        float angle = (float)steering_angle(b), rate = (float)steering_rate(b);
        float u = clampf(shrink(8 * shrink(clampf(delta0 - angle, -0.25f, 0.25f), 1.0f / 32) - rate, 1.0f / 2400) / 2,
                         -2.0f / 3, 2.0f / 3);
        float steer = u;
        if (wheel_touches(b.front_contact)) {
            float rho = (float)roll_rate(b);
            float h = clampf((4 - slip) / 4, 0, 1);
            float e2 = shrink(rho - c, 0.125f);
            steer = u + (4 * e2 - u) * h;
        }
        set_steer(b, clampf(steer, -1, 1));
    }

    robot_speed_control(b, s, S);
    float th = k * b.controls.throttle;
    if (race.tic - r.grip_limit_tic >= 16)
        th = std::max(th, r.throttle - 1.0f / 32);
    else
        th = std::min(th, r.throttle + 1.0f / 32);
    if (b.crash_countdown > 0) th = 0;
    th = clampf(th, 0, 1);
    r.throttle = th;
    set_throttle(b, th);
}

void robot_recover(bike_state& b) {
    robot_state& r = robot(b.slot_index);
    int n = (int)r.path.size();
    if (n == 0) {
        hold(b, 0);
        return;
    }
    if (race.tic - r.last_reached_tic > 40 * 128) {
        // Lost for long: head for the nearest point still ahead on the
        // path (any point of the whole path could lie across the track, or
        // be one already ridden past); with none nearer than the current
        // target, a point ahead picked by the tic breaks the deadlock.
        r.recovery = 3;
        int from = std::clamp(r.target, 0, n - 1);
        frame_view g = view_of(b);
        int best = from;
        double best_d = 1e30;
        for (int q = from; q < n; q++) {
            double d = std::hypot(r.path[(size_t)q].x - g.pos[0], r.path[(size_t)q].z - g.pos[2]);
            if (d < best_d) {
                best_d = d;
                best = q;
            }
        }
        r.target = best != from ? best : from + race.tic % (n - from);
        r.last_reached_tic = race.tic;
    }
    set_flag(b, flag_auto_shift, true);
    // The driving narrows the steering lock to a few degrees at any speed
    // above a walk; recovering, the bike needs its full lock to turn round
    // towards the target (with the narrow lock it circles wide at cruise
    // speed and may never come within reach of it).
    b.full_lock_speed = 10;
    b.restricted_lock_speed = 50;
    b.restricted_lock_angle = 5 * pi / 180;
    if (r.target >= n) r.target = n - 1;
    frame_view f = view_of(b);
    line_point tp = r.path[(size_t)r.target];
    bool crashed = b.crash_countdown > 0;
    if (pick_up_fallen_bike(b)) {
        r.stuck_tics = 0;
        return;
    }
    // A bike that stands still for 2 s with the rider on it (hung up on a
    // lip or a bale, or spinning its wheel) will not reach a point by
    // itself: it gets the long-timeout help at once, for 3 s.
    float speed_now = (float)std::sqrt(dot3(f.vel, f.vel));
    if (crashed || (speed_now >= 2 && r.stuck_tics < 2 * 128)) {
        r.stuck_tics = 0;
    } else if (++r.stuck_tics > 5 * 128) {
        r.stuck_tics = 0;
        // Stuck again with no point reached since: the straight way to the
        // target is barred (a barrier, the face of a jump or a berm) and
        // backing up and pulling on only lands the bike against it once
        // more. It makes for a point 20 ft off to one side for a few
        // seconds, the other side the next time.
        r.stuck_spells = r.last_reached_tic == r.stuck_reached_tic ? r.stuck_spells + 1 : 1;
        r.stuck_reached_tic = r.last_reached_tic;
        double dx = tp.x - f.pos[0], dz = tp.z - f.pos[2], dl = std::hypot(dx, dz);
        if (r.stuck_spells >= 2 && dl > 1e-6) {
            double a = (r.stuck_spells % 2 ? 1.2 : -1.2), ux = dx / dl, uz = dz / dl;
            r.detour_x = (float)(f.pos[0] + 20 * (ux * std::cos(a) - uz * std::sin(a)));
            r.detour_z = (float)(f.pos[2] + 20 * (ux * std::sin(a) + uz * std::cos(a)));
            r.detour_until = race.tic + 5 * 128;
        }
    }
    if (race.tic < r.detour_until) {
        if (std::hypot(r.detour_x - f.pos[0], r.detour_z - f.pos[2]) < 4) {
            r.detour_until = -1;
        } else {
            tp.x = r.detour_x;
            tp.z = r.detour_z;
        }
    }
    // Stuck against a barrier or a bale, the pull towards the target only
    // presses the bike into it: it first walks back for 1.5 s, the bars
    // turned so the back-up swings its nose towards the target.
    if (r.stuck_tics > 2 * 128 && r.stuck_tics <= 3 * 128 + 64 && !crashed) {
        double dx = tp.x - f.pos[0], dz = tp.z - f.pos[2];
        float side = (float)(dx * f.right[0] + dz * f.right[2]);
        set_back_up(b, 1);
        set_steer(b, side >= 0 ? 1.0f : -1.0f);
        set_throttle(b, 0);
        set_clutch(b, 0);
        set_front_brake(b, 0);
        set_rear_brake(b, 0);
        return;
    }
    if (race.tic - r.last_reached_tic > 19 * 128 || r.stuck_tics > 2 * 128) {
        // Helped along: the front wheel pulled towards the target at a
        // walking pace, the frame lifted.
        double fv[3];
        get_body_velocity(b, body_front_wheel, fv);
        double dx = tp.x - f.pos[0], dz = tp.z - f.pos[2], dl = std::hypot(dx, dz);
        double want[2] = {dl > 1e-6 ? 5 * dx / dl : 0, dl > 1e-6 ? 5 * dz / dl : 0};
        double ex = fv[0] - want[0], ez = fv[2] - want[1], el = std::hypot(ex, ez);
        if (el >= 0.25) {
            double kk = std::clamp((el - 0.25) * 0.8, 0.0, 1.0);
            dBodyAddForce(b.bodies[body_front_wheel], -2000 * kk * ex / el, 0, -2000 * kk * ez / el);
        }
        dBodyAddForce(b.bodies[body_frame], 0, 16 * b.total_mass, 0);
        set_steer(b, clampf((float)((-steering_angle(b) - steering_rate(b)) * 0.25), -1, 1));
        set_sit(b, crashed ? 0.0f : 1.0f);
        set_throttle(b, 0);
        set_clutch(b, 0);
        set_front_brake(b, 0);
        set_rear_brake(b, 0);
        return;
    }
    set_sit(b, 0);
    float s = (float)std::sqrt(dot3(f.vel, f.vel));
    double d[3] = {tp.x - f.pos[0], tp.y - f.pos[1], tp.z - f.pos[2]};
    float x = (float)dot3(d, f.right), z = (float)-dot3(d, f.fwd);
    float cruise = 15;
    float phi = (float)lean_angle(b);
    float L;
    if (s >= 20) {
        L = 0.5f;
    } else if (s >= 10) {
        L = (1.0f / 3 + (s - 10) * 0.1f * 2.0f / 3) * 0.5f;
    } else {
        // At a walk no more lean than a tight turn (6 ft round) holds: a
        // sixth of a radian there asks for a turn tighter than the bars can
        // give, the lean steering saturates and the bike circles on full
        // lock round its target without ever straightening towards it.
        L = std::min(1.0f / 6, std::atan(s * s / (32 * 6.0f)));
        set_sit(b, crashed ? 0.0f : 1.0f);
        if (std::fabs(phi) > 1.0f / 6) cruise = 5;
    }
    float theta;
    if (std::fabs(x) <= -z)
        theta = clampf(0.5f * x / z, -L, L);
    else
        theta = x >= 0 ? -L : L;
    int i = std::clamp((int)path_position(b), 0, n - 1);
    if (std::fabs(x) * 4 > -z || jump_index(r, i, 9) >= 0) r.recovery = 3;
    float rho = (float)roll_rate(b);
    set_steer(b, clampf(2 * (rho - clampf(4 * (theta - phi), -4, 4)), -1, 1));
    robot_speed_control(b, s, cruise);
    // Full throttle from a standstill on a berm's face spins the rear
    // wheel at 45 ft/s in place, cycle after cycle of the stuck help.
    set_throttle(b, b.controls.throttle * rear_grip_share(b));
}

void fill_robot_parts(race_driver& rp, rider_driver& rider) {
    rp.robot_controls = robot_tic;
    rp.shuffle_robots = shuffle_robots;
    rp.save_robot_lines = remember_lines;
    rp.read_robot_lines = load_lines;
    rp.assign_robot = assign_robot;
    rp.learn_tic = learn_tic;
    rp.clear_line_picks = clear_line_picks;
    rp.gate_credited = gate_credited;
    rp.rider_finished = [](int slot) {
        if (race_slots[(size_t)slot].type == robot_slot) robot_finished(slot);
    };
    rider.clear_recent_lines = [](bike_state& b) { robot(b.slot_index).recent = {}; };
    rider.line_target = [](const bike_state& b, float out[3]) {
        const robot_state& r = robot(b.slot_index);
        if (race_slots[(size_t)b.slot_index].type != robot_slot || r.target >= (int)r.path.size()) return false;
        const line_point& p = r.path[(size_t)r.target];
        out[0] = p.x;
        out[1] = p.y;
        out[2] = p.z;
        return true;
    };
}
