// The SDL playback driver on SDL's dummy audio backend: no sound hardware is
// needed, but the mixer thread, the queue and the close all run for real.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/diag.h"
#include "platform/audio.h"
#include "testkit/testkit.h"

namespace {

struct sdl_audio_fixture : ::testing::Test {
    temp_dir dir;
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        log_printf(nullptr);
        setenv("PLIX_LOGFILE", dir.file("audio.log").c_str(), 1);
    }
    void TearDown() override {
        if (current_audio_device()) audio_close(current_audio_device());
        log_printf(nullptr);
        unsetenv("PLIX_LOGFILE");
        unsetenv("PLIX_OPTIONS");
        options_reload();
    }
    void options(const char* text) {
        setenv("PLIX_OPTIONS", text, 1);
        options_reload();
    }
    // The log so far, without time prefixes; the log is reopened (appending)
    // on the next line.
    std::string log_text() {
        log_printf(nullptr);
        setenv("PLIX_LOGFILE", (">>" + dir.file("audio.log")).c_str(), 1);
        return strip_log_prefixes(read_file(dir.file("audio.log")));
    }
};

TEST_F(sdl_audio_fixture, PlaysOnTheMixerThreadAndClosesCleanly) {
    audio_device* device = choose_audio_device(nullptr);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(current_audio_device(), device);
    std::vector<uint8_t> wave(4000);
    for (size_t i = 0; i < wave.size(); i++) wave[i] = (uint8_t)(i % 50 < 25 ? 200 : 56);
    audio_sound* s = sound_create(device, (int)wave.size(), wave.data(), 11025);
    ASSERT_NE(s, nullptr);
    sound_set_loop(s, true);
    sound_play(s);
    // The thread mixes fragments as the dummy device consumes them.
    int position = 0;
    for (int i = 0; i < 200 && position == 0; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        position = sound_position(s);
    }
    EXPECT_GT(position, 0);
    sound_write(s, 100, wave.data(), position);
    audio_sound* copy = sound_duplicate(s);
    sound_play(copy);
    sound_free(s);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    audio_close(device);
    EXPECT_EQ(current_audio_device(), nullptr);

    std::string log = log_text();
    for (const char* line : {"DirectSound is not available", "Opening waveOut audio...\n", "Found a ",
                             "Waveout rate: 22050\n", "Waveout channels: 16\n", "Waveout mixahead: 125\n",
                             "Audio opened!\n", "Audio thread begin\n", "Closing audio\n", "Audio thread end\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_LT(log.find("Closing audio\n"), log.find("Audio thread end\n"));
}

TEST_F(sdl_audio_fixture, OptionsChooseTheDriverAndTheMixahead) {
    options("[dsnd:off][waveout:off]");
    EXPECT_EQ(choose_audio_device(nullptr), nullptr);
    EXPECT_EQ(log_text().find("DirectSound"), std::string::npos);

    // 1000 ms clamps to 32 fragments, 5 ms to 1; the log gives fragments in ms.
    struct {
        const char* options;
        const char* line;
    } cases[] = {{"[sound-mixahead:1000][sound-rate:11025][sound-channels:4]", "Waveout mixahead: 500\n"},
                 {"[sound-mixahead:5]", "Waveout mixahead: 15\n"},
                 {"[sound-mixahead:-50]", "Waveout mixahead: 15\n"},
                 {"[sound-mixahead:2000000000]", "Waveout mixahead: 500\n"}};
    for (const auto& c : cases) {
        options(c.options);
        audio_device* device = audio_open(nullptr);
        ASSERT_NE(device, nullptr) << c.options;
        EXPECT_EQ(audio_open(nullptr), nullptr);  // one device at a time
        audio_close(device);
        std::string log = log_text();
        EXPECT_NE(log.find(c.line), std::string::npos) << c.options;
        EXPECT_NE(log.find("Audio already open\n"), std::string::npos);
    }
    std::string log = log_text();
    EXPECT_NE(log.find("Waveout rate: 11025\n"), std::string::npos);
    EXPECT_NE(log.find("Waveout channels: 4\n"), std::string::npos);
    audio_close(nullptr);
    EXPECT_NE(log_text().find("Can't close audio, not open\n"), std::string::npos);
}

// The fatal out-of-memory path closes the device (and stops its thread)
// before the dialog.
TEST_F(sdl_audio_fixture, OutOfMemoryClosesTheDevice) {
    log_printf(nullptr);
    EXPECT_EXIT(
        {
            if (!audio_open(nullptr)) exit(3);
            fatal_out_of_memory();
        },
        ::testing::ExitedWithCode(1), "Out of virtual memory");
    std::string log = log_text();
    size_t opened = log.find("Audio opened!\n");
    ASSERT_NE(opened, std::string::npos);
    EXPECT_NE(log.find("Closing audio\n", opened), std::string::npos);
    EXPECT_NE(log.find("Audio thread end\n", opened), std::string::npos);
}

}  // namespace
