#include "net/packets.h"

#include <nettle/ripemd160.h>

#include <algorithm>
#include <cstring>

#include "core/bytes.h"

namespace {

// A text running to the end of the datagram: it ends at the first NUL (the
// receiver terminates what it got) and is cut to its buffer.
std::string read_text_to_end(byte_reader& r, size_t max_chars) {
    size_t n = bytes_left(r);
    const char* p = (const char*)r.data + r.pos;
    const void* nul = n ? memchr(p, 0, n) : nullptr;
    if (nul) n = (size_t)((const char*)nul - p);
    r.pos = r.size;
    return std::string(p, std::min(n, max_chars));
}

std::vector<uint8_t> read_payload_to_end(byte_reader& r) {
    size_t n = bytes_left(r);
    std::vector<uint8_t> out(r.data + r.pos, r.data + r.pos + n);
    r.pos = r.size;
    return out;
}

// Writes as much of the bytes as the datagram still holds.
void write_cut(byte_writer& w, const void* src, size_t n) {
    size_t room = w.overflow ? 0 : w.capacity - w.size;
    write_bytes(w, src, std::min(n, room));
}

void write_zeros(byte_writer& w, size_t n) {
    for (size_t i = 0; i < n; i++) write_u8(w, 0);
}

bool slot_or_none(int32_t v) { return v >= 0 && v <= net_no_slot; }
bool real_slot(int32_t v) { return v >= 0 && v < net_slot_count; }

}  // namespace

size_t client_packet_min_size(int type) {
    switch (type) {
    case cp_contact: return 21;
    case cp_client_info: return 41;
    case cp_track_ack: case cp_start_ack: case cp_restart_request: case cp_restart_ack: return 13;
    case cp_slot_ack: return 17;
    case cp_state: return 60;
    case cp_disconnect: return 9;
    case cp_reliable: return 14;
    case cp_ack: return 13;
    default: return 0;
    }
}

size_t server_packet_min_size(int type) {
    switch (type) {
    case sp_server_full: case sp_disconnected: case sp_error: return 1;
    case sp_welcome: case sp_time_sync: return 13;
    case sp_race_info: return 37;
    case sp_slot_info: case sp_start: return 9;
    case sp_states: return 17;
    case sp_ignored: case sp_restart: case sp_ack: case sp_redirect: return 5;
    case sp_reliable: return 6;
    default: return 0;
    }
}

bool encode_client_packet(const client_packet& p, datagram& out) {
    if (!client_packet_min_size(p.type)) return false;
    byte_writer w = make_writer(out.bytes.data(), out.bytes.size());
    write_u8(w, p.type);
    if (p.type == cp_contact) {
        write_i32(w, p.password_flag);
        write_i32(w, 0);
        write_i32(w, p.version);
        write_u32(w, p.client_token);
        write_i32(w, 0);
        out.size = w.size;
        return true;
    }
    write_i32(w, p.slot);
    write_i32(w, p.connection_id);
    switch (p.type) {
    case cp_client_info:
        write_bytes(w, p.proof.data(), 4);
        write_i32(w, 0);
        write_u32(w, p.client_token);
        write_zeros(w, 20);
        write_cut(w, p.text.data(), p.text.size());
        break;
    case cp_track_ack: case cp_start_ack: case cp_restart_ack:
        write_i32(w, p.race_id);
        break;
    case cp_slot_ack:
        write_i32(w, p.race_id);
        write_i32(w, p.last_slot);
        break;
    case cp_state:
        write_i32(w, p.race_id);
        write_i32(w, p.server_tic);
        write_i32(w, p.local_tic);
        write_bytes(w, p.state.data(), p.state.size());
        break;
    case cp_restart_request:
        write_i32(w, 1);
        break;
    case cp_reliable:
        write_i32(w, p.sequence);
        write_u8(w, p.message_type);
        write_cut(w, p.payload.data(), p.payload.size());
        break;
    case cp_ack:
        write_i32(w, p.sequence);
        break;
    default:
        break;
    }
    out.size = w.size;
    return true;
}

