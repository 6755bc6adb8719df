// The cameras of the views: the first person's, the third-person camera, the
// free and track cameras the controls steer while not riding.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/clock.h"
#include "core/cmdline.h"
#include "console/keycam.h"
#include "core/config.h"
#include "game/frame_loop_internal.h"
#include "net/net.h"
#include "platform/main_window.h"
#include "race/race.h"
#include "render/frame_draw.h"
#include "track/height_field.h"
#include "track/objects_cameras.h"

using namespace frame_loop_detail;

void (*world_overlay)(const frame_camera& camera, int width, int height) = nullptr;

namespace {

frame_loop_state& L = loop_state;
using vec3 = std::array<double, 3>;

constexpr double pi = std::numbers::pi;
constexpr double chase_ground_radius = 10;
constexpr double chase_ground_clearance = 5;
constexpr double free_camera_clearance = 2;
constexpr double speed_of_sound_ft = 1140.63;

vec3 add(vec3 a, vec3 b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
vec3 scale(vec3 a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double length(vec3 a) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); }

double wrap_angle(double a) {
    if (a > pi) a -= 2 * pi;
    if (a < -pi) a += 2 * pi;
    return a;
}

double ground_height(double x, double z) { return height_at((float)x, (float)z); }

// The listener moves with the viewed bike when the camera rides with it;
// a free or track camera by how far it went over the tics since the last
// frame (none across a jump of the clock or a cut).
struct camera_track {
    vec3 position{};
    int tic = 0;
    bool known = false;
    vec3 velocity{};
};
camera_track g_camera_track;

vec3 listener_velocity(const frame_camera& camera, bool with_bike) {
    camera_track& t = g_camera_track;
    bike_pose pose;
    if (with_bike && frame_pose(race.viewed_slot, pose)) {
        t.velocity = pose.velocity;
    } else if (t.known && race.tic != t.tic) {
        int tics = race.tic - t.tic;
        vec3 v = scale(add(camera.position, scale(t.position, -1)), 1 / (tics * tic_length));
        t.velocity = tics > 0 && tics <= 16 && length(v) < 0.5 * speed_of_sound_ft ? v : vec3{};
    }
    t.position = camera.position;
    t.tic = race.tic;
    t.known = true;
    return t.velocity;
}

}  // namespace

double ground_average(double x, double z, double radius) {
    if (!std::isfinite(x) || !std::isfinite(z)) return -HUGE_VAL;
    int nx = terrain.samples_per_side, nz = nx;
    double e = terrain.cell_size;
    if (!height_field_loaded() || nx <= 0 || !(e > 0)) return ground_height(x, z);
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
            sum += w * sample_height(i, j);
            weights += w;
        }
    }
    if (weights > 0) return sum / weights;
    return sample_height(index(std::floor((x - radius) / e), nx), index(std::floor((z - radius) / e), nz));
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

void draw_world() {
    frame_camera camera;
    int first_person = -1;
    switch (L.view_mode) {
        case first_person_view:
            if (!first_person_camera(race.viewed_slot, camera)) return;
            first_person = race.viewed_slot;
            break;
        case third_person_view: {
            chase_camera c;
            bike_pose pose;
            if (frame_pose(race.viewed_slot, pose)) c = third_person_camera(pose, L.riding);
            camera = look_at_camera(c.eye, c.target);
            break;
        }
        case free_view: {
            if (keycam_camera(race.tic, camera)) break;
            const track_camera& c = chosen_camera(L.chosen_camera, free_flight_camera());
            camera = yaw_pitch_camera(c.position, c.yaw, c.pitch);
            camera.fov = c.fov;
            break;
        }
        default: return;
    }
    frame_race shown;
    shown.camera_velocity = listener_velocity(camera, L.view_mode != free_view);
    shown.tic = race.tic;
    shown.local_slot = local_human_slot();
    shown.online = net_connected();
    draw_frame(camera, first_person, shown);
    if (world_overlay) {
        int width = 0, height = 0;
        main_window_size(width, height);
        world_overlay(camera, width, height);
    }
}

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
    int cameras = (int)track_cameras().size();
    if (L.auto_camera && cameras > 0 && has_camera_switches()) {
        int k = camera_for_rider(race.viewed_slot);
        if (k != -1 && L.chosen_camera != -1 && k != L.chosen_camera) {
            L.chosen_camera = k;
            snap = true;
        }
    }
    bike_pose target;
    bool have_target = frame_pose(race.viewed_slot, target);
    aim_chosen_camera(L.chosen_camera, free_flight_camera(), have_target ? &target.position : nullptr,
                      target.velocity, in, snap, L.auto_camera);

    float step = (float)(80 * tic_length);
    if (in[throttle_control] > 0.5) L.free_camera_speed = std::min(L.free_camera_speed + step, 100.0f);
    if (in[front_brake_control] > 0.5) L.free_camera_speed = std::max(L.free_camera_speed - step, -100.0f);
    float decay = (float)(60 * tic_length);
    if (L.free_camera_speed > 0)
        L.free_camera_speed = std::max(L.free_camera_speed - decay, 0.0f);
    else
        L.free_camera_speed = std::min(L.free_camera_speed + decay, 0.0f);
    if (std::fabs(L.free_camera_speed) > 0.0001f) {
        track_camera& cam = free_flight_camera();
        double d = (double)L.free_camera_speed * tic_length;
        vec3 dir = {std::sin(cam.yaw) * std::cos(cam.pitch), std::sin(cam.pitch),
                    std::cos(cam.yaw) * std::cos(cam.pitch)};
        cam.position = add(cam.position, scale(dir, d));
        double ground = ground_height(cam.position[0], cam.position[2]);
        cam.position[1] = std::max(cam.position[1], ground + free_camera_clearance);
    }
}

}  // namespace frame_loop_detail
