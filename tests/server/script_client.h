// A scripted client for the race server tests: the client's handshake,
// state cadence and reliable layer, built on the shared packet code and a
// real UDP socket, driven with a simulated clock. It records what it saw.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/random.h"
#include "net/messages.h"
#include "net/packets.h"
#include "net/reliable.h"
#include "net/socket.h"

enum class script_state { contacting, identifying, track_ack, riders_ack, start_ack, racing, restarting,
                          disconnecting, gone };

struct script_client {
    net_link link;
    script_state state = script_state::contacting;
    uint32_t token = 0;
    int32_t slot = net_no_slot, connection_id = 0, race_id = 0;
    int32_t gate_drop = 0, laps = 0;
    std::string track, password;
    std::array<uint8_t, 20> digest{};
    rider_info info;
    int last_slot = net_no_slot, start_position = net_no_slot;
    int32_t highest_server_tic = 0, local_tic = 0;
    double tic_time = 0;  // time of local tic 0 once following the server
    double last_send = -1e9;
    int send_loss = 0;  // percent of our own datagrams dropped before sending
    random_state random;
    reliable_sender out;
    reliable_receiver in;
    compact_state state_bytes{};

    // What it saw.
    std::vector<int> slot_infos;
    std::map<int, std::string> rider_texts;
    std::map<int, state_record> remote;  // newest state per slot
    std::vector<std::string> texts, commands, errors;
    std::vector<gate_record> gates;
    std::vector<std::vector<uint8_t>> deformations;
    int restarts = 0, races = 0, welcomes = 0;
    bool server_full = false, disconnected = false;
};

bool script_open(script_client& c, int port, uint32_t token, const std::string& name);
void script_close(script_client& c);
// One network tick at `now`: the receive pass, the reliable head, the
// state's packet (every second in the handshake, every 4 tics racing).
void script_tick(script_client& c, double now);
// Queues a reliable message.
void script_send(script_client& c, uint8_t type, const std::vector<uint8_t>& payload);
void script_send_text(script_client& c, uint8_t type, const std::string& text);
// One raw datagram to the server, as it is.
void script_send_raw(script_client& c, const void* bytes, size_t size);
void script_send_packet(script_client& c, const client_packet& p);
