// The menus through their public operations: keys in, settings, race starts
// and the recording of what a page draws out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/bike_names.h"
#include "core/bike_setup.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/quit.h"
#include "net/client.h"
#include "race/series.h"
#include "ui/asset_lists.h"
#include "ui/menu.h"

namespace {

std::vector<race_setup> g_starts;
bool record_start(const race_setup& s) {
    g_starts.push_back(s);
    return true;
}
std::vector<binding_setting*> g_watch_starts;
bool g_watching = false;
const char* g_captured = nullptr;
int g_display_requests = 0;
int g_last_display[3];

struct menu_fixture : ::testing::Test {
    game_settings saved_settings = settings;
    bike_setup saved_setup = player_setup;
    menu_driver saved_services = menu_service;
    run_options saved_cmdline = cmdline;
    std::array<variant_list, graphics_list_count> saved_lists = graphics_lists;
    std::vector<std::string> gear_names;

    void SetUp() override {
        config_defaults();
        reset_menu_state();
        menu_service = menu_driver{};
        menu_service.reset_race = record_start;
        menu_service.start_watching = [](binding_setting* b) {
            g_watch_starts.push_back(b);
            g_watching = true;
        };
        menu_service.watching = [] { return g_watching; };
        menu_service.stop_watching = [] { g_watching = false; };
        menu_service.captured_key = [] { return g_captured; };
        menu_service.request_display_mode = [](int w, int h, bool full) {
            g_display_requests++;
            g_last_display[0] = w, g_last_display[1] = h, g_last_display[2] = full;
        };
        g_starts.clear();
        g_watch_starts.clear();
        g_watching = false;
        g_captured = nullptr;
        g_display_requests = 0;
        menu_frame_number = 100;
        quit_requested = false;
    }
    void TearDown() override {
        open_menu_page(no_menu);
        reset_menu_state();
        settings = saved_settings;
        player_setup = saved_setup;
        menu_service = saved_services;
        cmdline = saved_cmdline;
        graphics_lists = saved_lists;
        quit_requested = false;
    }
    void keys(std::initializer_list<int> codes) {
        for (int c : codes) menu_key(c);
    }
    void type(const char* text) {
        for (const char* p = text; *p; p++) menu_key((unsigned char)*p);
    }
    // The cursor onto the item with this label.
    void go_to(const std::string& label) {
        const std::vector<menu_item>& items = menu_items();
        for (size_t i = 0; i < items.size(); i++)
            if (items[i].label == label) {
                while (menu_cursor < (int)i) menu_key(edit_keys.down);
                while (menu_cursor > (int)i) menu_key(edit_keys.up);
                ASSERT_EQ(menu_cursor, (int)i) << label;
                return;
            }
        FAIL() << "no item " << label;
    }
    const menu_item& current() { return menu_items()[(size_t)menu_cursor]; }
    // A rider-gear list of n entries for the picking list.
    void gear_list(int n) {
        gear_names.clear();
        for (int i = 0; i < n; i++) gear_names.push_back("gear" + std::to_string(i));
        variant_list& v = graphics_lists[rider_gear_list];
        v.names.assign((size_t)n, nullptr);
        v.labels.clear();
        for (const std::string& s : gear_names) v.labels.push_back(s.c_str());
        v.selected = 0;
    }
};

// ---- cursor and pages ------------------------------------------------------------------

TEST_F(menu_fixture, CursorStaysWithinThePageAndPagesStartAtTheTop) {
    open_menu_page(main_page);
    ASSERT_EQ(menu_items().size(), 9u);
    menu_key(edit_keys.up);
    EXPECT_EQ(menu_cursor, 0);
    for (int i = 0; i < 12; i++) menu_key(edit_keys.down);
    EXPECT_EQ(menu_cursor, 8);
    EXPECT_EQ(current().label, "Quit");

    go_to("Bike Setup");
    menu_key(edit_keys.enter);
    EXPECT_EQ(current_menu_page(), bike_setup_page);
    EXPECT_EQ(menu_cursor, 0);
    go_to("Suspension and Gearing");
    menu_key(key_blank);
    EXPECT_EQ(current_menu_page(), suspension_page);
    EXPECT_EQ(menu_items().size(), 21u);
    menu_key(edit_keys.enter);  // "Back to Bike Setup Menu"
    EXPECT_EQ(current_menu_page(), bike_setup_page);
    menu_key(edit_keys.enter);
    EXPECT_EQ(current_menu_page(), main_page);
}

TEST_F(menu_fixture, EveryPageListsItsItemsWithTheirSettings) {
    const struct {
        int page;
        size_t count;
        const char* last;
    } pages[] = {{main_page, 9, "Quit"},
                 {new_race_page, 47, "Gate 40"},
                 {time_trial_page, 5, "Backing Up Aborts Attempt"},
                 {bike_setup_page, 25, "Lean Indicator"},
                 {suspension_page, 21, "Rider Mass Distribution"},
                 {stability_page, 16, "Restricted Lock Angle"},
                 {controls_page, 21, "Screenshot"},
                 {graphics_page, 18, "Competitor Volume"},
                 {advanced_graphics_page, 15, "Multisampling"},
                 {multiplayer_page, 4, "Server"},
                 {playback_page, 24, "Next Page"}};
    for (const auto& p : pages) {
        SCOPED_TRACE(p.page);
        open_menu_page(p.page);
        const std::vector<menu_item>& items = menu_items();
        ASSERT_EQ(items.size(), p.count);
        EXPECT_EQ(items.back().label, p.last);
        for (const menu_item& it : items) {
            if (it.kind != menu_item_kind::button && it.kind != menu_item_kind::entry) {
                EXPECT_NE(it.record, nullptr) << it.label;
            }
        }
    }
    // "Front Brake" is a choice on the setup page and a binding on the controls page.
    open_menu_page(controls_page);
    EXPECT_EQ(menu_items()[2].kind, menu_item_kind::binding);
    EXPECT_EQ(menu_items()[2].record->binding, &bindings[front_brake_binding]);
    open_menu_page(bike_setup_page);
    EXPECT_EQ(menu_items()[16].kind, menu_item_kind::choice);
    EXPECT_EQ(menu_items()[16].record->integer, &player_setup.front_brake);
}

// ---- choices -------------------------------------------------------------------------

TEST_F(menu_fixture, TypeAheadFindsModelsRegardlessOfCase) {
    open_menu_page(bike_setup_page);
    go_to("Bike");
    int start = player_setup.bike;
    type("cR");
    int found = player_setup.bike;
    // The first model from the selected one on whose name holds "cr".
    int expected = -1;
    for (int k = 0; k < bike_model_count && expected < 0; k++) {
        int i = (start + k) % bike_model_count;
        std::string n = bike_model_names[i];
        std::transform(n.begin(), n.end(), n.begin(), ::tolower);
        if (n.find("cr") != std::string::npos) expected = i;
    }
    ASSERT_GE(expected, 0);
    EXPECT_EQ(found, expected);
    EXPECT_EQ(search_state.text, "cR");
    // The value shows the match in red.
    std::string shown = choice_value_text(*current().record);
    EXPECT_NE(shown.find("\033[31m"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\033[0m"), std::string::npos);

    // A letter no model holds after "cr" is taken back.
    type("#");
    EXPECT_EQ(search_state.text, "cR");
    EXPECT_EQ(player_setup.bike, found);

    // Tab cycles through the models holding "cr", each once.
    std::vector<int> seen{found};
    for (int i = 0; i < bike_model_count; i++) {
        menu_key(key_tab);
        if (player_setup.bike == found) break;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), player_setup.bike), 0) << "tried twice";
        seen.push_back(player_setup.bike);
    }
    EXPECT_EQ(player_setup.bike, found);
    int holding = 0;
    for (int i = 0; i < bike_model_count; i++) {
        std::string n = bike_model_names[i];
        std::transform(n.begin(), n.end(), n.begin(), ::tolower);
        holding += n.find("cr") != std::string::npos;
    }
    EXPECT_EQ((int)seen.size(), holding);

    menu_key(key_backspace);
    EXPECT_TRUE(search_state.text.empty());
    EXPECT_EQ(player_setup.bike, found);
    // "right" and "left" step with wrap-around and end the search.
    player_setup.bike = bike_model_count - 1;
    menu_key(edit_keys.right);
    EXPECT_EQ(player_setup.bike, 0);
    menu_key(edit_keys.left);
    EXPECT_EQ(player_setup.bike, bike_model_count - 1);
}

TEST_F(menu_fixture, SearchTextBelongsToOneChoice) {
    open_menu_page(new_race_page);
    go_to("Robot Skill");
    type("exp");
    EXPECT_EQ(settings.skill, 2);
    EXPECT_EQ(search_state.text, "exp");
    go_to("Record Demo");
    type("y");
    EXPECT_EQ(search_state.text, "y");
    EXPECT_EQ(settings.record, 1);
}

TEST_F(menu_fixture, ChangingTheModelRebuildsItsGraphicsList) {
    open_menu_page(bike_setup_page);
    go_to("Bike");
    player_setup.bike_texture = "something";
    menu_key(edit_keys.right);
    EXPECT_EQ(player_setup.bike_texture, graphics_lists[bike_graphics_list].labels.at(0));
    EXPECT_EQ(graphics_lists[bike_graphics_list].selected, 0);
}

// ---- the picking list -----------------------------------------------------------------

TEST_F(menu_fixture, PickingListPagesTwentyAtATimeAndSkipsRowsNotDrawn) {
    gear_list(23);
    open_menu_page(bike_setup_page);
    go_to("Riding Gear");
    menu_key(edit_keys.enter);
    ASSERT_EQ(current_menu_page(), pick_page);
    EXPECT_EQ(pick_list_count(), 23);
    const std::vector<menu_item>& items = menu_items();
    ASSERT_EQ(items.size(), 23u);  // Cancel, Prev Page, 20 rows, Next Page
    EXPECT_EQ(items[2].label, "gear0");
    go_to("Next Page");
    menu_key(edit_keys.enter);
    EXPECT_EQ(pick_list_page(), 1);
    menu_key(edit_keys.enter);  // not past the last page
    EXPECT_EQ(pick_list_page(), 1);
    int drawn = 0;
    for (const menu_item& it : menu_items()) drawn += it.kind == menu_item_kind::entry && !it.hidden;
    EXPECT_EQ(drawn, 3);
    EXPECT_EQ(menu_items()[4].label, "gear22");
    // From the third row "down" lands on "Next Page", and back.
    menu_cursor = 4;
    menu_key(edit_keys.down);
    EXPECT_EQ(current().label, "Next Page");
    menu_key(edit_keys.up);
    EXPECT_EQ(menu_cursor, 4);
    menu_key(edit_keys.enter);
    EXPECT_EQ(current_menu_page(), bike_setup_page);
    EXPECT_EQ(graphics_lists[rider_gear_list].selected, 22);
    EXPECT_EQ(player_setup.rider_texture, "gear22");

    // Cancel returns without a change; the list opens on its first page.
    go_to("Riding Gear");
    menu_key(edit_keys.enter);
    EXPECT_EQ(pick_list_page(), 0);
    EXPECT_EQ(menu_items()[0].label, "Cancel");
    menu_key(edit_keys.enter);
    EXPECT_EQ(current_menu_page(), bike_setup_page);
    EXPECT_EQ(player_setup.rider_texture, "gear22");
}

// ---- numbers -----------------------------------------------------------------------------

TEST_F(menu_fixture, SliderValueRoundsToTheStepAndClamps) {
    const setting* laps = find_setting("laps");  // 0 … 50 by 1
    ASSERT_NE(laps, nullptr);
    double v = -1;
    ASSERT_TRUE(slider_value(150, 100, 200, *laps, v));
    EXPECT_EQ(v, 25);
    ASSERT_TRUE(slider_value(100 + 100 * 10.4 / 50, 100, 200, *laps, v));
    EXPECT_EQ(v, 10);
    ASSERT_TRUE(slider_value(100 + 100 * 10.6 / 50, 100, 200, *laps, v));
    EXPECT_EQ(v, 11);
    ASSERT_TRUE(slider_value(90, 100, 200, *laps, v));
    EXPECT_EQ(v, 0);
    ASSERT_TRUE(slider_value(230, 100, 200, *laps, v));
    EXPECT_EQ(v, 50);
    // A slider without width has no position.
    EXPECT_FALSE(slider_value(100, 100, 100, *laps, v));
    EXPECT_FALSE(number_key(*laps, 16, true, 100, 100, 100));
    const setting* distribution = find_setting("rider_mass_distribution");  // 0.33 … 0.5 by 0.01
    ASSERT_TRUE(slider_value(160, 100, 200, *distribution, v));
    EXPECT_NEAR(v, 0.43, 1e-9);
}

TEST_F(menu_fixture, DraggingAcrossTheSliderFollowsThePointer) {
    open_menu_page(new_race_page);
    layout_menu(800, 600);
    go_to("Laps");
    const menu_item it = current();
    ASSERT_GT(it.slider_x1, it.slider_x0);
    const int y = (it.rect.top + it.rect.bottom) / 2;
    menu_pointer_moved(it.slider_x0 + (it.slider_x1 - it.slider_x0) / 2, y);
    menu_key(edit_keys.cursor_left);
    EXPECT_EQ(settings.laps, 25);
    menu_pointer_moved(it.rect.right - 1, y);
    menu_key(16);
    EXPECT_EQ(settings.laps, 50);
    // 16 pixels left of the slider is too far; 15 is not.
    menu_pointer_moved(it.slider_x0 - 16, y);
    menu_key(16);
    EXPECT_EQ(settings.laps, 50);
    menu_pointer_moved(it.slider_x0 - 15, y);
    menu_key(16);
    EXPECT_EQ(settings.laps, 0);
    // Keys step and clamp.
    menu_key(edit_keys.left);
    EXPECT_EQ(settings.laps, 0);
    menu_key(edit_keys.right);
    EXPECT_EQ(settings.laps, 1);
}

TEST_F(menu_fixture, StabilityRecomputesTheAdvancedValuesAndStarOpensThem) {
    open_menu_page(bike_setup_page);
    go_to("Stability");
    player_setup.stability = 100;
    apply_stability(100);
    bike_setup full = player_setup;
    int applied = 0;
    static int* counter;
    counter = &applied;
    menu_service.apply_setup = [] { (*counter)++; };
    apply_stability(99);
    bike_setup expected = player_setup;
    player_setup = full;
    menu_key(edit_keys.left);
    EXPECT_EQ(player_setup.stability, 99);
    EXPECT_EQ(player_setup.leveling, expected.leveling);
    EXPECT_EQ(player_setup.steering_damping, expected.steering_damping);
    EXPECT_NE(player_setup.leveling == full.leveling && player_setup.roll_damping == full.roll_damping &&
                  player_setup.steering_damping == full.steering_damping,
              true);
    EXPECT_EQ(applied, 1);
    menu_key('*');
    EXPECT_EQ(current_menu_page(), stability_page);
    // "Sticky Sit/Dab" is edited only.
    open_menu_page(bike_setup_page);
    go_to("Sticky Sit/Dab");
    menu_key(edit_keys.right);
    EXPECT_EQ(player_setup.sticky_dab, 1);
    EXPECT_EQ(applied, 1);
}

// ---- text fields ------------------------------------------------------------------------

TEST_F(menu_fixture, TextFieldsEditInInsertAndOverwriteModeWithinTheirLimits) {
    std::string text = "abc";
    text_field_state insert{0, true};
    EXPECT_FALSE(text_field_key(text, 5, insert, key_backspace));  // at 0: nothing
    EXPECT_EQ(text, "abc");
    EXPECT_TRUE(text_field_key(text, 5, insert, 'x'));
    EXPECT_EQ(text, "xabc");
    EXPECT_TRUE(text_field_key(text, 5, insert, ' '));
    EXPECT_EQ(text, "x abc");
    EXPECT_TRUE(text_field_key(text, 5, insert, 'y'));  // the text is cut at the limit
    EXPECT_EQ(text, "x yab");
    insert.cursor = 5;
    EXPECT_FALSE(text_field_key(text, 5, insert, 'z'));  // at the limit
    EXPECT_FALSE(text_field_key(text, 5, insert, key_delete));  // at the end: nothing
    EXPECT_TRUE(text_field_key(text, 5, insert, key_backspace));
    EXPECT_EQ(text, "x ya");
    EXPECT_FALSE(text_field_key(text, 5, insert, edit_keys.up));
    // The text replaced from elsewhere: the cursor is clamped before use.
    text = "q";
    insert.cursor = 40;
    EXPECT_TRUE(text_field_key(text, 5, insert, key_backspace));
    EXPECT_EQ(text, "");
    EXPECT_EQ(insert.cursor, 0u);

    // "Number" overwrites, three characters at most.
    open_menu_page(bike_setup_page);
    go_to("Number");
    player_setup.number = "999";
    type("27");
    EXPECT_EQ(player_setup.number, "279");
    type("13");
    EXPECT_EQ(player_setup.number, "271");
    menu_key(edit_keys.left);
    menu_key(key_delete);
    EXPECT_EQ(player_setup.number, "27");
    // "Name" inserts, up to 63 characters.
    go_to("Name");
    player_setup.name = "Joe";
    menu_key(edit_keys.right);
    type("X");
    EXPECT_EQ(player_setup.name, "JXoe");
    player_setup.name = std::string(63, 'n');
    type("Y");
    EXPECT_EQ(player_setup.name.size(), 63u);
}

// ---- bindings --------------------------------------------------------------------------

TEST_F(menu_fixture, BindingCaptureAssignsTheKeyCaught) {
    open_menu_page(controls_page);
    go_to("Throttle");
    EXPECT_EQ(binding_value_text(bindings[throttle_binding], false), *bindings[throttle_binding].key_name);
    menu_key(key_blank);  // the blank does not start watching
    EXPECT_TRUE(g_watch_starts.empty());
    menu_key(edit_keys.enter);
    ASSERT_EQ(g_watch_starts.size(), 1u);
    EXPECT_EQ(g_watch_starts[0], &bindings[throttle_binding]);
    const menu_frame& f = layout_menu(800, 600);
    bool shown = false;
    for (const menu_shape& s : f.shapes) shown = shown || s.content == "<<PRESS A KEY>>";
    EXPECT_TRUE(shown);
    g_captured = "Right Shift";
    menu_key(edit_keys.down);
    EXPECT_EQ(*bindings[throttle_binding].key_name, "Right Shift");
    EXPECT_FALSE(bindings[throttle_binding].axis_name.has_value());
    EXPECT_FALSE(g_watching);

    binding_setting axis;
    axis.axis_name = "Joystick1 axis 1";
    axis.high = 0.9f;
    EXPECT_EQ(binding_value_text(axis, false), "Joystick1 axis 1 (Positive)");
    axis.high = -0.9f;
    EXPECT_EQ(binding_value_text(axis, false), "Joystick1 axis 1 (Negative)");
    EXPECT_EQ(binding_value_text(binding_setting{}, false), "None");
}

// ---- starting races ------------------------------------------------------------------------

TEST_F(menu_fixture, StartCallsTheRaceResetWithTheLineupAndRotatesItForNextTime) {
    settings.slot.fill(slot_kind_empty);
    settings.slot[0] = slot_kind_human;
    settings.slot[1] = slot_kind_robot;
    settings.slot[39] = slot_kind_robot_4stroke;
    settings.minutes = 2.5;
    settings.laps = 3.9;
    settings.skill = 1;
    settings.record = 1;
    cmdline.rotate_lineup = 1;
    open_menu_page(new_race_page);
    go_to("Start");
    menu_key(edit_keys.keypad_enter);
    EXPECT_EQ(current_menu_page(), no_menu);
    ASSERT_EQ(g_starts.size(), 1u);
    const race_setup& s = g_starts[0];
    ASSERT_TRUE(s.slot_kinds.has_value());
    EXPECT_EQ((*s.slot_kinds)[0], slot_kind_human);
    EXPECT_EQ((*s.slot_kinds)[1], slot_kind_robot);
    EXPECT_EQ((*s.slot_kinds)[39], slot_kind_robot_4stroke);
    EXPECT_EQ((*s.slot_kinds)[40], slot_kind_empty);
    EXPECT_FALSE(s.playback);
    EXPECT_TRUE(s.record);
    EXPECT_EQ(s.race_time, 150 * 128);
    EXPECT_EQ(s.laps, 3);
    EXPECT_EQ(s.skill, 1);
    // The next start: every kind one gate on; gate 40's kind went to slot 40.
    EXPECT_EQ(settings.slot[0], slot_kind_empty);
    EXPECT_EQ(settings.slot[1], slot_kind_human);
    EXPECT_EQ(settings.slot[2], slot_kind_robot);
    EXPECT_EQ(settings.slot[39], slot_kind_empty);

    slot_kind_list kinds{};
    kinds[159] = 7;
    kinds[3] = 9;
    EXPECT_EQ(rotated_lineup(kinds, 1)[0], 7);
    EXPECT_EQ(rotated_lineup(kinds, -4)[159], 9);
}

TEST_F(menu_fixture, TimeTrialRidesAloneForAThousandLaps) {
    settings.skill = 2;
    open_menu_page(time_trial_page);
    go_to("Start");
    menu_key(key_blank);
    ASSERT_EQ(g_starts.size(), 1u);
    EXPECT_FALSE(g_starts[0].slot_kinds.has_value());
    EXPECT_FALSE(g_starts[0].record);
    EXPECT_EQ(g_starts[0].race_time, 0);
    EXPECT_EQ(g_starts[0].laps, 1000);
    EXPECT_EQ(g_starts[0].skill, 2);
    EXPECT_EQ(current_menu_page(), no_menu);
}

TEST_F(menu_fixture, SeriesListPagesAndEnteringTheNextEventOnce) {
    free_series();
    for (int k = 0; k < 23; k++) {
        points_series s;
        s.name = "Series " + std::to_string(k);
        s.robot_numbers = {21, 34};
        s.robot_skill = 1;
        s.events.resize(2);
        s.events[0].track_dir = "rabbithill";
        s.events[0].minutes = 2;
        s.events[0].laps = 1;
        s.events[1].track_dir = "sandpit";
        series_list().push_back(s);
    }
    open_menu_page(series_page);
    // First page: no "Prev Page"; the cursor skips it.
    EXPECT_TRUE(menu_items()[1].hidden);
    EXPECT_FALSE(menu_items().back().hidden);
    go_to("Next Page");
    menu_key(key_blank);
    EXPECT_EQ(menu_items()[2].label, "Series 20");
    EXPECT_TRUE(menu_items()[5].hidden);  // only three on the last page
    EXPECT_TRUE(menu_items().back().hidden);
    go_to("Series 21");
    menu_key(key_blank);
    ASSERT_EQ(current_menu_page(), standings_page);

    go_to("Enter Next Event");
    menu_key(key_blank);
    ASSERT_EQ(g_starts.size(), 1u);
    const race_setup& s = g_starts[0];
    EXPECT_EQ(s.track, "rabbithill");
    EXPECT_EQ(s.race_time, 2 * 60 * 128);
    EXPECT_EQ(s.laps, 1);
    EXPECT_EQ(s.skill, 1);
    EXPECT_EQ((*s.slot_kinds)[0], 1021);
    EXPECT_EQ((*s.slot_kinds)[1], 1034);
    EXPECT_EQ((*s.slot_kinds)[2], slot_kind_human);
    EXPECT_EQ(entered_series, 21);
    EXPECT_EQ(entered_event, 0);
    // Entered already: a second press starts nothing.
    open_menu_page(standings_page);
    go_to("Enter Next Event");
    menu_key(key_blank);
    EXPECT_EQ(g_starts.size(), 1u);
    go_to("Practice Next Event");
    menu_key(key_blank);
    EXPECT_EQ(g_starts.size(), 2u);
    free_series();
}

// ---- graphics ------------------------------------------------------------------------------

TEST_F(menu_fixture, PresetsLineNamesTheMatchingPresetUntilAChange) {
    open_menu_page(graphics_page);
    go_to("Use Normal Settings");
    menu_key(edit_keys.enter);
    EXPECT_EQ(current_settings_text(), "Current Settings: Normal");
    go_to("Use High Detail Settings");
    menu_key(edit_keys.enter);
    EXPECT_EQ(current_settings_text(), "Current Settings: High Detail");
    go_to("Advanced Graphics Setup");
    menu_key(edit_keys.enter);
    go_to("Roost Density");
    menu_key(edit_keys.left);
    EXPECT_EQ(current_settings_text(), "Current Settings: Custom");
    EXPECT_EQ(render_settings.roost_frequency, (int)settings.roost_density);
    // The page draws the line and the driver strings.
    open_menu_page(graphics_page);
    const menu_frame& f = layout_menu(1024, 768);
    bool line = false, note = false;
    for (const menu_shape& s : f.shapes) {
        line = line || s.content == "Current Settings: Custom";
        note = note || s.content == "Some settings will not take effect until next restart";
    }
    EXPECT_TRUE(line);
    EXPECT_TRUE(note);
}

TEST_F(menu_fixture, SwitchModeAsksForTheSelectedMode) {
    static const char* const modes[] = {"Default Fullscreen", "Windowed", "1024x768"};
    set_video_mode_items(modes, 3);
    settings.xres = 800;
    settings.yres = 600;
    open_menu_page(graphics_page);
    go_to("Video Mode");
    menu_key(edit_keys.right);  // "Windowed"
    go_to("Switch To Selected Mode Now");
    menu_key(edit_keys.enter);
    ASSERT_EQ(g_display_requests, 1);
    EXPECT_EQ(g_last_display[0], 800);
    EXPECT_EQ(g_last_display[2], 0);
    go_to("Video Mode");
    menu_key(edit_keys.right);
    go_to("Switch To Selected Mode Now");
    menu_key(edit_keys.enter);
    EXPECT_EQ(g_last_display[0], 1024);
    EXPECT_EQ(g_last_display[1], 768);
    EXPECT_EQ(g_last_display[2], 1);
    set_video_mode_items(nullptr, 0);
}

// ---- quitting -----------------------------------------------------------------------------

TEST_F(menu_fixture, TheEnterThatChoosesQuitDoesNotAlsoConfirm) {
    open_menu_page(main_page);
    go_to("Quit");
    menu_key(edit_keys.enter);
    EXPECT_EQ(current_menu_page(), quit_page);
    menu_key('\r');  // the same frame's character
    EXPECT_FALSE(quit_requested);
    menu_frame_number++;
    menu_key('x');
    EXPECT_TRUE(quit_requested);
}

// ---- the pointer and the drawing ----------------------------------------------------------------

TEST_F(menu_fixture, PointerHighlightsAndClicksTheItemUnderIt) {
    open_menu_page(main_page);
    layout_menu(800, 600);
    const menu_item time_trial = menu_items()[3];
    menu_pointer_moved((time_trial.rect.left + time_trial.rect.right) / 2, time_trial.rect.top + 2);
    EXPECT_EQ(menu_cursor, 3);
    // A click outside every item does nothing.
    menu_pointer_moved(2, 2);
    EXPECT_EQ(menu_cursor, 3);
    menu_key(edit_keys.cursor_left);
    EXPECT_EQ(current_menu_page(), main_page);
    menu_pointer_moved((time_trial.rect.left + time_trial.rect.right) / 2, time_trial.rect.top + 2);
    menu_key(edit_keys.cursor_left);
    EXPECT_EQ(current_menu_page(), time_trial_page);
}

TEST_F(menu_fixture, EveryItemOfEveryPageIsDrawnInsideTheWindowWithoutOverlap) {
    const int pages[] = {main_page,       new_race_page,   playback_page,      time_trial_page,
                         bike_setup_page, suspension_page, stability_page,     controls_page,
                         graphics_page,   advanced_graphics_page, multiplayer_page, series_page};
    for (int width : {640, 1280}) {
        for (int page : pages) {
            SCOPED_TRACE(::testing::Message() << "page " << page << " width " << width);
            open_menu_page(page);
            const int height = 480;
            const menu_frame& f = layout_menu(width, height);
            EXPECT_FALSE(f.shapes.empty());
            const std::vector<menu_item>& items = menu_items();
            for (size_t i = 0; i < items.size(); i++) {
                const menu_rect& r = items[i].rect;
                if (items[i].hidden) {
                    EXPECT_EQ(r.left, -1);
                    continue;
                }
                EXPECT_GE(r.left, 0) << items[i].label;
                EXPECT_GE(r.top, 0) << items[i].label;
                EXPECT_LE(r.right, width) << items[i].label;
                EXPECT_LE(r.bottom, height) << items[i].label;
                EXPECT_GE(r.bottom - r.top, 8) << items[i].label;
                for (size_t k = 0; k < i; k++) {
                    const menu_rect& o = items[k].rect;
                    if (items[k].hidden) continue;
                    bool apart = r.left >= o.right || o.left >= r.right || r.top >= o.bottom || o.top >= r.bottom;
                    EXPECT_TRUE(apart) << items[i].label << " overlaps " << items[k].label;
                }
            }
        }
    }
}

TEST_F(menu_fixture, DrawingUsesTheHighlightColoursAndShowsValues) {
    settings.laps = 25;
    open_menu_page(new_race_page);
    go_to("Start");
    const menu_frame& f = layout_menu(800, 600);
    bool start_lit = false, laps_value = false, bar = false;
    for (size_t i = 0; i + 1 < f.shapes.size(); i++) {
        const menu_shape& s = f.shapes[i];
        const menu_shape& next = f.shapes[i + 1];
        if (s.kind == menu_shape::box && next.content == "Start")
            start_lit = s.colour.g == 1 && s.colour.r == 0 && s.colour.a == 0.8f;
        if (next.content == "25.00") laps_value = true;
        // The bar fills half the slider for 25 of 0 … 50.
        if (s.kind == menu_shape::box && next.content == "25.00") {
            const menu_item& laps = menu_items()[6];
            bar = std::abs((s.x1 - s.x0) - (laps.slider_x1 - laps.slider_x0) / 2.0f) < 1.5f;
        }
    }
    EXPECT_TRUE(start_lit);
    EXPECT_TRUE(laps_value);
    EXPECT_TRUE(bar);

    // A highlighted text field marks the character at its cursor.
    open_menu_page(bike_setup_page);
    go_to("Name");
    const menu_frame& g = layout_menu(800, 600);
    bool cursor = false;
    for (const menu_shape& s : g.shapes) cursor = cursor || (s.content == player_setup.name && s.cursor_at == 0);
    EXPECT_TRUE(cursor);

    // The main menu's notice fades out after ten seconds.
    static double now;
    menu_service.seconds = [] { return now; };
    open_menu_page(main_page);
    now = 9.5;
    float alpha = -1;
    for (const menu_shape& s : layout_menu(800, 600).shapes)
        if (s.content.rfind("Although", 0) == 0) alpha = s.colour.a;
    EXPECT_FLOAT_EQ(alpha, 0.5f);
    now = 11;
    alpha = -1;
    for (const menu_shape& s : layout_menu(800, 600).shapes)
        if (s.content.rfind("Although", 0) == 0) alpha = s.colour.a;
    EXPECT_EQ(alpha, -1);
}

// ---- the input line -----------------------------------------------------------------------------

TEST_F(menu_fixture, InputLineEditsAndKeepsAnUnhandledLine) {
    static std::vector<std::string> submitted;
    static bool take;
    submitted.clear();
    menu_service.submit_line = [](const std::string& line) {
        submitted.push_back(line);
        return take;
    };
    open_menu_page(input_line_page);
    type("/fps");
    take = false;
    menu_key(edit_keys.enter);
    ASSERT_EQ(submitted.size(), 1u);
    const menu_frame& f = layout_menu(800, 600);
    bool shown = false;
    for (const menu_shape& s : f.shapes) shown = shown || s.content == "> /fps";
    EXPECT_TRUE(shown);
    take = true;
    menu_key(edit_keys.enter);
    EXPECT_EQ(submitted.back(), "/fps");
    type("hi");
    menu_key(edit_keys.up);  // the history's newest line
    shown = false;
    for (const menu_shape& s : layout_menu(800, 600).shapes) shown = shown || s.content == "> /fps";
    EXPECT_TRUE(shown);
    menu_key(edit_keys.down);  // back to what was being typed
    for (const menu_shape& s : layout_menu(800, 600).shapes) shown = s.content == "> hi" ? true : shown;
    menu_key(edit_keys.enter);
    EXPECT_EQ(submitted.back(), "hi");
}

}  // namespace

