// The multiplayer client as the rest of the game calls it. The wire is
// built (packets.h, messages.h, reliable.h, socket.h); the client's
// connection states and remote riders that use it are not built yet: for
// now there is never a connection, and the calls that would act on one do
// nothing.
#pragma once

bool net_connected();
// Leaves the server and resets every connection state.
void net_disconnect();
// The network library, at shutdown.
void net_shutdown();
// Once per tic: the connection's reading and sending.
void net_tick();
// The server has delivered at least one tic, and its latest tic.
bool net_server_tic_received();
int net_server_tic();
// The server has given us a slot (until then the ride is a warm-up).
bool net_has_server_slot();
// The rider name the server gave a replayed slot, or null.
const char* net_rider_name(int slot);
// A text message to the server, cut to what the packet holds.
void net_send_text(const char* text);
