// The bike subsystem's part of start-up and shutdown.
#pragma once

// Fills the bike and physics entries of core's hook tables.
void install_bike();
