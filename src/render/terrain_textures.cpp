// The composed ground textures: choosing the method, the blocks and the
// camera levels with their states, the lighting pieces, and the marks by
// which deformation reaches them.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "core/cmdline.h"
#include "core/diag.h"
#include "render/gl_caps.h"
#include "render/gl_ext.h"
#include "render/image_mip.h"
#include "render/terrain_compose.h"
#include "render/terrain_internal.h"
#include "render/terrain_lighting.h"
#include "render/terrain_mesh.h"
#include "render/texture.h"
#include "track/height_field.h"
#include "track/track_files.h"

terrain_render_state terrain_gfx;
bool terrain_decals_hidden = false;

namespace {

bool g_ati_logged = false;

int tiles_per_side() { return terrain.heights ? 1 << terrain.size_log2 : 0; }

template <typename Fn>
void for_each_texture(Fn fn) {
    for (composed_texture& t : terrain_gfx.blocks) fn(t, -1);
    for (int n = 0; n < camera_level_count; n++)
        for (composed_texture& t : terrain_gfx.levels[(size_t)n].slots) fn(t, n);
}

void destroy_sets(composed_texture& t) {
    terrain_texture_destroy(t.colour);
    terrain_texture_destroy(t.normal);
    terrain_texture_destroy(t.specular);
    t = composed_texture();
}

void create_sets(composed_texture& t) {
    int size = terrain_gfx.size;
    t.colour = terrain_texture_create(size, terrain_gfx.mips);
    if (terrain_gfx.lit) {
        t.normal = terrain_texture_create(size, terrain_gfx.mips);
        t.specular = terrain_texture_create(size, terrain_gfx.mips);
    }
    t.state = texture_recompose;
    t.valid = false;
}

// Samples [first, last] of a square of tiles, and whether they meet a sample
// rectangle.
bool square_meets_samples(const composed_texture& t, int i0, int j0, int i1, int j1) {
    if (t.a < 0 || t.c <= 0) return false;
    int x0 = 2 * t.a, x1 = 2 * (t.a + t.c), z0 = 2 * t.b, z1 = 2 * (t.b + t.c);
    return i1 >= x0 && i0 <= x1 && j1 >= z0 && j0 <= z1;
}

void mark_pending(composed_texture& t) {
    if (t.state != texture_current) return;
    t.state = texture_pending;
    t.pending_since = terrain_gfx.change_counter;
}

// The samples of lighting piece (px, pz), border included.
void piece_samples(int px, int pz, int& i0, int& j0, int& i1, int& j1) {
    i0 = px * piece_core - piece_border;
    j0 = pz * piece_core - piece_border;
    i1 = i0 + piece_texels - 1;
    j1 = j0 + piece_texels - 1;
}

void compose(composed_texture& t) {
    terrain_render_state& s = terrain_gfx;
    int work = 0;
    bool gpu = s.gl && s.method != terrain_method_texsubimage &&
               (s.method == terrain_method_framebuffer || window_holds_texture(s.size));
    bool done = true;
    if (gpu) {
        done = compose_texture_gl(t, work);
    } else {
        // The CPU composition; also where the copy method finds its window
        // too small, and every method without GL.
        int levels = s.mips == terrain_no_mips ? 1 : mip_level_count(s.size, s.size);
        std::vector<uint8_t> chain(mip_chain_bytes(s.size, s.size, 3));
        terrain_compose_options o;
        o.decals = !terrain_decals_hidden;
        o.lighting = !s.lit;
        work += compose_terrain_cpu(t.a, t.b, t.c, s.size, o, chain.data());
        if (levels > 1) build_mip_chain(chain.data(), s.size, s.size, 3);
        terrain_texture_upload(t.colour, s.size, chain.data(), levels);
        if (s.lit) {
            compose_terrain_normals_cpu(t.a, t.b, t.c, s.size, chain.data());
            if (levels > 1) build_mip_chain(chain.data(), s.size, s.size, 3);
            terrain_texture_upload(t.normal, s.size, chain.data(), levels);
            compose_terrain_specular_cpu(s.size, chain.data());
            if (levels > 1) build_mip_chain(chain.data(), s.size, s.size, 3);
            terrain_texture_upload(t.specular, s.size, chain.data(), levels);
        }
    }
    s.change_counter += work;
    t.compositions++;
    // A texture that could not be drawn into keeps what it had and waits
    // for its next mark rather than failing every frame.
    t.state = texture_current;
    if (done) t.valid = true;
}

void move_levels() {
    terrain_render_state& s = terrain_gfx;
    const height_field& f = terrain;
    int tiles = tiles_per_side();
    auto camera_tile = [&](float w) {
        float cell = f.cell_size > 0.0f ? w / f.cell_size : 0.0f;
        if (!(cell > 0.0f)) return 0;  // NaN and points before the field
        int c = cell < (float)(2 * tiles) ? (int)cell : 2 * tiles - 1;
        return c >> 1;
    };
    int tx = camera_tile(s.camera_position[0]), tz = camera_tile(s.camera_position[2]);
    for (int n = 0; n < camera_level_count; n++) {
        camera_level& L = s.levels[(size_t)n];
        if (!level_in_use(n)) continue;
        auto origin = [&](int tile) {
            int o = (int)std::floor((tile + 0.5) / (double)(1 << n) + 0.5) - 2;
            return std::clamp(o, 0, std::max(L.count - L.window, 0));
        };
        L.origin_x = origin(tx);
        L.origin_z = origin(tz);
        for (int v = L.origin_z; v < L.origin_z + L.window; v++) {
            for (int u = L.origin_x; u < L.origin_x + L.window; u++) {
                composed_texture& t = L.slots[(size_t)((u & 3) + 4 * (v & 3))];
                int a = u << n, b = v << n;
                if (t.a == a && t.b == b && t.c == (1 << n)) continue;
                t.a = a;
                t.b = b;
                t.c = 1 << n;
                t.state = texture_recompose;
                t.valid = false;
            }
        }
    }
}

}  // namespace

