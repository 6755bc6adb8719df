// An online race on the default track: a scripted server in memory walks
// the client through its handshake, the race is set up with the own rider
// and a remote one, and the remote bike is driven by the states the server
// relays, as the frame loop drives it (network tick, then the race tic).
#include <cstring>
#include <deque>

#include "bike/compact_state.h"
#include "core/config.h"
#include "demo/demo.h"
#include "demo/demo_file.h"
#include "demo/history.h"
#include "net/client.h"
#include "net/messages.h"
#include "net/net.h"
#include "net/online/client_parts.h"
#include "race/rabbit_hill_fixture.h"
#include "render/frame_draw.h"
#include "vfs/vfs.h"

namespace {

struct world {
    double clock = 50;
    std::deque<std::vector<uint8_t>> to_client;
    std::vector<client_packet> sent;
};
world W;
const net_address server{0x7f000001, 19800};

struct online_race : rabbit_hill {
    void SetUp() override {
        rabbit_hill::SetUp();
        W = world{};
        race_parts = {};
        frame_slots = {};
        fill_race_parts(track_parts, object_race, rider_parts);
        fill_demo_parts(race_parts, frame_slots);
        fill_client_parts(race_parts, frame_slots);
        net_driver.send = [](int, const void* bytes, size_t size, const net_address&) {
            client_packet p;
            if (decode_client_packet((const uint8_t*)bytes, size, p)) W.sent.push_back(p);
            return (int)size;
        };
        net_driver.receive = [](int, void* buffer, size_t size, net_address* from) {
            if (W.to_client.empty()) return -1;
            std::vector<uint8_t> d = std::move(W.to_client.front());
            W.to_client.pop_front();
            size_t n = std::min(size, d.size());
            memcpy(buffer, d.data(), n);
            if (from) *from = server;
            return (int)n;
        };
        client_system.now = [] { return W.clock; };
        client_system.resolve = [](const char*, int, net_address& out) { return out = server, true; };
        client_system.open = [] { return 5; };
        client_system.close = [](int) {};
        client_init();
    }
    void TearDown() override {
        client_init();
        net_driver = net_transport{};
        client_system = client_system_driver{};
        client_game = client_game_driver{};
        race_parts = {};
        frame_slots = {};
        rabbit_hill::TearDown();
    }
    static void serve(const server_packet& p) {
        datagram d;
        ASSERT_TRUE(encode_server_packet(p, d));
        W.to_client.emplace_back(d.bytes.begin(), d.bytes.begin() + (long)d.size);
    }
    static server_packet packet(uint8_t type) {
        server_packet p;
        p.type = type;
        p.race_id = 1;
        return p;
    }
    // The frame loop's order: the network, then the tic once the server's
    // clock has been heard.
    static void tic() {
        W.clock += 1.0 / 128;
        net_tick();
        if (net_server_tic_received() && track_loaded()) simulate_tic();
    }
    static void serve_message(int32_t sequence, uint8_t type, const std::vector<uint8_t>& payload) {
        server_packet p = packet(sp_reliable);
        p.sequence = sequence;
        p.message_type = type;
        p.payload = payload;
        serve(p);
    }
    // The handshake up to the start acknowledgment: the own rider in slot
    // 0, a remote one ("Faraway") in slot 1.
    static void join() {
        // The track's digest as the server would send it.
        ASSERT_TRUE(reset_race(lineup({slot_kind_human})));
        std::array<uint8_t, 20> digest = track_digest;
        client_set_address("localhost");
        tic();
        server_packet w = packet(sp_welcome);
        w.slot = 0;
        w.connection_id = 9;
        serve(w);
        tic();
        server_packet ri = packet(sp_race_info);
        ri.laps = 2;
        ri.gate_drop = 1280;
        ri.digest = digest;
        ri.text = "rabbithill";
        serve(ri);
        server_packet si = packet(sp_slot_info);
        si.slot = 1;
        si.text = "cr250\n77\nFaraway";
        serve(si);
        server_packet st = packet(sp_start);
        st.start_position = 0;
        st.text = "cr250\n42\nTester";
        serve(st);
        for (int i = 0; i < 3; i++) tic();
        ASSERT_EQ(client.state, client_start_acknowledged);
    }
};

}  // namespace

