// The model cache: lookup by name with the case rule, levels of detail found
// in the file index, release by load generation, and the level choice.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

#include "core/cmdline.h"
#include "core/diag.h"
#include "core/text.h"
#include "render/model_internal.h"
#include "vfs/vfs.h"

int model_generation = 0;

namespace {

std::vector<std::unique_ptr<model>> g_models;
bool g_gl = false;

void delete_lists(model& m) {
    for (mesh& me : m.meshes) release_display_list(me);
    for (model::level& l : m.lods)
        if (l.version) delete_lists(*l.version);
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equal_nocase(text.substr(0, prefix.size()), prefix);
}

// Every indexed "<base>_lod<N>…" of an "@" model, as coarser versions at
// distance 2^N, nearest first.
void find_levels_of_detail(model& m) {
    const std::string& name = m.name;
    size_t slash = name.rfind('/');
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot < 1) return;
    std::string prefix = name.substr(1, dot - 1) + "_lod";
    for (const char* const* p = file_list(); *p; p++) {
        std::string_view entry(*p);
        if (!starts_with_nocase(entry, prefix)) continue;
        size_t at = prefix.size(), digits = 0;
        while (at + digits < entry.size() && isdigit((unsigned char)entry[at + digits])) digits++;
        if (digits == 0 || digits > 2) continue;
        int level = std::stoi(std::string(entry.substr(at, digits)));
        if (level > 30) continue;
        std::string file = "@" + std::string(entry);
        if (ends_with_nocase(file, ".gz")) file.resize(file.size() - 3);
        auto version = std::make_unique<model>();
        if (!read_model_file(file.c_str(), *version)) continue;
        if (g_gl) build_display_lists(*version);
        float distance = std::ldexp(1.0f, level);
        auto it = std::upper_bound(m.lods.begin(), m.lods.end(), distance,
                                   [](float d, const model::level& l) { return d < l.distance; });
        m.lods.insert(it, model::level{distance, std::move(version)});
    }
}

}  // namespace

void models_init(bool gl) {
    models_free();
    g_gl = gl;
    model_generation = 0;
    reset_model_polygons();
}

bool models_use_gl() { return g_gl; }

void models_free() {
    for (auto& m : g_models) delete_lists(*m);
    g_models.clear();
}

void model_new_generation() { model_generation++; }

void models_release() {
    for (auto it = g_models.begin(); it != g_models.end();) {
        model& m = **it;
        if (m.generation == 0 || m.generation == model_generation) {
            ++it;
            continue;
        }
        if (cmdline.debug_level >= 1) log_printf("deleting model %.900s\n", m.name.c_str());
        delete_lists(m);
        it = g_models.erase(it);
    }
}

model* model_load(const char* name) {
    if (!name || !*name) return nullptr;
    for (auto& m : g_models) {
        if (m->name == name) {
            m->generation = model_generation;
            return m.get();
        }
    }
    for (auto& m : g_models) {
        if (equal_nocase(m->name, name)) {
            show_messagef("Warning: case mismatch on '%.900s'", name);
            m->generation = model_generation;
            return m.get();
        }
    }
    auto m = std::make_unique<model>();
    if (!read_model_file(name, *m)) return nullptr;
    if (g_gl) build_display_lists(*m);
    if (name[0] == '@') find_levels_of_detail(*m);
    m->generation = model_generation;
    g_models.push_back(std::move(m));
    return g_models.back().get();
}

int model_count() { return (int)g_models.size(); }

const model* choose_lod(const model& m, double d2) {
    return choose_lod(m, d2, render_settings.model_lod_scale, render_settings.model_lod_bias);
}

const model* choose_lod(const model& m, double d2, double scale, double bias) {
    const model* chosen = &m;
    for (const model::level& l : m.lods) {
        double difference = l.distance - bias;
        // d x scale >= difference, on squared values (both sides positive).
        if (difference > 0 && scale > 0 && d2 * scale * scale >= difference * difference)
            chosen = l.version.get();
        else
            break;
    }
    return chosen;
}
