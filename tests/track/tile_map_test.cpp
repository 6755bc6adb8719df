// The tile map, world-to-tile lookup, the tile part of a track load, and
// decals with their grid.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "track/decals.h"
#include "track/tile_info.h"
#include "track_fixture.h"

namespace {

struct map_sandbox : track_sandbox {
    map_sandbox() {
        free_tile_data();
        free_decals();
        write_field(6, 0.5f, 0, 1, nullptr);
        EXPECT_TRUE(load());
    }
    ~map_sandbox() {
        free_tile_data();
        free_decals();
    }
    void ten_tiles() {
        std::string text;
        for (int k = 0; k < 10; k++) text += "texture t" + std::to_string(k) + ".png\naddtile\n";
        put("tileinfo", text);
    }
};

TEST(tile_map, BytesClampToTheTableAndShortFilesFillWithZero) {
    map_sandbox t;
    t.ten_tiles();
    std::vector<uint8_t> map(64 * 64);
    for (size_t k = 0; k < map.size(); k++) map[k] = (uint8_t)(k % 7);
    map[3] = 200;
    t.put("tilemap", encode_tilemap(map, 6));
    ASSERT_TRUE(load_tile_data(t.dir.c_str()));
    EXPECT_EQ(tile_count(), 10);
    EXPECT_EQ(tilemap()[3], 9);
    EXPECT_EQ(tilemap()[4], 4);
    std::vector<uint8_t> part(map.begin(), map.begin() + 100);
    t.put("tilemap", part);
    ASSERT_TRUE(load_tile_data(t.dir.c_str()));
    EXPECT_EQ(tilemap().size(), 64u * 64);
    EXPECT_EQ(tilemap()[99], map[99]);
    EXPECT_EQ(tilemap()[100], 0);
    EXPECT_EQ(encode_tilemap(part, 6).size(), 4096u);
}

TEST(tile_map, TileAtEdgesOutsideAndNonFinite) {
    map_sandbox t;  // cell 0.5: a tile is 1 x 1 world units, 64 x 64 tiles
    t.ten_tiles();
    std::vector<uint8_t> map(64 * 64);
    for (int tz = 0; tz < 64; tz++)
        for (int tx = 0; tx < 64; tx++) map[tx + 64 * tz] = (uint8_t)((tx + 3 * tz) % 10);
    t.put("tilemap", map);
    ASSERT_TRUE(load_tile_data(t.dir.c_str()));
    auto expect = [&](int tx, int tz) { return map[tx + 64 * tz]; };
    EXPECT_EQ(tile_at(-3, 7), tile_at(0, 7));
    EXPECT_EQ(tile_at(0.99f, 7.0f), expect(0, 7));
    EXPECT_EQ(tile_at(1.0f, 7.0f), expect(1, 7));
    EXPECT_EQ(tile_at(63.999f, 2.5f), expect(63, 2));
    EXPECT_EQ(tile_at(64.0f, 2.5f), expect(63, 2));
    EXPECT_EQ(tile_at(1e30f, -1e30f), expect(63, 0));
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(tile_at(nan, 5.5f), expect(0, 5));
    EXPECT_EQ(tile_at(20.5f, inf), expect(20, 63));
    set_tile(5, 6, 9);
    EXPECT_EQ(tile_at(5.5f, 6.5f), 9);
    set_tile(5, 6, 10);   // no such tile type
    set_tile(64, 0, 1);   // outside
    EXPECT_EQ(tile_at(5.5f, 6.5f), 9);
    free_tile_data();
    EXPECT_EQ(tile_at(5.5f, 6.5f), 0);
}

TEST(tile_data, TexturelistFallbackAndRequiredFiles) {
    map_sandbox t;
    t.put("tilemap", std::vector<uint8_t>(64 * 64, 1));
    clear_message_history();
    EXPECT_FALSE(load_tile_data(t.dir.c_str()));
    EXPECT_EQ(std::string(message_line(0)), "Can't open '@tracks/t/texturelist'");
    EXPECT_EQ(tile_count(), 0);
    t.put("texturelist", "a.png\nb.png\n");
    ASSERT_TRUE(load_tile_data(t.dir.c_str()));
    EXPECT_EQ(tile_count(), 2);
    EXPECT_EQ(tile_at(3, 3), 1);
    t.put("tileinfo", "texture only.png\naddtile\n");
    ASSERT_TRUE(load_tile_data(t.dir.c_str()));
    EXPECT_EQ(tile_count(), 1);
    EXPECT_EQ(tile_at(3, 3), 0);  // the byte 1 reads as the last (only) tile
    remove(t.path("tilemap").c_str());
    EXPECT_FALSE(load_tile_data(t.dir.c_str()));
    EXPECT_EQ(std::string(message_line(0)), "Can't open '@tracks/t/tilemap'");
    EXPECT_EQ(tile_count(), 0);
    EXPECT_TRUE(tilemap().empty());
}

TEST(decals, ReadDropFileAndWriteBack) {
    map_sandbox t;  // extent 64: grid cells of 8 x 8 units
    static texture_loader saved;
    saved = track_texture_loader;
    track_texture_loader = [](const char* name) { return std::string(name).find("bad") == std::string::npos ? 7u : 0u; };
    t.put("decals",
          "[ 4 4 ] 0 2 1 @mud.png\n"
          "[12.5 3] 0.7853982 4 2 @bad.png\n"
          "[ 15 15 ]\t1.5707964 6 2 @puddle.png [-50 30] 0 1 1 @edge.png\n"
          "[ 1e30 nan ] 0 1 1 @nowhere.png\n"
          "[ 32 32 ] 0 100 1 @huge.png\n"
          "[ 1 2 3 ] broken\n[ 5 5 ] 0 1 1 @after.png\n");
    ASSERT_TRUE(load_decals(track_file_name(t.dir.c_str(), "decals").c_str()));
    const std::vector<decal>& d = track_decals();
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0].texture.name, "@mud.png");
    EXPECT_EQ(d[1].texture.name, "@puddle.png");
    EXPECT_NEAR(d[1].sin_angle, 1.0f, 1e-6);
    EXPECT_NEAR(d[1].cos_angle, 0.0f, 1e-6);
    EXPECT_EQ(d[2].texture.name, "@edge.png");
    EXPECT_EQ(d[3].texture.name, "@huge.png");
    EXPECT_TRUE(d[0].normal_map.name.empty());
    auto cells_of = [&](int index) {
        std::vector<int> cells;
        for (int cz = 0; cz < decal_grid_side; cz++)
            for (int cx = 0; cx < decal_grid_side; cx++)
                for (int k : decals_in_cell(cx, cz))
                    if (k == index) cells.push_back(cx + 8 * cz);
        return cells;
    };
    EXPECT_EQ(cells_of(0), (std::vector<int>{0}));
    // Turned a quarter: 12 wide along x (9 .. 21), 6 along z (12 .. 18).
    EXPECT_EQ(cells_of(1), (std::vector<int>{9, 10, 17, 18}));
    EXPECT_EQ(cells_of(2), (std::vector<int>{24}));  // outside the field: clamped to the edge cell
    EXPECT_EQ(cells_of(3).size(), 64u);              // covers the whole field
    EXPECT_EQ(&decals_in_cell(-1, 99), &decals_in_cell(0, 7));
    // The writer's text reads back as the same decals.
    std::vector<decal> before = d;
    t.put("decals", encode_decals(before));
    ASSERT_TRUE(load_decals(track_file_name(t.dir.c_str(), "decals").c_str(), true));
    ASSERT_EQ(track_decals().size(), before.size());
    for (size_t k = 0; k < before.size(); k++) {
        const decal &a = before[k], &b = track_decals()[k];
        EXPECT_EQ(std::vector<float>({a.x, a.z, a.angle, a.size, a.ratio}),
                  std::vector<float>({b.x, b.z, b.angle, b.size, b.ratio}));
        EXPECT_EQ(a.texture.name, b.texture.name);
    }
    EXPECT_EQ(track_decals()[0].normal_map.name, "@mud_tnorm.png");
    EXPECT_EQ(track_decals()[0].specular_map.name, "@mud_tspec.png");
    EXPECT_EQ(encode_decals({before[0]}), "[4.000000 4.000000] 0.000000 2.000000 1.000000 @mud.png\n");
    EXPECT_FALSE(load_decals("@tracks/t/none"));
    EXPECT_TRUE(track_decals().empty());
    track_texture_loader = saved;
}

