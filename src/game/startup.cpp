#include "game/startup.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "bike/bike_world.h"
#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/loading.h"
#include "core/quit.h"
#include "core/scan.h"
#include "core/setup_watch.h"
#include "core/text.h"
#include "core/version.h"
#include "demo/demo.h"
#include "game/drivers.h"
#include "game/frame_loop.h"
#include "game/loading_screen.h"
#include "net/net.h"
#include "platform/input.h"
#include "platform/main_window.h"
#include "race/race_control.h"
#include "race/race_tic.h"
#include "race/series.h"
#include "render/bike_draw.h"
#include "render/gl_frame.h"
#include "render/model.h"
#include "script/script.h"
#include "sound/sound.h"
#include "track/objects_lighting.h"
#include "track/track.h"
#include "ui/asset_lists.h"
#include "ui/font.h"
#include "ui/hud.h"
#include "ui/menu.h"
#include "ui/text_pixels.h"
#include "vfs/config_files.h"
#include "vfs/vfs.h"

bool cpu_has_mmx = false;

namespace {

enum class flow {
    next,      // go on with the next step
    shutdown,  // stop here and run the shutdown stages
    leave,     // release quietly what was acquired and return the status
};

// What one run of the program has acquired so far; shutdown releases exactly
// these, in reverse order.
struct run_state {
    command_line line;
    int status = 0;
    int reached = 0;  // the last start-up step that ran
    bool log_started = false;
    bool video_modes = false;
    bool window_open = false;
    bool file_index = false;
    bool bike_shapes = false;
    bool graphics_lists = false;
    bool tracks = false;
    bool demos = false;
    bool series = false;
    bool audio_open = false;
    bool recording_open = false;
    bool gl_ready = false;
    bool fonts = false;
    bool fixed_textures = false;
    bool input_open = false;
    bool world = false;
    bool demo_open = false;
    bool slots = false;
};

// Both standard error and the log, for what a player starting the program
// must see.
void tell(const char* text) {
    fputs(text, stderr);
    log_printf("%s", text);
}

void fatal_close_window() { close_main_window(); }
void fatal_close_audio() { close_audio_output(); }

bool window_alive(const run_state& r) { return r.window_open && main_window_alive(); }

bool game_data_present() {
    for (int i = 0; const char* root = get_search_root(i); i++) {
        FILE* f = fopen((std::string(root) + "zzzz.saf").c_str(), "rb");
        if (f) {
            fclose(f);
            return true;
        }
    }
    return false;
}

bool cpu_reports_mmx() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("mmx");
#else
    return false;
#endif
}

// "%dx%d" of a display-mode item; "Default Fullscreen" is 0 × 0.
void mode_size(const char* item, int& w, int& h) {
    w = h = 0;
    int a = 0, b = 0;
    if (string_scanf(item, strlen(item), nullptr, "%dx%d", &a, &b) == 2 && a > 0 && b > 0) {
        w = a;
        h = b;
    }
}

// ---- start-up steps -------------------------------------------------------------

// "--help" and "--version" answer before anything else: no log, no data
// check, no display.
flow open_home_only(run_state& r) {
    if (r.line.action == command_line_action::help || r.line.action == command_line_action::version) {
        if (r.line.action == command_line_action::help)
            fputs(command_line_help().c_str(), stdout);
        else
            printf("Quarnix %s\n", quarnix_version);
        fflush(stdout);
        r.status = 0;
        return flow::leave;
    }
    if (!r.line.only_open_home) return flow::next;
    if (!open_home_directory()) fputs("Could not show the home folder (xdg-open failed)\n", stderr);
    r.status = 0;
    return flow::leave;
}

flow clear_messages(run_state&) {
    clear_message_history();
    // Standard output is already binary here ("--record-video" frames).
    return flow::next;
}

flow start_file_system(run_state& r) {
    std::string home = home_path("@");
    if (!home.empty()) make_directories(home.c_str());
    log_printf("PLIX_LOGFILE=%slastlog.txt", home.c_str());
    r.log_started = true;
    if (!game_data_present()) {
        error_dialog("Problem starting Quarnix", "Can't find game data\n");
        r.status = 1;  // a failed start is not a success
        return flow::leave;
    }
    return flow::next;
}

flow log_version(run_state&) {
    log_printf("Quarnix version %s\n", quarnix_version);
    return flow::next;
}

flow clear_history(run_state&) {
    clear_server_history();
    return flow::next;
}