bool level_in_use(int n) {
    const terrain_render_state& s = terrain_gfx;
    return s.ready && n >= s.finest_level && n < camera_level_count && s.levels[(size_t)n].window > 0;
}

int terrain_method_for_setting(int item) {
    switch (item) {
        case 1:
        case 3:
            return terrain_method_copy;
        case 2:
        case 4:
            return terrain_method_framebuffer;
        default:
            return terrain_method_texsubimage;
    }
}

void terrain_textures_release() {
    terrain_render_state& s = terrain_gfx;
    for_each_texture([](composed_texture& t, int) { destroy_sets(t); });
    for (lighting_piece& p : s.pieces) terrain_texture_destroy(p.id);
    if (s.framebuffer && s.gl && glext.DeleteFramebuffersEXT) {
        GLuint fb = s.framebuffer;
        glext.DeleteFramebuffersEXT(1, &fb);
    }
    terrain_gfx = terrain_render_state();
}

bool terrain_textures_ready() { return terrain_gfx.ready; }

void terrain_textures_setup(int requested) {
    terrain_textures_release();
    const height_field& f = terrain;
    if (!f.heights) return;
    terrain_render_state& s = terrain_gfx;
    s.gl = terrain_output_is_gl() && glGetString(GL_VERSION) != nullptr;
    int size = render_settings.ground_texture_size;
    size = size >= 32 && size <= 1024 && (size & (size - 1)) == 0 ? size : (size > 1024 ? 1024 : 64);

    s.method = terrain_method_texsubimage;
    s.size = std::min(size, 256);
    bool made_framebuffer = false;
    if (requested == terrain_method_framebuffer && s.gl && gl_caps.has_framebuffer_object &&
        glext.GenFramebuffersEXT && glext.BindFramebufferEXT && glext.FramebufferTexture2DEXT &&
        glext.CheckFramebufferStatusEXT) {
        GLuint fb = 0;
        glext.GenFramebuffersEXT(1, &fb);
        if (fb) {
            s.framebuffer = fb;
            s.method = terrain_method_framebuffer;
            s.size = size;
            made_framebuffer = true;
        }
    }
    if (!made_framebuffer && requested == terrain_method_copy) s.method = terrain_method_copy;
    if (requested < 1 || requested > 3)
        show_message("Something went wrong setting up terrain texture rendering!");
    else if (s.method == terrain_method_framebuffer)
        show_message("Terrain texture rendering with framebuffer objects");
    else if (s.method == terrain_method_copy)
        show_message("Terrain texture rendering with CopyTexSubImage");
    else
        show_message("Terrain texture rendering with TexSubImage");

    s.lit = gl_caps.terrain_shaders && terrain_lighting().dynamic_lighting && s.method != terrain_method_texsubimage;
    if (s.lit && terrain.normal_texels.empty()) create_normal_texels();
    if (!gl_caps.ground_mipmaps)
        s.mips = terrain_no_mips;
    else if (s.method == terrain_method_texsubimage)
        s.mips = terrain_uploaded_mips;
    else if (s.method == terrain_method_copy)
        s.mips = gl_caps.has_generate_mipmap ? terrain_generated_mips : terrain_no_mips;
    else
        s.mips = glext.GenerateMipmapEXT ? terrain_fbo_mips : terrain_no_mips;
    // The CPU fallback of the GPU methods uploads its chain itself; that
    // works for every mode that keeps the levels.
    s.finest_level = std::clamp(render_settings.ground_texture_reduction, 0, 10);
    s.split_large_decals = s.gl && gl_driver.renderer.find("ATI Radeon X1270") != std::string::npos;
    if (s.split_large_decals && !g_ati_logged) {
        log_printf("Working around ATI Radeon X1270 bug\n");
        g_ati_logged = true;
    }

    int tiles = tiles_per_side();
    int cells = 2 * tiles;
    if (s.method != terrain_method_texsubimage) {
        track_step_begin("Creating low detail textures");
        s.pieces_per_side = (cells / 128 + 2) / 3;
        if (s.pieces_per_side < 1) s.pieces_per_side = 1;
        if (cmdline.debug_level > 0)
            log_printf("%dx%d low detail textures needed for %dx%d field\n", s.pieces_per_side, s.pieces_per_side,
                       cells, cells);
        s.pieces.resize((size_t)s.pieces_per_side * s.pieces_per_side);
        for (size_t k = 0; k < s.pieces.size(); k++) {
            s.pieces[k].id = terrain_piece_create();
            fill_lighting_piece((int)k);
            track_step_tick();
        }
        track_step_done();
        if (cmdline.debug_level > 0)
            log_printf("%lu bytes texture memory used after low detail ground textures\n",
                       (unsigned long)(texture_memory_used() + terrain_texture_memory()));
    }

    track_step_begin("Creating LOD textures");
    // Blocks of 64 x 64 tiles; a smaller field is one block.
    s.block_tiles = std::min(64, tiles);
    s.blocks_per_side = tiles / s.block_tiles;
    s.blocks.resize((size_t)s.blocks_per_side * s.blocks_per_side);
    for (int bz = 0; bz < s.blocks_per_side; bz++)
        for (int bx = 0; bx < s.blocks_per_side; bx++) {
            composed_texture& t = s.blocks[(size_t)(bx + s.blocks_per_side * bz)];
            create_sets(t);
            t.a = bx * s.block_tiles;
            t.b = bz * s.block_tiles;
            t.c = s.block_tiles;
        }
    track_step_tick();
    for (int n = 0; n < camera_level_count; n++) {
        camera_level& L = s.levels[(size_t)n];
        L.count = tiles >> n;
        L.window = std::min(camera_level_side, L.count);
        if (n < s.finest_level || L.window <= 0) {
            L.window = 0;
            continue;
        }
        for (composed_texture& t : L.slots) create_sets(t);
        track_step_tick();
    }
    track_step_done();
    s.ready = true;
}

