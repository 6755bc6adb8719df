// Saving the edited track back into its directory, and the ray-tracer scene.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/diag.h"
#include "editor/editor.h"
#include "editor/editor_internal.h"
#include "race/race.h"
#include "race/timing_gates.h"
#include "render/image_io.h"
#include "render/model.h"
#include "render/terrain_lighting.h"
#include "track/decals.h"
#include "track/height_field.h"
#include "track/objects_billboards.h"
#include "track/objects_statues.h"
#include "track/tile_info.h"
#include "track/track.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

namespace {

struct authored_place {
    float x = 0, y_offset = 0, z = 0, angle = 0;
};
std::vector<authored_place> g_statue_places, g_billboard_places;
// Decals are written while the track has any, and also when it had some at
// attach, so that removing the last one reaches the file.
bool g_had_decals = false;

// Writes a whole file under a temporary name that replaces `file` only
// when every byte went out. `open_message` is shown when it cannot be
// opened; a failed write has its own message.
bool write_track_file(const char* file, const void* data, size_t size, const char* open_message) {
    vfs_file* f = current_track_dir ? vfs_open(track_file_name(current_track_dir->c_str(), file).c_str(), "=wb") : nullptr;
    if (!f) {
        show_message(open_message);
        return false;
    }
    bool ok = vfs_write(f, data, size) == size;
    if (!vfs_close(f)) ok = false;
    if (!ok) show_messagef("Error writing '%s'\n", file);
    return ok;
}
bool write_track_file(const char* file, const std::string& text, const char* open_message) {
    return write_track_file(file, text.data(), text.size(), open_message);
}
bool write_track_file(const char* file, const std::vector<uint8_t>& bytes, const char* open_message) {
    return write_track_file(file, bytes.data(), bytes.size(), open_message);
}

bool save_billboard_file() {
    std::vector<billboard> list = track_billboards();
    size_t first = (size_t)std::max(first_track_billboard(), 0);
    for (size_t k = first, a = 0; k < list.size() && a < g_billboard_places.size(); k++, a++) {
        list[k].x = g_billboard_places[a].x;
        list[k].y_offset = g_billboard_places[a].y_offset;
        list[k].z = g_billboard_places[a].z;
    }
    return write_track_file("billboards", encode_billboards(list, first), "Can't open 'billboards'\n");
}

bool save_statue_file() {
    const std::vector<statue>& live = track_statues();
    size_t first = (size_t)std::max(first_track_statue(), 0);
    // Only the saved fields are copied: names and places.
    std::vector<statue> list(live.size());
    for (size_t k = first; k < live.size(); k++) {
        statue& s = list[k];
        s.model_name = live[k].model_name;
        s.texture_name = live[k].texture_name;
        s.shape_name = live[k].shape_name;
        s.x = live[k].x;
        s.y_offset = live[k].y_offset;
        s.z = live[k].z;
        s.angle = live[k].angle;
        size_t a = k - first;
        if (a < g_statue_places.size()) {
            s.x = g_statue_places[a].x;
            s.y_offset = g_statue_places[a].y_offset;
            s.z = g_statue_places[a].z;
            s.angle = g_statue_places[a].angle;
        }
    }
    return write_track_file("statues", encode_statues(list, first), "Can't open 'statues'\n");
}

bool save_timing_file() {
    if (!current_track_dir ||
        !write_timing_gates(track_file_name(current_track_dir->c_str(), "timing_gates").c_str(), track_timing())) {
        show_message("Can't open 'timing_gates'\n");
        return false;
    }
    return true;
}

void height_range(float& lowest, float& highest) {
    size_t n = (size_t)terrain.samples_per_side * (size_t)terrain.samples_per_side;
    lowest = highest = n ? terrain.heights[0] : 0;
    for (size_t k = 1; k < n; k++) {
        lowest = std::min(lowest, terrain.heights[k]);
        highest = std::max(highest, terrain.heights[k]);
    }
}

bool save_terrain_files() {
    height_field& f = terrain;
    int n = f.samples_per_side;
    float lowest, highest;
    height_range(lowest, highest);
    // A flat field still needs a range to scale by; every sample is then 0.
    if (!(highest > lowest)) highest = lowest + 1;
    bool ok = write_track_file("terrain.hf", encode_terrain_hf(f.size_log2, f.cell_size, lowest, highest, nullptr),
                               "Can't open 'terrain.hf'");
    std::vector<uint16_t> samples = quantise_heights(f.heights, (size_t)n * (size_t)n, lowest, highest);
    std::vector<uint8_t> png;
    if (!encode_grey16_png(samples.data(), n, n, png)) {
        show_message("Error writing 'terrain.png'\n");
        ok = false;
    } else {
        ok = write_track_file("terrain.png", png, "Can't open 'terrain.png'") && ok;
    }
    relight_samples(0, 0, n - 1, n - 1, true);
    ok = write_track_file("shading.ppm", encode_shading_full(f.shading.data(), n), "Can't open 'shading.ppm'") && ok;
    ok = write_track_file("shadingx2.ppm", encode_shading_x2(f.shading.data(), n), "Can't open 'shadingx2.ppm'") && ok;
    ok = write_track_file("tilemap", encode_tilemap(tilemap(), f.size_log2), "Can't open 'tilemap'") && ok;
    if (!track_decals().empty() || g_had_decals)
        ok = write_track_file("decals", encode_decals(track_decals()), "Can't open 'decals'") && ok;
    return ok;
}

// ---- the scene ------------------------------------------------------------------------------

std::string identifier(const std::string& file) {
    std::string s = file;
    if (!s.empty() && s[0] == '@') s.erase(0, 1);
    size_t slash = s.rfind('/');
    if (slash != std::string::npos) s.erase(0, slash);
    size_t dot = s.rfind('.');
    if (dot != std::string::npos) s.erase(dot);
    for (char& c : s)
        if (!std::isalnum((unsigned char)c)) c = '_';
    if (!s.empty() && std::isdigit((unsigned char)s[0])) s.insert(0, "_");
    return s;
}

void append(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void append(std::string& out, const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    out += line;
}

void append_mesh(std::string& out, const mesh& m) {
    int v = std::min(m.vertex_count, (int)std::min(m.positions.size() / 3, m.normals.size() / 3));
    int t = std::min(m.triangle_count, (int)(m.triangles.size() / 3));
    out += "mesh2 {\n\tvertex_vectors {\n";
    append(out, "\t\t%d\n", v);
    for (int k = 0; k < v; k++)
        append(out, "\t\t<%f,%f,%f>%s\n", m.positions[3 * k], m.positions[3 * k + 1], m.positions[3 * k + 2],
               k + 1 < v ? "," : "");
    out += "\t}\n\tnormal_vectors {\n";
    append(out, "\t\t%d\n", v);
    for (int k = 0; k < v; k++)
        append(out, "\t\t<%f,%f,%f>%s\n", m.normals[3 * k], m.normals[3 * k + 1], m.normals[3 * k + 2],
               k + 1 < v ? "," : "");
    int uv = std::min(v, (int)(m.texcoords.size() / 2));
    out += "\t}\n\tuv_vectors {\n";
    append(out, "\t\t%d\n", uv);
    for (int k = 0; k < uv; k++)
        append(out, "\t\t<%f,%f>%s\n", m.texcoords[2 * k], m.texcoords[2 * k + 1], k + 1 < uv ? "," : "");
    out += "\t}\n\tface_indices {\n";
    append(out, "\t\t%d\n", t);
    for (int k = 0; k < t; k++)
        append(out, "\t\t<%d,%d,%d>%s\n", m.triangles[3 * k], m.triangles[3 * k + 1], m.triangles[3 * k + 2],
               k + 1 < t ? "," : "");
    out += "\t}\n}\n";
}

}  // namespace

void editor_remember_objects() {
    g_statue_places.clear();
    g_billboard_places.clear();
    const std::vector<statue>& s = track_statues();
    for (size_t k = (size_t)std::max(first_track_statue(), 0); k < s.size(); k++)
        g_statue_places.push_back({s[k].x, s[k].y_offset, s[k].z, s[k].angle});
    const std::vector<billboard>& b = track_billboards();
    for (size_t k = (size_t)std::max(first_track_billboard(), 0); k < b.size(); k++)
        g_billboard_places.push_back({b[k].x, b[k].y_offset, b[k].z, 0});
    g_had_decals = !track_decals().empty();
}

namespace {
void place_changed(std::vector<authored_place>& places, size_t a, float x, float y_offset, float z, float angle) {
    if (a >= places.size()) places.resize(a + 1);
    places[a] = {x, y_offset, z, angle};
}
}  // namespace

void editor_statue_place_changed(size_t index) {
    const std::vector<statue>& s = track_statues();
    size_t first = (size_t)std::max(first_track_statue(), 0);
    if (index < first || index >= s.size()) return;
    place_changed(g_statue_places, index - first, s[index].x, s[index].y_offset, s[index].z, s[index].angle);
}

void editor_statue_place_removed(size_t index) {
    size_t first = (size_t)std::max(first_track_statue(), 0);
    if (index >= first && index - first < g_statue_places.size())
        g_statue_places.erase(g_statue_places.begin() + (long)(index - first));
}

void editor_billboard_place_changed(size_t index) {
    const std::vector<billboard>& b = track_billboards();
    size_t first = (size_t)std::max(first_track_billboard(), 0);
    if (index < first || index >= b.size()) return;
    place_changed(g_billboard_places, index - first, b[index].x, b[index].y_offset, b[index].z, 0);
}

void editor_billboard_place_removed(size_t index) {
    size_t first = (size_t)std::max(first_track_billboard(), 0);
    if (index >= first && index - first < g_billboard_places.size())
        g_billboard_places.erase(g_billboard_places.begin() + (long)(index - first));
}

void editor_forget_objects() {
    g_statue_places.clear();
    g_billboard_places.clear();
}

bool editor_save() {
    if (!editor.attached) return false;
    bool ok = save_billboard_file();
    ok = save_timing_file() && ok;
    ok = save_terrain_files() && ok;
    ok = save_statue_file() && ok;
    ok = write_track_file("edinfo", encode_edinfo(editor.gradients), "Can't open 'edinfo'\n") && ok;
    if (!ok) {
        // The modified mark stays, so quitting still warns.
        editor.status_text = "Save failed!";
        return false;
    }
    terrain.modified_flags &= ~2;
    editor.status_text = "Saved!";
    return true;
}

bool editor_export_scene() {
    if (!editor.attached) return false;
    std::string out;
    const std::vector<statue>& statues = track_statues();
    std::vector<const model*> declared;
    for (const statue& s : statues) {
        if (!s.model_ref || s.model_ref->meshes.empty()) continue;
        if (std::find(declared.begin(), declared.end(), s.model_ref) != declared.end()) continue;
        declared.push_back(s.model_ref);
        out += "#declare " + identifier(s.model_name) + " = ";
        if (s.model_ref->meshes.size() == 1) {
            append_mesh(out, s.model_ref->meshes[0]);
        } else {
            out += "union {\n";
            for (const mesh& m : s.model_ref->meshes) append_mesh(out, m);
            out += "}\n";
        }
    }
    out += "#declare statues = union {\n";
    for (const statue& s : statues) {
        if (!s.model_ref || s.model_ref->meshes.empty()) continue;
        out += "\tobject {\n\t\t" + identifier(s.model_name) + "\n";
        if (!s.texture_name.empty()) {
            const std::string& t = s.texture_name;
            bool ppm = t.size() >= 4 && t.compare(t.size() - 4, 4, ".ppm") == 0;
            std::string plain = !t.empty() && t[0] == '@' ? t.substr(1) : t;
            append(out, "\t\ttexture { uv_mapping pigment { image_map { %s \"%s\"} } scale <1,-1,1> }\n",
                   ppm ? "ppm" : "png", plain.c_str());
        }
        const std::array<float, 9>& o = s.orientation;
        append(out, "\t\tmatrix <%f,%f,%f,%f,%f,%f,%f,%f,%f,0,0,0>\n", o[0], o[3], o[6], o[1], o[4], o[7], o[2],
               o[5], o[8]);
        append(out, "\t\ttranslate <%f,%f,%f>\n", s.x, s.y, s.z);
        out += "\t}\n";
    }
    out += "}\n#declare billboards = union {\n";
    const std::vector<billboard>& boards = track_billboards();
    for (size_t k = (size_t)std::max(first_track_billboard(), 0); k < boards.size(); k++) {
        const billboard& b = boards[k];
        if (b.texture_name.empty()) continue;
        out += "object {\n\t" + identifier(b.texture_name) + "()\n";
        append(out, "\ttranslate <%f,%f,%f>\n", b.x, b.y, b.z);
        out += "}\n";
    }
    out += "}\n";
    float lowest, highest;
    height_range(lowest, highest);
    out += "#declare ground = height_field {\n\tpng \"terrain.png\"\n";
    append(out, "\tscale <1, 1, -1>\n\ttranslate <0, 0, 1>\n\tscale <%f,%f,%f>\n", terrain.extent, highest - lowest,
           terrain.extent);
    append(out, "\ttranslate <0,%f,0>\n}\n", lowest);
    if (!write_track_file("track.pov", out, "Can't open 'track.pov'\n")) return false;
    editor.status_text = "Pov!";
    return true;
}
