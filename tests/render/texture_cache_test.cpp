#include <gtest/gtest.h>

#include "core/cmdline.h"
#include "render/gl_caps.h"
#include "render/texture.h"
#include "texture_test_util.h"

namespace {

struct texture_fixture : ::testing::Test {
    vfs_sandbox box;
    render_params saved_render = render_settings;
    gl_capabilities saved_caps = gl_caps;
    void SetUp() override {
        textures_init();
        clear_message_history();
        render_settings.model_texture_reduction = 0;
        render_settings.texture_compression = 0;
    }
    void TearDown() override {
        textures_free();
        render_settings = saved_render;
        gl_caps = saved_caps;
    }
    std::string file(const std::string& name) const { return box.root1() + name; }
    const recorded_texture* recorded(unsigned id) {
        const recorded_texture* r = recorded_texture_of(id);
        EXPECT_NE(r, nullptr);
        return r;
    }
};

const uint8_t red[4] = {255, 0, 0, 255};
const uint8_t green[4] = {0, 255, 0, 128};

TEST_F(texture_fixture, FirstTokenChoosesTheReader) {
    write_bytes(file("q6.img"), encode_predictive(flat_pixels(4, 4, 3, red).data(), 4, 4, 3));
    write_bytes(file("q7.img"), encode_predictive(flat_pixels(4, 4, 4, green).data(), 4, 4, 4));
    write_bytes(file("p6.img"), encode_ppm(flat_pixels(2, 2, 3, red).data(), 2, 2));
    write_file(file("p3.img"), "P3\n2 1\n255\n255 0 0\n# comment\n0 0 255\n");
    write_png(file("png.img"), flat_pixels(8, 8, 4, green), 8, 8, 4);
    write_file(file("junk.img"), "nothing an image reader takes");

    unsigned q6 = texture_load("@q6.img"), q7 = texture_load("@q7.img");
    unsigned p6 = texture_load("@p6.img"), p3 = texture_load("@p3.img"), png = texture_load("@png.img");
    ASSERT_TRUE(q6 && q7 && p6 && p3 && png);
    EXPECT_EQ(recorded(q6)->channels, 3);
    EXPECT_EQ(recorded(q7)->channels, 4);
    EXPECT_EQ(recorded(q7)->level0[3], 128);
    EXPECT_EQ(recorded(p6)->channels, 3);
    EXPECT_EQ(recorded(p6)->level0[0], 255);
    // P3 with a comment between samples.
    EXPECT_EQ(texture_of(p3)->width, 2);
    EXPECT_EQ(recorded(p3)->level0, (std::vector<uint8_t>{255, 0, 0, 0, 0, 255}));
    EXPECT_EQ(recorded(png)->channels, 4);
    EXPECT_EQ(recorded(png)->levels, 4);
    EXPECT_EQ(texture_load("@junk.img"), 0u);
    EXPECT_EQ(texture_load("@missing.png"), 0u);
    EXPECT_EQ(texture_count(), 5);
    // The same name gives the same id without reading again.
    EXPECT_EQ(texture_load("@q6.img"), q6);
    EXPECT_EQ(recorded(q6)->uploads, 1);
}

TEST_F(texture_fixture, LinkFilesAliasAndLoopsAreRefused) {
    write_png(file("real.png"), flat_pixels(4, 4, 3, red), 4, 4, 3);
    write_file(file("alias.png"), "LINK   @real.png  \n");
    write_file(file("alias2.png"), "LINK @alias.png");
    write_file(file("loop_a.png"), "LINK @loop_b.png\n");
    write_file(file("loop_b.png"), "LINK @loop_a.png\n");
    write_file(file("self.png"), "LINK @self.png\n");
    write_file(file("empty.png"), "LINK \n");

    unsigned real = texture_load("@real.png");
    ASSERT_NE(real, 0u);
    EXPECT_EQ(texture_load("@alias.png"), real);
    EXPECT_EQ(texture_load("@alias2.png"), real);
    EXPECT_EQ(texture_load("@alias2.png"), real);  // now straight from the alias list
    EXPECT_EQ(texture_count(), 1);

    EXPECT_EQ(texture_load("@loop_a.png"), 0u);
    EXPECT_TRUE(message_shown("LINK loop"));
    EXPECT_EQ(texture_load("@self.png"), 0u);
    EXPECT_EQ(texture_load("@empty.png"), 0u);
    EXPECT_EQ(texture_count(), 1);
}

TEST_F(texture_fixture, SidesBecomeThePowerOfTwoBelow) {
    write_png(file("odd.png"), noisy_pixels(64, 100, 3), 64, 100, 3);
    unsigned id = texture_load("@odd.png");
    ASSERT_NE(id, 0u);
    EXPECT_EQ(texture_of(id)->width, 32);
    EXPECT_EQ(texture_of(id)->height, 64);
    EXPECT_EQ(recorded(id)->levels, 7);
    EXPECT_FALSE(message_shown("Non power of 2"));

    EXPECT_EQ(power_of_two_below(1), 1);
    EXPECT_EQ(power_of_two_below(2), 1);
    EXPECT_EQ(power_of_two_below(3), 2);
    EXPECT_EQ(power_of_two_below(64), 32);
    EXPECT_EQ(power_of_two_below(100), 64);
}

TEST_F(texture_fixture, DetailReductionAndItsMessage) {
    const uint8_t grey[3] = {90, 90, 90};
    write_png(file("flat.png"), flat_pixels(512, 512, 3, grey), 512, 512, 3);
    write_png(file("noisy.png"), noisy_pixels(512, 512, 3), 512, 512, 3);
    write_png(file("wide.png"), noisy_pixels(1024, 64, 3), 1024, 64, 3);

    unsigned flat = texture_load("@flat.png");
    EXPECT_EQ(texture_of(flat)->width, 16);
    EXPECT_EQ(texture_of(flat)->height, 16);
    EXPECT_TRUE(message_shown("@flat.png reduced to 16x16 (originally 512x512)"));

    // "!" turns the reduction off for that load (a name of its own).
    textures_init();
    clear_message_history();
    unsigned kept = texture_load("!@flat.png");
    EXPECT_EQ(texture_of(kept)->width, 512);
    EXPECT_EQ(texture_of(kept)->name, "@flat.png");
    EXPECT_FALSE(message_shown("reduced"));

    // The model-texture reduction drops levels while both sides exceed 128;
    // detail that the next level cannot restore stays, without a message.
    textures_init();
    clear_message_history();
    render_settings.model_texture_reduction = 5;
    unsigned noisy = texture_load("@noisy.png");
    EXPECT_EQ(texture_of(noisy)->width, 128);
    unsigned wide = texture_load("@wide.png");
    EXPECT_EQ(texture_of(wide)->width, 1024);
    EXPECT_EQ(texture_of(wide)->height, 64);
    EXPECT_FALSE(message_shown("reduced"));
}

TEST_F(texture_fixture, RedundancyTestComparesUpsampledLevel) {
    // A smooth ramp is what level 1 upsampled gives back, a checkerboard is not.
    pixel_buffer ramp;
    ramp.width = ramp.height = 64;
    ramp.channels = 3;
    ramp.has_mips = true;
    ramp.pixels.resize(mip_chain_bytes(64, 64, 3));
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            for (int c = 0; c < 3; c++) ramp.pixels[(y * 64 + x) * 3 + c] = (uint8_t)(x * 2 + c);
    build_mip_chain(ramp.pixels.data(), 64, 64, 3);
    EXPECT_TRUE(top_level_redundant(ramp));
    pixel_buffer checks = ramp;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) checks.pixels[(y * 64 + x) * 3] = ((x + y) & 1) ? 200 : 0;
    build_mip_chain(checks.pixels.data(), 64, 64, 3);
    EXPECT_FALSE(top_level_redundant(checks));
    EXPECT_EQ(reduce_texture_detail(checks, 0), 0);
    EXPECT_EQ(checks.width, 64);
}

