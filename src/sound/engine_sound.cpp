// Engine sound parameters: the built-in sets, the pipe taps, the ".braap"
// files and their lookup chain, and setting up a slot's voice.
#include "sound/engine_sound.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "bike/bike.h"
#include "core/diag.h"
#include "core/scan.h"
#include "core/text.h"
#include "race/race.h"
#include "sound/sound_device.h"
#include "sound/sound_internal.h"
#include "vfs/vfs.h"

namespace {

constexpr float four_stroke_pipe[3] = {5.0f, 0.9182072f, -0.85f};
constexpr float two_stroke_pipe[3] = {1.75f, 0.3f, -0.75f};
constexpr int braap_line_bytes = 1024;

struct builtin_sets {
    engine_sound four_stroke, two_stroke, small_two_stroke;
};
std::unique_ptr<builtin_sets> g_sets;
std::unique_ptr<engine_voice[]> g_voices;

bool is_four_stroke_class(const char* engine_class) {
    size_t n = engine_class ? strlen(engine_class) : 0;
    return n == 0 || engine_class[n - 1] == 'f';
}

engine_sound make_set(const char* table, float cycles_per_rev, float low, float high, const float pipe[3]) {
    engine_sound s;
    s.table = builtin_sound_table(table);
    s.cycles_per_rev = cycles_per_rev;
    s.lowtorque = low;
    s.hightorque = high;
    s.minrpm = 1000;
    s.bias[0] = 0;
    s.scale[0] = 1;
    s.bias_count = s.scale_count = 1;
    set_pipe_taps(s, pipe[0], pipe[1], pipe[2], 0, 15);
    return s;
}

void make_builtins() {
    if (g_sets) return;
    make_builtin_tables();
    g_sets = std::make_unique<builtin_sets>();
    g_sets->four_stroke = make_set("default_four_stroke", 0.5f, -2.5f, 2.5f, four_stroke_pipe);
    g_sets->two_stroke = make_set("default_two_stroke", 1.0f, -3.5f, 3.5f, two_stroke_pipe);
    g_sets->small_two_stroke = make_set("default_two_stroke", 1.0f, -3.5f, 1.5f, two_stroke_pipe);
}

engine_voice* voices() {
    if (!g_voices) g_voices = std::make_unique<engine_voice[]>(engine_slot_count);
    return g_voices.get();
}

// ---- the ".braap" lines ------------------------------------------------------------

bool finite_all(std::initializer_list<float> values) {
    for (float v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_line_end(char c) { return c == 0 || c == '\n' || c == '\r'; }

// The key after optional leading blanks, followed by a blank or the end of
// the line; the rest of the line, or null.
const char* after_key(const char* line, const char* key) {
    while (is_blank(*line)) line++;
    size_t n = strlen(key);
    if (strncmp(line, key, n) != 0) return nullptr;
    const char* rest = line + n;
    if (!is_blank(*rest) && !is_line_end(*rest)) return nullptr;
    return rest;
}

// Up to 100 numbers; the rest of a longer list is ignored.
int read_number_list(const char* text, std::array<float, rpm_list_limit>& out) {
    int count = 0;
    for (;;) {
        char* end = nullptr;
        double v = parse_double_c(text, &end);
        if (end == text || !std::isfinite(v)) break;
        if (count < rpm_list_limit) out[(size_t)count++] = (float)v;
        text = end;
    }
    return count;
}

bool read_key_value(const char* line, const char* format, float& out) {
    float v = 0;
    if (string_scanf(line, strlen(line), nullptr, format, &v) != 1 || !std::isfinite(v)) return false;
    out = v;
    return true;
}

void apply_braap_line(engine_sound& s, char* line) {
    if (char* hash = strchr(line, '#')) *hash = 0;
    float a = four_stroke_pipe[0], b = four_stroke_pipe[1], c = four_stroke_pipe[2];
    int f = 0, e = 15;
    if (string_scanf(line, strlen(line), nullptr, "pipe %f %f %f %d %d", &a, &b, &c, &f, &e) >= 1) {
        if (finite_all({a, b, c}))
            set_pipe_taps(s, a, b, c, f, e);
        else
            log_printf("braap warning: pipe values must be finite\n");
        return;
    }
    if (read_key_value(line, "minrpm %f", s.minrpm)) return;
    if (read_key_value(line, "lowtorque %f", s.lowtorque)) return;
    if (read_key_value(line, "hightorque %f", s.hightorque)) return;
    if (const char* rest = after_key(line, "bias")) {
        s.bias_count = read_number_list(rest, s.bias);
        return;
    }
    if (const char* rest = after_key(line, "scale")) {
        s.scale_count = read_number_list(rest, s.scale);
        return;
    }
    if (const char* rest = after_key(line, "soundtable")) {
        std::string name = rest;
        size_t first = name.find_first_not_of(" \t\r\n");
        size_t last = name.find_last_not_of(" \t\r\n");
        if (first == std::string::npos) return;
        name = name.substr(first, last - first + 1);
        if (const sound_table* t = load_sound_table(name.c_str())) s.table = t;
    }
}

// An empty bias or scale list means no offset and no scaling.
void fill_empty_lists(engine_sound& s) {
    if (s.bias_count <= 0) {
        s.bias[0] = 0;
        s.bias_count = 1;
    }
    if (s.scale_count <= 0) {
        s.scale[0] = 1;
        s.scale_count = 1;
    }
}

// ---- the lookup chain ----------------------------------------------------------------

const char* class_default_file(const char* engine_class) {
    if (!engine_class) return nullptr;
    static const char* const files[][2] = {{"50", "@default50.braap"},
                                           {"125", "@default125.braap"},
                                           {"250f", "@default250f.braap"},
                                           {"250", "@default250.braap"},
                                           {"450f", "@default450f.braap"}};
    for (const auto& f : files)
        if (!strcmp(engine_class, f[0])) return f[1];
    return nullptr;
}

// The skin's own file, then one "-" part shorter at a time.
bool read_skin_braap(engine_sound& s, const std::string& skin) {
    size_t slash = skin.rfind('/');
    size_t base = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = skin.rfind('.');
    if (dot == std::string::npos || dot < base) return false;
    std::string name = skin.substr(0, dot) + ".braap";
    for (;;) {
        if (read_braap(s, name.c_str())) return true;
        size_t dash = name.rfind('-');
        if (dash == std::string::npos || dash < base) return false;
        name = name.substr(0, dash) + ".braap";
    }
}

std::string drawn_skin(const bike_state& bike) {
    if (!bike.bike_texture.empty()) return bike.bike_texture;
    return bike_model(bike).model_files[file_bike_texture];
}

void point_grains_at_first_cell(engine_voice& v) {
    const sound_table* t = v.params.table;
    for (grain_voice& g : v.grains) {
        g = grain_voice{};
        if (t && !t->cells.empty()) {
            g.samples = t->cells[0].samples;
            g.sample_count = t->cells[0].sample_count;
        }
    }
}

void apply_pipe(engine_voice& v, const char* engine_class, const char* arguments) {
    const float* d = (engine_class && (!strcmp(engine_class, "250f") || !strcmp(engine_class, "450f")))
                         ? four_stroke_pipe
                         : two_stroke_pipe;
    float a = d[0], b = d[1], c = d[2];
    int f = 0, e = 15;
    if (arguments) string_scanf(arguments, strlen(arguments), nullptr, "%f %f %f %d %d", &a, &b, &c, &f, &e);
    if (!finite_all({a, b, c})) return;
    set_pipe_taps(v.params, a, b, c, f, e);
}

}  // namespace

// ---- parameters -------------------------------------------------------------------

int tap_delay(const pipe_tap& tap) { return engine_ring_size - tap.stored; }

void set_pipe_taps(engine_sound& s, float a, float b, float c, int f, int e) {
    f = std::clamp(f, 0, pipe_tap_count - 1);
    e = std::clamp(e, f, pipe_tap_count - 1);
    float m = std::min(a, b);
    int r = e - f, o = r + 1;
    for (int i = f; i <= e; i++) {
        float x = (float)(i - f);
        float length = r > 0 ? a - m * (x + x * x / (float)(r * r)) / (float)o : a;
        double samples = 2.0 * synthesis_rate * length / speed_of_sound;
        // A pipe from a file or the console may ask for no delay, a negative
        // one or one longer than the ring: the ring index must stay inside.
        int delay = std::isfinite(samples) ? (int)std::clamp(std::trunc(samples), 1.0, 32767.0) : 1;
        s.taps[(size_t)i].stored = engine_ring_size - delay;
        s.taps[(size_t)i].gain = c / (float)o;
    }
}

const engine_sound& builtin_engine_sound(const char* engine_class) {
    make_builtins();
    if (is_four_stroke_class(engine_class)) return g_sets->four_stroke;
    if (!strcmp(engine_class, "50")) return g_sets->small_two_stroke;
    return g_sets->two_stroke;
}

bool read_braap(engine_sound& s, const char* file_name) {
    vfs_file* f = vfs_open(file_name, "rb");
    if (!f) return false;
    // A file without pipe lines has no resonance.
    set_pipe_taps(s, 1, 1, 0, 0, 15);
    char line[braap_line_bytes];
    while (vfs_gets(f, line, sizeof line)) apply_braap_line(s, line);
    vfs_close(f);
    return true;
}

// ---- voices -------------------------------------------------------------------------

void engine_sound_load(int slot, const bike_state* bike, const char* skin) {
    if (slot < 0 || slot >= engine_slot_count) return;
    make_builtins();
    engine_voice& v = voices()[slot];
    if (v.handle) sound_device.free(v.handle);
    v.handle = nullptr;

    if (sound_device.is_open()) {
        std::vector<uint8_t> silence((size_t)engine_ring_size, 128);
        v.handle = sound_device.create(engine_ring_size, silence.data(), 0);
        if (v.handle) {
            sound_device.set_loop(v.handle, true);
            sound_device.set_volume(v.handle, 0);
            sound_device.play(v.handle);
        }
    }
    v.ring.fill(0);
    v.write_pos = 11025;
    v.prev_rpm = 1000;
    v.phase = 0;
    v.cycle = 0;
    v.freq = 10;

    const char* engine_class = bike ? bike_model(*bike).engine_class : nullptr;
    v.params = builtin_engine_sound(engine_class);
    std::string name = skin ? std::string(skin) : bike ? drawn_skin(*bike) : std::string();
    if (!read_skin_braap(v.params, name)) {
        if (const char* fallback = class_default_file(engine_class)) read_braap(v.params, fallback);
    }
    fill_empty_lists(v.params);
    point_grains_at_first_cell(v);
}

void engine_sound_free(int slot) {
    if (slot < 0 || slot >= engine_slot_count || !g_voices) return;
    engine_voice& v = g_voices[(size_t)slot];
    if (v.handle) sound_device.free(v.handle);
    v.handle = nullptr;
}

const engine_voice& engine_voice_of(int slot) { return voices()[std::clamp(slot, 0, engine_slot_count - 1)]; }

engine_voice& voice_for_update(int slot) { return voices()[slot]; }
bool voices_made() { return g_voices != nullptr; }

void pipe_command(const char* arguments) {
    int slot = race.viewed_slot;
    const bike_state* bike = bike_in_slot(slot);
    if (!bike || slot < 0 || slot >= engine_slot_count) return;
    apply_pipe(voices()[slot], bike_model(*bike).engine_class, arguments);
    show_message("Pipe updated");
}

void free_engine_sounds() {
    if (g_voices) {
        for (int s = 0; s < engine_slot_count; s++) engine_sound_free(s);
    }
    g_voices.reset();
    g_sets.reset();
}
