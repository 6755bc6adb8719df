// SHA-1 streams and whole-file feeding.
#include "track/digest.h"

#include <vector>

#include "core/text.h"
#include "vfs/vfs.h"

void sha1_stream::feed(const void* data, size_t n) {
    if (n) sha1_update(&ctx, n, static_cast<const uint8_t*>(data));
}

sha1_digest_bytes sha1_stream::finish() {
    sha1_digest_bytes out;
    sha1_digest(&ctx, out.size(), out.data());  // also starts the context over
    return out;
}

bool feed_file(sha1_stream& s, const char* name, size_t chunk, void (*tick)()) {
    vfs_file* f = vfs_open(name, "rb");
    if (!f) return false;
    if (chunk == 0) chunk = 1024;
    std::vector<uint8_t> block(chunk);
    size_t got;
    while ((got = vfs_read(f, block.data(), chunk)) > 0) {
        s.feed(block.data(), got);
        if (tick) tick();
    }
    vfs_close(f);
    return true;
}

std::string hex_digest(const sha1_digest_bytes& d) {
    std::string out;
    out.reserve(40);
    for (uint8_t b : d) out += format_string("%02x", b);
    return out;
}
