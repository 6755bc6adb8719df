// Models drawn in a real GL context (Xvfb in CI).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "core/cmdline.h"
#include "platform/window.h"
#include "render/gl_caps.h"
#include "render/gl_ext.h"
#include "render/model.h"
#include "render/shaders.h"
#include "texture_test_util.h"
#include "vfs/vfs.h"

namespace {

constexpr int size = 128;

struct model_gl_fixture : ::testing::Test {
    plix_window* w = nullptr;
    vfs_sandbox box;
    gl_capabilities saved = gl_caps;
    run_options saved_cmdline = cmdline;
    void SetUp() override {
        const char* d = getenv("DISPLAY");
        if (!d || !*d) GTEST_SKIP() << "no display";
        w = open_gl_window("model test", size, size, 24, 0, 24, 0, 0);
        ASSERT_NE(w, nullptr);
        gl_probe();
        saved = gl_caps;
        models_init(true);
    }
    void TearDown() override {
        cmdline = saved_cmdline;
        if (!w) return;
        models_free();
        delete_programs();
        gl_caps = saved;
        close_gl_window(w);
    }
    std::string file(const std::string& name) const { return box.root1() + name; }
    // The lit program multiplies by the texture: a white one stands in.
    void white_texture() {
        GLuint id;
        glGenTextures(1, &id);
        glBindTexture(GL_TEXTURE_2D, id);
        const uint8_t white[4] = {255, 255, 255, 255};
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    }

    // Camera looking at the origin from +z, the model lit from the front.
    void begin(double distance, double half) {
        glViewport(0, 0, size, size);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-half, half, -half, half, 0.1, 100);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslated(0, 0, -distance);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glDisable(GL_TEXTURE_2D);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        const GLfloat pos[4] = {0.3f, 0.5f, 1, 0}, diffuse[4] = {0.8f, 0.8f, 0.8f, 1}, ambient[4] = {0.2f, 0.2f, 0.2f, 1};
        const GLfloat none[4] = {0, 0, 0, 1}, white[4] = {1, 1, 1, 1};
        glLightfv(GL_LIGHT0, GL_POSITION, pos);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
        glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
        glLightfv(GL_LIGHT0, GL_SPECULAR, none);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, white);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
        glFogf(GL_FOG_DENSITY, 0);
    }
    std::vector<uint8_t> pixels() {
        std::vector<uint8_t> px(size * size * 4);
        glReadPixels(0, 0, size, size, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        return px;
    }
};

int differing(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int tolerance) {
    int n = 0;
    for (size_t i = 0; i < a.size(); i += 4)
        for (int c = 0; c < 3; c++)
            if (std::abs(a[i + c] - b[i + c]) > tolerance) {
                n++;
                break;
            }
    return n;
}

int lit_pixels(const std::vector<uint8_t>& a) {
    int n = 0;
    for (size_t i = 0; i < a.size(); i += 4) n += a[i] + a[i + 1] + a[i + 2] > 30;
    return n;
}

// A pose that bends every bone: each turns about its own centre by a
// different angle around a different axis, and moves a little.
struct bent_pose {
    float c[9 * 3], t[9 * 3], r[9 * 9];
    explicit bent_pose(const model& m) {
        (void)m;
        const float centres[9][2] = {{-1.456f, 0.875f}, {1.456f, 0.875f}, {-0.556f, 0.875f}, {0.556f, 0.875f}, {-0.269f, -2.208f},
                                     {0.269f, -2.208f}, {-0.269f, -0.88f}, {0.269f, -0.88f},  {0, -0.88f}};
        for (int b = 0; b < 9; b++) {
            c[b * 3] = centres[b][0], c[b * 3 + 1] = centres[b][1], c[b * 3 + 2] = 0.01f;
            double a = 0.2 + 0.15 * b;
            double ax[3] = {b % 3 == 0 ? 1.0 : 0.3, b % 3 == 1 ? 1.0 : 0.2, b % 3 == 2 ? 1.0 : 0.4};
            double l = std::sqrt(ax[0] * ax[0] + ax[1] * ax[1] + ax[2] * ax[2]);
            for (double& x : ax) x /= l;
            double cs = std::cos(a), sn = std::sin(a), k = 1 - cs;
            double rot[9] = {cs + ax[0] * ax[0] * k,         ax[0] * ax[1] * k - ax[2] * sn, ax[0] * ax[2] * k + ax[1] * sn,
                             ax[1] * ax[0] * k + ax[2] * sn, cs + ax[1] * ax[1] * k,         ax[1] * ax[2] * k - ax[0] * sn,
                             ax[2] * ax[0] * k - ax[1] * sn, ax[2] * ax[1] * k + ax[0] * sn, cs + ax[2] * ax[2] * k};
            for (int i = 0; i < 9; i++) r[b * 9 + i] = (float)rot[i];
            for (int i = 0; i < 3; i++) t[b * 3 + i] = c[b * 3 + i] + (i == 2 ? 0.1f * b : 0.0f);
        }
    }
    model_pose pose() const { return model_pose{9, c, t, r}; }
};