void terrain_textures_update() {
    terrain_render_state& s = terrain_gfx;
    if (!s.ready || !terrain.heights) return;
    move_levels();
    for (composed_texture& t : s.blocks)
        if (t.state == texture_recompose) compose(t);
    for (int n = s.finest_level; n < camera_level_count; n++) {
        if (!level_in_use(n)) continue;
        for (composed_texture& t : s.levels[(size_t)n].slots)
            if (t.a >= 0 && t.state == texture_recompose) compose(t);
    }
}

void terrain_reshade(int count) {
    terrain_render_state& s = terrain_gfx;
    if (!s.ready || s.method == terrain_method_texsubimage || s.pieces.empty()) return;
    int total = (int)s.pieces.size(), done = 0;
    for (int step = 0; step < total && (count <= 0 || done < count); step++) {
        int k = (s.next_piece + step) % total;
        if (!s.pieces[(size_t)k].dirty) continue;
        s.pieces[(size_t)k].dirty = false;
        fill_lighting_piece(k);
        done++;
        int i0, j0, i1, j1;
        piece_samples(k % s.pieces_per_side, k / s.pieces_per_side, i0, j0, i1, j1);
        for_each_texture([&](composed_texture& t, int) {
            if (square_meets_samples(t, i0, j0, i1, j1)) mark_pending(t);
        });
        if (count > 0 && done >= count) {
            s.next_piece = (k + 1) % total;
            return;
        }
    }
}

