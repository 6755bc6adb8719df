// The connection's states and its network step. Every datagram from the
// server goes through the packet decoder first, which refuses anything short
// or out of range; the handlers below then check the state and race they
// belong to before anything reaches a table.
#include "net/client.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <ctime>

#include "core/clock.h"
#include "core/diag.h"
#include "net/messages.h"
#include "net/net.h"

net_client client;
client_system_driver client_system;
client_game_driver client_game;

namespace {

// A flooding server must not hold the frame loop: what is left waits for
// the next tick.
constexpr int datagrams_per_tick = 1024;

double now() { return client_system.now ? client_system.now() : time_now(); }
uint32_t calendar() { return client_system.calendar ? client_system.calendar() : (uint32_t)time(nullptr); }

int local_tic() { return client_game.local_tic ? client_game.local_tic() : 0; }

bool tic_in_range(int32_t tic) { return tic >= 0 && tic < client_tic_limit; }

void close_transfer() {
    if (client.transfer_file && client_game.close_file) client_game.close_file(client.transfer_file);
    client.transfer_file = nullptr;
    client.transfer_ready = false;
}

void close_socket() {
    if (client.link.socket >= 0) {
        if (client_system.close)
            client_system.close(client.link.socket);
        else
            net_close(client.link.socket);
    }
    client.link.socket = -1;
    client.link.fake.queue.clear();
}

void enter(int state) {
    client.state = state;
    client.last_send_time = 0;
    client.state_since = now();
}

void send_packet(client_packet& p) {
    p.slot = client.slot;
    p.connection_id = client.connection_id;
    datagram d;
    if (!encode_client_packet(p, d)) return;
    if (net_link_send(client.link, d.bytes.data(), d.size) < 0) {
        const char* name = net_error_name();
        show_messagef("sendto error (%.100s)", name ? name : "unknown");
    }
}

void send_simple(uint8_t type) {
    client_packet p;
    p.type = type;
    p.race_id = client.race_id;
    send_packet(p);
}

rider_info own_rider() { return client_game.own_rider ? client_game.own_rider() : rider_info{}; }

void send_contact() {
    client_packet p;
    p.type = cp_contact;
    p.password_flag = client.password.empty() ? 0 : 1;
    p.version = net_client_version;
    p.client_token = client.client_token;
    send_packet(p);
}

void send_client_info() {
    client_packet p;
    p.type = cp_client_info;
    if (!client.password.empty()) p.proof = password_proof(client.password, client.connection_id);
    p.client_token = client.client_token;
    p.text = client_info_text(own_rider(), max_datagram - client_packet_min_size(cp_client_info));
    send_packet(p);
}

// The packet a handshake state repeats every second.
void send_state_packet() {
    switch (client.state) {
        case client_contacting:
            send_contact();
            show_message("Contacting server\n");
            break;
        case client_identifying:
            send_client_info();
            show_message("Sending client info\n");
            client.info_changed = false;
            break;
        case client_track_acknowledged:
            send_simple(cp_track_ack);
            show_message("Sending track acknowledgment\n");
            break;
        case client_riders_acknowledged: {
            client_packet p;
            p.type = cp_slot_ack;
            p.race_id = client.race_id;
            p.last_slot = client.last_slot_info;
            send_packet(p);
            show_messagef("Sending bike acknowledgment %d\n", client.last_slot_info);
            break;
        }
        case client_start_acknowledged: send_simple(cp_start_ack); break;
        case client_restarting:
            send_simple(cp_restart_ack);
            show_message("Sending restart\n");
            break;
        case client_disconnecting:
            send_simple(cp_disconnect);
            show_message("Disconnecting\n");
            break;
        default: break;
    }
}

void queue_message(uint8_t type, const void* bytes, size_t size) {
    reliable_message& m = reliable_new(client.outgoing, type);
    reliable_append(m, bytes, size);
}

void queue_text(uint8_t type, const std::string& text) { queue_message(type, text.data(), text.size()); }

void start_contact() {
    net_address address;
    bool resolved = client_system.resolve ? client_system.resolve(client.server_address.c_str(), net_default_port, address)
                                          : net_resolve(client.server_address.c_str(), net_default_port, address);
    if (!resolved) {
        show_message("Can't resolve address\n");
        client.server_address.clear();
        return;
    }
    int s = client_system.open ? client_system.open() : net_open();
    if (s < 0) {
        show_message("Can't create socket\n");
        client.server_address.clear();
        return;
    }
    client.link.socket = s;
    client.link.server = address;
    client.link.fake.queue.clear();
    reliable_reset(client.outgoing);
    reliable_reset(client.incoming);
    enter(client_contacting);
    client.client_token = calendar();
    client.last_send_time = now();
    client.last_heard = client.last_send_time;
    send_contact();
}

// ---- server messages ---------------------------------------------------------------

bool recording() { return client_game.recording && client_game.recording(); }

void handle_command(const std::string& text) {
    server_command c = parse_server_command(text);
    switch (c.kind) {
        case server_command_kind::no_arcade:
            client.arcade_banned = true;
            if (client_game.arcade_on && client_game.arcade_on()) {
                show_message("Arcade physics disabled");
            }
            if (client_game.set_arcade_ban) client_game.set_arcade_ban(true);
            break;
        case server_command_kind::off_course_bias:
        case server_command_kind::off_course_scale:
            if (!std::isfinite(c.value)) break;
            // The race counts the bias in whole tics after the gate drop.
            if (c.kind == server_command_kind::off_course_bias)
                client.off_course_bias = std::clamp(c.value, -client_off_course_limit, client_off_course_limit);
            else
                client.off_course_scale = std::clamp(c.value, -client_off_course_limit, client_off_course_limit);
            if (client_game.off_course) client_game.off_course(client.off_course_bias, client.off_course_scale);
            break;
        case server_command_kind::knockout:
            if (client_game.set_knockout) client_game.set_knockout(c.knockout.data(), net_knockout_entries);
            break;
        case server_command_kind::erode_malformed: show_message("Malformed erode command received"); break;
        case server_command_kind::erode: {
            int current = client_game.erode_rate ? client_game.erode_rate() : 0;
            erode_effect e = erode_command_effect(c, client.race_id, current);
            if (e.set && client_game.set_erode_rate) client_game.set_erode_rate(e.rate);
            if (e.record && recording() && client_game.record_command) {
                char line[32];
                snprintf(line, sizeof line, "erode %d", e.rate);
                client_game.record_command(line);
            }
            if (e.track_modified && client_game.mark_track_modified) client_game.mark_track_modified();
            break;
        }
        case server_command_kind::send_ready:
            if (client.transfer_file) client.transfer_ready = true;
            break;
        case server_command_kind::send_denied:
            show_message("Send file denied");
            close_transfer();
            client.final_text.clear();
            break;
        default: break;
    }
}

void deliver(void*, const reliable_message& m) {
    const uint8_t* data = m.payload.data();
    size_t size = m.payload.size();
    switch (m.message_type) {
        case msg_text: {
            std::string text = decode_message_text(data, size);
            show_message(text.c_str());
            if (recording() && client_game.record_text) client_game.record_text(text.c_str());
            break;
        }
        case msg_gates: {
            int32_t race_id = 0;
            std::vector<gate_record> records;
            bool short_records = false;
            if (!decode_gate_table(data, size, race_id, records, short_records) || race_id != client.race_id) break;
            for (const gate_record& g : records) {
                if (g.slot < 0 || g.slot >= net_slot_count || g.slot == client.slot || !tic_in_range(g.tic)) continue;
                if (!client_game.slot_has_bike || !client_game.slot_has_bike(g.slot)) continue;
                if (client_game.remote_gate) client_game.remote_gate(g.slot, g.gate, g.tic);
            }
            if (client_game.update_standings) client_game.update_standings();
            break;
        }
        case msg_command: handle_command(decode_message_text(data, size)); break;
        case msg_deformation: {
            int32_t race_id = 0;
            std::vector<uint8_t> record;
            if (!decode_deformation(data, size, race_id, record)) break;
            if (race_id == client.race_id && client_game.deform) client_game.deform(record.data(), record.size());
            // The demo keeps the record as the terrain reads it.
            if (recording() && client_game.record_deformation)
                client_game.record_deformation(record.data(), record.size());
            break;
        }
        default: break;
    }
}

// ---- server packets ------------------------------------------------------------------

void clear_slots() {
    for (client_slot& s : client.slots) s = client_slot{};
}

void race_info(const server_packet& p) {
    if (client.state != client_identifying && client.state != client_restarting) return;
    if (client.slot == net_no_slot) return;
    if (client.race_id != 0 && p.race_id != client.race_id) return;
    client.race_id = p.race_id;
    client.time_limit = std::clamp(p.time_limit, 0, client_tic_limit);
    client.laps = std::clamp(p.laps, 0, client_lap_limit);
    client.gate_drop = std::clamp(p.gate_drop, 0, client_tic_limit);
    client.server_digest = p.digest;
    client.track_name = p.text;
    if (!client_game.has_track || !client_game.has_track(client.track_name.c_str())) {
        show_messagef("Can't find track '%.150s'\n", client.track_name.c_str());
        enter(client_disconnecting);
        return;
    }
    clear_slots();
    client.highest_server_tic = 0;
    client.server_clock = 0;
    client.reported_gates = 0;
    client.start_position = net_no_slot;
    client.last_slot_info = net_no_slot;
    enter(client_track_acknowledged);
}

void slot_info(const server_packet& p) {
    if (client.state != client_track_acknowledged && client.state != client_riders_acknowledged) return;
    if (p.race_id != client.race_id || p.slot < 0 || p.slot >= net_slot_count) return;
    if (client.last_slot_info != net_no_slot && p.slot <= client.last_slot_info) return;
    client_slot& s = client.slots[(size_t)p.slot];
    s = client_slot{};
    s.kind = client_slot_remote;
    s.info = parse_rider_info(p.text);
    client.last_slot_info = p.slot;
    enter(client_riders_acknowledged);
}

void start(const server_packet& p) {
    if (client.state != client_track_acknowledged && client.state != client_riders_acknowledged) return;
    if (p.race_id != client.race_id) return;
    if (client.slot >= 0 && client.slot < net_slot_count) {
        client_slot& own = client.slots[(size_t)client.slot];
        own = client_slot{};
        own.kind = client_slot_own;
        own.info = parse_rider_info(p.text);
    }
    client.start_position = p.start_position;
    if (client_game.reset_race)
        client_game.reset_race(client.track_name.c_str(), client.time_limit, client.laps, client.gate_drop);
    enter(client_start_acknowledged);
    // Loading the track may take a while; the server is not silent for it.
    client.last_heard = now();
    std::array<uint8_t, 20> mine{};
    bool have = client_game.track_digest && client_game.track_digest(mine);
    if (!have || mine != client.server_digest) {
        show_messagef("Client track modified - does not match server's track (%.100s)\n", client.track_name.c_str());
        enter(client_disconnecting);
    }
}

void report_race_length() {
    if (client.time_limit < 1) {
        show_messagef("%d laps", client.laps);
        return;
    }
    int minutes = (int)(client.time_limit * tic_length / 60 + 0.5);
    if (client.laps < 1)
        show_messagef("%d minutes", minutes);
    else
        show_messagef("%d minutes + %d laps", minutes, client.laps);
}

void timing(const server_packet& p) {
    if (client.state != client_start_acknowledged && client.state != client_racing) return;
    if (p.race_id != client.race_id || !tic_in_range(p.server_tic)) return;
    if (p.type == sp_states) {
        for (int i = 0; i < p.record_count && i < max_state_records; i++) {
            const state_record& r = p.records[(size_t)i];
            if (r.slot < 0 || r.slot >= net_slot_count || !tic_in_range(r.tic)) continue;
            client_slot& s = client.slots[(size_t)r.slot];
            if (s.kind != client_slot_remote || r.tic <= s.newest_tic) continue;
            if (!client_game.slot_has_bike || !client_game.slot_has_bike(r.slot)) continue;
            s.newest_tic = r.tic;
            s.round_trip = r.round_trip;
            if (client_game.add_remote_state) client_game.add_remote_state(r.slot, r.state, r.tic);
        }
        if (p.records_short) show_message("State packet too small");
    }
    if (p.echoed_tic != 0 && tic_in_range(p.echoed_tic) && client.slot >= 0 && client.slot < net_slot_count)
        client.slots[(size_t)client.slot].round_trip =
            (int)std::clamp((int64_t)local_tic() - p.echoed_tic, (int64_t)-client_tic_limit, (int64_t)client_tic_limit);
    if (client.highest_server_tic == 0 && client_game.set_local_tic) client_game.set_local_tic(p.server_tic);
    if (p.server_tic > client.highest_server_tic) {
        client.highest_server_tic = p.server_tic;
        client.server_clock = p.server_tic;
    }
    if (client.state == client_start_acknowledged) {
        report_race_length();
        enter(client_racing);
    }
}

void handle_packet(const uint8_t* bytes, size_t size) {
    server_packet p;
    if (!decode_server_packet(bytes, size, p)) return;
    client.last_heard = now();
    switch (p.type) {
        case sp_server_full: show_message("Server is full\n"); break;
        case sp_welcome:
            if (client.state != client_contacting) break;
            client.slot = p.slot;
            client.connection_id = p.connection_id;
            if (p.protocol != net_server_protocol) {
                show_message("Server version does not match client version\n");
                enter(client_disconnecting);
            } else {
                enter(client_identifying);
            }
            break;
        case sp_race_info: race_info(p); break;
        case sp_slot_info: slot_info(p); break;
        case sp_start: start(p); break;
        case sp_time_sync:
        case sp_states: timing(p); break;
        case sp_restart:
            if ((client.state == client_start_acknowledged || client.state == client_racing) && p.race_id > client.race_id) {
                client.race_id = p.race_id;
                enter(client_restarting);
            }
            break;
        case sp_disconnected:
            show_message("Disconnected\n");
            client_reset();
            break;
        case sp_error:
            show_message(p.text.c_str());
            // Already leaving: the wait for the confirmation runs on.
            if (client.state != client_disconnecting) enter(client_disconnecting);
            break;
        case sp_reliable: {
            bool ack = reliable_receive(client.incoming, p.sequence, p.message_type, p.payload.data(), p.payload.size(),
                                        deliver, nullptr);
            // A message may have ended the connection.
            if (ack && client.link.socket >= 0) {
                client_packet a;
                a.type = cp_ack;
                a.sequence = p.sequence;
                send_packet(a);
            }
            break;
        }
        case sp_ack: reliable_acknowledged(client.outgoing, p.sequence); break;
        case sp_redirect:
            if (client.state != client_contacting || p.client_token != client.client_token) break;
            {
                std::string address = p.text.substr(0, client_max_address);
                client_reset();
                client.server_address = address;
            }
            break;
        default: break;
    }
}

void receive_pass(double t) {
    uint8_t buffer[max_datagram + 1];
    for (int i = 0; i < datagrams_per_tick && client.link.socket >= 0; i++) {
        int n = net_link_receive(client.link, buffer, max_datagram, t);
        if (n < 0) break;
        handle_packet(buffer, (size_t)n);
    }
}

void transfer_step(double t) {
    if (!client.transfer_ready || !client.transfer_file || t < client.next_part_time) return;
    client.next_part_time = t + client_part_interval;
    uint8_t part[client_file_part];
    int n = client_game.read_file ? client_game.read_file(client.transfer_file, part, (int)sizeof part) : -1;
    if (n < 0) {
        // Naming a file the server got only part of would pass it off as
        // whole: the transfer stops unnamed.
        show_message("Error reading file: transfer stopped");
        close_transfer();
        client.final_text.clear();
        return;
    }
    if (n > 0) {
        std::string message = "sendpart -";
        message.append((const char*)part, (size_t)std::min(n, (int)sizeof part));
        queue_text(msg_command, message);
    }
    if (n < (int)sizeof part) {
        close_transfer();
        queue_text(msg_command, client.final_text);
    }
}

void send_due_reliable(double t) {
    const reliable_message* m = reliable_due(client.outgoing, t);
    if (!m) return;
    client_packet p;
    p.type = cp_reliable;
    p.sequence = m->sequence;
    p.message_type = m->message_type;
    p.payload = m->payload;
    send_packet(p);
}

void racing_step() {
    if (client.slot == net_no_slot || client.start_position == net_no_slot) return;
    compact_state state{};
    if (!client_game.own_state || !client_game.own_state(client.slot, state)) return;
    int gates = client_game.gate_count ? client_game.gate_count(client.slot) : 0;
    if (gates != client.reported_gates) {
        client.reported_gates = gates;
        if (gates > 0) {
            int tic = client_game.gate_tic ? client_game.gate_tic(client.slot, gates - 1) : 0;
            std::vector<uint8_t> m = encode_gate_passed(client.race_id, gates - 1, tic);
            queue_message(msg_gates, m.data(), m.size());
        }
    }
    int tic = local_tic();
    if (tic % 4 == 0) {
        client_packet p;
        p.type = cp_state;
        p.race_id = client.race_id;
        p.server_tic = client.highest_server_tic;
        p.local_tic = tic;
        p.state = state;
        send_packet(p);
    }
    if (client.info_changed && !(client_game.editing_rider && client_game.editing_rider())) {
        queue_text(msg_client_info, client_info_text(own_rider(), reliable_payload_max));
        client.info_changed = false;
    }
}

bool valid_file_name(const std::string& name) {
    if (name.empty()) return false;
    for (unsigned char c : name)
        if (!(isalnum(c) || c == '_' || c == '.')) return false;
    return true;
}

}  // namespace

