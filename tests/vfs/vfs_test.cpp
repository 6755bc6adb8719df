#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "core/diag.h"
#include "testkit/testkit.h"
#include "vfs/saf.h"
#include "vfs/vfs.h"

namespace {

std::vector<uint8_t> bytes_of(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::string read_all(vfs_file* f) {
    std::string out;
    char chunk[777];
    size_t n;
    while ((n = vfs_read(f, chunk, sizeof chunk)) > 0) out.append(chunk, n);
    return out;
}

std::string open_and_read(const char* name) {
    vfs_file* f = vfs_open(name, "rb");
    if (!f) return "<none>";
    std::string s = read_all(f);
    vfs_close(f);
    return s;
}

void write_archive(const std::string& path, const std::vector<saf_member>& members) {
    ASSERT_TRUE(saf_write(path.c_str(), members));
}

TEST(vfs_roots, HomeThenKvHomeNormalised) {
    vfs_sandbox box;
    ASSERT_EQ(search_root_count(), 2);
    EXPECT_EQ(std::string(get_search_root(0)), box.root0());
    EXPECT_EQ(std::string(get_search_root(1)), box.root1());
    EXPECT_EQ(get_search_root(2), nullptr);
    EXPECT_EQ(get_search_root(-1), nullptr);
    setenv("KV_HOME", (box.data.path + "//sub\\dir").c_str(), 1);
    vfs_shutdown();
    EXPECT_EQ(std::string(get_search_root(1)), box.data.path + "/sub/dir/");
}

TEST(vfs_roots, WithoutKvHomeTheProgramFolderIsARoot) {
    vfs_sandbox box;
    // Unset, and set to nothing (which would otherwise make "/" a root and
    // the index walk the whole file system).
    for (bool empty : {false, true}) {
        if (empty)
            setenv("KV_HOME", "", 1);
        else
            unsetenv("KV_HOME");
        vfs_shutdown();
        ASSERT_EQ(search_root_count(), 2);
        std::string root = get_search_root(1);
        EXPECT_EQ(root.back(), '/');
        EXPECT_NE(root.find("tests"), std::string::npos) << root;  // this test program's folder
    }
}

TEST(vfs_roots, OverlongHomeRelativePathFailsInsteadOfBeingCut) {
    vfs_sandbox box;
    std::string name = "@" + std::string(600, 'a');
    EXPECT_EQ(vfs_open(name.c_str(), "wb"), nullptr);
    EXPECT_EQ(home_path(name.c_str()), "");
}

TEST(vfs_index, Precedence) {
    vfs_sandbox box;
    write_file(box.root0() + "same.txt", "root0");
    write_file(box.root1() + "same.txt", "root1");
    write_file(box.root1() + "loose1.txt", "loose in root 1");
    write_archive(box.root1() + "b.saf", {{"same.txt", bytes_of("b archive")},
                                          {"loose1.txt", bytes_of("b loose1")},
                                          {"onlyb.txt", bytes_of("from b")},
                                          {"shared.txt", bytes_of("shared from b")}});
    write_archive(box.root0() + "zzzz.saf", {{"shared.txt", bytes_of("shared from zzzz")},
                                             {"onlyz.txt", bytes_of("from zzzz")}});
    file_list();
    EXPECT_EQ(open_and_read("@same.txt"), "root0");  // root 0 without consulting the index
    EXPECT_EQ(open_and_read("@loose1.txt"), "loose in root 1");
    EXPECT_EQ(open_and_read("@onlyb.txt"), "from b");
    // The archive whose name sorts earlier wins, whatever root it is in.
    EXPECT_EQ(open_and_read("@shared.txt"), "shared from b");
    EXPECT_EQ(open_and_read("@onlyz.txt"), "from zzzz");
    EXPECT_EQ(open_and_read("@missing.txt"), "<none>");
    EXPECT_TRUE(file_exists("onlyz.txt"));
    EXPECT_TRUE(file_exists("@ONLYZ.TXT"));
    EXPECT_FALSE(file_exists("nothing"));
}

TEST(vfs_index, CaseInsensitiveLookupAndListSpelling) {
    vfs_sandbox box;
    write_file(box.root1() + "Tracks/Hill/Desc", "loose");
    write_archive(box.root1() + "a.saf", {{"tracks/hill/desc", bytes_of("archived")}, {"X.txt", bytes_of("x")}});
    const char* const* list = file_list();
    std::vector<std::string> names;
    for (const char* const* p = list; *p; p++) names.push_back(*p);
    int count = 0;
    for (const std::string& n : names)
        if (strcasecmp(n.c_str(), "tracks/hill/desc") == 0) {
            count++;
            EXPECT_EQ(n, "Tracks/Hill/Desc");  // the loose file ranks first
        }
    EXPECT_EQ(count, 1);
    EXPECT_EQ(open_and_read("@TRACKS/hill/DESC"), "loose");
    EXPECT_EQ(open_and_read("@x.TXT"), "x");
    // The list is sorted case-insensitively.
    for (size_t i = 1; i < names.size(); i++) EXPECT_LT(strcasecmp(names[i - 1].c_str(), names[i].c_str()), 0);
}

TEST(vfs_index, GzipMembersFollowTheRankRule) {
    vfs_sandbox box;
    std::vector<uint8_t> gz = gzip_bytes("unzipped text", 13);
    // Same archive: equal rank, the plain member wins.
    write_archive(box.root1() + "m.saf", {{"both.txt", bytes_of("plain")}, {"both.txt.gz", gz}});
    // ".gz" in an archive that sorts earlier than the plain one wins.
    write_archive(box.root1() + "a.saf", {{"early.txt.gz", gz}});
    write_archive(box.root1() + "z.saf", {{"early.txt", bytes_of("plain later")}, {"onlygz.txt.gz", gz}});
    file_list();
    EXPECT_EQ(open_and_read("@both.txt"), "plain");
    EXPECT_EQ(open_and_read("@early.txt"), "unzipped text");
    EXPECT_EQ(open_and_read("@onlygz.txt"), "unzipped text");
}

TEST(vfs_index, UncompressedMemberStopsAtItsSize) {
    vfs_sandbox box;
    write_archive(box.root1() + "a.saf", {{"one", bytes_of("12345")}, {"two", bytes_of("67890")}});
    file_list();
    vfs_file* f = vfs_open("@one", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(read_all(f), "12345");
    EXPECT_EQ(vfs_getc(f), -1);
    EXPECT_TRUE(vfs_seek(f, 2));
    EXPECT_EQ(vfs_getc(f), '3');
    EXPECT_FALSE(vfs_seek(f, 5));  // offsets must be inside the member
    vfs_close(f);
    EXPECT_EQ(open_and_read("@two"), "67890");
}

struct bad_header_case {
    const char* what;
    std::string archive;
};

TEST(vfs_index, MalformedHeadersDropTheWholeArchive) {
    std::string long_name(1030, 'n');
    std::vector<bad_header_case> cases = {
        {"no terminator", "3 good\n"},
        {"last line cut", "3 good\n-"},
        {"not a number", "3 good\nx bad\n-\nabcxyz"},
        {"negative size", "3 good\n-2 bad\n-\nabc"},
        {"beyond 32 bits", "3 good\n4294967299 bad\n-\nabc"},
        {"past the end", "3 good\n100 bad\n-\nabc"},
        {"no separator", "3 good\n3\n-\nabcdef"},
        {"no name", "3 good\n3 \n-\nabcdef"},
        {"line too long", "3 good\n3 " + long_name + "\n-\nabcdef"},
    };
    for (const bad_header_case& c : cases) {
        vfs_sandbox box;
        write_file(box.root1() + "bad.saf", c.archive);
        write_archive(box.root1() + "ok.saf", {{"fine", bytes_of("ok")}});
        file_list();
        EXPECT_FALSE(file_exists("good")) << c.what;
        EXPECT_EQ(open_and_read("@fine"), "ok") << c.what;  // other archives are unaffected
        EXPECT_TRUE(file_exists("bad.saf")) << c.what;
    }
}

TEST(vfs_index, HeaderDetails) {
    vfs_sandbox box;
    // Leading blanks before the size, any one-byte separator, "/" runs collapse.
    write_file(box.root1() + "h.saf", "  2\tdir//a\n1 b\n-\nxyz");
    file_list();
    EXPECT_EQ(open_and_read("@dir/a"), "xy");
    EXPECT_EQ(open_and_read("@b"), "z");
    // A 1023-byte header line (with its "\n") still fits.
    vfs_sandbox box2;
    std::string name(1023 - 3, 'q');
    write_file(box2.root1() + "h.saf", "1 " + name + "\n-\nQ");
    file_list();
    EXPECT_EQ(open_and_read(("@" + name).c_str()), "Q");
}

TEST(vfs_index, ArchivesInsideArchivesAreNotSearched) {
    vfs_sandbox box;
    std::vector<uint8_t> inner = saf_build({{"inner.txt", bytes_of("hidden")}});
    write_archive(box.root1() + "outer.saf", {{"nested.saf", inner}});
    file_list();
    EXPECT_TRUE(file_exists("nested.saf"));
    EXPECT_FALSE(file_exists("inner.txt"));
}

TEST(vfs_index, DirectoryLinksAreNotFollowed) {
    vfs_sandbox box;
    write_file(box.root1() + "real/file.txt", "r");
    ASSERT_EQ(symlink((box.root1() + "real").c_str(), (box.root1() + "loop").c_str()), 0);
    ASSERT_EQ(symlink((box.root1() + "real/file.txt").c_str(), (box.root1() + "filelink.txt").c_str()), 0);
    file_list();
    EXPECT_TRUE(file_exists("real/file.txt"));
    EXPECT_FALSE(file_exists("loop/file.txt"));
    EXPECT_TRUE(file_exists("filelink.txt"));
    char line[512];
    EXPECT_TRUE(file_index_describe(0, line, sizeof line));
    EXPECT_NE(strstr(line, " -> "), nullptr);
    EXPECT_FALSE(file_index_describe(file_index_size(), line, sizeof line));
}

TEST(vfs_files, WritingCreatesDirectoriesUnderRootZero) {
    vfs_sandbox box;
    vfs_file* f = vfs_open("@demos/run.kvdemo", "wb");
    ASSERT_NE(f, nullptr);
    vfs_puts(f, "demo");
    vfs_printf(f, " %d", 5);
    vfs_putc(f, '!');
    EXPECT_TRUE(vfs_close(f));
    EXPECT_EQ(read_file(box.root0() + "demos/run.kvdemo"), "demo 5!");
    EXPECT_EQ(open_and_read("@demos/run.kvdemo"), "demo 5!");  // reachable through the roots before indexing
}

TEST(vfs_files, NumberedBackups) {
    vfs_sandbox box;
    std::string path = box.root0() + "config";
    write_file(path, "current");
    write_file(path + ".~1~", "one");
    write_file(path + ".~2~", "two");
    vfs_file* f = vfs_open("@config", "~wb");
    ASSERT_NE(f, nullptr);
    vfs_puts(f, "new");
    EXPECT_TRUE(vfs_close(f));
    EXPECT_EQ(read_file(path + ".~3~"), "current");
    EXPECT_EQ(read_file(path), "new");
    EXPECT_EQ(read_file(path + ".~1~"), "one");
    // A file that does not exist yet is simply opened.
    f = vfs_open("@fresh", "~wb");
    ASSERT_NE(f, nullptr);
    vfs_close(f);
    EXPECT_FALSE(path_exists(box.root0() + "fresh.~1~"));
}

TEST(vfs_files, BackupThatCannotBeMadeFailsTheOpen) {
    vfs_sandbox box;
    // A path too long for the backup name.
    std::string dir = box.data.path;
    while (dir.size() < 1000) dir += "/" + std::string(100, 'd');
    std::string path = dir + "/file";
    write_file(path, "keep me");
    EXPECT_EQ(vfs_open(path.c_str(), "~wb"), nullptr);
    EXPECT_EQ(read_file(path), "keep me");
}

TEST(vfs_files, AtomicReplaceKeepsOldFileOnFailure) {
    vfs_sandbox box;
    std::string path = box.root0() + "config";
    write_file(path, "good old contents");
    // A file size limit makes the write fail part way.
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    vfs_file* f = vfs_open("@config", "=wb");
    ASSERT_NE(f, nullptr);
    std::string big(100000, 'x');
    vfs_write(f, big.data(), big.size());
    bool closed = vfs_close(f);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_FALSE(closed);
    EXPECT_EQ(read_file(path), "good old contents");
    // No temporary file is left behind.
    int others = 0;
    for (const char* const* p = (vfs_shutdown(), file_list()); *p; p++)
        if (strncmp(*p, "config", 6) == 0 && strcmp(*p, "config") != 0) others++;
    EXPECT_EQ(others, 0);
    // A clean write replaces it.
    f = vfs_open("@config", "=wb");
    ASSERT_NE(f, nullptr);
    vfs_puts(f, "new");
    EXPECT_TRUE(vfs_close(f));
    EXPECT_EQ(read_file(path), "new");
}

TEST(vfs_files, AtomicReplaceKeepsTheOldFilesPermissions) {
    vfs_sandbox box;
    std::string path = box.root0() + "config";
    struct stat st;
    for (mode_t mode : {0600, 0640, 0664}) {
        write_file(path, "old");
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        vfs_file* f = vfs_open("@config", "=wb");
        ASSERT_NE(f, nullptr);
        vfs_puts(f, "new");
        EXPECT_TRUE(vfs_close(f));
        EXPECT_EQ(read_file(path), "new");
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        chmod(path.c_str(), 0644);
    }
    // A new file gets the usual permissions of a new file.
    mode_t mask = umask(022);
    std::string fresh = box.root0() + "fresh";
    vfs_file* f = vfs_open("@fresh", "=wb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(vfs_close(f));
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    umask(mask);
    // A file made read-only is not replaced behind the player's back (root
    // may write anything).
    if (geteuid() != 0) {
        write_file(path, "kept");
        chmod(path.c_str(), 0444);
        EXPECT_EQ(vfs_open("@config", "=wb"), nullptr);
        EXPECT_EQ(read_file(path), "kept");
        chmod(path.c_str(), 0644);
    }
}

TEST(vfs_files, FileToStringBoundary) {
    vfs_sandbox box;
    std::string path = box.root1() + "big";
    std::string data(file_to_string_limit - 1, 'a');
    write_file(path, data);
    size_t len = 0;
    char* s = file_to_string(path.c_str(), &len);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(len, file_to_string_limit - 1);
    EXPECT_EQ(s[len], 0);
    checked_free(s);
    data.push_back('b');
    write_file(path, data);
    std::string logpath = box.data.file("log.txt");
    setenv("PLIX_LOGFILE", logpath.c_str(), 1);
    log_printf(nullptr);
    EXPECT_EQ(file_to_string(path.c_str()), nullptr);
    log_printf(nullptr);
    unsetenv("PLIX_LOGFILE");
    EXPECT_NE(read_file(logpath).find("File " + path + " too long for file_to_string\n"), std::string::npos);
    EXPECT_EQ(file_to_string("@does-not-exist"), nullptr);
}

TEST(vfs_files, LooseGzipFilesAndSeek) {
    vfs_sandbox box;
    std::string text = "line one\nline two\n";
    write_file(box.root1() + "notes.txt.gz", gzip_bytes(text.data(), text.size()));
    vfs_file* f = vfs_open("@notes.txt", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(vfs_is_gzip(f));
    EXPECT_FALSE(vfs_seek(f, 0));
    EXPECT_EQ(read_all(f), text);
    EXPECT_FALSE(vfs_error(f));
    EXPECT_EQ(vfs_position(f), (int64_t)text.size());
    vfs_close(f);
    // Also by plain path.
    f = vfs_open((box.root1() + "notes.txt").c_str(), "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(read_all(f), text);
    vfs_close(f);
}

// A gzip header with every optional field, built by hand.
std::vector<uint8_t> gzip_with_fields(const std::string& text) {
    std::vector<uint8_t> plain = gzip_bytes(text.data(), text.size());
    std::vector<uint8_t> out = {0x1f, 0x8b, 8, 4 | 8 | 16 | 2, 0, 0, 0, 0, 0, 3};
    out.insert(out.end(), {3, 0, 'e', 'x', 't'});  // FEXTRA
    for (char c : std::string("name")) out.push_back((uint8_t)c);
    out.push_back(0);
    for (char c : std::string("comment")) out.push_back((uint8_t)c);
    out.push_back(0);
    out.insert(out.end(), {0x12, 0x34});  // FHCRC, not checked
    out.insert(out.end(), plain.begin() + 10, plain.end());
    return out;
}

TEST(vfs_files, GzipHeaderFieldsAndDamage) {
    vfs_sandbox box;
    std::string text(50000, 'z');
    for (size_t i = 0; i < text.size(); i += 7) text[i] = (char)('a' + i % 26);
    std::vector<uint8_t> full = gzip_with_fields(text);
    write_file(box.root1() + "f.gz", full);
    EXPECT_EQ(open_and_read(box.root1().append("f").c_str()), text);

    // The deflate stream cut short: an error, not a short success.
    std::vector<uint8_t> cut(full.begin(), full.begin() + (long)full.size() / 2);
    write_file(box.root1() + "cut.gz", cut);
    vfs_file* f = vfs_open((box.root1() + "cut").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    read_all(f);
    EXPECT_TRUE(vfs_error(f));
    vfs_close(f);
    EXPECT_EQ(file_to_string((box.root1() + "cut").c_str()), nullptr);

    // Headers that end inside a field fail the open.
    for (size_t keep : {3ul, 9ul, 11ul, 14ul, 17ul, 25ul}) {
        std::vector<uint8_t> head(full.begin(), full.begin() + (long)keep);
        write_file(box.root1() + "h.gz", head);
        EXPECT_EQ(vfs_open((box.root1() + "h").c_str(), "rb"), nullptr) << keep;
    }
    // Wrong magic, method or flags.
    for (int byte : {0, 1, 2, 3}) {
        std::vector<uint8_t> bad = full;
        bad[(size_t)byte] = byte == 3 ? 32 : 0;
        write_file(box.root1() + "b.gz", bad);
        EXPECT_EQ(vfs_open((box.root1() + "b").c_str(), "rb"), nullptr) << byte;
    }
}

TEST(vfs_files, GzipMemberNeverReadsPastItsBudget) {
    vfs_sandbox box;
    std::string text = "budgeted";
    std::vector<uint8_t> gz = gzip_bytes(text.data(), text.size());
    std::vector<uint8_t> cut(gz.begin(), gz.end() - 12);  // deflate data and trailer missing
    std::vector<uint8_t> valid_after = gzip_bytes("next", 4);
    write_archive(box.root1() + "a.saf", {{"cut.txt.gz", cut}, {"next.gz", valid_after}});
    file_list();
    vfs_file* f = vfs_open("@cut.txt", "rb");
    if (f) {
        read_all(f);
        EXPECT_TRUE(vfs_error(f));
        vfs_close(f);
    }
    // A header cut inside the member's budget fails even though bytes follow.
    vfs_sandbox box2;
    std::vector<uint8_t> head(gz.begin(), gz.begin() + 6);
    write_archive(box2.root1() + "a.saf", {{"h.txt.gz", head}, {"pad", std::vector<uint8_t>(64, 0)}});
    file_list();
    EXPECT_EQ(vfs_open("@h.txt", "rb"), nullptr);
}

TEST(vfs_files, RenameAndTextureVariants) {
    vfs_sandbox box;
    write_file(box.root0() + "demos/a.kvdemo", "A");
    write_file(box.root0() + "demos/b.kvdemo", "B");
    EXPECT_TRUE(vfs_rename("@demos/a.kvdemo", "@demos/b.kvdemo"));
    EXPECT_EQ(read_file(box.root0() + "demos/b.kvdemo"), "A");
    EXPECT_FALSE(path_exists(box.root0() + "demos/a.kvdemo"));

    write_archive(box.root1() + "zzzz.saf", {{"rider_body-red.png", {}},
                                             {"gear/rider_body-blue.png", {}},
                                             {"rider_body-red_norm.png", {}},
                                             {"rider_body-red_spec.png", {}},
                                             {"rider_body-x.jpg", {}},
                                             {"wheels-gold.png", {}}});
    std::vector<const char*> names, labels;
    list_texture_variants("rider_body-", names, labels);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], nullptr);
    EXPECT_STREQ(labels[0], "default");
    EXPECT_STREQ(names[1], "@gear/rider_body-blue.png");
    EXPECT_STREQ(labels[1], "blue");
    EXPECT_STREQ(names[2], "@rider_body-red.png");
    EXPECT_STREQ(labels[2], "red");
}

TEST(vfs_files, ReadModesAndWriteModes) {
    vfs_sandbox box;
    write_file(box.root0() + "rw.txt", "abc");
    // "r+" is a write mode: it opens in place and does not look in the index.
    vfs_file* f = vfs_open("@rw.txt", "r+b");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(vfs_getc(f), 'a');
    vfs_putc(f, 'X');
    vfs_close(f);
    EXPECT_EQ(read_file(box.root0() + "rw.txt"), "aXc");
    EXPECT_EQ(vfs_open(nullptr, "rb"), nullptr);
}

}  // namespace
