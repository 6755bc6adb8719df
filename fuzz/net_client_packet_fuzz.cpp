// What the race server takes from a client: every datagram type through its
// decoder, re-encoded, and the gate message a client sends.
#include <cstdint>
#include <cstdlib>

#include "net/messages.h"
#include "net/packets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    client_packet p;
    if (!decode_client_packet(data, size, p)) return 0;
    if (p.type != cp_contact && (p.slot < 0 || p.slot > net_no_slot)) abort();
    if (p.type == cp_client_info) parse_rider_info(p.text);
    if (p.type == cp_reliable) {
        int32_t race = 0;
        gate_record g;
        if (decode_gate_passed(p.payload.data(), p.payload.size(), race, g) && (g.gate < 0 || g.gate >= net_max_gates))
            abort();
    }
    datagram d;
    encode_client_packet(p, d);
    return 0;
}
