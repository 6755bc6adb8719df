#include <zlib.h>

#include <cstdio>
#include <cstring>

#include "vfs/saf.h"
#include "vfs/vfs.h"

std::vector<uint8_t> saf_build(const std::vector<saf_member>& members) {
    std::string header;
    for (const saf_member& m : members) header += std::to_string(m.data.size()) + " " + m.name + "\n";
    header += "-\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    for (const saf_member& m : members) out.insert(out.end(), m.data.begin(), m.data.end());
    return out;
}

bool saf_write(const char* path, const std::vector<saf_member>& members) {
    std::vector<uint8_t> bytes = saf_build(members);
    vfs_file* f = vfs_open(path, "=wb");
    if (!f) return false;
    vfs_write(f, bytes.data(), bytes.size());
    return vfs_close(f);
}

std::vector<uint8_t> gzip_bytes(const void* data, size_t size, int level) {
    z_stream z{};
    std::vector<uint8_t> out;
    if (deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) return out;
    out.resize(deflateBound(&z, (uLong)size) + 32);
    z.next_in = (Bytef*)data;
    z.avail_in = (uInt)size;
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    int rc = deflate(&z, Z_FINISH);
    out.resize(rc == Z_STREAM_END ? z.total_out : 0);
    deflateEnd(&z);
    return out;
}
