// Playback: a demo's header read for the race reset, its riders handed to
// the replayed slots, its chunks (or, in old demos, its per-tic records)
// fed into their histories a little ahead of the race clock, and rewinding
// and skipping.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "bike/bike.h"
#include "core/bike_setup.h"
#include "core/bytes.h"
#include "core/cmdline.h"
#include "core/diag.h"
#include "core/scan.h"
#include "core/text.h"
#include "demo/demo.h"
#include "demo/demo_internal.h"
#include "demo/history.h"
#include "race/race.h"
#include "race/race_tic.h"
#include "track/erosion.h"
#include "vfs/vfs.h"

playback_state playback;

namespace {

std::array<int, history_slot_count> g_slot_version = [] {
    std::array<int, history_slot_count> v;
    v.fill(compact_state_v6);
    return v;
}();

constexpr int read_ahead_tics = 64;
constexpr int chunks_per_read = 128;
constexpr int old_read_ahead_tics = 8;

// Tics a shifted demo tic may take in the race.
bool race_tic_in_range(int64_t tic) { return tic >= 0 && tic <= demo_tic_limit; }

void add_played_state(int rider, const compact_state& state, int64_t tic) {
    if (rider < 0 || rider >= (int)playback.header.riders.size()) {
        if (!playback.foreign_rider_logged)
            log_printf("Demo '%s' holds states of a rider it does not list; they are skipped\n", playback.path.c_str());
        playback.foreign_rider_logged = true;
        return;
    }
    int slot = playback.rider_slot[(size_t)rider];
    if (slot < 0 || !race_tic_in_range(tic)) return;
    add_state_to_history(slot, state, (int)tic);
}

void play_states(const std::vector<uint8_t>& payload, int64_t offset) {
    if (payload.size() % demo_state_record_bytes != 0) return;
    byte_reader r = make_reader(payload.data(), payload.size());
    while (bytes_left(r) >= (size_t)demo_state_record_bytes) {
        int rider = read_u8(r);
        int tic = read_i32(r);
        compact_state state;
        read_bytes(r, state.data(), state.size());
        add_played_state(rider, state, (int64_t)tic + offset);
    }
}

void play_text(const std::vector<uint8_t>& payload) {
    size_t n = std::min(payload.size(), (size_t)demo_text_shown);
    const char* text = (const char*)payload.data();
    n = strnlen(text, n);
    show_message(std::string(text, n).c_str());
}

void play_command(const std::vector<uint8_t>& payload) {
    std::string text((const char*)payload.data(), payload.size());
    int rate = 0;
    size_t used = 0;
    if (string_scanf(text.c_str(), text.size(), &used, "erode %d", &rate) != 1 || used != text.size()) return;
    erode_rate = rate;
}

// Each deformation message counts once, even when a rewind reads it again.
void play_deformation(const demo_chunk& chunk, const std::vector<uint8_t>& payload) {
    if (chunk.offset <= playback.deformation_seen) return;
    playback.deformation_seen = chunk.offset;
    if (receive_stroke(payload.data(), payload.size()) < 0 && !playback.deformation_logged) {
        log_printf("Demo '%s' holds a deformation message that cannot be read; it is skipped\n", playback.path.c_str());
        playback.deformation_logged = true;
    }
}

void note_end() {
    if (playback.stream.damaged && !playback.end_logged)
        log_printf("Demo '%s' ends in damaged data at byte %lld; playback stops there\n", playback.path.c_str(),
                   (long long)playback.stream.position);
    playback.end_logged = true;
}

void read_chunks() {
    std::vector<uint8_t> payload;
    for (int n = 0; n < chunks_per_read; n++) {
        demo_chunk chunk;
        if (peek_chunk(playback.stream, chunk) != chunk_read::chunk) {
            note_end();
            return;
        }
        if (!playback.offset_fixed) {
            // The ghost starts now; a race demo moves the clock to its start.
            if (playback.ghost) {
                playback.offset = (int64_t)race.tic - chunk.tic;
            } else {
                playback.offset = 0;
                race.tic = chunk.tic;
            }
            playback.offset_fixed = true;
        }
        if ((int64_t)chunk.tic + playback.offset > (int64_t)race.tic + read_ahead_tics) return;
        if (!read_chunk_payload(playback.stream, chunk, payload)) {
            note_end();
            return;
        }
        switch (chunk.type) {
            case chunk_states: play_states(payload, playback.offset); break;
            case chunk_text: play_text(payload); break;
            case chunk_command: play_command(payload); break;
            case chunk_deformation: play_deformation(chunk, payload); break;
            default: break;
        }
    }
}

// Versions 4 and 5: one record per tic, one state per rider in header order.
void read_records() {
    int riders = (int)playback.header.riders.size();
    if (riders == 0) return;
    if (!playback.started) {
        playback.started = true;
        playback.start_tic = race.tic;
        playback.next_record = 0;
    }
    int size = demo_state_bytes(playback.header.version);
    std::vector<uint8_t> record((size_t)(riders * size));
    for (int n = 0; n < 1024; n++) {
        int64_t tic = playback.start_tic + playback.next_record;
        if (tic > (int64_t)race.tic + old_read_ahead_tics || !race_tic_in_range(tic)) return;
        if (!read_stream_bytes(playback.stream, record.data(), record.size())) return;
        for (int i = 0; i < riders; i++) {
            compact_state state{};
            std::memcpy(state.data(), record.data() + (size_t)(i * size), (size_t)size);
            add_played_state(i, state, tic);
        }
        playback.next_record++;
    }
}

// Every rider gives back the gate passages it made after the tic.
void give_back_gates(int tic) {
    for (int s = 0; s < race_slot_count; s++) {
        const race_slot& rs = race_slots[(size_t)s];
        if (!rs.has_rider) continue;
        int keep = rs.timing.gates_passed;
        while (keep > 0 && keep - 1 < (int)rs.timing.gate_tics.size()) {
            int passed = rs.timing.gate_tics[(size_t)keep - 1];
            if (passed >= 0 && passed <= tic) break;
            keep--;
        }
        if (keep < rs.timing.gates_passed) truncate_gates(s, keep);
    }
    update_running_order();
}

bool everyone_replayed() {
    for (int s = 0; s < race_slot_count; s++)
        if (bike_in_slot(s) && race_slots[(size_t)s].type != replayed_slot) return false;
    return true;
}

}  // namespace