void client_init() {
    close_transfer();
    close_socket();
    client = net_client{};
}

void client_set_address(const char* address) {
    client.server_address = address ? std::string(address).substr(0, client_max_address) : "";
}

void client_set_password(const char* password) { client.password = password ? password : ""; }

void client_reset() {
    close_socket();
    close_transfer();
    client.final_text.clear();
    client.server_address.clear();
    client.slot = net_no_slot;
    client.race_id = client.connection_id = 0;
    client.time_limit = client.laps = client.gate_drop = 0;
    client.highest_server_tic = client.server_clock = 0;
    client.reported_gates = 0;
    client.last_send_time = 0;
    client.start_position = net_no_slot;
    client.last_slot_info = net_no_slot;
    client.state = client_idle;
    if (client.arcade_banned && client_game.set_arcade_ban) client_game.set_arcade_ban(false);
    client.arcade_banned = false;
    client.off_course_bias = net_default_off_course_bias;
    client.off_course_scale = net_default_off_course_scale;
    if (client_game.off_course) client_game.off_course(client.off_course_bias, client.off_course_scale);
    reliable_reset(client.outgoing);
    reliable_reset(client.incoming);
    clear_slots();
}

bool client_socket_open() { return client.link.socket >= 0; }

void client_menu_disconnect() {
    if (!client_socket_open()) return;
    if (client.state == client_contacting) {
        client_reset();
        show_message("Disconnected\n");
    } else if (client.state != client_disconnecting) {
        enter(client_disconnecting);
    }
}

