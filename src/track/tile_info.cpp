// The tile type table: "tileinfo" and "texturelist" parsing, blend
// descriptors, the stand-in texture loader and the "tileinfo" writer.
#include "track/tile_info.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "core/diag.h"
#include "core/scan.h"
#include "core/text.h"
#include "track/track_files.h"
#include "vfs/vfs.h"

namespace {

std::vector<tile_info> g_tiles;
std::vector<std::string> g_requests;

unsigned record_texture_request(const char* name) {
    auto it = std::find(g_requests.begin(), g_requests.end(), name);
    size_t index = it - g_requests.begin();
    if (it == g_requests.end()) g_requests.push_back(name);
    vfs_file* f = vfs_open(name, "rb");
    if (!f) return 0;
    vfs_close(f);
    return (unsigned)index + 1;
}

const tile_info& fallback_tile() {
    static const tile_info tile;
    return tile;
}

void warn(const char* text) { show_message(text); }

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_line_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads up to `count` floats with "%f %f ..."; a NaN counts as no number
// (nothing in these tables means anything with one).
int scan_floats(const std::string& value, float* out, int count) {
    static const char* const formats[] = {"", "%f", "%f %f", "%f %f %f"};
    float v[3] = {0, 0, 0};
    int got = string_scanf(value.c_str(), value.size(), nullptr, formats[count], &v[0], &v[1], &v[2]);
    if (got < 0) got = 0;
    for (int k = 0; k < got; k++) {
        if (std::isnan(v[k])) return k;
        out[k] = v[k];
    }
    return got;
}

// strtod on a roost value; false when no number (or a NaN) is there.
bool parse_number(const std::string& text, double& out) {
    char* end = nullptr;
    double v = parse_double_c(text.c_str(), &end);
    if (end == text.c_str() || std::isnan(v)) return false;
    out = v;
    return true;
}

// trunc(v) as an int, with values beyond the int range clamped first so the
// conversion is defined.
int truncate_to_int(double v) {
    if (v >= (double)INT_MAX) return INT_MAX;
    if (v <= (double)INT_MIN) return INT_MIN;
    return (int)v;
}

struct pending_tile {
    tile_info tile;
    std::vector<std::pair<float, float>> friction;              // speed, coefficient
    std::vector<std::pair<float, std::array<float, 2>>> rolls;  // speed, values
    std::vector<std::array<float, 3>> limits;                   // depth, scale 1, scale 2
    int roosts = 0;
    bool named = false;
};

struct erode_key {
    const char* key;
    float erode_params::*value;
};

const erode_key erode_keys[] = {
    {"erode_depth", &erode_params::erode_depth},
    {"erode_lower", &erode_params::erode_lower},
    {"erode_upper", &erode_params::erode_upper},
    {"erode_displacement", &erode_params::erode_displacement},
    {"erode_radius", &erode_params::erode_radius},
    {"erode_inner_depth", &erode_params::erode_inner_depth},
    {"erode_inner_radius", &erode_params::erode_inner_radius},
    {"erode_min_slope", &erode_params::erode_min_slope},
    {"erode_max_slope", &erode_params::erode_max_slope},
    {"erode_off_speed", &erode_params::erode_off_speed},
    {"erode_on_speed", &erode_params::erode_on_speed},
    {"erode_slip_lower", &erode_params::erode_slip_lower},
    {"erode_slip_upper", &erode_params::erode_slip_upper},
    {"erode_slip_base_scale", &erode_params::erode_slip_base_scale},
    {"erode_slip_scale", &erode_params::erode_slip_scale},
    {"erode_downhill_scale", &erode_params::erode_downhill_scale},
    {"erode_project_to_ground", &erode_params::erode_project_to_ground},
    {"erode_lateral_scale", &erode_params::erode_lateral_scale},
    {"erode_front_scale", &erode_params::erode_front_scale},
};

struct roost_float_key {
    const char* key;  // with its '='
    float roost_type::*value;
};

const roost_float_key roost_float_keys[] = {
    {"count=", &roost_type::count},         {"dig=", &roost_type::dig},
    {"slip_threshold=", &roost_type::slip_threshold}, {"slow_angle=", &roost_type::slow_angle},
    {"fast_angle=", &roost_type::fast_angle}, {"slow_speed=", &roost_type::slow_speed},
    {"fast_speed=", &roost_type::fast_speed}, {"size=", &roost_type::size},
    {"grow=", &roost_type::grow},           {"drag=", &roost_type::drag},
    {"vscale=", &roost_type::vscale},       {"randomize=", &roost_type::randomize},
};

const char* const colour_keys[4] = {"r=", "g=", "b=", "a="};
const char* const fade_keys[4] = {"fade_r=", "fade_g=", "fade_b=", "fade_a="};

// "tileinfo warning: bad " + the key without its '='.
void warn_bad_roost_key(const char* key) {
    std::string k(key);
    k.pop_back();
    warn(("tileinfo warning: bad " + k + "\n").c_str());
}

// Roost tokens: split at blanks, tabs, CR, LF, form feeds and backspaces;
// a double-quoted part is taken without its quotes and may hold separators.
std::vector<std::string> roost_tokens(const std::string& value) {
    std::vector<std::string> tokens;
    std::string token;
    bool quoted = false, have = false;
    for (char c : value) {
        if (c == '"') {
            quoted = !quoted;
            have = true;
            continue;
        }
        if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\b')) {
            if (have) tokens.push_back(token);
            token.clear();
            have = false;
            continue;
        }
        token += c;
        have = true;
    }
    if (have) tokens.push_back(token);
    return tokens;
}

