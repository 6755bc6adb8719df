// What the track loaders share: file names inside a track directory, the
// loading-screen progress calls and the detail level of their log lines.
#pragma once

#include <string>

// "@" + dir + "/" + file: the data-directory name that finds the file in the
// home folder, the data folders and the archives alike.
std::string track_file_name(const char* track_dir, const char* file);

// The loading screen's progress step of the track loaders: the step's text
// is kept so its ticks and its end show it again.
void track_step_begin(const char* text);
void track_step_tick();
void track_step_done();

// A float as text that reads back as the same float: "%f" when that is
// exact, else enough significant digits ("%.9g"). The text writers use it so
// that a saved file loads as exactly what was saved.
std::string exact_float_text(float v);
