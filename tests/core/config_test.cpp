#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "core/bike_names.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/setup_watch.h"
#include "testkit/testkit.h"
#include "vfs/config_files.h"
#include "vfs/saf.h"
#include "vfs/vfs.h"

namespace {

struct config_fixture : ::testing::Test {
    vfs_sandbox box;
    void SetUp() override { config_defaults(); }
    std::string config_path() const { return box.root0() + "config"; }
    // Writes `text` as "@config" and reads it over the current settings.
    void read_text(const std::string& text) {
        write_file(config_path(), text);
        read_config();
    }
    std::string written() {
        EXPECT_TRUE(write_config());
        return read_file(config_path());
    }
};

// The keys of a written file, in order.
std::vector<std::string> keys_of(const std::string& file) {
    std::vector<std::string> keys;
    size_t at = 0;
    while (at < file.size()) {
        size_t end = file.find('\n', at);
        std::string line = file.substr(at, end - at);
        keys.push_back(line.substr(0, line.find('=')));
        at = end == std::string::npos ? file.size() : end + 1;
    }
    return keys;
}

std::string line_of(const std::string& file, const std::string& key) {
    size_t at = file.find("\n" + key + "=");
    if (at == std::string::npos) return "";
    size_t end = file.find('\n', at + 1);
    return file.substr(at + 1, end - at - 1);
}

TEST_F(config_fixture, DefaultsRoundTripByteForByteInFileOrder) {
    std::string first = written();
    std::vector<std::string> keys = keys_of(first);
    ASSERT_EQ(keys.size(), 178u);
    EXPECT_EQ(keys[0], "xres");
    EXPECT_EQ(keys[7], "track");
    EXPECT_EQ(keys[12], "slot00");
    EXPECT_EQ(keys[51], "slot39");
    EXPECT_EQ(keys[53], "time_trial_abort");
    EXPECT_EQ(keys[54], "bike");
    EXPECT_EQ(keys[61], "stability");
    EXPECT_EQ(keys[110], "rider_mass_distribution");
    EXPECT_EQ(keys[111], "video_mode");
    EXPECT_EQ(keys[113], "server_name_hist00");
    EXPECT_EQ(keys[154], "message_lines");
    EXPECT_EQ(keys[157], "throttle_key");
    EXPECT_EQ(keys[176], "screenshot_key");
    EXPECT_EQ(keys[177], "vsync");
    EXPECT_EQ(line_of(first, "vsync"), "vsync=Yes");
    EXPECT_EQ(line_of(first, "bike"), "bike=yz250f(2017)");
    EXPECT_EQ(line_of(first, "laps"), "laps=5.000000");
    EXPECT_EQ(line_of(first, "server_name"), "server_name=localhost");
    EXPECT_EQ(line_of(first, "render_texture"), "render_texture=Software");
    EXPECT_EQ(line_of(first, "dab_key"), "dab_key=(k)right ctrl");
    EXPECT_EQ(first.find("use_fbo"), std::string::npos);

    // Reading it over changed values restores every one of them.
    settings.laps = 1;
    settings.slot[3] = 2;
    player_setup.name = "other";
    player_setup.roll_damping = 3;
    bindings[throttle_binding].key_name = "q";
    message_lines = 9;
    read_config();
    EXPECT_EQ(written(), first);
}

TEST_F(config_fixture, ChangedValuesRoundTrip) {
    read_text(
        "laps=7\nslot05=Robot (2 stroke)\nname=Kim\nstability=30\nfork_preload_adjustment=12.5\n"
        "throttle_key=(0.1,0.9)Joystick1.axis[2]\nvideo_mode=Windowed\nmap_scale=2.5\nxres=1024\n");
    std::string first = written();
    EXPECT_EQ(line_of(first, "slot05"), "slot05=Robot (2 stroke)");
    EXPECT_EQ(line_of(first, "throttle_key"), "throttle_key=(0.100000,0.900000)Joystick1.axis[2]");
    config_defaults();
    read_config();
    EXPECT_EQ(written(), first);
    EXPECT_EQ(settings.xres, 1024);
    EXPECT_EQ(settings.video_mode, 1);
    EXPECT_DOUBLE_EQ(player_setup.fork_preload_adjustment, 12.5);
}

TEST_F(config_fixture, StabilityMasterAndOverrides) {
    read_text("stability=50\nroll_damping=10\n");
    EXPECT_DOUBLE_EQ(player_setup.roll_damping, 10);
    config_defaults();
    read_text("roll_damping=10\nstability=50\n");
    EXPECT_DOUBLE_EQ(player_setup.roll_damping, 65);  // s = 2.5, between 60 and 70
    EXPECT_DOUBLE_EQ(player_setup.restricted_lock, 7.5);
    EXPECT_DOUBLE_EQ(player_setup.slow_damping_factor, 1.75);

    apply_stability(0);
    EXPECT_DOUBLE_EQ(player_setup.roll_limit_angle, 90);
    EXPECT_DOUBLE_EQ(player_setup.restricted_lock, 45);
    EXPECT_DOUBLE_EQ(player_setup.direct_steering, 1);
    apply_stability(100);
    EXPECT_DOUBLE_EQ(player_setup.direct_steering, 0.125);
    EXPECT_DOUBLE_EQ(player_setup.roll_damping, 80);
    // Out of range masters clamp to the ends of the table.
    read_text("stability=250\n");
    EXPECT_DOUBLE_EQ(player_setup.stability, 100);
    EXPECT_DOUBLE_EQ(player_setup.restricted_lock, 1);
    apply_stability(-40);
    EXPECT_DOUBLE_EQ(player_setup.land_damping_falloff, 0);
}

TEST_F(config_fixture, NumbersClampAndRefuseBadText) {
    read_text("laps=80\nfov=abc\nminutes=nan\nvolume=inf\nghost_fade_distance=-inf\nmap_scale=100\n"
              "third_person_distance= 7.5xyz\nxres=abc\nyres= 600px\ndraw_ping=nan\n");
    EXPECT_DOUBLE_EQ(settings.laps, 50);
    EXPECT_DOUBLE_EQ(settings.fov, 110);
    EXPECT_DOUBLE_EQ(settings.minutes, 0);
    EXPECT_DOUBLE_EQ(settings.volume, 10);
    EXPECT_DOUBLE_EQ(settings.ghost_fade_distance, 10);
    EXPECT_DOUBLE_EQ(settings.map_scale, 8);
    EXPECT_DOUBLE_EQ(settings.third_person_distance, 7.5);
    EXPECT_EQ(settings.xres, 640);
    EXPECT_EQ(settings.yres, 600);
    EXPECT_EQ(settings.draw_ping, 1);
    read_text("rider_mass_distribution=0.1\nfront_sprocket_adjustment=-5\n");
    EXPECT_DOUBLE_EQ(player_setup.rider_mass_distribution, 0.33);
    EXPECT_DOUBLE_EQ(player_setup.front_sprocket_adjustment, -2);
}

TEST_F(config_fixture, ChoicesMatchItemTextExactly) {
    read_text("render_texture=shaders/direct\nskill=Expert\nrecord=Yes \nstop_wheelies=Front Only\n");
    EXPECT_EQ(settings.render_texture, 0);
    EXPECT_EQ(settings.skill, 2);
    EXPECT_EQ(settings.record, 0);
    EXPECT_EQ(player_setup.stop_wheelies, 2);
    read_text("render_texture=Shaders/Direct\nvideo_mode=1024x768\n");
    EXPECT_EQ(settings.render_texture, 4);
    EXPECT_EQ(settings.video_mode, 0);  // not one of the listed modes

    read_text("bike=yz250f\n");
    EXPECT_STREQ(bike_model_names[player_setup.bike], "yz250f(2008)");
    read_text("bike=kx250f\n");
    EXPECT_STREQ(bike_model_names[player_setup.bike], "kx250f(2008)");
    read_text("bike=rs50yz\nbike=no such bike\n");
    EXPECT_STREQ(bike_model_names[player_setup.bike], "rs50yz");
}

TEST_F(config_fixture, TextsBindingsAndLegacyKeys) {
    std::string long_name(127, 'h');
    read_text("name=" + std::string(80, 'n') + "\nnumber=12345\nserver_name=" + std::string(200, 's') +
              "\nserver_name_hist03=" + long_name + "\nserver_name_hist04=" + long_name + "x\n" +
              "left_key=  (k)keypad 4\nright_key=(1,2\nclutch_key=(0.5,x)foo\nlean_forward_key=(0.2,0.3)\n" +
              "use_fbo=Yes\nground_texture_distance=3\nunknown_key=5\nlaps =9\n");
    EXPECT_EQ(player_setup.name, std::string(63, 'n'));
    EXPECT_EQ(player_setup.number, "123");
    EXPECT_EQ(settings.server_name, std::string(127, 's'));
    EXPECT_EQ(settings.server_name_hist[3], long_name);  // the full 127 characters
    EXPECT_EQ(settings.server_name_hist[4], "");         // 128 is refused
    EXPECT_EQ(bindings[left_binding].key_name, "keypad 4");
    EXPECT_EQ(bindings[right_binding].key_name, "(1,2");
    EXPECT_EQ(bindings[clutch_binding].key_name, "(0.5,x)foo");
    ASSERT_TRUE(bindings[lean_forward_binding].axis_name.has_value());
    EXPECT_EQ(*bindings[lean_forward_binding].axis_name, "");
    EXPECT_FALSE(bindings[lean_forward_binding].key_name.has_value());
    EXPECT_EQ(settings.render_texture, 2);  // "Hardware/Direct"
    EXPECT_DOUBLE_EQ(settings.laps, 5);     // keys are compared exactly

    std::string out = written();
    EXPECT_EQ(out.find("use_fbo"), std::string::npos);
    EXPECT_EQ(out.find("ground_texture_distance"), std::string::npos);
    EXPECT_EQ(line_of(out, "left_key"), "left_key=(k)keypad 4");
    EXPECT_EQ(line_of(out, "lean_forward_key"), "lean_forward_key=(0.200000,0.300000)");
    read_text("use_fbo=No\n");
    EXPECT_EQ(settings.render_texture, 1);  // "Hardware/Copy"

    // A binding with neither key nor axis is not written.
    bindings[step_binding].key_name.reset();
    EXPECT_EQ(line_of(written(), "step_key"), "");
}

TEST_F(config_fixture, LineEndsAndOverLongLines) {
    read_text("laps=7\r\nname=CR\r\r\nskill=Amateur\r\n");
    EXPECT_DOUBLE_EQ(settings.laps, 7);
    EXPECT_EQ(player_setup.name, "CR");
    EXPECT_EQ(settings.skill, 1);

    // The tail of a line beyond the 1023-byte buffer is not a line of its own.
    config_defaults();
    read_text("name=" + std::string(1018, 'n') + "laps=9\nminutes=3");
    EXPECT_DOUBLE_EQ(settings.laps, 5);
    EXPECT_EQ(player_setup.name, std::string(63, 'n'));
    EXPECT_DOUBLE_EQ(settings.minutes, 3);  // a last line without "\n" still counts
    read_text("name=ab" + std::string(1, '\0') + std::string(1100, 'x') + "laps=9\n");
    EXPECT_EQ(player_setup.name, "ab");
    EXPECT_DOUBLE_EQ(settings.laps, 5);

    // A line without "=" is skipped; the last of repeated keys wins.
    read_text("laps\nlaps=3\nlaps=4\n");
    EXPECT_DOUBLE_EQ(settings.laps, 4);
}

TEST_F(config_fixture, MissingOrEmptyFileKeepsDefaults) {
    read_config();  // no file at all
    EXPECT_EQ(matching_graphics_preset(), 0);
    read_text("");
    EXPECT_EQ(matching_graphics_preset(), 0);
    EXPECT_STREQ(bike_model_names[player_setup.bike], "yz250f(2017)");
    EXPECT_EQ(settings.server_name, "localhost");
    EXPECT_EQ(bindings[throttle_binding].key_name, "x");
}

TEST_F(config_fixture, GraphicsPresetsAndCustom) {
    const char* names[] = {"Compatibility", "High FPS", "Normal", "High Detail"};
    for (int i = 0; i < graphics_preset_count; i++) {
        apply_graphics_preset(i);
        EXPECT_STREQ(graphics_presets[(size_t)i].name, names[i]);
        EXPECT_EQ(matching_graphics_preset(), i);
    }
    apply_graphics_preset(2);
    EXPECT_EQ(line_of(written(), "render_texture"), "render_texture=Shaders/Direct");
    EXPECT_EQ(line_of(written(), "ground_texture_dim"), "ground_texture_dim=128x128");
    settings.reshade_delay = 9;
    EXPECT_EQ(matching_graphics_preset(), -1);
}

TEST_F(config_fixture, FailedWriteKeepsTheOldFile) {
    write_file(config_path(), "laps=7\n");
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 512;  // far less than a whole configuration
    auto previous = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    bool ok = write_config();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, previous);
    EXPECT_FALSE(ok);
    EXPECT_EQ(read_file(config_path()), "laps=7\n");
    // No temporary file is left behind.
    int entries = 0;
    for (const char* const* p = file_list(); *p; p++) entries++;
    EXPECT_EQ(entries, 1);
}

