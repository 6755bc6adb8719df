// Terrain deformation: wheel contacts into strokes, the stroke message, the
// queue of received points, and digging and depositing on the height field.
#include "track/erosion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/diag.h"
#include "track/height_field.h"
#include "track/tile_info.h"

int erode_rate = 0;
erode_link erode_network;

namespace {

constexpr int max_average_tics = 16;
constexpr int stroke_timeout_tics = 64;
constexpr float max_delta_range = 64.0f;
constexpr float defer_distance_squared = 100.0f;
constexpr int defer_backlog = 8192;
constexpr int defer_tics = 256;
// A stamp never spans more than this many cells from its centre, whatever a
// track's tile values say: the dig loop stays small.
constexpr float max_radius_cells = 32.0f;

struct erosion_state {
    std::vector<erode_stroke> strokes;  // two per slot: front, rear
    std::vector<erode_point> queue;     // ring, erode_queue_size entries once used
    int head = 0;
    int count = 0;
    int deadline = -1;
    bool full_reported = false;
};
erosion_state g;

void clear_points(erode_stroke& s) {
    s.point_count = 0;
    s.delta_min_x = s.delta_min_z = s.delta_max_x = s.delta_max_z = 0;
}

// ---- the message codec ----------------------------------------------------------------

uint16_t encode_bound(float v) {
    float c = std::clamp(v, -1024.0f, 1024.0f);
    if (!std::isfinite(c)) c = 0;
    return (uint16_t)std::floor((c + 1024.0f) / 2048.0f * 65535.0f + 0.5f);
}
float decode_bound(uint16_t b) { return (float)b / 65535.0f * 2048.0f - 1024.0f; }

uint32_t encode_position(float v, float extent) {
    if (!(extent > 0) || !std::isfinite(v)) return 0;
    float c = std::clamp(v, 0.0f, extent);
    return (uint32_t)std::floor(c / extent * 16777215.0f + 0.5f);
}
float decode_position(uint32_t p, float extent) { return (float)p / 16777215.0f * extent; }

// The push component in the upper six bits, two weight bits below. One
// quantisation only: OR-ing a rounded and a truncated form of the same value
// would corrupt the byte whenever they differ.
uint8_t encode_push(float q, int weight_bits) {
    float f = (std::clamp(std::isfinite(q) ? q : 0.0f, -1.0f, 1.0f) + 1.0f) / 2.0f;
    int k = std::min((int)(f * 64.0f), 63);
    return (uint8_t)((k << 2) | (weight_bits & 3));
}
float decode_push(uint8_t c) { return 2.0f * std::min((float)(c >> 2) / 64.0f, 1.0f) - 1.0f; }

// A difference byte over [lower, upper] and its decoded value; the encoder
// measures from the decoded position, so errors never add up.
uint8_t encode_difference(float d, float lower, float upper) {
    float range = upper - lower;
    if (!(range > 0)) return 0;
    float v = std::floor((d - lower) / range * 255.0f + 0.5f);
    if (!std::isfinite(v)) return 0;
    return (uint8_t)std::clamp(v, 0.0f, 255.0f);
}
float decode_difference(uint8_t d, float lower, float upper) { return lower + (float)d / 255.0f * (upper - lower); }

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back((uint8_t)(v & 255));
    out.push_back((uint8_t)(v >> 8));
}
void put24(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back((uint8_t)(v & 255));
    out.push_back((uint8_t)((v >> 8) & 255));
    out.push_back((uint8_t)((v >> 16) & 255));
}
uint16_t get16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
uint32_t get24(const uint8_t* p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16); }

int weight_of(uint8_t px, uint8_t pz) { return (px & 3) | ((pz & 3) << 2); }

void queue_point(const erode_point& p) {
    if (g.count >= erode_queue_size) {
        if (!g.full_reported) show_message("Erode queue full!");
        g.full_reported = true;
        return;
    }
    if (g.queue.empty()) g.queue.resize((size_t)erode_queue_size);
    g.queue[(size_t)((g.head + g.count) % erode_queue_size)] = p;
    g.count++;
}

// ---- strokes ----------------------------------------------------------------------------

