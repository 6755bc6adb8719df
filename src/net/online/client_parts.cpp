#include "net/online/client_parts.h"

#include <string>

#include "bike/bike.h"
#include "bike/crash.h"
#include "bike/rider_control.h"
#include "core/bike_names.h"
#include "core/bike_setup.h"
#include "core/config.h"
#include "demo/demo.h"
#include "demo/history.h"
#include "net/client.h"
#include "net/net.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "render/frame_draw.h"
#include "track/erosion.h"
#include "track/track.h"
#include "ui/hud.h"
#include "ui/menu.h"
#include "vfs/vfs.h"

namespace {

// The demos' own hidden test, kept when the online rule is put in front.
bool (*g_history_hidden)(int slot) = nullptr;

bool valid(int slot) { return slot >= 0 && slot < race_slot_count; }

bool online_reset(const char* track, int time_limit, int laps, int gate_drop) {
    slot_kind_list kinds{};
    for (int s = 0; s < race_slot_count; s++) {
        int kind = client.slots[(size_t)s].kind;
        if (kind == client_slot_own && client.start_position != net_no_slot) kinds[(size_t)s] = slot_kind_human;
        if (kind == client_slot_remote) kinds[(size_t)s] = slot_kind_remote;
    }
    race_setup setup;
    setup.slot_kinds = kinds;
    setup.record = settings.record == 1;
    setup.race_time = time_limit > 0 ? time_limit : 0;
    setup.laps = laps > 0 ? laps : 0;
    setup.track = track;
    bool done = reset_race(setup);
    race.gate_drop_tic = gate_drop;
    if (client.slot != net_no_slot && slot_has_bike(client.slot)) race.viewed_slot = client.slot;
    return done;
}

bool remote_rider(int slot, std::string& model, bike_setup& setup) {
    if (!valid(slot) || client.slots[(size_t)slot].kind == client_slot_none) return false;
    const rider_info& r = client.slots[(size_t)slot].info;
    auto graphics = [](const std::string& name) { return name.empty() ? std::string("default") : name; };
    model = r.model;
    setup.name = r.name;
    setup.number = r.number;
    setup.rider_texture = graphics(r.riding_gear);
    setup.bike_texture = graphics(r.bike_graphics);
    setup.wheel_texture = graphics(r.wheel_graphics);
    setup.head_texture = graphics(r.helmet);
    return true;
}

rider_info own_rider() {
    rider_info r;
    int m = player_setup.bike;
    if (m >= 0 && m < bike_model_count && bike_model_names[m]) r.model = bike_model_names[m];
    auto chosen = [](const std::string& name) { return name == "default" ? std::string() : name; };
    r.riding_gear = chosen(player_setup.rider_texture);
    r.bike_graphics = chosen(player_setup.bike_texture);
    r.wheel_graphics = chosen(player_setup.wheel_texture);
    r.helmet = chosen(player_setup.head_texture);
    r.number = player_setup.number.substr(0, max_rider_number);
    r.name = player_setup.name.substr(0, max_rider_name);
    return r;
}

bool own_state(int slot, compact_state& out) {
    bike_state* b = valid(slot) ? bike_in_slot(slot) : nullptr;
    if (!b) return false;
    out = encode_state(*b);
    return true;
}

int gate_tic(int slot, int position) {
    if (!valid(slot)) return 0;
    const std::vector<int>& tics = race_slots[(size_t)slot].timing.gate_tics;
    if (position < 0 || position >= (int)tics.size()) return 0;
    return tics[(size_t)position];
}

void remote_gate(int slot, int position, int tic) {
    if (!valid(slot) || !set_gate_tic(slot, position, tic)) return;
    truncate_gates(slot, position + 1);
}

bool arcade_on() {
    for (int s = 0; s < race_slot_count; s++) {
        bike_state* b = bike_in_slot(s);
        if (b && slot_type(s) != replayed_slot && arcade_physics(*b)) return true;
    }
    return false;
}

void* open_outgoing(const char* name) { return vfs_open((std::string("@outgoing/") + name).c_str(), "rb"); }

int read_file(void* file, uint8_t* buffer, int size) {
    vfs_file* f = (vfs_file*)file;
    size_t n = vfs_read(f, buffer, (size_t)size);
    if (n == 0 && vfs_error(f)) return -1;
    return (int)n;
}

bool hidden(int slot) { return client_slot_hidden(slot, race.viewed_slot, g_history_hidden); }

}  // namespace

