// The track editor through its public calls: the view mapping and the brush
// rule, Snap, Smooth's disc mean, gradients and edinfo, the undo ring, and a
// save that reads back (or fails and says so).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "core/diag.h"
#include "editor/editor.h"
#include "race/race.h"
#include "race/timing_gates.h"
#include "track/decals.h"
#include "track/objects_billboards.h"
#include "track/track.h"
#include "track/track_fixture.h"
#include "vfs/vfs.h"

#include "editor_fixture.h"

namespace {

TEST(EditorBrush, RadiusFocusAndAHeldRaiseEndsAtOneStep) {
    editor_track t(8, 2.0f);  // extent 1024
    ASSERT_FLOAT_EQ(terrain.extent, 1024);
    set_number(*find_editor_setting("Radius"), 64);
    set_number(*find_editor_setting("Zoom"), 1);
    EXPECT_FLOAT_EQ(editor_brush_radius(), 32);
    EXPECT_FLOAT_EQ(editor_focus_radius(), 16);

    t.flatten_to(5);
    t.point_at(512, 512);
    set_number(*find_editor_setting("Strength"), 3);  // k = 8
    t.hold(128);  // one second: four actions
    float centre = t.h(256, 256);
    // Sample 12 cells (24 ft) out: inside R, beyond F.
    float tt = (24.0f - 16) / (32 - 16), w = 2 * tt * tt * tt - 3 * tt * tt + 1;
    EXPECT_NEAR(centre, 5 + 8, 1e-4);
    EXPECT_NEAR(t.h(256 + 12, 256), 5 + 8 * w, 1e-4);
    EXPECT_FLOAT_EQ(t.h(256 + 17, 256), 5);  // 34 ft: outside
    EXPECT_EQ(editor.status_text, "Update needed!");
    t.release();  // commits: the next stroke measures from the new ground
    t.hold(32);
    t.release();
    EXPECT_NEAR(t.h(256, 256), 5 + 16, 1e-4);
}

TEST(EditorBrush, SubModesAndGradientCreep) {
    editor_track t(6, 1.0f);
    // Raise Only: Smooth over a pit-and-peak pattern never lowers a sample.
    std::vector<float> before(terrain.heights, terrain.heights + (size_t)t.n() * t.n());
    editor.mode = 2;
    editor_settings.sub_mode = 1;
    editor_settings.radius = 400;
    t.point_at(32, 32);
    t.hold(64);
    t.release();
    int raised = 0;
    for (size_t k = 0; k < before.size(); k++) {
        ASSERT_GE(terrain.heights[k], before[k]);
        raised += terrain.heights[k] > before[k];
    }
    EXPECT_GT(raised, 100);

    // Gradient Linear Paint at Strength -5 moves 1/32 of the change per action.
    editor_settings.sub_mode = 0;
    t.flatten_to(0);
    editor.mode = 5;
    editor_new_gradient();
    gradient& g = editor.gradients.back();
    g.points = {{-1000, 10}, {1000, 10}};
    g.segment_types = {segment_line, segment_line};
    set_number(*find_editor_setting("Strength"), -5);
    t.point_at(16, 16);
    t.hold(32);
    EXPECT_NEAR(t.h(16, 16), 10.0f / 32, 1e-5);
    for (int i = 0; i < 32; i++) editor_tic();
    EXPECT_NEAR(t.h(16, 16), 20.0f / 32, 1e-5);
    t.release();
}

TEST(EditorBrush, SmoothDiscMeanMatchesTheClampedDisc) {
    editor_track t(6, 1.0f);  // N = 33
    struct c { int i, j, r; } cases[] = {{0, 0, 1}, {0, 0, 2}, {0, 0, 7}, {128, 5, 4}, {64, 64, 32}, {3, 127, 40}, {10, 12, 3}};
    for (const c& k : cases) {
        double sum = 0;
        long count = 0;
        for (int m = -(k.r - 1); m <= k.r - 1; m++) {
            int w = (int)std::floor(std::sqrt((double)k.r * k.r - (double)m * m));
            for (int di = -w; di <= w; di++) {
                sum += editor.base_heights[(size_t)std::clamp(k.i + di, 0, 128) + 129u * std::clamp(k.j + m, 0, 128)];
                count++;
            }
        }
        EXPECT_NEAR(editor_smooth_mean(k.i, k.j, k.r), sum / count, 1e-3) << k.i << "," << k.j << " r " << k.r;
    }
}

TEST(EditorSnap, BlocksFollowTheCoarseDiagonals) {
    editor_track t(6, 1.0f);
    editor.mode = 4;
    set_number(*find_editor_setting("Strength"), 1);  // 2^1 = 2 ft: blocks of two samples
    auto b = [&](int i, int j) { return editor.base_heights[(size_t)i + (size_t)t.n() * j]; };
    // Coarse cell (2, 2) is even (main diagonal), (3, 2) is odd (the other one).
    t.point_at(4.5f, 4.5f);
    t.hold(16);
    EXPECT_FLOAT_EQ(t.h(5, 5), (b(4, 4) + b(6, 6)) / 2);
    EXPECT_FLOAT_EQ(t.h(5, 4), (b(4, 4) + b(6, 4)) / 2);
    EXPECT_FLOAT_EQ(t.h(4, 4), b(4, 4));
    t.release();
    t.point_at(6.5f, 4.5f);
    t.hold(16);
    EXPECT_FLOAT_EQ(t.h(7, 5), (b(8, 4) + b(6, 6)) / 2);
    t.release();
}

TEST(EditorGradient, ProfilesAndShapes) {
    gradient g;
    EXPECT_EQ(gradient_profile(g, 3), 0);  // empty profile
    g.points = {{0, 0}, {10, 5}};
    g.segment_types = {segment_curve, segment_curve};
    for (float s : {0.0f, 2.5f, 5.0f, 9.0f}) EXPECT_NEAR(gradient_profile(g, s), s / 2, 1e-5);
    EXPECT_EQ(gradient_profile(g, -4), 0);
    EXPECT_EQ(gradient_profile(g, 40), 5);
    // A curve between two lines leaves with the first line's slope.
    g.points = {{0, 0}, {10, 10}, {20, 10}};
    g.segment_types = {segment_line, segment_curve, segment_line};
    EXPECT_GT(gradient_profile(g, 11), 10);
    EXPECT_NEAR(gradient_profile(g, 20), 10, 1e-5);

    g.points = {{0, 0}, {100, 100}};
    g.segment_types = {segment_line, segment_line};
    g.origin[0] = 10, g.origin[1] = 10, g.toward[0] = 20, g.toward[1] = 10;
    EXPECT_NEAR(gradient_height(g, 30, 50, false), 20, 1e-4);
    EXPECT_NEAR(gradient_height(g, 13, 14, true), 5, 1e-4);
    // Behind the origin only the distance from the axis counts.
    EXPECT_NEAR(gradient_height(g, -50, 16, true), 6, 1e-4);
    EXPECT_NEAR(gradient_height(g, -5, 16, true), 6, 1e-4);
    // No direction: still a finite height.
    g.toward[0] = 10;
    EXPECT_TRUE(std::isfinite(gradient_height(g, 3, 4, true)));
    EXPECT_TRUE(std::isfinite(gradient_height(g, 3, 4, false)));
}

TEST(EditorGradient, EdinfoReadsWhatItWritesAndSkipsTheRest) {
    std::vector<gradient> list;
    const char* text =
        "add_point 0 1 1\n"  // before any gradient: ignored
        "  add_gradient 1 2 3 4\n"
        "add_point 1 10 2\nadd_point 0 0 1\nadd_point 0 10 3\n"  // out of order, then a duplicate distance
        "add_gradientx 1 2 3 4\nadd_gradient 1 2 three 4\nnonsense\n"
        "add_gradient 5 6 7 8\nadd_point 0 0 0\n";
    EXPECT_EQ(parse_edinfo(text, list), 1);
    ASSERT_EQ(list.size(), 2u);
    ASSERT_EQ(list[0].points.size(), 2u);
    EXPECT_EQ(list[0].points[0].distance, 0);
    EXPECT_EQ(list[0].points[1].height, 3);
    EXPECT_EQ(list[0].origin[1], 2);
    std::vector<gradient> again;
    parse_edinfo(encode_edinfo(list).c_str(), again);
    EXPECT_EQ(encode_edinfo(again), encode_edinfo(list));
}

TEST(EditorUndo, TwoStepsBackThenNoMoreAndTheRingWraps) {
    editor_track t(6, 1.0f);
    editor_settings.radius = 100;
    t.point_at(16, 16);
    float start = t.h(16, 16);
    for (int stroke = 0; stroke < 2; stroke++) {
        t.hold(32);
        t.release();
    }
    EXPECT_NEAR(t.h(16, 16), start + 16, 1e-4);
    editor_key(8, true);
    EXPECT_EQ(editor.status_text, "Undo!");
    EXPECT_NEAR(t.h(16, 16), start + 8, 1e-4);
    editor_key(8, true);
    EXPECT_EQ(editor.status_text, "Undo!");
    EXPECT_NEAR(t.h(16, 16), start, 1e-4);
    editor_key(8, true);
    EXPECT_EQ(editor.status_text, "No more undo levels!");

    // Ten commits: only the last eight states are kept, seven steps back.
    for (int stroke = 0; stroke < 10; stroke++) {
        t.hold(32);
        t.release();
    }
    int undone = 0;
    while (editor_key(8, true), editor.status_text == "Undo!") undone++;
    EXPECT_EQ(undone, 7);
    EXPECT_NEAR(t.h(16, 16), start + 3 * 8, 1e-3);
}

TEST(EditorUndo, RestoredGroundHasFreshNormals) {
    editor_track t(6, 1.0f);
    t.flatten_to(0);
    std::array<float, 3> flat = triangle_normal(24, 10);
    editor_settings.radius = 60;
    t.point_at(10, 10);
    t.hold(32);
    t.release();
    std::array<float, 3> raised = triangle_normal(24, 10);
    EXPECT_NE(raised[1], flat[1]);
    editor_undo();
    std::array<float, 3> back = triangle_normal(24, 10);
    for (int c = 0; c < 3; c++) EXPECT_NEAR(back[c], flat[c], 1e-6);
}

TEST(EditorSave, RoundTripThroughTheTrackFiles) {
    editor_track t(6, 1.0f);
    timing_data timing;
    timing_gate g;
    g.radius = 6;
    g.centre[0] = 10, g.centre[2] = 12;
    g.direction[2] = -1;
    timing.gates = {g, g};
    timing.first_lap = {0, 1 + gate_entry_flag};
    timing.normal_lap = {0, 1};
    set_track_timing(timing);
    mark_first_track_billboard();
    int b = add_billboard(3, 0.5f, 4, 2, 1, "tree.png");
    decal d;
    d.x = 5, d.z = 6, d.size = 2, d.ratio = 0.5f;
    d.texture.name = "mud.png";
    add_decal(d);
    editor_detach();
    editor_attach();  // the billboard's place as authored
    track_billboards()[(size_t)b].x = 30;  // a script moved it since
    editor_new_gradient();
    editor_settings.radius = 100;
    t.point_at(16, 16);
    t.hold(32);
    t.release();
    std::vector<float> edited(terrain.heights, terrain.heights + (size_t)t.n() * t.n());
    float lo = *std::min_element(edited.begin(), edited.end()), hi = *std::max_element(edited.begin(), edited.end());
    ASSERT_TRUE(editor_track_modified());

    EXPECT_TRUE(editor_save());
    EXPECT_EQ(editor.status_text, "Saved!");
    EXPECT_FALSE(editor_track_modified());

    char* text = file_to_string(t.saved("timing_gates").c_str());
    ASSERT_TRUE(text);
    EXPECT_NE(strstr(text, "startinggate:\n"), nullptr);  // even with no start positions
    EXPECT_NE(strstr(text, "100001"), nullptr);
    free(text);
    text = file_to_string(t.saved("billboards").c_str());
    ASSERT_TRUE(text);
    EXPECT_EQ(text[0], '[');
    EXPECT_EQ(atof(text + 1), 3);
    free(text);
    text = file_to_string(t.saved("decals").c_str());
    ASSERT_TRUE(text);
    EXPECT_NE(strstr(text, "mud.png"), nullptr);
    free(text);
    text = file_to_string(t.saved("edinfo").c_str());
    ASSERT_TRUE(text);
    EXPECT_EQ(strncmp(text, "add_gradient ", 13), 0);
    free(text);

    ASSERT_TRUE(editor_export_scene());
    EXPECT_EQ(editor.status_text, "Pov!");
    text = file_to_string(t.saved("track.pov").c_str());
    ASSERT_TRUE(text);
    EXPECT_NE(strstr(text, "#declare ground = height_field {\n\tpng \"terrain.png\"\n"), nullptr);
    EXPECT_NE(strstr(text, "#declare billboards = union {\nobject {\n\ttree()\n"), nullptr);
    free(text);

    editor_detach();
    release_track();
    ASSERT_TRUE(load_track());
    ASSERT_EQ((size_t)t.n() * t.n(), edited.size());
    float tolerance = (hi - lo) / 65535 + 1e-4f;
    for (size_t k = 0; k < edited.size(); k++) ASSERT_NEAR(terrain.heights[k], edited[k], tolerance) << k;
    vfs_file* f = vfs_open(t.saved("timing_gates").c_str(), "rb");
    timing_data back;
    load_timing_gates(f, back);
    vfs_close(f);
    EXPECT_EQ(back.gates.size(), 2u);
    EXPECT_EQ(back.first_lap, timing.first_lap);
    EXPECT_TRUE(back.starts.empty());
    editor_attach();
    EXPECT_EQ(editor.gradients.size(), 1u);
    set_track_timing(timing_data{});
}

TEST(EditorSave, AFailedWriteIsNotSaved) {
    editor_track t(6, 1.0f);
    set_sample(3, 3, 9);
    // A directory where the picture goes: the new file cannot replace it.
    std::filesystem::create_directories(t.saved("terrain.png/x"));
    EXPECT_FALSE(editor_save());
    EXPECT_NE(editor.status_text, "Saved!");
    EXPECT_TRUE(editor_track_modified());
    EXPECT_TRUE(std::filesystem::is_directory(t.saved("terrain.png")));
    EXPECT_NE(std::string(message_line(0)).find("terrain.png"), std::string::npos) << message_line(0);
}

TEST(EditorFlat, AFlatFieldSavesAndReadsBack) {
    editor_track t(6, 1.0f);
    t.flatten_to(7);
    ASSERT_TRUE(editor_save());
    editor_detach();
    release_track();
    ASSERT_TRUE(load_track());
    for (int k = 0; k < t.n() * t.n(); k++) ASSERT_NEAR(terrain.heights[k], 7, 1e-4);
}

}  // namespace
