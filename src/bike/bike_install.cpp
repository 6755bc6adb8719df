#include "bike/bike_install.h"

#include <cstring>
#include <string>

#include "bike/bike_info.h"
#include "bike/bike_world.h"
#include "core/bike_names.h"
#include "core/hooks.h"
#include "core/diag.h"

namespace {

// "@cr125.png" gives "cr125-": the graphics variants of a model are named
// "<prefix>-<label>.png".
const char* texture_prefix(int model) {
    if (model < 0 || model >= bike_model_count) return nullptr;
    const char* file = bike_info_table[model].model_files[file_bike_texture];
    std::string name = file[0] == '@' ? file + 1 : file;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    return intern_string((name + "-").c_str());
}

}  // namespace

void install_bike() {
    bike_hook.texture_prefix = texture_prefix;
    physics_hook.create_world = bike_world_init;
    physics_hook.destroy_world = bike_world_free;
}
