#include "core/diag.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/clock.h"
#include "core/text.h"

// ---- log ---------------------------------------------------------------

namespace {

struct log_state {
    FILE* file = nullptr;
    bool set_up = false;
    char last_error[256] = "";
};
log_state g_log;
std::recursive_mutex g_log_mutex;

// Milliseconds since the system started; the log's time prefix.
unsigned long long system_milliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (unsigned long long)ts.tv_sec * 1000ull + (unsigned long long)ts.tv_nsec / 1000000ull;
}

void write_log_line(const char* text) {
    unsigned long long ms = system_milliseconds();
    unsigned long long cs = ms / 10;
    fprintf(g_log.file, "[%d:%02d:%02d.%02d] ", (int)(cs / 360000), (int)(cs / 6000 % 60), (int)(cs / 100 % 60),
            (int)(cs % 100));
    fputs(text, g_log.file);
    fflush(g_log.file);
}

// Opens the log named by `name` (">>name" appends) unless PLIX_LOGFILE_FLAGS
// overrides the mode.
void open_log(const char* name) {
    const char* mode = "w";
    if (name[0] == '>' && name[1] == '>') {
        mode = "a";
        name += 2;
    } else if (name[0] == '>') {
        name += 1;
    }
    const char* flags = getenv("PLIX_LOGFILE_FLAGS");
    if (flags && *flags) mode = flags;
    g_log.file = fopen(name, mode);
    if (g_log.file) {
        char line[1100];
        snprintf(line, sizeof line, "Logfile \"%s\" opened\n", name);
        write_log_line(line);
        write_log_line("PLIX 0.31\n");
    }
}

}  // namespace

void log_vprintf(const char* format, va_list args) {
    std::lock_guard<std::recursive_mutex> lock(g_log_mutex);
    if (!format) {
        if (g_log.file) fclose(g_log.file);
        g_log.file = nullptr;
        g_log.set_up = false;
        return;
    }
    char stack[2048];
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(stack, sizeof stack, format, copy);
    va_end(copy);
    std::string heap;
    const char* text = stack;
    if (n >= (int)sizeof stack) {
        heap.resize((size_t)n + 1);
        vsnprintf(heap.data(), heap.size(), format, args);
        text = heap.c_str();
    } else if (n < 0) {
        return;
    }

    // Only the program's own format names the log: a text passed through
    // ("%s" of a chat line, a server's message) that starts the same way is
    // logged like any other, so it can never open or truncate a file.
    static const char prefix[] = "PLIX_LOGFILE=";
    bool names_log = strncmp(format, prefix, sizeof prefix - 1) == 0;
    if (!g_log.set_up) {
        g_log.set_up = true;
        const char* env = getenv("PLIX_LOGFILE");
        if (env && *env)
            open_log(env);
        else if (names_log)
            open_log(text + sizeof prefix - 1);
        if (names_log) return;
    } else if (names_log) {
        // Naming the log later still works when none is open yet.
        if (!g_log.file && !(getenv("PLIX_LOGFILE") && *getenv("PLIX_LOGFILE"))) open_log(text + sizeof prefix - 1);
        return;
    }
    if (!g_log.file) return;
    if (text[0] == 19) return;  // network text messages stay out of the log
    write_log_line(text);
}

void log_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    log_vprintf(format, args);
    va_end(args);
}

void log_error(const char* text) {
    log_printf("Error: %s\n", text);
    std::lock_guard<std::recursive_mutex> lock(g_log_mutex);
    copy_truncated(g_log.last_error, sizeof g_log.last_error, text);
}

const char* last_error() { return g_log.last_error; }

bool log_is_open() { return g_log.file != nullptr; }

// ---- message output ----------------------------------------------------

message_history messages;
int message_lines = 5;

int message_lines_limit() { return std::clamp(message_lines, 0, message_history_lines); }

void clear_message_history() {
    bool hide = messages.hide_spam;
    memset(&messages, 0, sizeof messages);
    messages.hide_spam = hide;
}

void show_message(const char* text) {
    if (!text) return;
    if (messages.hide_spam && strstr(text, "[SPAM]")) return;
    size_t len = strlen(text);
    bool has_newline = len > 0 && text[len - 1] == '\n';
    size_t body = has_newline ? len - 1 : len;
    if (strchr(text, 27))
        log_printf("%.*s\033[0m\n", (int)body, text);
    else
        log_printf("%.*s\n", (int)body, text);

    char* slot = messages.lines[messages.next];
    copy_truncated(slot, message_line_bytes, text);
    messages.next = (messages.next + 1) % message_history_lines;
    messages.shown = std::min(messages.shown + 1, message_lines_limit());
    messages.expiry = total_clock + 2.0;
}

void show_messagef(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    show_message(text);
}

