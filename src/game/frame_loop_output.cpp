// What the loop writes out: screenshots, raw video frames on standard output,
// the recorded mix, and the orientation lines.
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/clock.h"
#include "core/cmdline.h"
#include "core/diag.h"
#include "game/frame_loop_internal.h"
#include "game/startup.h"
#include "core/text.h"
#include "vfs/vfs.h"

using namespace frame_loop_detail;

namespace {

frame_loop_state& L = loop_state;

constexpr char screenshot_prefix[] = "screenshot";
// Numbers beyond this are not ours (and would overflow the next one).
constexpr long screenshot_number_limit = 99999999;

}  // namespace

int first_screenshot_number(const char* const* names) {
    long highest = 0;
    const size_t prefix = strlen(screenshot_prefix);
    for (const char* const* p = names; p && *p; p++) {
        const char* name = *p;
        if (strncmp(name, screenshot_prefix, prefix) != 0) continue;
        // Digits straight after the prefix: no blanks, no sign.
        const char* d = name + prefix;
        if (*d < '0' || *d > '9') continue;
        long n = 0;
        for (; *d >= '0' && *d <= '9'; d++) {
            n = n * 10 + (*d - '0');
            if (n > screenshot_number_limit) break;
        }
        if (n > screenshot_number_limit) continue;
        if (n > highest) highest = n;
    }
    return (int)highest + 1;
}

void take_screenshot(int width, int height) {
    if (L.screenshot_counter == 0) L.screenshot_counter = first_screenshot_number(file_list());
    std::string name = format_string("screenshot%03d.png", L.screenshot_counter++);
    if (render_hook.save_screenshot && render_hook.save_screenshot(("@" + name).c_str(), width, height))
        show_messagef("Saved \"%s\"", name.c_str());
    else
        show_messagef("Can't save \"%s\"", name.c_str());
}

namespace frame_loop_detail {

void write_video_frame(int width, int height) {
    if (!render_hook.read_frame || width <= 0 || height <= 0) return;
    std::vector<uint8_t> rgb;
    if (!render_hook.read_frame(width, height, rgb) || rgb.size() != (size_t)width * (size_t)height * 3) return;
    // Rows go out top row first, so that every frame is upright.
    bool ok = fprintf(stdout, "P6\n%d %d\n255\n", width, height) > 0;
    ok = ok && fwrite(rgb.data(), 1, rgb.size(), stdout) == rgb.size();
    ok = ok && fflush(stdout) == 0;
    if (!ok) {
        cmdline.record_video = false;
        show_message("Video recording stopped: standard output could not be written");
    }
}

void record_audio_block() {
    if (!record_audio_stream || !audio_hook.mix_block) return;
    const uint8_t* bytes = nullptr;
    size_t count = 0;
    if (!audio_hook.mix_block(bytes, count) || !bytes || count == 0) return;
    if (vfs_write(record_audio_stream, bytes, count) != count && !L.audio_write_failed) {
        L.audio_write_failed = true;
        show_message("Writing the recorded audio failed");
    }
}

void print_orientation() {
    if (!render_hook.eye_orientation) return;
    std::array<double, 3> p, x, z;
    if (!render_hook.eye_orientation(p, x, z)) return;
    double t = (race_hook.local_tic ? race_hook.local_tic() : 0) * tic_length;
    printf("t=%f p0=%f p1=%f p2=%f x0=%f x1=%f x2=%f z0=%f z1=%f z2=%f\n", t, p[0], p[1], p[2], x[0], x[1], x[2], z[0],
           z[1], z[2]);
}

}  // namespace frame_loop_detail
