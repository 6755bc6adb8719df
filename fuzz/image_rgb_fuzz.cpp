// read_rgb_image (PPM "P6"/"P3" and predictive "Q6"/"Q7") over arbitrary bytes.
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
    static std::string path = scratch_folder() + "/qx_fuzz_rgb_" + std::to_string(getpid());
    static bool registered = atexit([] { remove(input_path().c_str()); }) == 0;
    (void)registered;
    return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* f = fopen(input_path().c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    vfs_file* file = vfs_open(input_path().c_str(), "rb");
    if (!file) return 0;
    pixel_buffer img;
    bool mips = size > 0 && (data[size - 1] & 1);
    if (read_rgb_image(file, img, mips)) {
        size_t need = mips ? mip_chain_bytes(img.width, img.height, 3) : (size_t)img.width * img.height * 3;
        if (img.channels != 3 || img.pixels.size() != need) __builtin_trap();
    }
    vfs_close(file);
    return 0;
}