TEST(decals, CompanionTexturesFallBackToPpm) {
    map_sandbox t;
    t.put("d.png", "x");
    t.put("d_tnorm.ppm", "x");
    t.put("d_tspec.png", "x");
    t.put("decals", "[ 1 1 ] 0 1 1 @tracks/t/d.png\n");
    ASSERT_TRUE(load_decals(track_file_name(t.dir.c_str(), "decals").c_str(), true));
    ASSERT_EQ(track_decals().size(), 1u);
    EXPECT_EQ(track_decals()[0].normal_map.name, "@tracks/t/d_tnorm.ppm");
    EXPECT_NE(track_decals()[0].normal_map.id, 0u);
    EXPECT_EQ(track_decals()[0].specular_map.name, "@tracks/t/d_tspec.png");
}

TEST(decals, NameThatIsEmptyAsTextIsDropped) {
    map_sandbox t;
    auto saved = track_texture_loader;
    track_texture_loader = [](const char*) { return 1u; };
    t.put("decals", std::string("[ 1 1 ] 0 1 1 \0\0n.png\n[ 2 2 ] 0 1 1 @a.png\n", 43));
    ASSERT_TRUE(load_decals(track_file_name(t.dir.c_str(), "decals").c_str()));
    ASSERT_EQ(track_decals().size(), 1u);
    EXPECT_EQ(track_decals()[0].texture.name, "@a.png");
    track_texture_loader = saved;
}

}  // namespace
