// Shared between the script folder's files.
#pragma once

#include "qx_duk_config.h"
#include <duktape.h>

// Registers the natives on the object at the top of the stack.
void register_natives(duk_context* ctx);
// The JavaScript evaluated before every script.
extern const char* const script_prelude;
