// Loading terrain.hf, terrain.png and the lighting images; the writers.
#include <gtest/gtest.h>
#include <nettle/sha1.h>

#include <cmath>

#include "core/scan.h"
#include "track_fixture.h"
#include "vfs/vfs.h"

namespace {

TEST(height_field_load, BodySamplesGeometryAndExactEnds) {
    track_sandbox t;
    std::vector<uint16_t> s = random_samples(6, 1);
    s[0] = 0x1234;
    s[1] = 0;
    s[2] = 65535;
    t.write_field(6, 0.75f, -3.5f, 12.25f, &s);
    ASSERT_TRUE(t.load());
    const height_field& f = terrain;
    EXPECT_EQ(f.size_log2, 6);
    EXPECT_EQ(f.samples_per_side, 129);
    EXPECT_EQ(f.cell_size, 0.75f);
    EXPECT_EQ(f.tile_size, 1.5f);
    EXPECT_EQ(f.extent, 128 * 0.75f);
    EXPECT_EQ(f.height_min, -3.5f);
    EXPECT_EQ(f.height_max, 12.25f);
    EXPECT_EQ(f.heights[1], -3.5f);
    EXPECT_EQ(f.heights[2], 12.25f);
    EXPECT_FLOAT_EQ(f.heights[0], -3.5f + 0x1234 * 15.75f / 65535.0f);
    for (size_t k = 0; k < s.size(); k++) ASSERT_EQ(f.base_heights[k], f.heights[k]);
    // The body bytes are little-endian: 0x34 then 0x12.
    std::string file = read_file(t.path("terrain.hf"));
    size_t colon = file.find(':');
    ASSERT_NE(colon, std::string::npos);
    EXPECT_EQ((uint8_t)file[colon + 1], 0x34);
    EXPECT_EQ((uint8_t)file[colon + 2], 0x12);
    // Every triangle normal starts stale, no sample shading does.
    EXPECT_TRUE(test_bit(f.triangle_dirty, 0));
    EXPECT_TRUE(test_bit(f.triangle_dirty, 2 * 128 * 128 - 1));
    EXPECT_FALSE(test_bit(f.shade_dirty, 77));
    EXPECT_TRUE(f.normal_texels.empty());
    EXPECT_EQ(f.modified_flags, 0);
}

TEST(height_field_load, LargerFieldAndHeaderLayouts) {
    track_sandbox t;
    std::vector<uint16_t> s(1025 * 1025, 100);
    t.write_field(9, 2.0f, 0.0f, 65535.0f, &s);
    ASSERT_TRUE(t.load());
    EXPECT_EQ(terrain.samples_per_side, 1025);
    EXPECT_EQ(terrain.extent, 1024 * 2.0f);
    EXPECT_EQ(terrain.heights[1025 * 1025 - 1], 100.0f);
    // A line break between the header and ':' reads like a single blank.
    std::vector<uint8_t> body = encode_terrain_hf(6, 1.0f, 0.0f, 1.0f, random_samples(6, 2).data());
    std::string text(body.begin(), body.end());
    size_t colon = text.find(':');
    std::string spaced = text.substr(0, colon - 1) + " \r\n\n  " + text.substr(colon);
    t.write_field(6, 1.0f, 0, 1, nullptr);
    t.put("terrain.hf", spaced);
    ASSERT_TRUE(t.load());
    std::vector<float> a(terrain.heights, terrain.heights + 129 * 129);
    t.put("terrain.hf", body);
    ASSERT_TRUE(t.load());
    EXPECT_TRUE(std::equal(a.begin(), a.end(), terrain.heights));
}

TEST(height_field_load, BadHeadersAndBodiesFailWithTheirMessages) {
    track_sandbox t;
    t.write_field(6, 1.0f, 0, 1, nullptr);
    const char* bad_headers[] = {"6 1.0 0\n", "5 1 0 1\n", "13 1 0 1\n", "4294967302 1 0 1\n", "6 0 0 1\n",
                                 "6 -2 0 1\n", "6 nan 0 1\n", "6 inf 0 1\n", "6 1 inf 1\n", "6 1 0 nan\n", ""};
    for (const char* header : bad_headers) {
        SCOPED_TRACE(header);
        clear_message_history();
        t.put("terrain.hf", header);
        EXPECT_FALSE(t.load());
        EXPECT_EQ(last_messages(2), (std::vector<std::string>{"Bad height field parameters", "Error reading heights"}));
        EXPECT_FALSE(height_field_loaded());
        EXPECT_TRUE(terrain.height_storage.empty());
    }
    std::vector<uint8_t> body = encode_terrain_hf(6, 1.0f, 0, 1, random_samples(6, 3).data());
    body.resize(body.size() - 1);
    t.put("terrain.hf", body);
    EXPECT_FALSE(t.load());
    EXPECT_EQ(std::string(message_line(0)), "Error reading heights");
    EXPECT_TRUE(terrain.height_storage.empty());
    // A header for the largest field followed by no samples fails before the
    // field's arrays exist: under a limit of 256 MiB more than the process
    // holds, the load ends with its message, not with exhaustion.
    t.put("terrain.hf", std::string("12 1 0 1 :"));
    EXPECT_TRUE(passes_under_memory_limit([&] {
        clear_message_history();
        return !t.load() && std::string(message_line(0)) == "Error reading heights" && terrain.height_storage.empty();
    }));
    track_sandbox none;
    none.dir = "tracks/missing";
    EXPECT_FALSE(none.load());
    EXPECT_EQ(std::string(message_line(0)), "Can't open '@tracks/missing/terrain.hf'");
}

TEST(height_field_load, ReversedHeightRangeKeepsMinBelowMax) {
    track_sandbox t;
    std::vector<uint16_t> s(129 * 129, 0);
    s[5] = 65535;
    t.write_field(6, 1.0f, 10.0f, 2.0f, &s);
    ASSERT_TRUE(t.load());
    EXPECT_EQ(terrain.height_min, 2.0f);
    EXPECT_EQ(terrain.height_max, 10.0f);
    EXPECT_EQ(terrain.heights[0], 10.0f);
    EXPECT_EQ(terrain.heights[5], 2.0f);
}

TEST(height_field_load, SamplesFromTerrainPng) {
    track_sandbox t;
    t.write_field(6, 1.0f, 0.0f, 65535.0f, nullptr);
    // Without terrain.png every height is h0.
    ASSERT_TRUE(t.load());
    for (int k = 0; k < 129 * 129; k++) ASSERT_EQ(terrain.heights[k], 0.0f);
    // A 64 x 64 picture repeats its last column and row.
    std::vector<uint16_t> px(64 * 64);
    for (int k = 0; k < 64 * 64; k++) px[k] = (uint16_t)(k * 13);
    std::vector<uint8_t> png;
    ASSERT_TRUE(encode_grey16_png(px.data(), 64, 64, png));
    t.put("terrain.png", png);
    ASSERT_TRUE(t.load());
    EXPECT_EQ(sample_height(5, 7), (float)px[5 + 64 * 7]);
    EXPECT_EQ(sample_height(63, 63), (float)px[63 + 64 * 63]);
    EXPECT_EQ(sample_height(128, 10), (float)px[63 + 64 * 10]);
    EXPECT_EQ(sample_height(100, 128), (float)px[63 + 64 * 63]);
    EXPECT_EQ(sample_height(3, 90), (float)px[3 + 64 * 63]);
    // An 8-bit picture widens each level v to v * 257.
    std::vector<uint8_t> grey8(64 * 64, 128), png8;
    ASSERT_TRUE(encode_png(grey8.data(), 64, 64, 1, nullptr, png8));
    t.put("terrain.png", png8);
    ASSERT_TRUE(t.load());
    EXPECT_EQ(sample_height(0, 0), (float)0x8080);
}

TEST(height_field_load, BodyAndPictureOfTheSameSamplesAgreeWithTheDigest) {
    track_sandbox t;
    std::vector<uint16_t> s = random_samples(6, 4);
    t.write_field(6, 0.5f, 1.0f, 9.0f, &s);
    ASSERT_TRUE(t.load());
    std::vector<float> from_body(terrain.heights, terrain.heights + s.size());
    std::array<uint8_t, 20> digest = terrain.sample_digest;
    std::string file = read_file(t.path("terrain.hf"));
    std::string raw = file.substr(file.find(':') + 1);
    sha1_ctx ctx;
    sha1_init(&ctx);
    sha1_update(&ctx, raw.size(), (const uint8_t*)raw.data());
    std::array<uint8_t, 20> expected;
    sha1_digest(&ctx, 20, expected.data());
    EXPECT_EQ(digest, expected);
    std::vector<uint8_t> png;
    ASSERT_TRUE(encode_grey16_png(s.data(), 129, 129, png));
    t.put("terrain.png", png);
    t.put("terrain.hf", encode_terrain_hf(6, 0.5f, 1.0f, 9.0f, nullptr));
    ASSERT_TRUE(t.load());
    EXPECT_TRUE(std::equal(from_body.begin(), from_body.end(), terrain.heights));
    EXPECT_EQ(terrain.sample_digest, expected);
}

TEST(height_field_load, ShadingAndShadowImages) {
    track_sandbox t;
    t.write_field(6, 1.0f, 0, 1, nullptr, 100);
    ASSERT_TRUE(t.load());
    EXPECT_EQ(terrain.shading.size(), 129u * 129 * 3);
    EXPECT_EQ(terrain.shading[7], 100);
    EXPECT_EQ(terrain.shadows, std::vector<uint8_t>(129 * 129, 0));
    // Without shadingx2.ppm, shading.ppm is halved.
    std::vector<uint8_t> rgb(129 * 129 * 3, 201);
    remove(t.path("shadingx2.ppm").c_str());
    t.put("shading.ppm", encode_ppm(rgb.data(), 129, 129));
    ASSERT_TRUE(t.load());
    EXPECT_EQ(terrain.shading[0], 100);
    // The predictive format is accepted too.
    t.put("shading.ppm", encode_predictive(rgb.data(), 129, 129, 3));
    ASSERT_TRUE(t.load());
    EXPECT_EQ(terrain.shading[5], 100);
    std::vector<uint8_t> lit(129 * 129, 255);
    lit[3] = 55;
    t.put("shadows.pgm", encode_pgm(lit.data(), 129, 129));
    ASSERT_TRUE(t.load());
    EXPECT_EQ(terrain.shadows[3], 200);
    EXPECT_EQ(terrain.shadows[4], 0);
    // Failures.
    t.put("shadows.pgm", encode_pgm(lit.data(), 128, 129));
    EXPECT_FALSE(t.load());
    t.put("shadows.pgm", "P5 1");
    EXPECT_FALSE(t.load());
    EXPECT_EQ(std::string(message_line(0)), "Error reading shadows");
    remove(t.path("shadows.pgm").c_str());
    t.put("shading.ppm", encode_ppm(rgb.data(), 128, 129));
    EXPECT_FALSE(t.load());
    EXPECT_EQ(std::string(message_line(0)), "Bad shading dimensions (128x129)");
    EXPECT_FALSE(height_field_loaded());
    t.put("shading.ppm", "P6 garbage");
    EXPECT_FALSE(t.load());
    EXPECT_EQ(std::string(message_line(0)), "Error reading shading");
    remove(t.path("shading.ppm").c_str());
    EXPECT_FALSE(t.load());
    EXPECT_EQ(std::string(message_line(0)), "Can't open '@tracks/t/shading.ppm'");
    EXPECT_TRUE(terrain.height_storage.empty());
}

TEST(height_field_writers, ShadingFilesAndQuantisation) {
    std::vector<uint8_t> shading = {0, 1, 127, 128, 200, 255};
    // Two 1 x 1 "fields" of RGB bytes are enough to check the byte rules.
    std::vector<uint8_t> full = encode_shading_full(shading.data(), 1);
    std::string text(full.begin(), full.end());
    EXPECT_EQ(text, std::string("P6\n1 1\n255\n") + std::string({0, 2, (char)254}));
    std::vector<uint8_t> shadows = {0, 255, 10, 20};
    std::vector<uint8_t> pgm = encode_shadows_pgm(shadows.data(), 2);
    EXPECT_EQ(std::vector<uint8_t>(pgm.end() - 4, pgm.end()), (std::vector<uint8_t>{255, 0, 245, 235}));
    float h[] = {2.0f, 4.0f, 3.0f, 2.00001f, -7.0f, 99.0f};
    EXPECT_EQ(quantise_heights(h, 6, 2.0f, 4.0f), (std::vector<uint16_t>{0, 65535, 32768, 0, 0, 65535}));
    EXPECT_EQ(quantise_heights(h, 2, 3.0f, 3.0f), (std::vector<uint16_t>{0, 0}));
    // Header numbers are exact whether or not "%f" would do.
    std::vector<uint8_t> hf = encode_terrain_hf(7, 0.5f, 1e-7f, 123456.789f, nullptr);
    std::string header(hf.begin(), hf.end());
    EXPECT_EQ(header.substr(0, 11), "7 0.500000 ");
    int g;
    float c, h0, h1;
    ASSERT_EQ(string_scanf(header.c_str(), header.size(), nullptr, "%d %f %f %f", &g, &c, &h0, &h1), 4);
    EXPECT_EQ(h0, 1e-7f);
    EXPECT_EQ(h1, 123456.789f);
}

TEST(height_field_load, NormalTexelsAndRendererHooks) {
    static int loaded_calls, released_calls;
    loaded_calls = released_calls = 0;
    track_sandbox t;
    terrain_renderer.heights_loaded = [] { loaded_calls++; };
    terrain_renderer.release = [] { released_calls++; };
    t.write_field(6, 1.0f, 0, 1, nullptr);
    std::vector<uint8_t> lit(129 * 129, 255);
    lit[0] = 40;
    t.put("shadows.pgm", encode_pgm(lit.data(), 129, 129));
    ASSERT_TRUE(t.load(true));
    EXPECT_EQ(loaded_calls, 1);
    ASSERT_EQ(terrain.normal_texels.size(), 129u * 129 * 3);
    EXPECT_EQ(terrain.normal_texels[0], 128);
    EXPECT_EQ(terrain.normal_texels[1], 40);
    EXPECT_EQ(terrain.normal_texels[2], 128);
    EXPECT_EQ(terrain.normal_texels[4], 255);
    EXPECT_EQ(terrain.normal_dirty.size(), terrain.shade_dirty.size());
    free_height_field();
    EXPECT_EQ(released_calls, 1);
    EXPECT_FALSE(height_field_loaded());
    EXPECT_TRUE(terrain.normal_texels.empty());
    free_height_field();
    EXPECT_EQ(released_calls, 1);
}

}  // namespace
