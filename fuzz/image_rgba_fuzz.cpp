// read_rgba_image (PNG, else predictive) over arbitrary bytes.
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
    static std::string path = scratch_folder() + "/qx_fuzz_rgba_" + std::to_string(getpid()) + ".png";
    static bool registered = atexit([] { remove(input_path().c_str()); }) == 0;
    (void)registered;
    return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    png_check_crc = false;
    FILE* f = fopen(input_path().c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    pixel_buffer img;
    if (read_rgba_image(input_path().c_str(), img)) {
        if (img.channels != 4 || img.pixels.size() != mip_chain_bytes(img.width, img.height, 4)) __builtin_trap();
    }
    return 0;
}
