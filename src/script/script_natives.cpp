// The natives of the global `kv`. A script is untrusted: every number is
// read without coercion (a non-number counts as 0) and checked before it
// becomes an index or reaches the terrain, every index is checked against
// the real table, and a bad argument answers false, 0, -1 or "".
//
// Errors thrown by the interpreter (a getter that throws, memory running
// out) unwind through these functions without running destructors, so they
// keep nothing but plain values on their own stack frames.
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike/tire.h"
#include "core/clock.h"
#include "core/diag.h"
#include "race/race.h"
#include "render/frame_draw.h"
#include "render/texture.h"
#include "script/script_internal.h"
#include "sound/script_sound.h"
#include "track/height_field.h"
#include "track/objects_billboards.h"
#include "track/objects_statues.h"
#include "track/tile_info.h"

namespace {

// Positions, sizes and rates beyond this are refused: nothing on a track is
// a million feet away, and larger numbers only lose their meaning as floats.
constexpr double number_limit = 1e6;

double number(duk_context* ctx, duk_idx_t i) { return duk_get_number_default(ctx, i, 0); }

bool usable(double v) { return std::isfinite(v) && std::fabs(v) <= number_limit; }

// An integer argument: false for NaN, infinities and anything outside int.
bool integer(duk_context* ctx, duk_idx_t i, int& out) {
    double v = number(ctx, i);
    if (!std::isfinite(v) || v < INT_MIN || v > INT_MAX) return false;
    out = (int)v;
    return true;
}

// A slot 0..159 with a bike in it, or null.
bike_state* slot_bike(duk_context* ctx, duk_idx_t i, int& slot) {
    if (!integer(ctx, i, slot) || slot < 0 || slot >= race_slot_count) {
        slot = -1;
        return nullptr;
    }
    return bike_in_slot(slot);
}

const char* text(duk_context* ctx, duk_idx_t i) { return duk_get_string_default(ctx, i, ""); }

duk_ret_t answer(duk_context* ctx, bool v) {
    duk_push_int(ctx, v ? 1 : 0);
    return 1;
}

duk_ret_t answer_number(duk_context* ctx, double v) {
    duk_push_number(ctx, v);
    return 1;
}

// Reads n numbers of the array at index i (missing or non-numbers are 0);
// false when it is not an array or a number is not usable.
bool read_array(duk_context* ctx, duk_idx_t i, double* out, int n) {
    if (!duk_is_array(ctx, i)) return false;
    for (int k = 0; k < n; k++) {
        duk_get_prop_index(ctx, i, (duk_uarridx_t)k);
        out[k] = number(ctx, -1);
        duk_pop(ctx);
        if (!usable(out[k])) return false;
    }
    return true;
}

bool write_array(duk_context* ctx, duk_idx_t i, const double* values, int n) {
    if (!duk_is_array(ctx, i)) return false;
    for (int k = 0; k < n; k++) {
        duk_push_number(ctx, values[k]);
        duk_put_prop_index(ctx, i, (duk_uarridx_t)k);
    }
    return true;
}

// Script names of files: inside the data ("@..."), never a way out of it.
bool file_name_allowed(const char* name) { return name[0] == '@' && name[1] && !strstr(name, ".."); }

unsigned texture_id(duk_context* ctx, duk_idx_t i) {
    double v = number(ctx, i);
    if (!std::isfinite(v) || v < 1 || v > UINT_MAX) return 0;
    return (unsigned)v;
}

statue* script_statue(duk_context* ctx, duk_idx_t i) {
    int k;
    std::vector<statue>& list = track_statues();
    if (!integer(ctx, i, k) || k < 0) return nullptr;
    long long at = (long long)first_track_statue() + k;
    if (at >= (long long)list.size()) return nullptr;
    return &list[(size_t)at];
}

billboard* script_billboard(duk_context* ctx, duk_idx_t i) {
    int k;
    std::vector<billboard>& list = track_billboards();
    if (!integer(ctx, i, k) || k < 0) return nullptr;
    long long at = (long long)first_track_billboard() + k;
    if (at >= (long long)list.size()) return nullptr;
    return &list[(size_t)at];
}

// A running-order entry 0..159 that exists, or null.
const running_entry* running_at(duk_context* ctx, duk_idx_t i) {
    int k;
    const std::vector<running_entry>& order = running_order();
    if (!integer(ctx, i, k) || k < 0 || k >= race_slot_count || k >= (int)order.size()) return nullptr;
    return &order[(size_t)k];
}

// ---- messages and textures -------------------------------------------------------------

duk_ret_t n_message(duk_context* ctx) {
    show_message(text(ctx, 0));
    return 0;
}

duk_ret_t n_read_texture(duk_context* ctx) {
    const char* name = text(ctx, 0);
    return answer_number(ctx, file_name_allowed(name) ? texture_load(name) : 0);
}

duk_ret_t n_begin_custom_frame(duk_context* ctx) {
    unsigned id = texture_id(ctx, 0);
    return answer(ctx, id && begin_custom_frame(id));
}

duk_ret_t n_end_custom_frame(duk_context* ctx) {
    unsigned id = texture_id(ctx, 0);
    return answer(ctx, id && end_custom_frame(id));
}

duk_ret_t n_paste_custom_frame(duk_context* ctx) {
    unsigned id = texture_id(ctx, 0);
    int frame;
    if (!id || !integer(ctx, 1, frame)) return answer(ctx, false);
    double v[6];
    for (int k = 0; k < 6; k++) {
        v[k] = number(ctx, 2 + k);
        if (!usable(v[k])) return answer(ctx, false);
    }
    return answer(ctx, paste_custom_frame(id, frame, v[0], v[1], v[2], v[3], v[4], v[5]));
}

// ---- the race --------------------------------------------------------------------------

duk_ret_t n_get_max_slots(duk_context* ctx) { return answer_number(ctx, race_slot_count); }
duk_ret_t n_get_running_count(duk_context* ctx) { return answer_number(ctx, (double)running_order().size()); }

duk_ret_t n_get_running_order_slot(duk_context* ctx) {
    const running_entry* e = running_at(ctx, 0);
    return answer_number(ctx, e ? e->slot : 0);
}

duk_ret_t n_get_running_order_position(duk_context* ctx) {
    const running_entry* e = running_at(ctx, 0);
    return answer_number(ctx, e ? e->gates_passed : 0);
}

duk_ret_t n_get_running_order_time(duk_context* ctx) {
    const running_entry* e = running_at(ctx, 0);
    return answer_number(ctx, e ? e->last_tic : 0);
}

duk_ret_t n_get_rider_down(duk_context* ctx) {
    int slot;
    bike_state* b = slot_bike(ctx, 0, slot);
    return answer(ctx, b && !rider_on_bike(*b) && !race_slots[(size_t)slot].timing.finished);
}

duk_ret_t n_get_seconds_per_tic(duk_context* ctx) { return answer_number(ctx, tic_length); }
duk_ret_t n_get_first_lap_length(duk_context* ctx) { return answer_number(ctx, first_lap_length()); }
duk_ret_t n_get_normal_lap_length(duk_context* ctx) { return answer_number(ctx, normal_lap_length()); }

duk_ret_t n_get_timing_position(duk_context* ctx) {
    int slot;
    if (!slot_bike(ctx, 0, slot)) return answer_number(ctx, -1);
    return answer_number(ctx, race_slots[(size_t)slot].timing.gates_passed);
}

duk_ret_t n_get_timing(duk_context* ctx) {
    int slot, index;
    if (!slot_bike(ctx, 0, slot)) return answer_number(ctx, -1);
    const std::vector<int>& tics = race_slots[(size_t)slot].timing.gate_tics;
    int tic = -1;
    if (integer(ctx, 1, index) && index >= 0 && index < (int)tics.size()) tic = tics[(size_t)index];
    return answer_number(ctx, tic * tic_length);
}

duk_ret_t n_get_rider_number(duk_context* ctx) {
    int slot;
    bike_state* b = slot_bike(ctx, 0, slot);
    if (!b) {
        duk_push_string(ctx, "");
        return 1;
    }
    duk_push_lstring(ctx, b->number, strnlen(b->number, sizeof b->number));
    return 1;
}

duk_ret_t n_get_rider_name(duk_context* ctx) {
    int slot;
    if (!integer(ctx, 0, slot) || slot < 0 || slot >= race_slot_count) {
        duk_push_string(ctx, "");
        return 1;
    }
    duk_push_string(ctx, race_slots[(size_t)slot].name.c_str());
    return 1;
}

duk_ret_t n_get_bike_model(duk_context* ctx) {
    int slot;
    const char* name = slot_bike(ctx, 0, slot) ? bike_model_name(slot) : nullptr;
    duk_push_string(ctx, name ? name : "");
    return 1;
}

duk_ret_t n_get_finish_laps(duk_context* ctx) { return answer_number(ctx, race.race_laps); }
duk_ret_t n_get_finish_time(duk_context* ctx) { return answer_number(ctx, race.race_time * tic_length); }

duk_ret_t n_get_gate_drop_time(duk_context* ctx) {
    return answer_number(ctx, race.tic >= race.gate_drop_tic ? race.gate_drop_tic * tic_length : -1);
}

// ---- the ground ------------------------------------------------------------------------

duk_ret_t n_get_elevation(duk_context* ctx) {
    double x = number(ctx, 0), z = number(ctx, 1);
    if (!usable(x) || !usable(z)) return answer_number(ctx, 0);
    return answer_number(ctx, height_at((float)x, (float)z));
}

duk_ret_t n_get_tile_number(duk_context* ctx) {
    double x = number(ctx, 0), z = number(ctx, 1);
    if (!usable(x) || !usable(z)) return answer_number(ctx, 0);
    return answer_number(ctx, tile_at((float)x, (float)z));
}

// ---- bikes -----------------------------------------------------------------------------

duk_ret_t frame_vector(duk_context* ctx, bool velocity) {
    int slot;
    bike_state* b = slot_bike(ctx, 0, slot);
    double v[3] = {0, 0, 0};
    if (b) {
        if (velocity)
            get_body_velocity(*b, body_frame, v);
        else
            get_body_position(*b, body_frame, v);
    }
    if (!write_array(ctx, 1, v, 3)) return answer(ctx, false);
    return answer(ctx, b != nullptr);
}

duk_ret_t n_get_position(duk_context* ctx) { return frame_vector(ctx, false); }
duk_ret_t n_get_velocity(duk_context* ctx) { return frame_vector(ctx, true); }

// The read-out of a wheel, refreshed for this tic; null for an empty slot.
const wheel_readout* readout(duk_context* ctx, bool front, bike_state*& bike) {
    int slot;
    bike = slot_bike(ctx, 0, slot);
    if (!bike) return nullptr;
    wheel_contact_refresh(*bike, race.tic);
    return front ? &bike->front_readout : &bike->rear_readout;
}

enum contact_query { contact_position, contact_slip, contact_velocity };

duk_ret_t contact_depth(duk_context* ctx, bool front) {
    bike_state* b;
    const wheel_readout* r = readout(ctx, front, b);
    return answer_number(ctx, r ? r->depth : 0);
}

duk_ret_t contact_vector(duk_context* ctx, bool front, contact_query q) {
    bike_state* b;
    const wheel_readout* r = readout(ctx, front, b);
    if (!r || !(r->depth > 0)) return answer(ctx, false);
    double v[3];
    if (q == contact_velocity) {
        vec3f g = contact_ground_velocity(front ? b->front_contact : b->rear_contact, r->contact_point);
        for (int k = 0; k < 3; k++) v[k] = g[(size_t)k];
    } else {
        const float* f = q == contact_position ? r->contact_point : r->slip_velocity;
        for (int k = 0; k < 3; k++) v[k] = f[k];
    }
    return answer(ctx, write_array(ctx, 1, v, 3));
}

duk_ret_t n_get_front_contact_depth(duk_context* ctx) { return contact_depth(ctx, true); }
duk_ret_t n_get_front_contact_position(duk_context* ctx) { return contact_vector(ctx, true, contact_position); }
duk_ret_t n_get_front_contact_slip(duk_context* ctx) { return contact_vector(ctx, true, contact_slip); }
duk_ret_t n_get_front_contact_velocity(duk_context* ctx) { return contact_vector(ctx, true, contact_velocity); }
duk_ret_t n_get_rear_contact_depth(duk_context* ctx) { return contact_depth(ctx, false); }
duk_ret_t n_get_rear_contact_position(duk_context* ctx) { return contact_vector(ctx, false, contact_position); }
duk_ret_t n_get_rear_contact_slip(duk_context* ctx) { return contact_vector(ctx, false, contact_slip); }
duk_ret_t n_get_rear_contact_velocity(duk_context* ctx) { return contact_vector(ctx, false, contact_velocity); }

// ---- statues and billboards --------------------------------------------------------------

constexpr int posed_bones_read = 16;
constexpr int max_statue_bones = 32;

duk_ret_t n_pose_statue(duk_context* ctx) {
    statue* s = script_statue(ctx, 0);
    int bones;
    if (!s || !integer(ctx, 1, bones) || bones < 1 || bones > max_statue_bones) return answer(ctx, false);
    if (s->bone_count != 0 && s->bone_count != bones) return answer(ctx, false);
    double centres[3 * posed_bones_read], offsets[3 * posed_bones_read], rotations[9 * posed_bones_read];
    if (!read_array(ctx, 2, centres, 3 * posed_bones_read) || !read_array(ctx, 3, offsets, 3 * posed_bones_read) ||
        !read_array(ctx, 4, rotations, 9 * posed_bones_read))
        return answer(ctx, false);
    // From here on nothing calls the interpreter: the vectors may grow.
    s->bone_count = bones;
    s->bone_centres.assign((size_t)bones * 3, 0.0f);
    s->bone_offsets.assign((size_t)bones * 3, 0.0f);
    s->bone_rotations.assign((size_t)bones * 9, 0.0f);
    for (int b = 0; b < bones; b++) {
        for (int k = 0; k < 9; k++)  // bones the script cannot reach keep the rest pose
            s->bone_rotations[(size_t)(9 * b + k)] =
                b < posed_bones_read ? (float)rotations[9 * b + k] : (k % 4 == 0 ? 1.0f : 0.0f);
        if (b >= posed_bones_read) continue;
        for (int k = 0; k < 3; k++) {
            s->bone_centres[(size_t)(3 * b + k)] = (float)centres[3 * b + k];
            s->bone_offsets[(size_t)(3 * b + k)] = (float)offsets[3 * b + k];
        }
    }
    return answer(ctx, true);
}

duk_ret_t n_move_statue(duk_context* ctx) {
    statue* s = script_statue(ctx, 0);
    double x = number(ctx, 1), dy = number(ctx, 2), z = number(ctx, 3), angle = number(ctx, 4);
    if (!s || s->shape || !usable(x) || !usable(dy) || !usable(z) || !usable(angle)) return answer(ctx, false);
    s->x = (float)x, s->y_offset = (float)dy, s->z = (float)z, s->angle = (float)angle;
    reseat_statue(*s);
    return answer(ctx, true);
}

duk_ret_t n_move_statue_absolute(duk_context* ctx) {
    statue* s = script_statue(ctx, 0);
    double x = number(ctx, 1), y = number(ctx, 2), z = number(ctx, 3), r[9];
    if (!s || s->shape || !usable(x) || !usable(y) || !usable(z) || !read_array(ctx, 4, r, 9))
        return answer(ctx, false);
    s->x = (float)x, s->y = (float)y, s->z = (float)z;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) s->orientation[(size_t)(3 * i + j)] = (float)r[3 * j + i];
    return answer(ctx, true);
}

