// Composing ground textures with GL: tile quads, decal quads and the
// lighting piece drawn over a square in the back buffer (then copied) or
// straight into the texture through a framebuffer object; and filling the
// lighting pieces.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>

#include "core/diag.h"
#include "platform/main_window.h"
#include "render/gl_caps.h"
#include "render/gl_ext.h"
#include "render/shaders.h"
#include "render/terrain_compose.h"
#include "render/terrain_internal.h"
#include "render/terrain_lighting.h"
#include "render/texture.h"
#include "track/height_field.h"
#include "track/tile_info.h"

namespace {

// The square's grid position of world x (along the square's x) or z.
struct square_map {
    float a, b, c, tile_size;
    float x(float world) const { return -1.0f + 2.0f * (world / tile_size - a) / c; }
    float y(float world) const { return -1.0f + 2.0f * (world / tile_size - b) / c; }
};

// Texture coordinates of the square's samples inside its lighting piece:
// the piece holding the square's first sample, texel centres, border skipped.
struct piece_window {
    unsigned id = 0;
    float s0 = 0, s1 = 0, t0 = 0, t1 = 0;
};

piece_window piece_for(const composed_texture& t) {
    const terrain_render_state& s = terrain_gfx;
    piece_window w;
    if (s.pieces.empty()) return w;
    int px = std::clamp(2 * t.a / piece_core, 0, s.pieces_per_side - 1);
    int pz = std::clamp(2 * t.b / piece_core, 0, s.pieces_per_side - 1);
    w.id = s.pieces[(size_t)(px + s.pieces_per_side * pz)].id;
    auto coord = [](int sample, int piece) { return (sample - piece * piece_core + piece_border + 0.5f) / piece_texels; };
    w.s0 = coord(2 * t.a, px);
    w.s1 = coord(2 * (t.a + t.c), px);
    w.t0 = coord(2 * t.b, pz);
    w.t1 = coord(2 * (t.b + t.c), pz);
    return w;
}

void square_quad(float s0, float t0, float s1, float t1) {
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t0);
    glVertex3f(-1.0f, -1.0f, -1.0f);
    glTexCoord2f(s1, t0);
    glVertex3f(1.0f, -1.0f, -1.0f);
    glTexCoord2f(s1, t1);
    glVertex3f(1.0f, 1.0f, -1.0f);
    glTexCoord2f(s0, t1);
    glVertex3f(-1.0f, 1.0f, -1.0f);
    glEnd();
}

// Tiles of the square, `texture_of` giving the texture of a tile type (0:
// none). Consecutive tiles with the same texture share one bind. Tiles
// without a texture are drawn in `fallback` or skipped when it is null.
template <typename TextureOf>
void draw_tile_quads(const composed_texture& t, TextureOf texture_of, const float* fallback, int& work) {
    const std::vector<uint8_t>& map = tilemap();
    int side = 1 << terrain.size_log2;
    int types = std::max(tile_count(), 1);
    // Types first: loading a texture is GL work that may not happen between
    // glBegin and glEnd.
    std::vector<int> square_types((size_t)t.c * t.c);
    std::vector<unsigned> ids((size_t)types, 0);
    std::vector<char> known((size_t)types, 0);
    for (int i = 0; i < t.c; i++) {
        int tz = std::clamp(t.b + i, 0, side - 1);
        for (int j = 0; j < t.c; j++) {
            int tx = std::clamp(t.a + j, 0, side - 1);
            size_t at = (size_t)tx + (size_t)side * tz;
            int type = std::clamp(at < map.size() ? (int)map[at] : 0, 0, types - 1);
            square_types[(size_t)i * t.c + j] = type;
            if (known[(size_t)type]) continue;
            known[(size_t)type] = 1;
            ids[(size_t)type] = type < tile_count() ? texture_of(tile_info_of(type)) : 0;
        }
    }
    unsigned bound = ~0u;
    bool open = false;
    for (int i = 0; i < t.c; i++) {
        for (int j = 0; j < t.c; j++) {
            int type = square_types[(size_t)i * t.c + j];
            unsigned id = ids[(size_t)type];
            if (!id && !fallback) continue;
            if (id != bound) {
                if (open) glEnd();
                if (id) {
                    glEnable(GL_TEXTURE_2D);
                    glBindTexture(GL_TEXTURE_2D, id);
                    glColor4f(1, 1, 1, 1);
                } else {
                    glDisable(GL_TEXTURE_2D);
                    glColor4f(fallback[0], fallback[1], fallback[2], 1);
                }
                bound = id;
                glBegin(GL_QUADS);
                open = true;
            }
            float x0 = -1.0f + 2.0f * j / t.c, x1 = -1.0f + 2.0f * (j + 1) / t.c;
            float y0 = -1.0f + 2.0f * i / t.c, y1 = -1.0f + 2.0f * (i + 1) / t.c;
            glTexCoord2f(0.0625f, 0.0625f);
            glVertex3f(x0, y0, -1.0f);
            glTexCoord2f(0.9375f, 0.0625f);
            glVertex3f(x1, y0, -1.0f);
            glTexCoord2f(0.9375f, 0.9375f);
            glVertex3f(x1, y1, -1.0f);
            glTexCoord2f(0.0625f, 0.9375f);
            glVertex3f(x0, y1, -1.0f);
            work++;
        }
    }
    if (open) glEnd();
    glEnable(GL_TEXTURE_2D);
}

