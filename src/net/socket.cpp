#include "net/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "net/packets.h"

net_transport net_driver;

namespace {

char error_name[32];
bool has_error = false;

void keep_error(int e) {
    if (e == EAGAIN || e == EWOULDBLOCK || e == EINTR) {
        has_error = false;
        return;
    }
    const char* name = strerrorname_np(e);
    if (name)
        snprintf(error_name, sizeof error_name, "%s", name);
    else
        snprintf(error_name, sizeof error_name, "%d", e);
    has_error = true;
}

sockaddr_in to_sockaddr(const net_address& a) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(a.host);
    sa.sin_port = htons(a.port);
    return sa;
}

}  // namespace

bool net_resolve(const char* text, int default_port, net_address& out) {
    if (!text) return false;
    std::string host = text;
    int port = default_port;
    size_t colon = host.rfind(':');
    if (colon != std::string::npos) {
        const char* p = host.c_str() + colon + 1;
        char* end = nullptr;
        errno = 0;
        long v = strtol(p, &end, 10);
        if (*p && end && *end == 0 && errno == 0 && v > 0 && v <= 65535) {
            port = (int)v;
            host.resize(colon);
        }
    }
    if (host.empty() || port <= 0 || port > 65535) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    const sockaddr_in* sa = (const sockaddr_in*)found->ai_addr;
    out.host = ntohl(sa->sin_addr.s_addr);
    out.port = (uint16_t)port;
    freeaddrinfo(found);
    return true;
}

int net_open(int port) {
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) {
        keep_error(errno);
        return -1;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    sa.sin_port = htons((uint16_t)port);
    if (bind(s, (const sockaddr*)&sa, sizeof sa) != 0) {
        keep_error(errno);
        close(s);
        return -1;
    }
    return s;
}

int net_send(int socket, const void* bytes, size_t size, const net_address& to) {
    if (net_driver.send) return net_driver.send(socket, bytes, size, to);
    sockaddr_in sa = to_sockaddr(to);
    for (;;) {
        ssize_t n = sendto(socket, bytes, size, 0, (const sockaddr*)&sa, sizeof sa);
        if (n >= 0) {
            has_error = false;
            return (int)n;
        }
        if (errno == EINTR) continue;
        keep_error(errno);
        return -1;
    }
}

int net_receive(int socket, void* buffer, size_t size, net_address* from) {
    if (net_driver.receive) return net_driver.receive(socket, buffer, size, from);
    for (;;) {
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        ssize_t n = recvfrom(socket, buffer, size, 0, (sockaddr*)&sa, &len);
        if (n >= 0) {
            has_error = false;
            if (from) {
                from->host = ntohl(sa.sin_addr.s_addr);
                from->port = ntohs(sa.sin_port);
            }
            return (int)std::min((size_t)n, size);
        }
        if (errno == EINTR) continue;
        keep_error(errno);
        return -1;
    }
}

void net_close(int socket) {
    if (socket >= 0) close(socket);
}

const char* net_error_name() { return has_error ? error_name : nullptr; }

int net_local_port(int socket) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (getsockname(socket, (sockaddr*)&sa, &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

void fake_network_set(fake_network& f, double lag_ms, int loss_percent) {
    f.delay = std::clamp(lag_ms * 0.001, 0.0, 1.0);
    if (!(f.delay == f.delay)) f.delay = 0;  // NaN
    f.loss = std::clamp(loss_percent, 0, 100);
    f.queue.clear();
}

bool fake_network_drops(fake_network& f) {
    int r = (int)(next_u32(f.random) >> 17);  // 0..32767
    return r < f.loss * 32768 / 100;
}

bool net_link_open(net_link& l, const char* address_text, int default_port) {
    net_link_close(l);
    if (!net_resolve(address_text, default_port, l.server)) return false;
    l.socket = net_open();
    return l.socket >= 0;
}

void net_link_close(net_link& l) {
    if (l.socket >= 0) net_close(l.socket);
    l.socket = -1;
    l.fake.queue.clear();
}

int net_link_send(net_link& l, const void* bytes, size_t size) { return net_send(l.socket, bytes, size, l.server); }

int net_link_receive(net_link& l, void* buffer, size_t size, double now) {
    uint8_t raw[max_datagram];
    net_address from;
    if (!fake_network_active(l.fake)) {
        for (;;) {
            int n = net_receive(l.socket, raw, sizeof raw, &from);
            if (n < 0) return -1;
            if (!(from == l.server)) continue;
            size_t k = std::min((size_t)n, size);
            memcpy(buffer, raw, k);
            return (int)k;
        }
    }
    fake_network& f = l.fake;
    for (;;) {
        int n = net_receive(l.socket, raw, sizeof raw, &from);
        if (n < 0) break;
        if (!(from == l.server) || fake_network_drops(f)) continue;
        if (f.queue.size() >= fake_queue_limit) continue;
        f.queue.push_back({now, from, std::vector<uint8_t>(raw, raw + n)});
    }
    if (f.queue.empty() || f.queue.front().arrival + f.delay > now) return -1;
    fake_datagram d = std::move(f.queue.front());
    f.queue.pop_front();
    size_t k = std::min(d.bytes.size(), size);
    memcpy(buffer, d.bytes.data(), k);
    return (int)k;
}
