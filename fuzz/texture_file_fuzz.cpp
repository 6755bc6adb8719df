// texture_load over arbitrary file contents: the first-token dispatch, ".seq"
// animations, LINK files and the reductions, into the recording driver.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "render/image_io.h"
#include "render/texture.h"

namespace {
std::string input_path() {
    static std::string path = "/tmp/qx_fuzz_texture_" + std::to_string(getpid()) + ".img";
    return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Names inside the input (LINK targets, ".seq" frames) are opened as
    // given; device files could block the run, so they are left out.
    std::string text((const char*)data, size);
    if (text.find("/dev") != std::string::npos || text.find("/proc") != std::string::npos ||
        text.find("/sys") != std::string::npos)
        return 0;
    image_pixel_limit = (size_t)1 << 18;
    png_check_crc = false;
    FILE* f = fopen(input_path().c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    textures_init();
    unsigned id = texture_load(input_path().c_str());
    if (id) {
        const texture_record* t = texture_of(id);
        if (!t || !is_power_of_two(t->width) || !is_power_of_two(t->height)) __builtin_trap();
        for (int tic = 0; tic < 40; tic += 7) animation_tick(tic);
        if (begin_custom_frame(id)) {
            paste_custom_frame(id, (int)(size % 3), 0.25, -0.5, 0.5, 0.5, 2, 0.75);
            end_custom_frame(id);
        }
    }
    textures_free();
    return 0;
}
