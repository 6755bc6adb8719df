#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/window.h"
#include "render/gl_caps.h"
#include "render/gl_ext.h"
#include "render/shaders.h"

namespace {

gl_identity driver(const char* version, const char* extensions) {
    gl_identity id;
    id.version = version;
    id.extensions = extensions;
    parse_gl_version(version, &id.major, &id.minor);
    return id;
}

const char* full_list =
    "GL_ARB_multitexture GL_ARB_vertex_shader GL_ARB_fragment_shader GL_EXT_framebuffer_object "
    "GL_SGIS_generate_mipmap";

TEST(gl_caps, ExtensionsMatchWholeWordsOnly) {
    EXPECT_TRUE(has_extension("GL_ARB_multitexture", "GL_ARB_multitexture"));
    EXPECT_TRUE(has_extension("GL_A GL_ARB_multitexture GL_B", "GL_ARB_multitexture"));
    EXPECT_FALSE(has_extension("GL_ARB_multitexture_foo", "GL_ARB_multitexture"));
    EXPECT_FALSE(has_extension("XGL_ARB_multitexture GL_B", "GL_ARB_multitexture"));
    // A prefix occurrence followed later by the real one still counts.
    EXPECT_TRUE(has_extension("GL_ARB_multitexture_foo GL_ARB_multitexture", "GL_ARB_multitexture"));
    EXPECT_FALSE(has_extension("", "GL_ARB_multitexture"));
    EXPECT_FALSE(has_extension("GL_X", ""));
}

TEST(gl_caps, SoftwareRasterisersAreKnownByTheirRendererString) {
    for (const char* r : {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Mesa X11 swrast", "Software Rasterizer"})
        EXPECT_TRUE(software_rasterizer(r)) << r;
    for (const char* r : {"AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6, DRM 3.49, 6.1.0)",
                          "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "NVIDIA GeForce GTX 1060/PCIe/SSE2", "NULL"})
        EXPECT_FALSE(software_rasterizer(r)) << r;
}

TEST(gl_caps, DecisionsFollowDriverAndSettings) {
    gl_choice_settings s;
    s.use_shader = 1;
    s.render_texture = 4;  // "Shaders/Direct"
    gl_capabilities c = decide_capabilities(driver("2.1 Mesa", full_list), 8, s, true);
    EXPECT_TRUE(c.has_multitexture && c.has_framebuffer_object && c.has_generate_mipmap);
    EXPECT_TRUE(c.shaders_supported);
    EXPECT_TRUE(c.use_shaders);
    EXPECT_TRUE(c.terrain_shaders);
    EXPECT_TRUE(c.compressed_textures);
    EXPECT_EQ(c.texture_units, 8);

    // Two texture units: no shader programs.
    c = decide_capabilities(driver("2.1", full_list), 2, s, true);
    EXPECT_FALSE(c.shaders_supported);
    EXPECT_FALSE(c.use_shaders);
    EXPECT_FALSE(c.terrain_shaders);

    // No shader extensions.
    c = decide_capabilities(driver("2.1", "GL_ARB_multitexture GL_EXT_framebuffer_object"), 8, s, true);
    EXPECT_FALSE(c.shaders_supported);
    EXPECT_FALSE(c.use_shaders);

    // Major version 1: no compressed textures.
    c = decide_capabilities(driver("1.5.0", full_list), 8, s, true);
    EXPECT_FALSE(c.compressed_textures);

    // Texture units are only asked with multitexture.
    c = decide_capabilities(driver("2.0", "GL_ARB_fragment_shader"), 8, s, true);
    EXPECT_EQ(c.texture_units, 0);
    EXPECT_FALSE(c.shaders_supported);

    // Settings: shaders off, software terrain, mipmaps off, programs that failed.
    s.render_texture = 0;
    s.ground_mipmaps = 0;
    c = decide_capabilities(driver("2.1", full_list), 8, s, true);
    EXPECT_TRUE(c.use_shaders);
    EXPECT_FALSE(c.terrain_shaders);
    EXPECT_FALSE(c.ground_mipmaps);
    c = decide_capabilities(driver("2.1", full_list), 8, s, false);
    EXPECT_FALSE(c.use_shaders);
    s.use_shader = 0;
    c = decide_capabilities(driver("2.1", full_list), 8, s, true);
    EXPECT_FALSE(c.use_shaders);
    EXPECT_TRUE(c.shaders_supported);
}

TEST(gl_caps, VersionParsing) {
    int major, minor;
    parse_gl_version("4.5 (Compatibility Profile) Mesa 22.3.6", &major, &minor);
    EXPECT_EQ(major, 4);
    EXPECT_EQ(minor, 5);
    parse_gl_version("NULL", &major, &minor);
    EXPECT_EQ(major, 0);
    parse_gl_version(nullptr, &major, &minor);
    EXPECT_EQ(major, 0);
}

// A real context under X (Xvfb in CI).
struct gl_fixture : ::testing::Test {
    plix_window* w = nullptr;
    void SetUp() override {
        const char* d = getenv("DISPLAY");
        if (!d || !*d) GTEST_SKIP() << "no display";
        w = open_gl_window("gl test", 64, 64, 24, 0, 16, 0, 0);
        ASSERT_NE(w, nullptr);
        gl_probe();
    }
    void TearDown() override {
        if (!w) return;
        delete_programs();
        close_gl_window(w);
    }
};

TEST_F(gl_fixture, AllSevenProgramsBuildAndSwitch) {
    ASSERT_TRUE(gl_caps.shaders_supported) << gl_driver.renderer;
    ASSERT_TRUE(build_programs());
    for (int slot = 1; slot < program_slots; slot++) EXPECT_NE(program_handle(slot), 0u) << slot;
    EXPECT_EQ(program_handle(0), 0u);
    EXPECT_EQ(program_handle(8), 0u);
    reset_shader_changes();
    use_program(program_norm_env);
    use_program(program_norm_env);
    EXPECT_EQ(shader_changes(), 1);
    use_program(9);
    EXPECT_EQ(current_program(), program_norm_env);
    use_program(program_lit);
    // 40 bones are cut to 32 rather than overrunning the arrays.
    float c[40 * 3] = {}, t[40 * 3] = {}, r[40 * 9] = {};
    set_bones(40, c, t, r);
    GLint nbones = -1;
    GLint at = glext.GetUniformLocationARB(program_handle(program_lit), "nbones");
    glext.GetUniformivARB(program_handle(program_lit), at, &nbones);
    EXPECT_EQ(nbones, 32);
    const float m[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    set_env_matrix(m);
    EXPECT_EQ(current_program(), 0);
    GLfloat got[9];
    at = glext.GetUniformLocationARB(program_handle(program_env), "envmat");
    glext.GetUniformfvARB(program_handle(program_env), at, got);
    EXPECT_EQ(got[1], 2.0f);  // column 0 of the uploaded matrix is m's first row: the transpose of m
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(gl_fixture, BrokenTerrainProgramLeavesNoProgram) {
    program_source broken[7];
    for (int i = 0; i < 7; i++) broken[i] = builtin_programs[i];
    broken[6].fragment = "void main() { this is not glsl }";
    EXPECT_FALSE(build_programs_from(broken));
    for (int slot = 1; slot < program_slots; slot++) EXPECT_EQ(program_handle(slot), 0u) << slot;
    gl_choice_settings s;
    gl_capabilities c = decide_capabilities(gl_driver, gl_caps.texture_units, s, false);
    EXPECT_FALSE(c.use_shaders);
}

// The lit program draws a white textured quad: with full ambient light the
// pixel is the texture colour, which shows the program runs end to end.
TEST_F(gl_fixture, LitProgramDrawsTextureColour) {
    ASSERT_TRUE(build_programs());
    glViewport(0, 0, 64, 64);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    GLuint texture;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    unsigned char texel[4] = {200, 100, 50, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glEnable(GL_TEXTURE_2D);
    GLfloat one[4] = {1, 1, 1, 1}, zero[4] = {0, 0, 0, 1};
    glLightfv(GL_LIGHT0, GL_AMBIENT, one);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, zero);
    glLightfv(GL_LIGHT0, GL_SPECULAR, zero);
    GLfloat no_model[4] = {0, 0, 0, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, no_model);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, one);
    glFogf(GL_FOG_DENSITY, 0.0f);
    use_program(program_lit);
    set_bones(0, nullptr, nullptr, nullptr);
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    use_program(0);
    unsigned char px[4] = {};
    glReadPixels(32, 32, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    EXPECT_NEAR(px[0], 200, 2);
    EXPECT_NEAR(px[1], 100, 2);
    EXPECT_NEAR(px[2], 50, 2);
    glDeleteTextures(1, &texture);
}

}  // namespace