// The decals over the square with `texture_of` giving each one's texture (0:
// skipped), split into P x P pieces where the driver needs it.
template <typename TextureOf>
void draw_decal_quads(const composed_texture& t, TextureOf texture_of, int& work) {
    if (terrain_decals_hidden) return;
    const height_field& f = terrain;
    float ts = f.tile_size;
    std::vector<int> list;
    decals_overlapping(t.a * ts, t.b * ts, (t.a + t.c) * ts, (t.b + t.c) * ts, list);
    square_map sq{(float)t.a, (float)t.b, (float)t.c, ts};
    const std::vector<decal>& all = track_decals();
    for (int index : list) {
        const decal& d = all[(size_t)index];
        unsigned id = texture_of(d);
        if (!id) continue;
        glBindTexture(GL_TEXTURE_2D, id);
        std::array<std::array<float, 2>, 4> c = decal_corners(d);
        int p = terrain_gfx.split_large_decals ? decal_split_count(d.size) : 1;
        // Corner (u, v) of the rectangle, u and v in 0..1.
        auto at = [&](float u, float v) {
            float x = c[0][0] + (c[1][0] - c[0][0]) * u + (c[3][0] - c[0][0]) * v;
            float z = c[0][1] + (c[1][1] - c[0][1]) * u + (c[3][1] - c[0][1]) * v;
            return std::array<float, 2>{sq.x(x), sq.y(z)};
        };
        glBegin(GL_QUADS);
        for (int vz = 0; vz < p; vz++)
            for (int ux = 0; ux < p; ux++) {
                float u0 = (float)ux / p, u1 = (float)(ux + 1) / p, v0 = (float)vz / p, v1 = (float)(vz + 1) / p;
                const float us[4] = {u0, u1, u1, u0}, vs[4] = {v0, v0, v1, v1};
                for (int k = 0; k < 4; k++) {
                    std::array<float, 2> q = at(us[k], vs[k]);
                    glTexCoord2f(us[k], vs[k]);
                    glVertex3f(q[0], q[1], -1.0f);
                }
            }
        glEnd();
        work++;
    }
}

// Where the set's pixels go: the framebuffer object with the texture
// attached (method 3) or the back buffer (method 2). False when the
// framebuffer is not complete.
bool begin_set(unsigned texture) {
    if (terrain_gfx.method != terrain_method_framebuffer) return true;
    glext.BindFramebufferEXT(GL_FRAMEBUFFER_EXT, terrain_gfx.framebuffer);
    glext.FramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, texture, 0);
    GLenum status = glext.CheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    if (status != GL_FRAMEBUFFER_COMPLETE_EXT) {
        show_messagef("Framebuffer error %x", (unsigned)status);
        glext.FramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, 0, 0);
        glext.BindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
        return false;
    }
    return true;
}

void finish_set(unsigned texture) {
    int size = terrain_gfx.size;
    if (terrain_gfx.method == terrain_method_framebuffer) {
        glext.FramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, 0, 0);
        glext.BindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
        if (terrain_gfx.mips != terrain_no_mips && glext.GenerateMipmapEXT) {
            glBindTexture(GL_TEXTURE_2D, texture);
            glext.GenerateMipmapEXT(GL_TEXTURE_2D);
        }
        return;
    }
    glBindTexture(GL_TEXTURE_2D, texture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, size, size);
}

