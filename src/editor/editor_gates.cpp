// Timing gates and start positions in the top view: picking, moving and
// turning gates, laying and removing them, and the switch points that end
// a stretch of the robots' riding lines.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "editor/editor.h"
#include "editor/editor_internal.h"
#include "editor/editor_tools.h"
#include "race/race.h"
#include "race/timing_gates.h"
#include "robot/robot.h"
#include "track/height_field.h"

namespace {

bool hit(editor_point p, float x, float z) { return editor_distance(p, x, z) <= editor_handle_size() / 2; }

// The gate's direction handle: its centre plus the unit direction times its radius.
bool direction_handle(const timing_gate& g, float& x, float& z) {
    float len = std::hypot(g.direction[0], g.direction[2]);
    if (!(len > 0)) return false;
    x = g.centre[0] + g.direction[0] / len * g.radius;
    z = g.centre[2] + g.direction[2] / len * g.radius;
    return true;
}

// Replaces the track's timing with an edited copy. Timing is on exactly
// when a reload would turn it on; the robots' line store is shaped afresh
// for the new stretch counts rather than left counting the old ones.
void store_timing(timing_data data, bool stretches_changed) {
    data.active = timing_lists_valid((int)data.gates.size(), data.first_lap, data.normal_lap);
    set_track_timing(std::move(data));
    if (stretches_changed) {
        int first = 0, normal = 0;
        track_stretch_counts(first, normal);
        clear_lines(first, normal);
        clear_line_picks();
    }
    editor_mark_modified();
}

bool valid_gate(int k) { return k >= 0 && k < (int)track_timing().gates.size(); }

int unflagged(const std::vector<int>& list) {
    return (int)std::count_if(list.begin(), list.end(), [](int v) { return v < gate_entry_flag; });
}

}  // namespace

// ---- mode 11 ---------------------------------------------------------------------------------

void timing_gate_press(editor_point p) {
    editor_state& e = editor;
    e.pick_state = 0;
    if (terrain.frozen) return;
    const std::vector<timing_gate>& gates = track_timing().gates;
    for (size_t k = 0; k < gates.size(); k++)
        if (hit(p, gates[k].centre[0], gates[k].centre[2])) {
            e.selected_gate = (int)k;
            e.pick_state = 1;
            return;
        }
    for (size_t k = 0; k < gates.size(); k++) {
        float x, z;
        if (direction_handle(gates[k], x, z) && hit(p, x, z)) {
            e.selected_gate = (int)k;
            e.pick_state = 2;
            return;
        }
    }
    for (size_t k = 0; k < gates.size(); k++) {
        const timing_gate& g = gates[k];
        float dx = p.x - g.centre[0], dz = p.z - g.centre[2];
        if (dx * dx + dz * dz <= g.radius * g.radius && dx * g.direction[0] + dz * g.direction[2] < 0) {
            e.selected_gate = (int)k;
            return;
        }
    }
    e.selected_gate = -1;
}

void timing_gate_hold(editor_point p) {
    editor_state& e = editor;
    if (terrain.frozen || e.pick_state == 0 || !valid_gate(e.selected_gate)) return;
    timing_data data = track_timing();
    timing_gate& g = data.gates[(size_t)e.selected_gate];
    if (e.pick_state == 1) {
        if (g.centre[0] == p.x && g.centre[1] == 0 && g.centre[2] == p.z) return;
        g.centre[0] = p.x;
        g.centre[1] = 0;
        g.centre[2] = p.z;
    } else {
        float dx = p.x - g.centre[0], dz = p.z - g.centre[2];
        float len = std::hypot(dx, dz);
        // On the centre the gate would lose its direction: keep the old one.
        if (!(len > 0)) return;
        g.direction[0] = dx;
        g.direction[1] = 0;
        g.direction[2] = dz;
        g.radius = len;
    }
    store_timing(std::move(data), false);
}

int editor_new_gate(editor_point p) {
    if (terrain.frozen || !std::isfinite(p.x) || !std::isfinite(p.z)) return -1;
    timing_data data = track_timing();
    if ((int)data.gates.size() >= max_timing_gates || (int)data.first_lap.size() >= max_lap_entries ||
        (int)data.normal_lap.size() >= max_lap_entries) {
        editor.status_text = "No room for another gate";
        return -1;
    }
    timing_gate g;
    g.radius = std::max(editor_brush_radius(), 1.0f);
    g.centre[0] = p.x;
    g.centre[2] = p.z;
    g.direction[2] = -1;
    if (!data.gates.empty()) {
        const timing_gate& last = data.gates.back();
        float dx = p.x - last.centre[0], dz = p.z - last.centre[2], len = std::hypot(dx, dz);
        if (len > 0) g.direction[0] = dx / len, g.direction[2] = dz / len;
    }
    int index = (int)data.gates.size();
    data.gates.push_back(g);
    data.first_lap.push_back(index);
    data.normal_lap.push_back(index);
    store_timing(std::move(data), true);
    editor.selected_gate = index;
    editor.pick_state = 0;
    return index;
}