void expire_messages(double now) {
    int limit = message_lines_limit();
    if (messages.shown > limit) messages.shown = limit;
    if (messages.shown > 0 && now > messages.expiry) {
        messages.shown--;
        messages.expiry = now + 5.0;
    }
}

const char* message_line(int age) {
    if (age < 0 || age >= message_history_lines) return "";
    int i = ((messages.next - 1 - age) % message_history_lines + message_history_lines) % message_history_lines;
    return messages.lines[i];
}

// ---- the stutter report ---------------------------------------------------

double stutter_threshold = 0;

namespace {
double g_last_checkpoint = 0;
}  // namespace

void checkpoint(const char* name) {
    if (stutter_threshold == 0) return;
    double now = time_now();
    if (g_last_checkpoint > 0 && now - g_last_checkpoint > stutter_threshold)
        show_messagef("Stutter in %s - %f seconds", name, now - g_last_checkpoint);
    g_last_checkpoint = now;
}

void reset_stutter_report() {
    stutter_threshold = 0;
    g_last_checkpoint = 0;
}

// ---- options ------------------------------------------------------------

namespace {
std::string g_options;
bool g_options_read = false;

const char* find_option(const char* name) {
    if (!g_options_read) options_reload();
    char key[64];
    snprintf(key, sizeof key, "[%.60s:", name);
    const char* at = strstr(g_options.c_str(), key);
    return at ? at + strlen(key) : nullptr;
}
}  // namespace

void options_reload() {
    const char* env = getenv("PLIX_OPTIONS");
    g_options = env ? env : "";
    g_options_read = true;
}

int option_flag(const char* name, int default_value) {
    const char* value = find_option(name);
    if (!value) return default_value;
    if (!strncmp(value, "yes]", 4) || !strncmp(value, "on]", 3)) return 1;
    if (!strncmp(value, "no]", 3) || !strncmp(value, "off]", 4)) return 0;
    log_printf("unrecognized setting for %s\n", name);
    return default_value;
}

int option_int(const char* name, int default_value) {
    const char* value = find_option(name);
    if (!value) return default_value;
    char* end = nullptr;
    errno = 0;
    long v = strtol(value, &end, 10);
    if (end == value || *end != ']' || errno == ERANGE || v < INT_MIN || v > INT_MAX) {
        log_printf("unrecognized setting for %s\n", name);
        return default_value;
    }
    return (int)v;
}

// ---- checked allocation ---------------------------------------------------

namespace {

struct allocation_record {
    void* block;
    int serial;
    size_t size;
};

constexpr size_t max_checked_allocations = 1048576;

// The table lives in memory of its own (malloc/realloc), never in memory
// whose failure throws: running out while it grows must not enter the fatal
// path with the table's lock held, since closing audio there frees through
// this lock again.
struct alloc_state {
    bool decided = false;
    bool checking = false;
    int serial = 0;
    allocation_record* table = nullptr;
    size_t count = 0;
    size_t room = 0;
};
alloc_state g_alloc;
std::mutex g_alloc_mutex;

void decide_checking() {
    if (g_alloc.decided) return;
    g_alloc.decided = true;
    const char* env = getenv("KV_CHECK_ALLOC");
    g_alloc.checking = env && atoi(env) > 0;
}

void drop_table() {
    free(g_alloc.table);
    g_alloc.table = nullptr;
    g_alloc.count = g_alloc.room = 0;
}

void stop_checking(const char* why) {
    fputs(why, stderr);
    g_alloc.checking = false;
    drop_table();
}

void record_allocation(void* block, size_t size) {
    if (!block || !g_alloc.checking) return;
    if (g_alloc.count >= max_checked_allocations) {
        stop_checking("Too many allocations to check!\n");
        return;
    }
    if (g_alloc.count == g_alloc.room) {
        size_t room = g_alloc.room ? g_alloc.room * 2 : 1024;
        void* grown = realloc(g_alloc.table, room * sizeof(allocation_record));
        if (!grown) {
            stop_checking("Out of memory for the allocation table: allocations are no longer checked\n");
            return;
        }
        g_alloc.table = (allocation_record*)grown;
        g_alloc.room = room;
    }
    g_alloc.table[g_alloc.count++] = {block, ++g_alloc.serial, size};
}

// Removes the newest record of `block`; false when it is not recorded. The
// size it had goes to `size`.
bool forget_allocation(void* block, size_t* size = nullptr) {
    for (size_t i = g_alloc.count; i-- > 0;) {
        if (g_alloc.table[i].block == block) {
            if (size) *size = g_alloc.table[i].size;
            memmove(g_alloc.table + i, g_alloc.table + i + 1, (g_alloc.count - i - 1) * sizeof(allocation_record));
            g_alloc.count--;
            return true;
        }
    }
    return false;
}

}  // namespace

