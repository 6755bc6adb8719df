// Small text helpers: exact truncation into fixed buffers, bounded formatting
// and case-insensitive comparison in the "C" locale.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Copies at most size-1 bytes of src into dst and terminates it; returns dst.
char* copy_truncated(char* dst, size_t size, const char* src);
// The first `max_chars` characters of text (the "%.Ns" rule) as a string.
std::string truncated(std::string_view text, size_t max_chars);
// snprintf into a fixed buffer; returns the number of bytes written.
int format_to(char* dst, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
std::string format_string(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Byte-wise comparison after tolower in the "C" locale.
int compare_nocase(std::string_view a, std::string_view b);
bool equal_nocase(std::string_view a, std::string_view b);
bool ends_with_nocase(std::string_view text, std::string_view suffix);
bool starts_with(std::string_view text, std::string_view prefix);
inline char lower_ascii(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c; }
// Numbers written and read in the "C" locale whatever the process locale.
double parse_double_c(const char* text, char** end);