bool client_slot_hidden(int slot, int camera_slot, bool (*history_hidden)(int slot)) {
    if (!valid(slot) || !bike_in_slot(slot)) return true;
    bool connected = client_socket_open();
    bool here = slot_type(slot) != replayed_slot;
    if (connected && client.start_position == net_no_slot && here && slot != camera_slot) return true;
    if (here) return false;
    if (history_hidden && history_hidden(slot)) return true;
    if (!connected || client.slots[(size_t)slot].kind != client_slot_remote) return false;
    int own = client.slot;
    if (!valid(own) || !bike_in_slot(own) || client.start_position == net_no_slot) return false;
    return !remote_collides(own, slot, client_remote_fresh(slot, race.tic));
}

void fill_client_parts(race_driver& r, frame_slot_driver& frame) {
    r.connected = net_connected;
    r.remote_fresh = [](int slot) { return client_remote_fresh(slot, race.tic); };
    r.remote_rider = remote_rider;
    g_history_hidden = frame.hidden;
    frame.hidden = hidden;
    erode_network.connected = net_connected;
    erode_network.send = client_send_deformation;

    hud_ping_source = [](int& round_trip, int& lead) {
        if (client.slot < 0 || client.slot >= net_slot_count || client.highest_server_tic == 0) return false;
        round_trip = client.slots[(size_t)client.slot].round_trip;
        lead = client.server_clock - race.tic;
        return true;
    };

    client_game_driver& g = client_game;
    g.has_track = has_track;
    g.track_digest = [](std::array<uint8_t, 20>& out) {
        if (!track_loaded()) return false;
        out = track_digest;
        return true;
    };
    g.reset_race = online_reset;
    g.local_tic = [] { return race.tic; };
    g.set_local_tic = [](int tic) { race.tic = tic; };
    g.own_state = own_state;
    g.gate_count = [](int slot) { return valid(slot) ? race_slots[(size_t)slot].timing.gates_passed : 0; };
    g.gate_tic = gate_tic;
    g.slot_has_bike = [](int slot) { return valid(slot) && bike_in_slot(slot) != nullptr; };
    g.add_remote_state = add_state_to_history;
    g.remote_gate = remote_gate;
    g.update_standings = update_running_order;
    g.deform = [](const uint8_t* record, size_t size) { receive_stroke(record, size); };
    g.recording = recording_demo;
    g.record_text = record_demo_text;
    g.record_command = record_demo_command;
    g.record_deformation = [](const uint8_t* record, size_t size) { record_demo_deformation(record, size); };
    g.erode_rate = [] { return erode_rate; };
    g.set_erode_rate = [](int rate) { erode_rate = rate; };
    g.mark_track_modified = request_track_reload;
    g.set_knockout = [](const int32_t* tics, int count) { set_knockout_table(tics, count); };
    g.arcade_on = arcade_on;
    g.set_arcade_ban = set_arcade_forbidden;
    g.off_course = [](double bias, double scale) {
        race.off_course_bias = (float)bias;
        race.off_course_scale = (float)scale;
    };
    g.editing_rider = [] { return current_menu_page() == bike_setup_page || current_menu_page() == pick_page; };
    g.own_rider = own_rider;
    g.open_outgoing = open_outgoing;
    g.read_file = read_file;
    g.close_file = [](void* f) { vfs_close((vfs_file*)f); };
}
