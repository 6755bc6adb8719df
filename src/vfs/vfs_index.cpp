// Search roots, the case-insensitive file index over loose files and ".saf"
// archives, and the name lists built from it.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/diag.h"
#include "core/text.h"
#include "vfs/saf.h"
#include "vfs/vfs_internal.h"

extern char** environ;

void (*vfs_progress_hook)() = nullptr;

namespace {

std::vector<std::string> g_roots;
bool g_roots_built = false;
std::vector<index_entry> g_index;
std::vector<const char*> g_list;
bool g_index_built = false;

// "\\" becomes "/" and runs of "/" collapse to one.
std::string normalise_path(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        if (c == '\\') c = '/';
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out.push_back(c);
    }
    return out;
}

void build_roots() {
    if (g_roots_built) return;
    g_roots_built = true;
    g_roots.clear();
    // Root 0: the per-user data folder.
    std::string data_home;
    const char* xdg = getenv("XDG_DATA_HOME");
    const char* home = getenv("HOME");
    if (xdg && *xdg)
        data_home = xdg;
    else if (home && *home)
        data_home = std::string(home) + "/.local/share";
    if (!data_home.empty()) g_roots.push_back(normalise_path(data_home + "/Quarnix/"));
    // An empty KV_HOME counts as unset: joined with "/" it would make the
    // whole file system a data root.
    const char* kv_home = getenv("KV_HOME");
    if (kv_home && *kv_home) {
        g_roots.push_back(normalise_path(std::string(kv_home) + "/"));
    } else {
        char exe[260];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe);
        if (n > 0 && n < (ssize_t)sizeof exe) {
            std::string path(exe, (size_t)n);
            size_t slash = path.rfind('/');
            if (slash != std::string::npos) g_roots.push_back(normalise_path(path.substr(0, slash + 1)));
        }
    }
}

bool entry_less(const index_entry& a, const index_entry& b) {
    int c = compare_nocase(a.name, b.name);
    if (c) return c < 0;
    if (a.rank != b.rank) return a.rank < b.rank;
    return a.name < b.name;  // same root, names differing only in case: keep a fixed order
}

void walk_directory(const std::string& root, const std::string& dir, int rank, int depth) {
    if (depth > 64) return;
    DIR* d = opendir((root + dir).c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        std::string name = dir + e->d_name;
        std::string full = root + name;
        struct stat st;
        if (lstat(full.c_str(), &st) != 0) continue;
        if (S_ISLNK(st.st_mode)) {
            // Links to files are indexed; links to directories are not followed.
            if (stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        }
        if (S_ISDIR(st.st_mode)) {
            walk_directory(root, name + "/", rank, depth + 1);
        } else if (S_ISREG(st.st_mode)) {
            if (st.st_size > INT32_MAX) continue;  // cannot be described by a 32-bit size
            g_index.push_back({full, name, 0, (int32_t)st.st_size, rank});
        }
        if (vfs_progress_hook) vfs_progress_hook();
    }
    closedir(d);
}

// Indexes one archive's members; adds nothing unless the whole header is sound.
void index_archive(const index_entry& archive, int rank) {
    FILE* f = fopen(archive.path.c_str(), "rb");
    if (!f) return;
    std::vector<saf_header_entry> members;
    bool ok = saf_read_header(f, archive.size, members);
    fclose(f);
    if (!ok) return;
    for (saf_header_entry& m : members) g_index.push_back({archive.path, std::move(m.name), m.offset, m.size, rank});
}

}  // namespace

bool saf_read_header(FILE* f, int64_t archive_size, std::vector<saf_header_entry>& out) {
    out.clear();
    std::vector<saf_header_entry> members;
    char line[1024];
    int64_t header_length = 0;
    bool ok = false;
    while (fgets(line, sizeof line, f)) {
        size_t len = strlen(line);
        if (len == 0 || line[len - 1] != '\n') break;  // too long, cut short, or holds a NUL
        header_length += (int64_t)len;
        if (!strcmp(line, "-\n")) {
            ok = true;
            break;
        }
        char* end = nullptr;
        errno = 0;
        long long size = strtoll(line, &end, 10);
        if (end == line || !isdigit((unsigned char)end[-1])) break;  // no number
        if (errno == ERANGE || size < 0 || size > INT32_MAX) break;
        // One separator, then a non-empty name.
        if (*end == '\n' || end[1] == '\n') break;
        std::string name = normalise_path(std::string_view(end + 1, (size_t)(line + len - 1 - (end + 1))));
        while (!name.empty() && name[0] == '/') name.erase(0, 1);
        if (name.empty()) break;
        members.push_back({std::move(name), 0, (int32_t)size});
    }
    if (!ok) return false;
    int64_t offset = header_length;
    for (saf_header_entry& m : members) {
        if (offset > INT32_MAX || offset + m.size > archive_size) return false;  // runs past the end
        m.offset = (int32_t)offset;
        offset += m.size;
    }
    out = std::move(members);
    return true;
}

