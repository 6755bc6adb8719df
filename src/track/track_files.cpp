// Track file names and the default (log-only) loading progress.
#include "track/track_files.h"

#include "core/diag.h"
#include "core/loading.h"
#include "core/scan.h"
#include "core/text.h"
#include "vfs/vfs.h"

namespace {
std::string g_step_text;  // the step being shown
}  // namespace

std::string track_file_name(const char* track_dir, const char* file) {
    std::string dir = track_dir ? track_dir : "";
    std::string name = dir.empty() || dir[0] != '@' ? "@" + dir : dir;
    if (!dir.empty() && dir.back() != '/') name += '/';
    return name + file;
}

void track_step_begin(const char* text) {
    g_step_text = text;
    loading_step_begin(text);
}

void track_step_tick() { loading_step_tick(g_step_text.c_str()); }

void track_step_done() { loading_step_done(g_step_text.c_str()); }

std::string exact_float_text(float v) {
    std::string text = format_string("%f", (double)v);
    // Checked with the same scanner the loaders read "%f" with.
    float back;
    if (string_scanf(text.c_str(), text.size(), nullptr, "%f", &back) == 1 && back == v) return text;
    return format_string("%.9g", (double)v);
}
