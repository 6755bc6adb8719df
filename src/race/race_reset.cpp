// Setting up a race: the old one torn down, the track (re)loaded, the slots
// filled from their kinds, the bikes dropped on the starting grid, the race
// clock started; and the free-riding restart.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "bike/collision.h"
#include "bike/drivetrain.h"
#include "bike/solid_objects.h"
#include "bike/tire.h"
#include "core/bike_names.h"
#include "core/bike_setup.h"
#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/loading.h"
#include "core/setup_watch.h"
#include "core/text.h"
#include "platform/process.h"
#include "race/race.h"
#include "race/race_internal.h"
#include "race/race_tic.h"
#include "race/results.h"
#include "race/series.h"
#include "render/model.h"
#include "render/texture.h"
#include "track/height_field.h"
#include "track/erosion.h"
#include "track/objects_cameras.h"
#include "track/track.h"

namespace {

race_setup g_setup;

// A drop that has not cleared everything after this many steps (100 ft)
// stops where it is: the ground or a statue there is not a sound one.
constexpr int drop_step_limit = 400;
constexpr float drop_step = 0.25f;

const char* model_name_of(int index) {
    return bike_model_names[std::clamp(index, 0, bike_model_count - 1)];
}

// The older models of these names are the 2008 ones.
std::string current_model_name(const std::string& name) {
    for (const char* old : {"crf250", "kx250f", "rmz250", "yz250f"})
        if (name == old) return name + "(2008)";
    return name;
}

// The setup every robot rides: the built-in values with the aids a robot's
// driving expects; never the player's own choices.
bike_setup robot_setup() {
    bike_setup s;
    s.name = "Roborider";
    s.auto_shift = 1;
    s.auto_dab = 1;
    s.auto_align = 1;
    s.sticky_dab = 0;
    return s;
}

// Without a roster, a robot rides the bike its kind asks for
// with the built-in setup.
std::string stand_in_robot_model(int kind) {
    if (kind == slot_kind_robot_2stroke) return "cr125";
    if (kind == slot_kind_robot_4stroke) return "crf250(2008)";
    return "yz250f(2017)";
}

void frame_position(const bike_state& b, float out[3]) {
    double p[3];
    get_body_position(b, body_frame, p);
    for (int k = 0; k < 3; k++) out[k] = (float)p[k];
}

void remove_bike(int slot) {
    if (race_parts.free_engine_sound) race_parts.free_engine_sound(slot);
    if (bike_state* b = bike_in_slot(slot)) destroy_bike(b);
    race_slot& rs = race_slots[(size_t)slot];
    rs.has_rider = false;
    rs.type = replayed_slot;
    rs.timing = slot_timing{};
}

// Makes the slot's bike, drops it on its grid place and readies it for its
// kind of rider; false leaves the slot as it was.
bool build_slot_bike(int slot, std::string model, const bike_setup& setup, int type, bool robot) {
    race_slot& rs = race_slots[(size_t)slot];
    model = current_model_name(model);
    bike_state* b = create_bike(model.c_str(), slot, robot, setup);
    if (!b) return false;
    if (race_parts.create_engine_sound) race_parts.create_engine_sound(slot);
    rs.has_rider = true;
    rs.type = type;
    rs.number.assign(b->number, strnlen(b->number, sizeof b->number));
    rs.model.assign(bike_model(*b).name, strnlen(bike_model(*b).name, sizeof bike_model(*b).name));

    grid_place place = start_grid_place(slot);
    drop_bike(*b, place.x, place.z, place.angle);
    frame_position(*b, rs.start_point);
    if (type == replayed_slot) {
        deactivate_bike(*b);
        b->roll_damping = 100;
        b->full_lock_speed = 5;
        b->restricted_lock_speed = 50;
        b->restricted_lock_angle = 0.04363323f;
    } else {
        activate_bike(*b);
    }
    return true;
}

// Builds the bike of one slot by its kind; false leaves the slot empty.
bool load_slot(int slot, int kind, bool playback) {
    race_slot& rs = race_slots[(size_t)slot];
    rs = race_slot{};
    bike_setup setup = player_setup;
    std::string model;
    int type = replayed_slot;
    bool robot = false;
    if (kind == slot_kind_human) {
        model = model_name_of(player_setup.bike);
        rs.name = player_setup.name;
        type = local_slot;
        // Online the race goes by the name and number the server holds.
        std::string server_model;
        bike_setup server_setup = setup;
        if (race.online && race_parts.remote_rider && race_parts.remote_rider(slot, server_model, server_setup)) {
            rs.name = server_setup.name;
            setup.number = server_setup.number;
        }
    } else if (kind == slot_kind_robot || kind == slot_kind_robot_2stroke || kind == slot_kind_robot_4stroke ||
               kind >= slot_kind_series_robot) {
        // A robot rides the built-in setup with simulation physics and the
        // aids on; the roster gives its number and graphics.
        setup = robot_setup();
        bool assigned = race_parts.assign_robot && race_parts.assign_robot(slot, kind, g_setup.skill, model, setup);
        if (!assigned) {
            model = stand_in_robot_model(kind);
            // A series robot rides with the number the series gave it.
            setup.number = std::to_string(kind >= slot_kind_series_robot ? kind - slot_kind_series_robot : slot + 1);
        }
        rs.name = "Roborider";
        type = robot_slot;
        robot = true;
    } else if (kind == slot_kind_empty && playback) {
        if (!race_parts.next_demo_rider || !race_parts.next_demo_rider(slot, model, setup)) return false;
        rs.name = setup.name;
        type = replayed_slot;
    } else if (kind == slot_kind_remote) {
        if (!race_parts.remote_rider || !race_parts.remote_rider(slot, model, setup)) return false;
        rs.name = setup.name;
        type = replayed_slot;
    } else {
        return false;
    }
    return build_slot_bike(slot, model, setup, type, robot);
}

int first_kind(const slot_kind_list& kinds, int kind) {
    for (int s = 0; s < race_slot_count; s++)
        if (kinds[(size_t)s] == kind) return s;
    return -1;
}

}  // namespace

