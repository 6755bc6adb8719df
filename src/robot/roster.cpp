// The built-in robot riders and their brains, and which rider a gate entry
// gets.
#include <algorithm>
#include <cstring>

#include "core/bike_setup.h"
#include "core/diag.h"
#include "race/race_tic.h"
#include "robot/robot.h"

robot_options_t robot_options;

namespace {

const robot_brain g_brains[robot_brain_count] = {
    {"empty", 0, 0, 0, 0, 0},     {"ordo", 0, 0, 1.0f, 0.2f, 0.4f}, {"pellam", 2, 1, 10.0f, 0.2f, 0.4f},
    {"zute", 1, 0, 10.0f, 0, 0.1f}, {"tester", 3, 3, 1.0f, 0.2f, 0.4f},
};

struct roster_group {
    int first, count;
    const char* brain;
    const char* bike;
    int body_head[5][2];
    int textured;  // index with the bike's alt1 textures, -1 none
};
const roster_group g_groups[] = {
    {0, 5, "pellam", "kx125", {{1, 1}, {2, 2}, {3, 3}, {1, 0}, {1, 0}}, 3},
    {5, 5, "pellam", "yz125", {{2, 1}, {3, 2}, {1, 2}, {1, 3}, {2, 1}}, 7},
    {10, 5, "pellam", "cr125", {{3, 0}, {1, 1}, {1, 2}, {2, 3}, {3, 1}}, 11},
    {15, 5, "pellam", "rm125", {{1, 0}, {1, 1}, {2, 2}, {3, 3}, {0, 1}}, 15},
    {20, 5, "ordo", "crf250", {{1, 1}, {2, 2}, {3, 3}, {0, 0}, {1, 2}}, -1},
    {25, 5, "ordo", "kx250f", {{2, 3}, {3, 1}, {0, 1}, {1, 3}, {2, 1}}, -1},
    {30, 4, "ordo", "rmz250", {{3, 2}, {0, 0}, {1, 1}, {2, 2}}, -1},
    {34, 5, "ordo", "yz250f", {{3, 3}, {0, 1}, {1, 2}, {2, 3}, {3, 1}}, -1},
    {39, 1, "ordo", "yz250f_se(2006)", {{0, 0}}, -1},
    {40, 5, "pellam", "crf250", {{1, 3}, {2, 1}, {3, 2}, {0, 1}, {1, 1}}, -1},
    {45, 5, "pellam", "kx250f", {{2, 2}, {3, 3}, {0, 0}, {1, 2}, {2, 3}}, -1},
    {50, 5, "pellam", "rmz250", {{3, 1}, {0, 1}, {1, 3}, {2, 1}, {3, 2}}, -1},
    {55, 4, "pellam", "yz250f", {{0, 0}, {1, 1}, {2, 2}, {3, 3}}, -1},
    {59, 1, "pellam", "yz250f_se(2006)", {{0, 0}}, -1},
};
const char* const g_zute_bikes[4] = {"crf250", "kx250f", "yz250f", "rmz250"};

std::string variant(const char* stem, int v) {
    if (v <= 0) return "";
    return std::string("@") + stem + "-alt" + std::to_string(v) + ".png";
}

std::array<robot_entry, robot_roster_size> build_roster() {
    std::array<robot_entry, robot_roster_size> r;
    for (int i = 0; i < robot_roster_size; i++) r[(size_t)i].number = std::to_string(20 + i);
    for (const roster_group& g : g_groups)
        for (int k = 0; k < g.count; k++) {
            robot_entry& e = r[(size_t)(g.first + k)];
            e.brain = g.brain;
            e.bike = g.bike;
            e.rider_body = variant("rider_body", g.body_head[k][0]);
            e.rider_head = variant("rider_head", g.body_head[k][1]);
            if (g.first + k == g.textured) {
                e.bike_texture = variant(g.bike, 1);
                e.wheel_texture = variant("wheels", 1);
            }
        }
    for (int i = 60; i < 80; i++) {
        robot_entry& e = r[(size_t)i];
        int v = (i - 60) % 5 % 2 == 0 ? 1 : 2;
        e.brain = "zute";
        e.bike = g_zute_bikes[(i - 60) / 5];
        e.rider_body = variant("rider_body", v);
        e.rider_head = variant("rider_head", v);
        e.bike_texture = variant(e.bike, v);
        e.wheel_texture = variant("wheels", v);
    }
    return r;
}

const std::array<robot_entry, robot_roster_size> g_roster = build_roster();
std::array<int, robot_roster_size> g_order = [] {
    std::array<int, robot_roster_size> o{};
    for (int i = 0; i < robot_roster_size; i++) o[(size_t)i] = i;
    return o;
}();
int g_taken = 0;

}  // namespace

