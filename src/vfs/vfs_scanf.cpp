// scanf over an open file: the shared engine reads the file's look-ahead
// buffer in place and refills it as it goes.
#include "core/scan.h"
#include "vfs/vfs_internal.h"

namespace {

// Hands the bytes taken so far to the file, so that its position is right
// before the buffer is refilled and after the scan.
void settle(scan_source& s, vfs_file* f) {
    f->pos = s.pos;
    f->position += (int64_t)s.taken;
    s.taken = 0;
}

bool refill(scan_source& s) {
    vfs_file* f = (vfs_file*)s.owner;
    settle(s, f);
    bool more = vfs_fill(f);
    s.data = f->buf;
    s.pos = f->pos;
    s.len = f->len;
    return more;
}

}  // namespace

int vfs_vscanf(vfs_file* f, const char* format, va_list args) {
    scan_source s;
    s.data = f->buf;
    s.pos = f->pos;
    s.len = f->len;
    s.refill = refill;
    s.owner = f;
    int n = scan_vformat(s, format, args);
    settle(s, f);
    return n;
}

int vfs_scanf(vfs_file* f, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = vfs_vscanf(f, format, args);
    va_end(args);
    return n;
}
