// PPM, PGM and the predictive format, read from files and written back.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "render/image_io.h"
#include "testkit/testkit.h"
#include "vfs/vfs.h"

namespace {

struct image_files {
    temp_dir dir;
    std::string put(const std::string& name, const std::string& bytes) {
        write_file(dir.file(name), bytes);
        return dir.file(name);
    }
    std::string put(const std::string& name, const std::vector<uint8_t>& bytes) {
        return put(name, std::string(bytes.begin(), bytes.end()));
    }
};

bool read_rgb_file(const std::string& path, pixel_buffer& out, bool mips = true) {
    vfs_file* f = vfs_open(path.c_str(), "rb");
    if (!f) return false;
    bool ok = read_rgb_image(f, out, mips);
    vfs_close(f);
    return ok;
}

bool read_pgm_file(const std::string& path, pixel_buffer& out) {
    vfs_file* f = vfs_open(path.c_str(), "rb");
    if (!f) return false;
    bool ok = read_pgm(f, out);
    vfs_close(f);
    return ok;
}

bool read_predictive_file(const std::string& path, int channels, pixel_buffer& out) {
    vfs_file* f = vfs_open(path.c_str(), "rb");
    if (!f) return false;
    std::string token = read_image_token(f);
    bool ok = read_predictive(f, token.c_str(), channels, out);
    vfs_close(f);
    return ok;
}

std::vector<uint8_t> random_pixels(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t& b : v) b = (uint8_t)rng();
    return v;
}

TEST(ppm_reader, BinaryScalesByMaximumAndBuildsChain) {
    image_files files;
    std::string body = "P6\n# made by hand\n2 1\n127\n";
    body += std::string{(char)127, (char)64, 0, (char)1, (char)126, (char)127};
    pixel_buffer img;
    ASSERT_TRUE(read_rgb_file(files.put("a.ppm", body), img));
    EXPECT_EQ(img.width, 2);
    EXPECT_EQ(img.height, 1);
    EXPECT_EQ(img.channels, 3);
    ASSERT_TRUE(img.has_mips);
    ASSERT_EQ(img.pixels.size(), 9u);  // 2x1 then 1x1
    EXPECT_EQ(img.pixels[0], 255);
    EXPECT_EQ(img.pixels[1], 128);
    EXPECT_EQ(img.pixels[2], 0);
    EXPECT_EQ(img.pixels[3], 2);
    EXPECT_EQ(img.pixels[4], 252);
    EXPECT_EQ(img.pixels[5], 255);
    // The 1x1 level: the mean of the two columns (each counted twice).
    EXPECT_EQ(img.pixels[6], (255 + 2) / 2);
    EXPECT_EQ(img.pixels[7], (128 + 252) / 2);
}

TEST(ppm_reader, AsciiWithCommentsBetweenSamples) {
    image_files files;
    std::string body = "P3\n#c1\n  # c2\n2 1 255\n10 20\n# between\n30\n40 50 60\n";
    pixel_buffer img;
    ASSERT_TRUE(read_rgb_file(files.put("a.ppm", body), img, false));
    ASSERT_EQ(img.pixels.size(), 6u);
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{10, 20, 30, 40, 50, 60}));
    EXPECT_FALSE(img.has_mips);
    // ASCII samples above the maximum saturate instead of wrapping.
    ASSERT_TRUE(read_rgb_file(files.put("b.ppm", "P3 1 1 100 100 200 -5\n"), img, false));
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{255, 255, 0}));
}

TEST(ppm_reader, MalformedHeadersAndBodiesFailCleanly) {
    image_files files;
    pixel_buffer img;
    struct bad_case {
        const char* body;
        const char* error;
    };
    const bad_case cases[] = {
        {"P6\n4\n", "Can't get PPM dimensions"},             // no height
        {"P6\n4 4 0\n", "Can't get PPM dimensions"},         // maximum 0
        {"P6\n-4 4 255\n", "Can't get PPM dimensions"},      // negative width
        {"P9\n4 4 255\n", "Can't parse PPM header"},         // unknown magic
        {"", "Can't parse PPM header"},                      // empty file
        {"P6\n0 4 255\nxxxx", "Bad PPM size 0x4"},           // empty image
        {"P6\n2000000000 2000000000 255\n", "Bad PPM size 2000000000x2000000000"},
        {"P6\n99999999999 1 255\n", "Bad PPM size 2147483647x1"},
        {"P6\n4 4 255\nabc", "PPM data ends early"},
        {"P3\n2 2 255\n1 2 3 4 5", "PPM data ends early"},
        {"P3\n1 1 255\n1 2 x", "PPM data ends early"},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.body);
        img.width = 77;
        EXPECT_FALSE(read_rgb_file(files.put("bad.ppm", c.body), img));
        EXPECT_STREQ(last_image_error(), c.error);
        EXPECT_EQ(img.width, 0);
        EXPECT_TRUE(img.pixels.empty());
    }
}

