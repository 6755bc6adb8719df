// The connection against a scripted server in memory: the client's clock,
// socket and game are injected, the server's datagrams are queued by the
// test and what the client sends is decoded back.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "core/diag.h"
#include "net/client.h"
#include "net/messages.h"
#include "net/net.h"
#include "net/packets.h"

namespace {

struct scripted_world {
    double clock = 100;
    std::deque<std::vector<uint8_t>> to_client;
    std::vector<client_packet> sent;
    std::vector<std::string> resolved;
    int opened = 0, closed = 0;
    // The game.
    int local_tic = 0;
    int gates = 0;
    int resets = 0;
    std::string reset_track;
    std::array<uint8_t, 20> digest{};
    std::vector<std::pair<int, int>> remote_states;  // slot, tic
    int remote_gates = 0;
    std::vector<uint8_t> file;
    size_t file_at = 0;
    int files_open = 0;
};
scripted_world W;
const net_address server_address{0x7f000001, 19800};

int fake_send(int, const void* bytes, size_t size, const net_address&) {
    client_packet p;
    EXPECT_TRUE(decode_client_packet((const uint8_t*)bytes, size, p));
    W.sent.push_back(p);
    return (int)size;
}

int fake_receive(int, void* buffer, size_t size, net_address* from) {
    if (W.to_client.empty()) return -1;
    std::vector<uint8_t> d = std::move(W.to_client.front());
    W.to_client.pop_front();
    size_t n = std::min(size, d.size());
    if (n) memcpy(buffer, d.data(), n);
    if (from) *from = server_address;
    return (int)n;
}

class NetClient : public ::testing::Test {
protected:
    void SetUp() override {
        W = scripted_world{};
        for (int i = 0; i < 20; i++) W.digest[(size_t)i] = (uint8_t)(i * 7);
        net_driver.send = fake_send;
        net_driver.receive = fake_receive;
        client_system.now = [] { return W.clock; };
        client_system.calendar = [] { return 1700000000u; };
        client_system.resolve = [](const char* text, int, net_address& out) {
            W.resolved.push_back(text);
            out = server_address;
            return std::string(text) != "nowhere";
        };
        client_system.open = [] { return ++W.opened, 42; };
        client_system.close = [](int) { W.closed++; };
        client_game = client_game_driver{};
        client_game.has_track = [](const char* dir) { return std::string(dir) == "rabbithill"; };
        client_game.track_digest = [](std::array<uint8_t, 20>& out) { return out = W.digest, true; };
        client_game.reset_race = [](const char* track, int, int, int) {
            W.resets++;
            W.reset_track = track;
            return true;
        };
        client_game.local_tic = [] { return W.local_tic; };
        client_game.set_local_tic = [](int t) { W.local_tic = t; };
        client_game.own_state = [](int, compact_state& s) { return s.fill(9), true; };
        client_game.gate_count = [](int) { return W.gates; };
        client_game.gate_tic = [](int, int p) { return 5000 + p; };
        client_game.slot_has_bike = [](int slot) { return slot >= 0 && slot < 160; };
        client_game.add_remote_state = [](int slot, const compact_state&, int tic) {
            W.remote_states.push_back({slot, tic});
        };
        client_game.remote_gate = [](int, int, int) { W.remote_gates++; };
        client_game.own_rider = [] {
            rider_info r;
            r.model = "cr250";
            r.number = "42";
            r.name = "Tester";
            return r;
        };
        client_game.open_outgoing = [](const char*) -> void* {
            W.files_open++;
            return &W.file;
        };
        client_game.read_file = [](void*, uint8_t* buffer, int size) {
            size_t n = std::min((size_t)size, W.file.size() - W.file_at);
            memcpy(buffer, W.file.data() + W.file_at, n);
            W.file_at += n;
            return (int)n;
        };
        client_game.close_file = [](void*) { W.files_open--; };
        client_init();
        clear_message_history();
    }
    void TearDown() override {
        client_init();
        net_driver = net_transport{};
        client_system = client_system_driver{};
        client_game = client_game_driver{};
    }

