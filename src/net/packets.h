// The race server's datagrams, both ways: one record per direction holding
// the fields of every packet type, an encoder that writes a record as its
// little-endian bytes, and a decoder that reads received bytes back into a
// record. The client and the race server share this code; each decodes
// what the other encodes.
//
// Every received datagram is untrusted. A decoder checks the type's
// minimum length before reading any field, refuses slot numbers and
// positions outside their range, cuts texts to their limits (and at the
// first NUL), and returns false for anything it cannot accept; the record
// is then not to be used.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bike/compact_state.h"

constexpr int max_datagram = 1023;  // longer datagrams are cut to this
constexpr int net_slot_count = 160;
constexpr int net_no_slot = 160;  // "no slot" / "no position" / "none received"
constexpr int net_client_version = 40;
constexpr int net_server_protocol = 6;
constexpr int net_default_port = 19800;
constexpr int max_state_records = (max_datagram - 17) / 47;  // 21
constexpr size_t max_track_name = 255;
constexpr size_t max_redirect_address = 127;

struct datagram {
    std::array<uint8_t, max_datagram> bytes{};
    size_t size = 0;
};

// Packets the client sends.
enum client_packet_type : uint8_t {
    cp_contact = 0,
    cp_client_info = 3,
    cp_track_ack = 5,
    cp_slot_ack = 7,
    cp_start_ack = 9,
    cp_state = 11,
    cp_restart_request = 13,
    cp_restart_ack = 14,
    cp_disconnect = 15,
    cp_reliable = 17,
    cp_ack = 18,
};

// Packets the server sends.
enum server_packet_type : uint8_t {
    sp_server_full = 1,
    sp_welcome = 2,
    sp_race_info = 4,
    sp_slot_info = 6,
    sp_start = 8,
    sp_time_sync = 10,
    sp_states = 11,
    sp_ignored = 13,
    sp_restart = 14,
    sp_disconnected = 15,
    sp_error = 16,
    sp_reliable = 17,
    sp_ack = 18,
    sp_redirect = 25,
};

// One client datagram. Which fields mean something depends on the type:
//   contact: password_flag, version, client_token
//   client info: slot, connection_id, proof, client_token, text
//   track/start/restart acknowledgment: slot, connection_id, race_id
//   slot acknowledgment: ... race_id, last_slot
//   state: ... race_id, server_tic, local_tic, state
//   restart request: slot, connection_id (the value 1 is written for it)
//   disconnect: slot, connection_id
//   reliable: slot, connection_id, sequence, message_type, payload
//   acknowledgment: slot, connection_id, sequence
struct client_packet {
    uint8_t type = cp_contact;
    int32_t slot = net_no_slot;
    int32_t connection_id = 0;
    int32_t password_flag = 0;
    int32_t version = net_client_version;
    uint32_t client_token = 0;
    std::array<uint8_t, 4> proof{};
    int32_t race_id = 0;
    int32_t last_slot = net_no_slot;
    int32_t server_tic = 0;
    int32_t local_tic = 0;
    compact_state state{};
    int32_t sequence = 0;
    uint8_t message_type = 0;
    std::string text;
    std::vector<uint8_t> payload;
};

// One rider's state in a states packet.
struct state_record {
    int slot = 0;       // 0..159 after decoding
    int round_trip = 0; // tics, 0..65535
    int32_t tic = 0;
    compact_state state{};
};

// One server datagram:
//   welcome: slot (0..160), connection_id, protocol
//   race info: race_id, time_limit, laps, gate_drop, digest, text (track name)
//   slot info: race_id, slot (0..159), text (rider info)
//   start: race_id, start_position (0..160), text (the own rider info)
//   time sync: race_id, server_tic, echoed_tic
//   states: race_id, server_tic, echoed_tic, records; records_short when the
//     packet ended before its count; records naming a slot of 160 or more are
//     left out
//   (ignored, 13): value; restart: race_id
//   error: text; redirect: client_token, text (the address)
//   reliable: sequence, message_type, payload; acknowledgment: sequence
struct server_packet {
    uint8_t type = sp_server_full;
    int32_t slot = net_no_slot;
    int32_t connection_id = 0;
    int32_t protocol = net_server_protocol;
    int32_t race_id = 0;
    int32_t time_limit = 0;
    int32_t laps = 0;
    int32_t gate_drop = 0;
    std::array<uint8_t, 20> digest{};
    int32_t start_position = net_no_slot;
    int32_t server_tic = 0;
    int32_t echoed_tic = 0;
    int record_count = 0;
    std::array<state_record, max_state_records> records{};
    bool records_short = false;
    int32_t value = 0;
    int32_t sequence = 0;
    uint8_t message_type = 0;
    uint32_t client_token = 0;
    std::string text;
    std::vector<uint8_t> payload;
};

// Writes the packet's bytes; texts and payloads are cut to what fits.
// Returns false for a type this direction does not send.
bool encode_client_packet(const client_packet& p, datagram& out);
bool encode_server_packet(const server_packet& p, datagram& out);
// Reads a received datagram into p (reset first). False: too short for its
// type, a value out of range, or a type not sent in this direction.
bool decode_client_packet(const uint8_t* bytes, size_t size, client_packet& p);
bool decode_server_packet(const uint8_t* bytes, size_t size, server_packet& p);

// The shortest datagram of each type (0 for types not sent that way).
size_t client_packet_min_size(int type);
size_t server_packet_min_size(int type);

// The rider's choices as the info texts carry them.
struct rider_info {
    std::string model, riding_gear, bike_graphics, wheel_graphics, helmet;
    std::string number;  // at most 3 characters
    std::string name;    // at most 63 characters
};
constexpr size_t max_rider_number = 3;
constexpr size_t max_rider_name = 63;
constexpr size_t max_rider_field = 63;

// "model|gear|bike|wheels|helmet\nnumber\nname", or the short form
// "model\nnumber\nname" when the long one is over max_chars; the short one
// is cut to max_chars as a last resort.
std::string client_info_text(const rider_info& info, size_t max_chars);
// Splits a received info text (missing fields stay empty).
rider_info parse_rider_info(std::string_view text);

// The proof of the server password for packet 3: RIPEMD-160 over the
// password's characters and the connection id's 4 little-endian bytes;
// the packet carries digest bytes 3, 2, 1, 0.
std::array<uint8_t, 4> password_proof(std::string_view password, int32_t connection_id);
