// The flaggers file, the per-frame flagger update and the file's writer.
#include "track/objects_flaggers.h"

#include <algorithm>
#include <cmath>

#include "core/text.h"
#include "render/texture.h"
#include "track/height_field.h"
#include "track/objects_billboards.h"
#include "track/objects_race.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

namespace {

constexpr double tic_seconds = 1.0 / 128;
constexpr int running_order_limit = 160;

flagger_set g_flaggers;
std::array<bool, object_gate_limit> g_rider_down{};

billboard* board(int index) {
    std::vector<billboard>& list = track_billboards();
    return index >= 0 && index < (int)list.size() ? &list[(size_t)index] : nullptr;
}

// A changed picture starts its animation from the beginning.
void show(billboard& b, unsigned texture, int tic) {
    if (b.texture == texture) return;
    b.texture = texture;
    if (texture) animation_restart(texture, tic);
}

bool read_name(vfs_file* f, std::string& out) {
    char name[1024];
    if (vfs_scanf(f, " %1023s ", name) != 1) return false;
    out = name;
    return true;
}

bool read_texture(vfs_file* f, unsigned& id) {
    std::string name;
    if (!read_name(f, name)) return false;
    id = texture_load(name.c_str());
    return true;
}

int clamp_gate(int gate, int gate_count) {
    if (gate < -1) return -1;
    if (gate > gate_count - 1) return gate_count - 1;
    return gate;
}

void read_flaggers(vfs_file* f) {
    start_flagger_record& st = g_flaggers.start;
    std::array<float, 3>& p0 = st.pos0;
    std::array<float, 3>& p1 = st.pos1;
    if (vfs_scanf(f, " [ %f %f %f ] [ %f %f %f ] %f %f %f ", &p0[0], &p0[1], &p0[2], &p1[0], &p1[1], &p1[2], &st.size,
                  &st.aspect, &st.walk_time) != 9)
        return;
    // A walk to nowhere is no walk.
    if (!std::isfinite(p1[0]) || !std::isfinite(p1[1]) || !std::isfinite(p1[2])) p1 = p0;
    for (int k = 0; k < 5; k++) {
        if (k == 0) {
            std::string spec;
            if (!read_name(f, spec)) return;
            st.billboard = add_billboard(p0[0], p0[1], p0[2], st.size, st.aspect, spec.c_str());
            if (billboard* b = board(st.billboard)) st.textures[0] = b->texture;
        } else if (!read_texture(f, st.textures[(size_t)k])) {
            return;
        }
    }

    lap_flagger_record& lap = g_flaggers.lap;
    float x, y, z, size, aspect;
    if (vfs_scanf(f, " [ %f %f %f ] %f %f ", &x, &y, &z, &size, &aspect) != 5) return;
    for (int k = 0; k < lap_flag_count; k++) {
        if (k == 0) {
            std::string spec;
            if (!read_name(f, spec)) return;
            lap.billboard = add_billboard(x, y, z, size, aspect, spec.c_str());
            if (billboard* b = board(lap.billboard)) lap.textures[0] = b->texture;
        } else if (!read_texture(f, lap.textures[(size_t)k])) {
            return;
        }
    }

    int gate_count = current_laps().gate_count;
    for (;;) {
        yellow_flagger y_flagger;
        std::array<int, 4>& g = y_flagger.gates;
        if (vfs_scanf(f, " [ %f %f %f ] %f %f %d %d %d %d", &x, &y, &z, &size, &aspect, &g[0], &g[1], &g[2], &g[3]) !=
            9)
            return;
        for (int& gate : g) gate = clamp_gate(gate, gate_count);
        std::string spec;
        if (!read_name(f, spec)) return;
        y_flagger.billboard = add_billboard(x, y, z, size, aspect, spec.c_str());
        if (billboard* b = board(y_flagger.billboard)) y_flagger.normal = b->texture;
        if (!read_texture(f, y_flagger.yellow)) return;
        g_flaggers.yellow.push_back(y_flagger);
    }
}

void update_start_flagger(double seconds, int tic) {
    start_flagger_record& st = g_flaggers.start;
    billboard* b = board(st.billboard);
    if (!b) return;
    double w;
    if (st.walk_time > 0)
        w = std::clamp((seconds - 6) / st.walk_time, 0.0, 1.0);
    else
        w = seconds >= 6 ? 1 : 0;  // no walking time: there at once
    float x = (float)(st.pos0[0] + w * (st.pos1[0] - st.pos0[0]));
    float o = (float)(st.pos0[1] + w * (st.pos1[1] - st.pos0[1]));
    float z = (float)(st.pos0[2] + w * (st.pos1[2] - st.pos0[2]));
    if (std::isfinite(x) && std::isfinite(o) && std::isfinite(z)) {
        b->x = x, b->z = z, b->y_offset = o;
        b->y = height_at(x, z) + o;
    }
    show(*b, st.textures[(size_t)start_flagger_picture(seconds, st.walk_time)], tic);
}

void update_yellow_flags(const lap_view& laps) {
    g_rider_down.fill(false);
    int slots[running_order_limit];
    int count = object_race.running_order ? object_race.running_order(slots, running_order_limit) : 0;
    count = std::clamp(count, 0, running_order_limit);
    for (int k = 0; k < count; k++) {
        int slot = slots[k];
        if (object_race.stale_remote && object_race.stale_remote(slot)) continue;
        if (!object_race.rider_is_down || !object_race.rider_is_down(slot)) continue;
        int passed = object_race.gates_passed ? object_race.gates_passed(slot) : 0;
        int gate = gate_of_position(laps, passed);
        if (gate >= 0) g_rider_down[(size_t)gate] = true;
    }
    for (yellow_flagger& y : g_flaggers.yellow) {
        billboard* b = board(y.billboard);
        if (!b) continue;
        bool down = false;
        for (int gate : y.gates) down = down || (gate >= 0 && rider_down_ahead(gate));
        b->texture = down ? y.yellow : y.normal;
    }
}

}  // namespace

