// Demo playback as start-up, the menus and the frame loop call it. Demo files
// and the state history are not built yet: playback is never available, and
// opening a demo says so.
#pragma once

#include <string>

// Whether demos can be played in this build.
bool demo_playback_available();
// Opens a demo for playback and gives its track; false when it cannot.
bool open_demo(const char* name, std::string& track);
// Closes the demo being recorded or played.
void close_demo();
// One step back and one step forward in the demo being played.
void demo_rewind();
void demo_skip();
