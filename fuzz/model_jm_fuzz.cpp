// The ".jm" reader over arbitrary text: parsing, clean-up, tangents, the
// writer's round trip and skinning with a full pose.
#include <cstdint>
#include <cstring>
#include <string>

#include "render/model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    model m;
    if (!parse_model((const char*)data, size, "fuzz.jm", m)) {
        if (!m.meshes.empty()) __builtin_trap();
        return 0;
    }
    remove_degenerate_triangles(m);
    finish_model(m);
    for (const mesh& me : m.meshes) {
        if (me.bone_count < 0 || me.bone_count > model_max_bones) __builtin_trap();
        for (int t : me.triangles)
            if (t < 0 || t >= me.vertex_count) __builtin_trap();
        for (float b : me.bones)
            if (b < 0 || b >= (float)me.bone_count) __builtin_trap();
    }
    float c[model_max_bones * 3] = {}, t[model_max_bones * 3] = {}, r[model_max_bones * 9] = {};
    for (int b = 0; b < model_max_bones; b++) r[b * 9] = r[b * 9 + 4] = r[b * 9 + 8] = 1;
    model_pose pose{model_max_bones, c, t, r};
    for (mesh& me : m.meshes) skin_mesh(me, pose);
    std::string text = model_text(m);
    model back;
    if (!parse_model(text.data(), text.size(), "again.jm", back) || back.meshes.size() != m.meshes.size())
        __builtin_trap();
    return 0;
}
