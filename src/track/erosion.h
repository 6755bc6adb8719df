// Wheels dig the track: each wheel's contact becomes averaged points,
// grouped into strokes; a stroke travels as a compact binary message (to the
// race server, into demos, or straight back here offline) and is decoded
// into a queue; the queue is applied a little every frame as two craters
// per point and a deposit of the dug volume behind the wheel.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int erode_stroke_points = 64;
constexpr int erode_queue_size = 0x20000;
constexpr int erode_max_weight = 15;      // what the message's four weight bits can hold
constexpr int erode_slots = 160;
constexpr size_t erode_message_head = 17;  // kind, four bounds, the first point
constexpr size_t erode_point_bytes = 4;    // every later point

struct erode_point {
    float x = 0, z = 0;
    float push_x = 0, push_z = 0;  // the way the dirt goes; length 0.125 .. 1 is the strength
    int weight = 0;                // tics averaged
};

struct erode_stroke {
    std::array<erode_point, erode_stroke_points> points{};
    int point_count = 0;
    float delta_min_x = 0, delta_min_z = 0, delta_max_x = 0, delta_max_z = 0;
    int last_point_tic = 0;
    int sample_count = 0;  // tics summed into the point being averaged (0 .. 16)
    float sum_x = 0, sum_z = 0, sum_push_x = 0, sum_push_z = 0;
    float last_x = 0, last_z = 0;
    float travel = 0;
};

// What the deformation reads of one wheel after the world step.
struct erode_contact {
    float point[3] = {};          // the contact point
    float slip_velocity[3] = {};  // wheel material velocity at the contact
    float velocity[3] = {};       // the wheel body's velocity
    float force[3] = {};          // the force the contact applied to the wheel
    float depth = 0;              // 0: no contact
};

// Deformation strength in 1/1024; 0 or less: no deformation; -1 online
// until the race server says.
extern int erode_rate;

// The reset: strokes and queue emptied, no deferral deadline, the rate set.
void erode_reset(int rate);

// ---- producing ----------------------------------------------------------------------
// One tic of one wheel into its stroke; `tic` is the race tic.
void erode_from_wheel(erode_stroke& stroke, const erode_contact& contact, bool front, int tic);
// Both wheels of the bike in `slot` (front first), into that slot's strokes.
void erode_from_wheels(int slot, const erode_contact& front, const erode_contact& rear, int tic);
// One wheel's digging read-out: "speed=…\nslip=…\nfx=…\nfz=…\npfx=…\npfz=…\n"
// (the push is 0 when the wheel is off the ground or pushes too weakly).
std::string erode_readout(const erode_contact& contact, bool front);
erode_stroke& erode_stroke_of(int slot, bool front);

// The stroke's points as a message; sent when connected, else decoded into
// the queue at once; then the stroke's points are emptied.
void send_stroke(erode_stroke& stroke);
std::vector<uint8_t> encode_stroke(const erode_stroke& stroke);

// Where a stroke goes when a race server is connected. Until the network
// fills it, strokes are always applied locally.
struct erode_link {
    bool (*connected)() = nullptr;
    void (*send)(const uint8_t* message, size_t length) = nullptr;
};
extern erode_link erode_network;

// ---- receiving and applying ------------------------------------------------------
// Decodes a message into the queue: the number of points queued, or -1 for a
// malformed message (wrong kind, short, a partial point, no track loaded).
int receive_stroke(const uint8_t* message, size_t length);
// Decoding only, into `out` (which is cleared); the same checks.
bool decode_stroke(const uint8_t* message, size_t length, std::vector<erode_point>& out);

// Once per frame: applies queued points within the frame's budget, holding
// back those within 10 units of the viewer (x, z; null for none) for at most
// 256 tics. strength = erode_rate / 1024.
void apply_erosion(const float* viewer, float strength, int tic);
// Applies one point now (what apply_erosion does with each taken point).
void apply_erode_point(const erode_point& p, float strength);

int erode_queue_count();
// The k-th waiting point from the head.
erode_point erode_queue_at(int k);
// The deferral deadline (a tic), or -1 for none.
int erode_deadline();

// Lowers the ground around (x, z) by up to `depth` (a smooth cap of the
// radius); returns the total height change (negative for a dig).
double erode_dig(float x, float z, float radius, float depth);
// Raises it by `volume` in total, spread the same way.
double erode_deposit(float x, float z, float radius, float volume);
