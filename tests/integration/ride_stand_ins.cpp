#include "ride_stand_ins.h"

#include "console/keycam.h"
#include "demo/demo.h"
#include "editor/editor.h"
#include "race/race.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "script/script.h"
#include "ui/hud.h"
#include "ui/menu.h"
#include "ui/screens.h"
#include "ui/setting_edit.h"

std::vector<double> handed_throttle;

// ---- the race ------------------------------------------------------------------------

race_clock race;

int slot_type(int) { return local_slot; }
bool slot_has_bike(int) { return true; }
int running_order_slots(int*, int) { return 0; }
void set_bike_controls(int, const control_values& controls) { handed_throttle.push_back(controls[throttle_control]); }
bool attempt_running() { return false; }
void abort_attempt() {}
bool leader_finished() { return false; }
void restart_rotated() {}
bool slot_bike_touches(int) { return false; }
void raise_slot_bike(int, double) {}
void simulate_tic() {}

// ---- the track script ------------------------------------------------------------------

void script_frame() {}
void script_release() {}

// ---- demos (the Rewind and Skip keys) ---------------------------------------------------

void demo_rewind() {}
void demo_skip() {}

// ---- the menus and the HUD -------------------------------------------------------------

namespace {
int g_menu_page = main_page;
}

long menu_frame_number = 0;
int current_menu_page() { return g_menu_page; }
void set_menu_page(int page) { g_menu_page = page; }
void menu_draw(int, int) {}
void menu_key(int) {}
void menu_pointer_moved(int, int) {}
edit_key_codes edit_keys{0x1148, 0x1150, 0x114b, 0x114d, 0x101c, 0x111c, 0x2000, 0x1149, 0x1151};
void resolve_edit_keys() {}
void hud_draw(int, int, int) {}
void hud_draw_riding(int, int, int) {}
void draw_text_row(const char*, int, int, int, int) {}
void draw_title_screen(const char*, int, int) {}

// ---- the console's key-frame camera --------------------------------------------------

bool keycam_camera(int, frame_camera&) { return false; }
// The editor is not part of these rides.
editor_key_codes editor_keys;
bool editor_available() { return false; }
void editor_enable(bool) {}
void editor_attach() {}
void editor_detach() {}
void editor_set_pointer(int, int, int, int) {}
void editor_tic() {}
bool editor_key(int, bool) { return false; }
void editor_draw(int, int) {}
void editor_finish_changes() {}
bool editor_track_modified() { return false; }
