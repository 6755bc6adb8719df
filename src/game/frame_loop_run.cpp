// Running the loop to its end, and giving back its records at shutdown.
#include "core/clock.h"
#include "core/cmdline.h"
#include "core/diag.h"
#include "game/frame_loop_internal.h"
#include "platform/input.h"
#include "platform/main_window.h"
#include "ui/menu.h"

using namespace frame_loop_detail;

void run_frame_loop() {
    reload_frame_limit();
    int code = key_code_for_name(main_window(), "esc");
    if (code >= 0) esc_code = code;
    if (cmdline.connect_target) set_menu_page(no_menu);
    // Said once, so that a player knows why online play is missing: the
    // network tick is not built yet.
    log_printf("The frame loop runs without the network tick: not in this build yet\n");
    loop_state.last_frame_start = time_now();
    while (frame_loop_pass()) {
    }
}

void free_loop_lists() { loop_state = frame_loop_state{}; }