void finish_point(erode_stroke& s, int tic) {
    int n = s.sample_count;
    if (n < 1) return;
    if (s.point_count >= erode_stroke_points) send_stroke(s);
    erode_point p;
    p.x = s.sum_x / (float)n;
    p.z = s.sum_z / (float)n;
    p.push_x = s.sum_push_x / (float)n;
    p.push_z = s.sum_push_z / (float)n;
    p.weight = n;
    // The sums go with the count: a wheel that touches down again after the
    // stroke's time-out starts its average from nothing.
    s.sample_count = 0;
    s.sum_x = s.sum_z = s.sum_push_x = s.sum_push_z = 0;
    if (s.point_count >= 1) {
        const erode_point& prev = s.points[(size_t)s.point_count - 1];
        float dx = p.x - prev.x, dz = p.z - prev.z;
        if (s.point_count == 1 && (std::fabs(dx) > max_delta_range || std::fabs(dz) > max_delta_range)) {
            // A jump as from a bike put back on the track: the stroke ends
            // there, since the bounds could not hold the step.
            send_stroke(s);
        } else if (s.point_count == 1) {
            s.delta_min_x = s.delta_max_x = dx;
            s.delta_min_z = s.delta_max_z = dz;
        } else {
            float lx = std::min(s.delta_min_x, dx), ux = std::max(s.delta_max_x, dx);
            float lz = std::min(s.delta_min_z, dz), uz = std::max(s.delta_max_z, dz);
            if (ux - lx > max_delta_range || uz - lz > max_delta_range) {
                send_stroke(s);
            } else {
                s.delta_min_x = lx, s.delta_max_x = ux, s.delta_min_z = lz, s.delta_max_z = uz;
            }
        }
    }
    s.points[(size_t)s.point_count++] = p;
    s.last_point_tic = tic;
}

bool finite3(const float* v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

// Steps 2 to 7: the push of this tic; false when it is too weak to count.
bool wheel_push(const erode_contact& c, bool front, float& push_x, float& push_z) {
    float x = c.point[0], z = c.point[2];
    const erode_params& e = tile_info_of(tile_at(x, z)).erode;
    std::array<float, 3> n = surface_normal_at(x, z);
    const float* v = c.velocity;
    float horizontal = std::sqrt(v[0] * v[0] + v[2] * v[2]);
    // Standing still there is no heading and so no sideways direction.
    float lx = 0, lz = 0;
    if (horizontal > 0) lx = -v[2] / horizontal, lz = v[0] / horizontal;
    float speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    float s = erode_speed_factor(e, speed);

    const float* F = c.force;
    float nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    float nf = n[0] * F[0] + n[1] * F[1] + n[2] * F[2];
    float k = nn > 0 ? nf / nn : 0.0f;
    float tx = F[0] - n[0] * k, tz = F[2] - n[2] * k;
    float px = (F[0] + (tx - F[0]) * e.erode_project_to_ground) * s;
    float pz = (F[2] + (tz - F[2]) * e.erode_project_to_ground) * s;

    const float* sv = c.slip_velocity;
    float slip = std::sqrt(sv[0] * sv[0] + sv[1] * sv[1] + sv[2] * sv[2]);
    float w = erode_slip_factor(e, slip);
    float scale = e.erode_slip_base_scale + w * (e.erode_slip_scale - e.erode_slip_base_scale);
    px *= scale, pz *= scale;

    float side = (lx * px + lz * pz) * (e.erode_lateral_scale - 1.0f);
    px += lx * side, pz += lz * side;
    if (front) px *= e.erode_front_scale, pz *= e.erode_front_scale;

    float p2 = px * px + pz * pz;
    if (!std::isfinite(p2) || p2 <= e.erode_lower * e.erode_lower || p2 <= 1.0f / 1024.0f) return false;
    float length = std::sqrt(p2);
    float a = erode_push_strength(e, length);
    float m = (0.875f * a + 0.125f) / length;
    push_x = px * m, push_z = pz * m;
    return true;
}

// ---- the ground -------------------------------------------------------------------------

// The block of samples a stamp touches, clipped to the grid: visit (i, j,
// weight) for each sample within the radius; false when nothing is touched.
// The rectangle is returned for the change report.
template <typename F>
bool visit_stamp(float x, float z, float radius, F visit, std::array<int, 4>* rect = nullptr) {
    const height_field& f = terrain;
    if (!f.heights || !(f.cell_size > 0) || !std::isfinite(x) || !std::isfinite(z) || !std::isfinite(radius))
        return false;
    float r = std::min(radius / f.cell_size, max_radius_cells);
    if (!(r > 0)) return false;
    int n = (int)std::ceil(r);
    float u = x / f.cell_size, v = z / f.cell_size;
    float lim = (float)f.samples_per_side + max_radius_cells + 2;
    if (u < -lim || v < -lim || u > lim || v > lim) return false;
    int ci = (int)std::floor(u), cj = (int)std::floor(v);
    int last = f.samples_per_side - 1;
    int i0 = std::max(ci - n + 1, 0), i1 = std::min(ci + n, last);
    int j0 = std::max(cj - n + 1, 0), j1 = std::min(cj + n, last);
    if (i0 > i1 || j0 > j1) return false;
    for (int j = j0; j <= j1; j++)
        for (int i = i0; i <= i1; i++) {
            float du = (float)i - u, dv = (float)j - v;
            float t = std::sqrt(du * du + dv * dv);
            if (t > r) continue;
            float s = t / r;
            visit(i, j, 2 * s * s * s - 3 * s * s + 1);
        }
    if (rect) *rect = {i0, j0, i1, j1};
    return true;
}

void report_stamp(const std::array<int, 4>& r) {
    report_changed_region(r[0], r[1], r[2], r[3]);
    terrain.change_count++;
}

float limit_scale(const erode_params& e, const std::array<float, max_erode_limits>& scales, float g) {
    int c = std::clamp(e.erode_limit_count, 1, max_erode_limits);
    int a = std::clamp((int)std::floor(g), 0, c - 1), b = std::clamp((int)std::floor(g) + 1, 0, c - 1);
    float t = g - std::floor(g);
    return scales[(size_t)a] + (scales[(size_t)b] - scales[(size_t)a]) * t;
}

float limit_position(const erode_params& e, float d) {
    int c = std::clamp(e.erode_limit_count, 1, max_erode_limits);
    if (c < 2 || d < e.limit_depth[0]) return 0;
    for (int i = 1; i < c; i++) {
        if (e.limit_depth[(size_t)i] > d) {
            float lo = e.limit_depth[(size_t)i - 1], hi = e.limit_depth[(size_t)i];
            return (float)(i - 1) + (hi > lo ? (d - lo) / (hi - lo) : 0.0f);
        }
    }
    return (float)(c - 1);
}

}  // namespace