const flagger_set& track_flaggers() { return g_flaggers; }

void load_flaggers(const char* name) {
    free_flaggers();
    vfs_file* f = name ? vfs_open(name, "rb") : nullptr;
    if (f) {
        read_flaggers(f);
        vfs_close(f);
    }
    // Billboards made after the marshals are the track file's.
    mark_first_track_billboard();
}

void free_flaggers() {
    g_flaggers = flagger_set();
    g_rider_down.fill(false);
}

bool rider_down_ahead(int gate) { return gate >= 0 && gate < object_gate_limit && g_rider_down[(size_t)gate]; }

int start_flagger_picture(double seconds, float walk_time) {
    if (seconds < 5.1) return 0;
    if (seconds < 5.4) return 1;
    if (seconds < 6) return 2;
    // A walking time that is not a number walks no time, as zero does,
    // rather than leaving the flagger walking for ever.
    double walk = walk_time > 0 ? (double)walk_time : 0.0;
    if (seconds >= 6 + walk) return 4;
    return 3;
}

int lap_flag_for(int leader_gates_passed) {
    lap_view laps = current_laps();
    race_length_values r;
    if (object_race.race_length) object_race.race_length(r);
    long long passed = leader_gates_passed, first = laps.first, normal = laps.normal;
    // The laps the leader will have completed after its next gate.
    long long a = (normal == 0 || passed + 1 < first) ? 0 : (passed + 1 - first) / normal + 1;
    long long laps_to_run = r.race_laps;
    long long line = a == 0 ? 0 : normal * (a - 1) + first - 1;
    if ((long long)race_tic() >= (long long)race_gate_drop_tic() + r.race_time && passed == line)
        laps_to_run = std::min<long long>(r.race_laps, a + r.extra_laps);
    if (a >= laps_to_run) return lap_flag_finished;
    if (laps_to_run == a + 1) return lap_flag_last_lap;
    if (a == r.halfway_lap) return lap_flag_halfway;
    return lap_flag_normal;
}

void update_flaggers() {
    lap_view laps = current_laps();
    if (laps.first + laps.normal <= 0) return;
    int tic = race_tic();
    update_start_flagger(tic * tic_seconds, tic);

    if (billboard* b = board(g_flaggers.lap.billboard)) {
        int leader = 0;
        int slots[running_order_limit];
        if (object_race.running_order && object_race.running_order(slots, running_order_limit) > 0)
            leader = object_race.gates_passed ? object_race.gates_passed(slots[0]) : 0;
        show(*b, g_flaggers.lap.textures[(size_t)lap_flag_for(leader)], tic);
    }
    update_yellow_flags(laps);
}

// ---- the writer -----------------------------------------------------------------

namespace {

std::string place_text(const flagger_file::place& p) {
    return "[" + exact_float_text(p.x) + " " + exact_float_text(p.y_offset) + " " + exact_float_text(p.z) + "]";
}

// A missing picture still needs a token, or the items after it shift.
std::string name_or_null(const std::string& name) { return name.empty() ? "null" : name; }

}  // namespace

std::string encode_flaggers(const flagger_file& f) {
    std::string out = place_text(f.start_pos0) + " " + place_text(f.start_pos1) + " " + exact_float_text(f.start_size) +
                      " " + exact_float_text(f.start_aspect) + " " + exact_float_text(f.walk_time) + "\n";
    for (const std::string& t : f.start_textures) out += name_or_null(t) + "\n";
    out += place_text(f.lap_pos) + " " + exact_float_text(f.lap_size) + " " + exact_float_text(f.lap_aspect) + "\n";
    for (const std::string& t : f.lap_textures) out += name_or_null(t) + "\n";
    for (const flagger_file::yellow& y : f.yellows) {
        out += place_text(y.pos) + " " + exact_float_text(y.size) + " " + exact_float_text(y.aspect) +
               format_string(" %d %d %d %d\n", y.gates[0], y.gates[1], y.gates[2], y.gates[3]);
        out += name_or_null(y.normal) + "\n" + name_or_null(y.yellow) + "\n";
    }
    return out;
}