const race_setup& last_race_setup() { return g_setup; }

grid_place start_grid_place(int place) {
    grid_place g;
    place = std::max(place, 0);
    const std::vector<start_gate_position>& starts = track_timing().starts;
    if (starts.empty()) {
        g.x = terrain.extent / 2 + 5.0f * (float)place;
        g.z = terrain.extent / 2;
        return g;
    }
    int count = (int)starts.size();
    const start_gate_position& s = starts[(size_t)(place % count)];
    float row = (float)(place / count);
    g.angle = s.angle;
    g.x = s.position[0] + std::sin(s.angle) * 10 * (row + 0.0625f);
    g.y = s.position[1];
    g.z = s.position[2] + std::cos(s.angle) * 10 * (row + 0.0625f);
    return g;
}

bool bike_touches_anything(bike_state& b) {
    for (wheel_contact* w : {&b.front_contact, &b.rear_contact}) {
        if (!w->body) continue;
        const dReal* p = dBodyGetPosition(w->body);
        vec3f c = {(float)p[0], (float)p[1], (float)p[2]};
        ground_contact out;
        if (tire_ground_deepest(c, wheel_world_axle(*w), w->tire_ring_radius, w->tire_section_radius, out))
            return true;
    }
    for (int part = 0; part < bike_body_count; part++) {
        const auto& shape = b.shapes[(size_t)part];
        if (!shape || part == body_front_wheel || part == body_rear_wheel) continue;
        shape_placement at = body_placement(b.bodies[part]);
        for (const collision_sphere& s : shape->spheres) {
            collision_sphere w = world_sphere(s, at);
            ground_contact out;
            if (sphere_ground_deepest({w.center[0], w.center[1], w.center[2]}, w.radius, out)) return true;
        }
    }
    if (!solid_objects.statue) return false;
    const dReal* p = dBodyGetPosition(b.bodies[body_frame]);
    std::vector<int> near;
    solid_statues_near((float)p[0], (float)p[2], 6, near);
    for (int index : near) {
        solid_statue statue;
        if (!solid_objects.statue(index, statue) || !statue.shape) continue;
        shape_placement at = fixed_placement(statue.position, statue.face_distance == 0 ? statue.orientation : nullptr);
        if (bike_shape_collide(b, *statue.shape, nullptr, at, contact_report_only, false)) return true;
    }
    return false;
}

