// Tile types from "tileinfo" and "texturelist": tables, warnings, roost,
// erosion values, blend descriptors and the writer.
#include <gtest/gtest.h>

#include "track/tile_info.h"
#include "track_fixture.h"

namespace {

struct tiles_sandbox : track_sandbox {
    tiles_sandbox() {
        free_tile_data();
        clear_recorded_texture_requests();
    }
    ~tiles_sandbox() {
        free_tile_data();
        track_texture_loader = load_track_texture_default();
    }
    static texture_loader load_track_texture_default() {
        static texture_loader original = track_texture_loader;
        return original;
    }
    // Loads a tileinfo text; returns the messages it produced.
    std::vector<std::string> tileinfo(const std::string& text) {
        put("tileinfo", text);
        clear_message_history();
        int before = messages.next;
        EXPECT_TRUE(load_tile_info(track_file_name(dir.c_str(), "tileinfo").c_str()));
        std::vector<std::string> out;
        for (int k = before; k != messages.next; k = (k + 1) % message_history_lines) out.push_back(messages.lines[k]);
        return out;
    }
};

const texture_loader original_loader = tiles_sandbox::load_track_texture_default();

TEST(tileinfo, FrictionPointsAreSortedAndClamped) {
    tiles_sandbox t;
    EXPECT_TRUE(t.tileinfo("friction 0.9 0\nfriction 1.2 10\nfriction 1.0 5\naddtile\n"
                           "friction -1 2000000\naddtile\n")
                    .empty());
    ASSERT_EQ(tile_count(), 2);
    const tile_info& a = tile_info_of(0);
    EXPECT_EQ(a.friction_speed, (std::array<float, 8>{0, 5, 10, 1048576, 1048576, 1048576, 1048576, 1048576}));
    EXPECT_EQ(a.friction_coefficient, (std::array<float, 8>{0.9f, 1.0f, 1.2f, 1, 1, 1, 1, 1}));
    EXPECT_EQ(tile_info_of(1).friction_coefficient[0], 0.0f);
    EXPECT_EQ(tile_info_of(1).friction_speed[0], 1048575.0f);
    // Nine points: the ninth is refused and changes nothing.
    std::string nine;
    for (int k = 0; k < 9; k++) nine += "friction 2 " + std::to_string(9 - k) + "\n";
    EXPECT_EQ(t.tileinfo(nine + "friction 3\nfriction nan 4\naddtile\n"),
              (std::vector<std::string>{"tileinfo warning: too many friction points\n",
                                        "tileinfo warning: bad friction parameters\n",
                                        "tileinfo warning: bad friction parameters\n"}));
    EXPECT_EQ(tile_info_of(0).friction_speed, (std::array<float, 8>{2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(tileinfo, RollResistSlipFunctionAndErodeValues) {
    tiles_sandbox t;
    std::vector<std::string> w = t.tileinfo(
        "roll_resist 1 2 8\nroll_resist -3 4 0\nroll_resist 1 2\n"
        "slip_function 3\nslip_function\nslip_function 99999999999\n"
        "erode_radius 7.5\nerode_on_speed 20\nerode_radius x\nerode_front_scale\n"
        "erode_limit 0.5 2 3\nerode_limit 0.2 1 1\nerode_limit 1\naddtile\naddtile\n");
    EXPECT_EQ(w, (std::vector<std::string>{"tileinfo warning: bad roll_resist parameters\n",
                                           "tileinfo warning: bad slip_function\n",
                                           "tileinfo warning: bad slip_function\n",
                                           "tileinfo warning: bad slip_function\n",
                                           "tileinfo warning: bad erode_radius\n",
                                           "tileinfo warning: bad erode_front_scale\n",
                                           "tileinfo warning: erode_limit depth <= prev depth\n",
                                           "tileinfo warning: bad erode_limit\n"}));
    const tile_info& a = tile_info_of(0);
    EXPECT_EQ(a.roll_resist_speed[0], 1.0f / 1048576.0f);
    EXPECT_EQ(a.roll_resist[0], (std::array<float, 2>{0, 4}));
    EXPECT_EQ(a.roll_resist_speed[1], 8.0f);
    EXPECT_EQ(a.roll_resist[1], (std::array<float, 2>{1, 2}));
    EXPECT_EQ(a.roll_resist_speed[2], 0.0f);
    EXPECT_EQ(a.slip_function, 2147483647);  // too large for an int: clamped, not wrapped
    EXPECT_EQ(a.erode.erode_radius, 7.5f);
    EXPECT_EQ(a.erode.erode_on_speed, 20.0f);
    EXPECT_EQ(a.erode.erode_front_scale, 1.0f);
    EXPECT_EQ(a.erode.erode_limit_count, 1);
    EXPECT_EQ(a.erode.limit_depth[0], 0.5f);
    EXPECT_EQ(a.erode.limit_scale2[0], 3.0f);
    // The second tile got every default back, including the default limit.
    const tile_info& b = tile_info_of(1);
    EXPECT_EQ(b.erode.erode_radius, 4.0f);
    EXPECT_EQ(b.erode.erode_limit_count, 1);
    EXPECT_EQ(b.erode.limit_depth[0], 0.0f);
    EXPECT_EQ(b.erode.limit_scale1[0], 1.0f);
    EXPECT_EQ(b.slip_function, 0);
    EXPECT_EQ(b.roll_resist[3], (std::array<float, 2>{5, 15}));
}

TEST(tileinfo, RoostTokensQuotesAndColours) {
    tiles_sandbox t;
    std::vector<std::string> w = t.tileinfo(
        "roost count=3 texture=\"@my dirt.png\" splash=1\n"
        "roost \tcolour=5 count=x r=300 a=-1 fade_a=-256 fade_r=1e30 size=0.5\f\"drag=\"2\n"
        "roost\nroost\nroost\naddtile\n");
    EXPECT_EQ(w, (std::vector<std::string>{"tileinfo warning: unknown roost parameter 'colour=5'\n",
                                           "tileinfo warning: bad count\n",
                                           "tileinfo warning: too many roost types\n"}));
    const tile_info& a = tile_info_of(0);
    EXPECT_EQ(a.roost[0].mode, 2);
    EXPECT_EQ(a.roost[0].count, 3.0f);
    EXPECT_EQ(a.roost[0].texture.name, "@my dirt.png");
    EXPECT_EQ(a.roost[0].dig, 1.0f);
    const roost_type& r = a.roost[1];
    EXPECT_EQ(r.mode, 1);
    EXPECT_EQ(r.texture.name, "@roost.png");
    EXPECT_EQ(r.count, 0.0f);
    EXPECT_EQ(r.color, (std::array<uint8_t, 4>{44, 255, 255, 255}));
    EXPECT_EQ(r.fade, (std::array<int8_t, 4>{-1, 0, 0, -2}));  // 1e30 clamps to the int range first
    EXPECT_EQ(r.size, 0.5f);
    EXPECT_EQ(r.drag, 2.0f);
    EXPECT_EQ(a.roost[3].mode, 1);
    EXPECT_EQ(tile_info_of(0).roost[3].fast_angle, 0.19634955f);
}

TEST(tileinfo, StatementsNamesAndLimits) {
    tiles_sandbox t;
    std::string long_name(60, 'n');
    std::vector<std::string> w = t.tileinfo(
        "  \t\r\n\n# comment\nFriction 1 2\ntexture @textures/dirt.png  \naddtile\n"
        "name " + long_name + "\ntexture @t/" + std::string(50, 'x') + ".png\naddtile\n"
        "texture @t/" + std::string(50, 'y') + ".png\naddtile\n"
        "texture @t/left.png\nname lost\n");
    EXPECT_EQ(w, (std::vector<std::string>{"tileinfo warning: Unknown identifier '#'\n",
                                           "tileinfo warning: Unknown identifier 'Friction'\n"}));
    ASSERT_EQ(tile_count(), 3);
    EXPECT_EQ(tile_info_of(0).texture.name, "@textures/dirt.png  ");  // trailing blanks are part of the value
    EXPECT_EQ(tile_info_of(0).name, "@textures/dirt.png  ");
    EXPECT_EQ(tile_info_of(1).name, std::string(47, 'n'));
    EXPECT_EQ(tile_info_of(2).name, ("@t/" + std::string(50, 'y')).substr(0, 47));
    EXPECT_EQ(&tile_info_of(-4), &tile_info_of(0));
    EXPECT_EQ(&tile_info_of(99), &tile_info_of(2));
    // At most 256 tile types; later lines are not read.
    std::string many;
    for (int k = 0; k < 300; k++) many += "addtile\n";
    EXPECT_TRUE(t.tileinfo(many + "bogus\n").empty());
    EXPECT_EQ(tile_count(), 256);
    // No tile types at all: one default tile and a warning.
    EXPECT_EQ(t.tileinfo("texture x.png\n"),
              (std::vector<std::string>{"Warning: no tile types in '@tracks/t/tileinfo', using a default tile"}));
    EXPECT_EQ(tile_count(), 1);
    EXPECT_EQ(tile_info_of(0).name, "default");
    EXPECT_EQ(tile_info_of(0).blend, 0);
}

TEST(tileinfo, BlendDescriptorsFromTextureNames) {
    tiles_sandbox t;
    t.tileinfo(
        "texture @dirt.png\naddtile\ntexture grass.png\naddtile\ntexture @dirt-grass-0110.png\naddtile\n"
        "texture @dirt-alt2.png\naddtile\ntexture @dirt-mud-1111.png\naddtile\ntexture @dirt-grass-01x1.png\naddtile\n"
        "texture @grass-dirt\naddtile\ntexture @g/loam.png\naddtile\ntexture @h/loam-grass-1000.png\naddtile\n"
        "texture @dirt-alt.png\naddtile\n");
    ASSERT_EQ(tile_count(), 10);
    EXPECT_EQ(tile_info_of(0).blend, 0);
    EXPECT_EQ(tile_info_of(1).blend, 1 << 16 | 1 << 8);
    EXPECT_EQ(tile_info_of(2).blend, 0 << 16 | 1 << 8 | 6);
    EXPECT_EQ(tile_info_of(3).blend, 0);  // an alternative look of tile 0
    EXPECT_EQ(tile_info_of(4).blend, -256);
    EXPECT_EQ(tile_info_of(5).blend, 1 << 8);  // no valid corner mask
    EXPECT_EQ(tile_info_of(6).blend, -256);    // no second '-'
    EXPECT_EQ(tile_info_of(7).blend, 7 << 16 | 7 << 8);
    // Textures in folders blend too.
    EXPECT_EQ(tile_info_of(8).blend, 7 << 16 | 1 << 8 | 8);
    EXPECT_EQ(tile_info_of(9).blend, -256);  // "alt" without a digit is no alternative look
}

TEST(texturelist, LinesNumbersAndLineEnds) {
    tiles_sandbox t;
    t.put("texturelist", "  dirt.png\r\n\n0.8 4 12 grass two.png\n2 3\nnan inf 9 mud.png\n");
    clear_message_history();
    ASSERT_TRUE(load_texture_list(track_file_name(t.dir.c_str(), "texturelist").c_str()));
    ASSERT_EQ(tile_count(), 4);
    const tile_info& a = tile_info_of(0);
    EXPECT_EQ(a.texture.name, "@dirt.png");
    EXPECT_EQ(a.friction_coefficient, (std::array<float, 8>{1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(a.roll_resist[7], (std::array<float, 2>{5, 15}));
    EXPECT_EQ(a.friction_speed[1], 1048576.0f);
    EXPECT_EQ(a.roost[0].mode, 1);
    EXPECT_EQ(a.roost[1].mode, 0);
    EXPECT_EQ(a.name, "");
    const tile_info& b = tile_info_of(1);
    EXPECT_EQ(b.texture.name, "@grass two.png");
    EXPECT_EQ(b.friction_coefficient[5], 0.8f);
    EXPECT_EQ(b.roll_resist[2], (std::array<float, 2>{4, 12}));
    EXPECT_EQ(tile_info_of(2).texture.name, "@2 3");  // two numbers are a name
    // Numbers that are not finite never reach the tire code: they keep their defaults.
    const tile_info& d = tile_info_of(3);
    EXPECT_EQ(d.texture.name, "@mud.png");
    EXPECT_EQ(d.friction_coefficient[0], 1.0f);
    EXPECT_EQ(d.roll_resist[0], (std::array<float, 2>{5, 9}));
    EXPECT_EQ(std::string(message_line(0)), "texturelist warning: bad number\n");
    EXPECT_EQ(std::string(message_line(1)), "texturelist warning: bad number\n");
    EXPECT_FALSE(load_texture_list("@tracks/none/texturelist"));
    EXPECT_EQ(std::string(message_line(0)), "Can't open '@tracks/none/texturelist'");
}

TEST(track_textures, StandInLoaderRecordsEachNameOnce) {
    tiles_sandbox t;
    t.put("grass.png", "x");
    t.tileinfo("texture @tracks/t/grass.png\naddtile\ntexture @missing.png\nroost\naddtile\n"
               "texture @tracks/t/grass.png\naddtile\n");
    EXPECT_EQ(recorded_texture_requests(),
              (std::vector<std::string>{"@tracks/t/grass.png", "@missing.png", "@roost.png"}));
    EXPECT_EQ(tile_info_of(0).texture.id, 1u);
    EXPECT_EQ(tile_info_of(1).texture.id, 0u);
    EXPECT_EQ(tile_info_of(2).texture.id, 1u);
    static std::vector<std::string> seen;
    seen.clear();
    track_texture_loader = [](const char* name) {
        seen.push_back(name);
        return 42u;
    };
    t.tileinfo("texture a.png\naddtile\n");
    EXPECT_EQ(seen, (std::vector<std::string>{"a.png"}));
    EXPECT_EQ(tile_info_of(0).texture.id, 42u);
    track_texture_loader = original_loader;
}

TEST(tileinfo_writer, WrittenTilesLoadBackExactly) {
    tiles_sandbox t;
    t.tileinfo(
        "texture @dirt.png\nname Dirt  \nfriction 0.9 0\nfriction 1.2 10.1\nfriction 1.0 5\nslip_function 2\n"
        "roll_resist 1.5 0.1 3\nroll_resist 2 2 0.333\n"
        "roost count=3.3 texture=\"@a b.png\" splash=1 r=1 g=2 b=3 a=4 fade_r=-128 fade_g=256 fade_b=12800\n"
        "roost slow_angle=0.1234567 fast_speed=99.99 randomize=-1e-7\n"
        "erode_depth 0.3\nerode_lower 1e-9\nerode_limit 0.1 0.5 0.25\nerode_limit 0.7 2 3\naddtile\n"
        "texture grass.png\naddtile\n");
    std::vector<tile_info> first = tile_types();
    std::string text = encode_tileinfo(first);
    EXPECT_TRUE(t.tileinfo(text).empty()) << text;
    const std::vector<tile_info>& second = tile_types();
    ASSERT_EQ(second.size(), first.size());
    for (size_t k = 0; k < first.size(); k++) {
        SCOPED_TRACE(k);
        const tile_info &a = first[k], &b = second[k];
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.texture.name, b.texture.name);
        EXPECT_EQ(a.friction_coefficient, b.friction_coefficient);
        EXPECT_EQ(a.friction_speed, b.friction_speed);
        EXPECT_EQ(a.slip_function, b.slip_function);
        EXPECT_EQ(a.roll_resist, b.roll_resist);
        EXPECT_EQ(a.roll_resist_speed, b.roll_resist_speed);
        EXPECT_EQ(a.blend, b.blend);
        for (int r = 0; r < max_roost_types; r++) {
            const roost_type &p = a.roost[r], &q = b.roost[r];
            EXPECT_EQ(p.mode, q.mode);
            EXPECT_EQ(p.texture.name, q.texture.name);
            EXPECT_EQ(std::vector<float>({p.count, p.dig, p.slip_threshold, p.slow_angle, p.fast_angle, p.slow_speed,
                                          p.fast_speed, p.size, p.grow, p.drag, p.vscale, p.randomize}),
                      std::vector<float>({q.count, q.dig, q.slip_threshold, q.slow_angle, q.fast_angle, q.slow_speed,
                                          q.fast_speed, q.size, q.grow, q.drag, q.vscale, q.randomize}));
            EXPECT_EQ(p.color, q.color);
            EXPECT_EQ(p.fade, q.fade);
        }
        EXPECT_EQ(0, memcmp(&a.erode, &b.erode, sizeof a.erode));
    }
    EXPECT_EQ(first[0].roost[0].fade, (std::array<int8_t, 4>{-1, 2, 100, -2}));
    EXPECT_EQ(first[0].erode.erode_lower, 1e-9f);
}

TEST(erode_ramps, EqualBoundsAreSteps) {
    erode_params e;
    EXPECT_FLOAT_EQ(erode_speed_factor(e, 12.5f), 0.5f);
    EXPECT_EQ(erode_speed_factor(e, 3), 0.0f);
    EXPECT_EQ(erode_slip_factor(e, 100), 1.0f);
    e.erode_off_speed = e.erode_on_speed = 10;
    e.erode_slip_lower = e.erode_slip_upper = 0;
    EXPECT_EQ(erode_speed_factor(e, 9.99f), 0.0f);
    EXPECT_EQ(erode_speed_factor(e, 10), 1.0f);
    EXPECT_EQ(erode_slip_factor(e, 0), 1.0f);
    EXPECT_EQ(erode_push_strength(e, 100), 0.5f);
    e.erode_lower = 200;  // bounds the other way round: a falling ramp
    EXPECT_EQ(erode_push_strength(e, 100), 1.0f);
    EXPECT_FLOAT_EQ(erode_push_strength(e, 175), 0.5f);
    EXPECT_EQ(erode_push_strength(e, 1000), 0.0f);
}

}  // namespace
