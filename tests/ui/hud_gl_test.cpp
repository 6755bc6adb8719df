// Text and the HUD in a real GL context (Xvfb in CI): colours and places
// read back from the frame.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>

#include "core/diag.h"
#include "platform/window.h"
#include "render/gl_caps.h"
#include "render/image_io.h"
#include "render/texture.h"
#include "testkit/testkit.h"
#include "ui/font.h"
#include "ui/hud.h"
#include "ui/screens.h"
#include "ui/text_draw.h"
#include "ui_test_util.h"
#include "vfs/vfs.h"

namespace {

constexpr int size = 128;

struct hud_gl : ::testing::Test {
    plix_window* w = nullptr;
    vfs_sandbox box;
    void SetUp() override {
        const char* d = getenv("DISPLAY");
        if (!d || !*d) GTEST_SKIP() << "no display";
        // "!" … "~" as solid white cells 8 wide and 16 tall (advance 0.5).
        std::vector<std::vector<int>> bands(4, std::vector<int>(24, 8));
        pixel_buffer sheet = make_sheet(256, 128, 16, bands);
        std::vector<uint8_t> png;
        ASSERT_TRUE(encode_png(sheet.pixels.data(), 256, 128, 4, nullptr, png));
        write_file(box.root1() + "font.png", png);
        vfs_shutdown();
        file_list();
        ASSERT_NE(w = open_gl_window("hud test", size, size, 24, 0, 16, 0, 0), nullptr);
        gl_probe();
        textures_init(&gl_texture_driver);
        free_font_textures();
        hud_init();
    }
    void TearDown() override {
        if (!w) return;
        free_font_textures();
        textures_init();
        close_gl_window(w);
        vfs_shutdown();
    }
    void clear_grey() {
        glViewport(0, 0, size, size);
        glClearColor(0.5f, 0.5f, 0.5f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    // Pixel at x from the left, y from the top.
    std::array<int, 3> pixel(int x, int y) {
        uint8_t p[4];
        glReadPixels(x, size - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return {p[0], p[1], p[2]};
    }
    void expect_near(std::array<int, 3> got, int r, int g, int b, const char* where) {
        EXPECT_NEAR(got[0], r, 3) << where;
        EXPECT_NEAR(got[1], g, 3) << where;
        EXPECT_NEAR(got[2], b, 3) << where;
    }
};

}  // namespace

TEST_F(hud_gl, ShadowedRedTextReadsBackInPlace) {
    ASSERT_TRUE(load_font(fonts[font_text], "@font.png", text_font_characters));
    clear_grey();
    begin_screen_layer(size, size);
    // "#" from (-0.5, 0.5) at line height 1: pixels 32..64 across and
    // 32..96 down; the shadow 1/16 line (4 pixels) right and down. Points
    // within half a texel of a glyph's edge are filtered and left out.
    draw_text_shadowed(font_text, "\033[31m#", -0.5f, 0.5f, 1.0f, text_colour{1, 1, 1, 1});
    end_screen_layer();
    glFinish();
    expect_near(pixel(48, 64), 191, 0, 0, "text: red 0.75");
    expect_near(pixel(36, 36), 191, 0, 0, "text near its corner");
    expect_near(pixel(65, 70), 64, 64, 64, "shadow right of the text: black at half alpha");
    expect_near(pixel(48, 97), 64, 64, 64, "shadow below the text");
    expect_near(pixel(30, 64), 128, 128, 128, "left of the text");
    expect_near(pixel(48, 30), 128, 128, 128, "above the text");
    expect_near(pixel(70, 64), 128, 128, 128, "beyond the shadow");

    // Bold red is full red, and right-aligned text ends at its x.
    clear_grey();
    begin_screen_layer(size, size);
    draw_text_right(font_text, "\033[1;31m##", 0.5f, 0.5f, 0.5f, text_colour{1, 1, 1, 1});
    end_screen_layer();
    expect_near(pixel(94, 48), 255, 0, 0, "right-aligned text ends at x 96");
    expect_near(pixel(66, 48), 255, 0, 0, "and starts at 64");
    expect_near(pixel(61, 48), 128, 128, 128, "nothing before it");
}

TEST_F(hud_gl, NothingIsDrawnBeforeTheFontsAreLoaded) {
    clear_grey();
    begin_screen_layer(size, size);
    draw_text_shadowed(font_text, "####", -0.5f, 0.5f, 0.5f, text_colour{1, 0, 0, 1});
    draw_text_centred(font_numbers, "12", -1, 1, 0.5f, 0.5f, text_colour{1, 0, 0, 1});
    end_screen_layer();
    expect_near(pixel(40, 48), 128, 128, 128, "untouched");
    EXPECT_EQ(text_width_at(font_text, "####", 1), 4 * default_advance);
}

TEST_F(hud_gl, HudAndScreensDrawWithoutRaceOrBike) {
    ASSERT_TRUE(load_font(fonts[font_text], "@font.png", text_font_characters));
    clear_message_history();
    show_message("\033[32mhello");
    clear_grey();
    hud_draw(0, size, size);
    hud_draw_riding(0, size, size);
    // The message is the first line of the information block (no line is
    // enabled by default but ping, which needs a connection): green near
    // the top-left corner.
    bool green = false;
    for (int y = 0; y < 8 && !green; y++)
        for (int x = 0; x < 24 && !green; x++) {
            std::array<int, 3> p = pixel(x, y);
            green = p[1] > 150 && p[0] < 40 && p[2] < 40;
        }
    EXPECT_TRUE(green);
    // The menu background halves the brightness under it.
    clear_grey();
    draw_menu_background(size, size);
    expect_near(pixel(64, 64), 64, 64, 64, "darkened");
    draw_title_screen("Loading", size, size);
    draw_loading_indicator(5, size, size);
    draw_text_row("Paused", 1, 30, size, size);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    clear_message_history();
}
