// Engine sound parameters: the pipe taps, the ".braap" grammar and lookup
// chain, and sound table files with their refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/diag.h"
#include "sound/engine_sound.h"
#include "sound/sound.h"
#include "sound/sound_files.h"
#include "testkit/testkit.h"
#include "vfs/vfs.h"

namespace {

struct sound_files : ::testing::Test {
    vfs_sandbox box;
    void SetUp() override {
        free_sound_sets();
        clear_message_history();
    }
    void TearDown() override { free_sound_sets(); }
    void put(const std::string& name, const std::string& text) { write_file(box.root1() + name, text); }
    void put(const std::string& name, const std::vector<uint8_t>& bytes) { write_file(box.root1() + name, bytes); }
    // The parameters a bike-less voice ends up with for this skin.
    const engine_sound& load(const char* skin) {
        engine_sound_load(7, nullptr, skin);
        return engine_voice_of(7).params;
    }
    std::string newest_messages(int n) {
        std::string out;
        for (int age = n - 1; age >= 0; age--) out += std::string(message_line(age)) + "|";
        return out;
    }
};

std::vector<int> delays(const engine_sound& s) {
    std::vector<int> d;
    for (const pipe_tap& t : s.taps) d.push_back(tap_delay(t));
    return d;
}

TEST(pipe_taps, BuiltInSetsAndSingleTaps) {
    const engine_sound& four = builtin_engine_sound("450f");
    EXPECT_EQ(delays(four), (std::vector<int>{386, 382, 377, 373, 368, 363, 359, 354, 349, 345, 340, 335, 330, 325,
                                              320, 315}));
    for (const pipe_tap& t : four.taps) EXPECT_FLOAT_EQ(t.gain, -0.053125f);
    EXPECT_EQ(builtin_engine_sound("250f").cycles_per_rev, 0.5f);
    EXPECT_EQ(builtin_engine_sound(nullptr).cycles_per_rev, 0.5f);
    EXPECT_EQ(builtin_engine_sound("125").cycles_per_rev, 1.0f);
    EXPECT_EQ(builtin_engine_sound("50").hightorque, 1.5f);
    EXPECT_EQ(builtin_engine_sound("250").hightorque, 3.5f);

    // A single tap has the whole length; the others keep theirs.
    engine_sound s = four;
    set_pipe_taps(s, 4, 9, -0.5f, 3, 3);
    EXPECT_EQ(tap_delay(s.taps[3]), 309);
    EXPECT_FLOAT_EQ(s.taps[3].gain, -0.5f);
    EXPECT_EQ(tap_delay(s.taps[2]), 377);
    EXPECT_EQ(tap_delay(s.taps[4]), 368);

    // Lengths that would give no delay, a negative one or one past the ring
    // stay inside it; tap ranges are clamped.
    for (float length : {-3.0f, 0.0f, 0.001f, 500.0f, 1e30f}) {
        set_pipe_taps(s, length, 0, -0.5f, -4, 40);
        for (const pipe_tap& t : s.taps) {
            EXPECT_GE(tap_delay(t), 1) << length;
            EXPECT_LE(tap_delay(t), 32767) << length;
            EXPECT_FLOAT_EQ(t.gain, -0.5f / 16);
        }
    }
}

TEST_F(sound_files, BraapLinesAndDefaults) {
    std::string many = "bias";
    for (int i = 0; i < 150; i++) many += " " + std::to_string(i);
    struct row {
        std::string text;
        void (*check)(const engine_sound&);
    };
    const row rows[] = {
        {"minrpm 1500\n",
         [](const engine_sound& s) {
             EXPECT_EQ(s.minrpm, 1500);
             for (const pipe_tap& t : s.taps) EXPECT_EQ(t.gain, 0) << "no pipe line: no resonance";
             EXPECT_EQ(s.bias_count, 1);
             EXPECT_EQ(s.bias[0], 0);
             EXPECT_EQ(s.scale_count, 1);
             EXPECT_EQ(s.scale[0], 1);
         }},
        {"pipe 4\n",
         [](const engine_sound& s) {
             engine_sound want = builtin_engine_sound(nullptr);
             set_pipe_taps(want, 4, 0.9182072f, -0.85f, 0, 15);
             EXPECT_EQ(delays(s), delays(want));
             EXPECT_FLOAT_EQ(s.taps[15].gain, -0.85f / 16);
         }},
        {"pipe 4 9 -0.5 3 3\npipe 2 0.5 -0.25 10\n",
         [](const engine_sound& s) {
             EXPECT_EQ(tap_delay(s.taps[3]), 309);
             EXPECT_FLOAT_EQ(s.taps[3].gain, -0.5f);
             EXPECT_FLOAT_EQ(s.taps[12].gain, -0.25f / 6);
             EXPECT_EQ(s.taps[0].gain, 0);
         }},
        {many + "\n  scale 1 2   # comment 3\nbias\n",
         [](const engine_sound& s) {
             EXPECT_EQ(s.bias_count, 1) << "a bare bias line empties the list, which then means {0}";
             EXPECT_EQ(s.bias[0], 0);
             EXPECT_EQ(s.scale_count, 2);
             EXPECT_EQ(s.scale[1], 2);
         }},
        {many + "\n",
         [](const engine_sound& s) {
             EXPECT_EQ(s.bias_count, 100);
             EXPECT_EQ(s.bias[99], 99);
         }},
        {"  lowtorque -4\nhightorque 12\nbiasx 5\n # pipe 3\nminrpm nan\nwhatever 3\n",
         [](const engine_sound& s) {
             EXPECT_EQ(s.lowtorque, 1000) << "the key must begin the line";
             EXPECT_EQ(s.hightorque, 12);
             EXPECT_EQ(s.bias_count, 1);
             EXPECT_EQ(s.bias[0], 0);
             EXPECT_EQ(s.minrpm, 1000);
             EXPECT_EQ(s.taps[0].gain, 0);
         }},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.text);
        put("t.braap", "lowtorque 1000\n" + r.text);
        r.check(load("@t.png"));
    }
}

