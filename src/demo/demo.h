// Demos: the recorder that writes the riders' state histories into a demo
// file, playback that feeds a demo's riders back into replayed slots,
// rewinding and skipping, and the lap ghost of free riding. The race reaches
// all of it through its driver table (fill_demo_parts); start-up, the menus
// and the frame loop call the functions below.
#pragma once

#include <string>
#include <vector>

struct race_driver;
struct frame_slot_driver;

// The race tic and reset steps, and the frame drawing's replayed and hidden
// riders, as the demos fill them.
void fill_demo_parts(race_driver& race, frame_slot_driver& frame);

// ---- recording ---------------------------------------------------------------------
// Opens the output demo for the race just set up and writes its header:
// in free riding "lastlap.kvdemo" in the track's directory, otherwise
// "@demos/default.kvdemo" after rotating the backups. Nothing is recorded
// when the file cannot be opened.
void start_recording();
// Once per tic after the tic counter moved on: every 4 tics the recorded
// riders' states enter their histories, every 16 tics the new ones are
// written as one chunk and the file flushed; `force` does both now.
void record_tic(bool force);
// Writes what is pending, closes the file and gives it the name set with
// set_demo_name.
void stop_recording();
bool recording_demo();
// The console's "namedemo": the name the demo being recorded takes when it
// is closed. Reports "Not currently recording a demo", "Name too long" or
// "Demo name updated".
void set_demo_name(const char* text);
// Records a race server sends while a demo is recorded: a text message, a
// command ("erode %d") and a terrain deformation message.
void record_demo_text(const char* text);
void record_demo_command(const char* text);
void record_demo_deformation(const void* message, size_t length);

// ---- playback ----------------------------------------------------------------------
// Reads a demo's header for playback; false, with a message saying why,
// when it is not a demo that can be played. `track` receives its track.
bool open_playback(const char* path, std::string& track);
void close_playback();
bool playing_demo();
// Once per tic after record_tic: feeds the demo's states up to 64 tics
// ahead of the race clock into the replayed slots' histories.
void read_playback();
// Rewinds (negative) or skips (positive) by the seconds; only while every
// rider is played back from a demo and nothing is recorded.
void seek_playback(double seconds);

// The start-up, menu and key entry points.
bool demo_playback_available();
bool open_demo(const char* name, std::string& track);
void close_demo();
void demo_rewind();
void demo_skip();

// The demo files under "@demos/" that are in the player's home directory
// now ("demos/<name>.kvdemo", sorted), recorded ones included.
std::vector<std::string> home_demo_names();

// ---- free riding -------------------------------------------------------------------
// The times of the last and the best lap ridden against the ghost since the
// free-riding reset, in tics; 0 when there is none.
struct free_riding_times {
    int last_lap = 0;
    int best_lap = 0;
};
free_riding_times free_riding_laps();
