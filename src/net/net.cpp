// Stand-ins until the client is built: offline throughout.
#include "net/net.h"

bool net_connected() { return false; }
void net_disconnect() {}
void net_shutdown() {}
void net_tick() {}
bool net_server_tic_received() { return false; }
int net_server_tic() { return 0; }
bool net_has_server_slot() { return false; }
const char* net_rider_name(int) { return nullptr; }
void net_send_text(const char*) {}
