// What travels inside reliable datagrams: the message types, their
// payloads both ways, and the server's text commands (message 24).
// Payloads are untrusted like any datagram: counts, slots and gate indexes
// are range-checked before anything reaches a table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum reliable_message_type : uint8_t {
    msg_client_info = 3,  // client to server: the client info text
    msg_text = 19,        // both: a chat line / text to show
    msg_gates = 21,       // both: gates passed
    msg_command = 24,     // both: a command text
    msg_deformation = 27, // both: race id and a terrain deformation record
};

constexpr int net_max_gates = 256;
constexpr size_t reliable_payload_max = 466;

// One gate crossing. From the client the slot is its own (not carried).
struct gate_record {
    int32_t slot = 0;
    int32_t gate = 0;
    int32_t tic = 0;
};

// Message 21 from the client: the gate its rider just passed.
std::vector<uint8_t> encode_gate_passed(int32_t race_id, int32_t gate, int32_t tic);
// False when short or the gate index is outside 0..255.
bool decode_gate_passed(const uint8_t* payload, size_t size, int32_t& race_id, gate_record& g);

// Message 21 from the server: crossings of several riders. The encoder
// writes as many records as fit the payload limit.
std::vector<uint8_t> encode_gate_table(int32_t race_id, const std::vector<gate_record>& records);
// False when short or the count is negative. Records beyond the payload are
// missing (short is set); records whose slot is outside 0..159 or whose
// gate is outside 0..255 are left out.
bool decode_gate_table(const uint8_t* payload, size_t size, int32_t& race_id, std::vector<gate_record>& records,
                       bool& short_records);

// Message 27: the race id, then the deformation record as it is.
std::vector<uint8_t> encode_deformation(int32_t race_id, const uint8_t* record, size_t size);
bool decode_deformation(const uint8_t* payload, size_t size, int32_t& race_id, std::vector<uint8_t>& record);

// Messages 3, 19 and 24 carry text: it ends at the first NUL or with the
// payload, and is cut to the payload limit.
std::string decode_message_text(const uint8_t* payload, size_t size);

// The server's commands (message 24), matched in this order.
enum class server_command_kind {
    none,            // not a command: ignored
    no_arcade,
    off_course_bias,
    off_course_scale,
    knockout,
    erode,
    erode_malformed,  // "erode" with fewer than two numbers
    send_ready,
    send_denied,
};

constexpr int net_knockout_entries = 16;
constexpr int net_knockout_max = 460800;
constexpr double net_default_off_course_bias = 10;
constexpr double net_default_off_course_scale = 1.5;

struct server_command {
    server_command_kind kind = server_command_kind::none;
    double value = 0;                          // off-course bias or scale
    std::array<int32_t, net_knockout_entries> knockout{};
    int32_t race = 0, rate = 0;                // erode
};

server_command parse_server_command(std::string_view text);

// What an erode command does to the current erosion rate.
struct erode_effect {
    bool set = false;          // the rate becomes `rate`
    int32_t rate = 0;
    bool record = false;       // write "erode %d" to a demo being recorded
    bool track_modified = false;
};
erode_effect erode_command_effect(const server_command& c, int32_t race_id, int32_t current_rate);
