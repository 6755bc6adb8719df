// Text track files read line by line: whole lines however long, and scanf
// over one of them.
#pragma once

#include <string>

#include "core/scan.h"
#include "vfs/vfs.h"

// The next line without its "\n"; false at the end of the file.
inline bool read_whole_line(vfs_file* f, std::string& line) {
    line.clear();
    int c = vfs_getc(f);
    if (c == EOF) return false;
    for (; c != EOF && c != '\n'; c = vfs_getc(f)) line += (char)c;
    return true;
}

template <typename... T>
int scan_line(const std::string& text, const char* format, T... out) {
    return string_scanf(text.c_str(), text.size(), nullptr, format, out...);
}
