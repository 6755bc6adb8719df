// The demo file: a text header (version, rider count, race values, the
// track directory and one record per rider) and, in version 6, a stream of
// chunks to the end of the file, each linked to the one before it so that
// the stream can be walked both ways. Versions 4 and 5 hold one record of
// every rider's state per tic instead.
//
// Everything read here comes from a file the player may have been sent:
// every count, length and index is checked, and a damaged stream simply
// ends where the damage begins.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bike/compact_state.h"

struct vfs_file;

constexpr int demo_max_riders = 160;
constexpr int demo_chunk_header_bytes = 9;
constexpr int demo_state_record_bytes = 44;  // rider index, tic, state
constexpr int demo_text_shown = 1023;        // a text record shows at most this much
// Tics a demo may name: beyond this the race clock could not run on.
constexpr int demo_tic_limit = 1 << 30;

enum demo_chunk_type : int {
    chunk_states = 1,
    chunk_text = 2,
    chunk_command = 3,
    chunk_deformation = 5,
};

struct demo_rider {
    std::string model;
    std::string rider_texture, bike_texture, wheel_texture, head_texture;  // file names, "" for none
    std::string number;  // at most 3 characters
    std::string name;    // version 6 only
};

struct demo_header {
    int version = 6;
    int race_time = 0;
    int extra_laps = 0;
    int gate_drop_tic = 14 * 128;
    std::string track;
    std::vector<demo_rider> riders;
    int64_t body_start = 0;  // byte offset of the first chunk or record
};

// Reads a header from the start of the file. False, with the reason in
// `error`, for anything that is not a demo of version 4, 5 or 6 with 0 to
// 160 complete rider records.
bool read_demo_header(vfs_file* file, demo_header& header, std::string& error);
// The header text of a version-6 demo.
std::string demo_header_text(const demo_header& header);
// Bytes per rider and tic in the body of version 4 and 5 demos.
inline int demo_state_bytes(int version) { return version == 4 ? compact_state_v4_bytes : compact_state_bytes; }

// ---- the chunk stream ----------------------------------------------------------------

struct demo_chunk {
    int64_t offset = 0;  // of its header
    uint32_t length = 0;
    int tic = 0;
    int type = 0;
};

// A read position in a demo's body over an open file. `position` is where
// the next chunk's header starts and `previous_length` the payload length of
// the chunk before it (0 at the body's start).
struct demo_stream {
    vfs_file* file = nullptr;
    std::string path;
    int64_t body_start = 0;
    int64_t file_size = 0;
    int64_t position = 0;
    uint32_t previous_length = 0;
    int64_t file_offset = 0;  // where the file's read pointer is
    bool damaged = false;     // the stream ended at bad data
};

// Opens the stream at the body of an open file whose header ends at
// body_start, measuring the file; takes over the file.
bool open_demo_stream(demo_stream& s, vfs_file* file, const std::string& path, int64_t body_start);
void close_demo_stream(demo_stream& s);

enum class chunk_read { chunk, end, damaged };
// The header of the chunk at the read position, without moving past it.
chunk_read peek_chunk(demo_stream& s, demo_chunk& chunk);
// The payload of the chunk just peeked; the read position moves past it.
bool read_chunk_payload(demo_stream& s, const demo_chunk& chunk, std::vector<uint8_t>& payload);
// Moves the read position back one chunk (to the one read last); false at
// the body's start or at a link that would lead before it.
bool step_back_chunk(demo_stream& s, demo_chunk& chunk);
// Plain bytes at the read position (version 4 and 5 bodies); false at the end.
bool read_stream_bytes(demo_stream& s, void* data, size_t n);
bool seek_stream(demo_stream& s, int64_t offset);

// Writes one chunk: its link, tic, type and payload. previous_length is the
// payload length of the chunk written before (0 for the first) and becomes
// this one's.
bool write_demo_chunk(vfs_file* file, uint32_t& previous_length, int tic, int type, const void* payload,
                      size_t length);
