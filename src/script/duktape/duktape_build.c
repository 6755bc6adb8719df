/* The Duktape engine, compiled from the distribution's single source file
 * with our configuration (qx_duk_config.h) in force. */
/* As duktape.c itself says before it reads its configuration: the engine
 * is being compiled, so the configuration also picks its platform pieces. */
#define DUK_COMPILING_DUKTAPE
#include "qx_duk_config.h"
#include <duktape.c>
