// read_predictive over arbitrary bytes: the first byte picks the token and
// the output channel count, the rest is the file after the token.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "render/image_io.h"
#include "vfs/vfs.h"

namespace {
// Memory-backed scratch space when there is one: every run writes its input.
std::string scratch_folder() { return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp"; }
std::string input_path() {
    static std::string path = scratch_folder() + "/qx_fuzz_predictive_" + std::to_string(getpid());
    static bool registered = atexit([] { remove(input_path().c_str()); }) == 0;
    (void)registered;
    return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* f = fopen(input_path().c_str(), "wb");
    if (!f) return 0;
    fwrite(data + 1, 1, size - 1, f);
    fclose(f);
    vfs_file* file = vfs_open(input_path().c_str(), "rb");
    if (!file) return 0;
    const char* token = (data[0] & 1) ? "Q7" : "Q6";
    int channels = (data[0] & 2) ? 4 : 3;
    pixel_buffer img;
    if (read_predictive(file, token, channels, img) &&
        (img.channels != channels || img.pixels.size() != mip_chain_bytes(img.width, img.height, channels)))
        __builtin_trap();
    vfs_close(file);
    // Whatever decoded must encode and decode back to the same level 0.
    if (!img.pixels.empty()) {
        std::vector<uint8_t> again = encode_predictive(img.pixels.data(), img.width, img.height, channels);
        FILE* g = fopen(input_path().c_str(), "wb");
        if (!g) return 0;
        fwrite(again.data(), 1, again.size(), g);
        fclose(g);
        vfs_file* back = vfs_open(input_path().c_str(), "rb");
        if (!back) return 0;
        std::string t = read_image_token(back);
        pixel_buffer img2;
        if (!read_predictive(back, t.c_str(), channels, img2)) __builtin_trap();
        vfs_close(back);
        size_t level0 = (size_t)img.width * img.height * channels;
        if (!std::equal(img.pixels.begin(), img.pixels.begin() + level0, img2.pixels.begin())) __builtin_trap();
    }
    return 0;
}
