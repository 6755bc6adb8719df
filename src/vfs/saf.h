// Writing ".saf" archives and gzip data: the data generator packs the game
// data with these, and tests build archives with them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct saf_member {
    std::string name;
    std::vector<uint8_t> data;
};

// The whole archive (header, terminator, data) in member order.
std::vector<uint8_t> saf_build(const std::vector<saf_member>& members);
// Writes it to `path` through a temporary file; false on any failure.
bool saf_write(const char* path, const std::vector<saf_member>& members);
// A gzip stream (fixed header, no name, time 0) of the data.
std::vector<uint8_t> gzip_bytes(const void* data, size_t size, int level = 9);

struct saf_header_entry {
    std::string name;
    int32_t offset;
    int32_t size;
};
// Reads an archive header from the stream's current position and assigns the
// member offsets. False, with no entries, when the header is malformed: a line
// over 1023 bytes or without its end, a line not beginning with a size, a
// size that is negative or beyond 32 bits, a missing separator or name, a
// missing terminator, or members that run past the archive's end.
bool saf_read_header(FILE* f, int64_t archive_size, std::vector<saf_header_entry>& out);
