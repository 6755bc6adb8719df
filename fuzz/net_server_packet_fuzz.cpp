// What the client takes from the server: every datagram type through its
// decoder, and the payloads of reliable messages through theirs.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "net/messages.h"
#include "net/packets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static server_packet p;
    if (!decode_server_packet(data, size, p)) return 0;
    if (p.record_count < 0 || p.record_count > max_state_records) abort();
    for (int i = 0; i < p.record_count; i++)
        if (p.records[(size_t)i].slot < 0 || p.records[(size_t)i].slot >= net_slot_count) abort();
    if (p.type == sp_welcome && (p.slot < 0 || p.slot > net_no_slot)) abort();
    if (p.type == sp_slot_info) parse_rider_info(p.text);
    if (p.type == sp_reliable) {
        int32_t race = 0;
        std::vector<gate_record> gates;
        bool short_records = false;
        if (decode_gate_table(p.payload.data(), p.payload.size(), race, gates, short_records))
            for (const gate_record& g : gates)
                if (g.slot < 0 || g.slot >= net_slot_count || g.gate < 0 || g.gate >= net_max_gates) abort();
        std::vector<uint8_t> record;
        decode_deformation(p.payload.data(), p.payload.size(), race, record);
        parse_server_command(decode_message_text(p.payload.data(), p.payload.size()));
    }
    datagram d;
    encode_server_packet(p, d);
    return 0;
}
