// The lighting file: defaults, clamps, the sun's direction, sky pictures,
// flares and fog.
#include <cmath>

#include "objects_fixture.h"
#include "render/terrain_lighting.h"
#include "track/objects_lighting.h"

namespace {

struct lighting : objects_test {
    void SetUp() override {
        objects_test::SetUp();
        reset_default_lighting();
        clear_message_history();
    }
    void load(const std::string& text) {
        put_track("lighting", text);
        load_lighting(track_file("lighting").c_str());
    }
};

TEST_F(lighting, ClipPlanesAreClamped) {
    load("near_plane 0\n");
    EXPECT_EQ(track_lighting.near_plane, min_near_plane);
    EXPECT_EQ(track_lighting.far_plane, 5000);
    load("near_plane 0.5\nfar_plane 0.1\n");
    EXPECT_EQ(track_lighting.near_plane, 0.5f);
    EXPECT_EQ(track_lighting.far_plane, 0.5f);
    load("near_plane 3\nfar_plane 2000000\n");
    EXPECT_EQ(track_lighting.near_plane, max_near_plane);
    EXPECT_EQ(track_lighting.far_plane, max_far_plane);
    // Not a number keeps the default rather than reaching the projection.
    load("near_plane nan\nfar_plane nan\n");
    EXPECT_EQ(track_lighting.near_plane, 0.25f);
    EXPECT_EQ(track_lighting.far_plane, 5000);
}

TEST_F(lighting, SunVectorIsMadeUnitLengthOrFallsBack) {
    load("sun_vector [ 0 3 4 ]\n");
    EXPECT_NEAR(track_lighting.sun_vector[1], 0.6f, 1e-6f);
    EXPECT_NEAR(track_lighting.sun_vector[2], 0.8f, 1e-6f);
    for (const char* bad : {"sun_vector [ 0 0 0 ]\n", "sun_vector [ nan 1 1 ]\n", "sun_vector [ inf 1 1 ]\n"}) {
        load(bad);
        EXPECT_EQ(track_lighting.sun_vector, lighting_record().sun_vector) << bad;
    }
    // Values that do not convert keep the default.
    load("  ambient\t[ 0.1 0.2 ]  \r\nsun_color [ 0.9 0.8 0.7 ]\n");
    EXPECT_EQ(track_lighting.ambient, (std::array<float, 3>{0.1f, 0.2f, 0.5f}));
    EXPECT_EQ(track_lighting.sun_color, (std::array<float, 3>{0.9f, 0.8f, 0.7f}));
    // The ground reads the same light.
    terrain_lighting = lighting_for_terrain;
    EXPECT_EQ(terrain_lighting().ambient, track_lighting.ambient);
    terrain_lighting = default_terrain_lighting;
    track_parts = {};
}

TEST_F(lighting, UnknownKeywordEndsTheFileButTheRestStillHappens) {
    load("near_plane 0.5\n\n   \nsunvector [1 2 3]\nfar_plane 10\n");
    EXPECT_TRUE(shown("Error reading lighting: Unknown identifier 'sunvector'"));
    EXPECT_EQ(track_lighting.near_plane, 0.5f);
    EXPECT_EQ(track_lighting.far_plane, 5000);  // after the error: not read
}

TEST_F(lighting, SkyPicturesNamedOrDefault) {
    put_png("n.png");
    put_png("sky-e.ppm");  // only the name matters to the lookup
    put_png("sky-env.ppm");
    load("sky_n @n.png\n");
    EXPECT_NE(track_lighting.sky[sky_n], 0u);
    EXPECT_NE(track_lighting.sky[sky_e], 0u);  // the default of a face not given
    EXPECT_NE(track_lighting.sky[sky_env], 0u);
    EXPECT_EQ(track_lighting.sky[sky_s], 0u);  // default missing
    // Without a file there is no sky at all.
    load_lighting(track_file("none").c_str());
    for (unsigned id : track_lighting.sky) EXPECT_EQ(id, 0u);
}

TEST_F(lighting, FlaresTakeAtMostEightElements) {
    put_png("glow.png");
    std::string text;
    for (int k = 0; k < 9; k++) text += "flare_element [ 0 " + std::to_string(k) + " ] [ 1 0.5 0.25 ] 2 @glow.png\n";
    text += "flare_element [ 0 1 ] [ 1 1 ] 2 @glow.png\n";  // too few numbers: ignored
    text += "flare_vector [ 1 1 1 ]\nflare_point [ 10 20 30 ]\nflare_point [ 1 2 ]\n";
    load(text);
    ASSERT_EQ(track_lighting.flare_list.size(), 2u);
    const flare& a = track_lighting.flare_list[0];
    EXPECT_TRUE(a.directional);
    ASSERT_EQ(a.element_count, 8);
    EXPECT_EQ(a.elements[7].b, 7);
    EXPECT_EQ(a.elements[0].color, (std::array<float, 3>{1, 0.5f, 0.25f}));
    EXPECT_NE(a.elements[0].texture, 0u);
    // The next flare starts empty.
    const flare& b = track_lighting.flare_list[1];
    EXPECT_FALSE(b.directional);
    EXPECT_EQ(b.element_count, 0);
    EXPECT_EQ(b.position, (std::array<float, 3>{10, 20, 30}));
}

TEST_F(lighting, FogColourOutlivesTheTrackButNotItsDensity) {
    load("fog [ 0.5 0.6 0.7 ] 0.002\ndynamic_lighting 2\n");
    EXPECT_EQ(track_lighting.fog_density, 0.002f);
    EXPECT_TRUE(track_lighting.dynamic_lighting);
    load("fog [ 0.1 0.1 ]\n");  // incomplete: no change
    EXPECT_EQ(track_lighting.fog_color, (std::array<float, 4>{0.5f, 0.6f, 0.7f, 1}));
    EXPECT_EQ(track_lighting.fog_density, 0);
    EXPECT_FALSE(track_lighting.dynamic_lighting);
    reset_default_lighting();
    EXPECT_EQ(track_lighting.fog_color, (std::array<float, 4>{1, 1, 1, 1}));
}

TEST_F(lighting, WrittenFileReadsBack) {
    lighting_file f;
    f.sun_vector = {0, 0, 2};
    f.ambient = {0.25f, 0.5f, 0.75f};
    f.near_plane = 0.125f;
    f.far_plane = 3000;
    f.fog_color = {0.7f, 0.8f, 0.9f};
    f.fog_density = 0.0015f;
    f.sky[sky_u] = "@u.png";
    lighting_file::flare_entry fl;
    fl.elements.push_back({0.1f, -0.3f, {0.5f, 0.6f, 0.7f}, 0.2f, "@glow.png"});
    fl.directional = true;
    fl.position = {1, 1, 1};
    f.flares.push_back(fl);
    load(encode_lighting(f));
    EXPECT_FALSE(shown("Error reading lighting"));
    EXPECT_EQ(track_lighting.sun_vector, (std::array<float, 3>{0, 0, 1}));
    EXPECT_EQ(track_lighting.ambient, f.ambient);
    EXPECT_EQ(track_lighting.near_plane, 0.125f);
    EXPECT_EQ(track_lighting.far_plane, 3000);
    EXPECT_EQ(track_lighting.fog_density, 0.0015f);
    ASSERT_EQ(track_lighting.flare_list.size(), 1u);
    EXPECT_EQ(track_lighting.flare_list[0].elements[0].b, -0.3f);
    EXPECT_EQ(track_lighting.flare_list[0].elements[0].size, 0.2f);
}

}  // namespace