duk_ret_t n_move_billboard(duk_context* ctx) {
    billboard* b = script_billboard(ctx, 0);
    double x = number(ctx, 1), dy = number(ctx, 2), z = number(ctx, 3);
    if (!b || !usable(x) || !usable(dy) || !usable(z)) return answer(ctx, false);
    b->x = (float)x, b->y_offset = (float)dy, b->z = (float)z;
    reseat_billboard(*b);
    return answer(ctx, true);
}

duk_ret_t n_move_billboard_absolute(duk_context* ctx) {
    billboard* b = script_billboard(ctx, 0);
    double x = number(ctx, 1), y = number(ctx, 2), z = number(ctx, 3);
    if (!b || !usable(x) || !usable(y) || !usable(z)) return answer(ctx, false);
    b->x = (float)x, b->y = (float)y, b->z = (float)z;
    return answer(ctx, true);
}

duk_ret_t n_size_billboard(duk_context* ctx) {
    billboard* b = script_billboard(ctx, 0);
    double size = number(ctx, 1);
    if (!b || !usable(size)) return answer(ctx, false);
    b->size = (float)size;
    return answer(ctx, true);
}

duk_ret_t n_color_billboard(duk_context* ctx) {
    billboard* b = script_billboard(ctx, 0);
    if (!b) return answer(ctx, false);
    double c[4];
    for (int k = 0; k < 4; k++) {
        c[k] = number(ctx, 1 + k);
        if (std::isnan(c[k])) return answer(ctx, false);
    }
    for (int k = 0; k < 4; k++) b->tint[(size_t)k] = (uint8_t)std::lround(std::clamp(c[k], 0.0, 1.0) * 255);
    return answer(ctx, true);
}

