// The starting gate: one hinged piece ahead of each start position, made as
// a statue when the track's timing gates are loaded. It stands up until the
// drop, then falls unless a bike leans on it.
#include <cmath>

#include "core/cmdline.h"
#include "core/diag.h"
#include "race/race.h"
#include "race/race_internal.h"
#include "race/race_tic.h"
#include "track/objects_statues.h"
#include "vfs/vfs.h"

namespace {

std::vector<gate_piece> g_pieces;
// The orientation each piece was placed with (lying down), row by row.
std::vector<std::array<float, 9>> g_placed;

constexpr float full_tilt = 0.5890486f;  // 3π/16
constexpr float fall_acceleration = 32;  // per second
constexpr float fall_speed_limit = 8;

// The piece's statue turned about its own x axis by the tilt, so that the
// collision shape follows what is drawn.
void pose_piece(size_t i) {
    const gate_piece& piece = g_pieces[i];
    std::vector<statue>& statues = track_statues();
    if (piece.statue < 0 || piece.statue >= (int)statues.size()) return;
    const std::array<float, 9>& o = g_placed[i];
    float t = gate_piece_tilt(piece), c = std::cos(t), s = std::sin(t);
    std::array<float, 9>& out = statues[(size_t)piece.statue].orientation;
    for (int r = 0; r < 3; r++) {
        float y = o[(size_t)r * 3 + 1], z = o[(size_t)r * 3 + 2];
        out[(size_t)r * 3 + 0] = o[(size_t)r * 3 + 0];
        out[(size_t)r * 3 + 1] = c * y + s * z;
        out[(size_t)r * 3 + 2] = -s * y + c * z;
    }
}

}  // namespace

std::vector<gate_piece>& gate_pieces() { return g_pieces; }

float gate_piece_tilt(const gate_piece& piece) { return piece.raise * full_tilt; }

void move_starting_gate() {
    if (race.tic > race.gate_drop_tic + race.playback_delay + 10 * tics_per_second) return;
    const std::vector<statue>& statues = track_statues();
    for (size_t i = 0; i < g_pieces.size(); i++) {
        gate_piece& p = g_pieces[i];
        if (p.statue >= 0 && p.statue < (int)statues.size())
            p.touch_tic = statues[(size_t)p.statue].touch_tic;
        if (race.tic <= race.gate_drop_tic) {
            p.raise = 1;
            p.speed = 0;
        } else if (p.touch_tic == race.tic) {
            p.speed = 0;
        } else {
            p.speed = std::fmin(p.speed + fall_acceleration / tics_per_second, fall_speed_limit);
            p.raise = std::fmax(p.raise - p.speed / tics_per_second, 0.0f);
        }
        pose_piece(i);
    }
}

void raise_starting_gate() {
    // A touch left from the last race must not hold a piece in this one.
    std::vector<statue>& statues = track_statues();
    for (size_t i = 0; i < g_pieces.size(); i++) {
        gate_piece& p = g_pieces[i];
        p.raise = 1;
        p.speed = 0;
        p.touch_tic = -1;
        if (p.statue >= 0 && p.statue < (int)statues.size()) statues[(size_t)p.statue].touch_tic = -1;
        pose_piece(i);
    }
}

void load_track_timing(const char* name) {
    vfs_file* f = name ? vfs_open(name, "rb") : nullptr;
    timing_data data;
    load_timing_gates(f, data);
    if (f) vfs_close(f);
    g_pieces.clear();
    g_placed.clear();
    for (const start_gate_position& s : data.starts) {
        gate_piece piece;
        piece.statue = add_gate_piece(s.position, s.angle, s.model.c_str(), s.texture.c_str(), s.shape.c_str());
        std::array<float, 9> placed = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        const std::vector<statue>& statues = track_statues();
        if (piece.statue >= 0 && piece.statue < (int)statues.size()) placed = statues[(size_t)piece.statue].orientation;
        g_pieces.push_back(piece);
        g_placed.push_back(placed);
    }
    set_track_timing(std::move(data));
    raise_starting_gate();
}

void free_track_timing() {
    g_pieces.clear();
    g_placed.clear();
    set_track_timing(timing_data{});
}

void track_timing_counts(int& first_lap, int& normal_lap, int& gate_count) {
    first_lap = first_lap_length();
    normal_lap = normal_lap_length();
    gate_count = timing_active() ? (int)track_timing().gates.size() : 0;
}
