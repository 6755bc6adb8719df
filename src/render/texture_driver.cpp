// The two texture outputs: OpenGL, and a recorder that hands out ids and
// remembers the uploads for headless runs and tests.
#include <map>
#include <unordered_map>

#include "render/gl_ext.h"
#include "render/texture.h"

namespace {

size_t level_bytes(int width, int height, int channels, int level) {
    return (size_t)mip_side(width, level) * mip_side(height, level) * channels;
}

// ---- OpenGL ------------------------------------------------------------------

unsigned gl_create() {
    GLuint id = 0;
    glGenTextures(1, &id);
    return id;
}

// Border colour for plain clamping: the most frequent colour along the edge
// of level 0, so that filtering at the border does not bleed in black.
void set_border_colour(const texture_upload& u) {
    std::unordered_map<uint32_t, int> counts;
    auto count_pixel = [&](int x, int y) {
        const uint8_t* p = u.pixels + ((size_t)y * u.width + x) * u.channels;
        uint32_t key = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                       (uint32_t)(u.channels == 4 ? p[3] : 255) << 24;
        counts[key]++;
    };
    for (int x = 0; x < u.width; x++) {
        count_pixel(x, 0);
        count_pixel(x, u.height - 1);
    }
    for (int y = 0; y < u.height; y++) {
        count_pixel(0, y);
        count_pixel(u.width - 1, y);
    }
    uint32_t best = 0;
    int best_count = -1;
    for (auto& [key, n] : counts)
        if (n > best_count || (n == best_count && key < best)) best = key, best_count = n;
    GLfloat colour[4] = {(best & 255) / 255.0f, ((best >> 8) & 255) / 255.0f, ((best >> 16) & 255) / 255.0f,
                         ((best >> 24) & 255) / 255.0f};
    glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, colour);
}

size_t gl_upload(unsigned id, const texture_upload& u) {
    glBindTexture(GL_TEXTURE_2D, id);
    while (glGetError() != GL_NO_ERROR) {
    }
    GLint min_filter = GL_LINEAR_MIPMAP_NEAREST;
    for (GLenum axis : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T}) {
        bool repeat = axis == GL_TEXTURE_WRAP_S ? u.repeat_s : u.repeat_t;
        if (repeat) {
            glTexParameteri(GL_TEXTURE_2D, axis, GL_REPEAT);
            continue;
        }
        glTexParameteri(GL_TEXTURE_2D, axis, GL_CLAMP_TO_EDGE);
        if (glGetError() != GL_NO_ERROR) {
            glTexParameteri(GL_TEXTURE_2D, axis, GL_CLAMP);
            min_filter = GL_NEAREST_MIPMAP_NEAREST;
            if (u.channels == 3) set_border_colour(u);
        }
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min_filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GLenum format = u.channels == 4 ? GL_RGBA : GL_RGB;
    GLint internal = u.channels == 4 ? GL_RGBA : GL_RGB;
    if (u.compress) internal = u.channels == 4 ? GL_COMPRESSED_RGBA_ARB : GL_COMPRESSED_RGB_ARB;
    size_t total = 0, offset = 0;
    for (int level = 0; level < u.levels; level++) {
        int w = mip_side(u.width, level), h = mip_side(u.height, level);
        glTexImage2D(GL_TEXTURE_2D, level, internal, w, h, 0, format, GL_UNSIGNED_BYTE, u.pixels + offset);
        size_t plain = level_bytes(u.width, u.height, u.channels, level);
        offset += plain;
        GLint compressed = 0, size = 0;
        if (u.compress) {
            glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_COMPRESSED_ARB, &compressed);
            if (compressed) glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_COMPRESSED_IMAGE_SIZE_ARB, &size);
        }
        total += compressed && size > 0 ? (size_t)size : plain;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    return total;
}

void gl_update(unsigned id, const texture_upload& u) {
    glBindTexture(GL_TEXTURE_2D, id);
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GLenum format = u.channels == 4 ? GL_RGBA : GL_RGB;
    size_t offset = 0;
    for (int level = 0; level < u.levels; level++) {
        int w = mip_side(u.width, level), h = mip_side(u.height, level);
        glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, format, GL_UNSIGNED_BYTE, u.pixels + offset);
        offset += level_bytes(u.width, u.height, u.channels, level);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

void gl_destroy(unsigned id) {
    GLuint name = id;
    glDeleteTextures(1, &name);
}

// ---- recorder ------------------------------------------------------------------

std::map<unsigned, recorded_texture> g_recorded;
unsigned g_next_id = 1;

unsigned record_create() {
    unsigned id = g_next_id++;
    g_recorded[id].id = id;
    return id;
}

void remember(recorded_texture& r, const texture_upload& u) {
    r.width = u.width;
    r.height = u.height;
    r.channels = u.channels;
    r.levels = u.levels;
    r.level0.assign(u.pixels, u.pixels + level_bytes(u.width, u.height, u.channels, 0));
}

size_t record_upload(unsigned id, const texture_upload& u) {
    recorded_texture& r = g_recorded[id];
    r.id = id;
    remember(r, u);
    r.repeat_s = u.repeat_s;
    r.repeat_t = u.repeat_t;
    r.compress = u.compress;
    r.uploads++;
    size_t total = 0;
    for (int level = 0; level < u.levels; level++) total += level_bytes(u.width, u.height, u.channels, level);
    return total;
}

void record_update(unsigned id, const texture_upload& u) {
    auto it = g_recorded.find(id);
    if (it == g_recorded.end()) return;
    remember(it->second, u);
    it->second.updates++;
}

void record_destroy(unsigned id) {
    auto it = g_recorded.find(id);
    if (it != g_recorded.end()) {
        it->second.deleted = true;
        it->second.level0.clear();
    }
}

}  // namespace

const texture_driver gl_texture_driver = {"gl", gl_create, gl_upload, gl_update, gl_destroy};
const texture_driver recording_texture_driver = {"recording", record_create, record_upload, record_update,
                                                 record_destroy};

const recorded_texture* recorded_texture_of(unsigned id) {
    auto it = g_recorded.find(id);
    return it == g_recorded.end() ? nullptr : &it->second;
}

void reset_recorded_textures() {
    g_recorded.clear();
    g_next_id = 1;
}
