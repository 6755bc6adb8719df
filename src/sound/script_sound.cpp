#include "sound/script_sound.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>

#include "core/config.h"
#include "render/frame_draw.h"
#include "sound/placement.h"
#include "sound/sound_device.h"
#include "vfs/vfs.h"

namespace {

struct script_sound {
    audio_sound* sound = nullptr;
    std::string name;
    std::array<double, 3> position{}, velocity{};
    double frequency = 0;
    double volume = 0;
};

std::vector<script_sound> g_sounds;

script_sound* sound_at(int index) {
    if (index < 0 || index >= (int)g_sounds.size()) return nullptr;
    return &g_sounds[(size_t)index];
}

// Scripts are untrusted: only names inside the data ("@..."), never a way
// out of it, and nothing that is not a plain file name.
bool name_allowed(const char* name) {
    if (!name || name[0] != '@' || !name[1]) return false;
    if (strstr(name, "..")) return false;
    for (const char* p = name; *p; p++)
        if ((unsigned char)*p < 32 || *p == '\\') return false;
    return true;
}

// Reads at most the size cap: a device node or a huge file cannot keep the
// frame waiting.
bool read_capped(const char* name, std::vector<uint8_t>& out) {
    vfs_file* f = vfs_open(name, "rb");
    if (!f) return false;
    out.clear();
    uint8_t block[16384];
    while ((int64_t)out.size() < script_sound_file_limit) {
        size_t want = (size_t)std::min<int64_t>((int64_t)sizeof block, script_sound_file_limit - (int64_t)out.size());
        size_t n = vfs_read(f, block, want);
        if (n == 0) break;
        out.insert(out.end(), block, block + n);
    }
    vfs_close(f);
    return true;
}

double finite_or(double v, double fallback) { return std::isfinite(v) ? v : fallback; }

}  // namespace

std::vector<uint8_t> script_sound_samples(const uint8_t* bytes, size_t count) {
    std::vector<uint8_t> out;
    out.reserve(count / 2);
    for (size_t k = 0; k + 1 < count; k += 2) out.push_back((uint8_t)(bytes[k + 1] + 128));
    return out;
}

int script_sound_add(const char* name) {
    if ((int)g_sounds.size() >= script_sound_limit || !name_allowed(name)) return -1;
    if (!sound_device.is_open()) return -1;
    script_sound s;
    s.name = name;
    for (const script_sound& other : g_sounds)
        if (other.name == s.name && other.sound && sound_device.duplicate) {
            s.sound = sound_device.duplicate(other.sound);
            break;
        }
    if (!s.sound) {
        std::vector<uint8_t> raw;
        if (!read_capped(name, raw)) return -1;
        std::vector<uint8_t> samples = script_sound_samples(raw.data(), raw.size());
        if (samples.empty()) return -1;
        s.sound = sound_device.create((int)samples.size(), samples.data(), 0);
    }
    if (!s.sound) return -1;
    sound_device.set_loop(s.sound, false);
    sound_device.set_volume(s.sound, 0);
    g_sounds.push_back(std::move(s));
    return (int)g_sounds.size() - 1;
}

bool script_sound_start(int index) {
    script_sound* s = sound_at(index);
    if (!s) return false;
    sound_device.play(s->sound);
    return true;
}

bool script_sound_stop(int index) {
    script_sound* s = sound_at(index);
    if (!s) return false;
    if (sound_device.stop) sound_device.stop(s->sound);
    return true;
}

bool script_sound_loop(int index, bool on) {
    script_sound* s = sound_at(index);
    if (!s) return false;
    sound_device.set_loop(s->sound, on);
    return true;
}

bool script_sound_set_freq(int index, double samples_per_second) {
    script_sound* s = sound_at(index);
    if (!s) return false;
    s->frequency = finite_or(samples_per_second, 0);
    return true;
}

bool script_sound_set_vol(int index, double volume) {
    script_sound* s = sound_at(index);
    if (!s) return false;
    s->volume = finite_or(volume, 0);
    return true;
}

bool script_sound_set_pos(int index, double x, double y, double z) {
    script_sound* s = sound_at(index);
    if (!s) return false;
    s->position = {finite_or(x, 0), finite_or(y, 0), finite_or(z, 0)};
    return true;
}

bool script_sound_set_vel(int index, double x, double y, double z) {
    script_sound* s = sound_at(index);
    if (!s) return false;
    s->velocity = {finite_or(x, 0), finite_or(y, 0), finite_or(z, 0)};
    return true;
}

int script_sound_count() { return (int)g_sounds.size(); }

void script_sounds_release() {
    for (script_sound& s : g_sounds)
        if (s.sound) sound_device.free(s.sound);
    g_sounds.clear();
}

void place_script_sounds(double master_factor) {
    // Heard like the other riders' engines: "Volume" and "Competitor Volume".
    double scale = master_factor * settings.volume * 0.1 * settings.comp_volume * 0.1;
    for (script_sound& s : g_sounds) {
        sound_placement p = place_sound(listener(), s.position, s.velocity);
        double loudness = std::clamp(s.volume / p.attenuation, 0.0, 1.0);
        double word = std::clamp(std::trunc(loudness * scale * 32767), 0.0, 32767.0);
        if (!std::isfinite(word)) word = 0;
        sound_device.set_rate(s.sound, placed_rate(p, s.frequency));
        sound_device.set_volume(s.sound, (int)word);
        sound_device.set_pan(s.sound, placed_pan(p));
    }
}
