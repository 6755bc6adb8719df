// The scanf engine every text reader shares: the C library's rules over a
// string or any byte stream, always in the "C" numeric locale.
#pragma once

#include <cstdarg>
#include <cstddef>

// A byte stream as the engine reads it: a window of bytes with a read
// position, and a refill that moves the window on once it is used up.
struct scan_source {
    const unsigned char* data = nullptr;
    size_t pos = 0, len = 0;
    size_t taken = 0;  // bytes consumed, counted across refills
    // Called when pos has reached len: sets a new window; false at the end.
    // Null for a source that is all in one window.
    bool (*refill)(scan_source& source) = nullptr;
    void* owner = nullptr;
};

int scan_vformat(scan_source& source, const char* format, va_list args);
// The engine over a string; `consumed` (when given) receives the number of
// bytes taken.
int string_scanf(const char* text, size_t length, size_t* consumed, const char* format, ...);