    static void serve(const server_packet& p) {
        datagram d;
        ASSERT_TRUE(encode_server_packet(p, d));
        W.to_client.emplace_back(d.bytes.begin(), d.bytes.begin() + (long)d.size);
    }
    static void serve_message(int32_t sequence, uint8_t type, const std::string& payload) {
        server_packet p;
        p.type = sp_reliable;
        p.sequence = sequence;
        p.message_type = type;
        p.payload.assign(payload.begin(), payload.end());
        serve(p);
    }
    // One tic a second later, so that a handshake packet is due.
    static void tick(double seconds = 1.0) {
        W.clock += seconds;
        net_tick();
    }
    static int last_sent_type() { return W.sent.empty() ? -1 : W.sent.back().type; }
    static bool saw(const char* text) {
        for (int age = 0; age < 40; age++) {
            const char* line = message_line(age);
            if (line && strstr(line, text)) return true;
        }
        return false;
    }
    static server_packet packet(uint8_t type, int32_t race_id = 5) {
        server_packet p;
        p.type = type;
        p.race_id = race_id;
        return p;
    }

    // Contact, welcome and race info: the client waits in state 5.
    void to_track_acknowledged() {
        client_set_address("race.example:19800");
        tick();
        server_packet w = packet(sp_welcome);
        w.slot = 2;
        w.connection_id = 77;
        serve(w);
        tick();
        server_packet ri = packet(sp_race_info);
        ri.laps = 3;
        ri.gate_drop = 2000;
        ri.digest = W.digest;
        ri.text = "rabbithill";
        serve(ri);
        tick();
        ASSERT_EQ(client.state, client_track_acknowledged);
    }
    // On to racing with remote riders in slots 3 and 7.
    void to_racing() {
        to_track_acknowledged();
        for (int slot : {3, 7}) {
            server_packet si = packet(sp_slot_info);
            si.slot = slot;
            si.text = "yz250\n" + std::to_string(slot) + "\nRider " + std::to_string(slot);
            serve(si);
        }
        server_packet st = packet(sp_start);
        st.start_position = 1;
        st.text = "cr250\n42\nTester";
        serve(st);
        tick();
        server_packet s = packet(sp_states);
        s.server_tic = 1000;
        serve(s);
        tick();
        ASSERT_EQ(client.state, client_racing);
    }
};

}  // namespace

