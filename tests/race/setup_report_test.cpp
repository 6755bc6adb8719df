// The setup-change report's flags follow setups applied to the local bike.
#include <gtest/gtest.h>

#include <string>

#include "core/bike_setup.h"
#include "core/setup_watch.h"
#include "rabbit_hill_fixture.h"

namespace {

TEST_F(rabbit_hill, SetupAppliedMidRaceIsFlaggedForTheReport) {
    ASSERT_TRUE(reset_race(lineup({slot_kind_human, slot_kind_robot})));
    EXPECT_FALSE(setup_change_report());  // the reset remembers the setup it applied
    player_setup.roll_damping += 5;
    player_setup.shock_preload_adjustment += 1;
    apply_setup_to_viewed_bike();
    std::optional<std::string> report = setup_change_report();
    ASSERT_TRUE(report);
    EXPECT_EQ(*report, "[SPAM] setup change -d" + std::string(31, '-') + "p-----\n");

    // Watching a robot's bike: nothing is applied, nothing flagged.
    remember_setup_values();
    race.viewed_slot = 1;
    player_setup.rider_yspring += 3;
    apply_setup_to_viewed_bike();
    EXPECT_FALSE(setup_change_report());
}

}  // namespace
