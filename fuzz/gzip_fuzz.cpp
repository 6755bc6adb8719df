// The gzip reader: arbitrary bytes as a loose ".gz" file, read to the end.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "vfs/vfs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = [] {
        char dir[] = "/tmp/qxfuzz.XXXXXX";
        std::string d = mkdtemp(dir) ? dir : "/tmp";
        return d + "/input";
    }();
    FILE* out = fopen((path + ".gz").c_str(), "wb");
    if (!out) return 0;
    fwrite(data, 1, size, out);
    fclose(out);
    vfs_file* f = vfs_open(path.c_str(), "rb");
    if (f) {
        char chunk[4096];
        size_t total = 0, n;
        while ((n = vfs_read(f, chunk, sizeof chunk)) > 0) {
            total += n;
            if (total > (64u << 20)) break;  // a small input can inflate a lot
        }
        vfs_getc(f);
        vfs_close(f);
    }
    return 0;
}
