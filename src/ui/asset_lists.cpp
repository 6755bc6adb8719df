#include "ui/asset_lists.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "bike/bike_info.h"
#include "core/bike_setup.h"
#include "core/cmdline.h"
#include "core/diag.h"
#include "core/text.h"
#include "demo/demo.h"
#include "vfs/vfs.h"

std::array<variant_list, graphics_list_count> graphics_lists;
std::vector<demo_entry> demo_list;

namespace {

std::string* setup_text(int list) {
    switch (list) {
        case rider_gear_list: return &player_setup.rider_texture;
        case helmet_list: return &player_setup.head_texture;
        case bike_graphics_list: return &player_setup.bike_texture;
        default: return &player_setup.wheel_texture;
    }
}

void list_variants(int list, const char* prefix) {
    variant_list& v = graphics_lists[(size_t)list];
    list_texture_variants(prefix, v.names, v.labels);
    v.selected = 0;
}

}  // namespace

void build_bike_graphics_list() {
    const char* prefix = bike_texture_prefix(player_setup.bike);
    if (prefix && *prefix) {
        list_variants(bike_graphics_list, prefix);
    } else {
        // Without the model table there is no prefix to look for: only the
        // model's own graphics.
        variant_list& v = graphics_lists[bike_graphics_list];
        v.names.assign(1, nullptr);
        v.labels.assign(1, intern_string("default"));
        v.selected = 0;
    }
}

void build_graphics_lists() {
    list_variants(rider_gear_list, "rider_body-");
    list_variants(helmet_list, "rider_head-");
    build_bike_graphics_list();
    list_variants(wheel_list, "wheels-");
    select_graphics_from_setup();
}

void select_graphics_from_setup() {
    for (int i = 0; i < graphics_list_count; i++) {
        variant_list& v = graphics_lists[(size_t)i];
        std::string* text = setup_text(i);
        v.selected = 0;
        for (size_t k = 0; k < v.labels.size(); k++)
            if (*text == v.labels[k]) v.selected = (int)k;
        if (!v.labels.empty()) *text = v.labels[(size_t)v.selected];
    }
}

void free_graphics_lists() {
    for (variant_list& v : graphics_lists) v = variant_list{};
}

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = (char)tolower((unsigned char)c);
    return out;
}

}  // namespace

void build_demo_list() {
    demo_list.clear();
    std::vector<std::string> names;
    for (const char* const* p = file_list(); *p; p++) names.emplace_back(*p);
    // The index is made once at start-up; demos recorded since are on disk.
    for (std::string& name : home_demo_names()) names.push_back(std::move(name));
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return lower(a) < lower(b); });
    for (size_t i = 0; i < names.size(); i++) {
        std::string_view name(names[i]);
        if (!starts_with(name, "demos/") || !name.ends_with(".kvdemo")) continue;
        if (i > 0 && lower(names[i - 1]) == lower(name)) continue;
        std::string_view base = name.substr(name.rfind('/') + 1);
        base.remove_suffix(strlen(".kvdemo"));
        demo_list.push_back(demo_entry{std::string(name), std::string(base)});
        if (cmdline.debug_level >= 1) log_printf("%s -> %s\n", names[i].c_str(), demo_list.back().display.c_str());
    }
}

int demo_page_count() { return ((int)demo_list.size() + demo_page_size - 1) / demo_page_size; }

void free_demo_list() { demo_list.clear(); }
