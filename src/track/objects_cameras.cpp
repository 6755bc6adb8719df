// The track cameras, their file, the gate switching and the camera aim.
#include "track/objects_cameras.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>

#include "core/cmdline.h"
#include "core/diag.h"
#include "core/scan.h"
#include "core/text.h"
#include "track/height_field.h"
#include "track/line_reader.h"
#include "track/objects_race.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

namespace {

constexpr double pi = std::numbers::pi;
constexpr double dt = 1.0 / 128;
constexpr double max_lead_rate = 6.2831855;
constexpr double degrees_per_half_angle = 114.59155902616465;  // two angles, in degrees

std::vector<track_camera> g_cameras;
track_camera g_free_camera;
std::array<int, 256> g_gate_camera = [] {
    std::array<int, 256> a;
    a.fill(-1);
    return a;
}();

// "gate" after optional white space, then white space or the end.
bool gate_line(const std::string& line, size_t& rest) {
    size_t at = 0;
    while (at < line.size() && std::isspace((unsigned char)line[at])) at++;
    if (line.compare(at, 4, "gate") != 0) return false;
    at += 4;
    if (at < line.size() && !std::isspace((unsigned char)line[at])) return false;
    rest = at;
    return true;
}

void bind_gates(const std::string& line, size_t at) {
    int camera = (int)g_cameras.size();
    while (at < line.size()) {
        int n;
        size_t used = 0;
        if (string_scanf(line.c_str() + at, line.size() - at, &used, " %d", &n) != 1) return;
        if (n < 0 || n > 255) return;
        g_gate_camera[(size_t)n] = camera;
        at += used;
    }
}

double wrap_once(double x) {
    if (x >= pi) return x - 2 * pi;
    if (x <= -pi) return x + 2 * pi;
    return x;
}

bool opposite_signs(double a, double b) { return (a < 0) != (b < 0); }

// The rate moves from `rate` towards `wanted` by at most pi per second.
double approach(double rate, double wanted) {
    double r = rate - wanted;
    double step = pi * dt;
    r = r > 0 ? std::max(r - step, 0.0) : std::min(r + step, 0.0);
    return wanted + r;
}

bool finite3(const std::array<double, 3>& v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

}  // namespace

std::vector<track_camera>& track_cameras() { return g_cameras; }
track_camera& free_flight_camera() { return g_free_camera; }
const std::array<int, 256>& gate_cameras() { return g_gate_camera; }

void free_cameras() {
    g_cameras.clear();
    g_gate_camera.fill(-1);
}

void load_cameras(const char* name) {
    free_cameras();
    g_cameras.reserve(16);
    vfs_file* f = name ? vfs_open(name, "rb") : nullptr;
    if (!f) return;
    float fov = 90, autofovsize = 0;
    std::string line;
    while (read_whole_line(f, line)) {
        float x, y, z, v;
        size_t rest;
        if (scan_line(line, "addcamera %f %f %f", &x, &y, &z) == 3) {
            // A camera must stand somewhere to be aimed.
            if (std::isfinite(x) && std::isfinite(y) && std::isfinite(z)) {
                track_camera c;
                c.position = {x, height_at(x, z) + y, z};
                c.fov = fov;
                c.autofovsize = autofovsize;
                g_cameras.push_back(c);
            }
            fov = 90, autofovsize = 0;
        } else if (scan_line(line, "fov %f", &v) == 1) {
            if (std::isfinite(v)) fov = std::fabs(v);
        } else if (scan_line(line, "autofovsize %f", &v) == 1) {
            if (std::isfinite(v)) autofovsize = std::fabs(v);
        } else if (gate_line(line, rest)) {
            bind_gates(line, rest);
        }
    }
    vfs_close(f);
    if (cmdline.debug_level > 0) log_printf("%d cameras found\n", (int)g_cameras.size());
}

bool has_camera_switches() { return current_laps().normal > 0; }

int camera_for_rider(int slot) {
    lap_view laps = current_laps();
    if (laps.normal <= 0) return -1;
    int passed = object_race.gates_passed ? object_race.gates_passed(slot) : 0;
    int gate = gate_of_position(laps, passed);
    return gate >= 0 ? g_gate_camera[(size_t)gate] : -1;
}

void aim_camera(track_camera& c, const std::array<double, 3>* target, const std::array<double, 3>& velocity,
                const control_values& controls, bool snap, bool auto_camera) {
    double want_yaw_rate, want_pitch_rate;
    // Without a target to follow (or with one that is not a place) the
    // controls keep steering.
    if (auto_camera && target && finite3(*target) && finite3(velocity)) {
        const std::array<double, 3>& t = *target;
        std::array<double, 3> d, e;
        for (int k = 0; k < 3; k++) {
            d[(size_t)k] = t[(size_t)k] - c.position[(size_t)k];
            e[(size_t)k] = t[(size_t)k] + velocity[(size_t)k] * dt - c.position[(size_t)k];
        }
        double yaw_now = std::atan2(d[0], d[2]), yaw_next = std::atan2(e[0], e[2]);
        double lead = std::clamp(wrap_once(yaw_next - yaw_now) / dt, -max_lead_rate, max_lead_rate);
        if (snap) c.yaw = yaw_now;
        double err = wrap_once(yaw_now - c.yaw);
        if (opposite_signs(lead, err)) lead = 0;
        want_yaw_rate = std::clamp(err, -pi / 2, pi / 2) + lead;

        double pitch_now = std::atan2(d[1], std::hypot(d[0], d[2]));
        double pitch_next = std::atan2(e[1], std::hypot(e[0], e[2]));
        double nod = std::clamp((pitch_next - pitch_now) / dt, -max_lead_rate, max_lead_rate);
        if (snap) c.pitch = pitch_now;
        double errp = pitch_now - c.pitch;
        if (opposite_signs(nod, errp)) nod = 0;
        want_pitch_rate = nod + errp * pi / 4;

        if (snap) c.yaw_rate = want_yaw_rate, c.pitch_rate = want_pitch_rate;

        if (c.autofovsize > 0) {
            double distance = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            double fit = std::atan2(c.autofovsize, distance) * degrees_per_half_angle;
            if (snap) {
                c.fov = fit;
            } else {
                double D = c.fov - fit;
                double step = dt * (2 * std::fabs(D) + 1);
                c.fov = D >= 0 ? fit + std::max(D - step, 0.0) : fit + std::min(D + step, 0.0);
            }
        }
    } else {
        want_yaw_rate = controls[steer_control] * 1.1780972;
        want_pitch_rate = controls[shift_control] * pi / 4;
    }

    c.yaw_rate = approach(c.yaw_rate, want_yaw_rate);
    c.yaw += c.yaw_rate * dt;
    if (c.yaw > pi) c.yaw -= 2 * pi;
    else if (c.yaw < -pi) c.yaw += 2 * pi;

    c.pitch_rate = approach(c.pitch_rate, want_pitch_rate);
    c.pitch = std::clamp(c.pitch + c.pitch_rate * dt, -pi / 2, pi / 2);
}

std::string encode_cameras(const std::vector<camera_placement>& cameras) {
    std::string out;
    for (const camera_placement& c : cameras) {
        if (!c.gates.empty()) {
            out += "gate";
            for (int g : c.gates) out += format_string(" %d", g);
            out += "\n";
        }
        if (c.fov != 90) out += "fov " + exact_float_text(c.fov) + "\n";
        if (c.autofovsize != 0) out += "autofovsize " + exact_float_text(c.autofovsize) + "\n";
        out += "addcamera " + exact_float_text(c.x) + " " + exact_float_text(c.y) + " " + exact_float_text(c.z) + "\n";
    }
    return out;
}

track_camera& chosen_camera(int chosen, track_camera& free_camera) {
    std::vector<track_camera>& cameras = g_cameras;
    return chosen >= 0 && chosen < (int)cameras.size() ? cameras[(size_t)chosen] : free_camera;
}

void aim_chosen_camera(int chosen, track_camera& free_camera, const std::array<double, 3>* target,
                       const std::array<double, 3>& velocity, const control_values& controls, bool snap,
                       bool auto_camera) {
    aim_camera(chosen_camera(chosen, free_camera), target, velocity, controls, snap, auto_camera);
}
