#include "bike/bike_info.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "core/diag.h"

const bike_info* find_bike_info(const char* name) {
    if (!name) return nullptr;
    for (const bike_info& b : bike_info_table)
        if (strcmp(b.name, name) == 0) return &b;
    return nullptr;
}

int bike_info_index(const bike_info* info) {
    if (!info || info < bike_info_table.data() || info >= bike_info_table.data() + bike_model_count) return -1;
    return (int)(info - bike_info_table.data());
}

namespace {
const bike_info& first_containing(const char* part) {
    for (const bike_info& b : bike_info_table)
        if (strstr(b.name, part)) return b;
    return bike_info_table[0];
}
}  // namespace

const bike_info& bike_info_for_load(const char* name) {
    if (const bike_info* b = find_bike_info(name)) return *b;
    if (!name) name = "";
    // An unknown model is replaced by one of its size class: anything named
    // like a 125 rides the first 125, everything else the first 250 four-stroke.
    const bike_info& fallback = first_containing(strstr(name, "125") ? "125" : "250f");
    show_messagef("bike info for '%.20s' not found using '%.20s' instead", name, fallback.name);
    return fallback;
}

bool gear_exists(const bike_info& info, int gear) {
    if (gear == 0) return true;
    if (gear < 0 || gear >= bike_gear_count) return false;
    return info.gear_ratios[gear] > 0;
}

int valid_gear(const bike_info& info, int gear) {
    gear = std::clamp(gear, 0, bike_gear_count - 1);
    while (gear > 0 && !(info.gear_ratios[gear] > 0)) gear--;
    return gear;
}

double final_drive_ratio(const bike_info& info, double countershaft_adjustment, double rear_adjustment) {
    double rear = std::max(std::floor(info.rear_sprocket_teeth + rear_adjustment), 3.0);
    double front = std::max(std::floor(info.countershaft_teeth + countershaft_adjustment), 3.0);
    return rear / front;
}

double total_reduction(const bike_info& info, int gear, double final_drive) {
    // A gear the model lacks would give a negative reduction: use the gear the
    // rider actually ends up in.
    return info.primary_ratio * info.gear_ratios[valid_gear(info, gear)] * final_drive;
}

const char* bike_texture_prefix(int model) {
    if (model < 0 || model >= bike_model_count) return nullptr;
    const char* file = bike_info_table[(size_t)model].model_files[file_bike_texture];
    std::string name = file[0] == '@' ? file + 1 : file;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    return intern_string((name + "-").c_str());
}
