// Shared between the input layer's files; not for other subsystems.
#pragma once

#include "platform/input.h"

// A device button's code from an (alias-resolved) name: "%63[^.].key[%d]"
// or "%63s button %d"; -1 when no such button exists. Binds the device's
// buttons.
int device_button_code(const char* name);
// "%.1000s button %d" for a device button's code, or null.
const char* device_button_name(int code);
const input_device_driver* current_input_device_driver();
// After devices came in: every binding that names something not there
// before is resolved again (nothing while the bindings are closed).
void resolve_unbound_bindings(plix_window* w);
