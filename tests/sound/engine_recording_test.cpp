// The engine sounds as the game records them ("--record-audio": the memory
// device mixing one tic at a time, 8-bit stereo at 88320 Hz), played from
// the built data's sound tables, heard from the rider's head. Their spectra
// are checked: the pitch follows the engine speed, the two-strokes buzz on
// odd harmonics, the four-strokes thump low. QX_SOUND_RECORDINGS=<folder>
// keeps the recordings there as WAV files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_world.h"
#include "core/clock.h"
#include "core/config.h"
#include "platform/main_window.h"
#include "race/race.h"
#include "render/frame_draw.h"
#include "sound/engine_sound.h"
#include "sound/sound.h"
#include "testkit/built_data.h"
#include "testkit/testkit.h"
#include "vfs/vfs.h"

namespace {

constexpr int record_rate = 88320;
constexpr int tic_frames = 690;
constexpr int analysis_rate = record_rate / 4;

struct recording {
    std::vector<float> mono, left, right;  // at analysis_rate, -1..1
    std::vector<float> rpm;   // per tic
};

using curve = std::function<float(double seconds)>;

void save_wav(const std::string& path, const std::vector<uint8_t>& stereo) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return;
    auto u32 = [f](uint32_t v) { for (int k = 0; k < 4; k++) fputc((int)(v >> (8 * k)) & 0xff, f); };
    auto u16 = [f](uint16_t v) { fputc(v & 0xff, f), fputc(v >> 8, f); };
    fwrite("RIFF", 1, 4, f);
    u32(36 + (uint32_t)stereo.size());
    fwrite("WAVEfmt ", 1, 8, f);
    u32(16), u16(1), u16(2), u32(record_rate), u32(record_rate * 2), u16(2), u16(8);
    fwrite("data", 1, 4, f);
    u32((uint32_t)stereo.size());
    fwrite(stereo.data(), 1, stereo.size(), f);
    fclose(f);
}

struct engine_recorder : ::testing::Test {
    temp_dir home;
    void SetUp() override {
        use_built_data(home);
        config_defaults();
        free_sound_sets();
        race.viewed_slot = 0;
        ASSERT_TRUE(bike_world_init());
    }
    void TearDown() override {
        free_sound_sets();
        destroy_all_bikes();
        bike_world_free();
        vfs_shutdown();
        unsetenv("KV_HOME");
    }

    // Engine speed and throttle follow the curves for so long: the frame
    // loop's order at 64 frames a second, one block recorded per tic. Heard
    // from the rider's head, or, for a bike passing by at pass_speed, from
    // a camera standing still at `camera`.
    recording record(const char* model, double seconds, const curve& rpm, const curve& throttle,
                     const std::string& keep_as, double pass_speed = 0, std::array<double, 3> camera = {}) {
        recording out;
        EXPECT_TRUE(open_audio_recording(record_rate, tic_frames));
        int slot = pass_speed > 0 ? 1 : 0;
        bike_state* b = create_bike(model, slot, false, bike_setup{});
        EXPECT_NE(b, nullptr);
        if (!b) return out;
        engine_sound_load(slot, b, nullptr);
        frame_camera view;
        if (pass_speed > 0) {
            // Coming from +z along its heading (-z), past the camera.
            translate_bike(*b, 0, 0, pass_speed * seconds / 2);
            roll_bike(*b, pass_speed);
            view.position = camera;
        } else {
            EXPECT_TRUE(first_person_camera(0, view));
        }
        set_listener(view, {});
        std::vector<uint8_t> stereo;
        int tics = (int)(seconds * 128);
        for (int tic = 0; tic < tics; tic++) {
            if (tic % 2 == 0) sound_update(1);
            double t = tic * tic_length;
            b->engine_speed = (float)(rpm(t) / rpm_per_rad_per_s);
            b->controls.throttle = throttle(t);
            if (pass_speed > 0) translate_bike(*b, 0, 0, -pass_speed * tic_length);
            out.rpm.push_back(rpm(t));
            const uint8_t* bytes = nullptr;
            size_t count = 0;
            EXPECT_TRUE(mix_audio_block(bytes, count));
            EXPECT_EQ(count, (size_t)tic_frames * 2);
            stereo.insert(stereo.end(), bytes, bytes + count);
        }
        engine_sound_free(slot);
        close_audio_output();
        for (size_t i = 0; i + 8 <= stereo.size(); i += 8) {
            int sum = 0, left = 0, right = 0;
            for (size_t k = 0; k < 8; k++) {
                sum += stereo[i + k] - 128;
                (k % 2 ? right : left) += stereo[i + k] - 128;
            }
            out.mono.push_back((float)sum / (8 * 128));
            out.left.push_back((float)left / (4 * 128));
            out.right.push_back((float)right / (4 * 128));
        }
        if (const char* dir = getenv("QX_SOUND_RECORDINGS")) save_wav(std::string(dir) + "/" + keep_as + ".wav", stereo);
        return out;
    }
};

