// The race's part of start-up and shutdown.
#pragma once

// Fills the race entries of core's hook tables, the bike's control setter,
// the track loader's timing-gates part and what the track objects read of
// the race.
void install_race();
