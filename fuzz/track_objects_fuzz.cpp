// The track object parsers over arbitrary text: the first byte picks
// billboards, statues, flaggers, lighting or cameras, the rest is the file.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "render/model.h"
#include "render/texture.h"
#include "track/objects_billboards.h"
#include "track/objects_cameras.h"
#include "track/objects_flaggers.h"
#include "track/objects_grid.h"
#include "track/objects_lighting.h"
#include "track/objects_statues.h"
#include "track/track_objects.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

bool finite(float v) { return std::isfinite(v); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = [] {
        textures_init();
        models_init(false);
        char dir[] = "/tmp/qxfuzz.XXXXXX";
        std::string d = mkdtemp(dir) ? dir : "/tmp";
        return d + "/objects";
    }();
    if (size < 1) return 0;
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) return 0;
    fwrite(data + 1, 1, size - 1, out);
    fclose(out);
    free_track_objects();
    switch (data[0] % 5) {
        case 0:
            load_billboards(path.c_str());
            for (const billboard& b : track_billboards())
                check(finite(b.x) && finite(b.y) && finite(b.z) && finite(b.size) && finite(b.aspect));
            break;
        case 1:
            load_statues(path.c_str());
            build_object_grid();
            for (const statue& s : track_statues()) {
                check(finite(s.x) && finite(s.y) && finite(s.z));
                for (float v : s.orientation) check(finite(v));
            }
            break;
        case 2: {
            load_flaggers(path.c_str());
            update_flaggers();
            for (const yellow_flagger& y : track_flaggers().yellow)
                for (int g : y.gates) check(g >= -1 && g < 256);
            break;
        }
        case 3: {
            load_lighting(path.c_str());
            const lighting_record& L = track_lighting;
            check(L.near_plane >= min_near_plane && L.near_plane <= max_near_plane);
            check(L.far_plane >= L.near_plane && L.far_plane <= max_far_plane);
            float n = L.sun_vector[0] * L.sun_vector[0] + L.sun_vector[1] * L.sun_vector[1] +
                      L.sun_vector[2] * L.sun_vector[2];
            check(std::fabs(n - 1) < 1e-4f);
            for (const flare& f : L.flare_list) check(f.element_count >= 0 && f.element_count <= max_flare_elements);
            break;
        }
        default: {
            load_cameras(path.c_str());
            int count = (int)track_cameras().size();
            for (int c : gate_cameras()) check(c >= -1 && c <= count);
            for (const track_camera& c : track_cameras())
                check(std::isfinite(c.position[0]) && std::isfinite(c.position[1]) && std::isfinite(c.position[2]));
            break;
        }
    }
    return 0;
}
