// quarnix-modelshot: draws a bike model of the built data with its rider,
// at rest, and saves side, front and three-quarter pictures.
//   quarnix-modelshot --data <folder with zzzz.saf> --out <folder> [--bike cr125]
//                     [--size 480x320] [--number 7] [--all]
// --all adds left, rear and top views.
// Needs a display (run it under xvfb-run on a headless machine).
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bike/bike_info.h"
#include "core/diag.h"
#include "platform/window.h"
#include "pose.h"
#include "render/gl_caps.h"
#include "render/gl_ext.h"
#include "render/image_io.h"
#include "render/model.h"
#include "render/shaders.h"
#include "render/texture.h"
#include "vfs/vfs.h"

namespace {

// ---- a number plate texture ------------------------------------------------------

const char* digit_rows[10][7] = {
    {"01110", "10001", "10011", "10101", "11001", "10001", "01110"}, {"00100", "01100", "00100", "00100", "00100", "00100", "01110"},
    {"01110", "10001", "00001", "00110", "01000", "10000", "11111"}, {"11110", "00001", "00001", "01110", "00001", "00001", "11110"},
    {"00010", "00110", "01010", "10010", "11111", "00010", "00010"}, {"11111", "10000", "11110", "00001", "00001", "10001", "01110"},
    {"00110", "01000", "10000", "11110", "10001", "10001", "01110"}, {"11111", "00001", "00010", "00100", "01000", "01000", "01000"},
    {"01110", "10001", "10001", "01110", "10001", "10001", "01110"}, {"01110", "10001", "10001", "01111", "00001", "00010", "01100"},
};

bool read_tag(const std::string& text, const char* tag, float rgb[3]) {
    size_t at = text.find(tag);
    if (at == std::string::npos) return false;
    return sscanf(text.c_str() + at + strlen(tag), "%f,%f,%f", &rgb[0], &rgb[1], &rgb[2]) == 3;
}

unsigned number_texture(const std::string& number, const std::string& info) {
    float back[3] = {1, 1, 1}, fore[3] = {0, 0, 0};
    read_tag(info, "[numberbackground:", back);
    read_tag(info, "[numberforeground:", fore);
    const int n = 128;
    std::vector<uint8_t> px(n * n * 3);
    for (int i = 0; i < n * n; i++)
        for (int c = 0; c < 3; c++) px[(size_t)i * 3 + c] = (uint8_t)(back[c] * 255);
    int digits = (int)number.size();
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
                        for (int c = 0; c < 3; c++) px[((size_t)px_y * n + px_x) * 3 + c] = (uint8_t)(fore[c] * 255);
                    }
            }
    }
    GLuint id;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, n, n, 0, GL_RGB, GL_UNSIGNED_BYTE, px.data());
    return id;
}

// ---- the scene ---------------------------------------------------------------------

struct part {
    model* m;
    unsigned texture;
    float at[3];
};

struct scene {
    std::vector<part> rigid;
    model* body = nullptr;
    model* rider_plate = nullptr;
    model* head = nullptr;
    unsigned body_texture = 0, head_texture = 0, number = 0;
    shot_pose pose;
};

model* need_model(const char* name) {
    model* m = model_load(name);
    if (!m) fprintf(stderr, "quarnix-modelshot: cannot load model %s\n", name);
    return m;
}

unsigned need_texture(const char* name) {
    unsigned id = texture_load(name);
    if (!id) fprintf(stderr, "quarnix-modelshot: cannot load texture %s\n", name);
    return id;
}

