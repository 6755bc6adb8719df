// Sound tables: the built-in ones, the table files, and the cache of sample
// files they share. Everything loaded stays loaded for the rest of the run.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "core/diag.h"
#include "sound/sound_internal.h"
#include "vfs/vfs.h"

namespace {

constexpr int builtin_wave_length = 1024;
// A remap list longer than this is taken for a broken file.
constexpr size_t remap_limit = 65536;

struct cached_samples {
    std::string name;
    std::vector<float> samples;
};

// Each record is allocated once and never moves: cells point into it.
std::vector<std::unique_ptr<cached_samples>> g_samples;
std::vector<std::unique_ptr<sound_table>> g_tables;  // newest first
std::vector<std::unique_ptr<sound_table>> g_builtin_tables;

const cached_samples* keep_samples(std::string name, std::vector<float> samples) {
    auto entry = std::make_unique<cached_samples>();
    entry->name = std::move(name);
    entry->samples = std::move(samples);
    g_samples.push_back(std::move(entry));
    return g_samples.back().get();
}

// ---- built-in tables -------------------------------------------------------------

std::vector<float> make_wave(bool four_stroke, float gain) {
    std::vector<float> w((size_t)builtin_wave_length);
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < builtin_wave_length; i++) {
        double x = (float)((double)i / (builtin_wave_length - 1));
        double v = 0;
        if (four_stroke) v = 0.5 * (std::fabs(std::sin(3 * pi * x + 0.5246)) - 0.5);
        if (x < 0.25) v += std::sin((four_stroke ? 16 : 8) * pi * x) * (1 - 4 * x);
        w[(size_t)i] = (float)v * gain;
    }
    return w;
}

void add_builtin_table(const char* name, bool four_stroke) {
    auto t = std::make_unique<sound_table>();
    t->name = name;
    t->rows = 1;
    t->cols = 2;
    const char* kind = four_stroke ? "four" : "two";
    const cached_samples* quiet = keep_samples(std::string("built-in quiet ") + kind, make_wave(four_stroke, 0.25f));
    const cached_samples* full = keep_samples(std::string("built-in ") + kind, make_wave(four_stroke, 1));
    for (int c = 0; c < 2; c++) {
        sound_table_cell cell;
        const cached_samples* s = c == 0 ? quiet : full;
        cell.samples = s->samples.data();
        cell.sample_count = (int)s->samples.size();
        cell.cycles = 1;
        cell.rpm = 0;
        cell.load = (float)c;
        t->cells.push_back(std::move(cell));
    }
    g_builtin_tables.push_back(std::move(t));
}

// ---- sample files -----------------------------------------------------------------

// Raw signed 16-bit little-endian mono; reading stops at the first
// incomplete pair of bytes and after sample_file_limit samples.
const cached_samples* read_sample_file(const char* name) {
    for (const auto& s : g_samples)
        if (s->name == name) return s.get();
    vfs_file* f = vfs_open(name, "rb");
    if (!f) return nullptr;
    std::vector<float> samples;
    uint8_t buffer[8192];
    bool odd = false;
    uint8_t low = 0;
    bool too_long = false;
    for (;;) {
        size_t got = vfs_read(f, buffer, sizeof buffer);
        if (got == 0) break;
        for (size_t i = 0; i < got; i++) {
            if (!odd) {
                low = buffer[i];
                odd = true;
                continue;
            }
            odd = false;
            if ((int)samples.size() >= sample_file_limit) {
                too_long = true;
                break;
            }
            int16_t v = (int16_t)(uint16_t)(low | (buffer[i] << 8));
            samples.push_back((float)v / 32768.0f);
        }
        if (too_long || got < sizeof buffer) break;
    }
    vfs_close(f);
    if (too_long) log_printf("'%.512s' holds more than %d samples; the rest is not used\n", name, sample_file_limit);
    if (samples.empty()) return nullptr;
    return keep_samples(name, std::move(samples));
}

// ---- table files ------------------------------------------------------------------

bool read_finite(vfs_file* f, float& out) {
    float v = 0;
    if (vfs_scanf(f, " %f", &v) != 1 || !std::isfinite(v)) return false;
    out = v;
    return true;
}

