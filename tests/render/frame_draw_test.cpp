// Whole frames under a real GL context: the sky box's faces from a fixed
// camera, Rabbit Hill's ground below the horizon, and a bike in the
// third-person view near the middle of the picture.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "platform/window.h"
#include "render/bike_draw.h"
#include "render/frame_draw.h"
#include "render/gl_caps.h"
#include "render/image_io.h"
#include "render/model.h"
#include "render/shaders.h"
#include "render/terrain_lighting.h"
#include "render/terrain_parts.h"
#include "render/texture.h"
#include "testkit/built_data.h"
#include "testkit/testkit.h"
#include "track/height_field.h"
#include "track/objects_billboards.h"
#include "track/objects_lighting.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "vfs/vfs.h"

namespace {

struct frame_gl : ::testing::Test {
    plix_window* w = nullptr;
    int width = 320, height = 240;
    temp_dir home;
    void SetUp() override {
        const char* d = getenv("DISPLAY");
        if (!d || !*d) GTEST_SKIP() << "no display";
        use_built_data(home);
        w = open_gl_window("frame test", width, height, 24, 0, 16, 0, 0);
        ASSERT_NE(w, nullptr);
        gl_probe();
        gl_caps.use_shaders = false;
        textures_init(&gl_texture_driver);
        models_init(true);
        fill_terrain_renderer(terrain_renderer);
        fill_terrain_parts(track_parts);
        fill_object_parts(track_parts);
        terrain_lighting = lighting_for_terrain;
        reset_default_lighting();
    }
    void TearDown() override {
        if (!w) return;
        if (track_loaded()) release_track();
        free_bike_drawings();
        textures_free();
        models_free();
        delete_programs();
        close_gl_window(w);
        textures_init();
        models_init(false);
        reset_default_lighting();
    }
    std::vector<uint8_t> shoot(const frame_camera& cam, int first_person = -1) {
        glClearColor(1, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        set_projection(width, height, 90);
        draw_frame(cam, first_person);
        glFinish();
        std::vector<uint8_t> rgb((size_t)width * height * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;  // rows from the bottom
    }
    // Keeps a picture for a look (rows turned top first).
    void save_png_rows(const std::vector<uint8_t>& bottom_up, const char* name) const {
        std::vector<uint8_t> top(bottom_up.size()), png;
        size_t row = (size_t)width * 3;
        for (int y = 0; y < height; y++) memcpy(&top[y * row], &bottom_up[(height - 1 - y) * row], row);
        if (encode_png(top.data(), width, height, 3, nullptr, png)) save_file_bytes(name, png);
    }
    const uint8_t* at(const std::vector<uint8_t>& p, int x, int y_from_top) const {
        return &p[((size_t)(height - 1 - y_from_top) * width + x) * 3];
    }
    unsigned solid_texture(uint8_t r, uint8_t g, uint8_t b) {
        std::vector<uint8_t> px(16 * 16 * 3);
        for (size_t k = 0; k < px.size(); k += 3) px[k] = r, px[k + 1] = g, px[k + 2] = b;
        unsigned id = 0;
        glGenTextures(1, &id);
        glBindTexture(GL_TEXTURE_2D, id);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 16, 16, 0, GL_RGB, GL_UNSIGNED_BYTE, px.data());
        return id;
    }
};

void expect_colour(const uint8_t* p, int r, int g, int b, const char* what) {
    EXPECT_NEAR(p[0], r, 2) << what;
    EXPECT_NEAR(p[1], g, 2) << what;
    EXPECT_NEAR(p[2], b, 2) << what;
}

TEST_F(frame_gl, SkyFacesSurroundTheCamera) {
    const uint8_t colours[5][3] = {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {200, 200, 30}, {30, 200, 200}};
    for (int k = 0; k < 5; k++)
        track_lighting.sky[(size_t)k] = solid_texture(colours[k][0], colours[k][1], colours[k][2]);
    const double pi = M_PI;
    struct look {
        double yaw;
        int face;
        const char* name;
    };
    // Yaw 0 looks along +z; north is -z.
    for (const look& l : {look{pi, sky_n, "north"}, look{pi / 2, sky_e, "east"}, look{0, sky_s, "south"},
                          look{-pi / 2, sky_w, "west"}}) {
        std::vector<uint8_t> p = shoot(yaw_pitch_camera({0, 50, 0}, l.yaw, 0));
        const uint8_t* c = colours[l.face];
        expect_colour(at(p, width / 2, height / 2), c[0], c[1], c[2], l.name);
    }
    std::vector<uint8_t> up = shoot(yaw_pitch_camera({0, 50, 0}, 0, pi / 2 - 0.01));
    expect_colour(at(up, width / 2, height / 2), colours[sky_u][0], colours[sky_u][1], colours[sky_u][2], "up");
    // "--fugly" draws no sky: the start-up clear colour.
    cmdline.fugly = true;
    std::vector<uint8_t> plain = shoot(yaw_pitch_camera({0, 50, 0}, 0, 0));
    cmdline.fugly = false;
    expect_colour(at(plain, width / 2, height / 2), 50, 153, 204, "fugly");
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(frame_gl, RabbitHillHasSkyAboveTheHorizonAndGroundBelow) {
    current_track_dir = "rabbithill";
    ASSERT_TRUE(load_track());
    float x = 320, z = 320;
    float y = height_at(x, z) + 6;
    std::vector<uint8_t> p = shoot(yaw_pitch_camera({x, y, z}, 0.3, 0));
    save_png_rows(p, "frame_rabbithill.png");
    int sky = 0, ground = 0;
    for (int xx = 0; xx < width; xx += 8) {
        const uint8_t* top = at(p, xx, 4);
        const uint8_t* bottom = at(p, xx, height - 4);
        sky += top[2] > top[0] && !(top[0] == 255 && top[2] == 255);  // blueish, not the clear colour
        ground += !(bottom[0] == 255 && bottom[1] == 0 && bottom[2] == 255) && !(bottom[2] > bottom[0] + 40);
    }
    EXPECT_GE(sky, width / 8 * 9 / 10);
    EXPECT_GE(ground, width / 8 * 9 / 10);
}

// Billboards blend; what is drawn after the frame (the HUD's opaque parts,
// the next frame's sky) must not, whether lens flares follow them or not.
TEST_F(frame_gl, FramesLeaveBlendingOffWithOrWithoutFlares) {
    current_track_dir = "rabbithill";
    ASSERT_TRUE(load_track());
    ASSERT_FALSE(track_billboards().empty());
    int saved = settings.lens_flare;
    for (int flares : {0, 1}) {
        settings.lens_flare = flares;
        float x = 300, z = 500;
        shoot(yaw_pitch_camera({x, height_at(x, z) + 5, z}, 2.5, 0));
        EXPECT_GT(last_frame_counters().billboards, 0) << flares;
        EXPECT_FALSE(glIsEnabled(GL_BLEND)) << "flares " << flares;
    }
    settings.lens_flare = saved;
}

TEST_F(frame_gl, ThirdPersonViewShowsTheBikeNearTheMiddle) {
    current_track_dir = "rabbithill";
    ASSERT_TRUE(load_track());
    ASSERT_TRUE(bike_world_init());
    bike_setup setup;
    bike_state* bike = create_bike("cr125", 0, false, setup);
    ASSERT_NE(bike, nullptr);
    float x = 320, z = 320;
    translate_bike(*bike, x, height_at(x, z) + 2.2f, z);
    // Behind and above the bike's chase point, where the orbiting
    // third-person camera starts.
    const dReal* p = dBodyGetPosition(bike->bodies[body_frame]);
    std::array<double, 3> target = {p[0], p[1] + 2.52, p[2] + 0.52};
    std::array<double, 3> eye = {target[0], target[1] + 5, target[2] + 10};
    // The same view with the rider hidden (faded to nothing) and drawn:
    // what differs is the bike.
    frame_slots.hidden = [](int) { return true; };
    std::vector<uint8_t> empty = shoot(look_at_camera(eye, target));
    frame_slots.hidden = nullptr;
    std::vector<uint8_t> with = shoot(look_at_camera(eye, target));
    destroy_bike(bike);
    bike_world_free();
    save_png_rows(with, "frame_third_person.png");
    // The centre of the pixels that differ.
    long sx = 0, sy = 0, n = 0;
    for (int y = 0; y < height; y++)
        for (int xx = 0; xx < width; xx++) {
            const uint8_t *a = at(with, xx, y), *b = at(empty, xx, y);
            if (std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]) > 30) sx += xx, sy += y, n++;
        }
    ASSERT_GT(n, 200);
    EXPECT_NEAR((double)sx / n, width / 2.0, width / 6.0);
    EXPECT_NEAR((double)sy / n, height / 2.0, height / 4.0);
}

}  // namespace
