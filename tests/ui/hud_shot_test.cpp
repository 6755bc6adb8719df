// The riding HUD over a bike on Rabbit Hill, drawn from the built archive:
// the gauge, the rider panel with its plate number, the map and the text
// all land where they belong. With QX_HUD_SHOT set to a file name the frame
// is also saved there as a PNG, for a look (the README's pictures of the HUD
// are the game's own screenshots: scripts/game_pictures).
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "core/clock.h"
#include "core/config.h"
#include "core/diag.h"
#include "platform/window.h"
#include "render/bike_draw.h"
#include "render/gl_caps.h"
#include "render/image_io.h"
#include "render/model.h"
#include "render/shaders.h"
#include "render/texture.h"
#include "testkit/built_data.h"
#include "testkit/testkit.h"
#include "track/height_field.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "ui/font.h"
#include "ui/hud.h"
#include "ui/screens.h"
#include "ui/text_draw.h"
#include "ui/text_pixels.h"
#include "vfs/vfs.h"

namespace {

constexpr int width = 800, height = 600;

hud_race_view g_view;
bool fake_race(hud_race_view& out) {
    out = g_view;
    return true;
}

struct hud_shot : ::testing::Test {
    plix_window* w = nullptr;
    vfs_sandbox box;
    bike_state* bike = nullptr;
    game_settings saved_settings = settings;
    void SetUp() override {
        const char* d = getenv("DISPLAY");
        if (!d || !*d) GTEST_SKIP() << "no display";
        if (!link_built_archive(box)) GTEST_SKIP() << "no data archive";
        ASSERT_NE(w = open_gl_window("hud shot", width, height, 24, 0, 24, 0, 0), nullptr);
        gl_probe();
        gl_caps.use_shaders = false;
        textures_init(&gl_texture_driver);
        models_init(true);
        load_fonts();
        set_number_plate_painter(paint_number_plate);
        hud_init();
        load_hud_textures();
        for (int k = 0; k < hud_picture_count; k++) EXPECT_NE(hud_texture(k), 0u) << k;
        fill_object_parts(track_parts);
        ASSERT_TRUE(load_height_field("rabbithill"));
        track_parts.load_map("@rabbithill/map.png");
        ASSERT_TRUE(bike_world_init());
        bike_setup setup;
        setup.number = "27";
        ASSERT_NE(bike = create_bike("yz250f(2017)", 0, false, setup), nullptr);
        // On the ground near the middle of the track, heading along -z.
        const wheel_info& fw = bike_model(*bike).front_wheel;
        double x = terrain.extent * 0.42, z = terrain.extent * 0.55;
        translate_bike(*bike, x, height_at((float)x, (float)z) - (fw.center[1] - fw.tire_ring_radius - fw.tire_section_radius), z);
        bike->engine_speed = (float)(9400 * 2 * M_PI / 60);
        bike->gear = 2;
        current_track_name = "Rabbit Hill";
    }
    void TearDown() override {
        settings = saved_settings;
        hud_race_source = nullptr;
        current_track_name.reset();
        clear_message_history();
        if (!w) return;
        free_bike_drawings();
        destroy_all_bikes();
        bike_world_free();
        free_track_objects();
        free_height_field();
        free_font_textures();
        set_number_plate_painter(nullptr);
        models_free();
        textures_free();
        close_gl_window(w);
        vfs_shutdown();
    }

    // Sky, then the ground as a lit mesh round the bike, then the bike from
    // behind and above.
    void draw_scene() {
        glViewport(0, 0, width, height);
        glClearColor(0.45f, 0.65f, 0.9f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        double p[3];
        get_body_position(*bike, body_frame, p);
        double eye[3] = {p[0] + 2.5, p[1] + 3.2, p[2] + 8.5}, at[3] = {p[0], p[1] + 0.8, p[2] - 4};
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        double hy = std::tan(32 * M_PI / 180) * 0.5, hx = hy * width / height;
        glFrustum(-hx, hx, -hy, hy, 0.5, 800);
        glMatrixMode(GL_MODELVIEW);
        double f[3] = {at[0] - eye[0], at[1] - eye[1], at[2] - eye[2]};
        double fl = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
        for (double& v : f) v /= fl;
        double s[3] = {-f[2], 0, f[0]}, sl = std::sqrt(s[0] * s[0] + s[2] * s[2]);
        s[0] /= sl, s[2] /= sl;
        double u[3] = {s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]};
        double m[16] = {s[0], u[0], -f[0], 0, s[1], u[1], -f[1], 0, s[2], u[2], -f[2], 0, 0, 0, 0, 1};
        glLoadMatrixd(m);
        glTranslated(-eye[0], -eye[1], -eye[2]);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        const int n = terrain.samples_per_side, step = 2;
        const float light[3] = {0.45f, 0.8f, -0.4f};
        int ci = (int)(p[0] / terrain.cell_size), cj = (int)(p[2] / terrain.cell_size);
        int reach = (int)(400 / terrain.cell_size);
        for (int j = std::max(0, cj - reach); j + step < std::min(n, cj + reach); j += step) {
            glBegin(GL_TRIANGLE_STRIP);
            for (int i = std::max(0, ci - reach); i < std::min(n, ci + reach); i += step) {
                for (int k = 0; k < 2; k++) {
                    int jj = j + k * step;
                    std::array<float, 3> nn = sample_normal(i, jj);
                    float l = std::sqrt(nn[0] * nn[0] + nn[1] * nn[1] + nn[2] * nn[2]);
                    float lit = 0.45f + 0.6f * std::max(0.0f, (nn[0] * light[0] + nn[1] * light[1] + nn[2] * light[2]) / l);
                    float noise = 0.93f + 0.07f * (float)(((i * 7 + jj * 13) % 5) / 4.0);
                    glColor3f(0.55f * lit * noise, 0.45f * lit * noise, 0.32f * lit * noise);
                    glVertex3f(i * terrain.cell_size, sample_height(i, jj), jj * terrain.cell_size);
                }
            }
            glEnd();
        }
        const GLfloat sun[4] = {0.45f, 0.8f, -0.4f, 0}, sun_colour[4] = {0.85f, 0.83f, 0.78f, 1};
        const GLfloat ambient[4] = {0.42f, 0.44f, 0.48f, 1}, global[4] = {0.12f, 0.12f, 0.12f, 1};
        glEnable(GL_LIGHT0);
        glLightfv(GL_LIGHT0, GL_POSITION, sun);
        glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, sun_colour);
        glLightfv(GL_LIGHT0, GL_SPECULAR, sun_colour);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GREATER, 0.75f);
        glFogf(GL_FOG_DENSITY, 0);
        draw_bike(*bike, view_outside);
        glDisable(GL_ALPHA_TEST);
        glDisable(GL_LIGHTING);
    }
    std::array<int, 3> pixel(const std::vector<uint8_t>& rgb, int x, int y) {
        const uint8_t* q = &rgb[((size_t)y * width + x) * 3];
        return {q[0], q[1], q[2]};
    }
};

}  // namespace

