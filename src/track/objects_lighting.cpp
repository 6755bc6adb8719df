// The lighting record, its "lighting" file and the file's writer.
#include "track/objects_lighting.h"

#include <algorithm>
#include <cmath>

#include "core/diag.h"
#include "core/text.h"
#include "render/terrain_lighting.h"
#include "render/texture.h"
#include "track/line_reader.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

lighting_record track_lighting;

namespace {

const char* const sky_keywords[sky_picture_count] = {"sky_n", "sky_e", "sky_s", "sky_w", "sky_u", "sky_env"};
const char* const sky_defaults[sky_picture_count] = {"@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm",
                                                     "@sky-w.ppm", "@sky-u.ppm", "@sky-env.ppm"};

// The record of program start with the fog colour of `fog`.
void set_defaults(std::array<float, 4> fog) {
    track_lighting = lighting_record();
    track_lighting.fog_color = fog;
}

bool finite3(const float* v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

struct reader {
    std::array<bool, sky_picture_count> given{};
    flare building;

    // False for an unknown keyword, which ends the file.
    bool line(const std::string& keyword, const std::string& arg) {
        lighting_record& L = track_lighting;
        struct vector_key {
            const char* name;
            std::array<float, 3>* value;
        };
        const vector_key vectors[] = {{"sun_vector", &L.sun_vector},
                                      {"sun_color", &L.sun_color},
                                      {"ambient", &L.ambient},
                                      {"global_ambient", &L.global_ambient}};
        for (const vector_key& k : vectors) {
            if (keyword != k.name) continue;
            // Values that do not convert keep what they were.
            scan_line(arg, " [ %f %f %f ] ", &(*k.value)[0], &(*k.value)[1], &(*k.value)[2]);
            return true;
        }
        for (int s = 0; s < sky_picture_count; s++) {
            if (keyword != sky_keywords[s]) continue;
            if (!arg.empty()) {
                L.sky[(size_t)s] = texture_load(arg.c_str());
                given[(size_t)s] = true;
            }
            return true;
        }
        if (keyword == "flare_element") {
            flare_element e;
            char texture[1024];
            if (scan_line(arg, " [ %f %f ] [ %f %f %f ] %f %1023s", &e.a, &e.b, &e.color[0], &e.color[1], &e.color[2],
                     &e.size, texture) == 7 &&
                building.element_count < max_flare_elements) {
                e.texture = texture_load(texture);
                building.elements[(size_t)building.element_count++] = e;
            }
            return true;
        }
        if (keyword == "flare_point" || keyword == "flare_vector") {
            float p[3];
            // A flare needs somewhere to be; a line without one is passed over.
            if (scan_line(arg, " [ %f %f %f ] ", &p[0], &p[1], &p[2]) == 3 && finite3(p)) {
                building.position = {p[0], p[1], p[2]};
                building.directional = keyword == "flare_vector";
                L.flare_list.push_back(building);
                building = flare();
            }
            return true;
        }
        if (keyword == "fog") {
            float c[3], density;
            if (scan_line(arg, " [ %f %f %f ] %f ", &c[0], &c[1], &c[2], &density) == 4 && finite3(c) &&
                std::isfinite(density)) {
                L.fog_color = {c[0], c[1], c[2], 1};
                L.fog_density = density;
            }
            return true;
        }
        if (keyword == "dynamic_lighting") {
            int v;
            if (scan_line(arg, "%d", &v) == 1) L.dynamic_lighting = v > 0;
            return true;
        }
        if (keyword == "near_plane" || keyword == "far_plane") {
            float v;
            // Not a number cannot be clamped into a clip distance.
            if (scan_line(arg, "%f", &v) == 1 && !std::isnan(v)) (keyword == "near_plane" ? L.near_plane : L.far_plane) = v;
            return true;
        }
        return false;
    }
};

bool blank(char c) { return c == ' ' || c == '\t'; }
bool space(char c) { return blank(c) || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

void reset_default_lighting() { set_defaults({1, 1, 1, 1}); }

void free_lighting() { set_defaults(track_lighting.fog_color); }

void load_lighting(const char* name) {
    set_defaults(track_lighting.fog_color);
    vfs_file* f = name ? vfs_open(name, "rb") : nullptr;
    if (!f) return;
    track_step_begin("Loading lighting");
    reader r;
    std::string text;
    while (read_whole_line(f, text)) {
        // A line ending in CR LF ends before the CR.
        while (!text.empty() && space(text.back())) text.pop_back();
        size_t at = 0;
        while (at < text.size() && blank(text[at])) at++;
        if (at == text.size()) continue;
        size_t end = at;
        while (end < text.size() && !blank(text[end])) end++;
        std::string keyword = text.substr(at, end - at);
        while (end < text.size() && blank(text[end])) end++;
        std::string arg = text.substr(end);
        if (!r.line(keyword, arg)) {
            show_messagef("Error reading lighting: Unknown identifier '%.950s'\n", keyword.c_str());
            break;
        }
        track_step_tick();
    }
    vfs_close(f);

    lighting_record& L = track_lighting;
    L.near_plane = std::clamp(L.near_plane, min_near_plane, max_near_plane);
    L.far_plane = std::clamp(L.far_plane, L.near_plane, max_far_plane);
    // A sun without a direction (or with no number in it) shines from the
    // default direction.
    std::array<float, 3>& s = L.sun_vector;
    float length = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    if (length > 0 && std::isfinite(length))
        for (float& c : s) c /= length;
    else
        s = lighting_record().sun_vector;
    for (int k = 0; k < sky_picture_count; k++)
        if (!r.given[(size_t)k]) L.sky[(size_t)k] = texture_load(sky_defaults[k]);
    track_step_done();
}

const terrain_lighting_values& lighting_for_terrain() {
    static terrain_lighting_values v;
    v.sun_vector = track_lighting.sun_vector;
    v.sun_color = track_lighting.sun_color;
    v.ambient = track_lighting.ambient;
    v.dynamic_lighting = track_lighting.dynamic_lighting;
    return v;
}

// ---- the writer ------------------------------------------------------------------

namespace {

std::string vector_text(const std::array<float, 3>& v) {
    return "[ " + exact_float_text(v[0]) + " " + exact_float_text(v[1]) + " " + exact_float_text(v[2]) + " ]";
}

}  // namespace

std::string encode_lighting(const lighting_file& f) {
    std::string out;
    out += "sun_vector " + vector_text(f.sun_vector) + "\n";
    out += "sun_color " + vector_text(f.sun_color) + "\n";
    out += "ambient " + vector_text(f.ambient) + "\n";
    out += "global_ambient " + vector_text(f.global_ambient) + "\n";
    out += "near_plane " + exact_float_text(f.near_plane) + "\n";
    out += "far_plane " + exact_float_text(f.far_plane) + "\n";
    out += format_string("dynamic_lighting %d\n", f.dynamic_lighting ? 1 : 0);
    if (f.fog_density != 0) out += "fog " + vector_text(f.fog_color) + " " + exact_float_text(f.fog_density) + "\n";
    for (int k = 0; k < sky_picture_count; k++)
        if (!f.sky[(size_t)k].empty()) out += std::string(sky_keywords[k]) + " " + f.sky[(size_t)k] + "\n";
    for (const lighting_file::flare_entry& fl : f.flares) {
        for (const lighting_file::element& e : fl.elements)
            out += "flare_element [ " + exact_float_text(e.a) + " " + exact_float_text(e.b) + " ] " +
                   vector_text(e.color) + " " + exact_float_text(e.size) + " " + e.texture + "\n";
        out += std::string(fl.directional ? "flare_vector " : "flare_point ") + vector_text(fl.position) + "\n";
    }
    return out;
}
