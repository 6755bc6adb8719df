// Typed setting records. The configuration file stores them by key, the menus
// show and edit them by label, the input layer resolves the bindings. Every
// record points at the variable it stores into, so the same variables serve
// the configuration, the bike setups and the code that uses them.
#pragma once

#include <optional>
#include <string>

struct axis_reader;  // an open input axis (input layer)

enum class setting_kind : unsigned char {
    plain_int,    // "%d", no range
    plain_float,  // "%f", clamped into [minimum, maximum]
    number,       // "%f", clamped into [minimum, maximum]; labelled, with a menu step
    choice,       // the selected item's text
    text,         // truncated to max_length (or refused when longer, see reject_long)
    binding,      // "(k)name" or "(low,high)axis"
    ignored,      // accepted when read, never written
};

// The items of a choice, in index order.
struct item_list {
    const char* const* items = nullptr;
    int count = 0;
};

// A control or key binding: at most one of key name and axis name is set.
struct binding_setting {
    std::optional<std::string> key_name;
    int key_code = -1;  // resolved from key_name by the input layer; -1 = none
    std::optional<std::string> axis_name;
    axis_reader* axis = nullptr;  // opened from axis_name by the input layer
    float low = 0, high = 1;      // axis range
    double value = 0;             // current value 0..1
};

struct setting {
    const char* key = nullptr;
    setting_kind kind = setting_kind::ignored;
    // Storage: exactly one of these is set, by kind (a choice stores its item
    // index in `integer`).
    int* integer = nullptr;
    double* real = nullptr;
    std::string* text = nullptr;
    binding_setting* binding = nullptr;

    const char* label = nullptr;  // menu label (null for plain values)
    double minimum = 0, maximum = 0, step = 0;
    const item_list* items = nullptr;
    size_t max_length = 0;
    bool reject_long = false;  // a longer text is ignored instead of truncated
    bool setup = false;        // one of the bike-setup keys
    // Replaces the kind's reading rule (legacy names, follow-up work).
    bool (*read)(const setting& s, const char* value) = nullptr;
};

// Applies a value read from a file by the record's rules; returns whether it
// was taken. Unparsable and non-finite numbers, unknown choice items and
// over-long refused texts leave the value unchanged.
bool read_setting(const setting& s, const char* value);
// The kind's own rule, without the record's `read` override.
bool read_setting_plain(const setting& s, const char* value);
// The text written to a file after "key="; nullopt when the record is not
// written (ignored keys, a binding with neither key nor axis).
std::optional<std::string> setting_text(const setting& s);

// Sets a number (or plain float) clamped into its range.
void set_number(const setting& s, double value);
// The selected item's text of a choice ("" when the index is outside the list).
const char* choice_text(const setting& s);
// The index of the item whose text equals `text` exactly, or -1.
int find_item(const item_list& items, const char* text);
// Parses a binding value: "(low,high)axis" or a key name with an optional
// leading "(k)". Leading blanks are skipped.
void parse_binding(binding_setting& b, const char* value);
// Numbers as the configuration reads them: "%d" / "%lf" rules with leading
// blanks; non-finite values are refused.
bool parse_config_int(const char* text, int& out);
bool parse_config_real(const char* text, double& out);