void terrain_changed_region(int i0, int j0, int i1, int j1) {
    terrain_lod_mark_region(i0, j0, i1, j1);
    terrain_render_state& s = terrain_gfx;
    if (!s.ready) return;
    // set_sample also marks the samples around a changed one.
    i0--, j0--, i1++, j1++;
    if (s.method == terrain_method_texsubimage) {
        // Each composition re-lights its own samples, so the textures over
        // the change are all that needs marking.
        for_each_texture([&](composed_texture& t, int) {
            if (square_meets_samples(t, i0, j0, i1, j1)) mark_pending(t);
        });
        return;
    }
    for (int pz = 0; pz < s.pieces_per_side; pz++)
        for (int px = 0; px < s.pieces_per_side; px++) {
            int a0, b0, a1, b1;
            piece_samples(px, pz, a0, b0, a1, b1);
            if (i1 >= a0 && i0 <= a1 && j1 >= b0 && j0 <= b1) s.pieces[(size_t)(px + s.pieces_per_side * pz)].dirty = true;
        }
}

void terrain_upkeep(int lod_budget, bool reshade) {
    terrain_lod_refresh(lod_budget);
    if (!reshade || !terrain_gfx.ready) return;
    terrain_reshade(0);
    for_each_texture([](composed_texture& t, int) {
        if (t.state == texture_pending) t.state = texture_recompose;
    });
}

bool terrain_toggle_decals() {
    terrain_decals_hidden = !terrain_decals_hidden;
    for_each_texture([](composed_texture& t, int) {
        if (t.a >= 0) t.state = texture_recompose;
    });
    return terrain_decals_hidden;
}

void terrain_camera(const std::array<float, 3>& position, const std::array<float, 3>& direction) {
    for (int k = 0; k < 3; k++) {
        terrain_gfx.camera_position[(size_t)k] = std::isfinite(position[(size_t)k]) ? position[(size_t)k] : 0.0f;
        terrain_gfx.camera_direction[(size_t)k] = std::isfinite(direction[(size_t)k]) ? direction[(size_t)k] : 0.0f;
    }
}

const composed_texture* texture_for_piece(int tx, int tz, int tiles) {
    const terrain_render_state& s = terrain_gfx;
    int own = 0;
    while ((1 << own) < tiles) own++;
    for (int n = std::max(s.finest_level, own); n < camera_level_count; n++) {
        if (!level_in_use(n)) continue;
        const camera_level& L = s.levels[(size_t)n];
        int u = tx >> n, v = tz >> n;
        if (u < L.origin_x || v < L.origin_z || u >= L.origin_x + L.window || v >= L.origin_z + L.window) continue;
        const composed_texture& t = L.slots[(size_t)((u & 3) + 4 * (v & 3))];
        if (t.valid && t.a == (u << n) && t.b == (v << n)) return &t;
    }
    if (s.blocks.empty() || s.block_tiles <= 0) return nullptr;
    int bx = std::clamp(tx / s.block_tiles, 0, s.blocks_per_side - 1), bz = std::clamp(tz / s.block_tiles, 0, s.blocks_per_side - 1);
    return &s.blocks[(size_t)(bx + s.blocks_per_side * bz)];
}

// ---- read-outs ----------------------------------------------------------------------

int terrain_method() { return terrain_gfx.method; }
int terrain_texture_size() { return terrain_gfx.size; }
bool terrain_lit() { return terrain_gfx.lit; }
int terrain_change_counter() { return terrain_gfx.change_counter; }
int terrain_triangles_drawn() { return terrain_gfx.triangles_drawn; }
size_t terrain_texture_memory() { return terrain_texture_bytes(); }

int terrain_texture_age() {
    int oldest = terrain_gfx.change_counter;
    bool any = false;
    for_each_texture([&](composed_texture& t, int) {
        if (t.state == texture_pending) oldest = std::min(oldest, t.pending_since), any = true;
    });
    return any ? terrain_gfx.change_counter - oldest : 0;
}

int terrain_reshades_pending() {
    int n = 0;
    for (const lighting_piece& p : terrain_gfx.pieces) n += p.dirty ? 1 : 0;
    return n;
}

std::vector<terrain_texture_info> terrain_texture_list() {
    std::vector<terrain_texture_info> out;
    for_each_texture([&](composed_texture& t, int level) {
        if (level >= 0 && !level_in_use(level)) return;
        if (t.a < 0) return;
        terrain_texture_info i;
        i.level = level;
        i.a = t.a;
        i.b = t.b;
        i.c = t.c;
        i.state = t.state;
        i.valid = t.valid;
        i.compositions = t.compositions;
        i.colour = t.colour;
        i.normal = t.normal;
        i.specular = t.specular;
        out.push_back(i);
    });
    return out;
}
