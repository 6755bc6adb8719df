#include "script/script.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/clock.h"
#include "core/diag.h"
#include "core/text.h"
#include "race/race.h"
#include "script/script_internal.h"
#include "vfs/vfs.h"

script_limits script_budget;

namespace {

// Every block the interpreter allocates, linked so that a heap abandoned in
// the middle of its work (out of time, out of memory, a fatal error) can be
// freed without asking the interpreter.
struct alignas(16) block_header {
    block_header* prev;
    block_header* next;
    size_t size;
};

struct heap_state {
    duk_context* ctx = nullptr;
    block_header* blocks = nullptr;
    size_t used = 0;
    size_t cap = 0;
    double deadline = 0;
    bool guarded = false;
    bool out_of_memory = false;
    int stop = 0;
    jmp_buf abandon;
};

heap_state g_heap;
char g_error[1024] = "";
int g_last_stop = 0;

void set_error(const char* text) { copy_truncated(g_error, sizeof g_error, text ? text : ""); }

void link(heap_state& h, block_header* b) {
    b->prev = nullptr;
    b->next = h.blocks;
    if (h.blocks) h.blocks->prev = b;
    h.blocks = b;
}

void unlink(heap_state& h, block_header* b) {
    if (b->prev)
        b->prev->next = b->next;
    else
        h.blocks = b->next;
    if (b->next) b->next->prev = b->prev;
}

[[noreturn]] void abandon(heap_state& h, int reason);

// Over the cap the script is stopped at once: the interpreter would answer
// a refusal with a full collection and a retry, over and over, and a
// script may catch the error it finally throws.
void* refuse(heap_state& h) {
    h.out_of_memory = true;
    if (h.guarded) abandon(h, script_stopped_memory);
    return nullptr;
}

void* heap_alloc(void* udata, duk_size_t size) {
    heap_state& h = *static_cast<heap_state*>(udata);
    if (size > h.cap || h.used + size > h.cap) return refuse(h);
    auto* b = static_cast<block_header*>(std::malloc(sizeof(block_header) + size));
    if (!b) {
        h.out_of_memory = true;
        return nullptr;
    }
    b->size = size;
    link(h, b);
    h.used += size;
    return b + 1;
}

void heap_free(void* udata, void* ptr) {
    if (!ptr) return;
    heap_state& h = *static_cast<heap_state*>(udata);
    block_header* b = static_cast<block_header*>(ptr) - 1;
    unlink(h, b);
    h.used -= b->size;
    std::free(b);
}

void* heap_realloc(void* udata, void* ptr, duk_size_t size) {
    if (!ptr) return heap_alloc(udata, size);
    if (size == 0) {
        heap_free(udata, ptr);
        return nullptr;
    }
    heap_state& h = *static_cast<heap_state*>(udata);
    block_header* b = static_cast<block_header*>(ptr) - 1;
    if (size > b->size && (size > h.cap || h.used - b->size + size > h.cap)) return refuse(h);
    unlink(h, b);
    auto* nb = static_cast<block_header*>(std::realloc(b, sizeof(block_header) + size));
    if (!nb) {
        link(h, b);
        h.out_of_memory = true;
        return nullptr;
    }
    h.used = h.used - nb->size + size;
    nb->size = size;
    link(h, nb);
    return nb + 1;
}

// Frees every block of a heap the interpreter can no longer be trusted with.
void drop_blocks(heap_state& h) {
    while (h.blocks) {
        block_header* b = h.blocks;
        h.blocks = b->next;
        std::free(b);
    }
    h.used = 0;
    h.ctx = nullptr;
}

const char* stop_text(int reason) {
    switch (reason) {
        case script_stopped_time: return "ran too long";
        case script_stopped_memory: return "ran out of memory";
        default: return "failed fatally";
    }
}

// Leaves the interpreter for good: back to the protected entry, where the
// heap is dropped.
[[noreturn]] void abandon(heap_state& h, int reason) {
    h.stop = reason;
    longjmp(h.abandon, 1);
}

using body_fn = duk_ret_t (*)(duk_context* ctx, void* data);

struct body_call {
    body_fn fn;
    void* data;
};

duk_ret_t run_body(duk_context* ctx, void* udata) {
    auto* call = static_cast<body_call*>(udata);
    return call->fn(ctx, call->data);
}

// Runs body inside a protected call with a time budget. Returns 0 when the
// body ran (whatever it left on the stack has been popped) with its result
// in `result`, 1 when it threw (the error text in g_error when `keep_error`),
// and -1 when the heap had to be dropped.
int protected_run(body_fn fn, void* data, double budget, bool keep_error) {
    heap_state& h = g_heap;
    if (!h.ctx || h.guarded) return -1;
    h.deadline = system_now() + budget;
    h.out_of_memory = false;
    h.stop = 0;
    h.guarded = true;
    int outcome = 0;
    if (setjmp(h.abandon) == 0) {
        body_call call{fn, data};
        duk_context* ctx = h.ctx;
        duk_int_t rc = duk_safe_call(ctx, run_body, &call, 0, 1);
        if (rc != DUK_EXEC_SUCCESS) {
            outcome = 1;
            if (keep_error) set_error(duk_safe_to_string(ctx, -1));
        }
        duk_pop(ctx);
        // Memory ran out somewhere the script could catch it: the heap may
        // limp on, but this script has had its share.
        if (h.out_of_memory) abandon(h, script_stopped_memory);
    } else {
        outcome = -1;
    }
    h.guarded = false;
    if (outcome == -1) {
        g_last_stop = h.stop;
        drop_blocks(h);
        show_messagef("javascript error: the track script %s and was stopped", stop_text(g_last_stop));
    }
    return outcome;
}

// ---- loading ---------------------------------------------------------------------------

struct eval_data {
    const char* text;
    size_t length;
    const char* file;
};

duk_ret_t make_kv(duk_context* ctx, void*) {
    duk_push_object(ctx);
    register_natives(ctx);
    duk_put_global_string(ctx, "kv");
    return 0;
}

duk_ret_t eval_text(duk_context* ctx, void* data) {
    auto* e = static_cast<eval_data*>(data);
    duk_push_string(ctx, e->file);
    duk_compile_lstring_filename(ctx, 0, e->text, e->length);
    duk_call(ctx, 0);
    return 0;
}

// Evaluates text; reports what goes wrong. False when the heap was dropped.
bool evaluate(const char* text, size_t length, const char* file) {
    eval_data e{text, length, file};
    int r = protected_run(eval_text, &e, script_budget.load_seconds, true);
    if (r == 1) show_messagef("javascript error: %.900s", g_error);
    return r != -1;
}

// ---- handlers --------------------------------------------------------------------------

struct handler_data {
    const char* member;
    char tics[16];
};

duk_ret_t call_handler(duk_context* ctx, void* data) {
    auto* d = static_cast<handler_data*>(data);
    if (!duk_get_global_string(ctx, "kv") || !duk_is_object(ctx, -1)) return 0;
    duk_get_prop_string(ctx, -1, d->member);
    if (!duk_is_callable(ctx, -1)) return 0;
    duk_dup(ctx, -2);
    duk_push_string(ctx, d->tics);
    duk_pcall_method(ctx, 1);
    return 0;
}

void run_handler(const char* member) {
    if (!g_heap.ctx) return;
    handler_data d{member, {}};
    int t = race.tic - race.playback_delay;
    if (t < 0) t = 0;
    snprintf(d.tics, sizeof d.tics, "%d", t);
    protected_run(call_handler, &d, script_budget.handler_seconds, false);
}

// ---- named calls -------------------------------------------------------------------------

struct call_data {
    const char* name;
    const char* const* args;
    int count;
    double result;
    bool found;
};

duk_ret_t call_named(duk_context* ctx, void* data) {
    auto* c = static_cast<call_data*>(data);
    c->found = false;
    duk_push_global_object(ctx);
    const char* p = c->name;
    char component[1024];
    for (;;) {
        const char* dot = strchr(p, '.');
        size_t n = dot ? (size_t)(dot - p) : strlen(p);
        if (!duk_is_object(ctx, -1) || n > 1023) {
            char text[900];
            snprintf(text, sizeof text, "can't find %.800s", p);
            set_error(text);
            return 0;
        }
        memcpy(component, p, n);
        component[n] = 0;
        duk_get_prop_lstring(ctx, -1, component, n);
        if (!dot) break;
        duk_remove(ctx, -2);
        p = dot + 1;
    }
    if (!duk_is_callable(ctx, -1)) {
        char text[900];
        snprintf(text, sizeof text, "%.800s is not a function", component);
        set_error(text);
        return 0;
    }
    duk_swap(ctx, -1, -2);  // the function, then its holder as `this`
    for (int k = 0; k < c->count; k++) duk_push_string(ctx, c->args[k] ? c->args[k] : "");
    c->found = true;
    if (duk_pcall_method(ctx, c->count) != DUK_EXEC_SUCCESS) {
        set_error(duk_safe_to_string(ctx, -1));
        c->found = false;
        return 0;
    }
    c->result = duk_get_number_default(ctx, -1, 0);
    return 0;
}

}  // namespace

