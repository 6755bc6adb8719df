// What the loop writes out: screenshots, raw video frames on standard output,
// the recorded mix, and the orientation lines.
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/clock.h"
#include "core/cmdline.h"
#include "core/diag.h"
#include "core/text.h"
#include "game/frame_loop_internal.h"
#include "platform/main_window.h"
#include "race/race.h"
#include "render/frame_draw.h"
#include "render/gl_frame.h"
#include "vfs/vfs.h"

using namespace frame_loop_detail;

vfs_file* record_audio_stream = nullptr;

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
    if (save_screenshot(("@" + name).c_str(), width, height))
        show_messagef("Saved \"%s\"", name.c_str());
    else
        show_messagef("Can't save \"%s\"", name.c_str());
}

namespace frame_loop_detail {

void write_video_frame(int width, int height) {
    if (width <= 0 || height <= 0) return;
    std::vector<uint8_t> rgb;
    if (!read_frame(width, height, rgb) || rgb.size() != (size_t)width * (size_t)height * 3) return;
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
    if (!record_audio_stream) return;
    const uint8_t* bytes = nullptr;
    size_t count = 0;
    if (!mix_audio_block(bytes, count) || !bytes || count == 0) return;
    if (vfs_write(record_audio_stream, bytes, count) != count && !L.audio_write_failed) {
        L.audio_write_failed = true;
        show_message("Writing the recorded audio failed");
    }
}

// The first-person eye point and the rider's right and rear axes, as slot 0
// sees them.
void print_orientation() {
    frame_camera cam;
    if (!first_person_camera(0, cam)) return;
    const std::array<double, 3>& p = cam.position;
    const std::array<double, 9>& o = cam.orientation;
    double t = race.tic * tic_length;
    printf("t=%f p0=%f p1=%f p2=%f x0=%f x1=%f x2=%f z0=%f z1=%f z2=%f\n", t, p[0], p[1], p[2], o[0], o[3], o[6], o[2],
           o[5], o[8]);
}

}  // namespace frame_loop_detail
