// The scanf engine against the C library's sscanf, format by input.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/scan.h"
#include "testkit/testkit.h"
#include "vfs/vfs.h"

namespace {

const char* const formats[] = {
    "%d", "%i", "%o", "%x", "%X", "%u", "%f", "%e", "%g", "%lf", "%Lf", "%s", "%c", "%5c", "%3s", "%2d",
    "%[a-z]", "%[^\n]", "%[]abc]", "%[^]x]", "%*d %d", "%d%n", " %n", "%n", "abc%d", "%d,%d", "%%%d", "%d%%",
    "%hd", "%hhd", "%ld", "%lld", "%lu", "%4f", "%3i", " #%*[^\n]%n", "[ %f %f %f ]", "%x%n", "%i%n%d",
    "%c%c%c", "%10[0-9a-f]", "%[-a]", "%[a-]", "%[z-a]", "x%n", " x", "%d x", "%s%n%s", "%*s%n", "%*[^,],%d",
    "%2c%n", "%d\n%d", "%le%n", "%f%s", "%a", "%d %f %s %c", "%*c%d", "%1d%1d%1d", "%3f%n", "%5lf%n",
    "%i %i %i", "%o%n", "%4x%n", "%*5[^x]x%n", "%hu", "%s %s", "%d%c", "%f %n", "  %c", "%0d",
};

const char* const inputs[] = {
    "", " ", "0", "12", "-12", "+7", "0x1A", "0x", "0xg", "077", "08", "1e5", "1e", "1e+", "1e+x", ".5",
    "-.5e-3x", "inf", "-infinity", "nan", "nan(123)", "nanx", "in", "abc", "abcdef", "12 34", "12,34",
    "  42 rest", "\t\r\n 9", "%5", "5%", "99999999999", "-2147483649", "4294967296", "1.5 2.5 3.5",
    "[ 1 2 3 ]", "# comment\nnext", "x", "]abc]", "z-a", "-a-", "0x1p3", "0X.8P1", "123abc", "1.2.3", "a b c",
    "\n", "12\r\n34", "-", "+", ".", "-x", "0x10 0x20", "012 12 0", "  \r\n  abc", "1e400", "-1e-400",
    "  x1", "x 7", "7 x", "abc7", "% 5", "65535 65536", "3.14159265358979323846", "-0", "00012", "1,2,3",
    ".e5", "0x.", "0x.p1", "infinit", "1.e5", "00x1", "+inf", "-nan", "1.5.5", "0x1.8p+1", "1e-5x",
};

constexpr int slots = 8;
constexpr int slot_bytes = 256;

struct arg_block {
    alignas(16) unsigned char bytes[slots][slot_bytes];
    arg_block() { memset(bytes, 0xAA, sizeof bytes); }
};

int call_libc(const char* input, const char* format, arg_block& a) {
    return sscanf(input, format, a.bytes[0], a.bytes[1], a.bytes[2], a.bytes[3], a.bytes[4], a.bytes[5],
                  a.bytes[6], a.bytes[7]);
}

int call_ours(const char* input, const char* format, arg_block& a, size_t* consumed = nullptr) {
    return string_scanf(input, strlen(input), consumed, format, a.bytes[0], a.bytes[1], a.bytes[2],
                            a.bytes[3], a.bytes[4], a.bytes[5], a.bytes[6], a.bytes[7]);
}

std::string show(const char* s) {
    std::string out;
    for (const char* p = s; *p; p++) {
        if (*p == '\n')
            out += "\\n";
        else if (*p == '\r')
            out += "\\r";
        else if (*p == '\t')
            out += "\\t";
        else
            out += *p;
    }
    return "\"" + out + "\"";
}

TEST(vfs_scanf, MatchesCLibraryOnEveryFormatAndInput) {
    int compared = 0;
    for (const char* format : formats) {
        for (const char* input : inputs) {
            arg_block theirs, ours;
            int expected = call_libc(input, format, theirs);
            int got = call_ours(input, format, ours);
            EXPECT_EQ(got, expected) << "format " << show(format) << " input " << show(input);
            EXPECT_EQ(memcmp(theirs.bytes, ours.bytes, sizeof ours.bytes), 0)
                << "stored values differ: format " << show(format) << " input " << show(input);
            compared++;
        }
    }
    EXPECT_GT(compared, 4000);
}

// Inputs with NUL bytes inside, and numbers hundreds of characters long,
// compared with the C library reading the same bytes from a stream (where a
// NUL is an ordinary byte, as it is to ours; sscanf would stop at it).
TEST(vfs_scanf, EmbeddedNulBytesAndLongNumbersMatchTheCLibrarysStreams) {
    const std::string nul(1, '\0');
    const std::string zeros(700, '0');
    const std::string inputs_with_nul[] = {
        nul + "5", "-" + nul + "5", "+" + nul, "0" + nul + "x1", "0x" + nul + "1", "1" + nul + "e5", "1e" + nul + "5",
        "1." + nul + "5", nul, "12" + nul + "34", "ab" + nul + "cd", " " + nul + " 7", nul + "nan", "in" + nul + "f",
        "0x1p" + nul + "3", "7" + nul, nul + "\n9", "a" + nul + "\nb",
        zeros + "1234", "-" + zeros + "7.25e2 9", "0x" + zeros + "1f", "0." + zeros + "5e700", zeros + nul + "3",
    };
    for (const char* format : formats) {
        for (const std::string& input : inputs_with_nul) {
            arg_block theirs, ours;
            FILE* stream = fmemopen((void*)input.data(), input.size(), "r");
            ASSERT_NE(stream, nullptr);
            int expected = fscanf(stream, format, theirs.bytes[0], theirs.bytes[1], theirs.bytes[2], theirs.bytes[3],
                                  theirs.bytes[4], theirs.bytes[5], theirs.bytes[6], theirs.bytes[7]);
            fclose(stream);
            int got = string_scanf(input.data(), input.size(), nullptr, format, ours.bytes[0], ours.bytes[1],
                                   ours.bytes[2], ours.bytes[3], ours.bytes[4], ours.bytes[5], ours.bytes[6],
                                   ours.bytes[7]);
            std::string shown = input;
            for (char& c : shown)
                if (!c) c = '@';
            EXPECT_EQ(got, expected) << "format " << show(format) << " input " << show(shown.c_str()) << " (@ = NUL)";
            EXPECT_EQ(memcmp(theirs.bytes, ours.bytes, sizeof ours.bytes), 0)
                << "stored values differ: format " << show(format) << " input " << show(shown.c_str());
        }
    }
}

// The same pairs read from a file, with LF and CR LF line ends, continuing
// where the previous call stopped.
TEST(vfs_scanf, FileStreamMatchesAcrossLineEnds) {
    vfs_sandbox box;
    for (const char* eol : {"\n", "\r\n"}) {
        std::string text = std::string("12 -7 3.5") + eol + "# note" + eol + "word 0x1f" + eol + "[ 1 2 3 ]" + eol;
        write_file(box.data.file("t.txt"), text);
        vfs_file* f = vfs_open(box.data.file("t.txt").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        int a = 0, b = 0;
        float c = 0;
        EXPECT_EQ(vfs_scanf(f, "%d %d %f", &a, &b, &c), 3);
        EXPECT_EQ(a, 12);
        EXPECT_EQ(b, -7);
        EXPECT_FLOAT_EQ(c, 3.5f);
        vfs_skip_comments(f);
        char word[16];
        unsigned x = 0;
        EXPECT_EQ(vfs_scanf(f, "%15s %x", word, &x), 2);
        EXPECT_STREQ(word, "word");
        EXPECT_EQ(x, 0x1fu);
        float p[3];
        EXPECT_EQ(vfs_scanf(f, " [ %f %f %f ]", &p[0], &p[1], &p[2]), 3);
        EXPECT_FLOAT_EQ(p[2], 3.0f);
        EXPECT_EQ(vfs_scanf(f, "%d", &a), -1);  // only line ends remain
        vfs_close(f);
    }
}

TEST(vfs_scanf, SharesLookAheadWithByteReads) {
    vfs_sandbox box;
    write_file(box.data.file("m.txt"), "42x7\nrest");
    vfs_file* f = vfs_open(box.data.file("m.txt").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    int v = 0;
    EXPECT_EQ(vfs_scanf(f, "%d", &v), 1);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(vfs_peekc(f), 'x');  // the byte that ended the number is still there
    EXPECT_EQ(vfs_getc(f), 'x');
    EXPECT_EQ(vfs_read_int(f), 7);
    EXPECT_EQ(vfs_read_int(f), INT_MIN);  // "rest" is not a number; the line end before it is skipped
    char line[32];
    EXPECT_STREQ(vfs_gets(f, line, 3), "re");
    EXPECT_STREQ(vfs_gets(f, line, sizeof line), "st");
    EXPECT_EQ(vfs_gets(f, line, sizeof line), nullptr);
    vfs_close(f);
}

TEST(vfs_scanf, ReportsConsumedBytesAndFailureKinds) {
    size_t used = 0;
    int a = 0;
    EXPECT_EQ(string_scanf("", 0, &used, "%d", &a), -1);
    EXPECT_EQ(string_scanf("   ", 3, &used, "%d", &a), -1);
    EXPECT_EQ(used, 3u);
    EXPECT_EQ(string_scanf("abc", 3, &used, "%d", &a), 0);
    EXPECT_EQ(used, 0u);
    int n = -1;
    EXPECT_EQ(string_scanf("12 ", 3, &used, "%d%n", &a, &n), 1);
    EXPECT_EQ(n, 2);
    // An embedded NUL is an ordinary byte to a stream.
    char two[16];
    EXPECT_EQ(string_scanf("ab\0cd", 5, &used, "%5c", two), 1);
    EXPECT_EQ(memcmp(two, "ab\0cd", 5), 0);
}

TEST(vfs_scanf, SkipCommentsStopsAtFirstRealLine) {
    vfs_sandbox box;
    write_file(box.data.file("c.txt"), "  # one\n#\n\n   #three\r\n  value 5\n");
    vfs_file* f = vfs_open(box.data.file("c.txt").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    vfs_skip_comments(f);
    char word[16];
    int v = 0;
    EXPECT_EQ(vfs_scanf(f, "%15s %d", word, &v), 2);
    EXPECT_STREQ(word, "value");
    EXPECT_EQ(v, 5);
    vfs_close(f);
}

}  // namespace
