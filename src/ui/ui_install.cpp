#include "ui/ui_install.h"

#include "bike/bike.h"
#include "bike/drivetrain.h"
#include "core/bike_setup.h"
#include "core/diag.h"
#include "core/hooks.h"
#include "core/timing.h"
#include "platform/input.h"
#include "platform/platform_install.h"
#include "platform/window.h"
#include "race/race.h"
#include "render/bike_draw.h"
#include "render/gl_caps.h"
#include "ui/font.h"
#include "ui/hud.h"
#include "ui/menu.h"
#include "ui/race_view.h"
#include "ui/screens.h"
#include "ui/text_pixels.h"

namespace {

void window_size(int& width, int& height) {
    width = height = 0;
    if (window_hook.client_size) window_hook.client_size(width, height);
}

void load_fonts_hook() {
    load_fonts();
    // Plates made before the fonts were there are painted again.
    set_number_plate_painter(paint_number_plate);
}

void free_fonts_hook() { free_font_textures(); }

void title_screen(const char* text) {
    int w, h;
    window_size(w, h);
    draw_title_screen(text, w, h);
}

void loading_indicator(unsigned count) {
    int w, h;
    window_size(w, h);
    draw_loading_indicator(count, w, h);
}

// The chat line leaves the view uncovered; every other menu page covers it.
bool menu_covers_screen() {
    return current_menu_page() != no_menu && current_menu_page() != input_line_page;
}

void riding_hud() {
    int w, h;
    window_size(w, h);
    hud_draw_riding(race.viewed_slot, w, h);
}

void full_hud() {
    if (menu_covers_screen()) return;
    int w, h;
    window_size(w, h);
    hud_draw(race.viewed_slot, w, h);
}

void text_row(const char* text, int row, int rows) {
    int w, h;
    window_size(w, h);
    draw_text_row(text, row, rows, w, h);
}

// ---- what the menus reach outside the user interface ------------------------------------
double g_started = 0;

void show_main_menu() {
    resolve_edit_keys();
    open_menu_page(main_page);
}

void menu_key_hook(int code) {
    resolve_edit_keys();
    menu_key(code);
}

void leave_server() {
    log_printf("Disconnecting\n");
    if (net_hook.disconnect) net_hook.disconnect();
}

void watch_binding(binding_setting* b) { start_watching_pots(main_window(), b); }
void resolve_binding_hook(binding_setting& b) { resolve_binding(main_window(), b); }
void display_mode(int width, int height, bool fullscreen) {
    if (main_window()) request_display_mode(main_window(), width, height, fullscreen);
}

// The setup reaches the viewed bike only when it is the local rider's.
void apply_setup_to_viewed() {
    int slot = race.viewed_slot;
    if (slot < 0 || slot >= race_slot_count || !race_slots[(size_t)slot].has_rider ||
        race_slots[(size_t)slot].type != local_slot)
        return;
    if (bike_state* b = bike_in_slot(slot)) apply_bike_setup(*b, player_setup, time_now());
}

void driver_info(std::string& vendor, std::string& renderer, std::string& version) {
    vendor = gl_driver.vendor;
    renderer = gl_driver.renderer;
    version = gl_driver.version;
}

void install_menus() {
    g_started = time_now();
    menu_services& m = menu_service;
    m.reset_race = reset_race;
    m.leave_server = leave_server;
    m.start_watching = watch_binding;
    m.watching = watching_pots;
    m.stop_watching = stop_watching_pots;
    m.captured_key = captured_key_name;
    m.resolve_binding = resolve_binding_hook;
    m.request_display_mode = display_mode;
    m.apply_setup = apply_setup_to_viewed;
    m.driver_info = driver_info;
    m.framebuffer_objects = [] { return gl_caps.has_framebuffer_object; };
    m.shader_programs = [] { return gl_caps.shaders_supported; };
    m.seconds = [] { return time_now() - g_started; };
    ui_hook.show_main_menu = show_main_menu;
    ui_hook.menu_draw = menu_draw;
    ui_hook.menu_key = menu_key_hook;
    ui_hook.menu_pointer_moved = menu_pointer_moved;
}

}  // namespace

void install_ui() {
    install_menus();
    hud_init();
    hud_race_source = race_state_view;
    ui_hook.load_fonts = load_fonts_hook;
    ui_hook.free_font_textures = free_fonts_hook;
    ui_hook.draw_title_screen = title_screen;
    ui_hook.draw_loading_indicator = loading_indicator;
    ui_hook.draw_riding_hud = riding_hud;
    ui_hook.draw_hud = full_hud;
    ui_hook.draw_text_row = text_row;
    // The HUD's own pictures, unless the renderer loads its fixed textures
    // itself.
    if (!render_hook.load_fixed_textures) render_hook.load_fixed_textures = load_hud_textures;
}
