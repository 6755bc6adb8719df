// The multiplayer client as the rest of the game calls it; the connection
// itself is in client.h.
#pragma once

bool net_connected();
// Leaves the server at once: one disconnect packet and a reset.
void net_disconnect();
// The network library, at shutdown.
void net_shutdown();
// Once per tic: the connection's reading and sending.
void net_tick();
// The server has delivered at least one tic, and its clock as followed here.
bool net_server_tic_received();
int net_server_tic();
// The server has given us a place in the race (until then the ride is a
// warm-up).
bool net_has_server_slot();
// The rider name the server gave a slot, or null.
const char* net_rider_name(int slot);
// A text message to the server, cut to what the message holds.
void net_send_text(const char* text);
// "--connect": contacting starts at the next tick, with the password and
// the simulated lag (seconds) and loss (percent) of the command line.
void net_connect(const char* address, const char* password, double fake_lag, int fake_loss);
