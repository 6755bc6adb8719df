#include "core/bytes.h"

#include <cstring>

namespace {
bool take(byte_reader& r, size_t n) {
    if (r.overrun || bytes_left(r) < n) {
        r.overrun = true;
        return false;
    }
    return true;
}

bool room(byte_writer& w, size_t n) {
    if (w.overflow || w.capacity - w.size < n) {
        w.overflow = true;
        return false;
    }
    return true;
}
}  // namespace

uint8_t read_u8(byte_reader& r) {
    if (!take(r, 1)) return 0;
    return r.data[r.pos++];
}

uint16_t read_u16(byte_reader& r) {
    if (!take(r, 2)) return 0;
    const uint8_t* p = r.data + r.pos;
    r.pos += 2;
    return (uint16_t)(p[0] | (p[1] << 8));
}

uint32_t read_u32(byte_reader& r) {
    if (!take(r, 4)) return 0;
    const uint8_t* p = r.data + r.pos;
    r.pos += 4;
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

uint64_t read_u64(byte_reader& r) {
    if (!take(r, 8)) return 0;
    uint64_t lo = read_u32(r);
    uint64_t hi = read_u32(r);
    return lo | (hi << 32);
}

float read_f32(byte_reader& r) {
    uint32_t bits = read_u32(r);
    float v;
    memcpy(&v, &bits, 4);
    return v;
}

double read_f64(byte_reader& r) {
    uint64_t bits = read_u64(r);
    double v;
    memcpy(&v, &bits, 8);
    return v;
}

bool read_bytes(byte_reader& r, void* dst, size_t n) {
    if (!take(r, n)) {
        if (n) memset(dst, 0, n);
        return false;
    }
    if (n) memcpy(dst, r.data + r.pos, n);
    r.pos += n;
    return true;
}

bool skip_bytes(byte_reader& r, size_t n) {
    if (!take(r, n)) return false;
    r.pos += n;
    return true;
}

std::string read_cstring(byte_reader& r, size_t max_chars) {
    std::string out;
    if (r.overrun) return out;
    const void* nul = memchr(r.data + r.pos, 0, bytes_left(r));
    if (!nul) {
        r.overrun = true;
        return out;
    }
    size_t len = (size_t)((const uint8_t*)nul - (r.data + r.pos));
    out.assign((const char*)r.data + r.pos, len < max_chars ? len : max_chars);
    r.pos += len + 1;
    return out;
}

void write_u8(byte_writer& w, uint8_t v) {
    if (room(w, 1)) w.data[w.size++] = v;
}

void write_u16(byte_writer& w, uint16_t v) {
    if (!room(w, 2)) return;
    w.data[w.size++] = (uint8_t)v;
    w.data[w.size++] = (uint8_t)(v >> 8);
}

void write_u32(byte_writer& w, uint32_t v) {
    if (!room(w, 4)) return;
    for (int i = 0; i < 4; i++) w.data[w.size++] = (uint8_t)(v >> (8 * i));
}

void write_u64(byte_writer& w, uint64_t v) {
    if (!room(w, 8)) return;
    for (int i = 0; i < 8; i++) w.data[w.size++] = (uint8_t)(v >> (8 * i));
}

void write_f32(byte_writer& w, float v) {
    uint32_t bits;
    memcpy(&bits, &v, 4);
    write_u32(w, bits);
}

void write_f64(byte_writer& w, double v) {
    uint64_t bits;
    memcpy(&bits, &v, 8);
    write_u64(w, bits);
}

void write_bytes(byte_writer& w, const void* src, size_t n) {
    if (!room(w, n)) return;
    if (n) memcpy(w.data + w.size, src, n);
    w.size += n;
}

void write_cstring(byte_writer& w, const char* text) {
    if (w.overflow || w.size >= w.capacity) {
        w.overflow = true;
        return;
    }
    size_t n = strlen(text);
    size_t space = w.capacity - w.size - 1;
    if (n > space) {
        n = space;
        w.overflow = true;
    }
    memcpy(w.data + w.size, text, n);
    w.size += n;
    w.data[w.size++] = 0;
}