bool editor_remove_gate_at(editor_point p) {
    if (terrain.frozen) return false;
    timing_data data = track_timing();
    int k = -1;
    for (size_t i = 0; i < data.gates.size() && k < 0; i++)
        if (hit(p, data.gates[i].centre[0], data.gates[i].centre[2])) k = (int)i;
    if (k < 0) return false;
    data.gates.erase(data.gates.begin() + k);
    // Entries of the gate go; later gates move down by one.
    for (std::vector<int>* list : {&data.first_lap, &data.normal_lap}) {
        std::vector<int> kept;
        for (int v : *list) {
            int flag = v >= gate_entry_flag ? gate_entry_flag : 0, gate = v - flag;
            if (gate == k) continue;
            kept.push_back((gate > k ? gate - 1 : gate) + flag);
        }
        *list = std::move(kept);
    }
    store_timing(std::move(data), true);
    editor_state& e = editor;
    if (e.selected_gate == k) e.selected_gate = -1, e.pick_state = 0;
    else if (e.selected_gate > k) e.selected_gate--;
    return true;
}

int editor_add_start_position(editor_point p) {
    if (terrain.frozen || !std::isfinite(p.x) || !std::isfinite(p.z)) return -1;
    timing_data data = track_timing();
    if ((int)data.starts.size() >= max_start_positions) {
        editor.status_text = "No room for another start position";
        return -1;
    }
    start_gate_position s;
    s.position[0] = p.x;
    s.position[1] = height_at(p.x, p.z);
    s.position[2] = p.z;
    // Facing (-sin, -cos) of the heading: towards the lap's first gate.
    if (!data.first_lap.empty()) {
        int g = data.first_lap[0] % gate_entry_flag;
        if (g >= 0 && g < (int)data.gates.size()) {
            float dx = data.gates[(size_t)g].centre[0] - p.x, dz = data.gates[(size_t)g].centre[2] - p.z;
            if (dx != 0 || dz != 0) s.angle = std::atan2(-dx, -dz);
        }
    }
    data.starts.push_back(s);
    store_timing(std::move(data), false);
    editor.status_text = "Start positions take their gate pieces at the next load";
    return (int)track_timing().starts.size() - 1;
}

bool editor_remove_start_at(editor_point p) {
    if (terrain.frozen) return false;
    timing_data data = track_timing();
    for (size_t k = 0; k < data.starts.size(); k++)
        if (hit(p, data.starts[k].position[0], data.starts[k].position[2])) {
            data.starts.erase(data.starts.begin() + (long)k);
            store_timing(std::move(data), false);
            return true;
        }
    return false;
}

// ---- switch points ---------------------------------------------------------------------------------

namespace {

bool change_switch_point(bool clear) {
    editor_state& e = editor;
    if (!valid_gate(e.selected_gate)) {
        e.status_text = "No gate selected";
        return false;
    }
    timing_data data = track_timing();
    int from = clear ? e.selected_gate : e.selected_gate + gate_entry_flag;
    int to = clear ? e.selected_gate + gate_entry_flag : e.selected_gate;
    int changed = 0;
    for (std::vector<int>* list : {&data.first_lap, &data.normal_lap})
        for (int& v : *list)
            if (v == from) v = to, changed++;
    if (!changed) return false;
    // A lap needs more than two switch points to stay timed when the track
    // is loaded again; clearing one more would turn timing off.
    bool was_valid = timing_lists_valid((int)data.gates.size(), track_timing().first_lap, track_timing().normal_lap);
    if (clear && was_valid && (unflagged(data.first_lap) <= 2 || unflagged(data.normal_lap) <= 2)) {
        e.status_text = "A lap needs three switch points";
        return false;
    }
    store_timing(std::move(data), true);
    return true;
}

}  // namespace

bool editor_clear_switch_point() { return change_switch_point(true); }
bool editor_set_switch_point() { return change_switch_point(false); }

std::string editor_switch_point_text() {
    int k = editor.selected_gate;
    if (!valid_gate(k)) return "";
    int plain = 0, flagged = 0;
    const timing_data& t = track_timing();
    for (const std::vector<int>* list : {&t.first_lap, &t.normal_lap})
        for (int v : *list) {
            plain += v == k;
            flagged += v == k + gate_entry_flag;
        }
    if (!plain && !flagged) return "Gate not referenced";
    if (plain && flagged) return "Switch Point: Mixed";
    return plain ? "Switch Point: Yes" : "Switch Point: No";
}
