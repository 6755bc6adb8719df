// The billboard list, the "billboards" file and its writer.
#include "track/objects_billboards.h"

#include <algorithm>
#include <cmath>

#include "core/diag.h"
#include "core/text.h"
#include "render/texture.h"
#include "track/height_field.h"
#include "track/track.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

namespace {

std::vector<billboard> g_billboards;
int g_first_track = 0;

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool finite_all(std::initializer_list<float> values) {
    for (float v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

// The name a billboard is saved under: its texture spec's, or, for one whose
// texture was set by id, the loaded texture's.
std::string saved_name(const billboard& b) {
    if (!b.texture_name.empty()) return b.texture_name;
    if (!b.texture) return "";
    const texture_record* t = texture_of(b.texture);
    return t ? t->name : "";
}

}  // namespace

texture_spec parse_texture_spec(const std::string& text) {
    texture_spec spec;
    if (text.size() > 7 && text[0] == '#' && text[7] == '#') {
        int v[6];
        bool hex = true;
        for (int k = 0; k < 6; k++) hex = hex && (v[k] = hex_digit(text[(size_t)k + 1])) >= 0;
        if (hex) {
            for (int k = 0; k < 3; k++) spec.tint[(size_t)k] = (uint8_t)(v[2 * k] * 16 + v[2 * k + 1]);
            spec.name = text.substr(8);
            return spec;
        }
    }
    spec.name = text;
    return spec;
}

std::vector<billboard>& track_billboards() { return g_billboards; }
int first_track_billboard() { return g_first_track; }
void mark_first_track_billboard() { g_first_track = (int)g_billboards.size(); }

void reseat_billboard(billboard& b) { b.y = height_at(b.x, b.z) + b.y_offset; }

int add_billboard(float x, float y_offset, float z, float size, float aspect, const char* spec) {
    // A billboard the renderer cannot place or sort is not made at all.
    if (!finite_all({x, y_offset, z, size, aspect})) return -1;
    billboard b;
    b.x = x, b.z = z, b.y_offset = y_offset;
    b.size = size, b.aspect = aspect;
    if (spec) {
        texture_spec t = parse_texture_spec(spec);
        b.tint = t.tint;
        b.texture_name = t.name;
        if (!t.name.empty()) b.texture = texture_load(t.name.c_str());
    }
    reseat_billboard(b);
    g_billboards.push_back(std::move(b));
    return (int)g_billboards.size() - 1;
}

void create_particle_pool() {
    g_billboards.reserve(g_billboards.size() + roost_particle_count);
    for (int k = 0; k < roost_particle_count; k++) add_billboard(0, 0, 0, 0, 1, nullptr);
    mark_first_track_billboard();
}

void load_billboards(const char* name) {
    mark_first_track_billboard();
    vfs_file* f = name ? vfs_open(name, "rb") : nullptr;
    if (!f) return;
    float x, y, z, size, aspect;
    char spec[1024];
    while (vfs_scanf(f, "[ %f %f %f ] %f %f %1023s ", &x, &y, &z, &size, &aspect, spec) == 6) {
        add_billboard(x, y, z, size, aspect, spec);
        track_step_tick();
    }
    vfs_close(f);
}

void free_billboards() {
    g_billboards.clear();
    g_billboards.shrink_to_fit();
    g_first_track = 0;
}

std::string encode_billboards(const std::vector<billboard>& list, size_t first) {
    std::string out;
    for (size_t k = first; k < list.size(); k++) {
        const billboard& b = list[k];
        std::string name = saved_name(b);
        if (name.empty()) continue;
        out += "[" + exact_float_text(b.x) + " " + exact_float_text(b.y_offset) + " " + exact_float_text(b.z) + "] " +
               exact_float_text(b.size) + " " + exact_float_text(b.aspect) + " ";
        // Alpha is not part of the file.
        if (b.tint[0] == 255 && b.tint[1] == 255 && b.tint[2] == 255)
            out += name + "\n";
        else
            out += format_string("#%02x%02x%02x#", b.tint[0], b.tint[1], b.tint[2]) + name + "\n";
    }
    return out;
}

bool save_billboards() {
    std::string text = encode_billboards(g_billboards, (size_t)std::max(g_first_track, 0));
    vfs_file* f = current_track_dir ? vfs_open(track_file_name(current_track_dir->c_str(), "billboards").c_str(), "=wb")
                                    : nullptr;
    if (!f) {
        show_message("Can't open 'billboards'\n");
        return false;
    }
    bool ok = vfs_write(f, text.data(), text.size()) == text.size();
    if (!vfs_close(f)) ok = false;
    // The old file stays in place when the new one could not be written.
    if (!ok) show_message("Error writing 'billboards'\n");
    return ok;
}