void drop_bike(bike_state& b, float x, float z, float angle) {
    if (!std::isfinite(x) || !std::isfinite(z)) x = z = 0;
    if (!std::isfinite(angle)) angle = 0;
    if (angle != 0) rotate_bike(b, 0, 1, 0, angle);
    // The sample under the point; sample_height keeps the indices on the grid.
    float y = 0;
    if (terrain.heights && terrain.cell_size > 0) {
        double i = std::trunc(x / terrain.cell_size), j = std::trunc(z / terrain.cell_size);
        int last = terrain.samples_per_side - 1;
        y = sample_height((int)std::clamp(i, 0.0, (double)last), (int)std::clamp(j, 0.0, (double)last));
    }
    // The frame, not the model's origin, goes over the point.
    double f[3];
    get_body_position(b, body_frame, f);
    translate_bike(b, x - f[0], y, z - f[2]);
    for (int n = 0; n < drop_step_limit && bike_touches_anything(b); n++) translate_bike(b, 0, drop_step, 0);
    // The report-only statue test may have left a contact in a wheel record.
    b.front_contact.depth = b.rear_contact.depth = 0;
}

bool add_replayed_rider(int slot, const std::string& model, const bike_setup& setup) {
    if (slot < 0 || slot >= race_slot_count) return false;
    remove_bike(slot);
    race_slots[(size_t)slot] = race_slot{};
    race_slots[(size_t)slot].name = setup.name;
    if (build_slot_bike(slot, model, setup, replayed_slot, false)) return true;
    remove_bike(slot);
    return false;
}

void remove_rider(int slot) {
    if (slot >= 0 && slot < race_slot_count) remove_bike(slot);
}

void free_race_bikes() {
    for (int s = 0; s < race_slot_count; s++) remove_bike(s);
    clear_race_timing();
}

void free_race() {
    free_race_bikes();
    if (bike_world_ready()) dJointGroupEmpty(tic_joint_group());
}

