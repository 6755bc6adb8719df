#include <gtest/gtest.h>

#include "core/cmdline.h"
#include "render/texture.h"
#include "texture_test_util.h"

namespace {

struct anim_fixture : ::testing::Test {
    vfs_sandbox box;
    render_params saved_render = render_settings;
    void SetUp() override {
        textures_init();
        clear_message_history();
        render_settings.model_texture_reduction = 0;
    }
    void TearDown() override {
        textures_free();
        render_settings = saved_render;
    }
    std::string file(const std::string& name) const { return box.root1() + name; }
};

// A frame of one colour as an inline "Q7" image.
std::string q7_frame(uint8_t value, int w = 4, int h = 4) {
    uint8_t colour[4] = {value, value, value, 255};
    std::vector<uint8_t> bytes = encode_predictive(flat_pixels(w, h, 4, colour).data(), w, h, 4);
    return std::string(bytes.begin(), bytes.end());
}

std::string seq(const char* header, const std::vector<std::string>& frames) {
    std::string s = std::string("ANIM1\n") + header + "\n";
    for (const std::string& f : frames) s += f;
    return s;
}

uint8_t shown_value(unsigned id) { return recorded_texture_of(id)->level0[0]; }

TEST_F(anim_fixture, SequenceStepsLoopOrHoldTheLastStep) {
    // Steps 0 1 2 1 over three frames, two tics per step.
    write_file(file("loop.seq"), seq("4 3 2 1\n0 1 2 1", {q7_frame(10), q7_frame(20), q7_frame(30)}));
    write_file(file("once.seq"), seq("3 3 2 0\n2 0 1", {q7_frame(10), q7_frame(20), q7_frame(30)}));
    unsigned loop = texture_load("@loop.seq"), once = texture_load("@once.seq");
    ASSERT_NE(loop, 0u);
    ASSERT_NE(once, 0u);
    EXPECT_EQ(animation_count(), 2);
    EXPECT_EQ(animation_frame_count(loop), 3);
    EXPECT_EQ(shown_value(loop), 10);
    EXPECT_EQ(shown_value(once), 30);

    const int loop_frames[] = {0, 0, 1, 1, 2, 2, 1, 1, 0, 0, 1};
    const int once_frames[] = {2, 2, 0, 0, 1, 1, 1, 1, 1, 1, 1};
    for (int tic = 0; tic < 11; tic++) {
        animation_tick(tic);
        EXPECT_EQ(animation_frame(loop), loop_frames[tic]) << tic;
        EXPECT_EQ(animation_frame(once), once_frames[tic]) << tic;
    }
    animation_tick(100000);
    EXPECT_EQ(animation_frame(once), 1);  // a non-looping animation stays on its last step
    EXPECT_EQ(shown_value(once), 20);
    // Only frame changes upload.
    int updates = recorded_texture_of(once)->updates;
    animation_tick(100001);
    EXPECT_EQ(recorded_texture_of(once)->updates, updates);

    // A restart begins again from step 0; tics before the start count as 0.
    EXPECT_TRUE(animation_restart(once, 200000));
    animation_tick(150000);
    EXPECT_EQ(animation_frame(once), 2);
    EXPECT_FALSE(animation_restart(12345, 0));
}

TEST_F(anim_fixture, PngFramesAndMismatches) {
    const uint8_t a[4] = {1, 2, 3, 255}, b[4] = {4, 5, 6, 255};
    write_png(file("f0.png"), flat_pixels(8, 8, 4, a), 8, 8, 4);
    write_png(file("f1.png"), flat_pixels(8, 8, 4, b), 8, 8, 4);
    write_png(file("big.png"), flat_pixels(16, 8, 4, b), 16, 8, 4);
    write_png(file("rgb.png"), flat_pixels(8, 8, 3, b), 8, 8, 3);
    write_file(file("pngs.seq"), "ANIM1 2 2 1 1\n0 1\nPNG @f0.png\nPNG\n@f1.png\n");
    unsigned id = texture_load("@pngs.seq");
    ASSERT_NE(id, 0u);
    animation_tick(1);
    EXPECT_EQ(shown_value(id), 4);

    write_file(file("size.seq"), "ANIM1 2 2 1 1\n0 1\nPNG @f0.png\nPNG @big.png\n");
    write_file(file("depth.seq"), "ANIM1 2 2 1 1\n0 1\nPNG @f0.png\nPNG @rgb.png\n");
    write_file(file("token.seq"), "ANIM1 2 2 1 1\n0 1\nPNG @f0.png\nGIF @f1.png\n");
    write_file(file("gone.seq"), "ANIM1 1 1 1 1\n0\nPNG @nowhere.png\n");
    write_file(file("short.seq"), seq("2 2 1 1\n0 1", {q7_frame(5)}));
    EXPECT_EQ(texture_load("@size.seq"), 0u);
    EXPECT_TRUE(message_shown("Width/height mismatch reading .seq"));
    EXPECT_EQ(texture_load("@depth.seq"), 0u);
    EXPECT_TRUE(message_shown("Depth mismatch reading .seq"));
    EXPECT_EQ(texture_load("@token.seq"), 0u);
    EXPECT_TRUE(message_shown("Error reading .seq frame 1"));
    EXPECT_EQ(texture_load("@gone.seq"), 0u);
    EXPECT_TRUE(message_shown("Can't read @nowhere.png"));
    EXPECT_EQ(texture_load("@short.seq"), 0u);
    EXPECT_TRUE(message_shown("EOF while reading .seq"));
    EXPECT_EQ(animation_count(), 1);
    EXPECT_EQ(texture_count(), 1);
}

TEST_F(anim_fixture, BadCountsAreRefusedNotUsed) {
    const char* headers[] = {
        "2 1 0 1\n0 0",              // period 0 would divide by zero
        "0 1 1 1\n",                 // no steps
        "2 2 1 1\n0 2",              // a step past the frames
        "2 2 1 1\n0 -1",             // a negative step
        "1000000000 1 1 1\n0",       // absurd step count
        "1 2000000000 1 1\n0",       // absurd frame count
        "1 -3 1 1\n0",
    };
    int k = 0;
    for (const char* h : headers) {
        std::string name = "bad" + std::to_string(k++) + ".seq";
        write_file(file(name), seq(h, {q7_frame(1), q7_frame(2)}));
        clear_message_history();
        EXPECT_EQ(texture_load(("@" + name).c_str()), 0u) << h;
        EXPECT_TRUE(message_shown(".seq")) << h;
    }
    EXPECT_EQ(animation_count(), 0);
    EXPECT_EQ(texture_count(), 0);
    animation_tick(5);  // nothing to move
}

TEST_F(anim_fixture, FramesAreReducedAlike) {
    // One flat and one detailed frame: no level goes, since it would add
    // nothing to the first frame only.
    std::vector<uint8_t> detail = noisy_pixels(64, 64, 4);
    for (size_t i = 3; i < detail.size(); i += 4) detail[i] = 255;
    std::vector<uint8_t> d = encode_predictive(detail.data(), 64, 64, 4);
    write_file(file("mixed.seq"), seq("2 2 1 1\n0 1", {q7_frame(9, 64, 64), std::string(d.begin(), d.end())}));
    unsigned id = texture_load("@mixed.seq");
    ASSERT_NE(id, 0u);
    EXPECT_EQ(texture_of(id)->width, 64);
    // All flat frames shrink together, and the message says so once.
    write_file(file("flat.seq"), seq("2 2 1 1\n0 1", {q7_frame(9, 64, 64), q7_frame(50, 64, 64)}));
    clear_message_history();
    id = texture_load("@flat.seq");
    ASSERT_NE(id, 0u);
    EXPECT_EQ(texture_of(id)->width, 16);
    EXPECT_TRUE(message_shown("@flat.seq reduced to 16x16 (originally 64x64)"));
    animation_tick(1);
    EXPECT_EQ(recorded_texture_of(id)->width, 16);
    // Frames larger than 65536 pixels are cut down to that.
    write_file(file("huge.seq"), seq("1 1 1 1\n0", {[] {
                   std::vector<uint8_t> p = noisy_pixels(512, 512, 4, 3);
                   std::vector<uint8_t> e = encode_predictive(p.data(), 512, 512, 4);
                   return std::string(e.begin(), e.end());
               }()}));
    id = texture_load("@huge.seq");
    ASSERT_NE(id, 0u);
    EXPECT_EQ(texture_of(id)->width * texture_of(id)->height, 65536);
}

TEST_F(anim_fixture, CustomFramesPasteAndUpload) {
    write_file(file("board.seq"), seq("1 2 1 1\n0", {q7_frame(100, 8, 8), q7_frame(200, 8, 8)}));
    unsigned id = texture_load("@board.seq");
    ASSERT_NE(id, 0u);
    EXPECT_FALSE(paste_custom_frame(id, 1, 0, 0, 0, 0, 1, 1));  // before begin
    EXPECT_FALSE(end_custom_frame(id));
    ASSERT_TRUE(begin_custom_frame(id));
    // The right half of frame 1 into the left half; a frame index out of range fails.
    EXPECT_TRUE(paste_custom_frame(id, 1, 0, 0, 0.5, 0, 0.5, 1));
    EXPECT_FALSE(paste_custom_frame(id, 2, 0, 0, 0, 0, 1, 1));
    EXPECT_FALSE(paste_custom_frame(id, -1, 0, 0, 0, 0, 1, 1));
    // Clipped at both pictures' edges, however far out.
    EXPECT_TRUE(paste_custom_frame(id, 0, 0.75, 0.75, 0, 0, 10, 10));
    EXPECT_TRUE(paste_custom_frame(id, 0, -5, -5, 0, 0, 1e12, 1e12));
    ASSERT_TRUE(end_custom_frame(id));
    const std::vector<uint8_t>& px = recorded_texture_of(id)->level0;
    ASSERT_EQ(px.size(), 8u * 8 * 4);
    auto at = [&](int x, int y) { return px[(size_t)(y * 8 + x) * 4]; };
    EXPECT_EQ(at(0, 0), 200);  // a paste placed far outside is clipped away
    EXPECT_EQ(at(7, 7), 100);
    // A composed texture no longer follows its sequence.
    int updates = recorded_texture_of(id)->updates;
    animation_tick(50);
    EXPECT_EQ(recorded_texture_of(id)->updates, updates);

    ASSERT_TRUE(begin_custom_frame(id));
    EXPECT_TRUE(paste_custom_frame(id, 1, 0, 0, 0.5, 0, 0.5, 1));
    EXPECT_TRUE(paste_custom_frame(id, 0, 0.75, 0.75, 0, 0, 10, 10));
    ASSERT_TRUE(end_custom_frame(id));
    const std::vector<uint8_t>& p2 = recorded_texture_of(id)->level0;
    auto at2 = [&](int x, int y) { return p2[(size_t)(y * 8 + x) * 4]; };
    EXPECT_EQ(at2(0, 0), 200);
    EXPECT_EQ(at2(3, 7), 200);
    EXPECT_EQ(at2(4, 0), 0);  // cleared by begin
    EXPECT_EQ(at2(6, 6), 100);
    EXPECT_EQ(at2(7, 7), 100);
    EXPECT_EQ(at2(5, 5), 0);
    EXPECT_FALSE(begin_custom_frame(id + 100));
}

}  // namespace