// ---- spectra ---------------------------------------------------------------------------

void fft(std::vector<std::complex<double>>& a) {
    size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; i++) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        std::complex<double> w = std::polar(1.0, -2 * M_PI / (double)len);
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> u = 1;
            for (size_t k = 0; k < len / 2; k++, u *= w) {
                std::complex<double> x = a[i + k], y = a[i + k + len / 2] * u;
                a[i + k] = x + y;
                a[i + k + len / 2] = x - y;
            }
        }
    }
}

// Magnitudes of n samples from `start` (n a power of two), Hann-windowed.
struct spectrum {
    std::vector<double> mag;
    double bin_hz;
    spectrum(const std::vector<float>& x, size_t start, size_t n) : bin_hz((double)analysis_rate / (double)n) {
        std::vector<std::complex<double>> a(n);
        for (size_t i = 0; i < n; i++) a[i] = x[start + i] * (0.5 - 0.5 * std::cos(2 * M_PI * (double)i / (double)n));
        fft(a);
        for (size_t i = 0; i < n / 2; i++) mag.push_back(std::abs(a[i]));
    }
    // The strongest bin within a bin and a half of f.
    double at(double f) const {
        double best = 0;
        for (long i = std::lround(f / bin_hz - 1.5); i <= std::lround(f / bin_hz + 1.5); i++)
            if (i > 0 && i < (long)mag.size()) best = std::max(best, mag[(size_t)i]);
        return best;
    }
    double dominant(double lo, double hi) const {
        size_t best = 0;
        for (size_t i = (size_t)(lo / bin_hz); i < mag.size() && (double)i * bin_hz <= hi; i++)
            if (mag[i] > mag[best] || best == 0) best = i;
        return (double)best * bin_hz;
    }
};

double firing_frequency(const char* model, double rpm) {
    const char* c = find_bike_info(model)->engine_class;
    return rpm * (c[strlen(c) - 1] == 'f' ? 0.5 : 1.0) / 60;
}

// Odd over even harmonics 2..9 of the firing frequency, as amplitudes.
double odd_to_even(const spectrum& s, double f0) {
    double odd = 0, even = 0;
    for (int k = 2; k <= 9; k++) (k % 2 ? odd : even) += s.at(k * f0) * s.at(k * f0);
    return std::sqrt(odd / even);
}

// Where the energy sits up to 5 kHz.
double centroid(const spectrum& s) {
    double weighted = 0, total = 0;
    for (size_t i = 1; i < s.mag.size() && (double)i * s.bin_hz <= 5000; i++) {
        weighted += (double)i * s.bin_hz * s.mag[i] * s.mag[i];
        total += s.mag[i] * s.mag[i];
    }
    return weighted / total;
}

