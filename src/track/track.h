// The tracks: the list of track directories found in the file index, the one
// loaded track with its digest, the rule that decides when a race reset
// loads the track again, and the ".trackinfo" writer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// ---- the track list -----------------------------------------------------------
// Longest display name kept from a "desc" file; longer first lines are cut.
constexpr size_t track_name_chars = 255;

// Builds the list from the file index: every directory holding "terrain.hf"
// (or its ".gz"), named by the first line of its "desc" or by its path,
// sorted by name without regard to case. Returns the number of tracks.
int scan_tracks();
void free_track_lists();
int track_count();
// Parallel arrays, in list order.
const std::vector<std::string>& track_dirs();
const std::vector<std::string>& track_names();
// Whether `dir` is a directory of the list.
bool has_track(const char* dir);
// The list's display name of `dir`, or `dir` itself when it is not listed.
std::string track_display_name(const char* dir);

// ---- the loaded track ------------------------------------------------------------
// The directory to load (set before load_track) and its display name; both
// none after a failed load.
extern std::optional<std::string> current_track_dir;
extern std::optional<std::string> current_track_name;
// SHA-1 of the track's files as last loaded, compared with a race server's.
extern std::array<uint8_t, 20> track_digest;

// Loads current_track_dir: the digest, the terrain with its tile data and
// decals, the timing gates and the objects, in that order. False when the
// terrain could not be loaded; nothing of the track is then kept.
bool load_track();
// Frees everything a load created; safe after a failed load and when no
// track is loaded.
void release_track();
bool track_loaded();

// The track part of a race reset: loads `dir` unless it is already loaded
// (always online, and once after request_track_reload), then runs the
// track's script and, online, freezes the ground. False when the load failed.
bool prepare_track(const char* dir, bool online);
// The next prepare_track loads the track again from its files.
void request_track_reload();
bool track_reload_requested();

// ".trackinfo": directory, display name, lap list lengths, gate count and
// digest of the loaded track, written as "@" + dir + ".trackinfo". Reports
// "Track info saved to ..." and returns true; false without a track or when
// the file could not be written.
bool save_track_info();
// The file's text for these values.
std::string encode_track_info(const std::string& dir, const std::string& name, int first_lap, int normal_lap,
                              int gate_count, const std::array<uint8_t, 20>& digest);

// ---- the parts other subsystems load ---------------------------------------------
// The loader reads the terrain, tile data and decals itself; everything else
// on a track is another part's: the track's own objects, the renderer's
// terrain textures, the race's timing gates, the editor and the script. The
// game fills this table at start-up (fill_object_parts, fill_terrain_parts,
// fill_race_parts); the loader tests put stand-ins in that log the order. A
// null entry is a part not in this build: its step is left out. Names are
// data-directory names ("@" + dir + "/" + file); a file may be missing. Each
// free must be safe when its part holds nothing.
struct track_part_driver {
    // "lighting" (its own progress step when the file exists); freed on release.
    void (*load_lighting)(const char* name) = nullptr;
    void (*free_lighting)() = nullptr;
    // Whether the terrain is lit per pixel, so that it needs normal texels.
    bool (*terrain_lit)() = nullptr;
    // The composed ground textures, after the heights and tile data, with
    // their own steps and log lines.
    void (*setup_terrain_textures)() = nullptr;
    // Bytes of texture memory in use, for the debug log lines.
    unsigned long (*texture_memory)() = nullptr;
    // "timing_gates": gates, lap lists, start positions with their gate
    // pieces, and the robot line store they imply; all freed together.
    void (*load_timing_gates)(const char* name) = nullptr;
    void (*free_timing_gates)() = nullptr;
    // The kept lap list lengths and gate count (0 without timing).
    void (*timing_counts)(int& first_lap, int& normal_lap, int& gate_count) = nullptr;
    // The roost particle billboards, then "flaggers", "billboards" and
    // "statues"; the object grid over the statues; the model file names of
    // every object created so far (the starting gate pieces first), in
    // creation order, for the digest; and freeing them all.
    void (*create_particle_pool)() = nullptr;
    void (*load_flaggers)(const char* name) = nullptr;
    void (*load_billboards)(const char* name) = nullptr;
    void (*load_statues)(const char* name) = nullptr;
    void (*build_object_grid)() = nullptr;
    void (*object_model_files)(std::vector<std::string>& names) = nullptr;
    void (*free_objects)() = nullptr;
    // "map.png" as the HUD map texture (none when absent).
    void (*load_map)(const char* name) = nullptr;
    void (*free_map)() = nullptr;
    // "cameras".
    void (*load_cameras)(const char* name) = nullptr;
    void (*free_cameras)() = nullptr;
    // The editor's hold on the track; both do nothing while it is not active.
    void (*editor_attach)() = nullptr;
    void (*editor_detach)() = nullptr;
    // "frills.js", run after every (re)load by prepare_track.
    void (*run_script)(const char* name) = nullptr;
};
extern track_part_driver track_parts;
