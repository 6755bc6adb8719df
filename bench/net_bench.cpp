// The network's per-tic work: encoding and decoding one states packet with
// 21 riders (a full datagram), the client's own state packet, and the
// reliable layer's receive path (decode, hold, deliver in order).
#include <benchmark/benchmark.h>

#include <string>

#include "net/packets.h"
#include "net/reliable.h"

namespace {

server_packet full_states() {
    server_packet p;
    p.type = sp_states;
    p.race_id = 9;
    p.server_tic = 12345;
    p.echoed_tic = 12300;
    p.record_count = max_state_records;
    for (int i = 0; i < max_state_records; i++) {
        state_record& r = p.records[(size_t)i];
        r.slot = i * 7;
        r.round_trip = 20 + i;
        r.tic = 12340 + i;
        for (size_t k = 0; k < r.state.size(); k++) r.state[k] = (uint8_t)(i * 31 + k);
    }
    return p;
}

void encode_states_21(benchmark::State& state) {
    server_packet p = full_states();
    datagram d;
    for (auto _ : state) {
        encode_server_packet(p, d);
        benchmark::DoNotOptimize(d.bytes.data());
    }
}
BENCHMARK(encode_states_21);

void decode_states_21(benchmark::State& state) {
    datagram d;
    encode_server_packet(full_states(), d);
    server_packet p;
    for (auto _ : state) {
        decode_server_packet(d.bytes.data(), d.size, p);
        benchmark::DoNotOptimize(p.records.data());
    }
}
BENCHMARK(decode_states_21);

void encode_decode_own_state(benchmark::State& state) {
    client_packet c;
    c.type = cp_state;
    c.slot = 3;
    c.connection_id = 77;
    c.race_id = 9;
    datagram d;
    client_packet back;
    for (auto _ : state) {
        c.local_tic++;
        encode_client_packet(c, d);
        decode_client_packet(d.bytes.data(), d.size, back);
        benchmark::DoNotOptimize(back.state.data());
    }
}
BENCHMARK(encode_decode_own_state);

int delivered_count = 0;
void count_delivered(void*, const reliable_message&) { delivered_count++; }

// One datagram per iteration: pairs arrive swapped (1, 0, 3, 2, ...), so
// half are held and delivered by the next; every one is decoded first.
void reliable_receive_path(benchmark::State& state) {
    std::vector<datagram> stream(1024);
    std::string text = "chat line from the server, a typical length of text";
    for (size_t i = 0; i < stream.size(); i++) {
        server_packet p;
        p.type = sp_reliable;
        p.sequence = (int32_t)(i ^ 1);
        p.message_type = 19;
        p.payload.assign(text.begin(), text.end());
        encode_server_packet(p, stream[i]);
    }
    reliable_receiver r;
    server_packet p;
    size_t i = 0;
    int32_t base = 0;
    for (auto _ : state) {
        const datagram& d = stream[i];
        decode_server_packet(d.bytes.data(), d.size, p);
        reliable_receive(r, p.sequence + base, p.message_type, p.payload.data(), p.payload.size(), count_delivered,
                         nullptr);
        if (++i == stream.size()) {
            i = 0;
            base += (int32_t)stream.size();
        }
    }
    benchmark::DoNotOptimize(delivered_count);
}
BENCHMARK(reliable_receive_path);

}  // namespace

BENCHMARK_MAIN();
