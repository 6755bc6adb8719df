// Stand-ins until demos are built.
#include "demo/demo.h"

#include "core/diag.h"

bool demo_playback_available() { return false; }

bool open_demo(const char*, std::string&) {
    log_printf("Demo playback is not available in this build\n");
    return false;
}

void close_demo() {}
void demo_rewind() {}
void demo_skip() {}
