// The race server's receive path, handshake, relaying and race rules.
#include "server.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>

#include "core/bytes.h"
#include "net/messages.h"

namespace {

constexpr int tics_per_second = 128;
constexpr int32_t state_tic_window = 1280;  // a state's tic within 10 s of the race clock
constexpr size_t out_queue_limit = 1024;
constexpr size_t info_text_limit = 466;
constexpr double restart_resend = 0.25;
constexpr double chat_interval = 1.0;

int slot_of(const race_server& s, const server_client& c) { return (int)(&c - s.clients.data()); }

server_client* client_at(race_server& s, const net_address& a) {
    for (server_client& c : s.clients)
        if (c.used && c.address == a) return &c;
    return nullptr;
}

void send_datagram(race_server& s, const net_address& to, const datagram& d) {
    if (net_send(s.socket, d.bytes.data(), d.size, to) >= 0) s.counters.sent++;
}

void send_packet(race_server& s, const net_address& to, const server_packet& p) {
    datagram d;
    if (encode_server_packet(p, d)) send_datagram(s, to, d);
}

void send_type(race_server& s, const net_address& to, uint8_t type) {
    server_packet p;
    p.type = type;
    send_packet(s, to, p);
}

void send_error(race_server& s, const net_address& to, const std::string& text) {
    server_packet p;
    p.type = sp_error;
    p.text = text;
    send_packet(s, to, p);
}

// Queues one reliable message to a client; a client whose queue is this
// long is not acknowledging and is kicked at the next tick.
void queue_message(server_client& c, uint8_t type, const void* bytes, size_t size) {
    if (c.out.queue.size() >= out_queue_limit) {
        if (c.kick_reason.empty()) c.kick_reason = "Connection too slow";
        return;
    }
    reliable_message& m = reliable_new(c.out, type);
    reliable_append(m, bytes, size);
}

// A gate crossing for a client: added to the last queued gate table when
// that one has not gone out yet, so that a slow link gets one message for
// many crossings instead of one each.
void queue_gate(server_client& c, int32_t race_id, const gate_record& g) {
    if (c.out.queue.size() >= 2 && c.out.queue.back().message_type == msg_gates) {
        reliable_message& last = c.out.queue.back();
        int32_t race = 0;
        std::vector<gate_record> records;
        bool short_records = false;
        if (last.payload.size() + 12 <= reliable_payload_max &&
            decode_gate_table(last.payload.data(), last.payload.size(), race, records, short_records) &&
            race == race_id && !short_records) {
            records.push_back(g);
            last.payload = encode_gate_table(race_id, records);
            return;
        }
    }
    std::vector<uint8_t> table = encode_gate_table(race_id, {g});
    queue_message(c, msg_gates, table.data(), table.size());
}

// Messages a client may have relayed to everybody else: a burst, then so
// many a second. One client's flood must not fill the other clients' queues.
constexpr double relay_rate = 32, relay_burst = 64;

bool relay_allowed(race_server& s, server_client& c, double now) {
    c.relay_tokens = std::min(relay_burst, c.relay_tokens + (now - c.relay_time) * relay_rate);
    c.relay_time = now;
    if (c.relay_tokens < 1) {
        s.counters.relay_dropped++;
        return false;
    }
    c.relay_tokens -= 1;
    return true;
}

void queue_text(server_client& c, uint8_t type, const std::string& text) {
    queue_message(c, type, text.data(), text.size());
}

void reset_race_fields(server_client& c, int32_t race_id) {
    c.race_id = race_id;
    c.start_position = net_no_slot;
    c.started = false;
    c.told.reset();
    c.restart_pending = false;
    c.voted = false;
    c.has_state = false;
    c.state_tic = 0;
    c.round_trip = 0;
    c.echo_tic = 0;
    c.gates_passed = 0;
    c.finished = false;
}

void end_upload(server_client& c, bool keep) {
    upload_state& u = c.upload;
    if (u.file) fclose(u.file);
    u.file = nullptr;
    if (!keep && !u.temp_path.empty()) unlink(u.temp_path.c_str());
    u = upload_state{};
}

void start_fresh_race(race_server& s) {
    s.race_id++;
    s.clock_running = false;
    s.race_tic = 0;
    s.last_cadence = -1;
    s.leader_done = false;
    s.first_finish_time = -1;
    s.race_over = false;
}

void leave(race_server& s, server_client& c, const char* why) {
    int slot = slot_of(s, c);
    if (c.phase == client_phase::identified)
        server_log(s, "leave slot %d \"%s\" (%s)", slot, c.info.name.c_str(), why);
    end_upload(c, false);
    c = server_client{};
    // Whoever takes this slot next is a new rider to everybody.
    for (server_client& o : s.clients) o.told.reset((size_t)slot);
    // An empty server holds a fresh race whose clock waits for a rider.
    if (server_client_count(s) == 0 && (s.clock_running || s.race_over)) start_fresh_race(s);
}

void kick(race_server& s, server_client& c, const std::string& why) {
    send_error(s, c.address, why);
    leave(s, c, why.c_str());
}

bool in_race(const race_server& s, const server_client& c) { return c.used && c.race_id == s.race_id; }
bool racing(const race_server& s, const server_client& c) { return in_race(s, c) && c.started; }
bool rider(const race_server& s, const server_client& c) {
    return racing(s, c) && c.start_position != net_no_slot;
}

// ---- the handshake -------------------------------------------------------------------

void send_welcome(race_server& s, server_client& c) {
    server_packet p;
    p.type = sp_welcome;
    p.slot = slot_of(s, c);
    p.connection_id = c.connection_id;
    p.protocol = net_server_protocol;
    send_packet(s, c.address, p);
}

void send_race_info(race_server& s, server_client& c) {
    server_packet p;
    p.type = sp_race_info;
    p.race_id = s.race_id;
    p.time_limit = s.time_limit_tics;
    p.laps = s.config.laps;
    p.gate_drop = s.gate_drop_tic;
    p.digest = s.track.digest;
    p.text = s.track.dir;
    send_packet(s, c.address, p);
}

void send_start(race_server& s, server_client& c, int32_t race_id, int position) {
    server_packet p;
    p.type = sp_start;
    p.race_id = race_id;
    p.start_position = position;
    p.text = c.info_text;
    send_packet(s, c.address, p);
}

void send_restart(race_server& s, server_client& c, double now) {
    server_packet p;
    p.type = sp_restart;
    p.race_id = s.race_id;
    send_packet(s, c.address, p);
    c.restart_sent = now;
}

void send_time_sync(race_server& s, server_client& c) {
    server_packet p;
    p.type = sp_time_sync;
    p.race_id = s.race_id;
    p.server_tic = s.race_tic;
    p.echoed_tic = c.echo_tic;
    send_packet(s, c.address, p);
}

int lowest_free_position(const race_server& s, const server_client& self) {
    std::bitset<net_slot_count> taken;
    for (const server_client& c : s.clients)
        if (&c != &self && in_race(s, c) && c.start_position != net_no_slot) taken.set((size_t)c.start_position);
    int limit = std::clamp(s.config.max_riders, 0, net_slot_count);
    for (int i = 0; i < limit; i++)
        if (!taken.test((size_t)i)) return i;
    return net_no_slot;
}

// Answers a track or slot acknowledgment: the slot info of the next
// identified rider above `last` (160: none yet), or the start.
void answer_riders(race_server& s, server_client& c, int last) {
    if (last < 0 || last > net_no_slot) return;
    int own = slot_of(s, c);
    for (int i = last == net_no_slot ? 0 : last + 1; i < net_slot_count; i++) {
        const server_client& o = s.clients[(size_t)i];
        if (i == own || !o.used || o.phase != client_phase::identified) continue;
        server_packet p;
        p.type = sp_slot_info;
        p.race_id = s.race_id;
        p.slot = i;
        p.text = o.info_text;
        send_packet(s, c.address, p);
        c.told.set((size_t)i);
        return;
    }
    if (!c.started && c.start_position == net_no_slot) c.start_position = lowest_free_position(s, c);
    send_start(s, c, s.race_id, c.start_position);
}

void queue_race_commands(race_server& s, server_client& c) {
    const server_config& k = s.config;
    char buf[128];
    if (k.no_arcade) queue_text(c, msg_command, "no_arcade");
    if (k.send_off_course_bias) {
        snprintf(buf, sizeof buf, "off_course_bias %g", k.off_course_bias);
        queue_text(c, msg_command, buf);
    }
    if (k.send_off_course_scale) {
        snprintf(buf, sizeof buf, "off_course_scale %g", k.off_course_scale);
        queue_text(c, msg_command, buf);
    }
    if (!k.knockout.empty()) queue_text(c, msg_command, "knockout " + k.knockout);
    snprintf(buf, sizeof buf, "erode %d %d", s.race_id, k.erode);
    queue_text(c, msg_command, buf);
}

void start_acknowledged(race_server& s, server_client& c, double now) {
    if (!c.started) {
        c.started = true;
        queue_race_commands(s, c);
        if (!s.clock_running) {
            s.clock_running = true;
            s.clock_base = now;
            s.race_tic = 0;
            s.last_cadence = -1;
            server_log(s, "race %d start on %s, %d laps", s.race_id, s.track.dir.c_str(), s.config.laps);
        }
        // Riders already in the race learn of others only in the handshake:
        // before the gate drops, start over so that everyone sees everyone.
        if (s.race_tic < s.gate_drop_tic) {
            int slot = slot_of(s, c);
            for (const server_client& o : s.clients)
                if (&o != &c && racing(s, o) && !o.told.test((size_t)slot)) {
                    server_restart_race(s, "a rider joined");
                    send_restart(s, c, now);
                    c.restart_pending = true;
                    return;
                }
        }
    }
    send_time_sync(s, c);
}

void handle_contact(race_server& s, const net_address& from, const client_packet& p, double now) {
    if (p.version != net_client_version) {
        send_error(s, from, "Server requires client version " + std::to_string(net_client_version) +
                                " (this client is " + std::to_string(p.version) + ")");
        return;
    }
    server_client* c = client_at(s, from);
    if (c && c->client_token == p.client_token) {
        c->last_heard = now;
        send_welcome(s, *c);
        return;
    }
    if (c) leave(s, *c, "contacted again");
    int used = 0, same_host = 0, free_slot = -1;
    for (size_t i = 0; i < s.clients.size(); i++) {
        const server_client& o = s.clients[i];
        if (!o.used) {
            if (free_slot < 0) free_slot = (int)i;
            continue;
        }
        used++;
        if (o.address.host == from.host) same_host++;
    }
    if (free_slot < 0 || used >= s.config.max_clients || same_host >= s.config.max_per_host) {
        send_type(s, from, sp_server_full);
        return;
    }
    server_client& n = s.clients[(size_t)free_slot];
    n = server_client{};
    n.used = true;
    n.address = from;
    do n.connection_id = (int32_t)next_u32(s.random);
    while (n.connection_id == 0);
    n.client_token = p.client_token;
    n.last_heard = now;
    n.rate_window = now;
    n.relay_time = now;
    n.relay_tokens = relay_burst;
    n.race_id = 0;
    send_welcome(s, n);
}

void handle_client_info(race_server& s, server_client& c, const client_packet& p) {
    if (!s.config.password.empty() && p.proof != password_proof(s.config.password, c.connection_id)) {
        kick(s, c, "Wrong server password");
        return;
    }
    c.info_text = p.text.substr(0, info_text_limit);
    c.info = parse_rider_info(c.info_text);
    if (c.phase == client_phase::contacted) {
        c.phase = client_phase::identified;
        server_log(s, "join slot %d %u.%u.%u.%u:%u \"%s\"", slot_of(s, c), c.address.host >> 24,
                   (c.address.host >> 16) & 255, (c.address.host >> 8) & 255, c.address.host & 255, c.address.port,
                   c.info.name.c_str());
    }
    if (c.race_id != s.race_id) reset_race_fields(c, s.race_id);
    send_race_info(s, c);
}

// ---- uploads ----------------------------------------------------------------------------

// Stored uploads in the folder (temporary files begin with ".").
int stored_uploads(const std::string& folder) {
    int n = 0;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

void upload_command(race_server& s, server_client& c, const reliable_message& m) {
    const uint8_t* b = m.payload.data();
    size_t n = m.payload.size();
    auto begins = [&](const char* word) {
        size_t k = strlen(word);
        return n >= k && memcmp(b, word, k) == 0;
    };
    upload_state& u = c.upload;
    if (begins("sendpart -")) {
        if (!u.active) return;
        size_t part = n - 10;
        if (u.bytes + part > (size_t)s.config.upload_max_kb * 1024) {
            end_upload(c, false);
            queue_text(c, msg_command, "senddenied");
            queue_text(c, msg_text, "File too large");
            return;
        }
        if (part && fwrite(b + 10, 1, part, u.file) != part) {
            end_upload(c, false);
            queue_text(c, msg_command, "senddenied");
            return;
        }
        u.bytes += part;
        return;
    }
    std::string text = decode_message_text(b, n);
    if (text == "sendfile") {
        end_upload(c, false);  // a new offer replaces one left unfinished
        if (!s.config.uploads) {
            queue_text(c, msg_command, "senddenied");
            return;
        }
        mkdir(s.config.upload_dir.c_str(), 0755);
        char name[64];
        snprintf(name, sizeof name, "/.upload-%d-%08x", slot_of(s, c), (uint32_t)c.connection_id);
        u.temp_path = s.config.upload_dir + name;
        // Never through a link someone left under that name.
        int fd = open(u.temp_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        u.file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
        if (fd >= 0 && !u.file) close(fd);
        if (!u.file) {
            u = upload_state{};
            queue_text(c, msg_command, "senddenied");
            return;
        }
        u.active = true;
        queue_text(c, msg_command, "sendready");
    } else if (text.compare(0, 9, "namefile ") == 0) {
        if (!u.active) return;
        std::string name = text.substr(9);
        if (!upload_name_ok(name)) {
            end_upload(c, false);
            queue_text(c, msg_text, "File name refused");
            return;
        }
        std::string final_path = s.config.upload_dir + "/" + name;
        struct stat st;
        if (stat(final_path.c_str(), &st) != 0 && stored_uploads(s.config.upload_dir) >= s.config.upload_max_files) {
            end_upload(c, false);
            queue_text(c, msg_text, "Upload folder full");
            return;
        }
        bool ok = fflush(u.file) == 0 && !ferror(u.file);
        ok = fclose(u.file) == 0 && ok;
        u.file = nullptr;
        ok = ok && rename(u.temp_path.c_str(), final_path.c_str()) == 0;
        size_t bytes = u.bytes;
        end_upload(c, ok);
        if (!ok) {
            queue_text(c, msg_text, "File could not be stored");
            return;
        }
        server_log(s, "upload slot %d: %s (%zu bytes)", slot_of(s, c), name.c_str(), bytes);
        queue_text(c, msg_text, "File " + name + " received (" + std::to_string(bytes) + " bytes)");
    }
}

// ---- reliable messages -----------------------------------------------------------------

void check_finish(race_server& s, server_client& c, int gate, double now) {
    int F = s.track.first_lap, N = s.track.normal_lap;
    if (F <= 0 || c.finished) return;
    int k = gate + 1 - F;
    bool lap_line = k >= 0 && (N > 0 ? k % N == 0 : k == 0);
    if (!lap_line) return;
    int end = s.config.laps > 0 ? F - 1 + N * (s.config.laps - 1) : -1;
    if (end >= 0 && gate >= end) s.leader_done = true;
    else if (!s.leader_done) return;
    c.finished = true;
    if (s.first_finish_time < 0) s.first_finish_time = now;
    server_log(s, "race %d: slot %d \"%s\" finished", s.race_id, slot_of(s, c), c.info.name.c_str());
}

struct delivery {
    race_server* s;
    server_client* c;
    double now;
};

void deliver_message(void* context, const reliable_message& m) {
    delivery& d = *(delivery*)context;
    race_server& s = *d.s;
    server_client& c = *d.c;
    int own = slot_of(s, c);
    switch (m.message_type) {
    case msg_client_info:
        c.info_text = decode_message_text(m.payload.data(), m.payload.size()).substr(0, info_text_limit);
        c.info = parse_rider_info(c.info_text);
        break;
    case msg_text: {
        if (c.phase != client_phase::identified) break;
        if (d.now - c.last_chat < chat_interval) {
            queue_text(c, msg_text, "No one likes a spammer");
            break;
        }
        c.last_chat = d.now;
        std::string line = c.info.name + ": " + decode_message_text(m.payload.data(), m.payload.size());
        for (server_client& o : s.clients)
            if (o.used && o.phase == client_phase::identified) queue_text(o, msg_text, line);
        break;
    }
    case msg_gates: {
        int32_t race = 0;
        gate_record g;
        if (!decode_gate_passed(m.payload.data(), m.payload.size(), race, g)) break;
        if (race != s.race_id || !rider(s, c) || g.tic < 0 || g.tic > s.race_tic + state_tic_window) break;
        g.slot = own;
        c.gates_passed = g.gate + 1;
        check_finish(s, c, g.gate, d.now);
        if (!relay_allowed(s, c, d.now)) break;
        for (server_client& o : s.clients)
            if (&o != &c && racing(s, o)) queue_gate(o, s.race_id, g);
        break;
    }
    case msg_command:
        upload_command(s, c, m);
        break;
    case msg_deformation: {
        int32_t race = 0;
        std::vector<uint8_t> record;
        if (!decode_deformation(m.payload.data(), m.payload.size(), race, record)) break;
        if (race != s.race_id || !racing(s, c) || !relay_allowed(s, c, d.now)) break;
        // The sender too: every client digs the ground only with what comes
        // back from here, so that all of them apply the same strokes in the
        // same order.
        for (server_client& o : s.clients)
            if (racing(s, o)) queue_message(o, msg_deformation, m.payload.data(), m.payload.size());
        break;
    }
    default:
        break;
    }
}

// Datagrams a second per client; beyond the rate they are dropped, and a
// client over it three windows in a row is kicked.
bool over_rate(race_server& s, server_client& c, double now) {
    if (now - c.rate_window >= 1.0) {
        if (c.rate_count > s.config.max_packet_rate) {
            if (++c.rate_strikes >= 3 && c.kick_reason.empty()) c.kick_reason = "Too many packets";
        } else {
            c.rate_strikes = 0;
        }
        c.rate_window = now;
        c.rate_count = 0;
    }
    return ++c.rate_count > s.config.max_packet_rate;
}

// ---- the race --------------------------------------------------------------------------

void send_states(race_server& s) {
    std::vector<state_record> fresh;
    double now = s.clock_base + (double)s.race_tic / tics_per_second;
    for (const server_client& c : s.clients) {
        if (!racing(s, c) || !c.has_state || now - c.state_time > 1.0) continue;
        state_record r;
        r.slot = slot_of(s, c);
        r.round_trip = c.round_trip;
        r.tic = c.state_tic;
        r.state = c.state;
        fresh.push_back(r);
    }
    server_packet p;
    p.type = sp_states;
    p.race_id = s.race_id;
    p.server_tic = s.race_tic;
    for (server_client& c : s.clients) {
        if (!racing(s, c) || c.restart_pending) continue;
        int own = slot_of(s, c);
        p.echoed_tic = c.echo_tic;
        p.record_count = 0;
        bool sent = false;
        for (const state_record& r : fresh) {
            if (r.slot == own) continue;
            p.records[(size_t)p.record_count++] = r;
            if (p.record_count == max_state_records) {
                send_packet(s, c.address, p);
                p.record_count = 0;
                sent = true;
            }
        }
        if (p.record_count > 0)
            send_packet(s, c.address, p);
        else if (!sent)
            send_time_sync(s, c);
    }
}

void check_race_end(race_server& s, double now) {
    if (!s.clock_running) return;
    if (!s.race_over) {
        int riders = 0, finished = 0;
        for (const server_client& c : s.clients)
            if (rider(s, c)) {
                riders++;
                if (c.finished) finished++;
            }
        bool over = riders > 0 && finished == riders;
        if (s.first_finish_time >= 0 && now - s.first_finish_time >= s.config.finish_wait) over = true;
        if (s.time_limit_tics > 0 &&
            s.race_tic >= s.gate_drop_tic + s.time_limit_tics + (int32_t)(s.config.finish_wait * tics_per_second))
            over = true;
        if (over) {
            s.race_over = true;
            s.over_time = now;
            server_log(s, "race %d finished (%d of %d riders)", s.race_id, finished, riders);
        }
        return;
    }
    if (now - s.over_time >= s.config.restart_delay) server_restart_race(s, "next race");
}

}  // namespace

// ---- the public calls --------------------------------------------------------------------

void server_log(const race_server& s, const char* format, ...) {
    if (s.quiet) return;
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t;
    localtime_r(&ts.tv_sec, &t);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &t);
    va_list args;
    va_start(args, format);
    printf("[%s] ", stamp);
    vprintf(format, args);
    printf("\n");
    fflush(stdout);
    va_end(args);
}

bool upload_name_ok(std::string_view name) {
    if (name.empty() || name.size() > 255 || name[0] == '.') return false;
    for (char ch : name) {
        bool ok = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_' ||
                  ch == '.';
        if (!ok) return false;
    }
    return true;
}

int server_client_count(const race_server& s) {
    int n = 0;
    for (const server_client& c : s.clients) n += c.used;
    return n;
}

void server_init(race_server& s, const server_config& c, const server_track& t, int socket, uint32_t seed) {
    server_free(s);
    s.config = c;
    s.config.max_clients = std::clamp(s.config.max_clients, 1, net_slot_count);
    s.config.max_riders = std::clamp(s.config.max_riders, 0, net_slot_count);
    s.track = t;
    s.socket = socket;
    random_seed(s.random, seed);
    s.race_id = 0;
    start_fresh_race(s);
    s.gate_drop_tic = (int32_t)std::lround(std::clamp(c.gate_delay, 0.0, 600.0) * tics_per_second);
    s.time_limit_tics = (int32_t)std::lround(std::clamp(c.time_limit, 0.0, 600.0) * 60 * tics_per_second);
    s.counters = {};
}

void server_free(race_server& s) {
    for (server_client& c : s.clients)
        if (c.used) {
            end_upload(c, false);
            c = server_client{};
        }
}

void server_restart_race(race_server& s, const char* why) {
    start_fresh_race(s);
    server_log(s, "race %d set up (%s)", s.race_id, why);
    for (server_client& c : s.clients)
        if (c.used && c.started) {
            c.restart_pending = true;
            c.restart_sent = -1e9;
        }
}

void server_receive(race_server& s, const net_address& from, const uint8_t* bytes, size_t size, double now) {
    s.counters.received++;
    client_packet p;
    if (!decode_client_packet(bytes, size, p)) {
        s.counters.bad++;
        return;
    }
    if (p.type == cp_contact) {
        server_client* c = client_at(s, from);
        if (c && over_rate(s, *c, now)) {
            s.counters.rate_dropped++;
            return;
        }
        handle_contact(s, from, p, now);
        return;
    }
    server_client* found = client_at(s, from);
    if (!found) {
        // Not ours (timed out, or the server started again): tell it so.
        s.counters.unknown++;
        send_type(s, from, sp_disconnected);
        return;
    }
    server_client& c = *found;
    if (p.slot != slot_of(s, c) || p.connection_id != c.connection_id) {
        s.counters.bad++;
        return;
    }
    if (over_rate(s, c, now)) {
        s.counters.rate_dropped++;
        return;
    }
    c.last_heard = now;
    bool identified = c.phase == client_phase::identified;
    switch (p.type) {
    case cp_client_info:
        handle_client_info(s, c, p);
        break;
    case cp_track_ack:
    case cp_slot_ack:
        if (!identified) break;
        if (p.race_id != s.race_id) {
            // Caught by a restart: move it on to the racing states, where the
            // restart reaches it.
            send_start(s, c, p.race_id, net_no_slot);
            break;
        }
        if (c.race_id != s.race_id) reset_race_fields(c, s.race_id);
        answer_riders(s, c, p.type == cp_track_ack ? net_no_slot : p.last_slot);
        break;
    case cp_start_ack:
        if (!identified) break;
        if (p.race_id != s.race_id) {
            c.restart_pending = true;
            send_restart(s, c, now);
            break;
        }
        if (c.race_id != s.race_id) break;
        start_acknowledged(s, c, now);
        break;
    case cp_state:
        if (!rider(s, c) || p.race_id != s.race_id) break;
        if (p.local_tic < s.race_tic - state_tic_window || p.local_tic > s.race_tic + state_tic_window) break;
        if (c.has_state && p.local_tic <= c.state_tic) break;
        c.has_state = true;
        c.state_tic = p.local_tic;
        c.state = p.state;
        c.state_time = now;
        c.echo_tic = p.local_tic;
        if (p.server_tic > 0 && p.server_tic <= s.race_tic) c.round_trip = std::min(s.race_tic - p.server_tic, 65535);
        break;
    case cp_restart_request: {
        if (!rider(s, c) || c.voted) break;
        c.voted = true;
        int riders = 0, votes = 0;
        for (const server_client& o : s.clients)
            if (rider(s, o)) {
                riders++;
                votes += o.voted;
            }
        server_log(s, "race %d: slot %d asks for a restart (%d of %d)", s.race_id, slot_of(s, c), votes, riders);
        if (votes * 2 > riders) server_restart_race(s, "requested");
        break;
    }
    case cp_restart_ack:
        if (!identified || p.race_id != s.race_id) break;
        if (c.race_id != s.race_id || c.restart_pending) reset_race_fields(c, s.race_id);
        send_race_info(s, c);
        break;
    case cp_disconnect:
        send_type(s, from, sp_disconnected);
        leave(s, c, "disconnected");
        break;
    case cp_reliable: {
        delivery d{&s, &c, now};
        bool ack = reliable_receive(c.in, p.sequence, p.message_type, p.payload.data(), p.payload.size(),
                                    deliver_message, &d);
        if (ack && c.used) {
            server_packet a;
            a.type = sp_ack;
            a.sequence = p.sequence;
            send_packet(s, c.address, a);
        }
        break;
    }
    case cp_ack:
        reliable_acknowledged(c.out, p.sequence);
        break;
    default:
        break;
    }
}

void server_poll(race_server& s, double now) {
    uint8_t buf[max_datagram];
    net_address from;
    // Bounded, so a flood cannot keep the tick from running.
    for (int i = 0; i < 4096; i++) {
        int n = net_receive(s.socket, buf, sizeof buf, &from);
        if (n < 0) break;
        server_receive(s, from, buf, (size_t)n, now);
    }
}

void server_tick(race_server& s, double now) {
    if (s.clock_running) s.race_tic = (int32_t)std::floor((now - s.clock_base) * tics_per_second);
    for (server_client& c : s.clients) {
        if (!c.used) continue;
        if (!c.kick_reason.empty()) {
            std::string why = c.kick_reason;
            kick(s, c, why);
        } else if (now - c.last_heard > s.config.timeout) {
            send_type(s, c.address, sp_disconnected);
            leave(s, c, "timed out");
        }
    }
    for (server_client& c : s.clients) {
        if (!c.used) continue;
        if (const reliable_message* m = reliable_due(c.out, now)) {
            server_packet p;
            p.type = sp_reliable;
            p.sequence = m->sequence;
            p.message_type = m->message_type;
            p.payload = m->payload;
            send_packet(s, c.address, p);
        }
        if (c.restart_pending && now - c.restart_sent >= restart_resend) send_restart(s, c, now);
    }
    if (s.clock_running && s.race_tic / 4 != s.last_cadence) {
        s.last_cadence = s.race_tic / 4;
        send_states(s);
    }
    check_race_end(s, now);
}
