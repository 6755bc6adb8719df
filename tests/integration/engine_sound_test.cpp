// The real program records its sound ("--record-audio"): once the menu is
// closed the rider's own bike idles at the gate, and the recording holds its
// engine, periodic at the idle's firing rate.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "testkit/testkit.h"

namespace {

const std::string program = std::string(QX_BIN_DIR) + "/quarnix";

// Magnitude of one frequency over the samples (rate in Hz).
double magnitude_at(const std::vector<double>& x, double rate, double f) {
    double re = 0, im = 0;
    for (size_t i = 0; i < x.size(); i++) {
        double a = 2 * M_PI * f * (double)i / rate;
        re += x[i] * std::cos(a);
        im += x[i] * std::sin(a);
    }
    return std::hypot(re, im) / (double)x.size();
}

TEST(recorded_sound, TheOwnBikeIdlesAudibly) {
    const char* display = getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no display";
    temp_dir home;
    write_file(home.path + "/Quarnix/config", "video_mode=Windowed\nxres=320\nyres=240\nbike=yz250f(2017)\n");
    std::string raw = home.file("ride.raw");
    // Esc closes the menu over the ride once the track is up; then two tics
    // a frame are recorded.
    run_result r = run_program({program, "--record-audio", raw, "--lock-fps", "64"},
                               {"XDG_DATA_HOME=" + home.path, "KV_HOME", "PLIX_LOGFILE", "QUARNIX_NO_DIALOG=1",
                                "QUARNIX_TEST_KEYS=100:esc", "QUARNIX_QUIT_AFTER_FRAMES=400"},
                               120);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string bytes = read_file(raw);
    ASSERT_GT(bytes.size(), 300u * 1380) << "1380 bytes a tic";
    EXPECT_EQ(bytes.size() % 1380, 0u);

    // The last two seconds, left and right summed, at a quarter of 88320 Hz.
    const double rate = 88320.0 / 4;
    std::vector<double> x;
    size_t from = bytes.size() - 2 * 88320 * 2;
    for (size_t i = from; i + 8 <= bytes.size(); i += 8) {
        int sum = 0;
        for (size_t k = 0; k < 8; k++) sum += (unsigned char)bytes[i + k] - 128;
        x.push_back(sum / (8.0 * 128));
    }
    double power = 0;
    for (double v : x) power += v * v;
    EXPECT_GT(std::sqrt(power / (double)x.size()), 0.01) << "the engine is heard";

    // A four-stroke idling at 1200..1900 rpm fires 10..16 times a second: the
    // sound's lines sit on the harmonics of that rate, not between them.
    double best = 0, best_f = 0;
    for (double f = 10; f <= 16; f += 0.05) {
        double on = 0;
        for (int k = 1; k <= 8; k++) on += magnitude_at(x, rate, k * f);
        if (on > best) best = on, best_f = f;
    }
    double between = 0;
    for (int k = 1; k <= 8; k++) between += magnitude_at(x, rate, (k + 0.5) * best_f);
    EXPECT_GT(best, 3 * between) << "firing at " << best_f << " Hz";
}

}  // namespace
