// The statue list, statue orientation and seating, the "statues" file and
// its writer.
#include "track/objects_statues.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/diag.h"
#include "render/model.h"
#include "render/shape_file.h"
#include "render/texture.h"
#include "track/height_field.h"
#include "track/track.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

namespace {

std::vector<statue> g_statues;
int g_first_track = 0;

using vec = std::array<float, 3>;

vec cross(const vec& a, const vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// False for a vector that has no direction.
bool normalise(vec& v) {
    float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(l > 0) || !std::isfinite(l)) return false;
    for (float& c : v) c /= l;
    return true;
}

bool given(const char* name) { return name && *name; }

const char* file_name(const char* token) { return std::strcmp(token, "null") == 0 ? nullptr : token; }

std::string saved(const std::string& name) { return name.empty() ? "null" : name; }

}  // namespace

std::vector<statue>& track_statues() { return g_statues; }
int first_track_statue() { return g_first_track; }
void mark_first_track_statue() { g_first_track = (int)g_statues.size(); }

void orient_statue(statue& s) {
    float a = s.angle;
    if (a >= impostor_heading) {
        s.orientation = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        return;
    }
    vec x0 = {std::cos(a), 0.0f, -std::sin(a)};
    vec up = {0, 1, 0};
    if (a > upright_heading) {
        float x = s.x, z = s.z;
        float h0 = height_at(x, z), hx = height_at(x + 1, z), hz = height_at(x, z + 1);
        // The steps as single precision sees them (less than 1 far out).
        float dx = (x + 1.0f) - x, dz = (z + 1.0f) - z;
        up = {-(hx - h0) * dz, dx * dz, -(hz - h0) * dx};
        // Far out the steps vanish in rounding: stand upright there.
        if (!normalise(up)) up = {0, 1, 0};
    }
    vec zaxis = cross(x0, up);
    if (!normalise(zaxis)) {
        up = {0, 1, 0};
        zaxis = cross(x0, up);
        normalise(zaxis);
    }
    vec xaxis = cross(up, zaxis);
    for (int r = 0; r < 3; r++) {
        s.orientation[(size_t)r * 3 + 0] = xaxis[(size_t)r];
        s.orientation[(size_t)r * 3 + 1] = up[(size_t)r];
        s.orientation[(size_t)r * 3 + 2] = zaxis[(size_t)r];
    }
}

void reseat_statue(statue& s) {
    s.y = height_at(s.x, s.z) + s.y_offset;
    s.face_distance = s.angle >= impostor_heading ? std::pow(2.0f, s.angle) : 0.0f;
    orient_statue(s);
}

int add_statue(float x, float y_offset, float z, float angle, const char* model_name, const char* texture_name,
               const char* shape_name) {
    if (!std::isfinite(x) || !std::isfinite(y_offset) || !std::isfinite(z) || !std::isfinite(angle)) return -1;
    statue s;
    s.x = x, s.z = z, s.y_offset = y_offset, s.angle = angle;
    if (given(model_name)) {
        s.model_name = model_name;
        s.model_ref = model_load(model_name);
    }
    if (given(shape_name)) {
        s.shape_name = shape_name;
        s.shape = shape_load(shape_name);
        if (!s.shape) show_messagef("Warning: missing shape file %.900s", shape_name);
    }
    if (given(texture_name)) {
        s.texture_name = texture_name;
        // A texture means nothing without a model to put it on.
        if (s.model_ref) {
            s.texture = texture_load(texture_name);
            s.normal_map = texture_companion(texture_name, model_name, "_norm");
            s.specular_map = texture_companion(texture_name, model_name, "_spec");
        }
    }
    reseat_statue(s);
    g_statues.push_back(std::move(s));
    return (int)g_statues.size() - 1;
}

int add_gate_piece(const float position[3], float angle, const char* model_name, const char* texture_name,
                   const char* shape_name) {
    float x = position[0] - 3 * std::sin(angle), z = position[2] - 3 * std::cos(angle);
    // The piece keeps the position's own height wherever it is re-seated.
    return add_statue(x, position[1] - height_at(x, z), z, angle, model_name, texture_name, shape_name);
}

void touch_statue(int index, int tic) {
    if (index >= 0 && index < (int)g_statues.size()) g_statues[(size_t)index].touch_tic = tic;
}

void load_statues(const char* name) {
    mark_first_track_statue();
    vfs_file* f = name ? vfs_open(name, "rb") : nullptr;
    if (!f) return;
    float x, y, z, angle;
    char model_name[1024], texture_name[1024], shape_name[1024];
    while (vfs_scanf(f, "[ %f %f %f ] %f %1023s %1023s %1023s ", &x, &y, &z, &angle, model_name, texture_name,
                     shape_name) == 7) {
        add_statue(x, y, z, angle, file_name(model_name), file_name(texture_name), file_name(shape_name));
        track_step_tick();
    }
    vfs_close(f);
}

void free_statues() {
    g_statues.clear();
    g_statues.shrink_to_fit();
    g_first_track = 0;
}

void statue_model_files(std::vector<std::string>& names) {
    // Every model named, whether the model loader took it or not: the digest
    // covers the file as it is, and a file the loader refuses is still one
    // two players must agree on.
    for (const statue& s : g_statues)
        if (!s.model_name.empty()) names.push_back(s.model_name);
}

std::string encode_statues(const std::vector<statue>& list, size_t first) {
    std::string out;
    for (size_t k = first; k < list.size(); k++) {
        const statue& s = list[k];
        out += "[" + exact_float_text(s.x) + " " + exact_float_text(s.y_offset) + " " + exact_float_text(s.z) + "] " +
               exact_float_text(s.angle) + " " + saved(s.model_name) + " " + saved(s.texture_name) + " " +
               saved(s.shape_name) + "\n";
    }
    return out;
}

bool save_statues() {
    std::string text = encode_statues(g_statues, (size_t)std::max(g_first_track, 0));
    vfs_file* f = current_track_dir ? vfs_open(track_file_name(current_track_dir->c_str(), "statues").c_str(), "=wb")
                                    : nullptr;
    if (!f) {
        show_message("Can't open 'statues'\n");
        return false;
    }
    bool ok = vfs_write(f, text.data(), text.size()) == text.size();
    if (!vfs_close(f)) ok = false;
    if (!ok) show_message("Error writing 'statues'\n");
    return ok;
}
