// Loading and releasing the one track, its digest, and the reload rule of a
// race reset.
#include <algorithm>

#include "core/cmdline.h"
#include "core/diag.h"
#include "core/text.h"
#include "track/decals.h"
#include "track/digest.h"
#include "track/height_field.h"
#include "track/tile_info.h"
#include "track/track.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

std::optional<std::string> current_track_dir;
std::optional<std::string> current_track_name;
std::array<uint8_t, 20> track_digest{};
track_part_driver track_parts;

namespace {

// Files are fed to the digest in blocks of this size; the blocks do not
// change the digest, only how often the loading screen is ticked.
constexpr size_t digest_chunk = 1024;

bool g_loaded = false;
bool g_reload = false;

std::string file_of(const std::string& dir, const char* file) { return track_file_name(dir.c_str(), file); }

// "@" + dir, as the loader opens it.
std::string data_name(const std::string& dir) { return !dir.empty() && dir[0] == '@' ? dir : "@" + dir; }

bool file_opens(const std::string& name) {
    vfs_file* f = vfs_open(name.c_str(), "rb");
    if (!f) return false;
    vfs_close(f);
    return true;
}

void tick() { track_step_tick(); }

void log_texture_memory(const char* when) {
    if (cmdline.debug_level <= 0) return;
    unsigned long bytes = track_parts.texture_memory ? track_parts.texture_memory() : 0;
    log_printf("%lu bytes texture memory used %s\n", bytes, when);
}

// One line naming the parts whose loaders are not in this build, so a log
// shows plainly what a load left out.
void log_missing_parts() {
    const track_part_driver& h = track_parts;
    std::string missing;
    auto note = [&](bool present, const char* what) {
        if (present) return;
        if (!missing.empty()) missing += ", ";
        missing += what;
    };
    note(h.load_lighting, "lighting");
    note(h.setup_terrain_textures, "terrain textures");
    note(h.load_timing_gates, "timing gates");
    note(h.create_particle_pool, "roost particles");
    note(h.load_flaggers, "flaggers");
    note(h.load_billboards, "billboards");
    note(h.load_statues, "statues");
    note(h.build_object_grid, "object grid");
    note(h.load_map, "map");
    note(h.load_cameras, "cameras");
    if (!missing.empty()) log_printf("Track parts not in this build: %s\n", missing.c_str());
}

// Everything of a load, quietly; each part's free is safe when it holds nothing.
void free_track_data() {
    const track_part_driver& h = track_parts;
    if (h.editor_detach) h.editor_detach();
    if (h.free_timing_gates) h.free_timing_gates();
    if (h.free_objects) h.free_objects();
    free_decals();
    free_tile_data();
    free_height_field();
    if (h.free_map) h.free_map();
    if (h.free_cameras) h.free_cameras();
    if (h.free_lighting) h.free_lighting();
    g_loaded = false;
}

// Heights, shading, shadows, tile data, normals, ground textures, decals.
bool load_terrain(const std::string& dir) {
    bool lit = track_parts.terrain_lit && track_parts.terrain_lit();
    if (!load_height_field(dir.c_str(), false)) return false;
    log_texture_memory("before ground tiles loaded");
    if (!load_tile_data(dir.c_str())) return false;
    log_texture_memory("after ground tiles loaded");
    if (lit) create_normal_texels();
    if (track_parts.setup_terrain_textures) track_parts.setup_terrain_textures();
    // Its own step, only when the file exists.
    load_decals(file_of(dir, "decals").c_str(), lit);
    return true;
}

// The model files of every object created so far, each once, in creation order.
void feed_object_models(sha1_stream& digest) {
    if (!track_parts.object_model_files) return;
    std::vector<std::string> models;
    track_parts.object_model_files(models);
    std::vector<std::string> fed;
    for (const std::string& m : models) {
        if (m.empty() || std::find(fed.begin(), fed.end(), m) != fed.end()) continue;
        fed.push_back(m);
        feed_file(digest, m.c_str(), digest_chunk);
    }
}

}  // namespace

