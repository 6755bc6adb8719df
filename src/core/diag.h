// Diagnostics: the log file, on-screen message output, platform options from
// PLIX_OPTIONS, checked allocation and the one fatal out-of-memory path.
#pragma once

#include <cstdarg>
#include <cstddef>

// ---- log ---------------------------------------------------------------
// printf-style line to the log file; a null format closes the log.
void log_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log_vprintf(const char* format, va_list args);
// Logs "Error: %s\n" and remembers the text as the last error.
void log_error(const char* text);
const char* last_error();
// Whether a log file is open right now.
bool log_is_open();

// ---- message output ----------------------------------------------------
constexpr int message_history_lines = 1000;
constexpr int message_line_bytes = 256;

struct message_history {
    char lines[message_history_lines][message_line_bytes];
    int next;          // slot the next message goes to
    int shown;         // lines currently on screen
    double expiry;     // total_clock at which the oldest shown line goes
    bool hide_spam;    // drop "[SPAM]" lines entirely
};
extern message_history messages;
// Most message lines shown at once (configuration "message_lines").
extern int message_lines;

// Puts a line on screen (the HUD's message list) and into the log.
void show_message(const char* text);
void show_messagef(const char* format, ...) __attribute__((format(printf, 1, 2)));
void clear_message_history();
// The shown-line limit as used: message_lines clamped to 0..1000.
int message_lines_limit();
// The frame loop's per-frame expiry: hides one line once `now` has passed the
// expiry time, and schedules the next removal 5 s later.
void expire_messages(double now);
// The message `age` steps back from the newest (0 = newest), or "" when the
// ring holds no such line.
const char* message_line(int age);

// ---- the stutter report (console "reportstutter") ------------------------------
// 0: off. Otherwise a gap longer than this many seconds between two
// checkpoints of the frame loop (or of the frame drawing's steps) is shown.
extern double stutter_threshold;
// A named point of the frame: "Stutter in %s - %f seconds" when the previous
// checkpoint lies further back than the threshold.
void checkpoint(const char* name);
// Threshold off, no previous checkpoint.
void reset_stutter_report();

// ---- options (PLIX_OPTIONS) ------------------------------------------------
int option_flag(const char* name, int default_value);
int option_int(const char* name, int default_value);
// Reads PLIX_OPTIONS again (it is otherwise read once); for tests.
void options_reload();

// ---- checked allocation ----------------------------------------------------
void* checked_malloc(size_t size);
void* checked_calloc(size_t count, size_t size);
void* checked_realloc(void* block, size_t size);
void checked_free(void* block);
// checked_malloc that never returns null.
void* must_malloc(size_t size);
// The one shared copy of `text`; entries live for the whole run.
const char* intern_string(const char* text);
// Prints every allocation still recorded as "%p:%d\n" to standard error.
void report_live_allocations();
// Number of allocations currently recorded (0 unless checking is on).
int live_allocation_count();
// Decides again from KV_CHECK_ALLOC whether checking is on and forgets the
// table; for tests.
void checked_alloc_reset();

// ---- dialogs and the fatal path ----------------------------------------------
// Formats into 1023 characters, always writes "title: text" to standard error,
// and shows a modal message box unless QUARNIX_NO_DIALOG is set.
void error_dialog(const char* title, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The message box itself sits above core: the game sets the platform's here.
using dialog_function = void (*)(const char* title, const char* text);
void set_dialog_function(dialog_function fn);
// Owners of the audio device and the window register how to close them on the
// fatal path; hooks run newest first.
using fatal_hook = void (*)();
void add_fatal_hook(fatal_hook hook);
void remove_fatal_hook(fatal_hook hook);
// Closes audio and window, shows "Error" / "Out of virtual memory", exits 1.
[[noreturn]] void fatal_out_of_memory();
// Routes operator new failures to fatal_out_of_memory.
void install_new_handler();
