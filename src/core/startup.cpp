#include "core/startup.h"

#include <cstdio>
#include <string>

#include "core/diag.h"
#include "platform/dialog.h"
#include "vfs/vfs.h"

namespace {
bool game_data_present() {
    for (int r = 0; const char* root = get_search_root(r); r++) {
        FILE* f = fopen((std::string(root) + "zzzz.saf").c_str(), "rb");
        if (f) {
            fclose(f);
            return true;
        }
    }
    return false;
}
}  // namespace

int quarnix_main(int, char**) {
    install_new_handler();
    install_platform_dialog();
    std::string home = home_path("@");
    make_directories(home.c_str());
    log_printf("PLIX_LOGFILE=%slastlog.txt", home.c_str());
    if (!game_data_present()) {
        error_dialog("Problem starting Quarnix", "Can't find game data\n");
        return 1;
    }
    log_printf("Quarnix version %s\n", "0.1.0");
    file_list();
    log_printf("The window is not built yet; stopping after the file index\n");
    fprintf(stderr, "quarnix: the window is not built yet; start-up stopped after the file index\n");
    vfs_shutdown();
    log_printf(nullptr);
    report_live_allocations();
    return 0;
}