TEST_F(online_race, RemoteRiderFollowsTheRelayedStates) {
    join();
    EXPECT_TRUE(race.online);
    ASSERT_NE(bike_in_slot(0), nullptr);
    ASSERT_NE(bike_in_slot(1), nullptr);
    EXPECT_EQ(race_slots[0].type, local_slot);
    EXPECT_EQ(race_slots[1].type, replayed_slot);
    EXPECT_EQ(race_slots[1].name, "Faraway");
    EXPECT_EQ(race.gate_drop_tic, 1280);
    EXPECT_STREQ(net_rider_name(1), "Faraway");

    // The remote rider is relayed standing where the own bike stood; the
    // own bike moves out of its way and the replayed bike must go there.
    compact_state there = encode_state(*bike_in_slot(0));
    auto start = frame(1), own = frame(0);
    grid_place away = start_grid_place(3);
    drop_bike(*bike_in_slot(0), away.x, away.z, away.angle);
    double apart = std::hypot(start[0] - own[0], start[2] - own[2]);
    ASSERT_GT(apart, 1.0);
    int server_tic = 600;
    for (int i = 0; i < 256; i++) {
        if (i % 4 == 0) {
            server_packet s = packet(sp_states);
            s.server_tic = server_tic + i;
            s.record_count = 1;
            s.records[0].slot = 1;
            s.records[0].tic = server_tic + i - 8;
            s.records[0].state = there;
            serve(s);
        }
        tic();
    }
    ASSERT_EQ(client.state, client_racing);
    EXPECT_GE(race.tic, server_tic);
    auto now = frame(1);
    EXPECT_LT(std::hypot(now[0] - own[0], now[2] - own[2]), 0.5);
    EXPECT_FALSE(frame_slots.hidden(1));
    // The own rider's states go to the server every fourth tic.
    int states = 0;
    for (const client_packet& p : W.sent) states += p.type == cp_state;
    EXPECT_GT(states, 40);

    // No state for over a second: hidden (and silent), and it no longer
    // keeps the race open.
    for (int i = 0; i < 200; i++) {
        if (i % 4 == 0) {
            server_packet t = packet(sp_time_sync);
            t.server_tic = race.tic + 1;
            serve(t);
        }
        tic();
    }
    EXPECT_TRUE(frame_slots.hidden(1));
    EXPECT_TRUE(rider_exempt(1));
    EXPECT_FALSE(frame_slots.hidden(0));

    // Leaving for an offline race: the next reset is offline.
    net_disconnect();
    EXPECT_FALSE(net_connected());
    ASSERT_TRUE(reset_race(lineup({slot_kind_human})));
    EXPECT_FALSE(race.online);
}

TEST_F(online_race, RecordedOnlineRaceKeepsTheRemoteRiderAndTheServersRecords) {
    settings.record = 1;
    join();
    ASSERT_TRUE(recording_demo());
    compact_state there = encode_state(*bike_in_slot(1));
    int relayed = 0;
    for (int i = 0; i < 128; i++) {
        if (i % 4 == 0) {
            server_packet s = packet(sp_states);
            s.server_tic = 600 + i;
            s.record_count = 1;
            s.records[0].slot = 1;
            s.records[0].tic = 600 + i - 8;
            s.records[0].state = there;
            serve(s);
            relayed++;
        }
        if (i == 20) {
            const char* hello = "Faraway: hello";
            serve_message(0, msg_text, std::vector<uint8_t>(hello, hello + strlen(hello)));
            // The first erode only moves the rate off "not set"; the second
            // is a change and goes into the demo.
            for (int32_t k : {1, 2}) {
                const char* erode = "erode 1 0";
                serve_message(k, msg_command, std::vector<uint8_t>(erode, erode + strlen(erode)));
            }
            // Another race's deformation is not applied, but it is recorded.
            std::vector<uint8_t> stroke = encode_deformation(99, (const uint8_t*)"\x01\x02\x03", 3);
            serve_message(3, msg_deformation, stroke);
        }
        tic();
    }
    ASSERT_EQ(client.state, client_racing);
    net_disconnect();
    stop_recording();

    vfs_file* f = vfs_open("@demos/default.kvdemo", "rb");
    ASSERT_NE(f, nullptr);
    demo_header h;
    std::string error;
    ASSERT_TRUE(read_demo_header(f, h, error)) << error;
    ASSERT_EQ(h.riders.size(), 2u);
    EXPECT_EQ(h.riders[0].name, "Tester");
    EXPECT_EQ(h.riders[1].name, "Faraway");
    EXPECT_EQ(h.riders[1].number, "77");
    demo_stream stream;
    ASSERT_TRUE(open_demo_stream(stream, f, "@demos/default.kvdemo", h.body_start));
    std::vector<std::string> records;
    int remote_states = 0, own_states = 0;
    demo_chunk c;
    std::vector<uint8_t> payload;
    while (peek_chunk(stream, c) == chunk_read::chunk && read_chunk_payload(stream, c, payload)) {
        if (c.type == chunk_states) {
            ASSERT_EQ(payload.size() % demo_state_record_bytes, 0u);
            for (size_t at = 0; at < payload.size(); at += demo_state_record_bytes) {
                (payload[at] == 1 ? remote_states : own_states)++;
                compact_state state;
                memcpy(state.data(), payload.data() + at + 5, state.size());
                if (payload[at] == 1) {
                    EXPECT_EQ(state, there);
                }
            }
        } else {
            records.push_back(std::to_string(c.type) + " " + std::string(payload.begin(), payload.end()));
        }
    }
    close_demo_stream(stream);
    EXPECT_FALSE(stream.damaged);
    EXPECT_EQ(records, (std::vector<std::string>{"2 Faraway: hello", "3 erode 0", "5 \x01\x02\x03"}));
    // Every relayed state, and the own rider's every fourth tic.
    EXPECT_EQ(remote_states, relayed);
    EXPECT_GE(own_states, 30);
}
