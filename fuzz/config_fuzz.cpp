// The configuration reader: any bytes as "@config" and as a setup file. What
// it keeps must write out and read back to the same text.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/config.h"
#include "vfs/config_files.h"
#include "vfs/vfs.h"

namespace {

std::string paths[2];

void remove_scratch() {
    for (const std::string& p : paths)
        if (!p.empty()) unlink(p.c_str());
}

const std::string& scratch(const char* what) {
    std::string& p = paths[what[0] == 'o'];
    if (p.empty()) {
        if (paths[0].empty() && paths[1].empty()) atexit(remove_scratch);
        p = "/tmp/qx_config_fuzz." + std::to_string(getpid()) + "." + what;
    }
    return p;
}

void put(const std::string& path, const void* data, size_t size) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) __builtin_trap();
    if (size) fwrite(data, 1, size, f);
    fclose(f);
}

std::string get(const std::string& path) {
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) __builtin_trap();
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) out.append(chunk, n);
    fclose(f);
    return out;
}

void read_from(const std::string& path, bool setup_only) {
    vfs_file* f = vfs_open(path.c_str(), "rb");
    if (!f) __builtin_trap();
    read_settings_file(f, setup_only);
    vfs_close(f);
}

std::string write_out() {
    const std::string& path = scratch("out");
    vfs_file* f = vfs_open(path.c_str(), "wb");
    if (!f || !write_config_file(f)) __builtin_trap();
    vfs_close(f);
    return get(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    config_defaults();
    put(scratch("in"), data, size);
    read_from(scratch("in"), size > 0 && (data[0] & 1));
    // A first write may cut lines that grew past the line length (a "(k)"
    // prefix, numbers in "%f"); from then on the text must be stable.
    std::string first = write_out();
    put(scratch("in"), first.data(), first.size());
    config_defaults();
    read_from(scratch("in"), false);
    std::string second = write_out();
    put(scratch("in"), second.data(), second.size());
    config_defaults();
    read_from(scratch("in"), false);
    if (write_out() != second) __builtin_trap();
    return 0;
}