TEST_F(model_gl_fixture, ShaderAndProcessorSkinningDrawTheSamePicture) {
    std::string archive = std::string(QX_BIN_DIR) + "/zzzz.saf";
    if (!std::filesystem::exists(archive)) GTEST_SKIP() << "no data archive";
    ASSERT_TRUE(gl_caps.shaders_supported) << gl_driver.renderer;
    ASSERT_TRUE(build_programs());
    std::filesystem::copy_file(archive, box.root1() + "zzzz.saf");
    vfs_shutdown();
    file_list();
    white_texture();

    auto draw_rider = [&](bool shaders) {
        gl_caps.use_shaders = shaders;
        models_init(true);
        model* m = model_load("@rider_body.jm");
        EXPECT_NE(m, nullptr);
        if (!m) return std::vector<uint8_t>();
        EXPECT_EQ(m->meshes[0].display_list != 0, shaders);  // skinned meshes get lists only with shaders
        bent_pose p(*m);
        model_pose pose = p.pose();
        begin(20, 4);
        use_program(program_lit);
        draw_model(*m, model_pass::normal, &pose);
        use_program(program_fixed);
        return pixels();
    };
    std::vector<uint8_t> gpu = draw_rider(true);
    std::vector<uint8_t> cpu = draw_rider(false);
    ASSERT_EQ(gpu.size(), cpu.size());
    EXPECT_GT(lit_pixels(gpu), size * size / 20);  // the rider fills part of the view
    EXPECT_LT(differing(gpu, cpu, 12), size * size / 200) << "of " << lit_pixels(gpu);
    // The bent pose really differs from the rest pose.
    models_init(true);
    model* rest = model_load("@rider_body.jm");
    ASSERT_NE(rest, nullptr);
    float c[27], t[27], r[81] = {};
    bent_pose p(*rest);
    for (int i = 0; i < 27; i++) c[i] = t[i] = p.c[i];
    for (int b = 0; b < 9; b++) r[b * 9] = r[b * 9 + 4] = r[b * 9 + 8] = 1;
    model_pose still{9, c, t, r};
    begin(20, 4);
    use_program(program_lit);
    draw_model(*rest, model_pass::normal, &still);
    use_program(program_fixed);
    EXPECT_GT(differing(pixels(), cpu, 12), size * size / 50);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

const char* quad_jm =
    "JM1\n"
    "10 0 0.2 0.2 0.2 4 2\n"
    "-1 -1 0  0 0 1  0 0\n 1 -1 0  0 0 1  1 0\n 1 1 0  0 0 1  1 1\n -1 1 0  0 0 1  0 1\n0 1 2 0 2 3\n";

TEST_F(model_gl_fixture, VertexArraysAndImmediateModeAgree) {
    write_file(file("quad.jm"), quad_jm);
    gl_caps.use_shaders = false;
    model* m = model_load(file("quad.jm").c_str());
    ASSERT_NE(m, nullptr);
    EXPECT_NE(m->meshes[0].display_list, 0u);
    begin(5, 2);
    draw_model(*m, model_pass::normal);
    std::vector<uint8_t> arrays = pixels();
    EXPECT_GT(lit_pixels(arrays), size * size / 5);
    cmdline.no_vertex_arrays = true;
    models_init(true);
    m = model_load(file("quad.jm").c_str());
    ASSERT_NE(m, nullptr);
    begin(5, 2);
    draw_model(*m, model_pass::normal);
    EXPECT_EQ(differing(arrays, pixels(), 2), 0);
    EXPECT_EQ(model_polygons_drawn() > 0, true);
    // Turned round, the quad shows its back and is culled.
    begin(5, 2);
    glRotated(180, 0, 1, 0);
    draw_model(*m, model_pass::normal);
    EXPECT_EQ(lit_pixels(pixels()), 0);
}

TEST_F(model_gl_fixture, SelfLitAndReflectionMeshes) {
    // Left quad: self-lit in red; right quad: a reflection mesh.
    write_file(file("modes.jm"),
               "JM1\n"
               "-2 1 1 0 0 4 2\n"
               "-1 -1 0 0 0 1 0 0\n 0 -1 0 0 0 1 1 0\n 0 1 0 0 0 1 1 1\n -1 1 0 0 0 1 0 1\n0 1 2 0 2 3\n"
               "-1 0.5 1 1 1 4 2\n"
               "0 -1 0 0 0 1 0 0\n 1 -1 0 0 0 1 1 0\n 1 1 0 0 0 1 1 1\n 0 1 0 0 0 1 0 1\n0 1 2 0 2 3\n");
    gl_caps.use_shaders = false;
    model* m = model_load(file("modes.jm").c_str());
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(m->reflective);
    begin(5, 2);
    // No light at all except what the self-lit mesh brings.
    const GLfloat none[4] = {0, 0, 0, 1};
    glLightfv(GL_LIGHT0, GL_DIFFUSE, none);
    glLightfv(GL_LIGHT0, GL_AMBIENT, none);
    draw_model(*m, model_pass::normal);
    std::vector<uint8_t> px = pixels();
    const uint8_t* left = &px[(size_t)(64 * size + 48) * 4];
    const uint8_t* right = &px[(size_t)(64 * size + 80) * 4];
    EXPECT_GT(left[0], 200);
    EXPECT_LT(left[1], 20);
    EXPECT_EQ(right[0] + right[1] + right[2], 0);  // skipped in the normal pass
    // The scene's light is as it was.
    GLfloat ambient[4];
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    EXPECT_EQ(ambient[0], 0);
    // The reflection pass draws only the reflection mesh.
    glDisable(GL_LIGHTING);
    glColor3f(1, 1, 1);
    begin(5, 2);
    glDisable(GL_LIGHTING);
    draw_model(*m, model_pass::reflection);
    px = pixels();
    EXPECT_GT(px[(size_t)(64 * size + 80) * 4], 200);
    EXPECT_EQ(px[(size_t)(64 * size + 48) * 4], 0);
}

}  // namespace
