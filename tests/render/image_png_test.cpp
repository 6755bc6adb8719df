// PNG reading as colour and as 16-bit grey, text chunks and ".info" files,
// the mip markers, and the PNG writers.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/diag.h"
#include "render/image_io.h"
#include "testkit/testkit.h"
#include "vfs/vfs.h"

namespace {

std::string put(const temp_dir& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    write_file(dir.file(name), bytes);
    return dir.file(name);
}

std::vector<uint8_t> png_of(const std::vector<uint8_t>& px, int w, int h, int channels, const char* text = nullptr) {
    std::vector<uint8_t> out;
    EXPECT_TRUE(encode_png(px.data(), w, h, channels, text, out));
    return out;
}

// A palette PNG (with a transparency entry per colour) written directly with
// libpng, since our writer makes no palette images.
void on_write(png_structp png, png_bytep data, size_t n) {
    auto* out = (std::vector<uint8_t>*)png_get_io_ptr(png);
    out->insert(out->end(), data, data + n);
}
std::vector<uint8_t> palette_png(const std::vector<png_color>& colours, const std::vector<uint8_t>& alpha,
                                 const std::vector<uint8_t>& indexes, int w, int h, bool interlaced = false) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, on_write, nullptr);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_PALETTE, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, colours.data(), (int)colours.size());
    if (!alpha.empty()) png_set_tRNS(png, info, alpha.data(), (int)alpha.size(), nullptr);
    png_write_info(png, info);
    std::vector<png_bytep> rows(h);
    for (int y = 0; y < h; y++) rows[y] = (png_bytep)indexes.data() + y * w;
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

TEST(png_reader, ColourGreyAndAlphaLayouts) {
    temp_dir dir;
    pixel_buffer img;
    std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_TRUE(read_png(put(dir, "rgb.png", png_of(rgb, 2, 2, 3)).c_str(), img));
    EXPECT_EQ(img.channels, 3);
    EXPECT_TRUE(img.has_mips);
    EXPECT_EQ(img.pixels.size(), mip_chain_bytes(2, 2, 3));
    EXPECT_TRUE(std::equal(rgb.begin(), rgb.end(), img.pixels.begin()));
    // Grey becomes RGB.
    ASSERT_TRUE(read_png(put(dir, "g.png", png_of({9, 200}, 2, 1, 1)).c_str(), img));
    EXPECT_EQ(img.channels, 3);
    EXPECT_EQ(std::vector<uint8_t>(img.pixels.begin(), img.pixels.begin() + 6),
              (std::vector<uint8_t>{9, 9, 9, 200, 200, 200}));
    // RGBA stays RGBA.
    std::vector<uint8_t> rgba = {10, 20, 30, 0, 40, 50, 60, 255};
    ASSERT_TRUE(read_png(put(dir, "a.png", png_of(rgba, 2, 1, 4)).c_str(), img));
    EXPECT_EQ(img.channels, 4);
    EXPECT_TRUE(std::equal(rgba.begin(), rgba.end(), img.pixels.begin()));
    // A palette with transparency gains alpha, interlaced or not.
    for (bool interlaced : {false, true}) {
        std::vector<uint8_t> idx(5 * 3);
        for (size_t k = 0; k < idx.size(); k++) idx[k] = (uint8_t)(k % 2);
        ASSERT_TRUE(read_png(
            put(dir, "p.png", palette_png({{255, 0, 0}, {0, 0, 255}}, {128, 255}, idx, 5, 3, interlaced)).c_str(), img));
        ASSERT_EQ(img.channels, 4);
        EXPECT_EQ(img.width, 5);
        EXPECT_EQ(img.pixels[0], 255);
        EXPECT_EQ(img.pixels[3], 128);
        EXPECT_EQ(img.pixels[4 + 2], 255);
        EXPECT_EQ(img.pixels[4 + 3], 255);
    }
}

TEST(png_reader, TextChunksThenInfoFileAndMaxAlphaMarker) {
    temp_dir dir;
    std::vector<uint8_t> rgba = {200, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40};
    std::string path = put(dir, "t.png", png_of(rgba, 2, 2, 4, "hello"));
    pixel_buffer img;
    ASSERT_TRUE(read_png(path.c_str(), img));
    EXPECT_EQ(img.info_text, "hello");
    EXPECT_EQ(img.pixels[16 + 3], 10);  // mean alpha of the 1x1 level
    write_file(path + ".info", std::string("[compress]\n[mip_max_alpha]\n"));
    ASSERT_TRUE(read_png(path.c_str(), img));
    EXPECT_EQ(img.info_text, "hello[compress]\n[mip_max_alpha]\n");
    EXPECT_EQ(img.pixels[16 + 3], 40);  // the maximum instead
}