flow video_modes_and_cpu(run_state& r) {
    build_video_modes();
    r.video_modes = true;
    cpu_has_mmx = cpu_reports_mmx();
    if (!cpu_has_mmx) log_printf("This CPU does not have MMX!\n");
    return flow::next;
}

flow setting_defaults(run_state&) {
    config_defaults();
    reset_default_lighting();
    return flow::next;
}

flow configuration(run_state&) {
    read_config();
    remember_setup_values();
    return flow::next;
}

flow render_parameters(run_state&) {
    derive_render_params();
    return flow::next;
}

flow apply_options(run_state& r) {
    for (const std::string& n : r.line.notices) fputs(n.c_str(), stderr);
    if (r.line.action == command_line_action::fail) {
        fputs(r.line.error.c_str(), stderr);
        r.status = 1;
        return flow::leave;
    }
    if (r.line.action == command_line_action::open_home) {
        if (!open_home_directory()) fputs("Could not show the home folder (xdg-open failed)\n", stderr);
        r.status = 0;
        return flow::leave;
    }
    apply_command_line(r.line);
    if (cmdline.ignore_mmx && cpu_has_mmx) {
        log_printf("Ignoring MMX\n");
        cpu_has_mmx = false;
    }
    return flow::next;
}

// The terrain's copy methods read the back buffer into textures, which a
// multisampled buffer does not allow.
bool multisample_wanted() {
    bool copy_method = settings.render_texture == 1 || settings.render_texture == 3;
    return settings.multisample != 0 && !copy_method;
}

bool open_window(bool multisample) {
    int flags = cmdline.colour_depth & 0xff;
    if (multisample) flags |= window_multisample;
    int w, h;
    if (settings.video_mode == 1) {  // "Windowed"
        w = window_width_setting();
        h = window_height_setting();
    } else {
        flags |= window_fullscreen;
        mode_size(choice_text(*find_setting("video_mode")), w, h);
    }
    if (open_main_window("Quarnix", w, h, flags, cmdline.zbuffer_depth)) return true;
    fputs("Can't create the window\n", stderr);
    return false;
}

flow create_window(run_state& r) {
    if (!open_window(multisample_wanted())) {
        r.status = 1;
        return flow::leave;
    }
    r.window_open = true;
    add_fatal_hook(fatal_close_window);
    return flow::next;
}

flow first_refresh(run_state&) {
    loading_tick();
    return flow::next;
}

flow file_index_and_lists(run_state& r) {
    vfs_progress_hook = loading_tick;
    file_list();
    r.file_index = true;
    load_bike_shapes();
    r.bike_shapes = true;
    build_graphics_lists();
    r.graphics_lists = true;
    return flow::next;
}

flow find_tracks(run_state& r) {
    r.tracks = true;
    if (scan_tracks() == 0) {
        fputs("No tracks found\n", stderr);
        r.status = 1;
        return flow::leave;
    }
    return flow::next;
}

flow list_demos(run_state& r) {
    build_demo_list();
    r.demos = true;
    return flow::next;
}

flow list_series(run_state& r) {
    load_series_files();
    r.series = true;
    return flow::next;
}

flow select_startup_track(run_state&) {
    if (cmdline.connect_target) {
        cmdline.startup_track.reset();  // the server chooses the track
        return flow::next;
    }
    std::optional<std::string> chosen;
    for (const std::optional<std::string>& c :
         {cmdline.startup_track, std::optional<std::string>(settings.track), std::optional<std::string>("rabbithill")}) {
        if (c && has_track(c->c_str())) {
            chosen = c;
            break;
        }
    }
    cmdline.startup_track = chosen;
    if (chosen) settings.track = *chosen;
    return flow::next;
}

// A recording asked for and not made must not go unnoticed: standard
// error, the screen and the log.
void recording_failed(const std::string& why) {
    std::string text = why + ": the audio is not being recorded\n";
    fputs(text.c_str(), stderr);
    show_message(text.c_str());
}

flow open_audio(run_state& r) {
    if (cmdline.record_audio_file) {
        const char* name = cmdline.record_audio_file->c_str();
        record_audio_stream = vfs_open(name, "wb");
        if (!record_audio_stream) {
            recording_failed(format_string("Can't open %s for writing", name));
            return flow::next;
        }
        r.recording_open = true;
        if (open_audio_recording(record_audio_rate, (int)(tic_length * record_audio_rate))) {
            r.audio_open = true;
            add_fatal_hook(fatal_close_audio);
        } else {
            recording_failed("Can't open the audio recording device");
        }
        return flow::next;
    }
    if (cmdline.sound_off) return flow::next;
    if (open_audio_output()) {
        r.audio_open = true;
        add_fatal_hook(fatal_close_audio);
    }
    return flow::next;
}

