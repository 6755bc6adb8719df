// The engine voices on a recording device: the writer's lead and batches,
// the firing cycles, the grains' weights, and placement in the world.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "core/config.h"
#include "core/diag.h"
#include "race/race.h"
#include "render/frame_draw.h"
#include "sound/engine_sound.h"
#include "sound/placement.h"
#include "sound/sound.h"
#include "testkit/testkit.h"
#include "fake_device.h"

namespace {

struct voices : ::testing::Test {
    vfs_sandbox box;  // no data: the built-in sounds
    fake_device device;
    void SetUp() override {
        free_sound_sets();
        config_defaults();
        race.viewed_slot = 0;
        frame_slots = {};
        ASSERT_TRUE(bike_world_init());
    }
    void TearDown() override {
        free_sound_sets();
        destroy_all_bikes();
        bike_world_free();
        frame_slots = {};
        set_listener(frame_camera{}, {});
    }
    bike_state* bike(int slot, const char* model = "cr125") {
        bike_state* b = create_bike(model, slot, false, bike_setup{});
        engine_sound_load(slot, b, nullptr);
        return b;
    }
    static std::array<double, 3> frame_of(const bike_state& b) {
        double p[3];
        get_body_position(b, body_frame, p);
        return {p[0], p[1], p[2]};
    }
};

TEST_F(voices, WriterStaysAheadOfThePlayPosition) {
    bike(3);
    const engine_voice& v = engine_voice_of(3);
    fake_sound& s = device.last();
    EXPECT_EQ(s.bytes, std::vector<uint8_t>(32768, 128));
    EXPECT_EQ(s.source_rate, 0);
    EXPECT_TRUE(s.looping && s.playing);
    EXPECT_EQ(s.volume, 0);
    EXPECT_EQ(v.write_pos, 11025);

    // Each row: the play position before an update, then the batch written.
    struct step {
        int position, count, offset;
    };
    const step steps[] = {
        {0, 8820, 11025},           // far off: at most 8820 a frame
        {16435, 1000, 19845},       // caught up to 4410 ahead
        {16435, 0, 0},              // exactly 4410 ahead: nothing to make
        {19435, 3000, 20845},       // the player moved on
        {30000, 8820, 23845},       // it ran past the writer
        {31000, 2745, 32665},       // wrapping round the end of the ring
    };
    for (const step& st : steps) {
        SCOPED_TRACE(st.position);
        s.position = st.position;
        size_t before = s.writes.size();
        sound_update(1);
        if (st.count == 0) {
            EXPECT_EQ(s.writes.size(), before);
            continue;
        }
        ASSERT_EQ(s.writes.size(), before + 1);
        EXPECT_EQ(s.writes.back().count, st.count);
        EXPECT_EQ(s.writes.back().offset, st.offset);
        EXPECT_EQ(v.write_pos, (st.offset + st.count) % 32768);
        std::vector<uint8_t> bytes((size_t)st.count);
        voice_bytes(v, st.count, bytes.data());
        for (int k = 0; k < st.count; k += 97)
            ASSERT_EQ(s.bytes[(size_t)((st.offset + k) % 32768)], bytes[(size_t)k]) << k;
    }
    EXPECT_EQ((s.position + 4410) % 32768, v.write_pos);

    // A voice whose slot holds no bike is left alone; a freed one lets go.
    engine_sound_load(5, nullptr, nullptr);
    fake_sound& lone = device.last();
    sound_update(1);
    EXPECT_TRUE(lone.writes.empty());
    engine_sound_free(3);
    EXPECT_TRUE(s.freed);
    device.open = false;
    engine_sound_load(6, nullptr, nullptr);
    EXPECT_EQ(engine_voice_of(6).handle, nullptr);
}

TEST(engine_synthesis, FiringFollowsEngineSpeed) {
    struct row {
        const char* engine_class;
        float rpm, minrpm;
        double cycles_per_second;
    };
    const row rows[] = {
        {"125", 6000, 1000, 100},      // two-strokes fire every turn
        {"450f", 6000, 1000, 50},      // four-strokes every other
        {"450f", 11000, 1000, 91.67},
        {"125", 500, 1000, 16.67},     // below minrpm: sounds at minrpm
        {"450f", 100, 100, 5},         // never below 5 Hz
    };
    for (const row& r : rows) {
        SCOPED_TRACE(std::string(r.engine_class) + " " + std::to_string(r.rpm));
        auto v = std::make_unique<engine_voice>();
        v->params = builtin_engine_sound(r.engine_class);
        v->params.minrpm = r.minrpm;
        synthesize(*v, 8820, r.rpm, 0);  // settles from the starting 1000 rpm
        uint32_t before = v->cycle;
        for (int k = 0; k < 10; k++) synthesize(*v, 4410, r.rpm, 0);
        EXPECT_NEAR(v->cycle - before, r.cycles_per_second, 1.01);
        EXPECT_NEAR(v->freq, r.cycles_per_second, 0.01);
    }
}

TEST(engine_synthesis, OneRowTablesWeighTheUpperRowAndBlendLoad) {
    auto v = std::make_unique<engine_voice>();
    v->params = builtin_engine_sound("125");  // loads 0 and 1 over torques -3.5..3.5
    synthesize(*v, 8820, 8000, -1.4f);        // load 0.3, settling at 8000 rpm
    synthesize(*v, 8820, 8000, -1.4f);
    EXPECT_EQ(v->grains[0].gain, 0);
    EXPECT_EQ(v->grains[2].gain, 0);
    EXPECT_FLOAT_EQ(v->grains[1].gain, 0.7f);
    EXPECT_FLOAT_EQ(v->grains[3].gain, 0.3f);
    const sound_table* t = builtin_sound_table("default_two_stroke");
    EXPECT_EQ(v->grains[1].samples, t->cell(0, 0).samples);
    EXPECT_EQ(v->grains[3].samples, t->cell(0, 1).samples);
    // The built-in cycle is 1024 samples stretched over one firing.
    EXPECT_EQ(v->grains[3].step, (uint32_t)(8000.0f / 60 / 44100 * 1024 * 1024));
    float peak = 0;
    for (float s : v->ring) peak = std::max(peak, std::fabs(s));
    EXPECT_GT(peak, 0.3f);
    EXPECT_LE(peak, 16);
}

TEST(placement, DistanceDopplerAndSide) {
    sound_listener l;  // at the origin, right axis +x
    struct row {
        std::array<double, 3> source, source_velocity, listener_velocity;
        double doppler, attenuation, pan;
    };
    const double c = speed_of_sound;
    const row rows[] = {
        {{0, 0, -0.5}, {}, {}, 1, 1, 0},
        {{49, 0, 0}, {}, {}, 1, 2, 1},           // half as loud at 49 ft, on the right
        {{-97, 0, 0}, {}, {}, 1, 3, -1},
        {{0, 0, -100}, {0, 0, 0.1 * c}, {}, 1 / 0.9, 1 + 99.0 / 48, 0},  // coming closer
        {{0, 0, -100}, {}, {0, 0, -0.1 * c}, 1.1, 1 + 99.0 / 48, 0},     // going toward it
        {{0, 0, -100}, {0, 0, -0.1 * c}, {}, 1 / 1.1, 1 + 99.0 / 48, 0}, // going away
        {{0, 0, -100}, {0, 0, c}, {}, 0.125, 1 + 99.0 / 48, 0},          // at the speed of sound
        {{0, 0, -100}, {0, 0, 0.95 * c}, {}, 0.125, 1 + 99.0 / 48, 0},   // the fold beyond 8
        {{0.01, 0, 0.02}, {0, 0, 500}, {}, 1, 1, 0},                      // closer than 1/32 ft
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.source[0] + r.source[2]);
        l.velocity = r.listener_velocity;
        sound_placement p = place_sound(l, r.source, r.source_velocity);
        EXPECT_NEAR(p.doppler, r.doppler, 1e-9);
        EXPECT_NEAR(p.attenuation, r.attenuation, 1e-9);
        EXPECT_NEAR(p.pan, r.pan, 1e-9);
    }
    sound_placement p;
    p.doppler = 1.1;
    EXPECT_EQ(placed_rate(p, 48000), 52800);
    p.doppler = 0;
    EXPECT_EQ(placed_rate(p, 48000), 100);
    p.pan = -1;
    EXPECT_EQ(placed_pan(p), -32767);
}

