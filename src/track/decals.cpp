// The track's decals: the "decals" file, its writer, and the 8 x 8 grid of
// the cells each decal's bounding box touches.
#include "track/decals.h"

#include <cmath>

#include "core/text.h"
#include "track/height_field.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

namespace {

std::vector<decal> g_decals;
std::vector<int> g_grid[decal_grid_side * decal_grid_side];

// Grid cell of a world coordinate, clamped to the grid; a NaN is cell 0.
int grid_cell(float world, float cell_side) {
    float c = world / cell_side;
    if (!(c > 0.0f)) return 0;
    return c < (float)(decal_grid_side - 1) ? (int)c : decal_grid_side - 1;
}

void file_decal(int index) {
    const decal& d = g_decals[index];
    float side = terrain.extent / decal_grid_side;
    if (!(side > 0.0f) || !std::isfinite(side)) {
        g_grid[0].push_back(index);
        return;
    }
    // Bounding box of the size x (size * ratio) rectangle turned by the angle.
    float hx = std::fabs(d.size) * 0.5f, hz = std::fabs(d.size * d.ratio) * 0.5f;
    float c = std::fabs(d.cos_angle), s = std::fabs(d.sin_angle);
    float bx = c * hx + s * hz, bz = s * hx + c * hz;
    int x0 = grid_cell(d.x - bx, side), x1 = grid_cell(d.x + bx, side);
    int z0 = grid_cell(d.z - bz, side), z1 = grid_cell(d.z + bz, side);
    for (int z = z0; z <= z1; z++)
        for (int x = x0; x <= x1; x++) g_grid[x + decal_grid_side * z].push_back(index);
}

// The texture name with its extension (from the last '.') replaced.
std::string with_suffix(const std::string& name, const char* suffix) {
    size_t dot = name.rfind('.');
    size_t slash = name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name + suffix;
    return name.substr(0, dot) + suffix;
}

texture_ref companion(const std::string& name, const char* png, const char* ppm) {
    std::string a = with_suffix(name, png);
    unsigned id = load_track_texture(a.c_str());
    if (id) return {a, id};
    std::string b = with_suffix(name, ppm);
    return {b, load_track_texture(b.c_str())};
}

}  // namespace

bool load_decals(const char* name, bool with_companions) {
    free_decals();
    vfs_file* f = vfs_open(name, "rb");
    if (!f) return false;
    track_step_begin("Loading decals");
    char texture[1024];
    decal d;
    while (vfs_scanf(f, "[ %f %f ] %f %f %f %1023s ", &d.x, &d.z, &d.angle, &d.size, &d.ratio, texture) == 6) {
        // A decal the renderer cannot place is dropped like one without texture.
        if (!std::isfinite(d.x) || !std::isfinite(d.z) || !std::isfinite(d.angle) || !std::isfinite(d.size) ||
            !std::isfinite(d.ratio))
            continue;
        // A name that is empty as text (a NUL byte in the file) names no texture.
        if (!texture[0]) continue;
        d.texture = {texture, load_track_texture(texture)};
        if (!d.texture.id) continue;
        d.sin_angle = std::sin(d.angle);
        d.cos_angle = std::cos(d.angle);
        if (with_companions) {
            d.normal_map = companion(d.texture.name, "_tnorm.png", "_tnorm.ppm");
            d.specular_map = companion(d.texture.name, "_tspec.png", "_tspec.ppm");
        } else {
            d.normal_map = d.specular_map = texture_ref();
        }
        add_decal(d);
        track_step_tick();
    }
    vfs_close(f);
    track_step_done();
    return true;
}

void free_decals() {
    g_decals.clear();
    for (auto& cell : g_grid) cell.clear();
}

const std::vector<decal>& track_decals() { return g_decals; }
std::vector<decal>& editable_track_decals() { return g_decals; }

void add_decal(const decal& d) {
    g_decals.push_back(d);
    file_decal((int)g_decals.size() - 1);
}

const std::vector<int>& decals_in_cell(int cx, int cz) {
    cx = cx < 0 ? 0 : (cx >= decal_grid_side ? decal_grid_side - 1 : cx);
    cz = cz < 0 ? 0 : (cz >= decal_grid_side ? decal_grid_side - 1 : cz);
    return g_grid[cx + decal_grid_side * cz];
}

void refile_decals() {
    for (auto& cell : g_grid) cell.clear();
    for (size_t k = 0; k < g_decals.size(); k++) file_decal((int)k);
}

std::string encode_decals(const std::vector<decal>& decals) {
    std::string out;
    for (const decal& d : decals)
        out += "[" + exact_float_text(d.x) + " " + exact_float_text(d.z) + "] " + exact_float_text(d.angle) + " " +
               exact_float_text(d.size) + " " + exact_float_text(d.ratio) + " " + d.texture.name + "\n";
    return out;
}