// ---- sounds -----------------------------------------------------------------------------

duk_ret_t n_add_sound(duk_context* ctx) { return answer_number(ctx, script_sound_add(text(ctx, 0))); }

int sound_index(duk_context* ctx) {
    int i;
    return integer(ctx, 0, i) ? i : -1;
}

duk_ret_t n_start_sound(duk_context* ctx) { return answer(ctx, script_sound_start(sound_index(ctx))); }
duk_ret_t n_stop_sound(duk_context* ctx) { return answer(ctx, script_sound_stop(sound_index(ctx))); }

duk_ret_t n_set_sound_loop(duk_context* ctx) {
    double flag = number(ctx, 1);
    return answer(ctx, script_sound_loop(sound_index(ctx), std::isfinite(flag) && flag != 0));
}

duk_ret_t n_set_sound_freq(duk_context* ctx) {
    double rate = number(ctx, 1);
    return answer(ctx, usable(rate) && script_sound_set_freq(sound_index(ctx), rate));
}

duk_ret_t n_set_sound_vol(duk_context* ctx) {
    double v = number(ctx, 1);
    return answer(ctx, usable(v) && script_sound_set_vol(sound_index(ctx), v));
}

duk_ret_t sound_vector(duk_context* ctx, bool velocity) {
    double x = number(ctx, 1), y = number(ctx, 2), z = number(ctx, 3);
    if (!usable(x) || !usable(y) || !usable(z)) return answer(ctx, false);
    int i = sound_index(ctx);
    return answer(ctx, velocity ? script_sound_set_vel(i, x, y, z) : script_sound_set_pos(i, x, y, z));
}

