#include "script_client.h"

#include <cmath>
#include <string>

namespace {

void base(const script_client& c, client_packet& p, uint8_t type) {
    p.type = type;
    p.slot = c.slot;
    p.connection_id = c.connection_id;
    p.race_id = c.race_id;
}

void enter(script_client& c, script_state s) {
    c.state = s;
    c.last_send = -1e9;
}

void deliver(void* context, const reliable_message& m) {
    script_client& c = *(script_client*)context;
    std::string text = decode_message_text(m.payload.data(), m.payload.size());
    switch (m.message_type) {
    case msg_text: c.texts.push_back(text); break;
    case msg_command: c.commands.push_back(text); break;
    case msg_gates: {
        int32_t race = 0;
        std::vector<gate_record> g;
        bool short_records = false;
        if (decode_gate_table(m.payload.data(), m.payload.size(), race, g, short_records) && race == c.race_id)
            c.gates.insert(c.gates.end(), g.begin(), g.end());
        break;
    }
    case msg_deformation: c.deformations.push_back(m.payload); break;
    default: break;
    }
}

void handle(script_client& c, const server_packet& p, double now) {
    switch (p.type) {
    case sp_server_full: c.server_full = true; break;
    case sp_welcome:
        if (c.state != script_state::contacting) break;
        c.slot = p.slot;
        c.connection_id = p.connection_id;
        c.welcomes++;
        enter(c, p.protocol == net_server_protocol ? script_state::identifying : script_state::disconnecting);
        break;
    case sp_race_info:
        if ((c.state != script_state::identifying && c.state != script_state::restarting) || c.slot == net_no_slot)
            break;
        if (c.race_id != 0 && p.race_id != c.race_id) break;
        c.race_id = p.race_id;
        c.gate_drop = p.gate_drop;
        c.laps = p.laps;
        c.digest = p.digest;
        c.track = p.text;
        c.last_slot = net_no_slot;
        c.start_position = net_no_slot;
        c.highest_server_tic = 0;
        c.remote.clear();
        c.rider_texts.clear();
        enter(c, script_state::track_ack);
        break;
    case sp_slot_info:
        if ((c.state != script_state::track_ack && c.state != script_state::riders_ack) || p.race_id != c.race_id)
            break;
        if (c.last_slot != net_no_slot && p.slot <= c.last_slot) break;
        c.last_slot = p.slot;
        c.slot_infos.push_back(p.slot);
        c.rider_texts[p.slot] = p.text;
        enter(c, script_state::riders_ack);
        break;
    case sp_start:
        if ((c.state != script_state::track_ack && c.state != script_state::riders_ack) || p.race_id != c.race_id)
            break;
        c.start_position = p.start_position;
        c.races++;
        enter(c, script_state::start_ack);
        break;
    case sp_time_sync:
    case sp_states:
        if ((c.state != script_state::start_ack && c.state != script_state::racing) || p.race_id != c.race_id) break;
        for (int i = 0; i < p.record_count; i++) {
            const state_record& r = p.records[(size_t)i];
            auto it = c.remote.find(r.slot);
            if (r.slot != c.slot && (it == c.remote.end() || r.tic > it->second.tic)) c.remote[r.slot] = r;
        }
        if (c.highest_server_tic == 0) c.tic_time = now - p.server_tic / 128.0;
        if (p.server_tic > c.highest_server_tic) c.highest_server_tic = p.server_tic;
        c.state = script_state::racing;
        break;
    case sp_restart:
        if ((c.state == script_state::start_ack || c.state == script_state::racing) && p.race_id > c.race_id) {
            c.race_id = p.race_id;
            c.restarts++;
            enter(c, script_state::restarting);
        }
        break;
    case sp_disconnected:
        c.disconnected = true;
        c.state = script_state::gone;
        break;
    case sp_error:
        c.errors.push_back(p.text);
        enter(c, script_state::disconnecting);
        break;
    case sp_reliable: {
        client_packet a;
        base(c, a, cp_ack);
        a.sequence = p.sequence;
        script_send_packet(c, a);
        reliable_receive(c.in, p.sequence, p.message_type, p.payload.data(), p.payload.size(), deliver, &c);
        break;
    }
    case sp_ack: reliable_acknowledged(c.out, p.sequence); break;
    default: break;
    }
}

}  // namespace