extern "C" int qx_duk_timed_out(void* udata) {
    auto* h = static_cast<heap_state*>(udata);
    if (!h || !h->guarded) return 0;
    if (h->out_of_memory) abandon(*h, script_stopped_memory);
    if (system_now() > h->deadline) abandon(*h, script_stopped_time);
    return 0;
}

extern "C" void qx_duk_fatal(void* udata, const char* msg) {
    auto* h = static_cast<heap_state*>(udata);
    log_printf("javascript fatal error: %.900s\n", msg ? msg : "");
    if (h && h->guarded) abandon(*h, script_stopped_fatal);
    // Every entry into the interpreter is guarded; this is a program fault.
    std::abort();
}

bool script_load_text(const char* text, size_t length) {
    script_release();
    g_last_stop = 0;
    g_heap.cap = script_budget.heap_bytes;
    g_heap.ctx = duk_create_heap(heap_alloc, heap_realloc, heap_free, &g_heap, qx_duk_fatal);
    if (!g_heap.ctx) {
        drop_blocks(g_heap);
        show_message("javascript error: no memory for the script");
        return false;
    }
    if (protected_run(make_kv, nullptr, script_budget.load_seconds, true) != 0) {
        if (g_heap.ctx) script_release();
        return false;
    }
    // A failing prelude does not stop the script; a failing script keeps
    // what it defined before its error.
    if (!evaluate(script_prelude, strlen(script_prelude), "prelude")) return false;
    if (!evaluate(text, length, "frills.js")) return false;
    return g_heap.ctx != nullptr;
}

