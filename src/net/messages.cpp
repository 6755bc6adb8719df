#include "net/messages.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/bytes.h"
#include "core/text.h"

namespace {

constexpr size_t gate_record_bytes = 12;
constexpr size_t max_gate_records = (reliable_payload_max - 8) / gate_record_bytes;

std::vector<uint8_t> bytes_of(const byte_writer& w) { return std::vector<uint8_t>(w.data, w.data + w.size); }

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view skip_blanks(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    return s;
}

// The text, after leading blanks, is the word followed by a blank or the
// end; on a match `rest` is what follows the word.
bool word_command(std::string_view text, std::string_view word, std::string_view& rest) {
    text = skip_blanks(text);
    if (!starts_with(text, word)) return false;
    rest = text.substr(word.size());
    return rest.empty() || is_blank(rest.front());
}

// One "%d"-style integer from the front of s (leading blanks allowed);
// values beyond 32 bits are clamped.
bool take_int(std::string_view& s, int64_t& out) {
    s = skip_blanks(s);
    char buf[32];
    size_t n = 0;
    if (n < s.size() && (s[n] == '+' || s[n] == '-')) n++;
    size_t digits = n;
    while (n < s.size() && s[n] >= '0' && s[n] <= '9') n++;
    if (n == digits) return false;
    std::string_view num = s.substr(0, n);
    s.remove_prefix(n);
    if (num.size() >= sizeof buf) {  // far beyond 32 bits either way
        out = num[0] == '-' ? INT32_MIN : INT32_MAX;
        return true;
    }
    memcpy(buf, num.data(), num.size());
    buf[num.size()] = 0;
    out = std::clamp<int64_t>(strtoll(buf, nullptr, 10), INT32_MIN, INT32_MAX);
    return true;
}

bool take_double(std::string_view s, double& out) {
    std::string text(skip_blanks(s));
    char* end = nullptr;
    double v = parse_double_c(text.c_str(), &end);
    if (end == text.c_str()) return false;
    out = v;
    return true;
}

}  // namespace

std::vector<uint8_t> encode_gate_passed(int32_t race_id, int32_t gate, int32_t tic) {
    uint8_t buf[12];
    byte_writer w = make_writer(buf, sizeof buf);
    write_i32(w, race_id);
    write_i32(w, gate);
    write_i32(w, tic);
    return bytes_of(w);
}

bool decode_gate_passed(const uint8_t* payload, size_t size, int32_t& race_id, gate_record& g) {
    if (size < 12) return false;
    byte_reader r = make_reader(payload, size);
    race_id = read_i32(r);
    g.slot = 0;
    g.gate = read_i32(r);
    g.tic = read_i32(r);
    return g.gate >= 0 && g.gate < net_max_gates;
}

std::vector<uint8_t> encode_gate_table(int32_t race_id, const std::vector<gate_record>& records) {
    size_t n = std::min(records.size(), max_gate_records);
    std::vector<uint8_t> out(8 + n * gate_record_bytes);
    byte_writer w = make_writer(out.data(), out.size());
    write_i32(w, race_id);
    write_i32(w, (int32_t)n);
    for (size_t i = 0; i < n; i++) {
        write_i32(w, records[i].slot);
        write_i32(w, records[i].gate);
        write_i32(w, records[i].tic);
    }
    return out;
}

bool decode_gate_table(const uint8_t* payload, size_t size, int32_t& race_id, std::vector<gate_record>& records,
                       bool& short_records) {
    records.clear();
    short_records = false;
    if (size < 8) return false;
    byte_reader r = make_reader(payload, size);
    race_id = read_i32(r);
    int32_t count = read_i32(r);
    if (count < 0) return false;
    size_t whole = bytes_left(r) / gate_record_bytes;
    if ((size_t)count > whole) short_records = true;
    size_t n = std::min((size_t)count, whole);
    for (size_t i = 0; i < n; i++) {
        gate_record g;
        g.slot = read_i32(r);
        g.gate = read_i32(r);
        g.tic = read_i32(r);
        if (g.slot >= 0 && g.slot < 160 && g.gate >= 0 && g.gate < net_max_gates) records.push_back(g);
    }
    return true;
}

std::vector<uint8_t> encode_deformation(int32_t race_id, const uint8_t* record, size_t size) {
    size = std::min(size, reliable_payload_max - 4);
    std::vector<uint8_t> out(4 + size);
    byte_writer w = make_writer(out.data(), out.size());
    write_i32(w, race_id);
    write_bytes(w, record, size);
    return out;
}

bool decode_deformation(const uint8_t* payload, size_t size, int32_t& race_id, std::vector<uint8_t>& record) {
    record.clear();
    if (size < 4) return false;
    byte_reader r = make_reader(payload, size);
    race_id = read_i32(r);
    record.assign(payload + 4, payload + size);
    return true;
}

std::string decode_message_text(const uint8_t* payload, size_t size) {
    const void* nul = size ? memchr(payload, 0, size) : nullptr;
    if (nul) size = (size_t)((const uint8_t*)nul - payload);
    return std::string((const char*)payload, std::min(size, reliable_payload_max));
}

server_command parse_server_command(std::string_view text) {
    server_command c;
    size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    std::string_view rest;
    if (text == "no_arcade") {
        c.kind = server_command_kind::no_arcade;
    } else if (starts_with(text, "off_course_bias")) {
        if (take_double(text.substr(15), c.value)) c.kind = server_command_kind::off_course_bias;
    } else if (starts_with(text, "off_course_scale")) {
        if (take_double(text.substr(16), c.value)) c.kind = server_command_kind::off_course_scale;
    } else if (word_command(text, "knockout", rest)) {
        c.kind = server_command_kind::knockout;
        int32_t last = 0;
        bool more = true;
        for (int i = 0; i < net_knockout_entries; i++) {
            int64_t v;
            if (more && take_int(rest, v))
                last = (int32_t)std::clamp<int64_t>(v, 0, net_knockout_max);
            else
                more = false;
            c.knockout[(size_t)i] = last;
        }
    } else if (word_command(text, "erode", rest)) {
        int64_t race, rate;
        if (take_int(rest, race) && take_int(rest, rate)) {
            c.kind = server_command_kind::erode;
            c.race = (int32_t)race;
            c.rate = (int32_t)rate;
        } else {
            c.kind = server_command_kind::erode_malformed;
        }
    } else if (text == "sendready") {
        c.kind = server_command_kind::send_ready;
    } else if (word_command(text, "senddenied", rest)) {
        c.kind = server_command_kind::send_denied;
    }
    return c;
}

erode_effect erode_command_effect(const server_command& c, int32_t race_id, int32_t current_rate) {
    erode_effect e;
    if (c.kind != server_command_kind::erode || c.race != race_id) return e;
    e.set = true;
    e.rate = c.rate;
    if (current_rate == -1 && c.rate == 0) return e;  // silently
    e.record = true;
    e.track_modified = c.rate > 0;
    return e;
}