void client_leave() {
    if (!client_socket_open()) {
        client.server_address.clear();
        return;
    }
    send_simple(cp_disconnect);
    show_message("Disconnecting\n");
    client_reset();
}

void client_request_restart() {
    if (!client_socket_open() || client.state != client_racing) return;
    client_packet p;
    p.type = cp_restart_request;
    send_packet(p);
    show_message("Requesting restart\n");
}

void client_send_file(const char* text) {
    // The console hands the text after the command word, blanks and all.
    std::string name = text ? text : "";
    name.erase(0, name.find_first_not_of(" \t") == std::string::npos ? name.size() : name.find_first_not_of(" \t"));
    if (!valid_file_name(name)) {
        show_message("Filename may only contain alphanumeric characters, '_' or '.'");
        return;
    }
    if (name.size() > client_max_file_name) {
        show_message("Filename too long");
        return;
    }
    if (client.transfer_file) {
        close_transfer();
        show_message("Stopping previous transfer");
    }
    if (!client_socket_open()) {
        show_message("Not connected to server");
        return;
    }
    void* f = client_game.open_outgoing ? client_game.open_outgoing(name.c_str()) : nullptr;
    if (!f) {
        show_message("Can't open file");
        return;
    }
    client.transfer_file = f;
    client.transfer_ready = false;
    client.next_part_time = 0;
    client.final_text = "namefile " + name;
    queue_text(msg_command, "sendfile");
    show_message("Sending file");
}

