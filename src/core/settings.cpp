#include "core/settings.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/scan.h"
#include "core/text.h"

bool parse_config_int(const char* text, int& out) {
    int v = 0;
    if (string_scanf(text, strlen(text), nullptr, "%d", &v) != 1) return false;
    out = v;
    return true;
}

bool parse_config_real(const char* text, double& out) {
    double v = 0;
    if (string_scanf(text, strlen(text), nullptr, "%lf", &v) != 1) return false;
    // "nan" and "inf" would poison every range check downstream.
    if (!std::isfinite(v)) return false;
    out = v;
    return true;
}

int find_item(const item_list& items, const char* text) {
    for (int i = 0; i < items.count; i++)
        if (strcmp(items.items[i], text) == 0) return i;
    return -1;
}

const char* choice_text(const setting& s) {
    if (!s.items || !s.integer) return "";
    int i = *s.integer;
    if (i < 0 || i >= s.items->count) return "";
    return s.items->items[i];
}

void set_number(const setting& s, double value) {
    if (!s.real || !std::isfinite(value)) return;
    *s.real = std::clamp(value, s.minimum, s.maximum);
}

void parse_binding(binding_setting& b, const char* value) {
    while (*value == ' ' || *value == '\t') value++;
    b.key_name.reset();
    b.axis_name.reset();
    b.key_code = -1;
    b.low = 0;
    b.high = 1;
    const char* close = value[0] == '(' ? strchr(value, ')') : nullptr;
    float low = 0, high = 0;
    if (close && string_scanf(value, strlen(value), nullptr, "(%f,%f)", &low, &high) == 2 &&
        std::isfinite(low) && std::isfinite(high)) {
        b.low = low;
        b.high = high;
        b.axis_name = std::string(close + 1);
        return;
    }
    if (strncmp(value, "(k)", 3) == 0) value += 3;
    b.key_name = std::string(value);
}

bool read_setting_plain(const setting& s, const char* value) {
    switch (s.kind) {
        case setting_kind::plain_int:
            return s.integer && parse_config_int(value, *s.integer);
        case setting_kind::plain_float:
        case setting_kind::number: {
            double v;
            if (!s.real || !parse_config_real(value, v)) return false;
            set_number(s, v);
            return true;
        }
        case setting_kind::choice: {
            if (!s.items || !s.integer) return false;
            int i = find_item(*s.items, value);
            if (i < 0) return false;
            *s.integer = i;
            return true;
        }
        case setting_kind::text: {
            if (!s.text) return false;
            size_t n = strlen(value);
            if (n > s.max_length) {
                if (s.reject_long) return false;
                n = s.max_length;
            }
            s.text->assign(value, n);
            return true;
        }
        case setting_kind::binding:
            if (!s.binding) return false;
            parse_binding(*s.binding, value);
            return true;
        case setting_kind::ignored:
            return true;
    }
    return false;
}

bool read_setting(const setting& s, const char* value) {
    if (s.read) return s.read(s, value);
    return read_setting_plain(s, value);
}

std::optional<std::string> setting_text(const setting& s) {
    switch (s.kind) {
        case setting_kind::plain_int:
            if (!s.integer) return std::nullopt;
            return format_string("%d", *s.integer);
        case setting_kind::plain_float:
        case setting_kind::number:
            if (!s.real) return std::nullopt;
            return format_string("%f", *s.real);
        case setting_kind::choice:
            return std::string(choice_text(s));
        case setting_kind::text:
            if (!s.text) return std::nullopt;
            return *s.text;
        case setting_kind::binding: {
            if (!s.binding) return std::nullopt;
            const binding_setting& b = *s.binding;
            if (b.key_name) return "(k)" + *b.key_name;
            if (b.axis_name) return format_string("(%f,%f)", (double)b.low, (double)b.high) + *b.axis_name;
            return std::nullopt;
        }
        case setting_kind::ignored:
            return std::nullopt;
    }
    return std::nullopt;
}