TEST_F(NetClient, HandshakeRunsToRacingAndRidersEnterTheirHistories) {
    client_set_address("race.example:19800");
    net_tick();
    ASSERT_EQ(W.opened, 1);
    EXPECT_EQ(W.resolved.back(), "race.example:19800");
    ASSERT_EQ(last_sent_type(), cp_contact);
    EXPECT_EQ(W.sent.back().version, 40);
    EXPECT_EQ(W.sent.back().client_token, 1700000000u);
    EXPECT_EQ(W.sent.back().password_flag, 0);
    // Nothing heard: the contact repeats once a second, not every tic.
    W.clock += 0.5;
    net_tick();
    EXPECT_EQ(W.sent.size(), 1u);
    tick(0.6);
    EXPECT_EQ(W.sent.size(), 2u);
    EXPECT_TRUE(saw("Contacting server"));

    server_packet w = packet(sp_welcome);
    w.slot = 2;
    w.connection_id = 77;
    serve(w);
    W.clock += 0.01;
    net_tick();  // the new state's packet goes out at once
    ASSERT_EQ(last_sent_type(), cp_client_info);
    EXPECT_EQ(W.sent.back().slot, 2);
    EXPECT_EQ(W.sent.back().connection_id, 77);
    EXPECT_EQ(W.sent.back().text, "cr250||||\n42\nTester");

    server_packet ri = packet(sp_race_info);
    ri.laps = 3;
    ri.digest = W.digest;
    ri.text = "rabbithill";
    serve(ri);
    tick();
    EXPECT_EQ(last_sent_type(), cp_track_ack);
    EXPECT_EQ(W.sent.back().race_id, 5);

    // Slot infos out of order: 5 comes after 7 and is not taken.
    for (int slot : {3, 7, 5}) {
        server_packet si = packet(sp_slot_info);
        si.slot = slot;
        si.text = "yz250|gear\n" + std::to_string(slot) + "\nRider";
        serve(si);
    }
    tick();
    EXPECT_EQ(last_sent_type(), cp_slot_ack);
    EXPECT_EQ(W.sent.back().last_slot, 7);
    EXPECT_EQ(client.slots[3].kind, client_slot_remote);
    EXPECT_EQ(client.slots[7].kind, client_slot_remote);
    EXPECT_EQ(client.slots[5].kind, client_slot_none);
    EXPECT_EQ(client.slots[7].info.riding_gear, "gear");

    server_packet st = packet(sp_start);
    st.start_position = 1;
    st.text = "cr250\n42\nTester";
    serve(st);
    tick();
    EXPECT_EQ(W.resets, 1);
    EXPECT_EQ(W.reset_track, "rabbithill");
    EXPECT_EQ(client.slots[2].kind, client_slot_own);
    EXPECT_EQ(last_sent_type(), cp_start_ack);
    EXPECT_TRUE(net_has_server_slot());
    EXPECT_FALSE(net_server_tic_received());

    server_packet s = packet(sp_states);
    s.server_tic = 1000;
    s.record_count = 3;
    s.records[0].slot = 3, s.records[0].tic = 996;
    s.records[1].slot = 7, s.records[1].tic = 992;
    s.records[2].slot = 5, s.records[2].tic = 996;  // no rider there
    serve(s);
    s.record_count = 1;
    s.records[0].tic = 990;  // older than what slot 3 has: dropped
    serve(s);
    tick();
    EXPECT_EQ(client.state, client_racing);
    EXPECT_EQ(W.local_tic, 1000);  // the first server tic moves the local clock
    EXPECT_EQ(net_server_tic(), 1000);
    EXPECT_TRUE(saw("3 laps"));
    EXPECT_EQ(W.remote_states, (std::vector<std::pair<int, int>>{{3, 996}, {7, 992}}));
    EXPECT_TRUE(client_remote_fresh(3, 1000));
    EXPECT_FALSE(client_remote_fresh(3, 996 + 129));

    // Racing: a state every fourth local tic, and the gate just passed.
    W.sent.clear();
    W.gates = 2;
    for (int i = 0; i < 8; i++, W.local_tic++) tick(0.01);
    int states = 0, gates = 0;
    for (const client_packet& p : W.sent) {
        if (p.type == cp_state) {
            states++;
            EXPECT_EQ(p.local_tic % 4, 0);
            EXPECT_EQ(p.server_tic, 1000);
            EXPECT_EQ(p.state[0], 9);
        }
        if (p.type == cp_reliable && p.message_type == msg_gates) {
            gates++;
            int32_t race = 0;
            gate_record g;
            ASSERT_TRUE(decode_gate_passed(p.payload.data(), p.payload.size(), race, g));
            EXPECT_EQ(race, 5);
            EXPECT_EQ(g.gate, 1);
            EXPECT_EQ(g.tic, 5001);
        }
    }
    EXPECT_EQ(states, 2);
    EXPECT_EQ(gates, 1);
}

TEST_F(NetClient, FailurePathsEndThroughDisconnecting) {
    struct failure {
        const char* name;
        void (*script)();
        const char* message;
        int state;  // afterwards
    };
    const failure cases[] = {
        {"version",
         [] {
             server_packet w = packet(sp_welcome);
             w.protocol = 5;
             serve(w);
         },
         "Server version does not match client version", client_disconnecting},
        {"full", [] { serve(packet(sp_server_full)); }, "Server is full", client_contacting},
        {"error",
         [] {
             server_packet e = packet(sp_error);
             e.text = "Bad password";
             serve(e);
         },
         "Bad password", client_disconnecting},
    };
    for (const failure& f : cases) {
        SCOPED_TRACE(f.name);
        SetUp();
        client_set_address("race.example");
        tick();
        f.script();
        tick();
        EXPECT_TRUE(saw(f.message));
        EXPECT_EQ(client.state, f.state);
    }

    // A track the client lacks, and one whose files differ.
    SetUp();
    client_set_address("race.example");
    tick();
    server_packet w = packet(sp_welcome);
    w.slot = 2;
    serve(w);
    server_packet ri = packet(sp_race_info);
    ri.text = "../../etc";
    serve(ri);
    tick();
    EXPECT_TRUE(saw("Can't find track '../../etc'"));
    EXPECT_EQ(client.state, client_disconnecting);
    EXPECT_EQ(last_sent_type(), cp_disconnect);

    SetUp();
    to_track_acknowledged();
    W.digest[0] ^= 1;
    serve(packet(sp_start));
    tick();
    EXPECT_EQ(W.resets, 1);  // the race is still loaded
    EXPECT_TRUE(saw("Client track modified - does not match server's track (rabbithill)"));
    EXPECT_EQ(client.state, client_disconnecting);
}