void client_info_changed() { client.info_changed = true; }

void client_send_deformation(const uint8_t* record, size_t size) {
    if (!client_socket_open() || !record) return;
    std::vector<uint8_t> m = encode_deformation(client.race_id, record, size);
    queue_message(msg_deformation, m.data(), m.size());
}

bool client_remote_fresh(int slot, int tic) {
    if (slot < 0 || slot >= net_slot_count) return false;
    const client_slot& s = client.slots[(size_t)slot];
    return s.kind == client_slot_remote && s.newest_tic >= 0 && tic - s.newest_tic <= 128;
}

// ---- the game's calls ------------------------------------------------------------------

void net_tick() {
    double t = now();
    if (!client.server_address.empty() && !client_socket_open()) start_contact();
    if (!client_socket_open()) return;
    if (client.server_clock > 0) client.server_clock++;
    receive_pass(t);
    if (!client_socket_open()) return;
    // A server that has gone away, or never confirms a disconnect, does not
    // keep the client waiting for ever.
    if (t - client.last_heard > client_silence_limit) {
        show_message("No answer from the server: disconnected\n");
        client_reset();
        return;
    }
    if (client.state == client_disconnecting && t - client.state_since > client_silence_limit) {
        show_message("The server did not confirm the disconnect: disconnected\n");
        client_reset();
        return;
    }
    transfer_step(t);
    send_due_reliable(t);
    if (client.state != client_racing) {
        if (t - client.last_send_time < client_repeat_interval) return;
        client.last_send_time = t;
        send_state_packet();
        return;
    }
    racing_step();
}

bool net_connected() { return client_socket_open(); }
void net_disconnect() { client_leave(); }
void net_shutdown() { client_init(); }
bool net_server_tic_received() { return client.highest_server_tic > 0; }
int net_server_tic() { return client.server_clock; }
bool net_has_server_slot() {
    return (client.state == client_start_acknowledged || client.state == client_racing) &&
           client.slot != net_no_slot && client.start_position != net_no_slot;
}
const char* net_rider_name(int slot) {
    if (slot < 0 || slot >= net_slot_count || client.slots[(size_t)slot].kind == client_slot_none) return nullptr;
    return client.slots[(size_t)slot].info.name.c_str();
}
void net_connect(const char* address, const char* password, double fake_lag, int fake_loss) {
    client_set_address(address);
    client_set_password(password);
    fake_network_set(client.link.fake, fake_lag * 1000, fake_loss);
}
void net_send_text(const char* text) {
    if (client_socket_open()) queue_text(msg_text, text ? text : "");
}
