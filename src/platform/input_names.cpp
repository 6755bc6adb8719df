// Names of input sources: the alias table, the key names (fixed, the
// system's and our built-in table) and the conversions between names and
// event codes.
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "core/diag.h"
#include "core/text.h"
#include "platform/input.h"
#include "platform/input_internal.h"

const builtin_key_name builtin_key_names[98] = {
    {"Esc", 0x01},          {"0", 0x0B},           {"1", 0x02},           {"2", 0x03},
    {"3", 0x04},            {"4", 0x05},           {"5", 0x06},           {"6", 0x07},
    {"7", 0x08},            {"8", 0x09},           {"9", 0x0A},           {"A", 0x1E},
    {"B", 0x30},            {"C", 0x2E},           {"D", 0x20},           {"E", 0x12},
    {"F", 0x21},            {"G", 0x22},           {"H", 0x23},           {"I", 0x17},
    {"J", 0x24},            {"K", 0x25},           {"L", 0x26},           {"M", 0x32},
    {"N", 0x31},            {"O", 0x18},           {"P", 0x19},           {"Q", 0x10},
    {"R", 0x13},            {"S", 0x1F},           {"T", 0x14},           {"U", 0x16},
    {"V", 0x2F},            {"W", 0x11},           {"X", 0x2D},           {"Y", 0x15},
    {"Z", 0x2C},            {"-", 0x0C},           {"=", 0x0D},           {"[", 0x1A},
    {"]", 0x1B},            {";", 0x27},           {"'", 0x28},           {"`", 0x29},
    {"\\", 0x2B},           {",", 0x33},           {".", 0x34},           {"/", 0x35},
    {"Backspace", 0x0E},    {"Tab", 0x0F},         {"Enter", 0x1C},       {"Left Ctrl", 0x1D},
    {"Left Shift", 0x2A},   {"Right Shift", 0x36}, {"Space", 0x39},       {" ", 0x39},
    {"Caps Lock", 0x3A},    {"Right Ctrl", 0x11D}, {"Insert", 0x152},     {"Delete", 0x153},
    {"Home", 0x147},        {"End", 0x14F},        {"Page Up", 0x149},    {"Page Down", 0x151},
    {"Up", 0x148},          {"Down", 0x150},       {"Left", 0x14B},       {"Right", 0x14D},
    {"F1", 0x3B},           {"F2", 0x3C},          {"F3", 0x3D},          {"F4", 0x3E},
    {"F5", 0x3F},           {"F6", 0x40},          {"F7", 0x41},          {"F8", 0x42},
    {"F9", 0x43},           {"F10", 0x44},         {"F11", 0x57},         {"F12", 0x58},
    {"Pause", 0x45},        {"Num Lock", 0x145},   {"Keypad /", 0x135},   {"Keypad *", 0x37},
    {"Keypad -", 0x4A},     {"Keypad 7", 0x47},    {"Keypad 8", 0x48},    {"Keypad 9", 0x49},
    {"Keypad +", 0x4E},     {"Keypad 4", 0x4B},    {"Keypad 5", 0x4C},    {"Keypad 6", 0x4D},
    {"Keypad 1", 0x4F},     {"Keypad 2", 0x50},    {"Keypad 3", 0x51},    {"Keypad Enter", 0x11C},
    {"Keypad 0", 0x52},     {"Keypad .", 0x53},
};

namespace {

constexpr int scan_code_count = 512;

struct fixed_name {
    const char* name;
    int code;
};
constexpr fixed_name fixed_names[] = {
    {"Close", 0xdead},
    {"Mouse Left", 0x2000},
    {"Mouse Middle", 0x2001},
    {"Mouse Right", 0x2002},
};

// The system's names by scan code, gathered once; "" where it has none.
// A name an earlier code already has is left out, so that every name
// stands for one code.
std::array<const char*, scan_code_count> g_system_names;
bool g_system_names_ready = false;

std::vector<std::pair<std::string, std::string>> g_aliases;

void gather_system_names() {
    const input_device_driver* b = current_input_device_driver();
    for (int n = 0; n < scan_code_count; n++) {
        const char* name = b && b->system_key_name ? b->system_key_name(n) : nullptr;
        g_system_names[(size_t)n] = "";
        if (!name || !*name) continue;
        bool taken = false;
        for (int m = 0; m < n && !taken; m++) taken = strcmp(g_system_names[(size_t)m], name) == 0;
        if (!taken) g_system_names[(size_t)n] = intern_string(name);
    }
    g_system_names_ready = true;
}

const char* system_name(int n) {
    if (!g_system_names_ready) gather_system_names();
    return g_system_names[(size_t)n];
}

char fold(char c) { return c == '_' ? ' ' : lower_ascii(c); }

// One pass over the three name lists with the given comparison.
template <typename Equal>
int find_named_code(const char* name, Equal equal) {
    for (const fixed_name& f : fixed_names)
        if (equal(f.name, name)) return f.code;
    for (int n = 0; n < scan_code_count; n++) {
        const char* s = system_name(n);
        // An empty system name is no name at all.
        if (*s && equal(s, name)) return 0x1000 + n;
    }
    for (const builtin_key_name& k : builtin_key_names)
        if (equal(k.name, name)) return 0x1000 + k.scan_code;
    return -1;
}

}  // namespace

bool loose_name_equal(const char* a, const char* b) {
    for (;; a++, b++) {
        if (fold(*a) != fold(*b)) return false;
        if (!*a) return true;
    }
}

void reload_system_key_names() { g_system_names_ready = false; }

bool add_alias(const char* name, const char* replacement) {
    if (!name || !replacement) return false;
    for (const auto& a : g_aliases) {
        if (a.first == name) {
            log_printf("Second alias for '%s' ('%s') ignored\n", name, replacement);
            return false;
        }
    }
    g_aliases.emplace_back(name, replacement);
    return true;
}

const char* resolve_alias(const char* name) {
    if (!name) return name;
    for (const auto& a : g_aliases)
        if (a.first == name) return a.second.c_str();
    return name;
}

void clear_aliases() { g_aliases.clear(); }

int key_code_for_name(plix_window*, const char* name) {
    if (!name) return -1;
    const char* n = resolve_alias(name);
    int code = find_named_code(n, [](const char* a, const char* b) { return strcmp(a, b) == 0; });
    if (code >= 0) return code;
    code = find_named_code(n, loose_name_equal);
    if (code >= 0) return code;
    unsigned value = 0;
    if (sscanf(n, "0x%x", &value) == 1 && value <= 511) return 0x1000 + (int)value;
    return device_button_code(n);
}

const char* key_name_for_code(plix_window*, int code) {
    for (const fixed_name& f : fixed_names)
        if (f.code == code) return f.name;
    if (code >= 0x1000 && code < 0x1000 + scan_code_count) {
        int n = code - 0x1000;
        const char* s = system_name(n);
        if (*s) return s;
        for (const builtin_key_name& k : builtin_key_names)
            if (k.scan_code == n) return k.name;
        return intern_string(format_string("0x%x", n).c_str());
    }
    if (code >= 0x10000) return device_button_name(code);
    return nullptr;
}
