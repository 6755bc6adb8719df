// A race server in the test's process on a real loopback UDP socket, with
// scripted clients, all driven by one simulated clock.
#pragma once

#include <functional>
#include <memory>

#include "script_client.h"
#include "server.h"
#include "testkit/testkit.h"

// Rabbit Hill's shape for the finish rule: 5 positions to the first finish
// line, 4 per lap after it.
inline server_track test_track() {
    server_track t;
    t.dir = "rabbithill";
    for (size_t i = 0; i < t.digest.size(); i++) t.digest[i] = (uint8_t)(0xa0 + i);
    t.first_lap = 5;
    t.normal_lap = 4;
    return t;
}

struct server_rig {
    temp_dir folder;
    std::unique_ptr<race_server> s = std::make_unique<race_server>();
    int port = 0;
    double now = 1000;
    std::vector<std::unique_ptr<script_client>> clients;

    explicit server_rig(server_config c = {}) {
        c.upload_dir = folder.path + "/uploads";
        int sock = net_open(0);
        port = net_local_port(sock);
        s->quiet = true;
        server_init(*s, c, test_track(), sock, 1234);
    }
    ~server_rig() {
        for (auto& c : clients) script_close(*c);
        server_free(*s);
        net_close(s->socket);
    }
    script_client& add(const std::string& name, uint32_t token) {
        clients.push_back(std::make_unique<script_client>());
        script_open(*clients.back(), port, token, name);
        return *clients.back();
    }
    // One tic of everyone.
    void step(double dt = 1.0 / 128) {
        now += dt;
        server_poll(*s, now);
        server_tick(*s, now);
        for (auto& c : clients) script_tick(*c, now);
        server_poll(*s, now);
    }
    bool run_until(const std::function<bool()>& done, double seconds) {
        for (double end = now + seconds; now < end;) {
            if (done()) return true;
            step();
        }
        return done();
    }
};
