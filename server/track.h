// The server's one track, loaded headless by the game's track code.
#pragma once

#include <string>

#include "server.h"

// data_dir: an extra data root (empty: the program's folder and the
// player's folder, as the game has them).
bool load_server_track(const std::string& data_dir, const std::string& dir, server_track& out, std::string& error);
void free_server_track();
