// Little-endian binary reading and writing over one bounded record. A read
// past the end returns zero and marks the reader overrun; it never touches
// memory beyond the buffer. A write past the capacity is dropped and marks
// the writer overflowed. Every binary file and datagram goes through these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct byte_reader {
    const uint8_t* data;
    size_t size;
    size_t pos;
    bool overrun;
};

inline byte_reader make_reader(const void* data, size_t size) { return {(const uint8_t*)data, size, 0, false}; }
inline size_t bytes_left(const byte_reader& r) { return r.pos < r.size ? r.size - r.pos : 0; }

uint8_t read_u8(byte_reader& r);
uint16_t read_u16(byte_reader& r);
uint32_t read_u32(byte_reader& r);
uint64_t read_u64(byte_reader& r);
inline int8_t read_i8(byte_reader& r) { return (int8_t)read_u8(r); }
inline int16_t read_i16(byte_reader& r) { return (int16_t)read_u16(r); }
inline int32_t read_i32(byte_reader& r) { return (int32_t)read_u32(r); }
float read_f32(byte_reader& r);
double read_f64(byte_reader& r);
// Copies n bytes; on overrun copies nothing, zero-fills dst and returns false.
bool read_bytes(byte_reader& r, void* dst, size_t n);
// Skips n bytes (overrun when fewer remain).
bool skip_bytes(byte_reader& r, size_t n);
// Reads a NUL-terminated string, keeping at most max_chars characters; the
// rest up to the NUL is consumed. A missing NUL marks the reader overrun.
std::string read_cstring(byte_reader& r, size_t max_chars);

struct byte_writer {
    uint8_t* data;
    size_t capacity;
    size_t size;
    bool overflow;
};

inline byte_writer make_writer(void* data, size_t capacity) { return {(uint8_t*)data, capacity, 0, false}; }

void write_u8(byte_writer& w, uint8_t v);
void write_u16(byte_writer& w, uint16_t v);
void write_u32(byte_writer& w, uint32_t v);
void write_u64(byte_writer& w, uint64_t v);
inline void write_i8(byte_writer& w, int8_t v) { write_u8(w, (uint8_t)v); }
inline void write_i16(byte_writer& w, int16_t v) { write_u16(w, (uint16_t)v); }
inline void write_i32(byte_writer& w, int32_t v) { write_u32(w, (uint32_t)v); }
void write_f32(byte_writer& w, float v);
void write_f64(byte_writer& w, double v);
void write_bytes(byte_writer& w, const void* src, size_t n);
// Writes the text and its NUL; a text that does not fit is cut so the NUL
// still does (nothing is written when not even the NUL fits).
void write_cstring(byte_writer& w, const char* text);
