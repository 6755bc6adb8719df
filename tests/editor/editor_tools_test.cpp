// The editor's tools for what lies on the ground, worked through its pointer,
// apply button and keys: gradient placement and profile points, timing gates
// and switch points, billboard rows, statues, the profile taken from the
// ground, tiles and decals.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "editor_fixture.h"
#include "race/race.h"
#include "race/timing_gates.h"
#include "robot/robot.h"
#include "testkit/testkit.h"
#include "track/decals.h"
#include "track/objects_billboards.h"
#include "track/objects_statues.h"
#include "track/tile_info.h"

namespace {

constexpr float pi = 3.14159265358979f;

void choose(const char* label, const char* item) { ASSERT_TRUE(read_setting(*find_editor_setting(label), item)) << label; }

// The field of the fixture (128 ft a side) with nothing on it, shown whole
// at zoom 1 around (64, 64): 16 pixels a foot, handles 1 ft.
struct tools_track : editor_track {
    tools_track() : editor_track(6, 1.0f) {
        free_billboards();
        free_statues();
        free_decals();
        set_track_timing(timing_data{});
        flatten_to(0);
    }
    ~tools_track() {
        free_billboards();
        free_statues();
        free_decals();
        set_track_timing(timing_data{});
    }
    // Objects made by a test count as the track file's once the editor
    // attaches again (it remembers their authored places then).
    void reattach() {
        editor_detach();
        editor_attach();
        editor_set_pointer(0, 0, 1024, 1024);
    }
};

gradient& fresh_gradient(float ox, float oz) {
    editor_new_gradient();
    gradient& g = editor.gradients.back();
    g.origin[0] = ox, g.origin[1] = oz;
    g.toward[0] = ox + 50, g.toward[1] = oz;
    return g;
}

TEST(EditorGradientTools, PlacementAndProfilePoints) {
    tools_track t;
    gradient& g = fresh_gradient(10, 64);
    ASSERT_EQ(g.points.size(), 2u);
    ASSERT_FLOAT_EQ(g.points[1].distance, 50);

    // A fresh gradient's origin moves alone; its direction handle follows
    // the pointer, and the origin itself gives no direction to take.
    editor.mode = 9;
    t.press_at(10, 64);
    EXPECT_EQ(editor.pick_state, 1);
    t.move_to(12, 60);
    t.release();
    EXPECT_FLOAT_EQ(g.origin[0], 12);
    EXPECT_FLOAT_EQ(g.toward[0], 60);
    EXPECT_FLOAT_EQ(g.toward[1], 64);

    // Gradient Edit: a click between the two points inserts one there.
    g.origin[0] = 10, g.origin[1] = 64, g.toward[0] = 60, g.toward[1] = 64;
    editor.mode = 10;
    set_number(*find_editor_setting("Granularity"), 0.5);
    t.press_at(10 + 20, 64 - 2);
    ASSERT_EQ(g.points.size(), 3u);
    EXPECT_EQ(editor.selected_point, 1);
    EXPECT_EQ(g.segment_types.size(), 3u);
    // Dragged to (3.3, 1.2) it lands on the 0.5 grid.
    t.move_to(10 + 3.3f, 64 - 1.2f);
    EXPECT_FLOAT_EQ(g.points[1].distance, 3.5f);
    EXPECT_FLOAT_EQ(g.points[1].height, 1.0f);
    // Dragged onto its neighbour at distance 0 it goes, and so does the pick.
    t.move_to(10 - 0.2f, 64 - 1);
    t.release();
    EXPECT_EQ(g.points.size(), 2u);
    EXPECT_EQ(g.segment_types.size(), 2u);
    EXPECT_EQ(editor.selected_point, -1);
    // The first point only changes its height.
    t.press_at(10, 64);
    t.move_to(14, 64 - 3);
    t.release();
    EXPECT_FLOAT_EQ(g.points[0].distance, 0);
    EXPECT_FLOAT_EQ(g.points[0].height, 3);
    // Clicking where no two points lie either side inserts nothing.
    t.press_at(10 - 5, 60);
    t.release();
    EXPECT_EQ(g.points.size(), 2u);

    // Once shaped, dragging the origin moves the whole gradient, and the
    // direction handle keeps the profile's length.
    editor.mode = 9;
    t.press_at(10, 64);
    t.move_to(20, 70);
    t.release();
    EXPECT_FLOAT_EQ(g.origin[0], 20);
    EXPECT_FLOAT_EQ(g.toward[0], 70);
    EXPECT_FLOAT_EQ(g.toward[1], 70);
    t.press_at(70, 70);
    EXPECT_EQ(editor.pick_state, 2);
    t.move_to(20, 70);  // on the origin: no direction, nothing moves
    EXPECT_FLOAT_EQ(g.toward[0], 70);
    t.move_to(20, 40);
    t.release();
    EXPECT_NEAR(g.toward[0], 20, 1e-4);
    EXPECT_NEAR(g.toward[1], 20, 1e-4);
    EXPECT_EQ(terrain.modified_flags, 7);
}

TEST(EditorGradientTools, SetFromTerrainTurnsARampIntoTwoLinePoints) {
    tools_track t;
    // A committed ramp rising 0.25 ft per ft along x, with a level shelf
    // beyond x = 60.
    for (int j = 0; j < t.n(); j++)
        for (int i = 0; i < t.n(); i++) set_sample(i, j, 0.25f * (float)std::min(i, 60));
    editor.pending = true;
    editor_commit();
    gradient& g = fresh_gradient(8.5f, 40);
    g.toward[0] = 48.5f;  // 40 ft along the ramp, ending between samples
    editor_set_from_terrain();
    ASSERT_EQ(g.points.size(), 2u);
    EXPECT_EQ(g.segment_types, (std::vector<unsigned char>{segment_line, segment_line}));
    EXPECT_NEAR(g.points[0].height, 0.25f * 8.5f, 1e-4);
    EXPECT_NEAR(g.points[1].distance, 40, 1e-4);
    EXPECT_NEAR(g.points[1].height, 0.25f * 48.5f, 1e-4);
    EXPECT_EQ(editor.selected_point, -1);

    // Over the ramp's top the profile keeps its bend: a line up, a line on.
    g.origin[0] = 40, g.toward[0] = 80;
    editor_set_from_terrain();
    ASSERT_EQ(g.points.size(), 3u);
    EXPECT_NEAR(g.points[1].distance, 20, 1e-4);
    EXPECT_NEAR(g.points[2].height, 15, 1e-4);
    for (float s : {0.0f, 7.0f, 20.0f, 33.0f, 40.0f})
        EXPECT_NEAR(gradient_profile(g, s), 0.25f * std::min(40 + s, 60.0f), 1e-3) << s;
}

// A gate's lap entries, and the robots' store shaped for them.
void expect_store_follows_timing() {
    int first = 0, normal = 0;
    track_stretch_counts(first, normal);
    EXPECT_EQ(lines().first_lap, first);
    EXPECT_EQ(lines().normal_lap, normal);
}

TEST(EditorGateTools, LayMoveTurnSwitchAndRemoveGates) {
    tools_track t;
    editor.mode = 11;
    set_number(*find_editor_setting("Radius"), 96);  // 6 ft gates
    const float at[4][2] = {{20, 20}, {40, 20}, {40, 40}, {20, 40}};
    for (auto& p : at) ASSERT_TRUE(t.key_at('n', p[0], p[1]));
    const timing_data& timing = track_timing();
    ASSERT_EQ(timing.gates.size(), 4u);
    EXPECT_EQ(timing.normal_lap, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(timing.active);
    EXPECT_FLOAT_EQ(timing.gates[1].radius, 6);
    EXPECT_FLOAT_EQ(timing.gates[2].direction[2], 1);  // from the gate before
    expect_store_follows_timing();
    ASSERT_TRUE(t.key_at('g', 30, 10));
    EXPECT_NEAR(timing.starts[0].angle, std::atan2(10.0f, -10.0f), 1e-5);  // faces gate 0

    // Pressing a centre moves it; the direction handle turns and sizes it;
    // inside the disc behind a gate selects it without holding anything.
    t.press_at(40, 20);
    EXPECT_EQ(editor.selected_gate, 1);
    t.move_to(44, 22);
    t.release();
    EXPECT_FLOAT_EQ(timing.gates[1].centre[0], 44);
    EXPECT_FLOAT_EQ(timing.gates[1].centre[2], 22);
    float hx = 44 + timing.gates[1].direction[0] * 6, hz = 22 + timing.gates[1].direction[2] * 6;
    t.press_at(hx, hz);
    EXPECT_EQ(editor.pick_state, 2);
    t.move_to(44, 30);
    t.release();
    EXPECT_NEAR(timing.gates[1].radius, 8, 1e-4);
    EXPECT_NEAR(timing.gates[1].direction[2], 8, 1e-4);
    t.press_at(44, 20);  // behind gate 1, which now points along +z
    EXPECT_EQ(editor.selected_gate, 1);
    EXPECT_EQ(editor.pick_state, 0);
    t.release();

    // Switch points: the gate stays in the lap but stops ending a stretch;
    // the lap must keep three that do, or a reload would stop timing it.
    EXPECT_EQ(editor_switch_point_text(), "Switch Point: Yes");
    ASSERT_TRUE(editor_clear_switch_point());
    EXPECT_EQ(timing.first_lap, (std::vector<int>{0, 100001, 2, 3}));
    EXPECT_EQ(timing.normal_lap, (std::vector<int>{0, 100001, 2, 3}));
    EXPECT_EQ(editor_switch_point_text(), "Switch Point: No");
    EXPECT_TRUE(timing.active);
    expect_store_follows_timing();
    editor.selected_gate = 2;
    EXPECT_FALSE(editor_clear_switch_point());
    EXPECT_EQ(timing.normal_lap, (std::vector<int>{0, 100001, 2, 3}));
    editor.selected_gate = 1;
    ASSERT_TRUE(editor_set_switch_point());
    EXPECT_EQ(timing.normal_lap, (std::vector<int>{0, 1, 2, 3}));
    expect_store_follows_timing();

    // Removing a gate renumbers the lap and the selection.
    editor.selected_gate = 3;
    ASSERT_TRUE(t.key_at('x', 20, 20));
    EXPECT_EQ(timing.normal_lap, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(editor.selected_gate, 2);
    EXPECT_FLOAT_EQ(timing.gates[0].centre[0], 44);
    expect_store_follows_timing();

    // What was laid here is what the file keeps.
    ASSERT_TRUE(editor_save());
    std::string text = read_file(t.saved("timing_gates"));
    EXPECT_NE(text.find("normallap: 0 1 2\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("startinggate:\n["), 0u) << text;
}

TEST(EditorObjectTools, BillboardRowsAndRemovals) {
    tools_track t;
    create_particle_pool();
    add_billboard(90, 0, 90, 3, 1, "flagger.png");  // a marshal, not the file's
    mark_first_track_billboard();
    int source = add_billboard(10, 2, 10, 4, 0.5f, "#ff8000#tree.png");  // 2 ft wide
    t.reattach();
    editor.mode = 12;
    editor_settings.point_spacing = 1;

    t.press_at(10, 10);
    EXPECT_EQ(editor.source_billboard, source);
    EXPECT_EQ(editor.picked_billboard, -1);
    EXPECT_DOUBLE_EQ(editor_settings.height, 2);
    t.release();
    // Pressing on open ground lays the first copy; dragging 10 ft on lays
    // five more, one every picture width.
    size_t before = track_billboards().size();
    t.press_at(20, 30);
    for (int k = 1; k <= 40; k++) t.move_to(20 + 0.25f * (float)k, 30);
    t.release();
    const std::vector<billboard>& list = track_billboards();
    ASSERT_EQ(list.size(), before + 1 + 5);
    for (size_t k = before; k < list.size(); k++) {
        EXPECT_EQ(list[k].texture_name, "tree.png");
        EXPECT_EQ(list[k].tint[1], 0x80);
        EXPECT_FLOAT_EQ(list[k].y_offset, 2);
        if (k > before) {
            EXPECT_NEAR(list[k].x - list[k - 1].x, 2, 0.3);
        }
    }

    // Only the file's billboards go; the indexes kept still name the same ones.
    int picked = editor.picked_billboard;
    size_t count = list.size();
    t.key_at('x', 90, 90);
    EXPECT_EQ(list.size(), count);
    t.key_at(127, 20, 30);
    ASSERT_EQ(list.size(), count - 1);
    EXPECT_EQ(editor.picked_billboard, picked - 1);
    EXPECT_EQ(editor.source_billboard, source);
    t.key_at('x', 10, 10);
    EXPECT_EQ(editor.source_billboard, -1);
    EXPECT_EQ(editor.picked_billboard, picked - 2);
    EXPECT_NEAR(list[(size_t)editor.picked_billboard].x, 30, 0.3);

    ASSERT_TRUE(editor_save());
    std::string text = read_file(t.saved("billboards"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5) << text;
    EXPECT_EQ(text.find("flagger"), std::string::npos);
}

TEST(EditorObjectTools, StatueHeadingsCopiesAndLineUps) {
    tools_track t;
    mark_first_track_statue();
    add_statue(20, 0, 20, 0.5f, nullptr, "a.png", nullptr);
    add_statue(40, 0, 20, 4.0f, nullptr, "a.png", nullptr);   // an impostor
    add_statue(60, 0, 20, -7.0f, nullptr, "a.png", nullptr);  // upright
    t.reattach();
    editor.mode = 13;
    std::vector<statue>& s = track_statues();
    // Turned by its handle, 4 ft behind its heading: the new heading points
    // from the pointer to the centre; impostors keep theirs, upright ones
    // keep their offset.
    struct turn { int index; float expected; } turns[] = {
        {0, std::atan2(-5.0f, 0.0f)}, {1, 4.0f}, {2, std::atan2(-5.0f, 0.0f) - 4 * pi}};
    for (const turn& c : turns) {
        const statue& st = s[(size_t)c.index];
        float hx = st.x - std::sin(st.angle) * 4, hz = st.z - std::cos(st.angle) * 4;
        t.press_at(hx, hz);
        EXPECT_EQ(editor.pick_state, 2) << c.index;
        t.move_to(st.x + 5, st.z);
        t.release();
        EXPECT_NEAR(st.angle, c.expected, 1e-5) << c.index;
    }
    // Moved by its centre, seated with its own offset.
    t.press_at(20, 20);
    t.move_to(24, 26);
    t.release();
    EXPECT_FLOAT_EQ(s[0].x, 24);
    EXPECT_FLOAT_EQ(s[0].z, 26);

    // "d" copies the picked statue; nothing picked, nothing laid.
    editor.picked_statue = 0;
    t.key_at('d', 30, 50);
    t.key_at('d', 40, 50);
    t.key_at('d', 70, 50);
    ASSERT_EQ(s.size(), 6u);
    EXPECT_FLOAT_EQ(s[5].angle, s[0].angle);
    // Lining up from statue 3 to the last: the one between goes half way.
    editor.picked_statue = 3;
    s[4].x = 1;
    ASSERT_TRUE(editor_interpolate_statues());
    EXPECT_FLOAT_EQ(s[4].x, 50);
    // From statue 0 the impostor and the upright one match too; a statue
    // of another texture does not.
    s[2].texture_name = "b.png";
    editor.picked_statue = 0;
    EXPECT_FALSE(editor_interpolate_statues());
    EXPECT_EQ(editor.status_text, "Bad match for interpolate!");

    // Removing keeps the pick on the same statue or clears it.
    editor.picked_statue = 4;
    t.key_at('x', 40, 20);
    ASSERT_EQ(s.size(), 5u);
    EXPECT_EQ(editor.picked_statue, 3);
    t.key_at('x', 50, 50);
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(editor.picked_statue, -1);
    t.key_at('d', 10, 60);
    EXPECT_EQ(s.size(), 4u);
}

TEST(EditorObjectTools, SnapToGradientTakesTheCircleOrTheAxis) {
    tools_track t;
    mark_first_track_statue();
    add_statue(0, 0, 0, 0, nullptr, nullptr, nullptr);
    editor.picked_statue = 0;
    gradient& g = fresh_gradient(50, 50);  // points at 0 and 50 along +x
    g.points = {{0, 0}, {20, 0}, {50, 0}};
    g.segment_types = {0, 0, 0};
    statue& s = track_statues()[0];
    struct snap_case {
        float x, z;      // the statue before
        float ex, ez;    // after
        float heading;   // after
    } cases[] = {
        // Nearer the circle of radius 20 than the axis: onto the circle,
        // turned along it.
        {50, 71, 50, 70, std::atan2(-1.0f, 0.0f)},
        // Nearer the axis: onto it, facing back along it.
        {65, 51, 65, 50, std::atan2(-1.0f, 0.0f)},
        // On the origin there is no circle: onto the axis.
        {50, 50, 50, 50, std::atan2(-1.0f, 0.0f)},
    };
    for (const snap_case& c : cases) {
        s.x = c.x, s.z = c.z, s.angle = 1;
        editor_snap_to_gradient();
        EXPECT_NEAR(s.x, c.ex, 1e-4) << c.x << "," << c.z;
        EXPECT_NEAR(s.z, c.ez, 1e-4) << c.x << "," << c.z;
        EXPECT_NEAR(s.angle, c.heading, 1e-5) << c.x << "," << c.z;
    }
    // A gradient without length has no axis: the circle only.
    g.toward[0] = 50;
    s.x = 50, s.z = 75;
    editor_snap_to_gradient();
    EXPECT_NEAR(s.z, 70, 1e-4);
    s.x = 50, s.z = 50;
    editor_snap_to_gradient();
    EXPECT_TRUE(std::isfinite(s.x) && std::isfinite(s.angle));
}

decal make_decal(float x, float z, const char* texture) {
    decal d;
    d.x = x, d.z = z, d.size = 2, d.ratio = 1;
    d.texture.name = texture;
    return d;
}

TEST(EditorDecalTools, LevelsOrderTheNewDecal) {
    struct level_case { const char* level; std::vector<std::string> order; } cases[] = {
        {"Top", {"a", "b", "b", "c", "b"}},
        {"Bottom", {"b", "a", "b", "b", "c"}},
        {"Under Current", {"a", "b", "b", "b", "c"}},
        {"Over Current", {"a", "b", "b", "b", "c"}},
    };
    for (const level_case& c : cases) {
        tools_track t;
        for (auto [x, name] : {std::pair{20.0f, "a"}, {30.0f, "b"}, {40.0f, "b"}, {50.0f, "c"}})
            add_decal(make_decal(x, 20, name));
        editor.mode = 15;
        choose("Level", c.level);
        choose("Orientation", "Copy");
        t.press_at(40, 20);  // picks the second "b"
        t.release();
        ASSERT_EQ(editor.picked_decal, 2);
        t.key_at('d', 60, 60);
        std::vector<std::string> order;
        for (const decal& d : track_decals()) order.push_back(d.texture.name);
        EXPECT_EQ(order, c.order) << c.level;
        int laid = editor.picked_decal;
        ASSERT_GE(laid, 0);
        EXPECT_FLOAT_EQ(track_decals()[(size_t)laid].x, 60) << c.level;
        int expected_at[] = {4, 0, 1, 3};
        EXPECT_EQ(laid, expected_at[&c - cases]) << c.level;
    }
}

TEST(EditorDecalTools, DragsLayRowsAndRemovalsKeepThePick) {
    tools_track t;
    add_decal(make_decal(20, 20, "rut"));
    add_decal(make_decal(25, 36, "chalk"));
    editor.mode = 15;
    choose("Orientation", "Flow");
    editor_settings.tile_spacing = 1;  // one decal size apart
    t.press_at(20, 20);
    t.release();
    // Pressing on open ground lays a copy there; dragging lays one every
    // 2 ft towards the pointer, each facing back along the row.
    t.press_at(20, 30);
    for (int k = 1; k <= 21; k++) t.move_to(20, 30 + 0.5f * (float)k);
    t.release();
    const std::vector<decal>& list = track_decals();
    ASSERT_EQ(list.size(), 2u + 1 + 5);
    int rut = 0;
    for (const decal& d : list) rut += d.texture.name == "rut";
    EXPECT_EQ(rut, 7);
    const decal& last = list[(size_t)editor.picked_decal];
    EXPECT_NEAR(last.z, 40, 1e-3);
    EXPECT_NEAR(last.sin_angle, 0, 1e-6);  // facing back along the row: -z
    EXPECT_NEAR(last.cos_angle, -1, 1e-6);
    EXPECT_NEAR(std::sin(last.angle), last.sin_angle, 1e-6);

    // "{" shrinks the picked decal; "X" removes the ones within the brush,
    // "Hide different" spares other textures, and the pick follows.
    t.key_at('{', 0, 0);
    EXPECT_FLOAT_EQ(last.size, 2 * 0.9375f);
    choose("Hide different", "Yes");
    set_number(*find_editor_setting("Radius"), 128);  // 8 ft
    t.key_at('X', 20, 35);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].z, 20);
    EXPECT_EQ(list[1].texture.name, "chalk");
    EXPECT_EQ(editor.picked_decal, -1);
    t.key_at('d', 30, 30);
    EXPECT_EQ(list.size(), 2u);

    ASSERT_TRUE(editor_save());
    std::string text = read_file(t.saved("decals"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
}

TEST(EditorTileTools, PaintsAlongTheStrokeWithTheTypeClamped) {
    tools_track t;  // two tile types, every tile 1
    editor.mode = 14;
    set_number(*find_editor_setting("Tile"), 200);  // beyond the two types
    EXPECT_EQ(editor_tile_type(), 1);
    set_number(*find_editor_setting("Tile"), 0);
    set_number(*find_editor_setting("Radius"), 48);  // 3 ft
    t.press_at(20, 20);
    t.move_to(20, 20, 32);
    for (int k = 1; k <= 4; k++) t.move_to(20 + 5 * (float)k, 20, 32);
    t.release();
    auto tile = [](int tx, int tz) { return tilemap()[(size_t)tx + 64 * (size_t)tz]; };
    // Tile (tx, tz) has its centre at (2 tx + 1, 2 tz + 1).
    EXPECT_EQ(tile(9, 9), 0);    // (19, 19)
    EXPECT_EQ(tile(14, 9), 0);   // (29, 19): between two actions, on the stroke
    EXPECT_EQ(tile(22, 9), 1);   // (45, 19): beyond the end
    EXPECT_EQ(tile(14, 12), 1);  // (29, 25): 5 ft off the stroke
    EXPECT_EQ(terrain.modified_flags, 7);

    terrain.frozen = true;
    t.press_at(60, 60);
    t.move_to(60, 60, 32);
    t.release();
    terrain.frozen = false;
    EXPECT_EQ(tile(29, 29), 1);
}

TEST(EditorTileTools, NeighboursTakeTheBlendOfTheirNewCorners) {
    tools_track t;  // every tile grass (1)
    std::vector<tile_info> types(4);
    const char* names[] = {"dirt.png", "grass.png", "dirt-grass-0101.png", "grass-dirt-1000.png"};
    for (size_t k = 0; k < 4; k++) types[k].texture.name = names[k];
    set_tile_types(types);
    editor.mode = 14;
    set_number(*find_editor_setting("Tile"), 0);
    set_number(*find_editor_setting("Radius"), 16);  // 1 ft: one tile
    t.press_at(21, 21);  // tile (10, 10)
    t.move_to(21, 21, 32);
    t.release();
    auto tile = [](int tx, int tz) { return tilemap()[(size_t)tx + 64 * (size_t)tz]; };
    EXPECT_EQ(tile(10, 10), 0);
    EXPECT_EQ(tile(11, 10), 2);  // dirt on its left corners
    EXPECT_EQ(tile(11, 11), 3);  // dirt on its first corner only, named the other way round
    EXPECT_EQ(tile(9, 10), 1);   // no type blends dirt on its right corners: left alone
    EXPECT_EQ(tile(12, 10), 1);
    // Grass painted back over the dirt makes its neighbours plain grass again.
    set_number(*find_editor_setting("Tile"), 1);
    t.press_at(21, 21);
    t.move_to(21, 21, 32);
    t.release();
    EXPECT_EQ(tile(11, 10), 1);
    EXPECT_EQ(tile(11, 11), 1);
}

}  // namespace
