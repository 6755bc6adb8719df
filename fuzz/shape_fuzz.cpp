// The ".shp" reader: the input is the whole file.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "render/shape_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/qx_shape_fuzz_" + std::to_string(getpid()) + ".shp";
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    const collision_shape* s = shape_load(path.c_str());
    if (s) {
        if (s->spheres.size() > (size_t)shape_max_spheres) __builtin_trap();
        if (!std::isfinite(s->bounding_radius) || s->bounding_radius < 0) __builtin_trap();
        for (const collision_sphere& c : s->spheres)
            if (!(c.radius > 0) || c.stiffness < 0 || c.damping < 0 || c.stiffness + c.damping <= 0) __builtin_trap();
        // What the writer makes reads back as the same spheres.
        collision_shape copy = *s;
        std::string text = shape_text(copy);
        shape_cache_free();
        FILE* g = fopen(path.c_str(), "wb");
        if (!g) return 0;
        fwrite(text.data(), 1, text.size(), g);
        fclose(g);
        const collision_shape* back = shape_load(path.c_str());
        if (!back || back->spheres.size() != copy.spheres.size()) __builtin_trap();
        if (!copy.spheres.empty() &&
            memcmp(back->spheres.data(), copy.spheres.data(), copy.spheres.size() * sizeof(collision_sphere)) != 0)
            __builtin_trap();
    }
    shape_cache_free();
    return 0;
}
