// SHA-1 against the published test vectors, however the bytes are cut up,
// and whole files fed as the reader delivers them.
#include <gtest/gtest.h>

#include "testkit/testkit.h"
#include "track/digest.h"
#include "vfs/saf.h"

namespace {

std::string sha1_hex(const std::string& text, size_t block) {
    sha1_stream s;
    for (size_t at = 0; at < text.size(); at += block) s.feed(text.data() + at, std::min(block, text.size() - at));
    return hex_digest(s.finish());
}

TEST(sha1, PublishedVectorsInAnyBlocking) {
    const std::pair<std::string, const char*> vectors[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
         "nopqrstu",
         "a49b2446a02c645bf419f995b67091253a04a259"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const auto& [text, want] : vectors)
        for (size_t block : {(size_t)1, (size_t)63, (size_t)64, (size_t)1024, text.size() + 1})
            EXPECT_EQ(sha1_hex(text, block), want) << text.substr(0, 16) << " in blocks of " << block;
    // A finished stream starts over.
    sha1_stream s;
    s.feed("abc", 3);
    s.finish();
    EXPECT_EQ(hex_digest(s.finish()), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

int g_ticks = 0;

TEST(sha1, FilesAreFedDecompressedAndMissingFilesFeedNothing) {
    vfs_sandbox box;
    std::string text(5000, 'a');
    write_file(box.root1() + "plain", text);
    std::vector<uint8_t> packed = gzip_bytes((const uint8_t*)text.data(), text.size(), 6);
    write_file(box.root1() + "packed.gz", packed);
    sha1_stream s;
    g_ticks = 0;
    ASSERT_TRUE(feed_file(s, "@plain", 1024, [] { g_ticks++; }));
    EXPECT_EQ(g_ticks, 5);
    std::string plain = hex_digest(s.finish());
    EXPECT_EQ(plain, sha1_hex(text, text.size()));
    ASSERT_TRUE(feed_file(s, "@packed", 1000));
    EXPECT_EQ(hex_digest(s.finish()), plain);
    EXPECT_FALSE(feed_file(s, "@missing", 1024));
    EXPECT_EQ(hex_digest(s.finish()), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

}  // namespace