TEST_F(config_fixture, SetupFilesCarryOnlyTheSetupKeys) {
    player_setup.name = "Setup Rider";
    player_setup.shock_preload_adjustment = 20;
    ASSERT_TRUE(write_setup_file("fast"));
    std::string text = read_file(box.root0() + "setups/fast");
    std::vector<std::string> keys = keys_of(text);
    ASSERT_EQ(keys.size(), 57u);
    EXPECT_EQ(keys.front(), "bike");
    EXPECT_EQ(keys.back(), "rider_mass_distribution");

    config_defaults();
    write_file(box.root0() + "setups/mixed", text + "laps=2\nxres=9\n");
    ASSERT_TRUE(read_setup_file("mixed"));
    EXPECT_EQ(player_setup.name, "Setup Rider");
    EXPECT_DOUBLE_EQ(player_setup.shock_preload_adjustment, 20);
    EXPECT_DOUBLE_EQ(settings.laps, 5);
    EXPECT_EQ(settings.xres, 640);
    EXPECT_FALSE(read_setup_file("absent"));
    // A read error part way is a failure, not a success with the lines
    // read so far: a folder in the file's place, and a gzip stream cut short.
    make_dirs(box.root0() + "setups/folder");
    EXPECT_FALSE(read_setup_file("folder"));
    std::string many;
    for (int i = 0; i < 2000; i++) many += "number=" + std::to_string(i % 1000) + "\n";
    std::vector<uint8_t> gz = gzip_bytes(many.data(), many.size());
    gz.resize(gz.size() / 2);
    write_file(box.root0() + "setups/cut.gz", std::vector<unsigned char>(gz.begin(), gz.end()));
    EXPECT_FALSE(read_setup_file("cut"));

    EXPECT_TRUE(parse_setup_line("arcade", "No"));
    EXPECT_EQ(player_setup.arcade, 0);
    EXPECT_FALSE(parse_setup_line("laps", "3"));
    EXPECT_DOUBLE_EQ(settings.laps, 5);
}

