// Billboards: texture specs and tints, seating on the ground, the file, and
// saving it back.
#include "objects_fixture.h"
#include "track/objects_billboards.h"
#include "track/objects_flaggers.h"
#include "track/track.h"

namespace {

using billboards = objects_test;

TEST(texture_spec, TintPrefixAndPlainNames) {
    texture_spec t = parse_texture_spec("#ff8000#tree.png");
    EXPECT_EQ(t.name, "tree.png");
    EXPECT_EQ(t.tint, (std::array<uint8_t, 4>{255, 128, 0, 255}));
    t = parse_texture_spec("#FfA0b1#x");
    EXPECT_EQ(t.tint, (std::array<uint8_t, 4>{255, 160, 177, 255}));
    // Not hexadecimal: the whole text is the name, untinted.
    t = parse_texture_spec("#ff80zz#tree.png");
    EXPECT_EQ(t.name, "#ff80zz#tree.png");
    EXPECT_EQ(t.tint, (std::array<uint8_t, 4>{255, 255, 255, 255}));
    // The prefix alone names nothing; seven characters are too short for one.
    EXPECT_EQ(parse_texture_spec("#ff8000#").name, "");
    EXPECT_EQ(parse_texture_spec("#ff8000").name, "#ff8000");
    EXPECT_EQ(parse_texture_spec("a#ff800#b").name, "a#ff800#b");
}

TEST_F(billboards, FileSeatsOnTheGroundAndStopsAtABadRecord) {
    put_png("tree.png");
    put_track("billboards",
              "[ 10 0.5 20 ] 8 0.5 #ff8000#@tree.png\n"
              "[30 0 40] 4 2 @tree.png [ 50 0 60 ] 3 1 #ff8000#\n"
              "[ 1 2 ] 3 4 @tree.png\n"  // a record missing a number ends the file
              "[ 70 0 80 ] 3 1 @tree.png\n");
    create_particle_pool();
    load_billboards(track_file("billboards").c_str());
    const std::vector<billboard>& list = track_billboards();
    ASSERT_EQ(first_track_billboard(), roost_particle_count);
    ASSERT_EQ(list.size(), (size_t)roost_particle_count + 3);
    const billboard& a = list[roost_particle_count];
    EXPECT_NEAR(a.y, 10.5f, 1e-3f);
    EXPECT_EQ(a.tint, (std::array<uint8_t, 4>{255, 128, 0, 255}));
    EXPECT_NE(a.texture, 0u);
    EXPECT_EQ(list[roost_particle_count + 1].texture, a.texture);  // one texture, shared
    // An empty name: no texture, so not drawn.
    EXPECT_EQ(list[roost_particle_count + 2].texture, 0u);
    // The particles wait hidden.
    EXPECT_EQ(list[0].texture, 0u);
}

TEST_F(billboards, ValuesThatAreNotNumbersMakeNoBillboard) {
    EXPECT_EQ(add_billboard(NAN, 0, 1, 1, 1, nullptr), -1);
    EXPECT_EQ(add_billboard(1, INFINITY, 1, 1, 1, nullptr), -1);
    EXPECT_EQ(add_billboard(1, 0, 1, 1, NAN, nullptr), -1);
    EXPECT_EQ(add_billboard(1, 0, 1, 1, 1, nullptr), 0);
}

TEST_F(billboards, SaveAndLoadAgainGiveTheSameBillboards) {
    put_png("tree.png");
    put_png("bush.png");
    current_track_dir = track.dir;
    create_particle_pool();
    load_flaggers(nullptr);
    add_billboard(12.25f, -0.3f, 100.1f, 7.5f, 0.4f, "#10ab0f#@tree.png");
    add_billboard(0.1f, 0, 3.3f, 2, 1.5f, "@bush.png");
    add_billboard(5, 0, 5, 2, 1, "#ff8000#");  // no name: not saved
    int missing = add_billboard(6, 0, 6, 2, 1, "@gone.png");
    // Alpha is not saved: a tint of white with alpha 100 writes no colour.
    track_billboards()[(size_t)missing].tint = {255, 255, 255, 100};
    ASSERT_TRUE(save_billboards());
    std::string text = read_file(track.box.root0() + track.dir + "/billboards");
    EXPECT_NE(text.find("#10ab0f#@tree.png\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" @gone.png\n"), std::string::npos) << text;  // kept though it did not load
    EXPECT_EQ(text.find("#ff8000"), std::string::npos) << text;
    EXPECT_EQ(text.find("#ffffff"), std::string::npos) << text;

    std::vector<billboard> before(track_billboards().begin() + first_track_billboard(), track_billboards().end());
    free_track_objects();
    create_particle_pool();
    load_billboards(track_file("billboards").c_str());
    std::vector<billboard> after(track_billboards().begin() + first_track_billboard(), track_billboards().end());
    ASSERT_EQ(after.size(), 3u);
    const int kept[] = {0, 1, 3};
    for (int k = 0; k < 3; k++) {
        const billboard& b = before[(size_t)kept[k]];
        const billboard& c = after[(size_t)k];
        EXPECT_EQ(b.x, c.x);
        EXPECT_EQ(b.y_offset, c.y_offset);
        EXPECT_EQ(b.z, c.z);
        EXPECT_EQ(b.size, c.size);
        EXPECT_EQ(b.aspect, c.aspect);
        EXPECT_EQ(b.texture_name, c.texture_name);
        EXPECT_EQ(c.tint[3], 255);
    }
    EXPECT_EQ(after[0].tint, (std::array<uint8_t, 4>{0x10, 0xab, 0x0f, 255}));
}

TEST_F(billboards, SavingWithoutATrackDirectoryFails) {
    clear_message_history();
    EXPECT_FALSE(save_billboards());
    EXPECT_TRUE(shown("Can't open 'billboards'"));
}

}  // namespace
