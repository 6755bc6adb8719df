// Skinning on the processor, display lists and drawing of model meshes.
#include <algorithm>
#include <cmath>

#include "core/cmdline.h"
#include "render/gl_caps.h"
#include "render/gl_ext.h"
#include "render/model_internal.h"
#include "render/shaders.h"

namespace {

int g_polygons = 0;

bool multitexture() { return glext.ClientActiveTextureARB && glext.MultiTexCoord3fvARB && glext.MultiTexCoord4fvARB; }

void texcoord_array(int set, int size, const float* data) {
    if (set > 0 && !multitexture()) return;
    if (glext.ClientActiveTextureARB) glext.ClientActiveTextureARB(GL_TEXTURE0_ARB + set);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(size, GL_FLOAT, 0, data);
}

void disable_texcoord_array(int set) {
    if (set > 0 && !multitexture()) return;
    if (glext.ClientActiveTextureARB) glext.ClientActiveTextureARB(GL_TEXTURE0_ARB + set);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

// The triangles of a mesh: positions, normals, texture coordinates in set 0,
// tangents in set 1 and, with `skin`, weights and bone indexes in sets 2, 3.
void emit(const mesh& m, bool skin) {
    if (m.triangle_count <= 0) return;
    bool extra = multitexture();
    if (!cmdline.no_vertex_arrays) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, m.positions.data());
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, m.normals.data());
        texcoord_array(0, 2, m.texcoords.data());
        if (extra) texcoord_array(1, 3, m.tangents.data());
        if (extra && skin) {
            texcoord_array(2, 4, m.weights.data());
            texcoord_array(3, 4, m.bones.data());
        }
        glDrawElements(GL_TRIANGLES, m.triangle_count * 3, GL_UNSIGNED_INT, m.triangles.data());
        if (extra && skin) {
            disable_texcoord_array(3);
            disable_texcoord_array(2);
        }
        if (extra) disable_texcoord_array(1);
        disable_texcoord_array(0);
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
        return;
    }
    glBegin(GL_TRIANGLES);
    for (int k = 0; k < m.triangle_count * 3; k++) {
        size_t i = (size_t)m.triangles[(size_t)k];
        if (extra) {
            glext.MultiTexCoord3fvARB(GL_TEXTURE1_ARB, &m.tangents[i * 3]);
            if (skin) {
                glext.MultiTexCoord4fvARB(GL_TEXTURE2_ARB, &m.weights[i * 4]);
                glext.MultiTexCoord4fvARB(GL_TEXTURE3_ARB, &m.bones[i * 4]);
            }
        }
        glNormal3fv(&m.normals[i * 3]);
        glTexCoord2fv(&m.texcoords[i * 2]);
        glVertex3fv(&m.positions[i * 3]);
    }
    glEnd();
}

bool wants_list(const mesh& m) { return gl_caps.use_shaders || (m.bone_count == 0 && m.shininess >= 0); }

void set_material(const mesh& m) {
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, m.specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(m.shininess, 0.125f, 128.0f));
}

// A mesh that lights itself: only the light's ambient term, in the mesh's
// colour, reaches it. Everything changed is put back afterwards.
struct self_lit_state {
    GLfloat model_ambient[4], light_ambient[4], diffuse[4], specular[4], shininess;
    explicit self_lit_state(const mesh& m) {
        glGetFloatv(GL_LIGHT_MODEL_AMBIENT, model_ambient);
        glGetLightfv(GL_LIGHT0, GL_AMBIENT, light_ambient);
        glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
        glGetMaterialfv(GL_FRONT, GL_SPECULAR, specular);
        glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
        const GLfloat black[4] = {0, 0, 0, 1};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
        glLightfv(GL_LIGHT0, GL_AMBIENT, m.specular);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, black);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, black);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 1);
    }
    ~self_lit_state() {
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, model_ambient);
        glLightfv(GL_LIGHT0, GL_AMBIENT, light_ambient);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, shininess);
    }
};