const robot_entry& roster_entry(int index) { return g_roster[(size_t)std::clamp(index, 0, robot_roster_size - 1)]; }
const robot_brain& brain(int index) { return g_brains[std::clamp(index, 0, robot_brain_count - 1)]; }

int find_brain(const char* name) {
    for (int i = 1; i < robot_brain_count; i++)
        if (std::strcmp(g_brains[i].name, name) == 0) return i;
    log_printf("auto pilot personality '%s' not found\n", name);
    return 1;
}

void shuffle_robots() {
    for (int i = 0; i < robot_roster_size; i++) g_order[(size_t)i] = i;
    // Sattolo's form of the shuffle: an entry never stays in its place.
    for (int n = robot_roster_size - 1; n >= 1; n--) {
        uint32_t r = next_u32(race_random());
        std::swap(g_order[(size_t)n], g_order[(size_t)((r >> 16) % (uint32_t)n)]);
    }
    g_taken = 0;
}

const std::array<int, robot_roster_size>& robot_order() { return g_order; }

int assign_robot_entry(int kind) {
    // Past the roster's end the entries are used again from the front.
    if (g_taken >= robot_roster_size) g_taken = 0;
    int pick = g_taken;
    auto last_with = [&](const char* part) {
        for (int i = robot_roster_size - 1; i >= g_taken; i--)
            if (std::strstr(g_roster[(size_t)g_order[(size_t)i]].bike, part)) return i;
        return -1;
    };
    if (kind == slot_kind_robot_2stroke) {
        if (int i = last_with("125"); i >= 0) pick = i;
    } else if (kind == slot_kind_robot_4stroke) {
        if (int i = last_with("250"); i >= 0) pick = i;
    } else if (kind >= slot_kind_series_robot) {
        std::string wanted = std::to_string(kind - slot_kind_series_robot);
        for (int i = g_taken; i < robot_roster_size; i++)
            if (g_roster[(size_t)g_order[(size_t)i]].number == wanted) {
                pick = i;
                break;
            }
    }
    std::swap(g_order[(size_t)pick], g_order[(size_t)g_taken]);
    return g_order[(size_t)g_taken++];
}

bool assign_robot(int slot, int kind, int /*skill*/, std::string& model, bike_setup& setup) {
    const robot_entry& e = roster_entry(assign_robot_entry(kind));
    model = e.bike;
    // A series robot rides with the number the series gave it, whichever
    // entry it was dealt.
    setup.number = kind >= slot_kind_series_robot ? std::to_string(kind - slot_kind_series_robot) : e.number;
    setup.name = "Roborider";
    auto texture = [](const std::string& name) { return name.empty() ? std::string("default") : name; };
    setup.rider_texture = texture(e.rider_body);
    setup.head_texture = texture(e.rider_head);
    setup.bike_texture = texture(e.bike_texture);
    setup.wheel_texture = texture(e.wheel_texture);
    robot_state& r = robot(slot);
    r = robot_state{};
    r.brain = robot_options.practice ? find_brain("tester") : find_brain(e.brain);
    return true;
}
