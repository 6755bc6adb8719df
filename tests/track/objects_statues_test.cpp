// Statues: orientation and seating, the file and saving it back, and the
// object grid as the bike collision pass reads it.
#include <cmath>

#include "bike/solid_objects.h"
#include "objects_fixture.h"
#include "track/objects_grid.h"
#include "track/objects_statues.h"
#include "track/track.h"

namespace {

using statues = objects_test;

// Column c of the row-major orientation.
std::array<float, 3> axis(const statue& s, int c) {
    return {s.orientation[(size_t)c], s.orientation[(size_t)3 + c], s.orientation[(size_t)6 + c]};
}

TEST_F(statues, HeadingRegimes) {
    field(0.5f);  // the ground rises 0.5 ft per foot along x
    // From 3.25 on: an upright, unturned impostor with its face distance.
    const statue& imp = track_statues()[(size_t)add_statue(100, 0, 100, 3.25f, nullptr, nullptr, nullptr)];
    EXPECT_EQ(imp.orientation, (std::array<float, 9>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_NEAR(imp.face_distance, 9.5137f, 1e-3f);

    // -2 pi or less: upright with that heading.
    const statue& up = track_statues()[(size_t)add_statue(100, 0, 100, -7, nullptr, nullptr, nullptr)];
    EXPECT_EQ(up.face_distance, 0);
    std::array<float, 3> u = axis(up, 1), x = axis(up, 0);
    EXPECT_NEAR(u[1], 1, 1e-6f);
    EXPECT_NEAR(x[0], std::cos(-7.0f), 1e-6f);
    EXPECT_NEAR(x[2], -std::sin(-7.0f), 1e-6f);

    // Otherwise it leans with the ground: the up axis is the slope's normal.
    const statue& lean = track_statues()[(size_t)add_statue(100, 1, 100, 0.5f, nullptr, nullptr, nullptr)];
    u = axis(lean, 1);
    float n = std::sqrt(1 + 0.25f);
    EXPECT_NEAR(u[0], -0.5f / n, 1e-3f);
    EXPECT_NEAR(u[1], 1 / n, 1e-3f);
    EXPECT_NEAR(u[2], 0, 1e-3f);
    EXPECT_NEAR(lean.y, 10 + 0.5f * 100 + 1, 1e-2f);
    // The three axes stay a right-handed orthonormal frame.
    std::array<float, 3> a = axis(lean, 0), b = axis(lean, 1), c = axis(lean, 2);
    EXPECT_NEAR(a[0] * b[0] + a[1] * b[1] + a[2] * b[2], 0, 1e-5f);
    EXPECT_NEAR(a[1] * b[2] - a[2] * b[1], c[0], 1e-5f);
    EXPECT_NEAR(a[2] * b[0] - a[0] * b[2], c[1], 1e-5f);

    // Moving it onto other ground and re-seating follows the ground.
    statue& moved = track_statues()[2];
    moved.x = 20;
    reseat_statue(moved);
    EXPECT_NEAR(moved.y, 10 + 0.5f * 20 + 1, 1e-2f);
}

TEST_F(statues, NamesModelsShapesAndTheirMessages) {
    put("box.jm", triangle_jm);
    put_png("box.png");
    put_shape("box.shp", 2);
    clear_message_history();
    put_track("statues",
              "[ 10 0 10 ] 0 null null null\n"
              "[ 20 0 20 ] 0 null @box.png @box.shp\n"   // a texture without a model is not loaded
              "[ 30 0 30 ] 0 @box.jm @box.png @nothere.shp\n"
              "[ 35 0 35 ] 0 @bones.jm null null\n"      // a model the loader refuses
              "[ 36 0 36 ] 0 @box.jm null null\n"
              "[ 40 0 40 ] 0 @box.jm\n");                 // too few names: the end
    put("bones.jm", "JM2 33 skeleton\n");
    load_statues(track_file("statues").c_str());
    const std::vector<statue>& list = track_statues();
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[3].model_ref, nullptr);
    EXPECT_FALSE(list[0].model_ref || list[0].shape || list[0].texture);
    EXPECT_EQ(list[1].texture, 0u);
    EXPECT_NE(list[1].shape, nullptr);
    EXPECT_NE(list[2].model_ref, nullptr);
    EXPECT_NE(list[2].texture, 0u);
    EXPECT_EQ(list[2].shape, nullptr);
    EXPECT_TRUE(shown("Warning: missing shape file @nothere.shp"));
    // The digest's list names every model file, the refused one too, in
    // statue order (the track loader feeds each distinct file once).
    std::vector<std::string> models;
    statue_model_files(models);
    EXPECT_EQ(models, (std::vector<std::string>{"@box.jm", "@bones.jm", "@box.jm"}));
}

TEST_F(statues, SaveAndLoadAgainKeepEveryStatueOfTheFile) {
    put("box.jm", triangle_jm);
    put_shape("box.shp", 1);
    current_track_dir = track.dir;
    float start[3] = {50, 10, 50};
    add_gate_piece(start, 0, "@box.jm", nullptr, "@box.shp");  // not the file's: not saved
    mark_first_track_statue();
    add_statue(12.5f, 0.25f, 30.1f, 1.2345678f, "@box.jm", "@box.png", "@box.shp");
    add_statue(40, -1, 41, 3.5f, nullptr, nullptr, nullptr);
    add_statue(60, 0, 61, -9, "@gone.jm", "@gone.png", nullptr);  // names kept though nothing loaded
    ASSERT_TRUE(save_statues());
    std::string text = read_file(track.box.root0() + track.dir + "/statues");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text;
    EXPECT_NE(text.find("null null null\n"), std::string::npos) << text;
    EXPECT_NE(text.find("@gone.jm @gone.png null\n"), std::string::npos) << text;

    std::vector<statue> before(track_statues().begin() + 1, track_statues().end());
    free_track_objects();
    load_statues(track_file("statues").c_str());
    const std::vector<statue>& after = track_statues();
    ASSERT_EQ(after.size(), before.size());
    for (size_t k = 0; k < after.size(); k++) {
        EXPECT_EQ(after[k].x, before[k].x);
        EXPECT_EQ(after[k].y_offset, before[k].y_offset);
        EXPECT_EQ(after[k].z, before[k].z);
        EXPECT_EQ(after[k].angle, before[k].angle);
        EXPECT_EQ(after[k].model_name, before[k].model_name);
        EXPECT_EQ(after[k].texture_name, before[k].texture_name);
        EXPECT_EQ(after[k].shape_name, before[k].shape_name);
        EXPECT_EQ(after[k].orientation, before[k].orientation);
    }
}

TEST_F(statues, GatePieceStandsAheadOfItsStartAtItsHeight) {
    field(0.5f);
    float start[3] = {100, 70, 120};
    const statue& s = track_statues()[(size_t)add_gate_piece(start, 0.5f, nullptr, nullptr, nullptr)];
    EXPECT_NEAR(s.x, 100 - 3 * std::sin(0.5f), 1e-4f);
    EXPECT_NEAR(s.z, 120 - 3 * std::cos(0.5f), 1e-4f);
    EXPECT_NEAR(s.y, 70, 1e-4f);
}

// ---- the grid -------------------------------------------------------------------------

using object_grid = objects_test;

TEST_F(object_grid, CellsAgreeWithTheCollisionLookupEverywhere) {
    // 256 ft field: the inner cells are 24 ft wide from 32 ft on.
    EXPECT_EQ(object_grid_index(-1e30f), 0);
    EXPECT_EQ(object_grid_index(31.9f), 0);
    EXPECT_EQ(object_grid_index(32.1f), 0);
    EXPECT_EQ(object_grid_index(56.1f), 1);
    EXPECT_EQ(object_grid_index(199.9f), 6);
    EXPECT_EQ(object_grid_index(200.1f), 7);
    EXPECT_EQ(object_grid_index(1e30f), 7);
    EXPECT_EQ(object_grid_index(INFINITY), 7);
    EXPECT_EQ(object_grid_index(-INFINITY), 0);
    EXPECT_EQ(object_grid_index(NAN), 0);
    for (float c = -40; c < 300; c += 0.37f) EXPECT_EQ(object_grid_index(c), object_grid_cell(c, terrain.extent)) << c;
}

TEST_F(object_grid, SolidStatuesFillTheCellsTheyReach) {
    put_shape("r2.shp", 2);
    int middle = add_statue(68, 0, 68, 0, nullptr, nullptr, "@r2.shp");    // cell (1, 1) alone
    int border = add_statue(80, 0, 68, 0, nullptr, nullptr, "@r2.shp");    // x straddles 80: two cells
    int corner = add_statue(80, 0, 80, 0, nullptr, nullptr, "@r2.shp");    // four cells
    int ghost = add_statue(68, 0, 68, 0, nullptr, nullptr, nullptr);      // not solid
    int edge = add_statue(0.5f, 0, 255, 0, nullptr, nullptr, "@r2.shp");  // outer cells reach the edges
    build_object_grid();
    auto in = [](int i, int j, int k) {
        const std::vector<int>& l = object_grid_list(i, j);
        return std::find(l.begin(), l.end(), k) != l.end();
    };
    int cells = 0;
    for (int j = 0; j < 8; j++)
        for (int i = 0; i < 8; i++) {
            cells += in(i, j, middle);
            EXPECT_FALSE(in(i, j, ghost));
        }
    EXPECT_EQ(cells, 1);
    EXPECT_TRUE(in(1, 1, middle));
    EXPECT_TRUE(in(1, 1, border) && in(2, 1, border) && !in(1, 2, border));
    EXPECT_TRUE(in(1, 1, corner) && in(2, 1, corner) && in(1, 2, corner) && in(2, 2, corner));
    EXPECT_TRUE(in(0, 7, edge));
    // Lists are in index order without repeats, also after inserting again.
    grid_insert(middle);
    EXPECT_EQ(object_grid_list(1, 1), (std::vector<int>{middle, border, corner}));
    // Cells asked for outside the grid are clamped to it.
    EXPECT_EQ(&object_grid_list(-3, 9), &object_grid_list(0, 7));
}

TEST_F(object_grid, TheCollisionPassFindsTheStatuesAndTheirTouches) {
    put_shape("r2.shp", 2);
    add_statue(68, 0, 68, 0.3f, nullptr, nullptr, "@r2.shp");
    add_statue(100, 0, 68, 3.5f, nullptr, nullptr, "@r2.shp");
    add_statue(200, 0, 200, 0, nullptr, nullptr, "@r2.shp");
    build_object_grid();
    std::vector<int> near;
    solid_statues_near(70, 66, 6, near);
    EXPECT_EQ(near, (std::vector<int>{0}));
    solid_statues_near(79, 66, 6, near);  // two cells: merged, each once
    EXPECT_EQ(near, (std::vector<int>{0, 1}));
    solid_statue s;
    ASSERT_TRUE(solid_objects.statue(1, s));
    EXPECT_EQ(s.position[0], 100);
    EXPECT_NEAR(s.position[1], 10, 1e-3f);
    EXPECT_GT(s.face_distance, 0);
    EXPECT_FALSE(solid_objects.statue(7, s));
    solid_objects.touched(1, 345);
    EXPECT_EQ(track_statues()[1].touch_tic, 345);
    solid_objects = {};
}

}  // namespace
