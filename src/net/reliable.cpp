#include "net/reliable.h"

#include <algorithm>

reliable_message& reliable_new(reliable_sender& s, uint8_t message_type) {
    reliable_message& m = s.queue.emplace_back();
    m.sequence = s.next_sequence++;
    m.message_type = message_type;
    return m;
}

void reliable_append(reliable_message& m, const void* bytes, size_t size) {
    size_t room = reliable_payload_max - std::min(m.payload.size(), reliable_payload_max);
    const uint8_t* p = (const uint8_t*)bytes;
    m.payload.insert(m.payload.end(), p, p + std::min(size, room));
}

const reliable_message* reliable_due(reliable_sender& s, double now) {
    if (s.queue.empty()) return nullptr;
    reliable_message& head = s.queue.front();
    if (now <= head.resend_time) return nullptr;
    head.resend_time = now + reliable_resend_interval;
    return &head;
}

bool reliable_acknowledged(reliable_sender& s, int32_t sequence) {
    if (s.queue.empty() || s.queue.front().sequence != sequence) return false;
    s.queue.pop_front();
    return true;
}

void reliable_reset(reliable_sender& s) {
    s.queue.clear();
    s.next_sequence = 0;
}

bool reliable_receive(reliable_receiver& r, int32_t sequence, uint8_t message_type, const uint8_t* payload,
                      size_t size, reliable_deliver_fn deliver, void* context) {
    int64_t ahead = (int64_t)sequence - (int64_t)r.next_expected;
    if (ahead < 0) return true;  // a duplicate: acknowledged again, not delivered
    if (ahead > reliable_window) return false;
    if (ahead > 0) {
        if (!r.held.count(sequence)) {
            reliable_message& m = r.held[sequence];
            m.sequence = sequence;
            m.message_type = message_type;
            m.payload.assign(payload, payload + size);
        }
        return true;
    }
    reliable_message now;
    now.sequence = sequence;
    now.message_type = message_type;
    now.payload.assign(payload, payload + size);
    r.next_expected++;
    if (deliver) deliver(context, now);
    while (!r.held.empty() && r.held.begin()->first <= r.next_expected) {
        auto it = r.held.begin();
        reliable_message m = std::move(it->second);
        r.held.erase(it);
        if (m.sequence < r.next_expected) continue;  // already passed
        r.next_expected++;
        if (deliver) deliver(context, m);
    }
    return true;
}

void reliable_reset(reliable_receiver& r) {
    r.next_expected = 0;
    r.held.clear();
}