TEST_F(sound_files, SkinNamesAndClassDefaults) {
    put("x.braap", "minrpm 111\n");
    put("dir/a-b.braap", "minrpm 222\n");
    put("default125.braap", "minrpm 333\n");
    EXPECT_EQ(load("@x-y-z.png").minrpm, 111);
    EXPECT_EQ(load("@x.png").minrpm, 111);
    EXPECT_EQ(load("@dir/a-b-c.png").minrpm, 222);
    EXPECT_EQ(load("@dir/a.png").minrpm, 1000) << "nothing opens: no bike, no class default";
    EXPECT_EQ(load("@x").minrpm, 1000) << "no extension: straight to the class default";
    EXPECT_EQ(load("@x-y/z.png").minrpm, 1000) << "dashes of the folder are not cut";
    EXPECT_EQ(load(nullptr).table, builtin_sound_table("default_four_stroke"));
}

// A one-row, two-column table with its own samples; `cell01` is the text of
// the second cell.
std::string small_table(const std::string& cell01, const char* size = "1 2") {
    return std::string("SOUNDTABLE ") + size + "\n 2000 \n 0 1\n 5 -3 7 -1 4 @a.raw\n" + cell01 + "\n";
}

TEST_F(sound_files, TablesLoadOnceAndRefuseBadOnes) {
    put("a.raw", sample_file_bytes(std::vector<float>(400, 0.25f)));
    put("b.raw", std::vector<uint8_t>{0x00, 0x40, 0x00, 0xc0, 0x7f});  // 0.5, -0.5 and half a sample
    put("good", small_table("-1 2.9 @b.raw"));
    put("t.braap", "soundtable   @good  \n");
    const sound_table* t = load("@t.png").table;
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->name, "@good");
    EXPECT_EQ(t, load_sound_table("@good")) << "shared by name";
    EXPECT_EQ(t->cell(0, 0).remap, (std::vector<uint32_t>{1, 1, 3})) << "5, -3, 7 modulo 4 cycles";
    EXPECT_EQ(t->cell(0, 0).sample_count, 400);
    EXPECT_EQ(t->cell(0, 1).cycles, 2);
    ASSERT_EQ(t->cell(0, 1).sample_count, 2);
    EXPECT_EQ(t->cell(0, 1).samples[0], 0.5f);
    EXPECT_EQ(t->cell(0, 1).samples[1], -0.5f);
    EXPECT_EQ(t->cell(0, 1).load, 1);
    EXPECT_EQ(t->cell(0, 0).rpm, 2000);
    EXPECT_EQ(engine_voice_of(7).grains[3].samples, t->cell(0, 0).samples) << "grains start at cell (0, 0)";

    struct bad {
        std::string text;
        std::string messages;
    };
    const bad rows[] = {
        {small_table("-1 2 @b.raw", "0 2"), "|Error reading '@bad'|"},
        {small_table("-1 2 @b.raw", "1 0"), "|Error reading '@bad'|"},
        {small_table("-1 2 @b.raw", "300 1"), "|Error reading '@bad'|"},
        {small_table("-1 0 @b.raw"), "(0, 1) Error reading '@b.raw'|Error reading '@bad'|"},
        {small_table("-1 2 @missing.raw"), "(0, 1) Error reading '@missing.raw'|Error reading '@bad'|"},
        {small_table("3 x -1 2 @b.raw"), "(0, 1) Bad remap entry|Error reading '@bad'|"},
        {small_table("-1 2"), "(0, 1) Error reading ''|Error reading '@bad'|"},
        {"SOUNDTABLE 1 1 inf 0 -1 1 @a.raw", "|Error reading '@bad'|"},
    };
    for (const bad& b : rows) {
        SCOPED_TRACE(b.text);
        put("bad", b.text);
        put("t.braap", "soundtable @good\nsoundtable @bad\n");
        clear_message_history();
        EXPECT_EQ(load("@t.png").table, t) << "the previous table is kept";
        EXPECT_EQ(newest_messages(2), b.messages);
        free_sound_sets();
        t = load_sound_table("@good");
    }
}

TEST_F(sound_files, SampleFilesStopAtTheFixedPointLimit) {
    std::vector<uint8_t> bytes((size_t)(sample_file_limit + 3) * 2, 0);
    bytes[(size_t)sample_file_limit * 2 - 1] = 0x20;  // the last sample kept
    bytes[(size_t)sample_file_limit * 2 + 1] = 0x7f;
    put("long.raw", bytes);
    put("long", "SOUNDTABLE 1 1 0 0 -1 1 @long.raw");
    const sound_table* t = load_sound_table("@long");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->cell(0, 0).sample_count, sample_file_limit);
    EXPECT_EQ(t->cell(0, 0).samples[sample_file_limit - 1], 0.25f);
}

}  // namespace