TEST(png_reader, BrokenFilesFailCleanly) {
    temp_dir dir;
    pixel_buffer img;
    std::vector<uint8_t> good = png_of(std::vector<uint8_t>(16 * 16 * 3, 7), 16, 16, 3);
    EXPECT_FALSE(read_png(dir.file("missing.png").c_str(), img));
    EXPECT_FALSE(read_png(put(dir, "text.png", {'P', '6', ' ', '1'}).c_str(), img));
    for (size_t cut : {(size_t)8, (size_t)20, good.size() / 2, good.size() - 1}) {
        std::vector<uint8_t> part(good.begin(), good.begin() + cut);
        EXPECT_FALSE(read_png(put(dir, "cut.png", part).c_str(), img)) << cut;
        EXPECT_TRUE(img.pixels.empty());
        grey16_buffer g;
        EXPECT_FALSE(read_grey16_png(dir.file("cut.png").c_str(), g)) << cut;
        EXPECT_TRUE(g.samples.empty());
    }
    // A header promising more pixels than the limit is refused outright.
    size_t saved = image_pixel_limit;
    image_pixel_limit = 100;
    EXPECT_FALSE(read_png(put(dir, "big.png", good).c_str(), img));
    image_pixel_limit = saved;
    EXPECT_TRUE(read_png(dir.file("big.png").c_str(), img));
}

// A PNG made of raw chunks: the header says what it likes, the data is
// whatever is given (compressed), with valid checksums.
std::vector<uint8_t> raw_png(uint32_t w, uint32_t h, int depth, int colour, bool interlaced,
                             const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    auto chunk = [&](const char* type, const std::vector<uint8_t>& body) {
        uint32_t n = (uint32_t)body.size();
        for (int s = 24; s >= 0; s -= 8) out.push_back((uint8_t)(n >> s));
        size_t start = out.size();
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), body.begin(), body.end());
        uint32_t crc = (uint32_t)crc32(0, out.data() + start, (uInt)(out.size() - start));
        for (int s = 24; s >= 0; s -= 8) out.push_back((uint8_t)(crc >> s));
    };
    std::vector<uint8_t> ihdr;
    for (uint32_t v : {w, h})
        for (int s = 24; s >= 0; s -= 8) ihdr.push_back((uint8_t)(v >> s));
    ihdr.insert(ihdr.end(), {(uint8_t)depth, (uint8_t)colour, 0, 0, (uint8_t)(interlaced ? 1 : 0)});
    chunk("IHDR", ihdr);
    uLongf packed_size = compressBound((uLong)data.size());
    std::vector<uint8_t> packed(packed_size);
    compress(packed.data(), &packed_size, data.data(), (uLong)data.size());
    packed.resize(packed_size);
    chunk("IDAT", packed);
    chunk("IEND", {});
    return out;
}

