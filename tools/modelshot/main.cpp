// quarnix-modelshot: builds a bike of the built data at rest and draws it
// with its rider as the game does, then saves side, front and three-quarter
// pictures.
//   quarnix-modelshot --data <folder with zzzz.saf> --out <folder> [--bike cr125]
//                     [--size 480x320] [--number 7] [--all] [--lean 0.3] [--dab 1]
//                     [--level-distance 40]
// --all adds left, rear and top views; --lean tips the bike to its left by
// that many radians about the tires' line on the ground, --dab puts the
// legs out by that much (0..1), --level-distance draws the coarser version
// the game draws at that many feet.
// Needs a display (run it under xvfb-run on a headless machine).
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "core/diag.h"
#include "platform/window.h"
#include "render/bike_draw.h"
#include "render/gl_caps.h"
#include "render/gl_ext.h"
#include "render/image_io.h"
#include "render/model.h"
#include "render/shaders.h"
#include "render/texture.h"
#include "vfs/vfs.h"

namespace {

// --level-distance: the bike is drawn in the version the game draws at this
// many feet (0: the full model).
double g_level_distance = 0;

// ---- a number plate texture ------------------------------------------------------

const char* digit_rows[10][7] = {
    {"01110", "10001", "10011", "10101", "11001", "10001", "01110"}, {"00100", "01100", "00100", "00100", "00100", "00100", "01110"},
    {"01110", "10001", "00001", "00110", "01000", "10000", "11111"}, {"11110", "00001", "00001", "01110", "00001", "00001", "11110"},
    {"00010", "00110", "01010", "10010", "11111", "00010", "00010"}, {"11111", "10000", "11110", "00001", "00001", "10001", "01110"},
    {"00110", "01000", "10000", "11110", "10001", "10001", "01110"}, {"11111", "00001", "00010", "00100", "01000", "01000", "01000"},
    {"01110", "10001", "10001", "01110", "10001", "10001", "01110"}, {"01110", "10001", "10001", "01111", "00001", "00010", "01100"},
};

// The game's plates stay blank until its fonts draw the digits; these
// pictures paint them with a small block font instead.
void paint_digits(const char* number, const number_plate_colours& colours, uint8_t* px, int n) {
    int digits = (int)strlen(number);
    int cell = digits <= 1 ? 14 : (digits == 2 ? 11 : 7);
    int width = digits * 6 * cell - cell, x0 = (n - width) / 2, y0 = (n - 7 * cell) / 2;
    for (int d = 0; d < digits; d++) {
        int v = number[(size_t)d] - '0';
        if (v < 0 || v > 9) continue;
        for (int r = 0; r < 7; r++)
            for (int col = 0; col < 5; col++) {
                if (digit_rows[v][r][col] != '1') continue;
                for (int y = 0; y < cell; y++)
                    for (int x = 0; x < cell; x++) {
                        int px_x = x0 + (d * 6 + col) * cell + x, px_y = y0 + r * cell + y;
                        if (px_x < 0 || px_y < 0 || px_x >= n || px_y >= n) continue;
                        for (int c = 0; c < 3; c++) px[((size_t)px_y * n + px_x) * 3 + c] = colours.foreground[c];
                    }
            }
    }
}

// ---- the scene ---------------------------------------------------------------------

void look_at(const double eye[3], const double target[3]) {
    double f[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    for (double& v : f) v /= fl;
    double up[3] = {0, 1, 0};
    double sx[3] = {f[1] * up[2] - f[2] * up[1], f[2] * up[0] - f[0] * up[2], f[0] * up[1] - f[1] * up[0]};
    double sl = std::sqrt(sx[0] * sx[0] + sx[1] * sx[1] + sx[2] * sx[2]);
    for (double& v : sx) v /= sl;
    double u[3] = {sx[1] * f[2] - sx[2] * f[1], sx[2] * f[0] - sx[0] * f[2], sx[0] * f[1] - sx[1] * f[0]};
    double m[16] = {sx[0], u[0], -f[0], 0, sx[1], u[1], -f[1], 0, sx[2], u[2], -f[2], 0, 0, 0, 0, 1};
    glLoadMatrixd(m);
    glTranslated(-eye[0], -eye[1], -eye[2]);
}

void draw_scene(const bike_state& bike, int width, int height, const double eye[3], const double target[3],
                double fov) {
    glViewport(0, 0, width, height);
    glClearColor(0.78f, 0.84f, 0.9f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    double hy = std::tan(fov * M_PI / 360) * 0.75, hx = hy * width / height, near = 0.5;
    glFrustum(-hx * near, hx * near, -hy * near, hy * near, near, 200);
    glMatrixMode(GL_MODELVIEW);
    look_at(eye, target);

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    // Ground under the bike.
    use_program(program_fixed);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glColor3f(0.55f, 0.47f, 0.38f);
    glVertex3f(-30, -0.05f, -30);
    glVertex3f(-30, -0.05f, 30);
    glVertex3f(30, -0.05f, 30);
    glVertex3f(30, -0.05f, -30);
    glEnd();
    glColor3f(1, 1, 1);

    // The frame drawing's light: one sun, local viewer.
    const GLfloat sun[4] = {0.45f, 0.8f, -0.4f, 0}, sun_colour[4] = {0.85f, 0.83f, 0.78f, 1};
    const GLfloat ambient[4] = {0.42f, 0.44f, 0.48f, 1}, global[4] = {0.12f, 0.12f, 0.12f, 1};
    glEnable(GL_LIGHT0);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    glLightfv(GL_LIGHT0, GL_POSITION, sun);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, sun_colour);
    glLightfv(GL_LIGHT0, GL_SPECULAR, sun_colour);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.75f);
    glFogf(GL_FOG_DENSITY, 0);
    bike_draw_options options;
    if (g_level_distance > 0) {
        options.camera_known = true;
        // Only the distance counts: a point that far to the bike's side.
        get_body_position(bike, body_frame, options.camera);
        options.camera[0] += g_level_distance;
    }
    draw_bike(bike, view_outside, options);
    use_program(program_fixed);
}

// The window's pixels, halved in each direction (2 x 2 averages), top row first.
std::vector<uint8_t> grab(int width, int height) {
    std::vector<uint8_t> raw((size_t)width * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, raw.data());
    int w = width / 2, h = height / 2;
    std::vector<uint8_t> out((size_t)w * h * 3);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++) {
                int sum = 0;
                for (int dy = 0; dy < 2; dy++)
                    for (int dx = 0; dx < 2; dx++) sum += raw[((size_t)(2 * y + dy) * width + 2 * x + dx) * 3 + c];
                out[((size_t)(h - 1 - y) * w + x) * 3 + c] = (uint8_t)((sum + 2) / 4);
            }
    return out;
}