std::string erode_readout(const erode_contact& c, bool front) {
    const float *v = c.velocity, *sv = c.slip_velocity;
    float speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    float slip = std::sqrt(sv[0] * sv[0] + sv[1] * sv[1] + sv[2] * sv[2]);
    float push_x = 0, push_z = 0;
    bool usable = c.depth > 0 && finite3(c.point) && finite3(c.velocity) && finite3(c.force) && finite3(c.slip_velocity);
    if (!usable || !wheel_push(c, front, push_x, push_z)) push_x = push_z = 0;
    char text[256];
    snprintf(text, sizeof text, "speed=%.2f\nslip=%.2f\nfx=%.2f\nfz=%.2f\npfx=%.2f\npfz=%.2f\n", speed, slip, c.force[0],
             c.force[2], push_x, push_z);
    return text;
}

// ---- state ---------------------------------------------------------------------------------

void erode_reset(int rate) {
    erode_rate = rate;
    g.strokes.assign((size_t)erode_slots * 2, erode_stroke{});
    g.head = 0;
    g.count = 0;
    g.deadline = -1;
}

erode_stroke& erode_stroke_of(int slot, bool front) {
    if (g.strokes.empty()) g.strokes.assign((size_t)erode_slots * 2, erode_stroke{});
    slot = std::clamp(slot, 0, erode_slots - 1);
    return g.strokes[(size_t)slot * 2 + (front ? 0 : 1)];
}

int erode_queue_count() { return g.count; }
erode_point erode_queue_at(int k) {
    if (k < 0 || k >= g.count) return {};
    return g.queue[(size_t)((g.head + k) % erode_queue_size)];
}
int erode_deadline() { return g.deadline; }

// ---- producing -----------------------------------------------------------------------------

void erode_from_wheel(erode_stroke& s, const erode_contact& c, bool front, int tic) {
    float push_x = 0, push_z = 0;
    // Off the height field nothing can be dug (and a message could not say
    // where): a wheel there counts as off the ground.
    bool touching = c.depth > 0 && finite3(c.point) && finite3(c.velocity) && finite3(c.force) &&
                    finite3(c.slip_velocity) && height_field_loaded() && c.point[0] >= 0 && c.point[2] >= 0 &&
                    c.point[0] <= terrain.extent && c.point[2] <= terrain.extent;
    if (touching && wheel_push(c, front, push_x, push_z)) {
        float x = c.point[0], z = c.point[2];
        float b = 0;
        if (s.sample_count > 0) b = std::hypot(x - s.last_x, z - s.last_z);
        s.last_x = x, s.last_z = z;
        if (s.sample_count < max_average_tics && s.travel + b < 1.0f) {
            s.sum_x += x, s.sum_z += z, s.sum_push_x += push_x, s.sum_push_z += push_z;
            s.sample_count++;
            s.travel += b;
            return;
        }
        bool full = s.sample_count >= max_average_tics;
        float carried = s.travel + b - 1.0f;
        finish_point(s, tic);
        s.sample_count = 1;
        s.sum_x = x, s.sum_z = z, s.sum_push_x = push_x, s.sum_push_z = push_z;
        s.travel = full ? 0.0f : (carried < 1.0f ? carried : 0.0f);
        return;
    }
    // No contact, or too weak a push: a stroke that has waited long enough goes.
    if (s.point_count > 0 && tic - s.last_point_tic > stroke_timeout_tics) {
        finish_point(s, tic);
        s.travel = 0;
        send_stroke(s);
    }
}

