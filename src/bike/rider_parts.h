// Where the rider and collision code reach into parts of the game that sit
// above the bike: crashes and the rider's way back, the robots' riding
// lines and the race state. The game fills "racing" with the race's answer
// at start-up (fill_race_parts); crashes and robots are not built yet. Each
// entry left null does nothing (a null query answers no), which is what a
// bike without those parts gets.
#pragma once

struct bike_state;

struct rider_driver {
    // The overload test at the start of the rider code while the rider is
    // on the bike; it may make the rider come off.
    void (*crash_check)(bike_state& bike, int tic) = nullptr;
    // Makes the rider come off the bike (a head-first ground hit or a
    // statue hit in the collision pass).
    void (*crash)(bike_state& bike) = nullptr;
    // Each tic while the rider is off the bike: tethers, knockout time and
    // the pull back onto the seat.
    void (*crash_step)(bike_state& bike, int tic) = nullptr;
    // The next target point of the bike's riding line (world position);
    // false when the bike has no line.
    bool (*line_target)(const bike_state& bike, float out[3]) = nullptr;
    // The race is on for this rider and the rider has not finished.
    bool (*racing)(const bike_state& bike) = nullptr;
    // A contact with another bike: the robot forgets the line ids of the
    // last four stretches it kept.
    void (*clear_recent_lines)(bike_state& bike) = nullptr;
};
extern rider_driver rider_parts;

// Calls the crash entry when there is one.
void request_crash(bike_state& bike);