namespace {

void build_file_index() {
    if (g_index_built) return;
    build_roots();
    g_index.clear();
    g_index.reserve(16);
    log_printf("Listing directories\n");
    for (int r = 0; r < (int)g_roots.size(); r++) walk_directory(g_roots[r], "", r, 0);
    std::sort(g_index.begin(), g_index.end(), entry_less);

    log_printf("Listing archives\n");
    int next_archive = (int)g_roots.size();
    size_t loose_count = g_index.size();
    for (size_t i = 0; i < loose_count; i++) {
        const index_entry& e = g_index[i];
        if (e.name.size() >= 5 && ends_with_nocase(e.name, ".saf")) {
            index_entry copy = e;  // g_index may grow while it is read
            index_archive(copy, next_archive++);
            if (vfs_progress_hook) vfs_progress_hook();
        }
    }
    std::sort(g_index.begin(), g_index.end(), entry_less);

    log_printf("Creating file list\n");
    g_list.clear();
    for (size_t i = 0; i < g_index.size(); i++) {
        if (i > 0 && equal_nocase(g_index[i].name, g_index[i - 1].name)) continue;
        g_list.push_back(g_index[i].name.c_str());
    }
    g_list.push_back(nullptr);
    g_index_built = true;
    log_printf("File index complete\n");
}

}  // namespace

const char* get_search_root(int i) {
    build_roots();
    if (i < 0 || i >= (int)g_roots.size()) return nullptr;
    return g_roots[(size_t)i].c_str();
}

int search_root_count() {
    build_roots();
    return (int)g_roots.size();
}

std::string home_path(const char* name) {
    const char* root = get_search_root(0);
    if (!root || !name) return "";
    if (*name == '@') name++;
    std::string path = normalise_path(std::string(root) + name);
    if (path.size() > 511) return "";
    return path;
}

bool file_index_built() { return g_index_built; }

const index_entry* index_lookup(const char* name) {
    if (!g_index_built) return nullptr;
    std::string_view want(name);
    auto it = std::lower_bound(g_index.begin(), g_index.end(), want, [](const index_entry& e, std::string_view w) {
        return compare_nocase(e.name, w) < 0;
    });
    if (it == g_index.end() || !equal_nocase(it->name, want)) return nullptr;
    return &*it;
}

const char* const* file_list() {
    build_file_index();
    return g_list.data();
}

bool file_exists(const char* name) {
    build_file_index();
    if (*name == '@') name++;
    return index_lookup(name) != nullptr;
}

int file_index_size() {
    build_file_index();
    return (int)g_index.size();
}

bool file_index_describe(int i, char* buffer, size_t length) {
    build_file_index();
    if (i < 0 || i >= (int)g_index.size() || !length) return false;
    const index_entry& e = g_index[(size_t)i];
    snprintf(buffer, length, "%s -> %s", e.name.c_str(), e.path.c_str());
    return true;
}

void vfs_shutdown() {
    g_index.clear();
    g_index.shrink_to_fit();
    g_list.clear();
    g_list.shrink_to_fit();
    g_index_built = false;
    g_roots.clear();
    g_roots_built = false;
}

void list_texture_variants(const char* prefix, std::vector<const char*>& names, std::vector<const char*>& labels) {
    names.clear();
    labels.clear();
    names.push_back(nullptr);
    labels.push_back(intern_string("default"));
    size_t prefix_len = strlen(prefix);
    for (const char* const* p = file_list(); *p; p++) {
        std::string_view name(*p);
        if (!ends_with_nocase(name, ".png") || ends_with_nocase(name, "_norm.png") || ends_with_nocase(name, "_spec.png"))
            continue;
        size_t slash = name.rfind('/');
        std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
        if (base.size() < prefix_len + 4 || base.substr(0, prefix_len) != prefix) continue;
        names.push_back(intern_string(("@" + std::string(name)).c_str()));
        labels.push_back(intern_string(std::string(base.substr(prefix_len, base.size() - prefix_len - 4)).c_str()));
    }
}

bool open_home_directory() {
    std::string root = home_path("@");
    if (root.empty()) return false;
    make_directories(root.c_str());
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    char* argv[] = {(char*)"xdg-open", root.data(), nullptr};
    pid_t pid;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    int rc = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    // xdg-open hands the folder to the file manager and returns.
    if (waitpid(pid, &status, 0) < 0) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