TEST_F(texture_fixture, CaseMismatchWarnsAndShares) {
    write_png(file("Rider.png"), flat_pixels(4, 4, 3, red), 4, 4, 3);
    unsigned a = texture_load("@Rider.png");
    ASSERT_NE(a, 0u);
    EXPECT_FALSE(message_shown("case mismatch"));
    EXPECT_EQ(texture_load("@rider.png"), a);
    EXPECT_TRUE(message_shown("Warning: case mismatch on '@rider.png'"));
    EXPECT_EQ(texture_count(), 1);
}

TEST_F(texture_fixture, WrapFlagsFollowTheName) {
    for (const char* n : {"a-repeat.png", "a-hrepeat.png", "a-vrepeat.png", "a.png"})
        write_png(file(n), flat_pixels(4, 4, 3, red), 4, 4, 3);
    const recorded_texture* both = recorded(texture_load("@a-repeat.png"));
    const recorded_texture* h = recorded(texture_load("@a-hrepeat.png"));
    const recorded_texture* v = recorded(texture_load("@a-vrepeat.png"));
    const recorded_texture* clamp = recorded(texture_load("@a.png"));
    EXPECT_TRUE(both->repeat_s && both->repeat_t);
    EXPECT_TRUE(h->repeat_s && !h->repeat_t);
    EXPECT_TRUE(!v->repeat_s && v->repeat_t);
    EXPECT_TRUE(!clamp->repeat_s && !clamp->repeat_t);
}

