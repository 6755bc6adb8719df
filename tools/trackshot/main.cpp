// quarnix-trackshot --data <folder with zzzz.saf> --out <folder> [--ground] [--track DIR]
// Loads a generated track (Rabbit Hill unless --track names another) the way the game does, lines a field of bikes up behind
// the starting gate and draws views through the game's frame drawing: the
// start, a bike over the big jump (or the track's first jump), a bike leaning into a berm, and a rider
// thrown into the dirt and back on the bike. (The riding view with the HUD
// is the game's own screenshot: scripts/game_pictures.) With --ground: the ground
// from a rider's eye height along the track's edges and across the field.
// --preset draws with one of the menu's graphics presets ("Normal", …).
#include <GL/gl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/crash.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "datagen/rabbithill_layout.h"
#include "game/drivers.h"
#include "platform/window.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "render/bike_draw.h"
#include "render/frame_draw.h"
#include "render/gl_caps.h"
#include "render/image_io.h"
#include "render/model.h"
#include "render/texture.h"
#include "track/height_field.h"
#include "track/objects_statues.h"
#include "track/track.h"
#include "ui/font.h"
#include "ui/hud.h"
#include "ui/text_pixels.h"
#include "vfs/vfs.h"

namespace {

constexpr int width = 960, height = 600;

int usage() {
    fprintf(stderr,
            "usage: quarnix-trackshot --data <folder with zzzz.saf> --out <folder> [--ground] [--preset <name>] "
            "[--track DIR]\n");
    return 2;
}

bool shoot(plix_window* w, const frame_camera& cam, const std::string& path) {
    int fw = width, fh = height;
    pump_messages(w);
    if (!begin_frame(w, &fw, &fh)) return false;
    glClearColor(0.196078f, 0.6f, 0.8f, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    set_projection(fw, fh, 75);
    frame_race shown;
    shown.tic = race.tic;
    shown.local_slot = 0;  // the human rider, whom ghosts would fade by
    draw_frame(cam, -1, shown);
    glFinish();
    std::vector<uint8_t> rows((size_t)fw * fh * 3), top(rows.size()), png;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, fw, fh, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    end_frame(w);
    size_t row = (size_t)fw * 3;
    for (int y = 0; y < fh; y++) memcpy(&top[(size_t)y * row], &rows[(size_t)(fh - 1 - y) * row], row);
    if (!encode_png(top.data(), fw, fh, 3, nullptr, png) || !save_file_bytes(path.c_str(), png)) {
        fprintf(stderr, "quarnix-trackshot: cannot write %s\n", path.c_str());
        return false;
    }
    printf("%s\n", path.c_str());
    return true;
}

// The lap sample nearest to a lap distance.
const rabbithill::centre_sample& at_distance(const rabbithill::track_design& d, double s) {
    size_t best = 0;
    for (size_t k = 0; k < d.lap.size(); k++)
        if (std::fabs(d.lap[k].s - s) < std::fabs(d.lap[best].s - s)) best = k;
    return d.lap[best];
}

// Moves a bike so its frame sits at (x, y, z), heading along (dx, dz).
void place(bike_state& b, double x, double y, double z, double dx, double dz, double lean) {
    double p[3];
    get_body_position(b, body_frame, p);
    translate_bike(b, -p[0], -p[1], -p[2]);
    // The bike's rest pose faces -z; turn it to the heading, then lean it.
    double heading = std::atan2(-dx, -dz);
    rotate_bike(b, 0, 1, 0, heading);
    if (lean != 0) rotate_bike(b, -dz, 0, dx, lean);
    translate_bike(b, x, y, z);
}

// A crash, through the game's own race tic: a rider in simulation physics
// straight into a hay bale at 60 ft/s, seen from the side as the rider comes
// off, lies in the dirt and is back on the bike.
bool shoot_crash(plix_window* w, const std::string& out) {
    bike_setup saved = player_setup;
    player_setup.arcade = 0;
    race_setup setup;
    slot_kind_list kinds{};
    kinds[0] = slot_kind_human;
    setup.slot_kinds = kinds;
    setup.laps = 3;
    bool ok = reset_race(setup) && bike_in_slot(0);
    const std::vector<statue>& statues = track_statues();
    int bale = -1;
    for (int i = first_track_statue(); i < (int)statues.size() && bale < 0; i++)
        if (statues[(size_t)i].shape && statues[(size_t)i].shape_name.find("haybale") != std::string::npos) bale = i;
    if (!ok || bale < 0) {
        fprintf(stderr, "quarnix-trackshot: no hay bale to crash into\n");
        player_setup = saved;
        return false;
    }
    const statue& target = statues[(size_t)bale];
    bike_state& b = *bike_in_slot(0);
    reset_bike(b);
    drop_bike(b, target.x - 40, target.z, (float)(-M_PI / 2));
    roll_bike(b, 60);
    // From the side, between the rider and the bike.
    auto view = [&](const char* name) {
        double r[3], f[3];
        get_body_position(b, body_rider, r);
        get_body_position(b, body_frame, f);
        std::array<double, 3> mid{(r[0] + f[0]) / 2, (r[1] + f[1]) / 2, (r[2] + f[2]) / 2};
        std::array<double, 3> eye{mid[0] + 2, mid[1] + 3, mid[2] + 13};
        return shoot(w, look_at_camera(eye, mid), out + "/" + name);
    };
    control_values c{};
    int t = 0;
    auto run = [&](int tics, bool (*until)(const bike_state&)) {
        for (int k = 0; k < tics && !(until && until(b)); k++, t++) {
            set_bike_controls(0, c);
            simulate_tic();
        }
    };
    run(2 * 128, [](const bike_state& x) { return rider_is_down(x); });
    run(56, nullptr);  // thrown off
    ok &= rider_is_down(b) && view("crash_thrown.png");
    run(2 * 128, nullptr);  // lying in the dirt
    ok &= rider_is_down(b) && view("crash_down.png");
    run(20 * 128, [](const bike_state& x) { return !rider_is_down(x); });
    run(64, nullptr);
    ok &= !rider_is_down(b) && view("crash_back_on.png");
    player_setup = saved;
    return ok;
}

// The ground as a rider sees it: from eye height near the track's edge,
// looking along the lap and a little outward, at corners and on straights,
// and one view across the field to the far side.
bool shoot_ground(plix_window* w, const rabbithill::track_design& d, const std::string& out) {
    bool ok = true;
    const double eye_height = 5.2;
    int k = 0;
    for (double share : {0.02, 0.16, 0.33, 0.47, 0.62, 0.81}) {
        const rabbithill::centre_sample& c = at_distance(d, share * d.lap_length);
        // Right of travel is (-dz, dx); the edge on the outside of the lap.
        double rx = -c.dz, rz = c.dx, side = k % 2 ? 1 : -1;
        double ex = c.x + rx * side * (c.width / 2 - 4), ez = c.z + rz * side * (c.width / 2 - 4);
        double ey = height_at((float)ex, (float)ez) + eye_height;
        double tx = ex + c.dx * 30 + rx * side * 10, tz = ez + c.dz * 30 + rz * side * 10;
        double ty = height_at((float)tx, (float)tz);
        char name[64];
        snprintf(name, sizeof name, "/ground_edge_%d.png", ++k);
        ok &= shoot(w, look_at_camera({ex, ey, ez}, {tx, ty, tz}), out + name);
    }
    const rabbithill::centre_sample& c = at_distance(d, 0.5 * d.lap_length);
    double y = height_at((float)c.x, (float)c.z) + eye_height;
    ok &= shoot(w, look_at_camera({c.x, y, c.z}, {rabbithill::extent / 2, y - 6, rabbithill::extent / 2}),
                out + "/ground_far.png");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    std::string data, out;
    bool ground = false;
    std::string track = "rabbithill";
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--ground")) {
            ground = true;
        } else if (!strcmp(argv[i], "--track") && i + 1 < argc) {
            track = argv[++i];
        } else if (!strcmp(argv[i], "--preset") && i + 1 < argc) {
            // The graphics settings of one of the menu's presets, by name.
            const char* name = argv[++i];
            int found = -1;
            for (int k = 0; k < graphics_preset_count; k++)
                if (!strcmp(graphics_presets[(size_t)k].name, name)) found = k;
            if (found < 0) return usage();
            apply_graphics_preset(found);
        }
        else if (!strcmp(argv[i], "--data") && i + 1 < argc)
            data = argv[++i];
        else if (!strcmp(argv[i], "--out") && i + 1 < argc)
            out = argv[++i];
        else
            return usage();
    }
    if (data.empty() || out.empty()) return usage();
    const rabbithill::track_plan* plan = rabbithill::plan_named(track);
    if (!plan) {
        fprintf(stderr, "quarnix-trackshot: %s is not a generated track\n", track.c_str());
        return 2;
    }
    setenv("KV_HOME", data.c_str(), 1);
    std::string home = "/tmp/quarnix-trackshot-" + std::to_string(getpid());
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("QUARNIX_NO_DIALOG", "1", 1);
    file_list();
    plix_window* w = open_gl_window("quarnix-trackshot", width, height, 24, 0, 24, 0, 0);
    if (!w) {
        fprintf(stderr, "quarnix-trackshot: no GL window (is a display set?)\n");
        return 1;
    }
    derive_render_params();
    gl_choice_settings choice;
    choice.use_shader = settings.use_shader;
    choice.render_texture = settings.render_texture;
    choice.ground_mipmaps = settings.ground_mipmaps;
    gl_start(choice);
    textures_init(&gl_texture_driver);
    models_init(true);
    // The subsystems wired to each other as the game wires them.
    connect_drivers();
    load_fonts();
    set_number_plate_painter(paint_number_plate);
    load_hud_textures();
    settings.track = track;
    if (scan_tracks() < 1 || !bike_world_init()) {
        fprintf(stderr, "quarnix-trackshot: no track in %s\n", data.c_str());
        return 1;
    }
    race_setup setup;
    slot_kind_list kinds{};
    for (int k = 0; k < 12; k++) kinds[(size_t)k] = k == 0 ? slot_kind_human : slot_kind_robot;
    setup.slot_kinds = kinds;
    setup.laps = 3;
    if (!reset_race(setup) || !bike_in_slot(0)) {
        fprintf(stderr, "quarnix-trackshot: the race does not start\n");
        return 1;
    }
    rabbithill::track_design d = rabbithill::build_design(*plan);
    bool ok = true;
    if (ground) {
        ok = shoot_ground(w, d, out);
        free_race();
        release_track();
        free_bike_drawings();
        textures_free();
        models_free();
        close_gl_window(w);
        return ok ? 0 : 1;
    }
    // 1. The start: from behind and above the field, over the gate.
    {
        const rabbithill::start_position& s = d.starts[d.starts.size() / 2];
        double fx = -std::sin(s.angle), fz = -std::cos(s.angle);
        std::array<double, 3> eye{s.x - fx * 22, s.y + 9, s.z - fz * 22};
        std::array<double, 3> target{s.x + fx * 30, s.y, s.z + fz * 30};
        ok &= shoot(w, look_at_camera(eye, target), out + "/" + track + "_start.png");
    }
    // 2. Over the big jump (or the first jump of a track without one): a
    // bike high in the air, seen from the side.
    const rabbithill::feature* jump = nullptr;
    for (const rabbithill::feature& f : d.features)
        if (f.kind == rabbithill::feature_big_jump || (!jump && f.kind != rabbithill::feature_whoops &&
                                                       f.kind != rabbithill::feature_rollers))
            jump = &f;
    for (const rabbithill::feature& f : d.features) {
        if (&f != jump) continue;
        const rabbithill::centre_sample& c = at_distance(d, f.start + f.length * 0.55);
        double y = height_at((float)c.x, (float)c.z) + 8;
        place(*bike_in_slot(0), c.x, y, c.z, c.dx, c.dz, 0);
        std::array<double, 3> eye{c.x + c.dz * 18 - c.dx * 8, y + 1, c.z - c.dx * 18 - c.dz * 8};
        ok &= shoot(w, look_at_camera(eye, {c.x, y - 1, c.z}), out + "/" + track + "_jump.png");
    }
    // 3. In a berm: the bike leaning into the turn, seen from inside it.
    // Rabbit Hill's East Berm, or the first full berm of 20 ft or more.
    const rabbithill::corner* berm = nullptr;
    for (const rabbithill::corner& k : plan->corners)
        if (!strcmp(k.name, "East Berm") || (!berm && k.berm >= 1 && k.radius >= 20)) berm = &k;
    for (const rabbithill::corner& k : plan->corners) {
        if (&k != berm) continue;
        size_t best = 0;
        for (size_t i = 0; i < d.lap.size(); i++)
            if (std::hypot(d.lap[i].x - k.x, d.lap[i].z - k.z) < std::hypot(d.lap[best].x - k.x, d.lap[best].z - k.z))
                best = i;
        const rabbithill::centre_sample& c = d.lap[best];
        // Out along the radius towards the berm's built-up outside.
        double ox = c.x - k.x, oz = c.z - k.z, ol = std::hypot(ox, oz);
        ox /= ol, oz /= ol;
        double bx = c.x + ox * c.width * 0.3, bz = c.z + oz * c.width * 0.3;
        double y = height_at((float)bx, (float)bz) + 2.4;
        double side = c.curvature > 0 ? 1 : -1;
        place(*bike_in_slot(0), bx, y, bz, c.dx, c.dz, side * 0.6);
        std::array<double, 3> eye{k.x + ox * (k.radius - 18) - c.dx * 14, y + 5,
                                  k.z + oz * (k.radius - 18) - c.dz * 14};
        ok &= shoot(w, look_at_camera(eye, {bx, y, bz}), out + "/" + track + "_berm.png");
    }
    ok &= shoot_crash(w, out);
    free_race();
    release_track();
    free_bike_drawings();
    textures_free();
    models_free();
    close_gl_window(w);
    return ok ? 0 : 1;
}