flow wait_for_window(run_state& r) {
    if (!r.window_open) return flow::next;
    // Stop waiting when the window goes away or the player closes it.
    while (window_alive(r) && !quit_requested && !main_window_can_draw()) {
        drain_input_events();
        time_sleep(1.0 / 16);
    }
    return flow::next;
}

flow start_gl(run_state& r) {
    if (!r.window_open) return flow::next;
    // "Auto" multisamples where it is cheap: a software rasteriser pays for
    // every sample as for a pixel, so there the window is made again without.
    if (settings.multisample == 2 && multisample_wanted() && multisampled_in_software()) {
        log_printf("Multisampling off: the driver rasterises in software\n");
        close_main_window();
        if (!open_window(false)) {
            r.window_open = false;
            r.status = 1;
            return flow::leave;
        }
    }
    r.gl_ready = init_gl();
    if (!r.gl_ready) log_printf("OpenGL could not be initialised\n");
    return flow::next;
}

flow gl_state(run_state& r) {
    if (r.gl_ready) setup_gl_state(cmdline.fugly);
    return flow::next;
}

flow fonts_and_textures(run_state& r) {
    if (!r.gl_ready) return flow::next;
    load_fonts();
    // Plates made before the fonts were there are painted again.
    set_number_plate_painter(paint_number_plate);
    r.fonts = true;
    load_hud_textures();
    r.fixed_textures = true;
    return flow::next;
}

flow open_input(run_state& r) {
    if (!r.window_open) {
        tell("There is no window: start-up stops here and shuts down\n");
        return flow::shutdown;
    }
    if (!window_alive(r)) {
        log_printf("The window is gone: start-up stops here and shuts down\n");
        return flow::shutdown;
    }
    open_input_bindings(main_window());
    r.input_open = true;
    return flow::next;
}

flow create_world(run_state& r) {
    r.world = bike_world_init();
    return flow::next;
}

flow play_named_demo(run_state& r) {
    if (!cmdline.demo_to_play) return flow::next;
    std::string track;
    r.demo_open = open_demo(cmdline.demo_to_play->c_str(), track);
    if (r.demo_open && !track.empty()) cmdline.startup_track = track;
    return flow::next;
}

flow first_race(run_state& r) {
    empty_slots(!r.demo_open);
    r.slots = true;
    if (cmdline.startup_track) reset_race_with_settings(cmdline.startup_track->c_str(), r.demo_open);
    return flow::next;
}

flow frame_loop(run_state&) {
    if (!cmdline.connect_target) show_main_menu();
    run_frame_loop();
    return flow::next;
}

struct startup_step {
    int number;
    flow (*run)(run_state&);
};
const startup_step startup_steps[] = {
    {1, open_home_only},
    {2, clear_messages},
    {3, start_file_system},
    {4, log_version},
    {5, clear_history},
    {6, video_modes_and_cpu},
    {7, setting_defaults},
    {8, configuration},
    {9, render_parameters},
    {10, apply_options},
    {11, create_window},
    {12, first_refresh},
    {13, file_index_and_lists},
    {14, find_tracks},
    {15, list_demos},
    {16, list_series},
    {17, select_startup_track},
    {18, open_audio},
    {19, wait_for_window},
    {20, start_gl},
    {21, gl_state},
    {22, fonts_and_textures},
    {23, open_input},
    {24, create_world},
    {25, play_named_demo},
    {26, first_race},
    {27, frame_loop},
};

// ---- shutdown stages ------------------------------------------------------------

void close_audio(run_state& r) {
    if (r.audio_open) {
        remove_fatal_hook(fatal_close_audio);
        close_audio_output();
        r.audio_open = false;
    }
    if (r.recording_open) {
        if (!vfs_close(record_audio_stream)) log_printf("Writing %s failed\n", cmdline.record_audio_file->c_str());
        record_audio_stream = nullptr;
        r.recording_open = false;
    }
}

void close_window(run_state& r) {
    if (!r.window_open) return;
    remove_fatal_hook(fatal_close_window);
    close_main_window();
    r.window_open = false;
}

void stop_network(run_state&) {
    if (net_connected()) net_disconnect();
}

void release_race(run_state& r) {
    // Whatever a race recorded is closed too, not only a demo named at start.
    close_demo();
    r.demo_open = false;
    if (r.slots) {
        free_race();
        log_printf("Deallocating bikes\n");
        free_race_bikes();
        log_printf("Finished deallocating bikes\n");
        script_release();
        release_script_sounds();
        release_track();
        r.slots = false;
    }
    if (r.world) bike_world_free();
    r.world = false;
}