void apply_roost_token(roost_type& r, const std::string& token) {
    size_t eq = token.find('=');
    std::string key = eq == std::string::npos ? std::string() : token.substr(0, eq + 1);
    std::string value = eq == std::string::npos ? std::string() : token.substr(eq + 1);
    double v = 0;
    if (key == "texture=") {
        r.texture = {value, load_track_texture(value.c_str())};
        return;
    }
    if (key == "splash=") {
        if (parse_number(value, v) && v != 0) r.mode = 2;
        return;
    }
    for (const roost_float_key& k : roost_float_keys) {
        if (key != k.key) continue;
        if (parse_number(value, v)) {
            r.*k.value = (float)v;
        } else {
            r.*k.value = 0.0f;
            warn_bad_roost_key(k.key);
        }
        return;
    }
    for (int c = 0; c < 4; c++) {
        if (key == colour_keys[c]) {
            bool ok = parse_number(value, v);
            r.color[c] = ok ? (uint8_t)(truncate_to_int(v) & 255) : 0;
            if (!ok) warn_bad_roost_key(colour_keys[c]);
            return;
        }
        if (key == fade_keys[c]) {
            // Given per second, kept per tic (128 tics per second).
            bool ok = parse_number(value, v);
            r.fade[c] = ok ? (int8_t)(uint8_t)(truncate_to_int(v * 0.0078125) & 255) : 0;
            if (!ok) warn_bad_roost_key(fade_keys[c]);
            return;
        }
    }
    show_messagef("tileinfo warning: unknown roost parameter '%.40s'\n", token.c_str());
}

// The tile as described so far, with its tables sorted and completed.
tile_info finish_tile(pending_tile& p) {
    tile_info t = p.tile;
    std::stable_sort(p.friction.begin(), p.friction.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t k = 0; k < p.friction.size(); k++) {
        t.friction_speed[k] = p.friction[k].first;
        t.friction_coefficient[k] = p.friction[k].second;
    }
    std::stable_sort(p.rolls.begin(), p.rolls.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t k = 0; k < p.rolls.size(); k++) {
        t.roll_resist_speed[k] = p.rolls[k].first;
        t.roll_resist[k] = p.rolls[k].second;
    }
    if (!p.limits.empty()) {
        t.erode.erode_limit_count = (int)p.limits.size();
        for (size_t k = 0; k < p.limits.size(); k++) {
            t.erode.limit_depth[k] = p.limits[k][0];
            t.erode.limit_scale1[k] = p.limits[k][1];
            t.erode.limit_scale2[k] = p.limits[k][2];
        }
    }
    if (!p.named) t.name = truncated(t.texture.name, tile_name_chars);
    return t;
}

