// The generated models and textures of the data archive: all there, all
// readable, and each model where its body is. The body positions are the
// shared geometry every model of the bike table has.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "bike/bike_info.h"
#include "render/model.h"
#include "render/texture.h"
#include "texture_test_util.h"
#include "vfs/vfs.h"

namespace {

// Frame, forks and swingarm positions; wheel centres.
const float frame_at[3] = {0, 1.98f, 3.6f}, fork_upper_at[3] = {0, 2.9f, 2.16f}, fork_lower_at[3] = {0, 1.77f, 1.59f},
            swingarm_at[3] = {0, 1.34f, 4.99f};

struct archive_fixture : ::testing::Test {
    vfs_sandbox box;
    void SetUp() override {
        std::string archive = std::string(QX_BIN_DIR) + "/zzzz.saf";
        if (!std::filesystem::exists(archive)) GTEST_SKIP() << "no data archive at " << archive;
        std::filesystem::copy_file(archive, box.root1() + "zzzz.saf");
        vfs_shutdown();
        file_list();  // start-up builds the index before anything loads
        models_init(false);
        textures_init();
        clear_message_history();
    }
    void TearDown() override {
        models_free();
        textures_free();
        vfs_shutdown();
    }
    // World bounds of a model placed at `origin`.
    void world_bounds(const model* m, const float* origin, float lo[3], float hi[3]) {
        ASSERT_NE(m, nullptr);
        for (int c = 0; c < 3; c++) {
            lo[c] = m->bounds_min[c] + origin[c];
            hi[c] = m->bounds_max[c] + origin[c];
        }
    }
};

std::set<std::string> family_prefixes() {
    std::set<std::string> out;
    const std::string tail = "_frame.jm";
    for (const char* const* p = file_list(); *p; p++) {
        std::string n = *p;
        if (n.size() > 3 && n.compare(n.size() - 3, 3, ".gz") == 0) n.resize(n.size() - 3);
        if (n.size() > tail.size() && n.compare(n.size() - tail.size(), tail.size(), tail) == 0 && n.find('/') == std::string::npos)
            out.insert(n.substr(0, n.size() - tail.size()));
    }
    return out;
}

TEST_F(archive_fixture, EveryFamilyHasItsModelsTexturesAndVariants) {
    std::set<std::string> families = family_prefixes();
    EXPECT_GE(families.size(), 50u);
    EXPECT_TRUE(families.count("cr125"));
    for (const std::string& f : families) {
        for (const char* part : {"_frame", "_fork_upper", "_fork_lower", "_swingarm", "_side_plates", "_front_plate"}) {
            std::string name = "@" + f + part + ".jm";
            model* m = model_load(name.c_str());
            ASSERT_NE(m, nullptr) << name;
            EXPECT_GT(m->meshes.size(), 0u) << name;
        }
        std::vector<const char*> names, labels;
        list_texture_variants((f + "-").c_str(), names, labels);
        EXPECT_GE(names.size(), 3u) << f;  // "default" and at least two more
        unsigned id = texture_load(("@" + f + ".png").c_str());
        ASSERT_NE(id, 0u) << f;
        EXPECT_NE(texture_of(id)->info_text.find("[numberbackground:"), std::string::npos) << f;
    }
    for (const char* prefix : {"rider_body-", "rider_head-", "wheels-"}) {
        std::vector<const char*> names, labels;
        list_texture_variants(prefix, names, labels);
        EXPECT_GE(names.size(), 3u) << prefix;
    }
    for (const char* t : {"@wheels.png", "@rider_body.png", "@rider_head.png", "@colors/white.png", "@roost.png",
                          "@startgate.ppm"})
        EXPECT_NE(texture_load(t), 0u) << t;
    EXPECT_FALSE(message_shown("degenerate")) << message_line(0);
    EXPECT_FALSE(message_shown("bone influences"));
}

TEST_F(archive_fixture, BikeModelsSitOnTheirBodies) {
    float lo[3], hi[3];
    world_bounds(model_load("@cr125_frame.jm"), frame_at, lo, hi);
    EXPECT_NEAR(lo[2], 2.0, 0.25);  // head tube at the front
    EXPECT_NEAR(hi[2], 7.05, 0.2);  // rear fender
    EXPECT_GT(lo[1], 0.4);          // clear of the ground
    EXPECT_NEAR(hi[1], 3.7, 0.15);
    EXPECT_LT(hi[0], 0.9);
    EXPECT_NEAR(lo[0], -hi[0], 0.15);

    world_bounds(model_load("@cr125_fork_upper.jm"), fork_upper_at, lo, hi);
    EXPECT_NEAR(hi[0], 1.18, 0.08);  // bar ends just past the grips
    EXPECT_NEAR(hi[1], 4.1, 0.12);   // grips
    EXPECT_LT(lo[2], 1.0);           // the fender reaches ahead of the axle
    EXPECT_GT(lo[1], 1.55);          // the stanchions end inside the sliders

    world_bounds(model_load("@cr125_fork_lower.jm"), fork_lower_at, lo, hi);
    EXPECT_NEAR(lo[1], 1.09 - 0.12, 0.06);  // down to the axle
    EXPECT_LT(hi[1], 2.9);
    EXPECT_NEAR(hi[0], 0.5, 0.1);

    world_bounds(model_load("@cr125_swingarm.jm"), swingarm_at, lo, hi);
    EXPECT_NEAR(lo[2], 3.9, 0.15);  // from the pivot
    EXPECT_NEAR(hi[2], 6.15, 0.1);  // past the rear axle
    EXPECT_NEAR(hi[0], 0.46, 0.06);

    world_bounds(model_load("@cr125_side_plates.jm"), frame_at, lo, hi);
    EXPECT_NEAR(hi[0], 0.36, 0.02);
    EXPECT_NEAR(lo[0], -0.36, 0.02);
    world_bounds(model_load("@cr125_front_plate.jm"), fork_upper_at, lo, hi);
    EXPECT_LT(lo[2], 2.16);  // ahead of the fork

    const float origin[3] = {0, 0, 0};
    world_bounds(model_load("@front_wheel.jm"), origin, lo, hi);
    EXPECT_NEAR(hi[1], 1.1667, 0.06);  // the tire's outer radius
    EXPECT_NEAR(lo[2], -1.1667, 0.06);
    EXPECT_LT(hi[0], 0.34);
    world_bounds(model_load("@rear_wheel.jm"), origin, lo, hi);
    EXPECT_NEAR(hi[1], 1.0833, 0.06);
    EXPECT_NEAR(lo[1], -1.0833, 0.06);
}

TEST_F(archive_fixture, RiderModelsFitTheRestPose) {
    model* body = model_load("@rider_body.jm");
    ASSERT_NE(body, nullptr);
    for (const mesh& me : body->meshes) EXPECT_EQ(me.bone_count, 9);
    // Arms out along x to the hands (elbow 1.456 + forearm 1.15), feet below
    // the knees by the shin length, the neck under the head point.
    EXPECT_NEAR(body->bounds_max[0], 2.606 + 0.15, 0.05);
    EXPECT_NEAR(body->bounds_min[0], -2.606 - 0.15, 0.05);
    EXPECT_NEAR(body->bounds_min[1], -2.208 - 1.701, 0.05);
    EXPECT_NEAR(body->bounds_max[1], 1.15, 0.1);
    EXPECT_LT(body->bounds_min[2], -0.3);  // the boots' toes point forward

    model* fp = model_load("@rider_body_fp.jm");
    ASSERT_NE(fp, nullptr);
    // The first-person body leaves out the chest and neck in front of the eyes.
    EXPECT_LT(fp->meshes[0].triangle_count, body->meshes[0].triangle_count);
    EXPECT_NEAR(fp->bounds_min[1], body->bounds_min[1], 0.01);
    EXPECT_NEAR(fp->bounds_max[0], body->bounds_max[0], 0.01);

    model* plate = model_load("@rider_plate.jm");
    ASSERT_NE(plate, nullptr);
    EXPECT_EQ(plate->meshes[0].bone_count, 9);
    EXPECT_GT(plate->bounds_min[2], 0.3);  // on the back

    model* head = model_load("@rider_head.jm");
    ASSERT_NE(head, nullptr);
    for (int c = 0; c < 3; c++) {
        EXPECT_LT(head->bounds_max[c], 0.8) << c;
        EXPECT_GT(head->bounds_min[c], -0.8) << c;
    }
    EXPECT_LT(head->bounds_min[2], -0.6);  // the peak in front of the face

    model* gate = model_load("@startgate.jm");
    ASSERT_NE(gate, nullptr);
    // Stored fallen: the hinge on the origin, the grate ahead of it and sunk
    // below the ground (the race raises it upright).
    EXPECT_NEAR(gate->bounds_max[2], 0.05, 0.03);
    EXPECT_LT(gate->bounds_min[2], -1.5);
    EXPECT_LT(gate->bounds_max[1], 0.2);
    EXPECT_LT(gate->bounds_min[1], -0.5);
}

// Bikes and riders further off are drawn from coarser versions: 8, 16, 32
// and 64 feet away, each lighter than the one nearer (in triangles and in draws),
// with the same outline; the skinned rider's versions follow the same bones.
TEST_F(archive_fixture, FarBikesAndRidersHaveCoarserVersionsOfTheSameSize) {
    auto triangles = [](const model& m) {
        size_t n = 0;
        for (const mesh& me : m.meshes) n += me.triangles.size() / 3;
        return n;
    };
    for (const char* name : {"@cr125_frame.jm", "@crf450v2017_fork_upper.jm", "@yz250_swingarm.jm", "@front_wheel.jm",
                             "@rear_wheel.jm", "@rider_body.jm", "@rider_head.jm"}) {
        model* full = model_load(name);
        ASSERT_NE(full, nullptr) << name;
        ASSERT_EQ(full->lods.size(), 4u) << name;
        size_t before = triangles(*full), draws = full->meshes.size();
        for (size_t k = 0; k < 4; k++) {
            const model::level& l = full->lods[k];
            EXPECT_EQ(l.distance, 8 << k) << name;
            ASSERT_NE(l.version, nullptr);
            size_t now = triangles(*l.version);
            EXPECT_LT(now, before) << name << " at " << l.distance;
            EXPECT_GT(now, 0u);
            EXPECT_LE(l.version->meshes.size(), draws) << name << " at " << l.distance;
            draws = l.version->meshes.size();
            for (const mesh& me : l.version->meshes) {
                EXPECT_EQ(me.bone_count, full->meshes[0].bone_count) << name << " at " << l.distance;
                for (size_t v = 0; v * 4 < me.weights.size(); v++) {
                    float sum = me.weights[v * 4] + me.weights[v * 4 + 1] + me.weights[v * 4 + 2] + me.weights[v * 4 + 3];
                    ASSERT_NEAR(sum, 1.0f, 1e-3f) << name << " vertex " << v << " at " << l.distance;
                }
            }
            for (int c = 0; c < 3; c++) {
                EXPECT_NEAR(l.version->bounds_min[c], full->bounds_min[c], 0.12) << name << " at " << l.distance;
                EXPECT_NEAR(l.version->bounds_max[c], full->bounds_max[c], 0.12) << name << " at " << l.distance;
            }
            before = now;
        }
        // The default detail draws the full model near and the coarsest far.
        EXPECT_EQ(choose_lod(*full, 5.0 * 5, 1, 0), full) << name;
        EXPECT_EQ(choose_lod(*full, 70.0 * 70, 1, 0), full->lods[3].version.get()) << name;
        // From 64 feet on a part is a single draw.
        EXPECT_EQ(full->lods[3].version->meshes.size(), 1u) << name;
    }
    // The coarsest body still bends at every joint: each of the rider's bones
    // leads some of its vertices.
    model* body = model_load("@rider_body.jm");
    ASSERT_NE(body, nullptr);
    ASSERT_EQ(body->lods.size(), 4u);
    const mesh& far_body = body->lods[3].version->meshes[0];
    std::set<int> used;
    for (size_t k = 0; k < far_body.bones.size(); k++)
        if (far_body.weights[k] > 0.5f) used.insert((int)far_body.bones[k]);
    EXPECT_EQ(used.size(), (size_t)rider_bone_count);
    EXPECT_FALSE(message_shown("degenerate")) << message_line(0);
}

}  // namespace
