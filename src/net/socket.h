// One non-blocking IPv4 UDP socket to the race server, the simulated lag
// and loss on the receiving side, and the link that ties them together and
// keeps only what comes from the server's address.
//
// The datagram transport is a small driver table so tests can run a link
// over memory; left empty, the POSIX socket calls below are used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/random.h"

struct net_address {
    uint32_t host = 0;  // IPv4, host byte order
    uint16_t port = 0;
};
inline bool operator==(const net_address& a, const net_address& b) { return a.host == b.host && a.port == b.port; }

// "host" or "host:port" (the text after the last colon is the port when it
// is a number in 1..65535; otherwise the whole text is the host name).
bool net_resolve(const char* text, int default_port, net_address& out);
// A new non-blocking UDP socket, or -1. `port` 0 binds any local port.
int net_open(int port = 0);
// Bytes sent, or -1 (the error is kept for net_error_name).
int net_send(int socket, const void* bytes, size_t size, const net_address& to);
// One datagram's length (cut to `size`), or -1 when there is none or on an
// error. Would-block and interruption are not errors.
int net_receive(int socket, void* buffer, size_t size, net_address* from);
void net_close(int socket);
// The last real socket error's name ("ECONNRESET", or its number when it
// has no name), or null when the last call had none.
const char* net_error_name();
// The local port a socket is bound to (0 on failure).
int net_local_port(int socket);

struct net_transport {
    int (*send)(int socket, const void* bytes, size_t size, const net_address& to) = nullptr;
    int (*receive)(int socket, void* buffer, size_t size, net_address* from) = nullptr;
};
extern net_transport net_driver;

// Simulated lag and loss, on receiving only.
constexpr size_t fake_queue_limit = 1024;

struct fake_datagram {
    double arrival = 0;
    net_address from;
    std::vector<uint8_t> bytes;
};

struct fake_network {
    double delay = 0;   // seconds, 0..1
    int loss = 0;       // percent, 0..100
    random_state random;
    std::deque<fake_datagram> queue;
};

// Sets the delay from milliseconds and the loss from a percentage (both
// clamped) and empties the queue.
void fake_network_set(fake_network& f, double lag_ms, int loss_percent);
inline bool fake_network_active(const fake_network& f) { return f.delay > 0 || f.loss > 0; }
// Whether a datagram arriving now is lost: a uniform 0..32767 below
// loss × 32768 / 100, so that 100 % loses everything.
bool fake_network_drops(fake_network& f);

// A connection to one server.
struct net_link {
    int socket = -1;
    net_address server;
    fake_network fake;
};

bool net_link_open(net_link& l, const char* address_text, int default_port);
void net_link_close(net_link& l);
int net_link_send(net_link& l, const void* bytes, size_t size);
// The next datagram from the server into buffer (at most `size` bytes) at
// time `now`, through the simulated lag and loss when they are on; -1 when
// none is due. Datagrams from any other address are dropped.
int net_link_receive(net_link& l, void* buffer, size_t size, double now);
