#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "core/diag.h"
#include "vfs/vfs.h"
#include "render/shape_file.h"
#include "testkit/testkit.h"

namespace {

struct shape_fixture : ::testing::Test {
    temp_dir dir;
    void SetUp() override { shape_cache_free(); }
    void TearDown() override { shape_cache_free(); }
    std::string put(const std::string& name, const std::string& text) {
        write_file(dir.file(name), text);
        return dir.file(name);
    }
};

TEST_F(shape_fixture, ReadsSpheresAndBoundingRadius) {
    // Free of line structure: any white space separates the numbers, and
    // whatever follows the last sphere is not read.
    std::string path = put("two.shp", "2\n0 0 0\n1 1 25000 2500\n  0\t3 4 0.5\n1\n25000 2500 trailing junk");
    const collision_shape* s = shape_load(path.c_str());
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->spheres.size(), 2u);
    EXPECT_FLOAT_EQ(s->bounding_radius, 5.5f);
    EXPECT_EQ(s->name, path);
    EXPECT_EQ(s->source, nullptr);
    const collision_sphere& b = s->spheres[1];
    EXPECT_FLOAT_EQ(b.center[1], 3);
    EXPECT_FLOAT_EQ(b.center[2], 4);
    EXPECT_FLOAT_EQ(b.radius, 0.5f);
    EXPECT_FLOAT_EQ(b.friction, 1);
    EXPECT_FLOAT_EQ(b.stiffness, 25000);
    EXPECT_FLOAT_EQ(b.damping, 2500);

    const collision_shape* empty = shape_load(put("none.shp", "0").c_str());
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->spheres.empty());
    EXPECT_EQ(empty->bounding_radius, 0);
}

TEST_F(shape_fixture, FailedLoadsCacheNothingAndAreRetried) {
    std::string path = put("short.shp", "2 0 0 0 1 1 25000 2500 0 3 4 0.5 1 25000");
    EXPECT_EQ(shape_load(path.c_str()), nullptr);
    EXPECT_EQ(shape_cache_size(), 0);
    put("short.shp", "2 0 0 0 1 1 25000 2500 0 3 4 0.5 1 25000 2500");
    const collision_shape* s = shape_load(path.c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->spheres.size(), 2u);

    EXPECT_EQ(shape_load(dir.file("missing.shp").c_str()), nullptr);
    EXPECT_EQ(shape_load(put("words.shp", "two spheres").c_str()), nullptr);
    EXPECT_EQ(shape_load(put("blank.shp", "").c_str()), nullptr);
    EXPECT_EQ(shape_load(""), nullptr);
    EXPECT_EQ(shape_load(nullptr), nullptr);
    EXPECT_EQ(shape_cache_size(), 1);
}

TEST_F(shape_fixture, RefusesValuesNoContactCanUse) {
    const char* bad[] = {
        "-1",                                 // negative count
        "2147483647 0 0 0 1 1 25000 2500",    // absurd count
        "1 0 0 0 0 1 25000 2500",             // zero radius
        "1 0 0 0 -0.5 1 25000 2500",          // negative radius
        "1 0 0 0 1 1 0 0",                    // no stiffness and no damping: infinite CFM
        "1 0 0 0 1 1 -25000 2500",            // negative stiffness
        "1 0 0 0 1 1 25000 -1",               // negative damping
        "1 0 0 0 1 -1 25000 2500",            // negative friction
        "1 nan 0 0 1 1 25000 2500",           // not a number
        "1 0 0 0 inf 1 25000 2500",           // infinite radius
        "1 5000 500 1e35 1 0 0 250",          // finite, but its reach overflows a float
        "1 0 0 0 2e6 1 25000 2500",           // a sphere bigger than any track
    };
    int i = 0;
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_EQ(shape_load(put("bad" + std::to_string(i++) + ".shp", text).c_str()), nullptr);
    }
    EXPECT_EQ(shape_cache_size(), 0);
    // Only one of stiffness and damping is needed.
    EXPECT_NE(shape_load(put("soft.shp", "1 0 0 0 1 0 0 250").c_str()), nullptr);
}

TEST_F(shape_fixture, CacheIsByExactNameAndCopiesAreOwned) {
    vfs_sandbox box;
    write_file(box.root1() + "Ball.shp", "1 0 1 0 0.5 0.8 5000 500");
    file_list();  // the index resolves "@" names whatever their case
    const collision_shape* a = shape_load("@Ball.shp");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(shape_load("@Ball.shp"), a);
    // The file system finds the file whatever the case, but the cache does
    // not: another spelling is a shape of its own.
    const collision_shape* b = shape_load("@ball.shp");
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(shape_cache_size(), 2);

    collision_shape c1, c2;
    ASSERT_TRUE(shape_copy("@Ball.shp", c1));
    ASSERT_TRUE(shape_copy("@Ball.shp", c2));
    EXPECT_EQ(c1.source, a);
    EXPECT_EQ(c2.source, a);
    EXPECT_EQ(c1.name, "@Ball.shp");
    EXPECT_FLOAT_EQ(c1.bounding_radius, 1.5f);
    c1.spheres[0].radius = 9;
    EXPECT_FLOAT_EQ(a->spheres[0].radius, 0.5f);
    EXPECT_FLOAT_EQ(c2.spheres[0].radius, 0.5f);
    EXPECT_EQ(shape_cache_size(), 2);

    collision_shape untouched;
    untouched.name = "keep";
    EXPECT_FALSE(shape_copy("@nothing.shp", untouched));
    EXPECT_EQ(untouched.name, "keep");
}

TEST_F(shape_fixture, WriterRoundTripsExactly) {
    collision_shape s;
    s.spheres.push_back({{0.1f, -1.98f, 1.0f / 3}, 0.3333333f, 0.5f, 25000, 2500});
    s.spheres.push_back({{-0.4166667f, 2.5e-7f, 12345.678f}, 1e-3f, 0, 0, 0.125f});
    // Numbers are written the same whatever the process locale.
    const char* old = setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    setlocale(LC_NUMERIC, "de_DE.UTF-8");
    std::string text = shape_text(s);
    setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(text.find(','), std::string::npos);
    EXPECT_EQ(text.substr(0, 2), "2\n");

    const collision_shape* back = shape_load(put("round.shp", text).c_str());
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->spheres.size(), 2u);
    for (int i = 0; i < 2; i++) {
        const collision_sphere &a = s.spheres[i], &b = back->spheres[i];
        for (int k = 0; k < 3; k++) EXPECT_EQ(a.center[k], b.center[k]);
        EXPECT_EQ(a.radius, b.radius);
        EXPECT_EQ(a.friction, b.friction);
        EXPECT_EQ(a.stiffness, b.stiffness);
        EXPECT_EQ(a.damping, b.damping);
    }
    EXPECT_FLOAT_EQ(back->bounding_radius, shape_bounding_radius(s));
}

}  // namespace