// Tiny files whose headers promise huge images: each reader fails with its
// error while the process may grow by no more than 256 MiB, however much the
// header asks for.
TEST(image_readers, TinyFilesWithHugeHeadersCostLittleMemory) {
    temp_dir dir;
    std::vector<uint8_t> row(64, 0);
    struct hostile {
        const char* name;
        std::vector<uint8_t> bytes;
        int reader;  // 0 read_rgba_image, 1 read_grey16_png, 2 read_rgb_image, 3 read_pgm
        const char* error;
    };
    auto text = [](const char* t) { return std::vector<uint8_t>(t, t + strlen(t)); };
    const hostile files[] = {
        {"wide.q7", text("Q7 134217728 1\n"), 0, "Predictive image data ends early"},
        {"tall.q6", text("Q6 1 134217728\n"), 2, "Predictive image data ends early"},
        {"interlaced.png", raw_png(16384, 8192, 8, PNG_COLOR_TYPE_RGB_ALPHA, true, row), 0, "shorter than its header"},
        {"interlaced16.png", raw_png(16384, 8192, 16, PNG_COLOR_TYPE_GRAY, true, row), 1, "shorter than its header"},
        {"rows.png", raw_png(16384, 8192, 8, PNG_COLOR_TYPE_RGB_ALPHA, false, row), 0, "shorter than its header"},
        {"wide.ppm", text("P6 134217728 1 255\n"), 2, "PPM data ends early"},
        {"ascii.ppm", text("P3 8192 16384 255\n1 2 3\n"), 2, "PPM data ends early"},
        {"wide.pgm", text("P5 134217728 1 255\n"), 3, "PGM data ends early"},
    };
    for (const hostile& h : files) {
        SCOPED_TRACE(h.name);
        std::string path = put(dir, h.name, h.bytes);
        EXPECT_TRUE(passes_under_memory_limit([&] {
            pixel_buffer img;
            grey16_buffer grey;
            bool read = false;
            if (h.reader == 0) read = read_rgba_image(path.c_str(), img);
            if (h.reader == 1) read = read_grey16_png(path.c_str(), grey);
            if (h.reader >= 2) {
                vfs_file* f = vfs_open(path.c_str(), "rb");
                if (!f) return false;
                read = h.reader == 2 ? read_rgb_image(f, img) : read_pgm(f, img);
                vfs_close(f);
            }
            return !read && img.pixels.empty() && grey.samples.empty() && strstr(last_image_error(), h.error);
        }));
    }
    // The same readers still take a real interlaced picture.
    std::vector<uint8_t> indexes(40 * 30);
    for (size_t k = 0; k < indexes.size(); k++) indexes[k] = (uint8_t)(k % 3);
    pixel_buffer img;
    ASSERT_TRUE(read_png(put(dir, "real.png", palette_png({{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}, {}, indexes, 40, 30, true))
                             .c_str(),
                         img));
    EXPECT_EQ(img.width, 40);
    EXPECT_EQ(img.pixels[3 * 40 + 1], 255);  // pixel 40 holds index 1: green
}

TEST(grey16_png, EightBitWidensAndSixteenBitIsExact) {
    temp_dir dir;
    grey16_buffer g;
    ASSERT_TRUE(read_grey16_png(put(dir, "g8.png", png_of({128, 0, 255}, 3, 1, 1)).c_str(), g));
    EXPECT_EQ(g.samples, (std::vector<uint16_t>{0x8080, 0, 0xffff}));
    std::mt19937 rng(5);
    std::vector<uint16_t> values(17 * 9);
    for (uint16_t& v : values) v = (uint16_t)rng();
    values[0] = 0;
    values[1] = 65535;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(encode_grey16_png(values.data(), 17, 9, bytes));
    ASSERT_TRUE(read_grey16_png(put(dir, "g16.png", bytes).c_str(), g));
    EXPECT_EQ(g.width, 17);
    EXPECT_EQ(g.height, 9);
    EXPECT_EQ(g.samples, values);
}

TEST(grey16_png, ColourPaletteAndAlphaBecomeGrey) {
    temp_dir dir;
    grey16_buffer g;
    // Alpha is dropped, grey levels pass unchanged.
    ASSERT_TRUE(read_grey16_png(put(dir, "ga.png", png_of({50, 50, 50, 0, 60, 60, 60, 255}, 2, 1, 4)).c_str(), g));
    EXPECT_EQ(g.samples, (std::vector<uint16_t>{50 * 257, 60 * 257}));
    // Grey-coloured RGB pixels stay exactly their level.
    ASSERT_TRUE(read_grey16_png(put(dir, "rgb.png", png_of({100, 100, 100, 3, 3, 3}, 2, 1, 3)).c_str(), g));
    EXPECT_EQ(g.samples, (std::vector<uint16_t>{100 * 257, 3 * 257}));
    ASSERT_TRUE(read_grey16_png(put(dir, "col.png", png_of({255, 0, 0, 0, 255, 0}, 2, 1, 3)).c_str(), g));
    EXPECT_GT(g.samples[1], g.samples[0]);  // green weighs more than red
    ASSERT_TRUE(read_grey16_png(
        put(dir, "pal.png", palette_png({{10, 10, 10}, {240, 240, 240}}, {0, 0}, {0, 1, 1, 0}, 2, 2)).c_str(), g));
    EXPECT_EQ(g.samples, (std::vector<uint16_t>{10 * 257, 240 * 257, 240 * 257, 10 * 257}));
}

TEST(rgba_image, PngWidenedPredictiveAcceptedOthersRefused) {
    temp_dir dir;
    pixel_buffer img;
    ASSERT_TRUE(read_rgba_image(put(dir, "rgb.png", png_of({1, 2, 3}, 1, 1, 3)).c_str(), img));
    EXPECT_EQ(img.channels, 4);
    EXPECT_EQ(std::vector<uint8_t>(img.pixels.begin(), img.pixels.end()), (std::vector<uint8_t>{1, 2, 3, 255}));
    std::vector<uint8_t> px = {5, 6, 7, 8, 9, 10};
    ASSERT_TRUE(read_rgba_image(put(dir, "x.q6", encode_predictive(px.data(), 2, 1, 3)).c_str(), img));
    EXPECT_EQ(img.channels, 4);
    EXPECT_EQ(std::vector<uint8_t>(img.pixels.begin(), img.pixels.begin() + 8),
              (std::vector<uint8_t>{5, 6, 7, 255, 8, 9, 10, 255}));
    std::vector<uint8_t> ppm = encode_ppm(px.data(), 2, 1);
    EXPECT_FALSE(read_rgba_image(put(dir, "x.ppm", ppm).c_str(), img));
}

// A 16 x 24 picture whose lower third holds hand-made levels, each a flat
// colour equal to its level number.
std::vector<uint8_t> custom_mip_picture(int w, int full_h) {
    int h0 = full_h * 2 / 3;
    std::vector<uint8_t> px((size_t)w * full_h * 3, 0xee);
    auto fill = [&](int x0, int y0, int lw, int lh, uint8_t v) {
        for (int y = y0; y < y0 + lh; y++)
            for (int x = x0; x < x0 + lw; x++)
                for (int c = 0; c < 3; c++) px[((size_t)y * w + x) * 3 + c] = v;
    };
    fill(0, 0, w, h0, 100);
    fill(0, h0, w / 2, h0 / 2, 1);
    int y = h0;
    for (int l = 2, x = w / 2; mip_side(w, l - 1) > 1 || mip_side(h0, l - 1) > 1; l++) {
        int lw = mip_side(w, l), lh = mip_side(h0, l);
        fill(x, y, lw, lh, (uint8_t)l);
        y += lh;
    }
    return px;
}

TEST(png_reader, CustomMipLevelsAreTakenFromThePicture) {
    temp_dir dir;
    pixel_buffer img;
    std::string path = put(dir, "c.png", png_of(custom_mip_picture(16, 24), 16, 24, 3, "[mip_custom]"));
    ASSERT_TRUE(read_png(path.c_str(), img));
    EXPECT_EQ(img.width, 16);
    EXPECT_EQ(img.height, 16);
    int levels = mip_level_count(16, 16);
    ASSERT_EQ(img.pixels.size(), mip_chain_bytes(16, 16, 3));
    EXPECT_EQ(img.pixels[0], 100);
    for (int l = 1; l < levels; l++) {
        size_t at = mip_level_offset(16, 16, 3, l), n = (size_t)mip_side(16, l) * mip_side(16, l) * 3;
        for (size_t k = 0; k < n; k++) ASSERT_EQ(img.pixels[at + k], l) << "level " << l;
    }
    // A wrong height is reported and the picture used as it is.
    clear_message_history();
    ASSERT_TRUE(read_png(put(dir, "bad.png", png_of(std::vector<uint8_t>(16 * 20 * 3, 9), 16, 20, 3, "[mip_custom]"))
                             .c_str(),
                         img));
    EXPECT_EQ(img.height, 20);
    EXPECT_EQ(std::string(message_line(0)), "Warning: Invalid height for custom MIP map in '" + dir.file("bad.png") + "'");
}

TEST(png_reader, CustomMipLevelsWrapIntoNewColumns) {
    // 64 x 6: level 0 is 64 x 4 and the band below it only 2 rows high, so
    // the 1-row levels wrap into new columns to the right.
    temp_dir dir;
    std::vector<uint8_t> px(64 * 6 * 4, 0);
    for (size_t k = 0; k < px.size(); k++) px[k] = (uint8_t)(k * 7 + k / 251);
    pixel_buffer img;
    ASSERT_TRUE(read_png(put(dir, "w.png", png_of(px, 64, 6, 4, "[mip_custom]")).c_str(), img));
    EXPECT_EQ(img.width, 64);
    EXPECT_EQ(img.height, 4);
    ASSERT_EQ(img.pixels.size(), mip_chain_bytes(64, 4, 4));
    // level: x, y of its top-left corner in the picture
    const int place[7][2] = {{0, 0}, {0, 4}, {32, 4}, {32, 5}, {48, 4}, {48, 5}, {52, 4}};
    for (int l = 0; l < 7; l++) {
        int lw = mip_side(64, l), lh = mip_side(4, l);
        size_t at = mip_level_offset(64, 4, 4, l);
        for (int y = 0; y < lh; y++)
            for (int x = 0; x < lw * 4; x++)
                ASSERT_EQ(img.pixels[at + (size_t)y * lw * 4 + x],
                          px[((size_t)(place[l][1] + y) * 64 + place[l][0]) * 4 + x])
                    << "level " << l;
    }
}

TEST(png_writer, RefusesBadArguments) {
    std::vector<uint8_t> out, px(12);
    EXPECT_FALSE(encode_png(px.data(), 0, 1, 3, nullptr, out));
    EXPECT_FALSE(encode_png(px.data(), 1, 1, 2, nullptr, out));
    EXPECT_FALSE(encode_png(nullptr, 1, 1, 3, nullptr, out));
    EXPECT_TRUE(out.empty());
}

}  // namespace