void draw_mesh(mesh& m, const model_pose* pose) {
    if (m.bone_count > 0) {
        // A pose with fewer bones than the mesh uses would index past it.
        if (!pose || pose->count < m.bone_count || !pose->centres || !pose->translations || !pose->rotations) return;
        if (m.display_list && gl_caps.use_shaders && current_program() != 0) {
            set_bones(pose->count, pose->centres, pose->translations, pose->rotations);
            glCallList(m.display_list);
            set_bones(0, nullptr, nullptr, nullptr);
        } else {
            if (!skin_mesh(m, *pose)) return;
            if (current_program()) set_bones(0, nullptr, nullptr, nullptr);
            emit(m, false);
        }
    } else if (m.display_list) {
        glCallList(m.display_list);
    } else {
        emit(m, false);
    }
    g_polygons += m.triangle_count;
}

}  // namespace

void build_display_lists(model& m) {
    for (mesh& me : m.meshes) {
        if (me.display_list || !wants_list(me)) continue;
        me.display_list = glGenLists(1);
        if (!me.display_list) continue;
        glNewList(me.display_list, GL_COMPILE);
        emit(me, me.bone_count > 0);
        glEndList();
    }
}

void release_display_list(mesh& m) {
    if (m.display_list && models_use_gl()) glDeleteLists(m.display_list, 1);
    m.display_list = 0;
}

bool skin_mesh(mesh& m, const model_pose& pose) {
    if (m.bone_count <= 0) return true;
    if (pose.count < m.bone_count || m.rest_positions.size() != m.positions.size()) return false;
    bool tangents = m.rest_tangents.size() == m.tangents.size();
    for (int i = 0; i < m.vertex_count; i++) {
        size_t k = (size_t)i;
        const float* v = &m.rest_positions[k * 3];
        const float* n = &m.rest_normals[k * 3];
        const float* t = tangents ? &m.rest_tangents[k * 3] : nullptr;
        float p[3] = {0, 0, 0}, nn[3] = {0, 0, 0}, tt[3] = {0, 0, 0};
        for (int j = 0; j < 4; j++) {
            float w = m.weights[k * 4 + j];
            int b = (int)m.bones[k * 4 + j];
            if (w == 0 || b < 0 || b >= pose.count) continue;
            const float* c = pose.centres + b * 3;
            const float* tr = pose.translations + b * 3;
            const float* r = pose.rotations + b * 9;
            float d[3] = {v[0] - c[0], v[1] - c[1], v[2] - c[2]};
            for (int row = 0; row < 3; row++) {
                const float* rr = r + row * 3;
                p[row] += w * (rr[0] * d[0] + rr[1] * d[1] + rr[2] * d[2] + tr[row]);
                nn[row] += w * (rr[0] * n[0] + rr[1] * n[1] + rr[2] * n[2]);
                if (t) tt[row] += w * (rr[0] * t[0] + rr[1] * t[1] + rr[2] * t[2]);
            }
        }
        auto normalise = [](float* a) {
            float l = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
            if (l > 1e-20f)
                for (int c = 0; c < 3; c++) a[c] /= l;
        };
        normalise(nn);
        normalise(tt);
        for (int c = 0; c < 3; c++) {
            m.positions[k * 3 + c] = p[c];
            m.normals[k * 3 + c] = nn[c];
            if (t) m.tangents[k * 3 + c] = tt[c];
        }
    }
    return true;
}

void draw_model(model& m, model_pass pass, const model_pose* pose) {
    if (!models_use_gl()) return;
    for (mesh& me : m.meshes) {
        bool reflection = me.shininess == -1;
        if ((pass == model_pass::reflection) != reflection) continue;
        if (pass == model_pass::reflection) {
            draw_mesh(me, pose);
        } else if (me.shininess == -2) {
            self_lit_state state(me);
            draw_mesh(me, pose);
        } else {
            set_material(me);
            draw_mesh(me, pose);
        }
    }
}

int model_polygons_drawn() { return g_polygons; }
void reset_model_polygons() { g_polygons = 0; }
