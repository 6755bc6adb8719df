// The per-frame work of the engine voices: synthesis into each ring, the
// 8-bit bytes handed to the device, and the placement in the world.
#include <algorithm>
#include <cmath>

#include "bike/bike.h"
#include "bike/drivetrain.h"
#include "core/config.h"
#include "race/race.h"
#include "render/frame_draw.h"
#include "sound/placement.h"
#include "sound/script_sound.h"
#include "sound/sound.h"
#include "sound/sound_device.h"
#include "sound/sound_internal.h"

namespace {

constexpr int ring_mask = engine_ring_size - 1;
constexpr int phase_one = 1 << 24;
constexpr int synthesis_block = 512;
// Above this the phase could not keep up (one cycle per sample at most).
constexpr float highest_firing_frequency = synthesis_rate / 4.0f;

int phase_increment(float freq) { return (int)std::lround((double)freq / synthesis_rate * phase_one); }

// i: the number of entries <= v, stopping at the first greater one.
template <typename At>
void bracket(int count, float v, At at, int& lo, int& hi, float& fraction) {
    int i = 0;
    while (i < count && at(i) <= v) i++;
    lo = std::clamp(i - 1, 0, count - 1);
    hi = std::clamp(i, 0, count - 1);
    fraction = lo == hi ? 1.0f : std::clamp((v - at(lo)) / (at(hi) - at(lo)), 0.0f, 1.0f);
}

void start_grain(grain_voice& g, const sound_table_cell& cell, float gain, uint32_t cycle, float freq) {
    uint32_t u = cycle;
    if (!cell.remap.empty()) u = cell.remap[u % (uint32_t)cell.remap.size()];
    float spc = (float)cell.sample_count / (float)cell.cycles;
    g.samples = cell.samples;
    g.sample_count = cell.sample_count;
    g.gain = gain;
    g.position = (uint32_t)std::trunc((float)(u % (uint32_t)cell.cycles) * spc) << 10;
    g.step = (uint32_t)std::trunc(freq / synthesis_rate * spc * 1024);
}

// A new firing cycle at sample k of a batch of n.
void new_cycle(engine_voice& v, int k, int n, float rpm, float load, int& inc) {
    const engine_sound& p = v.params;
    v.phase -= phase_one;
    uint32_t c = v.cycle;
    v.cycle = c + 1;
    float w = (v.prev_rpm + (rpm - v.prev_rpm) * (float)k / (float)n + p.bias[c % (uint32_t)p.bias_count]) *
              p.scale[c % (uint32_t)p.scale_count];
    if (!std::isfinite(w)) w = p.minrpm;
    w = std::max(w, p.minrpm);

    v.freq = std::clamp(w * p.cycles_per_rev / 60, 5.0f, highest_firing_frequency);
    if (!std::isfinite(v.freq)) v.freq = 5;
    inc = phase_increment(v.freq);

    const sound_table* t = p.table;
    if (!t || t->cells.empty()) return;
    int lo_row, hi_row, lo_col, hi_col;
    float l, G;
    bracket(t->rows, w, [t](int r) { return t->cell(r, 0).rpm; }, lo_row, hi_row, l);
    bracket(t->cols, load, [t](int c) { return t->cell(0, c).load; }, lo_col, hi_col, G);
    start_grain(v.grains[0], t->cell(lo_row, lo_col), (1 - l) * (1 - G), v.cycle, v.freq);
    start_grain(v.grains[1], t->cell(hi_row, lo_col), l * (1 - G), v.cycle, v.freq);
    start_grain(v.grains[2], t->cell(lo_row, hi_col), (1 - l) * G, v.cycle, v.freq);
    start_grain(v.grains[3], t->cell(hi_row, hi_col), l * G, v.cycle, v.freq);
}

float engine_load(const engine_sound& p, float torque) {
    float span = p.hightorque - p.lowtorque;
    float load = span != 0 ? (torque - p.lowtorque) / span : (torque >= p.lowtorque ? 1.0f : 0.0f);
    return std::isfinite(load) ? std::clamp(load, 0.0f, 1.0f) : 0.0f;
}

// Into -16..16; a sum gone to NaN (gains from a file can overflow it) is
// kept out of the ring.
float ring_value(float s) { return !(s >= -16.0f) ? -16.0f : (s > 16.0f ? 16.0f : s); }

// A grain stays inside its cell for `run` more samples.
bool grain_inside(const grain_voice& g, int run) {
    uint64_t end = (uint64_t)g.position + (uint64_t)g.step * (uint64_t)run;
    uint64_t last = ((uint64_t)g.position + (uint64_t)g.step * (uint64_t)(run - 1)) >> 10;
    return last < (uint64_t)(uint32_t)g.sample_count && end < (uint64_t(1) << 32);
}

// The four grains' run of samples added in, grain 0 first for each sample.
// A grain may run a sample past its cell before the next cycle resets it:
// silence there.
void add_grains(std::array<grain_voice, 4>& grains, float* acc, int run) {
    grain_voice &g0 = grains[0], &g1 = grains[1], &g2 = grains[2], &g3 = grains[3];
    if (grain_inside(g0, run) && grain_inside(g1, run) && grain_inside(g2, run) && grain_inside(g3, run)) {
        uint32_t p0 = g0.position, p1 = g1.position, p2 = g2.position, p3 = g3.position;
        for (int k = 0; k < run; k++) {
            float a = acc[k];
            a += g0.gain * g0.samples[p0 >> 10];
            a += g1.gain * g1.samples[p1 >> 10];
            a += g2.gain * g2.samples[p2 >> 10];
            a += g3.gain * g3.samples[p3 >> 10];
            acc[k] = a;
            p0 += g0.step, p1 += g1.step, p2 += g2.step, p3 += g3.step;
        }
        g0.position = p0, g1.position = p1, g2.position = p2, g3.position = p3;
        return;
    }
    for (grain_voice& g : grains) {
        for (int k = 0; k < run; k++, g.position += g.step) {
            uint32_t i = g.position >> 10;
            if (i < (uint32_t)g.sample_count) acc[k] += g.gain * g.samples[i];
        }
    }
}

std::array<double, 3> to_array(const double* v) { return {v[0], v[1], v[2]}; }

void place_voice(engine_voice& v, int slot, const bike_state& bike, double master_factor) {
    double gain = settings.volume * master_factor * 0.1;
    if (frame_slots.hidden && frame_slots.hidden(slot))
        gain = 0;
    else if (slot != race.viewed_slot)
        gain *= settings.comp_volume * 0.1;
    double position[3], velocity[3];
    get_body_position(bike, body_frame, position);
    get_body_velocity(bike, body_frame, velocity);
    sound_placement p = place_sound(listener(), to_array(position), to_array(velocity));
    double volume = std::clamp(32767 * gain / p.attenuation, 0.0, 32767.0);
    if (!std::isfinite(volume)) volume = 0;
    sound_device.set_rate(v.handle, placed_rate(p, synthesis_rate));
    sound_device.set_volume(v.handle, (int)volume);
    sound_device.set_pan(v.handle, placed_pan(p));
}

}  // namespace

