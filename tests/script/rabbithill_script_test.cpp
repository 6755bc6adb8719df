// Rabbit Hill's own script in a race on the built track: it loads without
// an error, starts the crowd, moves the tractor and the flag marshal, and
// draws the running order on the scoreboard.
#include "race/rabbit_hill_fixture.h"

#include <string>

#include "core/diag.h"
#include "platform/audio.h"
#include "script/script.h"
#include "sound/script_sound.h"
#include "track/objects_billboards.h"
#include "track/objects_statues.h"

namespace {

struct rabbit_hill_script : rabbit_hill {
    audio_device* audio = nullptr;
    void SetUp() override {
        rabbit_hill::SetUp();
        track_parts.run_script = [](const char* name) { script_load(name); };
        race_parts.script_tic = script_tic;
        race_parts.release_script_sounds = [] {
            script_release();
            script_sounds_release();
        };
        audio = audio_open_readback(nullptr, 22050, 512);
    }
    void TearDown() override {
        script_release();
        script_sounds_release();
        if (audio) audio_close(audio);
        race_parts = {};
        rabbit_hill::TearDown();
    }
};

TEST_F(rabbit_hill_script, runs_its_frills_through_a_race) {
    clear_message_history();
    ASSERT_TRUE(reset_race(lineup({slot_kind_robot, slot_kind_robot, slot_kind_robot})));
    ASSERT_TRUE(script_active()) << message_line(0);
    for (int age = 0; age < 20; age++)
        EXPECT_EQ(std::string(message_line(age)).find("javascript error"), std::string::npos) << message_line(age);
    EXPECT_EQ(script_sound_count(), 1);

    const int first = first_track_statue();
    const statue& tractor = track_statues()[(size_t)first + 1];
    const statue& flagman = track_statues()[(size_t)first];
    EXPECT_EQ(tractor.model_name, "@rabbithill/tractor.jm");
    EXPECT_EQ(flagman.model_name, "@rabbithill/flagman.jm");
    const billboard& board = track_billboards()[(size_t)first_track_billboard()];
    const texture_record* tex = texture_of(board.texture);
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(tex->name, "@rabbithill/scoreboard.seq");

    float tractor_x = tractor.x, tractor_z = tractor.z;
    auto flag_pose = flagman.orientation;
    while (race.tic < race.gate_drop_tic + 6 * tics_per_second) {
        simulate_tic();
        if (race.tic % 4 == 0) script_frame();
    }
    EXPECT_TRUE(script_active());
    EXPECT_GT(std::hypot(tractor.x - tractor_x, tractor.z - tractor_z), 10) << "the tractor stood still";
    EXPECT_NE(flagman.orientation, flag_pose);
    const recorded_texture* drawn = recorded_texture_of(board.texture);
    ASSERT_NE(drawn, nullptr);
    EXPECT_GE(drawn->updates, 1);

    // The next reset drops the heap and the sounds before loading afresh.
    ASSERT_TRUE(reset_race(lineup({slot_kind_robot})));
    EXPECT_TRUE(script_active());
    EXPECT_EQ(script_sound_count(), 1);
}

}  // namespace
