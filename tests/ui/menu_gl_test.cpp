// The menu pages drawn through GL with the game's fonts from the built
// archive: the highlighted item lands where its rectangle says, in its
// colours. With QX_MENU_SHOTS set to a directory every page is also saved
// there as "menu<page>.png".
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/bike_setup.h"
#include "core/config.h"
#include "platform/window.h"
#include "render/gl_caps.h"
#include "render/image_io.h"
#include "render/texture.h"
#include "testkit/built_data.h"
#include "testkit/testkit.h"
#include "track/track.h"
#include "ui/asset_lists.h"
#include "ui/font.h"
#include "ui/menu.h"
#include "vfs/vfs.h"

namespace {

constexpr int width = 800, height = 600;

struct menu_gl : ::testing::Test {
    plix_window* w = nullptr;
    vfs_sandbox box;
    menu_driver saved_services = menu_service;
    game_settings saved_settings = settings;
    bike_setup saved_setup = player_setup;
    void SetUp() override {
        const char* d = getenv("DISPLAY");
        if (!d || !*d) GTEST_SKIP() << "no display";
        if (!link_built_archive(box)) GTEST_SKIP() << "no data archive";
        ASSERT_NE(w = open_gl_window("menu", width, height, 24, 0, 24, 0, 0), nullptr);
        gl_probe();
        textures_init(&gl_texture_driver);
        load_fonts();
        ASSERT_TRUE(font_of(font_text).loaded);
        config_defaults();
        scan_tracks();
        build_graphics_lists();
        menu_service = menu_driver{};
        reset_menu_state();
    }
    void TearDown() override {
        open_menu_page(no_menu);
        reset_menu_state();
        menu_service = saved_services;
        settings = saved_settings;
        player_setup = saved_setup;
        if (!w) return;
        free_graphics_lists();
        free_track_lists();
        free_font_textures();
        textures_free();
        close_gl_window(w);
        vfs_shutdown();
    }
    std::vector<uint8_t> draw_page(int page) {
        glViewport(0, 0, width, height);
        glClearColor(0.2f, 0.3f, 0.45f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        menu_draw(width, height);
        glFinish();
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        std::vector<uint8_t> rgb(width * height * 3), flipped(rgb.size());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, flipped.data());
        for (int y = 0; y < height; y++)
            memcpy(&rgb[(size_t)y * width * 3], &flipped[(size_t)(height - 1 - y) * width * 3], (size_t)width * 3);
        if (const char* dir = getenv("QX_MENU_SHOTS")) {
            std::vector<uint8_t> png;
            EXPECT_TRUE(encode_png(rgb.data(), width, height, 3, nullptr, png));
            write_file(std::string(dir) + "/menu" + std::to_string(page) + ".png", png);
        }
        return rgb;
    }
    static int brightness(const std::vector<uint8_t>& rgb, int x, int y) {
        const uint8_t* q = &rgb[((size_t)y * width + x) * 3];
        return q[0] + q[1] + q[2];
    }
};

TEST_F(menu_gl, HighlightedItemIsDrawnLightWithDarkTextAndOthersDim) {
    open_menu_page(main_page);
    menu_cursor = 3;
    std::vector<uint8_t> rgb = draw_page(main_page);
    const menu_rect lit = menu_items()[3].rect, dim = menu_items()[4].rect;
    ASSERT_GT(lit.right, lit.left);
    // Near the left edge inside the box: background only, no text.
    int lit_x = lit.left + 3, lit_y = (lit.top + lit.bottom) / 2;
    int dim_x = dim.left + 3, dim_y = (dim.top + dim.bottom) / 2;
    EXPECT_GT(brightness(rgb, lit_x, lit_y), 500);
    EXPECT_LT(brightness(rgb, dim_x, dim_y), 400);
    // The highlighted label has dark pixels (its text) inside its box.
    int darkest = 765;
    for (int x = lit.left + 2; x < lit.right - 2; x++)
        for (int y = lit.top + 2; y < lit.bottom - 2; y++) darkest = std::min(darkest, brightness(rgb, x, y));
    EXPECT_LT(darkest, 200);
}

TEST_F(menu_gl, EveryPageDraws) {
    // Walked for the pictures; every page must put its items on screen.
    const int pages[] = {main_page,       new_race_page,  time_trial_page, bike_setup_page,
                         suspension_page, stability_page, controls_page,   graphics_page,
                         advanced_graphics_page, multiplayer_page, playback_page, quit_page};
    for (int page : pages) {
        SCOPED_TRACE(page);
        open_menu_page(page);
        menu_cursor = page == new_race_page ? 1 : 0;
        std::vector<uint8_t> rgb = draw_page(page);
        // Something other than the cleared background is drawn.
        int changed = 0;
        for (int y = 0; y < height; y += 4)
            for (int x = 0; x < width; x += 4) changed += brightness(rgb, x, y) > 600;
        EXPECT_GT(changed, 10);
    }
    // The input line darkens the view and shows the line being typed.
    open_menu_page(input_line_page);
    menu_key('h');
    std::vector<uint8_t> rgb = draw_page(input_line_page);
    const menu_rect r = menu_items()[0].rect;
    ASSERT_GT(r.bottom, r.top);
    EXPECT_LT(brightness(rgb, 5, 5), brightness(rgb, r.left + 3, (r.top + r.bottom) / 2));
}

}  // namespace
