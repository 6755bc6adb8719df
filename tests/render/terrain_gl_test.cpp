// The ground with a real GL context: the framebuffer and copy compositions
// against the software one, the copy method's fall-back in a small window,
// the lit terrain's extra sets, and Rabbit Hill drawn from a few cameras
// (saved as pictures under terrain_shots/ in the build folder).
#include <GL/gl.h>
#include <GL/glext.h>
#include <sys/stat.h>

#include "core/config.h"
#include "platform/window.h"
#include "render/gl_ext.h"
#include "render/shaders.h"
#include "render/terrain_compose.h"
#include "terrain_test_track.h"
#include "testkit/built_data.h"
#include "track/track.h"

namespace {

using namespace terrain_test;

struct terrain_gl : test_track {
    plix_window* w = nullptr;
    int width = 256, height_px = 256;
    void SetUp() override {
        const char* d = getenv("DISPLAY");
        if (!d || !*d) GTEST_SKIP() << "no display";
        test_track::SetUp();
        w = open_gl_window("terrain test", width, height_px, 24, 0, 16, 0, 0);
        ASSERT_NE(w, nullptr);
        gl_probe();
        gl_caps.ground_mipmaps = true;
        textures_init(&gl_texture_driver);
        glViewport(0, 0, width, height_px);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
    }
    void TearDown() override {
        if (!w) return;
        terrain_textures_release();
        free_height_field();
        textures_free();
        delete_programs();
        close_gl_window(w);
        textures_init();
        test_track::TearDown();
    }

    static std::vector<uint8_t> read_texture(unsigned id, int size) {
        std::vector<uint8_t> rgb((size_t)size * size * 3);
        glBindTexture(GL_TEXTURE_2D, id);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }
    // The GPU's lighting pass doubles an 8-bit product (so it only ever
    // gives even values, and x / 127.5 where the CPU has x / 128) and its
    // blending rounds where the CPU truncates: nearly every channel is
    // within 3 of the software value and none is further than 4. Pixels
    // whose centres lie within the rasteriser's snapping of a decal's edge
    // may fall on either side of it: a handful per texture are allowed.
    static void expect_close(const std::vector<uint8_t>& gpu, const std::vector<uint8_t>& cpu, bool decals,
                             const std::string& where) {
        size_t over3 = 0, edge_pixels = 0;
        int most = 0;
        for (size_t p = 0; p < gpu.size() / 3; p++) {
            int worst = 0;
            for (int k = 0; k < 3; k++) {
                int d = std::abs(gpu[p * 3 + k] - cpu[p * 3 + k]);
                worst = std::max(worst, d);
                over3 += d > 3;
            }
            if (decals && worst > 5)
                edge_pixels++;
            else
                most = std::max(most, worst);
        }
        EXPECT_LE(most, 4) << where;
        EXPECT_LE(over3, gpu.size() / 100) << where;
        EXPECT_LE(edge_pixels, decals ? 6u : 0u) << where;
    }
    // Whether any decal overlaps a texture's square.
    static bool has_decals(const terrain_texture_info& t) {
        std::vector<int> list;
        float ts = terrain.tile_size;
        decals_overlapping(t.a * ts, t.b * ts, (t.a + t.c) * ts, (t.b + t.c) * ts, list);
        return !list.empty();
    }
    void expect_matches_software(const terrain_texture_info& t, int size, bool lighting = true) {
        std::string where = "level " + std::to_string(t.level) + " at " + std::to_string(t.a) + "," + std::to_string(t.b);
        expect_close(read_texture(t.colour, size), software(t, size, lighting), has_decals(t), where);
    }
    std::vector<uint8_t> software(const terrain_texture_info& t, int size, bool lighting = true) {
        std::vector<uint8_t> rgb((size_t)size * size * 3);
        terrain_compose_options o;
        o.lighting = lighting;
        compose_terrain_cpu(t.a, t.b, t.c, size, o, rgb.data());
        return rgb;
    }

