// Process tuning: what it asks of the system and what it logs.
#include <gtest/gtest.h>

#include <string>

#include "core/diag.h"
#include "platform/process.h"
#include "testkit/testkit.h"

namespace {

struct tuning_fixture : ::testing::Test {
    temp_dir dir;
    process_driver saved = process_calls;
    void SetUp() override {
        log_printf(nullptr);
        setenv("PLIX_LOGFILE", dir.file("log.txt").c_str(), 1);
    }
    void TearDown() override {
        process_calls = saved;
        log_printf(nullptr);
        unsetenv("PLIX_LOGFILE");
    }
    std::string log() {
        log_printf(nullptr);
        std::string text = strip_log_prefixes(read_file(dir.file("log.txt")));
        return text.substr(text.find("PLIX 0.31\n") + 10);
    }
};

uint64_t memory_size = 0;
bool working_set_ok = true;

TEST_F(tuning_fixture, LogsWhatWasAskedAndWhatHappened) {
    process_calls.physical_memory = [] { return memory_size; };
    process_calls.set_working_set = [](uint64_t, uint64_t) { return working_set_ok; };
    process_calls.raise_priority = [] { return !working_set_ok; };
    memory_size = 8ull << 30;
    tune_process();
    working_set_ok = false;
    memory_size = 512ull << 20;  // max = 480 MiB, and min no larger
    tune_process();
    memory_size = 48ull << 20;
    tune_process();
    EXPECT_EQ(log(),
              "Setting working set range to 1073741824 - 2113929216\nWorking set successfully updated\n"
              "Priority set failed\n"
              "Setting working set range to 503316480 - 503316480\nWorking set update failed\n"
              "Priority successfully set to high\n"
              "Working set left alone - less than 64 MB physical memory\nPriority successfully set to high\n");
}

}  // namespace
