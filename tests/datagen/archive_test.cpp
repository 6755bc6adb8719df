#include <gtest/gtest.h>

#include <string>

#include "testkit/testkit.h"
#include "vfs/saf.h"
#include "vfs/vfs.h"

namespace {

// A fresh run gives byte for byte the archive the build made.
TEST(datagen, TwoRunsGiveIdenticalArchivesThatIndex) {
    temp_dir dir;
    std::string tool = std::string(QX_TOOLS_DIR) + "/quarnix-datagen";
    std::string data = std::string(QX_SOURCE_DIR) + "/data";
    run_result a = run_program({tool, "--data", data, "--out", dir.file("a.saf")}, {}, 300);
    ASSERT_EQ(a.status, 0) << a.err;
    std::string first = read_file(dir.file("a.saf"));
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first, read_file(std::string(QX_BIN_DIR) + "/zzzz.saf"));

    // The archive is well formed: the file system takes its header.
    FILE* f = fopen(dir.file("a.saf").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<saf_header_entry> members;
    EXPECT_TRUE(saf_read_header(f, (int64_t)first.size(), members));
    fclose(f);
}

TEST(datagen, BadArgumentsAreRefused) {
    std::string tool = std::string(QX_TOOLS_DIR) + "/quarnix-datagen";
    EXPECT_EQ(run_program({tool}).status, 2);
    EXPECT_EQ(run_program({tool, "--data", "/nonexistent", "--out", "/tmp/x.saf"}).status, 1);
}

}  // namespace