void parse_tileinfo_line(const char* line, pending_tile& p) {
    const char* s = line;
    while (*s && is_line_space(*s)) s++;
    if (!*s) return;
    const char* key_end = s;
    while (*key_end && !is_line_space(*key_end)) key_end++;
    std::string key(s, key_end);
    const char* v = key_end;
    while (*v && is_blank(*v)) v++;
    const char* v_end = v;
    while (*v_end && *v_end != '\r' && *v_end != '\n') v_end++;
    std::string value(v, v_end);
    tile_info& t = p.tile;
    float n[3];

    if (key == "addtile") {
        g_tiles.push_back(finish_tile(p));
        p = pending_tile();
    } else if (key == "name") {
        t.name = truncated(value, tile_name_chars);
        p.named = true;
    } else if (key == "texture") {
        t.texture = {value, load_track_texture(value.c_str())};
    } else if (key == "friction") {
        if (scan_floats(value, n, 2) < 2) {
            warn("tileinfo warning: bad friction parameters\n");
        } else if (p.friction.size() >= tile_table_points) {
            warn("tileinfo warning: too many friction points\n");
        } else {
            p.friction.push_back({std::min(n[1], 1048575.0f), std::max(n[0], 0.0f)});
        }
    } else if (key == "slip_function") {
        long long f;
        if (string_scanf(value.c_str(), value.size(), nullptr, "%lld", &f) != 1) {
            warn("tileinfo warning: bad slip_function\n");
        } else {
            t.slip_function = (int)std::clamp(f, (long long)INT_MIN, (long long)INT_MAX);
            if (f < 0 || f > 2) warn("tileinfo warning: bad slip_function\n");
        }
    } else if (key == "roll_resist") {
        if (scan_floats(value, n, 3) < 3) {
            warn("tileinfo warning: bad roll_resist parameters\n");
        } else if (p.rolls.size() >= tile_table_points) {
            warn("tileinfo warning: too many roll_resist points\n");
        } else {
            p.rolls.push_back({std::max(n[2], 1.0f / 1048576.0f), {std::max(n[0], 0.0f), std::max(n[1], 0.0f)}});
        }
    } else if (key == "roost") {
        if (p.roosts >= max_roost_types) {
            warn("tileinfo warning: too many roost types\n");
        } else {
            roost_type r;
            r.mode = 1;
            r.texture = {"@roost.png", load_track_texture("@roost.png")};
            for (const std::string& token : roost_tokens(value)) apply_roost_token(r, token);
            t.roost[p.roosts++] = r;
        }
    } else if (key == "erode_limit") {
        if (scan_floats(value, n, 3) < 3) {
            warn("tileinfo warning: bad erode_limit\n");
        } else if (p.limits.size() >= max_erode_limits) {
            warn("tileinfo warning: too many erode limits\n");
        } else if (!p.limits.empty() && !(n[0] > p.limits.back()[0])) {
            warn("tileinfo warning: erode_limit depth <= prev depth\n");
        } else {
            p.limits.push_back({n[0], n[1], n[2]});
        }
    } else {
        for (const erode_key& k : erode_keys) {
            if (key != k.key) continue;
            if (scan_floats(value, n, 1) < 1)
                warn(("tileinfo warning: bad " + key + "\n").c_str());
            else
                t.erode.*k.value = n[0];
            return;
        }
        show_messagef("tileinfo warning: Unknown identifier '%.950s'\n", key.c_str());
    }
}

// Base name for blending: no leading '@', and from the last '/' on (the '/'
// kept) when there is one.
std::string blend_base_name(const std::string& texture) {
    std::string s = texture;
    if (!s.empty() && s[0] == '@') s.erase(0, 1);
    size_t slash = s.rfind('/');
    if (slash != std::string::npos) s.erase(0, slash);
    return s;
}

