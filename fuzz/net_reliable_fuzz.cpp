// The reliable layer's receive path: the input is a run of datagrams, each
// a length byte and its bytes, decoded and fed to one receiver. Delivery
// must stay in order and the reorder buffer within its bound.
#include <cstdint>
#include <cstdlib>

#include "net/packets.h"
#include "net/reliable.h"

namespace {
int32_t last_delivered;
void check(void*, const reliable_message& m) {
    if (m.sequence != last_delivered + 1) abort();
    last_delivered = m.sequence;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    reliable_receiver r;
    last_delivered = -1;
    server_packet p;
    size_t pos = 0;
    while (pos < size) {
        size_t n = data[pos++];
        if (n > size - pos) n = size - pos;
        if (decode_server_packet(data + pos, n, p) && p.type == sp_reliable)
            reliable_receive(r, p.sequence, p.message_type, p.payload.data(), p.payload.size(), check, nullptr);
        pos += n;
        if (r.held.size() > (size_t)reliable_window) abort();
    }
    return 0;
}
