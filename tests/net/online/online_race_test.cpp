// An online race on the default track: a scripted server in memory walks
// the client through its handshake, the race is set up with the own rider
// and a remote one, and the remote bike is driven by the states the server
// relays, as the frame loop drives it (network tick, then the race tic).
#include <cstring>
#include <deque>

#include "bike/compact_state.h"
#include "demo/demo.h"
#include "demo/history.h"
#include "net/client.h"
#include "net/net.h"
#include "net/online/client_parts.h"
#include "race/rabbit_hill_fixture.h"
#include "render/frame_draw.h"

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
};

}  // namespace

TEST_F(online_race, RemoteRiderFollowsTheRelayedStates) {
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