TEST_F(voices, VolumeSettingsAndTheViewedRider) {
    bike_state* own = bike(0);
    bike(1);
    frame_camera camera;
    std::array<double, 3> at = frame_of(*own);
    camera.position = {at[0], at[1], at[2] + 49};
    set_listener(camera, {});
    struct row {
        double volume, comp_volume, master;
        bool hide_other;
        int own_volume, other_volume;
    };
    const row rows[] = {
        {10, 8, 1, false, 16383, 13106},  // 49 ft: half; the others at "Competitor Volume"
        {5, 8, 1, false, 8191, 6553},
        {10, 0, 1, false, 16383, 0},
        {10, 10, 0.25, false, 4095, 4095},
        {10, 8, 0, false, 0, 0},          // a menu over the ride
        {10, 8, 1, true, 16383, 0},       // the other rider is hidden
    };
    for (const row& r : rows) {
        settings.volume = r.volume;
        settings.comp_volume = r.comp_volume;
        frame_slots.hidden = nullptr;
        if (r.hide_other) frame_slots.hidden = [](int slot) { return slot == 1; };
        sound_update(r.master);
        EXPECT_EQ(device.sounds[0]->volume, r.own_volume) << r.volume << " " << r.master;
        EXPECT_EQ(device.sounds[1]->volume, r.other_volume) << r.comp_volume << " " << r.hide_other;
        EXPECT_EQ(device.sounds[0]->rate, 44100);
        EXPECT_EQ(device.sounds[0]->pan, 0);
    }
    frame_slots.hidden = nullptr;
    race.viewed_slot = 1;
    sound_update(1);
    EXPECT_EQ(device.sounds[0]->volume, 13106) << "the camera follows the other rider now";
    EXPECT_EQ(device.sounds[1]->volume, 16383);
}

TEST_F(voices, PipeCommandRetunesTheViewedRider) {
    bike(1);
    race.viewed_slot = 1;
    pipe_command("4 9 -0.5 3 3");
    EXPECT_STREQ(message_line(0), "Pipe updated");
    EXPECT_EQ(tap_delay(engine_voice_of(1).params.taps[3]), 309);
    EXPECT_EQ(engine_voice_of(1).params.taps[3].gain, -0.5f);
    race.viewed_slot = 2;
    clear_message_history();
    pipe_command("3");
    EXPECT_STREQ(message_line(0), "") << "no bike in the viewed slot: nothing happens";
}

}  // namespace
