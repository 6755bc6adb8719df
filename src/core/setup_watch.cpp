#include "core/setup_watch.h"

#include <array>

#include "core/bike_setup.h"

namespace {

struct watched {
    double bike_setup::*field;
    char letter;
};
const watched watch_list[setup_watch_count] = {
    {&bike_setup::leveling, 'l'},
    {&bike_setup::roll_damping, 'd'},
    {&bike_setup::roll_limit_angle, 'a'},
    {&bike_setup::roll_limit_factor, 'x'},
    {&bike_setup::steering_damping, 'd'},
    {&bike_setup::steering_strength, 's'},
    {&bike_setup::max_steering_force, 'm'},
    {&bike_setup::direct_steering, 'd'},
    {&bike_setup::slow_damping_speed, 's'},
    {&bike_setup::slow_damping_factor, 'x'},
    {&bike_setup::land_damping_falloff, 'l'},
    {&bike_setup::land_damping_factor, 'x'},
    {&bike_setup::full_lock_speed, 'l'},
    {&bike_setup::restricted_lock_speed, 's'},
    {&bike_setup::restricted_lock, 'a'},
    {&bike_setup::auto_clutch_rpms, 'c'},
    {&bike_setup::brake_torque, 'f'},
    {&bike_setup::rear_brake_torque, 'r'},
    {&bike_setup::max_dab_speed, 'd'},
    {&bike_setup::front_sprocket_adjustment, 'g'},
    {&bike_setup::rear_sprocket_adjustment, 'g'},
    {&bike_setup::fork_compression_adjustment, 'C'},
    {&bike_setup::fork_slow_compression_adjustment, 'c'},
    {&bike_setup::fork_rebound_adjustment, 'R'},
    {&bike_setup::fork_slow_rebound_adjustment, 'r'},
    {&bike_setup::fork_spring_rate_adjustment, 's'},
    {&bike_setup::fork_preload_adjustment, 'p'},
    {&bike_setup::fork_oil_level_adjustment, 'l'},
    {&bike_setup::shock_compression_adjustment, 'C'},
    {&bike_setup::shock_slow_compression_adjustment, 'c'},
    {&bike_setup::shock_rebound_adjustment, 'R'},
    {&bike_setup::shock_slow_rebound_adjustment, 'r'},
    {&bike_setup::shock_spring_rate_adjustment, 's'},
    {&bike_setup::shock_preload_adjustment, 'p'},
    {&bike_setup::rider_yspring, 'y'},
    {&bike_setup::rider_zspring, 'z'},
    {&bike_setup::rider_ydamping, 'Y'},
    {&bike_setup::rider_zdamping, 'Z'},
    {&bike_setup::rider_mass_distribution, 'm'},
};

std::array<double, setup_watch_count> remembered{};
std::array<bool, setup_watch_count> changed{};

}  // namespace

void remember_setup_values() {
    for (int i = 0; i < setup_watch_count; i++) {
        remembered[(size_t)i] = player_setup.*watch_list[i].field;
        changed[(size_t)i] = false;
    }
}

void flag_setup_changes() {
    for (int i = 0; i < setup_watch_count; i++)
        if (player_setup.*watch_list[i].field != remembered[(size_t)i]) changed[(size_t)i] = true;
}

bool setup_changed(int entry) { return entry >= 0 && entry < setup_watch_count && changed[(size_t)entry]; }

std::optional<std::string> setup_change_report() {
    std::string text = "[SPAM] setup change ";
    bool any = false;
    for (int i = 0; i < setup_watch_count; i++) {
        text += changed[(size_t)i] ? watch_list[i].letter : '-';
        any = any || changed[(size_t)i];
    }
    if (!any) return std::nullopt;
    return text + "\n";
}
