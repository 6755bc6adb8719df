#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "render/model.h"
#include "texture_test_util.h"

namespace {

bool parse(const std::string& text, model& m) {
    clear_message_history();
    if (!parse_model(text.c_str(), text.size(), "test.jm", m)) return false;
    int removed = remove_degenerate_triangles(m);
    if (removed) show_messagef("%d degenerate triangles deleted in %.100s", removed, "test.jm");
    finish_model(m);
    return true;
}

// A unit square in the x-y plane facing +z, u along x and v along y.
const char* square_vertices =
    "0 0 0  0 0 1  0 0\n"
    "1 0 0  0 0 1  1 0\n"
    "1 1 0  0 0 1  1 1\n"
    "0 1 0  0 0 1  0 1\n";

TEST(model_read, OldFormatWithABadIndexLosesOnlyThatTriangle) {
    model m;
    ASSERT_TRUE(parse(std::string("4 3\n") + square_vertices + "0 1 2\n0 2 3\n0 3 9\n", m));
    ASSERT_EQ(m.meshes.size(), 1u);
    const mesh& me = m.meshes[0];
    EXPECT_EQ(me.vertex_count, 4);
    EXPECT_EQ(me.triangle_count, 2);
    EXPECT_EQ(me.bone_count, 0);
    EXPECT_EQ(me.shininess, 1);
    for (float s : me.specular) EXPECT_EQ(s, 1);
    EXPECT_FLOAT_EQ(me.texcoords[1], 1.0f);  // v flipped on reading
    EXPECT_FLOAT_EQ(me.texcoords[5], 0.0f);
    EXPECT_TRUE(message_shown("1 degenerate triangles deleted in test.jm"));
    // A repeated index and a triangle without area are degenerate too.
    model d;
    ASSERT_TRUE(parse(std::string("4 3\n") + square_vertices + "0 1 1\n0 1 2\n-1 0 1\n", d));
    EXPECT_EQ(d.meshes[0].triangle_count, 1);
    EXPECT_TRUE(message_shown("2 degenerate triangles deleted"));
    model flat;
    ASSERT_TRUE(parse("3 1\n0 0 0 0 0 1 0 0\n1 1 1 0 0 1 0 0\n2 2 2 0 0 1 0 0\n0 1 2\n", flat));
    EXPECT_EQ(flat.meshes[0].triangle_count, 0);

    // A file that ends inside a list is no model.
    EXPECT_FALSE(parse(std::string("4 3\n") + square_vertices + "0 1 2\n0 2", m));
    EXPECT_FALSE(parse("4 1\n0 0 0 0 0 1 0 0\n", m));
    EXPECT_FALSE(parse("", m));
    EXPECT_FALSE(parse("-1 2\n", m));
    EXPECT_FALSE(parse("2000000000 1\n", m));
}

TEST(model_read, JmMeshesUntilOneCannotBeRead) {
    std::string text = std::string("JM1\n") + "20 0 0.5 0.5 0.5 4 2\n" + square_vertices + "0 1 2 0 2 3\n" +
                       "-2 0.75 1 0.5 0 4 1\n" + square_vertices + "0 1 2\n" +
                       "-1 0.5 1 1 1 4 1\n" + square_vertices + "0 2 3\n";
    model m;
    ASSERT_TRUE(parse(text, m));
    ASSERT_EQ(m.meshes.size(), 3u);
    EXPECT_EQ(m.meshes[0].shininess, 20);
    EXPECT_EQ(m.meshes[0].specular[3], 1);  // alpha 1 for ordinary meshes
    EXPECT_EQ(m.meshes[0].specular[0], 0.5f);
    EXPECT_EQ(m.meshes[1].shininess, -2);
    EXPECT_EQ(m.meshes[1].specular[3], 0.75f);
    EXPECT_TRUE(m.reflective);

    // An incomplete mesh is dropped; the ones before it stay.
    model cut;
    ASSERT_TRUE(parse(text + "1 1 1 1 1 4 2\n" + square_vertices + "0 1 2 0", cut));
    EXPECT_EQ(cut.meshes.size(), 3u);
    ASSERT_TRUE(parse(text + "1 1 1 1 1 4 2\n0 0 0 1", cut));
    EXPECT_EQ(cut.meshes.size(), 3u);
    // So is one with counts no file can have.
    ASSERT_TRUE(parse(text + "1 1 1 1 1 -4 2\n", cut));
    EXPECT_EQ(cut.meshes.size(), 3u);
    ASSERT_TRUE(parse(text + "1 1 1 1 1 4 999999999\n", cut));
    EXPECT_EQ(cut.meshes.size(), 3u);
    // Nothing readable at all, or an unknown version: no model.
    EXPECT_FALSE(parse("JM1\n1 2 3\n", cut));
    EXPECT_FALSE(parse(std::string("JM3\n20 0 0.5 0.5 0.5 4 0\n") + square_vertices, cut));
    EXPECT_FALSE(parse("JM", cut));
}

std::string skinned_vertex(float x, const std::string& weights) {
    return std::to_string(x) + " 0 0  0 0 1  0 0  " + weights + "\n";
}

TEST(model_read, BoneWeightsKeepFourAndNormalise) {
    std::string text = "JM2 6 rider\n1 1 1 1 1 3 1\n";
    text += skinned_vertex(0, "0.1 0.2 0.3 0.4 0.5 0.6");
    text += skinned_vertex(1, "0 0 0 0 0 0");
    text += skinned_vertex(0.5f, "1 2 3 4 5 6");
    text += "0 1 2\n";
    text += "1 1 1 1 1 1 0\n" + skinned_vertex(0, "6 5 4 3 2 1");
    model m;
    ASSERT_TRUE(parse(text, m));
    ASSERT_EQ(m.meshes.size(), 2u);
    const mesh& me = m.meshes[0];
    EXPECT_EQ(me.bone_count, 6);
    // Later weights take the slot of the smallest so far: bones 4 and 5 replace 0 and 1.
    const float expect_w[4] = {0.5f / 1.8f, 0.6f / 1.8f, 0.3f / 1.8f, 0.4f / 1.8f};
    const float expect_b[4] = {4, 5, 2, 3};
    for (int k = 0; k < 4; k++) {
        EXPECT_NEAR(me.weights[k], expect_w[k], 1e-6) << k;
        EXPECT_EQ(me.bones[k], expect_b[k]) << k;
    }
    // All zero: a quarter on bone 0 in every slot.
    for (int k = 4; k < 8; k++) {
        EXPECT_EQ(me.weights[k], 0.25f);
        EXPECT_EQ(me.bones[k], 0);
    }
    // One warning per mesh, however many vertices are crowded.
    EXPECT_EQ(messages_containing("Warning: vertex with more than 4 bone influences in 'test.jm'"), 2);
    // Rest pose kept for skinning.
    EXPECT_EQ(me.rest_positions, me.positions);

    EXPECT_FALSE(parse("JM2 33 many\n1 1 1 1 1 0 0\n", m));  // more bones than a pose carries
    EXPECT_FALSE(parse("JM2 -1 none\n1 1 1 1 1 0 0\n", m));
    EXPECT_FALSE(parse("JM2 2\n", m));
    // Weights missing at the end of the list.
    EXPECT_FALSE(parse("JM2 2 x\n1 1 1 1 1 1 0\n0 0 0 0 0 1 0 0 1\n", m));
}

TEST(model_read, TangentsDensityAndBounds) {
    model m;
    // The square scaled by 2 in x: u changes by 0.5 per unit along x.
    ASSERT_TRUE(parse(
        "4 2\n0 0 0 0 0 1 0 0\n2 0 0 0 0 1 1 0\n2 1 0 0 0 1 1 1\n0 1 0 0 0 1 0 1\n0 1 2 0 2 3\n", m));
    const mesh& me = m.meshes[0];
    for (int i = 0; i < 4; i++) {
        EXPECT_NEAR(me.tangents[i * 3], 1, 1e-6);
        EXPECT_NEAR(me.tangents[i * 3 + 1], 0, 1e-6);
    }
    EXPECT_NEAR(m.texture_density[0], 0.5, 1e-6);
    EXPECT_NEAR(m.texture_density[1], 1.0, 1e-6);
    EXPECT_EQ(m.bounds_max[0], 2);
    EXPECT_EQ(m.bounds_max[1], 1);
    EXPECT_EQ(m.bounds_min[0], 0);
    // No usable mapping: still a unit tangent square to the normal.
    model n;
    ASSERT_TRUE(parse("3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 0 0\n0 1 0 0 0 1 0 0\n0 1 2\n", n));
    const float* t = &n.meshes[0].tangents[0];
    EXPECT_NEAR(t[0] * t[0] + t[1] * t[1] + t[2] * t[2], 1, 1e-5);
    EXPECT_NEAR(t[2], 0, 1e-6);
}

TEST(model_read, WriterTextReadsBackTheSameModel) {
    std::string text = "JM2 3 arm\n10 1 0.25 0.5 0.75 3 1\n";
    text += "0 0 0  0 0 1  0.25 0.75  1 0 0\n";
    text += "1 0 0  0 1 0  0.5 0.5  0.5 0.5 0\n";
    text += "0 1 0  1 0 0  1 0  0 0.2 0.8\n";
    text += "0 1 2\n";
    model a;
    ASSERT_TRUE(parse(text, a));
    model b;
    ASSERT_TRUE(parse(model_text(a, "arm"), b));
    ASSERT_EQ(b.meshes.size(), 1u);
    const mesh& x = a.meshes[0];
    const mesh& y = b.meshes[0];
    EXPECT_EQ(y.bone_count, 3);
    EXPECT_EQ(y.shininess, x.shininess);
    EXPECT_EQ(y.triangles, x.triangles);
    for (size_t k = 0; k < x.positions.size(); k++) EXPECT_NEAR(y.positions[k], x.positions[k], 1e-5);
    for (size_t k = 0; k < x.texcoords.size(); k++) EXPECT_NEAR(y.texcoords[k], x.texcoords[k], 1e-5);
    // The same influences, slot order aside.
    for (int v = 0; v < 3; v++) {
        float wx[3] = {0, 0, 0}, wy[3] = {0, 0, 0};
        for (int j = 0; j < 4; j++) {
            wx[(int)x.bones[v * 4 + j]] += x.weights[v * 4 + j];
            wy[(int)y.bones[v * 4 + j]] += y.weights[v * 4 + j];
        }
        for (int b = 0; b < 3; b++) EXPECT_NEAR(wx[b], wy[b], 1e-4) << v << " " << b;
    }
    model rigid;
    ASSERT_TRUE(parse(std::string("4 2\n") + square_vertices + "0 1 2 0 2 3\n", rigid));
    std::string rt = model_text(rigid);
    EXPECT_EQ(rt.rfind("JM1\n", 0), 0u);
    model back;
    ASSERT_TRUE(parse(rt, back));
    EXPECT_EQ(back.meshes[0].texcoords, rigid.meshes[0].texcoords);
}

TEST(model_read, SkinningOnTheProcessor) {
    std::string text = "JM2 2 pair\n1 1 1 1 1 2 0\n";
    text += "1 0 0  1 0 0  0 0  1 0\n";
    text += "1 0 0  1 0 0  0 0  0.5 0.5\n";
    model m;
    ASSERT_TRUE(parse(text, m));
    mesh& me = m.meshes[0];
    // Bone 0 turns a quarter about z around (0,0,0) and moves by (0,0,5);
    // bone 1 stays.
    const float centres[6] = {0, 0, 0, 0, 0, 0};
    const float moves[6] = {0, 0, 5, 0, 0, 0};
    const float turns[18] = {0, -1, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    model_pose pose{2, centres, moves, turns};
    ASSERT_TRUE(skin_mesh(me, pose));
    EXPECT_NEAR(me.positions[0], 0, 1e-6);
    EXPECT_NEAR(me.positions[1], 1, 1e-6);
    EXPECT_NEAR(me.positions[2], 5, 1e-6);
    EXPECT_NEAR(me.normals[1], 1, 1e-6);
    EXPECT_NEAR(me.positions[3], 0.5, 1e-6);
    EXPECT_NEAR(me.positions[4], 0.5, 1e-6);
    EXPECT_NEAR(me.positions[5], 2.5, 1e-6);
    float n = std::hypot(me.normals[3], me.normals[4], me.normals[5]);
    EXPECT_NEAR(n, 1, 1e-6);
    // Skinning again starts from the rest pose, not from the last result.
    ASSERT_TRUE(skin_mesh(me, pose));
    EXPECT_NEAR(me.positions[1], 1, 1e-6);
    // A pose with fewer bones than the mesh is refused.
    model_pose short_pose{1, centres, moves, turns};
    EXPECT_FALSE(skin_mesh(me, short_pose));
}

}  // namespace
