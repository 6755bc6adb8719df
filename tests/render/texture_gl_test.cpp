// Textures in a real GL context (Xvfb in CI).
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/cmdline.h"
#include "platform/window.h"
#include "render/gl_caps.h"
#include "render/gl_ext.h"
#include "render/texture.h"
#include "texture_test_util.h"

namespace {

struct texture_gl_fixture : ::testing::Test {
    plix_window* w = nullptr;
    vfs_sandbox box;
    render_params saved_render = render_settings;
    void SetUp() override {
        const char* d = getenv("DISPLAY");
        if (!d || !*d) GTEST_SKIP() << "no display";
        w = open_gl_window("texture test", 64, 64, 24, 0, 16, 0, 0);
        ASSERT_NE(w, nullptr);
        gl_probe();
        textures_init(&gl_texture_driver);
        render_settings.model_texture_reduction = 0;
        render_settings.texture_compression = 0;
    }
    void TearDown() override {
        render_settings = saved_render;
        if (!w) return;
        textures_init();
        close_gl_window(w);
    }
    std::string file(const std::string& name) const { return box.root1() + name; }

    // Draws the texture over the whole viewport, unlit and unfiltered by
    // anything but the texture's own parameters.
    void draw(unsigned id) {
        glViewport(0, 0, 64, 64);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_LIGHTING);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, id);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 1);
        glVertex2f(-1, -1);
        glTexCoord2f(1, 1);
        glVertex2f(1, -1);
        glTexCoord2f(1, 0);
        glVertex2f(1, 1);
        glTexCoord2f(0, 0);
        glVertex2f(-1, 1);
        glEnd();
        glDisable(GL_TEXTURE_2D);
    }
    void pixel(int x, int y, uint8_t out[4]) { glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, out); }
};

TEST_F(texture_gl_fixture, UploadedTextureSamplesToItsColours) {
    // 8 x 8 in four quadrants: red, green / blue, white (rows top to bottom).
    std::vector<uint8_t> px(8 * 8 * 3);
    for (int y = 0; y < 8; y++) {
        for (int x = 0; x < 8; x++) {
            uint8_t* p = &px[(y * 8 + x) * 3];
            int q = (y >= 4) * 2 + (x >= 4);
            const uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
            p[0] = colours[q][0], p[1] = colours[q][1], p[2] = colours[q][2];
        }
    }
    write_png(file("quads.png"), px, 8, 8, 3);
    unsigned id = texture_load("@quads.png");
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(glIsTexture(id));
    draw(id);
    uint8_t c[4];
    pixel(12, 52, c);  // top left of the window: the first rows of the image
    EXPECT_NEAR(c[0], 255, 3);
    EXPECT_NEAR(c[1], 0, 3);
    pixel(52, 52, c);
    EXPECT_NEAR(c[1], 255, 3);
    EXPECT_NEAR(c[0], 0, 3);
    pixel(12, 12, c);
    EXPECT_NEAR(c[2], 255, 3);
    EXPECT_NEAR(c[0], 0, 3);
    pixel(52, 12, c);
    EXPECT_NEAR(c[0], 255, 3);
    EXPECT_NEAR(c[1], 255, 3);
    EXPECT_NEAR(c[2], 255, 3);

    GLint wrap = 0, width = 0;
    glBindTexture(GL_TEXTURE_2D, id);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    EXPECT_EQ(wrap, GL_CLAMP_TO_EDGE);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 3, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 1);  // the whole chain went up
    EXPECT_EQ(texture_memory_used(), mip_chain_bytes(8, 8, 3));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(texture_gl_fixture, RepeatOddSizesAndAnimationFrames) {
    write_png(file("tile-repeat.png"), noisy_pixels(48, 20, 4), 48, 20, 4);
    unsigned id = texture_load("@tile-repeat.png");
    ASSERT_NE(id, 0u);
    glBindTexture(GL_TEXTURE_2D, id);
    GLint wrap_s = 0, wrap_t = 0, width = 0, height = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap_s);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap_t);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    EXPECT_EQ(wrap_s, GL_REPEAT);
    EXPECT_EQ(wrap_t, GL_REPEAT);
    EXPECT_EQ(width, 32);
    EXPECT_EQ(height, 16);

    const uint8_t a[4] = {200, 10, 10, 255}, b[4] = {10, 10, 200, 255};
    std::vector<uint8_t> fa = encode_predictive(flat_pixels(4, 4, 4, a).data(), 4, 4, 4);
    std::vector<uint8_t> fb = encode_predictive(flat_pixels(4, 4, 4, b).data(), 4, 4, 4);
    std::string s = "ANIM1 2 2 1 1\n0 1\n" + std::string(fa.begin(), fa.end()) + std::string(fb.begin(), fb.end());
    write_file(file("blink.seq"), s);
    unsigned anim = texture_load("@blink.seq");
    ASSERT_NE(anim, 0u);
    uint8_t c[4];
    draw(anim);
    pixel(32, 32, c);
    EXPECT_NEAR(c[0], 200, 3);
    animation_tick(1);
    draw(anim);
    pixel(32, 32, c);
    EXPECT_NEAR(c[2], 200, 3);
    EXPECT_NEAR(c[0], 10, 3);

    textures_free();
    EXPECT_FALSE(glIsTexture(id));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

}  // namespace
