// Running the loop to its end, and giving back its records at shutdown.
#include "core/clock.h"
#include "core/cmdline.h"
#include "core/diag.h"
#include "game/frame_loop_internal.h"
#include "net/net.h"
#include "platform/input.h"
#include "platform/main_window.h"
#include "ui/menu.h"

using namespace frame_loop_detail;

void run_frame_loop() {
    reload_frame_limit();
    int code = key_code_for_name(main_window(), "esc");
    if (code >= 0) esc_code = code;
    if (cmdline.connect_target) {
        set_menu_page(no_menu);
        net_connect(cmdline.connect_target->c_str(),
                    cmdline.connect_password ? cmdline.connect_password->c_str() : nullptr, cmdline.fake_lag,
                    cmdline.fake_loss);
    }
    loop_state.last_frame_start = time_now();
    while (frame_loop_pass()) {
    }
}

void free_loop_lists() { loop_state = frame_loop_state{}; }
