// The console: a submitted input line is a command when it begins with "/"
// or "\", chat for the race server otherwise. Every reply goes through the
// message output, so it is shown on screen and logged.
#pragma once

#include <array>
#include <string>

// Longest line taken; anything beyond is cut before it is looked at.
constexpr size_t console_line_limit = 1023;
// A chat line within this many seconds of the last one is refused.
constexpr double chat_flood_seconds = 2;

// What the console reads from the layer above it: the frame loop's
// frame-time histogram (eight buckets, 128 down to 1 frames per second).
// Left null, "fpshist" says it is not available.
struct console_driver {
    std::array<int, 8>* (*frame_histogram)() = nullptr;
};
extern console_driver console_parts;

// Runs one line; true when it was handled (the input line then clears it
// and keeps it in the history), false when it stays in the input.
bool console_submit(const std::string& line);

// Everything back to the start of the run: key frames, keycam mode, the
// chat clock and the telemetry points.
void console_init();
void console_free();
