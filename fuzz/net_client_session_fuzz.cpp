// A whole connection fed from the fuzzer: the input is split into datagrams
// (a length byte, then that many bytes) that a server in memory sends the
// client, tic after tic, from the first contact on. The client's tables must
// stay in range whatever arrives.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "net/client.h"
#include "net/net.h"

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0, g_at = 0;
double g_clock = 0;

int receive(int, void* buffer, size_t size, net_address* from) {
    if (g_at >= g_size) return -1;
    size_t n = g_data[g_at++];
    n = std::min(n, g_size - g_at);
    n = std::min(n, size);
    memcpy(buffer, g_data + g_at, n);
    g_at += n;
    if (from) *from = net_address{1, 19800};
    return (int)n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    net_driver.send = [](int, const void*, size_t size, const net_address&) { return (int)size; };
    net_driver.receive = receive;
    client_system.now = [] { return g_clock; };
    client_system.calendar = [] { return 0u; };
    client_system.resolve = [](const char*, int, net_address& out) { return out = net_address{1, 19800}, true; };
    client_system.open = [] { return 7; };
    client_system.close = [](int) {};
    client_game.has_track = [](const char*) { return true; };
    // A digest of zeros, so that a session can get past the start.
    client_game.track_digest = [](std::array<uint8_t, 20>& out) {
        out.fill(0);
        return true;
    };
    client_game.slot_has_bike = [](int slot) {
        if (slot < 0 || slot >= 160) abort();
        return true;
    };
    client_game.own_state = [](int slot, compact_state& s) {
        if (slot < 0 || slot >= 160) abort();
        s = compact_state{};
        return true;
    };
    client_game.add_remote_state = [](int slot, const compact_state&, int) {
        if (slot < 0 || slot >= 160) abort();
    };
    client_game.remote_gate = [](int slot, int gate, int) {
        if (slot < 0 || slot >= 160 || gate < 0 || gate >= 256) abort();
    };
    client_init();
    g_data = data, g_size = size, g_at = 0, g_clock = 0;
    client_set_address("fuzz");
    for (int tic = 0; tic < 4096 && (g_at < g_size || tic < 2); tic++) {
        g_clock += 0.05;
        net_tick();
        if (!net_connected()) client_set_address("fuzz");
    }
    client_init();
    return 0;
}
