// Runs after the model, shape and texture generators (generators run in name
// order): every file that a row of the bike model table names, and the
// fixed files the program loads by name, must be in the archive.
#include <cstdio>
#include <set>
#include <string>

#include "bike/bike_info.h"
#include "datagen/datagen.h"
#include "vfs/saf.h"

namespace {

bool member_named(const std::set<std::string>& names, std::string name) {
    if (!name.empty() && name[0] == '@') name.erase(0, 1);
    return names.count(name) || names.count(name + ".gz");
}

bool verify_models(datagen_output& out) {
    std::set<std::string> names;
    for (const saf_member& m : out.members) names.insert(m.name);
    bool ok = true;
    for (const bike_info& b : bike_info_table) {
        for (int k = 0; k < model_file_count; k++) {
            if (member_named(names, b.model_files[k])) continue;
            fprintf(stderr, "quarnix-datagen: %s needs %s, which is not generated\n", b.name, b.model_files[k]);
            ok = false;
        }
    }
    for (const char* n : {"startgate.jm", "startgate.ppm", "startgate.shp", "colors/white.png", "roost.png"}) {
        if (member_named(names, n)) continue;
        fprintf(stderr, "quarnix-datagen: %s is not generated\n", n);
        ok = false;
    }
    return ok;
}

}  // namespace

QX_DATAGEN_GENERATOR(verify_models, verify_models);