bool script_open(script_client& c, int port, uint32_t token, const std::string& name) {
    c.token = token;
    c.info.model = "YZ250";
    c.info.number = std::to_string(token % 1000);
    c.info.name = name;
    random_seed(c.random, token);
    for (size_t i = 0; i < c.state_bytes.size(); i++) c.state_bytes[i] = (uint8_t)(token + i);
    return net_link_open(c.link, ("127.0.0.1:" + std::to_string(port)).c_str(), port);
}

void script_close(script_client& c) { net_link_close(c.link); }

void script_send_raw(script_client& c, const void* bytes, size_t size) {
    if (c.send_loss > 0 && (int)(next_u32(c.random) % 100) < c.send_loss) return;
    net_link_send(c.link, bytes, size);
}

void script_send_packet(script_client& c, const client_packet& p) {
    datagram d;
    if (encode_client_packet(p, d)) script_send_raw(c, d.bytes.data(), d.size);
}

void script_send(script_client& c, uint8_t type, const std::vector<uint8_t>& payload) {
    reliable_message& m = reliable_new(c.out, type);
    reliable_append(m, payload.data(), payload.size());
}

void script_send_text(script_client& c, uint8_t type, const std::string& text) {
    script_send(c, type, std::vector<uint8_t>(text.begin(), text.end()));
}

void script_tick(script_client& c, double now) {
    if (c.state == script_state::gone) return;
    uint8_t buf[max_datagram];
    int n;
    while ((n = net_link_receive(c.link, buf, sizeof buf, now)) >= 0) {
        server_packet p;
        if (decode_server_packet(buf, (size_t)n, p)) handle(c, p, now);
        if (c.state == script_state::gone) return;
    }
    if (const reliable_message* m = reliable_due(c.out, now)) {
        client_packet p;
        base(c, p, cp_reliable);
        p.sequence = m->sequence;
        p.message_type = m->message_type;
        p.payload = m->payload;
        script_send_packet(c, p);
    }
    client_packet p;
    if (c.state == script_state::racing) {
        int32_t tic = (int32_t)std::floor((now - c.tic_time) * 128);
        if (tic / 4 == c.local_tic / 4 || c.start_position == net_no_slot) {
            c.local_tic = std::max(c.local_tic, tic);
            return;
        }
        c.local_tic = tic;
        base(c, p, cp_state);
        p.server_tic = c.highest_server_tic;
        p.local_tic = tic;
        p.state = c.state_bytes;
        script_send_packet(c, p);
        return;
    }
    if (now - c.last_send < 1.0) return;
    c.last_send = now;
    switch (c.state) {
    case script_state::contacting:
        p.type = cp_contact;
        p.password_flag = c.password.empty() ? 0 : 1;
        p.client_token = c.token;
        break;
    case script_state::identifying:
        base(c, p, cp_client_info);
        p.client_token = c.token;
        if (!c.password.empty()) p.proof = password_proof(c.password, c.connection_id);
        p.text = client_info_text(c.info, 900);
        break;
    case script_state::track_ack: base(c, p, cp_track_ack); break;
    case script_state::riders_ack:
        base(c, p, cp_slot_ack);
        p.last_slot = c.last_slot;
        break;
    case script_state::start_ack: base(c, p, cp_start_ack); break;
    case script_state::restarting: base(c, p, cp_restart_ack); break;
    case script_state::disconnecting: base(c, p, cp_disconnect); break;
    default: return;
    }
    script_send_packet(c, p);
}