TEST_F(NetClient, PasswordAndRedirect) {
    client_set_password("secret");
    client_set_address("first.example");
    tick();
    EXPECT_EQ(W.sent.back().password_flag, 1);
    uint32_t token = W.sent.back().client_token;
    server_packet r = packet(sp_redirect);
    r.client_token = token + 1;  // not ours: ignored
    r.text = "evil.example";
    serve(r);
    tick(0.01);
    EXPECT_EQ(client.server_address, "first.example");
    r.client_token = token;
    r.text = "second.example:19801";
    serve(r);
    tick(0.01);
    EXPECT_EQ(W.closed, 1);
    tick(0.01);
    EXPECT_EQ(W.resolved.back(), "second.example:19801");
    EXPECT_EQ(last_sent_type(), cp_contact);

    server_packet w = packet(sp_welcome);
    w.slot = 4;
    w.connection_id = 1234;
    serve(w);
    tick();
    ASSERT_EQ(last_sent_type(), cp_client_info);
    EXPECT_EQ(W.sent.back().proof, password_proof("secret", 1234));
}

TEST_F(NetClient, RestartsFollowOnlyNewerRaces) {
    to_racing();
    W.remote_states.clear();
    server_packet s = packet(sp_states, 4);  // another race
    s.server_tic = 1100;
    s.record_count = 1;
    s.records[0].slot = 3, s.records[0].tic = 1090;
    serve(s);
    serve(packet(sp_restart, 5));  // not newer
    serve(packet(sp_restart, 3));
    tick(0.01);
    EXPECT_TRUE(W.remote_states.empty());
    EXPECT_EQ(net_server_tic(), 1001);  // counted on by the tick, not moved by race 4
    EXPECT_EQ(client.state, client_racing);

    serve(packet(sp_restart, 6));
    tick(0.01);
    EXPECT_EQ(client.state, client_restarting);
    EXPECT_EQ(last_sent_type(), cp_restart_ack);
    EXPECT_EQ(W.sent.back().race_id, 6);
    server_packet old = packet(sp_race_info, 5);
    old.text = "rabbithill";
    serve(old);
    tick();
    EXPECT_EQ(client.state, client_restarting);
    server_packet ri = packet(sp_race_info, 6);
    ri.text = "rabbithill";
    ri.digest = W.digest;
    serve(ri);
    tick();
    EXPECT_EQ(client.state, client_track_acknowledged);
    EXPECT_EQ(client.slots[3].kind, client_slot_none);
    EXPECT_FALSE(net_server_tic_received());
}

TEST_F(NetClient, DisconnectingNeverReconnects) {
    // While contacting: at once.
    client_set_address("race.example");
    tick();
    client_menu_disconnect();
    EXPECT_FALSE(net_connected());
    EXPECT_TRUE(saw("Disconnected"));
    size_t sent = W.sent.size();
    for (int i = 0; i < 3; i++) tick();
    EXPECT_EQ(W.opened, 1);
    EXPECT_EQ(W.sent.size(), sent);

    // While racing: type 15 every second until the server confirms.
    SetUp();
    to_racing();
    client_menu_disconnect();
    tick(0.01);
    EXPECT_EQ(last_sent_type(), cp_disconnect);
    tick(0.5);
    size_t before = W.sent.size();
    tick(0.6);
    EXPECT_EQ(W.sent.size(), before + 1);
    serve(packet(sp_disconnected));
    tick();
    EXPECT_FALSE(net_connected());
    for (int i = 0; i < 3; i++) tick();
    EXPECT_EQ(W.opened, 1);

    // A server that stops answering, in any state, lets go after 10 s.
    SetUp();
    to_racing();
    for (int i = 0; i < 12 && net_connected(); i++) tick();
    EXPECT_FALSE(net_connected());
    EXPECT_TRUE(saw("No answer from the server"));
    for (int i = 0; i < 3; i++) tick();
    EXPECT_EQ(W.opened, 1);

    // A server that keeps talking (errors too) but never confirms the
    // disconnect.
    SetUp();
    to_racing();
    client_menu_disconnect();
    for (int i = 0; i < 12 && net_connected(); i++) {
        server_packet t = packet(sp_time_sync);
        t.server_tic = 2000 + i;
        serve(t);
        server_packet e = packet(sp_error);
        e.text = "Still here";
        serve(e);
        tick();
    }
    EXPECT_FALSE(net_connected());
    EXPECT_TRUE(saw("did not confirm the disconnect"));
    tick();
    EXPECT_EQ(W.opened, 1);

    // Leaving for an offline race: one packet, then nothing.
    SetUp();
    to_racing();
    net_disconnect();
    EXPECT_EQ(last_sent_type(), cp_disconnect);
    EXPECT_FALSE(net_connected());
    tick();
    EXPECT_EQ(W.opened, 1);
    // An address set but not contacted yet is dropped too.
    client_set_address("later.example");
    net_disconnect();
    tick();
    EXPECT_EQ(W.opened, 1);
}