// The work runs in blocks no longer than the shortest tap delay: every tap
// of a block then reads samples made before it, so the taps are summed a
// tap at a time over the whole block, and the grains a grain at a time
// between firing-cycle starts. Each sample still adds its taps in order,
// then grains 0..3, as one sample after the other would.
void synthesize(engine_voice& v, int n, float rpm, float torque) {
    if (n <= 0) return;
    if (!std::isfinite(rpm)) rpm = v.prev_rpm;
    const float load = engine_load(v.params, torque);
    int inc = phase_increment(v.freq);
    const auto& taps = v.params.taps;
    float* ring = v.ring.data();
    int shortest = engine_ring_size;
    for (const pipe_tap& tap : taps) shortest = std::min(shortest, tap_delay(tap));
    const int block_limit = std::clamp(shortest, 1, synthesis_block);
    float acc[synthesis_block];

    for (int done = 0; done < n;) {
        const int block = std::min(block_limit, n - done);
        const int t0 = v.write_pos;
        std::fill(acc, acc + block, 0.0f);
        for (const pipe_tap& tap : taps) {
            const float gain = tap.gain;
            int from = (t0 + tap.stored) & ring_mask;
            int k = 0;
            while (k < block) {
                int run = std::min(block - k, engine_ring_size - from);
                const float* src = ring + from;
                float* dst = acc + k;
                int j = 0;
                for (; j + 8 <= run; j += 8)
                    for (int u = 0; u < 8; u++) dst[j + u] += gain * src[j + u];
                for (; j < run; j++) dst[j] += gain * src[j];
                k += run;
                from = 0;
            }
        }
        // Grains, from one cycle start to the next.
        for (int k = 0; k < block;) {
            // Samples up to and including the one whose phase step starts a cycle.
            int64_t room = ((int64_t)(phase_one - 1) - v.phase) / inc + 1;
            int run = (int)std::min<int64_t>(room, block - k);
            add_grains(v.grains, acc + k, run);
            v.phase += inc * run;
            k += run;
            if (v.phase > phase_one - 1) new_cycle(v, done + k - 1, n, rpm, load, inc);
        }
        for (int k = 0; k < block; k++) ring[(t0 + k) & ring_mask] = ring_value(acc[k]);
        v.write_pos = (t0 + block) & ring_mask;
        done += block;
    }
    v.prev_rpm = rpm;
}

void voice_bytes(const engine_voice& v, int n, uint8_t* out) {
    n = std::clamp(n, 0, engine_ring_size);
    for (int k = 0; k < n; k++) {
        float s = v.ring[(size_t)((v.write_pos - n + k) & ring_mask)];
        // Clamped first, the value rounds half away from zero exactly as
        // lround would: x + 0.5 is exact in double for x in 0..255.
        double x = std::clamp(s * 127.0f + 127.0f, 0.0f, 255.0f);
        out[k] = (uint8_t)(int)(x + 0.5);
    }
}

namespace {

void place_voices(double master_factor) {
    static uint8_t bytes[voice_batch_limit];
    for (int slot = 0; slot < engine_slot_count; slot++) {
        engine_voice& v = voice_for_update(slot);
        const bike_state* bike = bike_in_slot(slot);
        if (!v.handle || !bike) continue;
        // Keep the writer voice_lead samples ahead of the play position.
        int64_t ahead = (int64_t)sound_device.position(v.handle) + engine_ring_size + voice_lead - v.write_pos;
        int n = (int)(ahead % engine_ring_size);
        if (n > 0) {
            n = std::min(n, voice_batch_limit);
            synthesize(v, n, engine_rpm(*bike), engine_torque(*bike));
            voice_bytes(v, n, bytes);
            sound_device.write(v.handle, n, bytes, (v.write_pos - n) & ring_mask);
        }
        place_voice(v, slot, *bike, master_factor);
    }
}

}  // namespace

void sound_update(double master_factor) {
    if (!sound_device.is_open()) return;
    if (voices_made()) place_voices(master_factor);
    place_script_sounds(master_factor);
}
