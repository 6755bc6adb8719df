// The engine sounds: for each engine class a sound table of synthesised
// firing cycles on a grid of engine speed by load, and the class's
// "@default<class>.braap" with its pipe, torque range and idle wobble.
//
// One recorded cycle is one firing: a crank turn of a two-stroke, two turns
// of a four-stroke, made at 44100 samples per second for the row's speed so
// that the voice plays it unstretched there.
//
// Two-stroke: the exhaust port's blowdown is a sharp pressure lobe followed
// by the expansion chamber's equal and opposite suction lobe. The two halves
// of a turn nearly mirror each other, so the cycle's harmonics are mostly
// the odd ones: the nasal buzz. A short ring of the port and a burst of noise on every lobe
// give the rasp; closed, the lobes are soft and uneven (the off-throttle
// "ring-ding").
//
// Four-stroke: one heavy blowdown thump per two turns with a low boom
// behind it, roar under load, valve clicks, and pops on the overrun.
#include <algorithm>
#include <cmath>

#include "datagen/dmath.h"
#include <string>
#include <vector>

#include "core/text.h"
#include "datagen/datagen.h"
#include "datagen/dice.h"
#include "sound/sound_files.h"

namespace {

constexpr double rate = 44100;
constexpr double two_pi = 6.283185307179586;
constexpr int cycles_per_cell = 12;
constexpr int remap_length = 29;  // prime: the recorded cycles do not come round in step
// Loudness of a cell closed and open (RMS, before the pipe adds its
// resonance); no sample goes past peak_limit.
constexpr double closed_level = 0.1, open_level = 0.15;
constexpr double peak_limit = 0.95;

struct engine_design {
    const char* engine_class;
    const char* title;
    bool two_stroke;
    std::vector<float> rows;  // rpm
    std::vector<braap_pipe> pipes;
    float minrpm, lowtorque, hightorque;
    std::vector<float> bias;
    // timbre
    float ring_hz;  // port (two-stroke) or boom (four-stroke) frequency
    float ring;     // its share
    float rasp;     // noise on the lobes at full load
    float decay_ms;  // of the blowdown lobe
    uint32_t salt;
};

const std::vector<engine_design>& designs() {
    static const std::vector<engine_design> d = {
        {"50", "the 50 cc two-strokes", true, {1500, 3500, 6000, 9000, 12000, 15000},
         {{1.2f, 0.25f, -0.7f, 0, 15}}, 1400, -2, 4, {0, 30, -20, 40, -35, 10, -25, 15},
         2600, 0.35f, 0.45f, 0.9f, 50},
        {"125", "the 125 cc two-strokes", true, {1500, 3500, 6000, 9000, 12000, 14500},
         {{1.75f, 0.3f, -0.75f, 0, 15}}, 1400, -4, 14, {0, 25, -15, 35, -30, 5, -20, 10},
         1900, 0.3f, 0.4f, 1.3f, 125},
        {"250", "the 250 cc two-strokes", true, {1500, 3000, 5000, 7500, 10000, 12000},
         {{2.2f, 0.4f, -0.75f, 0, 15}}, 1300, -4, 26, {0, 20, -15, 30, -25, 5, -15, 10},
         1300, 0.3f, 0.35f, 1.8f, 250},
        {"250f", "the 250 cc four-strokes", false, {1500, 3500, 6000, 9000, 12000, 14500},
         {{4.5f, 0.85f, -0.65f, 0, 11}, {2.0f, 0.4f, -0.2f, 12, 15}}, 1300, -5, 17,
         {0, 45, -30, 15, -50, 35, -10, -25}, 120, 0.45f, 0.12f, 3.5f, 2500},
        {"450f", "the 450 cc four-strokes", false, {1500, 3000, 5000, 7500, 10000, 12500},
         {{5.0f, 0.9182072f, -0.65f, 0, 11}, {2.4f, 0.5f, -0.2f, 12, 15}}, 1200, -5, 32,
         {0, 60, -40, 20, -60, 45, -15, -30}, 85, 0.55f, 0.1f, 5.0f, 4500},
    };
    return d;
}

// White noise through a one-pole low-pass (k near 1: darker).
struct noise_source {
    dice d;
    double state = 0;
    double k;
    noise_source(uint32_t salt, double k) : d(7, salt), k(k) {}
    double next() {
        state = k * state + (1 - k) * d.range(-1, 1);
        return state;
    }
};

double lobe(double t, double attack, double decay) { return (1 - dmath::exp(-t / attack)) * dmath::exp(-t / decay); }

// One two-stroke firing: a crank turn of n samples.
std::vector<float> two_stroke_cycle(const engine_design& e, int n, float load, dice& d, noise_source& hiss) {
    std::vector<float> out((size_t)n);
    double seconds = n / rate;
    // Closed, the lobes are softer and uneven, some near misfires.
    double amp = load > 0.5f ? d.range(0.92, 1.08) : d.range(0.25, 1.0) * 0.45;
    double attack = (load > 0.5f ? 0.006 : 0.018) * seconds;
    double decay = std::min(e.decay_ms * 0.001, 0.2 * seconds) * (load > 0.5f ? 1.0 : 0.7);
    double ring_decay = 0.0007;
    double rasp = e.rasp * (load > 0.5f ? 1.0 : 0.35);
    int shift = (int)std::lround(d.range(-0.01, 0.01) * n);
    for (int i = 0; i < n; i++) {
        int j = ((i - shift) % n + n) % n;
        bool first_half = j < n / 2;
        double t = (first_half ? j : j - n / 2) / rate;
        // The suction lobe is a little weaker and slower than the blowdown:
        // the even harmonics are there, well below the odd ones.
        double envelope = first_half ? lobe(t, attack, decay) : 0.85 * lobe(t, attack, 1.15 * decay);
        double ring = dmath::sin(two_pi * e.ring_hz * t) * dmath::exp(-t / ring_decay);
        double v = envelope * (1 - e.ring) + ring * e.ring * (1 - dmath::exp(-t / attack));
        v = first_half ? v : -v;
        v += rasp * envelope * hiss.next();
        out[(size_t)i] = (float)(amp * v);
    }
    return out;
}

// One four-stroke firing: two crank turns of n samples.
std::vector<float> four_stroke_cycle(const engine_design& e, int n, float rpm, float load, dice& d,
                                     noise_source& roar, noise_source& clicks) {
    std::vector<float> out((size_t)n);
    double seconds = n / rate;
    bool open = load > 0.5f;
    double amp = open ? d.range(0.9, 1.1) : d.range(0.3, 0.45);
    double attack = (open ? 0.004 : 0.012) * seconds;
    double decay = std::clamp(0.06 * seconds, 0.0012, (double)e.decay_ms * 0.001);
    double boom_decay = 0.009;
    int shift = (int)std::lround(d.range(-0.015, 0.015) * n);
    // A pop on the overrun now and then, once the engine spins up.
    bool pop = !open && rpm >= 5000 && d.next() < 0.15;
    double pop_at = d.range(0.3, 0.7) * seconds;
    double valve_at[2] = {0.28 * seconds, 0.62 * seconds};
    for (int i = 0; i < n; i++) {
        int j = ((i - shift) % n + n) % n;
        double t = j / rate;
        double thump = lobe(t, attack, decay);
        double boom = dmath::sin(two_pi * e.ring_hz * t) * dmath::exp(-t / boom_decay) * (1 - dmath::exp(-t / attack));
        double v = thump * (1 - e.ring) + boom * e.ring;
        v += (open ? e.rasp : 0.3 * e.rasp) * lobe(t, attack, 4 * decay) * roar.next();
        for (double at : valve_at)
            if (t >= at && t < at + 0.0004) v += 0.05 * clicks.next() * 4;
        v *= amp;
        if (pop && t >= pop_at) v += 0.7 * lobe(t - pop_at, 0.0001, 0.0015) * clicks.next() * 3;
        out[(size_t)i] = (float)v;
    }
    return out;
}

// Cycles of one cell, each on its own mean so that none carries a step.
std::vector<float> cell_samples(const engine_design& e, float rpm, float load, int n, uint32_t salt) {
    dice d(11, salt);
    noise_source hiss(salt + 1, e.two_stroke ? 0.25 : 0.9);
    noise_source clicks(salt + 2, 0.1);
    std::vector<float> all;
    for (int c = 0; c < cycles_per_cell; c++) {
        std::vector<float> cycle = e.two_stroke ? two_stroke_cycle(e, n, load, d, hiss)
                                                : four_stroke_cycle(e, n, rpm, load, d, hiss, clicks);
        double mean = 0;
        for (float v : cycle) mean += v;
        mean /= n;
        for (float v : cycle) all.push_back((float)(v - mean));
    }
    return all;
}

void level(std::vector<float>& samples, double rms) {
    double sum = 0, peak = 0;
    for (float v : samples) {
        sum += (double)v * v;
        peak = std::max(peak, (double)std::fabs(v));
    }
    double now = std::sqrt(sum / (double)samples.size());
    if (!(now > 0)) return;
    double gain = std::min(rms / now, peak_limit / peak);
    for (float& v : samples) v = (float)(v * gain);
}

void add_engine(datagen_output& out, const engine_design& e) {
    std::string dir = std::string("sounds/engine") + e.engine_class + "/";
    const float loads[2] = {0, 1};
    table_file table;
    table.rpm = e.rows;
    table.load = {loads[0], loads[1]};
    std::vector<std::vector<float>> cells;
    dice remaps(13, e.salt);
    for (size_t r = 0; r < e.rows.size(); r++) {
        for (int c = 0; c < 2; c++) {
            double firing = e.rows[r] * (e.two_stroke ? 1.0 : 0.5) / 60;
            int n = (int)std::lround(rate / firing);
            cells.push_back(cell_samples(e, e.rows[r], loads[c], n, e.salt + (uint32_t)(r * 2 + (size_t)c) * 97));
            level(cells.back(), c == 0 ? closed_level : open_level);
            table_file_cell cell;
            cell.cycles = cycles_per_cell;
            for (int k = 0; k < remap_length; k++)
                cell.remap.push_back(std::min((int)(remaps.next() * cycles_per_cell), cycles_per_cell - 1));
            cell.sample_file = "@" + dir + format_string("rpm%d_load%d.raw", (int)e.rows[r], (int)loads[c]);
            table.cells.push_back(cell);
        }
    }
    for (size_t k = 0; k < cells.size(); k++) {
        add_member(out, table.cells[k].sample_file.substr(1), sample_file_bytes(cells[k]));
    }
    add_text_member(out, dir + "table", sound_table_text(table));

    braap_contents b;
    b.comment = std::string("The engine sound of ") + e.title;
    b.soundtable = "@" + dir + "table";
    b.pipes = e.pipes;
    b.has_minrpm = true;
    b.minrpm = e.minrpm;
    b.has_torques = true;
    b.lowtorque = e.lowtorque;
    b.hightorque = e.hightorque;
    b.bias = e.bias;
    add_text_member(out, std::string("default") + e.engine_class + ".braap", braap_text(b));
}

bool generate_engine_sounds(datagen_output& out) {
    for (const engine_design& e : designs()) add_engine(out, e);
    return true;
}

}  // namespace

QX_DATAGEN_GENERATOR(engine_sounds, generate_engine_sounds);
