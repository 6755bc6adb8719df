// Where the rider and collision code reach into parts of the game that sit
// above the bike: the robots' riding lines and the race state. The game
// fills "racing" with the race's answer at start-up (fill_race_parts);
// robots are not built yet. Each entry left null does nothing (a null query
// answers no), which is what a bike without those parts gets.
#pragma once

struct bike_state;

struct rider_driver {
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
