// The race server's receive path over arbitrary datagrams from a handful of
// addresses, with the clock moving on between them: the decoders, the
// handshake, the reliable layer and what it delivers (chat, gates, strokes,
// uploads into a scratch folder), the relay and the race rules.
//
// Input: records of [address byte][length byte][bytes...][time byte]. When
// the address byte's top bit is set, bytes 1..8 of the datagram are
// replaced by the slot and connection id the server gave that address, so
// that the fuzzer gets past the identity check.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "server.h"

namespace {

int fake_send(int, const void*, size_t size, const net_address&) { return (int)size; }

void put32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; i++) at[i] = (uint8_t)(v >> (8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string folder = [] {
        char dir[] = "/tmp/qxserverfuzz.XXXXXX";
        return std::string(mkdtemp(dir) ? dir : "/tmp");
    }();
    static race_server* s = new race_server;
    net_driver.send = fake_send;
    server_config c;
    c.upload_dir = folder + "/uploads";
    c.upload_max_kb = 4;
    c.gate_delay = 0.5;
    c.restart_delay = 0.5;
    c.finish_wait = 1;
    c.laps = 2;
    c.max_packet_rate = 200;
    server_track t;
    t.dir = "rabbithill";
    t.first_lap = 3;
    t.normal_lap = 2;
    s->quiet = true;
    server_init(*s, c, t, -1, 7);

    double now = 100;
    size_t at = 0;
    while (at + 2 <= size) {
        uint8_t who = data[at++];
        size_t n = data[at++];
        if (who & 0x40) n = n * 4 + 3;  // room for long datagrams too
        n = std::min(n, size - at);
        uint8_t bytes[max_datagram + 16] = {};
        size_t len = std::min(n, sizeof bytes);
        std::copy(data + at, data + at + len, bytes);
        at += n;
        net_address from{0x0a000001u + (uint32_t)(who & 3), (uint16_t)(4000 + ((who >> 2) & 3))};
        if ((who & 0x80) && len >= 9) {
            for (int slot = 0; slot < net_slot_count; slot++) {
                const server_client& k = s->clients[(size_t)slot];
                if (k.used && k.address == from) {
                    put32(bytes + 1, (uint32_t)slot);
                    put32(bytes + 5, (uint32_t)k.connection_id);
                    break;
                }
            }
        }
        server_receive(*s, from, bytes, len, now);
        if (at < size) now += data[at++] / 64.0;
        server_tick(*s, now);
    }
    server_tick(*s, now + 20);  // everyone times out
    server_free(*s);
    net_driver = net_transport{};
    return 0;
}
