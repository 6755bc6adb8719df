// load_tile_info over an arbitrary "tileinfo", then the writer: whatever was
// read must write out and read back as the same tile types. An input that
// begins with the line "#texturelist" or "#decals" goes to those readers
// instead (the decals' writer is checked the same way).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>

#include "track/decals.h"
#include "track/tile_info.h"
#include "vfs/vfs.h"

namespace {

char scratch[256];

const char* input_path() {
    if (!scratch[0]) {
        snprintf(scratch, sizeof scratch, "%s/qx_fuzz_tileinfo_%d", access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp",
                 (int)getpid());
        atexit([] { remove(scratch); });
    }
    return scratch;
}

void put(const void* data, size_t size) {
    FILE* f = fopen(input_path(), "wb");
    if (!f) abort();
    fwrite(data, 1, size, f);
    fclose(f);
}

bool same_tile(const tile_info& a, const tile_info& b) {
    if (a.name != b.name || a.texture.name != b.texture.name || a.slip_function != b.slip_function ||
        a.blend != b.blend || a.friction_coefficient != b.friction_coefficient || a.friction_speed != b.friction_speed ||
        a.roll_resist != b.roll_resist || a.roll_resist_speed != b.roll_resist_speed ||
        memcmp(&a.erode, &b.erode, sizeof a.erode) != 0)
        return false;
    for (int r = 0; r < max_roost_types; r++) {
        const roost_type &p = a.roost[r], &q = b.roost[r];
        if (p.mode != q.mode || p.texture.name != q.texture.name || p.color != q.color || p.fade != q.fade ||
            memcmp(&p.count, &q.count, (char*)&p.randomize - (char*)&p.count + sizeof p.randomize) != 0)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // No file-system look-ups for texture names made up by the fuzzer.
    track_texture_loader = [](const char*) { return 1u; };
    std::string head((const char*)data, std::min(size, (size_t)16));
    if (head.rfind("#texturelist\n", 0) == 0) {
        put(data + 13, size - 13);
        if (!load_texture_list(input_path()) || tile_count() < 1 || tile_count() > max_tile_types) __builtin_trap();
        return 0;
    }
    if (head.rfind("#decals\n", 0) == 0) {
        put(data + 8, size - 8);
        if (!load_decals(input_path())) abort();
        std::vector<decal> first = track_decals();
        for (int c = 0; c < decal_grid_side * decal_grid_side; c++)
            for (int k : decals_in_cell(c % 8, c / 8))
                if (k < 0 || (size_t)k >= first.size()) __builtin_trap();
        std::string text = encode_decals(first);
        put(text.data(), text.size());
        if (!load_decals(input_path()) || track_decals().size() != first.size()) __builtin_trap();
        for (size_t k = 0; k < first.size(); k++) {
            const decal &a = first[k], &b = track_decals()[k];
            if (a.x != b.x || a.z != b.z || a.angle != b.angle || a.size != b.size || a.ratio != b.ratio ||
                a.texture.name != b.texture.name)
                __builtin_trap();
        }
        return 0;
    }
    put(data, size);
    if (!load_tile_info(input_path())) abort();
    std::vector<tile_info> first = tile_types();
    if (first.empty() || first.size() > (size_t)max_tile_types) __builtin_trap();
    for (const tile_info& t : first) {
        if (t.name.size() > tile_name_chars) __builtin_trap();
        if (t.erode.erode_limit_count < 1 || t.erode.erode_limit_count > max_erode_limits) __builtin_trap();
        // A roost line of a very long texture name plus every token would not
        // fit the reader's line; such files are not written by us.
        for (const roost_type& r : t.roost)
            if (r.texture.name.size() > 600) return 0;
    }
    std::string text = encode_tileinfo(first);
    put(text.data(), text.size());
    if (!load_tile_info(input_path())) abort();
    const std::vector<tile_info>& second = tile_types();
    if (second.size() != first.size()) __builtin_trap();
    for (size_t k = 0; k < first.size(); k++)
        if (!same_tile(first[k], second[k])) __builtin_trap();
    return 0;
}
