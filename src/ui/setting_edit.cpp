#include "ui/setting_edit.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "platform/input.h"

namespace {

constexpr int pc_key(int scan_code) { return (int)event_key_base + scan_code; }
constexpr int slider_grace_pixels = 15;

const edit_key_codes builtin_keys{pc_key(0x148), pc_key(0x150), pc_key(0x14b),        pc_key(0x14d), pc_key(0x1c),
                                  pc_key(0x11c), (int)event_mouse_left, pc_key(0x149), pc_key(0x151)};

char lower(char c) { return (char)std::tolower((unsigned char)c); }

// Where `needle` last occurs in `hay`, ignoring letter case; npos when not.
size_t find_last_folded(const std::string& hay, const std::string& needle) {
    if (needle.empty() || needle.size() > hay.size()) return std::string::npos;
    for (size_t at = hay.size() - needle.size() + 1; at-- > 0;) {
        size_t k = 0;
        while (k < needle.size() && lower(hay[at + k]) == lower(needle[k])) k++;
        if (k == needle.size()) return at;
    }
    return std::string::npos;
}

bool item_holds(const setting& s, int index, const std::string& text) {
    const char* item = s.items->items[index];
    return item && find_last_folded(item, text) != std::string::npos;
}

// From `start` onwards with wrap-around, the first item holding the search
// text; each item tried once. -1 when none does.
int find_from(const setting& s, int start, const std::string& text) {
    int n = s.items->count;
    for (int k = 0; k < n; k++) {
        int i = ((start + k) % n + n) % n;
        if (item_holds(s, i, text)) return i;
    }
    return -1;
}

bool select_item(const setting& s, int index) {
    if (*s.integer == index) return false;
    *s.integer = index;
    return true;
}

}  // namespace

edit_key_codes edit_keys = builtin_keys;
choice_search search_state;

void resolve_edit_keys() {
    auto take = [](navigation_key key, int fallback) {
        int code = navigation_key_code(key);
        return code >= 0 ? code : fallback;
    };
    edit_keys.up = take(nav_up, builtin_keys.up);
    edit_keys.down = take(nav_down, builtin_keys.down);
    edit_keys.left = take(nav_left, builtin_keys.left);
    edit_keys.right = take(nav_right, builtin_keys.right);
    edit_keys.enter = take(nav_enter, builtin_keys.enter);
    edit_keys.keypad_enter = take(nav_keypad_enter, builtin_keys.keypad_enter);
    edit_keys.cursor_left = take(nav_cursor_left, builtin_keys.cursor_left);
    edit_keys.page_up = take(nav_page_up, builtin_keys.page_up);
    edit_keys.page_down = take(nav_page_down, builtin_keys.page_down);
}

bool is_activation(int code, bool pointer_inside) {
    return code == edit_keys.enter || code == edit_keys.keypad_enter || code == key_blank ||
           (code == edit_keys.cursor_left && pointer_inside);
}

// ---- choices ----------------------------------------------------------------------

bool choice_key(const setting& s, int code, bool pointer_inside) {
    if (!s.integer || !s.items || s.items->count <= 0) return false;
    choice_search& search = search_state;
    if (search.owner != &s) {
        search.owner = &s;
        search.text.clear();
    }
    const int n = s.items->count;
    const int selected = std::clamp(*s.integer, 0, n - 1);
    if (code == key_backspace) {
        search.text.clear();
        return false;
    }
    if (code == key_tab) {
        int found = find_from(s, selected + 1, search.text);
        return found >= 0 && select_item(s, found);
    }
    if (code > key_blank && code < 256 && code != key_delete) {
        if (search.text.size() >= search_text_limit) return false;
        search.text.push_back((char)code);
        int found = find_from(s, selected, search.text);
        if (found < 0) {
            search.text.pop_back();
            return false;
        }
        return select_item(s, found);
    }
    if (is_activation(code, pointer_inside) || code == edit_keys.right) {
        search.text.clear();
        return select_item(s, (selected + 1) % n);
    }
    if (code == edit_keys.left) {
        search.text.clear();
        return select_item(s, (selected + n - 1) % n);
    }
    return false;
}

