// The race as the game layer drives it: the slots start-up leaves for the
// first race, a reset with the configuration's settings, the local rider's
// controls, what the frame loop asks of the slots, and the race's answers to
// the layers below it, which the game puts into their driver tables.
#pragma once

#include "core/controls.h"

struct object_race_driver;
struct rider_driver;
struct track_part_driver;

// ---- start-up and shutdown ------------------------------------------------------------
// Empties all 160 slots; with local_player slot 0 is the local player in
// the next reset.
void empty_slots(bool local_player);
// A race on the track (the selected one when null) with the lineup
// empty_slots left, the configuration's race length and robot skill, and
// whether to record; in demo playback mode when asked, playing the demo
// named on the command line and recording nothing.
bool reset_race_with_settings(const char* track, bool playback);

// ---- the frame loop -----------------------------------------------------------------
// A slot's kind (local_slot, replayed_slot, robot_slot), or -1 when it holds
// no rider.
int slot_type(int slot);
bool slot_has_bike(int slot);
// The running order's slots, leader first, at most `max`; returns how many.
int running_order_slots(int* slots, int max);
// One tic's nine control values for the bike of a slot.
void set_bike_controls(int slot, const control_values& controls);
// The player's setup applied to the viewed bike when it is the local
// rider's (the menus, after a setup change).
void apply_setup_to_viewed_bike();
// A timed attempt of free riding is running; and aborting it.
bool attempt_running();
void abort_attempt();
// "--warp": the leader has completed the race's laps; then the lineup turns
// by one place and the race starts again with the same settings.
bool leader_finished();
void restart_rotated();
// Lifting a slot's bike clear of the ground after the terrain was edited.
bool slot_bike_touches(int slot);
void raise_slot_bike(int slot, double dy);

// ---- the race's answers to the layers below -------------------------------------------
// Fills the race's entries of their driver tables: the track loader's timing
// gates (the gates, the gate pieces as statues, the kept lap counts), what
// the track's objects read of the race (clock, lap lists, running order,
// riders down), and whether a rider is racing for the rider code. The game
// fills the tables with it at start-up; tests of whole races do the same.
void fill_race_parts(track_part_driver& parts, object_race_driver& objects, rider_driver& rider);
// A race without the game around it (the race server, the headless runner,
// tests): the track, solid-object, object and rider tables emptied, then
// filled with the race's entries and the track objects' own.
void standalone_race_parts();
// Empties those four tables again.
void clear_race_parts();
