// The track list: track directories found in the file index and their
// display names.
#include <algorithm>
#include <numeric>
#include <set>
#include <string_view>

#include "core/cmdline.h"
#include "core/diag.h"
#include "core/loading.h"
#include "core/text.h"
#include "track/track.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

namespace {

std::vector<std::string> g_dirs;
std::vector<std::string> g_names;

// The directory of a path naming a height field, or nothing.
std::optional<std::string> track_dir_of(std::string_view path) {
    for (std::string_view end : {std::string_view("/terrain.hf"), std::string_view("/terrain.hf.gz")})
        if (ends_with_nocase(path, end)) return std::string(path.substr(0, path.size() - end.size()));
    return std::nullopt;
}

// First line of "desc": up to CR, LF, NUL or the end, at most
// track_name_chars characters; nothing without the file.
std::optional<std::string> read_desc(const std::string& dir) {
    vfs_file* f = vfs_open(track_file_name(dir.c_str(), "desc").c_str(), "rb");
    if (!f) return std::nullopt;
    std::string name;
    int c;
    while (name.size() < track_name_chars && (c = vfs_getc(f)) > 0 && c != '\r' && c != '\n') name += (char)c;
    vfs_close(f);
    return name;
}

}  // namespace

int scan_tracks() {
    free_track_lists();
    // A directory holding both "terrain.hf" and "terrain.hf.gz" is one track;
    // the index ignores letter case, and so does this.
    std::set<std::string> seen;
    std::vector<std::string> dirs;
    for (const char* const* p = file_list(); *p; p++) {
        std::optional<std::string> dir = track_dir_of(*p);
        if (!dir) continue;
        std::string key;
        for (char c : *dir) key += lower_ascii(c);
        if (seen.insert(key).second) dirs.push_back(std::move(*dir));
    }
    std::vector<std::string> names;
    names.reserve(dirs.size());
    for (const std::string& dir : dirs) {
        names.push_back(read_desc(dir).value_or(dir));
        loading_tick();
    }
    std::vector<size_t> order(dirs.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return compare_nocase(names[a], names[b]) < 0; });
    for (size_t k : order) {
        g_dirs.push_back(std::move(dirs[k]));
        g_names.push_back(std::move(names[k]));
    }
    if (cmdline.debug_level > 0)
        for (size_t k = 0; k < g_dirs.size(); k++) log_printf("%s -> %s\n", g_dirs[k].c_str(), g_names[k].c_str());
    return track_count();
}

void free_track_lists() {
    g_dirs.clear();
    g_names.clear();
}

int track_count() { return (int)g_dirs.size(); }
const std::vector<std::string>& track_dirs() { return g_dirs; }
const std::vector<std::string>& track_names() { return g_names; }

bool has_track(const char* dir) { return dir && std::find(g_dirs.begin(), g_dirs.end(), dir) != g_dirs.end(); }

std::string track_display_name(const char* dir) {
    if (!dir) return "";
    auto at = std::find(g_dirs.begin(), g_dirs.end(), dir);
    return at == g_dirs.end() ? std::string(dir) : g_names[(size_t)(at - g_dirs.begin())];
}