enum class cell_result { ok, bad_remap, bad_cell };

cell_result read_cell(vfs_file* f, sound_table_cell& cell, std::string& sample_name) {
    std::vector<int> remap;
    for (;;) {
        int v = 0;
        if (vfs_scanf(f, " %d", &v) != 1) return cell_result::bad_remap;
        if (v == -1) break;
        if (remap.size() >= remap_limit) return cell_result::bad_remap;
        remap.push_back(v);
    }
    float cycles = 0;
    char name[1024] = {};
    bool have_cycles = read_finite(f, cycles);
    if (!have_cycles || vfs_scanf(f, " %1023s", name) != 1) {
        sample_name = name;
        return cell_result::bad_cell;
    }
    sample_name = name;
    // A cell must hold at least one cycle: the grain set-up divides by it.
    if (!(cycles >= 1) || cycles > (float)sample_file_limit) return cell_result::bad_cell;
    const cached_samples* s = read_sample_file(name);
    if (!s) return cell_result::bad_cell;
    cell.samples = s->samples.data();
    cell.sample_count = (int)s->samples.size();
    cell.cycles = (int)cycles;
    int64_t c = cell.cycles;
    for (int r : remap) cell.remap.push_back((uint32_t)(((r % c) + c) % c));
    return cell_result::ok;
}

std::unique_ptr<sound_table> read_table(vfs_file* f, const char* name) {
    auto t = std::make_unique<sound_table>();
    t->name = name;
    int rows = 0, cols = 0;
    if (vfs_scanf(f, " SOUNDTABLE %d %d", &rows, &cols) != 2) return nullptr;
    // An empty grid has no cell to play; a huge one is a broken file.
    if (rows < 1 || cols < 1 || rows > sound_table_side_limit || cols > sound_table_side_limit) return nullptr;
    t->rows = rows;
    t->cols = cols;
    std::vector<float> row_rpm((size_t)rows), col_load((size_t)cols);
    for (float& v : row_rpm)
        if (!read_finite(f, v)) return nullptr;
    for (float& v : col_load)
        if (!read_finite(f, v)) return nullptr;
    t->cells.resize((size_t)(rows * cols));
    for (int r = 0; r < rows; r++) {
        for (int c = 0; c < cols; c++) {
            sound_table_cell& cell = t->cells[(size_t)(r * cols + c)];
            cell.rpm = row_rpm[(size_t)r];
            cell.load = col_load[(size_t)c];
            std::string sample_name;
            cell_result got = read_cell(f, cell, sample_name);
            if (got == cell_result::bad_remap) {
                show_messagef("(%d, %d) Bad remap entry", r, c);
                return nullptr;
            }
            if (got == cell_result::bad_cell) {
                show_messagef("(%d, %d) Error reading '%.512s'", r, c, sample_name.c_str());
                return nullptr;
            }
        }
    }
    return t;
}

}  // namespace

void make_builtin_tables() {
    if (!g_builtin_tables.empty()) return;
    add_builtin_table("default_four_stroke", true);
    add_builtin_table("default_two_stroke", false);
}

const sound_table* builtin_sound_table(const char* name) {
    make_builtin_tables();
    for (const auto& t : g_builtin_tables)
        if (t->name == name) return t.get();
    return nullptr;
}

const sound_table* load_sound_table(const char* name) {
    if (!name) return nullptr;
    for (const auto& t : g_tables)
        if (t->name == name) return t.get();
    if (const sound_table* t = builtin_sound_table(name)) return t;
    vfs_file* f = vfs_open(name, "rb");
    std::unique_ptr<sound_table> t = f ? read_table(f, name) : nullptr;
    if (f) vfs_close(f);
    if (!t) {
        show_messagef("Error reading '%.512s'", name);
        return nullptr;
    }
    g_tables.insert(g_tables.begin(), std::move(t));
    return g_tables.front().get();
}

void free_sound_tables() {
    g_tables.clear();
    g_builtin_tables.clear();
    g_samples.clear();
}
