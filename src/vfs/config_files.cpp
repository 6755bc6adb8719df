#include "vfs/config_files.h"

#include <cstring>
#include <optional>
#include <string>

#include "core/config.h"
#include "core/settings.h"
#include "vfs/vfs.h"

// ---- reading ---------------------------------------------------------------------

bool read_settings_file(vfs_file* file, bool setup_only) {
    char line[config_line_bytes];
    // The buffer's last byte tells a filled buffer from a shorter line even
    // when the line holds NUL bytes.
    constexpr size_t last = sizeof line - 2;
    for (line[last] = 0; vfs_gets(file, line, (int)sizeof line); line[last] = 0) {
        size_t n = strlen(line);
        if (line[last] != 0 && line[last] != '\n') {
            // The rest of an over-long line belongs to it, not to a new line.
            int c;
            while ((c = vfs_getc(file)) != -1 && c != '\n') {
            }
        }
        while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
        char* eq = strchr(line, '=');
        if (!eq) continue;
        *eq = 0;
        if (setup_only)
            parse_setup_line(line, eq + 1);
        else
            parse_config_line(line, eq + 1);
    }
    return !vfs_error(file);
}

void read_config() {
    vfs_file* f = vfs_open("@config", "rb");
    if (!f) return;
    read_settings_file(f, false);
    vfs_close(f);
}

bool read_setup_file(const char* name) {
    std::string path = std::string("@setups/") + name;
    vfs_file* f = vfs_open(path.c_str(), "rb");
    if (!f) return false;
    // The lines before a read error are applied; the error is still one.
    bool ok = read_settings_file(f, true);
    return vfs_close(f) && ok;
}

// ---- writing ---------------------------------------------------------------------

namespace {

bool write_record(vfs_file* file, const setting& s) {
    std::optional<std::string> value = setting_text(s);
    if (!value) return true;
    std::string line = std::string(s.key) + "=" + *value + "\n";
    return vfs_write(file, line.data(), line.size()) == line.size();
}

}  // namespace

bool write_setup(vfs_file* file) {
    bool ok = true;
    for (const setting& s : config_settings())
        if (s.setup) ok = write_record(file, s) && ok;
    return ok;
}

bool write_config_file(vfs_file* file) {
    bool ok = true;
    for (const setting& s : config_settings()) ok = write_record(file, s) && ok;
    return ok;
}

bool write_config() {
    vfs_file* f = vfs_open("@config", "=wb");
    if (!f) return false;
    bool ok = write_config_file(f);
    return vfs_close(f) && ok;
}

bool write_setup_file(const char* name) {
    std::string path = std::string("@setups/") + name;
    vfs_file* f = vfs_open(path.c_str(), "=wb");
    if (!f) return false;
    bool ok = write_setup(f);
    return vfs_close(f) && ok;
}
