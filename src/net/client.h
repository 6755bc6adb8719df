// The connection to a race server: the handshake states, the once-a-tic
// network step, the receive pass, leaving, remote riders' states, the file
// upload and the chat throttle.
//
// The client never calls the race, the track or the demos by name: the game
// fills `client_game` with what it needs from them, and `client_system`
// with the clock and the socket calls (the POSIX ones when left empty), so
// that tests run the whole connection against a scripted server in memory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "bike/compact_state.h"
#include "net/packets.h"
#include "net/reliable.h"
#include "net/socket.h"

enum client_state_number {
    client_idle = -1,
    client_contacting = 0,
    client_identifying = 3,
    client_track_acknowledged = 5,
    client_riders_acknowledged = 7,
    client_start_acknowledged = 9,
    client_racing = 11,
    client_restarting = 14,
    client_disconnecting = 15,
};

enum client_slot_kind { client_slot_none = 0, client_slot_own = 1, client_slot_remote = 2 };

struct client_slot {
    int kind = client_slot_none;
    rider_info info;
    int newest_tic = -1;  // newest accepted state
    int round_trip = 0;   // tics
};

// A server that sends nothing for this long ends the connection.
constexpr double client_silence_limit = 10;
constexpr double client_repeat_interval = 1.0;
constexpr double client_part_interval = 0.25;
constexpr size_t client_max_address = 127;
// "namefile " and the name fit one message.
constexpr size_t client_max_file_name = reliable_payload_max - 9;
constexpr size_t client_file_part = 256;
// Tics and lap counts a server may name. Past these the race's own sums
// (gate drop + time limit, local tic + a second) would overflow; packets
// naming more are ignored, race values are clamped.
constexpr int32_t client_tic_limit = 1 << 28;
constexpr int32_t client_lap_limit = 1 << 16;
// Off-course bias (seconds) and scale a server may set.
constexpr double client_off_course_limit = 1e6;

struct net_client {
    std::string server_address;  // empty: none
    net_link link;
    int state = client_idle;
    int32_t slot = net_no_slot;
    int32_t connection_id = 0;
    int32_t race_id = 0;
    uint32_t client_token = 0;
    std::string password;  // empty: none
    int32_t time_limit = 0, laps = 0, gate_drop = 0;
    std::array<uint8_t, 20> server_digest{};
    std::string track_name;
    int32_t start_position = net_no_slot;
    int32_t last_slot_info = net_no_slot;
    double last_send_time = 0;
    double last_heard = 0;  // the last datagram from the server
    double state_since = 0;
    int32_t highest_server_tic = 0;
    int32_t server_clock = 0;
    int reported_gates = 0;
    bool info_changed = false;
    bool arcade_banned = false;
    reliable_sender outgoing;
    reliable_receiver incoming;
    void* transfer_file = nullptr;
    bool transfer_ready = false;
    std::string final_text;
    double next_part_time = 0;
    double off_course_bias = net_default_off_course_bias;
    double off_course_scale = net_default_off_course_scale;
    std::array<client_slot, net_slot_count> slots{};
};
extern net_client client;

// The clock and the sockets. Empty entries use the real ones.
struct client_system_driver {
    double (*now)() = nullptr;            // seconds, monotonic
    uint32_t (*calendar)() = nullptr;     // seconds since 1970
    bool (*resolve)(const char* text, int default_port, net_address& out) = nullptr;
    int (*open)() = nullptr;              // a socket or -1
    void (*close)(int socket) = nullptr;
};
extern client_system_driver client_system;

// What the connection asks of the rest of the game. An empty entry does
// nothing (a query answers no).
struct client_game_driver {
    bool (*has_track)(const char* dir) = nullptr;
    // The loaded track's digest.
    bool (*track_digest)(std::array<uint8_t, 20>& out) = nullptr;
    // A race on the server's track with client.slots: the own slot human,
    // the remote ones replayed. False when it could not be set up.
    bool (*reset_race)(const char* track, int time_limit, int laps, int gate_drop) = nullptr;
    int (*local_tic)() = nullptr;
    void (*set_local_tic)(int tic) = nullptr;
    // The own rider's state, when its bike exists.
    bool (*own_state)(int slot, compact_state& out) = nullptr;
    int (*gate_count)(int slot) = nullptr;
    int (*gate_tic)(int slot, int position) = nullptr;
    bool (*slot_has_bike)(int slot) = nullptr;
    void (*add_remote_state)(int slot, const compact_state& state, int tic) = nullptr;
    // A remote rider passed a gate: set it and cut the list after it.
    void (*remote_gate)(int slot, int position, int tic) = nullptr;
    void (*update_standings)() = nullptr;
    void (*deform)(const uint8_t* record, size_t size) = nullptr;
    bool (*recording)() = nullptr;
    void (*record_text)(const char* text) = nullptr;
    void (*record_command)(const char* text) = nullptr;
    void (*record_deformation)(const uint8_t* message, size_t size) = nullptr;
    int (*erode_rate)() = nullptr;
    void (*set_erode_rate)(int rate) = nullptr;
    void (*mark_track_modified)() = nullptr;
    void (*set_knockout)(const int32_t* tics, int count) = nullptr;
    // Arcade physics on a bike ridden here; the server's ban on it.
    bool (*arcade_on)() = nullptr;
    void (*set_arcade_ban)(bool banned) = nullptr;
    void (*off_course)(double bias, double scale) = nullptr;
    // The bike choice or the rider info menu is open (the info waits).
    bool (*editing_rider)() = nullptr;
    // The rider's choices for the info texts.
    rider_info (*own_rider)() = nullptr;
    // "@outgoing/<name>", opened for reading; null on failure.
    void* (*open_outgoing)(const char* name) = nullptr;
    int (*read_file)(void* file, uint8_t* buffer, int size) = nullptr;
    void (*close_file)(void* file) = nullptr;
};
extern client_game_driver client_game;

// Every field back to its start-up value, the socket closed; the drivers stay.
void client_init();
// Setting an address starts contacting at the next tick; an empty one stops
// reconnecting.
void client_set_address(const char* address);
void client_set_password(const char* password);
// Closes the socket and clears the connection (see the menu's "Disconnect").
void client_reset();
// The menu's "Connect"/"Disconnect".
void client_menu_disconnect();
// Leaving for an offline race: one disconnect packet, then a reset.
void client_leave();
void client_request_restart();
// The console's "sendfile": the text after the command word (leading
// blanks are skipped).
void client_send_file(const char* name);
// The rider changed model, graphics, number or name.
void client_info_changed();

bool client_socket_open();
// The slot's newest state is less than a second older than the tic.
bool client_remote_fresh(int slot, int tic);
// A terrain deformation record of this machine's riders, for the server.
void client_send_deformation(const uint8_t* record, size_t size);
