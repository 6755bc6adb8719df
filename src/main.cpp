// Entry point: each subsystem installs itself, then everything else starts in
// quarnix_main.
#include "bike/bike_install.h"
#include "game/frame_loop.h"
#include "game/startup.h"
#include "platform/platform_install.h"
#include "race/race_install.h"
#include "render/render_install.h"
#include "render/terrain_install.h"
#include "track/objects_install.h"
#include "track/track_install.h"
#include "ui/ui_install.h"

int main(int argc, char** argv) {
    install_platform();
    install_render();
    install_terrain();
    install_bike();
    install_track();
    install_ui();
    install_race();
    install_track_objects();
    install_frame_loop();
    return quarnix_main(argc, argv);
}