int slot_state_version(int slot) {
    if (slot < 0 || slot >= history_slot_count) return compact_state_v6;
    return g_slot_version[(size_t)slot];
}

void setup_from_rider(const demo_rider& r, bike_setup& setup) {
    auto graphics = [](const std::string& name) { return name.empty() ? std::string("default") : name; };
    setup.number = r.number;
    setup.name = r.name;
    setup.rider_texture = graphics(r.rider_texture);
    setup.bike_texture = graphics(r.bike_texture);
    setup.wheel_texture = graphics(r.wheel_texture);
    setup.head_texture = graphics(r.head_texture);
}

bool next_demo_rider(int slot, std::string& model, bike_setup& setup) {
    if (!playback.open || slot < 0 || slot >= history_slot_count) return false;
    if (playback.next_rider >= (int)playback.header.riders.size()) return false;
    int index = playback.next_rider++;
    const demo_rider& r = playback.header.riders[(size_t)index];
    model = r.model;
    setup_from_rider(r, setup);
    playback.rider_slot[(size_t)index] = slot;
    g_slot_version[(size_t)slot] = playback.header.version == 4 ? compact_state_v4 : compact_state_v6;
    return true;
}

bool open_playback_file(const char* path, bool quiet, std::string& track) {
    close_playback();
    std::string name = path ? path : "";
    vfs_file* f = name.empty() ? nullptr : vfs_open(name.c_str(), "rb");
    if (!f) {
        if (!quiet) show_messagef("Can't play demo '%.200s': it cannot be opened", name.c_str());
        return false;
    }
    demo_header h;
    std::string error;
    if (!read_demo_header(f, h, error)) {
        vfs_close(f);
        show_messagef("Can't play demo '%.200s': %s", name.c_str(), error.c_str());
        return false;
    }
    playback = playback_state{};
    playback.path = name;
    playback.header = std::move(h);
    playback.rider_slot.fill(-1);
    if (!open_demo_stream(playback.stream, f, name, playback.header.body_start)) {
        close_demo_stream(playback.stream);
        playback = playback_state{};
        show_messagef("Can't play demo '%.200s': it cannot be read", name.c_str());
        return false;
    }
    playback.open = true;
    track = playback.header.track;
    return true;
}

