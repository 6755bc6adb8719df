#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "datagen/datagen.h"

void add_member(datagen_output& out, const std::string& name, std::vector<uint8_t> data) {
    for (saf_member& m : out.members) {
        if (m.name == name) {
            m.data = std::move(data);
            return;
        }
    }
    out.members.push_back({name, std::move(data)});
}

void add_text_member(datagen_output& out, const std::string& name, const std::string& text) {
    add_member(out, name, std::vector<uint8_t>(text.begin(), text.end()));
}

namespace {
bool read_whole(const std::string& path, std::vector<uint8_t>& data) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    data.clear();
    uint8_t chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

bool pack_walk(datagen_output& out, const std::string& root, const std::string& rel) {
    DIR* d = opendir((root + "/" + rel).c_str());
    if (!d) return false;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        names.push_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    bool ok = true;
    for (const std::string& n : names) {
        std::string name = rel.empty() ? n : rel + "/" + n;
        std::string full = root + "/" + name;
        struct stat st;
        if (stat(full.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            ok = pack_walk(out, root, name) && ok;
        } else if (S_ISREG(st.st_mode) && n != "README.md") {
            std::vector<uint8_t> data;
            if (!read_whole(full, data)) {
                fprintf(stderr, "quarnix-datagen: cannot read %s\n", full.c_str());
                ok = false;
                continue;
            }
            add_member(out, name, std::move(data));
        }
    }
    return ok;
}
}  // namespace

bool pack_directory(datagen_output& out, const std::string& dir) { return pack_walk(out, dir, ""); }

void finish_output(datagen_output& out) {
    std::sort(out.members.begin(), out.members.end(),
              [](const saf_member& a, const saf_member& b) { return a.name < b.name; });
}

namespace {
struct generator_entry {
    const char* name;
    generator_fn fn;
};
std::vector<generator_entry>& generators() {
    static std::vector<generator_entry> list;
    return list;
}
}  // namespace

generator_registrar::generator_registrar(const char* name, generator_fn fn) { generators().push_back({name, fn}); }

bool run_generators(datagen_output& out) {
    std::vector<generator_entry> list = generators();
    std::sort(list.begin(), list.end(), [](const generator_entry& a, const generator_entry& b) {
        return strcmp(a.name, b.name) < 0;
    });
    bool ok = true;
    // QX_DATAGEN_TIMES=1 prints how long each generator takes (the archive
    // is made on every build, so its time counts).
    const bool times = getenv("QX_DATAGEN_TIMES") != nullptr;
    for (const generator_entry& g : list) {
        auto t0 = std::chrono::steady_clock::now();
        if (!g.fn(out)) {
            fprintf(stderr, "quarnix-datagen: generator %s failed\n", g.name);
            ok = false;
        }
        if (times)
            fprintf(stderr, "quarnix-datagen: %-20s %6.2f s\n", g.name,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return ok;
}
