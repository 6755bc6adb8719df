// A C scanf engine over a byte stream with one byte of look-ahead, shared by
// every text loader and the settings. It follows the C library's rules:
// whitespace directives, literals, "%%", widths, "*", length modifiers,
// d i o u x X f e g a s c [ n p.
#include "core/scan.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#include <string>

namespace {

// The source's window with its refill: one indirect call per window, not per
// byte, so long files scan at the speed of a string.
struct window_source {
    scan_source& s;
    int peek() {
        if (s.pos < s.len) return s.data[s.pos];
        if (!s.refill || !s.refill(s) || s.pos >= s.len) return -1;
        return s.data[s.pos];
    }
    void advance() {
        s.pos++;
        s.taken++;
    }
};

locale_t c_locale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    return loc;
}

inline bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int digit_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

enum length_mod { len_none, len_hh, len_h, len_l, len_ll, len_L, len_j, len_z, len_t };

// Reads the characters of a number into `text` (at most `width`), following
// the longest prefix of a valid number; returns the characters taken.
template <typename Src>
struct collector {
    Src& src;
    size_t& count;
    int width;
    // The whole number, however long: a value with hundreds of leading
    // zeros is still the value of its last digits.
    std::string text;
    collector(Src& s, size_t& c, int w) : src(s), count(c), width(w) {}
    int peek() { return width > 0 ? src.peek() : -1; }
    void take() {
        int c = src.peek();
        text.push_back((char)c);
        src.advance();
        count++;
        width--;
    }
    bool take_if(const char* set) {
        int c = peek();
        // A NUL byte is data, not the end of `set`.
        if (c > 0 && strchr(set, c)) {
            take();
            return true;
        }
        return false;
    }
    bool take_word(const char* lower) {
        // Case-insensitive; stops at the first mismatch having consumed the prefix.
        for (const char* w = lower; *w; w++) {
            int c = peek();
            if (c < 0 || tolower(c) != *w) return false;
            take();
        }
        return true;
    }
};