TEST_F(hud_shot, RidingHudOverABike) {
    // Second of four on lap 3 of 5, with the leader about to lap.
    g_view = hud_race_view{};
    g_view.timing = true;
    g_view.first_lap = {0, 1, 2};
    g_view.normal_lap = {3, 0, 1, 2};
    g_view.gate_drop_tic = 1000;
    g_view.tic = 1000 + 128 * 95;
    g_view.extra_laps = 5;
    auto r = [](int slot, const char* number, std::vector<int> tics) {
        hud_rider x;
        x.slot = slot;
        x.number = number;
        x.gate_tics = tics;
        x.gates_passed = (int)tics.size();
        x.final_positions = x.gates_passed;
        x.final_tic = tics.back();
        return x;
    };
    // Number 11 is a lap ahead and 0.8 s behind at the gate just passed.
    g_view.order = {r(3, "11", {1400, 2000, 3600, 4100, 4700, 5500, 7300, 7700, 8200, 9000, 10900, 11200}),
                    r(0, "27", {1420, 2050, 3700, 4200, 4800, 5600, 7400, 11100}),
                    r(1, "4", {1500, 2100, 3800, 4300, 4900, 5800, 7600, 11900}),
                    r(2, "81", {1600, 2300, 4000, 4600, 5300, 6400, 8800})};
    hud_race_source = fake_race;
    settings.draw_fps = settings.draw_time = settings.draw_speed = 1;
    settings.map_scale = 1;
    clear_message_history();
    total_clock = 0;
    show_message("Welcome to \033[1;33mRabbit Hill\033[0m");
    show_message("\033[36mRider 11\033[0m set a new best lap: 0:14.8");

    // A few frames: the first only starts the frame time.
    for (int frame = 0; frame < 3; frame++) {
        pump_messages(w);
        draw_scene();
        hud_draw_riding(0, width, height);
        hud_draw(0, width, height);
    }
    glFinish();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    std::vector<uint8_t> rgb(width * height * 3), flipped(rgb.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, flipped.data());
    for (int y = 0; y < height; y++)
        memcpy(&rgb[(size_t)y * width * 3], &flipped[(size_t)(height - 1 - y) * width * 3], (size_t)width * 3);
    if (const char* out = getenv("QX_HUD_SHOT")) {
        std::vector<uint8_t> png;
        ASSERT_TRUE(encode_png(rgb.data(), width, height, 3, nullptr, png));
        write_file(out, png);
    }
    // The plate (yellow) at the bottom left, the gauge face (dark) at the
    // bottom right, the map picture at the top right.
    std::array<int, 3> plate = pixel(rgb, 20, height - 60);
    EXPECT_GT(plate[0], 200);
    EXPECT_GT(plate[1], 150);
    EXPECT_LT(plate[2], 100);
    std::array<int, 3> gauge = pixel(rgb, width - 120, height - 100);
    EXPECT_LT(gauge[0] + gauge[1] + gauge[2], 150);
    EXPECT_NE(track_map_texture(), 0u);
}

TEST_F(hud_shot, LoadingScreenShowsTheTitlePictureTextAndIndicator) {
    pump_messages(w);
    draw_loading_indicator(0x5555, width, height);
    draw_title_screen("Loading track...", width, height);
    glFinish();
    std::vector<uint8_t> rgb(width * height * 3), flipped(rgb.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, flipped.data());
    for (int y = 0; y < height; y++)
        memcpy(&rgb[(size_t)y * width * 3], &flipped[(size_t)(height - 1 - y) * width * 3], (size_t)width * 3);
    if (const char* out = getenv("QX_TITLE_SHOT")) {
        std::vector<uint8_t> png;
        ASSERT_TRUE(encode_png(rgb.data(), width, height, 3, nullptr, png));
        write_file(out, png);
    }
    // The picture's sky covers the top; nothing is left black.
    std::array<int, 3> sky = pixel(rgb, 40, 20);
    EXPECT_GT(sky[2], sky[0]);
    EXPECT_GT(sky[2], 150);
    // The build label, grey 0.75, ends near the bottom right.
    bool label = false;
    for (int y = height - 40; y < height && !label; y++)
        for (int x = width - 200; x < width && !label; x++) {
            std::array<int, 3> p = pixel(rgb, x, y);
            label = std::abs(p[0] - 191) < 6 && std::abs(p[1] - 191) < 6 && std::abs(p[2] - 191) < 6;
        }
    EXPECT_TRUE(label);
}
