// A track made in the editor from a flat field, as a track maker makes one:
// shaped with a gradient, gates and start positions laid, billboards painted,
// statues copied, a surface painted and chalk lines laid; then saved, loaded
// afresh as a race and ridden a whole lap by the test kit's pilot.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/rider_control.h"
#include "bike/rider_parts.h"
#include "bike/solid_objects.h"
#include "core/config.h"
#include "editor/editor.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "race/timing_gates.h"
#include "render/model.h"
#include "render/shape_file.h"
#include "render/texture.h"
#include "testkit/built_data.h"
#include "testkit/pilot.h"
#include "race/rabbit_hill_fixture.h"
#include "testkit/race_pilot_view.h"
#include "testkit/testkit.h"
#include "track/decals.h"
#include "track/height_field.h"
#include "track/objects_billboards.h"
#include "track/objects_race.h"
#include "track/objects_statues.h"
#include "track/tile_info.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "vfs/vfs.h"

namespace {

constexpr float pi = 3.14159265358979f;
constexpr int g = 7;  // 128 tiles, 256 ft a side
constexpr int key_apply = 0x2000;

struct EditorFlatFieldRace : ::testing::Test {
    temp_dir home;
    void SetUp() override {
        open_race_world(home);
        track_parts.editor_attach = editor_attach;
        track_parts.editor_detach = editor_detach;
        editor_settings_defaults();
        write_flat_field();
        settings.track = "editfield";
        ASSERT_GE(scan_tracks(), 1);
        ASSERT_TRUE(has_track("editfield"));
        ASSERT_TRUE(bike_world_init());
        clear_race_state();
    }
    void TearDown() override {
        free_race();
        release_track();
        editor_enable(false);
        free_race_world();
    }

    // A flat field of dirt with a grass type to paint, and one of each thing
    // to copy from: a bush, a hay bale and a chalk line, in the middle.
    void write_flat_field() {
        std::string dir = home_path("@editfield/");
        int n = (2 << g) + 1;
        std::vector<uint16_t> samples((size_t)n * n, 0);
        write_file(dir + "terrain.hf", encode_terrain_hf(g, 1.0f, 0, 10, samples.data()));
        std::vector<uint8_t> shading((size_t)n * n * 3, 160);
        write_file(dir + "shadingx2.ppm", encode_shading_x2(shading.data(), n));
        write_file(dir + "texturelist", "0.9 4 12 rabbithill/dirt.png\nrabbithill/grass.png\n");
        write_file(dir + "tilemap", std::vector<uint8_t>((size_t)1 << (2 * g), 0));
        write_file(dir + "desc", "Edit Field\n");
        write_file(dir + "billboards", "[ 128 0 128 ] 3 2 @rabbithill/bush.png\n");
        write_file(dir + "statues",
                   "[ 128 -0.1 112 ] 0 @rabbithill/haybale.jm @rabbithill/haybale.png @rabbithill/haybale.shp\n");
        write_file(dir + "decals", "[128 140] 0 4 0.5 @rabbithill/decal_chalk.png\n");
        vfs_shutdown();
        file_list();
    }

    static race_setup lineup(int laps) {
        race_setup s;
        slot_kind_list list{};
        list[0] = slot_kind_human;
        s.slot_kinds = list;
        s.laps = laps;
        return s;
    }

