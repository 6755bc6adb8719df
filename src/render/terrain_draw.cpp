// Drawing the ground mesh with the composed textures, front to back, one
// batch per run of pieces that share a texture.
#include <GL/gl.h>
#include <GL/glext.h>

#include "core/cmdline.h"
#include "render/gl_caps.h"
#include "render/gl_ext.h"
#include "render/shaders.h"
#include "render/terrain_internal.h"
#include "render/terrain_mesh.h"
#include "track/height_field.h"

namespace {

terrain_mesh g_mesh;
std::vector<float> g_texcoords;
std::vector<uint8_t> g_colours;

struct batch {
    const composed_texture* texture;
    int first, count;
};
std::vector<batch> g_batches;

void bind_sets(const composed_texture* t, bool lit) {
    if (lit && glext.ActiveTextureARB) {
        glext.ActiveTextureARB(GL_TEXTURE1_ARB);
        glBindTexture(GL_TEXTURE_2D, t ? t->normal : 0);
        glext.ActiveTextureARB(GL_TEXTURE2_ARB);
        glBindTexture(GL_TEXTURE_2D, t ? t->specular : 0);
        glext.ActiveTextureARB(GL_TEXTURE0_ARB);
    }
    glBindTexture(GL_TEXTURE_2D, t ? t->colour : 0);
}

}  // namespace

// Builds the mesh of the current camera and gives every piece its texture
// and texture coordinates.
void prepare_terrain_mesh() {
    const terrain_render_state& s = terrain_gfx;
    terrain_view view;
    view.position = s.camera_position;
    view.direction = s.camera_direction;
    build_terrain_mesh(view, g_mesh);
    size_t vertices = g_mesh.vertices.size() / 3;
    g_texcoords.resize(vertices * 2);
    g_batches.clear();
    const height_field& f = terrain;
    int g = f.size_log2;
    float inverse_tile = f.tile_size > 0.0f ? 1.0f / f.tile_size : 0.0f;
    for (const terrain_piece& p : g_mesh.pieces) {
        int tiles = 1 << (g - p.depth);
        const composed_texture* t = texture_for_piece(p.ix * tiles, p.iz * tiles, tiles);
        float a = t ? (float)t->a : 0.0f, b = t ? (float)t->b : 0.0f, c = t && t->c > 0 ? (float)t->c : 1.0f;
        for (int k = p.first; k < p.first + p.count; k++) {
            g_texcoords[(size_t)k * 2] = (g_mesh.vertices[(size_t)k * 3] * inverse_tile - a) / c;
            g_texcoords[(size_t)k * 2 + 1] = (g_mesh.vertices[(size_t)k * 3 + 2] * inverse_tile - b) / c;
        }
        if (!g_batches.empty() && g_batches.back().texture == t && g_batches.back().first + g_batches.back().count == p.first)
            g_batches.back().count += p.count;
        else
            g_batches.push_back({t, p.first, p.count});
    }
    if (g_colours.size() < vertices * 4) g_colours.assign(vertices * 4, 255);
}

void terrain_draw() {
    terrain_render_state& s = terrain_gfx;
    if (!s.ready || !terrain.heights) return;
    prepare_terrain_mesh();
    s.triangles_drawn = g_mesh.triangles();
    if (!s.gl || g_mesh.vertices.empty()) return;

    bool lit = s.lit && gl_caps.use_shaders;
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_COLOR_BUFFER_BIT | GL_LIGHTING_BIT | GL_CURRENT_BIT);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    int previous_program = current_program();
    if (lit) {
        const GLfloat white[4] = {1, 1, 1, 1};
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, white);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
        use_program(program_terrain);
    } else {
        if (gl_caps.use_shaders) use_program(program_fixed);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    }

    bool arrays = !cmdline.no_vertex_arrays;
    if (arrays) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, g_mesh.vertices.data());
        glTexCoordPointer(2, GL_FLOAT, 0, g_texcoords.data());
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, g_colours.data());
    }
    for (const batch& b : g_batches) {
        bind_sets(b.texture, lit);
        if (arrays) {
            glDrawArrays(GL_TRIANGLES, b.first, b.count);
            continue;
        }
        glBegin(GL_TRIANGLES);
        for (int k = b.first; k < b.first + b.count; k++) {
            glColor4ub(255, 255, 255, 255);
            glTexCoord2fv(&g_texcoords[(size_t)k * 2]);
            glVertex3fv(&g_mesh.vertices[(size_t)k * 3]);
        }
        glEnd();
    }
    if (arrays) {
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
    }
    if (lit) bind_sets(nullptr, true);
    use_program(previous_program);
    glPopAttrib();
}
