#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>

#include "core/clock.h"
#include "core/diag.h"
#include "testkit/testkit.h"

namespace {

// Each test gets its own log file; the log is closed again afterwards.
struct log_fixture : ::testing::Test {
    temp_dir dir;
    void TearDown() override {
        log_printf(nullptr);
        unsetenv("PLIX_LOGFILE");
        unsetenv("PLIX_LOGFILE_FLAGS");
    }
};

// The log's lines without their time prefix.
std::string strip_prefixes(const std::string& log) {
    return strip_log_prefixes(log);
}

TEST_F(log_fixture, LinesCarryTimePrefixAndOpeningLines) {
    log_printf(nullptr);
    setenv("PLIX_LOGFILE", dir.file("a.log").c_str(), 1);
    log_printf("hello %d\n", 7);
    log_printf(nullptr);
    std::string log = read_file(dir.file("a.log"));
    EXPECT_TRUE(starts_with_log_prefix(log));
    EXPECT_EQ(strip_log_prefixes(log).rfind("Logfile \"", 0), 0u);
    EXPECT_EQ(strip_prefixes(log), "Logfile \"" + dir.file("a.log") + "\" opened\nPLIX 0.31\nhello 7\n");
}

TEST_F(log_fixture, AppendModeAndFlagsOverride) {
    std::string path = dir.file("run.log");
    write_file(path, "old\n");
    setenv("PLIX_LOGFILE", (">>" + path).c_str(), 1);
    log_printf("x\n");
    log_printf(nullptr);
    EXPECT_EQ(read_file(path).substr(0, 4), "old\n");

    // PLIX_LOGFILE_FLAGS wins over the ">>" append request.
    setenv("PLIX_LOGFILE_FLAGS", "w", 1);
    log_printf("y\n");
    log_printf(nullptr);
    std::string log = strip_prefixes(read_file(path));
    EXPECT_EQ(log.find("old"), std::string::npos);
    EXPECT_NE(log.find("y\n"), std::string::npos);

    // A single ">" is dropped and the file replaced.
    unsetenv("PLIX_LOGFILE_FLAGS");
    setenv("PLIX_LOGFILE", (">" + path).c_str(), 1);
    log_printf("z\n");
    log_printf(nullptr);
    EXPECT_EQ(strip_prefixes(read_file(path)).find("y\n"), std::string::npos);
}

TEST_F(log_fixture, FirstMessageCanNameTheLog) {
    log_printf(nullptr);
    std::string path = dir.file("named.log");
    log_printf("PLIX_LOGFILE=%s", path.c_str());
    log_printf("after\n");
    log_printf("\x13network text\n");  // text messages stay out of the log
    log_error("broken");
    log_printf(nullptr);
    std::string log = strip_prefixes(read_file(path));
    EXPECT_EQ(log.find("PLIX_LOGFILE="), std::string::npos);
    EXPECT_NE(log.find("after\n"), std::string::npos);
    EXPECT_EQ(log.find("network text"), std::string::npos);
    EXPECT_NE(log.find("Error: broken\n"), std::string::npos);
    EXPECT_STREQ(last_error(), "broken");
}

TEST_F(log_fixture, TextsPassedThroughNeverNameTheLog) {
    log_printf(nullptr);
    std::string bait = dir.file("bait.log");
    std::string text = "PLIX_LOGFILE=" + bait;
    show_message(text.c_str());  // as a server's chat line would arrive
    log_printf("%s\n", text.c_str());
    log_printf(nullptr);
    EXPECT_FALSE(std::filesystem::exists(bait));
}

TEST_F(log_fixture, MessagesGoToLogAndRing) {
    std::string path = dir.file("m.log");
    setenv("PLIX_LOGFILE", path.c_str(), 1);
    clear_message_history();
    message_lines = 5;
    total_clock = 10.0;
    show_message("one\n");
    show_message("two");
    show_message("\033[31mred");
    log_printf(nullptr);
    std::string log = strip_prefixes(read_file(path));
    EXPECT_NE(log.find("one\ntwo\n\033[31mred\033[0m\n"), std::string::npos);
    EXPECT_STREQ(message_line(0), "\033[31mred");
    EXPECT_STREQ(message_line(1), "two");
    EXPECT_STREQ(message_line(2), "one\n");
    EXPECT_EQ(messages.shown, 3);
    EXPECT_DOUBLE_EQ(messages.expiry, 12.0);
}

TEST(messages, RingOverwritesOldestAndCutsLongLines) {
    clear_message_history();
    for (int i = 0; i < 1001; i++) show_messagef("[SPAM] line %d", i);
    EXPECT_STREQ(message_line(0), "[SPAM] line 1000");
    EXPECT_STREQ(message_line(999), "[SPAM] line 1");
    std::string longer(400, 'x');
    show_message(longer.c_str());
    EXPECT_EQ(strlen(message_line(0)), 255u);
}

TEST(messages, SpamFilterDropsSpamLines) {
    clear_message_history();
    messages.hide_spam = true;
    show_message("[SPAM] noise");
    show_message("kept");
    messages.hide_spam = false;
    EXPECT_STREQ(message_line(0), "kept");
    EXPECT_STREQ(message_line(1), "");
    EXPECT_EQ(messages.shown, 1);
}

TEST(messages, ExpiryHidesOneLineThenOneEveryFiveSeconds) {
    clear_message_history();
    message_lines = 5;
    total_clock = 100.0;
    for (int i = 0; i < 5; i++) show_message("m");
    EXPECT_EQ(messages.shown, 5);
    expire_messages(101.9);
    EXPECT_EQ(messages.shown, 5);
    expire_messages(102.1);
    EXPECT_EQ(messages.shown, 4);
    expire_messages(106.0);
    EXPECT_EQ(messages.shown, 4);
    expire_messages(107.2);
    EXPECT_EQ(messages.shown, 3);
}

TEST(messages, LineLimitIsClampedWhereUsed) {
    clear_message_history();
    message_lines = -3;
    show_message("a");
    EXPECT_EQ(messages.shown, 0);
    message_lines = 5000;
    for (int i = 0; i < 1200; i++) show_message("b");
    EXPECT_EQ(messages.shown, 1000);
    message_lines = 5;
}

struct options_fixture : ::testing::Test {
    temp_dir dir;
    void TearDown() override {
        unsetenv("PLIX_OPTIONS");
        options_reload();
        log_printf(nullptr);
        unsetenv("PLIX_LOGFILE");
    }
};

TEST_F(options_fixture, FlagsAndIntegers) {
    setenv("PLIX_OPTIONS", "[threaded:yes][dsnd:off][rate:44100][x:on][y:no][neg:-5]", 1);
    options_reload();
    EXPECT_EQ(option_flag("threaded", 0), 1);
    EXPECT_EQ(option_flag("dsnd", 1), 0);
    EXPECT_EQ(option_flag("x", 0), 1);
    EXPECT_EQ(option_flag("y", 1), 0);
    EXPECT_EQ(option_int("rate", 22050), 44100);
    EXPECT_EQ(option_int("neg", 0), -5);
    EXPECT_EQ(option_int("missing", 17), 17);
    EXPECT_EQ(option_flag("missing", 1), 1);
}

TEST_F(options_fixture, UnrecognizedValueLogsAndKeepsDefault) {
    std::string path = dir.file("o.log");
    setenv("PLIX_LOGFILE", path.c_str(), 1);
    setenv("PLIX_OPTIONS", "[dsnd:maybe][rate:fast]", 1);
    options_reload();
    EXPECT_EQ(option_flag("dsnd", 1), 1);
    EXPECT_EQ(option_int("rate", 22050), 22050);
    log_printf(nullptr);
    std::string log = read_file(path);
    EXPECT_NE(log.find("unrecognized setting for dsnd\n"), std::string::npos);
    EXPECT_NE(log.find("unrecognized setting for rate\n"), std::string::npos);
}

struct alloc_fixture : ::testing::Test {
    void SetUp() override {
        setenv("KV_CHECK_ALLOC", "1", 1);
        checked_alloc_reset();
    }
    void TearDown() override {
        unsetenv("KV_CHECK_ALLOC");
        checked_alloc_reset();
    }
};

TEST_F(alloc_fixture, DoubleFreeIsReportedAndNotRepeated) {
    char* p = (char*)checked_malloc(32);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(live_allocation_count(), 1);
    checked_free(p);
    EXPECT_EQ(live_allocation_count(), 0);
    testing::internal::CaptureStderr();
    checked_free(p);  // not recorded any more: reported, not freed again
    std::string err = testing::internal::GetCapturedStderr();
    char expected[64];
    snprintf(expected, sizeof expected, "Allocation not found for %p!\n", (void*)p);
    EXPECT_EQ(err, expected);
}

TEST_F(alloc_fixture, LeakReportListsLiveBlocksInOrder) {
    void* a = checked_malloc(8);
    void* b = checked_calloc(4, 4);
    void* c = checked_realloc(nullptr, 16);
    c = checked_realloc(c, 64);
    checked_free(b);
    testing::internal::CaptureStderr();
    report_live_allocations();
    std::string err = testing::internal::GetCapturedStderr();
    char expected[128];
    snprintf(expected, sizeof expected, "%p:1\n%p:4\n", a, c);
    EXPECT_EQ(err, expected);
    checked_free(a);
    checked_free(c);
    EXPECT_EQ(live_allocation_count(), 0);
}

TEST_F(alloc_fixture, FreedBlocksAreZeroedAndNullIsIgnored) {
    checked_free(nullptr);
    EXPECT_EQ(live_allocation_count(), 0);
    void* m = must_malloc(100);
    EXPECT_NE(m, nullptr);
    checked_free(m);
}

#if !defined(__SANITIZE_ADDRESS__)
// Memory runs out just as the allocation table must grow, while the audio
// device is open (its fatal-path close frees through the same table): the
// program goes on unchecked instead of hanging in the fatal path.
TEST(alloc_death, TableGrowthOutOfMemoryDoesNotDeadlock) {
    EXPECT_EXIT(
        {
            alarm(10);  // a deadlock ends here, by a signal
            setenv("KV_CHECK_ALLOC", "1", 1);
            setenv("QUARNIX_NO_DIALOG", "1", 1);
            checked_alloc_reset();
            install_new_handler();
            static void* audio_buffer = checked_malloc(64);
            add_fatal_hook([] { checked_free(audio_buffer); });
            // Little address space left beyond what is in use now.
            long pages = 0;
            FILE* statm = fopen("/proc/self/statm", "r");
            if (!statm || fscanf(statm, "%ld", &pages) != 1) _exit(3);
            fclose(statm);
            struct rlimit limit;
            getrlimit(RLIMIT_AS, &limit);
            limit.rlim_cur = (rlim_t)pages * (rlim_t)sysconf(_SC_PAGESIZE) + (8u << 20);
            if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(4);
            for (int i = 0; i < 4000000 && live_allocation_count() > 0; i++)
                if (!checked_malloc(16)) break;
            fprintf(stderr, "still running, %d recorded\n", live_allocation_count());
            _exit(0);
        },
        ::testing::ExitedWithCode(0),
        "Out of memory for the allocation table: allocations are no longer checked\nstill running, 0 recorded");
}
#endif

TEST(alloc, WithoutCheckingNothingIsRecorded) {
    unsetenv("KV_CHECK_ALLOC");
    checked_alloc_reset();
    void* p = checked_malloc(10);
    EXPECT_EQ(live_allocation_count(), 0);
    checked_free(p);
}

TEST(intern, SameTextGivesSamePointer) {
    std::string a = "wheels";
    std::string b = "wheels";
    const char* x = intern_string(a.c_str());
    const char* y = intern_string(b.c_str());
    EXPECT_EQ(x, y);
    EXPECT_STREQ(x, "wheels");
    EXPECT_NE(intern_string("wheels2"), x);
    EXPECT_STREQ(intern_string(""), "");
}

TEST(dialog, TextAlwaysGoesToStandardError) {
    setenv("QUARNIX_NO_DIALOG", "1", 1);
    static int shown = 0;
    set_dialog_function([](const char*, const char*) { shown++; });
    testing::internal::CaptureStderr();
    error_dialog("Problem starting Quarnix", "Can't find game data\n");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Problem starting Quarnix: Can't find game data\n");
    EXPECT_EQ(shown, 0);  // never blocks under QUARNIX_NO_DIALOG
    set_dialog_function(nullptr);
}

TEST(fatal, OutOfMemoryRunsHooksShowsDialogAndExitsOne) {
    EXPECT_EXIT(
        {
            setenv("QUARNIX_NO_DIALOG", "1", 1);
            add_fatal_hook([] { fputs("audio closed\n", stderr); });
            install_new_handler();
            // What operator new calls when memory runs out.
            std::new_handler handler = std::get_new_handler();
            ASSERT_NE(handler, nullptr);
            handler();
        },
        ::testing::ExitedWithCode(1), "audio closed\nError: Out of virtual memory");
}

}  // namespace
