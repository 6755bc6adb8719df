// The software mixer, observed through the memory driver's exact output.
//
// Level-table values used below (level L, byte 128 + j gives floor((j-1)L/32)):
//   level 31: 228 -> +95, 28 -> -95, 195 -> +63, 196 -> +64, 61 -> -63,
//             60 -> -64, 255 -> +122, 0 -> -123
//   level 15: 228 -> +46, 28 -> -46      level 16: 228 -> +49, 28 -> -49
// A sound that has not been heard yet starts at level 0 and reaches its level
// at the first sign change of its samples, so the first frames are silent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/diag.h"
#include "platform/audio.h"

namespace {

using bytes = std::vector<uint8_t>;

constexpr int full_left = -32768;

struct mixer_fixture : ::testing::Test {
    audio_device* device = nullptr;

    void open(int rate, int block_frames, const char* options = "") {
        setenv("PLIX_OPTIONS", options, 1);
        options_reload();
        device = audio_open_readback(nullptr, rate, block_frames);
        ASSERT_NE(device, nullptr);
    }
    void TearDown() override {
        if (current_audio_device()) audio_close(current_audio_device());
        unsetenv("PLIX_OPTIONS");
        options_reload();
    }
    audio_sound* make(const bytes& b, int pan = 0, bool loop = false, int volume = 32767) {
        audio_sound* s = sound_create(device, (int)b.size(), b.data(), 0);
        EXPECT_NE(s, nullptr);
        sound_set_pan(s, pan);
        sound_set_volume(s, volume);
        sound_set_loop(s, loop);
        return s;
    }
    bytes mix() {
        std::span<const uint8_t> out = audio_mix_block(device);
        return bytes(out.begin(), out.end());
    }
    // One output channel of a block.
    bytes mix_channel(int ch) {
        bytes all = mix(), one;
        for (size_t i = (size_t)ch; i < all.size(); i += 2) one.push_back(all[i]);
        return one;
    }
};

TEST_F(mixer_fixture, CentrePanLevelsAndOutputBytes) {
    open(1000, 6);
    audio_sound* s = make({228, 28}, 0, true);
    sound_play(s);
    // Centre pan at full volume is level 15 on both sides.
    EXPECT_EQ(mix(), (bytes{128, 128, 82, 82, 174, 174, 82, 82, 174, 174, 82, 82}));
    // Two steps right of centre make the right side level 16; it changes at
    // the next sign change (frame 1), the left keeps level 15.
    sound_set_pan(s, 2);
    EXPECT_EQ(mix(), (bytes{174, 174, 82, 79, 174, 177, 82, 79, 174, 177, 82, 79}));
    // Fully left: level 31 left, and the right side (level 0) falls silent at once.
    sound_set_pan(s, full_left);
    EXPECT_EQ(mix(), (bytes{174, 128, 33, 128, 223, 128, 33, 128, 223, 128, 33, 128}));
}

TEST_F(mixer_fixture, OutputClampsAtBothEnds) {
    open(1000, 7);
    // Two full-left voices summed: 126 -> 254, 127 -> 255, -127 -> 1, -128 -> 0,
    // and far beyond either end.
    sound_play(make({28, 195, 195, 61, 60, 255, 0}, full_left));
    sound_play(make({28, 195, 196, 60, 60, 255, 0}, full_left));
    EXPECT_EQ(mix_channel(0), (bytes{128, 254, 255, 1, 0, 255, 0}));
}

TEST_F(mixer_fixture, VolumeChangesAtTheNextZeroCrossing) {
    open(1000, 6);
    audio_sound* s = make({228, 228, 228, 228, 28, 28, 28, 28}, full_left, true);
    sound_play(s);
    EXPECT_EQ(mix_channel(0), (bytes{128, 128, 128, 128, 33, 33}));
    sound_set_volume(s, 15 * 1025);  // level 15 fully left
    EXPECT_EQ(mix_channel(0), (bytes{33, 33, 174, 174, 174, 174}));
    EXPECT_EQ(mix_channel(0), (bytes{82, 82, 82, 82, 174, 174}));
}

TEST_F(mixer_fixture, EndOfSoundLoopingAndPosition) {
    open(1000, 8);
    const bytes wave{28, 228, 28, 228, 28};
    audio_sound* once = make(wave, full_left);
    sound_play(once);
    EXPECT_EQ(sound_position(once), 0);  // restart pending
    EXPECT_EQ(mix_channel(0), (bytes{128, 223, 33, 223, 33, 128, 128, 128}));
    EXPECT_EQ(sound_position(once), 0);  // finished and out of the lists
    EXPECT_EQ(mix_channel(0), bytes(8, 128));
    sound_free(once);

    audio_sound* loop = make(wave, full_left, true);
    sound_play(loop);
    EXPECT_EQ(mix_channel(0), (bytes{128, 223, 33, 223, 33, 33, 223, 33}));
    EXPECT_EQ(sound_position(loop), 3);
    // Restarting reads 0 until the next block has run, then counts from the start.
    sound_play(loop);
    EXPECT_EQ(sound_position(loop), 0);
    EXPECT_EQ(mix_channel(0), (bytes{33, 223, 33, 223, 33, 33, 223, 33}));
    EXPECT_EQ(sound_position(loop), 3);
    // A stop takes the sound out at the next block.
    sound_stop(loop);
    EXPECT_EQ(mix_channel(0), bytes(8, 128));
    EXPECT_EQ(sound_position(loop), 0);
}

// 20 full-left voices at levels 31..12 with a budget of 16: the output is
// exactly that of the 16 loudest, and the quiet four keep their timing.
TEST_F(mixer_fixture, VoiceBudgetKeepsTheLoudestAndTheTimingOfTheRest) {
    bytes wave;
    for (int i = 0; i < 37; i++) wave.push_back((uint8_t)(i % 2 ? 128 + 1 + (i * 7) % 11 : 128 - 1 - (i * 5) % 11));
    // Plays the sounds of levels [first, last], stopping those above `keep`
    // after the first block; returns the blocks.
    auto run = [&](int first, int last, int keep, const char* options) {
        open(1000, 50, options);
        std::vector<audio_sound*> sounds;
        for (int level = last; level >= first; level--) {
            audio_sound* s = make(wave, full_left, true, level * 1025);
            sound_set_rate(s, 1500);  // 1.5 source samples per output frame
            sound_play(s);
            sounds.push_back(s);
        }
        std::vector<bytes> blocks{mix()};
        for (audio_sound* s : sounds) {
            EXPECT_EQ(sound_position(s), 75 % 37);
        }
        for (int i = 0; i < last - keep; i++) sound_stop(sounds[(size_t)i]);
        blocks.push_back(mix());
        blocks.push_back(mix());
        audio_close(device);
        return blocks;
    };
    std::vector<bytes> all20 = run(12, 31, 15, "[sound-channels:16]");
    std::vector<bytes> loudest16 = run(16, 31, 31, "[sound-channels:16]");
    std::vector<bytes> quiet4 = run(12, 15, 15, "[sound-channels:16]");
    std::vector<bytes> unlimited = run(12, 31, 31, "[sound-channels:40]");
    EXPECT_EQ(all20[0], loudest16[0]);
    EXPECT_NE(all20[0], unlimited[0]);
    // Once the loud ones stop, the quiet ones fade in at a sign change and
    // then sound exactly as if they had played alone from the start.
    EXPECT_EQ(all20[2], quiet4[2]);
}

// Within a level the budget goes to left and right voices in turn.
TEST_F(mixer_fixture, BudgetAlternatesLeftAndRight) {
    open(1000, 3, "[sound-channels:3]");
    sound_play(make({228, 28}, 0, true));
    sound_play(make({228, 28}, 0, true));
    // Left: two level-15 voices (+-46 each); right: one.
    EXPECT_EQ(mix(), (bytes{128, 128, 36, 82, 220, 174}));
}

TEST_F(mixer_fixture, RateConversionAndLongSteps) {
    open(88200, 1000);
    // 30000 bytes at 44100 to 88200: 60000 samples (the product overflows 32 bits).
    bytes source;
    for (int i = 0; i < 30000; i++) source.push_back(i % 2 ? 228 : 28);
    audio_sound* converted = sound_create(device, (int)source.size(), source.data(), 44100);
    ASSERT_NE(converted, nullptr);
    sound_set_pan(converted, full_left);
    sound_set_loop(converted, true);
    sound_play(converted);
    bytes first = mix_channel(0);
    EXPECT_EQ(bytes(first.begin(), first.begin() + 6), (bytes{128, 128, 223, 223, 33, 33}));
    for (int i = 1; i < 50; i++) mix();
    // Samples 50000 on come from source samples whose index times the rate
    // passes 2^31.
    bytes late = mix_channel(0);
    for (size_t i = 0; i < late.size(); i++) ASSERT_EQ(late[i], i % 4 < 2 ? 33 : 223) << i;
    for (int i = 51; i < 70; i++) mix();
    EXPECT_EQ(sound_position(converted), 70000 % 60000);
    sound_free(converted);

    // Converting down picks the nearest earlier sample.
    audio_sound* down = sound_create(device, 6, bytes{28, 0, 0, 228, 0, 0}.data(), 88200 * 3);
    ASSERT_NE(down, nullptr);
    sound_set_pan(down, full_left);
    sound_set_loop(down, true);
    sound_play(down);
    first = mix_channel(0);
    EXPECT_EQ(bytes(first.begin(), first.begin() + 4), (bytes{128, 223, 33, 223}));
    sound_free(down);

    // A step of 25 samples through an 11-sample loop lands on 0, 3, 6, 9, 1, ...
    bytes eleven(11, 128);
    eleven[0] = eleven[6] = 28;
    eleven[3] = eleven[9] = 228;
    audio_sound* fast = make(eleven, full_left, true);
    sound_set_rate(fast, 88200 * 25);
    sound_play(fast);
    first = mix_channel(0);
    EXPECT_EQ(bytes(first.begin(), first.begin() + 5), (bytes{128, 223, 33, 223, 128}));
    EXPECT_EQ(sound_position(fast), 1000 * 25 % 11);
}

TEST_F(mixer_fixture, RefusedSoundsAndDevices) {
    open(88200, 100);
    const uint8_t one = 200;
    EXPECT_EQ(sound_create(device, 0, &one, 0), nullptr);
    EXPECT_EQ(sound_create(device, -5, &one, 0), nullptr);
    EXPECT_EQ(sound_create(device, 1, nullptr, 0), nullptr);
    EXPECT_EQ(sound_create(device, 1, &one, -1), nullptr);
    // One sample at a much higher rate converts to nothing.
    EXPECT_EQ(sound_create(device, 1, &one, 1000000), nullptr);
    EXPECT_NE(sound_create(device, 1, &one, 0), nullptr);
    // So is a second device, or a readback device without a rate or block.
    EXPECT_EQ(audio_open_readback(nullptr, 1000, 4), nullptr);
    audio_close(device);
    EXPECT_EQ(audio_open_readback(nullptr, 0, 4), nullptr);
    EXPECT_EQ(audio_open_readback(nullptr, 1000, 0), nullptr);
}

TEST_F(mixer_fixture, WriteWrapsAndKeepsTheLastLengthBytes) {
    open(1000, 8);
    audio_sound* s = make(bytes(8, 128), full_left, true);
    // Four bytes at offset 6 land at 6, 7, 0, 1.
    sound_write(s, 4, bytes{60, 196, 28, 228}.data(), 6);
    sound_play(s);
    EXPECT_EQ(mix_channel(0), (bytes{128, 223, 128, 128, 128, 128, 64, 192}));

    // Twelve bytes at offset 0: the last eight are kept, starting at 4.
    bytes twelve{1, 2, 3, 4, 228, 228, 228, 228, 28, 28, 28, 28};
    sound_write(s, 12, twelve.data(), 0);
    // A negative offset counts back from the end.
    sound_write(s, 1, bytes{0}.data(), -1);
    EXPECT_EQ(mix_channel(0), (bytes{33, 33, 33, 33, 223, 223, 223, 5}));
}

TEST_F(mixer_fixture, FreeDuplicateAndClose) {
    setenv("KV_CHECK_ALLOC", "1", 1);
    checked_alloc_reset();
    int before = live_allocation_count();
    open(1000, 4);
    audio_sound* original = make({28, 228}, full_left, true);
    audio_sound* copy = sound_duplicate(original);
    ASSERT_NE(copy, nullptr);
    sound_set_pan(copy, full_left);
    sound_play(original);
    sound_play(copy);
    mix();
    // Freed while playing: out of the mix at once; the copy keeps the samples.
    sound_free(original);
    EXPECT_EQ(mix_channel(0), (bytes{33, 223, 33, 223}));
    // The copy shares the samples (and had the loop flag copied).
    audio_sound* other = sound_duplicate(copy);
    sound_write(other, 2, bytes{228, 28}.data(), 0);
    EXPECT_EQ(mix_channel(0), (bytes{223, 33, 223, 33}));
    sound_play(sound_duplicate(copy));  // left for the close to free
    audio_close(device);
    EXPECT_EQ(current_audio_device(), nullptr);
    EXPECT_EQ(live_allocation_count(), before);
    // Without a device every operation is harmless.
    sound_play(copy);
    EXPECT_EQ(sound_position(copy), 0);
    EXPECT_TRUE(audio_mix_block(device).empty());
    unsetenv("KV_CHECK_ALLOC");
    checked_alloc_reset();
}

}  // namespace
