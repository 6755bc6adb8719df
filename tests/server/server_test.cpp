// The race server in this process on a real loopback socket, driven with a
// simulated clock by scripted clients: whole sessions, a lossy soak, and
// what hostile clients can and cannot do to it.
#include <dirent.h>

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "rig.h"

namespace {

void put_le32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; i++) at[i] = (uint8_t)(v >> (8 * i));
}

bool has(const std::vector<std::string>& v, const std::string& x) { return std::find(v.begin(), v.end(), x) != v.end(); }

std::vector<std::string> folder_names(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool racing_together(const script_client& a, const script_client& b) {
    return a.state == script_state::racing && b.state == script_state::racing && a.race_id == b.race_id &&
           a.rider_texts.count(b.slot) && b.rider_texts.count(a.slot) && a.start_position != net_no_slot &&
           b.start_position != net_no_slot;
}

// Passes the gates 0..last, one every `every` tics of its own clock.
struct gate_script {
    int next = 0, last = 0, every = 32;
    int32_t next_tic = 0;
};
void ride_gates(script_client& c, gate_script& g) {
    if (c.state != script_state::racing || g.next > g.last || c.local_tic < g.next_tic) return;
    if (g.next == 0 && g.next_tic == 0) {
        g.next_tic = c.local_tic + g.every;
        return;
    }
    script_send(c, msg_gates, encode_gate_passed(c.race_id, g.next, c.local_tic));
    g.next++;
    g.next_tic = c.local_tic + g.every;
}

server_config quick_config() {
    server_config c;
    c.laps = 2;  // the final line is gate 5 - 1 + 4 = 8
    c.gate_delay = 1;
    c.restart_delay = 1;
    c.finish_wait = 30;
    c.no_arcade = true;
    c.knockout = "10 20";
    c.send_off_course_bias = true;
    c.off_course_bias = 12.5;
    return c;
}

struct two_riders : ::testing::Test {
    server_rig rig{quick_config()};
    script_client* a = nullptr;
    script_client* b = nullptr;
    void SetUp() override {
        a = &rig.add("Alice", 101);
        b = &rig.add("Bob", 202);
        ASSERT_TRUE(rig.run_until([&] { return racing_together(*a, *b); }, 20));
        // Each has the other's newest state from the relay.
        ASSERT_TRUE(rig.run_until([&] { return a->remote.count(b->slot) && b->remote.count(a->slot); }, 2));
    }
    server_client& on_server(const script_client& c) { return rig.s->clients[(size_t)c.slot]; }
};

TEST_F(two_riders, RaceChatUploadRestartAndLeave) {
    // Handshake: distinct slots and gate positions, the rider info as sent,
    // the relayed state as it left the other client.
    EXPECT_NE(a->slot, b->slot);
    EXPECT_NE(a->start_position, b->start_position);
    EXPECT_EQ(parse_rider_info(a->rider_texts[b->slot]).name, "Bob");
    EXPECT_EQ(b->remote[a->slot].state, a->state_bytes);
    EXPECT_EQ(a->track, "rabbithill");
    EXPECT_EQ(a->digest, test_track().digest);
    EXPECT_EQ(a->laps, 2);
    EXPECT_EQ(a->gate_drop, 128);
    // The configuration's commands, in the order the client matches them.
    EXPECT_EQ(a->commands, (std::vector<std::string>{"no_arcade", "off_course_bias 12.5", "knockout 10 20",
                                                     "erode " + std::to_string(a->race_id) + " 0"}));
    // The round-trip figure is a few tics on a loopback without lag.
    EXPECT_LT(b->remote[a->slot].round_trip, 16);

    // Chat reaches both; a second line within the second does not.
    script_send_text(*a, msg_text, "hello");
    script_send_text(*a, msg_text, "again");
    rig.run_until([&] { return a->texts.size() >= 2; }, 3);
    EXPECT_TRUE(has(a->texts, "Alice: hello"));
    EXPECT_TRUE(has(b->texts, "Alice: hello"));
    EXPECT_TRUE(has(a->texts, "No one likes a spammer"));
    EXPECT_FALSE(has(b->texts, "Alice: again"));

    // A stroke goes to every rider, its sender included (the ground is dug
    // only with what comes back); one for another race goes nowhere.
    const uint8_t stroke[] = {1, 2, 3, 4, 5};
    script_send(*a, msg_deformation, encode_deformation(a->race_id + 5, stroke, sizeof stroke));
    script_send(*a, msg_deformation, encode_deformation(a->race_id, stroke, sizeof stroke));
    ASSERT_TRUE(rig.run_until([&] { return a->deformations.size() && b->deformations.size(); }, 3));
    rig.run_until([] { return false; }, 0.5);
    ASSERT_EQ(b->deformations.size(), 1u);
    EXPECT_EQ(a->deformations, b->deformations);
    EXPECT_EQ(b->deformations[0], encode_deformation(a->race_id, stroke, sizeof stroke));

    // An upload lands under its own name, complete.
    std::string body;
    for (int i = 0; i < 600; i++) body += (char)('a' + i % 26);
    script_send_text(*a, msg_command, "sendfile");
    ASSERT_TRUE(rig.run_until([&] { return has(a->commands, "sendready"); }, 3));
    for (size_t at = 0; at < body.size(); at += 256)
        script_send_text(*a, msg_command, "sendpart -" + body.substr(at, 256));
    script_send_text(*a, msg_command, "namefile notes.txt");
    ASSERT_TRUE(rig.run_until([&] { return has(a->texts, "File notes.txt received (600 bytes)"); }, 5));
    std::string uploads = rig.s->config.upload_dir;
    EXPECT_EQ(read_file(uploads + "/notes.txt"), body);
    EXPECT_EQ(folder_names(uploads), std::vector<std::string>{"notes.txt"});

    // Two laps: both pass the final line, each sees the other's crossings,
    // the race ends and the next one begins.
    int32_t first_race = a->race_id;
    gate_script ga{0, 8, 24}, gb{0, 8, 30};
    ASSERT_TRUE(rig.run_until(
        [&] {
            ride_gates(*a, ga);
            ride_gates(*b, gb);
            return rig.s->race_over;
        },
        30));
    EXPECT_TRUE(on_server(*a).finished && on_server(*b).finished);
    auto crossed = [](const script_client& c, int slot, int gate) {
        return std::any_of(c.gates.begin(), c.gates.end(),
                           [&](const gate_record& g) { return g.slot == slot && g.gate == gate; });
    };
    EXPECT_TRUE(crossed(*a, b->slot, 8));
    EXPECT_TRUE(crossed(*b, a->slot, 8));
    EXPECT_FALSE(crossed(*a, a->slot, 0));  // nobody is told of its own crossings
    ASSERT_TRUE(rig.run_until([&] { return racing_together(*a, *b) && a->race_id == first_race + 1; }, 10));

    // Restart on request: one vote of two waits, the second restarts.
    client_packet vote;
    vote.type = cp_restart_request;
    vote.slot = a->slot;
    vote.connection_id = a->connection_id;
    script_send_packet(*a, vote);
    rig.run_until([] { return false; }, 0.5);
    EXPECT_EQ(rig.s->race_id, first_race + 1);
    vote.slot = b->slot;
    vote.connection_id = b->connection_id;
    script_send_packet(*b, vote);
    ASSERT_TRUE(rig.run_until([&] { return racing_together(*a, *b) && a->race_id == first_race + 2; }, 10));

    // Leaving: a disconnect is confirmed; a silent client times out.
    a->state = script_state::disconnecting;
    a->last_send = -1e9;
    ASSERT_TRUE(rig.run_until([&] { return a->disconnected; }, 3));
    EXPECT_EQ(server_client_count(*rig.s), 1);
    rig.clients.pop_back();  // Bob goes quiet
    rig.run_until([&] { return server_client_count(*rig.s) == 0; }, rig.s->config.timeout + 2);
    EXPECT_EQ(server_client_count(*rig.s), 0);
}

// 150 ms each way of lag on what the clients receive, 5 % of datagrams
// lost in both directions: the handshake, the reliable layer and the
// relay still carry two riders through two laps.
TEST(RaceServerSoak, LagAndLossStillFinish) {
    server_config cfg = quick_config();
    cfg.restart_delay = 60;
    server_rig rig{cfg};
    script_client& a = rig.add("Alice", 11);
    script_client& b = rig.add("Bob", 22);
    for (script_client* c : {&a, &b}) {
        fake_network_set(c->link.fake, 150, 5);
        random_seed(c->link.fake.random, c->token * 7);
        c->send_loss = 5;
    }
    ASSERT_TRUE(rig.run_until([&] { return racing_together(a, b); }, 60));
    script_send_text(a, msg_text, "through the lag");
    gate_script ga{0, 8, 40}, gb{0, 8, 48};
    ASSERT_TRUE(rig.run_until(
        [&] {
            ride_gates(a, ga);
            ride_gates(b, gb);
            return rig.s->race_over;
        },
        60));
    EXPECT_TRUE(rig.s->clients[(size_t)a.slot].finished);
    EXPECT_TRUE(rig.s->clients[(size_t)b.slot].finished);
    EXPECT_TRUE(rig.run_until([&] { return has(b.texts, "Alice: through the lag"); }, 10));
    EXPECT_TRUE(b.remote.count(a.slot) && a.remote.count(b.slot));
    // The measured round trip covers the 150 ms (19.2 tics) on the way to
    // the client, plus the cadences.
    EXPECT_GE(b.remote[a.slot].round_trip, 19);
    EXPECT_LE(b.remote[a.slot].round_trip, 40);
}

std::vector<uint8_t> encoded(const client_packet& p) {
    datagram d;
    encode_client_packet(p, d);
    return {d.bytes.begin(), d.bytes.begin() + (long)d.size};
}

// Datagrams from a known client's address that the server must drop
// without changing anything the other rider sees.
TEST_F(two_riders, HostileDatagramsNeverReachTheTables) {
    auto from_a = [&](uint8_t type) {
        client_packet p;
        p.type = type;
        p.slot = a->slot;
        p.connection_id = a->connection_id;
        p.race_id = a->race_id;
        return p;
    };
    struct hostile {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<hostile> table;
    table.push_back({"empty", {}});
    table.push_back({"unknown type", {99, 1, 2, 3}});
    for (int t : {3, 5, 7, 9, 11, 13, 14, 15, 17, 18}) {
        client_packet p = from_a((uint8_t)t);
        std::vector<uint8_t> b = encoded(p);
        b.resize(client_packet_min_size(t) - 1);
        table.push_back({"truncated", b});
    }
    compact_state forged{};
    forged.fill(0xee);
    {
        client_packet p = from_a(cp_state);
        p.connection_id ^= 1;
        p.local_tic = a->local_tic + 8;
        p.state = forged;
        table.push_back({"state, wrong connection id", encoded(p)});
        p = from_a(cp_state);
        p.slot = b->slot;
        p.local_tic = a->local_tic + 8;
        p.state = forged;
        table.push_back({"state for another slot", encoded(p)});
        p = from_a(cp_state);
        p.slot = 160;
        table.push_back({"state for slot 160", encoded(p)});
        std::vector<uint8_t> raw = encoded(from_a(cp_state));
        put_le32(raw.data() + 1, 0x7fffffff);
        table.push_back({"state, slot out of range", raw});
        p = from_a(cp_state);
        p.local_tic = 0x7ffffff0;  // far in the future: would freeze the rider
        p.state = forged;
        table.push_back({"state from the far future", encoded(p)});
        p = from_a(cp_slot_ack);
        p.last_slot = -7;
        table.push_back({"slot ack below 0", encoded(p)});
        p = from_a(cp_reliable);
        p.sequence = 1 << 30;
        p.message_type = msg_text;
        table.push_back({"reliable far ahead", encoded(p)});
        p.sequence = -5;
        table.push_back({"reliable below 0", encoded(p)});
        for (auto [gate, tic] : std::vector<std::pair<int32_t, int32_t>>{{300, 10}, {-1, 10}, {3, -4}, {3, 1 << 30}}) {
            p = from_a(cp_reliable);
            p.sequence = a->out.next_sequence;  // taken in turn below
            p.message_type = msg_gates;
            p.payload = encode_gate_passed(a->race_id, gate, tic);
            table.push_back({"gate out of range", encoded(p)});
        }
    }
    size_t b_gates = b->gates.size();
    for (const hostile& h : table) {
        std::vector<uint8_t> bytes = h.bytes;
        // Reliable gates go in sequence so that they are delivered.
        if (bytes.size() > 13 && bytes[0] == cp_reliable && bytes[13] == msg_gates) put_le32(bytes.data() + 9, (uint32_t)a->out.next_sequence++);
        script_send_raw(*a, bytes.data(), bytes.size());
        rig.run_until([] { return false; }, 0.1);
        SCOPED_TRACE(h.what);
        ASSERT_EQ(server_client_count(*rig.s), 2);
        EXPECT_NE(b->remote[a->slot].state, forged);
        EXPECT_NE(a->remote[b->slot].state, forged);
    }
    EXPECT_EQ(b->gates.size(), b_gates);
    // Both riders' states still flow and move on.
    int32_t seen = b->remote[a->slot].tic;
    rig.run_until([] { return false; }, 0.5);
    EXPECT_GT(b->remote[a->slot].tic, seen);
    EXPECT_EQ(b->state, script_state::racing);
    EXPECT_EQ(a->state, script_state::racing);
    // The long client info is kept only to its limit.
    client_packet info = from_a(cp_client_info);
    info.text = std::string(900, 'x');
    script_send_packet(*a, info);
    rig.run_until([] { return false; }, 0.1);
    EXPECT_LE(on_server(*a).info_text.size(), 466u);
}

// One address's flood of contacts, early reliable messages or relayed
// gates takes neither the server's memory nor the other rider's link.
TEST_F(two_riders, FloodsFromOneClientDoNotStarveOthers) {
    // Contacts from many ports of one host: at most max_per_host slots.
    std::vector<int> sockets;
    for (int i = 0; i < 40; i++) sockets.push_back(net_open(0));
    net_address server{0x7f000001, (uint16_t)rig.port};
    for (int round = 0; round < 3; round++)
        for (int sock : sockets) {
            client_packet p;
            p.type = cp_contact;
            p.client_token = (uint32_t)(sock + round);
            std::vector<uint8_t> b = encoded(p);
            net_send(sock, b.data(), b.size(), server);
            rig.step();
        }
    EXPECT_LE(server_client_count(*rig.s), rig.s->config.max_per_host);
    for (int sock : sockets) net_close(sock);

    // Early reliable messages are held only within the window.
    for (int i = 0; i < 3000; i++) {
        client_packet p;
        p.type = cp_reliable;
        p.slot = a->slot;
        p.connection_id = a->connection_id;
        p.sequence = a->out.next_sequence + 1 + i;
        p.message_type = msg_text;
        p.payload.assign(400, 'z');
        script_send_packet(*a, p);
        if (i % 200 == 0) rig.step();
    }
    rig.step();
    EXPECT_LE(on_server(*a).in.held.size(), (size_t)reliable_window);

    // A thousand gate crossings in a second: Bob's queue stays short and he
    // stays connected; the relay drops what is over the budget.
    for (int i = 0; i < 1000; i++)
        script_send(*a, msg_gates, encode_gate_passed(a->race_id, i % 200, a->local_tic));
    rig.run_until([&] { return a->out.queue.empty(); }, 20);
    EXPECT_TRUE(on_server(*b).used);
    EXPECT_LT(on_server(*b).out.queue.size(), 8u);
    EXPECT_GT(rig.s->counters.relay_dropped, 0u);
    EXPECT_EQ(b->state, script_state::racing);

    // Over the packet rate for three seconds running: kicked with the
    // reason; Bob rides on.
    client_packet noise;
    noise.type = cp_ack;
    noise.slot = a->slot;
    noise.connection_id = a->connection_id;
    noise.sequence = -1;
    rig.run_until(
        [&] {
            for (int i = 0; i < 12 && a->errors.empty(); i++) script_send_packet(*a, noise);  // 1536 a second
            return !a->errors.empty();
        },
        5);
    EXPECT_EQ(a->errors, std::vector<std::string>{"Too many packets"});
    EXPECT_FALSE(on_server(*a).used && on_server(*a).connection_id == a->connection_id);
    EXPECT_TRUE(on_server(*b).used);
    EXPECT_EQ(b->state, script_state::racing);
}

TEST_F(two_riders, UploadsCannotLeaveTheirFolder) {
    std::string uploads = rig.s->config.upload_dir;
    struct named {
        std::string name;
        bool stored;
    };
    const named names[] = {{"../escape", false}, {"a/b", false},     {".hidden", false},       {"..", false},
                           {"", false},          {"x y", false},     {std::string(256, 'n'), false},
                           {"ok_1.trk", true},   {"ok_1.trk", true}};  // the second replaces the first
    for (const named& n : names) {
        SCOPED_TRACE(n.name);
        a->commands.clear();
        a->texts.clear();
        script_send_text(*a, msg_command, "sendfile");
        ASSERT_TRUE(rig.run_until([&] { return has(a->commands, "sendready"); }, 3));
        script_send_text(*a, msg_command, "sendpart -" + n.name + "!");
        script_send_text(*a, msg_command, "namefile " + n.name);
        ASSERT_TRUE(rig.run_until([&] { return !a->texts.empty(); }, 3));
        EXPECT_EQ(a->texts[0], n.stored ? "File " + n.name + " received (" + std::to_string(n.name.size() + 1) + " bytes)"
                                        : "File name refused");
    }
    EXPECT_EQ(folder_names(uploads), std::vector<std::string>{"ok_1.trk"});
    EXPECT_EQ(read_file(uploads + "/ok_1.trk"), "ok_1.trk!");
    EXPECT_FALSE(path_exists(rig.folder.path + "/escape"));

    // A full folder takes no new names; an old name may still be replaced.
    rig.s->config.upload_max_files = 1;
    for (const std::string& name : {std::string("second.trk"), std::string("ok_1.trk")}) {
        a->commands.clear();
        a->texts.clear();
        script_send_text(*a, msg_command, "sendfile");
        ASSERT_TRUE(rig.run_until([&] { return has(a->commands, "sendready"); }, 3));
        script_send_text(*a, msg_command, "sendpart -new");
        script_send_text(*a, msg_command, "namefile " + name);
        ASSERT_TRUE(rig.run_until([&] { return !a->texts.empty(); }, 3));
        EXPECT_EQ(a->texts[0], name == "ok_1.trk" ? "File ok_1.trk received (3 bytes)" : "Upload folder full");
    }
    EXPECT_EQ(folder_names(uploads), std::vector<std::string>{"ok_1.trk"});
    EXPECT_EQ(read_file(uploads + "/ok_1.trk"), "new");

    // Over the size cap: refused, nothing left behind; the same when the
    // client leaves halfway.
    rig.s->config.upload_max_kb = 1;
    a->commands.clear();
    script_send_text(*a, msg_command, "sendfile");
    ASSERT_TRUE(rig.run_until([&] { return has(a->commands, "sendready"); }, 3));
    for (int i = 0; i < 5; i++) script_send_text(*a, msg_command, "sendpart -" + std::string(256, 'q'));
    ASSERT_TRUE(rig.run_until([&] { return has(a->commands, "senddenied"); }, 5));
    b->commands.clear();
    script_send_text(*b, msg_command, "sendfile");
    ASSERT_TRUE(rig.run_until([&] { return has(b->commands, "sendready"); }, 3));
    script_send_text(*b, msg_command, "sendpart -half");
    rig.run_until([&] { return b->out.queue.empty(); }, 3);
    EXPECT_EQ(folder_names(uploads).size(), 2u);  // Bob's temporary file
    b->state = script_state::disconnecting;
    b->last_send = -1e9;
    ASSERT_TRUE(rig.run_until([&] { return b->disconnected; }, 3));
    EXPECT_EQ(folder_names(uploads), std::vector<std::string>{"ok_1.trk"});
}

// The contact's answers: the wrong version and the wrong password are
// refused with their texts and keep nothing; a full server says so.
TEST(RaceServerHandshake, RefusalsKeepNothing) {
    server_config cfg = quick_config();
    cfg.password = "secret";
    cfg.max_clients = 2;
    server_rig rig{cfg};
    script_client& wrong = rig.add("Wrong", 1);
    wrong.password = "guess";
    script_client& right = rig.add("Right", 2);
    right.password = "secret";
    script_client& third = rig.add("Third", 3);
    third.password = "secret";
    rig.run_until([&] { return right.state == script_state::racing && !wrong.errors.empty(); }, 10);
    EXPECT_EQ(right.state, script_state::racing);
    ASSERT_FALSE(wrong.errors.empty());
    EXPECT_EQ(wrong.errors[0], "Wrong server password");
    rig.run_until([&] { return third.state == script_state::racing; }, 5);
    EXPECT_EQ(third.state, script_state::racing);  // the refused one's slot was freed

    script_client& late = rig.add("Late", 4);
    late.password = "secret";
    rig.run_until([&] { return late.server_full; }, 3);
    EXPECT_TRUE(late.server_full);
    EXPECT_EQ(server_client_count(*rig.s), 2);

    client_packet old;
    old.type = cp_contact;
    old.version = 39;
    std::vector<uint8_t> b = encoded(old);
    script_send_raw(late, b.data(), b.size());
    rig.run_until([&] { return !late.errors.empty(); }, 1);
    ASSERT_FALSE(late.errors.empty());
    EXPECT_EQ(late.errors[0], "Server requires client version 40 (this client is 39)");
    EXPECT_EQ(server_client_count(*rig.s), 2);
}

TEST(ServerConfig, FileLinesAndOptions) {
    server_config c;
    std::string errors;
    EXPECT_FALSE(parse_server_config("laps 2\n# a comment\nport 70000\nbogus 1\nno_arcade yes\n"
                                     "off_course_bias 12.5\nknockout 10 20\n",
                                     c, errors));
    EXPECT_EQ(c.laps, 2);
    EXPECT_EQ(c.port, net_default_port);  // the bad line changed nothing
    EXPECT_TRUE(c.no_arcade);
    EXPECT_TRUE(c.send_off_course_bias);
    EXPECT_DOUBLE_EQ(c.off_course_bias, 12.5);
    EXPECT_FALSE(c.send_off_course_scale);
    EXPECT_EQ(c.knockout, "10 20");
    EXPECT_NE(errors.find("line 3"), std::string::npos);
    EXPECT_NE(errors.find("line 4: unknown key 'bogus'"), std::string::npos);

    temp_dir d;
    write_file(d.file("server.cfg"), "laps 5\nerode 3\n");
    std::string cfg = d.file("server.cfg");
    const char* args[] = {"quarnix-server", "--config", cfg.c_str(), "--laps", "4", "--no-uploads", "--track", "x"};
    server_config o;
    bool help = true;
    ASSERT_TRUE(parse_server_args(8, (char**)args, o, help, errors)) << errors;
    EXPECT_FALSE(help);
    EXPECT_EQ(o.laps, 4);
    EXPECT_EQ(o.erode, 3);
    EXPECT_FALSE(o.uploads);
    EXPECT_EQ(o.track, "x");
    const char* bad[] = {"quarnix-server", "--port"};
    EXPECT_FALSE(parse_server_args(2, (char**)bad, o, help, errors));
}

}  // namespace