// The first tile whose base name, up to its first '.', is `stem`; -1 if
// none. The second tile of a blend is named without the '/' that a base name
// from a folder keeps, so that one is compared without it.
int find_stem(const std::vector<std::string>& bases, const std::string& stem, bool drop_slash = false) {
    for (size_t k = 0; k < bases.size(); k++) {
        std::string base = bases[k];
        if (drop_slash && !base.empty() && base[0] == '/') base.erase(0, 1);
        if (base.substr(0, base.find('.')) == stem) return (int)k;
    }
    return -1;
}

void derive_blends(std::vector<tile_info>& tiles) {
    std::vector<std::string> bases;
    for (const tile_info& t : tiles) bases.push_back(blend_base_name(t.texture.name));
    for (size_t i = 0; i < tiles.size(); i++) {
        const std::string& s = bases[i];
        int plain = (int)(i << 16 | i << 8);
        size_t dash = s.find('-');
        int a = dash == std::string::npos ? -1 : find_stem(bases, s.substr(0, dash));
        if (a < 0) {
            tiles[i].blend = plain;
            continue;
        }
        std::string rest = s.substr(dash + 1);
        if (rest.size() > 3 && rest.compare(0, 3, "alt") == 0 && rest[3] >= '0' && rest[3] <= '9') {
            tiles[i].blend = a << 16 | a << 8;
            continue;
        }
        size_t dash2 = rest.find('-');
        int b = dash2 == std::string::npos ? -1 : find_stem(bases, rest.substr(0, dash2), true);
        if (b < 0) {
            tiles[i].blend = -256;
            continue;
        }
        int mask = 0;
        std::string bits = rest.substr(dash2 + 1, 4);
        if (bits.size() == 4 && std::all_of(bits.begin(), bits.end(), [](char c) { return c == '0' || c == '1'; }))
            for (char c : bits) mask = mask << 1 | (c - '0');
        tiles[i].blend = a << 16 | b << 8 | mask;
    }
}

// After either loader: a table without any tile gets one default tile (so
// that no index is ever -1), then the blend descriptors.
void finish_table(const char* file) {
    if (g_tiles.empty()) {
        show_messagef("Warning: no tile types in '%.900s', using a default tile", file);
        tile_info t;
        t.name = "default";
        g_tiles.push_back(t);
    }
    derive_blends(g_tiles);
}

}  // namespace

texture_loader track_texture_loader = record_texture_request;

unsigned load_track_texture(const char* name) {
    return track_texture_loader ? track_texture_loader(name) : 0;
}

const std::vector<std::string>& recorded_texture_requests() { return g_requests; }
void clear_recorded_texture_requests() { g_requests.clear(); }

float erode_ramp(float value, float lower, float upper) {
    if (upper == lower) return value >= lower ? 1.0f : 0.0f;
    float t = (value - lower) / (upper - lower);
    return t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
}

bool load_tile_info(const char* name) {
    vfs_file* f = vfs_open(name, "rb");
    if (!f) return false;
    g_tiles.clear();
    pending_tile pending;
    char line[1024];
    while ((int)g_tiles.size() < max_tile_types && vfs_gets(f, line, sizeof line)) parse_tileinfo_line(line, pending);
    vfs_close(f);
    finish_table(name);
    return true;
}