TEST_F(NetClient, FileUploadEndingOnAPartBoundary) {
    // Refused before anything is opened.
    for (const char* bad : {"", "a/b", "..\\x", "name with blanks"}) {
        clear_message_history();
        client_send_file(bad);
        EXPECT_TRUE(saw("Filename may only contain alphanumeric characters, '_' or '.'")) << bad;
    }
    client_send_file(std::string(client_max_file_name + 1, 'a').c_str());
    EXPECT_TRUE(saw("Filename too long"));
    client_send_file("setup.txt");
    EXPECT_TRUE(saw("Not connected to server"));
    EXPECT_EQ(W.files_open, 0);

    to_racing();
    W.file.resize(512);
    for (size_t i = 0; i < W.file.size(); i++) W.file[i] = (uint8_t)i;
    // The longest name whose "namefile" message still fits.
    const std::string longest = std::string(client_max_file_name - 4, 'n') + ".txt";
    client_send_file(("  " + longest).c_str());
    EXPECT_EQ(W.files_open, 1);
    serve_message(0, msg_command, "sendready");
    // Every reliable message the client sends is acknowledged at once.
    auto commands_sent = [](int ticks) {
        std::vector<std::string> commands;
        for (int i = 0; i < ticks; i++) {
            size_t from = W.sent.size();
            tick(0.3);
            for (size_t k = from; k < W.sent.size(); k++) {
                const client_packet& p = W.sent[k];
                if (p.type != cp_reliable) continue;
                if (p.message_type == msg_command) commands.emplace_back(p.payload.begin(), p.payload.end());
                server_packet a = packet(sp_ack);
                a.sequence = p.sequence;
                serve(a);
            }
        }
        return commands;
    };
    std::vector<std::string> commands = commands_sent(10);
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[0], "sendfile");
    EXPECT_EQ(commands[1].substr(0, 10), "sendpart -");
    EXPECT_EQ(commands[1].size(), 266u);
    EXPECT_EQ((uint8_t)commands[2].back(), 255);
    EXPECT_EQ(commands[3], "namefile " + longest);
    EXPECT_EQ(commands[3].size(), reliable_payload_max);
    EXPECT_EQ(W.files_open, 0);

    // A read error stops the transfer without naming the part sent.
    client_send_file("broken.txt");
    client_game.read_file = [](void*, uint8_t*, int) { return -1; };
    serve_message(1, msg_command, "sendready");
    EXPECT_EQ(commands_sent(5), std::vector<std::string>{"sendfile"});
    EXPECT_TRUE(saw("Error reading file"));
    EXPECT_EQ(W.files_open, 0);

    // Denied: closed and forgotten.
    client_send_file("other.txt");
    EXPECT_EQ(W.files_open, 1);
    serve_message(2, msg_command, "  senddenied");
    tick(0.01);
    EXPECT_TRUE(saw("Send file denied"));
    EXPECT_EQ(W.files_open, 0);

    // A second upload closes the first; leaving closes the second.
    client_send_file("one.txt");
    client_send_file("two.txt");
    EXPECT_TRUE(saw("Stopping previous transfer"));
    EXPECT_EQ(W.files_open, 1);
    net_disconnect();
    EXPECT_EQ(W.files_open, 0);
}