void free_memory_1(run_state&) {
    loading_message_logged("Freeing memory (1)");
    free_loop_lists();
}

void close_input(run_state& r) {
    loading_message_logged("Closing input devices");
    if (r.input_open) close_input_bindings();
    r.input_open = false;
}

void closing_audio(run_state& r) {
    loading_message_logged("Closing audio");
    close_audio(r);
    free_sound_sets();
}

void write_config_files(run_state&) {
    loading_message_logged("Writing config files");
    if (!write_config()) log_printf("The configuration could not be written; the old one is kept\n");
    net_shutdown();
}

void free_memory_2(run_state& r) {
    loading_message_logged("Freeing memory (2)");
    if (r.series) free_series();
    r.series = false;
    if (r.tracks) free_track_lists();
    r.tracks = false;
}

void free_memory_3(run_state& r) {
    loading_message_logged("Freeing memory (3)");
    if (r.graphics_lists) free_graphics_lists();
    r.graphics_lists = false;
    if (r.demos) free_demo_list();
    r.demos = false;
    if (r.video_modes) free_video_modes();
    r.video_modes = false;
    set_video_mode_items(nullptr, 0);
}

void free_file_list(run_state& r) {
    loading_message_logged("Freeing file list");
    vfs_progress_hook = nullptr;
    vfs_shutdown();
    r.file_index = false;
}

void free_memory_4(run_state&) { loading_message_logged("Freeing memory (4)"); }

void release_gl(run_state& r) {
    loading_message_logged("Deleting textures");
    if (r.gl_ready) delete_textures();
    loading_message_logged("Deleting models");
    if (r.gl_ready) models_free();
    if (r.fonts) free_font_textures();
    r.fonts = false;
    r.fixed_textures = false;
    r.gl_ready = false;
}

void close_window_and_log(run_state& r) {
    bool had_window = r.window_open;
    close_window(r);
    log_printf(nullptr);
    r.log_started = false;
    report_live_allocations();
    // Give the display a moment to settle after its mode is restored.
    if (had_window) time_sleep(1.0);
}

struct shutdown_step {
    int needs;  // the start-up step whose work this releases
    void (*run)(run_state&);
};
const shutdown_step shutdown_steps[] = {
    {27, stop_network},
    {24, release_race},
    {27, free_memory_1},
    {23, close_input},
    {18, closing_audio},
    {8, write_config_files},
    {14, free_memory_2},
    {6, free_memory_3},
    {13, free_file_list},
    {3, free_memory_4},
    {20, release_gl},
    {3, close_window_and_log},
};

void shutdown(run_state& r) {
    for (const shutdown_step& s : shutdown_steps)
        if (r.reached >= s.needs) s.run(r);
}

// Start-up stopped early: give back what it took without the shutdown
// stages (no configuration is written).
int leave_early(run_state& r) {
    close_audio(r);
    close_window(r);
    if (r.graphics_lists) free_graphics_lists();
    if (r.demos) free_demo_list();
    if (r.video_modes) free_video_modes();
    set_video_mode_items(nullptr, 0);
    vfs_progress_hook = nullptr;
    vfs_shutdown();
    if (r.log_started) log_printf(nullptr);
    return r.status;
}

// A run starts from the program's initial state, also when a test runs the
// program more than once in one process.
void reset_program_state() {
    cmdline = run_options{};
    render_settings = render_params{};
    config_defaults();
    set_video_mode_items(nullptr, 0);
    loading_reset();
    loading_screen = main_window_loading_screen();
    quit_requested = false;
    record_audio_stream = nullptr;
    frame_loop_init();
}

}  // namespace

int quarnix_main(int argc, char** argv) {
    install_new_handler();
    connect_drivers();
    reset_program_state();
    run_state r;
    r.line = parse_command_line(argc, argv);
    for (const startup_step& s : startup_steps) {
        flow f = s.run(r);
        if (f == flow::leave) return leave_early(r);
        // A step that stops start-up did not complete: shutdown begins with
        // what the steps before it acquired.
        if (f == flow::shutdown) break;
        r.reached = s.number;
    }
    if (r.window_open && main_window_display_lost()) {
        // The display server went away, in the loop or during loading: the
        // shutdown stages run (the configuration is written) without touching
        // the display or its GL context again.
        tell("The display went away: Quarnix shuts down\n");
        r.gl_ready = false;
        r.fonts = false;
        r.status = 1;
    }
    shutdown(r);
    return r.status;
}