TEST_F(engine_recorder, RevSweepPitchFollowsEngineSpeed) {
    // Ten seconds at full throttle from 1500 to 12000 rpm.
    auto sweep = [](double t) { return (float)(1500 + 10500 * std::clamp(t / 10, 0.0, 1.0)); };
    for (const char* model : {"cr125", "crf450(2017)"}) {
        SCOPED_TRACE(model);
        recording r = record(model, 10, sweep, [](double) { return 1.0f; }, std::string("sweep_") + model);
        const size_t n = 4096;  // 0.19 s
        int windows = 0, harmonic = 0;
        double last_fundamental = 0;
        for (size_t start = 0; start + n <= r.mono.size(); start += n) {
            spectrum s(r.mono, start, n);
            double rpm = sweep(((double)start + n / 2.0) / analysis_rate);
            double f0 = firing_frequency(model, rpm);
            double dominant = s.dominant(15, 4000);
            double k = std::round(dominant / f0);
            windows++;
            // The strongest line is a harmonic of the firing frequency ...
            if (k >= 1 && std::fabs(dominant - k * f0) <= 1.5 * s.bin_hz + 0.02 * dominant) harmonic++;
            // ... and from 6000 rpm up the firing frequency itself, rising
            // with the engine.
            if (rpm >= 6000) {
                EXPECT_NEAR(dominant, f0, 1.5 * s.bin_hz) << rpm;
                EXPECT_GE(dominant, last_fundamental) << rpm;
                last_fundamental = dominant;
            }
        }
        EXPECT_GE(harmonic, windows * 9 / 10);
        EXPECT_GT(last_fundamental, firing_frequency(model, 11000));
    }
}

TEST_F(engine_recorder, TwoStrokesBuzzOnOddHarmonicsFourStrokesThumpLow) {
    struct held {
        double odd_to_even, centroid;
    };
    auto hold = [this](const char* model, float rpm) {
        recording r = record(model, 1.5, [rpm](double) { return rpm; }, [](double) { return 1.0f; },
                             std::string("hold_") + model + "_" + std::to_string((int)rpm));
        const size_t n = 16384;  // the last 0.74 s
        spectrum s(r.mono, r.mono.size() - n, n);
        return held{odd_to_even(s, firing_frequency(model, rpm)), centroid(s)};
    };
    for (float rpm : {3000.0f, 6000.0f, 9000.0f}) {
        SCOPED_TRACE(rpm);
        for (const char* two : {"rs50cr", "cr125", "cr250(2007)"}) EXPECT_GT(hold(two, rpm).odd_to_even, 4) << two;
        for (const char* four : {"yz250f(2017)", "crf450(2017)"}) EXPECT_LT(hold(four, rpm).odd_to_even, 2) << four;
        held rasp = hold("cr125", rpm), thump = hold("crf450(2017)", rpm);
        EXPECT_LT(thump.centroid, 0.5 * rasp.centroid);
        EXPECT_LT(thump.centroid, 200);
    }
}

TEST_F(engine_recorder, ABikePassingByDropsInPitchOnTheSideItPasses) {
    // A 125 at 9000 rpm passes at 60 mph, 10 ft to the camera's left.
    const double speed = 88;
    recording r = record("cr125", 4.5, [](double) { return 9000.0f; }, [](double) { return 1.0f; }, "pass_by_cr125",
                         speed, {10, 4, 0});
    const size_t n = 16384;  // 0.74 s
    spectrum coming(r.mono, analysis_rate / 4, n), going(r.mono, r.mono.size() - n - analysis_rate / 4, n);
    double f0 = firing_frequency("cr125", 9000);
    // Far off along the road the pitch is f0 / (1 -+ v / c).
    EXPECT_NEAR(coming.dominant(100, 300), f0 / (1 - 0.99 * speed / speed_of_sound), 2 * coming.bin_hz);
    EXPECT_NEAR(going.dominant(100, 300), f0 / (1 + 0.99 * speed / speed_of_sound), 2 * going.bin_hz);
    double left = 0, right = 0;
    for (size_t i = 0; i < r.left.size(); i++) {
        left += r.left[i] * r.left[i];
        right += r.right[i] * r.right[i];
    }
    EXPECT_GT(left, 2 * right);
}

}  // namespace
