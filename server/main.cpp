// quarnix-server: the command line, the track, the socket and the loop.
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "server.h"
#include "track.h"
#include "track/digest.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void on_signal(int) { g_stop = 1; }

double now_seconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    server_config config;
    bool help = false;
    std::string errors;
    if (!parse_server_args(argc, argv, config, help, errors)) {
        fprintf(stderr, "quarnix-server: %s%s", errors.c_str(), "Try 'quarnix-server --help'.\n");
        return 2;
    }
    if (help) {
        fputs(server_usage, stdout);
        return 0;
    }
    server_track track;
    std::string error;
    if (!load_server_track(config.data_dir, config.track, track, error)) {
        fprintf(stderr, "quarnix-server: %s\n", error.c_str());
        return 1;
    }
    int socket = net_open(config.port);
    if (socket < 0) {
        const char* why = net_error_name();
        fprintf(stderr, "quarnix-server: can't open UDP port %d (%s)\n", config.port, why ? why : "unknown error");
        free_server_track();
        return 1;
    }
    signal(SIGINT, on_signal);
    signal(SIGTERM, on_signal);
    signal(SIGPIPE, SIG_IGN);

    static race_server server;
    server_init(server, config, track, socket, (uint32_t)time(nullptr) ^ (uint32_t)getpid());
    server_log(server, "listening on UDP port %d; track %s (digest %s, laps of %d+%d gates), %d laps", config.port,
               track.dir.c_str(), hex_digest(track.digest).c_str(), track.first_lap, track.normal_lap, config.laps);

    while (!g_stop) {
        pollfd p{socket, POLLIN, 0};
        poll(&p, 1, 2);  // wakes at least every 2 ms: the tic is 7.8 ms
        double now = now_seconds();
        server_poll(server, now);
        server_tick(server, now);
    }
    server_log(server, "shutting down");
    for (server_client& c : server.clients) {
        if (!c.used) continue;
        datagram d;
        server_packet bye;
        bye.type = sp_disconnected;
        if (encode_server_packet(bye, d)) net_send(socket, d.bytes.data(), d.size, c.address);
    }
    server_free(server);
    net_close(socket);
    free_server_track();
    return 0;
}
