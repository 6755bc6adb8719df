// Shared between the vfs sources only.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "vfs/vfs.h"

constexpr size_t vfs_buffer_size = 16384;

struct vfs_file {
    FILE* stream = nullptr;
    int64_t base = 0;        // offset of the data in the stream
    int64_t limit = 0;       // bytes that may be delivered
    int64_t position = 0;    // bytes delivered so far
    int64_t raw_read = 0;    // plain files: bytes taken from the stream
    bool writing = false;
    bool is_gzip = false;
    bool eof = false;        // deflate stream ended, or plain data exhausted
    bool error = false;
    bool read_last = false;  // the stream was last used for input (a seek must come before output)
    bool wrote_last = false; // ... or for output (a flush must come before input)
    // Decoded bytes waiting to be delivered; buf[pos] is the look-ahead byte.
    uint8_t buf[vfs_buffer_size];
    size_t pos = 0;
    size_t len = 0;
    // gzip
    z_stream z{};
    bool z_started = false;
    uint8_t* in = nullptr;   // 16 KiB compressed input
    int64_t compressed_length = 0;
    int64_t compressed_consumed = 0;
    // atomic replacement
    std::string final_path;
    std::string temp_path;
};

struct index_entry {
    std::string path;  // file holding the data: the loose file or the archive
    std::string name;  // name relative to its root, or the archive member name
    int32_t offset;
    int32_t size;
    int32_t rank;
};

// The lowest-rank index entry of `name` (case-insensitive), or null.
const index_entry* index_lookup(const char* name);
bool file_index_built();
// Refills the look-ahead buffer; false at the end of the data.
bool vfs_fill(vfs_file* f);

inline int vfs_peek_fast(vfs_file* f) {
    if (f->pos < f->len) return f->buf[f->pos];
    return vfs_fill(f) ? f->buf[f->pos] : -1;
}
inline void vfs_advance(vfs_file* f) {
    f->pos++;
    f->position++;
}