template <typename Src>
int scan(Src& src, const char* format, va_list ap) {
    size_t count = 0;  // characters consumed, for %n
    int stored = 0;
    // Running out of input before anything was stored is -1, as in the C library.
    auto input_failure = [&]() { return stored ? stored : -1; };

    for (const char* fp = format; *fp;) {
        unsigned char fc = (unsigned char)*fp;
        if (is_space(fc)) {
            while (is_space((unsigned char)*fp)) fp++;
            while (is_space(src.peek())) {
                src.advance();
                count++;
            }
            continue;
        }
        if (fc != '%' || fp[1] == '%') {
            if (fc == '%') {
                fp++;
                // "%%" skips leading white space like a conversion.
                while (is_space(src.peek())) {
                    src.advance();
                    count++;
                }
            }
            int c = src.peek();
            if (c < 0) return input_failure();
            if (c != (unsigned char)*fp) return stored;
            src.advance();
            count++;
            fp++;
            continue;
        }

        fp++;
        bool suppress = false;
        if (*fp == '*') {
            suppress = true;
            fp++;
        }
        int width = 0;
        while (*fp >= '0' && *fp <= '9') {
            width = width * 10 + (*fp - '0');
            if (width > 100000000) width = 100000000;
            fp++;
        }
        length_mod lm = len_none;
        switch (*fp) {
            case 'h':
                fp++;
                lm = len_h;
                if (*fp == 'h') {
                    fp++;
                    lm = len_hh;
                }
                break;
            case 'l':
                fp++;
                lm = len_l;
                if (*fp == 'l') {
                    fp++;
                    lm = len_ll;
                }
                break;
            case 'q':
            case 'L':
                fp++;
                lm = len_L;
                break;
            case 'j':
                fp++;
                lm = len_j;
                break;
            case 'z':
                fp++;
                lm = len_z;
                break;
            case 't':
                fp++;
                lm = len_t;
                break;
            default:
                break;
        }
        char conv = *fp;
        if (!conv) return stored;
        fp++;

        if (conv == 'n') {
            if (!suppress) {
                switch (lm) {
                    case len_hh: *va_arg(ap, signed char*) = (signed char)count; break;
                    case len_h: *va_arg(ap, short*) = (short)count; break;
                    case len_l: *va_arg(ap, long*) = (long)count; break;
                    case len_ll:
                    case len_L:
                    case len_j: *va_arg(ap, long long*) = (long long)count; break;
                    case len_z:
                    case len_t: *va_arg(ap, size_t*) = count; break;
                    default: *va_arg(ap, int*) = (int)count; break;
                }
            }
            continue;
        }

        if (conv != 'c' && conv != '[') {
            while (is_space(src.peek())) {
                src.advance();
                count++;
            }
        }
        if (src.peek() < 0) return input_failure();

        switch (conv) {
            case 'c': {
                if (width == 0) width = 1;
                char* out = suppress ? nullptr : va_arg(ap, char*);
                int got = 0;
                while (got < width && src.peek() >= 0) {
                    if (out) out[got] = (char)src.peek();
                    src.advance();
                    count++;
                    got++;
                }
                if (!suppress) stored++;
                break;
            }
            case 's':
            case '[': {
                bool set[256] = {};
                if (conv == '[') {
                    bool negate = false;
                    if (*fp == '^') {
                        negate = true;
                        fp++;
                    }
                    if (*fp == ']') {
                        set[(unsigned char)']'] = true;
                        fp++;
                    }
                    while (*fp && *fp != ']') {
                        unsigned char a = (unsigned char)*fp;
                        if (fp[1] == '-' && fp[2] && fp[2] != ']') {
                            unsigned char b = (unsigned char)fp[2];
                            if (a <= b) {
                                for (int c = a; c <= b; c++) set[c] = true;
                            } else {
                                set[a] = set[(unsigned char)'-'] = set[b] = true;
                            }
                            fp += 3;
                            continue;
                        }
                        set[a] = true;
                        fp++;
                    }
                    if (*fp != ']') return stored;  // unterminated scan set
                    fp++;
                    if (negate)
                        for (bool& b : set) b = !b;
                } else {
                    for (int c = 0; c < 256; c++) set[c] = !is_space(c);
                }
                if (width == 0) width = INT_MAX;
                char* out = suppress ? nullptr : va_arg(ap, char*);
                int got = 0;
                for (int c; got < width && (c = src.peek()) >= 0 && set[c]; got++) {
                    if (out) out[got] = (char)c;
                    src.advance();
                    count++;
                }
                if (got == 0) return stored;
                if (out) out[got] = 0;
                if (!suppress) stored++;
                break;
            }
            case 'd':
            case 'i':
            case 'o':
            case 'u':
            case 'x':
            case 'X':
            case 'p': {
                collector<Src> col{src, count, width ? width : INT_MAX};
                int base = conv == 'o' ? 8 : (conv == 'x' || conv == 'X' || conv == 'p') ? 16 : conv == 'i' ? 0 : 10;
                col.take_if("+-");
                if (base == 16 || base == 0) {
                    if (col.peek() == '0') {
                        col.take();
                        if (col.take_if("xX")) {
                            base = 16;
                        } else if (base == 0) {
                            base = 8;
                        }
                        // A lone "0" (or "0x" without digits) is the value 0.
                    } else if (base == 0) {
                        base = 10;
                    }
                }
                int digits = 0;
                while (digit_value(col.peek()) < base) {
                    col.take();
                    digits++;
                }
                bool had_zero = false;
                for (char k : col.text)
                    if (k == '0') had_zero = true;
                if (digits == 0 && !had_zero) return stored;
                if (!suppress) {
                    bool is_signed = conv == 'd' || conv == 'i';
                    // The leading "0x" prefix of a digitless "0x" is not a number.
                    const char* t = col.text.c_str();
                    unsigned long long uv;
                    long long sv;
                    if (is_signed) {
                        sv = strtoll(t, nullptr, base);
                        uv = (unsigned long long)sv;
                    } else {
                        uv = strtoull(t, nullptr, base);
                        sv = (long long)uv;
                    }
                    if (conv == 'p') {
                        *va_arg(ap, void**) = (void*)(uintptr_t)uv;
                    } else {
                        switch (lm) {
                            case len_hh: *va_arg(ap, signed char*) = (signed char)sv; break;
                            case len_h: *va_arg(ap, short*) = (short)sv; break;
                            case len_l: *va_arg(ap, long*) = (long)sv; break;
                            case len_ll:
                            case len_L:
                            case len_j: *va_arg(ap, long long*) = sv; break;
                            case len_z:
                            case len_t: *va_arg(ap, size_t*) = (size_t)uv; break;
                            default:
                                // Out-of-range values wrap as the C library's do.
                                if (is_signed)
                                    *va_arg(ap, int*) = (int)(long)sv;
                                else
                                    *va_arg(ap, unsigned*) = (unsigned)(unsigned long)uv;
                                break;
                        }
                    }
                    stored++;
                }
                break;
            }
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G':
            case 'a':
            case 'A': {
                collector<Src> col{src, count, width ? width : INT_MAX};
                col.take_if("+-");
                bool ok = false;
                int c = col.peek();
                if (c == 'n' || c == 'N') {
                    // The C library takes no "(chars)" payload after "nan".
                    ok = col.take_word("nan");
                } else if (c == 'i' || c == 'I') {
                    if (col.take_word("inf")) {
                        ok = true;
                        int p = col.peek();
                        if (p == 'i' || p == 'I') ok = col.take_word("inity");
                    }
                } else {
                    bool hex = false, dot = false;
                    int digits = 0;
                    if (col.peek() == '0') {
                        col.take();
                        digits++;
                        if (col.take_if("xX")) {
                            hex = true;
                            digits = 0;
                        }
                    }
                    int limit = hex ? 16 : 10;
                    for (;;) {
                        int d = col.peek();
                        if (digit_value(d) < limit) {
                            col.take();
                            digits++;
                        } else if (d == '.' && !dot) {
                            col.take();
                            dot = true;
                        } else {
                            break;
                        }
                    }
                    // An exponent needs a digit before it; "1e" and "1e+" still read as 1.
                    if (digits > 0 && col.take_if(hex ? "pP" : "eE")) {
                        col.take_if("+-");
                        while (digit_value(col.peek()) < 10) col.take();
                    }
                    // A hexadecimal number fails only as a bare "0x" (as the C library does).
                    ok = hex ? (digits > 0 || dot) : digits > 0;
                }
                if (!ok) return stored;
                if (!suppress) {
                    if (lm == len_L) {
                        *va_arg(ap, long double*) = strtold_l(col.text.c_str(), nullptr, c_locale());
                    } else if (lm == len_l || lm == len_ll) {
                        *va_arg(ap, double*) = strtod_l(col.text.c_str(), nullptr, c_locale());
                    } else {
                        *va_arg(ap, float*) = strtof_l(col.text.c_str(), nullptr, c_locale());
                    }
                    stored++;
                }
                break;
            }
            default:
                return stored;  // unknown conversion
        }
    }
    return stored;
}

}  // namespace

int scan_vformat(scan_source& source, const char* format, va_list args) {
    window_source src{source};
    return scan(src, format, args);
}

int string_scanf(const char* text, size_t length, size_t* consumed, const char* format, ...) {
    scan_source source;
    source.data = (const unsigned char*)text;
    source.len = length;
    va_list args;
    va_start(args, format);
    int n = scan_vformat(source, format, args);
    va_end(args);
    if (consumed) *consumed = source.pos;
    return n;
}