void erode_from_wheels(int slot, const erode_contact& front, const erode_contact& rear, int tic) {
    if (erode_rate <= 0) return;
    erode_from_wheel(erode_stroke_of(slot, true), front, true, tic);
    erode_from_wheel(erode_stroke_of(slot, false), rear, false, tic);
}

std::vector<uint8_t> encode_stroke(const erode_stroke& s) {
    std::vector<uint8_t> out;
    int count = std::clamp(s.point_count, 0, erode_stroke_points);
    if (count < 1) return out;
    float extent = terrain.extent;
    uint16_t bx0 = encode_bound(s.delta_min_x - 0.0625f), bz0 = encode_bound(s.delta_min_z - 0.0625f);
    uint16_t bx1 = encode_bound(s.delta_max_x + 0.0625f), bz1 = encode_bound(s.delta_max_z + 0.0625f);
    float lx = decode_bound(bx0), lz = decode_bound(bz0), ux = decode_bound(bx1), uz = decode_bound(bz1);
    out.reserve(erode_message_head + erode_point_bytes * (size_t)(count - 1));
    out.push_back(1);
    put16(out, bx0);
    put16(out, bz0);
    put16(out, bx1);
    put16(out, bz1);
    const erode_point& first = s.points[0];
    uint32_t px = encode_position(first.x, extent), pz = encode_position(first.z, extent);
    put24(out, px);
    put24(out, pz);
    auto push_bytes = [&](const erode_point& p) {
        int w = std::clamp(p.weight, 0, erode_max_weight);
        out.push_back(encode_push(p.push_x, w & 3));
        out.push_back(encode_push(p.push_z, (w >> 2) & 3));
    };
    push_bytes(first);
    float x = decode_position(px, extent), z = decode_position(pz, extent);
    for (int k = 1; k < count; k++) {
        const erode_point& p = s.points[(size_t)k];
        uint8_t dx = encode_difference(p.x - x, lx, ux), dz = encode_difference(p.z - z, lz, uz);
        out.push_back(dx);
        out.push_back(dz);
        push_bytes(p);
        x += decode_difference(dx, lx, ux);
        z += decode_difference(dz, lz, uz);
    }
    return out;
}

void send_stroke(erode_stroke& s) {
    if (s.point_count > 0) {
        std::vector<uint8_t> message = encode_stroke(s);
        if (erode_network.connected && erode_network.connected()) {
            if (erode_network.send) erode_network.send(message.data(), message.size());
        } else {
            receive_stroke(message.data(), message.size());
        }
    }
    clear_points(s);
}

// ---- receiving -----------------------------------------------------------------------------

bool decode_stroke(const uint8_t* m, size_t length, std::vector<erode_point>& out) {
    out.clear();
    if (!m || length < erode_message_head || m[0] != 1) return false;
    if ((length - erode_message_head) % erode_point_bytes != 0) return false;
    float extent = terrain.extent;
    if (!height_field_loaded() || !(extent > 0)) return false;
    size_t count = 1 + (length - erode_message_head) / erode_point_bytes;
    float lx = decode_bound(get16(m + 1)), lz = decode_bound(get16(m + 3));
    float ux = decode_bound(get16(m + 5)), uz = decode_bound(get16(m + 7));
    erode_point p;
    p.x = decode_position(get24(m + 9), extent);
    p.z = decode_position(get24(m + 12), extent);
    p.push_x = decode_push(m[15]);
    p.push_z = decode_push(m[16]);
    p.weight = weight_of(m[15], m[16]);
    out.reserve(count);
    out.push_back(p);
    for (size_t k = 1; k < count; k++) {
        const uint8_t* q = m + erode_message_head + erode_point_bytes * (k - 1);
        p.x += decode_difference(q[0], lx, ux);
        p.z += decode_difference(q[1], lz, uz);
        p.push_x = decode_push(q[2]);
        p.push_z = decode_push(q[3]);
        p.weight = weight_of(q[2], q[3]);
        out.push_back(p);
    }
    return true;
}

