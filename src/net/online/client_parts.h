// The connection's reach into the race, the track, the demos and the menus,
// and their reach into the connection: the game fills both tables with this
// at start-up.
#pragma once

struct race_driver;
struct frame_slot_driver;

void fill_client_parts(race_driver& race, frame_slot_driver& frame);
// The rider visibility test online and for replayed riders; `camera_slot` is
// the slot the camera views. Demos' own test is `history_hidden`.
bool client_slot_hidden(int slot, int camera_slot, bool (*history_hidden)(int slot));