bool load_track() {
    // A track still loaded here was not released by the caller: free it
    // rather than keep parts of two tracks.
    free_track_data();
    if (!current_track_dir) return false;
    const std::string dir = *current_track_dir;
    const track_part_driver& h = track_parts;
    current_track_name = track_display_name(dir.c_str());
    log_missing_parts();

    // The digest covers these files as stored (decompressed), in this order.
    sha1_stream digest;
    track_step_begin("Scanning");
    for (const char* file : {"terrain.hf", "terrain.png", "texturelist", "tilemap", "tileinfo"})
        feed_file(digest, file_of(dir, file).c_str(), digest_chunk, tick);
    track_step_done();
    if (cmdline.debug_level > 0) log_printf("Loading '%s'\n", data_name(dir).c_str());

    if (h.load_lighting) h.load_lighting(file_of(dir, "lighting").c_str());

    if (!load_terrain(dir)) {
        free_track_data();
        current_track_dir.reset();
        current_track_name.reset();
        return false;
    }
    log_texture_memory("after hf creation");

    std::string gates = file_of(dir, "timing_gates");
    feed_file(digest, gates.c_str(), digest_chunk);
    if (h.load_timing_gates) h.load_timing_gates(gates.c_str());

    if (h.create_particle_pool) h.create_particle_pool();
    if (h.load_flaggers) {
        track_step_begin("Loading flaggers");
        h.load_flaggers(file_of(dir, "flaggers").c_str());
        track_step_done();
    }
    log_texture_memory("after flagger creation");

    std::string billboards = file_of(dir, "billboards");
    if (h.load_billboards && file_opens(billboards)) {
        track_step_begin("Loading billboards");
        h.load_billboards(billboards.c_str());
        track_step_done();
    }
    log_texture_memory("after billboard creation");

    std::string statues = file_of(dir, "statues");
    bool have_statues = feed_file(digest, statues.c_str(), digest_chunk);
    if (h.load_statues && have_statues) {
        track_step_begin("Loading statues");
        h.load_statues(statues.c_str());
        track_step_done();
    }

    if (h.load_map) {
        track_step_begin("Loading map");
        log_texture_memory("after statue creation");
        h.load_map(file_of(dir, "map.png").c_str());
        track_step_done();
    } else {
        log_texture_memory("after statue creation");
    }

    if (h.build_object_grid) h.build_object_grid();
    if (h.editor_attach) h.editor_attach();

    feed_object_models(digest);
    track_digest = digest.finish();

    if (h.load_cameras) h.load_cameras(file_of(dir, "cameras").c_str());
    g_loaded = true;
    return true;
}

void release_track() {
    log_printf("Deallocating track\n");
    free_track_data();
    log_printf("Finished deallocating track\n");
}

bool track_loaded() { return g_loaded; }

bool prepare_track(const char* dir, bool online) {
    if (!dir) return false;
    bool reload = !g_loaded || !current_track_dir || *current_track_dir != dir || online || g_reload;
    g_reload = false;
    if (reload) {
        release_track();
        current_track_dir = dir;
        if (!load_track()) return false;
    }
    if (track_parts.run_script) track_parts.run_script(file_of(dir, "frills.js").c_str());
    // An online race freezes the ground; a later offline race on the same
    // track, which keeps it loaded, must not inherit that.
    terrain.frozen = online ? 1 : 0;
    return true;
}

void request_track_reload() { g_reload = true; }
bool track_reload_requested() { return g_reload; }

// ---- track information file ---------------------------------------------------------

std::string encode_track_info(const std::string& dir, const std::string& name, int first_lap, int normal_lap,
                              int gate_count, const std::array<uint8_t, 20>& digest) {
    return format_string("dir=%s\nlongname=%s\nfirstlap=%d\nnormallap=%d\ngatecount=%d\nhash=%s\n", dir.c_str(),
                         name.c_str(), first_lap, normal_lap, gate_count, hex_digest(digest).c_str());
}

bool save_track_info() {
    if (!g_loaded || !current_track_dir) return false;
    if (!track_parts.timing_counts) {
        show_message("Track info needs the timing gates, which are not in this build");
        return false;
    }
    const std::string& dir = *current_track_dir;
    int first_lap = 0, normal_lap = 0, gate_count = 0;
    track_parts.timing_counts(first_lap, normal_lap, gate_count);
    std::string text = encode_track_info(dir, current_track_name.value_or(dir), first_lap, normal_lap, gate_count,
                                         track_digest);
    std::string name = data_name(dir) + ".trackinfo";
    vfs_file* f = vfs_open(name.c_str(), "=w");
    bool ok = f && vfs_write(f, text.data(), text.size()) == text.size();
    if (f && !vfs_close(f)) ok = false;
    if (!ok) {
        show_messagef("Can't write '%.950s'", name.c_str());
        return false;
    }
    show_messagef("Track info saved to %s.trackinfo", dir.c_str());
    return true;
}
