#include "platform/audio_mixer.h"

#include <algorithm>
#include <cstring>

#include "core/diag.h"

namespace {

// A converted sound may not grow past this many samples: positions and steps
// stay in 32 bits.
constexpr int64_t longest_sound = int64_t(1) << 30;
constexpr uint32_t fraction_mask = 0x7fffffffu;

using level_table = std::array<int32_t, 256>;

// Signed contribution of each sample byte at each level; level 0 is silent.
constexpr std::array<level_table, mixer_levels> make_level_tables() {
    std::array<level_table, mixer_levels> tables{};
    for (int level = 1; level < mixer_levels; level++) {
        level_table& t = tables[level];
        t[128] = 0;
        for (int j = 1; j <= 127; j++) {
            int v = (j - 1) * level / 32;
            t[128 + j] = v;
            t[128 - j] = -v;
        }
        t[0] = -(127 * level / 32);
    }
    return tables;
}
constexpr std::array<level_table, mixer_levels> level_tables = make_level_tables();

int channel_count(const audio_sound* s) { return s->stereo ? 2 : 1; }

void link_voice(audio_sound* s, int ch) {
    audio_mixer& m = *s->mixer;
    int level = s->level[ch];
    s->next[ch] = nullptr;
    s->prev[ch] = m.tail[ch][level];
    if (s->prev[ch])
        s->prev[ch]->next[ch] = s;
    else
        m.head[ch][level] = s;
    m.tail[ch][level] = s;
}

void unlink_voice(audio_sound* s, int ch) {
    audio_mixer& m = *s->mixer;
    int level = s->level[ch];
    if (s->prev[ch])
        s->prev[ch]->next[ch] = s->next[ch];
    else
        m.head[ch][level] = s->next[ch];
    if (s->next[ch])
        s->next[ch]->prev[ch] = s->prev[ch];
    else
        m.tail[ch][level] = s->prev[ch];
    s->prev[ch] = s->next[ch] = nullptr;
}

// Takes a sound out of the playing lists. Out of the lists it is heard at
// level 0, so a later start fades in at a zero crossing like a new sound.
void leave_lists(audio_sound* s) {
    for (int ch = 0; ch < channel_count(s); ch++) {
        unlink_voice(s, ch);
        s->mixed_level[ch] = 0;
    }
    s->playing = false;
    s->finished = false;
}

// Levels from volume and pan; a mono output hears every sound fully left.
void update_levels(audio_sound* s) {
    int pan = s->stereo ? s->pan : -32768;
    int level[2];
    level[0] = (int)(((int64_t)(32767 - pan) * s->volume) >> 26);
    level[1] = s->stereo ? (int)(((int64_t)s->volume * (pan + 32768)) >> 26) : 0;
    for (int ch = 0; ch < channel_count(s); ch++) {
        if (level[ch] == s->level[ch]) continue;
        if (s->playing) unlink_voice(s, ch);
        s->level[ch] = level[ch];
        if (s->playing) link_voice(s, ch);
    }
}

// Mixes (or, when not audible, only advances) one output channel of a sound
// over a block. The step is rate / device rate as a whole part and a 31-bit
// fraction; the nearest earlier sample is taken, no interpolation.
void mix_voice(audio_sound* s, int ch, int32_t* acc, int frames, bool audible) {
    const uint32_t length = (uint32_t)s->samples->length;
    uint32_t pos = s->position[ch];
    uint32_t frac = s->fraction[ch];
    if (s->restart) pos = frac = 0;
    if (pos >= length) pos %= length;
    const uint32_t whole = (uint32_t)(s->rate / s->device_rate);
    const uint32_t step_frac = (uint32_t)(((uint64_t)(s->rate % s->device_rate) << 31) / (uint64_t)s->device_rate);

    if (!audible) {
        // Exactly where mixing would have left it; wrapping by modulo per
        // frame or once at the end lands on the same sample.
        uint64_t f = (uint64_t)frac + (uint64_t)step_frac * (uint64_t)frames;
        uint64_t p = (uint64_t)pos + (uint64_t)whole * (uint64_t)frames + (f >> 31);
        if (p >= length) {
            if (s->looping)
                p %= length;
            else
                s->finished = true;
        }
        s->position[ch] = (uint32_t)std::min<uint64_t>(p, length);
        s->fraction[ch] = (uint32_t)(f & fraction_mask);
        s->mixed_level[ch] = 0;
        return;
    }

    // A level change waits for the first sign change of the source around
    // 128, so volume changes do not click.
    const uint8_t* bytes = s->samples->bytes;
    int current = s->mixed_level[ch];
    const int target = s->level[ch];
    bool switching = current != target;
    const uint8_t sign = bytes[pos] & 0x80;
    const int32_t* table = level_tables[current].data();
    for (int i = 0; i < frames; i++) {
        uint8_t b = bytes[pos];
        if (switching && (b & 0x80) != sign) {
            switching = false;
            current = target;
            table = level_tables[current].data();
        }
        acc[i] += table[b];
        frac += step_frac;
        pos += whole + (frac >> 31);
        frac &= fraction_mask;
        if (pos >= length) {
            // A step longer than the whole sound still lands inside it.
            if (s->looping) {
                pos %= length;
            } else {
                s->finished = true;
                break;
            }
        }
    }
    s->position[ch] = pos;
    s->fraction[ch] = frac;
    s->mixed_level[ch] = current;
}

// Sounds stopped since the last block (or finished in it) leave the lists.
void drop_finished(audio_mixer& m) {
    for (int level = 0; level < mixer_levels; level++) {
        for (audio_sound* s = m.head[0][level]; s;) {
            audio_sound* next = s->next[0];
            if (s->finished) leave_lists(s);
            s = next;
        }
    }
}

uint8_t clamp_output(int32_t v) {
    if (v < -127) return 0;
    if (v > 126) return 255;
    return (uint8_t)(v + 128);
}

}  // namespace

