#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "core/cmdline.h"
#include "core/config.h"

namespace {

command_line parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"quarnix"};
    argv.insert(argv.end(), args.begin(), args.end());
    return parse_command_line((int)argv.size(), argv.data());
}

void expect_failure(std::initializer_list<const char*> args, const std::string& message) {
    command_line c = parse(args);
    EXPECT_EQ(c.action, command_line_action::fail) << message;
    EXPECT_EQ(c.error, message);
}

TEST(command_line, JoinedAndSeparateValuesAgree) {
    command_line a = parse({"--texture-detail", "3", "--track", "hills", "--lock-fps", "64", "--width", "800"});
    command_line b = parse({"--texture-detail=3", "--track=hills", "--lock-fps=64", "--width=800"});
    for (const command_line* c : {&a, &b}) {
        EXPECT_EQ(c->action, command_line_action::run);
        EXPECT_EQ(c->ground_texture_reduction, 3);
        EXPECT_EQ(c->model_texture_reduction, 3);
        EXPECT_EQ(c->options.startup_track, "hills");
        EXPECT_DOUBLE_EQ(c->options.lock_fps, 64);
        EXPECT_EQ(c->xres, 800);
    }
    // A value may itself contain "=" or begin with "-".
    command_line c = parse({"--password", "-a=b", "--track=x=y"});
    EXPECT_EQ(c.options.connect_password, "-a=b");
    EXPECT_EQ(c.options.startup_track, "x=y");
}

TEST(command_line, FlagsTakeNoValueAndTheLastOneWins) {
    expect_failure({"--nosound=1"}, "bad option '--nosound=1'\n");
    EXPECT_FALSE(parse({"--learn", "--nolearn"}).options.learn_lines);
    EXPECT_EQ(parse({"--super-debug", "--debug"}).options.debug_level, 1);
    command_line c = parse({"--hidden-pause", "--hidden-hud", "--record-audio", "mix.raw"});
    EXPECT_FALSE(c.options.show_pause_text || c.options.show_hud);
    EXPECT_EQ(c.options.record_audio_file, "mix.raw");
}

TEST(command_line, ValuesAreClamped) {
    command_line c = parse({"--texture-detail", "9", "--roostfrequency", "5000", "--erode", "0.5", "--lod-scale",
                            "1e9", "--fake-lag", "250", "--fake-loss", "-4", "--depth", "32", "--zdepth", "24"});
    ASSERT_EQ(c.action, command_line_action::run);
    EXPECT_EQ(c.ground_texture_reduction, 4);
    EXPECT_EQ(c.model_texture_reduction, 4);
    EXPECT_EQ(c.roost_frequency, 1000);
    EXPECT_EQ(c.options.erode_rate, 512);
    EXPECT_DOUBLE_EQ(*c.lod_scale, 1e6);
    EXPECT_DOUBLE_EQ(c.options.fake_lag, 0.25);
    EXPECT_EQ(c.options.fake_loss, 0);
    EXPECT_EQ(c.options.colour_depth, 32);
    EXPECT_EQ(c.options.zbuffer_depth, 24);
    command_line d = parse({"--erode", "500", "--lod-scale", "0", "--fake-lag", "5000", "--ground-texture-detail",
                            "-1", "--texture-detail", "2"});
    EXPECT_EQ(d.options.erode_rate, 102400);
    EXPECT_DOUBLE_EQ(*d.lod_scale, 1e-6);
    EXPECT_DOUBLE_EQ(d.options.fake_lag, 1);
    // The later option wins for the ground reduction.
    EXPECT_EQ(d.ground_texture_reduction, 2);
    EXPECT_EQ(parse({"--texture-detail", "1", "--ground-texture-detail", "3"}).ground_texture_reduction, 3);
    EXPECT_EQ(parse({"--erode", "0.0001"}).options.erode_rate, 0);
}