bool script_load(const char* name) {
    script_release();
    if (!name) return false;
    vfs_file* f = vfs_open(name, "rb");
    if (!f) return false;
    std::string text;
    char buffer[16384];
    size_t n;
    while ((n = vfs_read(f, buffer, sizeof buffer)) > 0) {
        text.append(buffer, n);
        if (text.size() > script_budget.file_bytes) break;
    }
    vfs_close(f);
    if (text.size() > script_budget.file_bytes) {
        show_messagef("javascript error: %.800s is longer than %zu bytes", name, script_budget.file_bytes);
        return false;
    }
    return script_load_text(text.data(), text.size());
}

void script_frame() { run_handler("frame_handler_"); }
void script_tic() { run_handler("tic_handler_"); }

double script_call(const char* name, const char* const* args, int count, bool* ok) {
    if (ok) *ok = false;
    if (!g_heap.ctx) {
        set_error("no script");
        return 0;
    }
    if (!name || count < 0) {
        set_error("can't find ");
        return 0;
    }
    call_data c{name, args, count, 0, false};
    int r = protected_run(call_named, &c, script_budget.handler_seconds, true);
    if (r != 0 || !c.found) return 0;
    if (ok) *ok = true;
    return c.result;
}

void script_release() {
    heap_state& h = g_heap;
    if (!h.ctx || h.guarded) return;
    // Finalizers run while the heap is destroyed: they get a budget too.
    h.deadline = system_now() + script_budget.handler_seconds;
    h.out_of_memory = false;
    h.guarded = true;
    if (setjmp(h.abandon) == 0) {
        duk_destroy_heap(h.ctx);
        h.guarded = false;
        h.ctx = nullptr;
        drop_blocks(h);  // nothing should be left; be sure
    } else {
        h.guarded = false;
        drop_blocks(h);
        log_printf("javascript error: the track script %s while being released\n", stop_text(h.stop));
    }
}

bool script_active() { return g_heap.ctx != nullptr; }
const char* script_error() { return g_error; }
int script_stop_reason() { return g_last_stop; }
size_t script_heap_bytes() { return g_heap.used; }
