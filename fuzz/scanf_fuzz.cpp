// The scanf engine: the first byte picks a format, the rest is the input;
// results and stored values must be the C library's reading the same bytes
// from a stream (NUL bytes included).
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/scan.h"
#include "vfs/vfs.h"

namespace {
const char* const formats[] = {
    "%d %i %o %x", "%f %lf %Lf %e", "%15s %3c %n", "%15[a-z0-9] %*[^\n]%n", "[ %f %f %f ]", "%hhd%hd%ld%lld",
    " #%*[^\n]%n", "%d,%d,%d%n", "%%%5d%%%n", "%a %g %u", "%15[^]x]%c", "%*s %*d %*f %n", "%i%n%i%n",
};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const char* format = formats[data[0] % (sizeof formats / sizeof formats[0])];
    alignas(16) unsigned char slots[8][64];
    memset(slots, 0, sizeof slots);
    size_t used = 0;
    int n = string_scanf((const char*)data + 1, size - 1, &used, format, slots[0], slots[1], slots[2], slots[3],
                             slots[4], slots[5], slots[6], slots[7]);
    if (n < -1 || n > 8 || used > size - 1) __builtin_trap();
    int expected = -1;
    alignas(16) unsigned char theirs[8][64];
    memset(theirs, 0, sizeof theirs);
    if (size > 1) {
        FILE* stream = fmemopen((void*)(data + 1), size - 1, "r");
        if (!stream) return 0;
        expected = fscanf(stream, format, theirs[0], theirs[1], theirs[2], theirs[3], theirs[4], theirs[5], theirs[6],
                          theirs[7]);
        fclose(stream);
    }
    if (n != expected || memcmp(slots, theirs, sizeof slots) != 0) __builtin_trap();
    return 0;
}