TEST(command_line, BadValuesAndMissingValues) {
    expect_failure({"--texture-detail", "abc"}, "Bad arg for --texture-detail\n");
    expect_failure({"--erode=x"}, "Bad arg for --erode\n");
    expect_failure({"--detail", "nan"}, "Bad arg for --detail\n");
    expect_failure({"--max-detail-distance", "inf"}, "Bad arg for --max-detail-distance\n");
    expect_failure({"--chase-center", "1,2"}, "Bad arg for --chase-center\n");
    // Standing last, an option that needs a value has none.
    expect_failure({"--nosound", "--fake-loss"}, "Bad arg for --fake-loss\n");
    expect_failure({"--width"}, "Bad arg for --width\n");
    expect_failure({"--connect"}, "Bad arg for --connect\n");
    expect_failure({"--rotate-lineup", "many"}, "Bad arg for --rotate-lineup\n");
    // The first error is the one reported.
    expect_failure({"--bogus", "--width"}, "bad option '--bogus'\n");
    expect_failure({"-x"}, "bad option '-x'\n");

    // A frame rate that would sleep for ever or run thousands of tics a frame.
    for (const char* rate : {"0.001", "0.5", "-64", "1000.5", "1e9"})
        expect_failure({"--lock-fps", rate}, "Bad arg for --lock-fps\n");
    for (double rate : {0.0, 1.0, 24.0, 1000.0}) {
        std::string text = std::to_string(rate);
        EXPECT_DOUBLE_EQ(parse({"--lock-fps", text.c_str()}).options.lock_fps, rate);
    }

    command_line c = parse({"--chase-center", "0.5,3,-1", "--lod-bias", " -7", "--detail", "2e-3"});
    EXPECT_DOUBLE_EQ(c.options.chase_center[0], 0.5);
    EXPECT_DOUBLE_EQ(c.options.chase_center[2], -1);
    EXPECT_DOUBLE_EQ(*c.lod_bias, -7);
    EXPECT_DOUBLE_EQ(*c.detail, 2e-3);
}

TEST(command_line, FilesAndTheEndOfOptions) {
    command_line c = parse({"--nosound", "--", "-odd.kvdemo"});
    EXPECT_EQ(c.action, command_line_action::run);
    EXPECT_EQ(c.options.demo_to_play, "-odd.kvdemo");
    EXPECT_EQ(parse({"run.kvdemo", "--"}).options.demo_to_play, "run.kvdemo");
    expect_failure({"a.kvdemo", "b.kvdemo"}, "Too many files!\n");
    expect_failure({"a.kvdemo", "--", "--nosound"}, "Too many files!\n");
    // After "--" even "--" is a file name.
    EXPECT_EQ(parse({"--", "--"}).options.demo_to_play, "--");
}

TEST(command_line, BikesOnlyPrintsItsNotice) {
    command_line c = parse({"--bikes", "--track", "x"});
    EXPECT_EQ(c.action, command_line_action::run);
    ASSERT_EQ(c.notices.size(), 1u);
    EXPECT_EQ(c.notices[0], "--bikes doesn't do anything anymore\n");
    EXPECT_FALSE(c.options.startup_track);  // "--track" was the value it consumed
    EXPECT_EQ(c.options.demo_to_play, "x");
    command_line last = parse({"--bikes"});
    EXPECT_EQ(last.action, command_line_action::run);
    EXPECT_EQ(last.notices.size(), 1u);
}

TEST(command_line, OpenHome) {
    command_line alone = parse({"--open-home"});
    EXPECT_TRUE(alone.only_open_home);
    EXPECT_EQ(alone.action, command_line_action::open_home);
    // Among other options it acts where it stands.
    command_line later = parse({"--nosound", "--open-home", "--bogus"});
    EXPECT_FALSE(later.only_open_home);
    EXPECT_EQ(later.action, command_line_action::open_home);
    expect_failure({"--bogus", "--open-home"}, "bad option '--bogus'\n");
}

TEST(command_line, HelpAndVersionStopTheParseAndListEveryOption) {
    EXPECT_EQ(parse({"--help"}).action, command_line_action::help);
    EXPECT_EQ(parse({"--nosound", "--version", "--bogus"}).action, command_line_action::version);
    expect_failure({"--bogus", "--help"}, "bad option '--bogus'\n");
    std::string help = command_line_help();
    EXPECT_EQ(help.rfind("Usage: quarnix [options] [demo file]\n", 0), 0u);
    // One line per option; every option listed is one the parser takes.
    int listed = 0;
    for (size_t at = 0; (at = help.find("\n  --", at)) != std::string::npos; at++) {
        size_t end = help.find_first_of(" \n", at + 3);
        std::string name = help.substr(at + 3, end - at - 3);
        command_line c = parse({name.c_str(), "1"});
        EXPECT_NE(c.error.rfind("bad option", 0), 0u) << name;
        listed++;
    }
    EXPECT_EQ(listed, 47);
    for (const char* name : {"--lock-fps X", "--record-audio FILE", "--help", "--version", "--open-home"})
        EXPECT_NE(help.find("\n  " + std::string(name) + " "), std::string::npos) << name;
}