bool save_png(const std::string& path, const std::vector<uint8_t>& rgb, int w, int h) {
    std::vector<uint8_t> png;
    if (!encode_png(rgb.data(), w, h, 3, nullptr, png)) return false;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
    return fclose(f) == 0 && ok;
}

int usage() {
    fprintf(stderr,
            "usage: quarnix-modelshot --data <folder> --out <folder> [--bike name] [--size WxH] [--number N] [--all]"
            " [--lean radians] [--dab 0..1] [--level-distance feet]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string data, out, bike = "cr125", number = "7";
    bool all_views = false;
    int width = 480, height = 320;
    double lean = 0, dab = 0;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--all") {
            all_views = true;
            continue;
        }
        if (i + 1 >= argc) return usage();
        if (a == "--data")
            data = argv[++i];
        else if (a == "--out")
            out = argv[++i];
        else if (a == "--bike")
            bike = argv[++i];
        else if (a == "--number")
            number = argv[++i];
        else if (a == "--level-distance") {
            char* end = nullptr;
            g_level_distance = strtod(argv[++i], &end);
            if (!end || *end || !(g_level_distance >= 0 && g_level_distance < 1e4)) return usage();
        } else if (a == "--lean" || a == "--dab") {
            char* end = nullptr;
            double v = strtod(argv[++i], &end);
            if (!end || *end || !std::isfinite(v) || std::fabs(v) > 1.5 || (a == "--dab" && (v < 0 || v > 1)))
                return usage();
            (a == "--lean" ? lean : dab) = v;
        }
        else if (a == "--size") {
            if (sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width < 16 || height < 16 || width > 2000 ||
                height > 2000)
                return usage();
        } else {
            return usage();
        }
    }
    if (data.empty() || out.empty()) return usage();
    // The archive's folder is the only data root; no player's files interfere.
    setenv("KV_HOME", data.c_str(), 1);
    std::string home = "/tmp/quarnix-modelshot-" + std::to_string(getpid());
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("QUARNIX_NO_DIALOG", "1", 1);
    file_list();  // archive members are found through the index

    int ww = width * 2, wh = height * 2;
    plix_window* w = open_gl_window("quarnix-modelshot", ww, wh, 24, 0, 24, 0, 0);
    if (!w) {
        fprintf(stderr, "quarnix-modelshot: no GL window (is a display set?)\n");
        return 1;
    }
    gl_choice_settings choice;
    gl_start(choice);
    textures_init(&gl_texture_driver);
    models_init(true);
    set_number_plate_painter(paint_digits);
    bike_setup setup;
    setup.number = number;
    bike_state* b = bike_world_init() ? create_bike(bike.c_str(), 0, false, setup) : nullptr;
    int status = 0;
    if (b) {
        // The bike at rest stands with its tires on the ground line x = 0,
        // y = 0, so turning about the z axis tips it over that line.
        if (lean != 0) rotate_bike(*b, 0, 0, 1, lean);
        b->controls.dab_blend = (float)dab;
    }
    const bike_drawing* art = b ? attach_bike_drawing(*b) : nullptr;
    if (!art) {
        fprintf(stderr, "quarnix-modelshot: cannot build the bike\n");
        status = 1;
    } else {
        for (int p = 0; p < bike_part_count; p++)
            if (!art->parts[(size_t)p].shape || !art->parts[(size_t)p].texture) {
                fprintf(stderr, "quarnix-modelshot: cannot load %s\n", art->parts[(size_t)p].model_name.c_str());
                status = 1;
            }
    }
    if (status == 0) {
        struct view {
            const char* file;
            double eye[3], target[3], fov;
        };
        const view views[] = {
            {"bike_side.png", {13.5, 3.3, 3.55}, {0, 2.45, 3.55}, 40},
            {"bike_front.png", {-1.2, 3.8, -9.5}, {0, 2.6, 3.2}, 40},
            {"bike_three_quarter.png", {-8.2, 5.2, -4.6}, {0, 2.5, 3.4}, 44},
            {"bike_left.png", {-13.5, 3.3, 3.55}, {0, 2.45, 3.55}, 40},
            {"bike_rear.png", {2.5, 5.5, 14}, {0, 2.5, 3.6}, 40},
            {"bike_top.png", {0.5, 16, 3.6}, {0, 2, 3.5}, 40},
        };
        for (const view& v : views) {
            if (!all_views && &v - views >= 3) break;
            int fw = ww, fh = wh;
            pump_messages(w);
            draw_scene(*b, fw, fh, v.eye, v.target, v.fov);
            glFinish();
            std::vector<uint8_t> px = grab(fw, fh);
            std::string path = out + "/" + v.file;
            if (!save_png(path, px, fw / 2, fh / 2)) {
                fprintf(stderr, "quarnix-modelshot: cannot write %s\n", path.c_str());
                status = 1;
            } else {
                printf("%s\n", path.c_str());
            }
        }
    }
    free_bike_drawings();
    bike_world_free();
    models_free();
    textures_free();
    delete_programs();
    close_gl_window(w);
    vfs_shutdown();
    return status;
}
