// The ".jm" writer: the exact text the reader takes back.
#include <algorithm>
#include <cstdio>

#include "render/model.h"

namespace {

void put(std::string& s, float v, const char* format) {
    char buffer[32];
    if (v == 0) v = 0;  // no "-0"
    int n = snprintf(buffer, sizeof buffer, format, (double)v);
    s.append(buffer, (size_t)std::max(n, 0));
}

}  // namespace

std::string model_text(const model& m, const char* bone_set_name) {
    int bones = 0;
    for (const mesh& me : m.meshes) bones = std::max(bones, me.bone_count);
    std::string s;
    if (bones > 0) {
        s += "JM2 " + std::to_string(bones) + " " + (bone_set_name && *bone_set_name ? bone_set_name : "bones") + "\n";
    } else {
        s += "JM1\n";
    }
    for (const mesh& me : m.meshes) {
        put(s, me.shininess, "%g ");
        put(s, me.shininess >= 0 ? 1.0f : me.specular[3], "%g ");
        put(s, me.specular[0], "%g ");
        put(s, me.specular[1], "%g ");
        put(s, me.specular[2], "%g ");
        s += std::to_string(me.vertex_count) + " " + std::to_string(me.triangle_count) + "\n";
        const std::vector<float>& pos = me.bone_count > 0 && !me.rest_positions.empty() ? me.rest_positions : me.positions;
        const std::vector<float>& nor = me.bone_count > 0 && !me.rest_normals.empty() ? me.rest_normals : me.normals;
        std::vector<float> w((size_t)bones);
        for (int i = 0; i < me.vertex_count; i++) {
            size_t k = (size_t)i;
            for (int c = 0; c < 3; c++) put(s, pos[k * 3 + c], "%.5g ");
            for (int c = 0; c < 3; c++) put(s, nor[k * 3 + c], "%.4g ");
            put(s, me.texcoords[k * 2], "%.5g ");
            put(s, 1 - me.texcoords[k * 2 + 1], bones > 0 ? "%.5g " : "%.5g");
            if (bones > 0) {
                // Every mesh of a skinned file carries weights; a rigid one
                // follows bone 0.
                std::fill(w.begin(), w.end(), 0.0f);
                if (me.bone_count > 0) {
                    for (int j = 0; j < 4; j++) {
                        int b = (int)me.bones[k * 4 + j];
                        if (b >= 0 && b < bones) w[(size_t)b] += me.weights[k * 4 + j];
                    }
                } else {
                    w[0] = 1;
                }
                for (int b = 0; b < bones; b++) put(s, w[(size_t)b], b + 1 < bones ? "%.4g " : "%.4g");
            }
            s += "\n";
        }
        for (int t = 0; t < me.triangle_count; t++) {
            size_t k = (size_t)t * 3;
            s += std::to_string(me.triangles[k]) + " " + std::to_string(me.triangles[k + 1]) + " " +
                 std::to_string(me.triangles[k + 2]) + "\n";
        }
    }
    return s;
}
