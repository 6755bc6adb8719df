// Composing ground textures on the CPU, the shading of samples, and the
// method set-up, as the track load and the frame loop use them headless.
#include <algorithm>

#include "render/terrain_compose.h"
#include "terrain_test_track.h"

namespace {

using namespace terrain_test;

struct compose : test_track {
    std::vector<uint8_t> image(int a, int b, int c, int size, bool decals = true, bool lighting = true) {
        std::vector<uint8_t> rgb((size_t)size * size * 3);
        terrain_compose_options o;
        o.decals = decals;
        o.lighting = lighting;
        compose_terrain_cpu(a, b, c, size, o, rgb.data());
        return rgb;
    }
    static const uint8_t* at(const std::vector<uint8_t>& rgb, int size, int x, int y) {
        return &rgb[((size_t)y * size + x) * 3];
    }
};

#define EXPECT_RGB(p, r, g, b)   \
    do {                         \
        EXPECT_EQ((p)[0], (r));  \
        EXPECT_EQ((p)[1], (g));  \
        EXPECT_EQ((p)[2], (b));  \
    } while (0)

TEST_F(compose, TilesShadingAndMissingTextures) {
    tile_names = {"red", "blue", "missing"};
    tile_pictures = {flat(200, 40, 30), flat(30, 60, 200)};  // no picture for "missing"
    tile_of = [](int tx, int tz) { return tz >= 40 ? 2 : (tx < 32 ? 0 : 1); };
    // Full brightness on the left half of the field, half on the right,
    // and 191 (the sun's full light) in one corner.
    shade = [](int i, int j, int) { return (uint8_t)(i <= 64 ? 128 : (j < 8 ? 191 : 64)); };
    write_and_load();

    // Two tiles either side of the red / blue boundary, 32 pixels each.
    std::vector<uint8_t> rgb = image(31, 10, 2, 64);
    for (int y = 0; y < 64; y += 7) {
        EXPECT_RGB(at(rgb, 64, 5, y), 200, 40, 30);
        EXPECT_RGB(at(rgb, 64, 31, y), 200, 40, 30);
        // Shading 128 up to sample 64 (pixel 32): the blue begins unchanged,
        // then falls to half as the shading does.
        EXPECT_RGB(at(rgb, 64, 32, y), 30, 60, 200);
    }
    EXPECT_RGB(at(rgb, 64, 63, 20), 15, 30, 100);
    // Each tile drawn counts once.
    terrain_compose_options o;
    std::vector<uint8_t> scratch(64 * 64 * 3);
    EXPECT_EQ(compose_terrain_cpu(0, 0, 4, 64, o, scratch.data()), 16);

    // Shading above 128 brightens and saturates.
    rgb = image(40, 0, 2, 32);
    EXPECT_RGB(at(rgb, 32, 10, 2), 44, 89, 255);  // 30*191/128, 60*191/128, 200*191/128 clamped

    // A tile whose texture is missing is a plain patch.
    rgb = image(10, 44, 2, 32);
    for (int y = 0; y < 32; y += 5)
        for (int x = 0; x < 32; x += 5) EXPECT_RGB(at(rgb, 32, x, y), 120, 100, 80);
}

TEST_F(compose, NoSeamsBetweenTiles) {
    // A texture whose central seven eighths are one period of a wave in x
    // and in y: laid side by side the tiles make one smooth surface.
    auto wave = [](int x, int y, uint8_t* c) {
        double u = (x - 4) / 56.0 * 2 * M_PI, v = (y - 4) / 56.0 * 2 * M_PI;
        c[0] = (uint8_t)(128 + 100 * std::sin(u));
        c[1] = (uint8_t)(128 + 100 * std::sin(v));
        c[2] = 90;
    };
    tile_names = {"wave"};
    tile_pictures = {wave};
    tile_of = [](int, int) { return 0; };
    write_and_load();
    for (int c : {1, 2, 4, 8}) {
        int size = 256;
        std::vector<uint8_t> rgb = image(20, 20, c, size);
        int inside = 0, across = 0;
        int per_tile = size / c;
        for (int y = 0; y < size; y++)
            for (int x = 1; x < size; x++) {
                const uint8_t *p = at(rgb, size, x, y), *q = at(rgb, size, x - 1, y);
                ASSERT_FALSE(p[0] == 0 && p[1] == 0 && p[2] == 0) << "uncovered pixel at " << x << "," << y;
                int d = std::abs(p[0] - q[0]);
                (x % per_tile == 0 ? across : inside) = std::max(x % per_tile == 0 ? across : inside, d);
            }
        // The step over a tile boundary is no bigger than a step inside one.
        EXPECT_LE(across, inside + 2) << c << " tiles";
        EXPECT_GT(inside, 0);
    }
}

TEST_F(compose, DecalsBlendByAlphaAndStayInsideTheirTexture) {
    tile_pictures = {flat(200, 40, 30), flat(30, 60, 200)};
    tile_of = [](int, int) { return 0; };
    // Half-transparent green, an opaque picture whose left column is red,
    // and a fully transparent one.
    decals_text = "[8 8] 0 4 1 @tt/halfgreen.png\n"
                  "[24 8] 0 6 0.5 @tt/edge.png\n"
                  "[40 8] 0 4 1 @tt/clear.png\n";
    write_png("halfgreen.png", 16, [](int, int, uint8_t* c) { c[0] = 0, c[1] = 255, c[2] = 0, c[3] = 128; }, true);
    write_png("edge.png", 8, [](int x, int, uint8_t* c) { c[0] = x == 0 ? 255 : 0, c[1] = x == 0 ? 0 : 255, c[2] = 0, c[3] = 255; },
              true);
    write_png("clear.png", 16, [](int, int, uint8_t* c) { c[0] = c[1] = c[2] = 255, c[3] = 0; }, true);
    write_and_load();
    ASSERT_EQ(track_decals().size(), 3u);

    // Tiles 0..31 on 256 pixels: 8 pixels per tile, 4 per world unit.
    std::vector<uint8_t> rgb = image(0, 0, 32, 256);
    // Inside the half-green decal (world 6..10): (src a + dst (255 - a)) / 255.
    EXPECT_RGB(at(rgb, 256, 32, 32), 99, 147, 14);
    EXPECT_RGB(at(rgb, 256, 23, 32), 200, 40, 30);  // world x 5.9: outside
    EXPECT_RGB(at(rgb, 256, 40, 32), 200, 40, 30);  // world x 10.1: outside
    // The opaque decal (world 21..27 by 6.5..9.5) replaces; its first
    // column samples the red edge texel without reading before it.
    EXPECT_RGB(at(rgb, 256, 84, 32), 255, 0, 0);
    EXPECT_RGB(at(rgb, 256, 100, 32), 0, 255, 0);
    EXPECT_RGB(at(rgb, 256, 100, 25), 200, 40, 30);  // world z 6.4: outside the short side
    // The clear one leaves the ground as it was.
    EXPECT_RGB(at(rgb, 256, 160, 32), 200, 40, 30);
    // Hidden decals are not drawn.
    rgb = image(0, 0, 32, 256, false);
    EXPECT_RGB(at(rgb, 256, 32, 32), 200, 40, 30);
    // Drivers that cannot draw big decal quads get them in P x P pieces.
    EXPECT_EQ(decal_split_count(200), 1);
    EXPECT_EQ(decal_split_count(300), 2);
    EXPECT_EQ(decal_split_count(600), 4);
    EXPECT_EQ(decal_split_count(-1024), 4);
}

TEST_F(compose, DecalsTurnWithTheirAngle) {
    tile_pictures = {flat(200, 40, 30)};
    tile_names = {"red"};
    tile_of = [](int, int) { return 0; };
    // A long thin opaque decal along x, and the same turned a quarter turn.
    decals_text = "[16 16] 0 8 0.25 @tt/white.png\n[48 16] 1.5707963 8 0.25 @tt/white.png\n";
    write_png("white.png", 16, [](int, int, uint8_t* c) { c[0] = c[1] = c[2] = c[3] = 255; }, true);
    write_and_load();
    std::vector<uint8_t> rgb = image(0, 0, 32, 256);
    // 4 pixels per unit: the first is 32 pixels long in x, 8 in z.
    EXPECT_RGB(at(rgb, 256, 64 + 14, 64), 255, 255, 255);
    EXPECT_RGB(at(rgb, 256, 64, 64 + 6), 200, 40, 30);
    // The turned one is long in z.
    EXPECT_RGB(at(rgb, 256, 192, 64 + 14), 255, 255, 255);
    EXPECT_RGB(at(rgb, 256, 192 + 6, 64), 200, 40, 30);
}

TEST_F(compose, SampleLightingWithTheDefaultLight) {
    // A slope facing the default sun (1, 1, 1) exactly.
    height = [](int i, int j) { return -(float)(i + j); };
    write_and_load();
    std::array<uint8_t, 3> lit = sample_lighting(20, 30);
    EXPECT_EQ(lit[0], 191);
    EXPECT_EQ(lit[1], 191);
    EXPECT_EQ(lit[2], 191);
    int n = terrain.samples_per_side;
    terrain.shadows[20 + (size_t)n * 30] = 255;
    EXPECT_EQ(sample_lighting(20, 30)[0], 63);
    terrain.shadows[20 + (size_t)n * 30] = 0;

    // A stale sample is re-lit when its square is composed, and the
    // composition uses the new value.
    set_bit(terrain.shade_dirty, 20 + (size_t)n * 30);
    std::vector<uint8_t> rgb = image(10, 15, 1, 2);
    EXPECT_EQ(terrain.shading[(20 + (size_t)n * 30) * 3], 191);
    EXPECT_FALSE(test_bit(terrain.shade_dirty, 20 + (size_t)n * 30));
    (void)rgb;

    // Another light source replaces the defaults.
    static terrain_lighting_values dusk;
    dusk.sun_color = {0, 0, 0};
    dusk.ambient = {0.25f, 0.5f, 1.0f};
    terrain_lighting = []() -> const terrain_lighting_values& { return dusk; };
    lit = sample_lighting(5, 5);
    EXPECT_EQ(lit[0], 31);
    EXPECT_EQ(lit[1], 63);
    EXPECT_EQ(lit[2], 127);
}

// ---- method set-up and the texture states -----------------------------------------

struct textures : compose {
    void load() {
        tile_pictures = {flat(200, 40, 30), flat(30, 60, 200)};
        write_and_load();
    }
    static std::string last_message() { return message_line(0); }
    static const terrain_texture_info* find(const std::vector<terrain_texture_info>& list, int level, int a, int b) {
        for (const terrain_texture_info& t : list)
            if (t.level == level && t.a == a && t.b == b) return &t;
        return nullptr;
    }
};

TEST_F(textures, SetupFallsBackAndReports) {
    load();
    gl_caps.has_framebuffer_object = false;
    terrain_textures_setup(terrain_method_for_setting(2));  // "Hardware/Direct"
    EXPECT_EQ(terrain_method(), terrain_method_texsubimage);
    EXPECT_EQ(last_message(), "Terrain texture rendering with TexSubImage");

    render_settings.ground_texture_size = 1024;
    terrain_textures_setup(terrain_method_for_setting(1));  // "Hardware/Copy"
    EXPECT_EQ(terrain_method(), terrain_method_copy);
    EXPECT_EQ(terrain_texture_size(), 256);
    EXPECT_EQ(last_message(), "Terrain texture rendering with CopyTexSubImage");
    EXPECT_EQ(terrain_method_for_setting(3), terrain_method_copy);
    EXPECT_EQ(terrain_method_for_setting(4), terrain_method_framebuffer);
    EXPECT_EQ(terrain_method_for_setting(0), terrain_method_texsubimage);

    terrain_textures_setup(9);
    EXPECT_EQ(last_message(), "Something went wrong setting up terrain texture rendering!");
    EXPECT_EQ(terrain_method(), terrain_method_texsubimage);

    // Shader terrain asked for, but the track's lighting is not dynamic:
    // no per-pixel lighting, the shading goes into the colour.
    gl_caps.terrain_shaders = true;
    terrain_textures_setup(terrain_method_copy);
    EXPECT_FALSE(terrain_lit());
    EXPECT_EQ(terrain_texture_list()[0].normal, 0u);
    static terrain_lighting_values dynamic;
    dynamic.dynamic_lighting = true;
    terrain_lighting = []() -> const terrain_lighting_values& { return dynamic; };
    EXPECT_TRUE(terrain_will_be_lit(terrain_method_copy));
    EXPECT_FALSE(terrain_will_be_lit(terrain_method_texsubimage));
    terrain_textures_setup(terrain_method_copy);
    EXPECT_TRUE(terrain_lit());
    EXPECT_NE(terrain_texture_list()[0].normal, 0u);
    EXPECT_FALSE(terrain.normal_texels.empty());
}

TEST_F(textures, EverythingIsComposedOnceThenOnlyWhatTheCameraUncovers) {
    load();
    render_settings.ground_texture_reduction = 0;  // all six camera levels
    terrain_textures_setup(terrain_method_texsubimage);
    std::vector<terrain_texture_info> list = terrain_texture_list();
    ASSERT_EQ(list.size(), 1u);  // one block; levels get their squares from the camera
    terrain_camera({40.5f, 3, 50.5f}, {0, 0, -1});
    terrain_textures_update();
    list = terrain_texture_list();
    // 64 tiles: a full 4 x 4 window on levels 0..4, 2 x 2 textures of 32 tiles on level 5.
    ASSERT_EQ(list.size(), 1u + 5 * 16 + 4);
    for (const terrain_texture_info& t : list) {
        EXPECT_EQ(t.compositions, 1);
        EXPECT_EQ(t.state, 2);
    }
    // Each level's window holds the camera's tile (20, 25).
    for (int n = 0; n < 6; n++) {
        int inside = 0;
        for (const terrain_texture_info& t : list)
            if (t.level == n && 20 >= t.a && 20 < t.a + t.c && 25 >= t.b && 25 < t.b + t.c) inside++;
        EXPECT_EQ(inside, 1) << n;
    }
    terrain_textures_update();
    for (const terrain_texture_info& t : terrain_texture_list()) EXPECT_EQ(t.compositions, 1);

    // One tile along x: exactly the textures whose square changed are
    // composed, level 0 gains one column of four, the block stays.
    terrain_camera({42.5f, 3, 50.5f}, {0, 0, -1});
    terrain_textures_update();
    std::vector<terrain_texture_info> after = terrain_texture_list();
    int recomposed_level0 = 0;
    for (const terrain_texture_info& t : after) {
        const terrain_texture_info* old = find(list, t.level, t.a, t.b);
        if (old) {
            EXPECT_EQ(t.compositions, old->compositions) << t.level << " " << t.a << "," << t.b;
        } else {
            EXPECT_GE(t.compositions, 2) << t.level << " " << t.a << "," << t.b;
        }
        if (!old && t.level == 0) recomposed_level0++;
        if (t.level == -1) {
            EXPECT_EQ(t.compositions, 1);
        }
    }
    EXPECT_EQ(recomposed_level0, 4);
}

TEST_F(textures, DeformationReachesTheTexturesWithTheSoftwareMethod) {
    load();
    render_settings.ground_texture_reduction = 1;
    terrain_textures_setup(terrain_method_texsubimage);
    terrain_camera({60, 3, 60}, {0, 0, -1});
    terrain_textures_update();
    EXPECT_EQ(terrain_texture_age(), 0);
    // Dig a hole at sample (20, 20) (tile 10, 10): only the textures over
    // it wait for new lighting.
    for (int j = 18; j <= 22; j++)
        for (int i = 18; i <= 22; i++) set_sample(i, j, -3.0f);
    report_changed_region(18, 18, 22, 22);
    int waiting = 0;
    for (const terrain_texture_info& t : terrain_texture_list()) {
        bool over = 2 * t.a <= 23 && 2 * (t.a + t.c) >= 17 && 2 * t.b <= 23 && 2 * (t.b + t.c) >= 17;
        EXPECT_EQ(t.state, over ? 1 : 2) << t.level << " " << t.a << "," << t.b;
        waiting += over;
    }
    EXPECT_GE(waiting, 2);  // the block and level 4's texture at least
    EXPECT_EQ(terrain_reshades_pending(), 0);  // no lighting pieces in this method
    // Work done meanwhile ages them.
    int counter = terrain_change_counter();
    terrain_camera({70, 3, 60}, {0, 0, -1});
    terrain_textures_update();
    EXPECT_GT(terrain_change_counter(), counter);
    EXPECT_EQ(terrain_texture_age(), terrain_change_counter() - counter);
    terrain_camera({60, 3, 60}, {0, 0, -1});
    terrain_textures_update();
    std::vector<terrain_texture_info> before = terrain_texture_list();

    // The upkeep hands them to composition only on its re-shade frames.
    terrain_upkeep(8000, false);
    terrain_textures_update();
    EXPECT_EQ(terrain_texture_list().size(), before.size());
    for (size_t k = 0; k < before.size(); k++) EXPECT_EQ(terrain_texture_list()[k].compositions, before[k].compositions);
    terrain_upkeep(8000, true);
    terrain_textures_update();
    int n = terrain.samples_per_side;
    std::vector<terrain_texture_info> after = terrain_texture_list();
    for (size_t k = 0; k < after.size(); k++) {
        const terrain_texture_info& t = after[k];
        bool over = 2 * t.a <= 23 && 2 * (t.a + t.c) >= 17 && 2 * t.b <= 23 && 2 * (t.b + t.c) >= 17;
        EXPECT_EQ(t.state, 2);
        EXPECT_EQ(t.compositions, before[k].compositions + (over ? 1 : 0)) << t.level << " " << t.a << "," << t.b;
    }
    // The pit's walls were re-lit from their new slopes.
    EXPECT_NE(terrain.shading[(18 + (size_t)n * 20) * 3], 128);
    EXPECT_FALSE(test_bit(terrain.shade_dirty, 18 + (size_t)n * 20));
}

TEST_F(textures, CopyMethodRelightsItsPiecesBeforeRecomposing) {
    load();
    render_settings.ground_texture_reduction = 3;
    terrain_textures_setup(terrain_method_copy);
    terrain_camera({60, 3, 60}, {0, 0, -1});
    terrain_textures_update();
    set_sample(30, 30, 5.0f);
    report_changed_region(30, 30, 30, 30);
    EXPECT_EQ(terrain_reshades_pending(), 1);  // 64 tiles: a single piece
    for (const terrain_texture_info& t : terrain_texture_list()) EXPECT_EQ(t.state, 2);
    terrain_reshade(0);
    EXPECT_EQ(terrain_reshades_pending(), 0);
    int waiting = 0;
    for (const terrain_texture_info& t : terrain_texture_list()) waiting += t.state == 1;
    EXPECT_EQ(waiting, (int)terrain_texture_list().size());  // the one piece lights everything
    terrain_upkeep(8000, true);
    terrain_textures_update();
    for (const terrain_texture_info& t : terrain_texture_list()) EXPECT_EQ(t.compositions, 2);
    // Hiding the decals recomposes everything.
    EXPECT_TRUE(terrain_toggle_decals());
    terrain_textures_update();
    EXPECT_FALSE(terrain_toggle_decals());
    for (const terrain_texture_info& t : terrain_texture_list()) EXPECT_EQ(t.compositions, 3);
}

}  // namespace