duk_ret_t n_set_sound_pos(duk_context* ctx) { return sound_vector(ctx, false); }
duk_ret_t n_set_sound_vel(duk_context* ctx) { return sound_vector(ctx, true); }

// ---- the camera ---------------------------------------------------------------------------

duk_ret_t n_get_camera_location(duk_context* ctx) {
    const sound_listener& l = listener();
    double p[3], r[9];
    for (int k = 0; k < 3; k++) p[k] = l.position[(size_t)k];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) r[3 * i + j] = l.orientation[(size_t)(3 * j + i)];
    if (!duk_is_array(ctx, 0) || !duk_is_array(ctx, 1)) return answer(ctx, false);
    write_array(ctx, 0, p, 3);
    write_array(ctx, 1, r, 9);
    return answer(ctx, true);
}

struct native {
    const char* name;
    duk_c_function fn;
    int args;
};

const native natives[] = {
    {"message", n_message, 1},
    {"read_texture", n_read_texture, 1},
    {"begin_custom_frame", n_begin_custom_frame, 1},
    {"end_custom_frame", n_end_custom_frame, 1},
    {"paste_custom_frame", n_paste_custom_frame, 8},
    {"get_max_slots", n_get_max_slots, 0},
    {"get_running_count", n_get_running_count, 0},
    {"get_running_order_slot", n_get_running_order_slot, 1},
    {"get_running_order_position", n_get_running_order_position, 1},
    {"get_running_order_time", n_get_running_order_time, 1},
    {"get_rider_down", n_get_rider_down, 1},
    {"get_seconds_per_tic", n_get_seconds_per_tic, 0},
    {"get_first_lap_length", n_get_first_lap_length, 0},
    {"get_normal_lap_length", n_get_normal_lap_length, 0},
    {"get_timing_position", n_get_timing_position, 1},
    {"get_timing", n_get_timing, 2},
    {"get_rider_number", n_get_rider_number, 1},
    {"get_rider_name", n_get_rider_name, 1},
    {"get_bike_model", n_get_bike_model, 1},
    {"get_elevation", n_get_elevation, 2},
    {"get_tile_number", n_get_tile_number, 2},
    {"get_position_", n_get_position, 2},
    {"get_velocity_", n_get_velocity, 2},
    {"get_finish_laps", n_get_finish_laps, 0},
    {"get_finish_time", n_get_finish_time, 0},
    {"get_gate_drop_time", n_get_gate_drop_time, 0},
    {"pose_statue", n_pose_statue, 5},
    {"move_statue", n_move_statue, 5},
    {"move_statue_absolute", n_move_statue_absolute, 5},
    {"move_billboard", n_move_billboard, 4},
    {"move_billboard_absolute", n_move_billboard_absolute, 4},
    {"size_billboard", n_size_billboard, 2},
    {"color_billboard", n_color_billboard, 5},
    {"add_sound", n_add_sound, 1},
    {"start_sound", n_start_sound, 1},
    {"stop_sound", n_stop_sound, 1},
    {"set_sound_loop", n_set_sound_loop, 2},
    {"set_sound_freq", n_set_sound_freq, 2},
    {"set_sound_vol", n_set_sound_vol, 2},
    {"set_sound_pos", n_set_sound_pos, 4},
    {"set_sound_vel", n_set_sound_vel, 4},
    {"get_camera_location", n_get_camera_location, 2},
    {"get_front_contact_depth", n_get_front_contact_depth, 1},
    {"get_front_contact_position", n_get_front_contact_position, 2},
    {"get_front_contact_slip", n_get_front_contact_slip, 2},
    {"get_front_contact_velocity", n_get_front_contact_velocity, 2},
    {"get_rear_contact_depth", n_get_rear_contact_depth, 1},
    {"get_rear_contact_position", n_get_rear_contact_position, 2},
    {"get_rear_contact_slip", n_get_rear_contact_slip, 2},
    {"get_rear_contact_velocity", n_get_rear_contact_velocity, 2},
};
static_assert(sizeof natives / sizeof natives[0] == 50);

}  // namespace

void register_natives(duk_context* ctx) {
    for (const native& n : natives) {
        duk_push_c_function(ctx, n.fn, n.args);
        duk_put_prop_string(ctx, -2, n.name);
    }
}
