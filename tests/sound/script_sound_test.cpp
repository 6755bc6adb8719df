// Script sounds through their public calls on a recording device: loading
// raw samples, the table limit, sharing, and the per-frame placement.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config.h"
#include "fake_device.h"
#include "render/frame_draw.h"
#include "sound/script_sound.h"
#include "sound/sound.h"
#include "testkit/testkit.h"

namespace {

struct script_sounds : ::testing::Test {
    vfs_sandbox box;
    fake_device device;
    void SetUp() override {
        config_defaults();
        settings.volume = 10;
        settings.comp_volume = 10;
        set_listener(frame_camera{}, {0, 0, 0});
    }
    void TearDown() override { script_sounds_release(); }
    void file(const char* name, const std::vector<unsigned char>& bytes) { write_file(box.root0() + name, bytes); }
};

TEST_F(script_sounds, files_become_eight_bit_samples_and_bad_ones_are_refused) {
    file("three.raw", {0x34, 0x12, 0x99});
    file("one.raw", {0x12});
    file("two.raw", {0x00, 0x80, 0xff, 0x7f});
    EXPECT_EQ(script_sound_add("@three.raw"), 0);
    EXPECT_EQ(device.last().bytes, (std::vector<uint8_t>{0x12 + 128}));
    EXPECT_EQ(script_sound_add("@two.raw"), 1);
    EXPECT_EQ(device.last().bytes, (std::vector<uint8_t>{0x00, 0xff}));
    EXPECT_EQ(device.last().volume, 0);
    EXPECT_FALSE(device.last().looping);
    // Refused: nothing is made and the table does not grow.
    for (const char* name : {"@one.raw", "@missing.raw", "/dev/zero", "three.raw", "@../three.raw", "@", ""})
        EXPECT_EQ(script_sound_add(name), -1) << name;
    EXPECT_EQ(script_sound_count(), 2);
    device.open = false;
    EXPECT_EQ(script_sound_add("@two.raw"), -1);
}

TEST_F(script_sounds, the_table_holds_256_sounds_sharing_one_file_and_a_reset_empties_it) {
    file("crowd.raw", std::vector<unsigned char>(4000, 0x40));
    for (int k = 0; k < script_sound_limit; k++) ASSERT_EQ(script_sound_add("@crowd.raw"), k);
    EXPECT_EQ(script_sound_add("@crowd.raw"), -1);
    EXPECT_EQ(script_sound_count(), 256);
    // One read of the file; the others share its samples.
    EXPECT_EQ(device.sounds[0]->shares, nullptr);
    EXPECT_EQ(device.sounds[1]->shares, reinterpret_cast<audio_sound*>(device.sounds[0]));
    // Each plays on its own.
    EXPECT_TRUE(script_sound_loop(1, true));
    EXPECT_TRUE(script_sound_start(1));
    EXPECT_TRUE(device.sounds[1]->playing && device.sounds[1]->looping);
    EXPECT_FALSE(device.sounds[0]->playing || device.sounds[0]->looping);
    EXPECT_TRUE(script_sound_stop(1));
    EXPECT_FALSE(device.sounds[1]->playing);
    for (int bad : {-1, 256, 1000})
        EXPECT_FALSE(script_sound_start(bad) || script_sound_stop(bad) || script_sound_loop(bad, true) ||
                     script_sound_set_freq(bad, 1) || script_sound_set_vol(bad, 1) ||
                     script_sound_set_pos(bad, 0, 0, 0) || script_sound_set_vel(bad, 0, 0, 0));
    release_script_sounds();
    EXPECT_EQ(script_sound_count(), 0);
    for (fake_sound* s : device.sounds) EXPECT_TRUE(s->freed);
}

TEST_F(script_sounds, placement_follows_distance_doppler_side_and_the_menu) {
    file("tone.raw", {0, 0, 0, 0});
    for (int k = 0; k < 4; k++) ASSERT_EQ(script_sound_add("@tone.raw"), k);
    // 0: never given a rate, beside the listener. 1: 49 ft ahead.
    // 2: 48000 Hz with the listener closing at a tenth of the speed of
    // sound. 3: off to the right.
    script_sound_set_vol(0, 1);
    script_sound_set_vol(1, 1);
    script_sound_set_pos(1, 0, 0, -49);
    script_sound_set_freq(2, 48000);
    script_sound_set_pos(2, 0, 0, -500);
    script_sound_set_vol(3, 0.5);
    script_sound_set_pos(3, 10, 0, 0);
    set_listener(frame_camera{}, {0, 0, 0});
    sound_update(1);
    EXPECT_EQ(device.sounds[0]->rate, 100);
    EXPECT_EQ(device.sounds[0]->volume, 32767);
    EXPECT_EQ(device.sounds[0]->pan, 0);
    EXPECT_EQ(device.sounds[1]->volume, 16383);
    EXPECT_EQ(device.sounds[3]->pan, 32767);
    EXPECT_EQ(device.sounds[3]->volume, (int)(0.5 / (1 + 9.0 / 48) * 32767));
    set_listener(frame_camera{}, {0, 0, -114.063});
    sound_update(1);
    EXPECT_EQ(device.sounds[2]->rate, 52800);
    // A menu over the ride silences them.
    sound_update(0);
    for (int k = 0; k < 4; k++) EXPECT_EQ(device.sounds[(size_t)k]->volume, 0);
}

}  // namespace