    // Three flat ground colours over a smoothly lit field with a rotated,
    // half-transparent decal.
    void colourful_track() {
        tile_names = {"red", "blue", "sand"};
        tile_pictures = {flat(200, 40, 30), flat(30, 60, 200), flat(190, 170, 120)};
        tile_of = [](int tx, int tz) { return (tx / 3 + tz / 5) % 3; };
        shade = [](int i, int j, int k) {
            return (uint8_t)(118 + 30 * std::sin(i / 23.0) * std::cos(j / 29.0) + 4 * k);
        };
        decals_text = "[20.13 30.37] 0.3 10.21 0.61 @tt/glass.png\n[47.3 41.1] -1.1 7.07 1.43 @tt/glass.png\n";
        write_png("glass.png", 32, [](int x, int, uint8_t* c) { c[0] = 20, c[1] = (uint8_t)(200 + x), c[2] = 90, c[3] = 160; },
                  true);
        write_and_load();
    }
};

TEST_F(terrain_gl, FramebufferCompositionMatchesTheSoftwareOne) {
    if (!gl_caps.has_framebuffer_object) GTEST_SKIP() << "no framebuffer objects";
    colourful_track();
    render_settings.ground_texture_reduction = 0;
    terrain_textures_setup(terrain_method_framebuffer);
    ASSERT_EQ(terrain_method(), terrain_method_framebuffer);
    EXPECT_EQ(message_line(0), std::string("Terrain texture rendering with framebuffer objects"));
    terrain_camera({24, 5, 32}, {0, -0.3f, -1});
    terrain_textures_update();
    ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    int compared = 0, without_decals = 0;
    for (const terrain_texture_info& t : terrain_texture_list()) {
        // On the coarsest textures a texel covers a whole sample or more, and
        // the GPU's texel-centre lighting lies half a texel from the CPU's.
        if (t.level < 0 || t.level == 5) continue;
        ASSERT_TRUE(t.valid);
        expect_matches_software(t, 64);
        compared++;
        without_decals += !has_decals(t);
    }
    EXPECT_EQ(compared, 5 * 16);
    EXPECT_GT(without_decals, 10);
    // Seen at a grazing angle the ground keeps its detail where the driver
    // filters anisotropically.
    if (gl_caps.max_anisotropy > 1) {
        GLfloat degree = 0;
        glBindTexture(GL_TEXTURE_2D, terrain_texture_list()[0].colour);
        glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &degree);
        EXPECT_EQ(degree, std::min(gl_caps.max_anisotropy, 8.0f));
    }
}

TEST_F(terrain_gl, TilesWithoutATextureArePlainPatchesOnTheGpuToo) {
    if (!gl_caps.has_framebuffer_object) GTEST_SKIP() << "no framebuffer objects";
    tile_names = {"red", "missing"};
    tile_pictures = {flat(200, 40, 30)};  // nothing for "missing"
    write_and_load();
    render_settings.ground_texture_reduction = 6;  // blocks only
    terrain_textures_setup(terrain_method_framebuffer);
    terrain_camera({24, 5, 32}, {0, -0.3f, -1});
    terrain_textures_update();
    ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    std::vector<terrain_texture_info> list = terrain_texture_list();
    ASSERT_EQ(list.size(), 1u);
    std::vector<uint8_t> rgb = read_texture(list[0].colour, 64);
    for (int y = 0; y < 64; y += 9) {
        const uint8_t* red = &rgb[((size_t)y * 64 + 10) * 3];
        const uint8_t* plain = &rgb[((size_t)y * 64 + 50) * 3];
        EXPECT_NEAR(red[0], 200, 2);
        EXPECT_NEAR(red[1], 40, 2);
        for (int k = 0; k < 3; k++) EXPECT_NEAR(plain[k], terrain_fallback_colour[(size_t)k], 2) << y;
    }
    expect_matches_software(list[0], 64);
}

TEST_F(terrain_gl, LargeDecalsDrawnInPiecesLookTheSame) {
    if (!gl_caps.has_framebuffer_object) GTEST_SKIP() << "no framebuffer objects";
    tile_names = {"red"};
    tile_pictures = {flat(200, 40, 30)};
    tile_of = [](int, int) { return 0; };
    // Far larger than the field, turned, with a texture that changes across
    // both axes: any piece with the wrong texture coordinates shows.
    decals_text = "[70 58] 0.4 600 0.9 @tt/grad.png\n";
    write_png("grad.png", 32, [](int x, int y, uint8_t* c) { c[0] = (uint8_t)(x * 8), c[1] = (uint8_t)(y * 8), c[2] = 100, c[3] = 200; },
              true);
    write_and_load();
    render_settings.ground_texture_reduction = 6;  // blocks only
    auto compose_block = [&]() {
        terrain_textures_setup(terrain_method_framebuffer);
        terrain_camera({24, 5, 32}, {0, -0.3f, -1});
        terrain_textures_update();
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        return read_texture(terrain_texture_list()[0].colour, 64);
    };
    std::vector<uint8_t> whole = compose_block();
    std::string renderer = gl_driver.renderer;
    gl_driver.renderer = "ATI Radeon X1270";  // draws the decal as 4 x 4 quads
    std::vector<uint8_t> pieces = compose_block();
    gl_driver.renderer = renderer;
    int most = 0;
    for (size_t k = 0; k < whole.size(); k++) most = std::max(most, std::abs(whole[k] - pieces[k]));
    EXPECT_LE(most, 2);
    // And the decal is there at all: not the plain red tile.
    EXPECT_GT(std::abs(whole[(32 * 64 + 32) * 3 + 2] - 30), 20);
}

