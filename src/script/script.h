// The track script: one JavaScript heap per race, running the track's
// "frills.js" with the global `kv` (the natives of script_natives.cpp and the
// prelude). Scripts are untrusted: every entry into the interpreter is a
// protected call with a time budget, and the heap's memory is capped. A
// script that runs out of time or memory is stopped and its heap dropped;
// the race goes on without it.
#pragma once

#include <cstddef>

struct script_limits {
    double load_seconds = 1.0;      // the prelude and the script's own text, each
    double handler_seconds = 0.1;   // one handler or named call
    size_t heap_bytes = 32u << 20;  // everything the interpreter allocates
    size_t file_bytes = 1u << 20;   // longest "frills.js" read
};
extern script_limits script_budget;

// Releases the previous heap, then runs the named file when it exists; no
// file, no heap. Errors while loading are reported ("javascript error: ...")
// and loading carries on. True when a heap exists afterwards.
bool script_load(const char* name);
// The same for script text already in memory (tests, the fuzz target).
bool script_load_text(const char* text, size_t length);
// Once per drawn frame and once per tic: kv.frame_handler_ / kv.tic_handler_
// with the script time in tics as decimal text. Errors are not reported.
void script_frame();
void script_tic();
// Calls the dotted name with text arguments; the function's result as a
// number (0 when not a number). On failure `ok` is false and script_error()
// says why ("can't find ...", "... is not a function", the exception).
double script_call(const char* name, const char* const* args, int count, bool* ok = nullptr);
void script_release();
bool script_active();
// The last error text (at most 1023 characters).
const char* script_error();
// Why the last heap was dropped: 0 not dropped, else one of these.
constexpr int script_stopped_time = 1;
constexpr int script_stopped_memory = 2;
constexpr int script_stopped_fatal = 3;
int script_stop_reason();
// Bytes the current heap holds.
size_t script_heap_bytes();
