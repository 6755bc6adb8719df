// The third-person camera and the cameras the controls steer while not riding.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "game/frame_loop_internal.h"
#include "race/race.h"
#include "track/objects_cameras.h"

using namespace frame_loop_detail;

namespace {

frame_loop_state& L = loop_state;
using vec3 = std::array<double, 3>;

constexpr double pi = std::numbers::pi;
constexpr double chase_ground_radius = 10;
constexpr double chase_ground_clearance = 5;
constexpr double free_camera_clearance = 2;

vec3 add(vec3 a, vec3 b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
vec3 scale(vec3 a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double length(vec3 a) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); }

double wrap_angle(double a) {
    if (a > pi) a -= 2 * pi;
    if (a < -pi) a += 2 * pi;
    return a;
}

}  // namespace

double ground_average(double x, double z, double radius) {
    if (!std::isfinite(x) || !std::isfinite(z)) return -HUGE_VAL;
    int nx = 0, nz = 0;
    double e = 0;
    if (!track_hook.height_grid || !track_hook.height_sample || !track_hook.height_grid(nx, nz, e) || nx <= 0 ||
        nz <= 0 || !(e > 0))
        return track_hook.height_at ? track_hook.height_at(x, z) : -HUGE_VAL;
    auto index = [](double v, int n) { return (int)std::clamp(v, 0.0, (double)(n - 1)); };
    double reach = radius + e;
    int i0 = index(std::floor((x - reach) / e), nx), i1 = index(std::ceil((x + reach) / e), nx);
    int j0 = index(std::floor((z - reach) / e), nz), j1 = index(std::ceil((z + reach) / e), nz);
    double sum = 0, weights = 0;
    for (int i = i0; i <= i1; i++) {
        for (int j = j0; j <= j1; j++) {
            double dx = i * e - x, dz = j * e - z;
            double d = std::sqrt(dx * dx + dz * dz);
            double w = d < radius ? 1 : d < reach ? (reach - d) / e : 0;
            if (w <= 0) continue;
            sum += w * track_hook.height_sample(i, j);
            weights += w;
        }
    }
    if (weights > 0) return sum / weights;
    return track_hook.height_sample(index(std::floor((x - radius) / e), nx), index(std::floor((z - radius) / e), nz));
}

chase_camera third_person_camera(const bike_pose& pose, bool riding) {
    chase_camera c;
    const auto& ax = pose.axes;
    const auto& cc = cmdline.chase_center;
    c.target = pose.position;
    for (int k = 0; k < 3; k++) c.target = add(c.target, scale(ax[(size_t)k], cc[(size_t)k]));

    vec3 dir;
    if (riding) {
        vec3 rear = ax[2];
        vec3 v = {pose.velocity[0], 0, pose.velocity[2]};
        double s2 = v[0] * v[0] + v[2] * v[2];
        if (settings.rigid_camera == 1) {
            dir = rear;
        } else if (s2 >= 900) {
            dir = scale(v, -1);
        } else {
            double w = std::clamp((std::sqrt(s2) - 10) * 0.05, 0.0, 1.0);
            dir = add(scale(rear, 1 - w), scale(v, -w));
        }
    } else {
        dir = {std::sin((double)L.orbit_yaw), 0, std::cos((double)L.orbit_yaw)};
    }
    double n = length(dir);
    dir = n > 0 ? scale(dir, 1 / n) : vec3{0, 0, 1};
    double distance = riding ? settings.third_person_distance : (double)L.orbit_distance;
    c.eye = add(c.target, scale(dir, distance));
    double h = riding ? settings.third_person_height : (double)L.orbit_height;
    double ground = ground_average(c.eye[0], c.eye[2], chase_ground_radius);
    c.eye[1] = std::max(c.target[1] + h, ground + chase_ground_clearance);
    return c;
}

namespace frame_loop_detail {

void steer_camera() {
    const control_values& in = L.controls;
    if (L.view_mode == third_person_view) {
        L.orbit_yaw = (float)wrap_angle((double)L.orbit_yaw + in[steer_control] * pi / 512);
        if (in[throttle_control] > 0.5) L.orbit_distance = std::max(L.orbit_distance - 1.0f / 64, 0.25f);
        if (in[front_brake_control] > 0.5) L.orbit_distance += 1.0f / 64;
        L.orbit_height += (float)(tic_length * in[shift_control]);
        return;
    }
    if (L.view_mode != free_view) return;

    bool dab = in[dab_control] > 0.5;
    if (dab && !L.dab_was_down) L.auto_camera = !L.auto_camera;
    L.dab_was_down = dab;

    bool snap = false;
    int cameras = track_hook.camera_count ? track_hook.camera_count() : 0;
    if (L.auto_camera && cameras > 0 && track_hook.has_camera_switches && track_hook.has_camera_switches() &&
        track_hook.camera_for_rider) {
        int k = track_hook.camera_for_rider(race.viewed_slot);
        if (k != -1 && L.chosen_camera != -1 && k != L.chosen_camera) {
            L.chosen_camera = k;
            snap = true;
        }
    }
    bike_pose target;
    bool have_target = bike_hook.frame_pose && bike_hook.frame_pose(race.viewed_slot, target);
    if (track_hook.aim_camera)
        track_hook.aim_camera(L.chosen_camera, free_flight_camera(), have_target ? &target : nullptr, in, snap,
                              L.auto_camera);

    float step = (float)(80 * tic_length);
    if (in[throttle_control] > 0.5) L.free_camera_speed = std::min(L.free_camera_speed + step, 100.0f);
    if (in[front_brake_control] > 0.5) L.free_camera_speed = std::max(L.free_camera_speed - step, -100.0f);
    float decay = (float)(60 * tic_length);
    if (L.free_camera_speed > 0)
        L.free_camera_speed = std::max(L.free_camera_speed - decay, 0.0f);
    else
        L.free_camera_speed = std::min(L.free_camera_speed + decay, 0.0f);
    if (std::fabs(L.free_camera_speed) > 0.0001f) {
        camera_record& cam = free_flight_camera();
        double d = (double)L.free_camera_speed * tic_length;
        vec3 dir = {std::sin(cam.yaw) * std::cos(cam.pitch), std::sin(cam.pitch),
                    std::cos(cam.yaw) * std::cos(cam.pitch)};
        cam.position = add(cam.position, scale(dir, d));
        if (track_hook.height_at) {
            double ground = track_hook.height_at(cam.position[0], cam.position[2]);
            cam.position[1] = std::max(cam.position[1], ground + free_camera_clearance);
        }
    }
}

}  // namespace frame_loop_detail
