#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "bike/bike_info.h"
#include "core/bike_names.h"
#include "core/diag.h"

namespace {

const bike_info& model(const char* name) {
    const bike_info* b = find_bike_info(name);
    EXPECT_NE(b, nullptr) << name;
    return b ? *b : bike_info_table[0];
}

TEST(bike_table, LookupIsExactAndCaseSensitive) {
    const bike_info* se = find_bike_info("yz250f_se(2006)");
    ASSERT_NE(se, nullptr);
    EXPECT_EQ(bike_info_index(se), 44);
    EXPECT_EQ(find_bike_info("YZ250F_SE(2006)"), nullptr);
    EXPECT_EQ(find_bike_info("cr12"), nullptr);
    EXPECT_EQ(find_bike_info("cr125 "), nullptr);
    EXPECT_EQ(find_bike_info(nullptr), nullptr);
    EXPECT_EQ(bike_info_index(nullptr), -1);
}

TEST(bike_table, UnknownNamesFallBackBySizeClassWithMessage) {
    clear_message_history();
    const bike_info& a = bike_info_for_load("my125custom");
    EXPECT_STREQ(a.name, "cr125");
    EXPECT_STREQ(message_line(0), "bike info for 'my125custom' not found using 'cr125' instead");

    const bike_info& b = bike_info_for_load("CRF250(2018)");
    EXPECT_STREQ(b.name, "kx250f(2007)");
    EXPECT_STREQ(message_line(0), "bike info for 'CRF250(2018)' not found using 'kx250f(2007)' instead");

    // The request is cut to 20 characters in the message.
    bike_info_for_load("abcdefghijklmnopqrstuvwxyz");
    EXPECT_STREQ(message_line(0), "bike info for 'abcdefghijklmnopqrst' not found using 'kx250f(2007)' instead");

    bike_info_for_load("");
    EXPECT_STREQ(message_line(0), "bike info for '' not found using 'kx250f(2007)' instead");

    // A known name loads silently.
    clear_message_history();
    EXPECT_STREQ(bike_info_for_load("rs50yz").name, "rs50yz");
    EXPECT_STREQ(message_line(0), "");
}

TEST(bike_table, NamesAndEngineClassesFollowTheSharedList) {
    std::set<std::string> names;
    for (int i = 0; i < bike_model_count; i++) {
        const bike_info& b = bike_info_table[i];
        EXPECT_STREQ(b.name, bike_model_names[i]) << i;
        names.insert(b.name);
        EXPECT_EQ(find_bike_info(b.name), &b);
        std::string n = b.name, c = b.engine_class;
        std::string expected;
        if (n == "cr125" || n == "kx125" || n == "rm125" || n == "yz125" || n == "125sx")
            expected = "125";
        else if (n == "cr250(2007)" || n == "kx250(2006)" || n == "rm250(2008)" || n == "yz250(2012)" ||
                 n == "250sx(2012)")
            expected = "250";
        else if (n.rfind("rs50", 0) == 0)
            expected = "50";
        else if (n.rfind("crf450", 0) == 0 || n.rfind("kx450f", 0) == 0 || n.rfind("rmz450", 0) == 0 ||
                 n.rfind("yz450f", 0) == 0 || n.rfind("450sxf", 0) == 0 || n.rfind("fc450", 0) == 0 ||
                 n == "350sxf(2011)")
            expected = "450f";
        else
            expected = "250f";
        EXPECT_EQ(c, expected) << n;
        // Both text fields are NUL-padded to their full width.
        for (size_t k = strlen(b.name); k < sizeof b.name; k++) EXPECT_EQ(b.name[k], 0);
    }
    EXPECT_EQ(names.size(), (size_t)bike_model_count);
}

TEST(bike_table, EveryModelSharesTheGeometry) {
    const bike_info& c = bike_info_table[0];
    EXPECT_STREQ(c.model_files[file_frame_model], "@cr125_frame.jm");
    EXPECT_STREQ(c.model_files[file_bike_texture], "@cr125.png");
    EXPECT_STREQ(c.model_files[file_front_plate_model], "@cr125_front_plate.jm");
    EXPECT_STREQ(c.model_files[file_rider_shape], "@generic_rider.shp");

    for (const bike_info& b : bike_info_table) {
        SCOPED_TRACE(b.name);
        EXPECT_EQ(memcmp(&b.front_wheel, &c.front_wheel, sizeof c.front_wheel), 0);
        EXPECT_EQ(memcmp(&b.rear_wheel, &c.rear_wheel, sizeof c.rear_wheel), 0);
        EXPECT_EQ(memcmp(b.frame_position, c.frame_position, sizeof c.frame_position), 0);
        EXPECT_EQ(memcmp(b.fork_upper_position, c.fork_upper_position, sizeof c.fork_upper_position), 0);
        EXPECT_EQ(memcmp(b.swingarm_pivot, c.swingarm_pivot, sizeof c.swingarm_pivot), 0);
        EXPECT_EQ(memcmp(b.rider_position, c.rider_position, sizeof c.rider_position), 0);
        EXPECT_EQ(memcmp(&b.rider, &c.rider, sizeof c.rider), 0);
        EXPECT_EQ(b.fork_travel, c.fork_travel);
        EXPECT_EQ(b.linkage_slope_end, c.linkage_slope_end);
        EXPECT_EQ(b.rider_slide_min, c.rider_slide_min);
        // Generic rows are the same files everywhere; the model's own rows
        // carry one prefix.
        std::string prefix = b.model_files[file_bike_texture];
        ASSERT_GT(prefix.size(), 5u);
        prefix = prefix.substr(0, prefix.size() - 4);
        EXPECT_EQ(std::string(b.model_files[file_frame_model]), prefix + "_frame.jm");
        EXPECT_EQ(std::string(b.model_files[file_swingarm_model]), prefix + "_swingarm.jm");
        EXPECT_EQ(std::string(b.model_files[file_side_plates_model]), prefix + "_side_plates.jm");
        for (int row : {file_frame_shape, file_fork_upper_shape, file_front_wheel_model, file_wheel_texture,
                        file_rider_body_texture, file_rider_plate_model})
            EXPECT_STREQ(b.model_files[row], c.model_files[row]);
    }
}

// Spot checks where the listed values had to be reconciled or derived.
TEST(bike_table, ListedRowsKeepTheirValues) {
    const bike_info& cr = model("cr125");
    EXPECT_EQ(cr.fork_mass, 0.7396875f);  // the full-precision value the masses add up with
    EXPECT_EQ(cr.torque_open[20], 15.9664f);
    EXPECT_EQ(cr.torque_open[25], 2.10085f);
    EXPECT_EQ(cr.torque_open[49], -11);
    EXPECT_EQ(cr.torque_closed[18], -6);
    EXPECT_EQ(cr.torque_closed[19], -7);  // the paired tail starts at 9500 rpm
    EXPECT_EQ(cr.torque_closed[20], -7);
    EXPECT_EQ(model("crf450(2018)").torque_closed[49], -23);
    EXPECT_EQ(model("kx250(2006)").shock_spring_stiff, 4770.98f);
    const bike_info& m = model("rs50cr");
    EXPECT_EQ(m.gear_ratios[5], 0.9565f);
    EXPECT_EQ(m.torque_closed[3], 0);  // half the two-stroke braking from 2000 rpm on
    EXPECT_EQ(m.torque_closed[4], -0.5f);
}

// Plausibility of every entry, the invented ones included.
TEST(bike_table, EveryEntryIsConsistent) {
    const bike_info& cr = model("cr125");
    const bike_info& four = model("crf450(2018)");
    for (const bike_info& b : bike_info_table) {
        SCOPED_TRACE(b.name);
        std::string cls = b.engine_class;
        bool four_stroke = cls == "250f" || cls == "450f";

        // Gears: -1 can only mark the sixth gear, and the ratios fall.
        int gears = 0;
        for (int g = 0; g < bike_gear_count; g++) {
            if (b.gear_ratios[g] > 0) {
                EXPECT_EQ(gears, g) << "missing gear before gear index " << g;
                gears++;
                if (g > 0) {
                    EXPECT_LT(b.gear_ratios[g], b.gear_ratios[g - 1]);
                }
            } else {
                EXPECT_EQ(b.gear_ratios[g], -1);
            }
        }
        EXPECT_TRUE(gears == 5 || gears == 6);
        EXPECT_GE(b.countershaft_teeth, 10);
        EXPECT_GT(b.rear_sprocket_teeth, b.countershaft_teeth);

        EXPECT_LT(b.shift_down_rpm, b.shift_up_rpm);
        EXPECT_LT(b.fork_spring_soft, b.fork_spring_stiff);
        EXPECT_LT(b.shock_spring_soft, b.shock_spring_stiff);
        EXPECT_GT(b.frame_mass, 3);
        EXPECT_LT(b.frame_mass, 5);
        EXPECT_GT(b.engine_inertia, 0);
        EXPECT_GT(b.drive_stiffness, 0);
        EXPECT_GT(b.rider_mass, 4);

        // Open throttle: positive up to past the shift-up point, then a
        // negative tail that only falls; no jumps bigger than the rev limiter's.
        float peak = 0;
        for (float t : b.torque_open) peak = std::max(peak, t);
        int shift_up_point = (int)std::ceil(b.shift_up_rpm * torque_index_per_rpm);
        int first_negative = -1;
        for (int i = 0; i < torque_points; i++) {
            EXPECT_TRUE(std::isfinite(b.torque_open[i]));
            if (i <= shift_up_point) {
                EXPECT_GT(b.torque_open[i], 0) << "point " << i;
            }
            if (first_negative < 0 && b.torque_open[i] < 0) first_negative = i;
            if (i > 0) {
                EXPECT_LE(std::fabs(b.torque_open[i] - b.torque_open[i - 1]), 0.7f * peak) << "point " << i;
                if (first_negative >= 0 && i > first_negative) {
                    EXPECT_LE(b.torque_open[i], b.torque_open[i - 1]);
                }
            }
        }
        ASSERT_GT(first_negative, shift_up_point);
        EXPECT_LT(b.torque_open[torque_points - 1], 0);

        // Closed throttle: the shared curve of the engine's kind.
        for (int i = 0; i < torque_points; i++) {
            float expected = four_stroke ? four.torque_closed[i]
                             : cls == "50" && i >= 4 ? cr.torque_closed[i] * 0.5f
                                                     : cr.torque_closed[i];
            EXPECT_EQ(b.torque_closed[i], expected) << "point " << i;
            if (i > 0) {
                EXPECT_LE(b.torque_closed[i], b.torque_closed[i - 1]);
            }
            // Full throttle never brakes harder than a closed one.
            EXPECT_GE(b.torque_open[i], b.torque_closed[i]);
        }
    }
}

TEST(bike_table, SizeClassesDifferAsExpected) {
    auto peak = [](const bike_info& b) {
        float p = 0;
        for (float t : b.torque_open) p = std::max(p, t);
        return p;
    };
    auto peak_rpm = [](const bike_info& b) {
        int k = 0;
        for (int i = 0; i < torque_points; i++)
            if (b.torque_open[i] > b.torque_open[k]) k = i;
        return k * 500;
    };
    for (const bike_info& b : bike_info_table) {
        SCOPED_TRACE(b.name);
        std::string cls = b.engine_class;
        if (cls == "450f" && std::string(b.name).rfind("350", 0) != 0) {
            EXPECT_GT(peak(b), 30);
            EXPECT_LT(peak_rpm(b), 9500);
        } else if (cls == "125") {
            EXPECT_GT(peak(b), 14);
            EXPECT_LT(peak(b), 18);
            EXPECT_GE(peak_rpm(b), 9500);
        } else if (cls == "50") {
            EXPECT_LT(peak(b), 6);
        }
    }
    // Model years of one family differ a little.
    EXPECT_NEAR(peak(model("crf250(2007)")) / peak(model("crf250(2018)")), 1, 0.1);
    EXPECT_NE(peak(model("crf250(2007)")), peak(model("crf250(2018)")));
}

TEST(bike_table, GearValidityAndReductions) {
    const bike_info& cr = model("cr125");
    EXPECT_TRUE(gear_exists(cr, 0));
    EXPECT_TRUE(gear_exists(cr, 4));
    EXPECT_FALSE(gear_exists(cr, 5));
    EXPECT_FALSE(gear_exists(cr, 6));
    EXPECT_FALSE(gear_exists(cr, -1));
    EXPECT_EQ(valid_gear(cr, 5), 4);
    EXPECT_EQ(valid_gear(cr, 3), 3);
    EXPECT_EQ(valid_gear(cr, 9), 4);
    EXPECT_EQ(valid_gear(cr, -3), 0);
    EXPECT_EQ(valid_gear(model("yz125"), 5), 5);
    EXPECT_EQ(valid_gear(model("125sx"), 5), 5);

    EXPECT_DOUBLE_EQ(final_drive_ratio(cr, 0, 0), 4);
    EXPECT_DOUBLE_EQ(final_drive_ratio(cr, -2, 0), 52.0 / 11);
    EXPECT_DOUBLE_EQ(final_drive_ratio(cr, 1, 2), 54.0 / 14);
    // Fractions are floored; no sprocket has fewer than 3 teeth.
    EXPECT_DOUBLE_EQ(final_drive_ratio(cr, 0.5, -0.5), 51.0 / 13);
    EXPECT_DOUBLE_EQ(final_drive_ratio(cr, -20, -100), 1);
    EXPECT_DOUBLE_EQ(final_drive_ratio(cr, -11, 0), 52.0 / 3);

    EXPECT_NEAR(total_reduction(cr, 0, 4), 3.15 * 2.3571 * 4, 1e-5);
    // A gear the model lacks reduces like the gear it falls back to.
    EXPECT_DOUBLE_EQ(total_reduction(cr, 5, 4), total_reduction(cr, 4, 4));
    EXPECT_GT(total_reduction(cr, 5, 4), 0);
}

}  // namespace