namespace {

TEST_F(menu_fixture, PagesOpenedByTheFrameLoopStartAtTheirFirstItem) {
    // Esc closes any page and opens the main menu; the Chat key opens the
    // input line. Neither goes through the menu's own page change.
    open_menu_page(bike_setup_page);
    go_to("Lean Indicator");
    set_menu_page(no_menu);
    set_menu_page(main_page);
    menu_key(edit_keys.enter);
    EXPECT_EQ(current_menu_page(), new_race_page);  // the first item, not the 25th
    set_menu_page(input_line_page);
    type("hi");
    layout_menu(800, 600);
    EXPECT_EQ(menu_items().size(), 1u);
}

}  // namespace

namespace {

TEST_F(menu_fixture, SuspensionPageShowsWhatTheAdjustmentsMeanOnTheModel) {
    player_setup.fork_spring_rate_adjustment = 50;
    player_setup.rear_sprocket_adjustment = -1;
    open_menu_page(suspension_page);
    bool spring = false, sprocket = false, plain = false;
    for (const menu_shape& s : layout_menu(800, 600).shapes) {
        spring = spring || (s.content.rfind("50.00   (", 0) == 0 && s.content.find(" kg/mm)") != std::string::npos);
        sprocket = sprocket || (s.content.rfind("-1.00   (", 0) == 0 && s.content.find(" teeth)") != std::string::npos);
        plain = plain || s.content == "50.00";  // damping adjustments show the value alone
    }
    EXPECT_TRUE(spring);
    EXPECT_TRUE(sprocket);
    EXPECT_TRUE(plain);
}

}  // namespace

