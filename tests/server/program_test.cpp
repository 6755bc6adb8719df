// The real quarnix-server program on the built game data, two scripted
// clients on 127.0.0.1 in real time: connect, race two laps of Rabbit Hill,
// chat, upload, restart, leave; then the program's log and exit.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "script_client.h"
#include "testkit/testkit.h"

namespace {

double wall() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

std::string hex(const std::array<uint8_t, 20>& d) {
    std::string s;
    char b[3];
    for (uint8_t x : d) snprintf(b, sizeof b, "%02x", x), s += b;
    return s;
}

bool has(const std::vector<std::string>& v, const std::string& x) { return std::find(v.begin(), v.end(), x) != v.end(); }

struct server_process {
    temp_dir dir;
    pid_t pid = -1;
    int port = 0;
    std::string log_path = dir.file("server.log");

    bool start(std::vector<std::string> args) {
        int probe = net_open(0);
        port = net_local_port(probe);
        net_close(probe);
        std::string program = std::string(QX_BIN_DIR) + "/quarnix-server";
        args.insert(args.begin(), {program, "--port", std::to_string(port), "--upload-dir", dir.file("uploads")});
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&fa, 1, 2);
        int r = posix_spawn(&pid, program.c_str(), &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        if (r != 0) return false;
        for (double end = wall() + 60; wall() < end;) {
            if (log().find("listening on UDP port") != std::string::npos) return true;
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid) return pid = -1, false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    std::string log() const { return path_exists(log_path) ? read_file(log_path) : ""; }
    int stop() {
        if (pid < 0) return -1;
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    }
    ~server_process() {
        if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    }
};

bool racing_together(const script_client& a, const script_client& b) {
    return a.state == script_state::racing && b.state == script_state::racing && a.race_id == b.race_id &&
           a.rider_texts.count(b.slot) && b.rider_texts.count(a.slot);
}

TEST(ServerProgram, TwoClientsRaceTwoLapsOfRabbitHill) {
    server_process server;
    ASSERT_TRUE(server.start({"--track", "rabbithill", "--laps", "2", "--gate-delay", "1", "--restart-delay", "1"}))
        << server.log();
    script_client a, b;
    ASSERT_TRUE(script_open(a, server.port, 31, "Alice"));
    ASSERT_TRUE(script_open(b, server.port, 32, "Bob"));
    // Both clients, each tick, in real time; `also` runs first.
    auto run = [&](const std::function<bool()>& done, double seconds, const std::function<void()>& also = {}) {
        for (double end = wall() + seconds; wall() < end;) {
            if (also) also();
            script_tick(a, wall());
            script_tick(b, wall());
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return done();
    };
    ASSERT_TRUE(run([&] { return racing_together(a, b); }, 30)) << server.log();
    EXPECT_EQ(a.track, "rabbithill");
    std::string listen_line = server.log();
    EXPECT_NE(listen_line.find("digest " + hex(a.digest)), std::string::npos) << listen_line;
    EXPECT_EQ(a.digest, b.digest);

    script_send_text(a, msg_text, "good luck");
    ASSERT_TRUE(run([&] { return has(b.texts, "Alice: good luck"); }, 5));
    script_send_text(b, msg_command, "sendfile");
    ASSERT_TRUE(run([&] { return has(b.commands, "sendready"); }, 5));
    script_send_text(b, msg_command, "sendpart -lap times");
    script_send_text(b, msg_command, "namefile times.txt");
    ASSERT_TRUE(run([&] { return has(b.texts, "File times.txt received (9 bytes)"); }, 5));
    EXPECT_EQ(read_file(server.dir.file("uploads/times.txt")), "lap times");

    // The track has its lap lists: with two laps the last gate index is
    // first + normal - 1. Ride both riders' crossings past it, a little
    // apart, until the next race comes.
    int32_t race = a.race_id;
    int ga = 0, gb = 0;
    double next = wall();
    ASSERT_TRUE(run([&] { return a.race_id > race && b.race_id > race; }, 60,
                    [&] {
                        if (wall() < next || ga > 200) return;
                        next = wall() + 0.03;
                        if (a.state == script_state::racing) script_send(a, msg_gates, encode_gate_passed(a.race_id, ga++, a.local_tic));
                        if (b.state == script_state::racing && ga % 3) script_send(b, msg_gates, encode_gate_passed(b.race_id, gb++, b.local_tic));
                    }))
        << server.log();
    EXPECT_TRUE(std::any_of(b.gates.begin(), b.gates.end(), [&](const gate_record& g) { return g.slot == a.slot; }));
    ASSERT_TRUE(run([&] { return racing_together(a, b); }, 20));
    EXPECT_TRUE(a.remote.count(b.slot) || run([&] { return a.remote.count(b.slot) > 0; }, 2));

    for (script_client* c : {&a, &b}) c->state = script_state::disconnecting, c->last_send = -1e9;
    ASSERT_TRUE(run([&] { return a.disconnected && b.disconnected; }, 5));
    script_close(a);
    script_close(b);
    EXPECT_EQ(server.stop(), 0);
    std::string log = server.log();
    for (const std::string& line :
         {std::string("join slot ") + std::to_string(a.slot), std::string("\"Bob\""),
          std::string("race ") + std::to_string(race) + " start on rabbithill, 2 laps",
          std::string("race ") + std::to_string(race) + " finished (2 of 2 riders)", std::string("leave slot"),
          std::string("shutting down")})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST(ServerProgram, HelpAndBadOptions) {
    std::string program = std::string(QX_BIN_DIR) + "/quarnix-server";
    run_result help = run_program({program, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--track DIR"), std::string::npos);
    run_result bad = run_program({program, "--laps", "many"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--laps needs a whole number"), std::string::npos);
    run_result track = run_program({program, "--track", "nosuchtrack", "--port", "1"});
    EXPECT_EQ(track.status, 1);
    EXPECT_NE(track.err.find("no track 'nosuchtrack'"), std::string::npos) << track.err;
}

}  // namespace
