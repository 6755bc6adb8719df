// Reliable messages over datagrams, each message alone in its own
// datagram with its own sequence number.
//
// Sending is stop-and-wait: messages queue in the order they are made and
// only the head is transmitted, again every 0.5 s until the peer
// acknowledges its number. Receiving acknowledges every message (duplicates
// too), delivers them in sequence order exactly once, and holds messages
// that arrive early in a bounded reorder buffer.
//
// Neither side reads a clock: the caller passes the time in seconds. The
// code is the same on the client and on the race server; each encodes the
// datagram with its own header when it sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "net/messages.h"

constexpr double reliable_resend_interval = 0.5;
// Messages more than this far ahead of the expected one are not held (nor
// acknowledged, so the peer sends them again later).
constexpr int32_t reliable_window = 256;

struct reliable_message {
    int32_t sequence = 0;
    uint8_t message_type = 0;
    std::vector<uint8_t> payload;  // at most reliable_payload_max bytes
    double resend_time = 0;        // 0: send at the next tick
};

struct reliable_sender {
    std::deque<reliable_message> queue;
    int32_t next_sequence = 0;
};

// Queues a new message with the next sequence number; the caller appends
// the payload with reliable_append (or fills it directly).
reliable_message& reliable_new(reliable_sender& s, uint8_t message_type);
// Appends bytes to the message, cut to the payload limit.
void reliable_append(reliable_message& m, const void* bytes, size_t size);
// The head of the queue when it is due at `now` (its resend time is then
// moved on by 0.5 s and the caller sends it), else null.
const reliable_message* reliable_due(reliable_sender& s, double now);
// The peer acknowledged `sequence`: the head is removed when it matches.
bool reliable_acknowledged(reliable_sender& s, int32_t sequence);
// Empties the queue and restarts the numbering at 0 (each contact).
void reliable_reset(reliable_sender& s);

struct reliable_receiver {
    int32_t next_expected = 0;
    std::map<int32_t, reliable_message> held;  // early messages, by number
};

// Called for each message delivered in order.
using reliable_deliver_fn = void (*)(void* context, const reliable_message& m);

// One received reliable message. Returns true when it is to be
// acknowledged (everything within the window, duplicates included); the
// message and any held ones that follow it are delivered in order.
bool reliable_receive(reliable_receiver& r, int32_t sequence, uint8_t message_type, const uint8_t* payload,
                      size_t size, reliable_deliver_fn deliver, void* context);
void reliable_reset(reliable_receiver& r);
