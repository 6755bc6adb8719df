// Entry point: each subsystem installs itself, then everything else starts in
// quarnix_main.
#include "core/startup.h"
#include "platform/dialog.h"

int main(int argc, char** argv) {
    install_platform_dialog();
    return quarnix_main(argc, argv);
}
