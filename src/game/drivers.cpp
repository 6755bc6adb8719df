#include "game/drivers.h"

#include <string>

#include "bike/bike.h"
#include "bike/rider_parts.h"
#include "console/console.h"
#include "console/telemetry_points.h"
#include "core/clock.h"
#include "core/cmdline.h"
#include "core/diag.h"
#include "demo/demo.h"
#include "editor/editor.h"
#include "game/frame_loop.h"
#include "net/net.h"
#include "net/online/client_parts.h"
#include "platform/dialog.h"
#include "platform/input.h"
#include "platform/main_window.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "render/frame_draw.h"
#include "render/gl_caps.h"
#include "render/terrain_lighting.h"
#include "render/terrain_parts.h"
#include "robot/robot.h"
#include "script/script.h"
#include "sound/engine_sound.h"
#include "sound/sound.h"
#include "track/erosion.h"
#include "track/height_field.h"
#include "track/objects_lighting.h"
#include "track/objects_race.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "ui/menu.h"
#include "ui/race_view.h"

namespace {

double g_started = 0;

void leave_server() { net_disconnect(); }

void connect_menus() {
    g_started = time_now();
    menu_driver& m = menu_service;
    m.reset_race = reset_race;
    m.leave_server = leave_server;
    m.start_watching = [](binding_setting* b) { start_watching_pots(main_window(), b); };
    m.watching = watching_pots;
    m.stop_watching = stop_watching_pots;
    m.captured_key = captured_key_name;
    m.resolve_binding = [](binding_setting& b) { resolve_binding(main_window(), b); };
    m.request_display_mode = [](int width, int height, bool fullscreen) {
        if (main_window()) request_display_mode(main_window(), width, height, fullscreen);
    };
    m.apply_setup = apply_setup_to_viewed_bike;
    m.driver_info = [](std::string& vendor, std::string& renderer, std::string& version) {
        vendor = gl_driver.vendor;
        renderer = gl_driver.renderer;
        version = gl_driver.version;
    };
    m.framebuffer_objects = [] { return gl_caps.has_framebuffer_object; };
    m.shader_programs = [] { return gl_caps.shaders_supported; };
    m.seconds = [] { return time_now() - g_started; };
    m.submit_line = console_submit;
    console_parts.frame_histogram = [] { return &loop_state.frame_time_histogram; };
    m.track_modified = editor_track_modified;
}

}  // namespace

void connect_drivers() {
    // The app clock sleeps through the window's message pump, so that every
    // event keeps the time it came in.
    app_clock.now = main_clock_now;
    app_clock.sleep_for = main_clock_sleep;
    set_dialog_function(show_message_box);

    // The ground renderer follows the height field; the track load runs the
    // track's own object files, the renderer's terrain textures and the race's
    // timing gates; the track's objects and the rider code ask the race; the
    // race tic and the frame drawing reach the demos.
    fill_terrain_renderer(terrain_renderer);
    fill_terrain_parts(track_parts);
    fill_race_parts(track_parts, object_race, rider_parts);
    // Each bike placed in a slot gets its engine voice.
    race_parts.create_engine_sound = [](int slot) { engine_sound_load(slot, bike_in_slot(slot), nullptr); };
    race_parts.free_engine_sound = engine_sound_free;
    // While "/log e" is on, the wheels' digging read-outs become telemetry points.
    world_overlay = draw_telemetry_points;
    race_parts.wheels_dug = [](int slot, const erode_contact& front, const erode_contact& rear) {
        const bike_state* b = bike_in_slot(slot);
        if (!(telemetry_points.flags & 1u) || !b) return;
        double p[3];
        get_body_position(*b, body_frame, p);
        offer_telemetry_point({(float)p[0], (float)p[1], (float)p[2]}, erode_readout(front, true).c_str(),
                              erode_readout(rear, false).c_str());
    };
    fill_demo_parts(race_parts, frame_slots);
    // After the demos: the connection puts its visibility rule in front of
    // theirs.
    fill_client_parts(race_parts, frame_slots);
    fill_robot_parts(race_parts, rider_parts);
    robot_options.learn = cmdline.learn_lines;
    robot_options.practice = cmdline.practice;
    fill_object_parts(track_parts);
    // The editor holds the track only with "--editor".
    track_parts.editor_attach = [] {
        editor_enable(cmdline.editor);
        editor_attach();
    };
    track_parts.editor_detach = editor_detach;
    // The track script: loaded after every (re)load, its tic handler first
    // in the tic, and at each reset its heap released before its sounds.
    track_parts.run_script = [](const char* name) { script_load(name); };
    race_parts.script_tic = script_tic;
    race_parts.release_script_sounds = [] {
        script_release();
        release_script_sounds();
    };
    terrain_lighting = lighting_for_terrain;

    // The HUD's race and the menus' reach.
    hud_race_source = race_state_view;
    connect_menus();
}