    // The editor's pointer over a world point, and its apply button. The
    // view is moved to put the point under the pointer in the window's
    // middle, so it is always in view and never under the menu.
    static void point_at(float x, float z) {
        editor.view_center[0] = x;
        editor.view_center[1] = z;
        editor_set_pointer(512, 512, 1024, 1024);
    }
    static void press_at(float x, float z) {
        point_at(x, z);
        editor_key(key_apply, true);
    }
    static void drag_to(float x, float z, int tics = 1) {
        point_at(x, z);
        for (int t = 0; t < tics; t++) editor_tic();
    }
    static void release() { editor_key(key_apply, false); }
    static void key_at(int code, float x, float z) {
        point_at(x, z);
        editor_key(code, true);
    }
};

// The course: eight gates on an ellipse around the field's middle, ridden
// the way of increasing angle from the bottom.
constexpr int gate_count = 8;
void course_point(int k, float& x, float& z, float& tx, float& tz) {
    float a = pi / 2 + 2 * pi * (float)k / gate_count;
    x = 128 + 80 * std::cos(a), z = 128 + 50 * std::sin(a);
    float dx = -80 * std::sin(a), dz = 50 * std::cos(a), len = std::hypot(dx, dz);
    tx = dx / len, tz = dz / len;
}

TEST_F(EditorFlatFieldRace, BuiltInTheEditorSavedAndRidden) {
    editor_enable(true);
    ASSERT_TRUE(reset_race(lineup(1)));
    ASSERT_TRUE(editor_available());
    editor_keys.cursor_left = key_apply;
    editor_set_pointer(512, 512, 1024, 1024);
    ASSERT_FLOAT_EQ(terrain.extent, 256);
    ASSERT_EQ(track_statues().size() - (size_t)first_track_statue(), 1u);
    ASSERT_EQ(track_decals().size(), 1u);

    // A roller across the top of the course: a gradient placed along it,
    // its profile raised in the middle, added to the ground with one stroke.
    editor_new_gradient();
    editor.mode = 9;
    press_at(128, 128);
    drag_to(100, 78);
    release();
    press_at(178, 128);
    drag_to(156, 78);
    release();
    editor.mode = 10;
    set_number(*find_editor_setting("Granularity"), 0.25);
    press_at(100 + 28, 78 - 1.5f);
    drag_to(100 + 28, 78 - 1.5f);
    release();
    ASSERT_EQ(editor.gradients[0].points.size(), 3u);
    editor.mode = 6;
    set_number(*find_editor_setting("Radius"), 160);  // 20 ft
    key_at('l', 100, 78);
    press_at(156, 78);
    drag_to(156, 78, 32);
    release();
    EXPECT_NEAR(height_at(128, 78), 1.5f, 0.05f);
    EXPECT_NEAR(height_at(128, 128), 0, 1e-4);

    // Gates around the ellipse, each turned along the course by its
    // direction handle, and a row of start positions before the first.
    editor.mode = 11;
    set_number(*find_editor_setting("Radius"), 96);  // 12 ft
    for (int k = 0; k < gate_count; k++) {
        float x, z, tx, tz;
        course_point(k, x, z, tx, tz);
        key_at('n', x, z);
        const timing_gate& gate = track_timing().gates[(size_t)k];
        float len = std::hypot(gate.direction[0], gate.direction[2]);
        press_at(x + gate.direction[0] / len * gate.radius, z + gate.direction[2] / len * gate.radius);
        ASSERT_EQ(editor.pick_state, 2) << k;
        drag_to(x + tx * 14, z + tz * 14);
        release();
    }
    for (int k = 0; k < 4; k++) key_at('g', 160 + 4.0f * (float)(k / 2), 175 + 5.0f * (float)(k % 2));
    ASSERT_TRUE(track_timing().active);
    ASSERT_EQ(track_timing().starts.size(), 4u);

    // A row of bushes across the infield, painted from the one there.
    editor.mode = 12;
    press_at(128, 128);
    release();
    ASSERT_GE(editor.source_billboard, 0);
    press_at(100, 122);
    for (int k = 1; k <= 56; k++) drag_to(100 + (float)k, 122);
    release();
    int bushes = (int)track_billboards().size() - first_track_billboard();
    EXPECT_GE(bushes, 9);

    // Hay bales copied from the one there and lined up across the infield.
    editor.mode = 13;
    press_at(128, 112);
    release();
    ASSERT_GE(editor.picked_statue, 0);
    for (float x : {120.0f, 110.0f, 104.0f, 100.0f}) key_at('d', x, 135);
    press_at(100, 135);
    drag_to(96, 136);
    release();
    press_at(120, 135);
    release();
    key_at('i', 0, 0);  // from the first copy the two between line up to the last
    EXPECT_NEAR(track_statues().back().x, 96, 1e-4);
    EXPECT_NEAR(track_statues()[track_statues().size() - 2].x, 96 + 8, 1e-4);
    int statues = (int)track_statues().size() - first_track_statue();
    EXPECT_EQ(statues, 5);

    // Grass on the infield, dirt where the course runs.
    editor.mode = 14;
    set_number(*find_editor_setting("Tile"), 1);
    set_number(*find_editor_setting("Radius"), 80);  // 10 ft
    press_at(90, 128);
    drag_to(90, 128, 32);
    drag_to(166, 128, 32);
    release();

    // A chalk line across the course at every gate after the first.
    editor.mode = 15;
    ASSERT_TRUE(read_setting(*find_editor_setting("Orientation"), "Copy"));
    press_at(128, 140);
    release();
    ASSERT_EQ(editor.picked_decal, 0);
    for (int k = 1; k < gate_count; k++) {
        float x, z, tx, tz;
        course_point(k, x, z, tx, tz);
        key_at('d', x, z);
    }
    ASSERT_EQ(track_decals().size(), (size_t)gate_count);

    ASSERT_TRUE(editor_save());
    EXPECT_EQ(editor.status_text, "Saved!");

    // The saved track loads afresh as a race and holds what was made.
    request_track_reload();
    clear_race_state();
    ASSERT_TRUE(reset_race(lineup(2)));
    ASSERT_TRUE(track_timing().active);
    EXPECT_EQ(track_timing().gates.size(), (size_t)gate_count);
    EXPECT_EQ((int)track_billboards().size() - first_track_billboard(), bushes);
    EXPECT_EQ((int)track_statues().size() - first_track_statue(), statues);
    EXPECT_EQ(track_decals().size(), (size_t)gate_count);
    EXPECT_EQ(tilemap()[64 + ((size_t)64 << g)], 1);  // (129, 129): infield
    EXPECT_EQ(tilemap()[64 + ((size_t)89 << g)], 0);  // (129, 179): the course
    EXPECT_NEAR(height_at(128, 78), 1.5f, 0.05f);

    // Two laps, through every gate, on the bike.
    const bike_state& b = *bike_in_slot(0);
    while (race.tic <= race.gate_drop_tic) {
        set_bike_controls(0, control_values{});
        simulate_tic();
    }
    pilot_state pilot;
    bool fell = false;
    int tics = 0;
    for (; tics < 3 * 60 * tics_per_second && laps_completed(0) < 2; tics++) {
        pilot_command cmd = pilot_step(view_of(0), pilot);
        control_values c = pilot_controls(cmd);
        set_bike_controls(0, c);
        simulate_tic();
        double r[9];
        get_body_rotation(b, body_frame, r);
        if (r[4] < 0.5) fell = true;
    }
    EXPECT_EQ(laps_completed(0), 2) << "gates passed " << race_slots[0].timing.gates_passed << " in " << tics << " tics";
    EXPECT_GE(race_slots[0].timing.gates_passed, 2 * gate_count);
    EXPECT_FALSE(fell);
}

}  // namespace
