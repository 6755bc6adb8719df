#include "core/text.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

char* copy_truncated(char* dst, size_t size, const char* src) {
    if (!size) return dst;
    size_t n = src ? strnlen(src, size - 1) : 0;
    if (n) memcpy(dst, src, n);
    dst[n] = 0;
    return dst;
}

std::string truncated(std::string_view text, size_t max_chars) {
    return std::string(text.substr(0, std::min(text.size(), max_chars)));
}

int format_to(char* dst, size_t size, const char* format, ...) {
    if (!size) return 0;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(dst, size, format, args);
    va_end(args);
    if (n < 0) {
        dst[0] = 0;
        return 0;
    }
    return n < (int)size ? n : (int)size - 1;
}

std::string format_string(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize((size_t)n + 1);
        vsnprintf(out.data(), out.size(), format, args);
        out.resize((size_t)n);
    }
    va_end(args);
    return out;
}

int compare_nocase(std::string_view a, std::string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; i++) {
        unsigned char x = (unsigned char)lower_ascii(a[i]), y = (unsigned char)lower_ascii(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool equal_nocase(std::string_view a, std::string_view b) { return a.size() == b.size() && compare_nocase(a, b) == 0; }

bool ends_with_nocase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && equal_nocase(text.substr(text.size() - suffix.size()), suffix);
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

double parse_double_c(const char* text, char** end) {
    static locale_t c_locale = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    return strtod_l(text, end, c_locale);
}
