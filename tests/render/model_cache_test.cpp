#include <gtest/gtest.h>

#include "core/cmdline.h"
#include "render/model.h"
#include "texture_test_util.h"
#include "vfs/saf.h"
#include "vfs/vfs.h"

namespace {

const char* triangle_jm = "3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n";

struct model_cache_fixture : ::testing::Test {
    vfs_sandbox box;
    void SetUp() override {
        models_init(false);
        clear_message_history();
    }
    void TearDown() override { models_free(); }
    std::string file(const std::string& name) const { return box.root1() + name; }
};

TEST_F(model_cache_fixture, LevelsOfDetailFromTheIndex) {
    write_file(file("bike.jm"), triangle_jm);
    write_file(file("bike_lod5.jm"), triangle_jm);
    std::vector<uint8_t> gz = gzip_bytes(triangle_jm, strlen(triangle_jm));
    write_file(file("bike_lod4.jm.gz"), std::vector<unsigned char>(gz.begin(), gz.end()));
    write_file(file("bike_lodx.jm"), triangle_jm);  // no number: not a level
    write_file(file("bike2_lod1.jm"), triangle_jm);  // another model's
    vfs_shutdown();  // the index is built anew with these files
    model* m = model_load("@bike.jm");
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->lods.size(), 2u);
    EXPECT_EQ(m->lods[0].distance, 16);
    EXPECT_EQ(m->lods[1].distance, 32);
    EXPECT_EQ(m->lods[0].version->name, "@bike_lod4.jm");
    EXPECT_EQ(m->lods[1].version->name, "@bike_lod5.jm");
    EXPECT_EQ(model_count(), 1);  // the levels belong to the model

    const model* near = m;
    EXPECT_EQ(choose_lod(*m, 10 * 10, 1, 0), near);
    EXPECT_EQ(choose_lod(*m, 16 * 16, 1, 0), m->lods[0].version.get());
    EXPECT_EQ(choose_lod(*m, 31 * 31, 1, 0), m->lods[0].version.get());
    EXPECT_EQ(choose_lod(*m, 40 * 40, 1, 0), m->lods[1].version.get());
    // Scale and bias: half the scale halves the reach, a bias beyond the
    // first distance keeps the full model.
    EXPECT_EQ(choose_lod(*m, 40 * 40, 0.5, 0), m->lods[0].version.get());
    EXPECT_EQ(choose_lod(*m, 1000 * 1000, 1, 20), near);
    EXPECT_EQ(choose_lod(*m, 12 * 12, 1, 4), m->lods[0].version.get());
    // Not an "@" name: no search.
    model* plain = model_load(file("bike.jm").c_str());
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(plain->lods.empty());
}

TEST_F(model_cache_fixture, CaseRuleGenerationsAndRelease) {
    write_file(file("Statue.jm"), triangle_jm);
    write_file(file("other.jm"), triangle_jm);
    write_file(file("third.jm"), triangle_jm);
    write_file(file("bad.jm"), "JM2 40 x\n");
    model* first = model_load("@Statue.jm");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->generation, 0);
    EXPECT_EQ(model_load("@statue.jm"), first);
    EXPECT_TRUE(message_shown("Warning: case mismatch on '@statue.jm'"));
    EXPECT_EQ(model_load("@bad.jm"), nullptr);
    EXPECT_EQ(model_load("@absent.jm"), nullptr);

    model_new_generation();
    model* other = model_load("@other.jm");
    model* third = model_load("@third.jm");
    model_new_generation();
    // Asked for again in the new load: kept; the others of load 1 go.
    EXPECT_EQ(model_load("@third.jm"), third);
    models_release();
    EXPECT_EQ(model_count(), 2);
    EXPECT_EQ(model_load("@Statue.jm"), first);
    EXPECT_EQ(third->generation, 2);
    (void)other;
    // Drawing in parse-only mode does nothing and is harmless.
    draw_model(*first, model_pass::normal);
    EXPECT_EQ(first->meshes[0].display_list, 0u);
}

}  // namespace
