// The archive header reader over arbitrary bytes.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "vfs/saf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* f = fmemopen((void*)data, size, "rb");
    if (!f) return 0;
    std::vector<saf_header_entry> members;
    if (saf_read_header(f, (int64_t)size, members)) {
        for (const saf_header_entry& m : members)
            if (m.offset < 0 || m.size < 0 || (size_t)m.offset + (size_t)m.size > size) __builtin_trap();
    }
    fclose(f);
    return 0;
}
