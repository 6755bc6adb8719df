// Recording: the demo's header for the riders of the race, their states
// into the histories every 4 tics and out to the file every 16, and the
// backups of earlier recordings, which only ever move by renaming.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "bike/bike.h"
#include "bike/compact_state.h"
#include "core/bytes.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/text.h"
#include "demo/demo.h"
#include "demo/demo_internal.h"
#include "demo/history.h"
#include "race/race.h"
#include "track/track.h"
#include "vfs/vfs.h"

recording_state recorder;

namespace {

constexpr const char* default_demo = "@demos/default.kvdemo";
constexpr int demo_name_limit = 1024;

bool home_file_exists(const std::string& name) {
    std::string path = home_path(name.c_str());
    std::error_code error;
    return !path.empty() && std::filesystem::is_regular_file(path, error);
}

// default%02d moves one number up, the newest to 00; the oldest kept falls
// off when its successor replaces it.
void rotate_backups() {
    int kept = std::clamp(settings.demo_backups, 0, 100);
    for (int n = kept - 2; n >= 0; n--) {
        std::string from = format_string("@demos/default%02d.kvdemo", n);
        if (home_file_exists(from)) vfs_rename(from.c_str(), format_string("@demos/default%02d.kvdemo", n + 1).c_str());
    }
    if (kept > 0 && home_file_exists(default_demo)) vfs_rename(default_demo, "@demos/default00.kvdemo");
}

void stop_on_write_error() {
    log_printf("Writing the demo '%s' failed: recording stopped\n", recorder.path.c_str());
    vfs_close(recorder.file);
    recorder.file = nullptr;
    recorder.pending_name.clear();
}

// The unwritten entries of every recorded slot, oldest first, as one chunk.
void write_pending_states() {
    std::vector<uint8_t> payload;
    for (size_t index = 0; index < recorder.slots.size(); index++) {
        int slot = recorder.slots[index];
        const state_history& h = slot_history(slot);
        for (int k = std::min(h.history_unwritten, history_length) - 1; k >= 0; k--) {
            int at = ((h.history_newest - k) % history_length + history_length) % history_length;
            int tic = h.history_tics[(size_t)at];
            if (tic < 0) continue;
            uint8_t record[demo_state_record_bytes];
            byte_writer w = make_writer(record, sizeof record);
            write_u8(w, (uint8_t)index);
            write_i32(w, tic);
            write_bytes(w, h.history_states[(size_t)at].data(), compact_state_bytes);
            payload.insert(payload.end(), record, record + sizeof record);
        }
        mark_history_written(slot);
    }
    if (payload.empty()) return;
    if (!write_demo_chunk(recorder.file, recorder.previous_length, race.tic, chunk_states, payload.data(),
                          payload.size()) ||
        !vfs_flush(recorder.file))
        stop_on_write_error();
}

void write_record(int type, const void* data, size_t length) {
    if (!recorder.file) return;
    if (!write_demo_chunk(recorder.file, recorder.previous_length, race.tic, type, data, length) ||
        !vfs_flush(recorder.file))
        stop_on_write_error();
}

}  // namespace

void start_recording() {
    stop_recording();
    if (!track_loaded() || !current_track_dir) return;
    recorder = recording_state{};
    recorder.free_riding = race.free_riding;
    if (race.free_riding) {
        recorder.path = "@" + *current_track_dir + "/lastlap.kvdemo";
    } else {
        rotate_backups();
        recorder.path = default_demo;
    }
    demo_header h;
    h.race_time = race.race_time;
    h.extra_laps = race.extra_laps;
    h.gate_drop_tic = race.gate_drop_tic;
    h.track = *current_track_dir;
    for (int s = 0; s < race_slot_count && (int)recorder.slots.size() < demo_max_riders; s++) {
        const bike_state* b = bike_in_slot(s);
        const race_slot& rs = race_slots[(size_t)s];
        // Online the remote riders are recorded too: the connection fills
        // their histories as their states arrive.
        if (!b || !rs.has_rider || (rs.type == replayed_slot && !race.online)) continue;
        demo_rider r;
        r.model = bike_model_name(s);
        r.rider_texture = b->rider_body_texture;
        r.bike_texture = b->bike_texture;
        r.wheel_texture = b->wheel_texture;
        r.head_texture = b->rider_head_texture;
        r.number.assign(b->number, strnlen(b->number, sizeof b->number));
        r.name = rs.name;
        h.riders.push_back(std::move(r));
        recorder.slots.push_back(s);
    }
    // The recorded slots' histories start afresh, so that the first forced
    // record keeps and writes the state of this tic even when the recording
    // just stopped kept one for it (the next lap of free riding starts at
    // the tic the last one ended; a restarted attempt has moved the bike
    // since). Nothing but the recorder reads a recorded slot's history.
    for (int slot : recorder.slots) clear_history(slot);
    recorder.file = vfs_open(recorder.path.c_str(), "wb");
    if (!recorder.file) {
        recorder = recording_state{};
        return;
    }
    std::string text = demo_header_text(h);
    if (vfs_write(recorder.file, text.data(), text.size()) != text.size() || !vfs_flush(recorder.file))
        stop_on_write_error();
}

void record_tic(bool force) {
    if (!recorder.file) return;
    int tic = race.tic;
    if (tic % 4 == 0 || force) {
        for (int slot : recorder.slots) {
            const bike_state* b = bike_in_slot(slot);
            if (b && race_slots[(size_t)slot].type != replayed_slot) add_state_to_history(slot, encode_state(*b), tic);
        }
    }
    if (tic % 16 == 0 || force) write_pending_states();
}

void stop_recording() {
    if (!recorder.file) return;
    record_tic(true);
    if (recorder.file && !vfs_close(recorder.file)) log_printf("Writing the demo '%s' failed\n", recorder.path.c_str());
    recorder.file = nullptr;
    if (!recorder.pending_name.empty() && !recorder.free_riding) {
        std::string to = "@demos/" + recorder.pending_name;
        if (!vfs_rename(default_demo, to.c_str())) log_printf("Could not rename the demo to '%s'\n", to.c_str());
    }
    recorder = recording_state{};
}

bool recording_demo() { return recorder.file != nullptr; }

void set_demo_name(const char* text) {
    if (!recorder.file || recorder.free_riding) {
        show_message("Not currently recording a demo");
        return;
    }
    const char* p = text ? text : "";
    while (*p == ' ' || *p == '\t') p++;
    size_t n = 0;
    while (p[n] && !isspace((unsigned char)p[n])) n++;
    if (n == 0) return;
    if (n + 8 > demo_name_limit) {
        show_message("Name too long");
        return;
    }
    std::string name(p, n);
    if (name.size() < 7 || name.compare(name.size() - 7, 7, ".kvdemo") != 0) name += ".kvdemo";
    recorder.pending_name = name;
    show_message("Demo name updated");
}

void record_demo_text(const char* text) { write_record(chunk_text, text, text ? strlen(text) : 0); }
void record_demo_command(const char* text) { write_record(chunk_command, text, text ? strlen(text) : 0); }
void record_demo_deformation(const void* message, size_t length) { write_record(chunk_deformation, message, length); }