bool decode_client_packet(const uint8_t* bytes, size_t size, client_packet& p) {
    p = client_packet{};
    if (size < 1) return false;
    size = std::min(size, (size_t)max_datagram);
    byte_reader r = make_reader(bytes, size);
    p.type = read_u8(r);
    size_t min = client_packet_min_size(p.type);
    if (!min || size < min) return false;
    if (p.type == cp_contact) {
        p.password_flag = read_i32(r);
        read_i32(r);
        p.version = read_i32(r);
        p.client_token = read_u32(r);
        return true;
    }
    p.slot = read_i32(r);
    p.connection_id = read_i32(r);
    if (!slot_or_none(p.slot)) return false;
    switch (p.type) {
    case cp_client_info:
        read_bytes(r, p.proof.data(), 4);
        read_i32(r);
        p.client_token = read_u32(r);
        skip_bytes(r, 20);
        p.text = read_text_to_end(r, max_datagram);
        break;
    case cp_track_ack: case cp_start_ack: case cp_restart_ack:
        p.race_id = read_i32(r);
        break;
    case cp_slot_ack:
        p.race_id = read_i32(r);
        p.last_slot = read_i32(r);
        if (!slot_or_none(p.last_slot)) return false;
        break;
    case cp_state:
        p.race_id = read_i32(r);
        p.server_tic = read_i32(r);
        p.local_tic = read_i32(r);
        read_bytes(r, p.state.data(), p.state.size());
        break;
    case cp_restart_request:
        read_i32(r);
        break;
    case cp_reliable:
        p.sequence = read_i32(r);
        p.message_type = read_u8(r);
        p.payload = read_payload_to_end(r);
        break;
    case cp_ack:
        p.sequence = read_i32(r);
        break;
    default:
        break;
    }
    return !r.overrun;
}

bool encode_server_packet(const server_packet& p, datagram& out) {
    if (!server_packet_min_size(p.type)) return false;
    byte_writer w = make_writer(out.bytes.data(), out.bytes.size());
    write_u8(w, p.type);
    switch (p.type) {
    case sp_welcome:
        write_i32(w, p.slot);
        write_i32(w, p.connection_id);
        write_i32(w, p.protocol);
        break;
    case sp_race_info:
        write_i32(w, p.race_id);
        write_i32(w, p.time_limit);
        write_i32(w, p.laps);
        write_i32(w, p.gate_drop);
        write_bytes(w, p.digest.data(), p.digest.size());
        write_cut(w, p.text.data(), std::min(p.text.size(), max_track_name));
        break;
    case sp_slot_info:
        write_i32(w, p.race_id);
        write_i32(w, p.slot);
        write_cut(w, p.text.data(), p.text.size());
        break;
    case sp_start:
        write_i32(w, p.race_id);
        write_i32(w, p.start_position);
        write_cut(w, p.text.data(), p.text.size());
        break;
    case sp_time_sync:
        write_i32(w, p.race_id);
        write_i32(w, p.server_tic);
        write_i32(w, p.echoed_tic);
        break;
    case sp_states: {
        int n = std::clamp(p.record_count, 0, max_state_records);
        write_i32(w, p.race_id);
        write_i32(w, p.server_tic);
        write_i32(w, p.echoed_tic);
        write_i32(w, n);
        for (int i = 0; i < n; i++) {
            const state_record& s = p.records[(size_t)i];
            write_u16(w, (uint16_t)std::clamp(s.slot, 0, 65535));
            write_u16(w, (uint16_t)std::clamp(s.round_trip, 0, 65535));
            write_i32(w, s.tic);
            write_bytes(w, s.state.data(), s.state.size());
        }
        break;
    }
    case sp_ignored:
        write_i32(w, p.value);
        break;
    case sp_restart:
        write_i32(w, p.race_id);
        break;
    case sp_error:
        write_cut(w, p.text.data(), p.text.size());
        break;
    case sp_reliable:
        write_i32(w, p.sequence);
        write_u8(w, p.message_type);
        write_cut(w, p.payload.data(), p.payload.size());
        break;
    case sp_ack:
        write_i32(w, p.sequence);
        break;
    case sp_redirect:
        write_u32(w, p.client_token);
        write_cut(w, p.text.data(), std::min(p.text.size(), max_redirect_address));
        break;
    default:  // server full, disconnected: the type alone
        break;
    }
    out.size = w.size;
    return true;
}