void compose_colour(const composed_texture& t, const piece_window& piece, int& work) {
    glDisable(GL_BLEND);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    const float fallback[3] = {terrain_fallback_colour[0] / 255.0f, terrain_fallback_colour[1] / 255.0f,
                               terrain_fallback_colour[2] / 255.0f};
    draw_tile_quads(t, [](const tile_info& ti) { return ti.texture.name.empty() ? 0u : texture_load(ti.texture.name.c_str()); },
                    fallback, work);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(1, 1, 1, 1);
    draw_decal_quads(t, [](const decal& d) { return d.texture.name.empty() ? 0u : texture_load(d.texture.name.c_str()); },
                     work);
    if (!terrain_gfx.lit && piece.id) {
        // dst x src + src x dst: twice the product, so half-scale shading
        // of 128 leaves the colour as it is.
        glBlendFunc(GL_DST_COLOR, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glBindTexture(GL_TEXTURE_2D, piece.id);
        square_quad(piece.s0, piece.t0, piece.s1, piece.t1);
    }
    glDisable(GL_BLEND);
}

void compose_normals(const composed_texture& t, const piece_window& piece, int& work) {
    glDisable(GL_BLEND);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBindTexture(GL_TEXTURE_2D, piece.id);
    square_quad(piece.s0, piece.t0, piece.s1, piece.t1);
    if (!gl_caps.use_shaders || !glext.ActiveTextureARB) return;
    // Detail normals on top, each expressed against the ground's own normal
    // from the piece on unit 1.
    glext.ActiveTextureARB(GL_TEXTURE1_ARB);
    glBindTexture(GL_TEXTURE_2D, piece.id);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(0.5f * (piece.s0 + piece.s1), 0.5f * (piece.t0 + piece.t1), 0.0f);
    glScalef(0.5f * (piece.s1 - piece.s0), 0.5f * (piece.t1 - piece.t0), 1.0f);
    glext.ActiveTextureARB(GL_TEXTURE0_ARB);
    glMatrixMode(GL_MODELVIEW);
    use_program(program_terrain_normals);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    draw_tile_quads(t, [](const tile_info& ti) { return texture_companion(ti.texture.name.c_str(), nullptr, "_norm"); },
                    nullptr, work);
    draw_decal_quads(t, [](const decal& d) { return d.normal_map.name.empty() ? 0u : texture_load(d.normal_map.name.c_str()); },
                     work);
    use_program(program_fixed);
    glDisable(GL_BLEND);
    glext.ActiveTextureARB(GL_TEXTURE1_ARB);
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glBindTexture(GL_TEXTURE_2D, 0);
    glext.ActiveTextureARB(GL_TEXTURE0_ARB);
    glMatrixMode(GL_MODELVIEW);
}

void compose_specular(const composed_texture& t, int& work) {
    // No intensity, the largest exponent.
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glColor4f(0, 1, 1, 1);
    square_quad(0, 0, 1, 1);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    draw_decal_quads(t, [](const decal& d) { return d.specular_map.name.empty() ? 0u : texture_load(d.specular_map.name.c_str()); },
                     work);
    glDisable(GL_BLEND);
}

}  // namespace

bool window_holds_texture(int size) {
    int w = 0, h = 0;
    if (main_window()) {
        main_window_size(w, h);
    } else {
        // Drawing into a window of someone else's (the tools, the tests):
        // the viewport is as large as it is.
        GLint vp[4] = {0, 0, 0, 0};
        glGetIntegerv(GL_VIEWPORT, vp);
        w = vp[2];
        h = vp[3];
    }
    return w >= size && h >= size;
}

bool compose_texture_gl(composed_texture& t, int& work) {
    const terrain_render_state& s = terrain_gfx;
    piece_window piece = piece_for(t);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glFrustum(-0.5, 0.5, -0.5, 0.5, 0.5, 2.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_SCISSOR_TEST);
    glViewport(0, 0, s.size, s.size);
    int previous_program = current_program();
    use_program(program_fixed);
    glEnable(GL_TEXTURE_2D);

    bool ok = true;
    struct set {
        unsigned texture;
        int kind;
    };
    const set sets[3] = {{t.colour, 0}, {t.normal, 1}, {t.specular, 2}};
    for (const set& k : sets) {
        if (!k.texture) continue;
        if (!begin_set(k.texture)) {
            ok = false;
            break;
        }
        if (k.kind == 0)
            compose_colour(t, piece, work);
        else if (k.kind == 1)
            compose_normals(t, piece, work);
        else
            compose_specular(t, work);
        finish_set(k.texture);
    }

    use_program(previous_program);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    return ok;
}

void fill_lighting_piece(int index) {
    terrain_render_state& s = terrain_gfx;
    height_field& f = terrain;
    if (index < 0 || (size_t)index >= s.pieces.size() || !f.heights) return;
    int px = index % s.pieces_per_side, pz = index / s.pieces_per_side;
    int n = f.samples_per_side;
    int i0 = px * piece_core - piece_border, j0 = pz * piece_core - piece_border;
    relight_samples(i0, j0, i0 + piece_texels - 1, j0 + piece_texels - 1, s.lit);
    const std::vector<uint8_t>& source = s.lit && !f.normal_texels.empty() ? f.normal_texels : f.shading;
    if (source.size() < (size_t)n * n * 3) return;
    std::vector<uint8_t> texels((size_t)piece_texels * piece_texels * 3);
    for (int v = 0; v < piece_texels; v++) {
        int j = std::clamp(j0 + v, 0, n - 1);
        for (int u = 0; u < piece_texels; u++) {
            int i = std::clamp(i0 + u, 0, n - 1);
            const uint8_t* p = &source[((size_t)i + (size_t)n * j) * 3];
            uint8_t* q = &texels[((size_t)v * piece_texels + u) * 3];
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
        }
    }
    terrain_texture_upload(s.pieces[(size_t)index].id, piece_texels, texels.data(), 1);
}