TEST_F(texture_fixture, CompressionByMarkerAndSetting) {
    write_png(file("marked.png"), flat_pixels(4, 4, 3, red), 4, 4, 3);
    write_file(file("marked.png.info"), "[compress]\n");
    write_png(file("plain.png"), flat_pixels(4, 4, 3, red), 4, 4, 3);
    gl_caps.compressed_textures = true;
    auto compressed = [&](const char* name) {
        textures_init();
        return recorded(texture_load(name))->compress;
    };
    render_settings.texture_compression = 0;  // "No"
    EXPECT_FALSE(compressed("@marked.png"));
    render_settings.texture_compression = 1;  // "Yes": only where the texture asks
    EXPECT_TRUE(compressed("@marked.png"));
    EXPECT_FALSE(compressed("@plain.png"));
    EXPECT_NE(texture_named("@plain.png"), nullptr);
    render_settings.texture_compression = 2;  // "Always"
    EXPECT_TRUE(compressed("@plain.png"));
    gl_caps.compressed_textures = false;  // the driver cannot
    EXPECT_FALSE(compressed("@marked.png"));
}

TEST_F(texture_fixture, ReleaseFreesOnlyOlderGenerations) {
    for (const char* n : {"zero.png", "one.png", "two.png", "kept.png"})
        write_png(file(n), flat_pixels(8, 8, 3, red), 8, 8, 3);
    unsigned zero = texture_load("@zero.png");
    texture_new_generation();
    unsigned one = texture_load("@one.png");
    unsigned kept = texture_load("@kept.png");
    const image_record* old_image = image_load("@one.png", 0, 1 << 20);
    ASSERT_NE(old_image, nullptr);
    texture_new_generation();
    unsigned two = texture_load("@two.png");
    // Asked for again in this load: it stays.
    EXPECT_EQ(texture_load("@kept.png"), kept);
    size_t before = texture_memory_used();
    textures_release();
    EXPECT_NE(texture_of(zero), nullptr);
    EXPECT_EQ(texture_of(one), nullptr);
    EXPECT_NE(texture_of(kept), nullptr);
    EXPECT_NE(texture_of(two), nullptr);
    EXPECT_TRUE(recorded(one)->deleted);
    EXPECT_FALSE(recorded(zero)->deleted);
    EXPECT_EQ(image_count(), 0);
    EXPECT_LT(texture_memory_used(), before);
    // Reloading after the release gives a fresh id.
    unsigned again = texture_load("@one.png");
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, one);
}

TEST_F(texture_fixture, ImagesForSoftwareUse) {
    write_png(file("tile.png"), noisy_pixels(512, 512, 3), 512, 512, 3);
    write_png(file("small.png"), noisy_pixels(200, 200, 3), 200, 200, 3);
    const image_record* tile = image_load("@tile.png", 1, 1 << 20);
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(tile->image.channels, 4);
    EXPECT_EQ(tile->image.width, 256);
    EXPECT_EQ(tile->image.pixels.size(), mip_chain_bytes(256, 256, 4));
    EXPECT_EQ(tile->image.pixels[3], 255);
    // Cached by name, whatever the arguments of later requests.
    EXPECT_EQ(image_load("@tile.png", 3, 16), tile);
    // 200 x 200 becomes 128 x 128 and is never reduced below 16385 pixels.
    const image_record* small = image_load("@small.png", 4, 16);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->image.width, 128);
    EXPECT_EQ(texture_count(), 0);
    EXPECT_EQ(image_load("@nothing.png", 0, 1), nullptr);
}

TEST_F(texture_fixture, CompanionMapsByNameRules) {
    for (const char* n : {"skin.png", "skin_norm.png", "ground-repeat.png", "ground_norm-repeat.ppm", "statue.png",
                          "statue_model_spec.png"})
        write_png(file(n), flat_pixels(4, 4, 3, red), 4, 4, 3);
    write_bytes(file("ground_norm-repeat.ppm"), encode_ppm(flat_pixels(4, 4, 3, red).data(), 4, 4));
    gl_caps.use_shaders = false;
    EXPECT_EQ(texture_companion("@skin.png", nullptr, "_norm"), 0u);
    gl_caps.use_shaders = true;
    unsigned n = texture_companion("@skin.png", nullptr, "_norm");
    ASSERT_NE(n, 0u);
    EXPECT_EQ(texture_of(n)->name, "@skin_norm.png");
    n = texture_companion("@ground-repeat.png", nullptr, "_norm");
    ASSERT_NE(n, 0u);
    EXPECT_EQ(texture_of(n)->name, "@ground_norm-repeat.ppm");
    EXPECT_TRUE(texture_of(n)->repeat_s && texture_of(n)->repeat_t);
    // Nothing by the texture's name: the model file's name is tried.
    n = texture_companion("@statue.png", "@statue_model.jm", "_spec");
    ASSERT_NE(n, 0u);
    EXPECT_EQ(texture_of(n)->name, "@statue_model_spec.png");
    EXPECT_EQ(texture_companion("@statue.png", "@statue_model.jm", "_norm"), 0u);
}

}  // namespace