bool load_scene(const bike_info& b, const std::string& number, scene& s) {
    const auto& f = b.model_files;
    unsigned bike = need_texture(f[file_bike_texture]), wheels = need_texture(f[file_wheel_texture]);
    const texture_record* bike_record = texture_of(bike);
    s.number = number_texture(number, bike_record ? bike_record->info_text : "");
    struct row {
        int file;
        unsigned texture;
        const float* at;
    };
    const row rows[] = {
        {file_frame_model, bike, b.frame_position},       {file_fork_upper_model, bike, b.fork_upper_position},
        {file_fork_lower_model, bike, b.fork_lower_position}, {file_swingarm_model, bike, b.swingarm_position},
        {file_front_wheel_model, wheels, b.front_wheel.center}, {file_rear_wheel_model, wheels, b.rear_wheel.center},
        {file_side_plates_model, s.number, b.frame_position}, {file_front_plate_model, s.number, b.fork_upper_position},
    };
    for (const row& r : rows) {
        model* m = need_model(f[r.file]);
        if (!m) return false;
        s.rigid.push_back(part{m, r.texture, {r.at[0], r.at[1], r.at[2]}});
    }
    s.body = need_model(f[file_rider_body_model]);
    s.rider_plate = need_model(f[file_rider_plate_model]);
    s.head = need_model(f[file_rider_head_model]);
    s.body_texture = need_texture(f[file_rider_body_texture]);
    s.head_texture = need_texture(f[file_rider_head_texture]);
    s.pose = rest_pose(b);
    return s.body && s.rider_plate && s.head && bike && wheels && s.body_texture && s.head_texture;
}

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

void draw_scene(scene& s, int width, int height, const double eye[3], const double target[3], double fov) {
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

    const GLfloat sun[4] = {0.45f, 0.8f, -0.4f, 0}, sun_colour[4] = {0.85f, 0.83f, 0.78f, 1};
    const GLfloat ambient[4] = {0.42f, 0.44f, 0.48f, 1}, global[4] = {0.12f, 0.12f, 0.12f, 1};
    const GLfloat white[4] = {1, 1, 1, 1};
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    glLightfv(GL_LIGHT0, GL_POSITION, sun);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, sun_colour);
    glLightfv(GL_LIGHT0, GL_SPECULAR, sun_colour);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, white);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.75f);
    glFogf(GL_FOG_DENSITY, 0);
    use_program(gl_caps.use_shaders ? program_lit : program_fixed);

    for (part& p : s.rigid) {
        glBindTexture(GL_TEXTURE_2D, p.texture);
        glPushMatrix();
        glTranslatef(p.at[0], p.at[1], p.at[2]);
        draw_model(*p.m, model_pass::normal);
        glPopMatrix();
    }
    model_pose pose{rider_bone_count, s.pose.centres, s.pose.translations, s.pose.rotations};
    glBindTexture(GL_TEXTURE_2D, s.body_texture);
    draw_model(*s.body, model_pass::normal, &pose);
    glBindTexture(GL_TEXTURE_2D, s.number);
    draw_model(*s.rider_plate, model_pass::normal, &pose);
    glBindTexture(GL_TEXTURE_2D, s.head_texture);
    glPushMatrix();
    const float* a = s.pose.head_axes;
    const float* h = s.pose.head_position;
    GLfloat m[16] = {a[0], a[3], a[6], 0, a[1], a[4], a[7], 0, a[2], a[5], a[8], 0, h[0], h[1], h[2], 1};
    glMultMatrixf(m);
    draw_model(*s.head, model_pass::normal);
    glPopMatrix();
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
    fprintf(stderr, "usage: quarnix-modelshot --data <folder> --out <folder> [--bike name] [--size WxH] [--number N] [--all]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string data, out, bike = "cr125", number = "7";
    bool all_views = false;
    int width = 480, height = 320;
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
    const bike_info& info = bike_info_for_load(bike.c_str());
    scene s;
    int status = 0;
    if (!load_scene(info, number, s)) {
        status = 1;
    } else {
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
            draw_scene(s, fw, fh, v.eye, v.target, v.fov);
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
    models_free();
    textures_free();
    delete_programs();
    close_gl_window(w);
    vfs_shutdown();
    return status;
}
