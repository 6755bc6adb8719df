// Shared helpers of the texture and model tests: image files in a sandbox
// and a look at the recent on-screen messages.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/diag.h"
#include "render/image_io.h"
#include "testkit/testkit.h"

// Whether any of the last 200 messages contains `text`.
inline bool message_shown(const char* text) {
    for (int age = 0; age < 200; age++) {
        const char* line = message_line(age);
        if (!*line) break;
        if (strstr(line, text)) return true;
    }
    return false;
}

inline int messages_containing(const char* text) {
    int n = 0;
    for (int age = 0; age < 200; age++) {
        const char* line = message_line(age);
        if (!*line) break;
        if (strstr(line, text)) n++;
    }
    return n;
}

// w x h pixels of one colour.
inline std::vector<uint8_t> flat_pixels(int w, int h, int channels, const uint8_t* colour) {
    std::vector<uint8_t> p((size_t)w * h * channels);
    for (size_t k = 0; k < (size_t)w * h; k++) memcpy(&p[k * channels], colour, (size_t)channels);
    return p;
}

// Pixels that no mip level can stand in for.
inline std::vector<uint8_t> noisy_pixels(int w, int h, int channels, uint32_t seed = 1) {
    std::vector<uint8_t> p((size_t)w * h * channels);
    uint32_t s = seed * 2654435761u + 1;
    for (uint8_t& b : p) {
        s = s * 1664525u + 1013904223u;
        b = (uint8_t)(s >> 24);
    }
    return p;
}

inline void write_png(const std::string& path, const std::vector<uint8_t>& pixels, int w, int h, int channels,
                      const char* text = nullptr) {
    std::vector<uint8_t> png;
    encode_png(pixels.data(), w, h, channels, text, png);
    write_file(path, std::vector<unsigned char>(png.begin(), png.end()));
}

inline void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    write_file(path, std::vector<unsigned char>(bytes.begin(), bytes.end()));
}