TEST_F(NetClient, HostileServerCannotHurtTheClient) {
    // Every type, cut at every length up to a little past its fields, in
    // every state on the way to racing; then absurd counts and slots.
    std::vector<std::vector<uint8_t>> hostile;
    for (int type = 0; type < 32; type++) {
        for (size_t n = 1; n < 60; n++) {
            std::vector<uint8_t> d(n, 0xff);
            d[0] = (uint8_t)type;
            hostile.push_back(d);
            std::vector<uint8_t> z(n, 0);
            z[0] = (uint8_t)type;
            hostile.push_back(z);
        }
    }
    std::vector<uint8_t> states(max_datagram, 0);
    states[0] = sp_states;
    states[1] = 5;                               // race 5
    states[13] = 0xff, states[14] = 0xff, states[15] = 0xff, states[16] = 0x7f;  // count 2^31 - 1
    hostile.push_back(states);
    std::vector<uint8_t> gates = {sp_reliable, 0, 0, 0, 0, msg_gates, 5, 0, 0, 0, 0xff, 0xff, 0xff, 0x7f};
    hostile.push_back(gates);

    // The packets that end a connection are left out, so that the rest
    // reaches every state.
    auto flood = [&] {
        for (const auto& d : hostile)
            if (d[0] != sp_disconnected && d[0] != sp_error) W.to_client.push_back(d);
        for (int i = 0; i < 20 && !W.to_client.empty(); i++) tick(0.01);
        EXPECT_TRUE(W.to_client.empty());
    };
    client_set_address("race.example");
    tick();
    flood();
    SetUp();
    to_track_acknowledged();
    flood();
    SetUp();
    to_racing();
    W.remote_states.clear();
    flood();
    for (auto [slot, tic] : W.remote_states) {
        EXPECT_GE(slot, 0);
        EXPECT_LT(slot, 160);
    }
    EXPECT_LE(client.slot, 160);
    EXPECT_TRUE(net_connected());
    // One tick reads a bounded number of datagrams, so a flood cannot hold
    // the frame loop.
    for (int i = 0; i < 5000; i++) W.to_client.push_back({sp_ignored, 0, 0, 0, 0});
    tick(0.01);
    EXPECT_GT(W.to_client.size(), 0u);
}

TEST_F(NetClient, AbsurdTicsAndLapsStayOutOfTheRace) {
    const int32_t huge = INT32_MAX, lowest = INT32_MIN;
    to_track_acknowledged();
    server_packet si = packet(sp_slot_info);
    si.slot = 3;
    serve(si);
    server_packet st = packet(sp_start);
    st.start_position = 1;
    serve(st);
    tick();
    ASSERT_EQ(client.state, client_start_acknowledged);
    // A first server tic the race clock could not count on from is
    // ignored, so the local clock does not jump to it.
    for (int32_t bad : {huge, lowest, client_tic_limit}) {
        server_packet s = packet(sp_time_sync);
        s.server_tic = bad;
        serve(s);
    }
    tick(0.01);
    EXPECT_EQ(client.state, client_start_acknowledged);
    EXPECT_EQ(W.local_tic, 0);
    server_packet s = packet(sp_states);
    s.server_tic = 1000;
    s.echoed_tic = lowest;
    s.record_count = 3;
    s.records[0].slot = 3, s.records[0].tic = huge;
    s.records[1].slot = 3, s.records[1].tic = lowest;
    s.records[2].slot = 3, s.records[2].tic = 990;
    serve(s);
    std::vector<uint8_t> gates = encode_gate_table(5, {{3, 1, lowest}, {3, 2, huge}, {3, 3, 995}});
    serve_message(0, msg_gates, std::string(gates.begin(), gates.end()));
    serve_message(1, msg_command, "off_course_bias 1e300");
    serve_message(2, msg_command, "off_course_scale -1e300");
    tick(0.01);
    EXPECT_EQ(client.state, client_racing);
    EXPECT_EQ(W.local_tic, 1000);
    EXPECT_EQ(W.remote_states, (std::vector<std::pair<int, int>>{{3, 990}}));
    EXPECT_EQ(W.remote_gates, 1);
    EXPECT_EQ(client.slots[2].round_trip, 0);
    EXPECT_EQ(client.off_course_bias, client_off_course_limit);
    EXPECT_EQ(client.off_course_scale, -client_off_course_limit);

    // A restart's race info with absurd numbers.
    serve(packet(sp_restart, 6));
    tick(0.01);
    server_packet ri = packet(sp_race_info, 6);
    ri.text = "rabbithill";
    ri.time_limit = huge;
    ri.laps = huge;
    ri.gate_drop = lowest;
    serve(ri);
    tick(0.01);
    ASSERT_EQ(client.state, client_track_acknowledged);
    EXPECT_EQ(client.time_limit, client_tic_limit);
    EXPECT_EQ(client.laps, client_lap_limit);
    EXPECT_EQ(client.gate_drop, 0);
}
