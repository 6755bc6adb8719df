#include "demo/demo_file.h"

#include <algorithm>
#include <cstring>

#include "core/bytes.h"
#include "core/scan.h"
#include "core/text.h"
#include "vfs/vfs.h"

namespace {

// Longer header lines than this are not from a demo.
constexpr size_t header_line_limit = 4096;
// No chunk the program writes comes near this; a longer one is damage.
constexpr uint32_t chunk_length_limit = 16u << 20;
constexpr int max_extra_laps = 10000;

enum class line_read { line, end, too_long };

// One line without its line feed (and without a carriage return before it).
// A line that the file ends in without a line feed counts as missing.
line_read read_line(vfs_file* f, std::string& line) {
    line.clear();
    for (;;) {
        int c = vfs_getc(f);
        if (c < 0) return line_read::end;
        if (c == '\n') break;
        if (line.size() >= header_line_limit) return line_read::too_long;
        line.push_back((char)c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line_read::line;
}

bool need_line(vfs_file* f, std::string& line, std::string& error, const char* what) {
    line_read r = read_line(f, line);
    if (r == line_read::line) return true;
    error = r == line_read::too_long ? format_string("%s is too long", what) : format_string("%s is missing", what);
    return false;
}

// Header text may not break the line structure.
std::string clean(const std::string& text, bool first_line) {
    std::string out = text;
    for (char& c : out)
        if (c == '\n' || c == '\r' || (first_line && c == '|')) c = ' ';
    return out;
}

bool fill(demo_stream& s, void* data, size_t n) {
    size_t got = vfs_read(s.file, data, n);
    s.file_offset += (int64_t)got;
    return got == n;
}

bool skip_bytes_in_file(demo_stream& s, int64_t n) {
    uint8_t block[65536];
    while (n > 0) {
        size_t want = (size_t)std::min<int64_t>(n, (int64_t)sizeof block);
        if (!fill(s, block, want)) return false;
        n -= (int64_t)want;
    }
    return true;
}

}  // namespace

bool read_demo_header(vfs_file* f, demo_header& h, std::string& error) {
    h = demo_header{};
    if (!f) {
        error = "it cannot be opened";
        return false;
    }
    std::string line;
    if (!need_line(f, line, error, "the first line")) return false;
    int version = 0, riders = 0, race_time = 0, extra_laps = 0, drop = 14 * 128;
    int fields = string_scanf(line.c_str(), line.size(), nullptr, "KV%d %d %d %d %d", &version, &riders, &race_time,
                              &extra_laps, &drop);
    if (fields < 3 || version < 4 || version > 6) {
        error = "it is not a demo of version 4, 5 or 6";
        return false;
    }
    if (riders < 0 || riders > demo_max_riders) {
        error = format_string("it names %d riders (at most %d)", riders, demo_max_riders);
        return false;
    }
    h.version = version;
    h.race_time = std::clamp(race_time, 0, demo_tic_limit);
    h.extra_laps = fields >= 4 ? std::clamp(extra_laps, 0, max_extra_laps) : 0;
    h.gate_drop_tic = fields >= 5 ? std::clamp(drop, 0, demo_tic_limit) : 14 * 128;

    if (!need_line(f, h.track, error, "the track line")) return false;
    if (h.track.empty()) {
        error = "it names no track";
        return false;
    }
    for (int i = 0; i < riders; i++) {
        demo_rider r;
        if (!need_line(f, line, error, "a rider record")) return false;
        std::string* parts[] = {&r.model, &r.rider_texture, &r.bike_texture, &r.wheel_texture, &r.head_texture};
        size_t start = 0;
        for (size_t k = 0; k < 5 && start <= line.size(); k++) {
            size_t bar = k < 4 ? line.find('|', start) : std::string::npos;
            *parts[k] = line.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
        if (!need_line(f, line, error, "a rider number")) return false;
        r.number = line.substr(0, 3);
        if (version == 6) {
            if (!need_line(f, r.name, error, "a rider name")) return false;
            // Lines up to and including an empty one.
            do {
                if (!need_line(f, line, error, "a rider record's end")) return false;
            } while (!line.empty());
        }
        h.riders.push_back(std::move(r));
    }
    h.body_start = vfs_position(f);
    return true;
}

std::string demo_header_text(const demo_header& h) {
    std::string out = format_string("KV06 %d %d %d %d\n", (int)h.riders.size(), h.race_time, h.extra_laps, h.gate_drop_tic);
    out += clean(h.track, false) + "\n";
    for (const demo_rider& r : h.riders) {
        out += clean(r.model, true) + "|" + clean(r.rider_texture, true) + "|" + clean(r.bike_texture, true) + "|" +
               clean(r.wheel_texture, true) + "|" + clean(r.head_texture, true) + "\n";
        out += clean(r.number, false) + "\n" + clean(r.name, false) + "\n\n";
    }
    return out;
}

// ---- the chunk stream ----------------------------------------------------------------

bool open_demo_stream(demo_stream& s, vfs_file* file, const std::string& path, int64_t body_start) {
    s = demo_stream{};
    s.file = file;
    s.path = path;
    s.body_start = body_start;
    s.position = body_start;
    s.file_offset = vfs_position(file);
    // Measure the rest of the file once, so that no length read from it can
    // reach past its end.
    uint8_t block[65536];
    int64_t size = s.file_offset;
    for (;;) {
        size_t got = vfs_read(file, block, sizeof block);
        if (got == 0) break;
        size += (int64_t)got;
    }
    s.file_offset = size;
    s.file_size = size;
    return seek_stream(s, body_start);
}

void close_demo_stream(demo_stream& s) {
    if (s.file) vfs_close(s.file);
    s = demo_stream{};
}

bool seek_stream(demo_stream& s, int64_t offset) {
    if (!s.file || offset < 0 || offset > s.file_size) return false;
    if (offset == s.file_offset) return true;
    if (offset < s.file_size && vfs_seek(s.file, offset)) {
        s.file_offset = offset;
        return true;
    }
    if (offset > s.file_offset) return skip_bytes_in_file(s, offset - s.file_offset);
    // A stream that cannot seek (compressed) is read again from its start.
    vfs_file* again = vfs_open(s.path.c_str(), "rb");
    if (!again) return false;
    vfs_close(s.file);
    s.file = again;
    s.file_offset = 0;
    return skip_bytes_in_file(s, offset);
}

chunk_read peek_chunk(demo_stream& s, demo_chunk& chunk) {
    if (!s.file || s.damaged) return s.damaged ? chunk_read::damaged : chunk_read::end;
    if (s.position >= s.file_size) return chunk_read::end;
    uint8_t head[demo_chunk_header_bytes];
    if (s.file_size - s.position < demo_chunk_header_bytes || !seek_stream(s, s.position) || !fill(s, head, sizeof head)) {
        s.damaged = true;
        return chunk_read::damaged;
    }
    byte_reader r = make_reader(head, sizeof head);
    uint32_t link = read_u32(r);
    int32_t tic = read_i32(r);
    uint8_t type = read_u8(r);
    uint32_t length = link ^ s.previous_length;
    int64_t room = s.file_size - s.position - demo_chunk_header_bytes;
    if ((int64_t)length > room || length > chunk_length_limit || tic < 0 || tic > demo_tic_limit) {
        s.damaged = true;
        return chunk_read::damaged;
    }
    chunk.offset = s.position;
    chunk.length = length;
    chunk.tic = tic;
    chunk.type = type;
    return chunk_read::chunk;
}

bool read_chunk_payload(demo_stream& s, const demo_chunk& chunk, std::vector<uint8_t>& payload) {
    payload.resize(chunk.length);
    if (!seek_stream(s, chunk.offset + demo_chunk_header_bytes) || (chunk.length && !fill(s, payload.data(), chunk.length))) {
        s.damaged = true;
        return false;
    }
    s.position = chunk.offset + demo_chunk_header_bytes + chunk.length;
    s.previous_length = chunk.length;
    return true;
}

bool step_back_chunk(demo_stream& s, demo_chunk& chunk) {
    auto to_start = [&]() {
        s.position = s.body_start;
        s.previous_length = 0;
        s.damaged = false;
        return false;
    };
    if (s.position <= s.body_start) return to_start();
    int64_t at = s.position - demo_chunk_header_bytes - (int64_t)s.previous_length;
    if (at < s.body_start) return to_start();
    uint8_t head[demo_chunk_header_bytes];
    if (!seek_stream(s, at) || !fill(s, head, sizeof head)) return to_start();
    byte_reader r = make_reader(head, sizeof head);
    uint32_t link = read_u32(r);
    int32_t tic = read_i32(r);
    uint8_t type = read_u8(r);
    uint32_t before = link ^ s.previous_length;
    // The chunk before must fit between the body's start and this one.
    bool sound = at == s.body_start ? before == 0 : (int64_t)before <= at - s.body_start - demo_chunk_header_bytes;
    if (!sound || tic < 0 || tic > demo_tic_limit) return to_start();
    chunk.offset = at;
    chunk.length = s.previous_length;
    chunk.tic = tic;
    chunk.type = type;
    s.position = at;
    s.previous_length = before;
    s.damaged = false;
    return true;
}

bool read_stream_bytes(demo_stream& s, void* data, size_t n) {
    if (!s.file || s.position + (int64_t)n > s.file_size || !seek_stream(s, s.position)) return false;
    if (!fill(s, data, n)) return false;
    s.position += (int64_t)n;
    return true;
}

bool write_demo_chunk(vfs_file* file, uint32_t& previous_length, int tic, int type, const void* payload,
                      size_t length) {
    if (!file || length > chunk_length_limit) return false;
    uint8_t head[demo_chunk_header_bytes];
    byte_writer w = make_writer(head, sizeof head);
    write_u32(w, previous_length ^ (uint32_t)length);
    write_i32(w, tic);
    write_u8(w, (uint8_t)type);
    bool ok = vfs_write(file, head, sizeof head) == sizeof head;
    if (ok && length) ok = vfs_write(file, payload, length) == length;
    if (ok) previous_length = (uint32_t)length;
    return ok;
}
