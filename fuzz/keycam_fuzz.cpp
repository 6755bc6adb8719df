// The camera key-frame reader over arbitrary text, and the spline over
// whatever it read.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "console/keycam.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<key_frame> frames;
    parse_key_frames(reinterpret_cast<const char*>(data), size, frames);
    for (const key_frame& k : frames)
        if (!std::isfinite(k.fov) || !std::isfinite(k.position[0]) || !std::isfinite(k.rotation[3])) __builtin_trap();
    std::stable_sort(frames.begin(), frames.end(), [](const key_frame& a, const key_frame& b) { return a.tic < b.tic; });
    key_frames() = frames;
    key_frame out;
    if (!frames.empty()) {
        for (int tic : {frames.front().tic - 1, frames.front().tic, frames.back().tic, (frames.front().tic / 2) +
                                                                                           (frames.back().tic / 2)})
            if (!key_frame_at(tic, out)) __builtin_trap();
        delete_key_frame(frames.front().tic);
    }
    key_frames().clear();
    return 0;
}
