// The race and the menus as the live-window test needs them: a local rider
// with a bike in every slot, as far as the frame loop asks, whose controls
// are noted; menus that take keys and draw nothing; demo keys that do
// nothing. The test links them in place of the race, demo and
// user-interface libraries.
#pragma once

#include <vector>

// The throttle of every tic's controls handed to the local bike.
extern std::vector<double> handed_throttle;