TEST(command_line, ConnectStripsSchemeCutsAndRemembers) {
    config_defaults();
    command_line c = parse({"--connect", "quarnix:race.example.org"});
    EXPECT_EQ(c.options.connect_target, "race.example.org");
    apply_command_line(c);
    EXPECT_EQ(settings.server_name, "race.example.org");
    EXPECT_EQ(settings.server_name_hist[0], "race.example.org");
    EXPECT_EQ(cmdline.connect_target, "race.example.org");

    // The same server again leaves the history alone.
    settings.server_name_hist[1] = "older";
    apply_command_line(parse({"--connect=race.example.org"}));
    EXPECT_EQ(settings.server_name_hist[1], "older");

    std::string very_long = "quarnix:" + std::string(300, 'h');
    apply_command_line(parse({"--connect", very_long.c_str()}));
    EXPECT_EQ(settings.server_name, std::string(127, 'h'));
    EXPECT_EQ(settings.server_name_hist[0], std::string(127, 'h'));
    EXPECT_EQ(settings.server_name_hist[1], "race.example.org");
    EXPECT_EQ(settings.server_name_hist[2], "older");

    // An empty name changes no history.
    apply_command_line(parse({"--connect", "quarnix:"}));
    EXPECT_EQ(settings.server_name, "");
    EXPECT_EQ(settings.server_name_hist[0], std::string(127, 'h'));
}

TEST(command_line, OverridesReachSettingsAndRenderParameters) {
    config_defaults();
    derive_render_params();
    EXPECT_DOUBLE_EQ(render_settings.model_lod_scale, 1.0);
    EXPECT_EQ(render_settings.model_texture_reduction, 1);
    settings.model_detail = 0;  // scale 2, cubed
    settings.ground_texture_dim = 5;
    derive_render_params();
    EXPECT_DOUBLE_EQ(render_settings.model_lod_scale, 8);
    EXPECT_DOUBLE_EQ(render_settings.model_lod_bias, 50);
    EXPECT_EQ(render_settings.ground_texture_size, 1024);

    apply_command_line(parse({"--texture-detail", "3", "--detail", "0.5", "--roostfrequency", "7", "--height",
                              "700", "--draw-fps", "1", "--lod-bias", "2"}));
    EXPECT_EQ(render_settings.ground_texture_reduction, 3);
    EXPECT_EQ(render_settings.model_texture_reduction, 3);
    EXPECT_DOUBLE_EQ(render_settings.ground_detail_factor, 0.5);
    EXPECT_EQ(render_settings.roost_frequency, 7);
    EXPECT_DOUBLE_EQ(render_settings.model_lod_bias, 2);
    EXPECT_EQ(settings.yres, 700);
    EXPECT_EQ(settings.draw_fps, 1);
}

TEST(command_line, LineupRotationStaysInRange) {
    EXPECT_EQ(rotated_lineup_slot(0, 1), 1);
    EXPECT_EQ(rotated_lineup_slot(159, 1), 0);
    EXPECT_EQ(rotated_lineup_slot(0, -1), 159);
    EXPECT_EQ(rotated_lineup_slot(5, -165), 0);
    EXPECT_EQ(rotated_lineup_slot(3, 320), 3);
    for (int n : {INT32_MIN, INT32_MAX, -161, 161})
        for (int i = 0; i < 160; i++) {
            int s = rotated_lineup_slot(i, n);
            ASSERT_GE(s, 0);
            ASSERT_LT(s, 160);
        }
    EXPECT_EQ(parse({"--rotate-lineup", "-3"}).options.rotate_lineup, -3);
}

}  // namespace