int receive_stroke(const uint8_t* message, size_t length) {
    std::vector<erode_point> points;
    if (!decode_stroke(message, length, points)) return -1;
    int before = g.count;
    for (const erode_point& p : points) queue_point(p);
    return g.count - before;
}

// ---- applying ------------------------------------------------------------------------------

double erode_dig(float x, float z, float radius, float depth) {
    if (!std::isfinite(depth)) return 0;
    double total = 0;
    int n = terrain.samples_per_side;
    std::array<int, 4> rect{};
    bool touched = visit_stamp(
        x, z, radius,
        [&](int i, int j, float w) {
            float h = terrain.heights[(size_t)i + (size_t)n * j];
            set_sample(i, j, h - depth * w);
            total += (double)terrain.heights[(size_t)i + (size_t)n * j] - (double)h;
        },
        &rect);
    if (touched) report_stamp(rect);
    return total;
}

double erode_deposit(float x, float z, float radius, float volume) {
    if (!std::isfinite(volume)) return 0;
    // The weights first, so that the rises sum to the volume.
    double sum = 0;
    if (!visit_stamp(x, z, radius, [&](int, int, float w) { sum += w; })) return 0;
    float each = volume / (float)std::max(sum, 1.0);
    double total = 0;
    int n = terrain.samples_per_side;
    std::array<int, 4> rect{};
    visit_stamp(
        x, z, radius,
        [&](int i, int j, float w) {
            float h = terrain.heights[(size_t)i + (size_t)n * j];
            set_sample(i, j, h + w * each);
            total += (double)terrain.heights[(size_t)i + (size_t)n * j] - (double)h;
        },
        &rect);
    report_stamp(rect);
    return total;
}

void apply_erode_point(const erode_point& p, float strength) {
    float length = std::sqrt(p.push_x * p.push_x + p.push_z * p.push_z);
    // A push without a direction says nowhere to put the dirt.
    if (!(length > 0) || !std::isfinite(length) || !std::isfinite(p.x) || !std::isfinite(p.z)) return;
    const erode_params& e = tile_info_of(tile_at(p.x, p.z)).erode;
    float k = std::clamp((length - 0.125f) * 8.0f / 7.0f, 0.0f, 1.0f);
    float D = k * e.erode_displacement;
    float U = strength * (1.0f / 2048.0f);
    float H = height_at(p.x, p.z);
    float dx = p.x - p.push_x / length * D, dz = p.z - p.push_z / length * D;
    float L = height_at(dx, dz);
    float rise = L - H;
    if (rise > D * e.erode_max_slope || rise < D * e.erode_min_slope) return;
    if (rise < 0 && D > 0) U *= 1.0f + (H - L) / D * e.erode_downhill_scale;
    float d = base_height_at(p.x, p.z) - H;
    float gpos = limit_position(e, d);
    float s1 = limit_scale(e, e.limit_scale1, gpos), s2 = limit_scale(e, e.limit_scale2, gpos);
    double removed = erode_dig(p.x, p.z, e.erode_radius, (float)p.weight * s1 * U * e.erode_depth);
    removed += erode_dig(p.x, p.z, e.erode_inner_radius, s2 * U * e.erode_inner_depth);
    erode_deposit(dx, dz, e.erode_radius, (float)-removed);
}

void apply_erosion(const float* viewer, float strength, int tic) {
    if (!height_field_loaded() || g.count == 0) return;
    int count = g.count;
    bool deadline_passed = g.deadline >= 0 && tic >= g.deadline;
    bool defer = viewer && !deadline_passed && count <= defer_backlog;
    int budget = (count >> 9) + 4;
    if (count > defer_backlog) budget += (count - defer_backlog) >> 6;
    height_field& f = terrain;
    int frozen = f.frozen;
    f.frozen = 0;
    bool deferred = false;
    for (int n = 0; n < budget && g.count > 0; n++) {
        const erode_point& p = g.queue[(size_t)g.head];
        if (defer) {
            float ex = p.x - viewer[0], ez = p.z - viewer[1];
            if (ex * ex + ez * ez < defer_distance_squared) {
                deferred = true;
                break;
            }
        }
        erode_point taken = p;
        g.head = (g.head + 1) % erode_queue_size;
        g.count--;
        apply_erode_point(taken, strength);
        g.deadline = -1;
    }
    f.frozen = frozen;
    if (deferred && g.count > 0) g.deadline = g.deadline < 0 ? tic + defer_tics : std::min(g.deadline, tic + defer_tics);
}