TEST_F(terrain_gl, CopyCompositionAndItsFallbackInASmallWindow) {
    colourful_track();
    render_settings.ground_texture_reduction = 2;
    terrain_textures_setup(terrain_method_copy);
    ASSERT_EQ(terrain_method(), terrain_method_copy);
    terrain_camera({24, 5, 32}, {0, -0.3f, -1});
    terrain_textures_update();
    ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    for (const terrain_texture_info& t : terrain_texture_list()) {
        if (t.level < 0 || t.level == 5) continue;
        expect_matches_software(t, 64);
    }

    // Textures of 256 texels in a window of 200: the back buffer cannot hold
    // them, so they are composed on the CPU, exactly as the software method.
    glViewport(0, 0, 200, 200);
    render_settings.ground_texture_size = 256;
    terrain_textures_setup(terrain_method_copy);
    terrain_camera({24, 5, 32}, {0, -0.3f, -1});
    terrain_textures_update();
    ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    for (const terrain_texture_info& t : terrain_texture_list()) {
        if (t.level != 3) continue;
        EXPECT_EQ(read_texture(t.colour, 256), software(t, 256)) << t.a << "," << t.b;
    }
}

TEST_F(terrain_gl, LitTerrainComposesNormalAndSpecularSets) {
    if (!gl_caps.has_framebuffer_object || !gl_caps.shaders_supported) GTEST_SKIP() << "no shader terrain here";
    ASSERT_TRUE(build_programs());
    gl_caps.use_shaders = gl_caps.terrain_shaders = true;
    static terrain_lighting_values dynamic;
    dynamic.dynamic_lighting = true;
    terrain_lighting = []() -> const terrain_lighting_values& { return dynamic; };
    colourful_track();
    render_settings.ground_texture_reduction = 4;
    terrain_textures_setup(terrain_method_framebuffer);
    ASSERT_TRUE(terrain_lit());
    terrain_camera({24, 5, 32}, {0, -0.3f, -1});
    terrain_textures_update();
    ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    const terrain_texture_info t = terrain_texture_list()[0];
    ASSERT_NE(t.normal, 0u);
    // Flat unshadowed ground: normal straight up, full light; no specular
    // intensity and the largest exponent.
    std::vector<uint8_t> n = read_texture(t.normal, 64), s = read_texture(t.specular, 64);
    for (size_t k = 0; k < n.size(); k += 3) {
        ASSERT_NEAR(n[k], 128, 1);
        ASSERT_NEAR(n[k + 1], 255, 1);
        ASSERT_NEAR(n[k + 2], 128, 1);
        ASSERT_EQ(s[k], 0);
        ASSERT_EQ(s[k + 1], 255);
    }
    // The colour set carries no shading: the lighting comes from the program.
    expect_matches_software(t, 64, false);
    glViewport(0, 0, width, height_px);
    terrain_draw();
    EXPECT_GT(terrain_triangles_drawn(), 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// ---- Rabbit Hill on screen ------------------------------------------------------------

struct rabbit_hill_gl : terrain_gl {
    temp_dir home;
    void SetUp() override {
        width = 640;
        height_px = 480;
        terrain_gl::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        use_built_data(home);
    }
    void TearDown() override {
        if (w) release_track();
        current_track_dir.reset();
        terrain_gl::TearDown();
    }

    // Looks from `eye` along `dir` with a 90 degree field of view, as the
    // frame drawing sets it up, and returns the picture (rows from the top).
    std::vector<uint8_t> shoot(const std::array<float, 3>& eye, std::array<float, 3> dir, const char* name) {
        float len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
        for (float& v : dir) v /= len;
        terrain_camera(eye, dir);
        terrain_textures_update();
        glViewport(0, 0, width, height_px);
        glClearColor(1, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        double hx = 1.0, hy = hx * height_px / width, near_plane = 0.25;
        glFrustum(-hx * near_plane, hx * near_plane, -hy * near_plane, hy * near_plane, near_plane, 5000);
        // Camera axes: right, up, backward.
        std::array<float, 3> back = {-dir[0], -dir[1], -dir[2]}, right = {-dir[2], 0, dir[0]};
        float rl = std::hypot(right[0], right[2]);
        if (rl < 1e-6f) right = {1, 0, 0}, rl = 1;
        right = {right[0] / rl, 0, right[2] / rl};
        std::array<float, 3> up = {back[1] * right[2] - back[2] * right[1], back[2] * right[0] - back[0] * right[2],
                                   back[0] * right[1] - back[1] * right[0]};
        GLfloat m[16] = {right[0], up[0], back[0], 0, right[1], up[1], back[1], 0, right[2], up[2], back[2], 0, 0, 0, 0, 1};
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(m);
        glTranslatef(-eye[0], -eye[1], -eye[2]);
        terrain_draw();
        glFinish();
        std::vector<uint8_t> rows((size_t)width * height_px * 3), top((size_t)width * height_px * 3);
        glReadPixels(0, 0, width, height_px, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
        for (int y = 0; y < height_px; y++)
            memcpy(&top[(size_t)y * width * 3], &rows[(size_t)(height_px - 1 - y) * width * 3], (size_t)width * 3);
        mkdir("terrain_shots", 0755);
        std::vector<uint8_t> png;
        if (encode_png(top.data(), width, height_px, 3, nullptr, png))
            save_file_bytes((std::string("terrain_shots/") + name + ".png").c_str(), png);
        return top;
    }
    // Pixels still showing the clear colour in rows [from, to) of a picture.
    int holes(const std::vector<uint8_t>& p, int from, int to) const {
        int n = 0;
        for (int y = from; y < to; y++)
            for (int x = 0; x < width; x++) {
                const uint8_t* q = &p[((size_t)y * width + x) * 3];
                n += q[0] == 255 && q[1] == 0 && q[2] == 255;
            }
        return n;
    }
};

TEST_F(rabbit_hill_gl, GroundDrawsWithoutHolesFromEveryCamera) {
    render_settings.ground_texture_size = 256;
    render_settings.ground_texture_reduction = 1;
    // The track load sets the ground textures up through its hook, with the
    // method of the "Terrain Rendering Method" setting.
    settings.render_texture = 0;
    current_track_dir = "rabbithill";
    ASSERT_TRUE(load_track());
    EXPECT_TRUE(terrain_textures_ready());
    EXPECT_EQ(terrain_method(), terrain_method_texsubimage);
    EXPECT_EQ(terrain_texture_size(), 256);
    ASSERT_GE(track_decals().size(), 3u);  // the chalk lines and braking ruts
    for (int method : {terrain_method_texsubimage, terrain_method_framebuffer}) {
        if (method == terrain_method_framebuffer && !gl_caps.has_framebuffer_object) continue;
        terrain_textures_setup(method);
        std::string m = method == terrain_method_texsubimage ? "software" : "framebuffer";
        // Straight down over the middle: all ground.
        std::vector<uint8_t> p = shoot({320, terrain.height_max + 40, 320}, {0.05f, -1, 0.1f}, (m + "_overhead").c_str());
        EXPECT_EQ(holes(p, 0, height_px), 0) << m;
        // Over the track at rider height, and a high view across the field:
        // the lower part of the picture is ground.
        struct view {
            std::array<float, 3> eye, dir;
            const char* name;
        };
        for (const view& v : {view{{300, 0, 420}, {1, -0.25f, -0.6f}, "low"}, view{{40, 0, 40}, {1, -0.45f, 1}, "corner"},
                              view{{600, 0, 300}, {-1, -0.2f, 0.1f}, "across"}}) {
            std::array<float, 3> eye = v.eye;
            eye[1] = height_at(eye[0], eye[2]) + 6;
            p = shoot(eye, v.dir, (m + "_" + v.name).c_str());
            EXPECT_EQ(holes(p, height_px * 2 / 3, height_px), 0) << m << " " << v.name;
        }
        // The finish line's chalk and the first braking ruts, close up.
        for (size_t k : {(size_t)0, (size_t)2}) {
            const decal& d = track_decals()[k];
            std::array<float, 3> eye = {d.x + 12, 0, d.z + 12};
            eye[1] = height_at(eye[0], eye[2]) + 6;
            float at = height_at(d.x, d.z);
            p = shoot(eye, {d.x - eye[0], at - eye[1], d.z - eye[2]}, (m + "_decal" + std::to_string(k)).c_str());
            EXPECT_EQ(holes(p, height_px / 2, height_px), 0) << m << " decal " << k;
        }
        // From high over the field's edge, the whole lap.
        shoot({600, 150, 300}, {-1, -0.7f, 0.1f}, (m + "_lap").c_str());
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    }
}

}  // namespace