bool reset_race(const race_setup& setup_in) {
    race_setup setup = setup_in;
    credit_series_event();

    loading_step_begin("Resetting...");
    log_printf("Resetting\n");
    loading_max_gap = 0;

    random_seed(race_random(), (uint32_t)race.tic);
    seed_roost_random((uint32_t)race.tic ^ 0x5eed0u);
    if (race_parts.shuffle_robots) race_parts.shuffle_robots();

    if (track_loaded()) {
        loading_step_begin("Remembering lines");
        if (race_parts.save_robot_lines) race_parts.save_robot_lines();
        loading_step_done("Remembering lines");
    }
    if (race_parts.close_demos) race_parts.close_demos();

    loading_step_begin("Cleaning up");
    log_printf("Deallocating bikes\n");
    free_race_bikes();
    log_printf("Finished deallocating bikes\n");
    loading_step_done("Cleaning up");

    bool online = race_parts.connected && race_parts.connected();
    // The server's off-course values outlive the race they came with.
    race_clock fresh;
    fresh.off_course_bias = race.off_course_bias;
    fresh.off_course_scale = race.off_course_scale;
    fresh.viewed_slot = race.viewed_slot;
    race = fresh;
    race.online = online;
    race.race_time = std::max(setup.race_time, 0);
    race.extra_laps = std::max(setup.laps, 0);
    race.start_flagger_time = 5 * tics_per_second;
    race.gate_drop_tic = (int)std::trunc((13 + 2 * (double)next_unit(race_random())) * tics_per_second);
    race.playback_delay = 0;
    if (race_parts.clear_histories) race_parts.clear_histories();

    // The track: a played demo's, else the chosen one.
    std::string dir = setup.track.empty() ? settings.track : setup.track;
    if (setup.playback && !setup.demo.empty() && race_parts.open_demo) {
        std::string demo_track;
        if (race_parts.open_demo(setup.demo.c_str(), demo_track) && !demo_track.empty()) dir = demo_track;
    }
    if (race_parts.release_script_sounds) race_parts.release_script_sounds();
    if (!prepare_track(dir.c_str(), online)) {
        log_printf("Resetting failed: track '%s' could not be loaded\n", dir.c_str());
        loading_step_done("Resetting...");
        return false;
    }

    // Strokes and waiting points go with the race; online the race server
    // says whether the ground deforms.
    erode_reset(online ? -1 : cmdline.erode_rate);

    slot_kind_list kinds{};
    race.free_riding = !setup.slot_kinds;
    if (race.free_riding) {
        kinds[0] = slot_kind_human;
        race.tic = free_riding_start_tic;
    } else {
        kinds = *setup.slot_kinds;
    }

    // The viewed slot: the first one with a rider; with none at all a robot
    // rides slot 0 so the race still runs. Only the first human stays human.
    int viewed = -1;
    for (int s = 0; s < race_slot_count && viewed < 0; s++)
        if (kinds[(size_t)s] != slot_kind_empty) viewed = s;
    if (viewed < 0) {
        viewed = 0;
        if (!setup.playback) kinds[0] = slot_kind_robot;
    }
    int human = first_kind(kinds, slot_kind_human);
    if (human >= 0) {
        viewed = human;
        for (int s = human + 1; s < race_slot_count; s++)
            if (kinds[(size_t)s] == slot_kind_human) kinds[(size_t)s] = slot_kind_empty;
    }
    race.viewed_slot = viewed;
    if (!race.free_riding) setup.slot_kinds = kinds;
    g_setup = setup;

    if (race_parts.read_robot_lines) {
        loading_step_begin("Analyzing lines");
        race_parts.read_robot_lines(setup.skill);
        loading_step_done("Analyzing lines");
    }

    loading_step_begin("Loading bikes");
    for (int s = 0; s < race_slot_count; s++) {
        if (!load_slot(s, kinds[(size_t)s], setup.playback)) remove_bike(s);
        loading_step_tick("Loading bikes");
    }
    loading_step_done("Loading bikes");
    if (race_parts.clear_histories) race_parts.clear_histories();
    if (setup.record && race_parts.start_recording) race_parts.start_recording();
    if (race_parts.return_particles) race_parts.return_particles();
    if (race_parts.clear_line_picks) race_parts.clear_line_picks();

    show_message(format_string("%d MB texture memory used\n", (int)(texture_memory_used() >> 20)).c_str());
    textures_release();
    models_release();

    if (race.race_time > 0) {
        race.race_laps = race.halfway_lap = undecided_laps;
    } else {
        race.race_laps = race.extra_laps;
        race.halfway_lap = (race.extra_laps + 1) / 2;
    }
    raise_starting_gate();

    if (race.free_riding) restart_attempt();

    log_printf("Max loading delay was %f (%s)\n", loading_max_gap, loading_max_gap_text.c_str());
    if (race_parts.record_states) race_parts.record_states(true);
    race.results_written = false;
    clear_final_standings();
    update_running_order();
    if (!bike_in_slot(race.viewed_slot) && !running_order().empty())
        race.viewed_slot = running_order().front().slot;

    dJointGroupEmpty(tic_joint_group());
    bike_state* viewed_bike = bike_in_slot(race.viewed_slot);
    if (viewed_bike && race_slots[(size_t)race.viewed_slot].type == local_slot) {
        apply_bike_setup(*viewed_bike, player_setup, total_clock);
        remember_setup_values();
    }
    if (viewed_bike) {
        double p[3];
        get_body_position(*viewed_bike, body_frame, p);
        free_flight_camera().position = {p[0], p[1] + 5, p[2]};
    }
    loading_step_done("Resetting...");
    tune_process();
    return true;
}

void restart_attempt() {
    if (race_parts.close_demos) race_parts.close_demos();
    for (int s = 1; s < race_slot_count; s++) remove_bike(s);
    bike_state* b = bike_in_slot(0);
    if (b && timing_active()) {
        int p = std::max(first_lap_length() - 3, 0);
        int gi = gate_of_sequence_position(p);
        if (gi >= 0) {
            const timing_gate& g = track_timing().gates[(size_t)gi];
            reset_bike(*b);
            drop_bike(*b, g.centre[0], g.centre[2], (float)std::atan2(-g.direction[0], -g.direction[2]));
            truncate_gates(0, p);
        }
        if (bike_world_ready()) dJointGroupEmpty(tic_joint_group());
    }
    if (race_parts.start_attempt) race_parts.start_attempt();
    update_running_order();
}
