// Where composed ground textures and lighting pieces live: GL textures, or
// a record of them when the texture cache records instead of drawing.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <map>

#include "render/gl_caps.h"
#include "render/image_mip.h"
#include "render/terrain_internal.h"
#include "render/texture.h"

namespace {

struct recorded {
    int size = 0;
    int levels = 0;
    int uploads = 0;
};

std::map<unsigned, recorded> g_recorded;
std::map<unsigned, size_t> g_bytes;
unsigned g_next_recorded = 1;
size_t g_total = 0;

// Two greys in squares of eight texels: what a texture shows until its first
// composition.
std::vector<uint8_t> checkerboard(int size, int levels) {
    std::vector<uint8_t> chain(mip_chain_bytes(size, size, 3));
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            uint8_t v = ((x >> 3) ^ (y >> 3)) & 1 ? 150 : 90;
            uint8_t* p = &chain[((size_t)y * size + x) * 3];
            p[0] = p[1] = p[2] = v;
        }
    if (levels > 1) build_mip_chain(chain.data(), size, size, 3);
    return chain;
}

size_t chain_bytes(int size, int levels) {
    size_t total = 0;
    for (int l = 0; l < levels; l++) total += (size_t)mip_side(size, l) * mip_side(size, l) * 3;
    return total;
}

void remember(unsigned id, size_t bytes) {
    g_bytes[id] = bytes;
    g_total += bytes;
}

}  // namespace

bool terrain_output_is_gl() { return &texture_output() == &gl_texture_driver; }

unsigned terrain_texture_create(int size, terrain_mip_mode mode) {
    int levels = mode == terrain_no_mips ? 1 : mip_level_count(size, size);
    std::vector<uint8_t> chain = checkerboard(size, levels);
    if (!terrain_output_is_gl()) {
        unsigned id = g_next_recorded++;
        recorded& r = g_recorded[id];
        r.size = size;
        r.levels = levels;
        remember(id, chain_bytes(size, levels));
        return id;
    }
    GLuint id = 0;
    glGenTextures(1, &id);
    if (!id) return 0;
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mode == terrain_no_mips ? GL_NEAREST : GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    if (mode == terrain_generated_mips) glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP_SGIS, GL_TRUE);
    // The ground is mostly seen at a grazing angle, where plain mipmapping
    // blurs it to one colour a few lengths ahead.
    if (mode != terrain_no_mips && gl_caps.max_anisotropy > 1)
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, std::min(gl_caps.max_anisotropy, 8.0f));
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    size_t offset = 0;
    for (int level = 0; level < levels; level++) {
        int s = mip_side(size, level);
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGB, s, s, 0, GL_RGB, GL_UNSIGNED_BYTE, chain.data() + offset);
        offset += (size_t)s * s * 3;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    remember(id, chain_bytes(size, levels));
    return id;
}

unsigned terrain_piece_create() {
    if (!terrain_output_is_gl()) {
        unsigned id = g_next_recorded++;
        g_recorded[id].size = piece_texels;
        g_recorded[id].levels = 1;
        remember(id, chain_bytes(piece_texels, 1));
        return id;
    }
    GLuint id = 0;
    glGenTextures(1, &id);
    if (!id) return 0;
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, piece_texels, piece_texels, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    remember(id, chain_bytes(piece_texels, 1));
    return id;
}

void terrain_texture_upload(unsigned id, int size, const uint8_t* chain, int levels) {
    if (!id || !chain) return;
    if (!terrain_output_is_gl()) {
        auto it = g_recorded.find(id);
        if (it != g_recorded.end()) it->second.uploads++;
        return;
    }
    glBindTexture(GL_TEXTURE_2D, id);
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    size_t offset = 0;
    for (int level = 0; level < levels; level++) {
        int s = mip_side(size, level);
        glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, s, s, GL_RGB, GL_UNSIGNED_BYTE, chain + offset);
        offset += (size_t)s * s * 3;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

void terrain_texture_destroy(unsigned id) {
    if (!id) return;
    auto b = g_bytes.find(id);
    if (b != g_bytes.end()) {
        g_total -= b->second;
        g_bytes.erase(b);
    }
    if (!terrain_output_is_gl()) {
        g_recorded.erase(id);
        return;
    }
    GLuint name = id;
    glDeleteTextures(1, &name);
}

size_t terrain_texture_bytes() { return g_total; }

void terrain_output_reset() {
    g_recorded.clear();
    g_bytes.clear();
    g_total = 0;
}