std::string choice_value_text(const setting& s) {
    std::string value = choice_text(s);
    if (search_state.owner != &s || search_state.text.empty()) return value;
    size_t at = find_last_folded(value, search_state.text);
    if (at == std::string::npos) return value;
    return value.substr(0, at) + "\033[31m" + value.substr(at, search_state.text.size()) + "\033[0m" +
           value.substr(at + search_state.text.size());
}

// ---- numbers ----------------------------------------------------------------------

bool slider_value(double x, double x0, double x1, const setting& s, double& value) {
    if (!(x1 > x0) || !(s.step > 0) || !(s.maximum >= s.minimum)) return false;
    double v = std::floor((x - x0) / (x1 - x0) * (s.maximum - s.minimum) / s.step + 0.5) * s.step + s.minimum;
    if (!std::isfinite(v)) return false;
    value = std::clamp(v, s.minimum, s.maximum);
    return true;
}

bool number_key(const setting& s, int code, bool pointer_inside, int pointer_x, int slider_x0, int slider_x1) {
    if (!s.real) return false;
    const double before = *s.real;
    if (code == edit_keys.left) {
        set_number(s, before - s.step);
    } else if (code == edit_keys.right) {
        set_number(s, before + s.step);
    } else if ((code == edit_keys.cursor_left || code == 16) && pointer_inside &&
               pointer_x >= slider_x0 - slider_grace_pixels && pointer_x <= slider_x1 + slider_grace_pixels) {
        double v;
        if (slider_value(pointer_x, slider_x0, slider_x1, s, v)) set_number(s, v);
    }
    return *s.real != before;
}

std::string number_value_text(const setting& s) {
    char text[64];
    snprintf(text, sizeof text, "%.2f", s.real ? *s.real : 0.0);
    return text;
}

double number_fill(const setting& s) {
    if (!s.real || !(s.maximum > s.minimum)) return 0;
    double f = (*s.real - s.minimum) / (s.maximum - s.minimum);
    return std::isfinite(f) ? std::clamp(f, 0.0, 1.0) : 0;
}

// ---- text fields -------------------------------------------------------------------

void clamp_text_cursor(const std::string& text, text_field_state& field) {
    field.cursor = std::min(field.cursor, text.size());
}

bool text_field_key(std::string& text, size_t limit, text_field_state& field, int code) {
    clamp_text_cursor(text, field);
    size_t& at = field.cursor;
    if (code == edit_keys.left) {
        if (at > 0) at--;
        return false;
    }
    if (code == edit_keys.right) {
        if (at < text.size()) at++;
        return false;
    }
    if (code == key_backspace) {
        if (at == 0) return false;
        text.erase(--at, 1);
        return true;
    }
    if (code == key_delete) {
        if (at >= text.size()) return false;
        text.erase(at, 1);
        return true;
    }
    if (code < key_blank || code > 255) return false;
    if (at >= limit) return false;
    char c = (char)code;
    if (field.insert) {
        text.insert(at, 1, c);
        if (text.size() > limit) text.resize(limit);
    } else if (at < text.size()) {
        text[at] = c;
    } else {
        text.push_back(c);
    }
    at++;
    return true;
}

// ---- bindings ----------------------------------------------------------------------

std::string binding_value_text(const binding_setting& b, bool watched) {
    if (watched) return "<<PRESS A KEY>>";
    char text[1100];
    if (b.key_name) {
        snprintf(text, sizeof text, "%.1023s", b.key_name->c_str());
        return text;
    }
    if (b.axis_name) {
        snprintf(text, sizeof text, "%.1000s %s", b.axis_name->c_str(), b.high >= 0 ? "(Positive)" : "(Negative)");
        return text;
    }
    return "None";
}