TEST(pgm_reader, BinaryAndAsciiWithoutChain) {
    image_files files;
    pixel_buffer img;
    ASSERT_TRUE(read_pgm_file(files.put("a.pgm", std::string("P5 3 1 255\n") + "\x01\x80\xff"), img));
    EXPECT_EQ(img.channels, 1);
    EXPECT_FALSE(img.has_mips);
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{1, 128, 255}));
    ASSERT_TRUE(read_pgm_file(files.put("b.pgm", "P2\n# x\n1 2\n15\n15\n# y\n0\n"), img));
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{255, 0}));
    EXPECT_FALSE(read_pgm_file(files.put("c.pgm", "P6 1 1 255\nabc"), img));
    EXPECT_STREQ(last_image_error(), "Can't parse PGM header");
    EXPECT_FALSE(read_pgm_file(files.put("d.pgm", "P5 1\n"), img));
    EXPECT_STREQ(last_image_error(), "Can't get PGM dimensions");
    EXPECT_FALSE(read_pgm_file(files.put("e.pgm", "P5 4 4 255\nab"), img));
    EXPECT_STREQ(last_image_error(), "PGM data ends early");
}

TEST(pnm_writers, RoundTripExactly) {
    image_files files;
    std::vector<uint8_t> rgb = random_pixels(7 * 5 * 3, 1), grey = random_pixels(9 * 4, 2);
    pixel_buffer img;
    ASSERT_TRUE(read_rgb_file(files.put("w.ppm", encode_ppm(rgb.data(), 7, 5)), img, false));
    EXPECT_EQ(img.width, 7);
    EXPECT_EQ(img.height, 5);
    EXPECT_EQ(img.pixels, rgb);
    ASSERT_TRUE(read_pgm_file(files.put("w.pgm", encode_pgm(grey.data(), 9, 4)), img));
    EXPECT_EQ(img.width, 9);
    EXPECT_EQ(img.pixels, grey);
    std::vector<uint8_t> bytes = encode_ppm(rgb.data(), 7, 5);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 9), "P6\n7 5\n25");
}

TEST(predictive, TwoByTwoOfTensPredictsFromNeighbours) {
    image_files files;
    std::string body = "Q6\n2 2\n" + std::string(12, (char)10);
    pixel_buffer img;
    ASSERT_TRUE(read_rgb_file(files.put("q.q6", body), img, false));
    ASSERT_EQ(img.pixels.size(), 12u);
    const int expected[4] = {10, 20, 20, 40};
    for (int p = 0; p < 4; p++)
        for (int c = 0; c < 3; c++) EXPECT_EQ(img.pixels[p * 3 + c], expected[p]) << p << "," << c;
}

TEST(predictive, EncoderAndDecoderRoundTrip) {
    image_files files;
    const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {13, 7}, {64, 64}};
    unsigned seed = 10;
    for (auto& s : sizes) {
        for (int channels : {3, 4}) {
            SCOPED_TRACE(std::to_string(s[0]) + "x" + std::to_string(s[1]) + "x" + std::to_string(channels));
            // Random pixels exercise the prediction clamps at 0 and 255;
            // smooth ones the ordinary case.
            std::vector<uint8_t> px = random_pixels((size_t)s[0] * s[1] * channels, seed++);
            if (seed % 2)
                for (size_t k = 0; k < px.size(); k++) px[k] = (uint8_t)(k / channels % 40 * 3 + k % channels);
            std::string path = files.put("r.q", encode_predictive(px.data(), s[0], s[1], channels));
            pixel_buffer img;
            ASSERT_TRUE(read_predictive_file(path, channels, img));
            ASSERT_EQ(img.width, s[0]);
            ASSERT_EQ(img.height, s[1]);
            ASSERT_TRUE(img.has_mips);
            EXPECT_EQ(img.pixels.size(), mip_chain_bytes(s[0], s[1], channels));
            EXPECT_TRUE(std::equal(px.begin(), px.end(), img.pixels.begin()));
        }
    }
}

TEST(predictive, ChannelCountsConvertAndTruncationFails) {
    image_files files;
    std::vector<uint8_t> rgba = random_pixels(5 * 3 * 4, 99);
    std::string q7 = files.put("a.q7", encode_predictive(rgba.data(), 5, 3, 4));
    pixel_buffer img;
    ASSERT_TRUE(read_predictive_file(q7, 3, img));
    for (int p = 0; p < 15; p++)
        for (int c = 0; c < 3; c++) ASSERT_EQ(img.pixels[p * 3 + c], rgba[p * 4 + c]);
    std::vector<uint8_t> rgb = random_pixels(4 * 4 * 3, 98);
    std::string q6 = files.put("a.q6", encode_predictive(rgb.data(), 4, 4, 3));
    ASSERT_TRUE(read_predictive_file(q6, 4, img));
    for (int p = 0; p < 16; p++) {
        for (int c = 0; c < 3; c++) ASSERT_EQ(img.pixels[p * 4 + c], rgb[p * 3 + c]);
        ASSERT_EQ(img.pixels[p * 4 + 3], 255);  // widened images are opaque
    }
    std::vector<uint8_t> cut = encode_predictive(rgb.data(), 4, 4, 3);
    cut.resize(cut.size() - 1);
    EXPECT_FALSE(read_predictive_file(files.put("cut.q6", cut), 3, img));
    EXPECT_STREQ(last_image_error(), "Predictive image data ends early");
    EXPECT_TRUE(img.pixels.empty());
    EXPECT_FALSE(read_predictive_file(files.put("big.q6", "Q6 100000 100000\n"), 3, img));
    EXPECT_FALSE(read_predictive_file(files.put("neg.q6", "Q6 4\n"), 3, img));
    EXPECT_STREQ(last_image_error(), "Can't get predictive image dimensions");
}

}  // namespace
