// The race server: one UDP socket, up to 160 clients keyed by their source
// address, one race at a time on one track. docs/protocol.md is the policy
// this code follows.
//
// Nothing here reads a clock or the socket by itself: server_receive takes
// one datagram and the time, server_tick takes the time. Sending goes
// through net_send on the server's socket (tests and benchmarks replace
// net_driver.send).
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/random.h"
#include "net/packets.h"
#include "net/reliable.h"
#include "net/socket.h"

struct server_config {
    std::string track = "rabbithill";
    int port = net_default_port;
    std::string password;        // empty: none
    std::string data_dir;        // extra data root (empty: the program's folder)
    int max_clients = 160;       // 1..160
    int max_per_host = 16;       // slots one IPv4 host may hold
    int max_riders = 16;         // start positions in the gate
    int laps = 3;
    double time_limit = 0;       // minutes; 0: none
    double gate_delay = 10;      // seconds from the race clock's start to the gate drop
    double timeout = 10;         // seconds of silence before a client is dropped
    double finish_wait = 60;     // seconds after the first finisher before the race ends
    double restart_delay = 10;   // seconds between a race's end and the next race
    int erode = 0;               // erosion rate sent with each race
    bool no_arcade = false;
    bool send_off_course_bias = false;
    double off_course_bias = net_default_off_course_bias;
    bool send_off_course_scale = false;
    double off_course_scale = net_default_off_course_scale;
    std::string knockout;        // integers for "knockout"; empty: not sent
    bool uploads = true;
    std::string upload_dir = "uploads";
    int upload_max_kb = 1024;
    int upload_max_files = 256;  // files the upload folder may hold
    int max_packet_rate = 1000;  // datagrams a second per client
};

// Reads "key value" lines ("#" starts a comment). Unknown keys and bad
// values are errors, each reported as one line in `errors`; good lines are
// applied either way. False when there were errors.
bool parse_server_config(std::string_view text, server_config& c, std::string& errors);
// The command line. False on an error (message in `errors`); `help` is set
// for "--help". "--config FILE" is read (before the options after it).
bool parse_server_args(int argc, char** argv, server_config& c, bool& help, std::string& errors);
extern const char* const server_usage;

// What the server needs of its track.
struct server_track {
    std::string dir;                    // directory name as the track list has it
    std::array<uint8_t, 20> digest{};   // the track code's digest of its files
    int first_lap = 0, normal_lap = 0;  // positions in the first and later laps
};

enum class client_phase : uint8_t { contacted, identified };

struct upload_state {
    bool active = false;
    std::string temp_path;
    FILE* file = nullptr;
    size_t bytes = 0;
};

struct server_client {
    bool used = false;
    net_address address;
    int32_t connection_id = 0;
    uint32_t client_token = 0;
    client_phase phase = client_phase::contacted;
    std::string info_text;  // the client info text as received
    rider_info info;
    double last_heard = 0;
    reliable_sender out;
    reliable_receiver in;
    std::string kick_reason;  // set: kicked at the next tick

    // The race this client's handshake or ride belongs to.
    int32_t race_id = 0;
    int start_position = net_no_slot;
    bool started = false;          // acknowledged the start of race_id
    std::bitset<net_slot_count> told;  // slots whose info it got for race_id
    bool restart_pending = false;  // restart packets go out until acknowledged
    double restart_sent = -1e9;
    bool voted = false;

    bool has_state = false;
    int32_t state_tic = 0;
    compact_state state{};
    double state_time = 0;
    int round_trip = 0;
    int32_t echo_tic = 0;

    int gates_passed = 0;
    bool finished = false;

    double last_chat = -1e9;
    double relay_tokens = 0, relay_time = 0;  // gates and strokes relayed to others
    double rate_window = 0;
    int rate_count = 0, rate_strikes = 0;
    upload_state upload;
};

struct server_counters {
    uint64_t received = 0, bad = 0, unknown = 0, rate_dropped = 0, relay_dropped = 0, sent = 0;
};

struct race_server {
    server_config config;
    server_track track;
    int socket = -1;
    std::array<server_client, net_slot_count> clients{};
    random_state random;

    int32_t race_id = 1;
    bool clock_running = false;
    double clock_base = 0;  // time of tic 0
    int32_t race_tic = 0;
    int32_t gate_drop_tic = 0;
    int32_t time_limit_tics = 0;
    int32_t last_cadence = -1;
    bool leader_done = false;       // someone has passed the final finish line
    double first_finish_time = -1;  // < 0: nobody finished yet
    bool race_over = false;
    double over_time = 0;
    server_counters counters;
    bool quiet = false;  // no log lines (benchmarks)
};

// Sets the server up for this configuration and track (race 1, no
// clients). The socket is the caller's (net_open) or -1.
void server_init(race_server& s, const server_config& c, const server_track& t, int socket, uint32_t seed);
// Frees every client (their upload files removed).
void server_free(race_server& s);
// One datagram from `from` at time `now` (seconds).
void server_receive(race_server& s, const net_address& from, const uint8_t* bytes, size_t size, double now);
// Reads every waiting datagram from the socket into server_receive.
void server_poll(race_server& s, double now);
// Clock, states cadence, resends, restarts, time-outs, race end.
void server_tick(race_server& s, double now);
// Starts the next race now (race id + 1).
void server_restart_race(race_server& s, const char* why);
int server_client_count(const race_server& s);

// An uploaded file's name: 1..255 letters, digits, "_" and ".", not
// beginning with ".".
bool upload_name_ok(std::string_view name);

// A time-stamped log line on standard output.
void server_log(const race_server& s, const char* format, ...) __attribute__((format(printf, 2, 3)));