bool decode_server_packet(const uint8_t* bytes, size_t size, server_packet& p) {
    p.type = sp_server_full;
    p.slot = net_no_slot;
    p.start_position = net_no_slot;
    p.record_count = 0;
    p.records_short = false;
    p.text.clear();
    p.payload.clear();
    if (size < 1) return false;
    size = std::min(size, (size_t)max_datagram);
    byte_reader r = make_reader(bytes, size);
    p.type = read_u8(r);
    size_t min = server_packet_min_size(p.type);
    if (!min || size < min) return false;
    switch (p.type) {
    case sp_welcome:
        p.slot = read_i32(r);
        p.connection_id = read_i32(r);
        p.protocol = read_i32(r);
        if (!slot_or_none(p.slot)) return false;
        break;
    case sp_race_info:
        p.race_id = read_i32(r);
        p.time_limit = read_i32(r);
        p.laps = read_i32(r);
        p.gate_drop = read_i32(r);
        read_bytes(r, p.digest.data(), p.digest.size());
        p.text = read_text_to_end(r, max_track_name);
        break;
    case sp_slot_info:
        p.race_id = read_i32(r);
        p.slot = read_i32(r);
        if (!real_slot(p.slot)) return false;
        p.text = read_text_to_end(r, max_datagram);
        break;
    case sp_start:
        p.race_id = read_i32(r);
        p.start_position = read_i32(r);
        if (!slot_or_none(p.start_position)) return false;
        p.text = read_text_to_end(r, max_datagram);
        break;
    case sp_time_sync:
        p.race_id = read_i32(r);
        p.server_tic = read_i32(r);
        p.echoed_tic = read_i32(r);
        break;
    case sp_states: {
        p.race_id = read_i32(r);
        p.server_tic = read_i32(r);
        p.echoed_tic = read_i32(r);
        int32_t count = read_i32(r);
        if (count < 0) return false;
        size_t whole = bytes_left(r) / 47;
        if ((size_t)count > whole) p.records_short = true;
        size_t n = std::min({(size_t)count, whole, (size_t)max_state_records});
        for (size_t i = 0; i < n; i++) {
            state_record& s = p.records[(size_t)p.record_count];
            s.slot = read_u16(r);
            s.round_trip = read_u16(r);
            s.tic = read_i32(r);
            read_bytes(r, s.state.data(), s.state.size());
            if (real_slot(s.slot)) p.record_count++;
        }
        break;
    }
    case sp_ignored:
        p.value = read_i32(r);
        break;
    case sp_restart:
        p.race_id = read_i32(r);
        break;
    case sp_error:
        p.text = read_text_to_end(r, max_datagram);
        break;
    case sp_reliable:
        p.sequence = read_i32(r);
        p.message_type = read_u8(r);
        p.payload = read_payload_to_end(r);
        break;
    case sp_ack:
        p.sequence = read_i32(r);
        break;
    case sp_redirect:
        p.client_token = read_u32(r);
        p.text = read_text_to_end(r, max_redirect_address);
        break;
    default:
        break;
    }
    return !r.overrun;
}

std::string client_info_text(const rider_info& info, size_t max_chars) {
    std::string number = info.number.substr(0, max_rider_number);
    std::string name = info.name.substr(0, max_rider_name);
    std::string text = info.model + "|" + info.riding_gear + "|" + info.bike_graphics + "|" +
                       info.wheel_graphics + "|" + info.helmet + "\n" + number + "\n" + name;
    if (text.size() <= max_chars) return text;
    text = info.model + "\n" + number + "\n" + name;
    if (text.size() > max_chars) text.resize(max_chars);
    return text;
}

rider_info parse_rider_info(std::string_view text) {
    rider_info info;
    size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    size_t lf = text.find('\n');
    std::string_view first = text.substr(0, lf);
    std::string* fields[5] = {&info.model, &info.riding_gear, &info.bike_graphics, &info.wheel_graphics,
                              &info.helmet};
    for (int i = 0; i < 5; i++) {
        size_t bar = first.find('|');
        *fields[i] = std::string(first.substr(0, std::min(bar, max_rider_field)));
        if (bar == std::string_view::npos) break;
        first = first.substr(bar + 1);
    }
    if (lf == std::string_view::npos) return info;
    std::string_view rest = text.substr(lf + 1);
    size_t lf2 = rest.find('\n');
    std::string_view second = rest.substr(0, lf2);
    info.number = std::string(second.substr(0, max_rider_number));
    if (lf2 == std::string_view::npos) return info;
    std::string_view third = rest.substr(lf2 + 1);
    info.name = std::string(third.substr(0, std::min(third.find('\n'), max_rider_name)));
    return info;
}

std::array<uint8_t, 4> password_proof(std::string_view password, int32_t connection_id) {
    ripemd160_ctx ctx;
    ripemd160_init(&ctx);
    ripemd160_update(&ctx, password.size(), (const uint8_t*)password.data());
    uint32_t id = (uint32_t)connection_id;
    uint8_t le[4] = {(uint8_t)id, (uint8_t)(id >> 8), (uint8_t)(id >> 16), (uint8_t)(id >> 24)};
    ripemd160_update(&ctx, 4, le);
    uint8_t digest[RIPEMD160_DIGEST_SIZE];
    ripemd160_digest(&ctx, sizeof digest, digest);
    return {digest[3], digest[2], digest[1], digest[0]};
}
