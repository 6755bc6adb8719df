// Lists built once the file index exists: the four graphics choices (rider
// gear, helmets, bike graphics, wheels) and the recorded demos.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/settings.h"

struct variant_list {
    std::vector<const char*> names;   // "@…png"; the first ("default") is null
    std::vector<const char*> labels;  // what the menus and the setup show
    int selected = 0;
    item_list items() const { return item_list{labels.data(), (int)labels.size()}; }
};

enum graphics_list_index { rider_gear_list, helmet_list, bike_graphics_list, wheel_list, graphics_list_count };
extern std::array<variant_list, graphics_list_count> graphics_lists;

// Lists the variants of "rider_body-", "rider_head-", the selected model's
// texture prefix and "wheels-", then selects the setup's names.
void build_graphics_lists();
// Rebuilds the bike graphics list for the currently selected model.
void build_bike_graphics_list();
// Selects in each list the label the setup names ("default" when it is not
// there); the setup's text then holds the selected label.
void select_graphics_from_setup();
void free_graphics_lists();

struct demo_entry {
    std::string name;     // "demos/….kvdemo"
    std::string display;  // base name without extension
};
extern std::vector<demo_entry> demo_list;
constexpr int demo_page_size = 20;
// Every indexed name under "demos/" ending in ".kvdemo"; with debug_level ≥ 1
// each is logged as "%s -> %s\n".
void build_demo_list();
int demo_page_count();
void free_demo_list();
