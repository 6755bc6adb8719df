#include "ui/ui_install.h"

#include "core/frame_loop.h"
#include "core/hooks.h"
#include "render/bike_draw.h"
#include "ui/font.h"
#include "ui/hud.h"
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
    return loop_state.menu_page != no_menu && loop_state.menu_page != chat_menu_page;
}

void riding_hud() {
    int w, h;
    window_size(w, h);
    hud_draw_riding(loop_state.viewed_slot, w, h);
}

void full_hud() {
    if (menu_covers_screen()) return;
    int w, h;
    window_size(w, h);
    hud_draw(loop_state.viewed_slot, w, h);
}

void text_row(const char* text, int row, int rows) {
    int w, h;
    window_size(w, h);
    draw_text_row(text, row, rows, w, h);
}

}  // namespace

void install_ui() {
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