bool open_playback(const char* path, std::string& track) { return open_playback_file(path, false, track); }

void close_playback() {
    if (playback.open) close_demo_stream(playback.stream);
    playback = playback_state{};
    playback.rider_slot.fill(-1);
    g_slot_version.fill(compact_state_v6);
}

bool playing_demo() { return playback.open; }

void read_playback() {
    if (!playback.open) return;
    if (playback.header.version == 6)
        read_chunks();
    else
        read_records();
}

void replay_slot(int slot, int tic) {
    bike_state* b = bike_in_slot(slot);
    if (!b) return;
    int version = slot_state_version(slot);
    history_sample h;
    if (history_state_at(slot, tic, h, version)) apply_state(*b, h.target, h.older, h.newer, h.n, version);
}

void place_replayed_riders() {
    int t = std::max(race.tic - race.playback_delay, 0);
    for (int s = 0; s < race_slot_count; s++)
        if (bike_in_slot(s) && race_slots[(size_t)s].type == replayed_slot) replay_slot(s, t);
}

void seek_playback(double seconds) {
    if (!playback.open || recorder.file || !everyone_replayed() || !std::isfinite(seconds)) return;
    int step = (int)std::trunc(std::clamp(seconds, -1e6, 1e6) * tics_per_second);
    if (step == 0) return;
    int version = playback.header.version;
    if (step > 0 && (version == 6 || cmdline.accurate_skip)) {
        int target = race.tic + step;
        while (race.tic < target && playback.open) simulate_tic();
        return;
    }
    int c = std::max(race.tic + step - 1, 0);
    if (version == 6) {
        int64_t back_to = std::max(c - read_ahead_tics, 0);
        demo_chunk chunk;
        while (step_back_chunk(playback.stream, chunk))
            if ((int64_t)chunk.tic + playback.offset <= back_to) break;
    } else {
        int riders = (int)playback.header.riders.size();
        int64_t record = std::max<int64_t>((int64_t)c - playback.start_tic, 0);
        int64_t bytes = (int64_t)riders * demo_state_bytes(version);
        int64_t at = playback.header.body_start + record * bytes;
        playback.next_record = record;
        playback.stream.position = std::min(at, playback.stream.file_size);
    }
    playback.end_logged = false;
    if (c < race.tic) give_back_gates(c);
    race.tic = c;
    clear_histories();
    read_playback();
    simulate_tic();
}

bool demo_playback_available() { return true; }

bool open_demo(const char* name, std::string& track) { return open_playback(name, track); }

void close_demo() {
    stop_recording();
    close_playback();
}

void demo_rewind() { seek_playback(-1); }
void demo_skip() { seek_playback(1); }

std::vector<std::string> home_demo_names() {
    std::vector<std::string> names;
    std::string dir = home_path("@demos/");
    std::error_code error;
    if (dir.empty() || !std::filesystem::is_directory(dir, error)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        std::string file = entry.path().filename().string();
        if (file.size() > 7 && file.compare(file.size() - 7, 7, ".kvdemo") == 0 && entry.is_regular_file(error))
            names.push_back("demos/" + file);
    }
    std::sort(names.begin(), names.end());
    return names;
}
