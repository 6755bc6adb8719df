// A rider thrown on the default track: straight into a hay bale or a
// barrier block at 60 ft/s in simulation physics. (In arcade physics only
// the rider's own shape meeting a statue throws the rider, and the track's
// solid scenery stands lower than a rider's chest.)
#include <cmath>

#include "bike/crash.h"
#include "rabbit_hill_fixture.h"
#include "track/objects_statues.h"

namespace {

struct statue_hit : rabbit_hill {
    bike_setup saved = player_setup;
    void TearDown() override {
        player_setup = saved;
        rabbit_hill::TearDown();
    }
};

TEST_F(statue_hit, SixtyFeetASecondIntoASolidStatueThrowsTheRider) {
    player_setup.arcade = 0;
    ASSERT_TRUE(reset_race(lineup({slot_kind_human})));
    const std::vector<statue>& statues = track_statues();
    int hit = -1;
    for (int i = first_track_statue(); i < (int)statues.size() && hit < 0; i++)
        if (statues[(size_t)i].shape) hit = i;
    ASSERT_GE(hit, 0) << "no solid scenery";
    const statue& target = statues[(size_t)hit];
    bike_state& b = *bike_in_slot(0);
    // 40 ft short of it, facing it along +x (a heading of -pi/2).
    reset_bike(b);
    drop_bike(b, target.x - 40, target.z, (float)(-M_PI / 2));
    roll_bike(b, 60);
    control_values c{};
    c[throttle_control] = 0.5;
    for (int t = 0; t < 2 * tics_per_second && !rider_is_down(b); t++) {
        set_bike_controls(0, c);
        simulate_tic();
    }
    EXPECT_TRUE(rider_is_down(b));
    EXPECT_EQ(b.crash_count, 1);
}

}  // namespace
