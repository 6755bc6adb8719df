// SHA-1 over streams of bytes and whole files: the digests by which clients
// and a race server agree that they ride the same track.
#pragma once

#include <nettle/sha1.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using sha1_digest_bytes = std::array<uint8_t, 20>;

struct sha1_stream {
    sha1_ctx ctx;
    sha1_stream() { sha1_init(&ctx); }
    void feed(const void* data, size_t n);
    // The digest of everything fed; the stream starts over afterwards.
    sha1_digest_bytes finish();
};

// Feeds the whole (decompressed) contents of a file in blocks of `chunk`
// bytes, calling `tick` after each block when given. False, with nothing
// fed, when the file does not open.
bool feed_file(sha1_stream& s, const char* name, size_t chunk, void (*tick)() = nullptr);

// 40 lower-case hexadecimal digits.
std::string hex_digest(const sha1_digest_bytes& d);