bool load_texture_list(const char* name) {
    vfs_file* f = vfs_open(name, "rb");
    if (!f) {
        show_messagef("Can't open '%.950s'", name);
        return false;
    }
    g_tiles.clear();
    char line[1024];
    while ((int)g_tiles.size() < max_tile_types && vfs_gets(f, line, sizeof line)) {
        const char* s = line;
        while (*s && isspace((unsigned char)*s)) s++;
        if (!*s) continue;
        float n[3];
        size_t used = 0;
        std::string texture;
        if (string_scanf(s, strlen(s), &used, "%f %f %f", &n[0], &n[1], &n[2]) == 3) {
            const char* rest = s + used;
            while (is_blank(*rest)) rest++;
            texture = rest;
            // A NaN or an infinity means nothing as a grip or a rolling
            // resistance; such a number keeps its default.
            const float defaults[3] = {1.0f, 5.0f, 15.0f};
            for (int k = 0; k < 3; k++) {
                if (std::isfinite(n[k])) continue;
                show_message("texturelist warning: bad number\n");
                n[k] = defaults[k];
            }
        } else {
            n[0] = 1.0f, n[1] = 5.0f, n[2] = 15.0f;
            texture = s;
        }
        // The line end goes, whether LF or CR LF.
        if (!texture.empty() && texture.back() == '\n') texture.pop_back();
        if (!texture.empty() && texture.back() == '\r') texture.pop_back();
        tile_info t;
        t.friction_coefficient.fill(n[0]);
        for (auto& r : t.roll_resist) r = {n[1], n[2]};
        std::string full = "@" + texture;
        t.texture = {full, load_track_texture(full.c_str())};
        t.roost[0].mode = 1;
        t.roost[0].texture = {"@roost.png", load_track_texture("@roost.png")};
        g_tiles.push_back(t);
    }
    vfs_close(f);
    finish_table(name);
    return true;
}

int tile_count() { return (int)g_tiles.size(); }

const tile_info& tile_info_of(int index) {
    if (g_tiles.empty()) return fallback_tile();
    return g_tiles[std::clamp(index, 0, (int)g_tiles.size() - 1)];
}

const std::vector<tile_info>& tile_types() { return g_tiles; }

void set_tile_types(std::vector<tile_info> tiles) {
    if (tiles.size() > (size_t)max_tile_types) tiles.resize(max_tile_types);
    g_tiles = std::move(tiles);
    finish_table("tile table");
}

void free_tile_types() { g_tiles.clear(); }

// ---- writer -------------------------------------------------------------------

namespace {

std::string quoted_token(const std::string& key, const std::string& value) {
    bool plain = !value.empty() && value.find_first_of(" \t\r\n\f\b\"") == std::string::npos;
    return plain ? key + value : key + "\"" + value + "\"";
}

std::string roost_line(const roost_type& r) {
    std::string line = "roost " + quoted_token("texture=", r.texture.name);
    if (r.mode == 2) line += " splash=1";
    for (const roost_float_key& k : roost_float_keys) line += " " + std::string(k.key) + exact_float_text(r.*k.value);
    for (int c = 0; c < 4; c++) line += format_string(" %s%d", colour_keys[c], r.color[c]);
    for (int c = 0; c < 4; c++) line += format_string(" %s%d", fade_keys[c], r.fade[c] * 128);
    return line + "\n";
}

}  // namespace

std::string encode_tileinfo(const std::vector<tile_info>& tiles) {
    std::string out;
    for (const tile_info& t : tiles) {
        if (!t.texture.name.empty()) out += "texture " + t.texture.name + "\n";
        out += "name " + t.name + "\n";  // even when empty, which differs from no name
        for (int k = 0; k < tile_table_points && t.friction_speed[k] != friction_speed_end; k++)
            out += "friction " + exact_float_text(t.friction_coefficient[k]) + " " +
                   exact_float_text(t.friction_speed[k]) + "\n";
        if (t.slip_function != 0) out += format_string("slip_function %d\n", t.slip_function);
        for (int k = 0; k < tile_table_points && t.roll_resist_speed[k] != roll_resist_speed_end; k++)
            out += "roll_resist " + exact_float_text(t.roll_resist[k][0]) + " " + exact_float_text(t.roll_resist[k][1]) +
                   " " + exact_float_text(t.roll_resist_speed[k]) + "\n";
        for (const roost_type& r : t.roost)
            if (r.mode != 0) out += roost_line(r);
        for (const erode_key& k : erode_keys) out += std::string(k.key) + " " + exact_float_text(t.erode.*k.value) + "\n";
        for (int k = 0; k < t.erode.erode_limit_count && k < max_erode_limits; k++)
            out += "erode_limit " + exact_float_text(t.erode.limit_depth[k]) + " " +
                   exact_float_text(t.erode.limit_scale1[k]) + " " + exact_float_text(t.erode.limit_scale2[k]) + "\n";
        out += "addtile\n";
    }
    return out;
}