TEST_F(config_fixture, ValuesAreClampedWhereUsed) {
    read_text("message_lines=5000\ndemo_backups=-3\nxres=0\nyres=1000000\n");
    EXPECT_EQ(message_lines, 5000);  // kept as read, limited when used
    EXPECT_EQ(message_lines_limit(), 1000);
    EXPECT_EQ(demo_backups_limit(), 0);
    settings.demo_backups = 123456;
    EXPECT_EQ(demo_backups_limit(), 9999);
    EXPECT_EQ(window_width_setting(), 64);
    EXPECT_EQ(window_height_setting(), 16384);
}

TEST_F(config_fixture, ServerHistoryShiftsAndSkipsRepeats) {
    for (int i = 0; i < 17; i++) remember_server("host" + std::to_string(i));
    EXPECT_EQ(settings.server_name_hist[0], "host16");
    EXPECT_EQ(settings.server_name_hist[15], "host1");
    remember_server("host16");
    EXPECT_EQ(settings.server_name_hist[1], "host15");
    remember_server("");
    EXPECT_EQ(settings.server_name_hist[0], "host16");
}


TEST_F(config_fixture, SetupChangesAreReportedByLetter) {
    remember_setup_values();
    EXPECT_FALSE(setup_change_report());
    read_text("roll_damping=10\nrider_zspring=5\nname=unwatched\n");
    flag_setup_changes();
    EXPECT_EQ(setup_change_report(), "[SPAM] setup change -d---------------------------------z---\n");
    remember_setup_values();
    EXPECT_FALSE(setup_change_report());
}

TEST_F(config_fixture, PhysicalValuesOfAdjustments) {
    EXPECT_EQ(adjusted_length_text(0.1, 0.2, 50), "45.72 mm");
    EXPECT_EQ(adjusted_length_text(0.1, 0.2, 150), "60.96 mm");  // the adjustment is clamped
    EXPECT_EQ(fork_spring_rate_text(0, 1000, 100), "0.744 kg/mm");
    EXPECT_EQ(shock_spring_rate_text(1000, 3000, -20), "1.49 kg/mm");
    EXPECT_EQ(sprocket_text(13, -2), "11.00 teeth");
}

}  // namespace