void* checked_malloc(size_t size) {
    std::lock_guard<std::mutex> lock(g_alloc_mutex);
    decide_checking();
    void* block = malloc(size ? size : 1);
    record_allocation(block, size);
    return block;
}

void* checked_calloc(size_t count, size_t size) {
    std::lock_guard<std::mutex> lock(g_alloc_mutex);
    decide_checking();
    void* block = calloc(count ? count : 1, size ? size : 1);
    record_allocation(block, count * size);
    return block;
}

void* checked_realloc(void* block, size_t size) {
    std::lock_guard<std::mutex> lock(g_alloc_mutex);
    decide_checking();
    if (block && g_alloc.checking && !forget_allocation(block)) fprintf(stderr, "Allocation not found for %p!\n", block);
    void* grown = realloc(block, size ? size : 1);
    if (grown)
        record_allocation(grown, size);
    else if (block)
        record_allocation(block, 0);  // the old block is still live
    return grown;
}

void checked_free(void* block) {
    if (!block) return;
    std::lock_guard<std::mutex> lock(g_alloc_mutex);
    decide_checking();
    if (g_alloc.checking) {
        size_t size = 0;
        if (!forget_allocation(block, &size)) {
            fprintf(stderr, "Allocation not found for %p!\n", block);
            return;
        }
        memset(block, 0, size);  // later use of freed memory reads zeros
    }
    free(block);
}

void* must_malloc(size_t size) {
    void* block = checked_malloc(size);
    if (!block) fatal_out_of_memory();
    return block;
}

const char* intern_string(const char* text) {
    static std::mutex pool_mutex;
    static std::unordered_set<std::string_view>* pool = new std::unordered_set<std::string_view>();
    std::lock_guard<std::mutex> lock(pool_mutex);
    std::string_view key(text ? text : "");
    auto found = pool->find(key);
    if (found != pool->end()) return found->data();
    size_t n = key.size();
    char* copy = (char*)malloc(n + 1);  // never freed: interned names live for the run
    if (!copy) fatal_out_of_memory();
    memcpy(copy, key.data(), n);
    copy[n] = 0;
    pool->insert(std::string_view(copy, n));
    return copy;
}

void report_live_allocations() {
    std::lock_guard<std::mutex> lock(g_alloc_mutex);
    for (size_t i = 0; i < g_alloc.count; i++) fprintf(stderr, "%p:%d\n", g_alloc.table[i].block, g_alloc.table[i].serial);
}

int live_allocation_count() {
    std::lock_guard<std::mutex> lock(g_alloc_mutex);
    return (int)g_alloc.count;
}

void checked_alloc_reset() {
    std::lock_guard<std::mutex> lock(g_alloc_mutex);
    g_alloc.decided = false;
    drop_table();
    g_alloc.serial = 0;
    decide_checking();
}

// ---- dialogs and the fatal path ----------------------------------------------

namespace {
dialog_function g_dialog = nullptr;
fatal_hook g_fatal_hooks[16];
int g_fatal_hook_count = 0;
}  // namespace

void set_dialog_function(dialog_function fn) { g_dialog = fn; }

void error_dialog(const char* title, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    fprintf(stderr, "%s: %s%s", title, text, (*text && text[strlen(text) - 1] == '\n') ? "" : "\n");
    fflush(stderr);
    const char* quiet = getenv("QUARNIX_NO_DIALOG");
    if (g_dialog && !(quiet && *quiet)) g_dialog(title, text);
}

void add_fatal_hook(fatal_hook hook) {
    for (int i = 0; i < g_fatal_hook_count; i++)
        if (g_fatal_hooks[i] == hook) return;
    if (g_fatal_hook_count < (int)(sizeof g_fatal_hooks / sizeof g_fatal_hooks[0]))
        g_fatal_hooks[g_fatal_hook_count++] = hook;
}

void remove_fatal_hook(fatal_hook hook) {
    for (int i = 0; i < g_fatal_hook_count; i++) {
        if (g_fatal_hooks[i] == hook) {
            for (int j = i + 1; j < g_fatal_hook_count; j++) g_fatal_hooks[j - 1] = g_fatal_hooks[j];
            g_fatal_hook_count--;
            return;
        }
    }
}

void fatal_out_of_memory() {
    static bool entered = false;
    if (!entered) {
        entered = true;
        // Newest first: the audio device opens after the window. A hook may
        // remove itself while closing its device, so run a copy of the list.
        fatal_hook hooks[16];
        int count = g_fatal_hook_count;
        for (int i = 0; i < count; i++) hooks[i] = g_fatal_hooks[i];
        for (int i = count; i-- > 0;) hooks[i]();
        error_dialog("Error", "Out of virtual memory");
    }
    _Exit(1);
}

void install_new_handler() {
    std::set_new_handler([] { fatal_out_of_memory(); });
}
