// The game's own connection code against the race server over loopback:
// the real client (the process-wide one) and a scripted second rider, the
// client driven tic by tic as the frame loop drives it, with scripted
// controls standing in for the race. Built only where the client exists.
#if __has_include("net/client.h")
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/diag.h"
#include "net/client.h"
#include "net/net.h"
#include "rig.h"

namespace {

struct scripted_race {
    int tic = 0;
    int gates = 0;  // the own rider's gate count
    std::vector<int> gate_tics;
    std::map<int, int> remote_states;  // slot -> states added
    std::vector<gate_record> remote_gates;
    std::string upload = "a short file";
    size_t read_at = 0;
    int resets = 0;
};
scripted_race R;
double* g_clock = nullptr;
std::array<uint8_t, 20> g_digest{};

void fill_drivers() {
    client_system = client_system_driver{};
    client_system.now = [] { return *g_clock; };
    client_game = client_game_driver{};
    client_game.has_track = [](const char* dir) { return strcmp(dir, "rabbithill") == 0; };
    client_game.track_digest = [](std::array<uint8_t, 20>& out) { return out = g_digest, true; };
    client_game.reset_race = [](const char*, int, int, int) {
        R.resets++;
        R.gates = 0;
        R.gate_tics.clear();
        return true;
    };
    client_game.local_tic = [] { return R.tic; };
    client_game.set_local_tic = [](int t) { R.tic = t; };
    client_game.own_state = [](int, compact_state& out) {
        out.fill(0x5c);
        return true;
    };
    client_game.gate_count = [](int) { return R.gates; };
    client_game.gate_tic = [](int, int position) {
        return position >= 0 && position < (int)R.gate_tics.size() ? R.gate_tics[(size_t)position] : 0;
    };
    client_game.slot_has_bike = [](int) { return true; };
    client_game.add_remote_state = [](int slot, const compact_state&, int) { R.remote_states[slot]++; };
    client_game.remote_gate = [](int slot, int position, int tic) { R.remote_gates.push_back({slot, position, tic}); };
    client_game.own_rider = [] {
        rider_info r;
        r.model = "YZ250";
        r.number = "7";
        r.name = "Carol";
        return r;
    };
    client_game.open_outgoing = [](const char*) -> void* {
        R.read_at = 0;
        return &R;
    };
    client_game.read_file = [](void*, uint8_t* buffer, int size) {
        int n = (int)std::min((size_t)size, R.upload.size() - R.read_at);
        memcpy(buffer, R.upload.data() + R.read_at, (size_t)n);
        R.read_at += (size_t)n;
        return n;
    };
    client_game.close_file = [](void*) {};
}

bool said(const std::string& text) {
    for (int age = 0; age < message_history_lines; age++)
        if (strstr(message_line(age), text.c_str())) return true;
    return false;
}

struct real_client : ::testing::Test {
    server_rig rig{[] {
        server_config c;
        c.laps = 2;
        c.gate_delay = 1;
        c.restart_delay = 1;
        return c;
    }()};
    void SetUp() override {
        R = scripted_race{};
        g_clock = &rig.now;
        g_digest = test_track().digest;
        fill_drivers();
        client_init();
        clear_message_history();
    }
    void TearDown() override {
        client_init();
        client_system = client_system_driver{};
        client_game = client_game_driver{};
    }
    void session(double lag, int loss);
    // One tic: the server and the scripted rider, then the frame loop's
    // network step and the race tic for the real client.
    bool run(const std::function<bool()>& done, double seconds, const std::function<void()>& also = {}) {
        for (double end = rig.now + seconds; rig.now < end;) {
            if (also) also();
            rig.step();
            net_tick();
            if (client.state == client_racing) R.tic++;
            if (done()) return true;
        }
        return done();
    }
};

// The whole session; with lag (seconds) and loss (percent) on what both
// clients receive, and the same loss on what Bob sends.
void real_client::session(double lag, int loss) {
    script_client& bob = rig.add("Bob", 77);
    fake_network_set(bob.link.fake, lag * 1000, loss);
    bob.send_loss = loss;
    net_connect(("127.0.0.1:" + std::to_string(rig.port)).c_str(), "", lag, loss);
    ASSERT_TRUE(run(
        [&] {
            return client.state == client_racing && bob.state == script_state::racing &&
                   bob.race_id == client.race_id && client.slots[(size_t)bob.slot].kind == client_slot_remote &&
                   bob.rider_texts.count(client.slot);
        },
        30))
        << "client state " << client.state;
    EXPECT_EQ(client.slots[(size_t)bob.slot].info.name, "Bob");
    EXPECT_EQ(parse_rider_info(bob.rider_texts[client.slot]).name, "Carol");
    EXPECT_NE(client.start_position, net_no_slot);
    EXPECT_EQ(client.track_name, "rabbithill");
    ASSERT_TRUE(run([&] { return R.remote_states[bob.slot] > 10 && bob.remote.count(client.slot); }, 5));
    compact_state carol;
    carol.fill(0x5c);
    EXPECT_EQ(bob.remote[client.slot].state, carol);

    net_send_text("hi Bob");
    script_send_text(bob, msg_text, "hi Carol");
    ASSERT_TRUE(run([&] { return said("Bob: hi Carol") && std::count(bob.texts.begin(), bob.texts.end(), "Carol: hi Bob"); },
                    10));

    client_send_file("notes.txt");
    ASSERT_TRUE(run([&] { return said("File notes.txt received (12 bytes)"); }, 10));
    EXPECT_EQ(read_file(rig.s->config.upload_dir + "/notes.txt"), R.upload);

    // Both ride the two laps (gates 0..8 of the test track); the race ends
    // and the next one comes to both.
    int32_t race = client.race_id;
    int bob_gate = 0;
    auto ride = [&] {
        if (client.state == client_racing && R.gates < 9 && R.tic % 20 == 0) {
            R.gate_tics.push_back(R.tic);
            R.gates++;
        }
        if (bob.state == script_state::racing && bob_gate < 9 && bob.local_tic % 24 == 0 && bob.local_tic > 0 &&
            bob.out.queue.size() < 2)
            script_send(bob, msg_gates, encode_gate_passed(bob.race_id, bob_gate++, bob.local_tic));
    };
    ASSERT_TRUE(run([&] { return rig.s->race_over; }, 40, ride)) << server_client_count(*rig.s);
    EXPECT_TRUE(rig.s->clients[(size_t)client.slot].finished);
    EXPECT_TRUE(rig.s->clients[(size_t)bob.slot].finished);
    ASSERT_TRUE(run([&] { return client.race_id > race && client.state == client_racing && bob.race_id > race; }, 20));
    // Crossings still on their way when the next race comes are for the old
    // race and are dropped; without loss the last one arrives in time.
    auto bob_crossed = [&](int gate) {
        return std::any_of(R.remote_gates.begin(), R.remote_gates.end(),
                           [&](const gate_record& g) { return g.slot == bob.slot && g.gate == gate; });
    };
    EXPECT_TRUE(bob_crossed(loss ? 0 : 8));
    EXPECT_TRUE(std::any_of(bob.gates.begin(), bob.gates.end(),
                            [&](const gate_record& g) { return g.slot == client.slot && g.gate == (loss ? 0 : 8); }));
    EXPECT_GE(R.resets, 2);

    client_menu_disconnect();
    ASSERT_TRUE(run([&] { return !client_socket_open(); }, 10));
    EXPECT_EQ(server_client_count(*rig.s), 1);
    EXPECT_TRUE(said("Disconnected"));
}

TEST_F(real_client, RacesChatsUploadsRestartsAndLeaves) { session(0, 0); }
TEST_F(real_client, FinishesThroughLagAndLoss) { session(0.15, 5); }

}  // namespace
#endif
