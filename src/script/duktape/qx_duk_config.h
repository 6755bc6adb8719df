/* Our Duktape configuration: the packaged defaults, then what this program
 * needs on top. Every file that uses Duktape includes this before duktape.h
 * so that the engine and its users agree.
 *
 * - An execution time-out: the interpreter asks qx_duk_timed_out(udata)
 *   every few thousand instructions; a script stuck in a loop is stopped.
 * - Our fatal handler instead of abort().
 * - Shallower C recursion than the defaults, so nested source text or
 *   native recursion stays far inside the thread's stack (also under the
 *   sanitizers, whose frames are larger). */
#ifndef QX_DUK_CONFIG_H
#define QX_DUK_CONFIG_H

#include <duk_config.h>

#ifdef __cplusplus
extern "C" {
#endif
int qx_duk_timed_out(void* udata);
void qx_duk_fatal(void* udata, const char* msg);
#ifdef __cplusplus
}
#endif

#undef DUK_USE_INTERRUPT_COUNTER
#define DUK_USE_INTERRUPT_COUNTER
#undef DUK_USE_EXEC_TIMEOUT_CHECK
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) qx_duk_timed_out(udata)
#undef DUK_USE_FATAL_HANDLER
#define DUK_USE_FATAL_HANDLER(udata, msg) qx_duk_fatal((udata), (msg))

#undef DUK_USE_COMPILER_RECLIMIT
#define DUK_USE_COMPILER_RECLIMIT 400
#undef DUK_USE_NATIVE_CALL_RECLIMIT
#define DUK_USE_NATIVE_CALL_RECLIMIT 200

#endif