bool mixer_open(audio_mixer& m, int device_rate, bool stereo, int budget, int max_frames) {
    m = audio_mixer{};
    m.device_rate = device_rate;
    m.stereo = stereo;
    m.budget = budget;
    m.max_frames = max_frames;
    for (int ch = 0; ch < 2; ch++) {
        m.accumulator[ch] = (int32_t*)checked_calloc((size_t)max_frames, sizeof(int32_t));
        if (!m.accumulator[ch]) {
            mixer_close(m);
            return false;
        }
    }
    return true;
}

void mixer_close(audio_mixer& m) {
    while (m.newest) mixer_free(m.newest);
    for (int ch = 0; ch < 2; ch++) checked_free(m.accumulator[ch]);
    m = audio_mixer{};
}

void mixer_mix(audio_mixer& m, int frames, uint8_t* out) {
    frames = std::clamp(frames, 0, m.max_frames);
    drop_finished(m);
    const int channels = m.stereo ? 2 : 1;
    for (int ch = 0; ch < channels; ch++) memset(m.accumulator[ch], 0, (size_t)frames * sizeof(int32_t));

    // Loudest first, left and right voices of a level taken alternately;
    // voices past the budget (and level 0) only keep their timing.
    int budget = m.budget;
    for (int level = mixer_levels - 1; level >= 0; level--) {
        audio_sound* voice[2] = {m.head[0][level], channels == 2 ? m.head[1][level] : nullptr};
        while (voice[0] || voice[1]) {
            for (int ch = 0; ch < channels; ch++) {
                audio_sound* s = voice[ch];
                if (!s) continue;
                bool audible = level >= 1 && budget > 0;
                if (audible) budget--;
                mix_voice(s, ch, m.accumulator[ch], frames, audible);
                voice[ch] = s->next[ch];
            }
        }
    }

    for (int level = 0; level < mixer_levels; level++)
        for (audio_sound* s = m.head[0][level]; s; s = s->next[0]) s->restart = false;
    drop_finished(m);

    if (channels == 2) {
        for (int i = 0; i < frames; i++) {
            out[2 * i] = clamp_output(m.accumulator[0][i]);
            out[2 * i + 1] = clamp_output(m.accumulator[1][i]);
        }
    } else {
        for (int i = 0; i < frames; i++) out[i] = clamp_output(m.accumulator[0][i]);
    }
}

