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
#include "sound/sound.h"
#include "sound/sound_device.h"
#include "sound/sound_internal.h"

namespace {

constexpr int ring_mask = engine_ring_size - 1;
constexpr int phase_one = 1 << 24;
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

void synthesize(engine_voice& v, int n, float rpm, float torque) {
    if (n <= 0) return;
    if (!std::isfinite(rpm)) rpm = v.prev_rpm;
    const float load = engine_load(v.params, torque);
    int inc = phase_increment(v.freq);
    const auto& taps = v.params.taps;
    float* ring = v.ring.data();
    for (int k = 0; k < n; k++) {
        const int t = v.write_pos;
        float s = 0;
        for (const pipe_tap& tap : taps) s += tap.gain * ring[(t + tap.stored) & ring_mask];
        for (grain_voice& g : v.grains) {
            uint32_t i = g.position >> 10;
            // A grain may run a sample past its cell before the next cycle
            // resets it: silence there.
            if (i < (uint32_t)g.sample_count) s += g.gain * g.samples[i];
            g.position += g.step;
        }
        ring[t] = std::clamp(s, -16.0f, 16.0f);
        v.phase += inc;
        if (v.phase > phase_one - 1) new_cycle(v, k, n, rpm, load, inc);
        v.write_pos = (t + 1) & ring_mask;
    }
    v.prev_rpm = rpm;
}

void voice_bytes(const engine_voice& v, int n, uint8_t* out) {
    n = std::clamp(n, 0, engine_ring_size);
    for (int k = 0; k < n; k++) {
        float s = v.ring[(size_t)((v.write_pos - n + k) & ring_mask)];
        long b = std::lround(s * 127 + 127);
        out[k] = (uint8_t)std::clamp(b, 0L, 255L);
    }
}

void sound_update(double master_factor) {
    if (!voices_made() || !sound_device.is_open()) return;
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
    // The track script's sounds are placed here once they exist.
}
