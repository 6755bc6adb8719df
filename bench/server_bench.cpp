// The race server's work for a field of racing clients at the client's
// cadence: every client's state packet every 4 tics in, the states packets
// out, the tick at 128 Hz. One iteration is one second of racing; the
// counters give the time per client per second of play (its CPU share).
#include <benchmark/benchmark.h>

#include <time.h>

#include <map>

#include "server.h"

namespace {

struct seen {
    server_packet last;
    int32_t slot = net_no_slot, connection_id = 0, race_id = 0;
};
std::map<uint32_t, seen> g_seen;  // by host
uint64_t g_sent_bytes = 0;

int capture_send(int, const void* bytes, size_t size, const net_address& to) {
    g_sent_bytes += size;
    seen& s = g_seen[to.host];
    if (decode_server_packet((const uint8_t*)bytes, size, s.last)) {
        if (s.last.type == sp_welcome) s.slot = s.last.slot, s.connection_id = s.last.connection_id;
        if (s.last.type == sp_race_info) s.race_id = s.last.race_id;
    }
    return (int)size;
}

void send_to(race_server& s, const net_address& from, const client_packet& p, double now) {
    datagram d;
    encode_client_packet(p, d);
    server_receive(s, from, d.bytes.data(), d.size, now);
}

// A long race for a full field that nobody waits for: no restarts while the
// clients join.
server_config bench_config() {
    server_config c;
    c.gate_delay = 0;
    c.max_riders = 160;
    c.finish_wait = 1e6;
    return c;
}

server_track bench_track() {
    server_track t;
    t.dir = "rabbithill";
    t.first_lap = 30;
    t.normal_lap = 30;
    return t;
}

void BM_ServerRacingClients(benchmark::State& state) {
    const int clients = (int)state.range(0);
    net_driver.send = capture_send;
    g_seen.clear();
    static race_server s;
    server_config c = bench_config();
    s.quiet = true;
    server_init(s, c, bench_track(), -1, 5);
    double now = 10;
    std::vector<net_address> address;
    for (int i = 0; i < clients; i++) {
        net_address a{0x0a000001u + (uint32_t)i, 5000};
        address.push_back(a);
        client_packet p;
        p.type = cp_contact;
        p.client_token = (uint32_t)i;
        send_to(s, a, p, now);
        seen& k = g_seen[a.host];
        p.slot = k.slot;
        p.connection_id = k.connection_id;
        p.type = cp_client_info;
        p.text = "YZ250||||\n" + std::to_string(i) + "\nRider " + std::to_string(i);
        send_to(s, a, p, now);
        p.race_id = k.race_id;
        p.type = cp_track_ack;
        send_to(s, a, p, now);
        while (k.last.type == sp_slot_info) {
            p.type = cp_slot_ack;
            p.last_slot = k.last.slot;
            send_to(s, a, p, now);
        }
        p.type = cp_start_ack;
        send_to(s, a, p, now);
    }
    if (server_client_count(s) != clients) state.SkipWithError("not every client joined");
    compact_state bike{};
    for (size_t i = 0; i < bike.size(); i++) bike[i] = (uint8_t)i;
    g_sent_bytes = 0;
    int64_t seconds = 0;
    for (auto _ : state) {
        for (int tic = 0; tic < 128; tic++) {
            now += 1.0 / 128;
            if (tic % 4 == 0)
                for (int i = 0; i < clients; i++) {
                    const seen& k = g_seen[address[(size_t)i].host];
                    client_packet p;
                    p.type = cp_state;
                    p.slot = k.slot;
                    p.connection_id = k.connection_id;
                    p.race_id = k.race_id;
                    p.server_tic = s.race_tic;
                    p.local_tic = s.race_tic + 1;
                    p.state = bike;
                    send_to(s, address[(size_t)i], p, now);
                }
            server_tick(s, now);
        }
        seconds++;
    }
    if (server_client_count(s) != clients) state.SkipWithError("clients were dropped");
    state.counters["clients"] = clients;
    // Per client per second of racing: the share of one core it takes.
    state.counters["cpu_per_client"] =
        benchmark::Counter((double)seconds * clients, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["out_kB_per_s"] = (double)g_sent_bytes / 1024 / (double)std::max<int64_t>(seconds, 1);
    server_free(s);
    net_driver = net_transport{};
}
BENCHMARK(BM_ServerRacingClients)->Arg(2)->Arg(16)->Arg(40)->Unit(benchmark::kMillisecond);

double thread_cpu() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

// The same field over real loopback sockets: the time counted is the
// server's own (its reads, its work and its sends), measured as thread CPU
// time around server_poll and server_tick; the clients' sends and reads
// are left out.
void BM_ServerOverLoopback(benchmark::State& state) {
    const int clients = (int)state.range(0);
    static race_server s;
    server_config c = bench_config();
    c.max_per_host = 160;
    s.quiet = true;
    int server_socket = net_open(0);
    net_address server{0x7f000001, (uint16_t)net_local_port(server_socket)};
    server_init(s, c, bench_track(), server_socket, 9);
    struct fake_client {
        int socket;
        server_packet last;
        int32_t slot = 0, id = 0, race = 0;
    };
    std::vector<fake_client> field((size_t)clients);
    double now = 10;
    uint8_t buf[max_datagram];
    auto drain = [&](fake_client& k) {
        int n;
        while ((n = net_receive(k.socket, buf, sizeof buf, nullptr)) >= 0)
            if (decode_server_packet(buf, (size_t)n, k.last)) {
                if (k.last.type == sp_welcome) k.slot = k.last.slot, k.id = k.last.connection_id;
                if (k.last.type == sp_race_info) k.race = k.last.race_id;
            }
    };
    auto send = [&](fake_client& k, client_packet p) {
        p.slot = k.slot;
        p.connection_id = k.id;
        p.race_id = k.race;
        datagram d;
        encode_client_packet(p, d);
        net_send(k.socket, d.bytes.data(), d.size, server);
        server_poll(s, now);
        drain(k);
    };
    for (int i = 0; i < clients; i++) {
        fake_client& k = field[(size_t)i];
        k.socket = net_open(0);
        client_packet p;
        p.type = cp_contact;
        p.client_token = (uint32_t)i + 1;
        send(k, p);
        p.type = cp_client_info;
        p.text = "YZ250||||\n" + std::to_string(i) + "\nRider";
        send(k, p);
        p.type = cp_track_ack;
        send(k, p);
        while (k.last.type == sp_slot_info) {
            p.type = cp_slot_ack;
            p.last_slot = k.last.slot;
            send(k, p);
        }
        p.type = cp_start_ack;
        send(k, p);
    }
    if (server_client_count(s) != clients) state.SkipWithError("not every client joined");
    int64_t seconds = 0;
    for (auto _ : state) {
        double server_time = 0;
        for (int tic = 0; tic < 128; tic++) {
            now += 1.0 / 128;
            if (tic % 4 == 0)
                for (fake_client& k : field) {
                    client_packet p;
                    p.type = cp_state;
                    p.slot = k.slot;
                    p.connection_id = k.id;
                    p.race_id = k.race;
                    p.server_tic = s.race_tic;
                    p.local_tic = s.race_tic + 1;
                    datagram d;
                    encode_client_packet(p, d);
                    net_send(k.socket, d.bytes.data(), d.size, server);
                }
            double t0 = thread_cpu();
            server_poll(s, now);
            server_tick(s, now);
            server_time += thread_cpu() - t0;
            for (fake_client& k : field) drain(k);
        }
        state.SetIterationTime(server_time);
        seconds++;
    }
    if (server_client_count(s) != clients) state.SkipWithError("clients were dropped");
    state.counters["clients"] = clients;
    state.counters["cpu_per_client"] =
        benchmark::Counter((double)seconds * clients, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    server_free(s);
    for (fake_client& k : field) net_close(k.socket);
    net_close(server_socket);
}
BENCHMARK(BM_ServerOverLoopback)->Arg(40)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