TEST_F(menu_fixture, ServerFieldWalksTheAddressHistoryAndConnectRemembersTheAddress) {
    settings.server_name = "typed.example";
    for (std::string& h : settings.server_name_hist) h.clear();
    settings.server_name_hist[0] = "typed.example";
    settings.server_name_hist[1] = "older.example";
    settings.server_name_hist[2] = "oldest.example";
    open_menu_page(multiplayer_page);
    go_to("Server");
    // Up skips entry 0 (the field itself) and stops before an empty entry;
    // down comes back to the field as typed.
    const char* walk[][2] = {{"up", "older.example"},  {"up", "oldest.example"}, {"up", "oldest.example"},
                             {"down", "older.example"}, {"down", "typed.example"}, {"down", "typed.example"}};
    for (auto& [key, expected] : walk) {
        menu_key(strcmp(key, "up") == 0 ? edit_keys.up : edit_keys.down);
        EXPECT_EQ(settings.server_name, expected) << key;
    }
    EXPECT_EQ(current().label, "Server");

    settings.server_name = "new.example:19801";
    open_menu_page(multiplayer_page);
    go_to("Connect");
    menu_key(key_blank);
    EXPECT_EQ(settings.server_name_hist[0], "new.example:19801");
    EXPECT_EQ(settings.server_name_hist[1], "typed.example");
    EXPECT_EQ(settings.server_name_hist[3], "oldest.example");
    EXPECT_EQ(client.server_address, "new.example:19801");
    client_init();
}