audio_sound* mixer_make_sound(const audio_mixer& m, int byte_count, const uint8_t* bytes, int source_rate) {
    if (byte_count <= 0 || !bytes || source_rate < 0) return nullptr;
    int64_t length = byte_count;
    if (source_rate > 0) length = (int64_t)byte_count * m.device_rate / source_rate;
    if (length < 1 || length > longest_sound) return nullptr;

    auto* samples = (mixer_samples*)checked_calloc(1, sizeof(mixer_samples));
    auto* s = (audio_sound*)checked_calloc(1, sizeof(audio_sound));
    uint8_t* copy = (uint8_t*)checked_malloc((size_t)length);
    if (!samples || !s || !copy) {
        checked_free(samples);
        checked_free(s);
        checked_free(copy);
        return nullptr;
    }
    if (source_rate > 0) {
        // Nearest earlier source sample for each sample at the device rate.
        for (int64_t i = 0; i < length; i++) copy[i] = bytes[i * source_rate / m.device_rate];
    } else {
        memcpy(copy, bytes, (size_t)length);
    }
    samples->use_count = 1;
    samples->length = (int)length;
    samples->bytes = copy;

    s->samples = samples;
    s->rate = m.device_rate;
    s->device_rate = m.device_rate;
    s->volume = 32767;
    s->pan = 0;
    s->stereo = m.stereo;
    update_levels(s);  // not playing yet: only the levels are set
    return s;
}

void mixer_add_sound(audio_mixer& m, audio_sound* s) {
    s->mixer = &m;
    s->older = m.newest;
    s->newer = nullptr;
    if (m.newest) m.newest->newer = s;
    m.newest = s;
}

audio_sound* mixer_duplicate(audio_sound* original) {
    auto* s = (audio_sound*)checked_calloc(1, sizeof(audio_sound));
    if (!s) return nullptr;
    s->samples = original->samples;
    s->samples->use_count++;
    s->rate = original->device_rate;
    s->device_rate = original->device_rate;
    s->volume = 32767;
    s->pan = 0;
    s->stereo = original->stereo;
    s->looping = original->looping;
    update_levels(s);
    mixer_add_sound(*original->mixer, s);
    return s;
}

void mixer_free(audio_sound* s) {
    audio_mixer& m = *s->mixer;
    if (s->playing) leave_lists(s);
    if (s->newer)
        s->newer->older = s->older;
    else
        m.newest = s->older;
    if (s->older) s->older->newer = s->newer;
    if (--s->samples->use_count == 0) {
        checked_free(s->samples->bytes);
        checked_free(s->samples);
    }
    checked_free(s);
}

void mixer_play(audio_sound* s) {
    s->restart = true;
    s->finished = false;
    if (!s->playing) {
        s->playing = true;
        for (int ch = 0; ch < channel_count(s); ch++) link_voice(s, ch);
    }
}

void mixer_stop(audio_sound* s) {
    if (s->playing) s->finished = true;
}

void mixer_set_rate(audio_sound* s, int rate) { s->rate = std::max(rate, 0); }

void mixer_set_volume(audio_sound* s, int volume) {
    s->volume = std::clamp(volume, 0, 32767);
    update_levels(s);
}

void mixer_set_pan(audio_sound* s, int pan) {
    s->pan = std::clamp(pan, -32768, 32767);
    update_levels(s);
}

void mixer_set_loop(audio_sound* s, bool on) { s->looping = on; }

int mixer_position(const audio_sound* s) {
    if (!s->playing || s->restart) return 0;
    return (int)s->position[0];
}

void mixer_write(audio_sound* s, int byte_count, const uint8_t* bytes, int offset) {
    if (byte_count <= 0 || !bytes) return;
    const int64_t length = s->samples->length;
    int64_t start = offset;
    if (byte_count > length) {
        // Only the last `length` bytes survive, at the offset they would
        // have been written to.
        start += byte_count - length;
        bytes += byte_count - length;
        byte_count = (int)length;
    }
    start %= length;
    if (start < 0) start += length;
    uint8_t* dst = s->samples->bytes;
    int64_t first = std::min<int64_t>(byte_count, length - start);
    memcpy(dst + start, bytes, (size_t)first);
    memcpy(dst, bytes + first, (size_t)(byte_count - first));
}
